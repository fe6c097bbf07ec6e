// The main window's commands on the simulated board: the two exports the
// window does itself, the EEPROM commands' bridge and lock handling, and the
// bridge-flash questions.
#include "SimBus.h"

#include "loggerui/MainCommands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace loggerui;
using namespace busgate::testing;

namespace {

SimBusConfig WithEeprom() {
    SimBusConfig c;
    c.peripherals = u2csim::PeripheralConfig{};
    c.peripherals->eeprom.blocks = 2;
    return c;
}

struct MainCommands : ::testing::Test {
    MainCommands() { sim.bus->SetMessages(sim.boxes); }
    SimBus sim{WithEeprom()};
    ScriptedFiles files;
};

TEST_F(MainCommands, TheBinExportOfAnEmptyCaptureWritesAnEmptyFile) {
    files.dialogs.Push(files.Path("DulmDSP.bin"));
    EXPECT_TRUE(ExportCaptureBin(*sim.bus));
    EXPECT_TRUE(std::filesystem::exists(files.Path("DulmDSP.bin")));
    EXPECT_EQ(files.Read("DulmDSP.bin"), "");
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"Export to file: Export completed successfully."}));
    EXPECT_EQ(files.dialogs.shown.at(0).options.title, "Export to file");
    EXPECT_EQ(files.dialogs.shown.at(0).options.defaultName, "DulmDSP.bin");
    EXPECT_EQ(files.dialogs.shown.at(0).options.defaultExtension, ".bin");
    ASSERT_EQ(files.dialogs.shown.at(0).filter.size(), 1u);
    EXPECT_EQ(files.dialogs.shown.at(0).filter[0].description, "Enter BIN File Name (*.bin)");
    EXPECT_EQ(files.dialogs.shown.at(0).filter[0].pattern, "*.bin");
}

TEST(FileDialogOptions, TheFilterIsReadUpToItsEmptyEntry) {
    const kvFM::KCDialogCreationOptions options = FileDialogOptions(
        "Save to File", "DulmLogger.txt", ".txt", "Log Files (*.txt)|*.txt|All Files (*.*)|*.*||");
    ASSERT_EQ(options.filter.size(), 2u);
    EXPECT_EQ(options.filter[0].description, "Log Files (*.txt)");
    EXPECT_EQ(options.filter[0].pattern, "*.txt");
    EXPECT_EQ(options.filter[1].description, "All Files (*.*)");
    EXPECT_EQ(options.filter[1].pattern, "*.*");
    EXPECT_EQ(options.defaultName, "DulmLogger.txt");
    // A filter cut short keeps only its whole entries.
    EXPECT_TRUE(FileDialogOptions("t", "n", ".x", "Alone").filter.empty());
    EXPECT_TRUE(FileDialogOptions("t", "n", ".x", "").filter.empty());
}

TEST_F(MainCommands, TheBinExportWritesTheCaptureAndReportsAFailedWrite) {
    sim.OpenBridgeOnly();
    sim.FillCapture({0x00, 0xC6, 0x01, 0x00, 0xC6, 0x00});
    files.dialogs.Push(files.Path("c.bin"));
    EXPECT_TRUE(ExportCaptureBin(*sim.bus));
    EXPECT_EQ(files.Read("c.bin").size(), sim.bus->Capture().total);
    EXPECT_GT(sim.bus->Capture().total, 0u);

    std::filesystem::create_directories(files.folder / "taken.bin");
    files.dialogs.Push(files.Path("taken.bin"));
    sim.boxes->shown.clear();
    EXPECT_FALSE(ExportCaptureBin(*sim.bus));
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export to file: Fail to open file for write."}));
    EXPECT_TRUE(std::filesystem::is_directory(files.folder / "taken.bin"));

    files.dialogs.PushCancel();
    sim.boxes->shown.clear();
    EXPECT_FALSE(ExportCaptureBin(*sim.bus));
    EXPECT_TRUE(sim.Boxes().empty());
}

TEST_F(MainCommands, ASavedLogHoldsTheHeaderAndBothPanes) {
    EXPECT_EQ(LogFileText("info", "log"), " DulmLogger 3.5.0.7 \n\ninfo\n\nlog");
    files.dialogs.Push(files.Path("DulmLogger.txt"));
    EXPECT_TRUE(SaveLogToFile(*sim.bus, " I", " L"));
    EXPECT_EQ(files.Read("DulmLogger.txt"), " DulmLogger 3.5.0.7 \n\n I\n\n L");
    EXPECT_EQ(sim.Boxes(), (std::vector<std::string>{"Save to file: Log was saved to file."}));
    files.dialogs.PushCancel();
    EXPECT_FALSE(SaveLogToFile(*sim.bus, "x", "y"));
    EXPECT_EQ(files.Read("DulmLogger.txt"), " DulmLogger 3.5.0.7 \n\n I\n\n L");
}

TEST_F(MainCommands, ProgramWithTheBusClosedLeavesTheLockFree) {
    bool toggled = false;
    ProgramEeprom(*sim.bus, [&](bool) { toggled = true; });
    EXPECT_FALSE(toggled);
    bool taken = false;
    std::thread other([&] {
        taken = sim.bus->Lock().TryLock();
        if (taken)
            sim.bus->Lock().Unlock();
    });
    other.join();
    EXPECT_TRUE(taken);
}

TEST_F(MainCommands, DumpWithTheBusClosedOpensTheBridgeForItself) {
    ASSERT_FALSE(sim.driver->isOpen());
    files.dialogs.PushCancel();
    DumpEeprom(*sim.bus);
    EXPECT_FALSE(sim.driver->isOpen());
    EXPECT_FALSE(sim.board->log().empty()); // the dump talked to the board

    sim.OpenBridgeOnly();
    sim.bus->State().open = 1;
    files.dialogs.PushCancel();
    DumpEeprom(*sim.bus);
    EXPECT_TRUE(sim.driver->isOpen());
}

TEST_F(MainCommands, FlashPresetsAskFirstAndBootTakesOnlyAllCommands) {
    sim.OpenBridgeOnly();
    sim.bus->State().open = 1;
    ProgramTuningPreset(*sim.bus, 0);
    EXPECT_TRUE(sim.boxes->asked.empty());
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export preset to MK340: Boot preset runs only once after "
                                        "power-up thus must include EVB, reset, system and audio "
                                        "configuration commands."}));

    sim.boxes->answers = {false};
    ProgramTuningPreset(*sim.bus, 2);
    ASSERT_EQ(sim.boxes->asked.size(), 1u);
    EXPECT_EQ(sim.boxes->asked[0].substr(0, 13), "Preset numer ");
    EXPECT_NE(sim.boxes->asked[0].find("only autio tuning"), std::string::npos);

    sim.boxes->answers = {false};
    ProgramAllPreset(*sim.bus, 0);
    EXPECT_EQ(sim.boxes->asked.back().substr(0, 12), "Boot preset ");

    sim.bus->State().open = 0;
    ProgramAllPreset(*sim.bus, 1);
    ProgramTuningPreset(*sim.bus, 1);
    EXPECT_EQ(sim.boxes->asked.size(), 2u);
}

} // namespace
