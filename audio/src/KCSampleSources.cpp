#include "audio/KCSampleSources.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int32_t KCWhiteNoiseSampleSource::NextRandom() {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFFu);
}

KTErr KCWhiteNoiseSampleSource::GetSamples(KCSoundBufList& list, KCStreamState& state) {
    const uint32_t channels = std::min(list.channels, kMaxSoundBufChannels);
    const int64_t frames = list.frames;
    const int64_t blockSamples = frames * channels;
    const bool silent = state.IsSilent();
    constexpr float kDegToRad = static_cast<float>(2.0 * std::numbers::pi / 360.0);
    for (uint32_t c = 0; c < channels; ++c) {
        float* data = list.bufs[c].data;
        if (!data)
            continue;
        const int64_t stride = list.bufs[c].stride;
        for (int64_t f = 0; f < frames; ++f) {
            float value = 0.0f;
            if (!silent)
                value = std::sin(phase * kDegToRad) * (NextRandom() / 65534.0f);
            if (f * stride < blockSamples - c)
                data[f * stride] = value;
            phase += 0.01f;
            if (phase >= 360.0f)
                phase = 0.0f;
        }
    }
    return eNoErr;
}

KTErr KCFlayingSaucerSampleSource::GetSamples(KCSoundBufList& list, KCStreamState& state) {
    const uint32_t channels = std::min(list.channels, kMaxSoundBufChannels);
    const uint32_t frames = list.frames;
    if (frames == 0)
        return eNoErr;
    const bool silent = state.IsSilent();
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    for (uint32_t c = 0; c < channels; ++c) {
        const double step = cycles * kTwoPi / frames;
        if (++cycles > cyclesMax)
            cycles = cyclesReset;
        float* data = list.bufs[c].data;
        const int64_t stride = list.bufs[c].stride;
        for (uint32_t f = 0; f < frames; ++f) {
            if (data)
                data[f * stride] = silent ? 0.0f : static_cast<float>(std::sin(phase));
            phase += step;
        }
        phase = std::fmod(phase, kTwoPi);
    }
    return eNoErr;
}
