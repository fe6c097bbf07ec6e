// The evaluation board's pins, amplifier and S/PDIF devices against the
// simulated board.
#include "SimBus.h"

#include "busaccess/busgate/EvalBoard.h"

#include <gtest/gtest.h>

using namespace busgate;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

SimBusConfig BoardWith(u2csim::PeripheralConfig peripherals) {
    SimBusConfig c;
    c.board.pinInputs[pin::kI2cmsStrap] = true;
    c.peripherals = std::move(peripherals);
    return c;
}

u2csim::PeripheralConfig WithAmplifier(u2csim::AmplifierConfig amplifier = {}) {
    u2csim::PeripheralConfig p;
    p.eeprom.blocks = 0;
    p.amplifier = true;
    p.amplifierConfig = amplifier;
    return p;
}

u2csim::PeripheralConfig WithSpdif(uint8_t rxAddress, std::map<uint8_t, uint8_t> rx = {}) {
    u2csim::PeripheralConfig p;
    p.eeprom.blocks = 0;
    p.spdif.tx = true;
    p.spdif.rxAddress = rxAddress;
    p.spdif.rxRegisters = std::move(rx);
    return p;
}

struct EvbFixture : ::testing::Test {
    explicit EvbFixture(SimBusConfig config) : sim(std::move(config)) {
        sim.OpenBridgeOnly();
        sim.bus->State().open = 1;
        sim.ClearLog();
    }
    std::string Evb() const { return sim.Text("evb"); }
    SimBus sim;
};

struct Pins : EvbFixture {
    Pins() : EvbFixture(BoardWith(WithAmplifier())) {}
};

TEST_F(Pins, SetGpioWritesTheModeFieldThenMakesThePinPlain) {
    EXPECT_EQ(EvbSetGpio(*sim.bus, 1, pin::kI2cmsStrap), 1);
    const Bytes mode = {0xD9, 0x00, 0x41, 0x00, 0x50, 0x04, 0x00,
                        0x0C, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00};
    const Bytes plain = {0xD9, 0x40, 0x00, 0x00, 0x50, 0x04, 0x20,
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(sim.Writes(u2c::kServiceAddress), (std::vector<Bytes>{mode, plain}));
}

TEST_F(Pins, TheResetLineHoldsTheChipAndReleasingItReadsTheStraps) {
    EvbSetChipReset(*sim.bus, 1);
    EXPECT_TRUE(sim.HasLine("traffic", 1, "[EVB] --> Set DulmAudio nRESET LOW. \n "));
    EXPECT_EQ(sim.port->IsAlive(0x73), 0);
    EXPECT_EQ(sim.bus->Evb().refStrap, -1);
    EXPECT_EQ(sim.board->memWord(0xE000E180), 4u);

    EvbSetChipReset(*sim.bus, 0);
    EXPECT_EQ(sim.port->IsAlive(0x73), 1);
    EXPECT_EQ(sim.bus->Evb().i2cmsStrap, 1);
    EXPECT_EQ(sim.bus->Evb().refStrap, 0);

    EvbForceI2CMSStrap(*sim.bus, 1, 0);
    EXPECT_EQ(EvbReadPin(*sim.bus, pin::kI2cmsStrap), 0);
    EvbForceI2CMSStrap(*sim.bus, 0, 0);
    EXPECT_EQ(EvbReadPin(*sim.bus, pin::kI2cmsStrap), 1);
    EvbForceRefStrap(*sim.bus, 1, 3);
    EXPECT_EQ(EvbReadPin(*sim.bus, pin::kRefStrap), 1);
    EXPECT_TRUE(sim.HasLine("traffic", 1, "[EVB] --> Force REF strap to 3. \n "));
    EvbSetHighPowerVoltage(*sim.bus, 1);
    EXPECT_EQ(EvbReadPin(*sim.bus, pin::kHighPower), 1);
    EXPECT_TRUE(sim.HasLine("traffic", 1, "[EVB] --> Enable High Power Voltage. \n "));
}

TEST_F(Pins, TheAmplifierIsConfiguredAndReported) {
    sim.devices.amplifier->set(0x02, 0x84); // MCLK error and clipping
    Tas5713Configure(*sim.bus);
    EXPECT_TRUE(sim.HasLine("traffic", 1, "[EVB] --> Configure the 25W Amplifier. \n "));
    EXPECT_TRUE(sim.HasLine("evb", 2, " * Found TAS5713 device. \n "));
    EXPECT_TRUE(sim.bus->Evb().ampInitialised);
    EXPECT_EQ(sim.devices.amplifier->get(0x20), (Bytes{0x00, 0x01, 0x77, 0x72}));
    EXPECT_EQ(sim.devices.amplifier->get(0x11), (Bytes{0xAC}));

    sim.devices.amplifier->set(0x07, 0x30);
    sim.ClearLog();
    Tas5713ReportStatus(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 3, "   > MCLK error.\n "));
    EXPECT_TRUE(sim.HasLine("evb", 3, "   > Clip indicator.\n "));
    EXPECT_EQ(sim.devices.amplifier->get(0x02), (Bytes{0x00})); // cleared after reading
    EXPECT_TRUE(sim.HasLine("evb", 2, "   > 44.1KHz/48KHz sample rate.\n "));
    EXPECT_TRUE(sim.HasLine("evb", 2, "   > MCLK frequency = 256 x Sample Rate.\n "));
    const std::string text = Evb();
    EXPECT_NE(text.find(" * Master Volume:    0.00 dB \n "), std::string::npos) << text;
    EXPECT_NE(text.find(" * Channel-1 Volume: 0.00 dB \n "), std::string::npos); // 0x30 too

    sim.ClearLog();
    Tas5713ReportStatus(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 2, " * No errors were found. \n "));

    Tas5713Power(*sim.bus, 1);
    sim.ClearLog();
    Tas5713ReportStatus(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 3, " * Device is disabled.\n "));
    EXPECT_EQ(sim.port->IsAlive(kTas5713Address), 0); // its enable is low
}

