// Looks at the saver's settings dialog from another process and reports what it finds as
// one JSON object per line, so that the end-to-end tests can check what the real dialog
// manager made of the template, and what real input did to it.
//
//   dialog_probe dump [--title T] [--timeout-ms N]
//       Waits until a top-level dialog (class "#32770") titled T ("Rolvanta") is visible with
//       all its controls, then prints one "system" line, one "dialog" line and one "control"
//       line per child window, in z-order (which is the template's order and the tab order).
//       Exit code 0, or 2 when no such dialog appeared in time.
//   dialog_probe owner [--title T] [--timeout-ms N]
//       Opens a plain top-level window titled T, brings it to the foreground, prints its
//       "owner" line and keeps it up until it is closed or the time-out passes; the tests
//       use it as the foreground window that "/c" takes as the dialog's owner.
//   dialog_probe close HWND
//       Posts WM_CLOSE to a window (to take down an owner window).
//
// Everything the probe asks of the other process goes through messages and calls that the
// platform carries across processes (window text, styles, rectangles, BM_GETCHECK, the
// SBM_ messages, GetGUIThreadInfo).  MapDialogRect does not work across processes, so the
// dialog base units come from a hidden dialog of the probe's own with the template's font.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kDialogClass[] = "#32770";

struct Json {
    std::string text = "{";

    Json& Key(const char* key) {
        if (text.size() > 1) {
            text += ",";
        }
        text += "\"";
        text += key;
        text += "\":";
        return *this;
    }
    Json& Int(const char* key, long long value) {
        Key(key);
        text += std::to_string(value);
        return *this;
    }
    Json& Bool(const char* key, bool value) {
        Key(key);
        text += value ? "true" : "false";
        return *this;
    }
    Json& Ints(const char* key, std::initializer_list<long long> values) {
        Key(key);
        text += "[";
        bool first = true;
        for (long long value : values) {
            if (!first) {
                text += ",";
            }
            first = false;
            text += std::to_string(value);
        }
        text += "]";
        return *this;
    }
    Json& Str(const char* key, const std::string& value) {
        Key(key);
        text += "\"";
        for (unsigned char c : value) {
            if (c == '"' || c == '\\') {
                text += '\\';
                text += static_cast<char>(c);
            } else if (c < 0x20 || c >= 0x7F) {
                // ANSI bytes are passed on by value; the tests only compare ASCII texts.
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                text += escaped;
            } else {
                text += static_cast<char>(c);
            }
        }
        text += "\"";
        return *this;
    }
    Json& Raw(const char* key, const std::string& json) {
        Key(key);
        text += json;
        return *this;
    }
    void Print() {
        std::printf("%s}\n", text.c_str());
        std::fflush(stdout);
    }
};

long long HandleValue(HWND window) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(window));
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string TextOf(HWND window) {
    // WM_GETTEXT with a time-out: a dialog that has stopped answering must not hang the probe.
    char text[512] = "";
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text[sizeof(text) - 1] = '\0';
    return text;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* answered = nullptr) {
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    if (answered) {
        *answered = ok != 0;
    }
    return static_cast<LRESULT>(result);
}

struct Found {
    const char* title;
    std::vector<HWND> windows;
};

// The title as the window manager keeps it, without a message: a window of some other
// process that is busy or dying must not hold up the search.
std::string TitleOf(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
    Found* found = reinterpret_cast<Found*>(context);
    if (ClassOf(window) == kDialogClass && TitleOf(window) == found->title) {
        found->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// The base units of a dialog with the template's font, "Helv" at 8 points, as the dialog
// manager of this prefix computes them: MapDialogRect on a hidden dialog of our own.
bool DialogBaseUnits(int* x, int* y) {
    // DLGTEMPLATE, then menu, class and title (all empty), the point size and the face name.
    alignas(4) WORD words[64] = {};
    DLGTEMPLATE* header = reinterpret_cast<DLGTEMPLATE*>(words);
    header->style = WS_POPUP | DS_SETFONT;
    header->cdit = 0;
    header->cx = 100;
    header->cy = 100;
    WORD* p = reinterpret_cast<WORD*>(header + 1);
    *p++ = 0;  // no menu
    *p++ = 0;  // the standard dialog class
    *p++ = 0;  // no title
    *p++ = 8;  // points
    for (const char* face = "Helv"; *face; ++face) {
        *p++ = static_cast<WORD>(*face);
    }
    *p++ = 0;
    HWND own = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), header, nullptr, nullptr, 0);
    if (own == nullptr) {
        return false;
    }
    RECT units = {0, 0, 4, 8};
    BOOL mapped = MapDialogRect(own, &units);
    DestroyWindow(own);
    *x = units.right;
    *y = units.bottom;
    return mapped != 0;
}

