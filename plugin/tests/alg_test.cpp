// The algorithm object over its own resources (attached to this program)
// and the simulated chip: parameter model, filter design and the frames of
// parameter changes.
#include "AlgFixture.h"
#include "hosting/ProcCodeDesc.h"
#include "plugin/DisplayFunctions.h"
#include "plugin/FilterDesign.h"
#include "plugin/PeqAlg.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using dulmtest::FakeClock;
using dulmtest::SimDimax;
using namespace dulm;

using dulmtest::AlgTest;

TEST_F(AlgTest, ParameterListAndResetValuesComeFromTheResources) {
    Make();
    ASSERT_EQ(alg->GetParamVector()->size(), 200u);
    EXPECT_EQ(P(PARAM_BALANCE).name, "PARAM_BALANCE");
    EXPECT_EQ(P(PARAM_SWAP_CHANNELS).name, "PARAM_SWAP_CHANNELS");
    EXPECT_EQ(P(PARAM_BAND1_FRQ).resetRealWorld, 32.0);
    EXPECT_EQ(P(9 * 5 + kBandType).resetRealWorld, 2.0);
    EXPECT_NEAR(P(PARAM_LEVELER_THRESHOLD).resetRealWorld, -21.2, 1e-12);
    EXPECT_EQ(P(PARAM_STEREO_SPAN).resetRealWorld, 10.0);
    EXPECT_EQ(P(PARAM_STEREO_SPAN).resetState, 1.0);
    EXPECT_EQ(V(PARAM_P_ANALOG_INPUT_CHANEL), 0.0);
    EXPECT_EQ(V(PARAM_DIG_IO_CONFIG_LB), 213.0);
    // The state of a band is 0 where the list gives none.
    EXPECT_EQ(V(PARAM_BAND1_STATE), 0.0);
    // Plug-in display functions replace the framework's (the sub-woofer
    // bands' types, whose resource names none the framework knows, are shown
    // as the other bands' types).
    std::string text;
    P(PARAM_BAND1_TYPE).TranslateValueString(1, text);
    EXPECT_EQ(text, "Low Shelf");
    P(PARAM_SUBEQ_BAND2_TYPE).TranslateValueString(3, text);
    EXPECT_EQ(text, "Shape 4");
    // The frequency scale: 128 semitones from 16 Hz, cut at 22045.59 Hz.
    EXPECT_DOUBLE_EQ(P(PARAM_BAND1_FRQ).StateToRealWorld(1000), 22045.59);
    EXPECT_DOUBLE_EQ(P(PARAM_BAND1_FRQ).StateToRealWorld(0), 16.0);
    // Mixer inputs snap to 0 dB only when the next step would cross zero.
    EXPECT_DOUBLE_EQ(P(PARAM_P_ANALOG_INPUT_CHANEL).StateToRealWorld(816), 0.0);
    EXPECT_NEAR(P(PARAM_P_ANALOG_INPUT_CHANEL).StateToRealWorld(815), -0.13, 1e-9);
    // The right bands are stored but never designed or sent.
    alg->UpdateParamState(52);
    EXPECT_TRUE(sim.Writes().empty());
}

TEST_F(AlgTest, DisplayFunctionsAndTypedText) {
    Make();
    struct Case {
        unsigned long index;
        double value;
        const char* text;
    } cases[] = {
        {PARAM_BALANCE, 240, "45"},
        {PARAM_BALANCE, 0, "-45"},
        {PARAM_BALANCE, 123, "1"},
        {PARAM_MUTE, 1, "In"},
        {PARAM_MUTE, 0.5, "Out"},
        {PARAM_P_ANALOG_INPUT_CHANEL, -80, "-Inf"},
        {PARAM_DIG_IO_CONFIG_LB, 213, "0000d5"},
        {PARAM_SAMPLE, 1, "44.1 kHz"},
        {PARAM_STEREO_SPAN, 15, "Wide"},
        {PARAM_BOARD_TYPE, 1, "VU6000"},
        {PARAM_OUT_GAIN_L, 64, "64.0"},
        {PARAM_LABEL_POPFILE, 0, ""},
        {PARAM_MIDNIGHT_MODE, 1, "On"},
    };
    for (const Case& c : cases) {
        std::string text = "unchanged";
        P(c.index).displayFunc(0, c.value, text);
        EXPECT_EQ(text, c.text) << c.index << " " << c.value;
    }
    struct Typed {
        unsigned long index;
        const char* text;
        double value;
        bool valid;
    } typed[] = {
        {PARAM_DIG_IO_CONFIG_LB, "3FF", 1023, false},
        {PARAM_DIG_IO_CONFIG_LB, "1234567", 2311527, false},
        {PARAM_DIG_IO_CONFIG_HB, "a0", 160, true},
        {PARAM_BALANCE, "30", 200, true},
        {PARAM_BALANCE, "0", 120, true},
        {PARAM_LEVELER_THRESHOLD, "-99", -30, true},
        {PARAM_BAND1_FRQ, "1000", 1024, true},
    };
    for (const Typed& t : typed) {
        double state = 0;
        const auto result = alg->TranslateTextToState(t.index, t.text, state);
        EXPECT_EQ(result == cALGORITHM::eTranslateValid, t.valid) << t.text;
        if (t.valid) {
            EXPECT_NEAR(P(t.index).StateToRealWorld(state), t.value, 1e-9) << t.text;
        }
    }
}

TEST_F(AlgTest, BandChangeFramesOnTheBusWithPauses) {
    struct Case {
        uint8_t board;
        Bytes command, data, commit;
    } cases[] = {
        {1,
         {0x00, 0xA1, 0x05},
         {0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0, 0, 0x3A, 0, 0, 0x55},
         {0x00, 0xD8, 0x00}},
        {0,
         {0x05, 0xA1, 0x00},
         {0, 0, 0, 0, 0, 0, 0x48, 0, 0, 0x3A, 0, 0, 0x55, 0, 0},
         {0x00, 0xD8, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.board));
        Make(0x6000, 0x0704, c.board);
        Set(PARAM_BAND1_STATE, 1);
        Set(PARAM_BAND1_TYPE, 0);
        Set(PARAM_BAND1_FRQ, 1000);
        Set(PARAM_BAND1_QF, 3.0);
        alg->SetParamRealWorld(PARAM_BAND1_GAIN, 6.0);
        const auto writes = sim.Writes();
        ASSERT_EQ(writes.size(), 3u);
        EXPECT_EQ(writes[0], c.command);
        EXPECT_EQ(writes[1], c.data);
        EXPECT_EQ(writes[2], c.commit);
        ExpectCommandPauses(writes);
    }
}

