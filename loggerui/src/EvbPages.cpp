#include "loggerui/EvbPages.h"

#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/EvalBoard.h"

#include <cstdio>

namespace loggerui {

namespace {

using busgate::BusGate;
using busgate::LoggerLockGuard;

// Board pins as the board functions number them (port in the high nibble).
constexpr uint8_t kPinAnalogA = 0x0D;  // port 0 bit 13
constexpr uint8_t kPinAnalogB = 0x0E;  // port 0 bit 14
constexpr uint8_t kPinUsbAudio = 0x23; // port 2 bit 3
constexpr uint32_t kPort0Output = 0x50004008;
constexpr uint32_t kPort2Function = 0x50000038;
constexpr uint8_t kMasterVolume = 0x07;
constexpr int kMutePosition = 248;

constexpr int kQX410xStatusMs = 3000;
constexpr int kQZ625xStatusMs = 1000;
constexpr int kSoonMs = 100;

struct SpdifTexts {
    const char* question;
    const char* questionCaption;
    const char* enabled;
    const char* enabledCaption;
    const char* disabled;
    const char* disabledCaption;
};

constexpr SpdifTexts kQX410xTexts{
    " QX410x should be reset in order to implement these settings. \n Do you want to reset the "
    "device?  \n\n",
    "S/PDIF Enable/Disable",
    " Before pressing the 'DSP CONNECT' button, do the following:  \n\n 1. Open jumper JP3 on "
    "the EVB to select DCLK as the PLL reference clock.\n\n 2. Press the 'SYSTEM CONFIG' button "
    "and set to:  \n     - Slave mode with DCLK as the input reference clock.\n     - I2S mode "
    "with 24bit word size.\n\n 3. Select the S/PDIF source from 'SDI0 Source Selection'.\n\n 4. "
    "Open the Mixer window and configure input and output 'DIGITAL 0' channels.\n\n",
    "S/PDIF Enable - Set S/PDIF RX as I2S Master; set QX410x as I2S Slave",
    " Before pressing the 'DSP CONNECT' button, do the following:  \n\n 1. Close jumper JP3 on "
    "the EVB to select the crystal as the PLL reference clock.\n\n 2. Press the 'SYSTEM CONFIG' "
    "button and set to: \n     Master mode with Crystal as the input clock.\n\n",
    "S/PDIF Disable - Set QX410x as I2S Master",
};

constexpr SpdifTexts kQZ625xTexts{
    " QZ625x should be reset in order to implement these settings. \n Do you want to reset the "
    "device?  \n\n",
    "S/PDIF and ADC Enable / Disable",
    " Before pressing the 'DSP CONNECT' button, do the following:  \n\n 1. Open jumper JP2 on "
    "the EVB to select DCLK as the PLL reference clock.\n\n 2. Press the 'SYSTEM CONFIG' button "
    "and set to: \n     - Slave mode with DCLK as the input reference clock.\n     - I2S mode "
    "with 24-bit word size.\n\n 3. If necessary, open the Mixer window and configure the input "
    "channels as follows:\n    - Input 'DIGITAL0' for USB Audio (48KHz sample rate).\n    - "
    "Input 'DIGITAL1' for S/PDIF RX. \n    - Input 'DIGITAL3'/'ANALOG1' for ADC. \n\n",
    "S/PDIF and ADC Enable",
    " Before pressing the 'DSP CONNECT' button, do the following:  \n\n 1. Close jumper JP2 on "
    "the EVB to select the crystal as the PLL reference clock.\n\n 2. Press the 'SYSTEM CONFIG' "
    "button and set to \n     Master mode with Crystal as input clock.\n\n",
    "S/PDIF and ADC Disable",
};

bool BusOpen(BusGate& bus) {
    return bus.State().open == 1;
}

bool RxReady(BusGate& bus) {
    return bus.Evb().rxConfigured;
}

bool AmpConfigured(BusGate& bus) {
    return bus.Evb().ampInitialised;
}

std::string DbfsText(double level) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f dBFS", level);
    return text;
}

// The straps, the S/PDIF devices and the reset as both pages run them on
// connect; spdifInput is the receiver setting the board's page passes.
void ResetAndStraps(BusGate& bus, const EvbSettings& s, uint32_t spdifInput,
                    const std::function<void()>& whileReset) {
    if (!s.reset) {
        if (s.spdif)
            busgate::EvbConfigureSpdif(bus, spdifInput);
        else
            busgate::EvbPowerDownSpdif(bus);
        return;
    }
    busgate::EvbSetChipReset(bus, 1);
    if (whileReset)
        whileReset();
    if (s.spdif) {
        if (s.straps) {
            busgate::EvbForceRefStrap(bus, 1, 1);
            busgate::EvbForceI2CMSStrap(bus, 1, 1);
        }
        busgate::EvbConfigureSpdif(bus, spdifInput);
    } else {
        if (s.straps) {
            busgate::EvbForceRefStrap(bus, 1, 0);
            busgate::EvbForceI2CMSStrap(bus, 1, 1);
        }
        busgate::EvbPowerDownSpdif(bus);
    }
    busgate::EvbSetChipReset(bus, 0);
    busgate::EvbSetGpio(bus, 0, busgate::pin::kI2cmsStrap);
    busgate::EvbSetGpio(bus, 0, busgate::pin::kRefStrap);
}

} // namespace

