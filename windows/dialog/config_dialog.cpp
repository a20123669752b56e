#include "windows/dialog/config_dialog.h"

#include "windows/resources/resource_ids.h"
#include "windows/show/settings_store_win32.h"

namespace {

const int32_t kSettingPage = 4;
const int32_t kVolumePage = 11;
const char kSaveFailedText[] =
    "The settings could not be saved: control.ini cannot be written.\n\n"
    "Choose OK again once it can be, or Cancel to leave the settings as they were.";
const char kSaveFailedCaption[] = "Settings not saved";

// The check boxes, one a flag, in the table's order.
const int kFlagBoxes[] = {IDC_SOUND, IDC_BLANK, IDC_CORAVENDIA, IDC_VALTORNE};

// The volume bar runs from loud at the top to quiet at the bottom.
int32_t VolumeBarPosition(int32_t volume) {
    return volume ^ 0xFF;
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
    for (int flag = SoundSetting; flag <= ValtorneSetting; ++flag) {
        SendDlgItemMessageA(dialog, kFlagBoxes[flag], BM_SETCHECK, static_cast<WPARAM>(settings.*kSettings[flag].field),
                            0);
    }
    const SettingRule& speed = kSettings[SpeedSetting];
    const SettingRule& rate = kSettings[RateSetting];
    const SettingRule& volume = kSettings[VolumeSetting];
    state.speedBar = SetUpBar(dialog, IDC_SPEED, speed.minimum, speed.maximum, settings.speed);
    state.rateBar = SetUpBar(dialog, IDC_RATE, rate.minimum, rate.maximum, settings.rate);
    state.volumeBar = SetUpBar(dialog, IDC_VOLUME, volume.minimum, volume.maximum,
                                           VolumeBarPosition(settings.volume));
    return TRUE;
}

INT_PTR Command(ConfigDialogState& state, HWND dialog, WPARAM command) {
    if (command == IDOK && state.settings != nullptr) {
        SaverSettings& settings = *state.settings;
        for (int flag = SoundSetting; flag <= ValtorneSetting; ++flag) {
            settings.*kSettings[flag].field = static_cast<int32_t>(IsDlgButtonChecked(dialog, kFlagBoxes[flag]));
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
    int32_t* setting;
    const SettingRule* range;
    if (bar == state.speedBar) {
        setting = &settings.speed;
        range = &kSettings[SpeedSetting];
    } else if (bar == state.rateBar) {
        setting = &settings.rate;
        range = &kSettings[RateSetting];
    } else if (bar == state.volumeBar) {
        int32_t position;
        const SettingRule& volume = kSettings[VolumeSetting];
        if (!ScrolledPosition(VolumeBarPosition(settings.volume), code, thumb, volume.minimum, volume.maximum,
                              kVolumePage, &position)) {
            return TRUE;
        }
        SetScrollPos(bar, SB_CTL, position, TRUE);
        settings.volume = VolumeBarPosition(position);
        return FALSE;
    } else {
        return FALSE;
    }
    int32_t value;
    if (!ScrolledPosition(*setting, code, thumb, range->minimum, range->maximum, kSettingPage, &value)) {
        return TRUE;
    }
    *setting = value;
    SetScrollPos(bar, SB_CTL, value, TRUE);
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
