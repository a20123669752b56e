// What the compiler calls on its own, in place of a C runtime: the saver links none, since
// msvcrt.dll is missing from early Windows 95 installations and a static runtime was most of
// the program's code. Start-up is in start_win32.cpp, dynamic memory in heap_win32.cpp.
//
// These files are a static library, so a program takes only the objects it refers to. This
// one is compiled with -ffreestanding: the compiler must not turn the loops below into calls
// to the very functions they define.
#include <stddef.h>

// The block copies and fills the compiler emits for structure copies, zeroed locals and
// loops it recognises. x86's string instructions are small and fast enough for the sizes a
// screen saver moves outside its blits (which the platform does).
extern "C" void* memcpy(void* target, const void* source, size_t count) {
    void* result = target;
    __asm__ volatile("rep movsb" : "+D"(target), "+S"(source), "+c"(count) : : "memory");
    return result;
}

extern "C" void* memmove(void* target, const void* source, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to <= from || to >= from + count) {
        return memcpy(target, source, count);
    }
    // The target overlaps the source's end: copy from the last byte down.
    to += count - 1;
    from += count - 1;
    __asm__ volatile("std\n\trep movsb\n\tcld" : "+D"(to), "+S"(from), "+c"(count) : : "memory");
    return target;
}

extern "C" void* memset(void* target, int value, size_t count) {
    void* result = target;
    __asm__ volatile("rep stosb" : "+D"(target), "+c"(count) : "a"(value) : "memory");
    return result;
}

extern "C" int memcmp(const void* first, const void* second, size_t count) {
    const unsigned char* a = static_cast<const unsigned char*>(first);
    const unsigned char* b = static_cast<const unsigned char*>(second);
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

// A call to a pure virtual function is a fault in the program: it ends as one (an illegal
// instruction), so that the fault guard treats it as it treats any other.
extern "C" void __cxa_pure_virtual(void) {
    __builtin_trap();
}

// The process always ends through ExitProcess, which returns to the system everything a
// static object could hold; the destructors of statics are therefore never run, and a
// registration only has to succeed.
extern "C" int atexit(void (*)(void)) {
    return 0;
}
