#include "audio/KCSampleGraph.h"

KTErr KCSoundBufList::Build(uint32_t frameCount, float* base, uint32_t channelCount,
                            int32_t stride) {
    for (auto& b : bufs)
        b = QuorlSoundBuf{};
    if (channelCount > kMaxSoundBufChannels) {
        frames = 0;
        channels = 0;
        return eGenericErr;
    }
    for (uint32_t i = 0; i < channelCount; ++i) {
        bufs[i].data = base ? base + i : nullptr;
        bufs[i].stride = stride;
        bufs[i].one = 1;
    }
    frames = frameCount;
    channels = channelCount;
    return eNoErr;
}

void KCSoundBufList::Clear() {
    const uint32_t n = channels < kMaxSoundBufChannels ? channels : kMaxSoundBufChannels;
    for (uint32_t c = 0; c < n; ++c) {
        float* d = bufs[c].data;
        if (!d)
            continue;
        const int64_t stride = bufs[c].stride;
        for (uint32_t f = 0; f < frames; ++f)
            d[f * stride] = 0.0f;
    }
}
