// The Linux program's command line over any arguments: every result is one of the four, a
// refusal says why, and a show that runs has every number within its range.
//
// Input: the arguments after the program's name, each ended by a NUL (the last one may not be).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "linux/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1, "rolvanta");
    args.push_back("");
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back("");
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    LinuxOptions options;
    std::string error;
    OptionsResult result = ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error);
    if (result == OptionsResult::Usage && error.empty()) {
        abort();
    }
    if (result == OptionsResult::Run) {
        for (const SettingRule& setting : kSettings) {
            int32_t value = options.settings.*setting.field;
            if (setting.ranged && (value < setting.minimum || value > setting.maximum)) {
                abort();
            }
        }
        if (options.delayMicroseconds < kDelayRange.minimum || options.delayMicroseconds > kDelayRange.maximum ||
            options.scale < 0 || options.scale > 8 || (options.target == DrawTarget::WindowId) != (options.windowId != 0)) {
            abort();
        }
    }
    return 0;
}
