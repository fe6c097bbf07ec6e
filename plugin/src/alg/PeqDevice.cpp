// The road from a changed parameter to the chip: the update hook and the
// command and data frames of every parameter.
#include "plugin/PeqAlg.h"

#include <algorithm>
#include <cmath>

using namespace dulm;

namespace {

constexpr uint32_t kSpeakerPauseMs = 347;
constexpr uint32_t kMutePauseMs = 117;
constexpr double kMixerFull = 8388607.0;

uint8_t Byte(double v) {
    return static_cast<uint8_t>(static_cast<int32_t>(std::trunc(v)));
}

void Append24(std::vector<uint8_t>& bytes, uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v >> 16));
}

// The parameters that only set a command byte from their value.
enum class Rule { Trunc, AbsMinus1204, Abs };
enum class When { Always, Chip5010Plus, TenBand, Chip5010Version };
struct SSimpleCommand {
    int index;
    uint8_t command;
    uint8_t third;
    Rule rule;
    When when;
    bool statusRead;
};
constexpr SSimpleCommand kSimpleCommands[] = {
    {PARAM_DELAY, 0xCC, 0x00, Rule::Trunc, When::Chip5010Version, false},
    {PARAM_DULM_BASS_NG_THRESHOLD, 0xE1, 0x00, Rule::AbsMinus1204, When::Chip5010Plus, false},
    {PARAM_DULM_BASS_NG_GAP, 0xE2, 0x00, Rule::Abs, When::Chip5010Plus, false},
    {PARAM_DULM_TREBLE_NG_THRESHOLD, 0xE4, 0x00, Rule::AbsMinus1204, When::Chip5010Plus, false},
    {PARAM_DULM_TREBLE_NG_GAP, 0xE5, 0x00, Rule::Abs, When::Chip5010Plus, false},
    {PARAM_MUTE_TIME, 0xE0, 0x00, Rule::Abs, When::Chip5010Plus, false},
    {PARAM_DULM_BASS_ORIGINAL_BASS, 0xCB, 0x00, Rule::Abs, When::TenBand, false},
    {PARAM_MV_MB_CORRELATION_ACTIVE, 0xF0, 0x00, Rule::Trunc, When::Always, true},
    {PARAM_MV_MB_CORRELATION_RATIO, 0xF2, 0x00, Rule::Trunc, When::Always, true},
    {PARAM_MIDNIGHT_MODE, 0xF3, 0x00, Rule::Trunc, When::Always, false},
    {PARAM_CHANNEL_INVERSE_LEFT, 0xF7, 0x00, Rule::Trunc, When::Always, false},
    {PARAM_CHANNEL_INVERSE_RIGHT, 0xF7, 0x01, Rule::Trunc, When::Always, false},
    {PARAM_CHANNEL_SUM, 0xF8, 0x01, Rule::Trunc, When::Always, false},
    {PARAM_SWAP_CHANNELS, 0xF5, 0x00, Rule::Trunc, When::Always, false},
};

// Parameters whose change ends without a device write.
bool SkipsDeviceWrite(unsigned long i) {
    static const int list[] = {78, 81, 82, 83, 85, 86, 88, 114, 115, 123, 144, 178, 182, 194, 198};
    return (i >= 165 && i <= 176) ||
           std::find(std::begin(list), std::end(list), i) != std::end(list);
}

// The bass ramps: eleven 3-byte frames.
constexpr uint8_t kBassRampOn[][3] = {{0x01, 0xCF, 0x00}, {0x00, 0xD1, 0x00}, {0x09, 0xD1, 0x00},
                                      {0x12, 0xD1, 0x00}, {0x1B, 0xD1, 0x00}, {0x24, 0xD1, 0x00},
                                      {0x2D, 0xD1, 0x00}, {0x36, 0xD1, 0x00}, {0x3F, 0xD1, 0x00},
                                      {0x48, 0xD1, 0x00}, {0x4C, 0xD1, 0x00}};
