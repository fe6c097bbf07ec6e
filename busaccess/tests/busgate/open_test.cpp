// busgate_open's probe, close, transmit and receive against the simulated
// board.
#include "SimBus.h"

#include <gtest/gtest.h>

#include <thread>

using namespace busgate;
using namespace busgate::testing;
using namespace std::chrono_literals;
using u2c::Bytes;

namespace {

TEST(Open, IdentifiesAQX410MOnTheEvaluationBoard) {
    SimBus sim(WithChip(0x6000, 0x0606, 0x060000));
    const uint32_t handle = sim.bus->Open();
    EXPECT_NE(handle, 0u);
    EXPECT_NE(handle, 0xFFFFFFFFu);
    // Each line whole, in its colour.
    const std::pair<int, const char*> lines[] = {{2, "* Board Type: QX41xx Evaluation Board \n "},
                                                 {2, "* Board Firmware Revision: 0x10004 \n "},
                                                 {2, "* Chip I2C address 0x73 \n "},
                                                 {2, "* Chip Hardware Ver: QX410x (0x6000)\n "},
                                                 {2, "* Chip Firmware Ver: A2 (0x0606)\n "},
                                                 {2, "* Chip Type: QX410M (Mobile) \n "},
                                                 {1, "* REF Strap: CRYSTAL / CLKIN \n "}};
    for (const auto& [colour, line] : lines)
        EXPECT_TRUE(sim.HasLine("status", colour, line)) << line << sim.Text("status");
    EXPECT_TRUE(sim.HasLine("traffic", 1, "--> Open I2C communication. \n "));
    const BusState& s = sim.bus->State();
    EXPECT_EQ(s.chipTypeCode, 2u);
    EXPECT_STREQ(s.chipTypeName, "CHIPTYPE_QX410M");
    EXPECT_EQ(s.firmwareCode, kFirmwareA2);
    EXPECT_STREQ(s.chipFirmwareName, "CHIPFW_A2");
    EXPECT_EQ(s.boardType, 1);
    EXPECT_EQ(s.open, 1u);
    EXPECT_EQ(s.ready, 1u);
    EXPECT_EQ(sim.ui->EvbDialogType(), 1);
    EXPECT_TRUE(sim.ui->IsEnabled(ctl::kEvbConfig));
    EXPECT_TRUE(sim.ui->IsEnabled(ctl::kProgramAll));
    EXPECT_TRUE(sim.ui->IsEnabled(ctl::kSpeakersRotation));
    EXPECT_FALSE(sim.ui->IsEnabled(ctl::kPwmAndAmp));
    EXPECT_EQ(sim.ui->UpdateAfterOpenCount(), 1);
    // The probe reads the straps word with the frame {FF B5 F1}.
    const auto writes = sim.Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), (Bytes{0xFF, 0xB5, 0xF1}));
    EXPECT_EQ(sim.Text().find("Get Chip Flavor"), std::string::npos) << "the probe is not decoded";
    // The library's own commands go to the chip without being decoded,
    // logged or captured.
    sim.ClearLog();
    sim.bus->Decoder() = {};
    EXPECT_EQ(sim.bus->SendCommand(0x0001, 0xC6), 0);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC6, 0x01}}));
    EXPECT_TRUE(sim.Text().empty()) << sim.Text();
    EXPECT_EQ(sim.bus->Capture().total, 0u);
    // A second open, with the firmware now known, sees the same chip type.
    sim.clock.Advance(10s);
    EXPECT_NE(sim.bus->Open(), 0u);
    EXPECT_STREQ(sim.bus->State().chipTypeName, "CHIPTYPE_QX410M");
}

TEST(Open, ChipFamiliesAndFlavours) {
    struct Case {
        uint32_t hardware, firmware, straps;
        uint32_t firmwareCode, typeCode;
        const char* typeName;
        const char* line;
        bool pwmAndAmp;
    } cases[] = {
        {0x6000, 0x0505, 0x020000, 1, 1, "CHIPTYPE_QX410B", "* Chip Firmware Ver: A1 (0x0505)\n ",
         false},
        {0x6000, 0x0777, 0x000000, 2, 4, "CHIPTYPE_QX410T",
         "* Chip Firmware Ver: Unknown (0x0777) \n ", false},
        {0x7000, 0x0704, 0x021000, 4, 16, "CHIPTYPE_QZ625xF", "* Chip Flavor: QZ625xF (Full) \n ",
         true},
        {0x7000, 0x0704, 0x020000, 4, 8, "CHIPTYPE_QZ625xB", "* Chip Flavor: QZ625xB (Basic) \n ",
         true},
        {0x7000, 0x0704, 0x000000, 4, 32, "CHIPTYPE_QX412D", "* Chip Flavor: QX412D (Digital)\n ",
         true},
        {0x7000, 0x0704, 0x001000, 4, 0, "CHIPTYPE_INVALID", "* Chip Flavor: Unknown (0x0001) \n ",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeName);
        SimBus sim(WithChip(c.hardware, c.firmware, c.straps));
        EXPECT_NE(sim.bus->Open(), 0u);
        EXPECT_EQ(sim.bus->State().firmwareCode, c.firmwareCode);
        EXPECT_EQ(sim.bus->State().chipTypeCode, c.typeCode);
        EXPECT_STREQ(sim.bus->State().chipTypeName, c.typeName);
        EXPECT_NE(sim.Text("status").find(c.line), std::string::npos) << sim.Text("status");
        EXPECT_EQ(sim.ui->IsEnabled(ctl::kPwmAndAmp), c.pwmAndAmp);
        EXPECT_EQ(sim.ui->PwrAmpTimerRunning(), c.pwmAndAmp);
    }
    // Bit 0 of the straps word: the reference clock comes from DCLK.
    SimBus dclk(WithChip(0x6000, 0x0606, 0x060001));
    EXPECT_NE(dclk.bus->Open(), 0u);
    EXPECT_TRUE(dclk.HasLine("status", 1, "* REF Strap: DCLK  \n "));
}

