#include "fake_platform.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "windows/dialog/config_dialog.h"
#include "windows/host/host.h"
#include "windows/platform/fault_guard.h"
#include "windows/show/show_win32.h"
#include "core/settings.h"
#include "windows/show/settings_store_win32.h"

FakePlatform fake;
HostState hostState;

namespace {

jmp_buf* guardJump = nullptr;
uint32_t faultCode = 0;
jmp_buf* exitJump = nullptr;

std::string Quote(const char* text) {
    if (text == nullptr) {
        return "null";
    }
    if (reinterpret_cast<uintptr_t>(text) < 0x10000) {
        return "#" + std::to_string(reinterpret_cast<uintptr_t>(text));
    }
    return std::string("\"") + text + "\"";
}

std::string Join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) {
            text += ",";
        }
        text += part;
    }
    return text;
}

std::string D(long long value) {
    return std::to_string(value);
}

// The names of the wave images the fake hands out, so sound calls read as names.
std::string SoundName(const char* image) {
    if (image == nullptr) {
        return "null";
    }
    for (const auto& entry : fake.waveResources) {
        if (entry.second.data() == image) {
            return entry.first;
        }
    }
    return Hex(image);
}

void Call(const char* name, std::initializer_list<std::string> arguments) {
    fake.Record(std::string(name) + "(" + Join(arguments) + ")");
    if (!fake.faultOnCall.empty() && fake.faultOnCall == name) {
        fake.Record("UnhandledExceptionFilter(" + Hex(0xC0000005u) + ")");
        faultCode = 0xC0000005u;
        if (fake.filterAnswer == EXCEPTION_EXECUTE_HANDLER && guardJump != nullptr) {
            longjmp(*guardJump, 1);
        }
    }
}

LRESULT CallWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = fake.windowProcs.find(window);
    if (proc != fake.windowProcs.end() && fake.windows.count(window) != 0) {
        return proc->second(window, message, wParam, lParam);
    }
    if (window == fake.createResult && fake.registeredClass.lpfnWndProc != nullptr &&
        fake.windows.count(window) != 0) {
        return fake.registeredClass.lpfnWndProc(window, message, wParam, lParam);
    }
    return 0;
}

}  // namespace

std::string Hex(uintptr_t value) {
    char text[32];
    snprintf(text, sizeof(text), "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Hex(const void* handle) {
    return handle == nullptr ? "0" : Hex(reinterpret_cast<uintptr_t>(handle));
}

void FakePlatform::Record(const std::string& call) {
    calls.push_back(call);
}

std::vector<std::string> FakePlatform::Calls(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        if (call.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(call);
        }
    }
    return found;
}

int FakePlatform::IndexOf(const std::string& prefix) const {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].compare(0, prefix.size(), prefix) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void FakePlatform::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG message_ = {};
    message_.hwnd = window;
    message_.message = message;
    message_.wParam = wParam;
    message_.lParam = lParam;
    queue.push_back(message_);
}

void ResetProcess() {
    StopWatchingDisplayPower(hostState);  // the registration a test left behind, before the fake forgets it
    fake = FakePlatform();
    fake.bitmaps = {{"CORMAPL", FakeHandle<HBITMAP>(0xB1)},
                    {"CORMAPR", FakeHandle<HBITMAP>(0xB2)},
                    {"VALTMAPL", FakeHandle<HBITMAP>(0xB3)},
                    {"VALTMAPR", FakeHandle<HBITMAP>(0xB4)}};
    fake.bitmapSizes = {{0xB1, {168, 110}}, {0xB2, {168, 110}}, {0xB3, {179, 100}}, {0xB4, {179, 100}}};
    for (const char* name : {"COR_START_SOUND", "COR_RUN_SOUND", "COR_FADE_SOUND", "VALT_RUN_SOUND"}) {
        fake.waveResources[name] = std::vector<char>(64, 'w');
    }
    fake.strings = {{1001, "control.ini"}, {1007, "ScreenSaver.Rolvanta"}};
    hostState = HostState();
    currentHost = &hostState;
    guardJump = nullptr;
    exitJump = nullptr;
}

HIMC WINAPI FakeImmAssociateContext(HWND window, HIMC context) {
    Call("ImmAssociateContext", {Hex(window), Hex(context)});
    return fake.previousImeContext;
}

BOOL WINAPI FakeVerifyScreenSavePwd(HWND window) {
    Call("VerifyScreenSavePwd", {Hex(window)});
    if (fake.whilePromptIsUp) {
        fake.whilePromptIsUp(window);
    }
    return fake.passwordAnswer;
}

