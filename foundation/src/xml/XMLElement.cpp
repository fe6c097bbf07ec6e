#include "foundation/XMLElement.h"

#include <cstring>
#include <utility>
#include <vector>

namespace kvXML {

uint32_t CXMLElement::level = 0;

namespace {

std::string CountedText(const unsigned char* counted) {
    if (counted == nullptr)
        return std::string();
    return std::string(reinterpret_cast<const char*>(counted + 1), counted[0]);
}

// Exactly that name: same length, same bytes, case counts.
bool NameIs(const KTXMLAttribute& attribute, const std::string& name) {
    return attribute.name.size() == name.size() &&
           std::memcmp(attribute.name.c_str(), name.data(), name.size()) == 0;
}

} // namespace

CXMLElement::CXMLElement() : KUValidatable(eXMLElementUninitalized) {}

CXMLElement::CXMLElement(const char* n, const char* t) : name(n), text(t != nullptr ? t : "") {}

CXMLElement::CXMLElement(const std::string& n, const char* t) : CXMLElement(n.c_str(), t) {}

CXMLElement::CXMLElement(const char* n, const std::string& t) : name(n), text(t) {}

CXMLElement::CXMLElement(const std::string& n, const std::string& t) : name(n.c_str()), text(t) {}

CXMLElement::CXMLElement(const char* n, const unsigned char* counted)
    : name(n), text(CountedText(counted)) {}

CXMLElement::CXMLElement(const std::string& n, const unsigned char* counted)
    : name(n.c_str()), text(CountedText(counted)) {}

CXMLElement::CXMLElement(const char* n, bool value) : name(n), text(value ? "true" : "false") {}

CXMLElement::CXMLElement(const CXMLElement& other)
    : KUValidatable(other), name(other.name), text(other.text), cdata(other.cdata),
      attribs(other.attribs) {
    CopyChildrenFrom(other);
}

CXMLElement& CXMLElement::operator=(const CXMLElement& other) {
    if (&other == this)
        return *this;
    KUValidatable::operator=(other);
    name = other.name;
    text = other.text;
    attribs = other.attribs;
    cdata = other.cdata;
    // Copy first, so that assigning an element's own descendant works.
    CXMLElement copies(name.c_str(), "");
    copies.CopyChildrenFrom(other);
    ClearSubElements();
    children.swap(copies.children);
    return *this;
}

CXMLElement::~CXMLElement() {
    ClearSubElements();
}

void CXMLElement::CopyChildrenFrom(const CXMLElement& other) {
    // Without recursion, so that a deeply nested tree cannot exhaust the stack:
    // each pending pair is a source element and its copy, whose children are
    // still to be made.
    std::vector<std::pair<const CXMLElement*, CXMLElement*>> pending{{&other, this}};
    try {
        while (!pending.empty()) {
            const auto [source, copy] = pending.back();
            pending.pop_back();
            copy->children.reserve(source->children.size());
            for (const CXMLElement* child : source->children) {
                auto* childCopy = new CXMLElement(child->name.c_str(), child->text);
                copy->children.push_back(childCopy);
                childCopy->KUValidatable::operator=(*child);
                childCopy->cdata = child->cdata;
                childCopy->attribs = child->attribs;
                pending.emplace_back(child, childCopy);
            }
        }
    } catch (...) {
        ClearSubElements();
        throw;
    }
}

bool CXMLElement::GetAttrib(const std::string& attribName, std::string& value) const {
    value.clear();
    for (const KTXMLAttribute& a : attribs) {
        if (NameIs(a, attribName)) {
            value = a.value.c_str();
            return true;
        }
    }
    return false;
}

bool CXMLElement::GetAttrib(const std::string& attribName, long& value) const {
    std::string textValue;
    if (!GetAttrib(attribName, textValue))
        return false;
    std::istringstream in(textValue);
    in.imbue(std::locale::classic());
    long number = 0;
    if (!(in >> number))
        return false;
    value = number;
    return true;
}

void CXMLElement::AddAttrib(const std::string& attribName, const std::string& value) {
    attribs.emplace_back(attribName.c_str(), value.c_str());
}

void CXMLElement::AddAttrib(const char* attribName, const char* value) {
    attribs.emplace_back(attribName, value);
}

void CXMLElement::SetAttrib(const std::string& attribName, const std::string& value) {
    for (KTXMLAttribute& a : attribs) {
        if (NameIs(a, attribName)) {
            a.value = value.c_str();
            return;
        }
    }
    AddAttrib(attribName, value);
}

bool CXMLElement::GetID(std::string& value) const {
    static const std::string kID("ID");
    return GetAttrib(kID, value);
}

bool CXMLElement::GetID(long& value) const {
    static const std::string kID("ID");
    return GetAttrib(kID, value);
}

void CXMLElement::push_back(CXMLElement* child) {
    children.push_back(child);
}

void CXMLElement::ClearSubElements() {
    // Without recursion, so that a deeply nested tree cannot exhaust the stack.
    ElementVec pending;
    pending.swap(children);
    while (!pending.empty()) {
        CXMLElement* element = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), element->children.begin(), element->children.end());
        element->children.clear();
        delete element;
    }
}

void CXMLElement::PromoteSubElements() {
    ElementVec grandchildren;
    for (CXMLElement* child : children) {
        grandchildren.insert(grandchildren.end(), child->children.begin(), child->children.end());
    }
    for (CXMLElement* child : children) {
        child->children.clear();
        delete child;
    }
    children = std::move(grandchildren);
}

void CXMLElement::Clear() {
    name.clear();
    text.clear();
    cdata = false;
    attribs.clear();
    ClearSubElements();
}

} // namespace kvXML
