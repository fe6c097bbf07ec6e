// The device life cycle of the algorithm object: the full reset with its
// command files, the detection of the chip, and the idle check.
#include "TextFile.h"
#include "foundation/KCScopedValue.h"
#include "foundation/KCStFile.h"
#include "guilib/MessageService.h"
#include "plugin/DebugTrace.h"
#include "plugin/PeqAlg.h"
#include "plugin/WaitCursor.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace dulm;

namespace {

constexpr uint32_t kResetWaitMs = 1000;
constexpr uint32_t kPingWaitMs = 100;
constexpr int kPings = 5;
constexpr uint32_t kIdleIntervalMs = 1000;
const std::string kDetectionFailed =
    "ReadVersion failed, No valid board has been detected.\n\nCheck that the board is plugged "
    "in and that the chosen connection (Utilities menu) is the board's.";

int32_t Int(double v) {
    return static_cast<int32_t>(std::trunc(v));
}

// The parameters a reset writes after the AEQ file, in this order.
constexpr unsigned long kResetWrites[] = {
    PARAM_SUBEQ_BAND1_STATE,
    PARAM_SUBEQ_BAND2_STATE,
    PARAM_MASTERBP,
    PARAM_BALANCE,
    PARAM_LEVELER_THRESHOLD,
    PARAM_LEVELER_TARGET,
    PARAM_LEVELER_RANGE,
    PARAM_MUTE,
    PARAM_MUTE_TIME,
    PARAM_DULM_BASS_FREQUENCY,
    PARAM_DULM_BASS_HP_FREQ,
    PARAM_DULM_BASS_NG_THRESHOLD,
    PARAM_DULM_BASS_ORIGINAL_BASS,
    PARAM_DULM_BASS_NG_GAP,
    PARAM_DULM_TREBLE_FREQUENCY,
    PARAM_DULM_TREBLE_NG_GAP,
    PARAM_DULM_TREBLE_NG_THRESHOLD,
    PARAM_DELAY,
    PARAM_DULM_VOLUME_BYPASS,
    PARAM_PEQ_BYPASS,
    PARAM_DULM_BASS_BYPASS,
    PARAM_DULM_TREBLE_BYPASS,
    PARAM_DULM_STEREO_BYPASS,
    PARAM_DULM_DIALOG_BYPASS,
};
// ... and after the POP file.
constexpr unsigned long kLateWrites[] = {
    PARAM_MV_MB_CORRELATION_ACTIVE,
    PARAM_MV_MB_CORRELATION_THRESHOLD,
    PARAM_MV_MB_CORRELATION_RATIO,
    PARAM_MIDNIGHT_MODE,
    PARAM_SWAP_CHANNELS,
    PARAM_SUB_FREQ,
    PARAM_CHANNEL_INVERSE_LEFT,
    PARAM_CHANNEL_INVERSE_RIGHT,
    PARAM_CHANNEL_SUM,
};

} // namespace

