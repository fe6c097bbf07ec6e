// The evaluation board's microcontroller pins, amplifier and S/PDIF
// devices.
#include "busaccess/busgate/EvalBoard.h"

#include "ExportSupport.h"

#include "busaccess/U2CFrame.h"

#include <chrono>

namespace busgate {

using namespace exports;

namespace {

// ---- microcontroller registers, port n
constexpr uint32_t ModeRegister(uint32_t n) {
    return 0x50004000 + 0x40 * n;
}
constexpr uint32_t OutputRegister(uint32_t n) {
    return 0x50004008 + 0x40 * n;
}
constexpr uint32_t LevelRegister(uint32_t n) {
    return 0x50004010 + 0x40 * n;
}
constexpr uint32_t MultiFunctionRegister(uint32_t n) {
    return 0x50000030 + 4 * n;
}
constexpr uint32_t PortOf(uint8_t pin) {
    return pin >> 4;
}
constexpr uint32_t BitOf(uint8_t pin) {
    return pin & 0xF;
}
constexpr uint32_t kInterruptClearEnable = 0xE000E180;
constexpr uint32_t kInterrupt2 = 4;

// ---- amplifier
constexpr uint8_t kAmpIdRegister = 0x01;
constexpr uint8_t kAmpId = 0x50;
constexpr uint8_t kAmpClockRegister = 0x00;
constexpr uint8_t kAmpErrorRegister = 0x02;
constexpr uint8_t kAmpStartRegister = 0x1B;
constexpr uint8_t kAmpReady = 0x40;
// The set-up takes a few milliseconds; one that is not done by then is
// not coming.
constexpr std::chrono::milliseconds kAmpStartLimit{50};
constexpr double kVolumeUnknown = -999.0;

struct RegisterValue {
    uint8_t reg;
    uint32_t value;
};
constexpr RegisterValue kAmpSetup[] = {
    {0x03, 0x10}, {0x04, 0x05}, {0x05, 0x02}, {0x06, 0x00}, {0x07, 0xFF},
    {0x08, 0x30}, {0x09, 0x30}, {0x0A, 0x30}, {0x11, 0xAC}, {0x12, 0x54},
    {0x13, 0xAC}, {0x14, 0x54}, {0x19, 0x30},
};
constexpr RegisterValue kAmpSetup32[] = {
    {0x20, 0x00017772},
    {0x25, 0x01021345},
    {0x46, 0x00000000},
    {0x50, 0x00000080},
};

// Error register bits, highest first.
constexpr const char* kAmpErrors[8] = {
    "   > MCLK error.\n ",
    "   > PLL Auto-Lock error.\n ",
    "   > SCLK error.\n ",
    "   > LRCLK error.\n ",
    "   > Frame Slip.\n ",
    "   > Clip indicator.\n ",
    "   > Over current, over temperature, over voltage or under voltage error.\n ",
    nullptr,
};
// Clock register bits 5-7.
constexpr const char* kAmpSampleRates[8] = {
    nullptr,
    nullptr,
    nullptr,
    "   > 44.1KHz/48KHz sample rate.\n ",
    "   > 16KHz sample rate.\n ",
    "   > 22.05KHz/24KHz sample rate.\n ",
    "   > 8KHz sample rate.\n ",
    "   > 11.025KHz/12KHz sample rate.\n ",
};
constexpr unsigned kMclkRatios[6] = {64, 128, 192, 256, 384, 512};
constexpr struct {
    const char* text;
    uint8_t reg;
} kAmpVolumes[] = {
    {" * Master Volume:    %.2f dB \n ", 0x07},
    {" * Channel-1 Volume: %.2f dB \n ", 0x08},
    {" * Channel-2 Volume: %.2f dB \n ", 0x09},
};

// ---- S/PDIF devices
constexpr uint8_t kSpdifIdRegister = 0x7F;
constexpr uint8_t kSpdifTxId = 0xE2;
constexpr uint8_t kSpdifRxId = 0x2F;
constexpr uint32_t kSpdifPowerUpMs = 10;
constexpr RegisterValue kSpdifTxSetupHead[] = {
    {0x04, 0x00}, {0x01, 0x01}, {0x02, 0x00}, {0x03, 0x00}, {0x05, 0x05},
    {0x09, 0x80}, {0x0A, 0x82}, {0x0B, 0x00}, {0x0C, 0x00}, {0x12, 0x04},
    {0x20, 0x04}, {0x21, 0x19}, {0x22, 0x00}, {0x23, 0x01}, {0x24, 0x0B},
};
constexpr uint8_t kSpdifTxChannelStatusFirst = 0x25;
constexpr uint8_t kSpdifTxChannelStatusLast = 0x37;
constexpr RegisterValue kSpdifTxSetupTail[] = {{0x12, 0x00}, {0x13, 0x00}, {0x04, 0x40}};
constexpr uint8_t kSpdifTxControl = 0x04;
constexpr uint8_t kSpdifTxRun = 0x40;
constexpr uint8_t kSpdifTxErrors = 0x07;
constexpr uint8_t kSpdifTxErrors2 = 0x08;

// The receiver's registers and status bits, after its public register map.
namespace rx {
constexpr uint8_t kControl0 = 0x00;
constexpr uint8_t kControl3 = 0x03;
constexpr uint8_t kControl4 = 0x04;
constexpr uint8_t kChannelStatus = 0x0A;
constexpr uint8_t kFormatDetect = 0x0B;
constexpr uint8_t kReceiverError = 0x0C;
constexpr uint8_t kInterrupt1Status = 0x0D;
constexpr uint8_t kClockRatio = 0x18;
constexpr uint8_t kOutputSlip = 0x20; // interrupt 1 status
// Channel status: AUX width in bits 4-7.
constexpr uint8_t kProfessional = 0x08;
constexpr uint8_t kPreEmphasis = 0x04;
constexpr uint8_t kCopyrightNotAsserted = 0x02;
constexpr uint8_t kOriginal = 0x01;
constexpr struct {
    uint8_t bit;
    const char* text;
} kFormats[] = {
    {0x02, "  > Digital silence was detected.\n "},
    {0x40, "  > Uncompressed PCM data was detected.\n "},
    {0x80, "  > Compressed PCM data was detected.\n "},
    {0x08, "  > DTS_CD data was detected.\n "},
    {0x10, "  > DTS_LD data was detected.\n "},
    {0x20, "  > IEC61937 data was detected.\n "},
};
constexpr struct {
    uint8_t bit;
    const char* text;
} kErrors[] = {
    {0x01, "  > Parity error \n "},
    {0x02, "  > Bi-phase error \n "},
    {0x08, "  > Data is invalid, or may be valid compressed audio \n "},
    {0x10, "  > PLL out of lock \n "},
    {0x20, "  > Channel Status CRC error \n "},
    {0x40, "  > Q-subcode data CRC error \n "},
};
} // namespace rx

// ---- helpers
void EvbLine(BusGate& bus, const char* format, ...) __attribute__((format(printf, 2, 3)));
void EvbLine(BusGate& bus, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatC(1024, format, args);
    va_end(args);
    bus.Log().SetTrafficColor(kColourBlack);
    bus.Log().Append(text);
}

// A line in the evaluation-board status pane.
void Status(BusGate& bus, int colour, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Status(BusGate& bus, int colour, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatC(1024, format, args);
    va_end(args);
    bus.Log().SetEvbColor(colour);
    bus.Ui().QueueAppendText(Pane::Evb, text);
}

int SetOutput(BusGate& bus, uint8_t pin, uint32_t level) {
    const uint32_t bit = 1u << BitOf(pin);
    return bus.Bridge().WriteMemMasked(OutputRegister(PortOf(pin)), bit, (level & 1) ? bit : 0);
}

int WriteRegister(BusGate& bus, uint8_t slave, uint8_t reg, uint8_t value) {
    const uint8_t frame[2] = {reg, value};
    return bus.Bridge().Write(slave, 2, frame);
}

std::optional<uint8_t> ReadRegister(BusGate& bus, uint8_t slave, uint8_t reg) {
    uint8_t value = 0;
    if (bus.Bridge().Write(slave, 1, &reg) != 1 || bus.Bridge().Read(slave, 1, &value) != 1)
        return std::nullopt;
    return value;
}

void WriteRegisters(BusGate& bus, uint8_t slave, const RegisterValue* table, size_t count) {
    for (size_t i = 0; i < count; ++i)
        WriteRegister(bus, slave, table[i].reg, static_cast<uint8_t>(table[i].value));
}

template <size_t N>
void WriteRegisters(BusGate& bus, uint8_t slave, const RegisterValue (&table)[N]) {
    WriteRegisters(bus, slave, table, N);
}

// Identifies a device by its ID register; true when found.
bool Identify(BusGate& bus, uint8_t slave, uint8_t expected, const char* found,
              const char* invalid) {
    const std::optional<uint8_t> id = ReadRegister(bus, slave, kSpdifIdRegister);
    if (id && *id == expected) {
        Status(bus, kColourGreen, "%s", found);
        return true;
    }
    Status(bus, kColourRed, "%s", invalid);
    return false;
}

void ClearAmplifier(EvbState& s) {
    s.ampEnabled = s.ampIdentified = s.ampInitialised = false;
}

void ClearSpdif(EvbState& s) {
    s.spdifPowered = s.txIdentified = s.txConfigured = false;
    s.rxIdentified = s.rxConfigured = false;
}

bool WaitForAmplifierStart(BusGate& bus) {
    Clock& clock = bus.Time();
    const auto deadline = clock.Now() + kAmpStartLimit;
    for (;;) {
        const std::optional<uint8_t> v = Tas5713ReadRegister(bus, kAmpStartRegister);
        if (v && (*v & kAmpReady))
            return true;
        if (clock.Now() >= deadline)
            return false;
        clock.SleepFor(std::chrono::milliseconds(1));
    }
}

} // namespace

// ---- microcontroller pins

int EvbSetGpio(BusGate& bus, uint32_t mode, uint8_t pin) {
    LoggerLockGuard guard(bus.Lock());
    const uint32_t n = PortOf(pin), b = BitOf(pin);
    const int modeSet =
        bus.Bridge().WriteMemMasked(ModeRegister(n), 3u << (2 * b), (mode & 3) << (2 * b));
    const int plain = bus.Bridge().WriteMemMasked(MultiFunctionRegister(n), 1u << b, 0);
    return modeSet == 1 && plain == 1 ? 1 : 0;
}

int EvbReadPin(BusGate& bus, uint8_t pin) {
    LoggerLockGuard guard(bus.Lock());
    uint8_t word[4] = {};
    if (bus.Bridge().ReadMem(LevelRegister(PortOf(pin)), 4, word) != 1)
        return -1;
    return static_cast<int>((u2c::GetLE32(word) >> BitOf(pin)) & 1);
}

void EvbSetChipReset(BusGate& bus, int assert) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (assert == 1) {
        bus.Bridge().WriteMem(kInterruptClearEnable, kInterrupt2);
        bus.Bridge().WriteMemMasked(MultiFunctionRegister(PortOf(pin::kChipReset)),
                                    1u << BitOf(pin::kChipReset), 0);
        EvbSetGpio(bus, 2, pin::kChipReset);
        EvbLine(bus, "[EVB] --> Set DulmAudio nRESET LOW. \n ");
        SetOutput(bus, pin::kChipReset, 0);
        BridgeWait(bus, 5);
        s.refStrap = s.i2cmsStrap = -1;
        return;
    }
    EvbLine(bus, "[EVB] --> Set DulmAudio nRESET HIGH. \n ");
    SetOutput(bus, pin::kChipReset, 1);
    BridgeWait(bus, 20);
    s.i2cmsStrap = EvbReadPin(bus, pin::kI2cmsStrap);
    s.refStrap = EvbReadPin(bus, pin::kRefStrap);
}

namespace {

void ForceStrap(BusGate& bus, uint8_t strapPin, const char* line, int force, uint32_t level) {
    LoggerLockGuard guard(bus.Lock());
    if (force != 1) {
        EvbSetGpio(bus, 0, strapPin);
        return;
    }
    EvbLine(bus, line, level);
    EvbSetGpio(bus, 1, strapPin);
    SetOutput(bus, strapPin, level & 1);
}

} // namespace

void EvbForceRefStrap(BusGate& bus, int force, uint32_t level) {
    ForceStrap(bus, pin::kRefStrap, "[EVB] --> Force REF strap to %u. \n ", force, level);
}

void EvbForceI2CMSStrap(BusGate& bus, int force, uint32_t level) {
    ForceStrap(bus, pin::kI2cmsStrap, "[EVB] --> Force I2CMS strap to %u. \n ", force, level);
}

void EvbSetHighPowerVoltage(BusGate& bus, int on) {
    LoggerLockGuard guard(bus.Lock());
    EvbLine(bus, on == 1 ? "[EVB] --> Enable High Power Voltage. \n "
                         : "[EVB] --> Disable High Power Voltage. \n ");
    EvbSetGpio(bus, 1, pin::kHighPower);
    SetOutput(bus, pin::kHighPower, on == 1 ? 1 : 0);
    BridgeWait(bus, 100);
}

// ---- amplifier

int Tas5713WriteRegister(BusGate& bus, uint8_t reg, uint8_t value) {
    LoggerLockGuard guard(bus.Lock());
    return WriteRegister(bus, kTas5713Address, reg, value);
}

int Tas5713WriteRegister32(BusGate& bus, uint8_t reg, uint32_t value) {
    LoggerLockGuard guard(bus.Lock());
    const uint8_t frame[5] = {reg, static_cast<uint8_t>(value >> 24),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value)};
    return bus.Bridge().Write(kTas5713Address, 5, frame);
}

