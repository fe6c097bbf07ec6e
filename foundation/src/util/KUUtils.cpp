#include "foundation/KUUtils.h"

#include <cmath>
#include <cstdint>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int KUAtoi(const char* text) {
    if (text == nullptr)
        return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;
    for (; IsDigit(*text); ++text)
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

long KUAtol(const char* text) {
    return KUAtoi(text);
}

double KUAtof(const char* text) {
    if (text == nullptr)
        return 0.0;
    constexpr uint64_t kMantissaLimit = uint64_t(1) << 56;
    while (*text == ' ')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';

    uint64_t mantissa = 0;
    long long exponent = 0;
    for (; IsDigit(*text); ++text) {
        if (mantissa < kMantissaLimit)
            mantissa = mantissa * 10 + static_cast<uint64_t>(*text - '0');
        else
            ++exponent;
    }
    if (*text == '.') {
        for (++text; IsDigit(*text); ++text) {
            if (mantissa < kMantissaLimit) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(*text - '0');
                --exponent;
            }
        }
    }
    if (*text == 'E' || *text == 'e') {
        ++text;
        bool negativeExp = false;
        if (*text == '+' || *text == '-')
            negativeExp = *text++ == '-';
        long long e = 0;
        for (; IsDigit(*text); ++text) {
            if (e < 100000)
                e = e * 10 + (*text - '0');
        }
        exponent += negativeExp ? -e : e;
    }

    // 10^e = 5^e * 2^e: 5^|e| from the powers 5^(2^i) of the set bits of |e|.
    double value = static_cast<double>(mantissa);
    if (mantissa != 0 && exponent != 0) {
        unsigned long long magnitude = exponent < 0 ? -exponent : exponent;
        double factor = 1.0;
        double power = 5.0;
        while (magnitude != 0) {
            if (magnitude & 1)
                factor *= power;
            magnitude >>= 1;
            if (magnitude != 0)
                power *= power;
        }
        value = exponent < 0 ? value / factor : value * factor;
        const int binary = exponent < -100000 ? -100000 : static_cast<int>(exponent);
        value = std::ldexp(value, binary);
    }
    return negative ? -value : value;
}

std::string& KUUtoa(unsigned long value, std::string& out, unsigned long radix) {
    if (radix < 2 || radix > 36)
        return out;
    char digits[sizeof(unsigned long) * 8];
    size_t n = 0;
    do {
        const unsigned long d = value % radix;
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'A' + (d - 10));
        value /= radix;
    } while (value != 0);
    while (n > 0)
        out.push_back(digits[--n]);
    return out;
}

std::string& KULtoa(long value, std::string& out, unsigned long radix) {
    unsigned long magnitude = static_cast<unsigned long>(value);
    if (value < 0) {
        out.push_back('-');
        magnitude = 0ul - magnitude;
    }
    return KUUtoa(magnitude, out, radix);
}

void KUSafeStrcpy(char* dest, const char* src, unsigned long limit) {
    if (dest == nullptr || src == nullptr || limit > 255)
        return;
    unsigned long n = 0;
    while (n < limit && src[n] != '\0') {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = '\0';
}

int KUCompareNoCase(const std::string& a, const std::string& b) {
    // The "C" locale's capitals, whatever the process locale is.
    const auto upper = [](std::string text) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return text;
    };
    return upper(a).compare(upper(b));
}

size_t KUUtf8CharLength(const unsigned char* p, const unsigned char* end) {
    if (p >= end)
        return 0;
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    size_t n;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        high = b == 0xED ? 0x9F : 0xBF; // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        low = b == 0xF0 ? 0x90 : 0x80;  // no overlong form
        high = b == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else
        return 0;
    if (static_cast<size_t>(end - p) < n || p[1] < low || p[1] > high)
        return 0;
    for (size_t k = 2; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    }
    return n;
}

bool KUIsXMLText(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p != end) {
        if (*p < 0x20 && *p != '\t' && *p != '\n' && *p != '\r')
            return false;
        const size_t n = KUUtf8CharLength(p, end);
        if (n == 0 || (n == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE))
            return false; // U+FFFE and U+FFFF are no characters
        p += n;
    }
    return true;
}

bool KUMatchWildcard(const std::string& text, const std::string& pattern) {
    size_t t = 0, p = 0;
    while (t < text.size() && p < pattern.size()) {
        if (text[t] == pattern[p] || pattern[p] == '?') {
            ++t;
            ++p;
        } else if (pattern[p] == '*') {
            ++t;
            ++p;
            if (p < pattern.size()) {
                const size_t found = text.find(pattern[p], t);
                if (found == std::string::npos)
                    return false;
                t = found + 1;
                ++p;
            }
        } else {
            return false;
        }
    }
    // A used-up pattern is a prefix of the text. A used-up text matches only
    // when nothing but '*' is left of the pattern.
    for (; p < pattern.size(); ++p) {
        if (pattern[p] != '*')
            return false;
    }
    return true;
}

long Align16Bytes(char* base, long offset) {
    const auto address = reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(offset);
    return offset + static_cast<long>((16 - address % 16) % 16);
}
