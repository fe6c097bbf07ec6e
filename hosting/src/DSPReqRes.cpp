#include "hosting/DSPReqRes.h"

#include "HostingText.h"
#include "foundation/XMLTyped.h"

#include <new>

namespace {

// The record's XML form, one row per field in field order.
struct FieldRow {
    const char* name;
    int32_t SDSPReqRes::*signedField;
    uint32_t SDSPReqRes::*unsignedField;
};

constexpr FieldRow kFields[] = {
    {"DSPReqResStructVersion", &SDSPReqRes::DSPReqResStructVersion, nullptr},
    {"DSPReqResFlags", nullptr, &SDSPReqRes::DSPReqResFlags},
    {"internalX", &SDSPReqRes::internalX, nullptr},
    {"internalY", &SDSPReqRes::internalY, nullptr},
    {"internalP", &SDSPReqRes::internalP, nullptr},
    {"MaxSampleRate", &SDSPReqRes::MaxSampleRate, nullptr},
    {"NumInputs", &SDSPReqRes::NumInputs, nullptr},
    {"NumSideChainInputs", &SDSPReqRes::NumSideChainInputs, nullptr},
    {"NumOutputs", &SDSPReqRes::NumOutputs, nullptr},
    {"FirstSideChainChannel", &SDSPReqRes::FirstSideChainChannel, nullptr},
    {"externalBuffersNum", nullptr, &SDSPReqRes::externalBuffersNum},
    {"sEXT_BUFF", nullptr, nullptr}, // one element per array entry
    {"cycleCount", &SDSPReqRes::cycleCount, nullptr},
    {"extAccessCount", &SDSPReqRes::extAccessCount, nullptr},
    {"refCon", &SDSPReqRes::refCon, nullptr},
    {"ci_refCon", &SDSPReqRes::ci_refCon, nullptr},
    {"resID", &SDSPReqRes::resID, nullptr},
    {"procSpec", nullptr, nullptr}, // family and specific processor
    {"idleCodeResID", &SDSPReqRes::idleCodeResID, nullptr},
    {"idleInternalP", &SDSPReqRes::idleInternalP, nullptr},
    {"VXParams_Delay", nullptr, &SDSPReqRes::VXParams_Delay},
};

bool SameBuffers(const SDSPReqRes& a, const SDSPReqRes& b) {
    if ((a.extBuffs == nullptr) != (b.extBuffs == nullptr))
        return false;
    for (uint32_t i = 0; a.extBuffs != nullptr && i < a.externalBuffersNum; ++i) {
        if (!(a.extBuffs[i] == b.extBuffs[i]))
            return false;
    }
    return true;
}

} // namespace

SDSPReqRes::SDSPReqRes(long internalP, long cycleCount, const SProcessorSpec& spec)
    : internalP(static_cast<int32_t>(internalP)), cycleCount(static_cast<int32_t>(cycleCount)),
      procSpec(spec) {}

SDSPReqRes::SDSPReqRes(const SProcessorSpec& spec) : procSpec(spec) {}

SDSPReqRes::SDSPReqRes(const SDSPReqRes& other) {
    *this = other;
}

SDSPReqRes& SDSPReqRes::operator=(const SDSPReqRes& other) {
    if (&other == this)
        return *this;
    sEXT_BUFF* copy = CopyExtBuffArray(other.extBuffs, other.externalBuffersNum);
    DeleteExtBuffArray(extBuffs);
    CopyFieldsFrom(other);
    extBuffs = copy;
    return *this;
}

void SDSPReqRes::CopyFieldsFrom(const SDSPReqRes& other) {
    DSPReqResStructVersion = other.DSPReqResStructVersion;
    DSPReqResFlags = other.DSPReqResFlags;
    internalX = other.internalX;
    internalY = other.internalY;
    internalP = other.internalP;
    MaxSampleRate = other.MaxSampleRate;
    NumInputs = other.NumInputs;
    NumSideChainInputs = other.NumSideChainInputs;
    NumOutputs = other.NumOutputs;
    FirstSideChainChannel = other.FirstSideChainChannel;
    externalBuffersNum = other.externalBuffersNum;
    cycleCount = other.cycleCount;
    extAccessCount = other.extAccessCount;
    refCon = other.refCon;
    ci_refCon = other.ci_refCon;
    resID = other.resID;
    procSpec = other.procSpec;
    idleCodeResID = other.idleCodeResID;
    idleInternalP = other.idleInternalP;
    VXParams_Delay = other.VXParams_Delay;
}

SDSPReqRes& SDSPReqRes::operator=(const DSPRequiredResources& plain) {
    sEXT_BUFF* copy = CopyExtBuffArray(plain.externalBuffers, plain.externalBuffersNum);
    DeleteExtBuffArray(extBuffs);
    internalX = plain.internalX;
    internalY = plain.internalY;
    internalP = plain.internalP;
    MaxSampleRate = plain.MaxSampleRate;
    NumInputs = plain.NumInputs;
    NumOutputs = plain.NumOutputs;
    externalBuffersNum = plain.externalBuffersNum;
    extBuffs = copy;
    cycleCount = plain.cycleCount;
    refCon = plain.refCon;
    ci_refCon = plain.ci_refCon;
    resID = plain.resID;
    extAccessCount = plain.extAccessCount;
    idleCodeResID = plain.idleCodeResID;
    idleInternalP = plain.idleInternalP;
    procSpec = SProcessorSpec(eProcessorFamily56k, 0);
    VXParams_Delay = 0;
    return *this;
}

