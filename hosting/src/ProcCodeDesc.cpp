#include "hosting/ProcCodeDesc.h"

#include "HostingText.h"
#include "foundation/KCFixedString.h"
#include "foundation/XMLTyped.h"

#include <array>
#include <cstring>
#include <new>

namespace {

using kvXML::CXMLElement;

// The unsigned size and channel fields, by element name in the order they
// are written (the member of each is in SizeFields()).
constexpr const char* kSizeNames[] = {"States",        "Coefs",        "InternalP",
                                      "IdleInternalP", "NumInputs",    "NumSideChainInputs",
                                      "NumOutputs",    "MaxSampleRate"};
constexpr int kSizeCount = static_cast<int>(std::size(kSizeNames));

int SizeIndexOf(const CXMLElement* child) {
    for (int i = 0; i < kSizeCount; ++i) {
        if (child->name == kSizeNames[i])
            return i;
    }
    return -1;
}

// A resource number in the attribute "resID", when there is one.
void ReadResIDAttribute(const CXMLElement* element, int16_t& resID) {
    std::string value;
    if (element->GetAttrib("resID", value))
        resID = static_cast<int16_t>(kvhosting::LeadingInteger(value));
}

} // namespace

// SExternBuffDesc

bool CProcCodeDesc::SExternBuffDesc::operator==(const SExternBuffDesc& o) const {
    return memSpace.Get() == o.memSpace.Get() && theSize == o.theSize &&
           accessCount == o.accessCount && flags == o.flags && memAlign == o.memAlign;
}

void CProcCodeDesc::SExternBuffDesc::ReadFromXML(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (child->name == "memSpace")
            memSpace = kvhosting::FourCCFromText(child->text);
        else if (child->name == "theSize")
            theSize = static_cast<int32_t>(kvhosting::LeadingInteger(child->text));
        else if (child->name == "accessCount")
            accessCount = static_cast<int32_t>(kvhosting::LeadingInteger(child->text));
        else if (child->name == "memAlign")
            memAlign = static_cast<int32_t>(kvhosting::LeadingInteger(child->text));
        else if (child->name == "cyclic")
            flags |= eExtBuffCyclic;
        else if (child->name == "DRAM")
            flags |= eExtBuffDRAM;
    }
}

CXMLElement* CProcCodeDesc::SExternBuffDesc::WriteToXML(CXMLElement* element) const {
    kvhosting::AppendChild(element, "memSpace", FourCCToString(memSpace));
    kvhosting::AppendUnsigned(element, "theSize", static_cast<uint32_t>(theSize));
    kvhosting::AppendUnsigned(element, "accessCount", static_cast<uint32_t>(accessCount));
    if (flags & eExtBuffCyclic)
        kvhosting::AppendChild(element, "cyclic", std::string());
    if (flags & eExtBuffDRAM)
        kvhosting::AppendChild(element, "DRAM", std::string());
    if (memAlign != 0)
        kvhosting::AppendUnsigned(element, "memAlign", static_cast<uint32_t>(memAlign));
    return element;
}

// CVXParamDesc

void CProcCodeDesc::CVXParamDesc::ReadFromXML(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (child->name == "plugDelay")
            plugDelay = static_cast<int32_t>(kvhosting::LeadingInteger(child->text));
    }
}

CXMLElement* CProcCodeDesc::CVXParamDesc::WriteToXML(CXMLElement* element) const {
    kvhosting::AppendUnsigned(element, "plugDelay", static_cast<uint32_t>(plugDelay));
    return element;
}

// CProcCodeDesc

const CProcCodeDesc::SizeFieldList& CProcCodeDesc::SizeFields() {
    static const SizeFieldList fields = {
        &CProcCodeDesc::internalX,   &CProcCodeDesc::internalY,
        &CProcCodeDesc::internalP,   &CProcCodeDesc::idleInternalP,
        &CProcCodeDesc::totalInputs, &CProcCodeDesc::sideChainInputs,
        &CProcCodeDesc::outputs,     &CProcCodeDesc::maxSampleRate,
    };
    static_assert(std::tuple_size_v<SizeFieldList> == kSizeCount);
    return fields;
}

CProcCodeDesc::CProcCodeDesc() {
    std::memset(processFunctionName, 0, sizeof processFunctionName);
}

CProcCodeDesc& CProcCodeDesc::operator=(const CProcCodeDesc& other) {
    if (&other == this)
        return *this;
    resType = other.resType;
    resID = other.resID;
    std::memcpy(processFunctionName, other.processFunctionName, sizeof processFunctionName);
    processorFamily = other.processorFamily;
    internalX = other.internalX;
    internalY = other.internalY;
    internalP = other.internalP;
    maxSampleRate = other.maxSampleRate;
    totalInputs = other.totalInputs;
    sideChainInputs = other.sideChainInputs;
    outputs = other.outputs;
    externBuffDescs = other.externBuffDescs;
    cyclesList = other.cyclesList;
    idleCodeResID = other.idleCodeResID;
    idleInternalP = other.idleInternalP;
    midiInput = other.midiInput;
    vxParams = other.vxParams;
    return *this;
}

