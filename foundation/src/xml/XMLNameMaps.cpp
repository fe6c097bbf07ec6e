#include "foundation/XMLNameMaps.h"

#include <vector>

namespace kvXML {

CMapNames::CMapNames(const CXMLElement* element, unsigned depth) {
    MapElement(element, depth);
}

void CMapNames::MapElement(const CXMLElement* element, unsigned depth) {
    // Pre-order walk without recursion: an element before its children,
    // children in document order.
    std::vector<std::pair<const CXMLElement*, unsigned>> pending;
    if (element != nullptr && depth != 0)
        pending.emplace_back(element, depth);
    while (!pending.empty()) {
        const auto [e, d] = pending.back();
        pending.pop_back();
        names.emplace(e->name, const_cast<CXMLElement*>(e));
        if (d >= 2) {
            for (auto it = e->children.rbegin(); it != e->children.rend(); ++it)
                pending.emplace_back(*it, d - 1);
        }
    }
}

unsigned long CMapNames::Count(const std::string& name) const {
    return names.count(KTXMLName(name.c_str()));
}

CXMLElement* CMapNames::FindElement(const std::string& name) const {
    const auto range = names.equal_range(KTXMLName(name.c_str()));
    return range.first != range.second ? range.first->second : nullptr;
}

unsigned long CMapNames::FindElements(const std::string& name,
                                      std::vector<CXMLElement*>& out) const {
    const auto range = names.equal_range(KTXMLName(name.c_str()));
    unsigned long n = 0;
    for (auto it = range.first; it != range.second; ++it, ++n)
        out.push_back(it->second);
    return n;
}

KTErr CMapNames::GetElementText(const std::string& name, std::string& text) const {
    const CXMLElement* element = FindElement(name);
    if (element == nullptr)
        return eXMLElementMissing;
    text = element->text;
    return eNoErr;
}

void CMapNames::GetNameList(std::vector<std::string>& out) const {
    for (const auto& entry : names)
        out.emplace_back(entry.first.c_str());
}

} // namespace kvXML
