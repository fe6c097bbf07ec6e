// Reads a file's frames ahead of a real-time reader: a thread of its own
// fills a ring of blocks in the order the frames will be played, and the
// reader takes them without ever waiting for the disk or for a lock.
//
// One thread reads the ring (the pulling thread); the ring's own thread
// writes it. The reader asks for frames by position; frames that are not in
// the ring yet are an underrun for the reader to handle, and a position the
// ring is not heading to (a rewind, a jump) restarts the reading there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/KTErr.h"

class KCFileReadAhead {
public:
    // Frames per block and blocks in the ring.
    static constexpr int64_t kBlockFrames = 4096;
    static constexpr int kBlocks = 4;

    // Reads `frames` frames from `start` on, planar with channel stride
    // `stride`, into `dst`; called on the ring's thread.
    using ReadFunction =
        std::function<KTErr(int64_t start, int64_t frames, float* dst, int64_t stride)>;

    // Starts reading at `position` of a file of `length` frames and
    // `channels` channels.
    KCFileReadAhead(int64_t length, int32_t channels, ReadFunction read, int64_t position);
    // Stops the thread after the read it is doing.
    ~KCFileReadAhead();
    KCFileReadAhead(const KCFileReadAhead&) = delete;
    KCFileReadAhead& operator=(const KCFileReadAhead&) = delete;

    // Frames of the ring: channel c, frame start + f at data[c * stride + f].
    struct Chunk {
        const float* data = nullptr;
        int64_t stride = 0;
        int64_t start = 0;
        int64_t frames = 0;
    };
    // The reader's side, never waiting. With `loop`, the frames after the
    // file's end are its first ones again. Gives 0 and the chunk that holds
    // `position`; 0 and an empty chunk when those frames are not read yet;
    // or the status of a read that failed there.
    KTErr Find(int64_t position, bool loop, Chunk& chunk);
    // The frames before `end` were played: their block goes back to the
    // ring's thread when it holds nothing after them.
    void Played(int64_t end);

private:
    struct Block {
        std::vector<float> samples; // planar, channel stride kBlockFrames
        int64_t start = 0;
        int64_t frames = 0;
        uint32_t generation = 0;
        KTErr status = eNoErr;
    };

    void Run();
    // The next block is read; false when there is nothing to read now.
    bool ReadNext(uint32_t& generation, int64_t& next);
    void Request(int64_t position);
    void Drop();
    static uint64_t Pack(uint32_t generation, int64_t position) {
        return (uint64_t(generation) << 32) | uint32_t(position);
    }

    const int64_t length;
    const ReadFunction read;
    std::vector<Block> blocks;
    std::atomic<uint64_t> head{0}; // blocks written, by the ring's thread
    std::atomic<uint64_t> tail{0}; // blocks given back, by the reader
    // The reader's latest request: a generation and a position.
    std::atomic<uint64_t> request{0};
    std::atomic<bool> looping{false};
    std::atomic<bool> stopping{false};
    // The reader's own: its request's generation and where the frames of
    // that generation go on next.
    uint32_t generation = 0;
    int64_t streamNext = 0;

    std::mutex mutex; // only for the ring thread's sleep
    std::condition_variable wake;
    std::thread thread;
};
