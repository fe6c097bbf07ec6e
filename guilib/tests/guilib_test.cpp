// The framework library on its own: parameter lists and scales, preset
// payload equality, the filter helpers and loading without a display.
#include "foundation/XMLText.h"
#include "guilib/Algorithm.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

using kvXML::CXMLElement;

CXMLElement Parse(const std::string& text) {
    CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    EXPECT_EQ(builder.BuildFromSingleBuffer(text.data(), static_cast<unsigned long>(text.size())),
              0);
    return root;
}

const char* kList = R"(<Parameter_List>
 <Parameter Name="GAIN"><Scale><Minimum>-18</Minimum><Maximum>17.7</Maximum>
  <Resolution>0.1</Resolution><ScaleType>linear</ScaleType></Scale>
  <InitialValue Type="RealWorld">6.0</InitialValue><DisplayFunction>DisplayFloat1</DisplayFunction></Parameter>
 <Parameter Name="Q"><Scale><Minimum>0.4</Minimum><Maximum>6</Maximum><Resolution>0.01</Resolution>
  <ScaleType>logarithmic</ScaleType></Scale><InitialValue Type="RealWorld">3.00</InitialValue>
  <ResetValue Type="RealWorld">3.00</ResetValue><Flags><DontUpdateWhileDrag/></Flags></Parameter>
 <!-- <Parameter Name="GONE"/> -->
 <Parameter Name="TYPE"><Scale><Minimum>0</Minimum><Maximum>4</Maximum><Resolution>5</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">2</InitialValue>
  <DisplayFunction>DisplayLowType</DisplayFunction><Flags><NotSavable/></Flags></Parameter>
 <Parameter Name="GAIN2" Parent="GAIN"><InitialValue Type="RealWorld">99</InitialValue></Parameter>
 <Parameter Name="LABEL"><Label>POP File</Label><DisplayFunction>DisplayIgnore</DisplayFunction></Parameter>
</Parameter_List>)";

TEST(ParameterList, ReadsScalesValuesFlagsAndInheritance) {
    std::vector<sCONTROL_PARAM> params;
    ASSERT_EQ(ReadParameterList(Parse(kList), params), 0);
    ASSERT_EQ(params.size(), 5u);
    const sCONTROL_PARAM& gain = params[0];
    EXPECT_DOUBLE_EQ(gain.realWorld[0], 6.0);
    EXPECT_NEAR(gain.state[1], (6.0 + 18) / 35.7 * 1000, 1e-9);
    std::string text;
    gain.TranslateValueString(1000, text);
    EXPECT_EQ(text, "17.7");
    EXPECT_NEAR(params[1].StateToRealWorld(500), 0.4 * std::sqrt(6 / 0.4), 1e-12);
    EXPECT_EQ(params[1].flags, kParamDontUpdateWhileDrag);
    EXPECT_EQ(params[2].type, eParamToggle);
    EXPECT_EQ(params[2].numStates, 5);
    EXPECT_DOUBLE_EQ(params[2].realWorld[0], 2.0);
    EXPECT_EQ(params[2].displayFunc, nullptr); // a name only the plug-in knows
    EXPECT_EQ(params[2].flags, kParamNotSavable);
    // The child inherits the scale and replaces the initial value (clamped).
    EXPECT_EQ(params[3].name, "GAIN2");
    EXPECT_DOUBLE_EQ(params[3].realWorld[0], 17.7);
    EXPECT_NE(params[3].displayFunc, nullptr);
    EXPECT_EQ(params[4].label, "POP File");
    EXPECT_EQ(params[4].stateToRealWorld, nullptr);
}

TEST(ParameterList, RejectsOtherDocumentsAndUnknownParents) {
    std::vector<sCONTROL_PARAM> params;
    EXPECT_NE(ReadParameterList(Parse("<Other/>"), params), 0);
    EXPECT_NE(ReadParameterList(Parse("<Parameter_List><Parameter Name=\"A\" Parent=\"B\"/>"
                                      "</Parameter_List>"),
                                params),
              0);
    EXPECT_NE(ReadParameterList(Parse("<Parameter_List><Parameter/></Parameter_List>"), params), 0);
}