struct MissingAmplifier : EvbFixture {
    MissingAmplifier() : EvbFixture(BoardWith(u2csim::PeripheralConfig{})) {}
};

TEST_F(MissingAmplifier, ConfigureReportsItInTheEvbPane) {
    Tas5713Configure(*sim.bus);
    EXPECT_TRUE(
        sim.HasLine("evb", 3, "  * Fail to found TAS5713 connected to I2C address 0x1b.\n "));
    EXPECT_FALSE(sim.bus->Evb().ampIdentified);
    // A closed bridge clears the state instead.
    sim.bus->State().open = 0;
    Tas5713Configure(*sim.bus);
    EXPECT_FALSE(sim.bus->Evb().ampEnabled);
}

struct StuckAmplifier : EvbFixture {
    StuckAmplifier() : EvbFixture(BoardWith(WithAmplifier({0x50, 0x6C, 0, -1}))) {}
};

TEST_F(StuckAmplifier, ASetUpThatNeverEndsLeavesItUninitialised) {
    const auto start = sim.clock.Now();
    Tas5713Configure(*sim.bus);
    EXPECT_LT(sim.clock.Now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(sim.bus->Evb().ampIdentified);
    EXPECT_FALSE(sim.bus->Evb().ampInitialised);
    Tas5713ReportStatus(*sim.bus);
    EXPECT_NE(Evb().find(" * Master Volume:    -999.00 dB \n "), std::string::npos) << Evb();
}

struct WrongAmplifier : EvbFixture {
    WrongAmplifier() : EvbFixture(BoardWith(WithAmplifier({0x51}))) {}
};

TEST_F(WrongAmplifier, AnotherIdIsReported) {
    Tas5713Configure(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 3, " * Invalid TAS5713 device ID. \n "));
    EXPECT_FALSE(sim.bus->Evb().ampInitialised);
}

struct Spdif : EvbFixture {
    Spdif() : EvbFixture(BoardWith(WithSpdif(0x13, {{0x18, 64}}))) {}
};

