// The seam between the saver's logic and the operating system.
//
// On Windows this is the real API: the logic calls user32, gdi32, kernel32, winmm and
// advapi32 directly, so the shipped program has no layer of its own in between. Everywhere
// else the same names are declared here with the same shapes, and the unit tests define them
// as recording fakes (tests/windows/unit/fake_platform.cpp). Only what the saver uses is declared.
#pragma once

#include <stdint.h>

#ifdef _WIN32

#include <windows.h>
#include <mmsystem.h>

#else  // a native build for the unit tests

#define WINAPI
#define CALLBACK
#define CONST const

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uint32_t MMRESULT;
typedef UINT* LPUINT;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;

#define DECLARE_FAKE_HANDLE(name) typedef struct name##__* name
DECLARE_FAKE_HANDLE(HWND);
DECLARE_FAKE_HANDLE(HINSTANCE);
DECLARE_FAKE_HANDLE(HICON);
DECLARE_FAKE_HANDLE(HBRUSH);
DECLARE_FAKE_HANDLE(HDC);
DECLARE_FAKE_HANDLE(HBITMAP);
DECLARE_FAKE_HANDLE(HKEY);
DECLARE_FAKE_HANDLE(HIMC);
DECLARE_FAKE_HANDLE(HRSRC);
DECLARE_FAKE_HANDLE(HMENU);
DECLARE_FAKE_HANDLE(HWAVEOUT);
DECLARE_FAKE_HANDLE(HMONITOR);
DECLARE_FAKE_HANDLE(HRGN);
DECLARE_FAKE_HANDLE(HHOOK);
#undef DECLARE_FAKE_HANDLE
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;
typedef intptr_t (*FARPROC)();
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, uintptr_t, DWORD);

#define TRUE 1
#define FALSE 0
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001)

typedef struct tagPOINT { LONG x; LONG y; } POINT;
typedef struct tagRECT { LONG left; LONG top; LONG right; LONG bottom; } RECT;
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;
typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA;
typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef struct tagMONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
} MONITORINFO;
typedef BOOL (*MONITORENUMPROC)(HMONITOR, HDC, RECT*, LPARAM);
typedef struct tagWINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
} WINDOWPOS;
typedef struct tagSTYLESTRUCT {
    DWORD styleOld;
    DWORD styleNew;
} STYLESTRUCT;
typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

// Messages.
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_MOUSEACTIVATE 0x0021
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_HELP 0x0053
#define WM_CONTEXTMENU 0x007B
#define WM_STYLECHANGING 0x007C
#define WM_DISPLAYCHANGE 0x007E
#define WM_NCCREATE 0x0081
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_VSCROLL 0x0115
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_MBUTTONDOWN 0x0207
#define WM_MOUSEWHEEL 0x020A
#define WM_POWERBROADCAST 0x0218
#define WM_APP 0x8000
#define WM_NCDESTROY 0x0082
#define WM_NULL 0x0000
#define WM_ACTIVATE 0x0006
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_STYLECHANGED 0x007D
#define WA_INACTIVE 0
#define PBT_POWERSETTINGCHANGE 0x8013

#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_NEXTWINDOW 0xF040
#define SC_PREVWINDOW 0xF050
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120
#define SC_SCREENSAVE 0xF140

#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_OWNDC 0x0020

#define WS_POPUP 0x80000000L
#define WS_MINIMIZE 0x20000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_DISABLED 0x08000000L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TOOLWINDOW 0x00000080L

#define SW_SHOWNOACTIVATE 4
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define MA_NOACTIVATE 3
#define MONITORINFOF_PRIMARY 1

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define LOGPIXELSX 88
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define BLACK_BRUSH 4
#define SRCCOPY 0x00CC0020
#define VER_PLATFORM_WIN32_WINDOWS 1
#define SPI_SCREENSAVERRUNNING 97

#define MB_OK 0x0000
#define MB_ICONEXCLAMATION 0x0030

#define IDOK 1
#define IDCANCEL 2
#define BM_SETCHECK 0x00F1
#define SB_CTL 2
#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
#define SB_THUMBPOSITION 4
#define SB_THUMBTRACK 5
#define SB_TOP 6
#define SB_BOTTOM 7
#define SB_ENDSCROLL 8

#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define WAVE_MAPPER ((UINT)-1)

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0

// kernel32
LPSTR GetCommandLineA(void);
HMODULE GetModuleHandleA(LPCSTR name);
BOOL GetVersionExA(OSVERSIONINFOA* info);
DWORD GetCurrentThreadId(void);
void ExitProcess(UINT code);
DWORD GetTickCount(void);
void Sleep(DWORD milliseconds);
HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR file);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
BOOL FreeResource(HGLOBAL data);

