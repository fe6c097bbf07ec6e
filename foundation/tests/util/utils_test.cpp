#include "foundation/KCMemObj.h"
#include "foundation/KUUtils.h"

#include "testsupport/CompiledLocale.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

// Allocation failures are provoked with impossible sizes; the sanitizer must
// answer them with null as the plain heap does.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

constexpr unsigned long kImpossibleSize = ULONG_MAX / 2;

TEST(UtilNumberParsing, AtoiRules) {
    struct {
        const char* text;
        int value;
    } cases[] = {
        {"  \t-42abc", -42},
        {"- 5", 0},
        {"+-5", 0},
        {"\n7", 0},
        {"+17", 17},
        {"", 0},
        {"abc", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MIN}, // 32-bit wrap-around
        {"-2147483648", INT_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KUAtoi(c.text), c.value) << '"' << c.text << '"';
        EXPECT_EQ(KUAtol(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(KUAtoi(nullptr), 0);
}

TEST(UtilNumberParsing, AtofRules) {
    struct {
        const char* text;
        double value;
    } cases[] = {
        {"\t1.5", 0.0},
        {" -2.5e2", -250.0},
        {"1e-3", 0.001},
        {".5", 0.5},
        {"+3.25", 3.25},
        {"12abc", 12.0},
        {"1E+2", 100.0},
        {"0.1", 0.1},
        {"", 0.0},
        {"x1", 0.0},
        {"123456789012345678901234", 1.2345678901234568e23},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(KUAtof(c.text), c.value) << '"' << c.text << '"';
    EXPECT_TRUE(std::signbit(KUAtof("-")));
    // Far exponents stay finite or zero instead of wrapping.
    EXPECT_EQ(KUAtof("1e-400"), 0.0);
    EXPECT_TRUE(std::isinf(KUAtof("1e400")));
}

TEST(UtilNumberFormatting, RadixDigits) {
    struct {
        unsigned long value;
        unsigned long radix;
        const char* text;
    } cases[] = {{255, 16, "FF"},
                 {0, 10, "0"},
                 {5, 2, "101"},
                 {35, 36, "Z"},
                 {7, 1, ""},
                 {7, 37, ""},
                 {ULONG_MAX, 16, "FFFFFFFFFFFFFFFF"}};
    for (const auto& c : cases) {
        std::string out = "x";
        EXPECT_EQ(KUUtoa(c.value, out, c.radix), std::string("x") + c.text);
    }
    std::string out;
    EXPECT_EQ(KULtoa(-7, out, 10), "-7");
    out.clear();
    EXPECT_EQ(KULtoa(LONG_MIN, out, 16), "-8000000000000000");
}

TEST(UtilStrings, SafeStrcpy) {
    char dest[300];
    std::strcpy(dest, "keep");
    KUSafeStrcpy(dest, "abc", 256);
    EXPECT_STREQ(dest, "keep");
    KUSafeStrcpy(dest, "abcdef", 3);
    EXPECT_STREQ(dest, "abc");
    KUSafeStrcpy(dest, "xy", 255);
    EXPECT_STREQ(dest, "xy");
    KUSafeStrcpy(dest, nullptr, 3);
    EXPECT_STREQ(dest, "xy");
}

TEST(UtilStrings, CompareNoCase) {
    EXPECT_EQ(KUCompareNoCase("Hello", "hELLO"), 0);
    EXPECT_LT(KUCompareNoCase("abc", "ABD"), 0);
    EXPECT_LT(KUCompareNoCase("ab", "ABC"), 0);
    EXPECT_GT(KUCompareNoCase("b", "A"), 0);
}

// Upper-casing follows the "C" locale whatever the process locale is: here a
// locale in which only 'a' and 'b' have capitals (as 'i' has none in some
// languages).
TEST(UtilStrings, CompareNoCaseIgnoresTheProcessLocale) {
    CompiledLocale compiled;
    std::string why;
    const bool set = compiled.Set(LC_CTYPE,
                                  "LC_CTYPE\n"
                                  "upper <U0041>..<U005A>\n"
                                  "lower <U0061>..<U007A>\n"
                                  "toupper (<U0061>,<U0041>);(<U0062>,<U0042>)\n"
                                  "END LC_CTYPE\n",
                                  why);
    if (set && std::toupper('i') == 'I')
        why = "the compiled locale upper-cases every letter";
    const bool oddLocale = set && std::toupper('i') != 'I';
    EXPECT_EQ(KUCompareNoCase("file", "FILE"), 0);
    EXPECT_LT(KUCompareNoCase("fila", "FILE"), 0);
    std::setlocale(LC_CTYPE, "C");
    if (!oddLocale)
        GTEST_SKIP() << "no locale with other capitals: " << why;
}

TEST(UtilStrings, MatchWildcard) {
    struct {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"abcdef", "a?c", true}, // the pattern is used up first
        {"abc", "abd", false},
        {"ab", "abd", false}, // the text ran out first
        {"anything", "", true},
        {"", "", true},
        {"", "a", false},
        {"a", "a*", true},
        {"file.txt", "*.txt", true},
        {"file.txt", "*.doc", false},
        {"abc", "a?c", true},
        {"ab", "a?c", false},
        {"x", "?", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KUMatchWildcard(c.text, c.pattern), c.match)
            << '"' << c.text << "\" vs \"" << c.pattern << '"';
}

TEST(UtilAlignment, Align16Bytes) {
    alignas(16) char buffer[32];
    EXPECT_EQ(Align16Bytes(buffer, 0), 0);
    EXPECT_EQ(Align16Bytes(buffer, 1), 16);
    EXPECT_EQ(Align16Bytes(buffer, 16), 16);
    EXPECT_EQ(Align16Bytes(reinterpret_cast<char*>(0x1003), 2), 13);
}

TEST(UtilMemUtils, BlocksAndResize) {
    void* block = KCMemUtils::NewKTPtrClear(8);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, "\0\0\0\0\0\0\0\0", 8), 0);
    std::memcpy(block, "abcdefgh", 8);
    EXPECT_EQ(KCMemUtils::ResizeKTPtr(block, 4), eNoErr);
    EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);

    // A failed reallocation reports an error and keeps the old block.
    void* before = block;
    EXPECT_NE(KCMemUtils::ResizeKTPtr(block, kImpossibleSize), eNoErr);
    EXPECT_EQ(block, before);
    EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
    KCMemUtils::DisposeKTPtr(block);
    EXPECT_EQ(block, nullptr);

    EXPECT_EQ(KCMemUtils::ResizeKTPtr(block, 16), eNoErr);
    EXPECT_NE(block, nullptr);
    KCMemUtils::DisposeKTPtr(block);
    EXPECT_EQ(KCMemUtils::ResizeKTPtr(block, kImpossibleSize), eMemNewTPtrFailed);
    EXPECT_EQ(block, nullptr);
}

TEST(UtilMemUtils, DuplicateReportsFailure) {
    void* copy = reinterpret_cast<void*>(1);
    EXPECT_EQ(KCMemUtils::DuplicateKTPtr("xyz", 3, copy), eNoErr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, "xyz", 3), 0);
    KCMemUtils::DisposeKTPtr(copy);

    char source[8] = {};
    EXPECT_EQ(KCMemUtils::DuplicateKTPtr(source, kImpossibleSize, copy), eMemNewTPtrFailed);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(KCMemUtils::DuplicateKTPtr(nullptr, 4, copy), eMemNullPointer);
    EXPECT_EQ(copy, nullptr);
}

