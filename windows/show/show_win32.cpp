// The show's Win32 layer: ShowProc turns the saver window's messages into the portable show's
// operations, and the port beneath carries those out with GDI, winmm, the module's resources
// and timer 1. Calls only; the show decides.
#include "windows/show/show_win32.h"

#include "core/screen_scale.h"
#include "core/show_assets.h"
#include "windows/show/settings_store_win32.h"

namespace {

const uintptr_t kTimerId = 1;

// The show works in logical pixels; each is a block of scale by scale pixels of the window. At
// a scale of 1 the port makes exactly the calls it makes on a screen of 96 dpi.
class Win32ShowPort final : public ShowPort {
public:
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    HDC eraseDc = nullptr;
    int32_t scale = 1;  // the blocks the rides are drawn with now

    bool LoadPicture(PictureIndex picture) override {
        pictures_[picture] = LoadBitmapA(instance, kPictureResources[picture]);
        return pictures_[picture] != nullptr;
    }

    void ReleasePicture(PictureIndex picture) override {
        DeleteObject(pictures_[picture]);
        pictures_[picture] = nullptr;
        if (scaled_[picture] != nullptr) {
            DeleteObject(scaled_[picture]);
            scaled_[picture] = nullptr;
        }
    }

    PictureSize SizeOfPicture(PictureIndex picture) override {
        BITMAP size = {};
        GetObjectA(pictures_[picture], sizeof(size), &size);
        return PictureSize{size.bmWidth, size.bmHeight};
    }

    SoundLoad LoadSound(SoundIndex sound) override {
        HRSRC found = FindResourceA(instance, kSoundResources[sound], "WAVE");
        if (found == nullptr) {
            return SoundMissing;
        }
        soundData_[sound] = LoadResource(instance, found);
        if (soundData_[sound] == nullptr) {
            return SoundMissing;
        }
        soundImages_[sound] = static_cast<const char*>(LockResource(soundData_[sound]));
        return soundImages_[sound] != nullptr ? SoundReady : SoundHeld;
    }

    void ReleaseSound(SoundIndex sound) override {
        FreeResource(soundData_[sound]);
        soundData_[sound] = nullptr;
        soundImages_[sound] = nullptr;
    }

    ShowRect ClientRect() override {
        RECT client = {};
        GetClientRect(window, &client);
        return LogicalClient(client, scale);
    }

    static ShowRect LogicalClient(const RECT& client, int32_t blocks) {
        return ShowRect{client.left, client.top, LogicalLength(client.right, blocks),
                        LogicalLength(client.bottom, blocks)};
    }

    // Each picture is enlarged once per scale, into the screen's own format, so that a ride's
    // step stays one plain copy a picture, as fast as at whole pixels.
    void TakeScale(int32_t blocks) override {
        scale = blocks;
        HDC windowDc = GetDC(window);
        HDC from = CreateCompatibleDC(windowDc);
        HDC to = CreateCompatibleDC(windowDc);
        for (int i = 0; i < PictureCount; ++i) {
            if (scaled_[i] != nullptr) {
                DeleteObject(scaled_[i]);
                scaled_[i] = nullptr;
            }
            if (scale == 1 || pictures_[i] == nullptr) {
                continue;
            }
            PictureSize size = SizeOfPicture(static_cast<PictureIndex>(i));
            scaled_[i] = CreateCompatibleBitmap(windowDc, size.width * scale, size.height * scale);
            HGDIOBJ fromBefore = SelectObject(from, pictures_[i]);
            HGDIOBJ toBefore = SelectObject(to, scaled_[i]);
            StretchBlt(to, 0, 0, size.width * scale, size.height * scale, from, 0, 0, size.width, size.height,
                       SRCCOPY);
            SelectObject(from, fromBefore);
            SelectObject(to, toBefore);
        }
        DeleteDC(to);
        DeleteDC(from);
        ReleaseDC(window, windowDc);
    }

    void BeginStep(PictureIndex picture) override {
        windowDc_ = GetDC(window);
        pictureDc_ = CreateCompatibleDC(windowDc_);
        previous_ = SelectObject(pictureDc_, scale == 1 ? pictures_[picture] : scaled_[picture]);
    }

    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override {
        BitBlt(windowDc_, x * scale, y * scale, width * scale, height * scale, pictureDc_, 0, 0, SRCCOPY);
    }

    void FillBlack(const ShowRect& rect) override { Fill(windowDc_, rect, scale); }

    void EndStep() override {
        SelectObject(pictureDc_, previous_);
        DeleteDC(pictureDc_);
        ReleaseDC(window, windowDc_);
        windowDc_ = nullptr;
        pictureDc_ = nullptr;
    }

    void EraseBlack(const ShowRect& rect) override { Fill(eraseDc, rect, scale); }

    // The player holds the thread for a cue that waits, so nothing is left to wait for.
    uint32_t PlaySound(SoundIndex sound, SoundCue cue) override {
        static const UINT kCueFlags[] = {SND_MEMORY | SND_NODEFAULT, SND_MEMORY | SND_NODEFAULT | SND_ASYNC,
                                         SND_MEMORY | SND_NODEFAULT | SND_ASYNC | SND_LOOP};
        sndPlaySoundA(soundImages_[sound], kCueFlags[cue]);
        return 0;
    }

