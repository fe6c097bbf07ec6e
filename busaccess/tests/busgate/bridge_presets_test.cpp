// Bridge-flash presets against the simulated board's flash.
#include "SimBus.h"

#include "busaccess/busgate/BridgePresets.h"

#include <gtest/gtest.h>

using namespace busgate;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

constexpr uint32_t kPreset2 = 0x18000;

SimBusConfig Board(bool oldFirmware = false, uint32_t failFlashWrite = 0) {
    SimBusConfig c;
    c.board.oldFirmware = oldFirmware;
    c.board.failFlashWrite = failFlashWrite;
    return c;
}

struct Presets : ::testing::Test {
    explicit Presets(SimBusConfig config = Board()) : sim(std::move(config)) {
        sim.OpenBridgeOnly();
    }
    Bytes Area(uint32_t start, uint32_t length) const { return sim.board->flash(start, length); }
    uint32_t Word(uint32_t address) const { return u2c::GetLE32(Area(address, 4).data()); }
    // The recording of the area, from its length field.
    Bytes Recording(uint32_t start) const { return Area(start + 16, Word(start + 12)); }
    void Dirty(uint32_t start) {
        // Programming only clears bits: leftovers show a missing erase.
        sim.port->WriteFlash(start, Bytes(16, 0x00).data(), 16);
    }
    SimBus sim;
};

TEST_F(Presets, EraseSendsTheAreaToTheServiceAddress) {
    Dirty(kPreset2);
    EraseBridgePreset(*sim.bus, 2);
    const std::vector<Bytes> services = sim.Writes(u2c::kServiceAddress);
    ASSERT_FALSE(services.empty());
    EXPECT_EQ(services.back(), (Bytes{0xD4, 0x00, 0x80, 0x01, 0x00, 0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(Area(kPreset2, 0x4000), Bytes(0x4000, 0xFF));
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"Erase MK340 preset: Erase completed successfully."}));

    sim.board->injectFault(u2csim::Fault::nak);
    EraseBridgePreset(*sim.bus, 2);
    EXPECT_EQ(sim.Boxes().back(), "!Erase MK340 preset: Fail to erase MK340 preset.");
}

TEST_F(Presets, ProgramAllRecordsTheResetTheDelayAndTheCaptureThenMarksTheArea) {
    sim.ui->SetChecked(ctl::kEnableTweaksAtPreset, false);
    sim.FillCapture({0x00, 0xC6, 0x01});
    Dirty(kPreset2);
    sim.board->clearLog();
    ExportPresetToBridge(*sim.bus, 2);
    EXPECT_EQ(sim.Boxes(), (std::vector<std::string>{
                               "Export preset to MK340: Program completed successfully."}));
    const Bytes expected = {0x73, 0x03, 0x00, 0x00, 0xC5, 0x00,             // reset
                            0x80, 0x05, 0x00, 0xD6, 0x1E, 0x00, 0x00, 0x00, // 30 ms
                            0x73, 0x03, 0x00, 0x00, 0xA5, 0x00,             // capture
                            0x73, 0x03, 0x00, 0x00, 0xC6, 0x01};
    EXPECT_EQ(Recording(kPreset2), expected);
    EXPECT_EQ(Area(kPreset2, 4), (Bytes{0x02, 0x33, 0x22, 0x11}));
    EXPECT_EQ(Word(kPreset2 + 4), 0x6000u);
    EXPECT_EQ(Word(kPreset2 + 8), 0x0606u);
    EXPECT_EQ(Word(kPreset2 + 12), expected.size());
    // The mark is the last flash write.
    const std::vector<Bytes> services = sim.Writes(u2c::kServiceAddress);
    ASSERT_FALSE(services.empty());
    EXPECT_EQ(services.back(), (Bytes{0xD3, 0x00, 0x80, 0x01, 0x00, 0x02, 0x33, 0x22, 0x11}));
    // The chip got the setup again, on the live bus.
    EXPECT_EQ(sim.Writes(),
              (std::vector<Bytes>{{0x00, 0xC5, 0x00}, {0x00, 0xA5, 0x00}, {0x00, 0xC6, 0x01}}));
}

TEST_F(Presets, ACaptureTooLargeForTheAreaLeavesItErased) {
    sim.FillCapture(Repeat({0x00, 0xC6, 0x01}, 4999)); // 5,000 groups
    ASSERT_EQ(sim.bus->Capture().total, 15000u);
    Dirty(kPreset2);
    ExportPresetToBridge(*sim.bus, 2);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export preset to MK340: Preset exceed max size."}));
    EXPECT_EQ(Area(kPreset2, 0x4000), Bytes(0x4000, 0xFF));
    EXPECT_FALSE(sim.bus->Recording().armed);
}

TEST_F(Presets, ProgramTuningOnlySendsAndRecordsOnlyTheTuningCommands) {
    sim.FillCapture({0xFF, 0xAB, 0xF2, 0x00, 0x00, 0x40, 0x00, 0xC2, 0x00, 0x00, 0xC6, 0x01});
    sim.ClearLog();
    ProgramBridgePreset(*sim.bus, 1);
    const uint32_t preset1 = PresetAreaStart(1);
    EXPECT_EQ(Recording(preset1), (Bytes{0x73, 0x03, 0x00, 0x00, 0xC2, 0x00, //
                                         0x73, 0x03, 0x00, 0x00, 0xC6, 0x01}));
    EXPECT_EQ(Word(preset1), 0x11223301u);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC2, 0x00}, {0x00, 0xC6, 0x01}}));
    // Logged as the main window logs them; the system commands are not.
    EXPECT_TRUE(sim.HasLine("traffic", 5, "I2C W 0x73: 0x00 0xC2 0x00 "));
    EXPECT_TRUE(sim.HasLine("traffic", 5, "I2C W 0x73: 0x00 0xC6 0x01 "));
    EXPECT_EQ(sim.Text().find("0xAB"), std::string::npos) << sim.Text();
    EXPECT_EQ(sim.bus->State().offline, 0u);
    EXPECT_EQ(&sim.bus->Sink(), &sim.bus->DialogSink());
}

struct FailingFlash : Presets {
    // The area's first flash write (its recording's first piece) fails.
    FailingFlash() : Presets(Board(false, /*failFlashWrite=*/1)) {}
};

TEST_F(FailingFlash, AFailedFlashWriteLeavesTheAreaWithoutItsMark) {
    sim.FillCapture({0x00, 0xC6, 0x01});
    ExportPresetToBridge(*sim.bus, 0);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export preset to MK340: Fail to Program preset."}));
    EXPECT_EQ(Area(PresetAreaStart(0), 4), Bytes(4, 0xFF));
}

struct OldFirmwarePresets : Presets {
    OldFirmwarePresets() : Presets(Board(/*oldFirmware=*/true)) {}
};

TEST_F(OldFirmwarePresets, TheHostWaitsAndTheRecordingHoldsNoDelay) {
    sim.FillCapture({0x00, 0xC6, 0x01});
    const auto before = sim.clock.Now();
    ExportPresetToBridge(*sim.bus, 3);
    EXPECT_GE(sim.clock.Now() - before, std::chrono::milliseconds(30));
    const uint32_t preset3 = PresetAreaStart(3);
    EXPECT_EQ(Recording(preset3), (Bytes{0x73, 0x03, 0x00, 0x00, 0xC5, 0x00, //
                                         0x73, 0x03, 0x00, 0x00, 0xA5, 0x00, //
                                         0x73, 0x03, 0x00, 0x00, 0xC6, 0x01}));
    EXPECT_EQ(Word(preset3), 0x11223303u);
}

} // namespace
