// Test stand-in for the platform library that owns the password-change dialog. Wine's own
// PwdChangePasswordA does nothing, so the end-to-end tests put this one next to the saver
// under the name MPR.DLL (with Wine told to prefer it for the saver) and read back, from
// mpr_calls.log next to it, one line per call with the four arguments, tab-separated:
// the provider string, the window handle in decimal, and the two numbers.
#include <windows.h>

#include "test_program.h"

#include <cstdio>
#include <string>

namespace {

HINSTANCE module;

std::string FileNextToModule(const char* name) {
    return test_program::FileNextToModule(module, name);
}

}  // namespace

extern "C" DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND window, DWORD third, DWORD fourth) {
    char line[512];
    int length = _snprintf(line, sizeof(line) - 1, "%s\t%lu\t%lu\t%lu\n", provider ? provider : "(null)",
                           static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
                           static_cast<unsigned long>(third), static_cast<unsigned long>(fourth));
    if (length < 0 || length > static_cast<int>(sizeof(line)) - 1) {
        length = static_cast<int>(sizeof(line)) - 1;
    }
    HANDLE file = CreateFileA(FileNextToModule("mpr_calls.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(file);
    }
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
