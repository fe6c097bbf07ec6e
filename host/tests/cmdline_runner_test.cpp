#include "HostTestSupport.h"
#include "host/CmdLineOptions.h"
#include "host/CmdLineRunner.h"

#include <gtest/gtest.h>

namespace {

const KCCmdLineOptions& Options(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "rigwell");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    EXPECT_EQ(ParseCommandLine(uint16_t(argv.size()), argv.data()), eNoErr);
    return GetCmdLineOptions();
}

TEST(ChooseTest, TheFirstMatchingRowWins) {
    ScratchFolder scratch;
    WriteText(scratch.File("ref.wav"), "x");
    WriteText(scratch.File("list"), "-c\n");
    const std::string ref = scratch.File("ref.wav"), list = scratch.File("list");
    using K = KETestKind;
    struct Case {
        std::vector<std::string> arguments;
        bool found;
        K kind;
        KTErr status;
    } cases[] = {
        {{"-c", "-n", "abcd", "-g", "-t", "-x", "2"}, true, K::eGUISmokeTest, eNoErr},
        {{"-c", "-n", "abcd", "-t", "-x", "2"}, true, K::eSmokeTest, eNoErr},
        {{"-c", "-n", "abcd", "-x", "2", "-r", ref}, true, K::eMultiPluginTest, eNoErr},
        {{"-c", "-n", "abcd", "-x", "0", "-r", ref}, true, K::eCancellationTest, eNoErr},
        {{"-c", "-n", "abcd", "-b", list}, true, K::eNoTest, eNoErr},
        {{"-c", "-n", "abcd", "-t"}, false, K::eNoTest, ePluginSubComponentNotFound},
        {{"-c", "-t", "-g"}, true, K::eAllGUISmokeTest, eNoErr},
        {{"-c", "-t", "-b", list}, true, K::eAllSmokeTest, eNoErr},
        {{"-c", "-g"}, false, K::eAllGUISmokeTest, eNoErr},
        {{"-c", "-b", list, "-x", "3"}, false, K::eBatchFileTest, eNoErr},
        // Files that no test uses: the run would end having done nothing.
        {{"-c", "-x", "3", "-r", ref}, false, K::eNoTest, eFMWrongParameters},
        {{"-c", "-n", "abcd", "-f", ref}, true, K::eNoTest, eFMWrongParameters},
        {{"-c", "-f", ref, "-r", ref}, false, K::eNoTest, eFMWrongParameters},
        {{"-c"}, false, K::eNoTest, eNoErr},
    };
    for (const Case& c : cases) {
        const KSTestChoice choice = ChooseTest(Options(c.arguments), c.found);
        EXPECT_EQ(choice.kind, c.kind) << c.arguments[2];
        EXPECT_EQ(choice.status, c.status) << c.arguments[2];
    }
}

TEST(ChooseTest, SelectedComponents) {
    const KCCmdLineOptions& all = Options({"-c", "-if"});
    EXPECT_FALSE(NamesComponent(all));
    EXPECT_TRUE(IsSelectedComponent(all, KV_FOURCC("vxPI"), KV_FOURCC("zzzz")));
    const KCCmdLineOptions& one = Options({"-c", "-if", "-n", "abcd"});
    EXPECT_TRUE(NamesComponent(one));
    EXPECT_TRUE(IsSelectedComponent(one, KV_FOURCC("raPI"), KV_FOURCC("abcd")));
    EXPECT_FALSE(IsSelectedComponent(one, KV_FOURCC("vxPI"), KV_FOURCC("abcd")));
    EXPECT_FALSE(IsSelectedComponent(one, KV_FOURCC("raPI"), KV_FOURCC("abce")));
}

class OptionsProbe : public KCTestBase {
public:
    KTErr Run() override { return eNoErr; }
    const kvFM::KCStPath& Preset() const { return presetPath; }
    bool NoProcess() const { return noProcess; }
    bool Bypass() const { return bypass; }
    const std::string& Index() const { return testIndex; }
};

TEST(ChooseTest, EveryTestTakesPresetIndexAndFlags) {
    ScratchFolder scratch;
    WriteText(scratch.File("p.xml"), "x");
    OptionsProbe probe;
    ConfigureTest(probe, Options({"-c", "-pr", scratch.File("p.xml"), "-i", "9", "-np", "-bp"}));
    EXPECT_TRUE(probe.Preset() == kvFM::KCStPath(scratch.File("p.xml")));
    EXPECT_EQ(probe.Index(), "9");
    EXPECT_TRUE(probe.NoProcess() && probe.Bypass());
    ConfigureTest(probe, Options({"-c"}));
    EXPECT_FALSE(probe.Preset().IsValid());
    EXPECT_FALSE(probe.NoProcess() || probe.Bypass());
}

} // namespace
