// Records handed to a plug-in's native process function. Their layout is
// part of the plug-in interface: field order and sizes must not change.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
class KCNativeProcessState {
public:
    std::atomic<int32_t> activeIndex{0};
    std::atomic<int32_t> requestedIndex{0};
    std::atomic<uint8_t> inProcess{0};
    std::atomic<uint8_t> pendingCopy{0};
    char* coefficients[2] = {nullptr, nullptr};
    char* states = nullptr;
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
};
