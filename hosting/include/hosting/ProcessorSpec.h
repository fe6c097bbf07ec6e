// Processors that process code is built for: a family and, within it, a
// specific processor (the higher the index, the stronger the processor).
#pragma once

#include "foundation/XMLElement.h"

#include <cstdint>
#include <string>

enum EProcessorFamily : int32_t {
    eProcessorFamilyUnknown = 0,
    eProcessorFamily56k = 1,
    eProcessorFamilyPPC = 2,
    eProcessorFamilyx86 = 3,
};

// An index into the family's table of processors; 0 is the generic member
// of every family, -1 means none.
using EProcessorSpecific = int32_t;

struct SProcessorSpec {
    SProcessorSpec() = default;
    explicit SProcessorSpec(int32_t family) : family(static_cast<EProcessorFamily>(family)) {}
    SProcessorSpec(int32_t family, EProcessorSpecific specific)
        : family(static_cast<EProcessorFamily>(family)), specific(specific) {}

    bool IsValidFamily() const;
    // A valid family and a specific index inside the family's table.
    bool IsValidSpec() const;
    bool IsValidSpecific() const { return IsValidSpec(); }

    bool operator==(const SProcessorSpec& other) const = default;

    EProcessorFamily family = eProcessorFamilyUnknown;
    EProcessorSpecific specific = -1;
};
static_assert(sizeof(SProcessorSpec) == 8);

// Number of specific processors of a family (0 for an unknown family).
int32_t ProcessorSpecificCount(int32_t family);

// False (out untouched) for different families; otherwise the one with the
// lower specific index, `b` on a tie.
bool GetWeakerSpec(const SProcessorSpec& a, const SProcessorSpec& b, SProcessorSpec& out);

// "56k", "PPC", "x86" give 1 to 3; any other text 0 (exact, case-sensitive).
EProcessorFamily GetProcessorFamilyFromName(const std::string& name);
// The index of the name in the family's table; "Generic" and the family's
// "Any" name give 0; -1 for an unknown name or family.
EProcessorSpecific GetProcessorSpecificFromName(int32_t family, const std::string& name);
// "56k", "PPC", "x86", or "Unknown Processor family".
std::string GetProcessorFamilyName(int32_t family);
// The name of the specific processor ("Generic" for index 0), "Unknown" for
// an index outside the family's table, "Unknown Processor family" for an
// unknown family.
std::string GetProcessorSpecificName(const SProcessorSpec& spec);
// The family name, followed by "/" and the specific name when the spec is
// valid.
std::string GetProcessorSpecDescription(const SProcessorSpec& spec);

// Children "family" then "specific", by name.
void Read_SProcessorSpec_FromXML(const kvXML::CXMLElement* element, SProcessorSpec& spec);
kvXML::CXMLElement* Write_SProcessorSpec_ToXML(const SProcessorSpec& spec,
                                               kvXML::CXMLElement* element);