// How wide a text is in the template's font, measured in a hidden dialog of our own with
// that font: a font handle does not cross processes.
int TextWidthInDialogFont(const std::string& text) {
    alignas(4) WORD words[64] = {};
    DLGTEMPLATE* header = reinterpret_cast<DLGTEMPLATE*>(words);
    header->style = WS_POPUP | DS_SETFONT;
    header->cx = 100;
    header->cy = 100;
    WORD* p = reinterpret_cast<WORD*>(header + 1);
    p += 3;    // no menu, the standard class, no title
    *p++ = 8;  // points
    for (const char* face = "Helv"; *face; ++face) {
        *p++ = static_cast<WORD>(*face);
    }
    HWND own = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), header, nullptr, nullptr, 0);
    if (own == nullptr) {
        return -1;
    }
    HDC dc = GetDC(own);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(own, WM_GETFONT, 0, 0)));
    SIZE size = {-1, -1};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(own, dc);
    DestroyWindow(own);
    return size.cx;
}

// Pixels back to dialog units, rounded to the nearest unit.
int ToUnits(int pixels, int base, int per) {
    int scaled = pixels * per;
    return scaled >= 0 ? (scaled + base / 2) / base : -((-scaled + base / 2) / base);
}

void PrintSystem(int baseX, int baseY) {
    Json()
        .Str("kind", "system")
        .Ints("base_units", {baseX, baseY})
        .Ints("icon_size", {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)})
        .Int("vscroll_arrow", GetSystemMetrics(SM_CYVSCROLL))
        .Int("vscroll_thumb", GetSystemMetrics(SM_CYVTHUMB))
        .Ints("screen", {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)})
        .Print();
}

std::string RectJson(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
           std::to_string(r.bottom - r.top) + "]";
}

// The middle of the title bar's close box in screen pixels, found by asking the dialog
// itself what lies under each point of its top rows (WM_NCHITTEST); (-1, -1) when the
// frame has none (a window manager's own decorations, say).
POINT CloseBox(HWND dialog, const RECT& window) {
    auto isClose = [dialog](int x, int y) { return Ask(dialog, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE; };
    // Along the middle of the caption first, from the right, where the box sits; then up
    // and down its middle column.
    int row = window.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    int right = -1;
    int left = -1;
    for (int x = window.right - 1; x >= window.left; --x) {
        if (isClose(x, row)) {
            if (right < 0) {
                right = x;
            }
            left = x;
        } else if (right >= 0) {
            break;
        }
    }
    if (right < 0) {
        return POINT{-1, -1};
    }
    int column = (left + right) / 2;
    int top = row;
    int bottom = row;
    while (top > window.top && isClose(column, top - 1)) {
        --top;
    }
    while (bottom + 1 < window.bottom && isClose(column, bottom + 1)) {
        ++bottom;
    }
    return POINT{column, (top + bottom) / 2};
}

void PrintDialog(HWND dialog, HWND focus, HWND active) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(dialog, &pid);
    RECT window;
    GetWindowRect(dialog, &window);
    RECT client;
    GetClientRect(dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    bool answered = false;
    LRESULT defId = Ask(dialog, DM_GETDEFID, 0, 0, &answered);
    HWND owner = GetWindow(dialog, GW_OWNER);
    POINT closeBox = CloseBox(dialog, window);
    Json()
        .Str("kind", "dialog")
        .Int("hwnd", HandleValue(dialog))
        .Int("pid", pid)
        .Int("tid", tid)
        .Str("class", ClassOf(dialog))
        .Str("title", TextOf(dialog))
        .Int("style", static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)))
        .Int("exstyle", static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)))
        .Int("owner", HandleValue(owner))
        .Str("owner_title", owner ? TitleOf(owner) : std::string())
        .Raw("window", RectJson(window))
        .Ints("client_origin", {origin.x, origin.y})
        .Ints("client_size", {client.right, client.bottom})
        .Bool("visible", IsWindowVisible(dialog) != 0)
        .Bool("enabled", IsWindowEnabled(dialog) != 0)
        .Bool("foreground", GetForegroundWindow() == dialog)
        .Int("active", HandleValue(active))
        .Int("focus", HandleValue(focus))
        .Int("focus_id", (focus && IsChild(dialog, focus)) ? GetDlgCtrlID(focus) : 0)
        .Int("default_id", (answered && HIWORD(defId) == DC_HASDEFID) ? LOWORD(defId) : 0)
        .Ints("close_box", {closeBox.x, closeBox.y})
        .Print();
}

