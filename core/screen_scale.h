// How big a picture pixel is on a screen that is not 96 dpi. Every platform reports its
// screen's scale in its own unit (dots per inch, a device-pixel ratio, a scale in 120ths); the
// show turns it into one whole number s, the side of the square of screen pixels each picture
// pixel becomes, so that a picture is never smoothed. The show itself works in logical pixels,
// the screen's pixels divided by s.
#pragma once

#include <stdint.h>

// The largest block the show draws with; anything beyond is drawn at this.
const int32_t MaxPixelScale = 8;

// s for a scale of numerator/denominator (dpi/96, a ratio in 120ths over 120, ...): the whole
// number nearest it, halves rounding up, at least 1 and at most MaxPixelScale. A denominator
// of 0 or less, or a scale of 0 or less, is no scale: 1.
inline int32_t PixelScaleFor(int32_t numerator, int32_t denominator) {
    if (denominator <= 0 || numerator <= 0) {
        return 1;
    }
    // Quotient and remainder rather than (2n + d) / 2d: nothing a platform reports can overflow,
    // and the Windows build needs no 64-bit division.
    int32_t whole = numerator / denominator;
    int32_t rest = numerator % denominator;
    int32_t s = whole + (rest >= denominator - rest ? 1 : 0);
    if (s < 1) {
        return 1;
    }
    return s > MaxPixelScale ? MaxPixelScale : s;
}

// s for a screen of the given dots per inch: 96-143 give 1, 144-239 give 2, 240-335 give 3.
inline int32_t PixelScaleForDpi(int32_t dpi) {
    return PixelScaleFor(dpi, 96);
}

// A length of screen pixels in logical pixels: every partly covered logical pixel counts.
inline int32_t LogicalLength(int32_t physical, int32_t scale) {
    if (scale <= 1 || physical <= 0) {
        return physical;
    }
    return physical / scale + (physical % scale != 0 ? 1 : 0);
}
