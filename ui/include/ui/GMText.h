// Text over OpenGL: font descriptions, colours, text measured and rendered
// into pixels with FreeType and fontconfig, and texture-backed text images.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/KURect.h"
#include "foundation/XMLElement.h"
#include "ui/KCImage.h"

class KCWindow;

// Four bytes red, green, blue, alpha, in that order in memory.
struct KCRGBAColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 0;

    KCRGBAColor() = default;
    KCRGBAColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) : red(r), green(g), blue(b), alpha(a) {}
    // red | green << 8 | blue << 16 | alpha << 24
    uint32_t Packed() const {
        return uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16 | uint32_t(alpha) << 24;
    }
    bool operator==(const KCRGBAColor& o) const { return Packed() == o.Packed(); }
};
static_assert(sizeof(KCRGBAColor) == 4);

enum EFontStyle : int32_t {
    eFontStyleNormal = 0,
    eFontStyleBold = 1,
    eFontStyleItalics = 2,
    eFontStyleUnderline = 4,
    eFontStyleOutline = 8,
    eFontStyleShadow = 16,
    eFontStyleCondense = 32,
    eFontStyleExtend = 64,
};

enum EFontQuality : int32_t {
    eFontQualityAntiAliased = 0,
    eFontQualityNonAntiAliased = 1,
};

enum EFontSizeType : int32_t {
    eFontSizeLogical = 0,
    eFontSizePixels = 1,
    eFontSizeLogicalDPI = 2,
};

enum ETextJustification : int32_t {
    eTextJustificationLeft = 0,
    eTextJustificationCenter = 1,
    eTextJustificationRight = 2,
};

class KCFontInfo {
public:
    KCFontInfo() { fontName.reserve(100); }
    KCFontInfo(const KCFontInfo&) = default;
    KCFontInfo& operator=(const KCFontInfo&) = default;
    virtual ~KCFontInfo() = default;

    // Name, size and style; quality, size type and ascent are not compared.
    bool operator==(const KCFontInfo& o) const {
        return fontName == o.fontName && fontSize == o.fontSize && fontStyle == o.fontStyle;
    }
    bool operator!=(const KCFontInfo& o) const { return !(*this == o); }
    bool operator<(const KCFontInfo& o) const;

    void SetFontSize(short size);
    void SetFontName(const std::string& name);
    void SetFontAscent(short ascent) { fontAscent = ascent; }
    void SetFontStyle(EFontStyle s) { fontStyle = s; }
    void SetFontQuality(EFontQuality q) { fontQuality = q; }
    void SetFontSizeType(EFontSizeType t) { fontSizeType = t; }
    short GetFontSize() const { return fontSize; }
    std::string GetFontName() const { return fontName; }
    EFontStyle GetFontStyle() const { return fontStyle; }
    short GetFontAscent() const { return fontAscent; }
    EFontQuality GetFontQuality() const { return fontQuality; }
    EFontSizeType GetFontSizeType() const { return fontSizeType; }

private:
    int16_t fontSize = 12;
    std::string fontName = "Tahoma";
    EFontStyle fontStyle = eFontStyleNormal;
    int16_t fontAscent = -1;
    EFontQuality fontQuality = eFontQualityAntiAliased;
    EFontSizeType fontSizeType = eFontSizePixels;
};

// (width, height) of the text's extent; (0, 0) when the font cannot be had.
void GMGetTextWidthInPixels(const KCFontInfo& font, const char* text, KCPoint<short>& size);
void GMGetTextWidthInPixels(const KCFontInfo& font, const wchar_t* text, KCPoint<short>& size);
// The font's ascent in pixels, measured once and cached in the description;
// -1 when it cannot be measured.
short GMGetFontAscent(KCFontInfo& font);
// Renders the text into the top-left width x height pixels of the 32-bit
// image (clipped to the image): each pixel is the colour with alpha =
// colour alpha x glyph coverage / 255, 0 where nothing is drawn. The 8-bit
// overload takes '&' as the mark of a mnemonic; the wide one breaks words.
void GMRenderText(const KCWindow& window, const KCFontInfo& font, const char* text,
                  const KCRGBAColor& colour, ETextJustification justification,
                  const KURect<short>& rect, ImageData& image);
void GMRenderText(const KCWindow& window, const KCFontInfo& font, const wchar_t* text,
                  const KCRGBAColor& colour, ETextJustification justification,
                  const KURect<short>& rect, ImageData& image);

// One rendered text shown as a texture. Does not own its ImageData.
class OGLText : public KCImage {
public:
    OGLText(ImageData& data, const KCPoint<short>& size);
    OGLText(const OGLText&) = delete;
    OGLText& operator=(const OGLText&) = delete;
    ~OGLText() override = default;

    ImageData* GetImageData() const { return imageData; }
    void SetSize(const KCPoint<short>& size);
    void SaveTexture();
    void ReleaseTexture();
    void Draw(const KCPoint<short>& where);
    void DrawTexture(const KCPoint<short>& where);
    uint32_t GetTexture() const { return texture; }
    static uint32_t GetImageDepth(int32_t bits);

private:
    ImageData* imageData;
    uint32_t texture = 0;
};

namespace kvXML {
void ReadFromXML_FontStyle(const CXMLElement* const element, EFontStyle& value);
CXMLElement* WriteToXML_FontStyle(EFontStyle value, CXMLElement* element);
void ReadFromXML_FontQuality(const CXMLElement* const element, EFontQuality& value);
CXMLElement* WriteToXML_FontQuality(EFontQuality value, CXMLElement* element);
void ReadFromXML_FontSizeType(const CXMLElement* const element, EFontSizeType& value);
CXMLElement* WriteToXML_FontSizeType(EFontSizeType value, CXMLElement* element);
void ReadFromXML_Justification(const CXMLElement* const element, ETextJustification& value);
CXMLElement* WriteToXML_Justification(ETextJustification value, CXMLElement* element);
void ReadFromXML_KCRGBAColor(const CXMLElement* const element, KCRGBAColor& value);
CXMLElement* WriteToXML_KCRGBAColor(const KCRGBAColor& value, CXMLElement* element);
} // namespace kvXML
