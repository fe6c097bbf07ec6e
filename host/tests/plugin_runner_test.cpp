// The plug-in runner in this process: the program's own resources, the
// build's plug-in folder with the pass-through plug-in.
#include "HostTestSupport.h"
#include "foundation/kvFMDialogs.h"
#include "host/CmdLineOptions.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "ui/KMWindowManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <dlfcn.h>

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
    EXPECT_EQ(runner.GetPluginGroups(component, 0), Texts{"P"});
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

    EXPECT_EQ(runner.GetPluginDisplayName(component), "PassThrough (raPI, PQ5S)");
    GetCmdLineOptions().exclusive = true;
    EXPECT_EQ(runner.GetPluginDisplayName(component), "PassThrough");
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

// The plug-in factory, the group selector, MIDI to the current plug-in and
// the session record of a component.
KCPlugin* RefusingFactory(const QuorlComponentInfo&) {
    return nullptr;
}

TEST_F(PluginRunnerTest, FactoryGroupsMidiAndSessionRecords) {
    const std::string log = home.File("calls.txt");
    ScopedEnv calls("KV_TEST_PLUGIN_CALL_LOG", log.c_str());
    // A factory that makes nothing: the load fails with -8007.
    runner.SetPluginFactory(&RefusingFactory);
    EXPECT_EQ(runner.LoadPlugin(component, false, false), nullptr);
    runner.SetPluginFactory(&KCPluginRunnerBase::CreatePlugin);

    std::vector<std::string> groups{"stale"};
    KSPluginGroupsQuery query{1, &component, &groups};
    EXPECT_EQ(runner.GetInfo(1009, &query, sizeof query), eNoErr);
    EXPECT_EQ(groups, Texts{"Test"});
    query.component = nullptr;
    EXPECT_EQ(runner.GetInfo(1009, &query, sizeof query), eGenericErr);

    // MIDI goes to the current plug-in only, and only when there is one.
    KCPluginChain& chain = runner.GetPluginChain();
    EXPECT_EQ(chain.SendMidi(nullptr), eNoErr);
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);
    WriteText(log, "");
    EXPECT_EQ(chain.SendMidi(nullptr), eNoErr);
    EXPECT_EQ(ReadText(log), "KP_ProcessMidi\n");

    RecentPluginInfo record;
    EXPECT_EQ(chain.FindRecentPlugin(component, record), ePluginSubComponentNotFound);
    chain.StoreSession();
    ASSERT_EQ(chain.FindRecentPlugin(component, record), eNoErr);
    EXPECT_EQ(record.file, component.Path());
    EXPECT_EQ(record.componentSubType, component.componentSubType);
    EXPECT_EQ(chain.FindRecentPlugin(Named("/x/Other.so"), record), ePluginSubComponentNotFound);
}

