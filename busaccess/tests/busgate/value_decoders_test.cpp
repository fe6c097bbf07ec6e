#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/ValueDecoders.h"
#include "testsupport/CompiledLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

using namespace busgate;

namespace {

// A sink that keeps what it is given, colour by colour.
class RecordingLog final : public CFilterLog {
public:
    void SetColor(int code) override { colour_ = code; }
    void Transaction(int, uint8_t, uint32_t, const uint8_t*, uint32_t) override {}
    std::string all;
    std::string red;

protected:
    void PutText(std::string_view text) override {
        all += text;
        if (colour_ == kColourRed)
            red += text;
        else
            EXPECT_EQ(colour_, kColourValue) << text;
    }
    void PutError(std::string_view text) override { PutText(text); }
    void PutInfo(std::string_view text) override { PutText(text); }

private:
    int colour_ = 0;
};

struct ParameterCase {
    Dec decoder;
    unsigned p;
    const char* text;
    bool fault;
};

TEST(ValueDecoders, ParameterTexts) {
    const ParameterCase cases[] = {
        {Dec::LevelerRange, 250, ": -50.00 dB", false},
        {Dec::LevelerRange, 251, ": Invalid Parameter", true},
        {Dec::LevelerRange, 0, ": 0.00 dB", false},
        {Dec::LevelerTarget, 100, ": -20.00 dB", false},
        {Dec::LevelerTarget, 101, ": Invalid Parameter", true},
        {Dec::VolumeGain, 400, ": 0.00 dB", false},
        {Dec::VolumeGain, 0, ": -80.00 dB", false},
        {Dec::LowGain, 80, ": 40.00 dB", false},
        {Dec::DynamicRange, 0, ": -80 dB", false},
        {Dec::NoiseGate, 66, ": -30 dB", false},
        {Dec::NoiseGate, 67, ": Invalid Parameter", true},
        {Dec::Intensity127, 127, ": 100.0 %", false},
        {Dec::Intensity76, 38, ": 50.0 %", false},
        {Dec::GateThreshold, 32, ": -20 dB", false},
        {Dec::GateThreshold, 31, ": Invalid Parameter", true},
        {Dec::GateGap, 0, ": 0 dB", false},
        {Dec::FadeTime, 255, ": 255 msec", false},
        {Dec::FadeTime, 256, ": Invalid Parameter", true},
        {Dec::OnOff, 0, ": ON", false},
        {Dec::OnOff, 1, ": OFF", false},
        {Dec::OnOff, 2, ": Unknown Parameter", true},
        {Dec::SampleRate, 1, ": 44.1KHz", false},
        {Dec::SpeakerType, 1, ": 2.1 Mode", false},
        {Dec::Balance, 160, " L-CH: 0.0 dB,  R-CH: -20.0 dB. ", false},
        {Dec::Balance, 120, " L-CH: 0dB,  R-CH: 0dB. ", false},
        {Dec::Balance, 210, " L-CH: 0.0 dB,  R-CH: -50.0 dB. ", false},
        {Dec::Balance, 80, " L-CH: -20.0 dB,  R-CH: 0.0 dB. ", false},
        {Dec::Balance, 10, " L-CH: -70.0 dB,  R-CH: 0.0 dB. ", false},
        {Dec::Balance, 0, " L-CH: -inf,  R-CH: 0dB. ", false},
        {Dec::Mode3D, 45, ": SF 32KHz, Speaker Span Normal, Low-Pass 1 dB", false},
        {Dec::Mode3D, 22, ": SF 44.1KHz/48KHz, Speaker Span Wide, Low-Pass 0 dB", false},
        {Dec::Mode3D, 66, ": Invalid Parameter", true},
        {Dec::BypassSet, 0, "Bypass is disabled for all algorithms. ", false},
        {Dec::BypassSet, 0x45, "Bypass is enabled for : High Pass Filter, Dulm3D, DulmVolume, ",
         false},
        {Dec::BypassSet, 0x0180, "Bypass is enabled for : bits 15-7 should be 0, ", true},
        {Dec::TrebleFreq, 0, ": 508.0 Hz", false},
        {Dec::BassCutoff, 48, ": 20.0 Hz", false},
        {Dec::BassCutoff, 170, ": Invalid Parameter", true},
        {Dec::CrossoverFreq, 221, ": 2959.0 Hz", false},
    };
    for (const ParameterCase& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.decoder) << " P=" << c.p);
        RecordingLog log;
        ASSERT_TRUE(DecodeParameterValue(c.decoder, static_cast<uint8_t>(c.p >> 8),
                                         static_cast<uint8_t>(c.p), log));
        EXPECT_EQ(log.all, c.text);
        EXPECT_EQ(!log.red.empty(), c.fault) << log.red;
    }
    RecordingLog none;
    EXPECT_FALSE(DecodeParameterValue(Dec::Plain, 0, 0, none));
    EXPECT_TRUE(none.all.empty());
}

