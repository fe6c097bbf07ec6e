// An index from element names to the elements of one tree. The map does not
// own the elements: the tree must outlive it and stay unchanged while it is
// used.
#pragma once

#include "foundation/KCFixedString.h"
#include "foundation/KTErr.h"
#include "foundation/XMLElement.h"

#include <climits>
#include <map>
#include <string>
#include <vector>

namespace kvXML {

class CMapNames {
public:
    // Maps `element` and its descendants down to `depth` levels (1 = the
    // element alone). The defaults build an empty map.
    explicit CMapNames(const CXMLElement* element = nullptr, unsigned depth = UINT_MAX);

    // Adds the element and its descendants in document order.
    void MapElement(const CXMLElement* element, unsigned depth);

    // Names are cut at 63 characters, as stored names are.
    unsigned long Count(const std::string& name) const;
    // The first mapped element of that name in document order, or null.
    CXMLElement* FindElement(const std::string& name) const;
    // Appends every element of that name; returns how many.
    unsigned long FindElements(const std::string& name, std::vector<CXMLElement*>& out) const;
    // eXMLElementMissing (text unchanged) or 0 with the element's text.
    KTErr GetElementText(const std::string& name, std::string& text) const;
    // Appends the name of every entry in map order (shorter names first).
    void GetNameList(std::vector<std::string>& out) const;

private:
    std::multimap<KTXMLName, CXMLElement*> names;
};

} // namespace kvXML
