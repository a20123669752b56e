// The process's entry point, for a program without a C runtime. The linker is told to start
// here (rolvanta_no_runtime() in CMakeLists.txt): the static constructors the compiler listed
// in .ctors run, and HostEntry takes over and ends the process itself.
#include <windows.h>

#include <stddef.h>

// The linker's script frames the constructor list with -1 before and 0 after.
typedef void (*StaticConstructor)(void);
extern "C" StaticConstructor __CTOR_LIST__[];

int WINAPI HostEntry(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandText, int showState);

// The process starts here. The system's stack is only 4-byte aligned on entry.
extern "C" __attribute__((force_align_arg_pointer)) DWORD WINAPI RolvantaStart(void) {
    // Run in the order GCC's own start-up code uses: from the end of the list to its start.
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) {
        ++count;
    }
    for (size_t i = count; i > 0; --i) {
        __CTOR_LIST__[i]();
    }
    // HostEntry reads its own command line and ends the process with the run mode's code.
    ExitProcess(static_cast<UINT>(HostEntry(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)));
}