TEST(UtilMemObj, ConstructCopyAssign) {
    KCMemObj empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.GetPtr(), nullptr);

    KCMemObj cleared(6, true);
    EXPECT_EQ(cleared.GetPtrSize(), 6u);
    EXPECT_EQ(std::memcmp(cleared.GetPtr(), "\0\0\0\0\0\0", 6), 0);

    // A block the heap refused leaves no size behind.
    KCMemObj failed(kImpossibleSize, false);
    EXPECT_EQ(failed.GetPtr(), nullptr);
    EXPECT_EQ(failed.GetPtrSize(), 0u);
    EXPECT_TRUE(failed.Empty());
    EXPECT_EQ(failed.NewPtrClear(kImpossibleSize), nullptr);
    EXPECT_EQ(failed.GetPtrSize(), 0u);

    KCMemObj data;
    ASSERT_EQ(data.Assign("0123456789", 10u), eNoErr);
    EXPECT_EQ(data.GetPtrSize(), 10u);
    KCMemObj copy(data);
    EXPECT_NE(copy.GetPtr(), data.GetPtr());
    EXPECT_EQ(std::memcmp(copy.GetPtr(), "0123456789", 10), 0);
    copy = copy; // self-assignment keeps the block
    EXPECT_EQ(copy.GetPtrSize(), 10u);

    const char text[] = "abc";
    ASSERT_EQ(copy.Assign(text, text + 3), eNoErr);
    EXPECT_EQ(copy.GetPtrSize(), 3u);
    EXPECT_EQ(std::memcmp(copy.GetPtr(), "abc", 3), 0);

    // A failed resize changes nothing.
    EXPECT_NE(copy.ResizePtr(kImpossibleSize), eNoErr);
    EXPECT_EQ(copy.GetPtrSize(), 3u);
    EXPECT_EQ(copy.ResizePtr(2), eNoErr);
    EXPECT_EQ(copy.GetPtrSize(), 2u);

    cleared.DisposePtr();
    copy.DisposePtr();
    data.DisposePtr();
    EXPECT_EQ(data.GetPtr(), nullptr);
    EXPECT_EQ(data.GetPtrSize(), 0u);
}

TEST(UtilMemObj, TakeOverAndSwap) {
    KCMemObj a, b;
    ASSERT_EQ(a.Assign("aaaa", 4u), eNoErr);
    ASSERT_EQ(b.Assign("bb", 2u), eNoErr);
    void* blockA = a.GetPtr();
    KCMemObj::Swap(a, b);
    EXPECT_EQ(b.GetPtr(), blockA);
    EXPECT_EQ(b.GetPtrSize(), 4u);
    EXPECT_EQ(a.GetPtrSize(), 2u);

    a.TakeOver(b); // frees a's own block
    EXPECT_EQ(a.GetPtr(), blockA);
    EXPECT_EQ(a.GetPtrSize(), 4u);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.GetPtr(), nullptr);
    a.DisposePtr();
}

} // namespace
