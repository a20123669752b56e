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

#include "windows/show/settings_store_win32.h"

// What the port beneath the show holds between messages: the window it draws in, the
// pictures and sounds it loaded, and the volume it is to put back.
struct ShowPortState {
    HWND window;
    HINSTANCE instance;
    HDC eraseDc;
    int32_t scale;  // the blocks the rides are drawn with now
    HBITMAP pictures[PictureCount];
    HBITMAP scaled[PictureCount];  // pictures at the scale, while it is more than 1
    HGLOBAL soundData[SoundCount];
    const char* soundImages[SoundCount];
    DWORD savedVolume;
    bool volumeRead;
    HDC windowDc;
    HDC pictureDc;
    HGDIOBJ previous;
};

// One saver window a run, so one show: the portable show and its port's state, the show's
// whole record, lent to every call of the show.
struct SaverShow {
    Show show = NewShow();
    ShowPortState port = {nullptr, nullptr, nullptr, 1, {}, {}, {}, {}, 0, false, nullptr, nullptr, nullptr};
};

// What the show needs of the program that runs it.
struct ShowContext {
    HINSTANCE instance;      // where the settings' names, the pictures and the sounds live
    SaverSettings* settings;  // loaded into as the window is made, and ridden by
    SettingsStore* store;     // where they are loaded from
    BOOL hearsDisplayPower;   // only then can a power notice come from the platform
};

// Returns true when the show answered the message completely, with *result its answer; for any
// other message the host goes on to its own default handling.
bool ShowProc(SaverShow& show, HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ShowContext& context,
              LRESULT* result);

// The window shows each picture pixel as a block of scale by scale screen pixels from the next
// ride on; the show keeps its own size in those blocks.
void ScaleShow(SaverShow& show, HWND window, int32_t scale);

// The show's end, for the host's ends that bypass the window's destruction: puts the sound
// device's volume back and silences it. Safe to call more than once.
void EndShow(SaverShow& show);

// The wave-out volume for a setting from 0 to 255, the same on both channels.
uint32_t WaveVolumeFor(int32_t volume);
