// The sample-rate converter's register sequences on the simulated chip.
#include "loggerui/TweaksSrc.h"

#include "SimBus.h"

#include <gtest/gtest.h>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

// The data of the chip writes, from the write of a command onwards.
bool Wrote(const std::vector<Bytes>& writes, const Bytes& command, const Bytes& value) {
    for (std::size_t i = 0; i + 1 < writes.size(); ++i)
        if (writes[i] == command && writes[i + 1] == value)
            return true;
    return false;
}

TEST(TweaksSrc, RatioTwoSetsThePllAndTheCodesRatioAndPausesTheDsp) {
    SimBus sim; // firmware 0x0606
    sim.OpenBridgeOnly();
    sim.chip->setRegisterX(0xFFFB, 0xFFFFFF);
    sim.chip->setRegisterX(0xFFFF, 0x3);
    EXPECT_EQ(ConfigureSrcSequence(*sim.bus, 2, false), SrcResult::Done);
    EXPECT_EQ(sim.chip->registerX(0xFFFA), 0x13u);
    EXPECT_EQ(sim.chip->registerX(0xFFFB), (0xFFFFFFu & 0xFFC7DF) | 0x2820);
    EXPECT_EQ(sim.chip->registerX(0xFFFF), 0x3u); // resumed
    const auto writes = sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x08, 0x00, 0x13}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x14}, {0x00, 0x00, 0x01}));
    const std::string log = sim.Text();
    EXPECT_NE(log.find("[TWEAKS.SRC] --> Set Tweaks to x2 sample ratio. \n "), std::string::npos);
    EXPECT_NE(log.find("[TWEAKS.SRC] --> Pause DSP processing. \n "), std::string::npos);
    EXPECT_EQ(log.find("Audio-PWM"), std::string::npos); // not on 0x0606
}

TEST(TweaksSrc, ResetReturnsToX1AndACaptureKeepsTheDspRunning) {
    SimBus sim(WithChip(0x7000, 0x0704));
    sim.OpenBridgeOnly();
    sim.chip->setRegisterX(0xFFFF, 0x3);
    ResetSrcSequence(*sim.bus, true);
    EXPECT_EQ(sim.chip->registerX(0xFFFA), 9u);
    const auto writes = sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0xFF, 0xAB, 0xFA}, {0x08, 0x00, 0x09}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x14}, {0x00, 0x00, 0x00}));
    const std::string log = sim.Text();
    EXPECT_NE(log.find("[TWEAKS.SRC] --> Configure PLL to x10 and set Crystal as reference "
                       "clock. \n "),
              std::string::npos);
    EXPECT_NE(log.find("[TWEAKS.SRC] --> Enabled Audio-PWM. \n "), std::string::npos);
    EXPECT_EQ(log.find("Pause DSP"), std::string::npos);
}

TEST(TweaksSrc, AnUnknownRatioSendsNothing) {
    SimBus sim;
    sim.OpenBridgeOnly();
    EXPECT_FALSE(SrcPllValue(3));
    EXPECT_EQ(ConfigureSrcSequence(*sim.bus, 3, false), SrcResult::InvalidRatio);
    EXPECT_TRUE(sim.Writes().empty());
}

TEST(TweaksLinearVolume, SwitchesWriteTheBlockAndTheControlBit) {
    SimBus sim;
    sim.OpenBridgeOnly();
    // Without the running code the control word has no signature.
    EXPECT_FALSE(SwitchLinearVolumeOn(*sim.bus, 0xA50100));
    auto writes = sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x0E}, {0x7F, 0xFF, 0xFF}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x13}, {0xFF, 0xFC, 0x00}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x00}, {0x00, 0x00, 0x04}));
    // Now the control word reads back with bit 2 set; off clears it.
    sim.board->clearLog();
    SwitchLinearVolumeOff(*sim.bus);
    writes = sim.Writes();
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x0E}, {0x7F, 0xFF, 0xFF}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x11}, {0x7F, 0xFF, 0xFF}));
    EXPECT_TRUE(Wrote(writes, {0x04, 0xA8, 0x00}, {0x00, 0x00, 0x00}));
}

} // namespace
