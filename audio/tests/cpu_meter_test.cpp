#include "audio/CpuMeter.h"

#include <gtest/gtest.h>

namespace {

class CpuMeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        CpuMeter::Reset();
        CpuMeter::SetAudioFormat(48000, 480); // 10 ms buffers
        CpuMeter::SetIdleInterval(0.03);
    }
    void TearDown() override { CpuMeter::Reset(); }
};

int64_t ReadProcess(int64_t average) {
    if (average >= 0)
        CpuMeter::AddProcessTime(average);
    int64_t us = 0;
    double pct = 0;
    CpuMeter::GetProcessLoad(us, pct);
    return us;
}

} // namespace

TEST_F(CpuMeterTest, SmoothingRisesFastAndFallsSlowly) {
    EXPECT_EQ(ReadProcess(1000), 950); // 0.95 * 1000 + 0.05 * 0
    EXPECT_EQ(ReadProcess(1000), 998); // rising again: 950 + 0.95 * 50
    CpuMeter::Reset();
    EXPECT_EQ(ReadProcess(1000), 950);
    EXPECT_EQ(ReadProcess(1000), 998);
    EXPECT_EQ(ReadProcess(1000), 1000);
    EXPECT_EQ(ReadProcess(0), 750);  // 0.25 * 0 + 0.75 * 1000
    EXPECT_EQ(ReadProcess(-1), 563); // no calls: average 0
}

TEST_F(CpuMeterTest, AveragesAndPercentages) {
    CpuMeter::AddProcessTime(1000);
    CpuMeter::AddProcessTime(2001);
    int64_t us = 0;
    double pct = -1;
    CpuMeter::GetProcessLoad(us, pct);
    EXPECT_EQ(us, 1425); // average 1500 (truncated), rising: 0.95 * 1500
    EXPECT_NEAR(pct, 14.25, 1e-9);

    CpuMeter::AddIdleTime(3000);
    CpuMeter::AddIdleTime(3001);
    EXPECT_NEAR(CpuMeter::GetIdleLoad(us), 10.0, 1e-9);
    EXPECT_EQ(us, 3000);
    EXPECT_EQ(CpuMeter::GetIdleLoad(us), 0.0); // sums were reset
    EXPECT_EQ(us, 0);
}

TEST_F(CpuMeterTest, FormatWithoutProcessingAndWithoutFormat) {
    EXPECT_EQ(CpuMeter::FormatStatistics(), "\tProcess micSec: 0 CPU usage: 0\n");
    CpuMeter::SetAudioFormat(0, 0);
    CpuMeter::AddProcessTime(100);
    EXPECT_EQ(CpuMeter::FormatStatistics(), "\tProcess micSec: 95 CPU usage: 0\n");
    CpuMeter::SetAudioFormat(44100, 441);
    CpuMeter::AddProcessTime(5000);
    EXPECT_EQ(CpuMeter::FormatStatistics(), "\tProcess micSec: 4755 CPU usage: 47.55\n");
}