TEST_F(AlgTest, BandCodesTypesAndTenBandChips) {
    struct Case {
        uint16_t sub;
        int band;
        double state, type, gain, freq;
        bool sent;
        uint8_t type_code, freq_code, q_code, gain_code;
    } cases[] = {
        {0x0704, 1, 1, 0, 0, 16, true, 0, 0, 58, 64},
        {0x0704, 1, 1, 0, 0, 1000, true, 0, 72, 58, 64},
        {0x0704, 1, 1, 0, 17.7, 24548, true, 0, 127, 58, 127},
        {0x0704, 2, 0, 3, 6, 500, true, 0, 60, 58, 64}, // Butterworth off goes out as bell
        {0x0704, 2, 1, 3, 6, 500, true, 3, 60, 58, 85},
        // A shelf that is off keeps its type with 0 dB; its Q is limited to sqrt 2.
        {0x0704, 3, 0, 1, 6, 500, true, 1, 60, 23, 64},
        {0x0605, 8, 1, 0, 0, 500, false, 0, 0, 0, 0}, // band 9 needs a ten-band chip
        {0x0606, 8, 1, 0, 0, 500, true, 0, 60, 58, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sub << " band " << c.band << " f " << c.freq);
        Make(0x6000, c.sub, 0);
        const unsigned long f = static_cast<unsigned long>(c.band * 5);
        Set(f + kBandState, c.state);
        Set(f + kBandType, c.type);
        Set(f + kBandFreq, c.freq);
        Set(f + kBandGain, c.gain);
        const double before = alg->DesignBlock(0).sections[0][c.band].b0;
        Set(f + kBandGain, c.gain);
        alg->UpdateParamState(f + kBandGain);
        const auto writes = sim.Writes();
        if (!c.sent) {
            EXPECT_TRUE(writes.empty());
            EXPECT_EQ(alg->DesignBlock(0).sections[0][c.band].b0, before);
            continue;
        }
        ASSERT_EQ(writes.size(), 3u);
        const Bytes& d = writes[1];
        EXPECT_EQ(d[0], c.band);
        EXPECT_EQ(d[3], c.type_code);
        EXPECT_EQ(d[6], c.freq_code);
        EXPECT_EQ(d[9], c.q_code);
        EXPECT_EQ(d[12], c.gain_code);
    }
}

TEST_F(AlgTest, MixerFrameAsBuilt) {
    Make(0x6000, 0x0704, 0);
    alg->UpdateParamState(PARAM_P_ANALOG_INPUT_CHANEL);
    const auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], (Bytes{0x11, 0xA4, 0x00}));
    ASSERT_EQ(writes[1].size(), 51u);
    auto value = [&](int k) {
        return writes[1][3 * k] | writes[1][3 * k + 1] << 8 | writes[1][3 * k + 2] << 16;
    };
    for (int k = 0; k < 17; ++k) {
        const int expected = k == 3 ? 0x101D3F : (k == 10 || k == 16) ? 0x7FFFFF : 0;
        EXPECT_EQ(value(k), expected) << k;
    }
    EXPECT_EQ(writes[2], (Bytes{0x00, 0xC8, 0x00}));
    ExpectCommandPauses(writes);
}

TEST_F(AlgTest, CommandBytesOfSettings) {
    Make(0x6000, 0x0704, 0);
    sim.chip->onRead(0xB1, [](uint16_t) { return 0x00004C; }); // 76 -> 100
    struct Case {
        unsigned long index;
        double value;
        std::vector<Bytes> frames;
    } cases[] = {
        {PARAM_BALANCE, 240, {{0x00, 0xC9, 0x00}}},
        {PARAM_BALANCE, 0, {{0xF0, 0xC9, 0x00}}},
        {PARAM_BALANCE, 120, {{0x78, 0xC9, 0x00}}},
        {PARAM_MV_MB_CORRELATION_THRESHOLD, 21, {}},
        {PARAM_MV_MB_CORRELATION_THRESHOLD, 0, {{0x90, 0xF1, 0x01}, {0xFA, 0xB1, 0x03}}},
        {PARAM_MV_MB_CORRELATION_THRESHOLD, 20, {{0xF4, 0xF1, 0x01}, {0xFA, 0xB1, 0x03}}},
        {PARAM_SWAP_CHANNELS, 1, {{0x01, 0xF5, 0x00}}},
        {PARAM_CHANNEL_INVERSE_RIGHT, 1, {{0x01, 0xF7, 0x01}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.index << " = " << c.value);
        Clear();
        P(c.index).realWorld[0] = c.value;
        alg->WriteParamToDevice(c.index);
        EXPECT_EQ(sim.Writes(), c.frames);
    }
    EXPECT_EQ(V(PARAM_MV_MB_CORRELATION_INTENSITY), 100.0);
    // An answer above 100 leaves the intensity alone.
    sim.chip->onRead(0xB1, [](uint16_t) { return 0x00004D; });
    alg->ReadDeviceStatus();
    EXPECT_EQ(V(PARAM_MV_MB_CORRELATION_INTENSITY), 100.0);
}

TEST_F(AlgTest, MuteIsSentOncePerValueUnlessReinitialising) {
    Make(0x6000, 0x0704, 0);
    alg->SetParamRealWorld(PARAM_MUTE, 1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x01, 0xC7, 0x00}}));
    const auto sleeps = clock->Sleeps();
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps.back().ms, 117u);
    alg->SetParamRealWorld(PARAM_MUTE, 1);
    EXPECT_EQ(sim.Writes().size(), 1u);
    Clear();
    alg->SetReinitialising(true);
    alg->SetParamRealWorld(PARAM_MUTE, 1);
    alg->SetParamRealWorld(PARAM_MUTE, 1);
    EXPECT_EQ(sim.Writes().size(), 4u);
    for (const auto& s : clock->Sleeps())
        EXPECT_EQ(s.ms, 3u);

    // With no chip to settle (no connection chosen yet, as while the
    // factory values are applied at creation) nothing waits.
    alg->SetReinitialising(false);
    alg->SetConnection(nullptr);
    clock->ClearSleeps();
    alg->SetParamRealWorld(PARAM_MUTE, 0);
    alg->SetParamRealWorld(PARAM_SPEAKER, 2);
    alg->SetParamRealWorld(PARAM_MASTERBP, 1);
    EXPECT_TRUE(clock->Sleeps().empty());
}