std::optional<uint8_t> Tas5713ReadRegister(BusGate& bus, uint8_t reg) {
    LoggerLockGuard guard(bus.Lock());
    return ReadRegister(bus, kTas5713Address, reg);
}

void Tas5713Power(BusGate& bus, int off) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    EvbSetGpio(bus, 1, pin::kAmplifierEnable);
    if (off == 1) {
        ClearAmplifier(s);
        SetOutput(bus, pin::kAmplifierEnable, 0);
        return;
    }
    s.ampEnabled = true;
    SetOutput(bus, pin::kAmplifierEnable, 1);
    BridgeWait(bus, 10);
}

void Tas5713ReadId(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (!s.ampEnabled)
        return;
    if (bus.Bridge().IsAlive(kTas5713Address) != 1) {
        Status(bus, kColourRed, "  * Fail to found TAS5713 connected to I2C address 0x%x.\n ",
               kTas5713Address);
        return;
    }
    const std::optional<uint8_t> id = Tas5713ReadRegister(bus, kAmpIdRegister);
    if (id && *id == kAmpId) {
        Status(bus, kColourGreen, " * Found TAS5713 device. \n ");
        s.ampIdentified = true;
    } else {
        Status(bus, kColourRed, " * Invalid TAS5713 device ID. \n ");
    }
}

