#include "HostingText.h"

#include <cstdlib>
#include <locale.h>

namespace kvhosting {

namespace {

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c;
}

} // namespace

KCFourCC FourCCFromText(std::string_view text) {
    if (!text.empty() && text.front() == '\'')
        text.remove_prefix(1);
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t c = i < text.size() ? static_cast<unsigned char>(text[i]) : uint32_t(' ');
        code = (code << 8) | c;
    }
    return KCFourCC(code);
}

double TextToDouble(const char* text) {
    return text ? strtod_l(text, nullptr, CLocale()) : 0.0;
}

long LeadingInteger(const char* text) {
    return text ? strtol_l(text, nullptr, 10, CLocale()) : 0;
}

kvXML::CXMLElement* AppendChild(kvXML::CXMLElement* parent, const char* name,
                                const std::string& text) {
    auto* child = new kvXML::CXMLElement(name, text);
    parent->push_back(child);
    return child;
}

kvXML::CXMLElement* AppendChild(kvXML::CXMLElement* parent, const char* name, long value) {
    return AppendChild(parent, name, std::to_string(value));
}

kvXML::CXMLElement* AppendUnsigned(kvXML::CXMLElement* parent, const char* name,
                                   unsigned long value) {
    return AppendChild(parent, name, std::to_string(value));
}

kvXML::CXMLElement* FirstChild(const kvXML::CXMLElement& parent, std::string_view name) {
    for (kvXML::CXMLElement* child : parent.children) {
        if (std::string_view(child->name.c_str()) == name)
            return child;
    }
    return nullptr;
}

void ReadNumber(const kvXML::CXMLElement* element, double& value) {
    if (element != nullptr)
        value = TextToDouble(element->text);
}

} // namespace kvhosting