TEST_F(AlgTest, ShelfQLimitsAndNyquist) {
    Make();
    Set(PARAM_BAND1_STATE + 10, 1);
    Set(PARAM_BAND1_TYPE + 10, 1);
    Set(PARAM_BAND1_QF + 10, 3.0);
    Set(PARAM_BAND1_FRQ + 10, 1000);
    alg->UpdateParamState(PARAM_BAND1_GAIN + 10);
    EXPECT_DOUBLE_EQ(V(PARAM_BAND1_QF + 10), std::numbers::sqrt2);
    EXPECT_EQ(P(PARAM_BAND1_QF + 10).updateFlag, 3);

    // A low shelf below 101.594 Hz is designed with Q at most 1.019.
    auto lowShelfAt50 = [&](double q) {
        Set(PARAM_BAND1_QF + 10, q);
        Set(PARAM_BAND1_FRQ + 10, 50);
        Set(PARAM_BAND1_GAIN + 10, 6);
        alg->UpdateParamState(PARAM_BAND1_GAIN + 10);
        return alg->DesignBlock(0).sections[0][2];
    };
    const BIQUAD limited = lowShelfAt50(1.414);
    const BIQUAD at1019 = lowShelfAt50(1.019);
    EXPECT_DOUBLE_EQ(limited.b0, at1019.b0);
    EXPECT_DOUBLE_EQ(limited.a1, at1019.a1);

    alg->ChangeSampleRate(32000);
    Set(PARAM_BAND1_TYPE + 10, 0);
    Set(PARAM_BAND1_FRQ + 10, 20000);
    alg->UpdateParamState(PARAM_BAND1_GAIN + 10);
    EXPECT_NEAR(V(PARAM_BAND1_FRQ + 10), 15996.8, 1e-9);
    EXPECT_NEAR(alg->DesignBlock(0).sections[0][2].graphFreq, Translate_Frequency(15996.8, 32000),
                1e-12);
}

TEST_F(AlgTest, LayoutConstantsAndGenerator) {
    Make();
    const std::array<int16_t, 11> map = {8, 0, 1, 2, 3, 4, 5, 6, 7, 9, 10};
    EXPECT_EQ(alg->BandPositionMap(), map);
    EXPECT_EQ(alg->StageLength(), 57);
    EXPECT_EQ(alg->NormaliserBand(), 1);
    {
        cPEQ_ALG fresh(nullptr, nullptr);
        EXPECT_EQ(fresh.SectionCount(), 11);
        EXPECT_EQ(fresh.StageLength(), 57);
    }
    alg->SetSeed(0);
    EXPECT_EQ(alg->NextRandom(), 1u);
    EXPECT_EQ(alg->NextRandom(), 0xB504F4u);
    EXPECT_EQ(alg->ModuleFolder().back(), '/');

    // Output o's stage stays at 57 o + 42 after the control update moved
    // the section count to the band count.
    alg->UpdateControlAvailability();
    EXPECT_EQ(alg->SectionCount(), 10);
    alg->SetProcessActive(1);
    alg->SetParamRealWorld(PARAM_OUT_GAIN_R, 0);
    BufferChain chain = alg->TakeBuffers();
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->offset, (57 + 42) * alg->GetWordSize());
    EXPECT_EQ(chain->size, 17 * alg->GetWordSize());
    // Its last two words: the integer 1 and the stage shift.
    EXPECT_EQ(alg->ReadIntegerWord(alg->GetPointerToCoef(0, 57 + 42 + 15)), 1);
}

TEST_F(AlgTest, BandChangeBuffersFollowProcessAndBypass) {
    Make();
    Set(PARAM_BAND1_STATE + 5, 1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 3);
    EXPECT_EQ(alg->TakeBuffers(), nullptr); // no process running
    alg->SetProcessActive(1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 4);
    BufferChain chain = alg->TakeBuffers();
    ASSERT_NE(chain, nullptr);
    // Band 1 sits at map position 0: coefficients from position 2.
    EXPECT_EQ(chain->offset, 2 * alg->GetWordSize());
    ASSERT_NE(chain->next, nullptr);
    EXPECT_EQ(chain->next->offset, 42 * alg->GetWordSize());
    EXPECT_EQ(chain->next->next, nullptr);
    EXPECT_EQ(std::memcmp(chain->Data(), alg->GetPointerToCoef(0, 2), chain->size), 0);
    alg->SetBypass(true);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 5);
    EXPECT_EQ(alg->TakeBuffers(), nullptr);
}

TEST_F(AlgTest, NonNativeCoefficientsAreScaledNormalisedAndFinite) {
    Make(0x6000, 0x0704, 1, false);
    EXPECT_EQ(alg->CoefficientScale(), 0.5);
    alg->ResetCoefficientArea();
    Set(PARAM_BAND1_STATE + 5, 1);
    Set(PARAM_BAND1_FRQ + 5, 100);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 17.7);
    const auto& d = alg->DesignBlock(0);
    EXPECT_GE(d.sections[0][1].shift, 1);
    EXPECT_LE(std::max({std::fabs(d.sections[0][1].b0), std::fabs(d.sections[0][1].b1),
                        std::fabs(d.sections[0][1].b2)}),
              1.0);
    EXPECT_EQ(d.normaliser[0], 0.125);
    EXPECT_EQ(alg->ReadIntegerWord(alg->GetPointerToCoef(0, 0)), 0x9E3779);
    // Output 1's stage and the bypass block: no section carries output 1's
    // normaliser, which then counts as 1.
    alg->SetParamRealWorld(PARAM_OUT_GAIN_R, 6);
    alg->SetBypass(true);
    for (long w = 0; w < 2 * 57 + 42; ++w) {
        EXPECT_TRUE(std::isfinite(alg->ReadDoubleWord(alg->GetPointerToCoef(0, w)))) << w;
        EXPECT_TRUE(std::isfinite(alg->ReadDoubleWord(alg->GetPointerToBypassCoef(0, w)))) << w;
    }
    EXPECT_GE(d.stageShift[1], 1);
}

