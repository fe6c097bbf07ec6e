#include "hosting/Plugin.h"

#include "audio/CpuMeter.h"
#include "foundation/RM.h"

#include <gmock/gmock.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace {

// The test plug-in's log while it is loaded.
std::string PluginLog() {
    void* handle = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return "<not loaded>";
    auto log = reinterpret_cast<const char* (*)()>(dlsym(handle, "kv_test_log"));
    std::string text = log();
    dlclose(handle);
    return text;
}

void Inject(const char* entry, int32_t status) {
    void* handle = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    reinterpret_cast<void (*)(const char*, int32_t)>(dlsym(handle, "kv_test_inject"))(entry,
                                                                                      status);
    dlclose(handle);
}

bool IsMapped() {
    void* handle = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

QuorlComponentInfo Component(const char (&type)[5] = "raPI", int16_t instanceType = 1) {
    QuorlComponentInfo c;
    c.Path() = kvFM::KCStPath(KV_PLUGIN_COMPLETE);
    c.componentType = KV_FOURCC(type);
    c.componentSubType = KV_FOURCC("PQ5S");
    c.ePluginInstanceType = instanceType;
    return c;
}

struct Runner : KCPluginRunnerHooks {
    int32_t ReceiveSampleCounts(int32_t a, int32_t b) override {
        calls.push_back("counts " + std::to_string(a) + " " + std::to_string(b));
        return 3;
    }
    void Rewind() override { calls.push_back("rewind"); }
    int32_t ReservedRequest() override {
        calls.push_back("reserved");
        return 4;
    }
    std::vector<std::string> calls;
};

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RMInit(0), eNoErr); }
    void TearDown() override { EXPECT_EQ(RMDispose(), eNoErr); }
    Runner runner;
};

const char* const kInitLog = "KP_CreateInstance\n"
                             "KP_InitAlgToHardware(44100) callback 0 size 4\n"
                             "KP_GetPluginInfo size/abst\n"
                             "KP_GetPluginInfo size/coef\n"
                             "KP_GetPluginInfo size/stat\n"
                             "KP_GetPluginInfo numb/ebuf\n"
                             "KP_GetPluginInfo fill/ebuf\n"
                             "KP_SetPluginInfo ebuf/ebuf(2)\n"
                             "KP_SetProcessActive(0)\n"
                             "KP_GetPluginInfo gstr/sPTP\n"
                             "KP_GetPluginInfo gstr/sPFN\n"
                             "KP_InitAlg\n"
                             "KP_UpdateAlg\n"
                             "KP_CreateGUI\n"
                             "KP_InitGUI\n"
                             "KP_GetPluginInfo askQ/isml\n"
                             "KP_GetPluginInfo askQ/ismb\n"
                             "KP_GetPluginInfo numb/inpu\n"
                             "KP_GetPluginInfo numb/nsci\n"
                             "KP_GetPluginInfo numb/outp\n"
                             "KP_SetPluginInfo muti/temp(1)\n";

TEST_F(LoadedPlugin, InitCallsTheEntryPointsInOrder) {
    KCPlugin plugin(Component());
    EXPECT_EQ(plugin.GetOwner(), nullptr);
    ASSERT_EQ(plugin.Init(&runner, false, 44100.9), eNoErr);
    EXPECT_EQ(plugin.GetOwner(), &runner);
    EXPECT_EQ(plugin.RefuseNetworkedShell(), eNoErr);
    EXPECT_EQ(PluginLog(), kInitLog);
    EXPECT_EQ(plugin.GetSampleRate(), 44100.0);
    EXPECT_TRUE(plugin.IsInitialised());
    EXPECT_EQ(plugin.GetNumInputs(), 2);
    EXPECT_EQ(plugin.GetNumOutputs(), 2);
    EXPECT_NE(plugin.GetProcessFunc().GetMainProcessFunc(), nullptr);
    EXPECT_EQ(plugin.GetStemFormat(true), 101);
    EXPECT_EQ(plugin.GetDelay(), 64);

    const std::string before = PluginLog();
    EXPECT_EQ(plugin.ToggleBypass(), 0);
    EXPECT_TRUE(plugin.GetBypass());
    EXPECT_EQ(plugin.ToggleBypass(), 0);
    EXPECT_FALSE(plugin.GetBypass());
    EXPECT_EQ(PluginLog(), before + "KP_SetBypass(1)\nKP_SetBypass(0)\n");

    const std::string preset =
        (std::filesystem::temp_directory_path() / ("kvpreset" + std::to_string(getpid()))).string();
    std::ofstream(preset) << "<Preset/>";
    EXPECT_EQ(plugin.LoadPresetFile(kvFM::KCStPath(preset)), eNoErr);
    EXPECT_EQ(PluginLog(), before + "KP_SetBypass(1)\nKP_SetBypass(0)\nKP_SetChunk\nKP_InitAlg\n");
    Inject("KP_SetChunk", -5);
    EXPECT_EQ(plugin.LoadPresetFile(kvFM::KCStPath(preset)), -5);
    std::filesystem::remove(preset);
    EXPECT_EQ(plugin.LoadPresetFile(kvFM::KCStPath(preset)), eFMFileNotFound);

    EXPECT_EQ(plugin.Unload(), eNoErr);
    EXPECT_FALSE(IsMapped());
}