DWORD WINAPI FakePwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2) {
    Call("PwdChangePasswordA", {Quote(provider), Hex(parent), D(reserved1), D(reserved2)});
    return 0;
}

PowerNotification WINAPI FakeRegisterPowerSettingNotification(void* recipient, const GUID* setting, DWORD flags) {
    Call("RegisterPowerSettingNotification",
         {Hex(recipient), Hex(setting->Data1), D(flags)});
    return FakeHandle<PowerNotification>(0x90E);
}

BOOL WINAPI FakeUnregisterPowerSettingNotification(PowerNotification notification) {
    Call("UnregisterPowerSettingNotification", {Hex(notification)});
    return TRUE;
}

const uintptr_t kFirstMonitor = 0x3000;

BOOL WINAPI FakeEnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data) {
    Call("EnumDisplayMonitors", {Hex(dc), clip == nullptr ? "null" : "clip"});
    for (size_t i = 0; i < fake.monitors.size(); ++i) {
        RECT rect = fake.monitors[i];
        if (!callback(FakeHandle<HMONITOR>(kFirstMonitor + i), dc, &rect, data)) {
            break;
        }
    }
    return TRUE;
}

BOOL WINAPI FakeGetMonitorInfoA(HMONITOR monitor, MONITORINFO* info) {
    Call("GetMonitorInfoA", {Hex(monitor), D(info->cbSize)});
    size_t index = reinterpret_cast<uintptr_t>(monitor) - kFirstMonitor;
    if (!fake.monitorInfoResult || index >= fake.monitors.size() || info->cbSize != sizeof(MONITORINFO)) {
        return FALSE;
    }
    info->rcMonitor = fake.monitors[index];
    info->rcWork = fake.monitors[index];
    info->dwFlags = info->rcMonitor.left == 0 && info->rcMonitor.top == 0 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

void UseMonitors(const std::vector<RECT>& monitors) {
    fake.monitors = monitors;
    fake.loadedModules["USER32.DLL"] = kFakeUser32;
    fake.entryPoints["EnumDisplayMonitors"] = reinterpret_cast<FARPROC>(FakeEnumDisplayMonitors);
    fake.entryPoints["GetMonitorInfoA"] = reinterpret_cast<FARPROC>(FakeGetMonitorInfoA);
}

// The native stand-in for the structured-exception guard: a fault is a jump back here.
int RunGuarded(GuardedWork work, void* context, int32_t* result) {
    jmp_buf here;
    jmp_buf* outer = guardJump;
    guardJump = &here;
    if (setjmp(here) == 0) {
        *result = work(context);
        guardJump = outer;
        return 1;
    }
    guardJump = outer;
    *result = static_cast<int32_t>(faultCode);
    return 0;
}

BOOL RecordUsable(const void* record, uint32_t, BOOL) {
    return reinterpret_cast<uintptr_t>(record) >= 0x10000;  // as on Windows, the lowest 64 KB are never mapped
}

BOOL WindowOfThisProgram(HWND) {
    return TRUE;  // the fake runs no other program
}

uint32_t ClockSeconds(void) {
    fake.Record("ClockSeconds()");
    return fake.clockSeconds;
}

// kernel32

LPSTR GetCommandLineA(void) {
    Call("GetCommandLineA", {});
    return &fake.commandLine[0];
}

HMODULE GetModuleHandleA(LPCSTR name) {
    Call("GetModuleHandleA", {Quote(name)});
    if (name == nullptr) {
        return fake.ownModule;
    }
    auto found = fake.loadedModules.find(name);
    return found == fake.loadedModules.end() ? nullptr : found->second;
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    Call("GetVersionExA", {D(info->dwOSVersionInfoSize)});
    if (fake.versionResult) {
        info->dwPlatformId = fake.platformId;
    }
    return fake.versionResult;
}

void ExitProcess(UINT code) {
    Call("ExitProcess", {D(static_cast<int32_t>(code))});
    if (exitJump != nullptr) {
        longjmp(*exitJump, 1);
    }
    ADD_FAILURE() << "ExitProcess with nowhere to go";
    abort();
}

DWORD GetTickCount(void) {
    Call("GetTickCount", {});
    if (!fake.tickCounts.empty()) {
        DWORD tick = fake.tickCounts.front();
        fake.tickCounts.pop_front();
        return tick;
    }
    return fake.tickCount;
}

void Sleep(DWORD milliseconds) {
    Call("Sleep", {D(milliseconds)});
}

HMODULE LoadLibraryA(LPCSTR name) {
    Call("LoadLibraryA", {Quote(name)});
    auto found = fake.libraries.find(name);
    return found == fake.libraries.end() ? nullptr : found->second;
}

BOOL FreeLibrary(HMODULE module) {
    Call("FreeLibrary", {Hex(module)});
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    Call("GetProcAddress", {Hex(module), Quote(name)});
    auto found = fake.entryPoints.find(name);
    return found == fake.entryPoints.end() ? nullptr : found->second;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
    Call("GetPrivateProfileIntA", {Quote(section), Quote(key), D(fallback), Quote(file)});
    auto sectionFound = fake.profile.find(section);
    if (sectionFound == fake.profile.end()) {
        return static_cast<UINT>(fallback);
    }
    auto keyFound = sectionFound->second.find(key);
    if (keyFound == sectionFound->second.end()) {
        return static_cast<UINT>(fallback);
    }
    return static_cast<UINT>(strtoll(keyFound->second.c_str(), nullptr, 10));
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR file) {
    Call("WritePrivateProfileStringA", {Quote(section), Quote(key), Quote(text), Quote(file)});
    fake.profile[section][key] = text;
    return TRUE;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    Call("FindResourceA", {Hex(module), Quote(name), Quote(type)});
    auto found = fake.waveResources.find(name);
    if (found == fake.waveResources.end() || strcmp(type, "WAVE") != 0) {
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&found->second);
}

// A sound resource by its name, so transcripts do not depend on where the heap put it.
std::string ResourceText(const void* handle) {
    for (const auto& entry : fake.waveResources) {
        if (&entry.second == handle || entry.second.data() == handle) {
            return entry.first;
        }
    }
    return Hex(handle);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    Call("LoadResource", {Hex(module), ResourceText(resource)});
    return resource;
}

LPVOID LockResource(HGLOBAL data) {
    Call("LockResource", {ResourceText(data)});
    return data == nullptr ? nullptr : static_cast<std::vector<char>*>(data)->data();
}

BOOL FreeResource(HGLOBAL data) {
    Call("FreeResource", {ResourceText(data)});
    return TRUE;
}

// user32

LPSTR CharNextA(LPCSTR text) {
    if (*text == '\0') {
        return const_cast<LPSTR>(text);
    }
    if (fake.leadBytes.find(*text) != std::string::npos && text[1] != '\0') {
        return const_cast<LPSTR>(text + 2);
    }
    return const_cast<LPSTR>(text + 1);
}

HWND GetForegroundWindow(void) {
    Call("GetForegroundWindow", {});
    return fake.foregroundWindow;
}

BOOL IsWindow(HWND window) {
    Call("IsWindow", {Hex(window)});
    return fake.windows.count(window) != 0;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC, LPARAM parameter) {
    // The dialog is handed the host's own record and module, or nothing usable.
    const ConfigDialogContext* context = reinterpret_cast<const ConfigDialogContext*>(parameter);
    Call("DialogBoxParamA", {Hex(instance), Quote(templateName), Hex(owner),
                             context != nullptr && context->instance == hostState.instance &&
                                     context->settings == &hostState.settings
                                 ? "host"
                                 : D(parameter)});
    return fake.dialogResult;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Call("EndDialog", {Hex(dialog), D(result)});
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Call("GetDlgItem", {Hex(dialog), D(id)});
    return FakeHandle<HWND>(0x10000 + id);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    Call("SendDlgItemMessageA", {Hex(dialog), D(id), Hex(message), D(static_cast<long long>(wParam)), D(lParam)});
    return 0;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    Call("IsDlgButtonChecked", {Hex(dialog), D(id)});
    return fake.checkedButtons[id];
}

BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL redraw) {
    Call("SetScrollRange", {Hex(window), D(bar), D(minimum), D(maximum), D(redraw)});
    return TRUE;
}