TEST_F(AlgTest, MetersClipLightAndAutomaticTrim) {
    Make();
    auto feed = [&](double level) {
        alg->WriteDouble(level, alg->GetPointerToStates(8));
        alg->RefreshParamSelf(PARAM_OUT_VU_L);
    };
    feed(0.5);
    EXPECT_EQ(P(PARAM_OUT_VU_L).state[0], 0.0); // no process running
    alg->SetProcessActive(1);
    alg->ResetMeters();
    feed(1.0 - 1e-7); // held below 1.0: no clip
    EXPECT_EQ(P(PARAM_OUT_VU_L).state[0], 999.0);
    EXPECT_EQ(V(PARAM_CLIP_LIGHT), 0.0);
    feed(1.0);
    EXPECT_EQ(P(PARAM_OUT_VU_L).state[0], 1000.0);
    EXPECT_NEAR(alg->AutoTrim(), -0.1, 1e-6);
    P(PARAM_AUTO_TRIM).updateFlag = 0;
    feed(1.0);
    EXPECT_EQ(P(PARAM_AUTO_TRIM).updateFlag, 0); // the peak stayed
    feed(2.0);
    EXPECT_EQ(V(PARAM_CLIP_LIGHT), 1.0);
    EXPECT_EQ(P(PARAM_OUT_VU_L).state[0], 1000.0);
    feed(0.001);
    EXPECT_EQ(V(PARAM_CLIP_LIGHT), 1.0); // held until a reset
    EXPECT_NEAR(V(PARAM_OUT_VU_L), 20 * std::log10(2.0 + 6e-8), 1e-9);
    alg->ResetMeters();
    EXPECT_EQ(V(PARAM_CLIP_LIGHT), 0.0);
    EXPECT_EQ(V(PARAM_OUT_VU_L), -144.0);
    alg->ResetCoefficientArea(); // also lets go of the held levels
    feed(0.1);                   // -20 dB: the trim is at most 12 dB
    EXPECT_EQ(alg->AutoTrim(), 12.0);
    // Applying the trim once moves both output gains and rests the meters.
    Set(PARAM_OUT_GAIN_L, 0);
    Set(PARAM_OUT_GAIN_R, 0);
    alg->SetParamState(PARAM_AUTO_TRIM, 1);
    EXPECT_GT(V(PARAM_OUT_GAIN_L), 11.0);
    EXPECT_LE(V(PARAM_OUT_GAIN_L), 12.0);
    EXPECT_EQ(V(PARAM_OUT_GAIN_R), V(PARAM_OUT_GAIN_L));
    EXPECT_EQ(alg->AutoTrim(), 0.0);
    EXPECT_EQ(P(PARAM_AUTO_TRIM).state[0], 0.0);
    // A level at the floor shows the bottom of the meter.
    alg->ResetCoefficientArea();
    feed(0.0);
    EXPECT_EQ(P(PARAM_OUT_VU_L).state[0], 0.0);
}

TEST_F(AlgTest, InitialStatesAndBypassBlock) {
    Make();
    auto word = [&](long w) { return alg->ReadIntegerWord(alg->GetPointerToStates(w)); };
    EXPECT_EQ(word(7), 0x7FFFFF);
    EXPECT_EQ(word(11), 0x7FFFFF);
    EXPECT_EQ(alg->ReadDoubleWord(alg->GetPointerToStates(8)), 0.0);
    EXPECT_EQ(P(PARAM_OUT_VU_L).updateFlag, 2);
    Set(PARAM_BAND1_STATE + 5, 1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 12);
    alg->SetParamRealWorld(PARAM_OUT_GAIN_L, 20);
    alg->SetBypass(true);
    // Per output: section count - 3 pass-through sections and three gain
    // sections whose b0 multiply to 1 (the signal passes unchanged through
    // the output stage's gain structure), then the integers 0 and the shift.
    // The control update has made the section count the band count.
    const long sections = alg->SectionCount();
    ASSERT_EQ(sections, 10);
    const long stride = 5 * sections + 2;
    for (long o = 0; o < 2; ++o) {
        double product = 1.0;
        for (long section = 0; section < sections; ++section) {
            const long w = 2 + o * stride + section * 5;
            product *= alg->ReadDoubleWord(alg->GetPointerToBypassCoef(0, w));
            EXPECT_EQ(alg->ReadDoubleWord(alg->GetPointerToBypassCoef(0, w + 1)), 0.0);
        }
        EXPECT_NEAR(product, 1.0, 1e-12) << o;
        const long end = 2 + o * stride + sections * 5;
        EXPECT_EQ(alg->ReadIntegerWord(alg->GetPointerToBypassCoef(0, end)), 0) << o;
        EXPECT_EQ(alg->ReadIntegerWord(alg->GetPointerToBypassCoef(0, end + 1)),
                  alg->DesignBlock(0).bypassShift[o])
            << o;
    }
}

// The framework's meters show the two output meters: each read refreshes
// the meter parameter from its state word and takes the level its display
// shows (-30 to 0 dB); 0 dB latches the clip flag until it is reset.
TEST_F(AlgTest, MetersFollowTheOutputMeterWords) {
    Make();
    KCMeterManager& meters = alg->GetMeterManager();
    ASSERT_EQ(meters.GetNumMeters(), 2u);
    QuorlMeterInfo info;
    ASSERT_EQ(meters.GetMeterInfo(1, info), 0);
    EXPECT_EQ(info.meterCount, 2);
    EXPECT_EQ(info.channel, 1);
    EXPECT_EQ(info.minimumDb, -30.0);
    EXPECT_EQ(info.maximumDb, 0.0);
    EXPECT_STREQ(info.name, "Out");
    EXPECT_STREQ(info.units, "dB");
    EXPECT_NE(meters.GetMeterInfo(2, info), 0);

    auto level = [&](long word, double value) {
        alg->WriteDouble(value, alg->GetPointerToStates(word));
    };
    struct Step {
        bool active;
        double left, right; // written into state words 8 and 12 (< 0: none)
        double wantLeft, wantRight;
        long wantClipLeft;
    };
    const Step steps[] = {
        {false, 0.5, 0.5, -30.0, -30.0, 0}, // no process: the meters rest
        {true, 0.5, 0.1, -6.03, -20.01, 0}, // state 799 and 333
        {true, 2.0, -1.0, 0.0, -20.01, 1},  // above full scale: 0 dB, clip
        {true, -1.0, -1.0, 0.0, -20.01, 1}, // nothing new: the levels stay
    };
    for (const Step& s : steps) {
        alg->SetProcessActive(s.active ? 1 : 0);
        level(8, s.left);
        level(12, s.right);
        EXPECT_EQ(alg->ReadFromDSP(), 0);
        double left = 1, right = 1;
        long clip = -1;
        ASSERT_EQ(meters.GetMeterValue(0, &left, &clip), 0);
        ASSERT_EQ(meters.GetMeterValue(1, &right, nullptr), 0);
        EXPECT_NEAR(left, s.wantLeft, 0.005) << s.left;
        EXPECT_NEAR(right, s.wantRight, 0.005) << s.right;
        EXPECT_EQ(clip, s.wantClipLeft) << s.left;
    }
    EXPECT_EQ(meters.ResetClip(0), 0);
    long clip = -1;
    ASSERT_EQ(meters.GetMeterValue(0, nullptr, &clip), 0);
    EXPECT_EQ(clip, 0);
}

