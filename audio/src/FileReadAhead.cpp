#include "FileReadAhead.h"

#include <algorithm>
#include <chrono>

namespace {

// How long the ring's thread sleeps at most when it has nothing to do: a
// wake-up that slipped by costs no more than this.
constexpr std::chrono::milliseconds kIdleWait{10};

} // namespace

KCFileReadAhead::KCFileReadAhead(int64_t fileLength, int32_t channels, ReadFunction reader,
                                 int64_t position)
    : length(fileLength), read(std::move(reader)), blocks(kBlocks) {
    for (Block& block : blocks)
        block.samples.assign(size_t(kBlockFrames) * size_t(std::max(channels, 0)), 0.0f);
    request.store(Pack(0, position), std::memory_order_relaxed);
    streamNext = position;
    thread = std::thread(&KCFileReadAhead::Run, this);
}

KCFileReadAhead::~KCFileReadAhead() {
    {
        const std::lock_guard lock(mutex);
        stopping.store(true);
    }
    wake.notify_one();
    thread.join();
}

void KCFileReadAhead::Run() {
    uint32_t readGeneration = 0;
    int64_t next = int64_t(uint32_t(request.load(std::memory_order_acquire)));
    std::unique_lock lock(mutex);
    while (!stopping.load()) {
        lock.unlock();
        const bool read = ReadNext(readGeneration, next);
        lock.lock();
        if (!read && !stopping.load())
            wake.wait_for(lock, kIdleWait);
    }
}

bool KCFileReadAhead::ReadNext(uint32_t& readGeneration, int64_t& next) {
    const uint64_t asked = request.load(std::memory_order_acquire);
    if (uint32_t(asked >> 32) != readGeneration) {
        readGeneration = uint32_t(asked >> 32);
        next = int64_t(uint32_t(asked));
    }
    if (next >= length && length > 0 && looping.load(std::memory_order_relaxed))
        next = 0;
    const uint64_t written = head.load(std::memory_order_relaxed);
    if (next >= length || written - tail.load(std::memory_order_acquire) >= uint64_t(kBlocks))
        return false;
    Block& block = blocks[written % kBlocks];
    const int64_t frames = std::min(kBlockFrames, length - next);
    block.status = read(next, frames, block.samples.data(), kBlockFrames);
    block.start = next;
    block.frames = block.status == eNoErr ? frames : 0;
    block.generation = readGeneration;
    head.store(written + 1, std::memory_order_release);
    next += frames;
    return true;
}

void KCFileReadAhead::Request(int64_t position) {
    ++generation;
    streamNext = position;
    request.store(Pack(generation, position), std::memory_order_release);
    wake.notify_one();
}

void KCFileReadAhead::Drop() {
    tail.store(tail.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    wake.notify_one();
}

KTErr KCFileReadAhead::Find(int64_t position, bool loop, Chunk& chunk) {
    chunk = Chunk{};
    looping.store(loop, std::memory_order_relaxed);
    for (;;) {
        const uint64_t taken = tail.load(std::memory_order_relaxed);
        if (taken == head.load(std::memory_order_acquire)) {
            // Nothing read yet: the frames are on their way, or the reading
            // starts again where they are.
            if (position != streamNext)
                Request(position);
            else
                wake.notify_one();
            return eNoErr;
        }
        const Block& block = blocks[taken % kBlocks];
        if (block.generation != generation) {
            Drop(); // read for an earlier request
            continue;
        }
        if (block.status != eNoErr) {
            const KTErr status = block.status;
            Drop();
            Request(position); // tried again on the next pull
            return status;
        }
        if (position >= block.start + block.frames) {
            Played(block.start + block.frames);
            continue;
        }
        if (position < block.start) {
            Request(position);
            return eNoErr;
        }
        chunk.data = block.samples.data() + (position - block.start);
        chunk.stride = kBlockFrames;
        chunk.start = position;
        chunk.frames = block.start + block.frames - position;
        return eNoErr;
    }
}

void KCFileReadAhead::Played(int64_t end) {
    const uint64_t taken = tail.load(std::memory_order_relaxed);
    if (taken == head.load(std::memory_order_acquire))
        return;
    const Block& block = blocks[taken % kBlocks];
    const int64_t blockEnd = block.start + block.frames;
    if (block.generation != generation || end < blockEnd)
        return;
    streamNext = blockEnd;
    if (blockEnd >= length && looping.load(std::memory_order_relaxed))
        streamNext = 0;
    Drop();
}
