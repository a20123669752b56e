// Xft.dpi over any text: a scale from 1 to 8, and for digits with a point inside at most, the
// whole number nearest dpi / 96 within those, however large. Thousandths decide it (the scale
// changes only at multiples of 48), and long double holds those near enough.
#include <cmath>
#include <cstdlib>
#include <string>

#include "linux/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(text.find('\0') == std::string::npos ? size : text.find('\0'));
    int32_t scale = ScreenPixelScale(LinuxOptions(), text.c_str());
    size_t point = text.find('.');
    if (!text.empty() && text.find_first_not_of("0123456789.") == std::string::npos && point == text.rfind('.') &&
        point != 0 && point + 1 != text.size()) {
        long double nearest = std::floor(strtold(text.substr(0, point == std::string::npos ? point : point + 4).c_str(),
                                                 nullptr) / 96 + 0.5L);
        if (scale != (nearest < 1 ? 1 : (nearest > 8 ? 8 : static_cast<int32_t>(nearest)))) {
            abort();
        }
    }
    if (scale < 1 || scale > 8) {
        abort();
    }
    return 0;
}
