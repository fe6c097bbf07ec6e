// The command decoder against the simulated board and chip.
#include "SimBus.h"

#include <gtest/gtest.h>

using namespace busgate;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

struct Decoder : ::testing::Test {
    SimBus sim;
    void SetUp() override { sim.OpenBridgeOnly(); }
};

TEST_F(Decoder, SplitsAWriteIntoCommandsAndDecodesEach) {
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01, 0x00, 0xC6, 0x00}), 6);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC6, 0x01}, {0x00, 0xC6, 0x00}}));
    const std::string text = sim.Text();
    const size_t off = text.find(" // Set Leveler : OFF");
    const size_t on = text.find(" // Set Leveler : ON");
    ASSERT_NE(off, std::string::npos) << text;
    ASSERT_NE(on, std::string::npos) << text;
    EXPECT_LT(off, on);
    EXPECT_EQ(sim.TextIn(7), ": OFF\n : ON\n ");
    EXPECT_TRUE(sim.HasLine("traffic", 5, "I2C W 0x73: 0x00 0xC6 0x01 "));
}

TEST_F(Decoder, AWriteFailsWhenAnyOfItsCommandsFailed) {
    // The first command is not acknowledged; the second goes out anyway.
    sim.board->injectFault(u2csim::Fault::nak);
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01, 0x00, 0xC6, 0x00}), -1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC6, 0x01}, {0x00, 0xC6, 0x00}}));
    EXPECT_TRUE(sim.HasLine("traffic", 3, "\n ==> I2C Transaction Failed \n "));
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01, 0x00, 0xC6, 0x00}), 6);
}

TEST_F(Decoder, OutOfRangeValueIsReportedInRedAndStillSent) {
    EXPECT_EQ(sim.Send({0x00, 0xDB, 0xFB}), 3);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xDB, 0xFB}}));
    EXPECT_TRUE(sim.HasLine("traffic", 3, ": Invalid Parameter"));
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x00, 0xDB, 0xFA}), 3);
    EXPECT_NE(sim.Text().find(" // Set Leveler Range : -50.00 dB\n "), std::string::npos);
}

TEST_F(Decoder, CodecRegistersOfQZ625xAreSwallowedWithTheirWords) {
    sim.bus->State().firmwareCode = kFirmwareQZ625x;
    for (uint8_t reg = 0x80; reg <= 0x89; ++reg) {
        EXPECT_EQ(sim.Send({0xFF, 0xAD, reg}), 3);
        EXPECT_EQ(sim.Send({0x00, 0x12, 0x34}), 3);
        EXPECT_EQ(sim.Send({0xFF, 0xB6, reg}), 3);
        std::vector<uint8_t> reply(3, 0xEE);
        EXPECT_EQ(sim.bus->Receive(0x73, reply.data(), 3, 3), 3);
    }
    EXPECT_TRUE(sim.Writes().empty());
    EXPECT_TRUE(sim.Text().empty()) << sim.Text();
    // The next command is decoded as a new one.
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x00}), 3);
    EXPECT_EQ(sim.Writes().size(), 1u);
}

TEST_F(Decoder, UndetectedAndA1FirmwareKnowOnlyTheProgramMemoryRows) {
    for (uint32_t code : {kFirmwareUndetected, kFirmwareA1}) {
        sim.bus->State().firmwareCode = code;
        sim.ClearLog();
        EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), 3);
        EXPECT_TRUE(sim.HasLine("traffic", 3, " // Unknown DulmAudio command \n "));
        EXPECT_EQ(sim.Send({0x00, 0xA6, 0x10, 0x01, 0x02, 0x03}), 6);
        EXPECT_NE(sim.Text().find(" // Generic Write (P) \n "), std::string::npos);
        EXPECT_EQ(sim.chip->memoryX(0x10), 0u);
    }
}

TEST_F(Decoder, ExtendedWordsArriveInAnySplit) {
    // Load PEQ Start announces five words; one write of 15 bytes takes all.
    EXPECT_EQ(sim.Send({0x00, 0xA1, 0x05}), 3);
    EXPECT_EQ(sim.Send({0, 0, 0, 0, 0, 1, 0, 0, 127, 0, 0, 0, 0, 0, 64}), 15);
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), 3);
    const std::string text = sim.Text();
    EXPECT_NE(text.find(" // Ch: 1 \n "), std::string::npos);
    EXPECT_NE(text.find(" // Freq: 24548 Hz \n "), std::string::npos);
    EXPECT_NE(text.find(" // Gain: -0.0 \n "), std::string::npos);
    EXPECT_NE(text.find(" // Set Leveler : OFF"), std::string::npos) << text;
    // A command and its word in one write.
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x00, 0xA7, 0x20, 0x12, 0x34, 0x56}), 6);
    EXPECT_EQ(sim.chip->memoryX(0x20), 0x123456u);
}

