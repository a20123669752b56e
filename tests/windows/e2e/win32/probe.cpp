// rolvanta_probe: the end-to-end tests' eyes and hands inside the Wine session. Never shipped.
//
// It runs as a separate Windows process, so everything it sees of the saver is what any other
// program of the desktop would see: windows found by class and title, their styles and
// rectangles, the results of messages sent across processes, exit codes in full 32 bits.
//
// Every answer is one line on standard output, made of space-separated key=value fields;
// texts (titles, class names) are percent-encoded so that a field never holds a blank.
// Numbers on the command line may be decimal or 0x-prefixed hexadecimal. Text arguments that
// must arrive byte for byte (command lines with tabs or quotes) are percent-encoded by the
// caller and decoded here, because Wine re-quotes a program's arguments on their way in.
//
// Subcommands:
//   find CLASS TITLE [TIMEOUT_MS]   top-level windows with that class and title ("-" for any),
//                                   one "window ..." line each, then "count=N"; waits up to
//                                   TIMEOUT_MS for at least one to exist
//   info HWND                       one "window ..." line, or "gone"
//   children HWND                   a "window ..." line for each child window, then "count=N"
//   foreground                      the foreground window's line, or "none"
//   send HWND MSG WPARAM LPARAM     SendMessageTimeout from this process: "result=N ok=0|1"
//   settext HWND ENCODED_TEXT       WM_SETTEXT from this process: "result=N ok=0|1 title=..."
//   post HWND MSG WPARAM LPARAM     PostMessage: "posted=0|1"
//   cursor                          "cursor x=.. y=.. handle=0x.. showing=0|1": position and
//                                   the foreground thread's cursor
//   screen                          "screen width=.. height=.."
//   monitors                        "monitor rect=L,T,R,B primary=0|1" for each monitor the
//                                   platform reports, then "count=N"
//   colour X Y W H R G B [top]      a plain window of that colour and place, not active and (but
//                                   with "top") not top-most, standing in for whatever a desktop
//                                   shows, or for another program's window over it; prints
//                                   "colour hwnd=0x.." once it is on screen and keeps it there
//                                   until standard input ends
//   pixel X Y                       "pixel x=.. y=.. rgb=R,G,B" read from the screen through GDI
//   run TIMEOUT_MS ENCODED_CMDLINE  starts the command line exactly as given; prints "pid=N",
//                                   then "exit=N hex=0x.." when it ends (unsigned 32 bits), or
//                                   "timeout" and ends it; a line "kill" on standard input or
//                                   its end also ends the child
//   waitpid PID TIMEOUT_MS          "exit=N hex=0x.." once that process ends, or "timeout"
//   resources PID                   what a process holds, for leak and soak checks:
//                                   "resources pid=N gdi=N user=N gui_counts=0|1 handles=N
//                                    working_set=N peak_working_set=N pagefile=N private=N";
//                                   gui_counts=0 means the platform gave no GDI/USER counts
//                                   (GetGuiResources unsupported) and gdi/user are then 0
//   close-all CLASS                 ends every process owning a top-level window of CLASS:
//                                   "killed pid=N" each, then "count=N"
//   call HWND WHAT                  another program's direct call (DirectCall): "called=0|1"
//   hold child|attach HWND          another program holding the saver's keyboard (Hold)
//   create HWND N | power HWND STATE...   forged creations or display notices (SendRecords)
//   idle [keep|decoy]               keeps a hidden window and its message loop alive until its
//                                   standard input ends (with "keep": until the process is
//                                   ended); prints "idle pid=N" once running. Wine closes its
//                                   desktop process about a second after the last program using
//                                   it has gone and starts it again with the next one; a program
//                                   that starts while it closes can find no display driver.
//                                   One idle program keeps the desktop up. A decoy's has the
//                                   saver's class and title.
//   cued SUBCOMMAND ...             prints "cued" and runs the subcommand once a line (or the
//                                   end) comes on standard input: started ahead, it acts within
//                                   moments of an event the caller sees, however slow Wine starts
//   host-preview W H LETTER ENCODED_SAVER_PATH [X Y]
//                                   a top-level window at X,Y holding a child pane with a client
//                                   area of W x H, and the saver started as
//                                   "PATH /LETTER <pane handle in decimal>". Prints "host ...",
//                                   "pane ...", "started pid=N", then "preview ..." once the
//                                   saver's child appears (or "nopreview"). WM_CONTEXTMENU and
//                                   WM_HELP reaching the pane print "pane-message ...". Then
//                                   reads commands:
//                                   info | pane | post MSG WPARAM LPARAM | destroy | wait MS |
//                                   kill | quit; standard input ending counts as quit.
#include <windows.h>
#include <psapi.h>

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

