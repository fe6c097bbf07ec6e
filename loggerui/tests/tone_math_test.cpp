#include "loggerui/ToneMath.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace loggerui;

namespace {

TEST(ToneMath, RepresentableFrequenciesAndTableLengths) {
    const struct {
        double asked;
        double got;
        std::size_t length;
    } cases[] = {
        {1000.0, 1000.0, 48},   // 8 periods in 384 samples, 48 a period
        {997.0, 997.03, 337},   // 7 periods in 337 samples, no shorter fit
        {125.0, 125.0, 384},    // one period in 384
        {125.89, 125.98, 381},  // one period in 381
        {20000.0, 20000.0, 12}, // 160 periods, 5 in 12 samples
    };
    for (const auto& c : cases) {
        const double f = RepresentableFrequency(c.asked, 48000);
        EXPECT_NEAR(f, c.got, 0.005) << c.asked;
        EXPECT_EQ(BuildToneTable(48000, f, 0).size(), c.length) << c.asked;
    }
    EXPECT_NEAR(FrequencyOfSlider(0, 48000), 125.98, 0.005);
    EXPECT_EQ(BuildToneTable(48000, 10, 0), std::vector<uint32_t>{0}); // no whole period
}

TEST(ToneMath, TablesHoldTheLevelAsTwentyFourBitValues) {
    const std::vector<uint32_t> full = BuildToneTable(48000, 1000, 0);
    EXPECT_EQ(full[0], 0u);
    EXPECT_EQ(full[12], 8388607u);                // a quarter period: the top
    EXPECT_EQ(full[36], (0x1000000u - 8388607u)); // three quarters: the bottom
    const std::vector<uint32_t> loud = BuildToneTable(48000, 1000, 3);
    EXPECT_EQ(loud[12], 8388607u); // limited
    const std::vector<uint32_t> mute = BuildToneTable(48000, 1000, -100);
    ASSERT_EQ(mute.size(), 48u);
    for (uint32_t v : mute)
        EXPECT_EQ(v, 0u);
    EXPECT_EQ(LevelText(-100), "mute");
    EXPECT_EQ(LevelText(-3.25), "-3.2 dBFS");
}

TEST(ToneMath, SliderScalesAndPhase) {
    EXPECT_EQ(SliderOfLevel(0), 1000);
    EXPECT_EQ(SliderOfLevel(-100), 0);
    EXPECT_DOUBLE_EQ(LevelOfSlider(1030), 3.0);
    EXPECT_EQ(SliderOfFrequency(FrequencyOfSlider(50, 48000)), 50);
    EXPECT_NEAR(PhaseDegrees(12, 48000, 1000), 90.0, 1e-9);
    EXPECT_NEAR(PhaseDegrees(36, 48000, 1000), -90.0, 1e-9);
}

TEST(ToneMath, MetersReadPeaksInDbfs) {
    EXPECT_NEAR(PeakLevel(0x800000), 0.0, 1e-12);
    EXPECT_NEAR(PeakLevel(0x400000), -6.0206, 1e-4);
    EXPECT_NEAR(PeakLevel(0xC00000), -6.0206, 1e-4); // negative: its magnitude
    EXPECT_TRUE(std::isinf(PeakLevel(0)));
    const MeterView at5 = MeterDisplay(-5.0);
    EXPECT_EQ(at5.position, 950);
    EXPECT_EQ(at5.colour, kMeterGreen);
    EXPECT_EQ(at5.text, "-5.0 dBFS");
    const MeterView at4 = MeterDisplay(-4.0);
    EXPECT_EQ(at4.position, 960);
    EXPECT_EQ(at4.colour, kMeterHigh);
    const MeterView silent = MeterDisplay(PeakLevel(0));
    EXPECT_EQ(silent.position, 0);
    EXPECT_EQ(silent.text, " -inf dBFS");
}

} // namespace
