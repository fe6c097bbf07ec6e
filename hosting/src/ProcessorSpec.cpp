#include "hosting/ProcessorSpec.h"

#include "HostingText.h"

#include <array>

namespace {

// The families and their specific processors, by index.
struct FamilyRow {
    const char* name;
    const char* anyName;
    int32_t count;
    std::array<const char*, 7> specifics;
};

constexpr std::array<FamilyRow, 3> kFamilies = {{
    {"56k", "Any56k", 3, {"Generic", "56000", "56300"}},
    {"PPC", "AnyPPC", 7, {"Generic", "601", "603", "603e", "604", "604e", "750"}},
    {"x86", "Anyx86", 5, {"Generic", "386", "486", "Pentium", "PentiumPro"}},
}};

constexpr const char* kUnknownFamilyName = "Unknown Processor family";

const FamilyRow* RowOf(int32_t family) {
    if (family < 1 || family > static_cast<int32_t>(kFamilies.size()))
        return nullptr;
    return &kFamilies[static_cast<size_t>(family - 1)];
}

} // namespace

bool SProcessorSpec::IsValidFamily() const {
    return RowOf(family) != nullptr;
}

bool SProcessorSpec::IsValidSpec() const {
    const FamilyRow* row = RowOf(family);
    return row != nullptr && static_cast<uint32_t>(specific) < static_cast<uint32_t>(row->count);
}

int32_t ProcessorSpecificCount(int32_t family) {
    const FamilyRow* row = RowOf(family);
    return row ? row->count : 0;
}

bool GetWeakerSpec(const SProcessorSpec& a, const SProcessorSpec& b, SProcessorSpec& out) {
    if (a.family != b.family)
        return false;
    out = a.specific < b.specific ? a : b;
    return true;
}

EProcessorFamily GetProcessorFamilyFromName(const std::string& name) {
    for (size_t i = 0; i < kFamilies.size(); ++i) {
        if (name == kFamilies[i].name)
            return static_cast<EProcessorFamily>(i + 1);
    }
    return eProcessorFamilyUnknown;
}

EProcessorSpecific GetProcessorSpecificFromName(int32_t family, const std::string& name) {
    const FamilyRow* row = RowOf(family);
    if (row == nullptr)
        return -1;
    if (name == row->anyName)
        return 0;
    for (int32_t i = 0; i < row->count; ++i) {
        if (name == row->specifics[static_cast<size_t>(i)])
            return i;
    }
    return -1;
}

std::string GetProcessorFamilyName(int32_t family) {
    const FamilyRow* row = RowOf(family);
    return row ? row->name : kUnknownFamilyName;
}

std::string GetProcessorSpecificName(const SProcessorSpec& spec) {
    const FamilyRow* row = RowOf(spec.family);
    if (row == nullptr)
        return kUnknownFamilyName;
    if (static_cast<uint32_t>(spec.specific) >= static_cast<uint32_t>(row->count))
        return "Unknown";
    return row->specifics[static_cast<size_t>(spec.specific)];
}

std::string GetProcessorSpecDescription(const SProcessorSpec& spec) {
    std::string text = GetProcessorFamilyName(spec.family);
    if (spec.IsValidSpec())
        text += "/" + GetProcessorSpecificName(spec);
    return text;
}

void Read_SProcessorSpec_FromXML(const kvXML::CXMLElement* element, SProcessorSpec& spec) {
    for (const kvXML::CXMLElement* child : element->children) {
        if (child->name == "family")
            spec.family = GetProcessorFamilyFromName(child->text);
        else if (child->name == "specific")
            spec.specific = GetProcessorSpecificFromName(spec.family, child->text);
    }
}

kvXML::CXMLElement* Write_SProcessorSpec_ToXML(const SProcessorSpec& spec,
                                               kvXML::CXMLElement* element) {
    kvhosting::AppendChild(element, "family", GetProcessorFamilyName(spec.family));
    kvhosting::AppendChild(element, "specific", GetProcessorSpecificName(spec));
    return element;
}
