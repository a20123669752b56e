// A recording stand-in for the operating system, so the saver's logic can be run and checked
// call by call without Windows. Every platform function the logic uses appends one line to
// fake.calls ("Name(arg,arg,...)": handles in hex, message numbers in hex, other numbers in
// decimal, texts in quotes) and answers from the settings below.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "windows/host/host.h"
#include "windows/platform/winapi.h"

template <typename T>
T FakeHandle(uintptr_t value) {
    return reinterpret_cast<T>(value);
}

struct FakePlatform {
    std::vector<std::string> calls;

    // kernel32
    std::string commandLine;
    std::string leadBytes;  // bytes CharNextA takes as the first of a double-byte character
    HMODULE ownModule = FakeHandle<HMODULE>(0x400000);
    std::map<std::string, HMODULE> loadedModules;  // what GetModuleHandleA finds
    std::map<std::string, HMODULE> libraries;      // what LoadLibraryA loads
    std::map<std::string, FARPROC> entryPoints;    // what GetProcAddress finds, by name
    BOOL versionResult = TRUE;
    DWORD platformId = 2;
    DWORD tickCount = 0;
    std::deque<DWORD> tickCounts;  // taken first, one a call
    std::map<std::string, std::map<std::string, std::string>> profile;  // section, key, text
    std::map<std::string, std::vector<char>> waveResources;
    std::map<UINT, std::string> strings;

    // user32
    std::set<HWND> windows;
    HWND foregroundWindow = FakeHandle<HWND>(0xF0);
    HWND runningSaver = nullptr;  // what FindWindowA finds
    int screenWidth = 640;
    int screenHeight = 480;
    std::map<HWND, RECT> clientRects;
    std::map<HWND, HWND> parents;
    std::map<HWND, HWND> owners;
    HOOKPROC messageHook = nullptr;  // the last one SetWindowsHookExA set
    WORD registerResult = 1;
    HWND createResult = FakeHandle<HWND>(0x100);
    std::deque<HWND> createResults;  // taken first, one a window
    WNDCLASSA registeredClass = {};  // the last one registered
    std::map<std::string, WNDCLASSA> classes;
    std::map<HWND, WNDPROC> windowProcs;  // each created window's, from its class
    std::vector<RECT> monitors;  // what EnumDisplayMonitors reports; handles 0x3000, 0x3001, ...
    BOOL monitorInfoResult = TRUE;
    std::deque<MSG> queue;
    LRESULT defaultResult = 0;
    BOOL inSendMessage = FALSE;  // TRUE: the message being handled was sent from another thread
    POINT cursor = {0, 0};
    BOOL cursorResult = TRUE;
    uintptr_t timerResult = 1;
    INT_PTR dialogResult = 1;
    std::map<int, UINT> checkedButtons;
    std::map<uintptr_t, std::pair<LONG, LONG>> bitmapSizes;
    std::map<std::string, HBITMAP> bitmaps;
    int dpi = 96;  // what GetDeviceCaps answers
    std::map<std::pair<HWND, int>, LONG> windowLongs;  // what GetWindowLongA answers, else 0
    int regionKind = 0;                                 // what GetWindowRgn answers: 0 is none

    // winmm
    DWORD waveVolume = 0x12345678;
    MMRESULT volumeReadResult = 0;

    // advapi32
    LONG openKeyResult = 0;
    LONG queryResult = 0;
    std::vector<BYTE> registryValue;

    // Entry points taken from modules at run time.
    HIMC previousImeContext = FakeHandle<HIMC>(0x1CC);
    BOOL passwordAnswer = FALSE;
    std::function<void(HWND)> whilePromptIsUp;

    uint32_t clockSeconds = 0;

    // A call by this name raises a fault inside the guarded run; the filter answers as given.
    std::string faultOnCall;
    LONG filterAnswer = EXCEPTION_EXECUTE_HANDLER;

    void Record(const std::string& call);
    // The calls whose text starts with prefix, in order.
    std::vector<std::string> Calls(const std::string& prefix) const;
    size_t Count(const std::string& prefix) const { return Calls(prefix).size(); }
    // Position of the first call starting with prefix, or -1.
    int IndexOf(const std::string& prefix) const;
    void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};

extern FakePlatform fake;

// The run's record the tests lend the saver: ResetProcess makes it fresh, as at process start.
extern HostState hostState;

// Fresh platform and fresh process-wide records of the saver, as at process start.
void ResetProcess();

// The entry points that the fake's GetProcAddress hands out.
HIMC WINAPI FakeImmAssociateContext(HWND window, HIMC context);
BOOL WINAPI FakeVerifyScreenSavePwd(HWND window);
DWORD WINAPI FakePwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);
PowerNotification WINAPI FakeRegisterPowerSettingNotification(void* recipient, const GUID* setting, DWORD flags);
BOOL WINAPI FakeUnregisterPowerSettingNotification(PowerNotification notification);
BOOL WINAPI FakeEnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data);
BOOL WINAPI FakeGetMonitorInfoA(HMONITOR monitor, MONITORINFO* info);

// A system with these monitors, whose user32 hands out the multi-monitor calls.
void UseMonitors(const std::vector<RECT>& monitors);
const HMODULE kFakeUser32 = FakeHandle<HMODULE>(0x7E0);
const HWND kFakeDesktop = FakeHandle<HWND>(0xDE5);

// Runs start until it calls ExitProcess, then comes back.
int RunUntilExit(void (*start)(void));

std::string Hex(uintptr_t value);
std::string Hex(const void* handle);
