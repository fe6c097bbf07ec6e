// Codec and clock register writes, checked on the frames the simulated
// bus receives and the pauses between them.
#include "TestSupport.h"
#include "plugin/ChipRegisters.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Bytes = std::vector<uint8_t>;
using dulmtest::FakeClock;
using dulmtest::SimDimax;

class RegistersTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto c = std::make_unique<CConnectDimax>(SimDimax::Api(), std::make_shared<FakeClock>());
        c->SetTrace(0);
        ASSERT_TRUE(c->Connect());
        registers.SetConnection(std::move(c));
        // A chip known on this connection that takes its groups as written.
        registers.SetChipVersion(0x5010, 0x0401);
        sim.bus->clearTransfers();
        clock->SetMark([this] { return sim.Writes().size(); });
    }

    SimDimax sim;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    CChipRegisters registers{clock};
};

TEST(RegisterValues, GainsSwitchesAndModes) {
    EXPECT_EQ(CChipRegisters::DacVolumeValue(0, false), 0x005454u);
    EXPECT_EQ(CChipRegisters::DacVolumeValue(-12600, false), 0x000000u);
    EXPECT_EQ(CChipRegisters::DacVolumeValue(0, true), 0x030000u);
    EXPECT_EQ(CChipRegisters::AdcPreAmpValue(-1800, false), 0x000000u);
    EXPECT_EQ(CChipRegisters::AdcPreAmpValue(3400, false), 0x003434u);
    EXPECT_EQ(CChipRegisters::AdcPreAmpValue(3400, true), 0x030000u);
    EXPECT_EQ(CChipRegisters::AdcVolumeValue(3000, false), 0x000000u);
    EXPECT_EQ(CChipRegisters::AdcVolumeValue(-9600, false), 0x005454u);

    EXPECT_EQ(CChipRegisters::InputTypeOfAnalogInput(0), 1);
    EXPECT_EQ(CChipRegisters::InputTypeOfAnalogInput(1), 2);
    EXPECT_EQ(CChipRegisters::InputTypeOfAnalogInput(2), 4);
    EXPECT_EQ(CChipRegisters::InputSelectValue(4, 1), 0x1AAu);
    EXPECT_EQ(CChipRegisters::InputSelectValue(2, 0), 0x99u);
    EXPECT_EQ(CChipRegisters::InputSelectValue(3, 0), 0x88u);

    EXPECT_EQ(CChipRegisters::ConverterEnableValue(true, true), 0x1FFFu);
    EXPECT_EQ(CChipRegisters::ConverterEnableValue(true, false), 0x01C3u);
    EXPECT_EQ(CChipRegisters::ConverterEnableValue(false, true), 0x1F3Fu);
    EXPECT_EQ(CChipRegisters::ConverterEnableValue(false, false), 0x0103u);

    // Serial mode 1, word size 2, data type 1, frame-size index 0.
    EXPECT_EQ(CChipRegisters::SerialFormatWord(1, 2, 1, 0), 0x6BD5);
    EXPECT_EQ(CChipRegisters::SerialFormatWord(0, 0, 0, 1), 0x03C0);

    const std::pair<uint8_t, uint32_t> modes[] = {{0x00, 2}, {0x02, 4}, {0x04, 1},
                                                  {0x06, 3}, {0x0A, 0}, {0x0E, 0}};
    for (auto [reply, mode] : modes)
        EXPECT_EQ(CChipRegisters::ProcessingModeOf(reply), mode) << int(reply);
}

TEST_F(RegistersTest, ClockSource1Rate1WritesTheSequenceWithItsPauses) {
    registers.WriteClock(1, 1);
    const auto writes = sim.Writes();
    const std::vector<Bytes> expected = {
        {0xFB, 0xAB, 0xFF}, {0x09, 0x10, 0x24}, {0xFA, 0xAB, 0xFF}, {0xFD, 0xA0, 0x09},
        {0xFA, 0xAB, 0xFF}, {0xFD, 0xA0, 0x01}, {0xFB, 0xAB, 0xFF}, {0x29, 0x18, 0xA4},
    };
    EXPECT_EQ(writes, expected);
    // 3 ms before every command frame, 1 ms after the divider and at the end.
    const std::vector<std::pair<uint32_t, size_t>> pauses = {{3, 0}, {3, 2}, {3, 4},
                                                             {1, 6}, {3, 6}, {1, 8}};
    const auto sleeps = clock->Sleeps();
    ASSERT_EQ(sleeps.size(), pauses.size());
    for (size_t i = 0; i < pauses.size(); ++i) {
        EXPECT_EQ(sleeps[i].ms, pauses[i].first) << i;
        EXPECT_EQ(sleeps[i].mark, pauses[i].second) << i;
    }
}

