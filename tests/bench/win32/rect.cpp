// rolvanta_bench_rect: the start-up baseline. The least a full-screen saver-like program can
// do before its first picture: register a class, open a top-most window over the whole
// screen and paint one picture-sized rectangle. Closes on WM_CLOSE.
#include <windows.h>

#include "test_program.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        // The size of the first picture of a ride, at the left edge, half way down.
        int top = GetSystemMetrics(SM_CYSCREEN) / 2 - 55;
        RECT rect = {0, top, 168, top + 110};
        HBRUSH brush = CreateSolidBrush(RGB(200, 40, 40));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return test_program::RunFullScreenWindow(instance, WindowProc, "RolvantaBenchRect");
}