void Tas5713Initialize(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (!s.ampEnabled || !s.ampIdentified)
        return;
    Tas5713WriteRegister(bus, kAmpStartRegister, 0x80);
    if (!WaitForAmplifierStart(bus))
        return;
    WriteRegisters(bus, kTas5713Address, kAmpSetup);
    for (const RegisterValue& r : kAmpSetup32)
        Tas5713WriteRegister32(bus, r.reg, r.value);
    s.ampInitialised = true;
}

void Tas5713Configure(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    if (!bus.State().open) {
        ClearAmplifier(bus.Evb());
        return;
    }
    EvbLine(bus, "[EVB] --> Configure the 25W Amplifier. \n ");
    Tas5713Power(bus, 1);
    Tas5713Power(bus, 0);
    Tas5713ReadId(bus);
    Tas5713Initialize(bus);
}

namespace {

void ReportAmplifierErrors(BusGate& bus) {
    const std::optional<uint8_t> errors = Tas5713ReadRegister(bus, kAmpErrorRegister);
    Tas5713WriteRegister(bus, kAmpErrorRegister, 0);
    if (!errors || *errors == 0) {
        Status(bus, kColourGreen, " * No errors were found. \n ");
        return;
    }
    Status(bus, kColourRed, " * Error Status : \n ");
    for (int bit = 7; bit >= 1; --bit)
        if (*errors & (1u << bit))
            Status(bus, kColourRed, "%s", kAmpErrors[7 - bit]);
}

void ReportAmplifierClock(BusGate& bus) {
    const uint8_t clock = Tas5713ReadRegister(bus, kAmpClockRegister).value_or(0);
    Status(bus, kColourBlack, " * Clock Settings: \n ");
    const char* rate = kAmpSampleRates[(clock >> 5) & 7];
    if (rate)
        Status(bus, kColourGreen, "%s", rate);
    else
        Status(bus, kColourRed, "   > Invalid sample rate.\n ");
    const unsigned ratio = (clock >> 2) & 7;
    if (ratio < std::size(kMclkRatios))
        Status(bus, kColourGreen, "   > MCLK frequency = %u x Sample Rate.\n ", kMclkRatios[ratio]);
    else
        Status(bus, kColourRed, "   > Invalid MCLK frequency.\n ");
}

} // namespace