// Makes a locale with a decimal comma current for numbers: an installed
// one, or one compiled into a temporary folder from the system's locale
// sources. False when neither is possible.
TEST(ValueDecoders, NumbersUseThePointUnderACommaLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    CompiledLocale compiled;
    std::string why;
    const bool comma = SetCommaDecimalLocale(compiled, why);
    RecordingLog log;
    if (comma)
        DecodeParameterValue(Dec::LevelerRange, 0, 251 - 1, log);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma)
        GTEST_SKIP() << "no comma-decimal locale: " << why;
    EXPECT_EQ(log.all, ": -50.00 dB");
}

TEST(ValueDecoders, PeqWords) {
    struct Case {
        uint32_t k;
        uint8_t x;
        const char* text;
    } cases[] = {
        {0, 1, " // Ch: 2 \n "},
        {1, 2, " // Type: High Shelf \n "},
        {1, 9, " // Type: Unknown    \n "},
        {2, 127, " // Freq: 24548 Hz \n "},
        {2, 0, " // Freq: 16 Hz \n "},
        {3, 0, " // Q: 0.40 \n "},
        {4, 0, " // Gain: -18.0 \n "},
    };
    for (const Case& c : cases) {
        RecordingLog log;
        DecodePeqWord(c.k, c.x, log);
        EXPECT_EQ(log.all, c.text) << c.k << " " << int(c.x);
    }
}

TEST(ValueDecoders, MixerAndAeqWords) {
    struct Case {
        uint32_t k;
        uint32_t w;
        const char* text;
    } cases[] = {
        {0, 8388607, " // M1 - SDI0 to Processing path (18.00 dB)\n "},
        {8, 8388607, " // M9 - SDO0 from Processed path (0.00 dB)\n "},
        {8, 0, " // M9 - SDO0 from Processed path (-inf)\n "},
        {13, 8388607, " // M14- SDO3 from UnProcessed path (DAC1/AM (0.00 dB)\n "},
    };
    for (const Case& c : cases) {
        RecordingLog log;
        DecodeMixerWord(c.k, c.w, log);
        EXPECT_EQ(log.all, c.text);
    }
    RecordingLog aeq;
    for (uint32_t k = 0; k < 8; ++k)
        DecodeAeqWord(k, aeq);
    EXPECT_EQ(aeq.all, " // Total number of compensative arithmetical shifts + 1 \n "
                       " // Number of bi-quad channels - 1 \n "
                       " // channel 1, B (a2) coefficient \n "
                       " // channel 1, G (a0) coefficient \n "
                       " // channel 1, A (a1) coefficient \n "
                       " // channel 1, D (b2) coefficient \n "
                       " // channel 1, C (b1) coefficient \n "
                       " // channel 2, B (a2) coefficient \n ");
}

