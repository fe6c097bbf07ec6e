// The tweaks page's chip work on the simulated board, with fixture images
// of the right lengths: loading and unloading, the running check, the
// linear volume's patch check, the SRC, the tone tables and the meters.
#include "loggerui/TweaksService.h"

#include "SimBus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

namespace fs = std::filesystem;

bool Wrote(const std::vector<Bytes>& writes, const Bytes& command, const Bytes& value) {
    for (std::size_t i = 0; i + 1 < writes.size(); ++i)
        if (writes[i] == command && writes[i + 1] == value)
            return true;
    return false;
}

// A folder with both images (every word 0x000000 but the first).
struct Images {
    Images() {
        folder = fs::temp_directory_path() / ("tweaks-images-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        Write("tweaks-0606.txt", 180);
        Write("tweaks-0704.txt", 264);
    }
    ~Images() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    void Write(const char* name, int words) const {
        std::ofstream out(folder / name);
        for (int i = 0; i < words; ++i)
            out << (i == 0 ? "0x0C0000" : "000000") << "\n";
    }
    fs::path folder;
};

struct Tweaks {
    explicit Tweaks(SimBusConfig config = {}) : sim(config), service(*sim.bus, images.folder) {
        sim.OpenBridgeOnly();
        sim.bus->State().ready = 1;
        service.SetTimerHook([this](int timer, int ms) { timers.push_back({timer, ms}); });
    }
    // A capture run to its Setup Completed.
    void CompleteCapture() {
        sim.Send({0x00, 0xA5, 0x00});
        sim.Send({0x00, 0xAC, 0x00});
        sim.board->clearLog();
        sim.ClearLog();
    }
    Images images;
    SimBus sim;
    TweaksService service;
    std::vector<std::pair<int, int>> timers;
};

TEST(TweaksService, FirmwareWithoutCodeShowsTheBoxAndKeepsTheButton) {
    Tweaks t(WithChip(0x6000, 0x0505));
    EXPECT_FALSE(t.service.EnableTweaks(true));
    EXPECT_EQ(t.sim.Boxes(), std::vector<std::string>{"!Tweaks: " + std::string(kNoTweaksCode)});
    EXPECT_EQ(t.service.Snapshot().button, "Enable Tweaks");
    EXPECT_FALSE(t.service.Snapshot().enabled);
}

TEST(TweaksService, AMissingImageFileCountsAsNoCodeAndSendsNothing) {
    Tweaks t;
    fs::remove(t.images.folder / "tweaks-0606.txt");
    EXPECT_FALSE(t.service.EnableTweaks(true));
    EXPECT_EQ(t.sim.Boxes().size(), 1u);
    EXPECT_TRUE(t.sim.Writes().empty());
}

TEST(TweaksService, Firmware0606LoadsRunsAndKeepsTheHookWhenDisabled) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    TweaksState s = t.service.Snapshot();
    EXPECT_EQ(s.button, "Disable Tweaks");
    EXPECT_FALSE(s.srcControls);
    EXPECT_EQ(t.sim.chip->memoryP(0x300), 0x0C0000u);
    EXPECT_EQ(t.sim.chip->memoryP(0x000F), 0x300u);
    EXPECT_EQ(t.sim.chip->registerX(0xFFFF) & 3u, 3u); // resumed
    EXPECT_TRUE(t.sim.chip->tweaksRunning());
    EXPECT_EQ(t.timers.back(), std::make_pair(TweaksService::kReadyTimer, 1000));
    EXPECT_TRUE(t.service.CheckRunning());
    EXPECT_TRUE(t.sim.HasLine("traffic", 2, "[TWEAKS] --> Tweaks is running. \n "));

    t.service.EnableTweaks(false);
    EXPECT_EQ(t.service.Snapshot().button, "Enable Tweaks");
    EXPECT_EQ(t.sim.chip->memoryP(0x000F), 0x300u);
    // Not enabled: the check says nothing.
    t.sim.ClearLog();
    EXPECT_FALSE(t.service.CheckRunning());
    EXPECT_EQ(t.sim.Text(), "");
}