void Tas5713ReportStatus(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    const EvbState& s = bus.Evb();
    Status(bus, kColourBlack, " High-Power Amplifier Status: \n ");
    if (!s.ampEnabled) {
        Status(bus, kColourRed, " * Device is disabled.\n ");
        return;
    }
    if (s.ampIdentified) {
        Status(bus, kColourGreen, " * Configuration: I2S, 24bit; BTL, AD mode. \n ");
        ReportAmplifierErrors(bus);
        ReportAmplifierClock(bus);
    }
    for (const auto& volume : kAmpVolumes) {
        double db = kVolumeUnknown;
        if (s.ampInitialised) {
            if (const std::optional<uint8_t> v = Tas5713ReadRegister(bus, volume.reg))
                db = 24.0 - 0.5 * *v;
        }
        Status(bus, kColourBlack, volume.text, db);
    }
}

// ---- S/PDIF devices

void EvbSpdifIdentifyTx(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (!s.spdifPowered)
        return;
    if (bus.Bridge().IsAlive(kSpdifTxAddress) != 1) {
        Status(bus, kColourRed, " * Fail to found CS8406-CZZ device on I2C address 0x%x.\n ",
               kSpdifTxAddress);
        s.txIdentified = false;
        return;
    }
    s.txIdentified = Identify(bus, kSpdifTxAddress, kSpdifTxId, " * Found CS8406-CZZ device. \n ",
                              " * Invalid CS8406-CZZ device version. \n ");
}

