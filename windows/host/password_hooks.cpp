// The thin binding to the platform's screen-saver password on Windows 9x: whether one is in
// use, the prompt that checks it, the dialog that changes it, and the running-saver flag.
#include "windows/host/host.h"

void SetSaverRunning(const HostState& host, uint32_t running) {
    if (host.isWin9x) {
        UINT previous = 0;
        SystemParametersInfoA(SPI_SCREENSAVERRUNNING, running, &previous, 0);
    }
}

void LoadPasswordHooks(HostState& host) {
    if (!host.isWin9x) {
        return;
    }
    if (host.passwordModule != nullptr) {
        UnloadPasswordHooks(host);
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
        host.passwordModule = LoadLibraryA("PASSWORD.CPL");
        if (host.passwordModule != nullptr) {
            host.verifyPassword = EntryPointAs<VerifyScreenSavePwdProc>(
                GetProcAddress(host.passwordModule, "VerifyScreenSavePwd"));
            if (host.verifyPassword != nullptr) {
                SetSaverRunning(host, 1);
            } else {
                UnloadPasswordHooks(host);
            }
        }
    }
    RegCloseKey(desktop);
}

void UnloadPasswordHooks(HostState& host) {
    if (!host.isWin9x || host.passwordModule == nullptr) {
        return;
    }
    FreeLibrary(host.passwordModule);
    host.passwordModule = nullptr;
    if (host.verifyPassword != nullptr) {
        host.verifyPassword = nullptr;
        SetSaverRunning(host, 0);
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
