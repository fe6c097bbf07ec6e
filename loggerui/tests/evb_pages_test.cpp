// The evaluation-board pages' hooks and actions against the simulated board
// and its peripherals.
#include "loggerui/EvbPages.h"

#include "SimBus.h"
#include "busaccess/busgate/EvalBoard.h"

#include <gtest/gtest.h>

using namespace loggerui;
using busgate::testing::SimBus;
using busgate::testing::SimBusConfig;
using u2c::Bytes;

namespace {

constexpr uint8_t kPinAnalogA = 0x0D;
constexpr uint8_t kPinAnalogB = 0x0E;

SimBusConfig Board(bool amplifier, uint8_t rxAddress) {
    SimBusConfig c;
    c.board.pinInputs[busgate::pin::kI2cmsStrap] = true;
    u2csim::PeripheralConfig p;
    p.eeprom.blocks = 0;
    p.amplifier = amplifier;
    p.spdif.tx = true;
    p.spdif.rxAddress = rxAddress;
    c.peripherals = p;
    return c;
}

struct EvbPage : ::testing::Test {
    explicit EvbPage(int boardType = 1, bool amplifier = true, uint8_t rx = 0x13)
        : sim(Board(amplifier, rx)), page(*sim.bus, boardType) {}
    void OpenBus() {
        sim.OpenBridgeOnly();
        sim.bus->State().open = 1;
        sim.ClearLog();
    }
    bool Logged(const char* line) const { return sim.Text().find(line) != std::string::npos; }
    // Register writes to the amplifier (not the pointer writes of reads).
    std::vector<Bytes> AmplifierWrites() const {
        std::vector<Bytes> writes;
        for (const Bytes& w : sim.Writes(busgate::kTas5713Address))
            if (w.size() > 1)
                writes.push_back(w);
        return writes;
    }