void EvbSpdifIdentifyRx(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (!s.spdifPowered)
        return;
    s.rxIdentified = false;
    for (uint8_t address : {kSpdifRxAddress, kSpdifRxAltAddress}) {
        if (bus.Bridge().IsAlive(address) != 1) {
            Status(bus, kColourRed, " * Fail to found CS8416-CZZ device on I2C address 0x%x. \n ",
                   address);
            continue;
        }
        s.rxAddress = address;
        s.rxIdentified = Identify(bus, address, kSpdifRxId, " * Found CS8416-CZZ device. \n ",
                                  " * Invalid CS8416-CZZ device ID. \n ");
        return;
    }
}

void EvbSpdifWriteRegisters(BusGate& bus, uint32_t input) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    if (!s.spdifPowered || !s.rxIdentified)
        return;
    const bool noInput = input > 7;
    const uint32_t select = input & 7;
    const RegisterValue setup[] = {
        {rx::kControl0, noInput ? 0x4Cu : 0x0Cu},
        {0x01, 0x80},
        {0x02, 0x45},
        {rx::kControl3, noInput || bus.State().boardType == 4 ? 0xB0u : 0xBCu},
        {0x05, 0x85},
        {0x06, 0x7F},
        {0x07, 0x7F},
        {0x08, 0x7F},
        {0x09, 0x00},
        {rx::kControl4, 0x80 + 9 * select},
    };
    WriteRegisters(bus, s.rxAddress, setup);
    s.spdifInput = input;
    BridgeWait(bus, 10);
    ReadRegister(bus, s.rxAddress, rx::kReceiverError);
    ReadRegister(bus, s.rxAddress, rx::kInterrupt1Status);
    s.rxConfigured = true;
}

