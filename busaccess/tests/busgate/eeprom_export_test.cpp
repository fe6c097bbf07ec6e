// The EEPROM exports against the simulated board with its EEPROM.
#include "SimBus.h"

#include "busaccess/busgate/EepromExport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace busgate;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

SimBusConfig WithEeprom(uint32_t blocks, bool writeProtect = false, bool neverReady = false) {
    SimBusConfig c;
    c.peripherals = u2csim::PeripheralConfig{};
    c.peripherals->eeprom.blocks = blocks;
    c.peripherals->eeprom.writeProtect = writeProtect;
    c.peripherals->eeprom.neverReadyAgain = neverReady;
    return c;
}

struct Eeprom : ::testing::Test {
    explicit Eeprom(SimBusConfig config = WithEeprom(2)) : sim(std::move(config)) {
        sim.OpenBridgeOnly();
        sim.bus->State().boardFirmwareRevision = 0x00010004;
    }
    // The frames that went out, as the board logged them.
    std::vector<Bytes> FramesOut() const {
        std::vector<Bytes> out;
        for (const auto& r : sim.board->log())
            if (r.out)
                out.push_back(r.bytes);
        return out;
    }
    Bytes Contents() const { return sim.devices.eeprom->contents(); }
    SimBus sim;
};

struct SmallEeprom : Eeprom {};

TEST_F(SmallEeprom, ACaptureLargerThanTheDeviceIsRefusedAndNothingIsWritten) {
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, 170)); // 513 bytes with Setup Start
    ASSERT_EQ(sim.bus->Capture().total, 513u);
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus);
    EXPECT_TRUE(sim.HasLine("traffic", 1,
                            "-> Found EEPROM device size 512 bytes, buffer size 513 bytes. \n "));
    EXPECT_TRUE(sim.HasLine("traffic", 3, "-> EEPROM device size is too small.\n "));
    EXPECT_EQ(sim.Boxes(), (std::vector<std::string>{
                               "!Export to EEPROM device: EEPROM device size is too small."}));
    EXPECT_EQ(Contents(), Bytes(512, 0xFF));
}

TEST_F(SmallEeprom, ProgramsTheCaptureVerifiesItAndChecksCompatibility) {
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, 169)); // 510 bytes
    const uint32_t total = sim.bus->Capture().total;
    ASSERT_EQ(total, 510u);
    const Bytes image(sim.bus->Capture().bytes.begin(), sim.bus->Capture().bytes.begin() + total);
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus);
    Bytes contents = Contents();
    EXPECT_EQ(Bytes(contents.begin(), contents.begin() + total), image);
    EXPECT_EQ(sim.Boxes(), (std::vector<std::string>{
                               "Export to EEPROM device: Program completed successfully."}));
    const std::string text = sim.Text();
    EXPECT_NE(text.find("-> Verify EEPROM device compatibility ... Done.\n "), std::string::npos)
        << text;
    EXPECT_TRUE(sim.TextIn(3).empty()) << sim.TextIn(3);
}

TEST_F(SmallEeprom, EraseWritesTheLastOffsetToTheSecondDeviceThenPollsIt) {
    sim.devices.eeprom->setContents(0, Bytes(512, 0x12));
    EraseEepromDevice(*sim.bus);
    EXPECT_EQ(Contents(), Bytes(512, 0xFF));
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"Erase EEPROM device: Erase completed successfully."}));
    const std::vector<Bytes> frames = FramesOut();
    const Bytes last = {0xC6, 0x00, 0x00, 0x00, 0x00, 0x51, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    auto at = std::find(frames.begin(), frames.end(), last);
    ASSERT_NE(at, frames.end());
    // Acknowledge polling: 1-byte reads of 0x51 until it answers (the
    // model refuses two accesses after each write).
    const Bytes poll = {0xC5, 0x00, 0x00, 0x00, 0x00, 0x51, 0x01, 0x00, 0x00, 0x00};
    ASSERT_GE(frames.end() - at, 4);
    EXPECT_EQ(at[1], poll);
    EXPECT_EQ(at[2], poll);
    EXPECT_EQ(at[3], poll);
}

