// rolvanta_bench_blits STEP [SCALE]: the CPU baseline. A full-screen window doing, tick for tick,
// the same drawing as a ride (the picture copied step + 1 times across the pixels it passes,
// a black strip behind it, a drawing context and a memory context taken and given back every
// tick), on the same timer schedule (1 ms re-armed each tick during a ride, a pause after
// it), and nothing else: no settings, no sound, no chance. Rides run left to right through
// the middle of the screen. Closes on WM_CLOSE. With SCALE, each picture pixel is a block of
// SCALE x SCALE screen pixels, from a picture enlarged once at the start, as the saver draws
// on a screen of 96 x SCALE dpi.
#include <windows.h>

#include "test_program.h"

#include <stdlib.h>

namespace {

const UINT_PTR kTimer = 1;
const int kNoRide = 10000;
const UINT kPause = 1500;

HBITMAP picture;
int pictureWidth;
int pictureHeight;
int step = 6;
int screenWidth;
int x = kNoRide;
int trailX;
int y;
int scale = 1;

// Returns whether the ride has left the screen.
bool Step(HWND window) {
    bool newRide = x > 5000;
    if (newRide) {
        x = 0;
        trailX = 0;
        y = GetSystemMetrics(SM_CYSCREEN) / scale / 2 - pictureHeight / 2;
    }
    HDC windowDc = GetDC(window);
    HDC pictureDc = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(pictureDc, picture);
    if (!newRide && step > 1) {
        for (int i = 0; i < step; ++i) {
            BitBlt(windowDc, trailX * scale, y * scale, pictureWidth * scale, pictureHeight * scale, pictureDc, 0, 0,
                   SRCCOPY);
            ++trailX;
        }
    }
    BitBlt(windowDc, x * scale, y * scale, pictureWidth * scale, pictureHeight * scale, pictureDc, 0, 0, SRCCOPY);
    RECT strip = {(x - step) * scale, y * scale, x * scale, (y + pictureHeight) * scale};
    FillRect(windowDc, &strip, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    bool over = x > screenWidth;
    if (over) {
        x = kNoRide;
    } else {
        trailX = x;
        x += step;
    }
    SelectObject(pictureDc, previous);
    DeleteDC(pictureDc);
    ReleaseDC(window, windowDc);
    return over;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetTimer(window, kTimer, 1, nullptr);
        return 0;
    case WM_TIMER: {
        Sleep(0);
        KillTimer(window, kTimer);
        bool over = Step(window);
        SetTimer(window, kTimer, over ? kPause : 1, nullptr);
        return 0;
    }
    case WM_DESTROY:
        KillTimer(window, kTimer);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    char* rest = commandLine;
    int requested = static_cast<int>(strtol(commandLine, &rest, 10));
    if (requested > 0) {
        step = requested;
    }
    scale = atoi(rest) > 1 ? atoi(rest) : 1;
    picture = LoadBitmapA(instance, "PICTURE");
    BITMAP size = {};
    GetObjectA(picture, sizeof(size), &size);
    pictureWidth = size.bmWidth;
    pictureHeight = size.bmHeight;
    screenWidth = GetSystemMetrics(SM_CXSCREEN) / scale;
    if (scale > 1) {
        HDC screen = GetDC(nullptr);
        HDC from = CreateCompatibleDC(screen);
        HDC to = CreateCompatibleDC(screen);
        HBITMAP enlarged = CreateCompatibleBitmap(screen, pictureWidth * scale, pictureHeight * scale);
        SelectObject(from, picture);
        SelectObject(to, enlarged);
        StretchBlt(to, 0, 0, pictureWidth * scale, pictureHeight * scale, from, 0, 0, pictureWidth, pictureHeight,
                   SRCCOPY);
        DeleteDC(to);
        DeleteDC(from);
        ReleaseDC(nullptr, screen);
        DeleteObject(picture);
        picture = enlarged;
    }

    int code = test_program::RunFullScreenWindow(instance, WindowProc, "RolvantaBenchBlits");
    DeleteObject(picture);
    return code;
}
