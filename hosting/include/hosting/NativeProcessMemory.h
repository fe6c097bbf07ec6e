// A plug-in's native process memory: the sizes it reported, the one heap
// block that holds its instance data, coefficients, states and external
// buffers, and the buffer requests it makes through the host callbacks.
#pragma once

#include "audio/ProcessRecords.h"
#include "foundation/KTErr.h"
#include "hosting/BufferDescriptors.h"

#include <cstdlib>
#include <memory>
#include <vector>

// A plug-in's request for a piece of its process memory: the plug-in fills
// one and passes it by address; the host hands back its own copy with
// `memory` resolved. Requests are chained through `next`.
struct KSBufferRequest {
    void* memory = nullptr;          // out: the address the request resolves to
    KSBufferRequest* next = nullptr; // the next request of a chain
    int32_t kind = -1;               // 0 states, 1 coefficients, 100-1299 a buffer
    int32_t subKind = -1;            // states: 1 the snapshot; coefficients: 0 or 2 commit
    int32_t changed = -1;            // 1: the plug-in wrote the coefficients
    int32_t reserved5 = 0;           //
    int32_t externalIndex = 0;       // the buffer's position in the list
    int32_t wordOffset = 0;          // offset into the region, in 32-bit words
    int32_t reserved8 = 0;           //
};
static_assert(sizeof(KSBufferRequest) == 48);
static_assert(offsetof(KSBufferRequest, kind) == 16);

// The whole memory of one plug-in; the processing side sees only its
// KCNativeProcessState.
class KCNativeProcessMemory : public KCNativeProcessState {
public:
    static constexpr int kRequestCount = 1024;
    static constexpr int kSecondHalfKind = 500;

    KCNativeProcessMemory()
        : requests(new KSBufferRequest[kRequestCount]),
          slots(new std::atomic<int32_t>[kRequestCount]) {
        for (int i = 0; i < kRequestCount; ++i)
            slots[i].store(0, std::memory_order_relaxed);
    }
    KCNativeProcessMemory(const KCNativeProcessMemory&) = delete;
    KCNativeProcessMemory& operator=(const KCNativeProcessMemory&) = delete;
    ~KCNativeProcessMemory() { std::free(block); }

    // Lays the regions out in one zero-filled block, each at a 16-byte
    // boundary: instance data, coefficients 0 and 1, live states, the
    // external-buffer table, each buffer, the states snapshot. The buffers'
    // Offset, refCon and localOfs are filled. eMemNewTPtrFailed when the
    // block cannot be had, eFMWrongParameters for negative sizes.
    KTErr Layout();
    // The live states into the snapshot.
    void SnapshotStates();
    // A claimed copy of the request with its memory resolved, or null when
    // every record is taken.
    KSBufferRequest* RequestBuffer(const KSBufferRequest* request);
    // Frees the records of a chain that belong to this memory.
    void ReleaseBuffers(KSBufferRequest* chain);
    // Makes changed coefficients active: at once when no process call runs,
    // else once the running call has ended (at most 2 s, then -1 with
    // nothing copied). The new coefficients are then copied into the other
    // buffer.
    KTErr CommitBufferChanges(KSBufferRequest* chain);
    // The byte size of an external buffer ('LMEM' buffers hold two halves).
    static uint64_t BufferBytes(const sEXT_BUFF& buffer);

    std::vector<sEXT_BUFF> externBuffers; // in the plug-in's order
    uint64_t blockSize = 0;

    int32_t instanceDataSize = 0;
    int32_t coefficientSize = 0;
    int32_t statesSize = 0;
    int32_t externBytes = 0;
    char* instanceData = nullptr;
    char* statesSnapshot = nullptr;

private:
    char* block = nullptr;
    std::unique_ptr<KSBufferRequest[]> requests;
    std::unique_ptr<std::atomic<int32_t>[]> slots;
};
