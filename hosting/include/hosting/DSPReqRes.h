// The DSP resources that process code needs on one processor.
#pragma once

#include "hosting/BufferDescriptors.h"
#include "hosting/ProcessorSpec.h"

#include "foundation/XMLElement.h"

#include <cstdint>

// Request flags of SDSPReqRes: fill the buffer array, and allocate it anew.
enum : uint32_t { eDSPReqResFillBuffers = 1, eDSPReqResAllocateBuffers = 2 };

struct SDSPReqRes {
    static constexpr int32_t kStructVersion = 3;

    SDSPReqRes() = default;
    SDSPReqRes(long internalP, long cycleCount, const SProcessorSpec& spec);
    explicit SDSPReqRes(const SProcessorSpec& spec);
    // The array is duplicated; a failed allocation throws std::bad_alloc and
    // leaves the target as it was.
    SDSPReqRes(const SDSPReqRes& other);
    SDSPReqRes& operator=(const SDSPReqRes& other);
    // Takes the fields of the plain form (not its sixth word); the processor
    // becomes family 1, specific 0, the networked-shell delay 0. The version,
    // the flags and the side-chain fields stay.
    SDSPReqRes& operator=(const DSPRequiredResources& plain);
    ~SDSPReqRes();

    // Version 3, every other field 0, the array released, no processor.
    void ResetAllMembers();

    // Requirement equivalence of two records.
    static bool IsEquivalent(const SDSPReqRes& a, const SDSPReqRes& b, bool compareProcessor,
                             bool compareBuffers, bool ignoreProcessorCounts);
    // Every field but refCon and ci_refCon equal.
    bool operator==(const SDSPReqRes& other) const;

    // "sEXT_BUFF" children fill the array, one entry each, in order; the
    // array is made at the first of them with `externalBuffersNum` entries.
    // Children beyond the array are ignored, and the count never exceeds the
    // array that the record holds.
    void ReadFromXML(const kvXML::CXMLElement* element);
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* parent) const;

    int32_t DSPReqResStructVersion = kStructVersion;
    uint32_t DSPReqResFlags = 0;
    int32_t internalX = 0;
    int32_t internalY = 0;
    int32_t internalP = 0;
    int32_t MaxSampleRate = 0;
    int32_t NumInputs = 0;
    int32_t NumSideChainInputs = 0;
    int32_t NumOutputs = 0;
    int32_t FirstSideChainChannel = 0;
    uint32_t externalBuffersNum = 0;
    sEXT_BUFF* extBuffs = nullptr; // owned; externalBuffersNum entries, or null
    int32_t cycleCount = 0;
    int32_t extAccessCount = 0;
    int32_t refCon = 0;
    int32_t ci_refCon = 0;
    int32_t resID = 0;
    SProcessorSpec procSpec;
    int32_t idleCodeResID = 0;
    int32_t idleInternalP = 0;
    uint32_t VXParams_Delay = 0;

private:
    void CopyFieldsFrom(const SDSPReqRes& other);
    void ReadBufferEntry(const kvXML::CXMLElement* element, uint32_t index);
};