TEST(Open, RejectsABusWhoseReadsAreAllEqual) {
    SimBus sim;
    sim.chip->setAllReadsEqual(true, 0x000000);
    EXPECT_EQ(sim.bus->Open(), 0u);
    EXPECT_TRUE(sim.HasLine("traffic", 3, " -- Invalid Chip HW/FW Version.\n "));
    EXPECT_TRUE(sim.HasLine("status", 4, " !! Try to reset DulmAudio chip !!\n "));
    EXPECT_EQ(sim.bus->State().ready, 0u);
    EXPECT_EQ(sim.bus->State().open, 0u);
    EXPECT_FALSE(sim.board->deviceOpen());
}

TEST(Open, ReportsAMissingBoardAndAMissingChip) {
    SimBusConfig none;
    none.boardPresent = false;
    SimBus noBoard(none);
    EXPECT_EQ(noBoard.bus->Open(), 0u);
    EXPECT_TRUE(noBoard.HasLine("traffic", 3, "Fail to open USB-to-I2C device. \n "));
    EXPECT_TRUE(noBoard.HasLine("status", 3, "* No USB-to-I2C exist.\n "));

    SimBusConfig noChip;
    noChip.chipPresent = false;
    SimBus absent(noChip);
    EXPECT_EQ(absent.bus->Open(), 0u);
    EXPECT_TRUE(absent.HasLine("status", 3, "* No DulmAudio chip was found \n "));

    SimBus held;
    held.chip->setHeldInReset(true);
    EXPECT_EQ(held.bus->Open(), 0u);
    EXPECT_TRUE(held.HasLine("traffic", 3, " -- IsAlive? to I2C address 0x73 has failed. \n "));
    EXPECT_TRUE(held.HasLine("status", 3, "* No DulmAudio chip was found \n "));
    EXPECT_TRUE(held.HasLine("status", 4, " !!! Try to reset the chip !!! \n "));
    EXPECT_FALSE(held.board->deviceOpen());
    // Found at another address first: the default address is tried too.
    held.chip->setHeldInReset(false);
    held.bus->State().chipAddress = 0x74;
    held.clock.Advance(std::chrono::seconds(10));
    EXPECT_NE(held.bus->Open(), 0u);
    EXPECT_TRUE(held.HasLine("traffic", 3, " -- Trying default address 0x73. \n "));
    EXPECT_EQ(held.bus->State().chipAddress, 0x73);
}

TEST(Open, OldBridgeFirmwareIsReported) {
    SimBusConfig config;
    config.board.oldFirmware = true;
    SimBus sim(config);
    EXPECT_NE(sim.bus->Open(), 0u);
    EXPECT_TRUE(sim.HasLine("status", 3, "MK340 firmware update is recommended.\n "));
    EXPECT_TRUE(sim.HasLine("status", 3, "Upgrade to version 1.0.0 or above.\n "));
    EXPECT_FALSE(sim.ui->IsEnabled(ctl::kProgramAll));
    EXPECT_EQ(sim.bus->State().boardType, 1);

    // Neither service address answers: the board is not identified, and an
    // evaluation-board dialog gives way to the plain object.
    SimBus silent;
    EXPECT_NE(silent.bus->Open(), 0u);
    EXPECT_EQ(silent.ui->EvbDialogType(), 1);
    silent.clock.Advance(std::chrono::seconds(10));
    silent.ClearLog();
    // The driver's own probe of 0x80, then the two of the firmware check.
    silent.board->injectFault(u2csim::Fault::nak, 3);
    EXPECT_NE(silent.bus->Open(), 0u);
    EXPECT_TRUE(silent.HasLine("status", 3, "MK340 firmware upgrade is required.\n "));
    EXPECT_TRUE(silent.HasLine("status", 3, "Upgrade to version 1.0.0 or above.\n "));
    EXPECT_EQ(silent.Text("status").find("* Board Type"), std::string::npos);
    EXPECT_EQ(silent.bus->State().boardType, -1);
    EXPECT_EQ(silent.ui->EvbDialogType(), 0);
    EXPECT_FALSE(silent.ui->IsEnabled(ctl::kEvbConfig));
}

