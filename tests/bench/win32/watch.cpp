// rolvanta_bench_watch: the Wine benchmarks' stopwatch, running inside the Wine session.
// It reads the screen through GDI the way any program of the desktop could, so what it sees
// is what the display shows. Every answer is one line of space-separated key=value fields.
//
//   settings KEY=VALUE ...       writes the saver's settings with the platform's own profile
//                                call; "reset" as the first word empties the section first
//   read KEY DEFAULT ...         what the platform's profile reader makes of the saver's
//                                settings: "read key=.. value=N" a key, N as a signed 32-bit
//                                number, read with GetPrivateProfileIntA and that default
//   dialog TIMEOUT_MS            waits for the settings dialog (class "#32770", title
//                                "Rolvanta") and reads what its controls show: "dialog
//                                hwnd=0x.. pid=N speed=N rate=N volume_bar=N sound=N blank=N
//                                coravendia=N valtorne=N" (bar positions, check states), or
//                                "nodialog"
//   watch TIMEOUT_MS RIDES INTERVAL_MS ENCODED_CMDLINE [leave]
//                                snapshots the screen, notes the time, starts the command
//                                line (percent-encoded), then samples the screen: as fast as
//                                it can until the first picture, then every INTERVAL_MS, so
//                                that watching takes little from the program watched (these
//                                machines may have only two processors). Prints "started
//                                pid=N", "window ms=.." when the process first owns a visible
//                                top-level window, and "first_picture ms=.." when a
//                                picture-sized patch of new, non-black pixels first shows.
//                                Then one line a sample: "sample ms=.. pixels=N box=L,T,R,B
//                                red=N blue=N" (new non-black pixels, their bounding box, and
//                                how many are strongly red or blue: the two models' paints).
//                                A ride ends
//                                when such pixels vanish for 150 ms; after RIDES rides, or at the
//                                time-out, it closes the program's windows, ends it if it
//                                lingers, and prints "rides=N" and "exit=N".
//                                With RIDES 0 it stops at the first picture. With "leave"
//                                it leaves the program running and prints "left pid=N".
//                                Times are milliseconds from just before the process start.
//                                (CPU time is read from outside: Wine's GetProcessTimes does
//                                not report another process's times.)
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_program.h"

namespace {

using test_program::Decode;
using test_program::Say;

const char kSection[] = "ScreenSaver.Rolvanta";
const char kFile[] = "control.ini";

int Settings(int count, char** words) {
    int first = 0;
    if (count > 0 && strcmp(words[0], "reset") == 0) {
        WritePrivateProfileStringA(kSection, nullptr, nullptr, kFile);
        first = 1;
    }
    for (int i = first; i < count; ++i) {
        std::string pair = words[i];
        size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            Say("error=setting_without_equals word=%s", words[i]);
            return 2;
        }
        WritePrivateProfileStringA(kSection, pair.substr(0, equals).c_str(), pair.substr(equals + 1).c_str(), kFile);
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile);  // flush the profile cache
    Say("settings written=%d", count - first);
    return 0;
}

int Read(int count, char** words) {
    for (int i = 0; i + 1 < count; i += 2) {
        UINT value = GetPrivateProfileIntA(kSection, words[i], atoi(words[i + 1]), kFile);
        Say("read key=%s value=%ld", words[i], static_cast<long>(static_cast<INT>(value)));
    }
    return 0;
}

// Asks a control of another process, giving up on a hung one.
bool Ask(HWND control, UINT message, LRESULT* answer) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(control, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
        return false;
    }
    *answer = static_cast<LRESULT>(result);
    return true;
}