// The host's questions by (category, item) codes, and its hand-over of the
// external buffer the process works in.
TEST_F(AlgTest, HostInformationAndExternalBuffers) {
    Make();
    EXPECT_EQ(alg->GetAlgSubType(), kUnsetFourCC);
    alg->SetAlgSubType(KCFourCC(KV_FOURCC("PQ5S")));
    EXPECT_EQ(alg->GetAlgSubType().Get(), KV_FOURCC("PQ5S"));
    struct Question {
        const char category[5];
        const char item[5];
        long status;
        int32_t answer;
    };
    const Question questions[] = {
        {"size", "coef", 0, 512 * 8}, {"size", "stat", 0, 64 * 8}, {"size", "abst", 0, 0},
        {"numb", "ebuf", 0, 1},       {"numb", "inpu", 0, 2},      {"numb", "outp", 0, 2},
        {"askQ", "isml", 0, 0},       {"stem", "outp", 0, 0},      {"size", "xxxx", -1, 77},
        {"gstr", "xxxx", -1, 77},
    };
    for (const Question& q : questions) {
        int32_t answer = 77;
        EXPECT_EQ(alg->GetPluginInfo(KV_FOURCC(q.category), KV_FOURCC(q.item), &answer), q.status)
            << q.category << q.item;
        EXPECT_EQ(answer, q.answer) << q.category << q.item;
    }
    EXPECT_NE(alg->GetPluginInfo(KV_FOURCC("size"), KV_FOURCC("coef"), nullptr), 0);

    sEXT_BUFF records[2];
    ASSERT_EQ(alg->GetPluginInfo(KV_FOURCC("fill"), KV_FOURCC("ebuf"),
                                 reinterpret_cast<int32_t*>(records)),
              0);
    EXPECT_EQ(records[0].MemSpace.Get(), KV_FOURCC("YMEM"));
    EXPECT_EQ(records[0].Count, 212);
    EXPECT_EQ(records[0].lNumAccessesPerSample, 130);
    EXPECT_TRUE(records[1].MemSpace.IsUnset()) << "only the buffers asked for are filled";

    // Before the hand-over the initial states describe the request; after
    // it, the buffer as the host placed it.
    auto word = [&](long w) { return alg->ReadIntegerWord(alg->GetPointerToStates(w)); };
    EXPECT_EQ(word(2), 0);
    EXPECT_EQ(word(4), 211);
    records[0].Offset = 24;
    records[0].Count = 300;
    char* data = reinterpret_cast<char*>(records);
    EXPECT_EQ(alg->SetPluginInfo(KV_FOURCC("ebuf"), KV_FOURCC("ebuf"), 1, data), 0);
    ASSERT_NE(alg->GetExternalBuffer(0), nullptr);
    EXPECT_EQ(alg->GetExternalBuffer(0)->Offset, 24);
    EXPECT_EQ(alg->GetExternalBuffer(1), nullptr);
    alg->InitStates();
    EXPECT_EQ(word(2), 24);
    EXPECT_EQ(word(4), 299);
    // Counts the host cannot mean are refused and change nothing.
    EXPECT_NE(alg->SetPluginInfo(KV_FOURCC("ebuf"), KV_FOURCC("ebuf"), -1, data), 0);
    EXPECT_NE(alg->SetPluginInfo(KV_FOURCC("ebuf"), KV_FOURCC("ebuf"), 5000, data), 0);
    EXPECT_NE(alg->SetPluginInfo(KV_FOURCC("ebuf"), KV_FOURCC("ebuf"), 1, nullptr), 0);
    EXPECT_EQ(alg->GetExternalBuffer(0)->Count, 300);

    const double tempo = 96.5;
    EXPECT_EQ(alg->SetPluginInfo(KV_FOURCC("muti"), KV_FOURCC("temp"), 1,
                                 reinterpret_cast<char*>(const_cast<double*>(&tempo))),
              0);
    EXPECT_EQ(alg->GetTempo(), 96.5);
    EXPECT_NE(alg->SetPluginInfo(KV_FOURCC("what"), KV_FOURCC("ever"), 0, nullptr), 0);
}

TEST_F(AlgTest, SubwooferFrame) {
    Make(0x6000, 0x0704, 0);
    Set(PARAM_SUBEQ_BAND1_STATE, 1);
    Set(PARAM_SUBEQ_BAND1_TYPE, 0);
    Set(PARAM_SUBEQ_BAND1_Q, 3.0);
    alg->SetParamRealWorld(PARAM_SUBEQ_BAND1_STATE + 2, 12);
    const auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], (Bytes{0x00, 0xF4, 0x00}));
    EXPECT_EQ(writes[2], (Bytes{0x01, 0xF4, 0x01}));
    const Bytes& d = writes[1];
    ASSERT_EQ(d.size(), 42u);
    auto word = [&](int k) { return d[3 * k] | d[3 * k + 1] << 8 | d[3 * k + 2] << 16; };
    EXPECT_EQ(word(0), 0x03A8E0);
    EXPECT_GE(word(1), 2); // the +12 dB bell needs a shift of at least 1
    EXPECT_EQ(word(2), 0x03A8E1);
    EXPECT_EQ(word(3), 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(word(4 + 2 * i), 0x03A8E2 + i);
    BIQUAD s;
    alg->DesignSubwooferSection(0, s);
    EXPECT_EQ(word(7), static_cast<int>(Q23Code(s.b0)));
    EXPECT_EQ(word(13), static_cast<int>(Q23Code(s.a1)));
}

