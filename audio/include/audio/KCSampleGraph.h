// The pull-model sample graph: a sink pulls blocks from its source; every
// block is described by a list of channel descriptors and travels with a
// stream state. All samples are 32-bit floats, nominally in [-1, 1].
#pragma once

#include <cstdint>

#include "audio/ProcessRecords.h"
#include "foundation/KTErr.h"

// The most channels one list can describe.
inline constexpr uint32_t kMaxSoundBufChannels = 16;

// Routing of source channels to list entries: count channel numbers.
struct KCChannelList {
    int32_t count = 0;
    int32_t* channels = nullptr; // owned by the creator

    // The channel number at index, -1 at or beyond count.
    int32_t Lookup(int32_t index) const {
        return (index >= 0 && index < count && channels) ? channels[index] : -1;
    }
};

struct KCSampleFormat {
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int32_t bitsPerSample = 0;
};

// The channel descriptors of one block.
struct KCSoundBufList {
    QuorlSoundBuf bufs[kMaxSoundBufChannels] = {};
    uint32_t frames = 0;
    uint32_t channels = 0;

    // Describes one interleaved block of frames x channels floats at base:
    // entry i points at base + i with the given stride. A null base leaves
    // every data pointer null. More than 16 channels are refused: the list
    // is then empty and the result is eGenericErr.
    KTErr Build(uint32_t frames, float* base, uint32_t channels, int32_t stride);

    float* GetData(uint32_t i) const { return bufs[i].data; }
    int32_t GetStride(uint32_t i) const { return bufs[i].stride; }
    QuorlSoundBuf* GetBuf(uint32_t i) { return &bufs[i]; }
    void ZeroBuf(uint32_t i) { bufs[i] = QuorlSoundBuf{}; }
    uint32_t GetFrames() const { return frames; }
    uint32_t GetChannels() const { return channels; }
    void SetData(uint32_t i, float* data) { bufs[i].data = data; }

    // Writes silence into every entry that has storage.
    void Clear();
};

// Writes silence into `frames` frames of each of `count` descriptors that
// have storage.
void SilenceSoundBufs(QuorlSoundBuf* bufs, uint32_t count, uint32_t frames);

// The state carried by every pull.
struct KCStreamState {
    enum : uint32_t {
        kPositionValid = 1u << 0,
        kSamplesDelivered = 1u << 1,
        kSilence = 1u << 2,
        kLoop = 1u << 3,
    };

    int32_t position = 0;
    uint32_t flags = kLoop;
    KCChannelList* channelMap = nullptr;
    int32_t reserved = 0;

    bool IsSilent() const { return (flags & kSilence) != 0; }
    bool IsLoop() const { return (flags & kLoop) != 0; }
    void SetSamplesDelivered() { flags |= kSamplesDelivered; }
    void SetFlags(uint32_t f) { flags = f; }
};

class KCSampleSource {
public:
    virtual ~KCSampleSource() = default;
    // Writes list.frames samples into each of the first list.channels
    // entries; returns 0 or a negative status.
    virtual KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) = 0;
};

// Base of every source that starts a chain.
class KCInputSampleSource : public KCSampleSource {};

class KCSampleSink {
public:
    explicit KCSampleSink(KCSampleSource* input = nullptr) : input(input) {}
    virtual ~KCSampleSink() = default;
    KCSampleSink(const KCSampleSink&) = delete;
    KCSampleSink& operator=(const KCSampleSink&) = delete;

    virtual void SetState(const KCStreamState& s) { state = s; }
    virtual KTErr Start() {
        running = true;
        return eNoErr;
    }
    virtual KTErr Stop() {
        running = false;
        return eNoErr;
    }

    bool IsRunning() const { return running; }
    void SetInput(KCSampleSource* source) { input = source; }
    KCSampleSource* GetInput() const { return input; }
    const KCStreamState& GetState() const { return state; }
    KTErr PullInput(KCSoundBufList& list, KCStreamState& s) {
        return input ? input->GetSamples(list, s) : eNoErr;
    }

protected:
    KCStreamState state;
    KCSampleSource* input = nullptr; // not owned
    bool running = false;
};