TEST(ParameterRecord, ConversionsAndLimits) {
    sCONTROL_PARAM bare;
    bare.SetRealWorldAndUpdate(5.0, eSetupA);
    EXPECT_EQ(bare.updateFlag, 3);
    EXPECT_DOUBLE_EQ(bare.state[0], 0.0);
    EXPECT_EQ(bare.StateToRealWorld(7), 0.0);

    sCONTROL_PARAM p;
    p.SetScaleLinear(-80, 18, 0.01);
    p.state[0] = 500;
    p.realWorld[0] = -31.0 + 1e-13; // maps to 500 within rounding, but not exactly
    const double kept = p.realWorld[0];
    p.realWorld[0] = p.StateToRealWorld(500);
    EXPECT_DOUBLE_EQ(p.UpdateRealWorldFromState(eSetupA), p.StateToRealWorld(500));
    p.realWorld[0] = kept;
    EXPECT_DOUBLE_EQ(p.UpdateRealWorldFromState(eSetupA), p.StateToRealWorld(500));
    double v = 40;
    p.LimitRealWorld(v);
    EXPECT_DOUBLE_EQ(v, 18);
    v = NAN;
    p.LimitRealWorld(v);
    EXPECT_DOUBLE_EQ(v, -80);
    EXPECT_FALSE(p.ValidateRealWorld(18.5));

    sCONTROL_PARAM t;
    t.SetScaleToggle(3);
    t.scaleInfo.minimum = 0;
    t.scaleInfo.maximum = 2;
    EXPECT_DOUBLE_EQ(t.StateToRealWorld(2), 2.0);
    EXPECT_DOUBLE_EQ(t.RealWorldToState(1.4), 1.0);
    t.valueString = "kept";
    t.SetDisplayFunc(FrameworkDisplayFunc("DisplayState"));
    std::string text;
    t.TranslateValueString(1, text);
    EXPECT_EQ(text, "On");
    EXPECT_EQ(t.valueString, "kept");
}

TEST(PresetData, EqualityRules) {
    sPresetData a, b;
    a.parameterValues = {1, 2, 3};
    b.parameterValues = {1, 2};
    EXPECT_TRUE(sPresetData::IsSameData(a, b));
    b.parameterValues = {1, 5};
    EXPECT_FALSE(sPresetData::IsSameData(a, b));
    b.parameterValues = {1, 2};
    b.secondValue = 4;
    EXPECT_FALSE(sPresetData::IsSameData(a, b));

    const CXMLElement x = Parse("<D a=\"1\" b=\"2\"><c/><d/></D>");
    EXPECT_TRUE(XMLElementsAreSame(x, Parse("<D a=\"1\" b=\"2\"><c/><d/></D>")));
    EXPECT_FALSE(XMLElementsAreSame(x, Parse("<D b=\"2\" a=\"1\"><c/><d/></D>")));
    EXPECT_FALSE(XMLElementsAreSame(x, Parse("<D a=\"1\" b=\"2\"><d/><c/></D>")));

    // A copy owns its own plug-in specific entries.
    auto* original = new sPresetData;
    original->pluginSpecific.push_back(new sPluginSpecific);
    original->pluginSpecific[0]->GetDescriptorMap().push_back({"k", "v"});
    sPresetData copy(*original);
    EXPECT_NE(copy.pluginSpecific[0], original->pluginSpecific[0]);
    EXPECT_TRUE(sPresetData::IsSameData(copy, *original));
    delete original;
    EXPECT_STREQ(copy.pluginSpecific[0]->GetDescriptorMap()[0].value.c_str(), "v");

    CPresetInfo info;
    info.SetFlag(33, true);
    EXPECT_TRUE(info.GetFlag(1));
    info.SetFlag(1, false);
    EXPECT_FALSE(info.GetFlag(33));
}

TEST(FilterHelpers, SectionsAndGraphPoints) {
    BIQUAD s;
    s.b0 = 3.0;
    s.b1 = -1.5;
    s.b2 = 0.5;
    Normalise_EqSec(s);
    EXPECT_EQ(s.shift, 2);
    EXPECT_DOUBLE_EQ(s.b0, 0.75);
    BIQUAD unit;
    Normalise_EqSec(unit);
    EXPECT_EQ(unit.shift, 0);

    ZorbComplex z1[kGraphPoints], z2[kGraphPoints];
    double freqs[kGraphPoints];
    KUInit_ZPlain_Axes(kGraphPoints, freqs, z1, z2, 48000, 500);
    EXPECT_DOUBLE_EQ(freqs[0], 16.0);
    EXPECT_NEAR(freqs[12], 32.0, 1e-9);
    // Low-pass Butterworth: 1 at DC, 1/2 (-3 dB) at the corner.
    BIQUAD lp;
    O2Butterworth(0, 1000, lp, 48000);
    EXPECT_NEAR(BiquadSqMag(lp, ZorbComplex(1, 0), ZorbComplex(1, 0)), 1.0, 1e-12);
    const double w = Translate_Frequency(1000, 48000);
    EXPECT_NEAR(BiquadSqMag(lp, ZorbComplex::polar(1, -w), ZorbComplex::polar(1, -2 * w)), 0.5,
                1e-9);
    BIQUAD hp;
    O2Butterworth(1, 1000, hp, 48000);
    EXPECT_NEAR(BiquadSqMag(hp, ZorbComplex(1, 0), ZorbComplex(1, 0)), 0.0, 1e-12);

    BIQUAD a, b, out;
    a.b1 = 0.5;
    a.a1 = -0.25;
    b.b1 = -0.5;
    b.a1 = 0.5;
    DoubleOrd1(a, b, out);
    EXPECT_DOUBLE_EQ(out.b2, -0.25);
    EXPECT_DOUBLE_EQ(out.a1, 0.25);
    EXPECT_DOUBLE_EQ(out.a2, -0.125);
    EXPECT_NEAR(dbToGain(-6), 0.501187, 1e-6);
}