std::string VolumeLabelClosed(int position) {
    if (position > kMutePosition)
        return " Mute ";
    return DbfsText(24.0 - 0.5 * position);
}

EvbBoardPage::EvbBoardPage(BusGate& bus, int boardType) : bus_(bus), boardType_(boardType) {
    ResetToDefaults();
}

void EvbBoardPage::SetNotifier(std::function<void()> notify) {
    std::lock_guard hold(mutex_);
    notify_ = std::move(notify);
}

void EvbBoardPage::ResetToDefaults() {
    std::lock_guard hold(mutex_);
    settings_ = EvbSettings{};
    volume_ = EvbVolumeView{};
}

EvbSettings EvbBoardPage::Settings() const {
    std::lock_guard hold(mutex_);
    return settings_;
}

EvbVolumeView EvbBoardPage::Volume() const {
    std::lock_guard hold(mutex_);
    return volume_;
}

void EvbBoardPage::Change(const std::function<void(EvbSettings&)>& change) {
    {
        std::lock_guard hold(mutex_);
        change(settings_);
    }
    Notify();
}

void EvbBoardPage::Notify() {
    std::function<void()> notify;
    {
        std::lock_guard hold(mutex_);
        notify = notify_;
    }
    if (notify)
        notify();
}

void EvbBoardPage::ArmTimer(int milliseconds) {
    timerRequest_.store(milliseconds);
    Notify();
}

// ---- hooks

void EvbBoardPage::BoardIdentified() {
    LoggerLockGuard hold(bus_.Lock());
    busgate::EvbState& evb = bus_.Evb();
    evb.refStrap = evb.i2cmsStrap = -1;
    const EvbSettings s = Settings();
    if (IsQX410x())
        ConnectQX410x(s);
    else
        ConnectQZ625x(s);
}

void EvbBoardPage::ConnectQX410x(const EvbSettings& s) {
    ResetAndStraps(bus_, s, busgate::kSpdifNoInput, nullptr);
    int source = s.sdi0;
    if (!RxReady(bus_) && (source == kSdiOptical || source == kSdiRca)) {
        source = kSdiExternal;
        Change([](EvbSettings& m) { m.sdi0 = kSdiExternal; });
    }
    RunAmplifier(s.amplifier);
    ApplySource(source);
    AnalogAmplifiers(true);
    ArmTimer(kQX410xStatusMs);
}

void EvbBoardPage::ConnectQZ625x(const EvbSettings& s) {
    // The high-power supply is switched only inside the reset.
    ResetAndStraps(bus_, s, 0, [&] { busgate::EvbSetHighPowerVoltage(bus_, s.highPower ? 1 : 0); });
    bus_.Bridge().WriteMemMasked(kPort2Function, 0x8, 0x8);
    ArmTimer(kQZ625xStatusMs);
}

void EvbBoardPage::BeforeReset() {
    if (!IsQX410x()) {
        ArmTimer(kQZ625xStatusMs);
        return;
    }
    if (!Settings().muteAtPreset)
        return;
    LoggerLockGuard hold(bus_.Lock());
    bus_.Log().SetTrafficColor(busgate::kColourBlack);
    bus_.Log().Printf("[EVB] --> Mute analog amplifiers (2W and Headphone). \n ");
    AnalogAmplifiers(false);
}