TEST(TweaksService, Firmware0704RestoresTheHookAndTheSrcReturnsToX1) {
    Tweaks t(WithChip(0x7000, 0x0704));
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    EXPECT_TRUE(t.service.Snapshot().srcControls);
    EXPECT_EQ(t.sim.chip->memoryP(0x000F), 0x200u);
    t.service.SetSrcRatio(2);
    t.sim.board->clearLog();
    t.service.ConfigureSrc();
    auto writes = t.sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x08, 0x00, 0x13}));
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x00, 0x00, 0x13}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x14}, {0x00, 0x00, 0x01}));
    EXPECT_NE(t.sim.Text().find("[TWEAKS.SRC] --> Set Tweaks to x2 sample ratio. \n "),
              std::string::npos);
    EXPECT_TRUE(t.service.Snapshot().srcConfigured);

    t.sim.board->clearLog();
    t.service.EnableTweaks(false);
    writes = t.sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x08, 0x00, 0x09}));
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x00, 0x00, 0x09}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x14}, {0x00, 0x00, 0x00}));
    EXPECT_TRUE(Wrote(writes, {0x00, 0xA6, 0x0F}, {0x00, 0xC1, 0x8D}));
    EXPECT_EQ(t.sim.chip->memoryP(0x000F), 0xC18Du);
    EXPECT_FALSE(t.service.Snapshot().srcConfigured);
}

TEST(TweaksService, WithoutACapturedSetupTheCheckSaysNothing) {
    Tweaks t;
    ASSERT_TRUE(t.service.EnableTweaks(true));
    t.sim.ClearLog();
    EXPECT_FALSE(t.service.CheckRunning());
    EXPECT_EQ(t.sim.Text(), "");
}

TEST(TweaksService, CodeThatDoesNotRunIsReportedInRed) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    t.sim.chip->setRegisterX(0xFFFF, 0); // the DSP stopped: the code answers nothing
    EXPECT_FALSE(t.service.CheckRunning());
    EXPECT_TRUE(t.sim.HasLine(
        "traffic", 3, "[TWEAKS] --> Tweaks is not running. Verify I2S/SSI is working. \n "));
    EXPECT_TRUE(t.service.Snapshot().enabled);
}

TEST(TweaksService, LinearVolumeRefusesOutOfRangeAndSendsTheGainOfItsLevel) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    t.service.SetLinearBox(true);
    EXPECT_TRUE(t.service.Snapshot().linearActive);
    t.service.SetLinearVolume(Channel::Left, -6.0);
    t.service.SetLinearVolume(Channel::Left, 3.5);
    EXPECT_DOUBLE_EQ(t.service.Snapshot().mainVolume, -6.0);
    t.service.SetLinearVolume(Channel::Left, 0.0);
    EXPECT_EQ(t.sim.chip->memoryY(0x40E), 8388606u);
    t.service.SetLinearVolume(Channel::Right, -100.0);
    EXPECT_EQ(t.sim.chip->memoryY(0x411), LinearGain(-100.0));
    EXPECT_TRUE(t.sim.Boxes().empty());
}

TEST(TweaksService, ThePatchCheckPassesOnTheRunningCodeAndFailsOnceWithout) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    // The running code answers the test gains.
    t.service.SetLinearGain(Channel::Left, 0x400000);
    EXPECT_TRUE(t.service.Snapshot().linearActive);
    EXPECT_EQ(t.sim.chip->memoryY(0x40E), 0x400000u);

    Tweaks u;
    u.CompleteCapture();
    ASSERT_TRUE(u.service.EnableTweaks(true));
    u.sim.chip->setRegisterX(0xFFFF, 0);
    u.service.SetLinearGain(Channel::Left, 0x400000);
    u.service.SetLinearGain(Channel::Left, 0x400000); // not checked again
    EXPECT_EQ(u.sim.Boxes(),
              std::vector<std::string>{"!Linear Volume: " + std::string(kPatchNotLoaded)});
    EXPECT_EQ(u.sim.chip->memoryY(0x40E), 0x1FFFFFu); // the test gain, no gain after
}