TEST(BufferChain, ChainsInOrderAndFreesAll) {
    cALGORITHM alg(nullptr, nullptr, false);
    ASSERT_EQ(alg.FinishCreate(), 0);
    EXPECT_EQ(alg.GetWordSize(), 4);
    EXPECT_EQ(alg.GetCoefsSize(), cALGORITHM::kCoefWords * 4);
    BUFFER_HEADER* a = alg.NewBuffer(0, 2, 5);
    BUFFER_HEADER* b = alg.NewBuffer(1, 42, 17);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->offset, 42 * 4);
    EXPECT_EQ(b->size, 17 * 4);
    EXPECT_EQ(alg.NewBuffer(0, cALGORITHM::kCoefWords - 2, 5), nullptr);
    BufferChain chain(ChainBufs(ChainBufs(nullptr, a), b));
    EXPECT_EQ(chain.get(), a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(alg.GetPointerToCoef(2, 0), nullptr);
    std::string name = "x";
    alg.GetMidiPortName(name);
    EXPECT_TRUE(name.empty());
}

TEST(AlgorithmBase, LockAndExtensionMembers) {
    cALGORITHM alg(nullptr, nullptr);
    alg.LockAlg();
    bool got = true;
    std::thread([&] { got = alg.TryLockAlg(); }).join();
    EXPECT_FALSE(got);
    alg.UnLockAlg();
    std::thread([&] {
        got = alg.TryLockAlg();
        if (got)
            alg.UnLockAlg();
    }).join();
    EXPECT_TRUE(got);
    EXPECT_NE(alg.GetProcessSemaphoreIDPtr(), nullptr);

    struct Data : KCParamExtension::Data {
        void Describe() const override {}
    } data;
    struct Extension : KCParamExtension {
        void Apply() override {}
    } a;
    EXPECT_EQ(a.GetDataPtr(), nullptr);
    EXPECT_EQ(a.CreateData(), nullptr);
    a.SetDataPtr(&data);
    Extension b(a);
    EXPECT_EQ(b.GetDataPtr(), &data); // copies share the data object
}

TEST(Library, LoadsWithoutADisplay) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    void* handle = dlopen(QGL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_NE(dlsym(handle, "_Z6RMInitl"), nullptr);
    EXPECT_NE(dlsym(handle, "_Z8dbToGaind"), nullptr);
    dlclose(handle);
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
}

} // namespace

// A process side that reports fixed levels, as a plug-in's meter reader does.
class LevelSource : public KCMeterManager::Listener {
public:
    std::vector<double> levels;
    std::vector<unsigned long> redrawn;
    void ReadMeters(KCMeterManager::sMeter* meters, unsigned long count, bool) override {
        for (unsigned long i = 0; i < count && i < levels.size(); ++i)
            meters[i].value = levels[i];
    }
    void UpdateMeterDisplay(unsigned long meter, KCParamExtensionMeter*) override {
        redrawn.push_back(meter);
    }
};

TEST(Meters, ReadFromDSPKeepsPeaksAndLatchesClipsUntilReset) {
    KCMeterManager meters;
    LevelSource source;
    EXPECT_EQ(meters.ReadFromDSP(source), 0); // no meters: nothing asked, nothing drawn
    EXPECT_TRUE(source.redrawn.empty());

    meters.SetNumMeters(2);
    struct Step {
        double left, right;
        double wantLeft;
        long wantClipLeft, wantClipRight;
    };
    const Step steps[] = {
        {-12.0, -0.1, -12.0, 0, 0},
        {0.0, -30.0, 0.0, 1, 0},    // 0 dB clips
        {-40.0, -6.0, -40.0, 1, 0}, // the clip stays latched
    };
    for (const Step& s : steps) {
        source.levels = {s.left, s.right};
        EXPECT_EQ(meters.ReadFromDSP(source), 0);
        double v = 1.0;
        long clip = -1;
        ASSERT_EQ(meters.GetMeterValue(0, &v, &clip), 0);
        EXPECT_DOUBLE_EQ(v, s.wantLeft);
        EXPECT_EQ(clip, s.wantClipLeft);
        ASSERT_EQ(meters.GetMeterValue(1, nullptr, &clip), 0);
        EXPECT_EQ(clip, s.wantClipRight);
    }
    EXPECT_EQ(source.redrawn, (std::vector<unsigned long>{0, 1, 0, 1, 0, 1}));
    long clip = -1;
    EXPECT_EQ(meters.ResetClip(0), 0);
    ASSERT_EQ(meters.GetMeterValue(0, nullptr, &clip), 0);
    EXPECT_EQ(clip, 0);
    EXPECT_NE(meters.GetMeterValue(2, nullptr, &clip), 0);
    EXPECT_NE(meters.ResetClip(2), 0);
}