// A windowed start that fails (here: -n names a plug-in the scan did not
// find) stores nothing at exit: the saved session keeps its plug-ins.
TEST(PluginRunnerSession, AFailedWindowedStartKeepsTheSavedSession) {
    ScratchHome home;
    const std::string prefs = home.Config("Quorl Audio/Preferences/Rigwell_SetupPreferences");
    std::filesystem::create_directories(std::filesystem::path(prefs).parent_path());
    WriteText(prefs, "<RigwellPrefs/>\n");
    KCCmdLineOptions& options = GetCmdLineOptions();
    options.pluginFolder = kvFM::KCStPath(KV_PLUGIN_FOLDER);
    options.componentType = KV_FOURCC("raPI");
    options.componentSubType = KV_FOURCC("PQ5S");
    {
        KCPluginRunner first{kvFM::KCStPath(RIGWELL_PATH)};
        ASSERT_EQ(first.Init(), eNoErr);
        ASSERT_EQ(first.StartSession(), eNoErr);
        first.Shutdown();
    }
    const std::string saved = ReadText(prefs);
    ASSERT_NE(saved.find("PQ5S"), std::string::npos) << saved;
    options.componentSubType = KV_FOURCC("zzzz");
    {
        KCPluginRunner failing{kvFM::KCStPath(RIGWELL_PATH)};
        ASSERT_EQ(failing.Init(), eNoErr);
        EXPECT_EQ(failing.StartSession(), ePluginSubComponentNotFound);
        failing.Shutdown();
    }
    EXPECT_EQ(ReadText(prefs), saved);
    options.Reset();
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

// The file commands through a scripted file dialog, and the messages of the
// audio setup, with a view.
TEST_F(PluginRunnerTest, FileCommandsAndAudioSetupMessages) {
    RecordingMessages messages;
    kvFM::KCScriptedDialogService dialogs;
    kvFM::KCDialogService* previousDialogs = kvFM::SetDialogService(&dialogs);
    KCPluginRunnerView view(&runner, KSRunnerViewOptions{});
    runner.SetView(&view);
    const std::string song = home.File("song.wav");
    const std::string other = home.File("other.wav");
    MakeWav(song, 4000);
    MakeWav(other, 1000, 48000);
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);

    // 200: the chosen file becomes the input; one at another rate is refused
    // and says why; a cancel changes nothing.
    dialogs.Push(song);
    EXPECT_TRUE(runner.HandleCommand(200));
    KCAudioFileSampleSource* input = runner.GetFileSource();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(runner.GetSampleChain().GetInputSource(), input);
    dialogs.Push(other);
    EXPECT_TRUE(runner.HandleCommand(200));
    dialogs.PushCancel();
    EXPECT_TRUE(runner.HandleCommand(200));
    EXPECT_EQ(runner.GetFileSource(), input);
    const std::string refused = "0|Alert|Failed to load the file: " + other +
                                "The loaded file Sample rate: 48000 is differ from requested "
                                "sample rate: 44100\n";
    EXPECT_EQ(messages.shown, Texts{refused});
    // 801: the side chain's input, the main input kept.
    dialogs.Push(song);
    EXPECT_TRUE(runner.HandleCommand(801));
    EXPECT_NE(runner.GetSampleChain().GetSideChainSource(), nullptr);
    EXPECT_TRUE(runner.IsSideChainFlag());
    EXPECT_EQ(runner.GetFileSource(), input);
    EXPECT_TRUE(runner.HandleCommand(800));
    EXPECT_FALSE(runner.IsSideChainFlag());

    // 901: a cancel renders nothing; a folder gets the rendered input, and
    // the speakers come back.
    const std::string folder = home.scratch.MakeFolder("rendered");
    dialogs.PushCancel();
    EXPECT_TRUE(runner.HandleCommand(901));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    dialogs.Push(folder);
    EXPECT_TRUE(runner.HandleCommand(901));
    EXPECT_EQ(dialogs.shown.back().options.flags, kvFM::eDialogSelectFolder);
    EXPECT_EQ(std::system(("test \"$(soxi -s '" + folder + "/song_PQ5S.wav')\" = 4000").c_str()),
              0);
    EXPECT_EQ(runner.GetSession().outputMode, 0);

    // A rate the loaded file does not have is refused before anything
    // changes.
    messages.shown.clear();
    EXPECT_TRUE(runner.HandleCommand(402));
    EXPECT_EQ(runner.GetSession().sampleRate, 44100u);
    EXPECT_EQ(messages.shown, Texts{"0|Alert|Failed to load the file: " + song +
                                    "The loaded file Sample rate: 44100 is differ from "
                                    "requested sample rate: 48000\n"});

    // A plug-in, then the device, that refuses a rate: both are named, and
    // the old rate comes back.
    void* library = dlopen(KV_PASSTHROUGH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    auto inject =
        reinterpret_cast<void (*)(const char*, int32_t)>(dlsym(library, "kv_test_inject"));
    auto reset = reinterpret_cast<void (*)()>(dlsym(library, "kv_test_reset"));
    ASSERT_TRUE(inject && reset);
    inject("KP_ChangeSampleRate", -1);
    messages.shown.clear();
    EXPECT_EQ(runner.SetSampleRate(48000), -1);
    reset();
    runner.GetSession().outputDevice = 9999;
    EXPECT_NE(runner.SetSampleRate(48000), eNoErr);
    EXPECT_EQ(runner.GetSession().sampleRate, 44100u);
    const std::string changeFailed = "0|Alert|Failed to change sample rate from 44100 to 48000\n";
    const std::string backFailed = "0|Alert|Failed to change sample rate back to 44100\n";
    EXPECT_EQ(messages.shown,
              (Texts{changeFailed + "Failed in m_pluginChain.ChangeSampleRate", backFailed,
                     changeFailed + "Failed in InitDefaultSink", backFailed}));
    // A device that cannot be opened: the buffer size 128 resets the audio
    // and says so; the other sizes only reopen the device, silently.
    messages.shown.clear();
    EXPECT_TRUE(runner.HandleCommand(702));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(runner.HandleCommand(700));
    EXPECT_EQ(messages.shown, Texts{"0|Alert|Audio Error\nFailed to initialize audio device."});
    dlclose(library);
    runner.SetView(nullptr);
    kvFM::SetDialogService(previousDialogs);
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

// The buffer-size commands reopen the device and keep the input and the
// plug-ins' elements; only 128 resets the whole audio set-up.
TEST_F(PluginRunnerTest, BufferSizeCommandsOnlyReopenTheDevice) {
    const std::string song = home.File("song.wav");
    MakeWav(song, 4000);
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);
    ASSERT_EQ(runner.OpenInputFile(kvFM::KCStPath(song), false), eNoErr);
    ASSERT_EQ(runner.ListAudioDevices(), eNoErr);
    ASSERT_EQ(runner.InitDefaultSink(), eNoErr) << "the JACK server of the test run is needed";
    KCSampleChain& chain = runner.GetSampleChain();
    chain.Connect();
    KCChainElement* element = chain.GetElement(0);
    KCSampleSource* input = chain.GetInputSource();
    ASSERT_EQ(input, runner.GetFileSource());
    for (const auto& [command, size] : {std::pair{702, 512u}, std::pair{705, 4096u}}) {
        SCOPED_TRACE(command);
        EXPECT_TRUE(runner.HandleCommand(uint16_t(command)));
        EXPECT_EQ(runner.BufferSize(), size);
        EXPECT_TRUE(runner.GetDevice()->IsOpen());
        EXPECT_EQ(runner.GetDevice()->GetFramesPerBuffer(), size);
        EXPECT_NE(dynamic_cast<KCAudioIODevice::KCAudioIODeviceSampleSink*>(chain.GetSink()),
                  nullptr);
        EXPECT_TRUE(chain.IsConnected());
        EXPECT_EQ(chain.GetInputSource(), input);
        EXPECT_EQ(chain.GetElement(0), element);
    }
    // The file is read ahead of the device's thread, and only while the
    // device plays it.
    KCAudioFileSampleSource* file = runner.GetFileSource();
    EXPECT_TRUE(file->IsReadingAhead());
    runner.InitTestSink();
    EXPECT_FALSE(file->IsReadingAhead());
    ASSERT_EQ(runner.InitDefaultSink(), eNoErr);
    EXPECT_TRUE(file->IsReadingAhead());
    // 128: the device's input replaces the file, the elements are new.
    EXPECT_TRUE(runner.HandleCommand(700));
    EXPECT_EQ(runner.GetFileSource(), nullptr);
    EXPECT_NE(dynamic_cast<KCAudioIODevice::KCAudioIODeviceSampleSource*>(chain.GetInputSource()),
              nullptr);
    EXPECT_NE(chain.GetElement(0), element);
}

// 403 asks for 88200 Hz, a rate devices offer.
TEST_F(PluginRunnerTest, TheFourthSampleRateIs88200) {
    RecordingMessages messages;
    KCPluginRunnerView view(&runner, KSRunnerViewOptions{});
    runner.SetView(&view);
    runner.GetSession().outputDevice = 9999; // no device takes it here
    EXPECT_TRUE(runner.HandleCommand(403));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(
        messages.shown.front(),
        "0|Alert|Failed to change sample rate from 44100 to 88200\nFailed in InitDefaultSink");
    runner.SetView(nullptr);
}

// The device lists and the rates a device takes, the stem formats, and the
// device's input attached on its own.
TEST_F(PluginRunnerTest, DeviceRatesStemFormatsAndTheDeviceInput) {
    ASSERT_EQ(runner.ListAudioDevices(), eNoErr);
    ASSERT_FALSE(runner.GetOutputDevices().empty());
    for (const KCAudioDeviceMap* map : {&runner.GetInputDevices(), &runner.GetOutputDevices()})
        for (const auto& [index, desc] : *map) {
            EXPECT_EQ(desc.deviceIndex, index);
            EXPECT_EQ(desc.secondIndex, -1);
            EXPECT_FALSE(desc.name.empty());
            for (int i = 0; i < 2; ++i)
                EXPECT_TRUE(desc.numberLists[i].empty() && desc.textLists[i].empty());
        }
    // The JACK server of the test run takes only its own rate.
    std::vector<int32_t> rates{1};
    EXPECT_EQ(runner.ListSampleRates(runner.GetSession().outputDevice, rates), eNoErr);
    EXPECT_EQ(rates, std::vector<int32_t>{44100});
    EXPECT_EQ(runner.ListSampleRates(9999, rates), eGenericErr);
    EXPECT_TRUE(rates.empty());

    // Two channels without a plug-in or a file; a mono file's one; a stereo
    // plug-in's two.
    EXPECT_EQ(runner.GetStemFormat(true), 101);
    const std::string mono = home.File("mono.wav");
    ASSERT_EQ(
        std::system(("sox -q -r 44100 -c 1 -n -b 16 '" + mono + "' synth 100s sine 440").c_str()),
        0);
    ASSERT_EQ(runner.OpenInputFile(kvFM::KCStPath(mono), false), eNoErr);
    EXPECT_EQ(runner.GetStemFormat(true), 100);
    EXPECT_EQ(runner.GetStemFormat(false), 100);
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);
    EXPECT_EQ(runner.GetStemFormat(true), 101);

    // Without an open device nothing is attached; with one, its input
    // replaces the file and nothing else changes.
    KCSampleChain& chain = runner.GetSampleChain();
    EXPECT_EQ(runner.AttachDefaultSource(), eNoErr);
    EXPECT_NE(runner.GetFileSource(), nullptr);
    ASSERT_EQ(runner.InitDefaultSink(), eNoErr) << "the JACK server of the test run is needed";
    chain.Connect();
    ASSERT_EQ(runner.StartProcessing(), eNoErr);
    EXPECT_EQ(runner.AttachDefaultSource(), eNoErr);
    EXPECT_EQ(runner.GetFileSource(), nullptr);
    EXPECT_NE(dynamic_cast<KCAudioIODevice::KCAudioIODeviceSampleSource*>(chain.GetInputSource()),
              nullptr);
    EXPECT_TRUE(runner.IsSinkRunning());
    runner.StopProcessing();
}

