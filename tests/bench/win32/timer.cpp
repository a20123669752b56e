// rolvanta_bench_timer DURATION_MS [keep|rearm]: the platform's timer rate for a 1 ms timer.
// A hidden window counts WM_TIMER for the given time. "keep" (the default) arms one timer
// and lets it run; "rearm" kills and re-arms it on every tick, as the ride does, with the
// same Sleep(0) before each tick. Prints "timer mode=.. ticks=N ms=.. per_second=..".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const UINT_PTR kTimer = 1;
bool rearm = false;
unsigned long ticks = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        Sleep(0);
        ++ticks;
        if (rearm) {
            KillTimer(window, kTimer);
            SetTimer(window, kTimer, 1, nullptr);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    DWORD duration = argc > 1 ? strtoul(argv[1], nullptr, 0) : 5000;
    rearm = argc > 2 && strcmp(argv[2], "rearm") == 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "RolvantaBenchTimer";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "RolvantaBenchTimer", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                                  nullptr);
    if (window == nullptr) {
        return 1;
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    SetTimer(window, kTimer, 1, nullptr);
    QueryPerformanceCounter(&start);
    double elapsed = 0;
    MSG message;
    while (elapsed < duration && GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
        QueryPerformanceCounter(&now);
        elapsed = static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    }
    printf("timer mode=%s ticks=%lu ms=%.1f per_second=%.2f\n", rearm ? "rearm" : "keep", ticks, elapsed,
           ticks * 1000.0 / elapsed);
    fflush(stdout);
    DestroyWindow(window);
    return 0;
}
