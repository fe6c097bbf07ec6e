// The command decoder: splits traffic to the chip into commands, names and
// decodes each through the command table, captures it and passes it on.
#include "Words.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/TraceSink.h"

#include <algorithm>

namespace busgate {

namespace {

constexpr const char* kTransactionFailed = "\n ==> I2C Transaction Failed \n ";
constexpr const char* kWordIndent = "                     0x%02X 0x%02X 0x%02X  ";
constexpr uint8_t kRegisterWriteY = 0xAD;

} // namespace

// The decoders of the command table, with access to the bus's state.
class CommandDecoders {
public:
    explicit CommandDecoders(BusGate& bus) : bus_(bus), log_(*bus.sink_) {}

    int Command(const CommandRow& row, uint8_t slave, uint8_t* b);
    int Extended(const CommandRow& row, int direction, uint8_t slave, uint32_t length,
                 uint8_t* data);
    int Malformed(int direction, uint8_t slave, uint32_t length, uint8_t* data,
                  const char* message);
    int Failed() {
        log_.SetColor(kColourRed);
        log_.ErrorText("%s", kTransactionFailed);
        return 0;
    }

private:
    // Saves the decoder state and the chip command layer's transfer for
    // traffic a decoder injects, and restores both afterwards.
    class Injection {
    public:
        explicit Injection(BusGate& bus)
            : bus_(bus), decoder_(bus.decoder_), transfer_(bus.transfer_) {}
        ~Injection() {
            bus_.decoder_ = decoder_;
            bus_.transfer_ = transfer_;
        }

    private:
        BusGate& bus_;
        DecoderState decoder_;
        BusGate::Transfer transfer_;
    };

    bool Offline() const { return bus_.state_.offline != 0; }
    bool QZ625x() const { return IsQZ625xFamily(bus_.state_.chipTypeCode); }
    int Send(uint8_t slave, uint8_t* b) {
        return bus_.RawTransfer(0, slave, 3, b) == 1 ? 1 : Failed();
    }
    void Name(const CommandRow& row) {
        log_.SetColor(kColourGreen);
        log_.InfoText(" // %s \n ", row.name);
    }
    template <typename Line>
    int PlainSteps(const CommandRow& row, uint8_t slave, uint8_t* b, Line&& line) {
        bus_.CaptureAppend(3, b);
        log_.SetColor(CategoryColour(row.category));
        log_.Transaction(0, slave, 3, b, row.category);
        line();
        return Send(slave, b);
    }
    int Plain(const CommandRow& row, uint8_t slave, uint8_t* b) {
        return PlainSteps(row, slave, b, [&] { Name(row); });
    }
    int Valued(const CommandRow& row, uint8_t slave, uint8_t* b) {
        return PlainSteps(row, slave, b, [&] {
            log_.SetColor(kColourGreen);
            log_.InfoText(" // %s ", row.name);
            DecodeParameterValue(row.decoder, b[0], b[2], log_);
            log_.InfoText("\n ");
        });
    }
    int Get(const CommandRow& row, uint8_t slave, uint8_t* b) {
        log_.SetColor(kColourBlack);
        log_.Transaction(0, slave, 3, b, row.category);
        Name(row);
        return Send(slave, b);
    }
    int CatchAll(const CommandRow& row, uint8_t slave, uint8_t* b) {
        log_.SetColor(CategoryColour(row.category));
        log_.Transaction(0, slave, 3, b, row.category);
        log_.SetColor(kColourRed);
        log_.InfoText(" // %s \n ", row.name);
        return Send(slave, b);
    }
    void WriteCodecRegister(uint16_t reg, uint32_t value) {
        if (bus_.SendCommand(reg, kRegisterWriteY) == 0)
            bus_.SendData(value);
    }
    void ClearTrafficPaneOnSetup() {
        if (bus_.ui_.IsChecked(ctl::kClearLogOnStart) && !bus_.firstSetupSequence_)
            bus_.log_.ResetFormat();
    }