int Dialog(DWORD timeoutMs) {
    const int kIds[7] = {1005, 1006, 1007, 110, 100, 111, 112};
    DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = FindWindowA("#32770", "Rolvanta");
        if (dialog != nullptr && IsWindowVisible(dialog)) {
            LRESULT values[7];
            bool all = true;
            for (int i = 0; i < 7 && all; ++i) {
                HWND control = GetDlgItem(dialog, kIds[i]);
                all = control != nullptr && Ask(control, i < 3 ? SBM_GETPOS : BM_GETCHECK, &values[i]);
            }
            if (all) {
                DWORD pid = 0;
                GetWindowThreadProcessId(dialog, &pid);
                Say("dialog hwnd=0x%lx pid=%lu speed=%ld rate=%ld volume_bar=%ld sound=%ld blank=%ld coravendia=%ld "
                    "valtorne=%ld",
                    static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(dialog)), static_cast<unsigned long>(pid),
                    static_cast<long>(values[0]), static_cast<long>(values[1]), static_cast<long>(values[2]),
                    static_cast<long>(values[3]), static_cast<long>(values[4]), static_cast<long>(values[5]),
                    static_cast<long>(values[6]));
                return 0;
            }
        }
        if (GetTickCount() - start >= timeoutMs) {
            Say("nodialog");
            return 1;
        }
        Sleep(50);
    }
}

class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double Milliseconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