SDSPReqRes::~SDSPReqRes() {
    DeleteExtBuffArray(extBuffs);
}

void SDSPReqRes::ResetAllMembers() {
    DeleteExtBuffArray(extBuffs);
    CopyFieldsFrom(SDSPReqRes());
}

bool SDSPReqRes::IsEquivalent(const SDSPReqRes& a, const SDSPReqRes& b, bool compareProcessor,
                              bool compareBuffers, bool ignoreProcessorCounts) {
    if (compareProcessor && !(a.DSPReqResStructVersion == 1 && b.DSPReqResStructVersion == 1) &&
        !(a.procSpec == b.procSpec))
        return false;
    if (a.internalX != b.internalX || a.internalY != b.internalY || a.NumInputs != b.NumInputs ||
        a.NumSideChainInputs != b.NumSideChainInputs || a.NumOutputs != b.NumOutputs ||
        a.FirstSideChainChannel != b.FirstSideChainChannel || a.MaxSampleRate != b.MaxSampleRate ||
        a.resID != b.resID)
        return false;
    if (!ignoreProcessorCounts && (a.internalP != b.internalP || a.cycleCount != b.cycleCount))
        return false;
    if (!compareBuffers)
        return true;
    if (!ignoreProcessorCounts) {
        if (a.extAccessCount != b.extAccessCount || a.externalBuffersNum != b.externalBuffersNum)
            return false;
    }
    if (a.externalBuffersNum == 0)
        return true;
    // Entries that are not there cannot be the same requirement.
    if (a.extBuffs == nullptr || b.extBuffs == nullptr ||
        b.externalBuffersNum < a.externalBuffersNum)
        return false;
    for (uint32_t i = 0; i < a.externalBuffersNum; ++i) {
        if (!IsSameRequirement(a.extBuffs[i], b.extBuffs[i]))
            return false;
    }
    return true;
}

bool SDSPReqRes::operator==(const SDSPReqRes& o) const {
    return DSPReqResStructVersion == o.DSPReqResStructVersion &&
           DSPReqResFlags == o.DSPReqResFlags && internalX == o.internalX &&
           internalY == o.internalY && internalP == o.internalP &&
           MaxSampleRate == o.MaxSampleRate && NumInputs == o.NumInputs &&
           NumSideChainInputs == o.NumSideChainInputs && NumOutputs == o.NumOutputs &&
           FirstSideChainChannel == o.FirstSideChainChannel &&
           externalBuffersNum == o.externalBuffersNum && SameBuffers(*this, o) &&
           cycleCount == o.cycleCount && extAccessCount == o.extAccessCount && resID == o.resID &&
           procSpec == o.procSpec && idleCodeResID == o.idleCodeResID &&
           idleInternalP == o.idleInternalP && VXParams_Delay == o.VXParams_Delay;
}

void SDSPReqRes::ReadFromXML(const kvXML::CXMLElement* element) {
    // The array this record holds has room for its count (the record never
    // holds an array shorter than its count).
    uint32_t capacity = extBuffs ? externalBuffersNum : 0;
    uint32_t nextEntry = 0;
    bool arrayChecked = false;
    for (const kvXML::CXMLElement* child : element->children) {
        if (child->name == "sEXT_BUFF") {
            if (!arrayChecked) {
                arrayChecked = true;
                if (extBuffs == nullptr || capacity < externalBuffersNum) {
                    DeleteExtBuffArray(extBuffs);
                    extBuffs = NewExtBuffArrayOrNull(externalBuffersNum);
                    capacity = extBuffs ? externalBuffersNum : 0;
                    externalBuffersNum = capacity;
                }
            }
            if (nextEntry < externalBuffersNum)
                Read_sEXT_BUFF_FromXML(extBuffs[nextEntry], child);
            ++nextEntry;
            continue;
        }
        if (child->name == "procSpec") {
            Read_SProcessorSpec_FromXML(child, procSpec);
            continue;
        }
        for (const FieldRow& row : kFields) {
            if (!(child->name == row.name))
                continue;
            long value = 0;
            kvXML::ReadFromXML_Int<long>(child, value);
            if (row.signedField)
                this->*row.signedField = static_cast<int32_t>(value);
            else if (row.unsignedField)
                this->*row.unsignedField = static_cast<uint32_t>(value);
            break;
        }
        // Once this read has settled the array, a later count stays within it.
        if (arrayChecked && extBuffs != nullptr && externalBuffersNum > capacity)
            externalBuffersNum = capacity;
    }
    // A larger count without entries to fill: the old, shorter array goes.
    if (extBuffs != nullptr && externalBuffersNum > capacity)
        DeleteExtBuffArray(extBuffs);
}

kvXML::CXMLElement* SDSPReqRes::WriteToXML(kvXML::CXMLElement* parent) const {
    for (const FieldRow& row : kFields) {
        if (row.signedField) {
            kvhosting::AppendChild(parent, row.name, static_cast<long>(this->*row.signedField));
        } else if (row.unsignedField) {
            kvhosting::AppendUnsigned(parent, row.name, this->*row.unsignedField);
        } else if (row.name == std::string_view("procSpec")) {
            Write_SProcessorSpec_ToXML(procSpec,
                                       kvhosting::AppendChild(parent, "procSpec", std::string()));
        } else {
            for (uint32_t i = 0; extBuffs != nullptr && i < externalBuffersNum; ++i)
                Write_sEXT_BUFF_ToXML(extBuffs[i],
                                      kvhosting::AppendChild(parent, "sEXT_BUFF", std::string()));
        }
    }
    return parent;
}