namespace dulm {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace dulm

void cPEQ_ALG::Trace(const std::string& text) {
    if (Connection().GetTrace())
        DulmDebugOutput(text);
}

void cPEQ_ALG::SetLedAndSwitch(bool on) {
    for (unsigned long i : {PARAM_CONNECTIVITY_LED, PARAM_CONNECTIVITY_ON_OFF}) {
        sCONTROL_PARAM* p = ParamAt(i);
        if (!p)
            continue;
        p->realWorld[activeSetup_] = on ? 1 : 0;
        p->UpdateStateFromRealWorld(activeSetup_);
        p->updateFlag = 3;
    }
}

void cPEQ_ALG::ReadChipIdentity(uint16_t& version, uint16_t& firmware) {
    const CIdentifying identifying(*this);
    uint8_t reply[3] = {};
    // A failed read counts as no answer; no byte of an earlier read is used.
    version = ReadTransaction(0x00, 0xB8, 0x00, reply)
                  ? static_cast<uint16_t>(reply[1] << 8 | reply[2])
                  : 0;
    firmware = 0;
    if (BoardType() == 0) {
        SendCommandBytes(0x00, 0xB8, 0x00);
        SendCommandBytes(0x00, 0xB7, 0x00);
        version = 0x6000;
        firmware = 0x0500;
    } else if (version == 0x6000) {
        uint8_t fw[3] = {};
        if (ReadTransaction(0x00, 0xB7, 0x00, fw)) {
            firmware = static_cast<uint16_t>(fw[1] << 8 | fw[2]);
            ReadProcessingMode(processingMode_);
        } else {
            version = 0;
        }
    } else if (version != 0) {
        version = 0xCCCC;
    }
}

bool cPEQ_ALG::DetectDevice() {
    if (CaptureMode())
        return true;
    uint16_t version = 0, firmware = 0;
    // Without a connection there is no board to ask.
    if (hasConnection_)
        ReadChipIdentity(version, firmware);
    SetChipVersion(version, firmware);
    if (firmware >= 0x0500 && firmware <= 0x0605) {
        firmwareGeneration_ = 1;
        SetValueAndFlag(PARAM_DULM_DIALOG_BYPASS, 0);
        SetValueAndFlag(PARAM_DULM_BASS_ORIGINAL_BASS, 0);
    }
    std::string model;
    bool found = IsValidChipVersion();
    if (found) {
        char text[32];
        std::snprintf(text, sizeof text, "DL%04x", version);
        model = text;
        std::snprintf(text, sizeof text, "%d.%02d", firmware >> 8, firmware & 0xFF);
        const std::string fw = text;
        const int rate = Int(Value(PARAM_SAMPLE));
        const std::string rateText = rate == 0 ? "48" : rate == 1 ? "44" : rate == 2 ? "32" : "";
        versionPopPath_ = moduleFolder_ + model + "_" + fw + ".pop";
        eepromPopPath_[0] = moduleFolder_ + "EEPROM_ECD.pop";
        eepromPopPath_[1] = moduleFolder_ + "EEPROM_ECE.pop";
        aeqPath_ = moduleFolder_ + model + "_" + fw + "_" + rateText + ".aeq";
        Trace("DulmDSP: " + model + " " + fw + " detected\n");
        model += " version " + fw;
    } else if (BusWasBusy()) {
        // The bridge's library had the bus busy with its own work: the chip
        // is not known yet, but the connection stays for the next check.
        SetChipVersion(0, 0);
        Trace("DulmDSP: the bus is busy; the device is looked for again later\n");
    } else {
        SetChipVersion(0, 0);
        if (hasConnection_)
            Trace("DulmDSP: ReadVersion failed, No valid board has been detected\n");
        // The connection's own reason, before the connection goes.
        const std::string reason = reportFailedDetection_ ? ConnectionFailureReason() : "";
        SelectConnection(kConnectionNone);
        if (reportFailedDetection_)
            KMMessageService::Show(kDetectionFailed + (reason.empty() ? "" : "\n\n" + reason),
                                   "DulmDSP", KMMessageService::kWarning);
    }
    reportFailedDetection_ = false;
    if (sCONTROL_PARAM* analog = ParamAt(PARAM_ANALOG)) {
        analog->SetScaleToggle(ChipVersion() >= 0x5010 ? 5 : 3);
        analog->scaleInfo.maximum = analog->scaleInfo.numStates - 1;
    }
    UpdateAnalogInputMenus();
    UpdateControlAvailability();
    SetInfoString(1, model.empty() ? "Device Detected: <None>" : "Device Detected: " + model);
    SetInfoString(2, "");
    return found;
}

bool cPEQ_ALG::RunResetPopFile(const char* popPath, std::string& report, std::string& loaded) {
    const std::string path = popPath ? std::string(popPath) : ResetPopPath();
    std::string text;
    const KTErr read = path.empty() ? eFMFileNotFound : kvFM::ReadRegularFile(path, text);
    // A file that opened but could not be read whole: no report, no patch.
    if (read == eFMFileSizeTooBig || read == eMemNewFailed)
        return false;
    if (read != eNoErr) {
        report = "DulmAudio DSP has failed to automatically load the file: \"" + FileNameOf(path) +
                 "\"\r\nThe .pop file is needed for proper operation of DulmAudio DSP.\"\r\nTry "
                 "to re-check your POP Setting.";
        // Where it was looked for.
        std::error_code error;
        const std::filesystem::path folder =
            std::filesystem::absolute(std::filesystem::path(path), error)
                .lexically_normal()
                .parent_path();
        if (!path.empty() && !error)
            report += "\r\nFolder searched: \"" + folder.string() + "\"";
        return false;
    }
    Trace("DulmDSP: POP Begin \"" + path + "\"\n");
    const uint32_t result = RunPopScript(text.c_str());
    Trace("DulmDSP: POP End\n");
    if (result == 0) {
        report = "DulmDSP: POP file has no valid data: \"" + path + "\"\n";
        return false;
    }
    loaded = path;
    return true;
}

void cPEQ_ALG::ConfigureConverters(uint16_t word) {
    const int32_t rate = Int(Value(PARAM_SAMPLE));
    const uint16_t serial = ChipVersion() > 0x6000 || ChipSubVersion() >= 0x0500
                                ? word
                                : static_cast<uint16_t>(word & 0x7FF);
    SendCommandBytes(static_cast<uint8_t>(serial), 0xC4, static_cast<uint8_t>(serial >> 8));
    WriteClock(Int(Value(PARAM_INPUT_CLOCK)), rate);
    WriteSampleFormat(word & 3, rate);
    WriteConverterEnable(Int(Value(PARAM_ADC_ENABLE)) != 0, Int(Value(PARAM_DAC_ENABLE)) != 0);
    WriteAdcPreAmp(Int(Value(PARAM_ADC_PRE_AMP) * 100), Int(Value(PARAM_ADC_PRE_AMP_MUTE)) != 0);
    WriteAdcVolume(Int(Value(PARAM_ADC_VOL) * 100), Int(Value(PARAM_ADC_VOL_MUTE)) != 0);
    WriteInputSelect(InputTypeOfAnalogInput(Int(Value(PARAM_ANALOG))),
                     AdcInputFlagOf(Int(Value(PARAM_ADC_INPUT))));
    WriteDacVolumes(Int(Value(PARAM_DAC1_VOL) * 100), Int(Value(PARAM_DAC2_VOL) * 100),
                    Int(Value(PARAM_DAC1_VOL_MUTE)) != 0, Int(Value(PARAM_DAC2_VOL_MUTE)) != 0);
    for (uint8_t latch : {0, 1, 0})
        WriteCodecStrobe(latch);
}

bool cPEQ_ALG::ResetAndRunPop(bool force, const char* popPath) {
    SetValueAndFlag(PARAM_COLLAPSE, expanded_ ? 0 : 1);
    const uint16_t word = static_cast<uint16_t>(Int(Value(PARAM_DIG_IO_CONFIG_HB)) << 8 |
                                                Int(Value(PARAM_DIG_IO_CONFIG_LB)));
    bool full = true;
    if (Connection().GetSlaveAddress() == kChipAddress && !CaptureMode() && !force) {
        // A chip not yet identified on this connection needs the whole run.
        full = !ChipKnown() || Value(PARAM_SAMPLE) != rememberedValues_[0] ||
               word != rememberedValues_[1];
        rememberedValues_[0] = Value(PARAM_SAMPLE);
        rememberedValues_[1] = word;
    }
    fullRunNeeded_ = full;
    // The run re-sends every value (repeated ones included), without the
    // pauses of single changes, under the wait cursor.
    const CScopedWaitCursor waitCursor;
    const KCScopedValue<bool> reinitialising(reinitialising_, true);
    bool answered = deviceAnswered_;
    if (full) {
        DetectDevice();
        activeBandCount_ = bandCount_;
        ChangeSampleRate(Value(PARAM_SAMPLE) == 0 ? 48000.0 : 44100.0);
        ResetCoefficientArea();
        // A reset that the address gate refused reached no chip (without a
        // bridge); one the EEPROM's exclusion list dropped counts as sent.
        const bool reset = SendCommandBytes(0x00, 0xC5, 0x00) &&
                           (!Dropped() || Connection().GetSlaveAddress() == kEepromAddress);
        if (reset) {
            Clock().Sleep(kResetWaitMs);
            for (int ping = 0; ping < kPings; ++ping) {
                answered = SendCommandAnswered(0x00, 0xA5, 0x00, true);
                connectivityOn_ = answered && currentConnectionType_ != kConnectionNone;
                const bool newer = ChipVersion() > 0x6000 ||
                                   (ChipVersion() == 0x6000 && ChipSubVersion() >= 0x0606);
                if (connectivityChanged_ && connectivityOn_ && newer && processingMode_ == 4) {
                    SendCommandBytes(0xF3, 0xAB, 0xFF);
                    SendData(0xD0, 0x00, 0x00);
                }
                if (answered)
                    break;
                Clock().Sleep(kPingWaitMs);
            }
        }
    }
    SendCommandBytes(static_cast<uint8_t>(Int(Value(PARAM_SAMPLE))), 0xC3, 0x00);
    SetLedAndSwitch(answered);
    ResetStatesSelf();
    ResetMeters();
    if (!answered)
        return false;
    WriteParamToDevice(PARAM_P_ANALOG_INPUT_CHANEL);
    ResetStatesSelf();
    if (full)
        ConfigureConverters(word);
    if (!LoadAeqFile(aeqPath_)) {
        for (auto& r : Active().aeq)
            r = {};
        std::fill(std::begin(aeqResponse_), std::end(aeqResponse_), 0.0);
        UpdateResponseGraph(1);
        RefreshParam(PARAM_GRAPH_AEQ);
    }
    for (unsigned long i : kResetWrites)
        WriteParamToDevice(i);
    std::string report, loaded;
    if (full)
        RunResetPopFile(popPath, report, loaded);
    if (sCONTROL_PARAM* label = ParamAt(PARAM_LABEL_POPFILE)) {
        label->SetLabelString("Patch File: " + (loaded.empty() ? "<None>" : FileNameOf(loaded)));
        label->updateFlag = 3;
    }
    if (!report.empty()) {
        Trace(report);
        if (IsValidChipVersion())
            KMMessageService::Show(report, "POP File", KMMessageService::kInformation);
    }
    if (full) {
        SendCommandBytes(0x00, 0xAC, 0x00);
        // Again with the bands the AEQ file left active.
        ResetCoefficientArea();
    }
    for (unsigned long i : kLateWrites)
        WriteParamToDevice(i);
    SendCommandBytes(0x01, 0xF4, 0x00);
    if (full)
        SendCommandBytes(0x00, 0xAC, 0x00);
    fullRunNeeded_ = false;
    UpdateControlAvailability();
    return SendCommandBytes(0x00, 0x85, 0x00) && IsValidChipVersion();
}

long cPEQ_ALG::DoIdle(short visible) {
    if (idleBusy_)
        return cALGORITHM::DoIdle(visible);
    idleBusy_ = true;
    const uint32_t now = Clock().TickCount();
    if (now - lastIdleCheck_ >= kIdleIntervalMs && Connection().GetSlaveAddress() == kChipAddress) {
        lastIdleCheck_ = now;
        // A check the busy bus refused says nothing of the chip: the next
        // one asks again.
        if (!deviceAnswered_)
            deviceAnswered_ = ResetAndRunPop(true);
        else if (!SendCommandBytes(0x00, 0xB7, 0x14) && !BusWasBusy())
            deviceAnswered_ = false;
        if (!deviceAnswered_)
            std::fill(std::begin(rememberedValues_), std::end(rememberedValues_), -1.0);
        const int32_t status = Connection().GetStatus();
        if (status != lastReportedStatus_) {
            lastReportedStatus_ = status;
            Connection().ReportStatus(nullptr);
        }
    }
    const double led = deviceAnswered_ ? 1.0 : 0.0;
    if (Value(PARAM_CONNECTIVITY_LED) != led) {
        SetLedAndSwitch(deviceAnswered_);
        connectivityChanged_ = true;
    }
    idleBusy_ = false;
    return cALGORITHM::DoIdle(visible);
}
