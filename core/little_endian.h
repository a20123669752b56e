// Numbers as the saver's asset files store them: least significant byte first.
#pragma once

#include <stdint.h>

inline uint32_t Little32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

inline uint16_t Little16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}
