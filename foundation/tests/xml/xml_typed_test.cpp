#include "foundation/KUUtils.h"
#include "foundation/XMLText.h"
#include "foundation/XMLTyped.h"

#include "testsupport/CompiledLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <locale>
#include <string>
#include <vector>

using namespace kvXML;

namespace {

CXMLElement Text(const char* text) {
    return CXMLElement("e", text);
}

TEST(XMLTyped, FourCC) {
    for (const char* text : {"'XMLR", "XMLR", "XMLR'"}) {
        KCFourCC code;
        const CXMLElement e = Text(text);
        ReadFromXML_KCFourCC(&e, code);
        EXPECT_EQ(code.Get(), KV_FOURCC("XMLR")) << text;
    }
    struct {
        const char* text;
        uint32_t code;
    } shortTexts[] = {{"", 0}, {"'", 0}, {"AB", 0x41420000}, {"'ABC", 0x41424300}};
    for (const auto& c : shortTexts) {
        const CXMLElement e = Text(c.text);
        KCFourCC code;
        ReadFromXML_KCFourCC(&e, code);
        EXPECT_EQ(code.Get(), c.code) << '"' << c.text << '"';
    }
    CXMLElement e = Text("old");
    EXPECT_EQ(WriteToXML_KCFourCC(KCFourCC(KV_FOURCC("XPst")), &e), &e);
    EXPECT_EQ(e.text, "XPst");

    // Written quoted, the builder strips the quotes; both read the same.
    CXMLElement root;
    CXMLTreeBuilder builder(root);
    const std::string doc = "<c>'Xinf'</c>";
    ASSERT_EQ(builder.BuildFromSingleBuffer(doc.data(), doc.size()), eNoErr);
    KCFourCC code;
    ReadFromXML_KCFourCC(&root, code);
    EXPECT_EQ(code.Get(), KV_FOURCC("Xinf"));
}

TEST(XMLTyped, Bool) {
    struct {
        const char* text;
        bool value;
    } cases[] = {{"false", false}, {"no", false}, {"False", true}, {"0", true},  {"off", true},
                 {"true", true},   {"yes", true}, {"", true},      {"no ", true}};
    for (const auto& c : cases) {
        bool value = !c.value;
        const CXMLElement e = Text(c.text);
        ReadFromXML_Bool(&e, value);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

TEST(XMLTyped, Numbers) {
    struct {
        const char* text;
        long value;
    } longs[] = {{"12abc", 12}, {"abc", 0}, {" \t-5", -5}, {"+8", 8}, {"", 0}};
    for (const auto& c : longs) {
        long value = 99;
        const CXMLElement e = Text(c.text);
        ReadFromXML_Int(&e, value);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
    short s = 0;
    const CXMLElement big = Text("70000");
    ReadFromXML_Int(&big, s);
    EXPECT_EQ(s, 4464);
    unsigned short us = 0;
    const CXMLElement minusOne = Text("-1");
    ReadFromXML_Int(&minusOne, us);
    EXPECT_EQ(us, 65535);

    double d = 0;
    const CXMLElement real = Text(" -2.5e2x");
    ReadFromXML_Float(&real, d);
    EXPECT_EQ(d, -250.0);
    float f = 0;
    const CXMLElement half = Text("0.5");
    ReadFromXML_Float(&half, f);
    EXPECT_EQ(f, 0.5f);
}

TEST(XMLTyped, IntegerVectors) {
    std::vector<long> values{7};
    const CXMLElement e = Text("1,2;3 4\t5\n,,;6");
    ReadFromXML_Int_Vector(&e, values);
    EXPECT_EQ(values, (std::vector<long>{7, 1, 2, 3, 4, 5, 6}));

    std::vector<long> oneToTwenty;
    for (long i = 1; i <= 20; ++i)
        oneToTwenty.push_back(i);
    CXMLElement out = Text("old");
    WriteToXML_Int_Vector(oneToTwenty, &out);
    EXPECT_EQ(out.text, "1 2 3 4 5 6 7 8 9 10\n11 12 13 14 15 16 17 18 19\n20 ");

    std::vector<long> thirty(29, 0);
    WriteToXML_Int_Vector(thirty, &out);
    EXPECT_EQ(std::count(out.text.begin(), out.text.end(), '\n'), 3); // after 10, 19, 28

    WriteToXML_Int_Vector(std::vector<long>{}, &out);
    EXPECT_EQ(out.text, "");

    // Unsigned values above the signed range come back with the same bits.
    const std::vector<unsigned long> wide{0, 4294967295ul, ~0ul};
    WriteToXML_Int_Vector(wide, &out);
    std::vector<unsigned long> back;
    ReadFromXML_Int_Vector(&out, back);
    EXPECT_EQ(back, wide);

    std::vector<short> shorts{-3, 4};
    WriteToXML_Int_Vector(shorts, &out);
    EXPECT_EQ(out.text, "-3 4 ");
}

TEST(XMLTyped, FloatVectorsRoundTrip) {
    const std::vector<double> values{0.1, -2.5, 1e-300, 123456789.123456789, 0.0};
    CXMLElement out = Text("");
    WriteToXML_Float_Vector(values, &out);
    EXPECT_EQ(out.text.substr(0, 26), "0.10000000000000000555 -2.");
    std::vector<double> back;
    ReadFromXML_Float_Vector(&out, back);
    EXPECT_EQ(back, values);

    const std::vector<float> floats{0.1f, 3.0f};
    WriteToXML_Float_Vector(floats, &out);
    std::vector<float> floatsBack;
    ReadFromXML_Float_Vector(&out, floatsBack);
    EXPECT_EQ(floatsBack, floats);
}

TEST(XMLTyped, Rectangles) {
    CXMLElement attrs = Text("");
    attrs.AddAttrib("left", "10");
    attrs.AddAttrib("top", "20");
    attrs.AddAttrib("width", "30");
    attrs.AddAttrib("height", "40");
    KURect<long> r(1, 2, 3, 4);
    ReadFromXML_KURect(&attrs, r);
    EXPECT_EQ(r, KURect<long>(20, 10, 60, 40));

    CXMLElement zeroWidth = Text("");
    zeroWidth.AddAttrib("left", "10");
    zeroWidth.AddAttrib("width", "0");
    zeroWidth.AddAttrib("bottom", "junk");
    KURect<short> s(1, 2, 3, 4);
    ReadFromXML_KURect(&zeroWidth, s);
    EXPECT_EQ(s, KURect<short>(1, 10, 3, 4)); // right and bottom as they were

    CXMLElement children = Text("");
    children.AddAttrib("right", "99");
    children.push_back(new CXMLElement("left", "5"));
    children.push_back(new CXMLElement("other", "7"));
    children.push_back(new CXMLElement("top", "6"));
    KURect<long> c(0, 0, 0, 0);
    ReadFromXML_KURect(&children, c);
    EXPECT_EQ(c, KURect<long>(6, 5, 0, 0));

    CXMLElement out = Text("");
    WriteToXML_KURect(KURect<double>(2.0, 1.5, 4.25, 3.0), &out);
    const auto& a = out.GetAttribVec();
    ASSERT_EQ(a.size(), 4u);
    const char* expected[4][2] = {
        {"left", "1.5"}, {"top", "2"}, {"right", "3"}, {"bottom", "4.25"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(a[i].name.c_str(), expected[i][0]);
        EXPECT_STREQ(a[i].value.c_str(), expected[i][1]);
    }
    KURect<double> back;
    ReadFromXML_KURect(&out, back);
    EXPECT_EQ(back, KURect<double>(2.0, 1.5, 4.25, 3.0));
}

TEST(XMLTyped, Points) {
    CXMLElement both = Text("");
    both.AddAttrib("x", "3");
    both.AddAttrib("h", "5");
    both.AddAttrib("y", "4");
    KCPoint<short> p(9, 9);
    ReadFromXML_KCPoint(&both, p);
    EXPECT_EQ(p, KCPoint<short>(5, 4));

    CXMLElement none = Text("");
    KCPoint<long> reset(9, 9);
    ReadFromXML_KCPoint(&none, reset);
    EXPECT_EQ(reset, KCPoint<long>(0, 0));

    CXMLElement xy = Text("");
    xy.push_back(new CXMLElement("x", "1"));
    xy.push_back(new CXMLElement("y", "2"));
    KCPoint<float> kept(7, 8);
    ReadFromXML_KCPoint(&xy, kept);
    EXPECT_EQ(kept, KCPoint<float>(7, 8));

    CXMLElement hv = Text("");
    hv.push_back(new CXMLElement("v", "2.5"));
    ReadFromXML_KCPoint(&hv, kept);
    EXPECT_EQ(kept, KCPoint<float>(7, 2.5f));

    CXMLElement out = Text("");
    WriteToXML_KCPoint(KCPoint<unsigned short>(65535, 1), &out);
    KCPoint<unsigned short> back;
    ReadFromXML_KCPoint(&out, back);
    EXPECT_EQ(back, KCPoint<unsigned short>(65535, 1));
    std::string h;
    EXPECT_TRUE(out.GetAttrib("h", h));
    EXPECT_EQ(h, "65535");
}

// A comma-decimal process locale at the C++ level (always) and, in the test
// that asks for it, at the C level. Restores the "C" locale at the end.
class XMLTypedCommaLocale : public ::testing::Test {
protected:
    struct CommaPunct : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };

    void SetUp() override {
        std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }

    // Every number the XML layer and the number utilities read or write.
    static void ExpectNumbersInTheCLocale() {
        EXPECT_EQ(CXMLElement("d", 0.5, std::fixed).text, "0.500000");
        EXPECT_EQ(CXMLElement("l", 1234567L, std::dec).text, "1234567");

        const CXMLElement real = Text("2.5");
        double d = 0;
        ReadFromXML_Float(&real, d);
        EXPECT_EQ(d, 2.5);
        std::vector<double> reals;
        const CXMLElement list = Text("0.25,1.5");
        ReadFromXML_Float_Vector(&list, reals);
        EXPECT_EQ(reals, (std::vector<double>{0.25, 1.5}));
        CXMLElement out = Text("");
        WriteToXML_Float_Vector(std::vector<double>{0.25, 1234567.5}, &out);
        EXPECT_EQ(out.text, "0.25 1234567.5 ");
        std::vector<long> longs;
        const CXMLElement longList = Text("1234567 -8");
        ReadFromXML_Int_Vector(&longList, longs);
        EXPECT_EQ(longs, (std::vector<long>{1234567, -8}));

        CXMLElement rect = Text("");
        WriteToXML_KURect(KURect<double>(0.5, 1.25, 2.5, 3000.5), &rect);
        std::string left, right;
        rect.GetAttrib("left", left);
        rect.GetAttrib("right", right);
        EXPECT_EQ(left, "1.25");
        EXPECT_EQ(right, "3000.5");
        KURect<double> back;
        ReadFromXML_KURect(&rect, back);
        EXPECT_EQ(back, KURect<double>(0.5, 1.25, 2.5, 3000.5));

        CXMLElement point = Text("");
        WriteToXML_KCPoint(KCPoint<long>(1234567, -2), &point);
        std::string h;
        point.GetAttrib("h", h);
        EXPECT_EQ(h, "1234567");

        CXMLElement withLong = Text("");
        withLong.AddAttrib("n", "1234");
        long n = 0;
        EXPECT_TRUE(withLong.GetAttrib("n", n));
        EXPECT_EQ(n, 1234);

        EXPECT_EQ(KUAtof("2.5"), 2.5);
    }
};

TEST_F(XMLTypedCommaLocale, StreamsIgnoreTheGlobalLocale) {
    ExpectNumbersInTheCLocale();
}

TEST_F(XMLTypedCommaLocale, NumbersStayInTheCLocale) {
    CompiledLocale compiled;
    std::string why;
    if (!SetCommaDecimalLocale(compiled, why))
        GTEST_SKIP() << "no comma-decimal C locale: " << why;
    ExpectNumbersInTheCLocale();
}

} // namespace
