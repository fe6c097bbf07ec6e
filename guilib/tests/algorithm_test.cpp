// The algorithm base as a plug-in's algorithm sees it: the framework reaches
// the plug-in's hooks (setup copy, process-code adjustment, levels), tells
// its listeners about setups and presets, keeps the plug-in information,
// and copies itself without sharing what it owns.
#include "TestXML.h"
#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "guilib/Algorithm.h"
#include "hosting/ComponentInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* kParams = R"(<Parameter_List>
 <Parameter Name="GAIN"><Scale><Minimum>-12</Minimum><Maximum>12</Maximum><Resolution>0.5</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">0</InitialValue></Parameter>
</Parameter_List>)";

// A plug-in's algorithm that records the hooks the framework calls.
class HookedAlg : public cALGORITHM {
public:
    explicit HookedAlg(const QuorlComponentInfo* info = nullptr) : cALGORITHM(info, nullptr) {}
    std::vector<std::pair<long, long>> copies;
    std::vector<std::vector<CProcCodeDesc*>> adjusted;
    double level = 0.0;

    double ReadVU(long, short, double) override { return level; }
    void AdjustProcessCodeSelf() override {
        adjusted.push_back(GetProcCodeDescs());
        for (CProcCodeDesc* d : GetProcCodeDescs())
            d->InternalY() += 100;
    }
    BUFFER_HEADER* UpdateParamStateSelf(unsigned long param) override {
        BUFFER_HEADER* b = NewBuffer(GetActiveSetup(), static_cast<long>(param), 1);
        if (b)
            b->Data()[0] = 0x5A;
        return b;
    }

protected:
    void CopySetupSelf(long from, long to) override { copies.emplace_back(from, to); }
};

// Writes down every algorithm event it hears.
class Events : public KCAlgorithmListener {
public:
    std::vector<std::string> heard;
    void PresetLoaded() override { heard.push_back("loaded"); }
    void PresetModified(EPluginSetup s) override { heard.push_back("modified " + Name(s)); }
    void SetupTitleChanged(EPluginSetup s, const std::string* title) override {
        heard.push_back("title " + Name(s) + " " + (title ? *title : "?"));
    }
    void ActiveSetupChanged(EPluginSetup s) override { heard.push_back("active " + Name(s)); }

private:
    static std::string Name(EPluginSetup s) { return s == eSetupA ? "A" : "B"; }
};

void Prepare(cALGORITHM& alg) {
    alg.FinishCreate();
    ASSERT_EQ(ReadParameterList(testxml::Parse(kParams), *alg.GetParamVector()), 0);
    std::vector<std::unique_ptr<CPresetInfo>> presets;
    ASSERT_EQ(ReadFactoryPresets(testxml::Parse(R"(<PresetXMLTree version="1">
 <Preset Name="Loud"><PresetData Setup="CURRENT"><Parameters Type="RealWorld">9</Parameters>
 </PresetData></Preset></PresetXMLTree>)"),
                                 presets),
              0);
    alg.GetPresetsManager()->SetFactoryPresets(std::move(presets));
}

TEST(AlgorithmHooks, TheFrameworkReachesThePluginsOverrides) {
    // The component's process-code description is adjusted once, when the
    // framework fills the list.
    QuorlComponentInfo info;
    CProcCodeDesc desc;
    desc.InternalY() = 6;
    info.SetProcCodeDesc(&desc);
    HookedAlg alg(&info);
    Prepare(alg);
    ASSERT_EQ(alg.adjusted.size(), 1u);
    EXPECT_EQ(alg.adjusted.front(), std::vector<CProcCodeDesc*>{info.compProcCodeDesc.get()});
    EXPECT_EQ(info.compProcCodeDesc->InternalY(), 106u);
    alg.FinishCreate();
    EXPECT_EQ(alg.adjusted.size(), 1u);
    HookedAlg without;
    without.FinishCreate();
    EXPECT_TRUE(without.adjusted.empty()); // nothing to adjust

    // Copying a setup copies the values and reaches the plug-in's own copy.
    sCONTROL_PARAM& gain = alg.GetParamVector()->at(0);
    alg.SetParamRealWorld(0, 6.0);
    ASSERT_EQ(alg.CopySetup(eSetupA, eSetupB), 0);
    EXPECT_EQ(gain.realWorld[eSetupB], 6.0);
    EXPECT_EQ(gain.state[eSetupB], gain.state[eSetupA]);
    EXPECT_EQ(alg.copies, (std::vector<std::pair<long, long>>{{0, 1}}));
    for (const auto& bad : {std::pair<long, long>{1, 1}, {0, 2}, {-1, 0}})
        EXPECT_NE(alg.CopySetup(bad.first, bad.second), 0);
    EXPECT_EQ(alg.copies.size(), 1u);

    // The level reader is the plug-in's, through the base.
    alg.level = -7.5;
    cALGORITHM& base = alg;
    EXPECT_EQ(base.ReadVU(0, 0, 0.0), -7.5);
}