std::string Encode(const char* text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || *p == '.' ||
            *p == '_' || *p == '-') {
            out += static_cast<char>(*p);
        } else {
            out += '%';
            out += kHex[*p >> 4];
            out += kHex[*p & 15];
        }
    }
    return out;
}


// Decimal (optionally negative) or 0x-prefixed hexadecimal, taken as 32 bits.
DWORD Number(const char* text) {
    if (text[0] == '-') {
        return static_cast<DWORD>(strtol(text, nullptr, 0));
    }
    return static_cast<DWORD>(strtoul(text, nullptr, 0));
}

HWND WindowArg(const char* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(Number(text)));
}

HWND OwnParent(HWND window) {
    HWND parent = GetAncestor(window, GA_PARENT);
    return parent == GetDesktopWindow() ? nullptr : parent;
}

// What GetWindowRgn tells of the window's region: 0 none, 1 empty, 2 one rectangle, 3 more.
int WindowRegionKind(HWND window) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(window, region);
    DeleteObject(region);
    return kind;
}

void SayWindow(const char* tag, HWND window) {
    char className[256] = "";
    char title[256] = "";
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, title, sizeof(title));
    RECT rect = {};
    RECT client = {};
    GetWindowRect(window, &rect);
    GetClientRect(window, &client);
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(window, &pid);
    Say("%s hwnd=0x%lx decimal=%lu class=%s title=%s style=0x%08lx exstyle=0x%08lx rect=%ld,%ld,%ld,%ld "
        "client=%ld,%ld visible=%d parent=0x%lx owner=0x%lx pid=%lu tid=%lu foreground=%d region=%d enabled=%d",
        tag, static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), Encode(className).c_str(),
        Encode(title).c_str(), static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
        static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), rect.left, rect.top, rect.right,
        rect.bottom, client.right, client.bottom, IsWindowVisible(window) ? 1 : 0,
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(OwnParent(window))),
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))),
        static_cast<unsigned long>(pid), static_cast<unsigned long>(tid),
        GetForegroundWindow() == window ? 1 : 0, WindowRegionKind(window), IsWindowEnabled(window) ? 1 : 0);
}

void SayExit(DWORD code) {
    Say("exit=%lu hex=0x%08lx", static_cast<unsigned long>(code), static_cast<unsigned long>(code));
}

// Standard input, line by line, on a thread of its own so that the main thread can go on
// pumping messages or waiting for a process while no command has come.
class LineReader {
public:
    LineReader() {
        InitializeCriticalSection(&lock_);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CreateThread(nullptr, 0, &LineReader::Run, this, 0, nullptr);
    }

    // Signalled while a line is waiting or the input has ended.
    HANDLE ReadyEvent() const { return ready_; }

    // Takes the next line; false when none is waiting. *ended tells whether input has ended.
    bool Take(std::string* line, bool* ended) {
        EnterCriticalSection(&lock_);
        bool got = !lines_.empty();
        if (got) {
            *line = lines_.front();
            lines_.erase(lines_.begin());
        }
        *ended = ended_ && lines_.empty();
        if (lines_.empty() && !ended_) {
            ResetEvent(ready_);
        }
        LeaveCriticalSection(&lock_);
        return got;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<LineReader*>(self)->Loop();
        return 0;
    }

    void Loop() {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        std::string pending;
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            for (DWORD i = 0; i < got; ++i) {
                if (buffer[i] == '\n') {
                    Push(pending);
                    pending.clear();
                } else if (buffer[i] != '\r') {
                    pending += buffer[i];
                }
            }
        }
        if (!pending.empty()) {
            Push(pending);
        }
        EnterCriticalSection(&lock_);
        ended_ = true;
        SetEvent(ready_);
        LeaveCriticalSection(&lock_);
    }

    void Push(const std::string& line) {
        EnterCriticalSection(&lock_);
        lines_.push_back(line);
        SetEvent(ready_);
        LeaveCriticalSection(&lock_);
    }

    CRITICAL_SECTION lock_;
    HANDLE ready_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Waits for the handle while keeping this thread's windows responsive.
bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        }
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        PumpMessages();
    }
}

bool StartProcess(const std::string& commandLine, PROCESS_INFORMATION* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process)) {
        Say("error=createprocess code=%lu", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    CloseHandle(process->hThread);
    Say("pid=%lu", static_cast<unsigned long>(process->dwProcessId));
    return true;
}

// ---- subcommands ----

struct FindRequest {
    const char* className;
    const char* title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectMatching(HWND window, LPARAM context) {
    FindRequest* request = reinterpret_cast<FindRequest*>(context);
    char className[256] = "";
    char title[256] = "";
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, title, sizeof(title));
    if ((request->className == nullptr || strcmp(className, request->className) == 0) &&
        (request->title == nullptr || strcmp(title, request->title) == 0)) {
        request->found.push_back(window);
    }
    return TRUE;
}

int Find(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string className = Decode(argv[0]);
    std::string title = Decode(argv[1]);
    DWORD timeoutMs = argc > 2 ? Number(argv[2]) : 0;
    FindRequest request;
    request.className = className == "-" ? nullptr : className.c_str();
    request.title = title == "-" ? nullptr : title.c_str();
    DWORD start = GetTickCount();
    for (;;) {
        request.found.clear();
        EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&request));
        if (!request.found.empty() || GetTickCount() - start >= timeoutMs) {
            break;
        }
        Sleep(50);
    }
    for (HWND window : request.found) {
        SayWindow("window", window);
    }
    Say("count=%u", static_cast<unsigned>(request.found.size()));
    return 0;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

int Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        SayWindow("window", child);
    }
    Say("count=%u", static_cast<unsigned>(children.size()));
    return 0;
}

int Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 15000, &result);
    Say("result=%ld ok=%d", static_cast<long>(result), ok ? 1 : 0);
    return 0;
}

int SetText(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                                     15000, &result);
    char title[256] = "";
    GetWindowTextA(window, title, sizeof(title));
    Say("result=%ld ok=%d title=%s", static_cast<long>(result), ok ? 1 : 0, Encode(title).c_str());
    return 0;
}

int Cursor() {
    POINT position = {};
    BOOL gotPosition = GetCursorPos(&position);
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    BOOL gotInfo = GetCursorInfo(&info);
    Say("cursor x=%ld y=%ld ok=%d handle=0x%lx showing=%d info_ok=%d", position.x, position.y, gotPosition ? 1 : 0,
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(info.hCursor)),
        (info.flags & CURSOR_SHOWING) ? 1 : 0, gotInfo ? 1 : 0);
    return 0;
}

int Pixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF color = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    Say("pixel x=%d y=%d rgb=%d,%d,%d", x, y, GetRValue(color), GetGValue(color), GetBValue(color));
    return 0;
}

int Run(DWORD timeoutMs, const std::string& commandLine) {
    LineReader reader;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(commandLine, &process)) {
        return 1;
    }
    HANDLE waits[2] = {process.hProcess, reader.ReadyEvent()};
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        DWORD which = WaitForMultipleObjects(2, waits, FALSE, left);
        if (which == WAIT_OBJECT_0) {
            break;
        }
        if (which == WAIT_OBJECT_0 + 1) {
            std::string line;
            bool ended = false;
            bool got = reader.Take(&line, &ended);
            if ((got && line == "kill") || ended) {
                TerminateProcess(process.hProcess, 0xDEAD);
                WaitForSingleObject(process.hProcess, 10000);
                Say("killed");
                break;
            }
            continue;
        }
        Say("timeout");
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 10000);
        break;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    SayExit(code);
    CloseHandle(process.hProcess);
    return 0;
}

int WaitPid(DWORD pid, DWORD timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        Say("error=openprocess code=%lu", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        Say("timeout");
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        SayExit(code);
    }
    CloseHandle(process);
    return 0;
}

