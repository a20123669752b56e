// What the saver may take on trust from other programs: whether a record that came with a
// message lies in memory it can read, and whether a window is one of its own kind.
#include <windows.h>
#include <tlhelp32.h>

#include "windows/platform/winapi.h"

namespace {

const DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
const DWORD kReadable = kWritable | PAGE_READONLY | PAGE_EXECUTE_READ;

// Asks the memory manager rather than touching the record, so nothing can fault.
BOOL Accessible(const void* record, uint32_t size, DWORD access) {
    uintptr_t at = reinterpret_cast<uintptr_t>(record);
    uintptr_t end = at + size;
    if (record == nullptr || end < at) {
        return FALSE;
    }
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof(region)) == 0 || region.State != MEM_COMMIT ||
            (region.Protect & access) == 0 || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
            return FALSE;
        }
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return TRUE;
}

typedef BOOL(WINAPI* QueryFullProcessImageNameAProc)(HANDLE process, DWORD flags, LPSTR path, DWORD* size);
typedef HANDLE(WINAPI* CreateToolhelp32SnapshotProc)(DWORD what, DWORD process);
typedef BOOL(WINAPI* Process32Proc)(HANDLE snapshot, PROCESSENTRY32* entry);
typedef BOOL(WINAPI* Module32Proc)(HANDLE snapshot, MODULEENTRY32* entry);

FARPROC Kernel32(const char* name) {
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

// Windows Vista and later name any process's program file.
bool ImageByQuery(DWORD process, char* path, DWORD size) {
    QueryFullProcessImageNameAProc query =
        EntryPointAs<QueryFullProcessImageNameAProc>(Kernel32("QueryFullProcessImageNameA"));
    const DWORD kQueryLimitedInformation = 0x1000;
    HANDLE handle = query != nullptr ? OpenProcess(kQueryLimitedInformation, FALSE, process) : nullptr;
    if (handle == nullptr) {
        return false;
    }
    bool named = query(handle, 0, path, &size) != 0;
    CloseHandle(handle);
    return named;
}

// Windows 95 to XP take snapshots (NT 4 cannot). Windows 9x gives the process's whole path;
// Windows 2000 and XP give its file name only, and the whole path as its first module's.
bool ImageBySnapshot(DWORD process, char* path, DWORD size) {
    CreateToolhelp32SnapshotProc snapshot =
        EntryPointAs<CreateToolhelp32SnapshotProc>(Kernel32("CreateToolhelp32Snapshot"));
    Process32Proc first = EntryPointAs<Process32Proc>(Kernel32("Process32First"));
    Process32Proc next = EntryPointAs<Process32Proc>(Kernel32("Process32Next"));
    Module32Proc firstModule = EntryPointAs<Module32Proc>(Kernel32("Module32First"));
    if (snapshot == nullptr || first == nullptr || next == nullptr || firstModule == nullptr) {
        return false;
    }
    bool named = false;
    HANDLE processes = snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = first(processes, &entry); more && !named; more = next(processes, &entry)) {
            if (entry.th32ProcessID == process) {
                named = lstrcpynA(path, entry.szExeFile, size) != nullptr;
                break;
            }
        }
        CloseHandle(processes);
    }
    for (const char* c = path; named && *c != '\0'; c = CharNextA(c)) {
        if (*c == '\\') {
            return true;
        }
    }
    HANDLE modules = snapshot(TH32CS_SNAPMODULE, process);
    if (modules == INVALID_HANDLE_VALUE) {
        return false;
    }
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    named = firstModule(modules, &module) != 0 && lstrcpynA(path, module.szExePath, size) != nullptr;
    CloseHandle(modules);
    return named;
}

}  // namespace

BOOL RecordUsable(const void* record, uint32_t size, BOOL forWriting) {
    return Accessible(record, size, forWriting ? kWritable : kReadable);
}

BOOL WindowOfThisProgram(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char own[MAX_PATH];
    char theirs[MAX_PATH];
    if (process == 0 || GetModuleFileNameA(nullptr, own, MAX_PATH) == 0) {
        return FALSE;
    }
    // A process the saver cannot name is not taken for its own kind: better two savers than none.
    if (!ImageByQuery(process, theirs, MAX_PATH) && !ImageBySnapshot(process, theirs, MAX_PATH)) {
        return FALSE;
    }
    return lstrcmpiA(own, theirs) == 0;
}