bool operator==(const CProcCodeDesc& a, const CProcCodeDesc& b) {
    return a.resType.Get() == b.resType.Get() && a.resID == b.resID &&
           std::strncmp(a.processFunctionName, b.processFunctionName,
                        CProcCodeDesc::kProcessFuncNameSize) == 0 &&
           a.processorFamily == b.processorFamily && a.internalX == b.internalX &&
           a.internalY == b.internalY && a.internalP == b.internalP &&
           a.maxSampleRate == b.maxSampleRate && a.totalInputs == b.totalInputs &&
           a.sideChainInputs == b.sideChainInputs && a.outputs == b.outputs &&
           a.externBuffDescs == b.externBuffDescs && a.cyclesList == b.cyclesList &&
           a.idleCodeResID == b.idleCodeResID && a.idleInternalP == b.idleInternalP &&
           a.midiInput == b.midiInput && a.vxParams == b.vxParams;
}

void CProcCodeDesc::SetProcessFuncName(const char* name) {
    const KCFixedString<kProcessFuncNameSize - 1> cut(name);
    std::memset(processFunctionName, 0, sizeof processFunctionName);
    std::memcpy(processFunctionName, cut.c_str(), cut.size());
}

int32_t CProcCodeDesc::UsableIndex(const SProcessorSpec& requested) const {
    const auto usable = [this](uint32_t i) { return i < cyclesList.size() && cyclesList[i] != -1; };
    if (usable(static_cast<uint32_t>(requested.specific)))
        return requested.specific;
    return usable(0) ? 0 : -1;
}