constexpr uint8_t kBassRampOff[][3] = {{0x4C, 0xD1, 0x00}, {0x3F, 0xD1, 0x00}, {0x4C, 0xD1, 0x00},
                                       {0x36, 0xD1, 0x00}, {0x2D, 0xD1, 0x00}, {0x24, 0xD1, 0x00},
                                       {0x1B, 0xD1, 0x00}, {0x12, 0xD1, 0x00}, {0x09, 0xD1, 0x00},
                                       {0x00, 0xD1, 0x00}, {0x11, 0xCF, 0x00}};

} // namespace

void cPEQ_ALG::Pause(uint32_t ms) {
    Clock().Sleep(ms);
}

BUFFER_HEADER* cPEQ_ALG::UpdateParamStateSelf(unsigned long index) {
    sCONTROL_PARAM* param = ParamAt(index);
    if (!param)
        return nullptr;
    param->updateFlag = 3;
    const double v = Value(index);
    BUFFER_HEADER* buffer = nullptr;
    if (index <= 49) {
        const int32_t band = static_cast<int32_t>(index / kBandFields);
        // Bands 8-10 are left alone only on a chip known to lack them: before
        // a chip is known they work as any band, and the first full run
        // takes them to a chip that has them.
        if (band >= 7 && IsValidChipVersion() && !IsTenBandChip())
            return nullptr;
        buffer = DesignBand(band, true);
        RefreshParam(PARAM_GRAPH_PEQ);
        UpdateControlAvailability();
    } else if (index == PARAM_OUT_GAIN_L) {
        buffer = DesignOutputStage(0, true);
    } else if (index == PARAM_OUT_GAIN_R) {
        if (outputCount_ >= 2)
            buffer = DesignOutputStage(1, true);
    } else if (index == PARAM_CLIP_LIGHT || index == PARAM_OUT_VU_L || index == PARAM_OUT_VU_R) {
        ResetMeters();
    } else if (index == PARAM_AUTO_TRIM) {
        if (param->state[activeSetup_] != 0) {
            for (unsigned long gain : {PARAM_OUT_GAIN_L, PARAM_OUT_GAIN_R}) {
                sCONTROL_PARAM& g = *ParamAt(gain);
                const double value = std::min(Value(gain) + autoTrim_, 12.0);
                double state = g.RealWorldToState(value);
                state = std::clamp(std::fmod(std::trunc(state - 1), 1001.0), 0.0, 1000.0);
                g.state[activeSetup_] = state;
                g.realWorld[activeSetup_] = g.StateToRealWorld(state);
                g.updateFlag = 3;
            }
            for (int32_t o = 0; o < outputCount_; ++o)
                buffer = ChainBufs(buffer, DesignOutputStage(o, true));
            autoTrim_ = 0.0;
            SetStateAndFlag(PARAM_AUTO_TRIM, 0.0);
        }
        ResetMeters();
    } else if (index == PARAM_MUTE) {
        WriteParamToDevice(PARAM_MUTE);
    } else if (index == PARAM_COLLAPSE) {
        expanded_ = v == 0;
        ResizeEditorFrame();
    } else if (index == PARAM_PEQ_BYPASS) {
        SendAeqCoefs();
        for (int32_t b = 0; b < std::min(bandLimit_, bandCount_); ++b)
            DisposeBufs(DesignBand(b, false));
        RefreshParam(PARAM_GRAPH_PEQ);
    } else if (index == PARAM_DIGITAL_IO_EDIT) {
        // Only the user's own change opens the dialog (not a session's).
        if (!IsApplyingPreset())
            SystemConfigurationRoundTrip();
    } else if (index == PARAM_AEQ_ACTIVE) {
        SendAeqCoefs();
        WriteParamToDevice(PARAM_PEQ_BYPASS);
    } else if (index >= PARAM_SHOW_GRAPH_PEQ && index <= PARAM_SHOW_GRAPH_TOTAL) {
        UpdateResponseGraph(static_cast<int32_t>(index - PARAM_SHOW_GRAPH_PEQ));
        param->updateFlag = 3;
    } else if (index == PARAM_BOARD_TYPE) {
        SetBoardType(v != 0 ? 1 : 0);
        // A preset or a session only names the board: the chip is brought
        // up by the reset hooks and the idle check, at the host's rate.
        if (!IsApplyingPreset())
            ResetAndRunPop(true);
    } else if (index == PARAM_CONNECTIVITY_ON_OFF) {
        if (keepConnectionSwitch_) {
            SetValueAndFlag(index, hardwareEnabled_ ? 1.0 : 0.0);
            return nullptr;
        }
        hardwareEnabled_ = v != 0;
        // Switching on lets the next full run select the GPIO again.
        if (hardwareEnabled_)
            connectivityChanged_ = true;
        // The user's own switch-on hears why it failed.
        reportFailedDetection_ = hardwareEnabled_ && !IsApplyingPreset();
        SelectConnection(hardwareEnabled_ ? rememberedConnectionType_ : kConnectionNone);
        connectionLamp_ = hardwareEnabled_;
    } else if (index >= PARAM_SUBEQ_BAND1_STATE && index <= PARAM_SUBEQ_BAND2_Q) {
        UpdateControlAvailability();
    } else if (SkipsDeviceWrite(index)) {
        return nullptr;
    }
    WriteParamToDevice(index);
    return ChainBufs(buffer, nullptr);
}

