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
// a scale of 1 the port makes exactly the calls it makes on a screen of 96 dpi. It is made for
// each call over the state the show's record keeps.
class Win32ShowPort final : public ShowPort {
public:
    explicit Win32ShowPort(ShowPortState& state) : s(state) {}

    ShowPortState& s;

    bool LoadPicture(PictureIndex picture) override {
        s.pictures[picture] = LoadBitmapA(s.instance, kPictureResources[picture]);
        return s.pictures[picture] != nullptr;
    }

    void ReleasePicture(PictureIndex picture) override {
        DeleteObject(s.pictures[picture]);
        s.pictures[picture] = nullptr;
        if (s.scaled[picture] != nullptr) {
            DeleteObject(s.scaled[picture]);
            s.scaled[picture] = nullptr;
        }
    }

    PictureSize SizeOfPicture(PictureIndex picture) override {
        BITMAP size = {};
        GetObjectA(s.pictures[picture], sizeof(size), &size);
        return PictureSize{size.bmWidth, size.bmHeight};
    }

    SoundLoad LoadSound(SoundIndex sound) override {
        HRSRC found = FindResourceA(s.instance, kSoundResources[sound], "WAVE");
        if (found == nullptr) {
            return SoundMissing;
        }
        s.soundData[sound] = LoadResource(s.instance, found);
        if (s.soundData[sound] == nullptr) {
            return SoundMissing;
        }
        s.soundImages[sound] = static_cast<const char*>(LockResource(s.soundData[sound]));
        return s.soundImages[sound] != nullptr ? SoundReady : SoundHeld;
    }

    void ReleaseSound(SoundIndex sound) override {
        FreeResource(s.soundData[sound]);
        s.soundData[sound] = nullptr;
        s.soundImages[sound] = nullptr;
    }

    ShowRect ClientRect() override {
        RECT client = {};
        GetClientRect(s.window, &client);
        return LogicalClient(client, s.scale);
    }

    static ShowRect LogicalClient(const RECT& client, int32_t blocks) {
        return ShowRect{client.left, client.top, LogicalLength(client.right, blocks),
                        LogicalLength(client.bottom, blocks)};
    }

    // Each picture is enlarged once per scale, into the screen's own format, so that a ride's
    // step stays one plain copy a picture, as fast as at whole pixels.
    void TakeScale(int32_t blocks) override {
        s.scale = blocks;
        HDC windowDc = GetDC(s.window);
        HDC from = CreateCompatibleDC(windowDc);
        HDC to = CreateCompatibleDC(windowDc);
        for (int i = 0; i < PictureCount; ++i) {
            if (s.scaled[i] != nullptr) {
                DeleteObject(s.scaled[i]);
                s.scaled[i] = nullptr;
            }
            if (s.scale == 1 || s.pictures[i] == nullptr) {
                continue;
            }
            PictureSize size = SizeOfPicture(static_cast<PictureIndex>(i));
            s.scaled[i] = CreateCompatibleBitmap(windowDc, size.width * s.scale, size.height * s.scale);
            HGDIOBJ fromBefore = SelectObject(from, s.pictures[i]);
            HGDIOBJ toBefore = SelectObject(to, s.scaled[i]);
            StretchBlt(to, 0, 0, size.width * s.scale, size.height * s.scale, from, 0, 0, size.width, size.height,
                       SRCCOPY);
            SelectObject(from, fromBefore);
            SelectObject(to, toBefore);
        }
        DeleteDC(to);
        DeleteDC(from);
        ReleaseDC(s.window, windowDc);
    }

    void BeginStep(PictureIndex picture) override {
        s.windowDc = GetDC(s.window);
        s.pictureDc = CreateCompatibleDC(s.windowDc);
        s.previous = SelectObject(s.pictureDc, s.scale == 1 ? s.pictures[picture] : s.scaled[picture]);
    }

    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override {
        BitBlt(s.windowDc, x * s.scale, y * s.scale, width * s.scale, height * s.scale, s.pictureDc, 0, 0, SRCCOPY);
    }

    void FillBlack(const ShowRect& rect) override { Fill(s.windowDc, rect, s.scale); }

    void EndStep() override {
        SelectObject(s.pictureDc, s.previous);
        DeleteDC(s.pictureDc);
        ReleaseDC(s.window, s.windowDc);
        s.windowDc = nullptr;
        s.pictureDc = nullptr;
    }

    void EraseBlack(const ShowRect& rect) override { Fill(s.eraseDc, rect, s.scale); }

