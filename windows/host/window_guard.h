// The guard of the saver's full-screen windows against other programs, for the saver window
// and the black windows over the other monitors alike: whatever sent it, each keeps what the
// screen needs of it (no parent, no window region, enabled, shown and top-most, where the saver
// put it). The saver's own moves pass while the record's movingOwnWindows is nonzero. Never for
// the preview, which is rightly a child of another program's window.
#pragma once

#include "windows/host/host.h"

// For the messages that ask for or tell of a change of place, style, state or parent: returns
// true when the guard answered the message completely, with *result its answer.
bool GuardWindow(HostState& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

// The check of each tick of the show's timer, for what changed with no message to tell of it.
// Cheap: two reads of the window's styles, and the rest only now and then.
void CheckWindowOnTick(HostState& host, HWND window);

// Puts back at once whatever of the above the window lost.
void KeepWindow(HostState& host, HWND window);

// The check of the guard's own heartbeat, which no other program can stop, in whatever loop
// the thread runs: everything above for every full-screen window, then what only a look
// around tells: another program's child inside the saver window or window above it, the
// password prompt hidden, clipped or moved away, the foreground or the focus elsewhere.
void GuardOnHeartbeat(HostState& host);