TEST_F(Spdif, NoInputConfiguresTheReceiverForTheOscillator) {
    EvbConfigureSpdif(*sim.bus, 9);
    EXPECT_TRUE(sim.HasLine("traffic", 1, "[EVB] --> Configure EVB S/PDIF TX/RX devices. \n "));
    const std::vector<Bytes> writes = sim.devices.spdifRx->writes();
    for (const Bytes& w : {Bytes{0x00, 0x4C}, Bytes{0x03, 0xB0}, Bytes{0x04, 0x89}})
        EXPECT_NE(std::find(writes.begin(), writes.end(), w), writes.end());
    EXPECT_TRUE(sim.bus->Evb().rxConfigured);
    EXPECT_TRUE(sim.bus->Evb().txConfigured);
    EXPECT_EQ(sim.devices.spdifTx->get(0x04), (Bytes{0x40}));
    EXPECT_EQ(sim.devices.spdifTx->get(0x37), (Bytes{0x00}));

    sim.ClearLog();
    EvbReportSpdifStatus(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 2, " * No errors were found. \n "));
    EXPECT_TRUE(sim.HasLine("evb", 1, " * No S/PDIF input is used.\n "));
    EXPECT_TRUE(sim.HasLine("evb", 2, " * Sample Rate : 48.0000KHz \n "));

    EvbPowerDownSpdif(*sim.bus);
    EXPECT_EQ(sim.port->IsAlive(kSpdifTxAddress), 0);
    sim.ClearLog();
    EvbReportSpdifStatus(*sim.bus);
    EXPECT_TRUE(sim.HasLine("evb", 3, " * Devices are powered-off.\n "));
}

TEST_F(Spdif, SampleRatesOutsideTheBandsAreInvalid) {
    struct Case {
        uint8_t ratio;
        int colour;
        const char* line;
    };
    const Case cases[] = {
        {64, 2, " * Sample Rate : 48.0000KHz \n "},
        {70, 2, " * Sample Rate : 43.8857KHz \n "},
        {60, 3, " * Invalid sample Rate : 51.2000KHz \n "},
        {0, 3, " * Invalid sample Rate : 0.0000KHz \n "}, // no lock
    };
    EvbConfigureSpdif(*sim.bus, kSpdifInputOptical);
    for (const Case& c : cases) {
        sim.devices.spdifRx->set(0x18, c.ratio);
        sim.ClearLog();
        EvbReportSpdifStatus(*sim.bus);
        EXPECT_TRUE(sim.HasLine("evb", c.colour, c.line)) << int(c.ratio) << "\n" << Evb();
        EXPECT_TRUE(sim.HasLine("evb", 1, " * Optical input is selected.\n "));
    }
}

TEST_F(Spdif, TheReceiverStatusBitsAreNamed) {
    EvbConfigureSpdif(*sim.bus, kSpdifInputRca);
    sim.devices.spdifRx->set(0x0C, 0x11); // parity, PLL out of lock
    sim.devices.spdifRx->set(0x0B, 0x40); // PCM
    sim.devices.spdifRx->set(0x0A, 0x0B); // professional, no copyright, original
    sim.devices.spdifRx->set(0x0D, 0x20); // output slip
    sim.ClearLog();
    EvbReportSpdifStatus(*sim.bus);
    const std::string text = Evb();
    for (const char* line :
         {" * RCA input is selected.\n ", " * Serial audio output port data slip \n ",
          "  > Uncompressed PCM data was detected.\n ", "  > Received data is original.\n ",
          "  > Copyright not asserted.\n ", "  > Professional format.\n ",
          "  > Data size: 24 bits \n ", " * A receiver error has detected: \n ",
          "  > Parity error \n ", "  > PLL out of lock \n "})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("Bi-phase"), std::string::npos);
}

struct SpdifAtAlternateAddress : EvbFixture {
    SpdifAtAlternateAddress() : EvbFixture(BoardWith(WithSpdif(0x17))) {}
};

TEST_F(SpdifAtAlternateAddress, TheFirstAddressFailsAndTheSecondIsFound) {
    EvbConfigureSpdif(*sim.bus, 0);
    EXPECT_TRUE(
        sim.HasLine("evb", 3, " * Fail to found CS8416-CZZ device on I2C address 0x13. \n "));
    EXPECT_TRUE(sim.HasLine("evb", 2, " * Found CS8416-CZZ device. \n "));
    EXPECT_EQ(sim.bus->Evb().rxAddress, 0x17);
    EXPECT_TRUE(sim.bus->Evb().rxConfigured);
}

} // namespace
