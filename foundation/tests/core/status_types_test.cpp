#include "foundation/KCFixedString.h"
#include "foundation/KCFourCC.h"
#include "foundation/KTErr.h"
#include "foundation/KURect.h"
#include "foundation/KUValidatable.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <system_error>

TEST(StatusCodes, NamesOfKnownAndUnknownCodes) {
    EXPECT_STREQ(KTErrName(0), "eNoErr");
    EXPECT_STREQ(KTErrName(-4006), "eGMInstanciationFailed");
    EXPECT_STREQ(KTErrName(-1010), "eFMKTPathRefCreationFailed");
    EXPECT_STREQ(KTErrName(-1038), "eFMTooManySymlinks");
    EXPECT_STREQ(KTErrName(-7972), "eIllegalChunkID");
    EXPECT_STREQ(KTErrName(-12001), "eKMEventNotHandled");
    for (KTErr unknown : {-3, -3007, -8008, 1, -12002, -1039, -5000, INT32_MIN})
        EXPECT_STREQ(KTErrName(unknown), "eUnknownErr") << unknown;
    EXPECT_EQ(KTErrCount(), 115);
}

TEST(StatusCodes, PlatformErrorTables) {
    struct {
        unsigned long win;
        KTErr err;
    } win[] = {{0, 0},       {2, -1002}, {3, -1002}, {126, -1002}, {14, -4001},
               {183, -1003}, {5, -1},    {32, -1},   {127, -1}};
    for (auto c : win)
        EXPECT_EQ(ConvertErrorWIN(c.win), c.err) << c.win;

    const KTErr fs[] = {0,     -1,    -1,    -1006, -1006, -1025, -1002, -1002, -1018,
                        -1007, -1003, -1028, -1019, -1027, -4009, -4009, -1};
    for (int cat = 0; cat <= 16; ++cat)
        EXPECT_EQ(ConvertErrorFS(cat), fs[cat]) << cat;

    // A caught file-system error never yields success.
    EXPECT_EQ(StatusOfFSError(std::make_error_code(std::errc::no_such_file_or_directory)), -1002);
    EXPECT_EQ(StatusOfFSError(std::make_error_code(std::errc::permission_denied)), -1006);
    EXPECT_EQ(StatusOfFSError(std::make_error_code(std::errc::directory_not_empty)), -1028);
    EXPECT_EQ(StatusOfFSError(std::error_code()), -1);
}

namespace {
struct Picky : KUValidatable {
    bool ok = true;
    bool IsValidSelf() const override { return ok; }
};
} // namespace

TEST(Validatable, ErrorAndSelfCheck) {
    KUValidatable v(-1012);
    KTErr out = 0;
    EXPECT_FALSE(v.IsValid(out));
    EXPECT_EQ(out, -1012);
    EXPECT_STREQ(v.ErrorName(), "eFMIllegalPathRef");
    v.SetError(0);
    EXPECT_TRUE(v.IsValid());

    Picky p;
    EXPECT_TRUE(p.IsValid());
    p.ok = false;
    EXPECT_FALSE(p.IsValid());
}

TEST(FourCC, TextConversions) {
    EXPECT_EQ(uint32_t(StringToFourCC("XPst")), 0x58507374u);
    EXPECT_EQ(KV_FOURCC("XPst"), 0x58507374u);
    EXPECT_EQ(FourCCToString(KCFourCC(0x58507374)), "XPst");
    EXPECT_EQ(uint32_t(KCFourCC()), 0x3F3F3F3Fu);
    EXPECT_EQ(FourCCToString(KCFourCC(0x41004243)), std::string("A\0BC", 4));
    EXPECT_EQ(KCFourCC::SwapBytes(0x11223344), 0x44332211u);
    // Characters by position, the first from the most significant byte.
    const KCFourCC code(KV_FOURCC("XP\xE9t"));
    EXPECT_EQ(std::string({code[0], code[1], code[2], code[3]}), "XP\xE9t");
    EXPECT_EQ(code[4], '\0');
}