void cPEQ_ALG::WriteParamToDevice(unsigned long index) {
    if (index >= static_cast<unsigned long>(kNumParams) || !ParamAt(index))
        return;
    const double v = Value(index);
    for (const SSimpleCommand& c : kSimpleCommands) {
        if (c.index != static_cast<int>(index))
            continue;
        const bool allowed = c.when == When::Always ||
                             (c.when == When::Chip5010Plus && IsChip5010Plus()) ||
                             (c.when == When::TenBand && IsTenBandChip()) ||
                             (c.when == When::Chip5010Version && ChipVersion() == 0x5010);
        if (!allowed)
            return;
        const double x = c.rule == Rule::Trunc          ? v
                         : c.rule == Rule::AbsMinus1204 ? std::fabs(v - 12.04)
                                                        : std::fabs(v);
        SendCommandBytes(Byte(x), c.command, c.third);
        if (c.statusRead)
            ReadDeviceStatus();
        return;
    }
    if (index <= 49) {
        WriteBand(static_cast<int32_t>(index / kBandFields));
        return;
    }
    if ((index >= 93 && index <= 107) || index == 149 || index == 150) {
        WriteMixer(index);
        return;
    }
    if (index >= PARAM_SUBEQ_BAND1_STATE && index <= PARAM_SUBEQ_BAND2_Q) {
        WriteSubwoofer(static_cast<int32_t>((index - PARAM_SUBEQ_BAND1_STATE) / kBandFields));
        return;
    }
    if (index >= PARAM_HP_ON_OFF && index <= PARAM_MV_ON_OFF) {
        WriteEnhancerBits();
        return;
    }
    const bool volumeIn = Enabled(PARAM_DULM_VOLUME_BYPASS);
    switch (index) {
    case PARAM_SPEAKER: {
        if (Value(PARAM_MASTERBP) != 0)
            return;
        if (!reinitialising_ && Byte(v) == lastSpeaker_)
            return;
        // The pauses let the chip settle: none when no chip got the frame.
        const bool answered = SendCommandAnswered(Byte(v), 0xC2, 0x00);
        lastSpeaker_ = Byte(v);
        if (answered && Quiet())
            Pause(kSpeakerPauseMs);
        return;
    }
    case PARAM_MUTE:
        if (Quiet() && v == rememberedValues_[2])
            return;
        if (SendCommandAnswered(Byte(v), 0xC7, 0x00) && Quiet())
            Pause(kMutePauseMs);
        rememberedValues_[2] = v;
        return;
    case PARAM_MASTERBP:
        if (v != 0) {
            const bool answered = SendCommandAnswered(0x00, 0xC0, 0x00);
            lastSpeaker_ = 0xFF;
            if (answered && Quiet())
                Pause(kSpeakerPauseMs);
        } else {
            WriteParamToDevice(PARAM_SPEAKER);
        }
        return;
    case PARAM_STEREO_SPAN:
    case PARAM_STEREO_LOW_FREQ:
        WriteStereo();
        return;
    case PARAM_VOLUME_DYN_RANGE:
        SendCommandBytes(volumeIn ? Byte((v + 80) / 0.46875) : 0, 0xD4, 0x00);
        return;
    case PARAM_VOLUME_LOW_GAIN:
        SendCommandBytes(volumeIn ? Byte(v * 2) : 0, 0xDA, 0x00);
        return;
    case PARAM_VOLUME_GATE:
        SendCommandBytes(volumeIn ? Byte(v + 96) : 0, 0xDC, 0x00);
        return;
    case PARAM_DULM_TREBLE_FREQUENCY:
        SendCommandBytes(Byte(std::min(std::max(24 * std::log2(v / 507.97) + 0.499, 0.0), 128.0)),
                         0xD9, 0x00);
        return;
    case PARAM_DULM_BASS_FREQUENCY:
        SendCommandBytes(Byte(24 * std::log2(v / 5) + 0.499), 0xD5, 0x00);
        return;
    case PARAM_SUB_FREQ:
        SendCommandBytes(Byte(24 * std::log2(v / 5) + 0.499), 0xD7, 0x00);
        return;
    case PARAM_DULM_VOLUME_SLIDER:
        WriteNormalised(0xD0, volumeIn ? v : 0.0, index);
        return;
    case PARAM_DULM_STEREO_INTENSITY:
        if (Enabled(PARAM_DULM_STEREO_BYPASS)) {
            WriteNormalised(0xD3, v, index);
            WriteParamToDevice(PARAM_STEREO_SPAN);
        }
        return;
    case PARAM_DULM_TREBLE_INTENSITY:
        if (Enabled(PARAM_DULM_TREBLE_BYPASS))
            SendCommandBytes(Byte(std::min(std::max(v * 127 / 100, 0.0), 127.0)), 0xD2, 0x00);
        return;
    case PARAM_DULM_BASS_INTENSITY:
        if (Enabled(PARAM_DULM_BASS_BYPASS))
            WriteNormalised(0xD1, v, index);
        return;
    case PARAM_LEVELER_ON_OFF:
        if (!volumeIn)
            SendCommandBytes(0x01, 0xC6, 0x00);
        else if (IsTenBandChip())
            SendCommandBytes(Byte(v), 0xC6, 0x00);
        else
            SendCommandBytes(v == 0 ? 1 : 0, 0xC6, 0x00);
        UpdateControlAvailability();
        return;
    case PARAM_HARD_KNEE:
        SendCommandBytes(volumeIn ? Byte(v) : 0x01, 0xDD, 0x00);
        return;
    case PARAM_BALANCE:
        SendCommandBytes(Byte(240 - std::min(std::max(v, 0.0), 240.0)), 0xC9, 0x00);
        return;
    case PARAM_PEQ_BYPASS:
        for (unsigned long b = 0; b < 50; b += kBandFields)
            WriteParamToDevice(b);
        return;
    case PARAM_DULM_BASS_BYPASS:
        WriteBassRamp(v != 0);
        if (!IsChip6000Plus()) {
            SendCommand(IsChip5010Exactly() ? 0x02E7 : 0x01CA, 0xA7);
            if (!Dropped())
                SendData(v != 0 ? 0 : 1, 0, 0);
        }
        WriteParamToDevice(PARAM_DULM_BASS_INTENSITY);
        WriteLowerOnOff(index, PARAM_MB_ON_OFF);
        return;
    case PARAM_DULM_TREBLE_BYPASS:
        WriteParamToDevice(PARAM_DULM_TREBLE_INTENSITY);
        WriteLowerOnOff(index, PARAM_MT_ON_OFF);
        return;
    case PARAM_DULM_STEREO_BYPASS:
        WriteParamToDevice(PARAM_DULM_STEREO_INTENSITY);
        WriteLowerOnOff(index, PARAM_MS_ON_OFF);
        return;
    case PARAM_DULM_VOLUME_BYPASS:
        for (unsigned long i : {116, 120, 121, 108, 109, 110})
            WriteParamToDevice(i);
        return;
    case PARAM_LEVELER_THRESHOLD:
        if (IsChip5000Plus() && !IsTenBandChip()) {
            SendCommandBytes(Byte(v * -5), 0xDB, 0x00);
            if (Value(PARAM_LEVELER_ON_OFF) != 0 && Value(PARAM_MUTE) == 0)
                SendCommandBytes(0x01, 0xC6, 0x00);
        }
        return;
    case PARAM_DULM_BASS_HP_FREQ:
    case PARAM_ENABLE_BASS_HP_FREQ:
        if (!IsChip5010Plus())
            return;
        if (Value(PARAM_ENABLE_BASS_HP_FREQ) != 0)
            SendCommandBytes(Byte(24 * std::log2(Value(PARAM_DULM_BASS_HP_FREQ) / 5) + 0.499), 0xE3,
                             0x00);
        WriteLowerOnOff(PARAM_ENABLE_BASS_HP_FREQ, PARAM_HP_ON_OFF);
        return;
    case PARAM_OUTPUT_ANALOG_PHASE:
    case PARAM_OUTPUT_DIGITAL1_PHASE:
    case PARAM_OUTPUT_DIGITAL2_PHASE: {
        // 145 -> 103 (106), 146 -> 101 (104), 147 -> 102 (105).
        static const unsigned long outputs[][2] = {{103, 106}, {101, 104}, {102, 105}};
        const auto& o = outputs[index - PARAM_OUTPUT_ANALOG_PHASE];
        WriteParamToDevice(o[0]);
        if (IsChip5010Exactly())
            WriteParamToDevice(o[1]);
        return;
    }
    case PARAM_OUTPUT_SUB_PHASE:
        WriteParamToDevice(PARAM_OUTPUT_SUB);
        return;
    case PARAM_LEVELER_TARGET:
        if (IsTenBandChip()) {
            SendCommandBytes(Byte(v * -5), 0xDF, 0x00);
            SendCommandBytes(Byte(Value(PARAM_LEVELER_RANGE) * -5), 0xDB, 0x00);
        }
        return;
    case PARAM_LEVELER_RANGE:
        if (IsTenBandChip())
            SendCommandBytes(Byte(v * -5), 0xDB, 0x00);
        return;
    case PARAM_DULM_DIALOG_BYPASS:
        WriteParamToDevice(PARAM_DULM_DIALOG_LEVEL);
        WriteParamToDevice(PARAM_DULM_DIALOG_SIDE_LEVEL);
        WriteLowerOnOff(index, PARAM_MD_ON_OFF);
        return;
    case PARAM_DULM_DIALOG_LEVEL:
    case PARAM_DULM_DIALOG_SIDE_LEVEL:
        if (IsTenBandChip() && Enabled(PARAM_DULM_DIALOG_BYPASS))
            WriteNormalised(index == PARAM_DULM_DIALOG_LEVEL ? 0xE8 : 0xE9, v, index);
        return;
    case PARAM_MV_MB_CORRELATION_THRESHOLD: {
        const int32_t t = static_cast<int32_t>(std::trunc(v));
        if (t >= 0 && t <= 20) {
            SendCommandBytes(static_cast<uint8_t>(144 + 5 * t), 0xF1, 0x01);
            ReadDeviceStatus();
        }
        return;
    }
    default:
        return;
    }
}

