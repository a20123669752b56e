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

int32_t RunChosenMode(void* context) {
    ParsedRunMode parsed = ParseRunMode(static_cast<const char*>(context), hostState.isWin9x);
    if (!parsed.usable) {
        return -1;
    }
    switch (parsed.mode) {
    case Configure:
        return RunConfigure(parsed.letterGiven ? GetForegroundWindow() : nullptr);
    case Saver:
        return RunSaverWindow(nullptr);
    case Preview:
        return RunPreview(parsed.rest);
    case ChangePassword:
        return RunChangePassword(parsed.rest);
    }
    return -1;
}

HWND HandleFromText(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(ParseWindowHandle(text)));
}

}  // namespace

int WINAPI HostEntry(HINSTANCE, HINSTANCE, LPSTR, int) {
    HostStart();
    return 0;
}

void HostStart(void) {
    const char* argumentText = SkipProgramName(GetCommandLineA(), StepCharacter);
    ExitProcess(static_cast<UINT>(DispatchRunMode(GetModuleHandleA(nullptr), argumentText)));
}

int32_t DispatchRunMode(HINSTANCE instance, const char* argumentText) {
    hostState.instance = instance;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    hostState.isWin9x = (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ? 1 : 0;

    int32_t result = 0;
    if (!RunGuarded(RunChosenMode, const_cast<char*>(argumentText), &result)) {
        // A fault escaped the run: the platform must not go on believing a saver runs.
        // The process then ends with the fault's code, as it would have without the guard,
        // and no other monitor stays dark until then.
        SetSaverRunning(0);
        UncoverOtherMonitors();
        // Nor may the sound device keep the saver's volume. The show's end looks only at its
        // own flags of what it holds, so it is safe to run after whatever faulted.
        EndShow();
    }
    return result;
}

int32_t RunPreview(const char* text) {
    HWND parent = HandleFromText(text);
    if (parent == nullptr || !IsWindow(parent)) {
        return -1;
    }
    return RunSaverWindow(parent);
}

int32_t RunConfigure(HWND owner) {
    if (!ConfigDialogClassHook(hostState.instance)) {
        return 0;
    }
    ConfigDialogContext context = {hostState.instance, &hostState.settings};
    return static_cast<int32_t>(DialogBoxParamA(hostState.instance, MAKEINTRESOURCEA(2003), owner, ConfigDialogProc,
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
