#include "busaccess/busgate/ValueDecoders.h"
#include "Words.h"

#include <cmath>
#include <cstdarg>
#include <initializer_list>

namespace busgate {

const char* const kMixerGainNames[kMixerGains] = {
    "M1 - SDI0 to Processing path",
    "M2 - SDI1 to Processing path",
    "M3 - SDI2 to Processing path",
    "M4 - SDI3 to Processing path (ADC)",
    "M5 - SDI0 to UnProcessing path",
    "M6 - SDI1 to UnProcessing path",
    "M7 - SDI2 to UnProcessing path",
    "M8 - SDI3 to UnProcessing path (ADC)",
    "M9 - SDO0 from Processed path",
    "M10- SDO1 from Processed path",
    "M11- SDO3 from Processed path (DAC1/AMP)",
    "M12- SDO0 from UnProcessed path",
    "M13- SDO1 from UnProcessed path",
    "M14- SDO3 from UnProcessed path (DAC1/AM",
    "M15- SDO2 from Subwoofer path (DAC2/AMP)",
    "M16- SDO2 from UnProcessed path (DAC2)",
    "M17- SDO2 from Processed path (DAC2)",
};

namespace {

// Writes value text in colour 7 and faults in colour 3, switching colour
// only when it changes.
class ValueWriter {
public:
    explicit ValueWriter(CFilterLog& log) : log_(log) {}

    void Value(const char* text) { Put(kColourValue, text); }
    void Fault(const char* text) { Put(kColourRed, text); }
    template <typename... Args>
    void Value(const char* format, Args... args) {
        Colour(kColourValue);
        log_.InfoText(format, args...);
    }
    template <typename... Args>
    void Fault(const char* format, Args... args) {
        Colour(kColourRed);
        log_.InfoText(format, args...);
    }
    void Choose(unsigned index, std::initializer_list<const char*> texts) {
        if (index < texts.size())
            Value(texts.begin()[index]);
        else
            Fault(": Unknown Parameter");
    }
    void Invalid() { Fault(": Invalid Parameter"); }

private:
    void Colour(int colour) {
        if (colour != colour_) {
            colour_ = colour;
            log_.SetColor(colour);
        }
    }
    void Put(int colour, const char* text) {
        Colour(colour);
        log_.InfoText("%s", text);
    }