TEST_F(AlgTest, ResponseGraphsAndChipDependentControls) {
    Make(0x5010, 0x0400);
    EXPECT_TRUE(alg->IsGraphVisible(0));
    EXPECT_FALSE(alg->IsGraphVisible(1));
    alg->SetChipVersion(0x5010, 0x0401);
    EXPECT_TRUE(alg->IsGraphVisible(2));
    alg->SetParamRealWorld(PARAM_SHOW_GRAPH_AEQ, 0);
    EXPECT_FALSE(alg->IsGraphVisible(1));

    // A +12 dB bell at 1024 Hz (graph point 72) lifts the equaliser graph there.
    Set(PARAM_BAND1_STATE + 5, 1);
    Set(PARAM_BAND1_TYPE + 5, 0);
    Set(PARAM_BAND1_FRQ + 5, 1024);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 12);
    alg->cALGORITHM::DoIdle(1); // the framework's idle brings the flagged graph up to date
    const double* graph = P(PARAM_GRAPH_PEQ).GetGraph(eSetupA);
    EXPECT_NEAR(graph[72], 12.0, 0.5);
    EXPECT_NEAR(graph[0], 0.0, 0.5);
    // The total curve follows the equaliser's (the AEQ is flat).
    EXPECT_NEAR(P(PARAM_GRAPH_TOTAL).GetGraph(eSetupA)[72], graph[72], 1e-9);
    Set(PARAM_BAND1_GAIN + 5, 0);
    alg->UpdateParamState(PARAM_BAND1_GAIN + 5);
    alg->UpdateResponseGraph(0);
    EXPECT_NEAR(graph[72], 0.0, 1e-9); // the old contribution is taken out

    // Bands 8-10 exist only on ten-band chips; before a chip has answered
    // (no valid version yet) they show their values like the others.
    alg->SetChipVersion(0, 0);
    alg->UpdateControlAvailability();
    EXPECT_EQ(P(7 * 5).GetDisabledMode(eSetupA), 0);
    EXPECT_EQ(P(9 * 5).presenceWord, -1);
    for (int field = 0; field < 5; ++field)
        EXPECT_NE(P(9 * 5 + field).displayFunc, nullptr) << field;
    alg->SetChipVersion(0x6000, 0x0605);
    alg->UpdateControlAvailability();
    EXPECT_EQ(P(7 * 5).GetDisabledMode(eSetupA), 1);
    EXPECT_EQ(P(7 * 5).presenceWord, 0);
    EXPECT_EQ(P(7 * 5 + kBandGain).displayFunc, nullptr);
    alg->SetChipVersion(0x6000, 0x0606);
    alg->UpdateControlAvailability();
    EXPECT_EQ(P(7 * 5).GetDisabledMode(eSetupA), 0);
    EXPECT_EQ(P(7 * 5).presenceWord, -1);
    EXPECT_NE(P(7 * 5 + kBandGain).displayFunc, nullptr);
    // A shelf sub-woofer band gets the narrow Q scale.
    alg->SetParamRealWorld(PARAM_SUBEQ_BAND1_TYPE, 1);
    EXPECT_NEAR(P(PARAM_SUBEQ_BAND1_Q).StateToRealWorld(1000), std::numbers::sqrt2, 1e-12);
    EXPECT_NEAR(P(PARAM_SUBEQ_BAND1_Q).resetRealWorld, std::numbers::sqrt2, 1e-12);
    alg->SetParamRealWorld(PARAM_SUBEQ_BAND1_TYPE, 4);
    EXPECT_EQ(P(PARAM_SUBEQ_BAND1_Q).GetDisabledMode(eSetupA), 1);
    EXPECT_NEAR(P(PARAM_SUBEQ_BAND1_Q).StateToRealWorld(1000), 6.0, 1e-12);
}

// Before a chip is known the total curve shows the design (it does not lie
// on the floor as if the output were muted); a chip without the total curve
// clears it.
TEST_F(AlgTest, TheTotalCurveShowsTheDesignBeforeAChipIsKnown) {
    Make(0, 0);
    Set(PARAM_BAND1_STATE + 5, 1);
    Set(PARAM_BAND1_TYPE + 5, 0);
    Set(PARAM_BAND1_FRQ + 5, 1024);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 12);
    alg->cALGORITHM::DoIdle(1);
    const double* total = P(PARAM_GRAPH_TOTAL).GetGraph(eSetupA);
    EXPECT_NEAR(total[72], 12.0, 0.5);
    EXPECT_NEAR(total[0], 0.0, 0.5);
    alg->SetChipVersion(0x5010, 0x0400);
    alg->UpdateResponseGraph(2);
    EXPECT_LT(total[72], -20.0);
}

TEST_F(AlgTest, SetupsAndSampleRate) {
    Make();
    Set(PARAM_BAND1_STATE + 5, 1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 6);
    const BIQUAD designed = alg->DesignBlock(0).sections[0][1];
    EXPECT_NE(designed.b0, 1.0);
    alg->ToggleActiveSetup(eSetupA);
    EXPECT_EQ(alg->GetActiveSetup(), eSetupB);
    EXPECT_EQ(alg->DesignBlock(1).sections[0][1].b0, 1.0);
    P(0).realWorld[1] = 0; // setup B has its own values
    alg->ToggleActiveSetup(eSetupB);
    // Every section's state buffer: 128 words, the output section's too.
    for (int setup = 0; setup < 2; ++setup)
        for (int o = 0; o < 2; ++o)
            for (int section = -1; section <= 10; ++section) {
                uint32_t* words = alg->SectionState(setup, o, section);
                ASSERT_NE(words, nullptr);
                words[0] = words[cPEQ_ALG::kSectionStateWords - 1] = 0xDEADBEEF;
            }
    EXPECT_EQ(alg->SectionState(0, 0, 11), nullptr);
    EXPECT_EQ(alg->SectionState(0, 2, 0), nullptr);
    EXPECT_EQ(alg->SectionState(2, 0, 0), nullptr);
    // A new sample rate resets every band section of both setups and
    // clears every state buffer.
    EXPECT_EQ(alg->ChangeSampleRate(44100), 0);
    for (int setup = 0; setup < 2; ++setup) {
        for (int b = 0; b <= 10; ++b) {
            EXPECT_EQ(alg->DesignBlock(setup).sections[0][b].b0, 1.0);
            EXPECT_NEAR(alg->DesignBlock(setup).sections[0][b].graphFreq,
                        Translate_Frequency(16, 44100), 1e-15);
        }
        for (int o = 0; o < 2; ++o) {
            EXPECT_EQ(alg->DesignBlock(setup).outputSection[o].b0, 1.0);
            for (int section = -1; section <= 10; ++section) {
                const uint32_t* words = alg->SectionState(setup, o, section);
                EXPECT_EQ(std::count(words, words + cPEQ_ALG::kSectionStateWords, 0u),
                          cPEQ_ALG::kSectionStateWords)
                    << setup << " " << o << " " << section;
            }
        }
    }
    // A rate that is no rate is refused and changes nothing.
    alg->SetParamRealWorld(PARAM_BAND1_GAIN + 5, 3);
    for (double bad : {0.0, -48000.0, std::nan("")})
        EXPECT_NE(alg->ChangeSampleRate(bad), 0) << bad;
    EXPECT_EQ(alg->GetSampleRate(), 44100.0);
    EXPECT_NE(alg->DesignBlock(0).sections[0][1].b0, 1.0);
}