// Where the platform draws the arrows and the thumb of a vertical bar of this size, range and
// position. GetScrollBarInfo answers only for bars of the calling process, so it is asked of
// a hidden twin of the bar made here. Thumb and arrow in the bar's own pixels from its top.
bool TwinBarGeometry(int width, int height, int minimum, int maximum, int position, int* thumbTop,
                     int* thumbBottom, int* arrow) {
    HWND holder = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width + 10, height + 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (holder == nullptr) {
        return false;
    }
    HWND twin = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, width, height, holder,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    bool ok = false;
    if (twin != nullptr) {
        SetScrollRange(twin, SB_CTL, minimum, maximum, FALSE);
        SetScrollPos(twin, SB_CTL, position, FALSE);
        SCROLLBARINFO info = {};
        info.cbSize = sizeof(info);
        if (GetScrollBarInfo(twin, OBJID_CLIENT, &info)) {
            *thumbTop = info.xyThumbTop;
            *thumbBottom = info.xyThumbBottom;
            *arrow = info.dxyLineButton;
            ok = true;
        }
    }
    DestroyWindow(holder);
    return ok;
}

void PrintControl(HWND dialog, HWND control, int index, int baseX, int baseY, HWND focus) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    std::string cls = ClassOf(control);
    DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    Json line;
    line.Str("kind", "control")
        .Int("index", index)
        .Int("hwnd", HandleValue(control))
        .Str("class", cls)
        .Int("id", GetDlgCtrlID(control))
        .Int("style", style)
        .Int("exstyle", static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE)))
        .Raw("rect", RectJson(r))
        .Ints("dlu", {ToUnits(r.left, baseX, 4), ToUnits(r.top, baseY, 8), ToUnits(r.right - r.left, baseX, 4),
                      ToUnits(r.bottom - r.top, baseY, 8)})
        .Str("text", TextOf(control))
        .Bool("visible", IsWindowVisible(control) != 0)
        .Bool("enabled", IsWindowEnabled(control) != 0)
        .Bool("focused", control == focus);
    if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        bool answered = false;
        LRESULT check = Ask(control, BM_GETCHECK, 0, 0, &answered);
        line.Int("check", answered ? check : -1);
    } else if (lstrcmpiA(cls.c_str(), "ScrollBar") == 0) {
        // SBM_GETRANGE writes through two pointers; the platform carries them across.
        INT minimum = -999;
        INT maximum = -999;
        Ask(control, SBM_GETRANGE, reinterpret_cast<WPARAM>(&minimum), reinterpret_cast<LPARAM>(&maximum));
        bool answered = false;
        LRESULT position = Ask(control, SBM_GETPOS, 0, 0, &answered);
        line.Ints("range", {minimum, maximum}).Int("pos", answered ? position : -999);
        int thumbTop = 0;
        int thumbBottom = 0;
        int arrow = 0;
        if (answered && TwinBarGeometry(r.right - r.left, r.bottom - r.top, minimum, maximum,
                                        static_cast<int>(position), &thumbTop, &thumbBottom, &arrow)) {
            line.Ints("thumb", {thumbTop, thumbBottom}).Int("arrow", arrow);
        }
        // SBM_GETSCROLLINFO too: its track position shows where a thumb being dragged is,
        // while the position stays what the dialog last set.
        SCROLLINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = SIF_ALL | SIF_TRACKPOS;
        if (Ask(control, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&info))) {
            line.Raw("info", Json()
                                 .Int("min", info.nMin)
                                 .Int("max", info.nMax)
                                 .Int("page", info.nPage)
                                 .Int("pos", info.nPos)
                                 .Int("track", info.nTrackPos)
                                 .text +
                                 "}");
        }
    } else if (lstrcmpiA(cls.c_str(), "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        line.Bool("has_icon", Ask(control, STM_GETICON, 0, 0) != 0);
    } else if (lstrcmpiA(cls.c_str(), "Static") == 0) {
        line.Int("text_width", TextWidthInDialogFont(TextOf(control)));
    }
    line.Print();
}

