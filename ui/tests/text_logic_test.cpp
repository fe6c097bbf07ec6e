#include <gtest/gtest.h>

#include "ui/GMText.h"

using kvXML::CXMLElement;

TEST(FontInfo, DefaultsComparisonAndCachedAscent) {
    KCFontInfo font;
    EXPECT_EQ(font.GetFontSize(), 12);
    EXPECT_EQ(font.GetFontName(), "Tahoma");
    EXPECT_EQ(font.GetFontStyle(), eFontStyleNormal);
    EXPECT_EQ(font.GetFontAscent(), -1);
    EXPECT_EQ(font.GetFontQuality(), eFontQualityAntiAliased);
    EXPECT_EQ(font.GetFontSizeType(), eFontSizePixels);

    KCFontInfo other;
    other.SetFontQuality(eFontQualityNonAntiAliased);
    other.SetFontSizeType(eFontSizeLogical);
    other.SetFontAscent(9);
    EXPECT_TRUE(font == other);
    other.SetFontStyle(eFontStyleBold);
    EXPECT_TRUE(font != other);
    EXPECT_TRUE(font < other || other < font);

    font.SetFontAscent(10);
    font.SetFontStyle(eFontStyleItalics);
    EXPECT_EQ(font.GetFontAscent(), 10);
    font.SetFontSize(12);
    EXPECT_EQ(font.GetFontAscent(), 10);
    font.SetFontName("Tahoma");
    EXPECT_EQ(font.GetFontAscent(), 10);
    font.SetFontSize(13);
    EXPECT_EQ(font.GetFontAscent(), -1);
    font.SetFontAscent(10);
    font.SetFontName("Tahom");
    EXPECT_EQ(font.GetFontAscent(), -1);

    KCRGBAColor c(1, 2, 3, 4);
    EXPECT_EQ(c.Packed(), 0x04030201u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&c)[0], 1);
}

TEST(FontInfo, XMLWords) {
    CXMLElement e("Style", "Outline");
    EFontStyle style = eFontStyleBold;
    kvXML::ReadFromXML_FontStyle(&e, style);
    EXPECT_EQ(style, eFontStyleOutline);
    e.text = "bold";
    kvXML::ReadFromXML_FontStyle(&e, style);
    EXPECT_EQ(style, eFontStyleOutline); // unchanged
    e.text = "";
    kvXML::ReadFromXML_FontStyle(&e, style);
    EXPECT_EQ(style, eFontStyleOutline);
    kvXML::WriteToXML_FontStyle(eFontStyleCondense, &e);
    EXPECT_EQ(e.text, "Condense");
    kvXML::WriteToXML_FontStyle(EFontStyle(3), &e); // no word: unchanged
    EXPECT_EQ(e.text, "Condense");

    struct Case {
        const char* text;
        int quality, sizeType, justification;
    } cases[] = {
        {"NonAntiAliased", 1, -1, -1}, {"AntiAliased", 0, -1, -1}, {"LogicalDPI", -1, 2, -1},
        {"Logical", -1, 0, -1},        {"Pixels", -1, 1, -1},      {"Right", -1, -1, 2},
        {"Center", -1, -1, 1},         {"Left", -1, -1, 0},        {"center", -1, -1, -1},
    };
    for (const Case& c : cases) {
        CXMLElement el("X", c.text);
        auto q = EFontQuality(-1);
        auto t = EFontSizeType(-1);
        auto j = ETextJustification(-1);
        kvXML::ReadFromXML_FontQuality(&el, q);
        kvXML::ReadFromXML_FontSizeType(&el, t);
        kvXML::ReadFromXML_Justification(&el, j);
        EXPECT_EQ(q, c.quality) << c.text;
        EXPECT_EQ(t, c.sizeType) << c.text;
        EXPECT_EQ(j, c.justification) << c.text;
    }
    CXMLElement out("X", "");
    kvXML::WriteToXML_Justification(eTextJustificationCenter, &out);
    EXPECT_EQ(out.text, "Center");
    kvXML::WriteToXML_FontSizeType(eFontSizeLogicalDPI, &out);
    EXPECT_EQ(out.text, "LogicalDPI");
    kvXML::WriteToXML_FontQuality(eFontQualityNonAntiAliased, &out);
    EXPECT_EQ(out.text, "NonAntiAliased");
}

TEST(FontInfo, XMLColours) {
    CXMLElement attributes("Colour", "");
    attributes.AddAttrib("red", "10");
    KCRGBAColor c(1, 2, 3, 4);
    kvXML::ReadFromXML_KCRGBAColor(&attributes, c);
    EXPECT_EQ(c, KCRGBAColor(10, 255, 255, 255));
    attributes.AddAttrib("alpha", "300"); // low 8 bits
    attributes.AddAttrib("green", "x");   // not a number: 0
    kvXML::ReadFromXML_KCRGBAColor(&attributes, c);
    EXPECT_EQ(c, KCRGBAColor(10, 0, 255, 44));

    CXMLElement children("Colour", "");
    children.push_back(new CXMLElement("Blue", "7"));
    children.push_back(new CXMLElement("Red", "  -1xyz"));
    children.push_back(new CXMLElement("Other", "9"));
    c = KCRGBAColor(1, 2, 3, 4);
    kvXML::ReadFromXML_KCRGBAColor(&children, c);
    EXPECT_EQ(c, KCRGBAColor(255, 2, 7, 4));

    CXMLElement written("Colour", "");
    EXPECT_EQ(kvXML::WriteToXML_KCRGBAColor(KCRGBAColor(9, 8, 7, 6), &written), &written);
    KCRGBAColor back;
    kvXML::ReadFromXML_KCRGBAColor(&written, back);
    EXPECT_EQ(back, KCRGBAColor(9, 8, 7, 6));
}