TEST_F(Decoder, MalformedTrafficIsPassedOnAndInvalidatesTheCapture) {
    sim.bus->Decoder() = {};
    // A 7-byte write: two commands, then one byte that is no command.
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01, 0x00, 0xC6, 0x00, 0x42}), 7);
    const auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2], Bytes{0x42});
    EXPECT_NE(sim.Text().find(" // Error: Invalid DulmAudio command. Command length should be "
                              "multiple by 3 bytes (triples).\n "),
              std::string::npos);
    EXPECT_EQ(sim.bus->Capture().label, " -- Invalid -- ");
    // A read where a command is expected.
    uint8_t reply[3];
    EXPECT_EQ(sim.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_NE(sim.Text().find(" // Error: Invalid I2C read transaction. Expected new DulmAudio "
                              "command. \n "),
              std::string::npos);
    // A write where the read of a word is expected.
    EXPECT_EQ(sim.Send({0x00, 0xB7, 0x00}), 3);
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x00}), 3);
    EXPECT_NE(sim.Text().find("I2C RD/WR not as expected. \n "), std::string::npos);
}

TEST_F(Decoder, VersionReadsAreRewrittenForTheCaller) {
    SimBus qz(WithChip(0x7000, 0x0704, 0x021000));
    qz.OpenBridgeOnly(kFirmwareQZ625x, 8);
    uint8_t reply[3] = {};
    EXPECT_EQ(qz.Send({0x00, 0xB8, 0x00}), 3);
    EXPECT_EQ(qz.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 0x60, 0x00}));
    EXPECT_NE(qz.Text().find(" // ==> HW VER 0x7000 found in QX412D/QZ625x devices.  Report to "
                             "DulmDSP as QX410x device.  \n "),
              std::string::npos)
        << qz.Text();
    // Bit 12 set: the full algorithm, bits 17-19 cleared.
    EXPECT_EQ(qz.Send({0xFF, 0xB5, 0xF1}), 3);
    EXPECT_EQ(qz.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x00, 0x10, 0x00}));
    // A basic flavour reports bit 18 only.
    qz.chip->setRegisterX(0xFFF1, 0x0E0000);
    EXPECT_EQ(qz.Send({0xFF, 0xB5, 0xF1}), 3);
    EXPECT_EQ(qz.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x04, 0x00, 0x00}));
    // An unknown firmware makes every row apply.
    SimBus odd(WithChip(0x6000, 0x0999));
    odd.OpenBridgeOnly();
    EXPECT_EQ(odd.Send({0x00, 0xB7, 0x00}), 3);
    EXPECT_EQ(odd.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_EQ(odd.bus->State().firmwareCode, 0u);
    EXPECT_TRUE(odd.HasLine("traffic", 3, " // ==> FW VER 0x0999, unknown devices. "));
}

TEST_F(Decoder, CaptureHoldsExactlyItsSizeThenOverflows) {
    EXPECT_EQ(sim.Send({0x00, 0xC5, 0x00}), 3); // software reset arms the capture
    EXPECT_EQ(sim.Send({0x00, 0xA5, 0x00}), 3); // setup start begins it
    EXPECT_EQ(sim.bus->Capture().total, 3u);
    EXPECT_NE(sim.Text().find(" Start Capturing DulmAudio I2C Commands         \n "),
              std::string::npos);
    std::vector<uint8_t> filler(CaptureBuffer::kSize - 3, 0x11);
    sim.bus->CaptureAppend(static_cast<uint32_t>(filler.size()), filler.data());
    EXPECT_EQ(sim.bus->Capture().total, CaptureBuffer::kSize);
    EXPECT_EQ(sim.bus->Capture().label, " 16384 bytes");
    // A read never counts.
    uint8_t reply[3];
    EXPECT_EQ(sim.Send({0x00, 0xB7, 0x00}), 3);
    EXPECT_EQ(sim.bus->Receive(0x73, reply, 3, 3), 3);
    EXPECT_EQ(sim.bus->Capture().total, CaptureBuffer::kSize);
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x00}), 3);
    EXPECT_EQ(sim.bus->Capture().label, " -- Overflow -- ");
    EXPECT_EQ(sim.bus->Capture().total, CaptureBuffer::kOverflow);
    EXPECT_EQ(sim.ui->CaptureLabel(), " -- Overflow -- ");
}