// Parameter `onOff` := 1 - trunc(value of `bypass`), then its write.
void cPEQ_ALG::WriteLowerOnOff(unsigned long bypass, unsigned long onOff) {
    SetValueAndFlag(onOff, 1 - std::trunc(Value(bypass)));
    WriteParamToDevice(onOff);
}

void cPEQ_ALG::WriteEnhancerBits() {
    if (!IsTenBandChip())
        return;
    uint32_t bits = 0;
    for (unsigned long i = 0; i < 7; ++i)
        bits |= static_cast<uint32_t>(static_cast<int32_t>(std::trunc(Value(PARAM_HP_ON_OFF + i))))
                << i;
    SendCommandBytes(static_cast<uint8_t>(bits), 0xCF, 0x00);
}

void cPEQ_ALG::WriteStereo() {
    const bool in = Enabled(PARAM_DULM_STEREO_BYPASS);
    const double span = in ? Value(PARAM_STEREO_SPAN) : 10.0;
    const double low = in ? Value(PARAM_STEREO_LOW_FREQ) : 0.0;
    const double offset = Value(PARAM_SAMPLE) == 2 ? 33.0 : 0.0;
    SendCommandBytes(Byte((span / 5 - 1) * 11 + low + offset), 0xD6, 0x00);
}