bool CProcCodeDesc::FindWeakestProcessor(SProcessorSpec& spec) const {
    spec.family = processorFamily;
    for (size_t i = 0; i < cyclesList.size(); ++i) {
        if (cyclesList[i] != -1) {
            spec.specific = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

bool CProcCodeDesc::CyclesForSpecificProcessor(const SProcessorSpec& requested,
                                               SProcessorSpec& actual, long& cycles) const {
    cycles = -1;
    if (processorFamily != requested.family)
        return false;
    actual.family = processorFamily;
    const int32_t index = UsableIndex(requested);
    if (index >= 0) {
        actual.specific = index;
        cycles = cyclesList[static_cast<size_t>(index)];
    }
    return cycles != -1;
}

uint32_t CProcCodeDesc::ExtAccessCount() const {
    uint32_t sum = 0;
    for (const SExternBuffDesc& d : externBuffDescs)
        sum += static_cast<uint32_t>(d.accessCount);
    return sum;
}

void CProcCodeDesc::DSPReqResForSpecificProcessor(const SProcessorSpec& requested,
                                                  SDSPReqRes& req) const {
    SProcessorSpec actual;
    long cycles = -1;
    const bool runs = CyclesForSpecificProcessor(requested, actual, cycles);
    req.cycleCount = static_cast<int32_t>(cycles);
    if (runs) {
        const uint32_t heldCount = req.externalBuffersNum;
        const auto count = static_cast<uint32_t>(externBuffDescs.size());
        req.procSpec = requested;
        req.internalX = static_cast<int32_t>(internalX);
        req.internalY = static_cast<int32_t>(internalY);
        req.internalP = static_cast<int32_t>(internalP);
        req.idleInternalP = static_cast<int32_t>(idleInternalP);
        req.MaxSampleRate = static_cast<int32_t>(maxSampleRate);
        req.NumInputs = static_cast<int32_t>(totalInputs);
        req.NumSideChainInputs = static_cast<int32_t>(sideChainInputs);
        req.NumOutputs = static_cast<int32_t>(outputs);
        req.FirstSideChainChannel =
            sideChainInputs != 0 ? static_cast<int32_t>(totalInputs - sideChainInputs) : 0;
        req.extAccessCount = static_cast<int32_t>(ExtAccessCount());
        req.externalBuffersNum = count;
        req.resID = resID;
        req.idleCodeResID = idleCodeResID;

        const bool fill = (req.DSPReqResFlags & eDSPReqResFillBuffers) != 0;
        if (count > 0 && (fill || req.extBuffs != nullptr)) {
            // A new array when asked for, and whenever the held one is
            // missing or too short for the buffers: never write past it.
            const bool renew = (fill && (req.DSPReqResFlags & eDSPReqResAllocateBuffers) != 0) ||
                               req.extBuffs == nullptr || heldCount < count;
            if (renew) {
                DeleteExtBuffArray(req.extBuffs);
                req.extBuffs = NewExtBuffArray(count);
            }
            for (uint32_t i = 0; i < count; ++i) {
                const SExternBuffDesc& d = externBuffDescs[i];
                sEXT_BUFF entry;
                entry.MemSpace = d.memSpace;
                entry.Count = d.theSize;
                entry.Flags = d.flags;
                entry.lNumAccessesPerSample = d.accessCount;
                entry.memAlign = d.memAlign;
                req.extBuffs[i] = entry;
            }
        }
    }
    req.DSPReqResFlags = 0;
    req.VXParams_Delay = static_cast<uint32_t>(vxParams.plugDelay);
}

void CProcCodeDesc::ReadCanRunOn(const CXMLElement* element) {
    long cycles = 0;
    if (const CXMLElement* count = kvhosting::FirstChild(*element, "CycleCount"))
        kvXML::ReadFromXML_Int<long>(count, cycles);
    for (const CXMLElement* child : element->children) {
        if (!(child->name == "ProcessorSpecific"))
            continue;
        const EProcessorSpecific index = GetProcessorSpecificFromName(processorFamily, child->text);
        if (index < 0)
            continue;
        if (cyclesList.size() <= static_cast<size_t>(index))
            cyclesList.resize(static_cast<size_t>(index) + 1, -1);
        cyclesList[static_cast<size_t>(index)] = static_cast<int32_t>(cycles);
    }
}

void CProcCodeDesc::ReadFromXML(const CXMLElement* element) {
    bool buffersRead = false;
    for (const CXMLElement* child : element->children) {
        if (const int size = SizeIndexOf(child); size >= 0) {
            unsigned long value = 0;
            kvXML::ReadFromXML_Int<unsigned long>(child, value);
            this->*SizeFields()[size] = static_cast<uint32_t>(value);
        } else if (child->name == "resType") {
            kvXML::ReadFromXML_KCFourCC(child, resType);
        } else if (child->name == "ProcessFunctionName") {
            SetProcessFuncName(child->text.c_str());
        } else if (child->name == "resID") {
            kvXML::ReadFromXML_Int<short>(child, resID);
        } else if (child->name == "ProcessorFamily") {
            processorFamily = GetProcessorFamilyFromName(child->text);
        } else if (child->name == "MIDIInput") {
            kvXML::ReadFromXML_Bool(child, midiInput);
        } else if (child->name == "IdleCodeResID") {
            kvXML::ReadFromXML_Int<short>(child, idleCodeResID);
        } else if (child->name == "CanRunOn") {
            ReadCanRunOn(child);
        } else if (child->name == "ExternalReq") {
            if (!buffersRead)
                externBuffDescs.clear();
            buffersRead = true;
            SExternBuffDesc desc;
            desc.ReadFromXML(child);
            externBuffDescs.push_back(desc);
        } else if (child->name == "Vellix") {
            vxParams.ReadFromXML(child);
        } else if (child->name == "DSPCode") {
            ReadResIDAttribute(child, resID);
        } else if (child->name == "IdleDSPCode") {
            ReadResIDAttribute(child, idleCodeResID);
        }
    }
}

CXMLElement* CProcCodeDesc::WriteToXML(CXMLElement* element) const {
    using kvhosting::AppendChild;
    AppendChild(element, "resType", FourCCToString(resType));
    AppendChild(element, "ProcessFunctionName", std::string(processFunctionName));
    AppendChild(element, "resID", static_cast<long>(resID));
    AppendChild(element, "IdleCodeResID", static_cast<long>(idleCodeResID));
    AppendChild(element, "ProcessorFamily", GetProcessorFamilyName(processorFamily));
    for (int i = 0; i < kSizeCount; ++i)
        kvhosting::AppendUnsigned(element, kSizeNames[i], this->*SizeFields()[i]);
    AppendChild(element, "MIDIInput", std::string(midiInput ? "true" : "false"));
    vxParams.WriteToXML(AppendChild(element, "Vellix", std::string()));

    const auto valid = static_cast<size_t>(ProcessorSpecificCount(processorFamily));
    for (size_t i = 0; i < cyclesList.size() && i < valid; ++i) {
        if (cyclesList[i] == -1)
            continue;
        CXMLElement* canRunOn = AppendChild(element, "CanRunOn", std::string());
        AppendChild(canRunOn, "ProcessorSpecific",
                    GetProcessorSpecificName(SProcessorSpec(processorFamily, int32_t(i))));
        if (cyclesList[i] != 0)
            AppendChild(canRunOn, "CycleCount", static_cast<long>(cyclesList[i]));
    }
    for (const SExternBuffDesc& d : externBuffDescs)
        d.WriteToXML(AppendChild(element, "ExternalReq", std::string()));
    return element;
}