TEST_F(Decoder, ShortWriteInvalidatesAndOfflineChangesNothing) {
    EXPECT_EQ(sim.Send({0x00, 0xC5, 0x00}), 3);
    EXPECT_EQ(sim.Send({0x00, 0xA5, 0x00}), 3);
    EXPECT_EQ(sim.Send({0x00, 0xC6}), 2);
    EXPECT_EQ(sim.bus->Capture().label, " -- Invalid -- ");
    EXPECT_EQ(sim.bus->Capture().total, CaptureBuffer::kInvalid);

    sim.bus->State().offline = 1;
    const uint8_t bytes[3] = {1, 2, 3};
    sim.bus->CaptureReset();
    sim.bus->CaptureAppend(3, bytes);
    EXPECT_EQ(sim.bus->Capture().label, " -- Invalid -- ");
    sim.board->clearLog();
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x00}), 3);
    EXPECT_TRUE(sim.Writes().empty());
}

TEST_F(Decoder, SoftwareResetReturnsTheAddressAndPowersTheCodec) {
    // The chip was moved to 0x74; after a reset it answers at 0x73 again.
    sim.board->attach(0x74, sim.chip);
    sim.bus->State().chipAddress = 0x74;
    EXPECT_EQ(sim.Send({0x00, 0xC5, 0x00}), 3);
    EXPECT_EQ(sim.chip->softResets(), 1u);
    EXPECT_EQ(sim.chip->registerX(u2csim::kAddressRegister), 0x74u << 4);
    EXPECT_TRUE(sim.HasLine("traffic", 2, " ==> Return I2C address to 0x74 (7 bit address)\n "));
    EXPECT_EQ(sim.chip->registerY(0xFF85), 3u);
    EXPECT_EQ(sim.chip->registerY(0xFF86), 1u);
    // The codec writes went through the decoder and were named.
    EXPECT_NE(sim.Text().find(" // Set CODEC Power Control"), std::string::npos);
    EXPECT_NE(sim.Text().find(" // CODEC Latch"), std::string::npos);
    // The reset arms the capture: the next setup start begins a new one.
    EXPECT_EQ(sim.bus->Capture().armed, 1u);
}

TEST_F(Decoder, IsAliveReadsTheMarkerWithoutSendingTheProbe) {
    EXPECT_EQ(sim.Send({0x14, 0xB2, 0x00}), 3);
    EXPECT_EQ(sim.ui->ConnectionState(), kChipAliveWithMarker);
    for (const Bytes& w : sim.Writes())
        EXPECT_NE(w, (Bytes{0x14, 0xB2, 0x00}));
    // A reset clears the marker: the next probe reports it.
    sim.bus->FdkInit(BusGate::Transfer::Raw);
    sim.bus->SendCommand(0x0000, 0xC5);
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x14, 0xB7, 0x00}), 3);
    EXPECT_EQ(sim.ui->ConnectionState(), kChipAlive);
    EXPECT_TRUE(sim.HasLine("traffic", 3, "\n # DulmAudio chip has been reset. \n "));
    // A bus whose reads all look alike fails the probe.
    sim.chip->setAllReadsEqual(true, 0x123456);
    EXPECT_EQ(sim.Send({0x14, 0xB2, 0x00}), -1);
    EXPECT_NE(sim.Text().find("IsAlive fail. Found ChipHwVersion 0x00123456;  ChipFwVersion "
                              "0x00123456 \n "),
              std::string::npos);
}

TEST_F(Decoder, PresetStageRunsOnceAfterEachReset) {
    SimBus qz(WithChip(0x7000, 0x0704));
    qz.OpenBridgeOnly(kFirmwareQZ625x, 8);
    qz.bus->State().ready = 1;
    EXPECT_EQ(qz.Send({0x00, 0xC2, 0x01}), 3); // speaker type
    EXPECT_EQ(qz.Send({0x00, 0xC0, 0x00}), 3); // global bypass
    const auto writes = qz.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], (Bytes{0x00, 0xAE, 0x00})); // the watchdog goes first, once
    EXPECT_EQ(writes[1], (Bytes{0x00, 0xC2, 0x01}));
    EXPECT_TRUE(qz.bus->PresetStageInjected());
    EXPECT_EQ(qz.bus->LastSpeakerType(), 1u);
    // A reset after a preset stage powers the amplifier down first.
    qz.ClearLog();
    EXPECT_EQ(qz.Send({0x00, 0xC5, 0x00}), 3);
    EXPECT_FALSE(qz.bus->PresetStageInjected());
    const auto reset = qz.Writes();
    ASSERT_GE(reset.size(), 4u);
    EXPECT_EQ(reset[0], (Bytes{0x00, 0xC7, 0x01}));
    EXPECT_EQ(reset[1], (Bytes{0xFF, 0xAB, 0xF3}));
    EXPECT_NE(qz.Text().find("#  Start Audio PWM and Power Amplifier Power-Down \n "),
              std::string::npos);
}