void cPEQ_ALG::WriteBand(int32_t b) {
    if (b >= activeBandCount_ || (b >= 7 && !IsTenBandChip()))
        return;
    const unsigned long f = static_cast<unsigned long>(b * kBandFields);
    const bool on = std::trunc(Value(f + kBandState)) != 0;
    const bool peq = Enabled(PARAM_PEQ_BYPASS);
    int32_t type = static_cast<int32_t>(std::trunc(Value(f + kBandType)));
    if ((type == 3 || type == 4) && (!on || !peq))
        type = 0;
    const double freq = Value(f + kBandFreq);
    const double freqCode =
        freq > 0 ? std::clamp(std::floor(12 * (std::log2(freq) - 4) + 0.5), 0.0, 127.0) : 0.0;
    auto fraction = [&](unsigned long i, double value) {
        const double lo = ValueAtState(i, 0), hi = ValueAtState(i, 1000);
        return hi != lo ? std::clamp((value - lo) / (hi - lo), 0.0, 1.0) : 0.0;
    };
    const double q = fraction(f + kBandQ, Value(f + kBandQ));
    const double gain = fraction(f + kBandGain, on && peq ? Value(f + kBandGain) : 0.0);
    std::vector<uint8_t> frame;
    Append24(frame, static_cast<uint32_t>(b));
    Append24(frame, static_cast<uint32_t>(type));
    Append24(frame, static_cast<uint32_t>(freqCode));
    Append24(frame, static_cast<uint32_t>(std::trunc(q * 127)));
    Append24(frame, static_cast<uint32_t>(std::trunc(gain * 127.49999)));
    SendCommandBytes(0x05, 0xA1, 0x00);
    SendFrame(frame.data(), static_cast<uint32_t>(frame.size()), kFrameData, false);
    SendCommandBytes(0x00, 0xD8, 0x00);
}

