#include "windows/host/command_line.h"

namespace {

bool IsBlank(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x01 && byte <= 0x20;
}

}  // namespace

const char* SkipProgramName(const char* p, CharStepper next) {
    if (*p == '"') {
        // Blanks inside the quotes belong to the name; an unclosed quote swallows everything.
        do {
            p = next(p);
        } while (*p != '\0' && *p != '"');
        if (*p == '"') {
            ++p;
        }
    } else if (*p != '\0' && !IsBlank(*p)) {
        while (*p != '\0' && !IsBlank(*p)) {
            p = next(p);
        }
    }
    while (IsBlank(*p)) {
        p = next(p);
    }
    return p;
}

ParsedRunMode ParseRunMode(const char* text, uint32_t isWin9x) {
    ParsedRunMode parsed = {0, Configure, 0, nullptr};
    const char* p = text;
    while (*p == ' ' || *p == '-' || *p == '/') {
        ++p;
    }
    switch (*p) {
    case '\0':
        parsed.usable = 1;
        parsed.mode = Configure;
        return parsed;
    case 's':
    case 'S':
        parsed.usable = 1;
        parsed.mode = Saver;
        return parsed;
    case 'c':
    case 'C':
        parsed.usable = 1;
        parsed.mode = Configure;
        parsed.letterGiven = 1;
        return parsed;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
        parsed.mode = Preview;
        break;
    case 'a':
    case 'A':
        if (!isWin9x) {
            return parsed;
        }
        parsed.mode = ChangePassword;
        break;
    default:
        return parsed;
    }
    ++p;
    while (*p == ' ') {
        ++p;
    }
    parsed.usable = 1;
    parsed.rest = p;
    return parsed;
}

uint32_t ParseWindowHandle(const char* text) {
    uint32_t value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    }
    return value;
}
