// The thin binding to the platform's screen-saver password on Windows 9x: whether one is in
// use, the prompt that checks it, the dialog that changes it, and the running-saver flag.
#include "windows/host/host.h"

void SetSaverRunning(uint32_t running) {
    if (hostState.isWin9x) {
        UINT previous = 0;
        SystemParametersInfoA(SPI_SCREENSAVERRUNNING, running, &previous, 0);
    }
}

void LoadPasswordHooks(void) {
    if (!hostState.isWin9x) {
        return;
    }
    if (hostState.passwordModule != nullptr) {
        UnloadPasswordHooks();
    }
    HKEY desktop = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop) != 0) {
        return;
    }
    // Zeroed first: a shorter stored value leaves the rest of the buffer as it was.
    DWORD usePassword = 0;
    DWORD size = sizeof(usePassword);
    if (RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<LPBYTE>(&usePassword),
                         &size) == 0 &&
        usePassword != 0) {
        hostState.passwordModule = LoadLibraryA("PASSWORD.CPL");
        if (hostState.passwordModule != nullptr) {
            hostState.verifyPassword = EntryPointAs<VerifyScreenSavePwdProc>(
                GetProcAddress(hostState.passwordModule, "VerifyScreenSavePwd"));
            if (hostState.verifyPassword != nullptr) {
                SetSaverRunning(1);
            } else {
                UnloadPasswordHooks();
            }
        }
    }
    RegCloseKey(desktop);
}

void UnloadPasswordHooks(void) {
    if (!hostState.isWin9x || hostState.passwordModule == nullptr) {
        return;
    }
    FreeLibrary(hostState.passwordModule);
    hostState.passwordModule = nullptr;
    if (hostState.verifyPassword != nullptr) {
        hostState.verifyPassword = nullptr;
        SetSaverRunning(0);
    }
}

void ChangeSaverPassword(HWND parent) {
    HMODULE module = LoadLibraryA("MPR.DLL");
    if (module == nullptr) {
        return;
    }
    PwdChangePasswordAProc change =
        EntryPointAs<PwdChangePasswordAProc>(GetProcAddress(module, "PwdChangePasswordA"));
    if (change != nullptr) {
        change("SCRSAVE", parent, 0, 0);
    }
    FreeLibrary(module);
}
