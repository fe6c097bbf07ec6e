#include "hosting/BufferDescriptors.h"

#include "HostingText.h"
#include "foundation/XMLTyped.h"

#include <algorithm>
#include <cstring>
#include <new>

bool sEXT_BUFF::operator==(const sEXT_BUFF& other) const {
    return MemSpace.Get() == other.MemSpace.Get() && Count == other.Count && Flags == other.Flags &&
           Offset == other.Offset && refCon == other.refCon && localOfs == other.localOfs &&
           lNumAccessesPerSample == other.lNumAccessesPerSample &&
           lNumWaitStates == other.lNumWaitStates && memAlign == other.memAlign;
}

bool IsSameRequirement(const sEXT_BUFF& a, const sEXT_BUFF& b) {
    return a.MemSpace.Get() == b.MemSpace.Get() && a.Count == b.Count && a.Flags == b.Flags &&
           a.lNumAccessesPerSample == b.lNumAccessesPerSample;
}

namespace {

// The eight number fields by element name, in record order, with how each
// is read.
struct NumberField {
    const char* name;
    int32_t sEXT_BUFF::*field;
    bool typedReader; // kvXML::ReadFromXML_Int<long>, else the leading integer
};

constexpr NumberField kNumberFields[] = {
    {"Count", &sEXT_BUFF::Count, false},
    {"Flags", &sEXT_BUFF::Flags, false},
    {"Offset", &sEXT_BUFF::Offset, false},
    {"refCon", &sEXT_BUFF::refCon, false},
    {"localOfs", &sEXT_BUFF::localOfs, false},
    {"lNumAccessesPerSample", &sEXT_BUFF::lNumAccessesPerSample, true},
    {"lNumWaitStates", &sEXT_BUFF::lNumWaitStates, true},
    {"memAlign", &sEXT_BUFF::memAlign, true},
};

} // namespace

void Read_sEXT_BUFF_FromXML(sEXT_BUFF& record, const kvXML::CXMLElement* element) {
    for (const kvXML::CXMLElement* child : element->children) {
        if (child->name == "MemSpace") {
            record.MemSpace = kvhosting::FourCCFromText(child->text);
            continue;
        }
        for (const NumberField& f : kNumberFields) {
            if (child->name == f.name) {
                long value = 0;
                if (f.typedReader)
                    kvXML::ReadFromXML_Int<long>(child, value);
                else
                    value = kvhosting::LeadingInteger(child->text);
                record.*f.field = static_cast<int32_t>(value);
                break;
            }
        }
    }
}

kvXML::CXMLElement* Write_sEXT_BUFF_ToXML(const sEXT_BUFF& record, kvXML::CXMLElement* element) {
    kvhosting::AppendChild(element, "MemSpace", FourCCToString(record.MemSpace));
    for (const NumberField& f : kNumberFields)
        kvhosting::AppendChild(element, f.name, static_cast<long>(record.*f.field));
    return element;
}

sEXT_BUFF* NewExtBuffArray(uint64_t count) {
    if (count == 0)
        return nullptr;
    if (count > UINT32_MAX / sizeof(sEXT_BUFF))
        throw std::bad_alloc();
    return new sEXT_BUFF[count];
}

sEXT_BUFF* NewExtBuffArrayOrNull(uint64_t count) noexcept {
    try {
        return NewExtBuffArray(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

sEXT_BUFF* CopyExtBuffArray(const sEXT_BUFF* source, uint64_t count) {
    if (source == nullptr || count == 0)
        return nullptr;
    sEXT_BUFF* copy = NewExtBuffArray(count);
    std::copy(source, source + count, copy);
    return copy;
}

void DeleteExtBuffArray(sEXT_BUFF*& array) {
    delete[] array;
    array = nullptr;
}

// DSPRequiredResources

DSPRequiredResources::DSPRequiredResources(const DSPRequiredResources& other)
    : DSPRequiredResources() {
    *this = other;
}

DSPRequiredResources& DSPRequiredResources::operator=(const DSPRequiredResources& other) {
    if (&other == this)
        return *this;
    sEXT_BUFF* copy = CopyExtBuffArray(other.externalBuffers, other.externalBuffersNum);
    DeleteExtBuffArray(externalBuffers);
    internalX = other.internalX;
    internalY = other.internalY;
    internalP = other.internalP;
    MaxSampleRate = other.MaxSampleRate;
    NumInputs = other.NumInputs;
    reserved = other.reserved;
    NumOutputs = other.NumOutputs;
    externalBuffersNum = other.externalBuffersNum;
    externalBuffers = copy;
    cycleCount = other.cycleCount;
    refCon = other.refCon;
    ci_refCon = other.ci_refCon;
    resID = other.resID;
    extAccessCount = other.extAccessCount;
    idleCodeResID = other.idleCodeResID;
    idleInternalP = other.idleInternalP;
    return *this;
}

DSPRequiredResources::~DSPRequiredResources() {
    DeleteExtBuffArray(externalBuffers);
}

void DSPRequiredResources::Reset() {
    DeleteExtBuffArray(externalBuffers);
    *this = DSPRequiredResources();
}