int Resources(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        Say("error=openprocess code=%lu", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    SetLastError(0);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    bool guiCounts = !(gdi == 0 && user == 0 && GetLastError() != 0);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory));
    Say("resources pid=%lu gdi=%lu user=%lu gui_counts=%d handles=%lu working_set=%lu peak_working_set=%lu "
        "pagefile=%lu private=%lu",
        static_cast<unsigned long>(pid), static_cast<unsigned long>(gdi), static_cast<unsigned long>(user),
        guiCounts ? 1 : 0, static_cast<unsigned long>(handles),
        static_cast<unsigned long>(memory.WorkingSetSize), static_cast<unsigned long>(memory.PeakWorkingSetSize),
        static_cast<unsigned long>(memory.PagefileUsage), static_cast<unsigned long>(memory.PrivateUsage));
    CloseHandle(process);
    return 0;
}

int CloseAll(const std::string& className) {
    FindRequest request;
    request.className = className.c_str();
    request.title = nullptr;
    EnumWindows(CollectMatching, reinterpret_cast<LPARAM>(&request));
    unsigned count = 0;
    for (HWND window : request.found) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process == nullptr) {
            continue;
        }
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
        Say("killed pid=%lu", static_cast<unsigned long>(pid));
        ++count;
    }
    Say("count=%u", count);
    return 0;
}

BOOL CALLBACK SayMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(monitor, &info)) {
        Say("monitor rect=%ld,%ld,%ld,%ld primary=%d", info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
            info.rcMonitor.bottom, (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
        ++*reinterpret_cast<unsigned*>(context);
    }
    return TRUE;
}

int Monitors() {
    unsigned count = 0;
    EnumDisplayMonitors(nullptr, nullptr, SayMonitor, reinterpret_cast<LPARAM>(&count));
    Say("count=%u", count);
    return 0;
}

// Keeps the program and its windows alive, messages pumped, until the test closes its input.
void WaitForInputEnd() {
    LineReader reader;
    for (;;) {
        WaitPumping(reader.ReadyEvent(), INFINITE);
        std::string line;
        bool ended = false;
        reader.Take(&line, &ended);
        if (ended) {
            return;
        }
    }
}

int Colour(int x, int y, int width, int height, int red, int green, int blue, bool top) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(red, green, blue));
    windowClass.lpszClassName = "RolvantaProbeColour";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW | (top ? WS_EX_TOPMOST | WS_EX_NOACTIVATE : 0),
                                  windowClass.lpszClassName, "Rolvanta probe colour", WS_POPUP, x,
                                  y, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        Say("error=createwindow code=%lu", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    PumpMessages();
    Say("colour hwnd=0x%lx", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    WaitForInputEnd();
    DestroyWindow(window);
    return 0;
}

int Idle(const std::string& mode) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = mode == "decoy" ? "WindowsScreenSaverClass" : "RolvantaProbeIdle";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, windowClass.lpszClassName, mode == "decoy" ? "Screen Saver" : "Rolvanta probe idle", WS_POPUP,
                    0, 0, 1, 1, nullptr, nullptr, windowClass.hInstance, nullptr);
    Say("idle pid=%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    if (mode == "keep") {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        return 0;
    }
    WaitForInputEnd();
    return 0;
}

// ---- the preview host ----

