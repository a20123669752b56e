// The structured-exception guard for i686, where GCC offers no __try/__except.
//
// An exception registration record is pushed on the thread's frame chain (FS:[0]). When a
// fault is dispatched to it, the handler asks UnhandledExceptionFilter what to do; if the
// answer is to run the handler, the frames above ours are unwound with RtlUnwind, our record
// is popped and execution resumes after the guarded call through __builtin_longjmp.
#include "windows/platform/fault_guard.h"

#include <windows.h>
#include <intrin.h>

namespace {

struct GuardFrame {
    // These two fields are the EXCEPTION_REGISTRATION_RECORD and must come first.
    GuardFrame* next;
    void* handler;
    void* resume[5];
    DWORD code;
};

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisher,
                                                      CONTEXT* context, void* /*dispatcher*/) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
        return ExceptionContinueSearch;
    }
    EXCEPTION_POINTERS pointers = {record, context};
    LONG verdict = UnhandledExceptionFilter(&pointers);
    if (verdict == EXCEPTION_CONTINUE_EXECUTION) {
        return ExceptionContinueExecution;
    }
    if (verdict != EXCEPTION_EXECUTE_HANDLER) {
        return ExceptionContinueSearch;
    }
    GuardFrame* frame = static_cast<GuardFrame*>(establisher);
    frame->code = record->ExceptionCode;
    RtlUnwind(establisher, nullptr, record, nullptr);
    __writefsdword(0, reinterpret_cast<DWORD>(frame->next));
    __builtin_longjmp(frame->resume, 1);
}

}  // namespace

__attribute__((noinline)) int RunGuarded(GuardedWork work, void* context, int32_t* result) {
    GuardFrame frame;
    frame.handler = reinterpret_cast<void*>(&GuardHandler);
    frame.code = 0;
    frame.next = reinterpret_cast<GuardFrame*>(__readfsdword(0));
    if (__builtin_setjmp(frame.resume) == 0) {
        __writefsdword(0, reinterpret_cast<DWORD>(&frame));
        *result = work(context);
        __writefsdword(0, reinterpret_cast<DWORD>(frame.next));
        return 1;
    }
    *result = static_cast<int32_t>(frame.code);
    return 0;
}
