// Typed values as the text or attributes of single XML elements. Readers
// never fail: what cannot be read leaves a defined value. Numbers are always
// read and written in the "C" locale.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KURect.h"
#include "foundation/XMLElement.h"

#include <vector>

namespace kvXML {

// A leading single quote is skipped; the next four characters form the code
// (missing characters count as 0).
void ReadFromXML_KCFourCC(const CXMLElement* const element, KCFourCC& value);
// The four characters, no quotes, replace the text.
CXMLElement* WriteToXML_KCFourCC(KCFourCC value, CXMLElement* element);

// Exactly "false" or "no" give false; any other text gives true.
void ReadFromXML_Bool(const CXMLElement* const element, bool& value);

// atol of the text (leading white space, sign, digits), narrowed to T.
template <typename T>
void ReadFromXML_Int(const CXMLElement* const element, T& value);
// atof of the text, narrowed to T.
template <typename T>
void ReadFromXML_Float(const CXMLElement* const element, T& value);

// Tokens split at blanks, commas, tabs, line feeds and semicolons are
// appended (the vector is not emptied).
template <typename T>
void ReadFromXML_Int_Vector(const CXMLElement* const element, std::vector<T>& value);
template <typename T>
void ReadFromXML_Float_Vector(const CXMLElement* const element, std::vector<T>& value);
// "%ld" / "%.20g" per value, each followed by a blank, except that the 10th
// value and then every 9th are followed by a line feed.
template <typename T>
CXMLElement* WriteToXML_Int_Vector(const std::vector<T>& value, CXMLElement* element);
template <typename T>
CXMLElement* WriteToXML_Float_Vector(const std::vector<T>& value, CXMLElement* element);

// From the attributes (no children) or the child elements "left", "top",
// "right", "bottom", "width" and "height"; a non-zero width or height sets
// right or bottom from left or top.
template <typename T>
void ReadFromXML_KURect(const CXMLElement* const element, KURect<T>& value);
// Appends "left", "top", "right", "bottom".
template <typename T>
CXMLElement* WriteToXML_KURect(const KURect<T>& value, CXMLElement* element);

// From the attributes "h" (else "x") and "v" (else "y"), starting at (0, 0);
// or from the child elements "h" and "v".
template <typename T>
void ReadFromXML_KCPoint(const CXMLElement* const element, KCPoint<T>& value);
// Appends "h" and "v".
template <typename T>
CXMLElement* WriteToXML_KCPoint(const KCPoint<T>& value, CXMLElement* element);

// The templates exist for these types only:
//   ReadFromXML_Int: int, long, short, unsigned int, unsigned long, unsigned short
//   ReadFromXML_Float, the float vectors: float, double
//   the integer vectors: short, long, unsigned long
//   KURect: short, long, double
//   KCPoint: unsigned short, short, long, float, double

} // namespace kvXML