int32_t cPEQ_ALG::MixerValue(unsigned long p, bool wholeMixer) {
    double g = Value(p);
    double linear = 0.0;
    if (g > -80) {
        if (p <= 100)
            g -= wholeMixer && p <= 95 ? 18.2 : 18.0;
        linear = std::pow(10.0, g / 20);
    }
    int32_t value = static_cast<int32_t>(std::trunc(linear * kMixerFull));
    if (!IsChip6000Plus()) {
        bool inverted = false;
        if (p == 101 || p == 104)
            inverted = Value(PARAM_OUTPUT_DIGITAL1_PHASE) != 0;
        else if (p == 102 || p == 105)
            inverted = Value(PARAM_OUTPUT_DIGITAL2_PHASE) != 0;
        else if (p == 103 || p == 106)
            inverted = Value(PARAM_OUTPUT_ANALOG_PHASE) == 0;
        else if (p == 107)
            inverted = Value(PARAM_OUTPUT_SUB_PHASE) == 0;
        if (inverted)
            value = -value;
    }
    return value & 0xFFFFFF;
}

void cPEQ_ALG::WriteMixer(unsigned long index) {
    std::vector<uint8_t> frame;
    if (IsChip5010Exactly()) {
        if (index > 107)
            return;
        SendCommand(static_cast<uint16_t>(0x07DC + (index - 93)), 0xA8);
        Append24(frame, static_cast<uint32_t>(MixerValue(index, false)));
        SendFrame(frame.data(), static_cast<uint32_t>(frame.size()), kFrameData, false);
        if (!reinitialising_)
            SendCommandBytes(0x00, 0xCA, 0x00);
        return;
    }
    const bool seventeen = IsChip6000Plus();
    for (unsigned long p = 93; p <= 107; ++p)
        Append24(frame, static_cast<uint32_t>(MixerValue(p, true)));
    if (seventeen)
        for (unsigned long p : {149, 150})
            Append24(frame, static_cast<uint32_t>(MixerValue(p, true)));
    SendCommandBytes(seventeen ? 17 : 15, 0xA4, 0x00);
    SendFrame(frame.data(), static_cast<uint32_t>(frame.size()), kFrameData, false);
    SendCommandBytes(0x00, 0xC8, 0x00);
}