    // A ride's end stops the player as its cues play, without waiting; the show's end stops it
    // and waits, since the images are released next.
    void StopSound(SoundStop stop) override {
        sndPlaySoundA(nullptr, stop == StopAtRideEnd ? SND_MEMORY | SND_NODEFAULT | SND_ASYNC : 0);
    }

    // Only a volume that was read can be put back: after a failed read (0 is success) the
    // device keeps its own, rather than getting the saver's for good or silence at the end.
    void SetVolume(int32_t volume) override {
        volumeRead_ = waveOutGetVolume(WaveMapper(), &savedVolume_) == 0;
        if (volumeRead_) {
            waveOutSetVolume(WaveMapper(), WaveVolumeFor(volume));
        }
    }

    void RestoreVolume() override {
        if (volumeRead_) {
            waveOutSetVolume(WaveMapper(), savedVolume_);
        }
    }

    bool ArmTimer(uint32_t milliseconds) override { return SetTimer(window, kTimerId, milliseconds, nullptr) != 0; }

    void KillTimer() override { ::KillTimer(window, kTimerId); }

    uint32_t ClockSeconds() override { return ::ClockSeconds(); }

private:
    static HWAVEOUT WaveMapper() { return reinterpret_cast<HWAVEOUT>(static_cast<uintptr_t>(WAVE_MAPPER)); }

    static void Fill(HDC dc, const ShowRect& rect, int32_t blocks) {
        RECT area = {rect.left * blocks, rect.top * blocks, rect.right * blocks, rect.bottom * blocks};
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }

    HBITMAP pictures_[PictureCount] = {};
    HBITMAP scaled_[PictureCount] = {};  // pictures_ at the scale, while it is more than 1
    HGLOBAL soundData_[SoundCount] = {};
    const char* soundImages_[SoundCount] = {};
    DWORD savedVolume_ = 0;
    bool volumeRead_ = false;
    HDC windowDc_ = nullptr;
    HDC pictureDc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// One saver window a process, so one port.
Win32ShowPort port;

// The platform's display states: off, on, and dimmed but still showing.
const DWORD kDisplayOffState = 0;

bool SameGuid(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

void PowerSettingChanged(LPARAM lParam) {
    const PowerSettingNotice* notice = reinterpret_cast<const PowerSettingNotice*>(lParam);
    // A send from another program passes its lParam as it is, and it may point anywhere.
    const uint32_t kHeaderAndState = sizeof(GUID) + sizeof(DWORD) + sizeof(DWORD);
    if (RecordUsable(notice, kHeaderAndState, FALSE) && SameGuid(notice->setting, kConsoleDisplayState) &&
        notice->length >= sizeof(DWORD)) {
        DWORD state;
        const BYTE* data = notice->data;
        state = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 | static_cast<DWORD>(data[2]) << 16 |
                static_cast<DWORD>(data[3]) << 24;
        DisplayChanged(saverShow, port, state == kDisplayOffState ? DisplayOff : DisplayOn);
    }
}

}  // namespace

Show saverShow = NewShow();

uint32_t WaveVolumeFor(int32_t volume) {
    uint32_t channel = (static_cast<uint32_t>(volume) * 256u + 255u) & 0xFFFFu;
    return channel | (channel << 16);
}

void ScaleShow(HWND window, int32_t scale) {
    port.window = window;
    // A ride under way leaves by the window's new edges in the blocks it is drawn with.
    RescaleShow(saverShow, scale);
    ReshapeShow(saverShow, port.ClientRect());
}

void EndShow(void) {
    DestroyShow(saverShow, port);
}

bool ShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ShowContext& context, LRESULT* result) {
    port.window = window;
    port.instance = context.instance;
    switch (message) {
    case WM_CREATE:
        // Whole pixels until the host tells the window's scale.
        port.scale = 1;
        // A window made again after another program destroyed the last one starts a new show.
        saverShow = NewShow();
        LoadSettingsFromStrings(context.instance, *context.settings);
        CreateShow(saverShow, port, *context.settings);
        break;
    case WM_DESTROY:
        DestroyShow(saverShow, port);
        break;
    case WM_ERASEBKGND:
        port.eraseDc = reinterpret_cast<HDC>(wParam);
        EraseBackground(saverShow, port);
        port.eraseDc = nullptr;
        *result = 0;
        return true;
    case WM_TIMER:
        ShowTick(saverShow, port);
        break;
    case WM_ENDSESSION:
        // The process is ended soon after this returns, with no destruction of the window: the
        // volume goes back now. The platform sends it; a post is another program's.
        if (wParam != 0 && InSendMessage()) {
            DestroyShow(saverShow, port);
        }
        break;
    case WM_POWERBROADCAST:
        // The platform sends its notices, with a record it owns, and only to a window that
        // registered for them. Anything else is another program's message, and its lParam
        // is no record at all.
        if (wParam == PBT_POWERSETTINGCHANGE && context.hearsDisplayPower && InSendMessage()) {
            PowerSettingChanged(lParam);
        }
        break;
    default:
        break;
    }
    return false;
}
