// The guard of the saver's full-screen windows against other programs, for the saver window
// and the black windows over the other monitors alike. The saver's own moves pass while
// hostState.movingOwnWindows is nonzero.
#pragma once

#include "windows/platform/winapi.h"

// Keeps a full-screen window of the saver where the saver put it, shown and top-most, for its
// WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED and WM_STYLECHANGING.
void HoldWindowInPlace(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