int SetScrollPos(HWND window, int bar, int position, BOOL redraw) {
    Call("SetScrollPos", {Hex(window), D(bar), D(position), D(redraw)});
    return 0;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    Call("LoadIconA", {Hex(instance), Quote(name)});
    return FakeHandle<HICON>(0x1C0);
}

BOOL GetClientRect(HWND window, RECT* rect) {
    Call("GetClientRect", {Hex(window)});
    auto found = fake.clientRects.find(window);
    if (found == fake.clientRects.end()) {
        return FALSE;
    }
    *rect = found->second;
    return TRUE;
}

int GetSystemMetrics(int index) {
    Call("GetSystemMetrics", {D(index)});
    return index == SM_CXSCREEN ? fake.screenWidth : index == SM_CYSCREEN ? fake.screenHeight : 0;
}

HWND FindWindowA(LPCSTR className, LPCSTR title) {
    Call("FindWindowA", {Quote(className), Quote(title)});
    return fake.runningSaver;
}

HWND FindWindowExA(HWND parent, HWND after, LPCSTR className, LPCSTR title) {
    Call("FindWindowExA", {Hex(parent), Hex(after), Quote(className), Quote(title)});
    return nullptr;
}

LONG GetWindowLongA(HWND window, int index) {
    Call("GetWindowLongA", {Hex(window), D(index)});
    auto found = fake.windowLongs.find({window, index});
    return found != fake.windowLongs.end() ? found->second : 0;
}