TEST(Open, BoardTypes) {
    struct Case {
        uint16_t type;
        const char* line;
        int colour;
        int evbDialog;
    } cases[] = {
        {1, "* Board Type: QX41xx Evaluation Board \n ", 2, 1},
        {2, "* Board Type: USB-to-I2C Utility Board \n ", 2, 0},
        {3, "* Board Type: Terovan USB Soundbar \n ", 2, 0},
        {4, "* Board Type: PowerDulm Evaluation Board \n ", 2, 4},
        {9, "* Board Type: Unknown (9) \n ", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        SimBusConfig config;
        config.board.boardType = c.type;
        config.board.firmware = 0x0102;
        SimBus sim(config);
        EXPECT_NE(sim.bus->Open(), 0u) << "an unknown board still opens";
        EXPECT_TRUE(sim.HasLine("status", c.colour, c.line)) << sim.Text("status");
        EXPECT_TRUE(sim.HasLine("status", 2, "* Board Firmware Revision: 0x0102 \n "));
        EXPECT_EQ(sim.ui->EvbDialogType(), c.evbDialog);
        EXPECT_EQ(sim.ui->IsEnabled(ctl::kEvbConfig), c.evbDialog != 0);
        EXPECT_EQ(sim.bus->State().boardType, c.type);
        EXPECT_EQ(sim.bus->State().boardFirmwareRevision, 0x0102);
    }
}

TEST(Open, BacksOffRepeatedAttemptsOnAMonotonicClock) {
    SimBus sim;
    // Attempts a second apart widen the back-off by 200 ms each, so the
    // eighth finds the window (1.2 s) still running.
    for (int attempt = 1; attempt <= 7; ++attempt) {
        EXPECT_NE(sim.bus->Open(), 0u) << attempt;
        sim.clock.Advance(1s);
    }
    sim.board->clearLog();
    EXPECT_EQ(sim.bus->Open(), 0u);
    EXPECT_TRUE(sim.board->log().empty());
    // Attempts spaced more than 8 s apart never wait.
    SimBus spaced;
    for (int attempt = 1; attempt <= 10; ++attempt) {
        EXPECT_NE(spaced.bus->Open(), 0u) << attempt;
        spaced.clock.Advance(8001ms);
    }
    EXPECT_EQ(spaced.bus->State().backoff, 0ms);
}

TEST(Open, OnlyOnTheFirstCallersThreadAndNeverWhileTheLockIsHeld) {
    SimBus sim;
    EXPECT_NE(sim.bus->Open(), 0u);
    sim.clock.Advance(10s);
    uint32_t fromOther = 1;
    std::thread([&] { fromOther = sim.bus->Open(); }).join();
    EXPECT_EQ(fromOther, 0u);
    sim.bus->Lock().Lock();
    EXPECT_EQ(sim.bus->Open(), 0u);
    sim.bus->Lock().Unlock();
}

TEST(Transfers, GoToTheDetectedChipAddress) {
    SimBus sim;
    EXPECT_NE(sim.bus->Open(), 0u);
    sim.board->attach(0x74, sim.chip);
    sim.bus->State().chipAddress = 0x74;
    sim.board->clearLog();
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), 3);
    EXPECT_EQ(sim.Writes(0x74), (std::vector<Bytes>{{0x00, 0xC6, 0x01}}));
    EXPECT_TRUE(sim.Writes(0x73).empty());
}

TEST(Transfers, RefuseUnsafeCallsWithoutTraffic) {
    SimBus sim;
    EXPECT_NE(sim.bus->Open(), 0u);
    sim.board->clearLog();
    uint8_t buffer[4] = {};
    // Longer than the caller's buffer.
    EXPECT_EQ(sim.bus->Receive(0x73, buffer, 2, 3), -1);
    // Nested inside a call that holds the lock on this thread.
    sim.bus->Lock().Lock();
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), -1);
    EXPECT_EQ(sim.bus->Receive(0x73, buffer, 4, 3), -1);
    sim.bus->Lock().Unlock();
    EXPECT_TRUE(sim.board->log().empty());
    // The caller's data is never written, also when a read is rewritten.
    const uint8_t command[3] = {0x00, 0xB8, 0x00};
    EXPECT_EQ(sim.bus->Transmit(0x73, command, 3), 3);
    EXPECT_EQ(command[1], 0xB8);
}

TEST(Transfers, FailAfterClose) {
    SimBus sim;
    EXPECT_NE(sim.bus->Open(), 0u);
    sim.bus->Close();
    EXPECT_EQ(sim.ui->ConnectionState(), kDisconnected);
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), -1);
    EXPECT_TRUE(sim.HasLine("traffic", 3, "\n ==> I2C Transaction Failed \n "));
}

} // namespace
