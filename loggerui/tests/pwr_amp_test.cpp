// The PWM and power-amplifier page's words and register actions on a
// simulated QZ625x chip.
#include "SimBus.h"

#include "loggerui/PageModels.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

TEST(PwmWords, UpscalerCoefficientsAndGainText) {
    const std::array<int32_t, 18> words = UpscalerWords(0.0f);
    EXPECT_EQ(words.front(), -326);
    EXPECT_EQ(words.back(), 3425914);
    EXPECT_EQ(UpscalerWords(NAN), words);
    // A huge gain stays within 24 bits.
    for (int32_t w : UpscalerWords(200.0f))
        EXPECT_TRUE(w >= -8388608 && w <= 8388607) << w;
    EXPECT_EQ(UpscalerGainText(ParseUpscalerGain("3")), "3.00000");
    EXPECT_EQ(ParseUpscalerGain("abc"), 0.0f);
    EXPECT_EQ(ParseUpscalerGain("inf"), 0.0f);
}

TEST(PwmWords, ControlWordsAndFaultTexts) {
    EXPECT_EQ(PwmControlWord(0x8002, true), 0x8C13u);
    EXPECT_EQ(PwmControlWord(0x8002, false), 0x28C13u);
    EXPECT_EQ(PwmControlWord(0x0003, true), 0x7813u);
    PwmSettings s;
    EXPECT_TRUE(PowerControlWord(s, 1) & 4);
    EXPECT_FALSE(PowerControlWord(s, 2) & 4);
    s.outputMode = 1;
    EXPECT_EQ(PowerControlWord(s, 1), 0x30u | 3 | 0x400 | 0x4000 | 0x40000);
    EXPECT_EQ(FaultText(0x30), "FAULTB event status: No fault.");
    EXPECT_EQ(FaultText(0x10), "FAULTB event status: Over temperature condition detected.");
}

struct PwmOnChip : ::testing::Test {
    PwmOnChip() {
        EXPECT_NE(sim.bus->Open(), 0u);
        sim.ClearLog();
        before = sim.Writes().size();
    }
    // The frames written since the last call; reads: also the command frames
    // of register reads.
    std::vector<Bytes> Sent(bool reads = false) {
        std::vector<Bytes> all = sim.Writes();
        std::vector<Bytes> out;
        bool command = true; // a write's data frame follows its command frame
        for (size_t i = before; i < all.size(); ++i) {
            const bool read = command && (all[i][1] == 0xB5 || all[i][1] == 0xB6);
            command = read || !command || all[i][1] == 0xC7;
            if (reads || !read)
                out.push_back(all[i]);
        }
        before = all.size();
        return out;
    }
    SimBus sim{WithChip(0x7000, 0x0704, 0x020000)};
    size_t before = 0;
};

TEST_F(PwmOnChip, ApplyConfigSendsTheWholeConfiguration) {
    sim.Send({0x80, 0xC4, 0x02}); // Set SSI
    ASSERT_EQ(sim.bus->LastSsi(), 0x8002);
    Sent();
    PwmSettings s;
    uint32_t selection2 = 0xFC0;
    PwmApplyConfig(*sim.bus, s, selection2);
    const std::vector<Bytes> sent = Sent();
    ASSERT_EQ(sent.size(), 2u * (1 + 1 + 1 + 18 + 6));
    EXPECT_EQ(sent[0], (Bytes{0xFF, 0xAD, 0xA0}));
    EXPECT_EQ(sent[1], (Bytes{0, 0, 0}));
    EXPECT_EQ(sim.chip->registerY(pwmreg::kControl), 0x8C13u);
    EXPECT_EQ(sim.chip->registerX(pwmreg::kSelection2), 0x1C8u);
    EXPECT_EQ(selection2, 0x9C8u);
    EXPECT_EQ(sim.chip->registerY(pwmreg::kEventEnable), 2u);

    s.module = false;
    PwmApplyConfig(*sim.bus, s, selection2);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xFF, 0xAD, 0xA0}, {0, 0, 0}}));
}

TEST_F(PwmOnChip, ActionsReadTheChipAndWriteBackTheirBit) {
    sim.chip->setRegisterY(pwmreg::kPowerControl, 0x30);
    PwmSetPowerBit(*sim.bus, 12, true);
    EXPECT_EQ(sim.chip->registerY(pwmreg::kPowerControl), 0x1030u);
    const std::vector<Bytes> sent = Sent();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent.front(), (Bytes{0x00, 0xC7, 0x01}));
    EXPECT_EQ(sent.back(), (Bytes{0x00, 0xC7, 0x00}));

    PwmSetUpscaler(*sim.bus, false);
    EXPECT_EQ(sim.chip->registerY(pwmreg::kControl), 0x20000u);
    PwmSetModule(*sim.bus, true);
    EXPECT_EQ(sim.chip->registerY(pwmreg::kControl), 0x20001u);

    Sent();
    uint32_t selection2 = 0xE40;
    PwmSetAmplifier(*sim.bus, false, selection2);
    EXPECT_EQ(selection2, 0u); // the chip's register was 0
    sim.bus->State().ready = 0;
    PwmSetAmplifier(*sim.bus, true, selection2);
    EXPECT_EQ(selection2, 8u);
    // Unchecked: one write of the value read with bit 3 cleared.
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(PwmOnChip, FaultPollAndClear) {
    sim.chip->setRegisterY(pwmreg::kPowerControl, 0x30);
    sim.chip->setRegisterY(pwmreg::kEventStatus, 0x6);
    std::optional<FaultStatus> status = PollFault(*sim.bus);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->event);
    EXPECT_EQ(status->text, "FAULTB event status: No fault.");
    EXPECT_TRUE(Sent().empty()); // the poll only reads
    PwmClearFault(*sim.bus);
    EXPECT_EQ(sim.chip->registerY(pwmreg::kEventStatus), 0x4u);
    status = PollFault(*sim.bus);
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->event);
    sim.bus->State().ready = 0;
    EXPECT_FALSE(PollFault(*sim.bus));
}

} // namespace

namespace {

TEST_F(PwmOnChip, ThePresetStageStepSharesGpioSelection2WithTheIoPage) {
    PageModels pages;
    pages.io.Prepare(sim.bus->State().chipTypeCode, true);
    const uint32_t before2 = pages.io.Selection2();
    ApplyPwmAtPreset(*sim.bus, pages);
    EXPECT_EQ(pages.io.Selection2(), (before2 & ~0xE00u) | 0x808u);
    PwmSettings off = pages.pwm.Get();
    off.module = false;
    pages.pwm.Set(off);
    ApplyPwmAtPreset(*sim.bus, pages);
    EXPECT_FALSE(pages.pwm.Get().outputs1 || pages.pwm.Get().outputs2);
}

} // namespace

namespace {

TEST(PwmFaults, PresetRegistersGiveTheFaultCause) {
    SimBusConfig config = WithChip(0x7000, 0x0704, 0x020000);
    config.model.presetY = {{pwmreg::kPowerControl, 0x20}, {pwmreg::kEventStatus, 0x2}};
    SimBus sim(config);
    ASSERT_NE(sim.bus->Open(), 0u);
    const std::optional<FaultStatus> status = PollFault(*sim.bus);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->event);
    EXPECT_EQ(status->text, "FAULTB event status: Under voltage condition detected.");
}

} // namespace
