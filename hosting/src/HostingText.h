// Text conversions shared by the hosting readers and writers. Numbers are
// always read in the "C" locale, whatever the process locale is.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/XMLElement.h"

#include <string>
#include <string_view>

namespace kvhosting {

// One leading single quote is skipped; the next four characters form the
// code, first character in the most significant byte. Characters missing
// from a short text become blanks; the text is never read past its end.
KCFourCC FourCCFromText(std::string_view text);

// The C library's text-to-double conversion in the "C" locale (leading white
// space, sign, digits, fraction, exponent); 0 without a number.
double TextToDouble(const char* text);
inline double TextToDouble(const std::string& text) {
    return TextToDouble(text.c_str());
}

// An element's text read by TextToDouble into `value`; no element leaves
// `value` as it is.
void ReadNumber(const kvXML::CXMLElement* element, double& value);

// The leading decimal integer of a text (leading white space and a sign
// allowed); 0 without digits.
long LeadingInteger(const char* text);
inline long LeadingInteger(const std::string& text) {
    return LeadingInteger(text.c_str());
}

// Appends a new child named `name` holding `text` and returns it.
kvXML::CXMLElement* AppendChild(kvXML::CXMLElement* parent, const char* name,
                                const std::string& text);
kvXML::CXMLElement* AppendChild(kvXML::CXMLElement* parent, const char* name, long value);
kvXML::CXMLElement* AppendUnsigned(kvXML::CXMLElement* parent, const char* name,
                                   unsigned long value);

// The first child of that name, or null.
kvXML::CXMLElement* FirstChild(const kvXML::CXMLElement& parent, std::string_view name);

} // namespace kvhosting
