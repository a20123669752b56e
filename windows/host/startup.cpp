// Start-up: the command line picks one run mode, which runs to its end under the fault guard.
#include "windows/dialog/config_dialog.h"
#include "windows/host/command_line.h"
#include "windows/host/host.h"
#include "windows/platform/fault_guard.h"
#include "windows/show/show_win32.h"

namespace {

const char* StepCharacter(const char* text) {
    return CharNextA(text);
}

// What the guarded run is handed: the record and the text after the program's name.
struct ChosenMode {
    HostState* host;
    const char* argumentText;
};

int32_t RunChosenMode(void* context) {
    const ChosenMode* chosen = static_cast<const ChosenMode*>(context);
    HostState& host = *chosen->host;
    ParsedRunMode parsed = ParseRunMode(chosen->argumentText, host.isWin9x);
    if (!parsed.usable) {
        return -1;
    }
    switch (parsed.mode) {
    case Configure:
        return RunConfigure(host, parsed.letterGiven ? GetForegroundWindow() : nullptr);
    case Saver:
        return RunSaverWindow(host, nullptr);
    case Preview:
        return RunPreview(host, parsed.rest);
    case ChangePassword:
        return RunChangePassword(parsed.rest);
    }
    return -1;
}

HWND HandleFromText(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(ParseWindowHandle(text)));
}

INT_PTR CALLBACK HostDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return ConfigDialogProc(currentHost->dialog, dialog, message, wParam, lParam);
}

}  // namespace

int WINAPI HostEntry(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The run's record lives here, in the frame that ends the process.
    HostState host;
    HostStart(host);
    return 0;
}

void HostStart(HostState& host) {
    currentHost = &host;
    const char* argumentText = SkipProgramName(GetCommandLineA(), StepCharacter);
    ExitProcess(static_cast<UINT>(DispatchRunMode(host, GetModuleHandleA(nullptr), argumentText)));
}

int32_t DispatchRunMode(HostState& host, HINSTANCE instance, const char* argumentText) {
    host.instance = instance;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    host.isWin9x = (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ? 1 : 0;

    int32_t result = 0;
    ChosenMode chosen = {&host, argumentText};
    if (!RunGuarded(RunChosenMode, &chosen, &result)) {
        // A fault escaped the run: the platform must not go on believing a saver runs.
        // The process then ends with the fault's code, as it would have without the guard,
        // and no other monitor stays dark until then.
        SetSaverRunning(host, 0);
        UncoverOtherMonitors(host);
        // Nor may the sound device keep the saver's volume. The show's end looks only at its
        // own flags of what it holds, so it is safe to run after whatever faulted.
        EndShow(host.show);
    }
    return result;
}

int32_t RunPreview(HostState& host, const char* text) {
    HWND parent = HandleFromText(text);
    if (parent == nullptr || !IsWindow(parent)) {
        return -1;
    }
    return RunSaverWindow(host, parent);
}

int32_t RunConfigure(HostState& host, HWND owner) {
    if (!ConfigDialogClassHook(host.instance)) {
        return 0;
    }
    ConfigDialogContext context = {host.instance, &host.settings, &host.store};
    return static_cast<int32_t>(DialogBoxParamA(host.instance, MAKEINTRESOURCEA(2003), owner, HostDialogProc,
                                                reinterpret_cast<LPARAM>(&context)));
}

int32_t RunChangePassword(const char* text) {
    HWND owner = HandleFromText(text);
    if (owner == nullptr || !IsWindow(owner)) {
        owner = GetForegroundWindow();
    }
    ChangeSaverPassword(owner);
    return 0;
}
