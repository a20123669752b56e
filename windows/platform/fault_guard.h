// A guard for the platform's structured exceptions (access violations and the like) around
// a piece of work. The compiler has no __try/__except for this target, so the Windows build
// registers an exception frame of its own (fault_guard_win32.cpp).
#pragma once

#include <stdint.h>

typedef int32_t (*GuardedWork)(void* context);

// Runs work(context). Returns 1 with the work's result in *result when it returned normally.
// When a fault escapes the work and UnhandledExceptionFilter answers EXCEPTION_EXECUTE_HANDLER,
// the work is abandoned and RunGuarded returns 0 with the fault's exception code in *result.
// For the filter's other answers the platform treats the fault as it usually would.
int RunGuarded(GuardedWork work, void* context, int32_t* result);