TEST(AlgorithmHooks, ListenersHearSetupsAndPresets) {
    HookedAlg alg;
    Prepare(alg);
    Events first, second;
    ASSERT_NE(alg.Broadcaster(), nullptr);
    alg.Broadcaster()->insert(&first);
    alg.Broadcaster()->insert(&second);
    EXPECT_TRUE(alg.ChangeActiveSetup(eSetupB));
    EXPECT_FALSE(alg.ChangeActiveSetup(eSetupB)); // unchanged: nothing to hear
    alg.ToggleActiveSetup(alg.GetActiveSetup());
    alg.SetSetupName("Live", -1);
    ASSERT_EQ(alg.GetPresetsManager()->LoadFactoryPresetToPlugin(CPublicAlg(&alg), "Loud"), 0);
    const std::vector<std::string> expected = {"active B", "active A", "title A Live",
                                               "title B Live", "loaded"};
    EXPECT_EQ(first.heard, expected);
    EXPECT_EQ(second.heard, expected);
    alg.Broadcaster()->erase(&first);
    alg.ChangeActiveSetup(eSetupB);
    EXPECT_EQ(first.heard.size(), expected.size());
    EXPECT_EQ(second.heard.back(), "active B");
}

TEST(AlgorithmHooks, PluginInformationComesFromItsResource) {
    KTResContainerType* container = nullptr;
    ASSERT_EQ(
        RMOpenResContainer(kvFM::KCStPath(std::filesystem::read_symlink("/proc/self/exe").string()),
                           0, container),
        eNoErr);
    KTResourceType* resource = nullptr;
    auto* root = new kvXML::CXMLElement(testxml::Parse(R"(<PluginInfoDefault>
 <Versions><APIVersion> 2.5 </APIVersion><InternalVersion>7</InternalVersion></Versions>
 <DynamicPluginLibName>QuorlGUILib.dll</DynamicPluginLibName>
 <CompanyInfo><string ID="0">Maker</string><string ID="3">Support</string></CompanyInfo>
</PluginInfoDefault>)"));
    ASSERT_EQ(AddXMLResource(container, kPluginInfoType, kPluginInfoID, root, resource), 0);
    {
        cALGORITHM alg(nullptr, container);
        alg.FinishCreate(); // no parameter list here: the information is read all the same
        const CQuorlInfo* info = alg.GetQuorlInfo();
        EXPECT_EQ(info->apiVersion, 2.5);
        EXPECT_EQ(info->internalVersion, 7.0);
        EXPECT_EQ(info->libNames, std::vector<std::string>{"QuorlGUILib.dll"});
        EXPECT_EQ(alg.GetInfoString(0), "Maker");
        EXPECT_EQ(alg.GetInfoString(3), "Support");
        // The information strings are the information's.
        alg.SetInfoString(1, "Device Detected: <None>");
        EXPECT_EQ(alg.GetQuorlInfo()->infoStrings[1], "Device Detected: <None>");
    }
    RMReleaseResource(resource);
    RMCloseResContainer(container);
}

TEST(AlgorithmCopy, ACopyOwnsItsOwnPresetsBuffersAndLock) {
    HookedAlg alg;
    Prepare(alg);
    alg.SetProcessActive(1);
    alg.SetParamRealWorld(0, 3.0); // leaves a pending coefficient buffer
    Events listener;
    alg.Broadcaster()->insert(&listener);
    alg.SetSetupName("Original", -1);
    const size_t heard = listener.heard.size();

    cALGORITHM copy(alg);
    EXPECT_EQ(copy.GetParamVector()->at(0).realWorld[eSetupA], 3.0);
    EXPECT_EQ(copy.GetSetupName(eSetupB), "Original");
    ASSERT_NE(copy.GetPresetsManager(), alg.GetPresetsManager());
    EXPECT_NE(copy.GetPresetsManager()->FindFactoryPreset("Loud"), nullptr);
    // Both hold the buffer, each its own block (each frees its own).
    BufferChain mine = alg.TakeBuffers();
    BufferChain theirs = copy.TakeBuffers();
    ASSERT_TRUE(mine && theirs);
    EXPECT_NE(mine.get(), theirs.get());
    EXPECT_EQ(theirs->Data()[0], 0x5A);
    EXPECT_EQ(theirs->size, mine->size);
    // The copy has no listeners and a lock of its own.
    copy.SetSetupName("Copy", -1);
    EXPECT_EQ(listener.heard.size(), heard);
    alg.LockAlg();
    bool got = false;
    std::thread([&] {
        got = copy.TryLockAlg();
        if (got)
            copy.UnLockAlg();
    }).join();
    alg.UnLockAlg();
    EXPECT_TRUE(got);

    cALGORITHM assigned(nullptr, nullptr);
    assigned = alg;
    EXPECT_EQ(assigned.GetParamVector()->size(), 1u);
    EXPECT_NE(assigned.GetPresetsManager()->FindFactoryPreset("Loud"), nullptr);
}

} // namespace