TEST_F(RegistersTest, ClockSource3UsesItsOwnBaseAndUndefinedCombinationsWriteNothing) {
    registers.WriteClock(3, 7);
    auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 8u);
    EXPECT_EQ(writes[1], (Bytes{0x09, 0x20, 0x24})); // 0x242009
    EXPECT_EQ(writes[3], (Bytes{0x27, 0x00, 0x08})); // (0x80 << 12) | 39
    EXPECT_EQ(writes[7], (Bytes{0x29, 0x28, 0xA4})); // 0x242009 | 0x800820
    sim.bus->clearTransfers();
    registers.WriteClock(0, 2);
    registers.WriteClock(4, 0);
    registers.WriteSampleFormat(4, 0);
    registers.WriteSampleFormat(0, 2);
    EXPECT_TRUE(sim.Writes().empty());
}

TEST_F(RegistersTest, CodecRegistersGoOutAsCommandAndValueFrames) {
    registers.WriteDacVolumes(0, -12600, false, false);
    registers.WriteAdcPreAmp(3400, false);
    registers.WriteConverterEnable(true, true);
    registers.WriteSampleFormat(0, 1);
    registers.WriteSerialFormat(1, 2, 1, 0);
    const std::vector<Bytes> expected = {
        {0x80, 0xAD, 0xFF}, {0x54, 0x54, 0x00}, {0x87, 0xAD, 0xFF}, {0x00, 0x00, 0x00},
        {0x81, 0xAD, 0xFF}, {0x34, 0x34, 0x00}, {0x85, 0xAD, 0xFF}, {0xFF, 0x1F, 0x00},
        {0x84, 0xAD, 0xFF}, {0x27, 0x00, 0x00}, {0xD5, 0xC4, 0x6B},
    };
    EXPECT_EQ(sim.Writes(), expected);

    // A chip that takes its groups most significant byte first.
    sim.bus->clearTransfers();
    registers.SetChipVersion(0x6000, 0x0505);
    registers.WriteCodecStrobe(1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0xFF, 0xAD, 0x86}, {0x00, 0x00, 0x01}}));
}

TEST_F(RegistersTest, CodecUpdateWritesOnlyWhatChangedThenStrobes) {
    SCodecInputs before;
    SCodecInputs after = before;
    after.adcVolume = -9600;
    after.dac2Mute = true;
    after.adcEnabled = false;
    registers.WriteCodecChanges(before, after);
    const std::vector<Bytes> expected = {
        {0x85, 0xAD, 0xFF}, {0x3F, 0x1F, 0x00}, // converters: ADC off, DAC on
        {0x82, 0xAD, 0xFF}, {0x54, 0x54, 0x00}, // ADC volume
        {0x80, 0xAD, 0xFF}, {0x54, 0x54, 0x00}, // DAC1 at 0 dB
        {0x87, 0xAD, 0xFF}, {0x00, 0x00, 0x03}, // DAC2 muted
        {0x86, 0xAD, 0xFF}, {0x00, 0x00, 0x00}, {0x86, 0xAD, 0xFF},
        {0x01, 0x00, 0x00}, {0x86, 0xAD, 0xFF}, {0x00, 0x00, 0x00},
    };
    EXPECT_EQ(sim.Writes(), expected);
}

TEST_F(RegistersTest, ProcessingModeComesFromTheFirstReplyByte) {
    uint32_t reply = 0x0A0000;
    sim.chip->onRead(0xB5, [&reply](uint16_t) { return reply; });
    uint32_t mode = 99;
    ASSERT_TRUE(registers.ReadProcessingMode(mode));
    EXPECT_EQ(mode, 0u);
    reply = 0x020000;
    ASSERT_TRUE(registers.ReadProcessingMode(mode));
    EXPECT_EQ(mode, 4u);
    EXPECT_EQ(sim.Writes().back(), (Bytes{0xF1, 0xB5, 0xFF}));

    // A read that fails is no mode at all.
    sim.bus->failNext(EIO, 1);
    mode = 99;
    EXPECT_FALSE(registers.ReadProcessingMode(mode));
    EXPECT_EQ(mode, 99u);
}

} // namespace
