// The exports and the evaluation board against the daemon u2c-sim in a
// separate process, with its EEPROM, amplifier and S/PDIF devices; the
// preset area is read back through libTerovanU2C.so, as the plug-in's
// bridge would see it.
#include "../SimBus.h"

#include "bridge/TerovanU2C.h"
#include "busaccess/busgate/BridgePresets.h"
#include "busaccess/busgate/CExport.h"
#include "busaccess/busgate/EepromExport.h"
#include "busaccess/busgate/EvalBoard.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace busgate;
using namespace busgate::testing;

namespace {

struct SocketEnv {
    explicit SocketEnv(const std::string& value) {
        ::setenv("TEROVAN_U2C_SOCKET", value.c_str(), 1);
    }
    ~SocketEnv() { ::unsetenv("TEROVAN_U2C_SOCKET"); }
};

bool Has(const std::vector<Record>& records, const char* pane, int colour, std::string_view text) {
    for (const Record& r : records)
        if (r.pane == pane && r.colour == colour && r.text == text)
            return true;
    return false;
}

TEST(ExportsWithDaemon, EachOperationDrivesTheSimulatedBoard) {
    u2csim::SimDaemon sim(U2C_SIM_PATH,
                          {"--chip-subversion", "0x0606", "--eeprom-blocks", "2", "--amplifier",
                           "--spdif-tx", "--spdif-rx", "0x17", "--spdif-rx-register", "0x18=64",
                           "--pin-input", "0x45=1"});
    ASSERT_TRUE(sim.ready());
    SocketEnv env(sim.socketPath());

    busaccess::BridgeDriver driver(nullptr, std::make_shared<NoMessages>());
    DriverBridgePort port(driver);
    std::vector<Record> records;
    HeadlessLogger ui([&](std::string_view line) { records.push_back(ParseRecord(line)); });
    ManualClock clock;
    BusGate bus(port, ui, clock);
    auto boxes = std::make_shared<RecordedBoxes>();
    bus.SetMessages(boxes);
    ASSERT_EQ(bus.Open(), BusGate::kHandle);

    // A setup sequence through the library's own transmit.
    std::vector<uint8_t> setup = {0x00, 0xA5, 0x00, 0x00, 0xC2, 0x00, 0x00, 0xC6, 0x01};
    ASSERT_EQ(bus.Transmit(0x73, setup.data(), static_cast<uint32_t>(setup.size())), 9);
    ASSERT_EQ(bus.Capture().total, 9u);

    ExportToEepromDevice(bus);
    ScriptedFiles files;
    files.dialogs.Push(files.Path("dump"));
    DumpEepromToFile(bus);
    const std::string dump = files.Read("dump.bin");
    ASSERT_EQ(dump.size(), 512u);
    EXPECT_EQ(dump.substr(0, 9), std::string(setup.begin(), setup.end()));
    EXPECT_NE(files.Read("dump.txt").find("0x0006: 0x00 0xC6 0x01  // Set Leveler"),
              std::string::npos);

    files.dialogs.Push(files.Path("Tune"));
    CExport2File::ExportCFiles(bus);
    EXPECT_NE(files.Read("Tune_Alg.c").find("\t0x00, 0xC6, 0x01, "), std::string::npos);

    ExportPresetToBridge(bus, 2);

    bus.Evb() = EvbState{};
    Tas5713Configure(bus);
    Tas5713ReportStatus(bus);
    EXPECT_TRUE(Has(records, "evb", 2, " * Found TAS5713 device. \n "));
    EvbConfigureSpdif(bus, kSpdifNoInput);
    EvbReportSpdifStatus(bus);
    EXPECT_TRUE(
        Has(records, "evb", 3, " * Fail to found CS8416-CZZ device on I2C address 0x13. \n "));
    EXPECT_TRUE(Has(records, "evb", 2, " * Sample Rate : 48.0000KHz \n "));
    EvbSetChipReset(bus, 1);
    EvbSetChipReset(bus, 0);
    EXPECT_EQ(bus.Evb().i2cmsStrap, 1);

    std::vector<std::string> shown;
    for (const auto& b : boxes->shown)
        shown.push_back(b.caption + ": " + b.text);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Export to EEPROM device: Program completed successfully.",
                         "Dump EEPROM into file: Dump completed successfully.",
                         "Export to Files: Export completed successfully.",
                         "Export preset to MK340: Program completed successfully."}));
    bus.Close();

    // The plug-in's bridge reads the preset back.
    const int32_t h = TerovanU2C_OpenDevice(0, 100000);
    ASSERT_NE(h, -1);
    uint8_t header[16 + 6] = {};
    ASSERT_EQ(TerovanU2C_ReadFlash(h, PresetAreaStart(2), header, sizeof header), 1);
    EXPECT_EQ(u2c::GetLE32(header), 0x11223302u);
    EXPECT_EQ(u2c::GetLE32(header + 4), 0x6000u);
    EXPECT_EQ(u2c::GetLE32(header + 8), 0x0606u);
    EXPECT_EQ(u2c::GetLE32(header + 12), 6u + 8u + 3u * 6u);
    const uint8_t reset[6] = {0x73, 0x03, 0x00, 0x00, 0xC5, 0x00};
    EXPECT_EQ(std::memcmp(header + 16, reset, 6), 0);
    EXPECT_EQ(TerovanU2C_CloseDevice(h), 1);
}

} // namespace
