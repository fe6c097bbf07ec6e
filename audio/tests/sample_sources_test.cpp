#include "audio/KCSampleSources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct Block {
    Block(uint32_t frames, uint32_t channels, float fill = 9.0f)
        : samples(size_t(frames) * channels, fill) {
        list.Build(frames, samples.data(), channels, int32_t(channels));
    }
    float At(uint32_t frame, uint32_t channel) const {
        return samples[size_t(frame) * list.channels + channel];
    }
    std::vector<float> samples;
    KCSoundBufList list;
};

} // namespace

TEST(WhiteNoise, StaysWithinHalfScaleAndIsNotConstant) {
    KCWhiteNoiseSampleSource noise;
    Block block(4096, 2);
    KCStreamState state;
    float lo = 0, hi = 0;
    for (int pull = 0; pull < 10; ++pull) {
        ASSERT_EQ(noise.GetSamples(block.list, state), eNoErr);
        for (float v : block.samples) {
            EXPECT_LE(std::fabs(v), 0.5f);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    EXPECT_LT(lo, -0.1f);
    EXPECT_GT(hi, 0.1f);
}

TEST(WhiteNoise, SilenceWritesZerosAndThePhaseKeepsRunningAndWraps) {
    KCWhiteNoiseSampleSource noise;
    KCStreamState state;
    state.flags |= KCStreamState::kSilence;
    Block block(1000, 2);
    ASSERT_EQ(noise.GetSamples(block.list, state), eNoErr);
    for (float v : block.samples)
        EXPECT_EQ(v, 0.0f);
    EXPECT_NEAR(noise.GetPhase(), 20.0f, 0.01f); // 2000 samples of 0.01 degrees

    // The phase wraps to 0 after about 36,000 samples.
    Block mono(1, 1);
    int steps = 2000;
    float previous = noise.GetPhase();
    while (noise.GetPhase() >= previous && steps < 40000) {
        previous = noise.GetPhase();
        noise.GetSamples(mono.list, state);
        ++steps;
    }
    EXPECT_NEAR(steps, 36000, 20);
    EXPECT_EQ(noise.GetPhase(), 0.0f);
}

TEST(SteppedSine, EachFillHoldsOneCycleMoreAndWrapsFrom12To4) {
    KCFlayingSaucerSampleSource sine;
    KCStreamState state;
    constexpr uint32_t kFrames = 480;
    auto expectCycles = [&](const Block& b, uint32_t channel, int cycles) {
        for (uint32_t f = 0; f < kFrames; ++f)
            ASSERT_NEAR(b.At(f, channel), std::sin(2 * std::numbers::pi * cycles * f / kFrames),
                        1e-4)
                << "cycles " << cycles << " frame " << f;
    };
    Block stereo(kFrames, 2);
    ASSERT_EQ(sine.GetSamples(stereo.list, state), eNoErr);
    expectCycles(stereo, 0, 4);
    expectCycles(stereo, 1, 5);

    Block mono(kFrames, 1);
    const int expected[] = {6, 7, 8, 9, 10, 11, 12, 4, 5};
    for (int cycles : expected) {
        ASSERT_EQ(sine.GetSamples(mono.list, state), eNoErr);
        expectCycles(mono, 0, cycles);
    }

    state.flags |= KCStreamState::kSilence;
    ASSERT_EQ(sine.GetSamples(mono.list, state), eNoErr);
    for (float v : mono.samples)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(sine.GetCycles(), 7u); // the counter advances in silence too
}