HWND SetParent(HWND window, HWND parent) {
    Call("SetParent", {Hex(window), Hex(parent)});
    return nullptr;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    Call("SetWindowLongA", {Hex(window), D(index), Hex(value)});
    return 0;
}

HHOOK SetWindowsHookExA(int kind, HOOKPROC hook, HINSTANCE module, DWORD thread) {
    Call("SetWindowsHookExA", {D(kind), Hex(module), Hex(thread)});
    fake.messageHook = hook;
    return FakeHandle<HHOOK>(0x400C);
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM) {
    Call("CallNextHookEx", {Hex(hook), D(code), Hex(wParam)});
    return 0;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    Call("UnhookWindowsHookEx", {Hex(hook)});
    return TRUE;
}

DWORD GetCurrentThreadId(void) {
    Call("GetCurrentThreadId", {});
    return 0x7D;
}

BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC callback, LPARAM data) {
    Call("EnumThreadWindows", {Hex(thread)});
    for (HWND window : fake.windows) {
        if (!callback(window, data)) {
            break;
        }
    }
    return TRUE;
}

HWND GetWindow(HWND window, UINT relation) {
    Call("GetWindow", {Hex(window), D(relation)});
    auto found = fake.owners.find(window);
    return relation == GW_OWNER && found != fake.owners.end() ? found->second : nullptr;
}

HWND GetFocus(void) {
    Call("GetFocus", {});
    return nullptr;
}

DWORD GetClassLongA(HWND window, int index) {
    Call("GetClassLongA", {Hex(window), D(index)});
    return 0;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD*) {
    Call("GetWindowThreadProcessId", {Hex(window)});
    return 0x7D;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    Call("GetWindowRect", {Hex(window)});
    *rect = RECT{100, 100, 300, 200};
    return TRUE;
}

HWND GetDesktopWindow(void) {
    Call("GetDesktopWindow", {});
    return kFakeDesktop;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    Call("EnableWindow", {Hex(window), D(enable)});
    return FALSE;
}

BOOL ShowOwnedPopups(HWND owner, BOOL show) {
    Call("ShowOwnedPopups", {Hex(owner), D(show)});
    return TRUE;
}

HWND SetFocus(HWND window) {
    Call("SetFocus", {Hex(window)});
    return nullptr;
}

int SetWindowRgn(HWND window, HRGN region, BOOL redraw) {
    Call("SetWindowRgn", {Hex(window), Hex(region), D(redraw)});
    return 1;
}

int GetWindowRgn(HWND window, HRGN region) {
    Call("GetWindowRgn", {Hex(window), Hex(region)});
    return fake.regionKind;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    Call("CreateRectRgn", {D(left), D(top), D(right), D(bottom)});
    return FakeHandle<HRGN>(0x4E6);
}

BOOL SetForegroundWindow(HWND window) {
    Call("SetForegroundWindow", {Hex(window)});
    return TRUE;
}

WORD RegisterClassA(const WNDCLASSA* windowClass) {
    Call("RegisterClassA", {Quote(windowClass->lpszClassName)});
    if (fake.registerResult != 0) {
        fake.registeredClass = *windowClass;
        fake.classes[windowClass->lpszClassName] = *windowClass;
    }
    return fake.registerResult;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
    Call("CreateWindowExA", {Hex(exStyle), Quote(className), Quote(title), Hex(style), D(x), D(y), D(width),
                             D(height), Hex(parent), Hex(menu), Hex(instance), Hex(parameter)});
    HWND window = fake.createResult;
    if (!fake.createResults.empty()) {
        window = fake.createResults.front();
        fake.createResults.pop_front();
    }
    if (window == nullptr) {
        return nullptr;
    }
    fake.windows.insert(window);
    auto windowClass = fake.classes.find(className);
    if (windowClass != fake.classes.end()) {
        fake.windowProcs[window] = windowClass->second.lpfnWndProc;
    }
    fake.clientRects[window] = RECT{0, 0, width, height};
    if (parent != nullptr) {
        fake.parents[window] = parent;
    }
    if (CallWindow(window, WM_CREATE, 0, 0) == -1) {
        fake.windows.erase(window);
        return nullptr;
    }
    return window;
}