    // The player holds the thread for a cue that waits, so nothing is left to wait for.
    uint32_t PlaySound(SoundIndex sound, SoundCue cue) override {
        static const UINT kCueFlags[] = {SND_MEMORY | SND_NODEFAULT, SND_MEMORY | SND_NODEFAULT | SND_ASYNC,
                                         SND_MEMORY | SND_NODEFAULT | SND_ASYNC | SND_LOOP};
        sndPlaySoundA(s.soundImages[sound], kCueFlags[cue]);
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
        s.volumeRead = waveOutGetVolume(WaveMapper(), &s.savedVolume) == 0;
        if (s.volumeRead) {
            waveOutSetVolume(WaveMapper(), WaveVolumeFor(volume));
        }
    }

    void RestoreVolume() override {
        if (s.volumeRead) {
            waveOutSetVolume(WaveMapper(), s.savedVolume);
        }
    }

    bool ArmTimer(uint32_t milliseconds) override { return SetTimer(s.window, kTimerId, milliseconds, nullptr) != 0; }

    void KillTimer() override { ::KillTimer(s.window, kTimerId); }

    uint32_t ClockSeconds() override { return ::ClockSeconds(); }

private:
    static HWAVEOUT WaveMapper() { return reinterpret_cast<HWAVEOUT>(static_cast<uintptr_t>(WAVE_MAPPER)); }

    static void Fill(HDC dc, const ShowRect& rect, int32_t blocks) {
        RECT area = {rect.left * blocks, rect.top * blocks, rect.right * blocks, rect.bottom * blocks};
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
};

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

void PowerSettingChanged(SaverShow& show, LPARAM lParam) {
    const PowerSettingNotice* notice = reinterpret_cast<const PowerSettingNotice*>(lParam);
    // A send from another program passes its lParam as it is, and it may point anywhere.
    const uint32_t kHeaderAndState = sizeof(GUID) + sizeof(DWORD) + sizeof(DWORD);
    if (RecordUsable(notice, kHeaderAndState, FALSE) && SameGuid(notice->setting, kConsoleDisplayState) &&
        notice->length >= sizeof(DWORD)) {
        DWORD state;
        const BYTE* data = notice->data;
        state = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 | static_cast<DWORD>(data[2]) << 16 |
                static_cast<DWORD>(data[3]) << 24;
        Win32ShowPort port(show.port);
        DisplayChanged(show.show, port, state == kDisplayOffState ? DisplayOff : DisplayOn);
    }
}

}  // namespace

uint32_t WaveVolumeFor(int32_t volume) {
    uint32_t channel = (static_cast<uint32_t>(volume) * 256u + 255u) & 0xFFFFu;
    return channel | (channel << 16);
}

void ScaleShow(SaverShow& show, HWND window, int32_t scale) {
    Win32ShowPort port(show.port);
    show.port.window = window;
    // A ride under way leaves by the window's new edges in the blocks it is drawn with.
    RescaleShow(show.show, scale);
    ReshapeShow(show.show, port.ClientRect());
}

void EndShow(SaverShow& show) {
    Win32ShowPort port(show.port);
    DestroyShow(show.show, port);
}

bool ShowProc(SaverShow& show, HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ShowContext& context,
              LRESULT* result) {
    Win32ShowPort port(show.port);
    show.port.window = window;
    show.port.instance = context.instance;
    switch (message) {
    case WM_CREATE:
        // Whole pixels until the host tells the window's scale.
        show.port.scale = 1;
        // A window made again after another program destroyed the last one starts a new show.
        show.show = NewShow();
        LoadSettingsFromStrings(*context.store, context.instance, *context.settings);
        CreateShow(show.show, port, *context.settings);
        break;
    case WM_DESTROY:
        DestroyShow(show.show, port);
        break;
    case WM_ERASEBKGND:
        show.port.eraseDc = reinterpret_cast<HDC>(wParam);
        EraseBackground(show.show, port);
        show.port.eraseDc = nullptr;
        *result = 0;
        return true;
    case WM_TIMER:
        ShowTick(show.show, port);
        break;
    case WM_ENDSESSION:
        // The process is ended soon after this returns, with no destruction of the window: the
        // volume goes back now. The platform sends it; a post is another program's.
        if (wParam != 0 && InSendMessage()) {
            DestroyShow(show.show, port);
        }
        break;
    case WM_POWERBROADCAST:
        // The platform sends its notices, with a record it owns, and only to a window that
        // registered for them. Anything else is another program's message, and its lParam
        // is no record at all.
        if (wParam == PBT_POWERSETTINGCHANGE && context.hearsDisplayPower && InSendMessage()) {
            PowerSettingChanged(show, lParam);
        }
        break;
    default:
        break;
    }
    return false;
}