// The pane reports the help requests the preview hands up to it; since the preview's queue is
// first in, first out, such a report also tells that everything posted before it was handled.
LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU || message == WM_HELP) {
        Say("pane-message msg=0x%x wparam=0x%lx lparam=0x%lx pane=0x%lx", message,
            static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam),
            static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND FindPreview(HWND pane) {
    return FindWindowExA(pane, nullptr, "WindowsScreenSaverClass", nullptr);
}

int HostPreview(int argc, char** argv) {
    if (argc < 4) return 2;
    int width = static_cast<int>(Number(argv[0]));
    int height = static_cast<int>(Number(argv[1]));
    std::string letter = argv[2];
    std::string saverPath = Decode(argv[3]);
    int x = argc > 5 ? static_cast<int>(Number(argv[4])) : 40;
    int y = argc > 5 ? static_cast<int>(Number(argv[5])) : 40;
    const int margin = 10;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = instance;
    hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    hostClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    hostClass.lpszClassName = "RolvantaProbeHost";
    RegisterClassA(&hostClass);
    WNDCLASSA paneClass = hostClass;
    paneClass.lpfnWndProc = PaneProc;
    paneClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    paneClass.lpszClassName = "RolvantaProbePane";
    RegisterClassA(&paneClass);

    // A popup has no frame, so the pane's place on the screen is exactly X + margin, Y + margin.
    HWND host = CreateWindowExA(0, hostClass.lpszClassName, "Rolvanta probe host", WS_POPUP | WS_VISIBLE, x, y,
                                width + 2 * margin, height + 2 * margin, nullptr, nullptr, instance, nullptr);
    HWND pane = CreateWindowExA(0, paneClass.lpszClassName, "Rolvanta probe pane",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, margin, margin, width, height, host, nullptr,
                                instance, nullptr);
    if (host == nullptr || pane == nullptr) {
        Say("error=createwindow code=%lu", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    SetForegroundWindow(host);
    PumpMessages();
    SayWindow("host", host);
    SayWindow("pane", pane);

    char handleText[32];
    snprintf(handleText, sizeof(handleText), "%lu", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(pane)));
    std::string commandLine = "\"" + saverPath + "\" /" + letter + " " + handleText;
    LineReader reader;
    PROCESS_INFORMATION process = {};
    if (!StartProcess(commandLine, &process)) {
        return 1;
    }
    Say("started pid=%lu", static_cast<unsigned long>(process.dwProcessId));

    DWORD start = GetTickCount();
    HWND preview = nullptr;
    while ((preview = FindPreview(pane)) == nullptr && GetTickCount() - start < 30000) {
        if (WaitPumping(process.hProcess, 50)) {
            break;
        }
    }
    if (preview != nullptr) {
        SayWindow("preview", preview);
    } else {
        Say("nopreview");
    }

    bool paneAlive = true;
    for (;;) {
        HANDLE ready = reader.ReadyEvent();
        WaitPumping(ready, INFINITE);
        std::string line;
        bool ended = false;
        if (!reader.Take(&line, &ended)) {
            if (ended) {
                line = "quit";
            } else {
                continue;
            }
        }
        std::vector<std::string> words = Words(line);
        if (words.empty()) {
            continue;
        }
        const std::string& command = words[0];
        if (command == "info") {
            HWND now = paneAlive ? FindPreview(pane) : nullptr;
            if (now != nullptr) {
                SayWindow("preview", now);
            } else {
                Say("gone");
            }
        } else if (command == "pane") {
            if (paneAlive) {
                SayWindow("pane", pane);
            } else {
                Say("gone");
            }
        } else if (command == "post" && words.size() >= 4) {
            HWND now = paneAlive ? FindPreview(pane) : nullptr;
            BOOL posted = now != nullptr &&
                          PostMessageA(now, Number(words[1].c_str()), Number(words[2].c_str()),
                                       static_cast<LPARAM>(Number(words[3].c_str())));
            Say("posted=%d", posted ? 1 : 0);
        } else if (command == "destroy") {
            BOOL destroyed = paneAlive && DestroyWindow(pane);
            paneAlive = false;
            PumpMessages();
            Say("destroyed=%d", destroyed ? 1 : 0);
        } else if (command == "wait" && words.size() >= 2) {
            if (WaitPumping(process.hProcess, Number(words[1].c_str()))) {
                DWORD code = 0;
                GetExitCodeProcess(process.hProcess, &code);
                SayExit(code);
            } else {
                Say("running");
            }
        } else if (command == "kill" || command == "quit") {
            if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, 0xDEAD);
                WaitForSingleObject(process.hProcess, 10000);
                Say("killed");
            }
            if (command == "quit") {
                DestroyWindow(host);
                Say("bye");
                return 0;
            }
        } else {
            Say("error=unknown command=%s", Encode(line.c_str()).c_str());
        }
    }
}

// A second of moves off screen and hides, none of them announced beforehand.
BOOL NoSendChangingLoop(HWND window) {
    const UINT kQuiet = SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOSENDCHANGING;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 1000; Sleep(5)) {
        SetWindowPos(window, HWND_BOTTOM, -4000, -4000, 0, 0, kQuiet);
        SetWindowPos(window, nullptr, 0, 0, 0, 0, kQuiet | SWP_NOMOVE | SWP_NOZORDER | SWP_HIDEWINDOW);
    }
    return TRUE;
}