BOOL ShowWindow(HWND window, int command) {
    Call("ShowWindow", {Hex(window), D(command)});
    return FALSE;
}

BOOL SetWindowPos(HWND window, HWND after, int x, int y, int width, int height, UINT flags) {
    Call("SetWindowPos", {Hex(window), Hex(after), D(x), D(y), D(width), D(height), Hex(flags),
                          "own=" + D(hostState.movingOwnWindows)});  // as a guard of the windows reads it
    return TRUE;
}

BOOL DestroyWindow(HWND window) {
    Call("DestroyWindow", {Hex(window)});
    if (fake.windows.count(window) == 0) {
        return FALSE;
    }
    CallWindow(window, WM_DESTROY, 0, 0);
    fake.windows.erase(window);
    return TRUE;
}

BOOL GetMessageA(MSG* message, HWND, UINT, UINT) {
    if (fake.queue.empty()) {
        ADD_FAILURE() << "the message loop waits on an empty queue";
        fake.windows.clear();
        message->message = WM_QUIT;
        message->wParam = 0x7FFF;
        return FALSE;
    }
    *message = fake.queue.front();
    fake.queue.pop_front();
    return message->message != WM_QUIT;
}

BOOL TranslateMessage(const MSG*) {
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* message) {
    return CallWindow(message->hwnd, message->message, message->wParam, message->lParam);
}

void PostQuitMessage(int code) {
    Call("PostQuitMessage", {D(code)});
    fake.Post(nullptr, WM_QUIT, static_cast<WPARAM>(code));
}

BOOL GetCursorPos(POINT* point) {
    Call("GetCursorPos", {});
    if (fake.cursorResult) {
        *point = fake.cursor;
    }
    return fake.cursorResult;
}

HCURSOR SetCursor(HCURSOR cursor) {
    Call("SetCursor", {Hex(cursor)});
    return nullptr;
}

