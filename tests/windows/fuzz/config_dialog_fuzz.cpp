// The settings dialog over arbitrary profile values and any sequence of scroll-bar and other
// messages: the settings it holds stay within their ranges, each bar shows its setting, and
// OK saves values within range together with the check boxes as they stand.
//
// Input: the profile (see ProfileFromInput); one byte per check box (sound, blank,
// Coravendia, Valtorne) giving what the platform reports for it, modulo 3; then up to 64
// messages of four bytes each:
//   byte 0, low 3 bits: 0-5 a scroll message, 6 a command other than OK and Cancel,
//                       7 a message the dialog does not handle; the upper bits pick the
//                       scroll bar (speed, rate, volume, another control, none)
//   byte 1: the scroll code (any value, unknown codes included)
//   bytes 2-3: the thumb position, the command or the message number
#include <cstdint>
#include <string>

#include "windows/resources/resource_ids.h"
#include "windows/dialog/config_dialog.h"
#include "profile_stand_ins.h"
#include "core/settings.h"

namespace {

const HWND kDialog = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xD1A));
const int kCheckBoxes[4] = {IDC_SOUND, IDC_BLANK, IDC_CORAVENDIA, IDC_VALTORNE};
// The record the dialog is lent, as the host lends it its own.
SaverSettings saverSettings;
SettingsStore store;
ConfigDialogState dialogState;
ConfigDialogContext context = {nullptr, &saverSettings, &store};

void RequireSettingsShown() {
    Require(saverSettings.speed >= 1 && saverSettings.speed <= 15, "speed in range");
    Require(saverSettings.rate >= 1 && saverSettings.rate <= 40, "rate in range");
    Require(saverSettings.volume >= 0 && saverSettings.volume <= 255, "volume in range");
    Require(standIns.scrollPositions[DialogItem(IDC_SPEED)] == saverSettings.speed, "the speed bar shows the speed");
    Require(standIns.scrollPositions[DialogItem(IDC_RATE)] == saverSettings.rate, "the rate bar shows the rate");
    Require(standIns.scrollPositions[DialogItem(IDC_VOLUME)] == (saverSettings.volume ^ 0xFF),
            "the volume bar shows the volume, loud at the top");
}

// The scroll rules written out on their own: the new bar position for a code, or false
// when the code leaves the bar alone (thumb tracking, end of scrolling).
bool ModelScroll(int64_t position, unsigned code, unsigned thumb, int64_t minimum, int64_t maximum, int64_t page,
                 int64_t* result) {
    switch (code) {
    case SB_LINEUP: position -= 1; break;
    case SB_LINEDOWN: position += 1; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_THUMBPOSITION: position = thumb; break;
    case SB_THUMBTRACK: return false;
    case SB_TOP: position = maximum; break;
    case SB_BOTTOM: position = minimum; break;
    case SB_ENDSCROLL: return false;
    default: break;
    }
    *result = position > maximum ? maximum : position < minimum ? minimum : position;
    return true;
}