// Another program's direct calls; "unannounced" skips WM_WINDOWPOSCHANGING, "restyle" uses styles.
int DirectCall(HWND window, const std::string& what) {
    const UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    BOOL done = what == "setwindowpos" ? SetWindowPos(window, nullptr, 50, 40, 200, 150, SWP_NOZORDER)
                : what == "movewindow"  ? MoveWindow(window, 60, 50, 220, 160, TRUE)
                : what == "hide-async"  ? ShowWindowAsync(window, SW_HIDE)
                : what == "closewindow" ? CloseWindow(window)
                : what == "notopmost"   ? SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, kOrderOnly)
                : what == "bottom"      ? SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, kOrderOnly)
                : what == "unannounced" ? SetWindowPos(window, HWND_NOTOPMOST, 30, 20, 300, 200, SWP_NOSENDCHANGING)
                : what == "restyle"     ? SetWindowLongA(window, GWL_EXSTYLE, 0) &&
                                          SetWindowLongA(window, GWL_STYLE, WS_POPUP | WS_MINIMIZE)
                : what == "region"      ? SetWindowRgn(window, CreateRectRgn(0, 0, 0, 0), TRUE) != 0
                : what == "disable"     ? (EnableWindow(window, FALSE), TRUE)
                : what == "disable-style" ? SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_DISABLED)
                : what == "hide-popups" ? ShowOwnedPopups(window, FALSE)
                : what == "offscreen"   ? SetWindowPos(window, nullptr, -3000, -3000, 0, 0, SWP_NOSIZE | SWP_NOZORDER)
                : what == "layered"     ? SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) |
                                                                                  WS_EX_LAYERED | WS_EX_TRANSPARENT)
                : what == "child-style" ? SetWindowLongA(window, GWL_STYLE, (GetWindowLongA(window, GWL_STYLE) & ~WS_POPUP) | WS_CHILD)
                : what == "nosend-loop" ? NoSendChangingLoop(window)
                                        : (ShowWindow(window, what == "hide" ? SW_HIDE : SW_MINIMIZE), TRUE);
    Say("called=%d", done ? 1 : 0);
    return 0;
}

// Holds the saver's keyboard until standard input ends: a focused child window inside the
// saver's ("child"), or a focused window with the saver's input attached ("attach").
int Hold(const std::string& what, HWND window) {
    bool child = what == "child";
    RECT area = {0, 0, 8, 8};
    child ? GetClientRect(window, &area) : AttachThreadInput(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr), TRUE);
    HWND held = CreateWindowExA(0, "STATIC", "held", (child ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, 0, area.right,
                                area.bottom, child ? window : nullptr, nullptr, nullptr, nullptr);
    SetFocus(held);
    PumpMessages();
    Say("held focus=%d", GetFocus() == held ? 1 : 0);
    WaitForInputEnd();
    DestroyWindow(held);
    return 0;
}

// A timer message whose lParam is ExitProcess: DispatchMessage would call it (kernel32 lies at
// the same address in every process of the session).
int PostTimerExit(HWND window) {
    LPARAM exitProcess = reinterpret_cast<LPARAM>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess"));
    const UINT kSysTimer = 0x0118;
    BOOL posted = PostMessageA(window, WM_TIMER, 1, exitProcess) && PostMessageA(window, kSysTimer, 1, exitProcess);
    Say("posted=%d", posted ? 1 : 0);
    return 0;
}

// Makes the window a child of one of the probe's own, then destroys that after waitMs.
int Adopt(HWND window, DWORD waitMs) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "RolvantaProbeAdopter";
    RegisterClassA(&windowClass);
    // Shown without taking the foreground, which would rightly bring up the saver's prompt.
    HWND adopter = CreateWindowExA(0, windowClass.lpszClassName, "adopter", WS_POPUP, 100, 100, 200, 150, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
    ShowWindow(adopter, SW_SHOWNOACTIVATE);
    HWND previous = SetParent(window, adopter);
    Say("adopted=%d parent=0x%lx", previous != nullptr ? 1 : 0,
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(OwnParent(window))));
    for (DWORD start = GetTickCount(); GetTickCount() - start < waitMs;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
    DestroyWindow(adopter);
    Say("destroyed window=%d", IsWindow(window) ? 1 : 0);
    return 0;
}

