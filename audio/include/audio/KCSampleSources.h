// Generated signals at the head of a chain.
#pragma once

#include <cstdint>

#include "audio/KCSampleGraph.h"

// Amplitude-modulated white noise, |value| <= 0.5.
class KCWhiteNoiseSampleSource : public KCInputSampleSource {
public:
    KCWhiteNoiseSampleSource() = default;
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    float GetPhase() const { return phase; }

    // The generator's 15-bit pseudo-random numbers, 0 to 32767.
    static constexpr int32_t kRandomMax = 32767;

private:
    int32_t NextRandom();

    float phase = 0.0f; // degrees
    uint32_t randomState = 1;
};

// A sine with a whole number of cycles per block, 4 to 12, one more on each
// fill.
class KCFlayingSaucerSampleSource : public KCInputSampleSource {
public:
    KCFlayingSaucerSampleSource() = default;
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    uint32_t GetCycles() const { return cycles; }

private:
    double phase = 0.0; // radians
    uint32_t cycles = 4;
    uint32_t cyclesReset = 4;
    uint32_t cyclesMax = 12;
};
