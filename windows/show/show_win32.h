// The show's Win32 layer beneath the portable show: ShowProc, the stage of the saver window's
// procedure that turns its messages into the show's operations, and what the host calls of the
// show beyond it. The host calls the show; the show never calls the host, and is handed all it
// needs of it with each message.
#pragma once

#include <stdint.h>

// First: <windows.h> renames PlaySound, and the show's port must be declared under the name
// its Win32 override uses.
#include "windows/platform/winapi.h"
#include "core/ride_engine.h"
#include "core/settings.h"

// One saver window a process, so one show.
extern Show saverShow;

// What the show needs of the program that runs it.
struct ShowContext {
    HINSTANCE instance;      // where the settings' names, the pictures and the sounds live
    SaverSettings* settings;  // loaded into as the window is made, and ridden by
    BOOL hearsDisplayPower;   // only then can a power notice come from the platform
};

// Returns true when the show answered the message completely, with *result its answer; for any
// other message the host goes on to its own default handling.
bool ShowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ShowContext& context, LRESULT* result);

// The window shows each picture pixel as a block of scale by scale screen pixels from the next
// ride on; the show keeps its own size in those blocks.
void ScaleShow(HWND window, int32_t scale);

// The show's end, for the host's ends that bypass the window's destruction: puts the sound
// device's volume back and silences it. Safe to call more than once.
void EndShow(void);

// The wave-out volume for a setting from 0 to 255, the same on both channels.
uint32_t WaveVolumeFor(int32_t volume);