// The whole screen, copied into a 32-bit top-down bitmap of this process.
class ScreenGrabber {
public:
    ScreenGrabber() {
        width_ = GetSystemMetrics(SM_CXSCREEN);
        height_ = GetSystemMetrics(SM_CYSCREEN);
        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<const DWORD*>(bits);
        previous_ = SelectObject(memory_, bitmap_);
    }
    ~ScreenGrabber() {
        SelectObject(memory_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        ReleaseDC(nullptr, screen_);
    }
    bool Ok() const { return bits_ != nullptr && width_ > 0 && height_ > 0; }
    void Grab() {
        BitBlt(memory_, 0, 0, width_, height_, screen_, 0, 0, SRCCOPY);
        GdiFlush();
    }
    const DWORD* Pixels() const { return bits_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_;
    int height_;
    HDC screen_;
    HDC memory_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    const DWORD* bits_ = nullptr;
};

struct Patch {
    unsigned pixels = 0;
    unsigned red = 0;   // strongly red pixels: the Valtorne's paint
    unsigned blue = 0;  // strongly blue pixels: the Coravendia's paint
    int left = 0, top = 0, right = -1, bottom = -1;
};

bool NearBlack(DWORD pixel) {
    return ((pixel >> 16) & 0xFF) < 24 && ((pixel >> 8) & 0xFF) < 24 && (pixel & 0xFF) < 24;
}

// New non-black pixels: what the started program has drawn other than black.
Patch NewPixels(const ScreenGrabber& screen, const std::vector<DWORD>& before) {
    Patch patch;
    patch.left = screen.Width();
    patch.top = screen.Height();
    const DWORD* now = screen.Pixels();
    for (int y = 0; y < screen.Height(); ++y) {
        size_t row = static_cast<size_t>(y) * static_cast<size_t>(screen.Width());
        for (int x = 0; x < screen.Width(); ++x) {
            DWORD pixel = now[row + x] & 0xFFFFFF;
            if (pixel != (before[row + x] & 0xFFFFFF) && !NearBlack(pixel)) {
                ++patch.pixels;
                int r = static_cast<int>((pixel >> 16) & 0xFF);
                int g = static_cast<int>((pixel >> 8) & 0xFF);
                int b = static_cast<int>(pixel & 0xFF);
                if (r > g + 60 && r > b + 60) {
                    ++patch.red;
                } else if (b > r + 60 && b > g + 30) {
                    ++patch.blue;
                }
                if (x < patch.left) patch.left = x;
                if (x > patch.right) patch.right = x;
                if (y < patch.top) patch.top = y;
                if (y > patch.bottom) patch.bottom = y;
            }
        }
    }
    return patch;
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindows(HWND window, LPARAM context) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window)) {
        search->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD pid) {
    WindowSearch search = {pid, {}};
    EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

// Below this many new pixels the screen counts as clear; a picture has many more.
const unsigned kClearBelow = 64;
// How long the screen must stay clear for a ride to have ended; pauses last a second or more.
const double kClearFor = 150;

bool PictureSized(const Patch& patch, const ScreenGrabber& screen) {
    int width = patch.right - patch.left + 1;
    int height = patch.bottom - patch.top + 1;
    return patch.pixels >= 500 && width <= screen.Width() / 2 && height <= screen.Height() / 2;
}

int Watch(DWORD timeoutMs, int rides, DWORD intervalMs, const std::string& commandLine, bool leave) {
    ScreenGrabber screen;
    if (!screen.Ok()) {
        Say("error=no_screen");
        return 1;
    }
    screen.Grab();
    std::vector<DWORD> before(screen.Pixels(), screen.Pixels() + static_cast<size_t>(screen.Width()) * screen.Height());

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    Stopwatch clock;
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        Say("error=createprocess code=%lu", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    CloseHandle(process.hThread);
    Say("started pid=%lu screen=%dx%d", static_cast<unsigned long>(process.dwProcessId), screen.Width(), screen.Height());

    bool windowSeen = false;
    bool pictureSeen = false;
    bool onScreen = false;
    int ridesEnded = 0;
    double clearSince = -1;
    bool exitedEarly = false;
    while (clock.Milliseconds() < timeoutMs) {
        // With no rides asked for, the first picture is all that is wanted.
        if (rides == 0 ? pictureSeen : ridesEnded >= rides) {
            break;
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            exitedEarly = true;
            break;
        }
        if (pictureSeen && intervalMs > 0) {
            Sleep(intervalMs);
        }
        screen.Grab();
        double at = clock.Milliseconds();
        Patch patch = NewPixels(screen, before);
        if (!windowSeen && !VisibleWindowsOf(process.dwProcessId).empty()) {
            windowSeen = true;
            Say("window ms=%.2f", at);
        }
        if (!pictureSeen && PictureSized(patch, screen)) {
            pictureSeen = true;
            Say("first_picture ms=%.2f", at);
        }
        Say("sample ms=%.2f pixels=%u box=%d,%d,%d,%d red=%u blue=%u", at, patch.pixels, patch.left, patch.top,
            patch.right, patch.bottom, patch.red, patch.blue);
        if (pictureSeen) {
            if (patch.pixels >= kClearBelow) {
                onScreen = true;
                clearSince = -1;
            } else if (onScreen) {
                // A ride has ended when the screen stays clear a while: one sample caught
                // between two drawing steps is no end.
                if (clearSince < 0) {
                    clearSince = at;
                } else if (at - clearSince >= kClearFor) {
                    onScreen = false;
                    ++ridesEnded;
                }
            }
        }
    }
    Say("rides=%d", ridesEnded);

    if (leave && !exitedEarly) {
        Say("left pid=%lu", static_cast<unsigned long>(process.dwProcessId));
        CloseHandle(process.hProcess);
        return 0;
    }
    if (!exitedEarly) {
        for (HWND window : VisibleWindowsOf(process.dwProcessId)) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 10000);
            Say("terminated");
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Say("exit=%lu", static_cast<unsigned long>(code));
    CloseHandle(process.hProcess);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "settings") == 0) {
        return Settings(argc - 2, argv + 2);
    }
    if (argc == 3 && strcmp(argv[1], "dialog") == 0) {
        return Dialog(strtoul(argv[2], nullptr, 0));
    }
    if (argc >= 2 && strcmp(argv[1], "read") == 0) {
        return Read(argc - 2, argv + 2);
    }
    if ((argc == 6 || (argc == 7 && strcmp(argv[6], "leave") == 0)) && strcmp(argv[1], "watch") == 0) {
        return Watch(strtoul(argv[2], nullptr, 0), atoi(argv[3]), strtoul(argv[4], nullptr, 0), Decode(argv[5]),
                     argc == 7);
    }
    fprintf(stderr, "usage: rolvanta_bench_watch settings [reset] KEY=VALUE ... | read KEY DEFAULT ... | "
                    "dialog TIMEOUT_MS | watch TIMEOUT_MS RIDES INTERVAL_MS CMDLINE [leave]\n");
    return 2;
}