TEST(TweaksService, ToneTablesGoToTheChipWithTheirPointers) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    t.service.SetFrequency(Channel::Left, 997.0);
    t.service.SetLevel(Channel::Right, -100.0);
    t.service.SetPhase(20);
    t.service.SetToneBox(true);
    TweaksState s = t.service.Snapshot();
    EXPECT_TRUE(s.toneOn);
    EXPECT_EQ(s.leftTable.size(), 337u);
    EXPECT_EQ(s.rightTable.size(), 48u);
    EXPECT_EQ(s.changedTables, 0);
    EXPECT_EQ(t.sim.chip->memoryY(0x500 + 100), s.leftTable[100]);
    EXPECT_EQ(t.sim.chip->memoryY(0x680 + 12), 0u); // muted
    EXPECT_EQ(t.sim.chip->memoryY(0x404), 0x500u + 337);
    EXPECT_EQ(t.sim.chip->memoryY(0x408), 0x680u + 20);
    EXPECT_EQ(t.sim.chip->memoryY(0x400) & 1u, 1u);
    EXPECT_EQ(t.sim.chip->memoryY(0x401), 0u);

    // A new right frequency starts the phase again; out of range keeps it.
    t.service.SetFrequency(Channel::Right, 125.0);
    t.service.SetFrequency(Channel::Right, 20001.0);
    s = t.service.Snapshot();
    EXPECT_EQ(s.phase, 0);
    EXPECT_EQ(s.rightTable.size(), 384u);
    EXPECT_DOUBLE_EQ(s.rightFrequency, 125.0);
}

TEST(TweaksService, AShorterRightTableLimitsThePhase) {
    Tweaks t;
    t.service.SetFrequency(Channel::Right, 125.0); // 384 samples
    t.service.SetPhase(383);
    t.service.SetSampleRate(44100); // 125 Hz at 44.1 kHz: 352 samples
    const TweaksState s = t.service.Snapshot();
    EXPECT_LT(s.phase, s.rightTable.size());
    EXPECT_EQ(s.phase, s.rightTable.size() - 1);
}

TEST(TweaksService, MetersReadClearAndShowThePeaks) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    t.service.SetLevelBox(true);
    EXPECT_TRUE(t.service.Snapshot().metersOn);
    EXPECT_EQ(t.timers.back(), std::make_pair(TweaksService::kMeterTimer, 200));
    const uint32_t peaks[] = {0x800000, 0, 0x47FACD, 0xAF3CCA, 0x3F};
    for (int i = 0; i < 5; ++i)
        t.sim.chip->setMemoryY(static_cast<uint16_t>(0x409 + i), peaks[i]);
    EXPECT_EQ(t.service.MeterTimer(), 200);
    const TweaksState s = t.service.Snapshot();
    EXPECT_EQ(s.meters[0].text, "0.0 dBFS");
    EXPECT_EQ(s.meters[1].text, " -inf dBFS");
    EXPECT_EQ(s.meters[2].text, "-5.0 dBFS");
    EXPECT_EQ(s.meters[2].colour, kMeterGreen);
    EXPECT_EQ(s.meters[3].text, "-4.0 dBFS"); // negative peak by its magnitude
    EXPECT_EQ(s.meters[3].colour, kMeterHigh);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(t.sim.chip->memoryY(static_cast<uint16_t>(0x409 + i)), 0u);

    // The timer does not wait for a lock held by this thread.
    t.sim.bus->Lock().Lock();
    EXPECT_EQ(t.service.MeterTimer(), 1);
    t.sim.bus->Lock().Unlock();

    t.service.SetLevelBox(false);
    EXPECT_EQ(t.service.Snapshot().meters[0].text, " --- ");
    EXPECT_EQ(t.sim.chip->memoryY(0x400) & 2u, 0u);
}

TEST(TweaksService, TheReadyTimerDisablesTweaksWhenTheChipIsGone) {
    Tweaks t;
    t.CompleteCapture();
    ASSERT_TRUE(t.service.EnableTweaks(true));
    EXPECT_EQ(t.service.ReadyTimer(), 1000);
    EXPECT_TRUE(t.service.Snapshot().enabled);
    t.sim.bus->State().ready = 0;
    EXPECT_EQ(t.service.ReadyTimer(), -1);
    EXPECT_FALSE(t.service.Snapshot().enabled);
}

} // namespace
