// Test stand-in for the platform's password module. Wine has none, so the end-to-end tests
// put this one next to the saver under the name PASSWORD.CPL.
//
// VerifyScreenSavePwd(owner) opens a real modal prompt over the owner window (an edit box, OK
// and Cancel) and returns 1 only when the text typed matches the password the test wrote
// into password.ini next to this module:
//
//     [prompt]
//     Password=the word the test expects
//     Nudge=1        ; optional: right after a refusal, send one key press as real input
//
// Everything a test needs to know about what happened inside the saver's process is appended
// to password_calls.log next to this module, one line per event, each line written whole:
//
//     attach pid=P tick=T running=R          module loaded (R: SPI_GETSCREENSAVERRUNNING)
//     open n=N tick=T owner=H depth=D running=R
//     shown n=N dialog=H edit=X,Y ok=X,Y cancel=X,Y      the prompt is up; screen points
//     nudge n=N tick=T sent=S                 a key press sent right after a refusal
//     close n=N tick=T result=R answer=A      A: right, wrong, cancel or unanswered
//     msg tick=T hwnd=H message=M wparam=W lparam=L     a message the saver's thread took from
//                                             its queue
//     detach tick=T running=R                 module freed
//
// "msg" lines come from a message hook on the loading thread. They cover the messages that
// could close a window, pointer moves, and a marker the tests post to know that everything
// queued before it has been handled. Timer ticks are left out: there are too many.
//
// Built a second time with PASSWORD_CPL_WITHOUT_VERIFY: the same module without the entry
// point, still logging attach and detach so a test can tell it was loaded and let go.
#include <windows.h>

#include "test_program.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The marker the tests post (WM_NULL with this wParam) to find out that a window's queue has
// been worked through up to that point.
const WPARAM kMarker = 0x5E17;

const int kEditId = 100;

HINSTANCE module;
HHOOK messageHook;
#ifndef PASSWORD_CPL_WITHOUT_VERIFY
int promptCount;
int promptDepth;
// How the prompt on screen was answered. The dialog's own result is not trusted for this:
// a modal loop can end without any answer (a WM_QUIT in the queue ends it), and what the
// dialog manager returns then is its business, not a password check.
const char* promptEnding;
#endif

std::string FileNextToModule(const char* name) {
    return test_program::FileNextToModule(module, name);
}

