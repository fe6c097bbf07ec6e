// Records handed to a plug-in's native process function. Their layout is
// part of the plug-in interface: field order and sizes must not change.
#pragma once

#include "hosting/BufferDescriptors.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// One channel of one block: sample f of the channel is data[f * stride].
struct QuorlSoundBuf {
    float* data;       // first sample of the channel; null when there is no storage
    int32_t stride;    // distance in samples from one frame to the next
    int32_t one;       // always 1
    int32_t reserved1; // 0
    int32_t reserved2; // 0
};
static_assert(offsetof(QuorlSoundBuf, data) == 0);
static_assert(offsetof(QuorlSoundBuf, stride) == sizeof(float*));
static_assert(offsetof(QuorlSoundBuf, one) == sizeof(float*) + 4);
static_assert(offsetof(QuorlSoundBuf, reserved1) == sizeof(float*) + 8);
static_assert(offsetof(QuorlSoundBuf, reserved2) == sizeof(float*) + 12);
static_assert(sizeof(QuorlSoundBuf) == sizeof(float*) + 16);

// Shell information of one process call: 29 signed 32-bit words.
struct sNativeShellInfo {
    enum : int {
        kWordCount = 29,
        // Words the processing element writes on every block.
        kWordReserved1 = 1,
        kWordReserved2 = 2,
        kWordBlockMarker = 3,    // -1
        kWordPosition = 4,       // transport position, -1 when not valid
        kWordPosition2 = 5,      // the same
        kWordPositionOrZero = 6, // transport position, 0 when not valid
        kWordFrames = 7,         // frames in the block
        kWordReserved8 = 8,
        kWordReserved9 = 9,
        kWordSideChainChannels = 10,
        kWordSamplesDelivered = 14, // stream flag "samples delivered"
        kWordStreamMode = 15,       // 1 silent, 2 signal, OR 1 when looping
    };
    int32_t words[kWordCount];

    // Fills the record with its initial values; word 17 is left as it is.
    void Init() {
        for (int i = 0; i < kWordCount; ++i) {
            if (i != 17)
                words[i] = 0;
        }
        words[4] = words[12] = words[13] = words[25] = words[26] = -1;
        words[16] = 1;
        const float four = 4.0f;
        std::memcpy(&words[20], &four, sizeof four);
        std::memcpy(&words[21], &four, sizeof four);
    }
};
static_assert(sizeof(sNativeShellInfo) == 116);
static_assert(offsetof(sNativeShellInfo, words) == 0);

// One entry of the table of a plug-in's external buffers.
struct ExternStruct {
    char* data = nullptr; // the buffer
    int32_t size = 0;     // its size in bytes
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
};
static_assert(sizeof(ExternStruct) == 24);

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

// A plug-in's native process function: (inputs, input count, frames,
// outputs, output count, result word preset to 0, active coefficients,
// states, external buffer table, shell information).
using NativeProcessFunction = void (*)(QuorlSoundBuf* inputs, int32_t inputCount, int32_t frames,
                                       QuorlSoundBuf* outputs, int32_t outputCount, int32_t* result,
                                       char* coefficients, char* states,
                                       ExternStruct* externBuffers, sNativeShellInfo* shellInfo);

// The part of a plug-in's native process memory that the processing side
// uses. The GUI thread writes the requested coefficient index and waits for
// the in-process flag to clear; the audio thread switches the active index at
// the end of its process call. Plug-in hosting builds the rest of the memory
// (sizes, heap block, buffer requests) around these fields.
class KCNativeProcessMemory {
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
    std::atomic<int32_t> activeIndex{0};
    std::atomic<int32_t> requestedIndex{0};
    std::atomic<uint8_t> inProcess{0};
    std::atomic<uint8_t> pendingCopy{0};
    char* instanceData = nullptr;
    char* coefficients[2] = {nullptr, nullptr};
    char* states = nullptr;
    char* statesSnapshot = nullptr;
    ExternStruct* externTable = nullptr;

    // The audio side takes the flag from 0 to 1; the GUI side holds it at 2
    // only for the few instructions of a switch.
    void BeginProcess() {
        uint8_t expected = 0;
        while (!inProcess.compare_exchange_weak(expected, 1, std::memory_order_acq_rel)) {
            if (expected == 1)
                return; // already inside a call
            expected = 0;
        }
    }
    void EndProcess() {
        activeIndex.store(requestedIndex.load(std::memory_order_acquire) & 1,
                          std::memory_order_relaxed);
        inProcess.store(0, std::memory_order_release);
    }
    char* ActiveCoefficients() const {
        return coefficients[activeIndex.load(std::memory_order_relaxed) & 1];
    }

private:
    char* block = nullptr;
    std::unique_ptr<KSBufferRequest[]> requests;
    std::unique_ptr<std::atomic<int32_t>[]> slots;
};
