// 24-bit words on the wire, most significant byte first.
#pragma once

#include <cstdint>

namespace busgate {

inline uint32_t WordOf(const uint8_t* b) {
    return (uint32_t{b[0]} << 16) | (uint32_t{b[1]} << 8) | b[2];
}

inline void PutWord(uint8_t* b, uint32_t w) {
    b[0] = static_cast<uint8_t>(w >> 16);
    b[1] = static_cast<uint8_t>(w >> 8);
    b[2] = static_cast<uint8_t>(w);
}

} // namespace busgate
