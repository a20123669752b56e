// The command line as the platform hands it over, through the three pure steps of start-up:
// the program-name skip (with a character stepper that knows double-byte lead bytes), the
// switch scan and the handle parsing. Each result is checked against its invariants and
// against a plain model of the same rules written independently of the product code.
//
// Input: one control byte, then the command line.
//   bits 0-1 of the control byte choose the lead bytes: none, 0x81-0x9F and 0xE0-0xFC,
//            0x81-0xFE, or a set of bytes from 0x80 up given by the next 16 bytes as a bit
//            map (lead bytes of the platform's code pages all lie there; the bytes after
//            them may be anything)
//   bit 2    the platform reports Windows 9x
// The command line ends at the first NUL or at the end of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "windows/host/command_line.h"

namespace {

bool leadBytes[256];
const char* lineBegin = nullptr;
const char* lineEnd = nullptr;  // the terminating NUL
size_t stepCalls = 0;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Steps like the platform's CharNextA: a lead byte and a following non-NUL byte make one
// character; at the NUL it stays put.
const char* Step(const char* text) {
    Require(text >= lineBegin && text <= lineEnd);
    ++stepCalls;
    if (*text == '\0') {
        return text;
    }
    if (leadBytes[static_cast<unsigned char>(*text)] && text[1] != '\0') {
        return text + 2;
    }
    return text + 1;
}

bool IsBlank(unsigned char byte) {
    return byte >= 0x01 && byte <= 0x20;
}

// The program-name skip modelled on whole characters: cut the line into characters first,
// then apply the rules to the list.
size_t ModelSkip(const char* line, size_t length) {
    std::vector<size_t> starts;
    for (size_t at = 0; at < length;) {
        starts.push_back(at);
        at += (leadBytes[static_cast<unsigned char>(line[at])] && at + 1 < length) ? 2 : 1;
    }
    starts.push_back(length);
    size_t character = 0;
    auto byteAt = [&](size_t index) { return static_cast<unsigned char>(line[starts[index]]); };
    if (length > 0 && line[0] == '"') {
        character = 1;
        while (starts[character] < length && byteAt(character) != '"') {
            ++character;
        }
        if (starts[character] < length) {
            ++character;  // the closing quote is a one-byte character: no lead byte is below 0x80
        }
    } else if (length > 0 && !IsBlank(byteAt(0))) {
        while (starts[character] < length && !IsBlank(byteAt(character))) {
            ++character;
        }
    }
    while (starts[character] < length && IsBlank(byteAt(character))) {
        ++character;
    }
    return starts[character];
}

void CheckSkip(const char* line, size_t length) {
    stepCalls = 0;
    const char* rest = SkipProgramName(line, Step);
    Require(rest >= line && rest <= line + length);
    Require(!IsBlank(static_cast<unsigned char>(*rest)));
    Require((rest == line) == (length == 0));
    Require(stepCalls <= length + 1);
    Require(static_cast<size_t>(rest - line) == ModelSkip(line, length));
}

void CheckRunMode(const char* text, size_t length, uint32_t isWin9x) {
    ParsedRunMode parsed = ParseRunMode(text, isWin9x);
    size_t at = 0;
    while (at < length && (text[at] == ' ' || text[at] == '-' || text[at] == '/')) {
        ++at;
    }
    char decisive = text[at];
    switch (decisive) {
    case '\0':
        Require(parsed.usable && parsed.mode == Configure && !parsed.letterGiven);
        return;
    case 's':
    case 'S':
        Require(parsed.usable && parsed.mode == Saver);
        return;
    case 'c':
    case 'C':
        Require(parsed.usable && parsed.mode == Configure && parsed.letterGiven);
        return;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
        Require(parsed.usable && parsed.mode == Preview);
        break;
    case 'a':
    case 'A':
        if (!isWin9x) {
            Require(!parsed.usable);
            return;
        }
        Require(parsed.usable && parsed.mode == ChangePassword);
        break;
    default:
        Require(!parsed.usable);
        return;
    }
    // Preview and ChangePassword: the rest starts after the letter and its spaces, inside
    // the text and never past its NUL.
    Require(parsed.rest != nullptr);
    Require(parsed.rest > text + at && parsed.rest <= text + length);
    for (const char* p = text + at + 1; p < parsed.rest; ++p) {
        Require(*p == ' ');
    }
    Require(*parsed.rest != ' ');
}

void CheckHandle(const char* text, size_t length) {
    uint64_t model = 0;
    for (size_t at = 0; at < length && text[at] >= '0' && text[at] <= '9'; ++at) {
        model = (model * 10 + static_cast<uint64_t>(text[at] - '0')) % 4294967296ull;
    }
    Require(ParseWindowHandle(text) == static_cast<uint32_t>(model));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    uint8_t control = data[0];
    ++data;
    --size;
    std::memset(leadBytes, 0, sizeof(leadBytes));
    switch (control & 3) {
    case 0:
        break;
    case 1:
        for (int byte = 0x81; byte <= 0xFC; ++byte) {
            leadBytes[byte] = byte <= 0x9F || byte >= 0xE0;
        }
        break;
    case 2:
        for (int byte = 0x81; byte <= 0xFE; ++byte) {
            leadBytes[byte] = true;
        }
        break;
    default:
        if (size < 16) {
            return 0;
        }
        for (int bit = 0; bit < 128; ++bit) {
            leadBytes[0x80 + bit] = (data[bit / 8] >> (bit % 8)) & 1;
        }
        data += 16;
        size -= 16;
        break;
    }
    uint32_t isWin9x = (control >> 2) & 1;

    // An allocation of exactly the line and its NUL, so the sanitizer sees any read past it.
    size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    char* line = new char[length + 1];
    std::memcpy(line, data, length);
    line[length] = '\0';
    lineBegin = line;
    lineEnd = line + length;

    CheckSkip(line, length);
    const char* arguments = SkipProgramName(line, Step);
    size_t argumentsLength = length - static_cast<size_t>(arguments - line);
    CheckRunMode(arguments, argumentsLength, isWin9x);
    CheckRunMode(line, length, isWin9x);
    ParsedRunMode parsed = ParseRunMode(arguments, isWin9x);
    if (parsed.usable && parsed.rest != nullptr) {
        CheckHandle(parsed.rest, length - static_cast<size_t>(parsed.rest - line));
    }
    CheckHandle(line, length);

    delete[] line;
    return 0;
}