TEST_F(LoadedPlugin, RestartMetersAndSampleRateChanges) {
    KCPlugin plugin(Component());
    ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
    const std::string before = PluginLog();
    EXPECT_EQ(plugin.Restart(true, true, false, 0, 0), eNoErr);
    EXPECT_EQ(plugin.Restart(false, false, false, 0, 0), eNoErr);
    plugin.ReadMeters();
    EXPECT_EQ(PluginLog(),
              before + "KP_InitAlg\nKP_SetProcessActive(1)\nKP_TransportChange\n"
                       "KP_SetProcessActive(0)\nKP_TransportChange\nKP_MetersReadFromDSP\n");
    EXPECT_EQ(plugin.ChangeSampleRate(96000.5), eNoErr);
    EXPECT_EQ(plugin.GetSampleRate(), 96000.0);
    Inject("KP_ChangeSampleRate", -2);
    EXPECT_EQ(plugin.ChangeSampleRate(44100), -2);
    EXPECT_EQ(plugin.GetSampleRate(), 96000.0) << "a refused rate is not kept";
}

// The three forwarders reach the owner that Init stored, and nothing before.
TEST_F(LoadedPlugin, ForwardersReachTheOwnerRunner) {
    KCPlugin plugin(Component());
    EXPECT_EQ(plugin.ForwardSampleCounts(1, 2), 0);
    plugin.ForwardRewind();
    EXPECT_EQ(plugin.ForwardReservedRequest(), 0);
    EXPECT_TRUE(runner.calls.empty());
    ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
    EXPECT_EQ(plugin.ForwardSampleCounts(441, 22), 3);
    plugin.ForwardRewind();
    EXPECT_EQ(plugin.ForwardReservedRequest(), 4);
    EXPECT_THAT(runner.calls, ::testing::ElementsAre("counts 441 22", "rewind", "reserved"));
}

TEST_F(LoadedPlugin, WithoutProcessingNoProcessFunctionIsAskedFor) {
    KCPlugin plugin(Component("raPI", 0));
    ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
    EXPECT_EQ(PluginLog().find("gstr"), std::string::npos);
    EXPECT_EQ(plugin.GetProcessFunc().GetMainProcessFunc(), nullptr);
}

TEST_F(LoadedPlugin, AFailedInitUndoesItself) {
    {
        KCPlugin plugin(Component());
        ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
        Inject("KP_CreateGUI", -9);
        KCPlugin second(Component());
        EXPECT_EQ(second.Init(&runner, false, 48000), -9);
        EXPECT_FALSE(second.GetProxy().IsLoaded());
    }
    EXPECT_FALSE(IsMapped()) << "deleting a loaded plug-in unloads it";

    {
        KCPlugin plugin(Component());
        ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
        Inject("KP_SetProcessActive", -6);
        KCPlugin second(Component());
        EXPECT_EQ(second.Init(&runner, false, 48000), -6);
    }

    KCPlugin shell(Component("vxPI"));
    EXPECT_EQ(shell.RefuseNetworkedShell(), eGenericErr);
    EXPECT_EQ(shell.Init(&runner, true, 48000), eGenericErr);
    EXPECT_FALSE(IsMapped());
    EXPECT_EQ(shell.CreateProcessChainElement(64, nullptr), nullptr);
}

