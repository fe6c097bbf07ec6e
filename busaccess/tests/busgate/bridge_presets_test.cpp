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

// An evaluation-board dialog whose before-reset hook sends a command
// through the decoder, which extends the live capture, as the board pages
// may.
struct ResettingDialog : CEvbCfg_Dialog {
    BusGate* bus = nullptr;
    void BeforeReset() override {
        uint8_t command[3] = {0x00, 0xC6, 0x00};
        bus->LoggerTransfer(0, 0x73, 3, command);
    }
};

// The headless services with that dialog.
class HookedServices final : public LoggerServices {
public:
    explicit HookedServices(HeadlessLogger& inner) : in_(inner) {}
    ResettingDialog dialog;

    HostWindow FindHostWindow() override { return in_.FindHostWindow(); }
    void CreateMainDialog(HostWindow o) override { in_.CreateMainDialog(o); }
    void CreateIoCfgDialog(HostWindow o) override { in_.CreateIoCfgDialog(o); }
    void CreateAeqCfgDialog(HostWindow o) override { in_.CreateAeqCfgDialog(o); }
    void CreateTweaksDialog(HostWindow o) override { in_.CreateTweaksDialog(o); }
    void CreatePwrAmpDialog(HostWindow o) override { in_.CreatePwrAmpDialog(o); }
    void CreateScriptDialog(HostWindow o) override { in_.CreateScriptDialog(o); }
    CEvbCfg_Dialog* CreateEvbDialog(int) override { return &dialog; }
    void DestroyEvbDialogs() override {}
    bool MainWindowExists() const override { return in_.MainWindowExists(); }
    void ShowMainWindow() override {}
    bool LoggingEnabled() const override { return in_.LoggingEnabled(); }
    bool LoggingSuspended() const override { return in_.LoggingSuspended(); }
    void SetLoggingSuspended(bool s) override { in_.SetLoggingSuspended(s); }
    void SetConnectionState(int s) override { in_.SetConnectionState(s); }
    void ArmTimer(int, int) override {}
    void EnableControl(int id, bool e) override { in_.EnableControl(id, e); }
    bool IsChecked(int id) const override { return in_.IsChecked(id); }
    void UpdateAfterOpen() override {}
    void SetCaptureLabel(std::string_view l) override { in_.SetCaptureLabel(l); }
    void QueueSetColor(Pane p, int c) override { in_.QueueSetColor(p, c); }
    void QueueAppendText(Pane p, std::string_view t) override { in_.QueueAppendText(p, t); }
    void QueueClear(Pane p) override { in_.QueueClear(p); }
    void SetPwrAmpTimer(bool) override {}
    void HidePwrAmpDialog() override {}
    void PwrAmpApplyConfig() override {}
    void IoInjectConfig() override {}
    uint32_t IoGpioSelection2() const override { return in_.IoGpioSelection2(); }
    void AeqSendFilters() override {}
    void TweaksEnable(int e) override { in_.TweaksEnable(e); }
    void TweaksConfigureSrc() override {}
    void TweaksCheckRunning() override {}
    bool TweaksRunning() const override { return in_.TweaksRunning(); }
    void SetTweaksButton(std::string_view, bool) override {}
    void PumpMessages() override {}

private:
    HeadlessLogger& in_;
};

TEST(PresetHooks, ProgramAllReplaysTheCaptureAsItWasBeforeTheHooks) {
    SimBus sim;
    HookedServices services(*sim.ui);
    BusGate bus(*sim.port, services, sim.clock);
    services.dialog.bus = &bus;
    ASSERT_EQ(bus.Open(), BusGate::kHandle);
    std::vector<uint8_t> setup = {0x00, 0xA5, 0x00, 0x00, 0xC6, 0x01};
    ASSERT_EQ(bus.Transmit(0x73, setup.data(), 6), 6);
    ASSERT_EQ(bus.Capture().total, 6u);

    ExportPresetToBridge(bus, 1);
    EXPECT_EQ(bus.Capture().total, 9u); // the hook's command extended it
    const uint32_t start = PresetAreaStart(1);
    const Bytes header = sim.board->flash(start, 16);
    const Bytes recording = sim.board->flash(start + 16, u2c::GetLE32(header.data() + 12));
    // The hook's own command, the replay's reset and delay, then the
    // capture as it was before the hook.
    const Bytes expected = {0x73, 0x03, 0x00, 0x00, 0xC6, 0x00,             //
                            0x73, 0x03, 0x00, 0x00, 0xC5, 0x00,             //
                            0x80, 0x05, 0x00, 0xD6, 0x1E, 0x00, 0x00, 0x00, //
                            0x73, 0x03, 0x00, 0x00, 0xA5, 0x00,             //
                            0x73, 0x03, 0x00, 0x00, 0xC6, 0x01};
    EXPECT_EQ(recording, expected);
}

} // namespace
