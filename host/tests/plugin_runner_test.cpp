// The plug-in runner in this process: the program's own resources, the
// build's plug-in folder with the pass-through plug-in.
#include "HostTestSupport.h"
#include "host/CmdLineOptions.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "ui/KMWindowManager.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

class PluginRunnerTest : public testing::Test {
protected:
    void SetUp() override {
        GetCmdLineOptions().Reset();
        ASSERT_EQ(runner.Init(), eNoErr);
        ASSERT_EQ(runner.ScanPlugins(kvFM::KCStPath(KV_PLUGIN_FOLDER)), eNoErr);
        ASSERT_EQ(runner.GetComponents().Count(), 1u);
        component = runner.GetComponents().components.front();
    }
    void TearDown() override { GetCmdLineOptions().Reset(); }

    QuorlComponentInfo Named(const std::string& file) const {
        QuorlComponentInfo other(component);
        other.Path() = kvFM::KCStPath(file);
        return other;
    }

    ScratchHome home;
    KCPluginRunner runner{kvFM::KCStPath(RIGWELL_PATH)};
    QuorlComponentInfo component;
};

TEST_F(PluginRunnerTest, GroupsComeFromTheProgramsResourceAndTheScan) {
    EXPECT_EQ(runner.GetPluginGroups(component, 0), Texts{"D"});
    EXPECT_EQ(runner.GetPluginGroups(component, 1), Texts{"Test"});
    // A product listed in two groups gets both; an unlisted one "Undefined".
    EXPECT_EQ(runner.GetPluginGroups(Named("/x/DulmAudioDSP.so"), 1), (Texts{"Tuning", "Test"}));
    EXPECT_EQ(runner.GetPluginGroups(Named("/x/Other.so"), 1), Texts{"Undefined"});
    // The plug-in carries no categories.
    EXPECT_EQ(runner.GetPluginGroups(component, 2), Texts{});
    EXPECT_EQ(runner.GetPluginGroups(component, 3), Texts{});
    // Every scan appends the group names again.
    ASSERT_EQ(runner.ScanPlugins(kvFM::KCStPath(KV_PLUGIN_FOLDER)), eNoErr);
    EXPECT_EQ(runner.GetPluginGroups(component, 1), (Texts{"Test", "Test"}));

    EXPECT_EQ(runner.GetPluginDisplayName(component), "DulmAudioDSP (raPI, PQ5S)");
    GetCmdLineOptions().exclusive = true;
    EXPECT_EQ(runner.GetPluginDisplayName(component), "DulmAudioDSP");
}

TEST_F(PluginRunnerTest, EachPluginKeepsItsOwnElement) {
    // The first plug-in has no element: positions no longer pair up.
    KCPlugin* bare = runner.LoadPlugin(component, true, false);
    KCPlugin* second = runner.LoadPlugin(component, false, false);
    KCPlugin* third = runner.LoadPlugin(component, false, true);
    ASSERT_TRUE(bare && second && third);
    KCSampleChain& chain = runner.GetSampleChain();
    ASSERT_EQ(chain.GetElementCount(), 2u);
    KCChainElement* thirdElement = chain.GetElement(1);
    EXPECT_TRUE(third->GetBypass());
    EXPECT_EQ(runner.GetCurrentPlugin(), third);

    // Removing the second takes its element, not the one at its position.
    EXPECT_EQ(runner.RemovePlugin(second), eNoErr);
    ASSERT_EQ(chain.GetElementCount(), 1u);
    EXPECT_EQ(chain.GetElement(0), thirdElement);
    EXPECT_EQ(runner.GetCurrentPlugin(), third);
    // The current one goes: the first remaining becomes current.
    EXPECT_EQ(runner.RemovePlugin(third), eNoErr);
    EXPECT_EQ(chain.GetElementCount(), 0u);
    EXPECT_EQ(runner.GetCurrentPlugin(), bare);

    // The chain still plays (no element of an unloaded plug-in is called).
    KCTestSampleSink* sink = runner.InitTestSink();
    EXPECT_EQ(runner.StartProcessing(), eNoErr);
    EXPECT_EQ(sink->PullBuffer(), eNoErr);
    runner.StopProcessing();
    EXPECT_EQ(runner.RemovePlugin(bare), eNoErr);
    EXPECT_EQ(runner.GetCurrentPlugin(), nullptr);
    EXPECT_EQ(runner.ToggleBypass(), eGenericErr);
    EXPECT_EQ(runner.ToggleSideChain(), eGenericErr);
}

