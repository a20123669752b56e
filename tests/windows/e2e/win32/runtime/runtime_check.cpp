// Checks of the no-runtime start-up and its helpers, reported as the exit code: 0 when every
// check holds, else the bits of the checks that failed. Its command line is the Unix time the
// test read just before starting it, or "pure" to call a pure virtual function.
#include "windows/platform/winapi.h"

#include <string.h>

namespace {

// An abstract port with a global implementation, as a portable core over a platform would
// have it; its constructor cannot run at compile time, so it lands in .ctors.
class Port {
public:
    virtual ~Port() {}
    virtual int Value() = 0;
};

volatile int constructorRuns = 0;

class CountingPort : public Port {
public:
    CountingPort() : value_(++constructorRuns * 7) {}
    int Value() override { return value_; }

private:
    int value_;
};

CountingPort globalPort;

// Calls Value() while the object is still a Port: the pure virtual function itself.
class EarlyCaller : public Port {
public:
    EarlyCaller() { Call(this); }
    static int Call(Port* port) { return port->Value(); }
};

class LateValue : public EarlyCaller {
public:
    int Value() override { return 1; }
};

volatile size_t runtimeCount;  // keeps the copies below as calls into the runtime

const char* LastWord(const char* text) {
    const char* word = text;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ' ' && p[1] != ' ' && p[1] != '\0') {
            word = p + 1;
        }
    }
    return word;
}

uint32_t ParseNumber(const char* text) {
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint32_t>(*text - '0');
    }
    return value;
}

}  // namespace

int WINAPI HostEntry(HINSTANCE, HINSTANCE, LPSTR commandText, int) {
    const char* argument = LastWord(commandText);
    if (lstrcmpA(argument, "pure") == 0) {
        LateValue late;
        return late.Value();
    }
    int failures = 0;
    Port* port = &globalPort;
    if (constructorRuns != 1 || port->Value() != 7) {
        failures |= 1;
    }

    char buffer[16];
    runtimeCount = 10;
    memset(buffer, 'x', runtimeCount);
    buffer[10] = '\0';
    if (lstrcmpA(buffer, "xxxxxxxxxx") != 0) {
        failures |= 2;
    }
    memcpy(buffer, "0123456789", runtimeCount);
    runtimeCount = 8;
    memmove(buffer + 2, buffer, runtimeCount);  // overlapping, the target after the source
    if (lstrcmpA(buffer, "0101234567") != 0) {
        failures |= 4;
    }
    memmove(buffer, buffer + 3, runtimeCount - 1);  // overlapping, the target before the source
    if (lstrcmpA(buffer, "1234567567") != 0) {
        failures |= 8;
    }
    runtimeCount = 3;
    if (memcmp("abc", "abd", runtimeCount) >= 0 || memcmp("abd", "abc", runtimeCount) <= 0 ||
        memcmp("ab\xff", "ab\x01", runtimeCount) <= 0 || memcmp("abc", "abc", runtimeCount) != 0) {
        failures |= 16;
    }

    uint32_t expected = ParseNumber(argument);
    uint32_t now = ClockSeconds();
    if (now < expected || now - expected > 120) {
        failures |= 32;
    }
    return failures;
}