HWND ScrollBarFor(uint8_t selector) {
    switch ((selector >> 3) % 5) {
    case 0:
        return DialogItem(IDC_SPEED);
    case 1:
        return DialogItem(IDC_RATE);
    case 2:
        return DialogItem(IDC_VOLUME);
    case 3:
        return DialogItem(IDC_SOUND);
    default:
        return nullptr;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetStandIns();
    InputReader input(data, size);
    ProfileFromInput(input);
    for (int id : kCheckBoxes) {
        standIns.checkBoxes[id] = input.Byte() % 3;
    }

    Require(ConfigDialogProc(dialogState, kDialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&context)) == TRUE, "the dialog takes the default focus");
    Require(standIns.scrollRanges[DialogItem(IDC_SPEED)] == std::make_pair(1, 15), "speed bar range");
    Require(standIns.scrollRanges[DialogItem(IDC_RATE)] == std::make_pair(1, 40), "rate bar range");
    Require(standIns.scrollRanges[DialogItem(IDC_VOLUME)] == std::make_pair(0, 255), "volume bar range");
    Require(standIns.checkBoxesSet[IDC_SOUND] == static_cast<WPARAM>(saverSettings.sound), "sound box shows sound");
    RequireSettingsShown();

    for (int message = 0; message < 64 && !input.Done(); ++message) {
        uint8_t selector = input.Byte();
        uint8_t code = input.Byte();
        uint16_t word = input.Word16();
        SaverSettings before = saverSettings;
        switch (selector & 7) {
        case 6: {
            WPARAM command = word;
            if (command == IDOK || command == IDCANCEL) {
                command += 2;
            }
            Require(ConfigDialogProc(dialogState, kDialog, WM_COMMAND, command, 0) == FALSE, "other commands are not handled");
            Require(standIns.endDialogCalls == 0, "only OK and Cancel end the dialog");
            break;
        }
        case 7: {
            UINT other = word;
            if (other == WM_INITDIALOG || other == WM_COMMAND || other == WM_VSCROLL) {
                other = WM_APP;
            }
            Require(ConfigDialogProc(dialogState, kDialog, other, code, word) == FALSE, "other messages are not handled");
            break;
        }
        default: {
            WPARAM scroll = static_cast<WPARAM>(code) | static_cast<WPARAM>(word) << 16;
            HWND bar = ScrollBarFor(selector);
            INT_PTR handled = ConfigDialogProc(dialogState, kDialog, WM_VSCROLL, scroll, reinterpret_cast<LPARAM>(bar));
            int64_t moved = 0;
            if (bar == DialogItem(IDC_SPEED) || bar == DialogItem(IDC_RATE)) {
                bool speed = bar == DialogItem(IDC_SPEED);
                int32_t was = speed ? before.speed : before.rate;
                int32_t now = speed ? saverSettings.speed : saverSettings.rate;
                bool changes = ModelScroll(was, code, word, 1, speed ? 15 : 40, 4, &moved);
                Require(handled == (changes ? FALSE : TRUE), "a scroll is handled as the rules say");
                Require(now == (changes ? moved : was), "speed and rate move as the rules say");
            } else if (bar == DialogItem(IDC_VOLUME)) {
                bool changes = ModelScroll(255 - before.volume, code, word, 0, 255, 11, &moved);
                Require(handled == (changes ? FALSE : TRUE), "a scroll is handled as the rules say");
                Require(saverSettings.volume == (changes ? 255 - moved : before.volume), "volume moves as the rules say");
            } else {
                Require(handled == FALSE, "a scroll from another control is not handled");
            }
            if (bar != DialogItem(IDC_SPEED)) {
                Require(saverSettings.speed == before.speed, "only the speed bar moves the speed");
            }
            if (bar != DialogItem(IDC_RATE)) {
                Require(saverSettings.rate == before.rate, "only the rate bar moves the rate");
            }
            if (bar != DialogItem(IDC_VOLUME)) {
                Require(saverSettings.volume == before.volume, "only the volume bar moves the volume");
            }
            break;
        }
        }
        RequireSettingsShown();
    }

    SaverSettings shown = saverSettings;
    Require(ConfigDialogProc(dialogState, kDialog, WM_COMMAND, IDOK, 0) == TRUE, "OK is handled");
    Require(standIns.endDialogCalls == 1 && standIns.endDialogResult == 1, "OK ends the dialog with 1");
    Require(standIns.writes.size() == 7, "OK writes every key");
    const int32_t saved[7] = {static_cast<int32_t>(standIns.checkBoxes[IDC_SOUND]),
                              static_cast<int32_t>(standIns.checkBoxes[IDC_BLANK]),
                              static_cast<int32_t>(standIns.checkBoxes[IDC_CORAVENDIA]),
                              static_cast<int32_t>(standIns.checkBoxes[IDC_VALTORNE]),
                              shown.speed,
                              shown.rate,
                              shown.volume};
    for (size_t i = 0; i < 7; ++i) {
        Require(standIns.writes[i].key == kSettingsKeys[i].name, "keys are written in their order");
        Require(standIns.writes[i].text == std::to_string(saved[i]), "OK saves the boxes and the bars as shown");
    }
    return 0;
}