int ArgValue(int argc, char** argv, const char* name, int fallback) {
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::atoi(argv[i + 1]);
        }
    }
    return fallback;
}

const char* ArgText(int argc, char** argv, const char* name, const char* fallback) {
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return argv[i + 1];
        }
    }
    return fallback;
}

int Dump(int argc, char** argv) {
    const char* title = ArgText(argc, argv, "--title", "Rolvanta");
    int timeout = ArgValue(argc, argv, "--timeout-ms", 30000);
    int children = ArgValue(argc, argv, "--children", 19);
    int baseX = 0;
    int baseY = 0;
    if (!DialogBaseUnits(&baseX, &baseY)) {
        std::fprintf(stderr, "dialog_probe: cannot compute the dialog base units\n");
        return 3;
    }
    DWORD start = GetTickCount();
    for (;;) {
        Found found = {title, {}};
        EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
        if (found.windows.size() > 1) {
            std::fprintf(stderr, "dialog_probe: %u dialogs titled \"%s\"\n",
                         static_cast<unsigned>(found.windows.size()), title);
            return 4;
        }
        if (found.windows.size() == 1) {
            HWND dialog = found.windows[0];
            std::vector<HWND> controls = Children(dialog);
            if (IsWindowVisible(dialog) && static_cast<int>(controls.size()) >= children) {
                GUITHREADINFO gui = {};
                gui.cbSize = sizeof(gui);
                GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
                PrintSystem(baseX, baseY);
                PrintDialog(dialog, gui.hwndFocus, gui.hwndActive);
                int index = 1;
                for (HWND control : controls) {
                    PrintControl(dialog, control, index++, baseX, baseY, gui.hwndFocus);
                }
                return 0;
            }
        }
        if (static_cast<int>(GetTickCount() - start) >= timeout) {
            std::fprintf(stderr, "dialog_probe: no dialog \"%s\" with %d controls within %d ms\n", title, children,
                         timeout);
            return 2;
        }
        Sleep(50);
    }
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int Owner(int argc, char** argv) {
    const char* title = ArgText(argc, argv, "--title", "Rolvanta test owner");
    int timeout = ArgValue(argc, argv, "--timeout-ms", 300000);
    WNDCLASSA cls = {};
    cls.lpfnWndProc = OwnerProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = "RolvantaTestOwner";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(0, cls.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200,
                                  nullptr, nullptr, cls.hInstance, nullptr);
    if (window == nullptr) {
        return 3;
    }
    SetForegroundWindow(window);
    // A safety net: the window goes away on its own should its test forget it.
    SetTimer(window, 1, static_cast<UINT>(timeout), nullptr);
    MSG message;
    // Report only once the window really is the foreground window, so that the test starts
    // the saver against a settled desktop.
    DWORD start = GetTickCount();
    while (GetForegroundWindow() != window) {
        if (GetTickCount() - start > 20000) {
            std::fprintf(stderr, "dialog_probe: the owner window never became the foreground window\n");
            DestroyWindow(window);
            return 2;
        }
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        SetForegroundWindow(window);
    }
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Json()
        .Str("kind", "owner")
        .Int("hwnd", HandleValue(window))
        .Int("pid", GetCurrentProcessId())
        .Ints("client_origin", {origin.x, origin.y})
        .Print();
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        if (message.message == WM_TIMER && message.hwnd == window) {
            DestroyWindow(window);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

int Close(int argc, char** argv) {
    if (argc < 3) {
        return 1;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 10)));
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "dump") == 0) {
        return Dump(argc, argv);
    }
    if (argc >= 2 && std::strcmp(argv[1], "owner") == 0) {
        return Owner(argc, argv);
    }
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0) {
        return Close(argc, argv);
    }
    std::fprintf(stderr, "usage: dialog_probe dump|owner|close ...\n");
    return 1;
}