    SimBus sim;
    EvbBoardPage page;
};

TEST_F(EvbPage, ConnectResetsWithTheStrapsAndUnmutesTheAnalogAmplifiers) {
    OpenBus();
    page.BoardIdentified();
    for (const char* line :
         {"[EVB] --> Set DulmAudio nRESET LOW. \n ", "[EVB] --> Force REF strap to 0. \n ",
          "[EVB] --> Force I2CMS strap to 1. \n ", "[EVB] --> Set DulmAudio nRESET HIGH. \n "})
        EXPECT_TRUE(Logged(line)) << line;
    EXPECT_TRUE(sim.board->pinLevel(kPinAnalogA));
    EXPECT_FALSE(sim.board->pinLevel(kPinAnalogB));
    // The USB audio path feeds SDI0.
    EXPECT_EQ(sim.board->memWord(0x50000038) & 0x8, 0x8u);
    EXPECT_EQ(page.TakeTimerRequest(), 3000);
    EXPECT_EQ(page.TakeTimerRequest(), -1);

    sim.ClearLog();
    EXPECT_EQ(page.StatusTimer(true), 3000);
    const std::string status = sim.Text("evb");
    EXPECT_NE(status.find(" STRAP REF: Crystal as reference clock. \n "), std::string::npos);
    EXPECT_NE(status.find(" STRAP I2CMS: I2C Slave (use MCU). \n "), std::string::npos);
}

TEST_F(EvbPage, WithoutTheResetBoxConnectNeitherResetsNorTouchesTheStraps) {
    OpenBus();
    page.ResetOrStrapsClicked(false, true);
    EXPECT_FALSE(page.Settings().reset);
    EXPECT_FALSE(page.Settings().straps); // the strap box follows the reset box
    page.BoardIdentified();
    EXPECT_FALSE(Logged("nRESET"));
    EXPECT_FALSE(Logged("strap"));
    EXPECT_EQ(sim.bus->Evb().refStrap, -1);
    sim.ClearLog();
    page.StatusTimer(true);
    EXPECT_EQ(sim.Text("evb").find("STRAP"), std::string::npos);
    // Hidden, or while the user is in the pane, the QX410x page only re-arms.
    sim.ClearLog();
    EXPECT_EQ(page.StatusTimer(false), 3000);
    page.SetStatusAutoUpdate(false);
    EXPECT_EQ(page.StatusTimer(true), 3000);
    EXPECT_TRUE(sim.records.empty());
}

TEST_F(EvbPage, TheStatusTimerStopsWhileTheBusIsClosed) {
    EXPECT_EQ(page.StatusTimer(true), 0);
    EXPECT_TRUE(sim.HasLine("evb", busgate::kColourRed, "I2C connection is close. \n "));
}

TEST_F(EvbPage, TheVolumeLabelWithTheBusClosedAndTheAmplifierWrites) {
    const std::pair<int, const char*> closed[] = {
        {248, "-100.0 dBFS"}, {249, " Mute "}, {48, "0.0 dBFS"}, {0, "24.0 dBFS"}, {255, " Mute "}};
    for (const auto& [position, label] : closed) {
        page.VolumeChanged(position);
        EXPECT_EQ(page.Volume().label, label) << position;
    }
    EXPECT_TRUE(AmplifierWrites().empty());

    OpenBus();
    page.VolumeChanged(100);
    EXPECT_EQ(page.Volume().label, "-999.0 dBFS"); // open, amplifier not configured
    page.AmplifierClicked(true);
    ASSERT_TRUE(sim.bus->Evb().ampInitialised);
    EXPECT_TRUE(page.Volume().labelShown);
    EXPECT_EQ(page.Volume().label, "-26.0 dBFS"); // read back from the amplifier
    const size_t before = AmplifierWrites().size();
    page.VolumeChanged(248);
    page.VolumeChanged(249);
    const std::vector<Bytes> writes = AmplifierWrites();
    ASSERT_EQ(writes.size(), before + 2);
    EXPECT_EQ(writes[before], (Bytes{0x07, 0xF8}));
    EXPECT_EQ(writes[before + 1], (Bytes{0x07, 0xFF}));
    EXPECT_EQ(page.Volume().label, " Mute ");

    page.AmplifierClicked(false);
    EXPECT_FALSE(sim.bus->Evb().ampInitialised);
    EXPECT_FALSE(page.Volume().labelShown);
    EXPECT_FALSE(page.Volume().sliderEnabled);
    page.VolumeChanged(10);
    EXPECT_EQ(AmplifierWrites().size(), before + 2); // no writes while not configured
}

TEST_F(EvbPage, NoToTheResetQuestionLeavesTheBoxAndTheBridge) {
    OpenBus();
    sim.bus->State().ready = 1;
    sim.boxes->answers = {false};
    page.SpdifClicked(true);
    EXPECT_FALSE(page.Settings().spdif);
    EXPECT_TRUE(sim.board->deviceOpen());
    ASSERT_EQ(sim.boxes->asked.size(), 1u);
    EXPECT_EQ(sim.boxes->shown.size(), 1u);

    sim.boxes->answers = {true};
    page.SpdifClicked(true);
    EXPECT_TRUE(page.Settings().spdif);
    EXPECT_FALSE(sim.board->deviceOpen());
    ASSERT_EQ(sim.boxes->shown.size(), 3u);
    EXPECT_EQ(sim.boxes->shown[2].caption,
              "S/PDIF Enable - Set S/PDIF RX as I2S Master; set QX410x as I2S Slave");
}

TEST_F(EvbPage, WithTheChipNotReadyTheBoxChangesWithoutAQuestion) {
    page.SpdifClicked(true);
    EXPECT_TRUE(page.Settings().spdif);
    ASSERT_EQ(sim.boxes->shown.size(), 1u);
    EXPECT_TRUE(sim.boxes->asked.empty());
    page.SpdifClicked(false);
    EXPECT_EQ(sim.boxes->shown.back().caption, "S/PDIF Disable - Set QX410x as I2S Master");
}

TEST_F(EvbPage, AReceiverChoiceWithTheBridgeClosedIsAppliedByTheNextConnect) {
    page.SelectSource(kSdiOptical);
    EXPECT_EQ(page.Settings().sdi0, kSdiOptical);
    EXPECT_TRUE(sim.boxes->shown.empty());
    EXPECT_EQ(page.TakeTimerRequest(), 100);

    // S/PDIF disabled: the receiver is not ready, External is taken.
    OpenBus();
    page.BoardIdentified();
    EXPECT_EQ(page.Settings().sdi0, kSdiExternal);

    // Open, S/PDIF on: the receiver is ready and the choice goes to it.
    page.SpdifClicked(true);
    OpenBus();
    page.BoardIdentified();
    ASSERT_TRUE(sim.bus->Evb().rxConfigured);
    page.SelectSource(kSdiRca);
    EXPECT_EQ(page.Settings().sdi0, kSdiRca);
    EXPECT_EQ(sim.bus->Evb().spdifInput, busgate::kSpdifInputRca);
    page.SelectSource(kSdiUsb);
    EXPECT_EQ(sim.bus->Evb().spdifInput, busgate::kSpdifNoInput);
}

struct EvbPageWithoutReceiver : EvbPage {
    EvbPageWithoutReceiver() : EvbPage(1, false, 0) {}
};

TEST_F(EvbPageWithoutReceiver, AReceiverChoiceIsRefusedAndTheStoredOneKept) {
    OpenBus();
    page.SelectSource(kSdiOptical);
    EXPECT_EQ(page.Settings().sdi0, kSdiUsb);
    ASSERT_EQ(sim.boxes->shown.size(), 1u);
    EXPECT_TRUE(sim.boxes->shown[0].error);
    EXPECT_EQ(sim.boxes->shown[0].text, "S/PDIF is disabled or S/PDIF RX device does not exist.");
    EXPECT_EQ(sim.boxes->shown[0].caption, "SDI0 Source Selection");
    // The amplifier box with no amplifier: nothing is configured.
    page.AmplifierClicked(true);
    EXPECT_FALSE(page.Volume().labelShown);
    EXPECT_FALSE(page.Volume().sliderEnabled);
}

TEST_F(EvbPage, PresetHooksMuteAndUnmuteTheAnalogAmplifiers) {
    OpenBus();
    page.BeforeReset();
    EXPECT_TRUE(Logged("[EVB] --> Mute analog amplifiers (2W and Headphone). \n "));
    EXPECT_FALSE(sim.board->pinLevel(kPinAnalogA));
    EXPECT_TRUE(sim.board->pinLevel(kPinAnalogB));
    page.AfterSetup();
    EXPECT_TRUE(Logged("[EVB] --> UnMute analog amplifiers (2W and Headphone). \n "));
    EXPECT_TRUE(sim.board->pinLevel(kPinAnalogA));
    EXPECT_FALSE(sim.board->pinLevel(kPinAnalogB));

    page.MuteAtPresetClicked(false);
    sim.ClearLog();
    sim.board->clearLog();
    page.BeforeReset();
    page.AfterSetup();
    EXPECT_TRUE(sim.records.empty());
    EXPECT_TRUE(sim.board->log().empty());
}

struct QZ625xPage : EvbPage {
    QZ625xPage() : EvbPage(4) {}
};

TEST_F(QZ625xPage, PresetHooksOnlyArmTheStatusTimer) {
    OpenBus();
    sim.board->clearLog();
    page.BeforeReset();
    EXPECT_EQ(page.TakeTimerRequest(), 1000);
    page.AfterSetup();
    EXPECT_EQ(page.TakeTimerRequest(), 100);
    EXPECT_TRUE(sim.board->log().empty());
    EXPECT_TRUE(sim.records.empty());
}

TEST_F(QZ625xPage, ConnectSwitchesTheHighPowerSupplyInsideTheReset) {
    OpenBus();
    page.BoardIdentified();
    const std::string log = sim.Text();
    const size_t low = log.find("nRESET LOW");
    const size_t power = log.find("[EVB] --> Enable High Power Voltage. \n ");
    const size_t high = log.find("nRESET HIGH");
    ASSERT_NE(power, std::string::npos) << log;
    EXPECT_LT(low, power);
    EXPECT_LT(power, high);
    EXPECT_EQ(page.TakeTimerRequest(), 1000);

    // Without the reset the supply is left alone.
    page.ResetOrStrapsClicked(false, false);
    sim.ClearLog();
    page.BoardIdentified();
    EXPECT_EQ(sim.Text().find("High Power"), std::string::npos);
    // The box switches it at once while the bus is open.
    page.HighPowerClicked(false);
    EXPECT_NE(sim.Text().find("[EVB] --> Disable High Power Voltage. \n "), std::string::npos);

    sim.ClearLog();
    EXPECT_EQ(page.StatusTimer(false), 1000); // refreshed even when hidden
    EXPECT_FALSE(sim.Text("evb").empty());
}

} // namespace
