// rolvanta_bench_rect: the start-up baseline. The least a full-screen saver-like program can
// do before its first picture: register a class, open a top-most window over the whole
// screen and paint one picture-sized rectangle. Closes on WM_CLOSE.
#include <windows.h>

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
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "RolvantaBenchRect";
    if (!RegisterClassA(&windowClass)) {
        return 1;
    }
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "RolvantaBenchRect", "Bench", WS_POPUP | WS_VISIBLE, 0, 0,
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