// user32
LPSTR CharNextA(LPCSTR text);
HWND GetForegroundWindow(void);
BOOL IsWindow(HWND window);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM parameter);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL redraw);
int SetScrollPos(HWND window, int bar, int position, BOOL redraw);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL GetClientRect(HWND window, RECT* rect);
int GetSystemMetrics(int index);
HWND FindWindowA(LPCSTR className, LPCSTR title);
HWND FindWindowExA(HWND parent, HWND after, LPCSTR className, LPCSTR title);
LONG GetWindowLongA(HWND window, int index);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL SetForegroundWindow(HWND window);
WORD RegisterClassA(const WNDCLASSA* windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowPos(HWND window, HWND after, int x, int y, int width, int height, UINT flags);
BOOL DestroyWindow(HWND window);
BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
void PostQuitMessage(int code);
BOOL GetCursorPos(POINT* point);
HCURSOR SetCursor(HCURSOR cursor);
HWND GetParent(HWND window);
HWND SetParent(HWND window, HWND parent);
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);
BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC callback, LPARAM data);
HWND GetWindow(HWND window, UINT relation);
#define GW_OWNER 4
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_CHILD 5
#define SW_HIDE 0
HWND GetFocus(void);
#define GCW_ATOM (-32)
typedef uintptr_t ULONG_PTR;
DWORD GetClassLongA(HWND window, int index);
DWORD GetWindowThreadProcessId(HWND window, DWORD* process);
BOOL GetWindowRect(HWND window, RECT* rect);
#define WH_GETMESSAGE 3
#define HC_ACTION 0
typedef LRESULT (*HOOKPROC)(int, WPARAM, LPARAM);
HHOOK SetWindowsHookExA(int kind, HOOKPROC hook, HINSTANCE module, DWORD thread);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
BOOL UnhookWindowsHookEx(HHOOK hook);
#define GWL_HWNDPARENT (-8)
LONG SetWindowLongA(HWND window, int index, LONG value);
HWND GetDesktopWindow(void);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL ShowOwnedPopups(HWND owner, BOOL show);
HWND SetFocus(HWND window);
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);
int GetWindowRgn(HWND window, HRGN region);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InSendMessage(void);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND window, uintptr_t id);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID value, UINT flags);

// gdi32
HGDIOBJ GetStockObject(int index);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop);
BOOL DeleteObject(HGDIOBJ object);
int GetDeviceCaps(HDC dc, int index);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
BOOL StretchBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop);

// winmm
BOOL sndPlaySoundA(LPCSTR sound, UINT flags);
MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);

// advapi32
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegCloseKey(HKEY key);

#endif  // _WIN32

// Entry points that the saver takes from modules at run time.
typedef HIMC(WINAPI* ImmAssociateContextProc)(HWND window, HIMC context);
typedef BOOL(WINAPI* VerifyScreenSavePwdProc)(HWND window);
typedef DWORD(WINAPI* PwdChangePasswordAProc)(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);
// Windows 95 and NT 4 know one monitor only and lack these two.
typedef BOOL(WINAPI* EnumDisplayMonitorsProc)(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data);
typedef BOOL(WINAPI* GetMonitorInfoAProc)(HMONITOR monitor, MONITORINFO* info);

// The timer messages the platform makes of its own; a nonzero lParam names a procedure that
// DispatchMessage calls.
#ifndef WM_SYSTIMER
#define WM_SYSTIMER 0x0118
#endif
// Windows 98 and later: a window's parent, whatever its style (GetParent answers the owner of
// a pop-up), the desktop's for a top-level window.
typedef HWND(WINAPI* GetAncestorProc)(HWND window, UINT which);
typedef BOOL(WINAPI* ShowWindowAsyncProc)(HWND window, int command);
const UINT kAncestorParent = 1;  // GA_PARENT

// Newer Windows tells a window that declared it draws for each monitor's own scale when that
// scale changes; older headers lack the numbers.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif
// A window's dots per inch: user32 of Windows 10 (1607 on), else shcore of Windows 8.1 for the
// window's monitor (the effective dpi, 0, of monitor nearest, 2).
typedef UINT(WINAPI* GetDpiForWindowProc)(HWND window);
typedef HMONITOR(WINAPI* MonitorFromWindowProc)(HWND window, DWORD flags);
typedef LONG(WINAPI* GetDpiForMonitorProc)(HMONITOR monitor, int kind, UINT* dpiX, UINT* dpiY);
const DWORD kMonitorNearest = 2;
const int kEffectiveDpi = 0;

// Windows Vista and later: notices of a power setting's new value, here the console display's
// state (0 off, 1 on, 2 dimmed). Declared here because older headers lack them.
typedef void* PowerNotification;
typedef PowerNotification(WINAPI* RegisterPowerSettingNotificationProc)(void* recipient, const GUID* setting,
                                                                         DWORD flags);
typedef BOOL(WINAPI* UnregisterPowerSettingNotificationProc)(PowerNotification notification);
struct PowerSettingNotice {
    GUID setting;
    DWORD length;
    BYTE data[1];
};
// {6FE69556-704A-47A0-8F24-C28D936FDA47}
const GUID kConsoleDisplayState = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};

// Whether a record that came with a message can be read, or also written, whole without a fault.
BOOL RecordUsable(const void* record, uint32_t size, BOOL forWriting);
// Whether the window belongs to a process that runs this very program file.
BOOL WindowOfThisProgram(HWND window);

// The current calendar time in whole seconds since 1970-01-01 00:00:00 UTC, as 32 bits.
uint32_t ClockSeconds(void);

// An entry point found by name, as the type it really has.
template <typename Proc>
Proc EntryPointAs(FARPROC address) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(address));
}
