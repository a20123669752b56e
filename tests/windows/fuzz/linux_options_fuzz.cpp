// The Linux program's options over any arguments (the input's NUL-separated pieces): a refusal
// says why, and a show that runs has every number within its range.
#include <cstdlib>
#include <string>
#include <vector>

#include "linux/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args = {"rolvanta", ""};
    for (size_t i = 0; i < size; ++i) {
        data[i] == 0 ? args.push_back("") : args.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    LinuxOptions o;
    std::string error;
    OptionsResult result = ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error);
    bool wrong = result == OptionsResult::Usage && error.empty();
    for (const SettingRule& s : kSettings) {
        int32_t value = o.settings.*s.field;
        wrong |= result == OptionsResult::Run && s.ranged && (value < s.minimum || value > s.maximum);
    }
    if (wrong || o.delayMicroseconds < 0 || o.delayMicroseconds > kDelayRange.maximum || o.scale < 0 || o.scale > 8) {
        abort();
    }
    return 0;
}