// A source of constant ones on every channel.
class Ones : public KCInputSampleSource {
public:
    KTErr GetSamples(KCSoundBufList& list, KCStreamState&) override {
        for (uint32_t c = 0; c < list.channels; ++c)
            for (uint32_t f = 0; f < list.frames; ++f)
                list.bufs[c].data[f * list.bufs[c].stride] = 1.0f;
        return eNoErr;
    }
};

TEST_F(LoadedPlugin, BlocksCarryTheGainsTheGUIThreadCommits) {
    KCPlugin plugin(Component());
    ASSERT_EQ(plugin.Init(&runner, false, 48000), eNoErr);
    std::unique_ptr<TesterKCQuorlProcessChainElement> element(
        plugin.CreateProcessChainElement(64, nullptr));
    ASSERT_NE(element, nullptr);
    Ones source;
    element->input = &source;
    KCNativeProcessMemory& memory = plugin.GetMemory();
    KCCallBackNativePR& callbacks = plugin.GetCallbacks();

    // The GUI thread writes gains through the plug-in's requests and commits.
    std::atomic<bool> stop{false};
    std::thread gui([&] {
        float gain = 1.0f;
        while (!stop) {
            KSBufferRequest ask;
            ask.kind = 1;
            ask.subKind = 0;
            KSBufferRequest* r = nullptr;
            KCCallBackCommon::ExecCallBack(5, callbacks.GetToken(), &ask, nullptr, &r);
            ASSERT_NE(r, nullptr);
            gain += 1.0f;
            std::memcpy(r->memory, &gain, sizeof gain);
            r->changed = 1;
            KCCallBackCommon::ExecCallBack(0, callbacks.GetToken(), r, nullptr, nullptr);
            KCCallBackCommon::ExecCallBack(4, callbacks.GetToken(), r, nullptr, nullptr);
        }
    });
    std::vector<float> samples(64 * 2);
    KCSoundBufList list;
    list.Build(64, samples.data(), 2, 2);
    std::set<float> gains;
    for (int block = 0; block < 1000; ++block) {
        KCStreamState state;
        ASSERT_EQ(element->GetSamples(list, state), eNoErr);
        for (float s : samples)
            ASSERT_EQ(s, samples[0]) << "block " << block << " carries one gain";
        gains.insert(samples[0]);
        if (block % 100 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    gui.join();
    EXPECT_EQ(memory.inProcess, 0);
    element.reset();
    plugin.Unload();
    EXPECT_FALSE(IsMapped());
    EXPECT_GT(gains.size(), 1u) << "the gains changed while blocks were pulled";
}

} // namespace

namespace {

// What the process call saw of the memory.
KCNativeProcessMemory* gSeenMemory = nullptr;
int gSeenInProcess = -1;
char* gSeenCoefficients = nullptr;

void Observe(QuorlSoundBuf*, int32_t, int32_t, QuorlSoundBuf*, int32_t, int32_t* result,
             char* coefficients, char*, ExternStruct*, sNativeShellInfo*) {
    gSeenInProcess = gSeenMemory->inProcess;
    gSeenCoefficients = coefficients;
    *result = 0;
}

TEST_F(LoadedPlugin, EachBlockRunsUnderTheProcessLockAndSwitchesAtItsEnd) {
    KCPluginInstanceProxy proxy(Component());
    ASSERT_EQ(proxy.Load(), eNoErr);
    void* handle = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    reinterpret_cast<void (*)()>(dlsym(handle, "kv_test_reset"))();
    dlclose(handle);
    KCNativeProcessMemory memory;
    memory.coefficientSize = 4;
    ASSERT_EQ(memory.Layout(), eNoErr);
    memory.requestedIndex = 1;
    gSeenMemory = &memory;
    TesterKCQuorlProcessChainElement element(0, 64, 2, Observe, &memory, nullptr, &proxy);
    Ones source;
    element.input = &source;
    std::vector<float> samples(64 * 2);
    KCSoundBufList list;
    list.Build(64, samples.data(), 2, 2);
    KCStreamState state;
    ASSERT_EQ(element.GetSamples(list, state), eNoErr);
    EXPECT_EQ(gSeenInProcess, 1);
    EXPECT_EQ(gSeenCoefficients, memory.coefficients[0]) << "the buffer active at the start";
    EXPECT_EQ(memory.activeIndex, 1);
    EXPECT_EQ(memory.inProcess, 0);
    EXPECT_EQ(PluginLog(), "KP_ProcessFunctionLock\nKP_ProcessFunctionLock\n");
    proxy.Unload();
}

} // namespace
