#include "foundation/KCFourCC.h"

namespace {

bool IsAlnum(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr long kAlnumCount = 62;

// One alphanumeric step up or down; the search wraps past 'z' to the space
// character and below the space character to the top.
int StepUp(int v) {
    do {
        ++v;
        if (v > 'z')
            v = ' ';
    } while (!IsAlnum(v));
    return v;
}

int StepDown(int v) {
    do {
        --v;
        if (v < ' ')
            v = 0xFF;
    } while (!IsAlnum(v));
    return v;
}

// After its first step a character is alphanumeric, and every further 62
// steps bring it back to where it was: only the remainder is walked.
unsigned char StepChar(unsigned char c, long steps) {
    int v = c;
    if (steps > 0) {
        v = StepUp(v);
        for (long rest = (steps - 1) % kAlnumCount; rest > 0; --rest)
            v = StepUp(v);
    } else if (steps < 0) {
        v = StepDown(v);
        for (long rest = -((steps + 1) % kAlnumCount); rest > 0; --rest)
            v = StepDown(v);
    }
    return static_cast<unsigned char>(v);
}

} // namespace

KCFourCC StringToFourCC(const char* four) {
    const auto* s = reinterpret_cast<const unsigned char*>(four);
    return KCFourCC((uint32_t(s[0]) << 24) | (uint32_t(s[1]) << 16) | (uint32_t(s[2]) << 8) |
                    uint32_t(s[3]));
}

std::string FourCCToString(KCFourCC code) {
    const uint32_t v = code;
    std::string s(4, '\0');
    s[0] = static_cast<char>(v >> 24);
    s[1] = static_cast<char>(v >> 16);
    s[2] = static_cast<char>(v >> 8);
    s[3] = static_cast<char>(v);
    return s;
}

KCFourCC OffsetOSTypeAlphanumerically(KCFourCC code, long steps) {
    KCFourCC c = code;
    for (unsigned long i = 0; i < 4; ++i)
        c = OffsetOSTypeAlphanumerically(c, i, steps);
    return c;
}

KCFourCC OffsetOSTypeAlphanumerically(KCFourCC code, unsigned long index, long steps) {
    if (index > 3)
        return code;
    const unsigned shift = 8 * (3 - static_cast<unsigned>(index));
    uint32_t v = code;
    const auto ch = static_cast<unsigned char>(v >> shift);
    v &= ~(0xFFu << shift);
    v |= uint32_t(StepChar(ch, steps)) << shift;
    return KCFourCC(v);
}