TEST_F(AlgTest, BassBypassRampsAndFollowers) {
    Make(0x6000, 0x0704, 0);
    alg->SetParamRealWorld(PARAM_DULM_BASS_BYPASS, 0);
    const auto writes = sim.Writes();
    ASSERT_GE(writes.size(), 12u);
    EXPECT_EQ(writes[0], (Bytes{0x4C, 0xD1, 0x00}));
    EXPECT_EQ(writes[10], (Bytes{0x11, 0xCF, 0x00}));
    // The bass block is out: no intensity; MB follows as 1; the enhancer
    // bits then go out on this ten-band chip.
    EXPECT_EQ(V(PARAM_MB_ON_OFF), 1.0);
    EXPECT_EQ(writes[11], (Bytes{0x10, 0xCF, 0x00}));
    // The ramp goes out as data: no pauses before it.
    for (const auto& s : clock->Sleeps())
        EXPECT_GE(s.mark, 11u);
}

TEST(ProcessCode, CountsGrowWithTheDesign) {
    SProcCodeCounts c;
    c.processorFamily = 1;
    c.cycles[0] = 100;
    c.cycles[1] = -1;
    c.cycles[2] = 7;
    AdjustProcessCodeCounts(c, 10, 2, 57);
    EXPECT_EQ(c.internalY, 114);
    EXPECT_EQ(c.externalBufferSize, 192);
    EXPECT_EQ(c.externalBufferAccesses, 118);
    EXPECT_EQ(c.cycles[0], 900);
    EXPECT_EQ(c.cycles[1], -1);
    EXPECT_EQ(c.cycles[2], 507);
    SProcCodeCounts other;
    AdjustProcessCodeCounts(other, 10, 1, 57);
    EXPECT_EQ(other.cycles[0], 0);
}

TEST_F(AlgTest, ProcessCodeDescriptionsFollowTheDesign) {
    Make();
    ASSERT_EQ(alg->SectionCount(), 10);
    ASSERT_EQ(alg->StageLength(), 57);
    CProcCodeDesc family1;
    family1.ProcessorFamily() = eProcessorFamily56k;
    family1.InternalY() = 6;
    family1.CyclesList() = {100, -1, 7, 40};
    family1.ExternBuffDescs().resize(2);
    family1.ExternBuffDescs()[1].theSize = 9;
    CProcCodeDesc other;
    other.ProcessorFamily() = eProcessorFamilyx86;
    other.CyclesList() = {5};
    alg->GetProcCodeDescs() = {&family1, &other};
    alg->AdjustProcessCodeSelf();
    EXPECT_EQ(family1.InternalY(), 6u + 2 * 57);
    EXPECT_EQ(family1.ExternBuffDescs()[0].theSize, (10 * 10 - 4) * 2);
    EXPECT_EQ(family1.ExternBuffDescs()[0].accessCount, 6 * 10 * 2 - 2);
    EXPECT_EQ(family1.ExternBuffDescs()[1].theSize, 9);
    EXPECT_EQ(family1.CyclesList(), (std::vector<int32_t>{100 + 800, -1, 7 + 500, 40}));
    EXPECT_EQ(other.InternalY(), 2u * 57);
    EXPECT_TRUE(other.ExternBuffDescs().empty());
    EXPECT_EQ(other.CyclesList(), std::vector<int32_t>{5});
    alg->GetProcCodeDescs().clear();
}

