// XML forms of font styles, qualities, size types, justifications and colours.
#include <charconv>
#include <cstring>
#include <string>

#include "ui/GMText.h"

namespace kvXML {

namespace {

template <typename E>
struct Word {
    E value;
    const char* text;
};

// The words in the order the readers compare them.
constexpr Word<EFontStyle> kStyleWords[] = {
    {eFontStyleNormal, "Normal"},     {eFontStyleBold, "Bold"},
    {eFontStyleItalics, "Italics"},   {eFontStyleUnderline, "Underline"},
    {eFontStyleOutline, "Outline"},   {eFontStyleShadow, "Shadow"},
    {eFontStyleCondense, "Condense"}, {eFontStyleExtend, "Extend"},
};
constexpr Word<EFontQuality> kQualityWords[] = {
    {eFontQualityAntiAliased, "AntiAliased"},
    {eFontQualityNonAntiAliased, "NonAntiAliased"},
};
constexpr Word<EFontSizeType> kSizeTypeWords[] = {
    {eFontSizeLogical, "Logical"},
    {eFontSizePixels, "Pixels"},
    {eFontSizeLogicalDPI, "LogicalDPI"},
};
constexpr Word<ETextJustification> kJustificationWords[] = {
    {eTextJustificationLeft, "Left"},
    {eTextJustificationRight, "Right"},
    {eTextJustificationCenter, "Center"},
};

template <typename E, size_t N>
void ReadWord(const CXMLElement* element, E& value, const Word<E> (&words)[N]) {
    if (element == nullptr)
        return;
    for (const Word<E>& w : words) {
        if (element->text == w.text) {
            value = w.value;
            return;
        }
    }
}

template <typename E, size_t N>
CXMLElement* WriteWord(E value, CXMLElement* element, const Word<E> (&words)[N]) {
    if (element == nullptr)
        return element;
    for (const Word<E>& w : words) {
        if (w.value == value) {
            element->text = w.text;
            break;
        }
    }
    return element;
}

// A signed decimal number: leading blanks skipped, reading stops at the first
// character that is not a digit; 0 when there is none.
long Decimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    long value = 0;
    std::from_chars(text.data() + i, text.data() + text.size(), value);
    return negative ? -value : value;
}

} // namespace

void ReadFromXML_FontStyle(const CXMLElement* const element, EFontStyle& value) {
    ReadWord(element, value, kStyleWords);
}
CXMLElement* WriteToXML_FontStyle(EFontStyle value, CXMLElement* element) {
    return WriteWord(value, element, kStyleWords);
}
void ReadFromXML_FontQuality(const CXMLElement* const element, EFontQuality& value) {
    ReadWord(element, value, kQualityWords);
}
CXMLElement* WriteToXML_FontQuality(EFontQuality value, CXMLElement* element) {
    return WriteWord(value, element, kQualityWords);
}
void ReadFromXML_FontSizeType(const CXMLElement* const element, EFontSizeType& value) {
    ReadWord(element, value, kSizeTypeWords);
}
CXMLElement* WriteToXML_FontSizeType(EFontSizeType value, CXMLElement* element) {
    return WriteWord(value, element, kSizeTypeWords);
}
void ReadFromXML_Justification(const CXMLElement* const element, ETextJustification& value) {
    ReadWord(element, value, kJustificationWords);
}
CXMLElement* WriteToXML_Justification(ETextJustification value, CXMLElement* element) {
    return WriteWord(value, element, kJustificationWords);
}

void ReadFromXML_KCRGBAColor(const CXMLElement* const element, KCRGBAColor& value) {
    if (element == nullptr)
        return;
    struct Channel {
        const char* attribute;
        const char* child;
        uint8_t KCRGBAColor::*member;
    };
    static constexpr Channel kChannels[] = {
        {"red", "Red", &KCRGBAColor::red},
        {"green", "Green", &KCRGBAColor::green},
        {"blue", "Blue", &KCRGBAColor::blue},
        {"alpha", "Alpha", &KCRGBAColor::alpha},
    };
    if (element->children.empty()) {
        value = KCRGBAColor(255, 255, 255, 255);
        for (const Channel& c : kChannels) {
            std::string text;
            // A value that is not a number reads as 0, as a decimal reader
            // stopping at its first character does.
            if (element->GetAttrib(c.attribute, text))
                value.*c.member = static_cast<uint8_t>(Decimal(text));
        }
        return;
    }
    for (const CXMLElement* child : element->children)
        for (const Channel& c : kChannels)
            if (std::strcmp(child->name.c_str(), c.child) == 0)
                value.*c.member = static_cast<uint8_t>(Decimal(child->text));
}

CXMLElement* WriteToXML_KCRGBAColor(const KCRGBAColor& value, CXMLElement* element) {
    if (element == nullptr)
        return element;
    element->SetAttrib("red", std::to_string(value.red));
    element->SetAttrib("green", std::to_string(value.green));
    element->SetAttrib("blue", std::to_string(value.blue));
    element->SetAttrib("alpha", std::to_string(value.alpha));
    return element;
}

} // namespace kvXML