// One line per call, opened and closed each time: the test reads the file while the saver
// runs, and a line must never be seen half written.
void Log(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    int length = _vsnprintf(line, sizeof(line) - 2, format, arguments);
    va_end(arguments);
    if (length < 0 || length > static_cast<int>(sizeof(line)) - 2) {
        length = static_cast<int>(sizeof(line)) - 2;
    }
    line[length++] = '\n';
    HANDLE file = CreateFileA(FileNextToModule("password_calls.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

int SaverRunningState(void) {
    BOOL running = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) {
        return -1;
    }
    return running ? 1 : 0;
}

bool IsLoggedMessage(const MSG& message) {
    switch (message.message) {
    case WM_NULL:
        return message.wParam == kMarker;
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUIT:
    case WM_ENDSESSION:
    case WM_SYSCOMMAND:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEMOVE:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK MessageHook(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (IsLoggedMessage(*message)) {
            Log("msg tick=%lu hwnd=%lu message=0x%X wparam=0x%lX lparam=0x%lX", GetTickCount(),
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(message->hwnd)), message->message,
                static_cast<unsigned long>(message->wParam), static_cast<unsigned long>(message->lParam));
        }
    }
    return CallNextHookEx(messageHook, code, removal, lParam);
}

#ifndef PASSWORD_CPL_WITHOUT_VERIFY

const UINT kLogShown = WM_APP + 1;

std::string ConfiguredText(const char* key, const char* fallback) {
    char value[256] = {};
    GetPrivateProfileStringA("prompt", key, fallback, value, sizeof(value),
                             FileNextToModule("password.ini").c_str());
    return value;
}

POINT CentreOf(HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return centre;
}

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        // The saver window is top-most over the whole screen; the prompt must stand above it.
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(dialog);
        SetFocus(GetDlgItem(dialog, kEditId));
        PostMessageA(dialog, kLogShown, 0, 0);
        return FALSE;
    }
    case kLogShown: {
        // Posted at creation, so it is handled once the modal loop runs and the prompt shows.
        POINT edit = CentreOf(GetDlgItem(dialog, kEditId));
        POINT ok = CentreOf(GetDlgItem(dialog, IDOK));
        POINT cancel = CentreOf(GetDlgItem(dialog, IDCANCEL));
        Log("shown n=%d dialog=%lu edit=%ld,%ld ok=%ld,%ld cancel=%ld,%ld", promptCount,
            static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(dialog)), edit.x, edit.y, ok.x, ok.y, cancel.x,
            cancel.y);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            char typed[256] = {};
            GetDlgItemTextA(dialog, kEditId, typed, sizeof(typed));
            std::string expected = ConfiguredText("Password", "");
            // An empty configured password would let anything through: refuse instead.
            promptEnding = !expected.empty() && expected == typed ? "right" : "wrong";
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            promptEnding = "cancel";
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

// A dialog template in memory: a caption, a label, the edit box, OK and Cancel.
class PromptTemplate {
public:
    PromptTemplate() {
        DLGTEMPLATE header = {};
        header.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        header.cdit = 4;
        header.cx = 180;
        header.cy = 64;
        Append(&header, sizeof(header));
        Word(0);  // no menu
        Word(0);  // the predefined dialog class
        Text(L"Saver password (test)");
        Word(8);
        Text(L"MS Shell Dlg");
        Item(0x0082, WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 7, 166, 9, -1, L"Password:");
        Item(0x0081, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL, 7, 18, 166, 12,
             kEditId, L"");
        Item(0x0080, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 66, 40, 50, 14, IDOK, L"OK");
        Item(0x0080, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 123, 40, 50, 14, IDCANCEL, L"Cancel");
    }

    const DLGTEMPLATE* Get() const {
        return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data());
    }

private:
    void Append(const void* data, size_t size) {
        bytes_.append(static_cast<const char*>(data), size);
    }
    void Word(WORD value) {
        Append(&value, sizeof(value));
    }
    void Text(const wchar_t* text) {
        Append(text, (wcslen(text) + 1) * sizeof(wchar_t));
    }
    void AlignToDword() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back('\0');
        }
    }
    void Item(WORD atom, DWORD style, short x, short y, short cx, short cy, int id, const wchar_t* text) {
        AlignToDword();
        DLGITEMTEMPLATE item = {};
        item.style = style;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = static_cast<WORD>(id);
        Append(&item, sizeof(item));
        Word(0xFFFF);
        Word(atom);
        Text(text);
        Word(0);  // no creation data
    }

    std::string bytes_;
};

// Right after a refused prompt the user's hand is still on the keyboard: one key press,
// through the platform's input path, reaches the saver before 200 ms have passed.
void SendNudge(void) {
    INPUT keys[2] = {};
    keys[0].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_SHIFT;
    keys[1] = keys[0];
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    UINT sent = SendInput(2, keys, sizeof(INPUT));
    Log("nudge n=%d tick=%lu sent=%u", promptCount, GetTickCount(), sent);
}

#endif  // PASSWORD_CPL_WITHOUT_VERIFY

}  // namespace

#ifndef PASSWORD_CPL_WITHOUT_VERIFY
extern "C" BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
    int number = ++promptCount;
    ++promptDepth;
    Log("open n=%d tick=%lu owner=%lu depth=%d running=%d", number, GetTickCount(),
        static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(owner)), promptDepth, SaverRunningState());
    static PromptTemplate prompt;
    promptEnding = "unanswered";
    INT_PTR answer = DialogBoxIndirectParamA(module, prompt.Get(), owner, PromptProc, 0);
    const char* ending = promptEnding;
    if (strcmp(ending, "unanswered") == 0 && owner != nullptr) {
        // The dialog manager gives the owner back its input and the foreground only in
        // EndDialog; after a loop ended by WM_QUIT the saver would stay deaf to every key and
        // click. A prompt must not leave it so, whoever ended its loop.
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    BOOL accepted = answer == IDOK && strcmp(ending, "right") == 0 ? TRUE : FALSE;
    if (!accepted && ConfiguredText("Nudge", "0") == "1") {
        SendNudge();
    }
    --promptDepth;
    Log("close n=%d tick=%lu result=%d answer=%s", number, GetTickCount(), accepted, ending);
    return accepted;
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
        Log("attach pid=%lu tick=%lu running=%d", GetCurrentProcessId(), GetTickCount(), SaverRunningState());
        messageHook = SetWindowsHookExA(WH_GETMESSAGE, MessageHook, instance, GetCurrentThreadId());
    } else if (reason == DLL_PROCESS_DETACH) {
        if (messageHook != nullptr) {
            UnhookWindowsHookEx(messageHook);
        }
        Log("detach tick=%lu running=%d", GetTickCount(), SaverRunningState());
    }
    return TRUE;
}