void EvbBoardPage::AfterSetup() {
    if (!IsQX410x()) {
        ArmTimer(kSoonMs);
        return;
    }
    if (!Settings().muteAtPreset)
        return;
    LoggerLockGuard hold(bus_.Lock());
    bus_.Bridge().Delay(50);
    bus_.Log().SetTrafficColor(busgate::kColourBlack);
    bus_.Log().Printf("[EVB] --> UnMute analog amplifiers (2W and Headphone). \n ");
    AnalogAmplifiers(true);
}

void EvbBoardPage::AnalogAmplifiers(bool unmuted) {
    // Muted: line A low, line B high; unmuted the other way round.
    busgate::EvbSetGpio(bus_, 1, kPinAnalogA);
    bus_.Bridge().WriteMemMasked(kPort0Output, 0x2000, unmuted ? 0x2000 : 0);
    busgate::EvbSetGpio(bus_, 1, kPinAnalogB);
    bus_.Bridge().WriteMemMasked(kPort0Output, 0x4000, unmuted ? 0 : 0x4000);
}

// ---- SDI0 source

void EvbBoardPage::ApplySource(int source) {
    switch (source) {
    case kSdiExternal:
        if (RxReady(bus_))
            busgate::EvbSpdifWriteRegisters(bus_, busgate::kSpdifNoInput);
        busgate::EvbSetGpio(bus_, 0, kPinUsbAudio);
        break;
    case kSdiUsb:
        if (RxReady(bus_))
            busgate::EvbSpdifWriteRegisters(bus_, busgate::kSpdifNoInput);
        bus_.Bridge().WriteMemMasked(kPort2Function, 0x8, 0x8);
        break;
    case kSdiOptical:
    case kSdiRca:
        if (RxReady(bus_)) {
            busgate::EvbSetGpio(bus_, 0, kPinUsbAudio);
            if (RxReady(bus_))
                busgate::EvbSpdifWriteRegisters(bus_, source == kSdiOptical
                                                          ? busgate::kSpdifInputOptical
                                                          : busgate::kSpdifInputRca);
        }
        break;
    default:
        break;
    }
}

void EvbBoardPage::SelectSource(int source) {
    if (source < kSdiExternal || source > kSdiRca)
        return;
    if (source == kSdiExternal || source == kSdiUsb) {
        {
            LoggerLockGuard hold(bus_.Lock());
            ApplySource(source);
        }
        Change([source](EvbSettings& m) { m.sdi0 = source; });
        ArmTimer(kSoonMs);
        return;
    }
    // A receiver choice never re-enters while an earlier one still talks
    // to the board.
    if (!selecting_.exchange(true)) {
        bool refused = false;
        if (!BusOpen(bus_)) {
            Change([source](EvbSettings& m) { m.sdi0 = source; });
        } else {
            {
                LoggerLockGuard hold(bus_.Lock());
                if (RxReady(bus_))
                    ApplySource(source);
                else
                    refused = true;
            }
            if (!refused)
                Change([source](EvbSettings& m) { m.sdi0 = source; });
            else
                Notify(); // the radios go back to the stored choice
        }
        selecting_.store(false);
        if (refused)
            bus_.Messages().showError("S/PDIF is disabled or S/PDIF RX device does not exist.",
                                      "SDI0 Source Selection");
    }
    ArmTimer(kSoonMs);
}

// ---- boxes

void EvbBoardPage::SpdifClicked(bool checked) {
    const SpdifTexts& texts = IsQX410x() ? kQX410xTexts : kQZ625xTexts;
    // The question waits for the user: the bus's traffic is not held up
    // meanwhile.
    if (bus_.State().ready == 1 &&
        !bus_.Messages().askYesNo(texts.question, texts.questionCaption)) {
        Notify(); // the box shows the stored state again
        return;
    }
    Change([checked](EvbSettings& m) { m.spdif = checked; });
    {
        // The next connection opens the bridge again and applies the
        // setting with a reset.
        LoggerLockGuard hold(bus_.Lock());
        bus_.Bridge().Close();
    }
    if (checked)
        bus_.Messages().showInformation(texts.enabled, texts.enabledCaption);
    else
        bus_.Messages().showInformation(texts.disabled, texts.disabledCaption);
}

void EvbBoardPage::MuteAtPresetClicked(bool checked) {
    Change([checked](EvbSettings& m) { m.muteAtPreset = checked; });
}

void EvbBoardPage::AmplifierClicked(bool checked) {
    Change([checked](EvbSettings& m) { m.amplifier = checked; });
    LoggerLockGuard hold(bus_.Lock());
    RunAmplifier(checked);
}