void cPEQ_ALG::WriteNormalised(uint8_t command, double w, unsigned long p) {
    const double lo = ValueAtState(p, 0), hi = ValueAtState(p, 1000);
    double x = hi != lo ? (w - lo) / (hi - lo) : 0.0;
    x = x <= 0 ? 0.0 : x >= 1 ? 1.0 : x;
    uint8_t first = 0, third = 0;
    if (p == PARAM_DULM_VOLUME_SLIDER && volumeFormat_ == 2) {
        const int32_t n = static_cast<int32_t>(std::trunc(x * 500));
        first = static_cast<uint8_t>(n & 0xFF);
        third = static_cast<uint8_t>(n >> 8);
    } else {
        const double scale =
            p == PARAM_DULM_STEREO_INTENSITY || p == PARAM_DULM_BASS_INTENSITY ? 127 * 0.6 : 127.0;
        first = Byte(x * scale);
    }
    if (SendCommandAnswered(first, command, third) && Quiet() && first == 0 && command == 0xD0)
        Pause(kMutePauseMs);
    ReadDeviceStatus();
}

void cPEQ_ALG::WriteSubwoofer(int32_t band) {
    BIQUAD s;
    DesignSubwooferSection(band, s);
    std::vector<uint8_t> frame;
    Append24(frame, 0x03A8E0);
    Append24(frame, static_cast<uint32_t>(subShift_[0] + subShift_[1] + 1));
    Append24(frame, 0x03A8E1);
    Append24(frame, 1);
    const uint32_t a = 0x03A8E2 + 5 * static_cast<uint32_t>(band);
    const double coefs[] = {s.b2, s.b0, s.b1, s.a2, s.a1};
    for (uint32_t i = 0; i < 5; ++i) {
        Append24(frame, a + i);
        AppendQ23(frame, coefs[i]);
    }
    SendCommandBytes(0x00, 0xF4, 0x00);
    SendFrame(frame.data(), static_cast<uint32_t>(frame.size()), kFrameData, false);
    SendCommandBytes(0x01, 0xF4, 0x01);
}

void cPEQ_ALG::WriteBassRamp(bool on) {
    for (const auto& f : on ? kBassRampOn : kBassRampOff) {
        uint8_t frame[3] = {f[0], f[1], f[2]};
        SendFrame(frame, 3, kFrameData, true);
    }
}

bool cPEQ_ALG::ReadDeviceStatus() {
    uint8_t reply[3] = {};
    if (!ReadTransaction(0xFA, 0xB1, 0x03, reply))
        return false;
    const uint32_t v = static_cast<uint32_t>(reply[0]) << 16 | reply[1] << 8 | reply[2];
    const uint32_t x = v * 100 / 76;
    if (x <= 100)
        SetValueAndFlag(PARAM_MV_MB_CORRELATION_INTENSITY, x);
    return true;
}

SSystemConfigValues cPEQ_ALG::CurrentSystemConfig() {
    auto i = [&](unsigned long p) { return static_cast<int32_t>(std::trunc(Value(p))); };
    auto b = [&](unsigned long p) { return static_cast<uint8_t>(i(p)); };
    SSystemConfigValues c;
    c.digitalIOWord = static_cast<uint16_t>(i(114) | i(115) << 8);
    c.sampleRate = i(PARAM_SAMPLE);
    c.analogInput = i(PARAM_ANALOG);
    c.inputClock = i(PARAM_INPUT_CLOCK);
    c.adcEnabled = b(PARAM_ADC_ENABLE);
    c.dacEnabled = b(PARAM_DAC_ENABLE);
    c.adcInput = i(PARAM_ADC_INPUT);
    c.preAmpMute = b(PARAM_ADC_PRE_AMP_MUTE);
    c.adcVolumeMute = b(PARAM_ADC_VOL_MUTE);
    c.dac1Mute = b(PARAM_DAC1_VOL_MUTE);
    c.dac2Mute = b(PARAM_DAC2_VOL_MUTE);
    auto position = [](double v, double offset, double span, int32_t steps) {
        return steps - static_cast<int32_t>(std::trunc((v + offset) / span * steps));
    };
    c.preAmpPosition = position(Value(PARAM_ADC_PRE_AMP), 18, 52, kPreAmpSteps);
    c.adcVolumePosition = position(Value(PARAM_ADC_VOL), 96, 126, kVolumeSteps);
    c.dac1Position = position(Value(PARAM_DAC1_VOL), 126, 126, kVolumeSteps);
    c.dac2Position = position(Value(PARAM_DAC2_VOL), 126, 126, kVolumeSteps);
    return c;
}

