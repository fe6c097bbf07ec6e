// In-memory XML element trees and the base of every object that reads and
// writes itself as such a tree.
#pragma once

#include "foundation/KCFixedString.h"
#include "foundation/KUValidatable.h"

#include <ios>
#include <locale>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace kvXML {

class CXMLElement : public KUValidatable {
public:
    using AttribVec = std::vector<KTXMLAttribute>;
    using ElementVec = std::vector<CXMLElement*>;
    using Manipulator = std::ios_base& (*)(std::ios_base&);

    // Empty and invalid (eXMLElementUninitalized) until filled.
    CXMLElement();
    // Names are cut at 63 characters; a null name gives an empty name.
    CXMLElement(const char* name, const char* text);
    CXMLElement(const std::string& name, const char* text);
    CXMLElement(const char* name, const std::string& text);
    CXMLElement(const std::string& name, const std::string& text);
    // Counted text: the first byte gives the length (0 to 255) of the text
    // that follows it.
    CXMLElement(const char* name, const unsigned char* countedText);
    CXMLElement(const std::string& name, const unsigned char* countedText);
    // "true" or "false".
    CXMLElement(const char* name, bool value);
    // A number as a fresh string stream writes it after `manipulator` (std::dec
    // for integers, std::fixed for six decimals); always in the "C" locale.
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
        CXMLElement(const char* name, T value, Manipulator manipulator)
        : CXMLElement(name, FormatNumber(value, manipulator)) {}
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
        CXMLElement(const std::string& name, T value, Manipulator manipulator)
        : CXMLElement(name.c_str(), FormatNumber(value, manipulator)) {}

    // Deep copies; the parent link is never copied.
    CXMLElement(const CXMLElement& other);
    CXMLElement& operator=(const CXMLElement& other);
    ~CXMLElement() override;

    // The first attribute of that exact name. The string form empties `value`
    // first; the number form reads a long by stream extraction.
    bool GetAttrib(const std::string& attribName, std::string& value) const;
    bool GetAttrib(const std::string& attribName, long& value) const;
    // Appends without looking for an existing attribute of that name.
    void AddAttrib(const std::string& attribName, const std::string& value);
    void AddAttrib(const char* attribName, const char* value);
    // Replaces the first attribute of that name, or appends one.
    void SetAttrib(const std::string& attribName, const std::string& value);
    bool GetID(std::string& value) const;
    bool GetID(long& value) const;
    const AttribVec& GetAttribVec() const { return attribs; }

    // Takes ownership of `child`.
    void push_back(CXMLElement* child);
    void ClearSubElements();
    // Replaces the children by the grandchildren, in order.
    void PromoteSubElements();
    // Empties name, text, CDATA flag, attributes and children; the status
    // stays.
    void Clear();

    // The writer's indentation depth, shared by the whole process.
    static uint32_t level;

    KTXMLName name;
    std::string text;
    bool cdata = false; // written as a CDATA section
    ElementVec children;
    CXMLElement* parent = nullptr; // set only while the builder has it open

private:
    template <typename T>
    static std::string FormatNumber(T value, Manipulator manipulator) {
        std::ostringstream out;
        out.imbue(std::locale::classic());
        manipulator(out);
        if constexpr (sizeof(T) == 1)
            out << static_cast<int>(value);
        else
            out << value;
        return out.str();
    }
    void CopyChildrenFrom(const CXMLElement& other);
    friend class CXMLTreeBuilder;

    AttribVec attribs;
};

// Base of every object that reads itself from and writes itself to a tree.
class CXMLable {
public:
    CXMLable() = default;
    CXMLable(const CXMLable&) {}
    CXMLable& operator=(const CXMLable&) { return *this; }
    virtual ~CXMLable() = default;

    virtual void ReadFromXML(const CXMLElement* element) {}
    virtual CXMLElement* WriteToXML(CXMLElement* parent) const { return parent; }
};

} // namespace kvXML