TEST(FourCC, AlphanumericStepping) {
    struct {
        const char* from;
        long index; // -1: every character
        long steps;
        const char* to;
    } cases[] = {
        {"aaaa", -1, 1, "bbbb"}, {"zzzz", 0, 1, "0zzz"},  {"0000", 3, -1, "000z"},
        {"????", 0, 1, "A???"},  {"????", 1, -1, "?9??"}, {"9999", -1, 1, "AAAA"},
        {"ZZZZ", 2, 1, "ZZaZ"},  {"abcd", -1, 0, "abcd"}, {"0000", 0, 62, "0000"},
    };
    for (auto c : cases) {
        KCFourCC code = StringToFourCC(c.from);
        KCFourCC got = c.index < 0
                           ? OffsetOSTypeAlphanumerically(code, c.steps)
                           : OffsetOSTypeAlphanumerically(code, (unsigned long)c.index, c.steps);
        EXPECT_EQ(FourCCToString(got), c.to) << c.from << " " << c.index << " " << c.steps;
    }

    // Any count is a few steps of work: 62 steps lead back to the start.
    const KCFourCC mixed = StringToFourCC("a?Z0");
    for (long steps : {LONG_MAX, LONG_MIN, 62L * 1000000000L + 5, -62L * 1000000000L - 5}) {
        const long same = steps > 0 ? (steps - 1) % 62 + 1 : -((-(steps + 1)) % 62 + 1);
        EXPECT_EQ(OffsetOSTypeAlphanumerically(mixed, steps),
                  OffsetOSTypeAlphanumerically(mixed, same))
            << steps;
    }
}

TEST(FixedString, CutsAndCompares) {
    std::string longText(200, 'x');
    KCFixedString<63> s(longText.c_str());
    EXPECT_EQ(s.size(), 63u);
    EXPECT_EQ(std::string(s.c_str()), std::string(63, 'x'));
    s << "more";
    EXPECT_EQ(s.size(), 63u);
    EXPECT_EQ(s[200], '\0'); // past the end: the character at position 63

    KCFixedString<63> b("b");
    EXPECT_LT(b.compare("aa"), 0);
    EXPECT_EQ(KCFixedString<63>("ab").compare("aa"), 1);
    EXPECT_EQ(KCFixedString<63>("aa").compare("ab"), -1);
    EXPECT_EQ(KCFixedString<63>("\xff").compare("a"), 1); // unsigned bytes
    EXPECT_EQ(KCFixedString<63>().compare(nullptr), 0);

    KCFixedString<63> copy(b);
    copy << "c";
    EXPECT_STREQ(copy.c_str(), "bc");
    EXPECT_STREQ(b.c_str(), "b");
    copy = copy;
    EXPECT_STREQ(copy.c_str(), "bc");
    copy = static_cast<const char*>(nullptr);
    EXPECT_EQ(copy.size(), 0u);

    KTXMLAttribute pair("name", std::string(300, 'v').c_str());
    KTXMLAttribute other = pair;
    EXPECT_EQ(other.value.size(), 127u);
    EXPECT_STREQ(other.name.c_str(), "name");
}

TEST(FixedString, CutNeverSplitsAUtf8Character) {
    const std::string x61(61, 'x'), x62(62, 'x'), x63(63, 'x');
    struct {
        std::string text;
        std::string kept;
    } cases[] = {
        {x62 + "\xC3\xA9", x62},         // a 2-byte character at the cut
        {x61 + "\xE2\x82\xAC", x61},     // a 3-byte character at the cut
        {x62 + "\xF0\x9F\x8E\xB5", x62}, // a 4-byte one
        {std::string(60, 'x') + "\xE2\x82\xAC", std::string(60, 'x') + "\xE2\x82\xAC"},
        {x63 + "\xC3\xA9", x63},            // cut between characters
        {x62 + "\xE9" + "a", x62 + "\xE9"}, // 8-bit text, not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(KCFixedString<63>(c.text.c_str()).c_str()), c.kept) << c.text;
        KCFixedString<63> appended(std::string(60, 'x').c_str());
        appended << c.text.substr(60).c_str();
        EXPECT_EQ(std::string(appended.c_str()), c.kept) << c.text;
    }
}

TEST(Rect, GeometryAndIntersection) {
    KURect<short> r(0, 0, 10, 20);
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 10);
    EXPECT_TRUE(r.PointInRect(KCPoint<short>(19, 9)));
    EXPECT_FALSE(r.PointInRect(KCPoint<short>(20, 9)));
    EXPECT_FALSE(r.PointInRect(KCPoint<short>(19, 10)));

    KURect<short> out(1, 1, 1, 1);
    EXPECT_FALSE(r.GetIntersection(KURect<short>(0, 20, 10, 30), out)); // shares an edge
    EXPECT_EQ(out, KURect<short>());
    EXPECT_TRUE(r.GetIntersection(KURect<short>(5, 15, 50, 50), out));
    EXPECT_EQ(out, KURect<short>(5, 15, 10, 20));

    KURect<long> wh;
    wh.SetTopLeftWidthHeight(20, 10, 30, 40);
    EXPECT_EQ(wh.right, 40);
    EXPECT_EQ(wh.bottom, 60);

    KCPoint<short> p(1, 2);
    p += KCPoint<short>(3, 4);
    EXPECT_EQ(p, KCPoint<short>(4, 6));
    EXPECT_EQ(p - KCPoint<short>(1, 1), KCPoint<short>(3, 5));
}
