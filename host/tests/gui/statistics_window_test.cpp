#include "host/StatisticsWindow.h"

#include "audio/CpuMeter.h"
#include "gui_support.h"

namespace {

std::string Text(KCControl& control) {
    std::string text;
    EXPECT_EQ(KMGetControlText(control, text), eNoErr);
    return text;
}

class StatisticsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        CpuMeter::Reset();
        CpuMeter::SetIdleInterval(0.03);
        CpuMeter::SetAudioFormat(44100, 512);
        ASSERT_EQ(stats.Init(), eNoErr);
    }
    void TearDown() override {
        stats.Dispose();
        CpuMeter::Reset();
    }
    KCStatisticsWindow stats;
};

TEST_F(StatisticsWindowTest, StartsHiddenWithLabelsAtItsSize) {
    auto* frame = static_cast<wxTopLevelWindow*>(stats.GetWindow().windowHandle);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetTitle().utf8_string(), "Statistics");
    EXPECT_FALSE(frame->IsShown());
    EXPECT_FALSE(stats.IsShown());
    EXPECT_EQ(frame->GetClientSize(), wxSize(400, 100));
    EXPECT_EQ(Text(stats.GetIdleLine()), "Idle time:");
    EXPECT_EQ(Text(stats.GetProcessLine()), "Process time:");
}

TEST_F(StatisticsWindowTest, RefreshShowsTheMeterAndResetsIt) {
    // Before any processing: zeros; two idle ticks of 3 ms are 10 % of 30 ms.
    CpuMeter::AddIdleTime(3000);
    CpuMeter::AddIdleTime(3001);
    stats.Refresh();
    EXPECT_EQ(Text(stats.GetIdleLine()), "Idle (micSec)= 3000, CPU usage= 10.000%");
    EXPECT_EQ(Text(stats.GetProcessLine()), "Process (micSec)= 0, CPU usage= 0.000%");

    // 1000 us of an 11.6 ms buffer, smoothed from 0 to 950.
    CpuMeter::AddProcessTime(1000);
    stats.Refresh();
    EXPECT_EQ(Text(stats.GetIdleLine()), "Idle (micSec)= 0, CPU usage= 0.000%");
    EXPECT_EQ(Text(stats.GetProcessLine()), "Process (micSec)= 950, CPU usage= 8.183%");
}

TEST_F(StatisticsWindowTest, ClosingOnlyHidesAndShowingAgainWorks) {
    auto* frame = static_cast<wxTopLevelWindow*>(stats.GetWindow().windowHandle);
    stats.ShowWindow(true);
    ASSERT_TRUE(display::PumpUntil([&] { return frame->IsShownOnScreen(); }));
    EXPECT_TRUE(stats.IsShown());
    frame->Close();
    display::Pump(50);
    EXPECT_FALSE(stats.IsShown());
    EXPECT_FALSE(frame->IsShown());
    EXPECT_EQ(KMGetWindowRecord(frame), &stats.GetWindow()); // still alive
    stats.ShowWindow(true);
    EXPECT_TRUE(stats.IsShown());
    EXPECT_TRUE(frame->IsShown());
}

} // namespace
