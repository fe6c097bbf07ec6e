#include "audio/KCAudioFileSampleSource.h"

#include "FileReadAhead.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

KCAudioFileSampleSource::KCAudioFileSampleSource(const kvFM::KCStPath& path) {
    valid = LoadFile(path) == eNoErr;
}

KCAudioFileSampleSource::~KCAudioFileSampleSource() {
    StopReadAhead();
}

KTErr KCAudioFileSampleSource::LoadFile(const kvFM::KCStPath& path) {
    const bool wasReadingAhead = IsReadingAhead();
    StopReadAhead();
    valid = false;
    loaded = false;
    reader.reset();
    window.clear();
    windowStart = 0;
    windowFrames = 0;
    firstNonFinite = -1;
    lastPosition = 0;
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
        if (wasReadingAhead)
            StartReadAhead();
        return eNoErr;
    } catch (KTErr thrown) {
        return thrown;
    } catch (...) {
        return eGenericErr;
    }
}

void KCAudioFileSampleSource::SetReadAhead(bool on) {
    if (on == IsReadingAhead())
        return;
    if (on)
        StartReadAhead();
    else
        StopReadAhead();
}

void KCAudioFileSampleSource::StartReadAhead() {
    if (!loaded || !reader || reader->GetNumSamples() == 0)
        return;
    // The reading starts where the last pull ended.
    const int64_t length = reader->GetNumSamples();
    const int64_t position = std::clamp<int64_t>(lastPosition.load(), 0, length - 1);
    ahead = std::make_unique<KCFileReadAhead>(
        length, reader->GetNumChans(),
        [this](int64_t first, int64_t count, float* dst, int64_t stride) {
            return ReadLocked(first, count, dst, stride);
        },
        position);
    readingAhead.store(true, std::memory_order_release);
}

// No pull may run meanwhile: the chain stops its sink around every change.
void KCAudioFileSampleSource::StopReadAhead() {
    readingAhead.store(false);
    ahead.reset();
}

KTErr KCAudioFileSampleSource::Fill(int64_t position) {
    const int64_t stride = std::min(reader->GetNumSamples(), kWindowFrames);
    const int64_t frames = std::min(stride, reader->GetNumSamples() - position);
    windowFrames = 0;
    const KTErr status = ReadLocked(position, frames, window.data(), stride);
    if (status != eNoErr)
        return status;
    windowStart = position;
    windowFrames = frames;
    return eNoErr;
}

KTErr KCAudioFileSampleSource::ReadLocked(int64_t first, int64_t count, float* dst,
                                          int64_t stride) {
    KTErr status = eNoErr;
    {
        const std::lock_guard lock(readerLock);
        status = reader->ReadFramesAsFloat(first, count, dst, stride);
    }
    if (status == eNoErr && reader->IsFloatData())
        NoteNonFinite(dst, stride, first, count);
    return status;
}

void KCAudioFileSampleSource::NoteNonFinite(const float* data, int64_t stride, int64_t start,
                                            int64_t frames) {
    const int64_t known = firstNonFinite.load();
    if (known >= 0 && known <= start)
        return;
    for (int64_t f = 0; f < frames; ++f)
        for (int32_t c = 0; c < reader->GetNumChans(); ++c)
            if (!std::isfinite(data[size_t(c * stride + f)])) {
                int64_t current = firstNonFinite.load();
                while ((current < 0 || current > start + f) &&
                       !firstNonFinite.compare_exchange_weak(current, start + f)) {
                }
                return;
            }
}

KTErr KCAudioFileSampleSource::FramesAt(int64_t position, bool loop, Frames& frames) {
    frames = Frames{};
    if (readingAhead.load(std::memory_order_acquire)) {
        KCFileReadAhead::Chunk chunk;
        const KTErr status = ahead->Find(position, loop, chunk);
        frames = Frames{chunk.data, chunk.stride, chunk.start, chunk.frames};
        return status;
    }
    if (position < windowStart || position >= windowStart + windowFrames)
        if (KTErr status = Fill(position))
            return status;
    const int64_t stride = std::min(reader->GetNumSamples(), kWindowFrames);
    frames = Frames{window.data() + (position - windowStart), stride, position,
                    windowStart + windowFrames - position};
    return eNoErr;
}

KTErr KCAudioFileSampleSource::ReadFrames(int64_t first, int64_t count, float* dst,
                                          int64_t stride) {
    if (!reader)
        return eUninitalized;
    const std::lock_guard lock(readerLock);
    return reader->ReadFramesAsFloat(first, count, dst, stride);
}

KTErr KCAudioFileSampleSource::ReadRawFrames(int64_t first, int64_t count,
                                             std::vector<unsigned char>& raw, int64_t& got) {
    got = 0;
    if (!reader)
        return eUninitalized;
    const std::lock_guard lock(readerLock);
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

    // The block is filled in runs of frames that come from one piece of the
    // file in memory (or are silence), up to the file's end or the loop's
    // wrap.
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
        Frames held;
        if (!silent) {
            if (KTErr status = FramesAt(pos, loop, held)) {
                list.Clear();
                return status;
            }
            if (!held.data) {
                // Not read ahead yet: silence, and the frames play later.
                for (uint32_t ch = 0; ch < channels; ++ch)
                    if (float* out = list.bufs[destination[ch]].data)
                        for (int64_t j = f; j < frames; ++j)
                            out[j * list.bufs[destination[ch]].stride] = 0.0f;
                underruns.fetch_add(1, std::memory_order_relaxed);
                break;
            }
            run = std::min(run, held.frames);
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
            const float* in = held.data + source * held.stride;
            if (stride == 1)
                std::copy_n(in, run, out);
            else
                for (int64_t j = 0; j < run; ++j)
                    out[j * stride] = in[j];
        }
        if (!silent && readingAhead.load(std::memory_order_relaxed))
            ahead->Played(pos + run);
        if (!loop) {
            if (!atEnd)
                state.position = int32_t(pos + run);
        } else {
            state.position = int32_t((pos + run) % length);
            state.flags |= KCStreamState::kPositionValid;
        }
        f += run;
    }
    lastPosition.store(state.position, std::memory_order_relaxed);
    if (channels > 0 && list.bufs[destination[channels - 1]].data)
        state.SetSamplesDelivered();
    return eNoErr;
}
