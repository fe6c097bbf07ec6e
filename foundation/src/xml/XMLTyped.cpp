#include "foundation/XMLTyped.h"

#include <charconv>
#include <cstdlib>
#include <locale.h>
#include <sstream>
#include <string>

namespace kvXML {

namespace {

// The "C" locale for the C library's conversions, whatever the process
// locale is.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c;
}

long CAtol(const char* text) {
    return strtol_l(text, nullptr, 10, CLocale());
}

double CAtof(const char* text) {
    return strtod_l(text, nullptr, CLocale());
}

// Standard stream extraction of a T; `value` changes only when it succeeds.
template <typename T>
void Extract(const std::string& text, T& value) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T parsed{};
    if (in >> parsed)
        value = parsed;
}

template <typename T>
std::string Insert(T value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

bool IsDelimiter(char c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == ';';
}

// Calls `convert` with each token of the text, NUL-terminated.
template <typename F>
void ForEachToken(const std::string& text, F convert) {
    std::string token;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsDelimiter(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !IsDelimiter(text[i]))
            ++i;
        if (i > start) {
            token.assign(text, start, i - start);
            convert(token.c_str());
        }
    }
}

// After the 10th value and then every 9th a line feed, else a blank.
char SeparatorAfter(size_t count) {
    return count >= 10 && (count - 10) % 9 == 0 ? '\n' : ' ';
}

template <typename T, typename Format>
CXMLElement* WriteVector(const std::vector<T>& values, CXMLElement* element, Format format) {
    std::string text;
    char buffer[64];
    size_t count = 0;
    for (const T& v : values) {
        const auto result = format(buffer, buffer + sizeof buffer, v);
        text.append(buffer, result.ptr);
        text.push_back(SeparatorAfter(++count));
    }
    element->text = std::move(text);
    return element;
}

} // namespace

void ReadFromXML_KCFourCC(const CXMLElement* const element, KCFourCC& value) {
    const std::string& text = element->text;
    size_t i = !text.empty() && text[0] == '\'' ? 1 : 0;
    uint32_t code = 0;
    for (int n = 0; n < 4; ++n, ++i) {
        const uint32_t c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
        code = (code << 8) | c;
    }
    value = KCFourCC(code);
}

CXMLElement* WriteToXML_KCFourCC(KCFourCC value, CXMLElement* element) {
    element->text = FourCCToString(value);
    return element;
}

void ReadFromXML_Bool(const CXMLElement* const element, bool& value) {
    value = !(element->text == "false" || element->text == "no");
}

template <typename T>
void ReadFromXML_Int(const CXMLElement* const element, T& value) {
    value = static_cast<T>(CAtol(element->text.c_str()));
}

template <typename T>
void ReadFromXML_Float(const CXMLElement* const element, T& value) {
    value = static_cast<T>(CAtof(element->text.c_str()));
}

template <typename T>
void ReadFromXML_Int_Vector(const CXMLElement* const element, std::vector<T>& value) {
    ForEachToken(element->text,
                 [&value](const char* token) { value.push_back(static_cast<T>(CAtol(token))); });
}

template <typename T>
void ReadFromXML_Float_Vector(const CXMLElement* const element, std::vector<T>& value) {
    ForEachToken(element->text,
                 [&value](const char* token) { value.push_back(static_cast<T>(CAtof(token))); });
}

template <typename T>
CXMLElement* WriteToXML_Int_Vector(const std::vector<T>& value, CXMLElement* element) {
    return WriteVector(value, element, [](char* first, char* last, T v) {
        return std::to_chars(first, last, static_cast<long>(v));
    });
}

template <typename T>
CXMLElement* WriteToXML_Float_Vector(const std::vector<T>& value, CXMLElement* element) {
    return WriteVector(value, element, [](char* first, char* last, T v) {
        return std::to_chars(first, last, static_cast<double>(v), std::chars_format::general, 20);
    });
}

template <typename T>
void ReadFromXML_KURect(const CXMLElement* const element, KURect<T>& value) {
    T width = 0, height = 0;
    T* const targets[6] = {&value.left, &value.top, &value.right, &value.bottom, &width, &height};
    static const char* const names[6] = {"left", "top", "right", "bottom", "width", "height"};
    if (element->children.empty()) {
        std::string text;
        for (int i = 0; i < 6; ++i) {
            if (element->GetAttrib(names[i], text))
                Extract(text, *targets[i]);
        }
    } else {
        for (const CXMLElement* child : element->children) {
            for (int i = 0; i < 6; ++i) {
                if (child->name == names[i]) {
                    Extract(child->text, *targets[i]);
                    break;
                }
            }
        }
    }
    if (width != 0)
        value.right = static_cast<T>(value.left + width);
    if (height != 0)
        value.bottom = static_cast<T>(value.top + height);
}