void EvbBoardPage::RunAmplifier(bool checked) {
    if (checked) {
        busgate::Tas5713Configure(bus_);
        if (AmpConfigured(bus_)) {
            {
                std::lock_guard hold(mutex_);
                volume_.labelShown = volume_.sliderEnabled = true;
            }
            ApplyVolume(Settings().volume);
            return;
        }
    } else {
        busgate::EvbState& evb = bus_.Evb();
        evb.ampEnabled = evb.ampIdentified = evb.ampInitialised = false;
    }
    {
        std::lock_guard hold(mutex_);
        volume_.labelShown = volume_.sliderEnabled = false;
    }
    Notify();
}

void EvbBoardPage::VolumeChanged(int position) {
    if (position < 0)
        position = 0;
    if (position > 255)
        position = 255;
    Change([position](EvbSettings& m) { m.volume = position; });
    LoggerLockGuard hold(bus_.Lock());
    ApplyVolume(position);
}

void EvbBoardPage::ApplyVolume(int position) {
    std::string label;
    if (position > kMutePosition) {
        if (AmpConfigured(bus_))
            busgate::Tas5713WriteRegister(bus_, kMasterVolume, 0xFF);
        label = " Mute ";
    } else {
        if (AmpConfigured(bus_))
            busgate::Tas5713WriteRegister(bus_, kMasterVolume, static_cast<uint8_t>(position));
        if (!BusOpen(bus_)) {
            label = VolumeLabelClosed(position);
        } else if (AmpConfigured(bus_)) {
            // What the amplifier holds, not what was asked for.
            const std::optional<uint8_t> value = busgate::Tas5713ReadRegister(bus_, kMasterVolume);
            label = value ? DbfsText(24.0 - 0.5 * *value) : DbfsText(-999.0);
        } else {
            label = DbfsText(-999.0);
        }
    }
    {
        std::lock_guard hold(mutex_);
        volume_.label = label;
    }
    Notify();
}

void EvbBoardPage::ResetOrStrapsClicked(bool reset, bool straps) {
    Change([&](EvbSettings& m) {
        m.reset = reset;
        m.straps = reset && straps;
    });
}

void EvbBoardPage::HighPowerClicked(bool checked) {
    Change([checked](EvbSettings& m) { m.highPower = checked; });
    if (BusOpen(bus_))
        busgate::EvbSetHighPowerVoltage(bus_, checked ? 1 : 0);
}

void EvbBoardPage::SetStatusAutoUpdate(bool on) {
    std::lock_guard hold(mutex_);
    settings_.statusAutoUpdate = on;
}

// ---- status

int EvbBoardPage::StatusTimer(bool visible) {
    busgate::LoggerLock& lock = bus_.Lock();
    // Never waits for the lock, nor runs inside a section this thread
    // holds further up its stack.
    if (lock.HeldByThisThread() || !lock.TryLock())
        return kSoonMs;
    int next = 0;
    if (!BusOpen(bus_)) {
        bus_.Log().SetEvbColor(busgate::kColourRed);
        bus_.Log().PrintfEvb("I2C connection is close. \n ");
    } else if (IsQX410x()) {
        next = kQX410xStatusMs;
        if (Settings().statusAutoUpdate && visible)
            RefreshStatus();
    } else {
        next = kQZ625xStatusMs;
        RefreshStatus();
    }
    lock.Unlock();
    return next;
}

void EvbBoardPage::RefreshStatus() {
    busgate::LogQueue& log = bus_.Log();
    bus_.Ui().QueueClear(busgate::Pane::Evb);
    log.SetEvbColor(busgate::kColourBlack);
    const busgate::EvbState& evb = bus_.Evb();
    if (evb.refStrap == 1)
        log.PrintfEvb(" STRAP REF: DCLK as reference clock. \n ");
    else if (evb.refStrap == 0)
        log.PrintfEvb(" STRAP REF: Crystal as reference clock. \n ");
    if (evb.i2cmsStrap == 1)
        log.PrintfEvb(" STRAP I2CMS: I2C Slave (use MCU). \n ");
    else if (evb.i2cmsStrap == 0)
        log.PrintfEvb(" STRAP I2CMS: I2C Master (use EEPROM). \n ");
    log.PrintfEvb(" \n ");
    busgate::EvbReportSpdifStatus(bus_);
    log.PrintfEvb(" \n ");
    if (IsQX410x()) {
        busgate::Tas5713ReportStatus(bus_);
        log.PrintfEvb(" \n ");
    }
}

} // namespace loggerui