TEST(ValueDecoders, RegisterWords) {
    struct Case {
        Ext decoder;
        uint32_t word;
        uint32_t chipType;
        const char* text;
        bool fault;
    } cases[] = {
        {Ext::DACVolume, 0x005400, 2, " // ==>  L-CH: -126.0 dB,  R-CH: 0.0 dB,  \n ", false},
        {Ext::DACVolume, 0x030000, 2, " // ==>  L-CH: mute,  R-CH: mute,  \n ", false},
        {Ext::DACVolume, 0x000055, 2, " // ==>  L-CH: invalid value,  R-CH: -126.0 dB,  \n ", true},
        {Ext::ADCVolume, 0x000000, 2, " // ==>  L-CH: 30.0 dB,  R-CH: 30.0 dB,  \n ", false},
        {Ext::PGAGain, 0x003500, 2, " // ==>  L-CH: -18.0 dB,  R-CH: invalid value,  \n ", true},
        {Ext::ADCInput, 0x000191, 2, " // ==>  Mono (R and L mixed),  LIN2(10K),  RIN2(30K).  \n ",
         false},
        {Ext::CodecInterface, 0x000018, 2, " // ==>  48KHz,  I2S.  \n ", false},
        {Ext::CodecPower, 0x000000, 2, " // ==>  CODEC is reset.  \n ", false},
        {Ext::CodecPower, 0x000003, 2,
         " // ==>  Data path is reset.  DAC1R power-down,  DAC1L power-down,  DAC2R "
         "power-down,  DAC2L power-down,  ADCR power-down,  ADCL power-down,  \n ",
         false},
        {Ext::CodecPower, 0x000107, 2,
         " // ==>  DAC1R invalid,  DAC1L power-down,  DAC2R power-down,  DAC2L power-down,  "
         "ADCR power-down,  ADCL power-down,  \n ",
         true},
        {Ext::PLL, 0x241004, 2, " // ==>  PLL is Power-Down.  \n ", false},
        {Ext::PLL, 0x20100F, 2, " // ==>  PLL = (REF * 16) / (2 * 3).  \n ", false},
        {Ext::GPIOSelection2, 0x000040, 0,
         " // ==>  [GPIO16/nMUTE] -> nMUTE (hardware mute),  [GPO17/EVENT] -> GPO17,  "
         "[[CLKOUT/ROOUT]/GPO07] -> GPO07,  Power AMP: OFF,  Fault latch time 4ms,  GPIO20,  "
         "[GPO07/SDO1],  Crystal: ON,  [SDO2/GPO18] -> SDO2,  \n ",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << static_cast<int>(c.decoder) << " " << std::hex << c.word);
        const uint8_t w[3] = {static_cast<uint8_t>(c.word >> 16), static_cast<uint8_t>(c.word >> 8),
                              static_cast<uint8_t>(c.word)};
        RecordingLog log;
        DecodeRegisterWord(c.decoder, w, RegisterContext{c.chipType, 0x6000}, log);
        EXPECT_EQ(log.all, c.text);
        EXPECT_EQ(!log.red.empty(), c.fault) << log.red;
    }
}

TEST(ValueDecoders, SsiFields) {
    RecordingLog log;
    // Enabled master, I2S, 24-bit, 64 x DCLK, SYNC inverted as I2S wants.
    DecodeSsiFields(0xBCD5, log);
    EXPECT_EQ(log.all, "Master mode, I2S, 24bit, 64 x DCLK,");
    EXPECT_TRUE(log.red.empty());
    RecordingLog bad;
    DecodeSsiFields(0x0080 | 0x3, bad);
    EXPECT_EQ(bad.red, " invalid SSI enable/disable,  invalid SSI mode, ");
}

TEST(HexDump, FifteenBytesALineAndCategoryRules) {
    std::vector<uint8_t> bytes(16);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i);
    const std::string dump = HexDump(0, 0x73, 16, bytes.data(), 5);
    EXPECT_EQ(dump, "I2C W 0x73: 0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A 0x0B "
                    "0x0C 0x0D 0x0E \n" +
                        std::string(21, ' ') + "0x0F ");
    EXPECT_EQ(HexDump(1, 0x50, 1, bytes.data(), 1), "// I2C R 0x50: 0x00 ");
    EXPECT_EQ(HexDump(0, 0x73, 3, bytes.data(), 7), "");
}

} // namespace