    CFilterLog& log_;
    int colour_ = 0;
};

// Negative zero prints as "-0"; values here never mean that.
double Plain(double v) {
    return v + 0.0;
}

double Hertz(float p, float offset, float divisor) {
    return static_cast<double>(std::pow(10.0f, (p + offset) / divisor));
}

void Bypass(uint8_t b0, uint8_t b2, ValueWriter& out) {
    if (b0 == 0 && b2 == 0) {
        out.Value("Bypass is disabled for all algorithms. ");
        return;
    }
    static const char* const kAlgorithms[] = {
        "High Pass Filter, ", "Crossover Filter, ", "Dulm3D, ",    "DulmDialog, ",
        "DulmBass, ",         "DulmTreble, ",       "DulmVolume, "};
    out.Value("Bypass is enabled for : ");
    for (unsigned bit = 0; bit < 7; ++bit)
        if (b2 & (1u << bit))
            out.Value(kAlgorithms[bit]);
    if (b0 != 0 || (b2 & 0x80))
        out.Fault("bits 15-7 should be 0, ");
}

void Balance(unsigned p, ValueWriter& out) {
    if (p == 120)
        return out.Value(" L-CH: 0dB,  R-CH: 0dB. ");
    if (p == 240)
        return out.Value(" L-CH: 0dB,  R-CH: -inf. ");
    if (p == 0)
        return out.Value(" L-CH: -inf,  R-CH: 0dB. ");
    double left = 0, right = 0;
    const double x = p;
    if (p > 120 && p < 200)
        right = -0.5 * (x - 120);
    else if (p >= 200)
        right = -(x - 200) - 40;
    else if (p > 40)
        left = -0.5 * (120 - x);
    else
        left = -(40 - x) - 40;
    out.Value(" L-CH: %.1f dB,  R-CH: %.1f dB. ", Plain(left), Plain(right));
}

void Mode3D(unsigned p, ValueWriter& out) {
    if (p >= 33) {
        out.Value(": SF 32KHz,");
        p -= 33;
    } else {
        out.Value(": SF 44.1KHz/48KHz,");
    }
    switch (p / 11) {
    case 2:
        out.Value(" Speaker Span Wide,");
        p -= 22;
        break;
    case 1:
        out.Value(" Speaker Span Normal,");
        p -= 11;
        break;
    default:
        out.Value(" Speaker Span Narrow,");
        break;
    }
    out.Value(" Low-Pass %u dB", p);
}

} // namespace

bool DecodeParameterValue(Dec decoder, uint8_t b0, uint8_t b2, CFilterLog& log) {
    ValueWriter out(log);
    const unsigned p = (unsigned{b0} << 8) | b2;
    const double x = p;
    switch (decoder) {
    case Dec::SpeakerType:
        out.Choose(p, {": 2.0 Mode", ": 2.1 Mode"});
        break;
    case Dec::SampleRate:
        out.Choose(p, {": 48KHz", ": 44.1KHz"});
        break;
    case Dec::OnOff:
        out.Choose(p, {": ON", ": OFF"});
        break;
    case Dec::OriginalBass:
        out.Choose(p, {": Disable adding original bass", ": Enable adding original bass"});
        break;
    case Dec::Mute:
        out.Choose(p, {": Un-Mute (NOTE: Add soft-mute fade time delay)",
                       ": Mute (NOTE: Add soft-mute fade time delay)"});
        break;
    case Dec::Knee:
        out.Choose(p, {": Soft-Knee", ": Hard-Knee"});
        break;
    case Dec::FadeTime:
        p < 256 ? out.Value(": %u msec", p) : out.Invalid();
        break;
    case Dec::LevelerRange:
        p < 251 ? out.Value(": %.2f dB", Plain(-0.2 * x)) : out.Invalid();
        break;
    case Dec::LevelerTarget:
        p < 101 ? out.Value(": %.2f dB", Plain(-0.2 * x)) : out.Invalid();
        break;
    case Dec::LowGain:
        p < 81 ? out.Value(": %.2f dB", 0.5 * x) : out.Invalid();
        break;
    case Dec::DynamicRange:
        p < 128 ? out.Value(": -%.0f dB", 80 - 0.46875 * x) : out.Invalid();
        break;
    case Dec::NoiseGate:
        p < 67 ? out.Value(": %.0f dB", x - 96) : out.Invalid();
        break;
    case Dec::Intensity127:
        p < 128 ? out.Value(": %.1f %%", x / 127 * 100) : out.Invalid();
        break;
    case Dec::Intensity76:
        p < 128 ? out.Value(": %.1f %%", x / 76 * 100) : out.Invalid();
        break;
    case Dec::GateThreshold:
        (p >= 32 && p <= 112) ? out.Value(": %.0f dB", 12 - x) : out.Invalid();
        break;
    case Dec::GateGap:
        p < 48 ? out.Value(": %.0f dB", Plain(-x)) : out.Invalid();
        break;
    case Dec::TrebleFreq:
        p < 128 ? out.Value(": %.1f Hz", Hertz(p, 215.71f, 79.72f)) : out.Invalid();
        break;
    case Dec::CrossoverFreq:
        (p >= 48 && p <= 221) ? out.Value(": %.1f Hz", Hertz(p, 55.72f, 79.72f)) : out.Invalid();
        break;
    case Dec::HighPassFreq:
        (p >= 48 && p <= 144) ? out.Value(": %.1f Hz", Hertz(p, 55.72f, 79.72f)) : out.Invalid();
        break;
    case Dec::BassCutoff:
        (p >= 48 && p <= 169) ? out.Value(": %.1f Hz", Hertz(p, 56.0f, 80.0f)) : out.Invalid();
        break;
    case Dec::VolumeGain:
        out.Value(": %.2f dB", Plain(0.2 * x - 80));
        break;
    case Dec::Mode3D:
        p < 66 ? Mode3D(p, out) : out.Invalid();
        break;
    case Dec::BypassSet:
        Bypass(b0, b2, out);
        break;
    case Dec::Balance:
        Balance(p, out);
        break;
    default:
        return false;
    }
    return true;
}

void DecodePeqWord(uint32_t k, uint8_t x, CFilterLog& log) {
    ValueWriter out(log);
    switch (k) {
    case 0:
        out.Value(" // Ch: %u \n ", unsigned{x} + 1);
        break;
    case 1: {
        static const char* const kTypes[] = {" // Type: Bell       \n ", " // Type: Low Shelf  \n ",
                                             " // Type: High Shelf \n ", " // Type: Low Pass   \n ",
                                             " // Type: High Pass  \n "};
        out.Value(x < 5 ? kTypes[x] : " // Type: Unknown    \n ");
        break;
    }
    case 2: {
        const double lo = std::log10(16.0), hi = std::log10(24548.0);
        out.Value(" // Freq: %.0f Hz \n ", std::pow(10.0, lo + x * (hi - lo) / 127));
        break;
    }
    case 3:
        out.Value(" // Q: %.2f \n ", 0.044094488 * x + 0.4);
        break;
    default:
        out.Value(" // Gain: %.1f \n ", Plain(0.28110236 * x - 18));
        break;
    }
}

void DecodeAeqWord(uint32_t k, CFilterLog& log) {
    ValueWriter out(log);
    if (k == 0)
        return out.Value(" // Total number of compensative arithmetical shifts + 1 \n ");
    if (k == 1)
        return out.Value(" // Number of bi-quad channels - 1 \n ");
    static const char* const kCoefficients[] = {
        " // channel %u, B (a2) coefficient \n ", " // channel %u, G (a0) coefficient \n ",
        " // channel %u, A (a1) coefficient \n ", " // channel %u, D (b2) coefficient \n ",
        " // channel %u, C (b1) coefficient \n "};
    const uint32_t n = k - 2;
    out.Value(kCoefficients[n % 5], static_cast<unsigned>(n / 5 + 1));
}

void DecodeMixerWord(uint32_t k, uint32_t w, CFilterLog& log) {
    ValueWriter out(log);
    if (k >= kMixerGains)
        return;
    double g = 20 * std::log10(static_cast<double>(w) / 8388607.0);
    if (k < 8)
        g += 18;
    if (g <= -100)
        out.Value(" // %s (-inf)\n ", kMixerGainNames[k]);
    else
        out.Value(" // %s (%.2f dB)\n ", kMixerGainNames[k], Plain(g));
}

void DecodeSsiFields(uint16_t p, CFilterLog& log) {
    ValueWriter out(log);
    const unsigned b2 = p & 0xFF;
    if (b2 <= 63)
        out.Value("SSI disable,");
    else if (b2 <= 191)
        out.Fault(" invalid SSI enable/disable, ");
    else
        out.Value(b2 & 0x10 ? "Master mode," : "Slave mode,");
    const unsigned mode = b2 & 0xF;
    switch (mode) {
    case 0:
        out.Value(" LJ,");
        break;
    case 5:
        out.Value(" I2S,");
        break;
    case 10:
        out.Value(" RJ,");
        break;
    case 15:
        out.Value(" RJ+1,");
        break;
    default:
        out.Fault(" invalid SSI mode, ");
    }
    switch ((p >> 10) & 0xF) {
    case 0:
        out.Value(" 16bit,");
        break;
    case 5:
        out.Value(" 18bit,");
        break;
    case 10:
        out.Value(" 20bit,");
        break;
    case 15:
        out.Value(" 24bit,");
        break;
    default:
        out.Fault(" invalid SSI word length, ");
    }
    out.Value(p & 0x4000 ? " 32 x DCLK," : " 64 x DCLK,");
    const bool inverted = p & 0x8000;
    if (inverted && mode != 5)
        out.Fault(" SYNC invert (for I2S), ");
    else if (!inverted && mode == 5)
        out.Fault(" SYNC not invert (for non I2S), ");
}

namespace {

// A converter's power bits: none set, all set, or some (invalid).
void Converter(uint32_t w, uint32_t bits, const char* name, ValueWriter& out) {
    const uint32_t set = w & bits;
    if (set == 0)
        out.Value(" %s power-down, ", name);
    else if (set == bits)
        out.Value(" %s power-up, ", name);
    else
        out.Fault(" %s invalid, ", name);
}

void ChannelLevels(const uint8_t w[3], unsigned limit, double scale, double offset,
                   ValueWriter& out) {
    struct Channel {
        const char* name;
        unsigned muteBit;
        uint8_t value;
    };
    const Channel channels[2] = {{"L", 1, w[2]}, {"R", 2, w[1]}};
    for (const Channel& c : channels) {
        if (w[0] & c.muteBit)
            out.Value(" %s-CH: mute, ", c.name);
        else if (c.value < limit)
            out.Value(" %s-CH: %.1f dB, ", c.name, Plain(scale * c.value + offset));
        else
            out.Fault(" %s-CH: invalid value, ", c.name);
    }
}

void AdcInput(const uint8_t w[3], ValueWriter& out) {
    out.Value(w[1] & 1 ? " Mono (R and L mixed), " : " Stereo, ");
    static const char* const kLeft[] = {" LIN1", " LIN2", " LIN3"};
    static const char* const kRight[] = {" RIN1", " RIN2", " RIN3"};
    const unsigned left = w[2] & 7, right = (w[2] >> 4) & 7;
    left < 3 ? out.Value(kLeft[left]) : out.Fault(" Invalid, ");
    out.Value(w[2] & 0x08 ? "(30K), " : "(10K), ");
    right < 3 ? out.Value(kRight[right]) : out.Fault(" Invalid. ");
    out.Value(w[2] & 0x80 ? "(30K). " : "(10K). ");
    if (w[0] != 0 || w[1] > 1)
        out.Fault(" bits 10 to 24 should be 0. ");
}

void CodecInterface(const uint8_t w[3], ValueWriter& out) {
    const unsigned rate = w[2] & 0xF, format = (w[2] >> 4) & 7;
    if (rate == 7)
        out.Value(" 44.1KHz, ");
    else if (rate == 8)
        out.Value(" 48KHz, ");
    else
        out.Fault(" Invalid, ");
    static const char* const kFormats[] = {" Right Justified (use only with 24bit), ", " I2S. ",
                                           " Left Justified, "};
    format < 3 ? out.Value(kFormats[format]) : out.Fault(" Invalid. ");
    if (w[0] != 0 || w[1] != 0 || w[2] >= 64)
        out.Fault(" invalid values bits 24..6, ");
}

void CodecPower(uint32_t w, ValueWriter& out) {
    if (!(w & 1))
        return out.Value(" CODEC is reset. ");
    if (!(w & 0x100))
        out.Value(" Data path is reset. ");
    if (!(w & 2))
        return out.Value(" CODEC is power down. ");
    Converter(w, 0x14, "DAC1R", out);
    Converter(w, 0x28, "DAC1L", out);
    Converter(w, 0xA00, "DAC2R", out);
    Converter(w, 0x1400, "DAC2L", out);
    out.Value(w & 0x40 ? " ADCR power-up, " : " ADCR power-down, ");
    out.Value(w & 0x80 ? " ADCL power-up, " : " ADCL power-down, ");
}

void ClockControl(const uint8_t w[3], uint32_t hardware, ValueWriter& out) {
    static const char* const kRef[] = {" REF=Strap, ", " REF=Crystal, ", " REF=DCLK, ",
                                       " REF = Invalid. "};
    out.Value(kRef[(w[1] >> 4) & 3]);
    out.Value(w[0] & 0x80 ? " CLKOUT=PLL/%u, " : " CLKOUT=REF/%u, ", ((w[0] >> 2) & 0x1Fu) + 1);
    out.Value(w[1] & 0x08 ? " DSP=PLL/%u, " : " DSP=REF/%u, ",
              (((w[1] & 7u) << 2) | (w[2] >> 6)) + 1);
    const bool pll = w[2] & 0x20;
    const unsigned divider = (w[2] & 0x1Fu) + 1;
    if (hardware == 0x6000)
        out.Value(pll ? " CODEC=PLL/%u, " : " CODEC=REF/%u, ", divider);
    else
        out.Value(pll ? " CLK256=PLL/%u, " : " CLK256=REF/%u, ", divider);
}

void Pll(const uint8_t w[3], uint32_t word, ValueWriter& out) {
    if (w[0] & 0x04)
        return out.Value(" PLL is Power-Down. ");
    if (w[0] & 0x08)
        return out.Value(" PLL is RESET. ");
    out.Value(" PLL = (REF * %u) / (%u * %u). ", (word & 0xFFFu) + 1, ((word >> 12) & 0x3Fu) + 1,
              (w[0] >> 4) + 1u);
}

bool IsQX410xType(uint32_t code) {
    return code == 1 || code == 2 || code == 4;
}

void GpioSelection1(uint32_t word, uint32_t code, ValueWriter& out) {
    if (IsQX410xType(code) && (word & 0x3E20) != 0x3E20)
        out.Fault(" Invalid value (bits 13-9,5 must be 1),");
    else if (IsQZ625xFamily(code) && (word & 0x3E00) != 0x3E00)
        out.Fault(" Invalid value (bits 13-9, must be 1),");
    static const char* const kOn[] = {" DCLK, ", " SYNC, ", " SDI0, ", " SDI1, ", " SDI2, ",
                                      " SDI3, ", " SDO0, ", " SDO1, ", " SDO2, ", " SDO3, "};
    static const char* const kOff[] = {" GPIO00, ", " GPIO01, ", " GPIO02, ", " GPIO03, ",
                                       " GPIO04, ", " GPIO05, ", " GPO06, ",  " GPO07, ",
                                       " GPO08, ",  " GPO09, "};
    for (int bit = 9; bit >= 0; --bit)
        out.Value(word & (1u << bit) ? kOn[bit] : kOff[bit]);
}

void GpioSelection2(uint32_t w, uint32_t code, ValueWriter& out) {
    if (!(w & 0x40))
        out.Fault(" bit 6 must be 1, ");
    if (IsQZ625xFamily(code)) {
        if (w & 0x6)
            out.Fault(" bit 2..1 must be 0, ");
        if (w & 0x1000)
            out.Value(" [GPIO16/nMUTE] -> GPIO16, ");
        else if (w & 0x80)
            out.Value(" [GPIO16/nMUTE] -> nMUTE, ");
        else
            out.Value(" [GPIO16/nMUTE] -> nMUTE (hardware mute), ");
        out.Value(w & 0x100 ? " [GPO17/EVENT] -> EVENT, " : " [GPO17/EVENT] -> GPO17, ");
        if (!(w & 1))
            out.Value(" [[CLKOUT/ROOUT]/GPO07] -> GPO07, ");
        else if (w & 0x2000)
            out.Value(" [[CLKOUT/ROOUT]/GPO07] -> ROOUT, ");
        else
            out.Value(" [[CLKOUT/ROOUT]/GPO07] -> CLKOUT, ");
        if ((code & ~0x18u) == 0) {
            static const char* const kLatch[] = {"4ms", "16ms", "64ms",    "256ms",
                                                 "1s",  "4s",   "invalid", "invalid"};
            out.Value(w & 0x8 ? " Power AMP: ON, " : " Power AMP: OFF, ");
            out.Value(" Fault latch time %s, ", kLatch[(w >> 9) & 7]);
        }
    }
    if ((code & ~0x7u) == 0) {
        if (w & 0xE)
            out.Fault(" bit 3..1 must be 0, ");
        out.Value(w & 0x80 ? " SDI0 (QX410B only), " : " GPIO20, ");
        out.Value(w & 1 ? " CLKOUT pin, " : " [GPO07/SDO1], ");
    }
    out.Value(w & 0x20 ? " Crystal: OFF, " : " Crystal: ON, ");
    out.Value(w & 0x10 ? " [SDO2/GPO18] -> GPO18, " : " [SDO2/GPO18] -> SDO2, ");
}

} // namespace

void DecodeRegisterWord(Ext decoder, const uint8_t w[3], const RegisterContext& context,
                        CFilterLog& log) {
    ValueWriter out(log);
    const uint32_t word = WordOf(w);
    if (decoder == Ext::SSIControl) {
        DecodeSsiFields(static_cast<uint16_t>((w[1] << 8) | w[2]), log);
        log.SetColor(kColourValue);
        log.InfoText(". \n ");
        return;
    }
    out.Value(" // ==> ");
    switch (decoder) {
    case Ext::DACVolume:
        ChannelLevels(w, 85, 1.5, -126, out);
        break;
    case Ext::PGAGain:
        ChannelLevels(w, 53, 1.0, -18, out);
        break;
    case Ext::ADCVolume:
        ChannelLevels(w, 85, -1.5, 30, out);
        break;
    case Ext::ADCInput:
        AdcInput(w, out);
        break;
    case Ext::CodecInterface:
        CodecInterface(w, out);
        break;
    case Ext::CodecPower:
        CodecPower(word, out);
        break;
    case Ext::ClockControl:
        ClockControl(w, context.chipHardware, out);
        break;
    case Ext::PLL:
        Pll(w, word, out);
        break;
    case Ext::GPIOSelection1:
        GpioSelection1(word, context.chipTypeCode, out);
        break;
    case Ext::GPIOSelection2:
        GpioSelection2(word, context.chipTypeCode, out);
        break;
    default:
        break;
    }
    out.Value(" \n ");
}

} // namespace busgate
