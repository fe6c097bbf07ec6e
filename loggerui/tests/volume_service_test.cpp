// The volume page's sends, curve files and sweep on the simulated board.
#include "loggerui/VolumeService.h"

#include "SimBus.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sstream>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

struct Volume {
    explicit Volume(SimBusConfig config = {}) : sim(config), tweaks(*sim.bus, "/nonexistent") {
        sim.OpenBridgeOnly();
        sim.bus->State().ready = 1;
    }
    SimBus sim;
    TweaksService tweaks;
    VolumeService volume{*sim.bus, tweaks};
};

TEST(VolumeService, OpeningSendsStepZeroAndRestoringSendsTheRememberedGain) {
    Volume v;
    v.sim.Send({0x00, 0xD0, 0x64}); // the traffic sets DulmVolume
    v.sim.board->clearLog();
    v.volume.RecomputeCurve();
    EXPECT_EQ(v.sim.Writes(), (std::vector<Bytes>{{0x01, 0xD0, 0x90}}));
    EXPECT_EQ(v.volume.CurrentText(), "0.00 dB (0)");
    EXPECT_EQ(v.sim.bus->LastVolumeGain(), 0x64u); // the page's own send is not remembered
    v.sim.board->clearLog();
    v.volume.RestoreTarget();
    EXPECT_EQ(v.sim.Writes(), (std::vector<Bytes>{{0x00, 0xD0, 0x64}}));
}

TEST(VolumeService, MixerStepsGoAsOneFrameByFirmware) {
    for (uint32_t firmware : {0x0606u, 0x0704u}) {
        SCOPED_TRACE(firmware);
        Volume v(WithChip(0x7000, firmware));
        v.volume.SelectTarget(9);
        v.sim.board->clearLog();
        v.volume.ApplyStep(1, false);
        EXPECT_EQ(v.volume.Encoded(1).raw, 7650500);
        const auto writes = v.sim.Writes();
        ASSERT_EQ(writes.size(), 1u);
        if (firmware == 0x0704) {
            EXPECT_EQ(writes[0], (Bytes{0x00, 0xEA, 0x09, 0x74, 0xBC, 0xC4}));
        } else {
            ASSERT_EQ(writes[0].size(), 57u);
            EXPECT_EQ(Bytes(writes[0].begin(), writes[0].begin() + 3), (Bytes{0x00, 0xA4, 0x11}));
            EXPECT_EQ(Bytes(writes[0].begin() + 27, writes[0].begin() + 30),
                      (Bytes{0x74, 0xBC, 0xC4})); // mixer 9
            EXPECT_EQ(Bytes(writes[0].end() - 3, writes[0].end()), (Bytes{0x00, 0xC8, 0x00}));
        }
    }
    Volume v(WithChip(0x7000, 0x0704));
    v.volume.SelectTarget(15);
    v.sim.board->clearLog();
    v.volume.ApplyStep(0, false);
    EXPECT_EQ(v.sim.Writes().at(0), (Bytes{0x00, 0xEB, 0x00, 0x7F, 0xFF, 0xFF}));
}

TEST(VolumeService, CurveFilesAreCheckedBeforeTheyReplaceTheCurve) {
    Volume v;
    EXPECT_TRUE(v.volume.LoadCurveText("0 -1\n-1 -3\n"));
    EXPECT_EQ(v.volume.StepCount(), 4u);
    EXPECT_EQ(v.volume.EndStep(), 3u);
    EXPECT_EQ(v.sim.Boxes().back(), "Load Curve from File: Found 4 steps");

    for (const char* bad : {"0 -1 2", "", "10 30"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(v.volume.LoadCurveText(bad));
        EXPECT_EQ(v.volume.StepCount(), 4u);
        EXPECT_DOUBLE_EQ(v.volume.Requested(3), -3.0);
    }
    EXPECT_NE(std::find(v.sim.Boxes().begin(), v.sim.Boxes().end(),
                        "!Load Curve from File: Volume is not monotonic down. Step 3, found "
                        "2.000000 dB."),
              v.sim.Boxes().end());

    std::ostringstream many;
    for (int i = 0; i < 1200; ++i)
        many << -0.05 * i << "\n";
    EXPECT_TRUE(v.volume.LoadCurveText(many.str()));
    EXPECT_EQ(v.volume.StepCount(), 1000u);
    // A missing file and a folder both give the box and keep the curve.
    const std::string folder = ::testing::TempDir() + "curve-folder.txt";
    std::filesystem::create_directories(folder);
    for (const std::string& path : {std::string("/nonexistent/curve.txt"), folder}) {
        SCOPED_TRACE(path);
        const std::size_t before = v.sim.Boxes().size();
        EXPECT_FALSE(v.volume.LoadCurveFile(path));
        ASSERT_EQ(v.sim.Boxes().size(), before + 1);
        EXPECT_EQ(v.sim.Boxes().back(), "!Load curve from file: Fail to open curve file.");
        EXPECT_EQ(v.volume.StepCount(), 1000u);
    }
    std::filesystem::remove_all(folder);
}

TEST(VolumeService, SweepsMuteStepAndTakeTheirTime) {
    Volume v;
    v.volume.RecomputeCurve();
    v.volume.SetStartStep(5);
    v.volume.SetEndStep(5);
    v.sim.board->clearLog();
    EXPECT_NEAR(v.volume.RunSweep(nullptr), 0.0, 0.01);
    const std::vector<Bytes> quick = v.sim.Writes();
    ASSERT_EQ(quick.size(), 3u);
    EXPECT_EQ(quick[0], (Bytes{0x00, 0xC7, 0x01}));
    EXPECT_EQ(quick[2], (Bytes{0x00, 0xC7, 0x00}));

    v.volume.SetStartStep(0);
    v.volume.SetEndStep(99);
    int pumped = 0;
    const double seconds = v.volume.RunSweep([&] { ++pumped; });
    EXPECT_GE(seconds, 99 * 0.1);
    EXPECT_EQ(v.volume.CurrentStep(), 99u);
    EXPECT_GT(pumped, 0);
    EXPECT_FALSE(v.volume.Sweeping());

    // A click during the sweep ends it at the end step.
    v.volume.SetStartStep(99);
    v.volume.SetEndStep(0);
    bool clicked = false;
    v.volume.RunSweep([&] {
        if (v.volume.CurrentStep() == 90 && !clicked) {
            clicked = true;
            v.volume.RunSweep(nullptr);
        }
    });
    EXPECT_TRUE(clicked);
    EXPECT_EQ(v.volume.CurrentStep(), 0u);
}

TEST(VolumeService, NothingIsSentWhileTheChipIsNotReady) {
    Volume v;
    v.sim.bus->State().ready = 0;
    v.volume.RecomputeCurve();
    v.volume.RestoreTarget();
    EXPECT_LT(v.volume.RunSweep(nullptr), 0.0);
    EXPECT_TRUE(v.sim.Writes().empty());
}

} // namespace
