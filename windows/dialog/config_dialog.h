// The modal dialog in which the user edits the settings.
#pragma once

#include "core/settings.h"
#include "windows/platform/winapi.h"
#include "windows/show/settings_store_win32.h"

// What the dialog needs of the program that opens it, handed over as the dialog's creation
// parameter (the lParam of WM_INITDIALOG).
struct ConfigDialogContext {
    HINSTANCE instance;      // where the settings' names live
    SaverSettings* settings;  // loaded into as the dialog opens, edited, and saved on OK
    SettingsStore* store;     // where they are loaded from and saved to
};

// What the open dialog keeps between its messages.
struct ConfigDialogState {
    SaverSettings* settings;
    SettingsStore* store;
    HWND bars[SettingCount];  // by the settings' rows; none for a check box
};

BOOL ConfigDialogClassHook(HINSTANCE instance);
// The dialog's procedure, over its record; the program that opens the dialog hands the
// platform a procedure of its own that reaches the record and calls this.
INT_PTR ConfigDialogProc(ConfigDialogState& state, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The scroll arithmetic: the new position of a bar for a scroll code, clamped to
// [minimum, maximum]. Returns 0 when the code leaves the bar alone (thumb tracking, end of
// scrolling), 1 when *position holds the new position.
int ScrolledPosition(int32_t position, UINT code, uint32_t thumb, int32_t minimum, int32_t maximum,
                     int32_t pageStep, int32_t* newPosition);
