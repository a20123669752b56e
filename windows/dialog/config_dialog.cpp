#include "windows/dialog/config_dialog.h"

#include "windows/resources/resource_ids.h"
#include "windows/show/settings_store_win32.h"

namespace {

const char kSaveFailedText[] =
    "The settings could not be saved: control.ini cannot be written.\n\n"
    "Choose OK again once it can be, or Cancel to leave the settings as they were.";
const char kSaveFailedCaption[] = "Settings not saved";

// A bar with its maximum at the top runs the other way: its position counts down from there.
int32_t BarPosition(const SettingRule& setting, int32_t value) {
    return setting.control == BarMaximumAtTop ? setting.minimum + setting.maximum - value : value;
}

HWND SetUpBar(HWND dialog, int id, int32_t minimum, int32_t maximum, int32_t position) {
    HWND bar = GetDlgItem(dialog, id);
    SetScrollRange(bar, SB_CTL, minimum, maximum, FALSE);
    SetScrollPos(bar, SB_CTL, position, TRUE);
    return bar;
}

BOOL InitDialog(ConfigDialogState& state, HWND dialog, const ConfigDialogContext* context) {
    if (context == nullptr || context->settings == nullptr || context->store == nullptr) {
        EndDialog(dialog, 0);
        return FALSE;
    }
    state.settings = context->settings;
    state.store = context->store;
    SaverSettings& settings = *context->settings;
    LoadSettingsFromStrings(*context->store, context->instance, settings);
    for (int i = 0; i < SettingCount; ++i) {
        const SettingRule& setting = kSettings[i];
        int32_t value = settings.*setting.field;
        if (setting.control == CheckBox) {
            SendDlgItemMessageA(dialog, setting.controlId, BM_SETCHECK, static_cast<WPARAM>(value), 0);
        } else {
            state.bars[i] = SetUpBar(dialog, setting.controlId, setting.minimum, setting.maximum,
                                     BarPosition(setting, value));
        }
    }
    return TRUE;
}

INT_PTR Command(ConfigDialogState& state, HWND dialog, WPARAM command) {
    if (command == IDOK && state.settings != nullptr) {
        SaverSettings& settings = *state.settings;
        for (const SettingRule& setting : kSettings) {
            if (setting.control == CheckBox) {
                settings.*setting.field = static_cast<int32_t>(IsDlgButtonChecked(dialog, setting.controlId));
            }
        }
        if (!SaveSettings(*state.store, settings)) {
            // Nothing was lost yet: the choices are still on screen, to save again once the
            // file can be written, or to drop with Cancel.
            MessageBoxA(dialog, kSaveFailedText, kSaveFailedCaption, MB_OK | MB_ICONEXCLAMATION);
            return TRUE;
        }
        EndDialog(dialog, 1);
        return TRUE;
    }
    if (command == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR Scroll(ConfigDialogState& state, WPARAM wParam, HWND bar) {
    if (state.settings == nullptr) {
        return FALSE;
    }
    SaverSettings& settings = *state.settings;
    UINT code = LOWORD(wParam);
    uint32_t thumb = HIWORD(wParam);
    for (int i = 0; i < SettingCount; ++i) {
        const SettingRule& setting = kSettings[i];
        if (setting.control == CheckBox || bar != state.bars[i]) {
            continue;
        }
        int32_t position;
        if (!ScrolledPosition(BarPosition(setting, settings.*setting.field), code, thumb, setting.minimum,
                              setting.maximum, setting.pageStep, &position)) {
            return TRUE;
        }
        settings.*setting.field = BarPosition(setting, position);
        SetScrollPos(bar, SB_CTL, position, TRUE);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int ScrolledPosition(int32_t position, UINT code, uint32_t thumb, int32_t minimum, int32_t maximum,
                     int32_t pageStep, int32_t* newPosition) {
    int64_t value = position;
    switch (code) {
    case SB_LINEUP:
        value -= 1;
        break;
    case SB_LINEDOWN:
        value += 1;
        break;
    case SB_PAGEUP:
        value -= pageStep;
        break;
    case SB_PAGEDOWN:
        value += pageStep;
        break;
    case SB_THUMBPOSITION:
        value = thumb;
        break;
    case SB_THUMBTRACK:
    case SB_ENDSCROLL:
        return 0;
    case SB_TOP:
        value = maximum;
        break;
    case SB_BOTTOM:
        value = minimum;
        break;
    default:
        break;
    }
    if (value > maximum) {
        value = maximum;
    } else if (value < minimum) {
        value = minimum;
    }
    *newPosition = static_cast<int32_t>(value);
    return 1;
}

BOOL ConfigDialogClassHook(HINSTANCE) {
    return TRUE;
}

INT_PTR ConfigDialogProc(ConfigDialogState& state, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return InitDialog(state, dialog, reinterpret_cast<const ConfigDialogContext*>(lParam));
    case WM_COMMAND:
        return Command(state, dialog, wParam);
    case WM_VSCROLL:
        return Scroll(state, wParam, reinterpret_cast<HWND>(lParam));
    default:
        return FALSE;
    }
}