TEST_F(PluginRunnerTest, InformationSelectors) {
    KCFourCC subType = KV_FOURCC("abcd");
    int32_t value = 0;
    EXPECT_EQ(runner.GetInfo(1001, &subType, sizeof subType), eNoErr);
    EXPECT_TRUE(subType.IsUnset());
    EXPECT_EQ(runner.GetInfo(1003, &value, sizeof value), eNoErr);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(runner.GetInfo(1004, &value, sizeof value), eNoErr);
    EXPECT_EQ(value, 44100);
    EXPECT_EQ(runner.GetInfo(1005, &value, sizeof value), eNoErr);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(runner.GetInfo(1008, &value, sizeof value), eGenericErr);
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);
    EXPECT_EQ(runner.GetInfo(1001, &subType, sizeof subType), eNoErr);
    EXPECT_EQ(subType, KCFourCC(KV_FOURCC("PQ5S")));
    EXPECT_EQ(runner.GetInfo(1003, &value, sizeof value), eNoErr);
    EXPECT_EQ(value, 0);

    // Setting a flag writes the preferences file at once.
    ASSERT_EQ(runner.LoadSession(), eNoErr);
    const uint8_t on = 1;
    EXPECT_EQ(runner.SetInfo(1015, &on, 1), eNoErr);
    EXPECT_NE(ReadText(runner.GetPrefFile().GetPath().GetPathString()).find("\"true\""),
              std::string::npos);
    EXPECT_EQ(runner.SetInfo(1017, &on, 1), eGenericErr);
}

TEST_F(PluginRunnerTest, OutputFileNamesAndCommands) {
    const std::string input = home.File("song.wav");
    kvFM::KCStPath output(home.scratch.path);
    ASSERT_EQ(runner.MakeOutputFileNames(kvFM::KCStPath(input), output, kvFM::KCStPath()), eNoErr);
    EXPECT_EQ(output.GetLeaf(), "song_out.wav");
    ASSERT_NE(runner.LoadPlugin(component, false, true), nullptr);
    runner.SetSideChainFlag(true);
    output = kvFM::KCStPath(home.scratch.path);
    ASSERT_EQ(runner.MakeOutputFileNames(kvFM::KCStPath(input), output, kvFM::KCStPath()), eNoErr);
    EXPECT_EQ(output.GetLeaf(), "song_PQ5S_Bypass_SideChain.wav");
    runner.SetSideChainFlag(false);

    // Commands the runner does not know, and the test-sink output.
    EXPECT_FALSE(runner.HandleCommand(302));
    EXPECT_FALSE(runner.HandleCommand(200)); // needs the file dialog
    EXPECT_TRUE(runner.HandleCommand(902));
    EXPECT_EQ(runner.GetSession().outputMode, 2);
    EXPECT_NE(dynamic_cast<KCTestSampleSink*>(runner.GetSampleChain().GetSink()), nullptr);
    // A noise input, played and stopped.
    EXPECT_TRUE(runner.HandleCommand(202));
    EXPECT_TRUE(runner.HandleCommand(300));
    EXPECT_TRUE(runner.IsSinkRunning());
    runner.Idle();
    EXPECT_TRUE(runner.HandleCommand(300));
    EXPECT_FALSE(runner.IsSinkRunning());
    // The sample rate of a command equal to the session's changes nothing.
    EXPECT_TRUE(runner.HandleCommand(401));
    EXPECT_EQ(runner.GetSession().sampleRate, 44100u);
}

} // namespace

