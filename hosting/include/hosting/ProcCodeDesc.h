// What a component's process code needs: its resource, processor family,
// cycles per specific processor, memories, channels, external buffers and
// the networked shell's parameters.
#pragma once

#include "hosting/DSPReqRes.h"
#include "hosting/ProcessorSpec.h"

#include "foundation/KCFourCC.h"
#include "foundation/XMLElement.h"

#include <array>
#include <cstdint>
#include <vector>

class CProcCodeDesc : public kvXML::CXMLable {
public:
    // One external buffer the code needs.
    class SExternBuffDesc : public kvXML::CXMLable {
    public:
        SExternBuffDesc() = default;
        SExternBuffDesc(const SExternBuffDesc&) = default;
        SExternBuffDesc& operator=(const SExternBuffDesc&) = default;
        bool operator==(const SExternBuffDesc& other) const;

        void ReadFromXML(const kvXML::CXMLElement* element) override;
        kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

        KCFourCC memSpace;
        int32_t theSize = 0;
        int32_t accessCount = 0; // accesses per sample
        int32_t flags = 0;       // bit 0 cyclic, bit 1 in DRAM
        int32_t memAlign = 0;
    };

    // Parameters of the networked DSP shell.
    class CVXParamDesc : public kvXML::CXMLable {
    public:
        CVXParamDesc() = default;
        CVXParamDesc(const CVXParamDesc&) = default;
        CVXParamDesc& operator=(const CVXParamDesc&) = default;
        bool operator==(const CVXParamDesc& other) const { return plugDelay == other.plugDelay; }

        void ReadFromXML(const kvXML::CXMLElement* element) override;
        kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

        int32_t plugDelay = 0;
    };

    static constexpr unsigned kProcessFuncNameSize = 64;

    CProcCodeDesc();
    CProcCodeDesc(const CProcCodeDesc& other) = default;
    CProcCodeDesc& operator=(const CProcCodeDesc& other);

    KCFourCC& ResType_() { return resType; }
    int16_t& ResID_() { return resID; }
    int16_t& IdleResID_() { return idleCodeResID; }
    char* GetProcessFuncName() { return processFunctionName; }
    const char* GetProcessFuncName() const { return processFunctionName; }
    uint32_t& InternalX() { return internalX; }
    uint32_t& InternalY() { return internalY; }
    uint32_t& InternalP() { return internalP; }
    uint32_t& IdleInternalP() { return idleInternalP; }
    uint32_t& GetMaxSampleRate() { return maxSampleRate; }
    bool& HasMIDIInput() { return midiInput; }
    std::vector<SExternBuffDesc>& ExternBuffDescs() { return externBuffDescs; }
    std::vector<int32_t>& CyclesList() { return cyclesList; }
    EProcessorFamily& ProcessorFamily() { return processorFamily; }
    uint32_t& TotalInputs() { return totalInputs; }
    uint32_t& SideChainInputs() { return sideChainInputs; }
    uint32_t& Outputs() { return outputs; }
    CVXParamDesc* GetVXParams() { return &vxParams; }

    // Sets the name, cut to 63 characters (never inside a UTF-8 character).
    void SetProcessFuncName(const char* name);

    // The family becomes the description's; the specific processor the
    // lowest usable index of the cycle list (false, left alone, when none).
    bool FindWeakestProcessor(SProcessorSpec& spec) const;
    // Cycles on the requested processor, or on the family's generic entry
    // when the requested one is not usable; false (cycles -1) otherwise.
    bool CyclesForSpecificProcessor(const SProcessorSpec& requested, SProcessorSpec& actual,
                                    long& cycles) const;
    // Fills a requirement record for one processor. With request flag bit 0
    // the record's buffer array is filled: allocated anew with bit 1, or when
    // the record has no array or a shorter one than is needed.
    void DSPReqResForSpecificProcessor(const SProcessorSpec& requested, SDSPReqRes& req) const;
    // The sum of the buffers' access counts.
    uint32_t ExtAccessCount() const;

    void ReadFromXML(const kvXML::CXMLElement* element) override;
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    friend bool operator==(const CProcCodeDesc& a, const CProcCodeDesc& b);

private:
    using SizeFieldList = std::array<uint32_t CProcCodeDesc::*, 8>;
    // The members of "States", "Coefs", "InternalP", "IdleInternalP",
    // "NumInputs", "NumSideChainInputs", "NumOutputs", "MaxSampleRate".
    static const SizeFieldList& SizeFields();
    void ReadCanRunOn(const kvXML::CXMLElement* element);
    int32_t UsableIndex(const SProcessorSpec& requested) const;

    KCFourCC resType;
    int16_t resID = 0;
    char processFunctionName[kProcessFuncNameSize];
    EProcessorFamily processorFamily = eProcessorFamilyUnknown;
    uint32_t internalX = 0;
    uint32_t internalY = 0;
    uint32_t internalP = 0;
    uint32_t maxSampleRate = 0;
    uint32_t totalInputs = 0;
    uint32_t sideChainInputs = 0;
    uint32_t outputs = 0;
    std::vector<SExternBuffDesc> externBuffDescs;
    std::vector<int32_t> cyclesList; // by specific processor; -1: cannot run there
    int16_t idleCodeResID = 0;
    uint32_t idleInternalP = 0;
    bool midiInput = false;
    CVXParamDesc vxParams;
};

bool operator==(const CProcCodeDesc& a, const CProcCodeDesc& b);
