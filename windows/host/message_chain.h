// The host's side of the message chain, as the show and the settings dialog see it. Every
// message to the saver window passes HostWindowProc (the host), then ShowProc (the show),
// which hands each message it does not answer completely on to HostDefaultProc (the host
// again). Neither side sees the other's records.
#pragma once

#include "windows/platform/winapi.h"

// The host's private message, sent to its own window while a close is being checked; the
// show passes it on unchanged. Its number is drawn at each start (ChooseVerifyPasswordMessage),
// so that no other program can know it in advance.
extern UINT VerifyPasswordMessage;
void ChooseVerifyPasswordMessage(void);

// The last stop of every message the show does not answer itself: input becomes a close
// request, a close is checked against the password, the cursor stays hidden.
LRESULT HostDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The show's stage of the chain (the Win32 layer beneath the portable show).
LRESULT ShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Nonzero while the saver window is registered for the display's power notices: only then
// can a notice the show hears come from the platform.
BOOL HostHearsDisplayPower(void);

// The window shows each picture pixel as a block of scale by scale screen pixels from the next
// ride on; the show keeps its own size in those blocks.
void ScaleShow(HWND window, int32_t scale);

// The show's end, for the host's ends that bypass the window's destruction: puts the sound
// device's volume back and silences it. Safe to call more than once.
void EndShow(void);

// The executable's own module: where the settings' names, the pictures and the sounds live.
HINSTANCE HostInstance(void);
