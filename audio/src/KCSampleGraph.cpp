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

void SilenceSoundBufs(QuorlSoundBuf* bufs, uint32_t count, uint32_t frames) {
    for (uint32_t c = 0; c < count; ++c) {
        float* d = bufs[c].data;
        if (!d)
            continue;
        const int64_t stride = bufs[c].stride;
        for (uint32_t f = 0; f < frames; ++f)
            d[f * stride] = 0.0f;
    }
}

void KCSoundBufList::Clear() {
    SilenceSoundBufs(bufs, channels < kMaxSoundBufChannels ? channels : kMaxSoundBufChannels,
                     frames);
}
