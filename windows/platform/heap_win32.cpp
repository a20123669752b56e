// Dynamic memory for a program without a C runtime. An object of its own in the runtime
// library, so that a program that never allocates imports no heap functions.
#include <windows.h>

#include <stddef.h>

// From the process heap. Deleting destructors (of classes with a virtual destructor) refer to
// operator delete even where nothing is ever allocated.
void* operator new(size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void* operator new[](size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void operator delete(void* block) noexcept {
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

void operator delete[](void* block) noexcept {
    operator delete(block);
}

void operator delete(void* block, size_t) noexcept {
    operator delete(block);
}

void operator delete[](void* block, size_t) noexcept {
    operator delete(block);
}