void EvbConfigureSpdif(BusGate& bus, uint32_t input) {
    LoggerLockGuard guard(bus.Lock());
    EvbState& s = bus.Evb();
    EvbLine(bus, "[EVB] --> Configure EVB S/PDIF TX/RX devices. \n ");
    ClearSpdif(s);
    EvbSetGpio(bus, 1, pin::kSpdifPower);
    SetOutput(bus, pin::kSpdifPower, 0);
    SetOutput(bus, pin::kSpdifPower, 1);
    s.spdifPowered = true;
    BridgeWait(bus, kSpdifPowerUpMs);

    EvbSpdifIdentifyRx(bus);
    if (s.rxIdentified)
        EvbSpdifWriteRegisters(bus, input);
    EvbSpdifIdentifyTx(bus);
    if (!s.txIdentified)
        return;
    WriteRegisters(bus, kSpdifTxAddress, kSpdifTxSetupHead);
    for (unsigned reg = kSpdifTxChannelStatusFirst; reg <= kSpdifTxChannelStatusLast; ++reg)
        WriteRegister(bus, kSpdifTxAddress, static_cast<uint8_t>(reg), 0x00);
    WriteRegisters(bus, kSpdifTxAddress, kSpdifTxSetupTail);
    ReadRegister(bus, kSpdifTxAddress, kSpdifTxErrors);
    ReadRegister(bus, kSpdifTxAddress, kSpdifTxErrors2);
    s.txConfigured = true;
}

void EvbPowerDownSpdif(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    ClearSpdif(bus.Evb());
    EvbSetGpio(bus, 1, pin::kSpdifPower);
    SetOutput(bus, pin::kSpdifPower, 0);
}

