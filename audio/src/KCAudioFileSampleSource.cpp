#include "audio/KCAudioFileSampleSource.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

KCAudioFileSampleSource::KCAudioFileSampleSource(const kvFM::KCStPath& path) {
    valid = LoadFile(path) == eNoErr;
}

KCAudioFileSampleSource::~KCAudioFileSampleSource() = default;

KTErr KCAudioFileSampleSource::LoadFile(const kvFM::KCStPath& path) {
    valid = false;
    loaded = false;
    reader.reset();
    window.clear();
    windowStart = 0;
    windowFrames = 0;
    firstNonFinite = -1;
    try {
        reader = std::make_unique<cWavFileRead>(path);
        KTErr status = eNoErr;
        if (!reader->IsValid(status))
            return status;
        const int64_t frames = reader->GetNumSamples();
        // Positions in the stream state are 32-bit.
        if (frames > INT32_MAX)
            return eGenericErr;
        window.resize(size_t(std::min(frames, kWindowFrames) * reader->GetNumChans()));
        // A file whose samples cannot be read is not played at all.
        if (frames > 0 && (status = Fill(0)) != eNoErr)
            return status;
        loaded = true;
        return eNoErr;
    } catch (KTErr thrown) {
        return thrown;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCAudioFileSampleSource::Fill(int64_t position) {
    const int64_t stride = std::min(reader->GetNumSamples(), kWindowFrames);
    const int64_t frames = std::min(stride, reader->GetNumSamples() - position);
    windowFrames = 0;
    const KTErr status = reader->ReadFramesAsFloat(position, frames, window.data(), stride);
    if (status != eNoErr)
        return status;
    windowStart = position;
    windowFrames = frames;
    if (reader->IsFloatData() && (firstNonFinite < 0 || firstNonFinite > position))
        for (int64_t f = 0; f < frames; ++f)
            for (int32_t c = 0; c < reader->GetNumChans(); ++c)
                if (!std::isfinite(window[size_t(c * stride + f)])) {
                    firstNonFinite =
                        firstNonFinite < 0 ? position + f : std::min(firstNonFinite, position + f);
                    return eNoErr;
                }
    return eNoErr;
}

KTErr KCAudioFileSampleSource::ReadFrames(int64_t first, int64_t count, float* dst,
                                          int64_t stride) {
    if (!reader)
        return eUninitalized;
    return reader->ReadFramesAsFloat(first, count, dst, stride);
}

KTErr KCAudioFileSampleSource::ReadRawFrames(int64_t first, int64_t count,
                                             std::vector<unsigned char>& raw, int64_t& got) {
    got = 0;
    if (!reader)
        return eUninitalized;
    return reader->ReadRawFrames(first, count, raw, got);
}

void KCAudioFileSampleSource::ConvertRawFrames(const unsigned char* raw, int64_t frames, float* dst,
                                               int64_t stride) const {
    if (reader)
        reader->ConvertRawFrames(raw, frames, dst, stride);
}

KTErr KCAudioFileSampleSource::GetSamples(KCSoundBufList& list, KCStreamState& state) {
    const uint32_t channels = list.channels;
    const uint32_t frames = list.frames;
    if (frames == 0)
        return eNoErr;
    if (channels > kMaxSoundBufChannels)
        return eGenericErr;
    if (!reader || !reader->IsValid() || !loaded) {
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
    const bool loop = state.IsLoop();
    if (loop && length == 0) {
        list.Clear();
        state.flags |= KCStreamState::kPositionValid;
        return eGenericErr;
    }
    if (loop && (state.position < 0 || state.position >= length))
        state.position = int32_t(((int64_t(state.position) % length) + length) % length);

    // The block is filled in runs of frames that come from one window of the
    // file (or are silence), up to the file's end or the loop's wrap.
    const int64_t windowStride = std::min(length, kWindowFrames);
    for (int64_t f = 0; f < frames;) {
        const int64_t pos = state.position;
        const bool before = !loop && pos < 0;
        const bool atEnd = !loop && pos >= length;
        const bool silent = before || atEnd || state.IsSilent();
        int64_t run = frames - f;
        if (before)
            run = std::min(run, -pos);
        else if (!atEnd)
            run = std::min(run, length - pos);
        if (!silent) {
            if (pos < windowStart || pos >= windowStart + windowFrames) {
                if (KTErr status = Fill(pos)) {
                    list.Clear();
                    return status;
                }
            }
            run = std::min(run, windowStart + windowFrames - pos);
        }
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const int32_t d = destination[ch];
            float* out = list.bufs[d].data;
            if (!out)
                continue;
            const int64_t stride = list.bufs[d].stride;
            out += f * stride;
            // An entry beyond the file's channels repeats its last channel.
            const int64_t source =
                fileChannels < channels && d >= fileChannels ? fileChannels - 1 : int64_t(ch);
            if (silent || source >= fileChannels) {
                for (int64_t j = 0; j < run; ++j)
                    out[j * stride] = 0.0f;
                continue;
            }
            const float* in = window.data() + source * windowStride + (pos - windowStart);
            if (stride == 1)
                std::copy_n(in, run, out);
            else
                for (int64_t j = 0; j < run; ++j)
                    out[j * stride] = in[j];
        }
        if (!loop) {
            if (!atEnd)
                state.position = int32_t(pos + run);
        } else {
            state.position = int32_t((pos + run) % length);
            state.flags |= KCStreamState::kPositionValid;
        }
        f += run;
    }
    if (channels > 0 && list.bufs[destination[channels - 1]].data)
        state.SetSamplesDelivered();
    return eNoErr;
}