TEST_F(Decoder, SpecialCountsAndTweaks) {
    // An AEQ block of fewer than two words is invalid.
    EXPECT_EQ(sim.Send({0x00, 0xA3, 0x01}), 3);
    EXPECT_NE(sim.Text().find(" // Load AEQ - Start ; Invalid number of expected data word (1). "
                              "Verify AEQ file.\n "),
              std::string::npos);
    EXPECT_EQ(sim.bus->Decoder().remaining, 1u);
    EXPECT_EQ(sim.Send({0x00, 0x00, 0x05}), 3);
    EXPECT_EQ(sim.bus->Decoder().pending, Ext::None);
    EXPECT_EQ(sim.Send({0x00, 0xA3, 0x0C}), 3);
    EXPECT_NE(sim.Text().find(" // Load AEQ - Start ; Expected 12 data word for 2 filters => 2 + "
                              "(2 x 5). \n "),
              std::string::npos);
    sim.bus->Decoder() = {};
    // Tweaks value: stored, nothing sent; other low commands are refused.
    sim.board->clearLog();
    EXPECT_EQ(sim.Send({0x01, 0x07, 0x02}), 3);
    EXPECT_EQ(sim.bus->TweaksValue(), 0x0102);
    EXPECT_EQ(sim.Send({0x00, 0x03, 0x00}), 3);
    EXPECT_TRUE(sim.HasLine("traffic", 3, " -> Invalid Tweaks command value 0x03 \n "));
    EXPECT_TRUE(sim.Writes().empty());
    // With a tweaks value the patch announces its whole parameter.
    EXPECT_EQ(sim.Send({0x01, 0xA2, 0x02}), 3);
    EXPECT_EQ(sim.bus->Decoder().remaining, 0x0102u);
}

TEST_F(Decoder, SsiOnA2FirmwareBecomesAnSsiControlWord) {
    EXPECT_EQ(sim.Send({0xBC, 0xC4, 0xD5}), 3);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xA7, 0x3E}, {0x00, 0xBC, 0xD5}}));
    EXPECT_EQ(sim.chip->memoryX(0x3E), 0x00BCD5u);
    EXPECT_EQ(sim.bus->LastSsi(), 0xBCD5);
    EXPECT_NE(sim.Text().find(" # PLL and Clocks Configuration (verify 250usec delay between PLL "
                              "commands) \n "),
              std::string::npos);
    // Words in its place that do not reach the chip fail the setting.
    sim.chip->setHeldInReset(true);
    EXPECT_EQ(sim.Send({0xBC, 0xC4, 0xD5}), -1);
}

TEST_F(Decoder, OtherSlavesArePassedOnAsHexDumps) {
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x01, 0x02}, 0x50), -1); // nobody at 0x50
    EXPECT_TRUE(sim.HasLine("traffic", 1, "I2C W 0x50: 0x01 0x02 "));
    EXPECT_TRUE(sim.HasLine("traffic", 3, "\n ==> I2C Transaction Failed \n "));
}

TEST_F(Decoder, SetupSequenceDrivesTheDialogsHooks) {
    sim.ui->SetChecked(ctl::kClearLogOnStart, true);
    sim.ui->SetChecked(ctl::kEnableTweaksAtPreset, true);
    auto clears = [&] {
        int n = 0;
        for (const Record& r : sim.records)
            n += r.pane == "traffic" && r.colour == -1;
        return n;
    };
    // The first setup sequence after loading keeps the log.
    EXPECT_EQ(sim.Send({0x00, 0xA5, 0x00}), 3);
    EXPECT_EQ(clears(), 0);
    EXPECT_EQ(sim.Send({0x00, 0xAC, 0x00}), 3);
    EXPECT_TRUE(sim.ui->TweaksRunning());
    // A reset stops the tweaks and, from the second sequence on, clears.
    EXPECT_EQ(sim.Send({0x00, 0xC5, 0x00}), 3);
    EXPECT_FALSE(sim.ui->TweaksRunning());
    EXPECT_EQ(clears(), 1);
    EXPECT_EQ(sim.Send({0x00, 0xA5, 0x00}), 3);
    EXPECT_EQ(clears(), 2);
}

TEST_F(Decoder, SsiSettingIsDecodedWhereTheFirmwareTakesIt) {
    SimBus qz(WithChip(0x7000, 0x0704));
    qz.OpenBridgeOnly(kFirmwareQZ625x, 8);
    EXPECT_EQ(qz.Send({0xBC, 0xC4, 0xD5}), 3);
    EXPECT_EQ(qz.Writes(), (std::vector<Bytes>{{0xBC, 0xC4, 0xD5}}));
    EXPECT_NE(qz.Text().find(" // Set SSI:  Master mode, I2S, 24bit, 64 x DCLK,\n "),
              std::string::npos)
        << qz.Text();
    EXPECT_EQ(qz.bus->LastSsi(), 0xBCD5);
}

} // namespace
