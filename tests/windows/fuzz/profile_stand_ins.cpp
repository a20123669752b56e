#include "profile_stand_ins.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "windows/resources/resource_ids.h"

const SettingsKey kSettingsKeys[7] = {{"Sound", 0}, {"Blank", 0}, {"Coravendia", 1}, {"Valtorne", 1},
                                      {"Speed", 6}, {"Rate", 10}, {"Volume", 127}};

StandIns standIns;

void ResetStandIns() {
    standIns = StandIns{};
}

HWND DialogItem(int id) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10000 + id));
}

void ProfileFromInput(InputReader& input) {
    for (const SettingsKey& key : kSettingsKeys) {
        if (input.Byte() & 1) {
            standIns.profile[key.name] = input.Word32();
        }
    }
}

void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

namespace {

std::string Text(LPCSTR text) {
    return text != nullptr ? std::string(text) : std::string("(null)");
}

// The platform's string table as far as settings need it, copied as LoadStringA copies:
// at most size - 1 characters and a NUL.
const char* StringFor(UINT id) {
    switch (id) {
    case IDS_SETTINGS_SECTION:
        return "ScreenSaver.Rolvanta";
    case IDS_SETTINGS_FILE:
        return "control.ini";
    default:
        return nullptr;
    }
}

}  // namespace

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
    standIns.reads.push_back(ProfileRead{Text(section), Text(key), fallback, Text(file)});
    auto found = standIns.profile.find(Text(key));
    return found != standIns.profile.end() ? found->second : static_cast<UINT>(fallback);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR file) {
    standIns.writes.push_back(ProfileWrite{Text(section), Text(key), Text(text), Text(file)});
    return TRUE;
}

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    const char* text = StringFor(id);
    if (text == nullptr || buffer == nullptr || size <= 0) {
        return 0;
    }
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(size) - 1) {
        length = static_cast<size_t>(size) - 1;
    }
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

// The platform's formatter for the one form settings use: "%ld" of a 32-bit value. Writes
// exactly the characters and the NUL, so a buffer too small shows up under the sanitizer.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    Require(std::strcmp(format, "%ld") == 0, "wsprintfA is asked only for %ld");
    va_list arguments;
    va_start(arguments, format);
    int32_t value = va_arg(arguments, int32_t);
    va_end(arguments);
    char text[16];
    int length = std::snprintf(text, sizeof(text), "%ld", static_cast<long>(value));
    std::memcpy(buffer, text, static_cast<size_t>(length) + 1);
    return length;
}

HWND GetDlgItem(HWND, int id) {
    return DialogItem(id);
}

LRESULT SendDlgItemMessageA(HWND, int id, UINT message, WPARAM wParam, LPARAM) {
    if (message == BM_SETCHECK) {
        standIns.checkBoxesSet[id] = wParam;
    }
    return 0;
}

UINT IsDlgButtonChecked(HWND, int id) {
    auto found = standIns.checkBoxes.find(id);
    return found != standIns.checkBoxes.end() ? found->second : 0;
}

BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL) {
    Require(bar == SB_CTL, "scroll bars are controls");
    standIns.scrollRanges[window] = {minimum, maximum};
    return TRUE;
}

int SetScrollPos(HWND window, int bar, int position, BOOL) {
    Require(bar == SB_CTL, "scroll bars are controls");
    int previous = standIns.scrollPositions[window];
    standIns.scrollPositions[window] = position;
    return previous;
}

BOOL EndDialog(HWND, INT_PTR result) {
    ++standIns.endDialogCalls;
    standIns.endDialogResult = result;
    return TRUE;
}

// Every write succeeds here, so the failed-save notice never comes up.
int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) {
    Require(false, "no failed save to report");
    return 0;
}

