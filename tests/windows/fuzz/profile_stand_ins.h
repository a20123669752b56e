// Minimal stand-ins for the platform calls that settings and the settings dialog make: the
// profile answers from the fuzz input, writes and dialog calls are remembered so the
// targets can check them. These are every call the settings and the dialog make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "windows/platform/winapi.h"

// The seven keys in the order the settings are read and written, with their defaults.
struct SettingsKey {
    const char* name;
    int32_t fallback;
};
extern const SettingsKey kSettingsKeys[7];

struct ProfileRead {
    std::string section;
    std::string key;
    INT fallback;
    std::string file;
};

struct ProfileWrite {
    std::string section;
    std::string key;
    std::string text;
    std::string file;
};

struct StandIns {
    std::map<std::string, UINT> profile;  // present keys and what the platform reads for them
    std::vector<ProfileRead> reads;
    std::vector<ProfileWrite> writes;
    std::map<int, UINT> checkBoxes;            // what IsDlgButtonChecked answers, by control
    std::map<int, WPARAM> checkBoxesSet;       // what BM_SETCHECK set, by control
    std::map<HWND, std::pair<int, int>> scrollRanges;
    std::map<HWND, int> scrollPositions;
    int endDialogCalls = 0;
    INT_PTR endDialogResult = 0;
};

extern StandIns standIns;

// Forgets everything, for a new input.
void ResetStandIns();

// The handle GetDlgItem gives for a control.
HWND DialogItem(int id);

// Reads input front to back; past its end every read gives zero.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word32() {
        uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<uint32_t>(Byte()) << shift;
        }
        return value;
    }
    uint16_t Word16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    bool Done() const { return at_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Fills the profile from the input: for each key one byte (bit 0: the key is present) and
// then, for a present key, four bytes of the value the platform reads (little-endian).
void ProfileFromInput(InputReader& input);

[[noreturn]] void Fail(const char* what);
inline void Require(bool condition, const char* what) {
    if (!condition) {
        Fail(what);
    }
}
