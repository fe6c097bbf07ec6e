// Number parsing and formatting with fixed rules (independent of the process
// locale), bounded string copies, text comparisons and alignment.
#pragma once

#include <cstddef>
#include <string>

// Skips tabs and blanks, reads one optional sign and decimal digits up to the
// first other character. 32-bit wrap-around, no error; no digits give 0.
int KUAtoi(const char* text);
long KUAtol(const char* text);

// Skips blanks (not tabs), an optional sign, digits, an optional fraction and
// an optional exponent ('E' or 'e'). No digits give 0.
double KUAtof(const char* text);

// Appends the digits of `value` in `radix` (2 to 36; '0'-'9' then 'A'-'Z'),
// most significant first; any other radix appends nothing. Returns `out`.
std::string& KUUtoa(unsigned long value, std::string& out, unsigned long radix);
// As KUUtoa, with a leading "-" for a negative value.
std::string& KULtoa(long value, std::string& out, unsigned long radix);

// Copies at most `limit` characters of `src` and a terminator (`dest` needs
// limit + 1 places). Does nothing for a null pointer or a limit above 255.
void KUSafeStrcpy(char* dest, const char* src, unsigned long limit);

// Compares upper-cased copies ("C" locale capitals, whatever the process
// locale is) as std::string::compare does.
int KUCompareNoCase(const std::string& a, const std::string& b);

// The length (1 to 4) of the well-formed UTF-8 character at `p` (before
// `end`); 0 when the bytes there are not one: a stray or overlong form, a
// surrogate, a code point above U+10FFFF, or a sequence cut short.
size_t KUUtf8CharLength(const unsigned char* p, const unsigned char* end);
// Whether `text` is made only of characters that XML text can carry:
// well-formed UTF-8 without U+FFFE, U+FFFF and without control characters
// other than tab, line feed and carriage return.
bool KUIsXMLText(const std::string& text);

// '?' matches one character, '*' the mismatching character and then skips to
// the pattern's next character. A pattern that is used up matches (prefix
// test); a text that is used up matches only when the rest of the pattern is
// made of '*'. An empty pattern matches.
bool KUMatchWildcard(const std::string& text, const std::string& pattern);

// The offset plus the bytes (0 to 15) that bring base + offset to the next
// multiple of 16.
long Align16Bytes(char* base, long offset);

struct PDoubleWithPrecision {
    PDoubleWithPrecision(double v, int p) : value(v), precision(p) {}
    double value;
    int precision;
};

struct PCurrentDateAndTime {};
