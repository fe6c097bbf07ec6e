#include <gtest/gtest.h>

#include "ui/KMEditFilter.h"

TEST(EditFilter, TypedCharacters) {
    const KSEditLimits digits{"0123456789", 3};
    struct Case {
        uint32_t c;
        size_t length, selection;
        KEEditChar result;
    } cases[] = {
        {'1', 0, 0, KEEditChar::ePass},       {'1', 2, 0, KEEditChar::ePass},
        {'4', 3, 0, KEEditChar::eSwallow}, // full
        {'4', 3, 1, KEEditChar::ePass},    // replaces the selection
        {'a', 0, 0, KEEditChar::eSwallow},    {3, 0, 0, KEEditChar::eSwallow}, // Ctrl+C
        {22, 3, 0, KEEditChar::ePass}, // Ctrl+V: the paste is filtered
        {8, 3, 0, KEEditChar::ePass},         {9, 0, 0, KEEditChar::ePass},
        {27, 0, 0, KEEditChar::ePass},        {13, 0, 0, KEEditChar::eSwallow}, // Return
        {0x263A, 0, 0, KEEditChar::eSwallow},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KMFilterEditChar(digits, c.c, c.length, c.selection), c.result) << c.c;

    const KSEditLimits any{"", 0};
    EXPECT_EQ(KMFilterEditChar(any, 'a', 100000, 0), KEEditChar::ePass);
    EXPECT_EQ(KMFilterEditChar(any, 13, 0, 0), KEEditChar::eSwallow);
    EXPECT_EQ(KMFilterEditChar(any, 3, 0, 0), KEEditChar::ePass);

    // Limits above 255 characters hold as well.
    const KSEditLimits long_{"", 300};
    EXPECT_EQ(KMFilterEditChar(long_, 'x', 299, 0), KEEditChar::ePass);
    EXPECT_EQ(KMFilterEditChar(long_, 'x', 300, 0), KEEditChar::eSwallow);
}

TEST(EditFilter, PastedText) {
    const KSEditLimits digits{"0123456789", 3};
    EXPECT_EQ(KMFilterPastedText(digits, "a1b2c3d4", 0, 0), "123");
    EXPECT_EQ(KMFilterPastedText(digits, "12345", 1, 0), "12");
    EXPECT_EQ(KMFilterPastedText(digits, "12345", 3, 0), "");
    EXPECT_EQ(KMFilterPastedText(digits, "987", 3, 3), "987");
    EXPECT_EQ(KMFilterPastedText(KSEditLimits{"", 0}, "one\r\ntwo\tthree", 0, 0), "onetwo\tthree");
    EXPECT_EQ(KMFilterPastedText(KSEditLimits{"", 300}, std::string(400, 'z'), 10, 0),
              std::string(290, 'z'));
}

// Text is UTF-8: lengths count characters and a character is never cut, so
// the control is never handed bytes that are not text.
TEST(EditFilter, CharactersBeyondASCII) {
    struct Case {
        KSEditLimits limits;
        std::string pasted;
        size_t length;
        std::string taken;
    } cases[] = {
        {{"", 3}, "ab\u00e9", 0, "ab\u00e9"},
        {{"", 2}, "a\u00e9b", 0, "a\u00e9"},
        {{"", 3}, "\u20ac\u20ac\u20ac\u20ac", 1, "\u20ac\u20ac"},
        {{"", 0}, "x\xC3y\xE2\x82", 0, "xy"}, // broken sequences are dropped
        {{"0123456789,\u00b0", 0}, "12\u00b0 5,0\u00e9", 0, "12\u00b05,0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KMFilterPastedText(c.limits, c.pasted, c.length, 0), c.taken) << c.pasted;

    const KSEditLimits degrees{"0123456789\u00b0", 0};
    EXPECT_EQ(KMFilterEditChar(degrees, 0xB0, 0, 0), KEEditChar::ePass);
    // The lead byte of the degree sign is not a character of its own.
    EXPECT_EQ(KMFilterEditChar(degrees, 0xC2, 0, 0), KEEditChar::eSwallow);
}
