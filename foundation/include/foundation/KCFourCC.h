// Four-character codes held in 32 bits, first character in the most
// significant byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class KCFourCC {
public:
    constexpr KCFourCC() : value(0x3F3F3F3F) {}
    constexpr KCFourCC(uint32_t v) : value(v) {}
    constexpr operator uint32_t() const { return value; }
    constexpr uint32_t Get() const { return value; }
    constexpr bool IsUnset() const { return value == 0x3F3F3F3F; }
    // The character at `index`: 0 is the first (the most significant byte);
    // past the fourth, NUL.
    constexpr char operator[](size_t index) const {
        return index < 4 ? char(uint8_t(value >> (24 - 8 * index))) : '\0';
    }

    // Reverses the byte order of a 32-bit value.
    static constexpr uint32_t SwapBytes(uint32_t v) {
        return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
    }

private:
    uint32_t value;
};

// 'abcd' as a constant expression: KV_FOURCC("XPst") == 0x58507374.
constexpr uint32_t KV_FOURCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

inline constexpr KCFourCC kUnsetFourCC{0x3F3F3F3F};

// The code of the first four characters of `four` (at least four supplied).
KCFourCC StringToFourCC(const char* four);

// Exactly four characters, most significant first, no quotes (a zero byte
// stays a NUL character inside the four).
std::string FourCCToString(KCFourCC code);

// Steps every character of the code by `steps` alphanumeric places.
KCFourCC OffsetOSTypeAlphanumerically(KCFourCC code, long steps);
// Steps only the character at `index` (0 = most significant).
KCFourCC OffsetOSTypeAlphanumerically(KCFourCC code, unsigned long index, long steps);