TEST_F(SmallEeprom, NothingHappensWithoutAValidCapture) {
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus); // empty
    sim.FillCapture({0x00, 0xC6});  // a broken command invalidates the capture
    ASSERT_EQ(sim.bus->Capture().total, CaptureBuffer::kInvalid);
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus);
    EXPECT_TRUE(sim.records.empty());
    EXPECT_TRUE(sim.Boxes().empty());
    EXPECT_TRUE(sim.board->log().empty());

    // A software reset arms the capture again; more than it holds
    // overflows it.
    sim.Send({0x00, 0xC5, 0x00});
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, CaptureBuffer::kSize / 3 + 1));
    ASSERT_EQ(sim.bus->Capture().total, CaptureBuffer::kOverflow);
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus);
    EXPECT_TRUE(sim.records.empty());
    EXPECT_TRUE(sim.Boxes().empty());
    EXPECT_TRUE(sim.board->log().empty());
}

TEST_F(SmallEeprom, CompatibilityReadTakesTwoBytesAGroupWithOldBoardFirmware) {
    for (uint32_t revision : {0x00010004u, 0x0000FFFFu}) {
        sim.bus->State().boardFirmwareRevision = static_cast<int32_t>(revision);
        sim.devices.eeprom->setContents(0, {1, 2, 3, 4, 5, 6});
        uint8_t buffer[6] = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
        ASSERT_EQ(EepromCompatibilityRead(*sim.bus, buffer, 2), 1);
        if (revision > 0xFFFF)
            EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{1, 2, 3, 4, 5, 6}));
        else // sequential reads run on: the third byte of each group is never read
            EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{1, 2, 0xCC, 3, 4, 0xCC}));
    }
}

struct NoEeprom : Eeprom {
    NoEeprom() : Eeprom(WithEeprom(0)) {}
};

TEST_F(NoEeprom, EachOperationReportsTheMissingDevice) {
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, 2));
    ScriptedFiles files;
    ExportToEepromDevice(*sim.bus);
    EraseEepromDevice(*sim.bus);
    DumpEepromToFile(*sim.bus);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export to EEPROM device: Fail to access EEPROM device.",
                                        "!Erase EEPROM device: Fail to access EEPROM device.",
                                        "!Dump EEPROM into file: Fail to access EEPROM device."}));
    EXPECT_TRUE(files.dialogs.shown.empty());
}

struct ProtectedEeprom : Eeprom {
    ProtectedEeprom() : Eeprom(WithEeprom(8, /*writeProtect=*/true)) {}
};

TEST_F(ProtectedEeprom, AWriteThatIsRefusedEndsTheExportWithTheProtectionHint) {
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, 3));
    sim.ClearLog();
    ExportToEepromDevice(*sim.bus);
    EXPECT_TRUE(sim.HasLine("traffic", 3, "\n "));
    EXPECT_TRUE(sim.HasLine(
        "traffic", 3,
        "-> Fail to access EEPROM at I2C address 0x50. EEPROM device return NACK. \n "));
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{
                  "!EEPROM Write:  Fail to access EEPROM.\n Verify Write Protection."}));
    EXPECT_EQ(Contents(), Bytes(2048, 0xFF));
}

struct DeadEeprom : Eeprom {
    DeadEeprom() : Eeprom(WithEeprom(1, false, /*neverReady=*/true)) {}
};