template <typename T>
CXMLElement* WriteToXML_KURect(const KURect<T>& value, CXMLElement* element) {
    element->AddAttrib("left", Insert(value.left));
    element->AddAttrib("top", Insert(value.top));
    element->AddAttrib("right", Insert(value.right));
    element->AddAttrib("bottom", Insert(value.bottom));
    return element;
}

template <typename T>
void ReadFromXML_KCPoint(const CXMLElement* const element, KCPoint<T>& value) {
    if (element->children.empty()) {
        value = KCPoint<T>(0, 0);
        std::string text;
        if (element->GetAttrib("h", text) || element->GetAttrib("x", text))
            Extract(text, value.x);
        if (element->GetAttrib("v", text) || element->GetAttrib("y", text))
            Extract(text, value.y);
        return;
    }
    for (const CXMLElement* child : element->children) {
        if (child->name == "h")
            Extract(child->text, value.x);
        else if (child->name == "v")
            Extract(child->text, value.y);
    }
}

template <typename T>
CXMLElement* WriteToXML_KCPoint(const KCPoint<T>& value, CXMLElement* element) {
    element->AddAttrib("h", Insert(value.x));
    element->AddAttrib("v", Insert(value.y));
    return element;
}

template void ReadFromXML_Int<int>(const CXMLElement* const, int&);
template void ReadFromXML_Int<long>(const CXMLElement* const, long&);
template void ReadFromXML_Int<short>(const CXMLElement* const, short&);
template void ReadFromXML_Int<unsigned int>(const CXMLElement* const, unsigned int&);
template void ReadFromXML_Int<unsigned long>(const CXMLElement* const, unsigned long&);
template void ReadFromXML_Int<unsigned short>(const CXMLElement* const, unsigned short&);
template void ReadFromXML_Float<float>(const CXMLElement* const, float&);
template void ReadFromXML_Float<double>(const CXMLElement* const, double&);

template void ReadFromXML_Int_Vector<short>(const CXMLElement* const, std::vector<short>&);
template void ReadFromXML_Int_Vector<long>(const CXMLElement* const, std::vector<long>&);
template void ReadFromXML_Int_Vector<unsigned long>(const CXMLElement* const,
                                                    std::vector<unsigned long>&);
template CXMLElement* WriteToXML_Int_Vector<short>(const std::vector<short>&, CXMLElement*);
template CXMLElement* WriteToXML_Int_Vector<long>(const std::vector<long>&, CXMLElement*);
template CXMLElement* WriteToXML_Int_Vector<unsigned long>(const std::vector<unsigned long>&,
                                                           CXMLElement*);
template void ReadFromXML_Float_Vector<float>(const CXMLElement* const, std::vector<float>&);
template void ReadFromXML_Float_Vector<double>(const CXMLElement* const, std::vector<double>&);
template CXMLElement* WriteToXML_Float_Vector<float>(const std::vector<float>&, CXMLElement*);
template CXMLElement* WriteToXML_Float_Vector<double>(const std::vector<double>&, CXMLElement*);

template void ReadFromXML_KURect<short>(const CXMLElement* const, KURect<short>&);
template void ReadFromXML_KURect<long>(const CXMLElement* const, KURect<long>&);
template void ReadFromXML_KURect<double>(const CXMLElement* const, KURect<double>&);
template CXMLElement* WriteToXML_KURect<short>(const KURect<short>&, CXMLElement*);
template CXMLElement* WriteToXML_KURect<long>(const KURect<long>&, CXMLElement*);
template CXMLElement* WriteToXML_KURect<double>(const KURect<double>&, CXMLElement*);

template void ReadFromXML_KCPoint<unsigned short>(const CXMLElement* const,
                                                  KCPoint<unsigned short>&);
template void ReadFromXML_KCPoint<short>(const CXMLElement* const, KCPoint<short>&);
template void ReadFromXML_KCPoint<long>(const CXMLElement* const, KCPoint<long>&);
template void ReadFromXML_KCPoint<float>(const CXMLElement* const, KCPoint<float>&);
template void ReadFromXML_KCPoint<double>(const CXMLElement* const, KCPoint<double>&);
template CXMLElement* WriteToXML_KCPoint<unsigned short>(const KCPoint<unsigned short>&,
                                                         CXMLElement*);
template CXMLElement* WriteToXML_KCPoint<short>(const KCPoint<short>&, CXMLElement*);
template CXMLElement* WriteToXML_KCPoint<long>(const KCPoint<long>&, CXMLElement*);
template CXMLElement* WriteToXML_KCPoint<float>(const KCPoint<float>&, CXMLElement*);
template CXMLElement* WriteToXML_KCPoint<double>(const KCPoint<double>&, CXMLElement*);

} // namespace kvXML