// Before the device opens, a plug-in of more than two channels is asked
// for its layouts; the device still opens without channel selection, and
// the stem format is the plug-in's.
TEST_F(PluginRunnerTest, AMultiChannelPluginIsAskedForItsLayouts) {
    const std::string log = home.File("calls.txt");
    ScopedEnv calls("KV_TEST_PLUGIN_CALL_LOG", log.c_str());
    // The 'stem' questions the device's opening asked, in order.
    auto stemQuestions = [&] {
        Texts asked;
        std::istringstream lines(ReadText(log));
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("KP_GetPluginInfo stem/", 0) == 0)
                asked.push_back(line.substr(17));
        return asked;
    };
    KCPlugin* stereo = runner.LoadPlugin(component, false, false);
    ASSERT_NE(stereo, nullptr);
    WriteText(log, "");
    runner.InitDefaultSink();
    EXPECT_EQ(stemQuestions(), Texts{});
    ASSERT_EQ(runner.RemovePlugin(stereo), eNoErr);

    ScopedEnv channels("KV_TEST_PLUGIN_CHANNELS", "6");
    ASSERT_NE(runner.LoadPlugin(component, false, false), nullptr);
    WriteText(log, "");
    runner.InitDefaultSink();
    EXPECT_EQ(stemQuestions(), (Texts{"stem/inpu", "stem/outp"}));
    // The plug-in answers no stem format of its own: six channels have none.
    EXPECT_EQ(runner.GetStemFormat(true), 0);
}

// Standard error of this process into a file for the life of the object.
class CapturedStderr {
public:
    explicit CapturedStderr(const std::string& file) : file(file), saved(::dup(2)) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~CapturedStderr() { Release(); }
    std::string Text() {
        Release();
        return ReadText(file);
    }

private:
    void Release() {
        if (saved < 0)
            return;
        ::dup2(saved, 2);
        ::close(saved);
        saved = -1;
    }
    std::string file;
    int saved;
};

TEST_F(PluginRunnerTest, AWindowedStartWithoutAnAudioDeviceSaysWhyInOneLine) {
    GetCmdLineOptions().pluginFolder = kvFM::KCStPath(KV_PLUGIN_FOLDER);
    CapturedStderr captured(home.File("stderr.txt"));
    EXPECT_EQ(runner.StartSession(), eNoErr);
    EXPECT_EQ(captured.Text(),
              "rigwell: the audio device cannot be opened: no output device was found\n");
}

} // namespace