TEST_F(DeadEeprom, AcknowledgePollingGivesUpWithinItsBound) {
    const auto start = sim.clock.Now();
    const uint8_t bytes[2] = {0x11, 0x22};
    EXPECT_EQ(EepromWrite(*sim.bus, 0, bytes, 2), 0);
    EXPECT_LT(sim.clock.Now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(sim.HasLine(
        "traffic", 3,
        "-> Fail to access EEPROM at I2C address 0x50. EEPROM device return NACK. \n "));
    EXPECT_EQ(Contents()[0], 0x11);
    EXPECT_EQ(Contents()[1], 0xFF); // the second byte never went out
}

// An EEPROM image: groups decoded up to Setup Completed at 0x30, then
// whatever follows listed only.
Bytes BootImage() {
    Bytes image = Repeat({0x00, 0xC6, 0x01}, 16);  // 0x00-0x2F
    image.insert(image.end(), {0x00, 0xAC, 0x00}); // 0x30
    image.insert(image.end(), {0x00, 0xA1, 0x05}); // 0x33, never decoded
    return image;
}

struct EepromDump : Eeprom {
    ScriptedFiles files;
};

TEST_F(EepromDump, WritesTheBinaryAndTheListingBesideTheChosenName) {
    sim.devices.eeprom->setContents(0, BootImage());
    files.dialogs.Push(files.Path("dump.bin"));
    DumpEepromToFile(*sim.bus);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"Dump EEPROM into file: Dump completed successfully."}));
    ASSERT_EQ(files.dialogs.shown.size(), 1u);
    EXPECT_EQ(files.Shown(0),
              "Dump EEPROM Content to File; EEPROM_Dump; .bin; Enter File Name (*.)|*.;");
    const std::string binary = files.Read("dump.bin");
    EXPECT_EQ(Bytes(binary.begin(), binary.end()), Contents());
    EXPECT_FALSE(std::filesystem::exists(files.folder / "dump.bin.bin"));

    const std::string listing = files.Read("dump.txt");
    ASSERT_FALSE(listing.empty());
    EXPECT_EQ(listing.substr(0, 8), " 0x0000:");
    EXPECT_NE(listing.find("0x002D: 0x00 0xC6 0x01  // Set Leveler : OFF\n "), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("0x0030: 0x00 0xAC 0x00  // Setup Completed"), std::string::npos);
    EXPECT_NE(listing.find("0x0033: 0x00 0xA1 0x05 \n 0x0036: 0xFF 0xFF 0xFF \n "),
              std::string::npos);
    // 512 bytes: 170 whole groups, the last at 0x1FB.
    EXPECT_NE(listing.find("0x01FB: 0xFF 0xFF 0xFF \n "), std::string::npos);
    EXPECT_EQ(listing.find("0x01FE:"), std::string::npos);
    // Banners and separators are not comments: they stay out of the file.
    EXPECT_EQ(listing.find("-----"), std::string::npos);
}

TEST_F(EepromDump, TheReplayLeavesTheLiveDecoderAsItWas) {
    // The image ends in the middle of an extended command.
    sim.devices.eeprom->setContents(0, {0x00, 0xA1, 0x05});
    files.dialogs.Push(files.Path("state.txt"));
    DumpEepromToFile(*sim.bus);
    ASSERT_TRUE(std::filesystem::exists(files.folder / "state.bin"));
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), 3);
    EXPECT_NE(sim.Text().find(" // Set Leveler"), std::string::npos) << sim.Text();
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC6, 0x01}}));
    EXPECT_EQ(sim.bus->State().offline, 0u);
}

TEST_F(EepromDump, CancelAndUnwritableFolderEndTheDumpWithTheirLines) {
    files.dialogs.PushCancel();
    DumpEepromToFile(*sim.bus);
    EXPECT_NE(sim.Text().find("-> Abort by user.\n "), std::string::npos);

    // The chosen folder is a file: nothing can be written there.
    const std::string blocker = files.Path("blocker");
    std::ofstream(blocker) << "x";
    files.dialogs.Push(blocker + "/dump");
    sim.ClearLog();
    sim.boxes->shown.clear();
    DumpEepromToFile(*sim.bus);
    EXPECT_TRUE(sim.HasLine("traffic", 3, "-> Fail to open *.bin file for write.\n "));
    EXPECT_EQ(sim.Boxes(), (std::vector<std::string>{
                               "!Dump EEPROM into file: Fail to open *.bin file for write."}));
    EXPECT_EQ(files.Read("blocker"), "x");
}

} // namespace
