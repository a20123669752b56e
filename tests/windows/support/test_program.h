// What the test-only Windows programs (the end-to-end probe, the dialog probe, the password
// stand-ins and the benchmarks' programs) have in common. Never part of the saver.
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

#include <string>

namespace test_program {

// One line to standard output, flushed at once: the tests read it while the program runs.
inline void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Wine re-quotes a program's arguments on their way in, so the tests send command lines and
// texts %-encoded.
inline std::string Decode(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '%' && HexDigit(p[1]) >= 0 && HexDigit(p[2]) >= 0) {
            out += static_cast<char>(HexDigit(p[1]) * 16 + HexDigit(p[2]));
            p += 2;
        } else {
            out += *p;
        }
    }
    return out;
}

// A file in the folder the module was loaded from: where a test puts what a module reads
// and looks for what it wrote.
inline std::string FileNextToModule(HINSTANCE module, const char* name) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    return folder + name;
}

// A black, top-most window over the whole screen, as the saver opens one, run until it is
// destroyed. Returns the program's exit code: 1 when the window could not be made.
inline int RunFullScreenWindow(HINSTANCE instance, WNDPROC procedure, const char* className) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass)) {
        return 1;
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST, className, "Bench", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace test_program
