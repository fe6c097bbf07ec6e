// External buffers of native process code: the 36-byte record that host and
// plug-in exchange as a plain array, and the plain resource-requirements
// record that carries such an array.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/XMLElement.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct sEXT_BUFF {
    KCFourCC MemSpace;                 // 'XMEM', 'YMEM', 'LMEM'
    int32_t Count = 0;                 // size in words
    int32_t Flags = 0;                 // bit 0 cyclic, bit 1 in DRAM
    int32_t Offset = 0;                //
    int32_t refCon = 0;                // the host stores the buffer's index
    int32_t localOfs = 0;              // offset from the external-buffer table
    int32_t lNumAccessesPerSample = 0; //
    int32_t lNumWaitStates = 0;        //
    int32_t memAlign = 0;              // required alignment

    // All nine fields equal.
    bool operator==(const sEXT_BUFF& other) const;
};
static_assert(sizeof(KCFourCC) == 4);
static_assert(std::is_standard_layout_v<sEXT_BUFF>);
static_assert(sizeof(sEXT_BUFF) == 36);
static_assert(offsetof(sEXT_BUFF, Count) == 4);
static_assert(offsetof(sEXT_BUFF, Offset) == 12);
static_assert(offsetof(sEXT_BUFF, lNumAccessesPerSample) == 24);
static_assert(offsetof(sEXT_BUFF, memAlign) == 32);

enum : int32_t { eExtBuffCyclic = 1, eExtBuffDRAM = 2 };

// The same requirement: equal MemSpace, Count, Flags and accesses per sample.
bool IsSameRequirement(const sEXT_BUFF& a, const sEXT_BUFF& b);

void Read_sEXT_BUFF_FromXML(sEXT_BUFF& record, const kvXML::CXMLElement* element);
// Appends all nine fields, in order; returns the element.
kvXML::CXMLElement* Write_sEXT_BUFF_ToXML(const sEXT_BUFF& record, kvXML::CXMLElement* element);

// Arrays of default records. The byte size is computed in 64 bits; a count
// whose byte size does not fit in 32 bits, or that the heap refuses, throws
// std::bad_alloc. A count of 0 gives null.
sEXT_BUFF* NewExtBuffArray(uint64_t count);
// The same, null instead of the exception.
sEXT_BUFF* NewExtBuffArrayOrNull(uint64_t count) noexcept;
// A new array holding a copy of `count` records of `source` (null for a null
// source or a count of 0); throws as NewExtBuffArray.
sEXT_BUFF* CopyExtBuffArray(const sEXT_BUFF* source, uint64_t count);
void DeleteExtBuffArray(sEXT_BUFF*& array);

// The plain form of a plug-in's DSP resource requirements.
struct DSPRequiredResources {
    DSPRequiredResources() = default;
    DSPRequiredResources(int32_t internalP, int32_t cycleCount)
        : internalP(internalP), cycleCount(cycleCount) {}
    // The array is duplicated when the source has one and a non-zero count.
    // A failed allocation throws std::bad_alloc and leaves the target as it
    // was.
    DSPRequiredResources(const DSPRequiredResources& other);
    DSPRequiredResources& operator=(const DSPRequiredResources& other);
    ~DSPRequiredResources();

    // Every field back to 0, the array released.
    void Reset();

    int32_t internalX = 0;
    int32_t internalY = 0;
    int32_t internalP = 0;
    int32_t MaxSampleRate = 0;
    int32_t NumInputs = 0;
    int32_t reserved = 0; // read by nothing
    int32_t NumOutputs = 0;
    uint32_t externalBuffersNum = 0;
    sEXT_BUFF* externalBuffers = nullptr; // owned; externalBuffersNum records
    int32_t cycleCount = 0;
    int32_t refCon = 0;
    int32_t ci_refCon = 0;
    int32_t resID = 0;
    int32_t extAccessCount = 0;
    int32_t idleCodeResID = 0;
    int32_t idleInternalP = 0;
};
