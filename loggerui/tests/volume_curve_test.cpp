#include "loggerui/VolumeCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace loggerui;

namespace {

TEST(VolumeCurve, EncodingsAndTheLevelsTheyGive) {
    EXPECT_EQ(EncodingOf(0), VolumeEncoding::GainIndex);
    EXPECT_EQ(EncodingOf(4), VolumeEncoding::InputMixer);
    EXPECT_EQ(EncodingOf(9), VolumeEncoding::Linear);
    EXPECT_EQ(EncodingOf(21), VolumeEncoding::Linear);
    const struct {
        VolumeEncoding encoding;
        double level;
        int32_t raw;
        double actual;
    } cases[] = {
        {VolumeEncoding::GainIndex, -80, 0, -80},
        {VolumeEncoding::GainIndex, 0, 400, 0},
        {VolumeEncoding::GainIndex, 19.9, 500, 20},
        {VolumeEncoding::GainIndex, 20, 499, 19.8},
        {VolumeEncoding::GainIndex, 35, 499, 19.8},
        {VolumeEncoding::Linear, 0, 0x7FFFFF, 0},
        {VolumeEncoding::Linear, -0.8, 7650500, -0.8},
        {VolumeEncoding::InputMixer, 18, 0x7FFFFF, 18},
    };
    for (const auto& c : cases) {
        const EncodedLevel e = EncodeLevel(c.encoding, c.level);
        EXPECT_EQ(e.raw, c.raw) << c.level;
        EXPECT_NEAR(e.actual, c.actual, 0.005) << c.level;
    }
    const EncodedLevel silent = EncodeLevel(VolumeEncoding::Linear, -81);
    EXPECT_EQ(silent.raw, 0);
    EXPECT_TRUE(std::isinf(silent.actual));
    const std::vector<double> curve = DefaultCurve();
    ASSERT_EQ(curve.size(), 100u);
    EXPECT_DOUBLE_EQ(curve[0], 0.0);
    EXPECT_NEAR(curve[99], -79.2, 1e-9);
}

TEST(VolumeCurve, FilesAreCheckedBeforeTheyReplaceTheCurve) {
    CurveLoad ok = ParseCurve("0 -1\n-1\t-3\n");
    EXPECT_TRUE(ok.accepted);
    EXPECT_EQ(ok.levels, (std::vector<double>{0, -1, -1, -3}));
    ASSERT_EQ(ok.messages.size(), 1u);
    EXPECT_EQ(ok.messages[0].text, "Found 4 steps");
    EXPECT_FALSE(ok.messages[0].error);

    const struct {
        const char* text;
        const char* message;
    } refused[] = {
        {"0 -1 2", "Volume is not monotonic down. Step 3, found 2.000000 dB."},
        {"-10 -5 -7", "Volume is not monotonic up. Step 3, found -7.000000 dB."},
        {"0 -90", "Volume is out of range. Step 2, found -90.000000 dB."},
        {"0 abc", "Volume is out of range. Step 2, found -100.000000 dB."},
        {"21", "Volume is out of range. Step 1, found 21.000000 dB."},
    };
    for (const auto& r : refused) {
        const CurveLoad load = ParseCurve(r.text);
        EXPECT_FALSE(load.accepted) << r.text;
        EXPECT_TRUE(load.levels.empty());
        ASSERT_EQ(load.messages.size(), 1u);
        EXPECT_EQ(load.messages[0].text, r.message);
        EXPECT_TRUE(load.messages[0].error);
    }

    // No number: "Found 0 steps", and the curve stays.
    const CurveLoad none = ParseCurve(" \n ");
    EXPECT_FALSE(none.accepted);
    EXPECT_EQ(none.messages.back().text, "Found 0 steps");

    std::string many;
    for (int i = 0; i < 1200; ++i)
        many += "-1.5 ";
    const CurveLoad capped = ParseCurve(many);
    EXPECT_TRUE(capped.accepted);
    EXPECT_EQ(capped.levels.size(), 1000u);
    ASSERT_EQ(capped.messages.size(), 2u);
    EXPECT_EQ(capped.messages[0].text, "Curve reached max limit steps 1000");
    EXPECT_EQ(capped.messages[1].text, "Found 1000 steps");
    EXPECT_EQ(ParseCurve("+3 1e1").levels, (std::vector<double>{3, 10}));
}

} // namespace
