// The pure text logic of start-up: what the command line asks for.
#pragma once

#include <stdint.h>

#include "windows/host/host.h"

// The platform's character stepping (CharNextA), passed in so the skip runs anywhere.
typedef const char* (*CharStepper)(const char* text);

// Skips the program name at the start of the command line and the blanks after it;
// returns where the argument text begins.
const char* SkipProgramName(const char* commandLine, CharStepper next);

struct ParsedRunMode {
    int usable;          // 0: the text names no mode
    RunMode mode;
    int letterGiven;     // Configure only: whether "c"/"C" chose it
    const char* rest;    // Preview and ChangePassword: the text after the letter and its spaces
};

ParsedRunMode ParseRunMode(const char* argumentText, uint32_t isWin9x);

// A decimal window handle: digits up to the first non-digit, wrapping modulo 2^32.
uint32_t ParseWindowHandle(const char* text);
