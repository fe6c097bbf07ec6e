#include "hosting/NativeProcessMemory.h"

#include <chrono>
#include <thread>

namespace {

constexpr KCFourCC kLMEM{KV_FOURCC("LMEM")};
constexpr uint64_t kAlign = 16;

uint64_t RoundUp(uint64_t n) {
    return (n + kAlign - 1) / kAlign * kAlign;
}

bool IsBufferKind(int32_t kind) {
    return kind >= 100 && kind <= 1299;
}

} // namespace

uint64_t KCNativeProcessMemory::BufferBytes(const sEXT_BUFF& buffer) {
    const uint64_t bytes = static_cast<uint64_t>(static_cast<uint32_t>(buffer.Count)) * 4;
    return buffer.MemSpace.Get() == kLMEM.Get() ? bytes * 2 : bytes;
}

KTErr KCNativeProcessMemory::Layout() {
    if (instanceDataSize < 0 || coefficientSize < 0 || statesSize < 0)
        return eFMWrongParameters;
    for (const sEXT_BUFF& b : externBuffers) {
        if (b.Count < 0)
            return eFMWrongParameters;
    }
    // Each region rounded up to 16 bytes, in 64 bits: no size a plug-in
    // reports can wrap the block.
    const uint64_t n = externBuffers.size();
    uint64_t size = RoundUp(static_cast<uint64_t>(instanceDataSize)) +
                    2 * RoundUp(static_cast<uint64_t>(coefficientSize)) +
                    2 * RoundUp(static_cast<uint64_t>(statesSize)) +
                    RoundUp(n * sizeof(ExternStruct));
    uint64_t external = 0;
    for (const sEXT_BUFF& b : externBuffers)
        external += RoundUp(BufferBytes(b));
    size += external + kAlign;
    if (external > INT32_MAX)
        return eMemNewTPtrFailed;
    void* memory = std::calloc(1, size);
    if (memory == nullptr)
        return eMemNewTPtrFailed;
    std::free(block);
    block = static_cast<char*>(memory);
    blockSize = size;
    externBytes = static_cast<int32_t>(external);

    char* cursor = block;
    const auto take = [&cursor](uint64_t bytes) {
        char* region = cursor;
        cursor += RoundUp(bytes);
        return region;
    };
    instanceData = take(static_cast<uint64_t>(instanceDataSize));
    coefficients[0] = take(static_cast<uint64_t>(coefficientSize));
    coefficients[1] = take(static_cast<uint64_t>(coefficientSize));
    states = take(static_cast<uint64_t>(statesSize));
    externTable = reinterpret_cast<ExternStruct*>(take(n * sizeof(ExternStruct)));
    for (size_t d = 0; d < n; ++d) {
        sEXT_BUFF& b = externBuffers[d];
        char* data = take(BufferBytes(b));
        externTable[d] = ExternStruct{data, static_cast<int32_t>(BufferBytes(b)), 0, 0};
        b.Offset = 0;
        b.refCon = static_cast<int32_t>(d);
        b.localOfs = static_cast<int32_t>(data - reinterpret_cast<char*>(externTable));
    }
    statesSnapshot = take(static_cast<uint64_t>(statesSize));
    activeIndex = 0;
    requestedIndex = 0;
    return eNoErr;
}

void KCNativeProcessMemory::SnapshotStates() {
    if (states != nullptr && statesSnapshot != nullptr && statesSize > 0)
        std::memcpy(statesSnapshot, states, static_cast<size_t>(statesSize));
}

KSBufferRequest* KCNativeProcessMemory::RequestBuffer(const KSBufferRequest* request) {
    if (request == nullptr)
        return nullptr;
    for (int i = 0; i < kRequestCount; ++i) {
        int32_t free = 0;
        if (!slots[i].compare_exchange_strong(free, 1, std::memory_order_acq_rel))
            continue;
        KSBufferRequest& r = requests[i];
        r = *request;
        r.next = nullptr;
        char* region = nullptr;
        if (r.kind == 0) {
            region = r.subKind == 1 ? statesSnapshot : states;
        } else if (r.kind == 1) {
            region = coefficients[1 - (activeIndex.load(std::memory_order_acquire) & 1)];
        } else if (IsBufferKind(r.kind)) {
            // An index outside the list resolves to nothing.
            if (externTable != nullptr && r.externalIndex >= 0 &&
                static_cast<size_t>(r.externalIndex) < externBuffers.size()) {
                const sEXT_BUFF& b = externBuffers[static_cast<size_t>(r.externalIndex)];
                region = reinterpret_cast<char*>(externTable) + b.localOfs;
                if (r.kind == kSecondHalfKind && b.MemSpace.Get() == kLMEM.Get())
                    region += static_cast<uint64_t>(static_cast<uint32_t>(b.Count)) * 4;
            }
            if (region == nullptr) {
                r.memory = nullptr;
                return &r;
            }
        } else {
            return &r; // any other kind: the memory word as the caller gave it
        }
        r.memory = region != nullptr ? region + 4 * static_cast<int64_t>(r.wordOffset) : nullptr;
        return &r;
    }
    return nullptr;
}

void KCNativeProcessMemory::ReleaseBuffers(KSBufferRequest* chain) {
    // Only the start of one of the records counts: an address inside one,
    // or anywhere else, is not a record and is left alone.
    const auto first = reinterpret_cast<uintptr_t>(requests.get());
    constexpr uintptr_t kBytes = uintptr_t(kRequestCount) * sizeof(KSBufferRequest);
    while (chain != nullptr) {
        KSBufferRequest* next = chain->next;
        const uintptr_t offset = reinterpret_cast<uintptr_t>(chain) - first;
        if (offset < kBytes && offset % sizeof(KSBufferRequest) == 0) {
            *chain = KSBufferRequest();
            slots[offset / sizeof(KSBufferRequest)].store(0, std::memory_order_release);
        }
        chain = next;
    }
}

KTErr KCNativeProcessMemory::CommitBufferChanges(KSBufferRequest* chain) {
    bool changed = false;
    for (const KSBufferRequest* r = chain; r != nullptr && !changed; r = r->next)
        changed = r->kind == 1 && r->changed == 1 && (r->subKind == 0 || r->subKind == 2);
    if (!changed)
        return eNoErr;
    pendingCopy = 1;
    const int32_t target = 1 - (activeIndex.load(std::memory_order_acquire) & 1);
    requestedIndex.store(target, std::memory_order_release);
    // No process call running: hold the flag for the instant of the switch.
    uint8_t idle = 0;
    if (inProcess.compare_exchange_strong(idle, 2, std::memory_order_acq_rel)) {
        activeIndex.store(target, std::memory_order_release);
        inProcess.store(0, std::memory_order_release);
    } else {
        // The running call switches at its end; wait for it, but not
        // forever.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (activeIndex.load(std::memory_order_acquire) != target) {
            if (std::chrono::steady_clock::now() >= deadline)
                return eGenericErr;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (pendingCopy && coefficientSize > 0 && coefficients[0] != nullptr) {
        std::memcpy(coefficients[1 - target], coefficients[target],
                    static_cast<size_t>(coefficientSize));
    }
    pendingCopy = 0;
    return eNoErr;
}
