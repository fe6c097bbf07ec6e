#include "audio/KCSampleSinks.h"

#include <algorithm>
#include <new>

namespace {

// Frames per channel that a file render hands the writer at a time.
constexpr int64_t kStagingFrames = 16384;

// Builds an interleaved list over newly sized storage; more than 16
// channels are refused.
KTErr BuildBlock(uint32_t frames, int32_t channels, std::vector<float>& storage,
                 KCSoundBufList& list) {
    if (channels < 0 || uint32_t(channels) > kMaxSoundBufChannels) {
        list.Build(0, nullptr, 0, 0);
        return eGenericErr;
    }
    storage.assign(size_t(frames) * size_t(channels), 0.0f);
    return list.Build(frames, storage.data(), uint32_t(channels), channels);
}

// The largest sample a render keeps for the input file's bit depth: the
// largest value of 16- and 24-bit integers; full scale for 32-bit data,
// whose integers reach it within a float's precision.
float LargestSample(int32_t bits) {
    if (bits >= 32)
        return 1.0f;
    return bits >= 24 ? 8388607.0f / 8388608.0f : 32767.0f / 32768.0f;
}

} // namespace

// ---------------------------------------------------------------------------
// KCTestSampleSink

KCTestSampleSink::KCTestSampleSink(uint32_t frames, const KCSampleFormat& fmt)
    : framesPerBuffer(frames), format(fmt) {
    setupStatus = BuildBlock(framesPerBuffer, format.channels, buffer, blockList);
}

KTErr KCTestSampleSink::PullBuffer() {
    if (!input)
        return eNoErr;
    if (setupStatus != eNoErr)
        return setupStatus;
    try {
        return input->GetSamples(blockList, state);
    } catch (...) {
        return eGenericErr;
    }
}

// ---------------------------------------------------------------------------
// KCWavFileSampleSink

KCWavFileSampleSink::KCWavFileSampleSink(uint32_t frames, KCAudioFileSampleSource* source,
                                         const KCSampleFormat& fmt, uint32_t preRoll,
                                         const kvFM::KCStPath* path)
    : KCSampleSink(source), framesPerBuffer(frames), format(fmt), fileSource(source),
      preRollFrames(preRoll) {
    if (path)
        outputPath = *path;
    setupStatus = BuildBlock(framesPerBuffer, format.channels, buffer, blockList);
}

KCWavFileSampleSink::~KCWavFileSampleSink() = default;

float* KCWavFileSampleSink::PullBlock() {
    if (!input || setupStatus != eNoErr)
        return nullptr;
    return input->GetSamples(blockList, state) == eNoErr ? blockList.bufs[0].data : nullptr;
}

KTErr KCWavFileSampleSink::Start() {
    running = true;
    if (!fileSource)
        return eNoErr;
    writer.reset();
    // Without a readable input file there is nothing to render, and no empty
    // file may replace the output.
    const cWavFileRead* reader = fileSource->GetReader();
    if (!reader || !reader->IsValid())
        return reader ? reader->GetError() : eUninitalized;
    writer = std::make_unique<cWavFileWrite>(outputPath);
    KTErr status = eNoErr;
    if (!writer->IsValid(status)) {
        writer.reset();
        return status; // nothing can be written
    }
    return Render();
}

KTErr KCWavFileSampleSink::Stop() {
    KTErr status = writer ? writer->Close() : eNoErr;
    writer.reset();
    running = false;
    return status;
}

KTErr KCWavFileSampleSink::Render() {
    // A render that fails before anything is rendered leaves the output file
    // as it was.
    auto failEarly = [&](KTErr status) {
        if (writer)
            writer->Discard();
        return status;
    };
    if (setupStatus != eNoErr)
        return failEarly(setupStatus);
    const cWavFileRead* reader = fileSource ? fileSource->GetReader() : nullptr;
    const int64_t length = reader ? reader->GetNumSamples() : 0;
    const int64_t channels = format.channels;
    const int64_t blockFrames = framesPerBuffer;
    if (blockFrames == 0 && length > 0)
        return failEarly(eGenericErr);
    const int64_t blocks = length > 0 ? (length + blockFrames - 1) / blockFrames : 0;

    // The rendered frames go to the file through a staging area of whole
    // blocks, so memory stays small whatever the file's length.
    const int64_t stagingFrames =
        blocks > 0
            ? std::min(length, blockFrames * std::max<int64_t>(1, kStagingFrames / blockFrames))
            : 0;
    std::vector<float> staging;
    try {
        staging.resize(size_t(stagingFrames) * size_t(channels));
    } catch (const std::bad_alloc&) {
        return failEarly(eMemNewFailed);
    }

    // The file is rendered once from its start, ending in silence.
    const uint32_t loopBit = state.flags & KCStreamState::kLoop;
    state.flags &= ~KCStreamState::kLoop;
    state.position = 0;
    auto restoreLoop = [&] { state.flags = (state.flags & ~KCStreamState::kLoop) | loopBit; };

    KTErr status = eNoErr;
    if (preRollFrames > 0 && input) {
        std::vector<float> preRoll;
        KCSoundBufList preRollList;
        BuildBlock(preRollFrames, format.channels, preRoll, preRollList);
        try {
            status = input->GetSamples(preRollList, state);
        } catch (...) {
            status = eGenericErr;
        }
        if (status != eNoErr) {
            restoreLoop();
            return failEarly(status);
        }
    }

    if (!writer || !reader) {
        restoreLoop();
        return status;
    }
    writer->SetFileFormat(0);
    writer->SetSampleRate(reader->GetSampleRate());
    writer->SetBitDepth(reader->GetBitDepth());
    writer->SetNumSamples(length);
    writer->SetNumChans(format.channels);
    KTErr written = writer->BeginSampleData();

    // Frames staged so far, and the staging area's flush to the file.
    int64_t staged = 0;
    auto flush = [&] {
        if (written == eNoErr && staged > 0)
            written = writer->WriteSampleFrames(staging.data(), staged, stagingFrames);
        staged = 0;
    };

    const float maxSample = LargestSample(reader->GetBitDepth());
    int64_t rendered = 0;
    for (int64_t i = 0; i < blocks && input && written == eNoErr; ++i) {
        try {
            status = input->GetSamples(blockList, state);
        } catch (...) {
            status = eGenericErr;
        }
        if (status != eNoErr || !blockList.bufs[0].data)
            break;
        const int64_t frames = i == blocks - 1 ? length - blockFrames * (blocks - 1) : blockFrames;
        for (int64_t k = 0; k < channels; ++k) {
            const float* src = blockList.bufs[k].data;
            const int64_t stride = blockList.bufs[k].stride;
            float* dst = staging.data() + k * stagingFrames + staged;
            for (int64_t j = 0; j < frames; ++j)
                dst[j] = std::clamp(src[j * stride], -1.0f, maxSample);
        }
        staged += frames;
        rendered += frames;
        if (staged == stagingFrames)
            flush();
    }
    restoreLoop();

    // Unrendered frames stay silent, never uninitialised.
    while (written == eNoErr && rendered < length) {
        const int64_t frames = std::min(stagingFrames - staged, length - rendered);
        for (int64_t k = 0; k < channels; ++k)
            std::fill_n(staging.data() + k * stagingFrames + staged, frames, 0.0f);
        staged += frames;
        rendered += frames;
        if (staged == stagingFrames)
            flush();
    }
    flush();
    if (status == eNoErr)
        status = written;
    return status;
}