TEST(Q23, CodesSaturateAtTheEnds) {
    struct Case {
        double x;
        Bytes bytes;
    } cases[] = {
        {0.5, {0x00, 0x00, 0x40}},  {-0.5, {0x00, 0x00, 0xC0}},       {0.0, {0x00, 0x00, 0x00}},
        {-1.0, {0x00, 0x00, 0x80}}, {1.0, {0xFF, 0xFF, 0x7F}},        {3.0, {0xFF, 0xFF, 0x7F}},
        {-1.5, {0x00, 0x00, 0x80}}, {0.99999999, {0xFF, 0xFF, 0x7F}}, {NAN, {0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        Bytes out;
        AppendQ23(out, c.x);
        EXPECT_EQ(out, c.bytes) << c.x;
    }
}

TEST(GainStage, HalvesIntoRangeAtLeastOnce) {
    struct Case {
        double dB, gain;
        int16_t shift;
    } cases[] = {{0, 0.5, 1}, {12, 0.99527, 2}, {-6, 0.25059, 1}};
    for (const Case& c : cases) {
        double g = c.dB;
        int16_t shift = 0;
        dbToGainStage(&g, &shift);
        EXPECT_NEAR(g, c.gain, 5e-4) << c.dB;
        EXPECT_EQ(shift, c.shift) << c.dB;
    }
    double inf = INFINITY;
    int16_t shift = 0;
    GainStage(&inf, &shift);
    EXPECT_LE(inf, 1.0);
}

} // namespace

namespace {

using dulmtest::AlgTest;

TEST_F(AlgTest, SessionChunkRoundTrip) {
    Make();
    unsigned long size = 0;
    ASSERT_EQ(alg->GetChunkSize(cALGORITHM::kChunkID, true, size), 0);
    std::string text;
    ASSERT_EQ(alg->GetChunk(cALGORITHM::kChunkID, text, true), 0);
    EXPECT_EQ(size, text.size());
    EXPECT_NE(text.find("<PresetXMLTree version=\"1\">"), std::string::npos);

    P(dulm::PARAM_BALANCE).realWorld[0] = 33;
    alg->SetParamRealWorld(dulm::PARAM_LEVELER_THRESHOLD, -10.4);
    ASSERT_EQ(alg->GetChunk(cALGORITHM::kChunkID, text, true), 0);
    alg->SetParamRealWorld(dulm::PARAM_BALANCE, 200);
    alg->SetParamRealWorld(dulm::PARAM_LEVELER_THRESHOLD, -1);
    // Exactly `size` bytes: no terminating zero is passed.
    std::vector<char> bytes(text.begin(), text.end());
    ASSERT_EQ(alg->SetChunk(cALGORITHM::kChunkID, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(P(dulm::PARAM_BALANCE).realWorld[0], 33.0);
    EXPECT_EQ(P(dulm::PARAM_LEVELER_THRESHOLD).realWorld[0], -10.4);

    // Values are clamped; a cut-off or foreign chunk is refused.
    std::string wild = text;
    const size_t at = wild.find(" 33 ");
    ASSERT_NE(at, std::string::npos);
    wild.replace(at, 4, " 999 ");
    bytes.assign(wild.begin(), wild.end());
    ASSERT_EQ(alg->SetChunk(cALGORITHM::kChunkID, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(P(dulm::PARAM_BALANCE).realWorld[0], 240.0);
    EXPECT_NE(alg->SetChunk(cALGORITHM::kChunkID, bytes.data(), bytes.size() / 2), 0);
    EXPECT_NE(alg->SetChunk(0x12345678, bytes.data(), bytes.size()), 0);
}

} // namespace

namespace {

double MagAt(const BIQUAD& s, double f, double fs) {
    const double w = Translate_Frequency(f, fs);
    return std::sqrt(BiquadSqMag(s, ZorbComplex::polar(1, -w), ZorbComplex::polar(1, -2 * w)));
}

TEST(FilterDesign, PrototypesAndMatchedSections) {
    EXPECT_NEAR(dulm::O2ButterworthMag(1, 1), std::sqrt(0.5), 1e-15);
    EXPECT_EQ(dulm::FirstOrderCoef(0), -1.0);
    double out = 0;
    EXPECT_EQ(dulm::FrequencyQLimit(1000, 2, out, 48000), 2.0);
    EXPECT_DOUBLE_EQ(out, 0.5);
    const double R = 0.25 / 48 / (0.5 - 2 * (0.25 / 48) * (0.25 / 48));
    EXPECT_NEAR(dulm::FrequencyQLimit(250, 0.001, out, 48000), R, 1e-15);

    // The matched Butterworth high-pass: 0 at DC, 1 at the Nyquist frequency,
    // -3 dB at its frequency; the low-pass passes DC.
    BIQUAD hp, lp;
    dulm::O2ButterworthMatched(1, 1000, 48000, hp);
    EXPECT_NEAR(MagAt(hp, 0, 48000), 0.0, 1e-12);
    EXPECT_NEAR(MagAt(hp, 24000, 48000), 1.0, 1e-9);
    EXPECT_NEAR(MagAt(hp, 1000, 48000), std::sqrt(0.5), 1e-9);
    dulm::O2ButterworthMatched(0, 1000, 48000, lp);
    EXPECT_NEAR(MagAt(lp, 0, 48000), 1.0, 1e-9);
    EXPECT_NEAR(MagAt(lp, 1000, 48000), std::sqrt(0.5), 0.02);

    BIQUAD q0, q1;
    dulm::O2QSection(2000, 0.7, 48000, 0, q0);
    dulm::O2QSection(2000, 0.7, 48000, 1, q1);
    for (const BIQUAD* s : {&q0, &q1})
        for (double c : {s->b0, s->b1, s->b2, s->a1, s->a2})
            EXPECT_TRUE(std::isfinite(c));
    EXPECT_NEAR(MagAt(q1, 0, 48000), 0.0, 1e-12);

    BIQUAD second, first;
    dulm::O3Sections(0, 1000, 1, 48000, second, first);
    EXPECT_EQ(first.b1, 1.0);
    EXPECT_EQ(second.b0, second.b2);
    dulm::O3Sections(1, 1000, 1, 48000, second, first);
    EXPECT_EQ(first.b1, -1.0);

    BIQUAD flat;
    flat.a1 = 0.3;
    flat.a2 = -0.2;
    dulm::FlattenToDenominator(flat);
    EXPECT_NEAR(MagAt(flat, 5000, 48000), 1.0, 1e-12);

    uint8_t bytes[6] = {};
    dulm::PutGroup24(bytes, 1, -2);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{0, 0, 0, 0xFE, 0xFF, 0xFF}));
    std::string text;
    dulm::AppendHexByte(text, 0xA);
    EXPECT_EQ(text, "0x0a, ");
}

} // namespace

namespace {

// Loading the reset preset (at the host's initialisation) or a session's
// values names the board but leaves the chip's reset to the reset hooks:
// the host's rate and the user's connection stay as they are.
TEST_F(AlgTest, PresetsLeaveTheHardwareAlone) {
    Make();
    alg->SetParamState(PARAM_CONNECTIVITY_ON_OFF, 1);
    const int32_t connection = alg->CurrentConnectionType();
    ASSERT_NE(connection, cPEQ_ALG::kConnectionNone);
    alg->ChangeSampleRate(32000);
    std::string chunk;
    ASSERT_EQ(alg->GetChunk(cALGORITHM::kChunkID, chunk, false), 0);
    auto resets = [&] {
        const auto w = sim.Writes();
        return std::count(w.begin(), w.end(), Bytes{0x00, 0xC5, 0x00});
    };
    Clear();
    ASSERT_EQ(alg->InitData(), 0);
    EXPECT_EQ(resets(), 0);
    EXPECT_EQ(alg->GetSampleRate(), 32000.0);
    EXPECT_EQ(alg->CurrentConnectionType(), connection);
    EXPECT_EQ(V(PARAM_CONNECTIVITY_ON_OFF), 1.0);

    Clear();
    ASSERT_EQ(alg->SetChunk(cALGORITHM::kChunkID, chunk.data(), chunk.size()), 0);
    EXPECT_EQ(resets(), 0);
    EXPECT_EQ(alg->GetSampleRate(), 32000.0);
    EXPECT_EQ(alg->BoardType(), 1);
    EXPECT_EQ(alg->CurrentConnectionType(), connection);

    // The user's own change of the board type resets the chip.
    Clear();
    alg->SetParamState(PARAM_BOARD_TYPE, 1);
    EXPECT_EQ(resets(), 1);
}

} // namespace

namespace {

// The bus trace is debug output: into the QUORL_TRACE file when one is set,
// never onto the terminal.
TEST_F(AlgTest, BusTraceGoesOnlyToTheTraceFile) {
    Make();
    alg->Connection().SetTrace(1);
    const fs::path file = registry / "trace.txt";
    for (const bool toFile : {false, true}) {
        SCOPED_TRACE(toFile);
        if (toFile)
            ::setenv("QUORL_TRACE", file.c_str(), 1);
        testing::internal::CaptureStderr();
        alg->SetParamRealWorld(PARAM_BALANCE, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    ::unsetenv("QUORL_TRACE");
    std::ifstream in(file);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("I2C Write[0x73] ", 0), 0u) << first;
}

} // namespace
