#include "audio/KCAudioFileSampleSource.h"

#include <sys/mman.h>

#include <climits>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

} // namespace

void KCAudioFileSampleSource::FreeSamples::operator()(float* p) const {
    std::free(p);
}

// Storage for a whole file, not cleared. A large file gets huge pages where
// the system offers them on request: touching it first then costs one fault
// per 2 MB instead of one per 4 kB, which dominates reading a long file.
std::unique_ptr<float[], KCAudioFileSampleSource::FreeSamples>
KCAudioFileSampleSource::AllocateSamples(size_t count) {
    if (count == 0)
        return nullptr;
    if (count > SIZE_MAX / sizeof(float) - kHugePage)
        return nullptr;
    const size_t bytes = count * sizeof(float);
    if (bytes < kHugePage)
        return std::unique_ptr<float[], FreeSamples>(static_cast<float*>(std::malloc(bytes)));
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (p)
        ::madvise(p, rounded, MADV_HUGEPAGE); // a hint: refused, small pages serve
    return std::unique_ptr<float[], FreeSamples>(static_cast<float*>(p));
}

KCAudioFileSampleSource::KCAudioFileSampleSource(const kvFM::KCStPath& path) {
    valid = LoadFile(path) == eNoErr;
}

KCAudioFileSampleSource::~KCAudioFileSampleSource() = default;

KTErr KCAudioFileSampleSource::LoadFile(const kvFM::KCStPath& path) {
    valid = false;
    samples.reset();
    sampleCount = 0;
    reader.reset();
    try {
        reader = std::make_unique<cWavFileRead>(path);
        KTErr status = eNoErr;
        if (!reader->IsValid(status))
            return status;
        const int64_t frames = reader->GetNumSamples();
        // Positions in the stream state are 32-bit.
        if (frames > INT32_MAX)
            return eGenericErr;
        // The reader writes every sample (silence for what it cannot read),
        // so the storage is not cleared first.
        const size_t count = size_t(frames) * size_t(reader->GetNumChans());
        samples = AllocateSamples(count);
        if (!samples && count > 0)
            return eGenericErr;
        sampleCount = count;
        status = reader->GetSampleDataAsFloat(samples.get(), frames);
        // A file that could not be read whole is not played in part: with no
        // samples, GetSamples fails instead of passing silence off as the file.
        if (status != eNoErr) {
            samples.reset();
            sampleCount = 0;
        }
        return status;
    } catch (KTErr thrown) {
        return thrown;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCAudioFileSampleSource::GetSamples(KCSoundBufList& list, KCStreamState& state) {
    const uint32_t channels = list.channels;
    const uint32_t frames = list.frames;
    if (frames == 0)
        return eNoErr;
    if (channels > kMaxSoundBufChannels)
        return eGenericErr;
    if (!reader || !reader->IsValid() || (sampleCount == 0 && reader->GetNumSamples() > 0)) {
        list.Clear(); // nothing loaded: silence
        return eGenericErr;
    }
    // Every destination must name an entry of the list.
    int32_t destination[kMaxSoundBufChannels];
    bool named[kMaxSoundBufChannels] = {};
    for (uint32_t ch = 0; ch < channels; ++ch) {
        destination[ch] = state.channelMap ? state.channelMap->Lookup(int32_t(ch)) : int32_t(ch);
        if (destination[ch] < 0 || uint32_t(destination[ch]) >= channels) {
            list.Clear();
            return eGenericErr;
        }
        named[destination[ch]] = true;
    }
    // An entry the map names for no channel is silent.
    for (uint32_t ch = 0; ch < channels; ++ch)
        if (!named[ch])
            SilenceSoundBufs(&list.bufs[ch], 1, frames);

    const int64_t fileChannels = reader->GetNumChans();
    const int64_t length = reader->GetNumSamples();
    const int64_t total = fileChannels * length;
    const bool loop = state.IsLoop();
    if (loop && length == 0) {
        list.Clear();
        state.flags |= KCStreamState::kPositionValid;
        return eGenericErr;
    }
    if (loop && (state.position < 0 || state.position >= length))
        state.position = int32_t(((int64_t(state.position) % length) + length) % length);

    const float* data = samples.get();
    for (uint32_t f = 0; f < frames; ++f) {
        const int64_t pos = state.position;
        const bool atEnd = !loop && (pos < 0 || pos >= length);
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const int32_t d = destination[ch];
            float value = 0.0f;
            if (!state.IsSilent() && !atEnd) {
                int64_t index = pos + int64_t(ch) * length;
                if (fileChannels < channels && d >= fileChannels)
                    index = (fileChannels - 1) * length + pos; // the file's last channel
                if (index < total)
                    value = data[index];
            }
            float* out = list.bufs[d].data;
            if (out)
                out[int64_t(f) * list.bufs[d].stride] = value;
        }
        if (!loop) {
            if (state.position < length)
                ++state.position;
        } else {
            state.position = int32_t((int64_t(state.position) + 1) % length);
            state.flags |= KCStreamState::kPositionValid;
        }
    }
    if (channels > 0 && list.bufs[destination[channels - 1]].data)
        state.SetSamplesDelivered();
    return eNoErr;
}