namespace {

TEST_F(PluginRunnerTest, WindowedStartLoadsTheNamedPluginOrFails) {
    KCCmdLineOptions& options = GetCmdLineOptions();
    options.pluginFolder = kvFM::KCStPath(KV_PLUGIN_FOLDER);
    options.componentType = KV_FOURCC("raPI");
    options.componentSubType = KV_FOURCC("zzzz");
    EXPECT_EQ(runner.StartSession(), ePluginSubComponentNotFound);
    EXPECT_EQ(runner.GetCurrentPlugin(), nullptr);
    options.componentSubType = KV_FOURCC("PQ5S");
    EXPECT_EQ(runner.StartSession(), eNoErr);
    ASSERT_NE(runner.GetCurrentPlugin(), nullptr);
    EXPECT_EQ(runner.GetCurrentPlugin()->GetProxy().GetComponentSubType(),
              KCFourCC(KV_FOURCC("PQ5S")));
    // The first start writes the preferences file, which is not yet valid.
    EXPECT_TRUE(runner.GetPrefFile().GetPath().IsExist());
}

// Records every message box and gives a set answer.
class RecordingMessages : public KMMessageService {
public:
    RecordingMessages() : previous(KMSetMessageService(this)) {}
    ~RecordingMessages() override { KMSetMessageService(previous); }
    KTErr Show(KCWindow*, int32_t kind, const std::string& caption, const std::string& text,
               eKMMessageResult& result) override {
        shown.push_back(std::to_string(kind) + "|" + caption + "|" + text);
        result = answer;
        return eNoErr;
    }
    eKMMessageResult answer = eKMOther;
    Texts shown;

private:
    KMMessageService* previous;
};

TEST_F(PluginRunnerTest, WithAViewFailuresAreAlsoShownInMessageBoxes) {
    RecordingMessages messages;
    // Without a view nothing is shown.
    EXPECT_EQ(runner.LoadPlugin(Named(KV_PLUGIN_MISSING), false, false), nullptr);
    EXPECT_TRUE(messages.shown.empty());

    KCPluginRunnerView view(&runner, KSRunnerViewOptions{});
    runner.SetView(&view);
    EXPECT_EQ(runner.LoadPlugin(Named(KV_PLUGIN_MISSING), false, false), nullptr);
    EXPECT_EQ(runner.GetCurrentPlugin(), nullptr);
    EXPECT_EQ(messages.shown, Texts{"0|Alert|Plug-in Load Error: eGenericErr (-1)\n"});

    // Recent plug-ins that are not there any more.
    messages.shown.clear();
    RecentPluginInfo gone;
    gone.file = kvFM::KCStPath(home.scratch.File("gone.so"));
    gone.componentType = KV_FOURCC("raPI");
    gone.componentSubType = KV_FOURCC("gone");
    runner.GetSession().recentPlugins = {gone};
    EXPECT_EQ(runner.LoadRecentPlugins(kvFM::KCStPath()), ePluginSubComponentNotFound);
    EXPECT_EQ(messages.shown, Texts{"0|Alert|Error \nCouldn't load recent plug in/s."});

    // A device that cannot be opened: the user may go on without it (OK) or
    // not (Cancel, the device's status).
    messages.shown.clear();
    runner.GetSession().outputDevice = 9999;
    EXPECT_EQ(runner.OpenPlugin(component), eNoErr);
    messages.answer = eKMCancel;
    EXPECT_NE(runner.OpenPlugin(component), eNoErr);
    EXPECT_EQ(messages.shown,
              Texts(2, "1|Alert|Failed to init PortAudio Device, Continue anyway? \n"));
    EXPECT_EQ(runner.GetPluginChain().Count(), 2u); // the plug-ins themselves loaded
    runner.SetView(nullptr);
}

TEST_F(PluginRunnerTest, WithAViewAScanWithoutAFolderTakesTheOneScannedLast) {
    KCPluginRunnerView view(&runner, KSRunnerViewOptions{});
    runner.SetView(&view);
    ASSERT_EQ(runner.ScanPlugins(kvFM::KCStPath(KV_PLUGIN_FOLDER)), eNoErr);
    EXPECT_EQ(runner.GetLastScannedFolder(),
              kvFM::KCStPath(KV_PLUGIN_FOLDER).GetNativePathString());
    ASSERT_EQ(runner.ScanPlugins(kvFM::KCStPath()), eNoErr);
    EXPECT_EQ(runner.GetComponents().Count(), 1u);
    runner.SetView(nullptr);
}

} // namespace