// Forged creations (a record naming the window "forged"), or display notices as the platform sends them.
int SendRecords(HWND window, bool create, int count, char** states) {
    CREATESTRUCTA creation = {};
    creation.lpszName = "forged";
    struct { GUID setting; DWORD length, state; } notice = {
        {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}}, 4, 0};
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* remote = VirtualAllocEx(process, nullptr, sizeof(notice), MEM_COMMIT, PAGE_READWRITE);
    LPARAM record = create ? reinterpret_cast<LPARAM>(&creation) : reinterpret_cast<LPARAM>(remote);
    int sent = 0;
    for (DWORD_PTR result = 0; sent < count; ++sent) {
        notice.state = create ? 0 : Number(states[sent]);
        if (!(create ? SendMessageTimeoutA(window, WM_NCCREATE, 0, record, SMTO_NORMAL, 15000, &result)
                     : WriteProcessMemory(process, remote, &notice, sizeof(notice), nullptr)) ||
            !SendMessageTimeoutA(window, create ? WM_CREATE : WM_POWERBROADCAST, create ? 0 : PBT_POWERSETTINGCHANGE,
                                 record, SMTO_NORMAL, 15000, &result)) {
            break;
        }
    }
    Say("sent=%d", sent);
    return 0;
}

int Usage() {
    Say("usage: rolvanta_probe find|info|children|foreground|send|settext|post|cursor|screen|pixel|run|waitpid|"
        "resources|close-all|idle|host-preview|monitors|colour ...");
    return 2;
}

int Dispatch(int argc, char** argv);

int Cued(int argc, char** argv) {
    Say("cued");
    char c = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    }
    return Dispatch(argc, argv);
}

int Dispatch(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    std::string command = argv[1];
    char** rest = argv + 2;
    int count = argc - 2;
    if (command == "find") return Find(count, rest);
    if (command == "info" && count >= 1) {
        HWND window = WindowArg(rest[0]);
        if (IsWindow(window)) {
            SayWindow("window", window);
        } else {
            Say("gone");
        }
        return 0;
    }
    if (command == "children" && count >= 1) return Children(WindowArg(rest[0]));
    if (command == "foreground") {
        HWND window = GetForegroundWindow();
        if (window != nullptr) {
            SayWindow("window", window);
        } else {
            Say("none");
        }
        return 0;
    }
    if (command == "send" && count >= 4) {
        return Send(WindowArg(rest[0]), Number(rest[1]), Number(rest[2]), static_cast<LPARAM>(Number(rest[3])));
    }
    if (command == "settext" && count >= 2) return SetText(WindowArg(rest[0]), Decode(rest[1]));
    if (command == "post" && count >= 4) {
        BOOL posted = PostMessageA(WindowArg(rest[0]), Number(rest[1]), Number(rest[2]),
                                   static_cast<LPARAM>(Number(rest[3])));
        Say("posted=%d", posted ? 1 : 0);
        return 0;
    }
    if (command == "cursor") return Cursor();
    if (command == "screen") {
        Say("screen width=%d height=%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        return 0;
    }
    if (command == "monitors") return Monitors();
    if (command == "colour" && count >= 7) {
        int v[7];
        for (int i = 0; i < 7; ++i) v[i] = static_cast<int>(Number(rest[i]));
        return Colour(v[0], v[1], v[2], v[3], v[4], v[5], v[6], count >= 8 && std::string(rest[7]) == "top");
    }
    if (command == "pixel" && count >= 2) return Pixel(static_cast<int>(Number(rest[0])), static_cast<int>(Number(rest[1])));
    if (command == "run" && count >= 2) return Run(Number(rest[0]), Decode(rest[1]));
    if (command == "waitpid" && count >= 2) return WaitPid(Number(rest[0]), Number(rest[1]));
    if (command == "resources" && count >= 1) return Resources(Number(rest[0]));
    if (command == "close-all" && count >= 1) return CloseAll(Decode(rest[0]));
    if (command == "idle") return Idle(count >= 1 ? rest[0] : "");
    if (command == "call" && count >= 2) return DirectCall(WindowArg(rest[0]), rest[1]);
    if (command == "timer-exit" && count >= 1) return PostTimerExit(WindowArg(rest[0]));
    if (command == "hold" && count >= 2) return Hold(rest[0], WindowArg(rest[1]));
    if (command == "adopt" && count >= 2) return Adopt(WindowArg(rest[0]), Number(rest[1]));
    if (command == "create" && count >= 2) return SendRecords(WindowArg(rest[0]), true, Number(rest[1]), nullptr);
    if (command == "power" && count >= 2) return SendRecords(WindowArg(rest[0]), false, count - 1, rest + 1);
    if (command == "host-preview") return HostPreview(count, rest);
    if (command == "cued" && count >= 1) return Cued(argc - 1, argv + 1);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    return Dispatch(argc, argv);
}