HWND GetParent(HWND window) {
    Call("GetParent", {Hex(window)});
    auto found = fake.parents.find(window);
    return found == fake.parents.end() ? nullptr : found->second;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Call("PostMessageA", {Hex(window), Hex(message), Hex(wParam), D(lParam)});
    fake.Post(window, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Call("SendMessageA", {Hex(window), Hex(message), D(static_cast<long long>(wParam)), D(lParam)});
    return CallWindow(window, message, wParam, lParam);
}

BOOL InSendMessage(void) {
    Call("InSendMessage", {});
    return fake.inSendMessage;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Call("MessageBoxA", {Hex(owner), Quote(text), Quote(caption), Hex(type)});
    return IDOK;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    Call("PeekMessageA", {Hex(window), Hex(first), Hex(last), D(remove)});
    for (auto it = fake.queue.begin(); it != fake.queue.end(); ++it) {
        if (it->hwnd == window && it->message >= first && it->message <= last) {
            *message = *it;
            if (remove & PM_REMOVE) {
                fake.queue.erase(it);
            }
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Call("DefWindowProcA", {Hex(window), Hex(message), Hex(wParam), D(lParam)});
    if (message == WM_CLOSE && fake.windows.count(window) != 0) {
        // The platform destroys a window whose WM_CLOSE reaches the default handling.
        CallWindow(window, WM_DESTROY, 0, 0);
        fake.windows.erase(window);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        fake.windows.erase(window);  // the last message a window hears
    }
    return fake.defaultResult;
}

uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapse, TIMERPROC proc) {
    Call("SetTimer", {Hex(window), D(static_cast<long long>(id)), D(elapse), Hex(reinterpret_cast<void*>(proc))});
    return fake.timerResult;
}

BOOL KillTimer(HWND window, uintptr_t id) {
    Call("KillTimer", {Hex(window), D(static_cast<long long>(id))});
    return TRUE;
}

HDC GetDC(HWND window) {
    Call("GetDC", {Hex(window)});
    return FakeHandle<HDC>(0xDC0);
}

int ReleaseDC(HWND window, HDC dc) {
    Call("ReleaseDC", {Hex(window), Hex(dc)});
    return 1;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    Call("FillRect", {Hex(dc), D(rect->left), D(rect->top), D(rect->right), D(rect->bottom), Hex(brush)});
    return 1;
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    Call("LoadBitmapA", {Hex(instance), Quote(name)});
    auto found = fake.bitmaps.find(name);
    return found == fake.bitmaps.end() ? nullptr : found->second;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    Call("LoadStringA", {Hex(instance), D(id), D(size)});
    auto found = fake.strings.find(id);
    if (found == fake.strings.end() || size <= 0) {
        return 0;
    }
    size_t length = std::min(found->second.size(), static_cast<size_t>(size - 1));
    memcpy(buffer, found->second.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    EXPECT_STREQ(format, "%ld");
    va_list arguments;
    va_start(arguments, format);
    int value = va_arg(arguments, int);
    va_end(arguments);
    return snprintf(buffer, 20, "%d", value);
}

BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT flags) {
    Call("SystemParametersInfoA", {D(action), D(param), value == nullptr ? "null" : "place", D(flags)});
    return TRUE;
}

// gdi32

HGDIOBJ GetStockObject(int index) {
    return FakeHandle<HGDIOBJ>(0x5700 + index);
}

HDC CreateCompatibleDC(HDC dc) {
    Call("CreateCompatibleDC", {Hex(dc)});
    return FakeHandle<HDC>(0xDC1);
}

BOOL DeleteDC(HDC dc) {
    Call("DeleteDC", {Hex(dc)});
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    Call("SelectObject", {Hex(dc), Hex(object)});
    return FakeHandle<HGDIOBJ>(0x0B0);
}

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    Call("GetObjectA", {Hex(object), D(size)});
    auto found = fake.bitmapSizes.find(reinterpret_cast<uintptr_t>(object));
    if (found == fake.bitmapSizes.end()) {
        return 0;
    }
    BITMAP* bitmap = static_cast<BITMAP*>(buffer);
    bitmap->bmWidth = found->second.first;
    bitmap->bmHeight = found->second.second;
    return size;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
    Call("BitBlt", {Hex(target), D(x), D(y), D(width), D(height), Hex(source), D(sourceX), D(sourceY), Hex(rop)});
    return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
    Call("GetDeviceCaps", {Hex(dc), D(index)});
    return fake.dpi;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    Call("CreateCompatibleBitmap", {Hex(dc), D(width), D(height)});
    return FakeHandle<HBITMAP>(0xB00 + width);
}

BOOL StretchBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
    Call("StretchBlt", {Hex(target), D(x), D(y), D(width), D(height), Hex(source), D(sourceX), D(sourceY),
                        D(sourceWidth), D(sourceHeight), Hex(rop)});
    return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
    Call("DeleteObject", {Hex(object)});
    return TRUE;
}

// winmm

BOOL sndPlaySoundA(LPCSTR sound, UINT flags) {
    Call("sndPlaySoundA", {SoundName(sound), D(flags)});
    return TRUE;
}

MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume) {
    Call("waveOutGetVolume", {Hex(device)});
    *volume = fake.waveVolume;
    return fake.volumeReadResult;
}

MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume) {
    Call("waveOutSetVolume", {Hex(device), Hex(volume)});
    return 0;
}

// advapi32

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    Call("RegOpenKeyA", {Hex(key), Quote(subKey)});
    if (fake.openKeyResult == 0) {
        *result = FakeHandle<HKEY>(0x4E7);
    }
    return fake.openKeyResult;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    Call("RegQueryValueExA", {Hex(key), Quote(name), Hex(reserved), Hex(type), D(*size)});
    if (fake.queryResult != 0) {
        return fake.queryResult;
    }
    if (fake.registryValue.size() > *size) {
        *size = static_cast<DWORD>(fake.registryValue.size());
        return 234;  // more data than the buffer holds
    }
    memcpy(data, fake.registryValue.data(), fake.registryValue.size());
    *size = static_cast<DWORD>(fake.registryValue.size());
    return 0;
}

LONG RegCloseKey(HKEY key) {
    Call("RegCloseKey", {Hex(key)});
    return 0;
}

// Lets a test run HostStart, which ends in ExitProcess, and come back.
int RunUntilExit(void (*start)(void)) {
    jmp_buf here;
    exitJump = &here;
    if (setjmp(here) == 0) {
        start();
    }
    exitJump = nullptr;
    return 0;
}