    void PresetStage(bool globalBypass);
    int SetupStart(const CommandRow& row, uint8_t slave, uint8_t* b);
    int SetupCompleted(const CommandRow& row, uint8_t slave, uint8_t* b);
    int SoftwareReset(const CommandRow& row, uint8_t slave, uint8_t* b);
    void RestoreAddressAndPowerCodec();
    int IsAlive();
    int Ssi(const CommandRow& row, uint8_t slave, uint8_t* b);
    int CodecInterface(const CommandRow& row, uint8_t slave, uint8_t* b);
    int Tweaks(const CommandRow& row, uint8_t slave, uint8_t* b);

    int Words(const CommandRow& row, int direction, uint8_t slave, uint32_t length, uint8_t* data);
    int VersionRead(const CommandRow& row, uint8_t slave, uint32_t length, uint8_t* data);

    BusGate& bus_;
    CFilterLog& log_;
};

int CommandDecoders::Malformed(int direction, uint8_t slave, uint32_t length, uint8_t* data,
                               const char* message) {
    bus_.decoder_.pending = Ext::None;
    bus_.CaptureInvalidate();
    const int status = bus_.RawTransfer(direction, slave, length, data);
    log_.Transaction(direction, slave, length, data, 0);
    log_.Text("%s", message);
    return status == 1 ? 1 : Failed();
}

int CommandDecoders::Command(const CommandRow& row, uint8_t slave, uint8_t* b) {
    const uint32_t p = (uint32_t{b[0]} << 8) | b[2];
    switch (row.decoder) {
    case Dec::Plain:
        return Plain(row, slave, b);
    case Dec::Get:
        return Get(row, slave, b);
    case Dec::Swallow:
        return 1;
    case Dec::CatchAll:
        return CatchAll(row, slave, b);
    case Dec::SpeakerType:
        PresetStage(false);
        bus_.lastSpeakerType_ = p;
        return Valued(row, slave, b);
    case Dec::GlobalBypass:
        PresetStage(true);
        return Plain(row, slave, b);
    case Dec::VolumeGain:
        bus_.lastVolumeGain_ = p;
        return Valued(row, slave, b);
    case Dec::AEQStart: {
        const uint32_t count = b[2];
        bus_.decoder_.announced = count;
        return PlainSteps(row, slave, b, [&] {
            // Fewer than two words cannot hold the header of an AEQ block.
            if (count < 2 || (count - 2) % 5 != 0) {
                log_.SetColor(kColourRed);
                log_.InfoText(
                    " // %s ; Invalid number of expected data word (%u). Verify AEQ file.\n ",
                    row.name, count);
            } else {
                log_.SetColor(kColourGreen);
                log_.InfoText(" // %s ; Expected %u data word for %u filters => 2 + (%u x 5). \n ",
                              row.name, count, (count - 2) / 5, (count - 2) / 5);
            }
        });
    }
    case Dec::Patch: {
        const uint32_t count =
            (bus_.state_.firmwareCode > 3 || bus_.tweaksValue_ != 0) ? p : uint32_t{b[0]} + b[2];
        bus_.decoder_.announced = count;
        return PlainSteps(row, slave, b, [&] {
            log_.SetColor(kColourGreen);
            log_.InfoText(" // %s (extend data %u x 3) \n ", row.name, count);
        });
    }
    case Dec::SoftwareReset:
        return SoftwareReset(row, slave, b);
    case Dec::SetupStart:
        return SetupStart(row, slave, b);
    case Dec::SetupCompleted:
        return SetupCompleted(row, slave, b);
    case Dec::IsAlive:
        return IsAlive();
    case Dec::SSI:
        return Ssi(row, slave, b);
    case Dec::CodecInterface:
        return CodecInterface(row, slave, b);
    case Dec::TweaksValue:
        return Tweaks(row, slave, b);
    default:
        return Valued(row, slave, b);
    }
}

void CommandDecoders::PresetStage(bool globalBypass) {
    LoggerServices& ui = bus_.ui_;
    const bool pwrAmp = ui.IsChecked(ctl::kConfigPwrAmpAtPreset) && QZ625x();
    if (Offline()) {
        if (globalBypass && pwrAmp) {
            log_.InfoText("\t// # Audio PWM and Power Amplifier Initialization. \n ");
            log_.InfoText("\t// # Verify 12msec delay before switch to 1sec fault latch time. \n ");
        }
        return;
    }
    if (bus_.presetStage_)
        return;
    {
        Injection injection(bus_);
        if (QZ625x()) {
            uint8_t watchdog[3] = {0x00, 0xAE, 0x00};
            bus_.LoggerTransfer(0, bus_.state_.chipAddress, 3, watchdog);
        }
        if (pwrAmp) {
            log_.SetColor(kColourBlack);
            log_.Text(" # Audio PWM and Power Amplifier Initialization. \n ");
            log_.Text(" # Verify 12msec delay before switch to 1sec fault latch time. \n ");
            ui.PwrAmpApplyConfig();
        }
        if (ui.IsChecked(ctl::kConfigIoAtPreset)) {
            log_.SetColor(kColourBlack);
            log_.Text(" # I/O Configuration \n ");
            ui.IoInjectConfig();
        }
        if (ui.IsChecked(ctl::kConfigureAeqAtPreset)) {
            log_.SetColor(kColourBlack);
            log_.Text(" # AEQ Configuration \n ");
            ui.AeqSendFilters();
        }
        bus_.presetStage_ = true;
    }
    log_.SetColor(kColourBlack);
    log_.Text(" #  Start Algorithm Configuration \n ");
}

int CommandDecoders::SetupStart(const CommandRow& row, uint8_t slave, uint8_t* b) {
    CaptureBuffer& capture = bus_.capture_;
    if (capture.armed) {
        if (!Offline()) {
            capture.total = 0;
            capture.label = " -- Empty -- ";
            capture.state = CaptureBuffer::CapturingEmpty;
            bus_.ArmCaptureLabel();
        }
        ClearTrafficPaneOnSetup();
        const char* rule = "-----------------------------------------------\n ";
        log_.SetColor(kColourBlack);
        log_.Text("%s", rule);
        log_.Text(" Start Capturing DulmAudio I2C Commands         \n ");
        log_.Text("%s", rule);
        log_.SetColor(kColourBlue);
        log_.Text("> System and Audio configuration commands (typically send at setup-time). \n ");
        log_.SetColor(5);
        log_.Text("> Audio Tunning commands (typically send at run-time). \n ");
        log_.SetColor(kColourBlack);
        log_.Text("%s", rule);
        capture.armed = 0;
    }
    return Plain(row, slave, b);
}

int CommandDecoders::SetupCompleted(const CommandRow& row, uint8_t slave, uint8_t* b) {
    LoggerServices& ui = bus_.ui_;
    if (!Offline() && ui.IsChecked(ctl::kEnableTweaksAtPreset)) {
        Injection injection(bus_);
        ui.TweaksEnable(1);
    }
    const int result = Plain(row, slave, b);
    bus_.WaitWithMessagePump(5);
    log_.SetColor(kColourBlack);
    log_.Text("---------------------------------------------\n ");
    if (!Offline()) {
        if (bus_.capture_.state == CaptureBuffer::CapturingEmpty)
            bus_.capture_.state = CaptureBuffer::Completed;
        Injection injection(bus_);
        bus_.evb_->AfterSetup();
        if (ui.IsChecked(ctl::kConfigSrcPllAtPreset)) {
            ui.TweaksConfigureSrc();
            ui.SetTweaksButton("Tweaks is Enable", false);
        }
        ui.TweaksCheckRunning();
    }
    bus_.firstSetupSequence_ = false;
    return result;
}

int CommandDecoders::SoftwareReset(const CommandRow& row, uint8_t slave, uint8_t* b) {
    LoggerServices& ui = bus_.ui_;
    BusState& state = bus_.state_;
    if (!Offline()) {
        Injection injection(bus_);
        if (ui.TweaksRunning())
            ui.TweaksEnable(0);
        bus_.evb_->BeforeReset();
        if (bus_.presetStage_ && state.ready && QZ625x()) {
            log_.SetColor(kColourBlack);
            log_.Text("#  Start Audio PWM and Power Amplifier Power-Down \n ");
            bus_.PwrAmpPowerDown();
            log_.SetColor(kColourBlack);
            log_.Text("#  End Audio PWM and Power Amplifier Power-Down \n ");
        }
        bus_.capture_.armed = 1;
        bus_.CaptureReset();
        bus_.presetStage_ = false;
        ClearTrafficPaneOnSetup();
    }
    const int result = Get(row, slave, b);
    if (Offline())
        return result;
    {
        Injection injection(bus_);
        RestoreAddressAndPowerCodec();
    }
    // From here on the chip command layer's writes are decoded and captured.
    bus_.transfer_ = BusGate::Transfer::Logger;
    return result;
}

void CommandDecoders::RestoreAddressAndPowerCodec() {
    BusState& state = bus_.state_;
    if (state.chipAddress != kDefaultChipAddress) {
        // After a reset the chip answers at its default address again.
        bus_.transfer_ = BusGate::Transfer::Raw;
        bus_.fdkTarget_ = kDefaultChipAddress;
        uint32_t value = 0;
        if (bus_.ReadRegister(0xFFE9, value) == 0 && ((value >> 4) & 0x7F) == kDefaultChipAddress) {
            log_.SetColor(kColourGreen);
            log_.Text(" ==> Return I2C address to 0x%x (7 bit address)\n ", state.chipAddress);
            bus_.WriteRegister(0xFFE9,
                               (uint32_t{state.chipAddress} & 0x7F) << 4 | (value & 0xFFF80F));
        }
        bus_.fdkTarget_ = 0;
    }
    bus_.transfer_ = BusGate::Transfer::Logger;
    WriteCodecRegister(0xFF85, 3);
    WriteCodecRegister(0xFF86, 0);
    WriteCodecRegister(0xFF86, 1);
}

int CommandDecoders::IsAlive() {
    const uint32_t hardware = bus_.ReadChipHwVersion();
    const uint32_t firmware = bus_.ReadChipFwVersion();
    if (hardware == firmware) {
        log_.SetColor(kColourRed);
        log_.Text("IsAlive fail. Found ChipHwVersion 0x%08lX;  ChipFwVersion 0x%08lX \n ",
                  static_cast<unsigned long>(hardware), static_cast<unsigned long>(firmware));
        return 0;
    }
    const DecoderState saved = bus_.decoder_;
    bus_.transfer_ = BusGate::Transfer::Raw;
    uint32_t marker = 0;
    if (bus_.SendCommand(0x000A, 0xB1) == 0)
        bus_.ReceiveData(marker);
    bus_.decoder_ = saved;
    if (marker == 0x00A500) {
        bus_.ui_.SetConnectionState(kChipAliveWithMarker);
    } else {
        bus_.ui_.SetConnectionState(kChipAlive);
        if (bus_.lastAliveValue_ == 0x00A500) {
            log_.SetColor(kColourRed);
            log_.Text("\n # DulmAudio chip has been reset. \n ");
            Beep(550, 200);
            Beep(650, 100);
        }
    }
    bus_.ui_.ArmTimer(kTimerConnection, 1);
    bus_.lastAliveValue_ = marker;
    return 1;
}

int CommandDecoders::Ssi(const CommandRow& row, uint8_t slave, uint8_t* b) {
    const char* pllNote =
        " # PLL and Clocks Configuration (verify 250usec delay between PLL commands) \n ";
    if (bus_.state_.chipFirmwareVersion == 0x0606) {
        // This firmware takes the setting as an SSI control word instead.
        if (Offline()) {
            log_.InfoText("\t//%s", pllNote);
            return 1;
        }
        int result = 0;
        {
            Injection injection(bus_);
            uint8_t frames[6] = {0x00, 0xA7, 0x3E, 0x00, b[0], b[2]};
            if (slave == bus_.state_.chipAddress)
                result = bus_.LoggerTransfer(0, slave, 6, frames) ? 1 : 0;
            else
                result = bus_.RawTransfer(0, slave, 6, frames) == 1 ? 1 : Failed();
        }
        log_.SetColor(kColourBlack);
        log_.Text("%s", pllNote);
        // The setting reached the chip only if the words in its place did.
        return result;
    }
    const uint16_t p = static_cast<uint16_t>((b[0] << 8) | b[2]);
    bus_.lastSsi_ = p;
    const int result = PlainSteps(row, slave, b, [&] {
        log_.SetColor(kColourGreen);
        log_.InfoText(" // %s ", row.name);
        DecodeSsiFields(p, log_);
        const uint32_t code = bus_.state_.firmwareCode;
        if (code == kFirmwareA1 || code == kFirmwareA2) {
            log_.SetColor(kColourBlack);
            log_.InfoText("  NOTE: This command change GPIOs, PLL and Clocks settings.\n ");
        }
        log_.InfoText("\n ");
    });
    log_.SetColor(kColourBlack);
    if (Offline())
        log_.InfoText("\t// NOTE: Verify min 250usec delay between PLL and Clocks configuration "
                      "commands.\n ");
    else
        log_.Text(" # PLL and Clocks Configuration (verify 250usec delay between PLL commands)\n ");
    return result;
}

int CommandDecoders::CodecInterface(const CommandRow& row, uint8_t slave, uint8_t* b) {
    if (bus_.capture_.state == CaptureBuffer::CapturingEmpty && !Offline()) {
        log_.SetColor(kColourBlack);
        log_.Text("# CODEC Configuration \n ");
        Injection injection(bus_);
        bus_.transfer_ = BusGate::Transfer::Logger;
        WriteCodecRegister(0xFF85, 0);
        WriteCodecRegister(0xFF88, 0x00AA11);
        WriteCodecRegister(0xFF89, 0x000012);
        WriteCodecRegister(0xFF86, 0);
        WriteCodecRegister(0xFF86, 1);
    }
    return Plain(row, slave, b);
}

int CommandDecoders::Tweaks(const CommandRow& row, uint8_t slave, uint8_t* b) {
    if (Offline())
        return CatchAll(row, slave, b);
    if (b[1] == 0x07) {
        bus_.tweaksValue_ = static_cast<uint16_t>((b[0] << 8) | b[2]);
    } else {
        log_.SetColor(kColourRed);
        log_.Text(" -> Invalid Tweaks command value 0x%02X \n ", b[1]);
    }
    return 1;
}

int CommandDecoders::Extended(const CommandRow& row, int direction, uint8_t slave, uint32_t length,
                              uint8_t* data) {
    switch (row.extended) {
    case Ext::None:
        return 1;
    case Ext::Swallow:
        return 1;
    case Ext::Word:
        break;
    case Ext::FirmwareVersion:
    case Ext::ChipVersion:
    case Ext::ChipFlavour:
        return VersionRead(row, slave, length, data);
    default:
        return Words(row, direction, slave, length, data);
    }
    const int status = bus_.RawTransfer(direction, slave, length, data);
    if (direction == 0) {
        bus_.CaptureAppend(length, data);
        log_.SetColor(CategoryColour(row.category));
    } else {
        log_.SetColor(kColourBlack);
    }
    log_.Transaction(direction, slave, length, data, row.category);
    log_.InfoText("\n ");
    return status == 1 ? 1 : Failed();
}

// Words with a value text each.
int CommandDecoders::Words(const CommandRow& row, int direction, uint8_t slave, uint32_t length,
                           uint8_t* data) {
    const int status = bus_.RawTransfer(direction, slave, length, data);
    const DecoderState& d = bus_.decoder_;
    const RegisterContext context{bus_.state_.chipTypeCode,
                                  static_cast<uint32_t>(bus_.state_.chipHardwareVersion)};
    for (uint32_t i = 0; i * 3 < length; ++i) {
        uint8_t* w = data + 3 * i;
        const uint32_t k = d.announced - d.remaining + i;
        if (direction == 0) {
            bus_.CaptureAppend(3, w);
            log_.SetColor(CategoryColour(row.category));
        } else {
            log_.SetColor(kColourBlack);
        }
        if (i == 0)
            log_.Transaction(direction, slave, 3, w, row.category);
        else
            log_.Text(kWordIndent, w[0], w[1], w[2]);
        switch (row.extended) {
        case Ext::PEQ:
            DecodePeqWord(k, w[2], log_);
            break;
        case Ext::AEQ:
            DecodeAeqWord(k, log_);
            break;
        case Ext::Mixer:
            if (k < kMixerGains)
                bus_.mixerGains_[k] = WordOf(w);
            DecodeMixerWord(k, WordOf(w), log_);
            break;
        default:
            if (direction == 0 || status == 1) {
                if (row.extended == Ext::SSIControl)
                    bus_.lastSsi_ = static_cast<uint16_t>((w[1] << 8) | w[2]);
                DecodeRegisterWord(row.extended, w, context, log_);
            } else {
                log_.InfoText(" \n ");
            }
        }
    }
    return status == 1 ? 1 : Failed();
}

int CommandDecoders::VersionRead(const CommandRow& row, uint8_t slave, uint32_t length,
                                 uint8_t* data) {
    const int status = bus_.RawTransfer(1, slave, length, data);
    log_.SetColor(kColourBlack);
    log_.Transaction(1, slave, length, data, row.category);
    if (status == 1) {
        const uint32_t w = WordOf(data);
        const unsigned v = w;
        auto value = [&](const char* text) {
            log_.SetColor(kColourValue);
            log_.InfoText(text, v);
        };
        auto unknown = [&](const char* text) {
            log_.SetColor(kColourRed);
            log_.InfoText(text, v);
        };
        switch (row.extended) {
        case Ext::FirmwareVersion:
            if (w == 0x0505) {
                value(" // ==> FW VER 0x%04X found in QX410x A1 devices. ");
            } else if (w == 0x0606) {
                value(" // ==> FW VER 0x%04X found in QX410x A2 devices. ");
            } else if (w == 0x0704) {
                value(" // ==> FW VER 0x%04X found QX412D/QZ625x A0 devices. ");
            } else {
                unknown(" // ==> FW VER 0x%04X, unknown devices. ");
                bus_.state_.firmwareCode = 0;
            }
            break;
        case Ext::ChipVersion:
            if (w == 0x6000) {
                value(" // ==> HW VER 0x%04X found in QX410x devices. ");
            } else if (w == 0x7000) {
                value(" // ==> HW VER 0x%04X found in QX412D/QZ625x devices. ");
                log_.InfoText(" Report to DulmDSP as QX410x device. ");
                PutWord(data, 0x6000);
            } else {
                unknown(" // ==> HW VER 0x%04X, unknown device. ");
            }
            break;
        default: // the straps word
            log_.SetColor(kColourValue);
            if (!(w & 0x20000) || (w & 0x1000)) {
                log_.InfoText(" // ==> Found full algorithm version. (Report DulmDSP as 0x0)");
                PutWord(data, w & ~0xE0000u);
            } else {
                log_.InfoText(" // ==> Found basic algorithm version. (Report DulmDSP as 0x2)");
                PutWord(data, (w & ~0xE0000u) | 0x40000u);
            }
            break;
        }
    }
    log_.InfoText(" \n ");
    return status == 1 ? 1 : Failed();
}

int BusGate::LoggerTransfer(int direction, uint8_t slave, uint32_t length, uint8_t* data) {
    if (slave == state_.chipAddress && length != 0) {
        // Every command of the transfer goes out; the transfer succeeds only
        // when each of them did.
        uint32_t consumed = 0;
        int result = 1;
        while (consumed < length) {
            if (!DecodeCommandStream(consumed, length - consumed, slave, direction,
                                     data + consumed))
                result = 0;
        }
        return result;
    }
    const int status = RawTransfer(direction, slave, length, data);
    sink_->SetColor(kColourBlack);
    sink_->Transaction(direction, slave, length, data, 0);
    sink_->Text("\n ");
    if (status != 1)
        return CommandDecoders(*this).Failed();
    return 1;
}

int BusGate::DecodeCommandStream(uint32_t& consumed, uint32_t remaining, uint8_t slave,
                                 int direction, uint8_t* data) {
    CommandDecoders decoders(*this);
    if (remaining < 3) {
        consumed += remaining;
        return decoders.Malformed(direction, slave, remaining, data,
                                  " // Error: Invalid DulmAudio command. Command length should be "
                                  "multiple by 3 bytes (triples).\n ");
    }
    if (decoder_.pending != Ext::None) {
        const CommandRow& row = CommandTable()[decoder_.row];
        if (static_cast<uint32_t>(direction) == row.extDirection &&
            (direction == 0 || remaining == 3)) {
            const uint32_t words = std::min(remaining / 3, decoder_.remaining);
            consumed += 3 * words;
            const int result = decoders.Extended(row, direction, slave, 3 * words, data);
            decoder_.remaining -= words;
            if (decoder_.remaining == 0 || result == 0)
                decoder_.pending = Ext::None;
            return result;
        }
        consumed += remaining;
        if (static_cast<uint32_t>(direction) == row.extDirection)
            return decoders.Malformed(direction, slave, remaining, data,
                                      " // Error: Invalid DulmAudio command extended data. I2C "
                                      "RD should be 3 bytes. \n ");
        return decoders.Malformed(direction, slave, remaining, data,
                                  " // Error: Invalid DulmAudio command extended data. I2C RD/WR "
                                  "not as expected. \n ");
    }
    if (direction == 1) {
        consumed += remaining;
        return decoders.Malformed(direction, slave, remaining, data,
                                  " // Error: Invalid I2C read transaction. Expected new "
                                  "DulmAudio command. \n ");
    }
    const uint32_t key = WordOf(data);
    const std::size_t index = FindCommandRow(key, state_.firmwareCode);
    const CommandRow& row = CommandTable()[index];
    decoder_.row = index;
    decoder_.pending = row.extended;
    decoder_.announced = row.extWords;
    consumed += 3;
    const int result = decoders.Command(row, slave, data);
    decoder_.remaining = decoder_.announced;
    if (decoder_.remaining == 0)
        decoder_.pending = Ext::None;
    return result;
}

void BusGate::PwrAmpPowerDown() {
    LoggerLockGuard guard(lock_);
    const DecoderState saved = decoder_;
    const Transfer previous = transfer_;
    transfer_ = Transfer::Logger;
    if (SendCommand(0x0001, 0xC7) == 0) {
        WaitWithMessagePump(10);
        if (WriteRegister(0xFFF3, ui_.IoGpioSelection2() & ~0x8u) == 0 &&
            SendCommand(0xFFA0, kRegisterWriteY) == 0)
            SendData(0);
    }
    transfer_ = previous;
    decoder_ = saved;
}

} // namespace busgate
