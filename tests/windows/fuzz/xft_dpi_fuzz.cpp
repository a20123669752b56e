// Xft.dpi over any text: the scale is always 1 to 8, and for a plain number of dots per inch
// it is the whole number nearest dpi / 96 within those bounds, however large the number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "linux/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    int32_t scale = ScreenPixelScale(LinuxOptions(), text.c_str());
    if (scale < 1 || scale > 8) {
        abort();
    }
    // Digits with at most one point among them, and something on each side of it. The scale
    // changes only at whole multiples of 48, so thousandths decide it and long double holds
    // any such number near enough.
    size_t point = text.find('.');
    bool plain = !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos &&
                 point == text.rfind('.') && point != 0 && point != text.size() - 1;
    if (plain) {
        long double ratio = strtold(text.substr(0, point == std::string::npos ? point : point + 4).c_str(), nullptr) / 96;
        long double nearest = ratio > 9 ? 9 : std::floor(ratio + 0.5L);
        if (scale != (nearest < 1 ? 1 : (nearest > 8 ? 8 : static_cast<int32_t>(nearest)))) {
            abort();
        }
    }
    return 0;
}