void cPEQ_ALG::SystemConfigurationRoundTrip() {
    SSystemConfigValues values = CurrentSystemConfig();
    codecCache_ = values;
    if (!services_ || !services_->RunSystemConfiguration(values))
        return;
    const SSystemConfigValues before = codecCache_;
    SetValueAndFlag(PARAM_DIG_IO_CONFIG_HB, values.digitalIOWord >> 8);
    SetValueAndFlag(PARAM_DIG_IO_CONFIG_LB, values.digitalIOWord & 0xFF);
    SetValueAndFlag(PARAM_INPUT_CLOCK, values.inputClock);
    SetValueAndFlag(PARAM_SAMPLE, values.sampleRate);
    SetValueAndFlag(PARAM_ADC_ENABLE, values.adcEnabled);
    SetValueAndFlag(PARAM_DAC_ENABLE, values.dacEnabled);
    SetValueAndFlag(PARAM_ADC_PRE_AMP_MUTE, values.preAmpMute);
    SetValueAndFlag(PARAM_ADC_VOL_MUTE, values.adcVolumeMute);
    SetValueAndFlag(PARAM_DAC1_VOL_MUTE, values.dac1Mute);
    SetValueAndFlag(PARAM_DAC2_VOL_MUTE, values.dac2Mute);
    SetValueAndFlag(PARAM_ADC_INPUT, values.adcInput);
    SetValueAndFlag(PARAM_ANALOG, values.analogInput);
    auto level = [](int32_t position, int32_t steps, double span, double offset) {
        return static_cast<double>(steps - position) / steps * span - offset;
    };
    SetValueAndFlag(PARAM_ADC_PRE_AMP, level(values.preAmpPosition, kPreAmpSteps, 52, 18));
    SetValueAndFlag(PARAM_ADC_VOL, level(values.adcVolumePosition, kVolumeSteps, 126, 96));
    SetValueAndFlag(PARAM_DAC1_VOL, level(values.dac1Position, kVolumeSteps, 126, 126));
    SetValueAndFlag(PARAM_DAC2_VOL, level(values.dac2Position, kVolumeSteps, 126, 126));
    codecCache_ = values;
    if (values.digitalIOWord != before.digitalIOWord || values.inputClock != before.inputClock ||
        values.sampleRate != before.sampleRate) {
        ResetAndRunPop(true);
        return;
    }
    auto inputs = [&](const SSystemConfigValues& c) {
        SCodecInputs in;
        in.adcEnabled = c.adcEnabled != 0;
        in.dacEnabled = c.dacEnabled != 0;
        in.preAmpMute = c.preAmpMute != 0;
        in.adcVolumeMute = c.adcVolumeMute != 0;
        in.dac1Mute = c.dac1Mute != 0;
        in.dac2Mute = c.dac2Mute != 0;
        in.inputType = InputTypeOfAnalogInput(c.analogInput);
        in.adcInputFlag = AdcInputFlagOf(c.adcInput);
        // Gains in hundredths of a dB from the positions.
        in.preAmp = static_cast<int32_t>(level(c.preAmpPosition, kPreAmpSteps, 52, 18) * 100);
        in.adcVolume =
            static_cast<int32_t>(level(c.adcVolumePosition, kVolumeSteps, 126, 96) * 100);
        in.dac1 = static_cast<int32_t>(level(c.dac1Position, kVolumeSteps, 126, 126) * 100);
        in.dac2 = static_cast<int32_t>(level(c.dac2Position, kVolumeSteps, 126, 126) * 100);
        return in;
    };
    WriteCodecChanges(inputs(before), inputs(values));
}