namespace {

void ReportSpdifTx(BusGate& bus) {
    const EvbState& s = bus.Evb();
    Status(bus, kColourBlack, " S/PDIF TX Status: \n ");
    EvbSpdifIdentifyTx(bus);
    const uint8_t control = ReadRegister(bus, kSpdifTxAddress, kSpdifTxControl).value_or(0);
    if ((control & kSpdifTxRun) && s.txConfigured) {
        const uint8_t errors = ReadRegister(bus, kSpdifTxAddress, kSpdifTxErrors).value_or(0);
        if (errors != 0)
            Status(bus, kColourRed, " * S/PDIF TX drop samples. \n ");
        else
            Status(bus, kColourGreen, " * No errors were found. \n ");
    } else {
        Status(bus, kColourRed, " * S/PDIF TX is disabled.\n ");
    }
}

void ReportSpdifInput(BusGate& bus, uint32_t input) {
    if (input > 7) {
        Status(bus, kColourBlack, " * No S/PDIF input is used.\n ");
        Status(
            bus, kColourBlack,
            "   I2S clock and sample rate are derived\n     from the on-board 12.288MHz OSC.\" ");
    } else if (input == kSpdifInputOptical) {
        Status(bus, kColourBlack, " * Optical input is selected.\n ");
    } else if (input == kSpdifInputRca) {
        Status(bus, kColourBlack, " * RCA input is selected.\n ");
    } else {
        Status(bus, kColourRed, " * Invalid S/PDIF input selected.\n ");
    }
}

void ReportSampleRate(BusGate& bus, uint8_t ratio) {
    // No lock leaves the ratio at 0: no rate at all.
    const double rate = ratio == 0 ? 0.0 : 3072.0 / ratio;
    if ((rate >= 42 && rate <= 45) || (rate >= 47 && rate <= 49))
        Status(bus, kColourGreen, " * Sample Rate : %.4fKHz \n ", rate);
    else
        Status(bus, kColourRed, " * Invalid sample Rate : %.4fKHz \n ", rate);
}

void ReportChannelStatus(BusGate& bus, uint8_t cs) {
    Status(bus, kColourBlack, " * Receiver Channel Status : \n ");
    if (cs & rx::kPreEmphasis)
        Status(bus, kColourBlack, "  > Input audio data has been pre-emphasized.\n ");
    Status(bus, kColourBlack, "%s",
           cs & rx::kOriginal ? "  > Received data is original.\n "
                              : "  > Received data is 1st generation or higher.\n");
    Status(bus, kColourBlack, "%s",
           cs & rx::kCopyrightNotAsserted ? "  > Copyright not asserted.\n "
                                          : "  > Copyright asserted.\n ");
    Status(bus, kColourBlack, "%s",
           cs & rx::kProfessional ? "  > Professional format.\n " : "  > Consumer format.\n");
    Status(bus, kColourBlack, "  > Data size: %u bits \n ", 24u - (cs >> 4));
}

void ReportSpdifRx(BusGate& bus) {
    const EvbState& s = bus.Evb();
    Status(bus, kColourBlack, " SPDIF RX Status: \n ");
    if (!s.rxConfigured) {
        Status(bus, kColourRed, " * S/PDIF RX is disabled.\n ");
        return;
    }
    auto reg = [&](uint8_t r) { return ReadRegister(bus, s.rxAddress, r).value_or(0); };
    ReportSpdifInput(bus, s.spdifInput);
    ReportSampleRate(bus, reg(rx::kClockRatio));
    if (reg(rx::kInterrupt1Status) & rx::kOutputSlip)
        Status(bus, kColourRed, " * Serial audio output port data slip \n ");
    const uint8_t format = reg(rx::kFormatDetect);
    Status(bus, kColourBlack, " * Format Detection Status :\n ");
    for (const auto& f : rx::kFormats)
        if (format & f.bit)
            Status(bus, kColourBlack, "%s", f.text);
    ReportChannelStatus(bus, reg(rx::kChannelStatus));
    const uint8_t errors = reg(rx::kReceiverError);
    bool any = false;
    for (const auto& e : rx::kErrors) {
        if (!(errors & e.bit))
            continue;
        if (!any)
            Status(bus, kColourRed, " * A receiver error has detected: \n ");
        any = true;
        Status(bus, kColourRed, "%s", e.text);
    }
}

} // namespace

void EvbReportSpdifStatus(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    if (!bus.Evb().spdifPowered) {
        Status(bus, kColourBlack, " SPDIF TX/RX Status: \n ");
        Status(bus, kColourRed, " * Devices are powered-off.\n ");
        return;
    }
    ReportSpdifTx(bus);
    Status(bus, kColourBlack, " \n ");
    ReportSpdifRx(bus);
}

} // namespace busgate
