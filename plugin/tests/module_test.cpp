// The plug-in module as the host sees it: loaded with dlopen in a process
// without a display, exporting exactly its 59 entry points and
// dbToGainStage, carrying its resources; and, in a separate process (the
// harness), brought up against a u2c-sim daemon.
#include "foundation/RM.h"
#include "hosting/Plugin.h"
#include "hosting/PluginInterface.h"
#include "hosting/PluginLoadSpec.h"
#include "hosting/PluginScanner.h"
#include "sim/SimDaemon.h"

#include "DaemonLog.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kNames[] = {
#define KP_ENTRY(name, params) #name,
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buf{};
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    ::pclose(pipe);
    return out;
}

TEST(PluginModule, LoadsWithoutDisplayAndBindsAllEntryPoints) {
    ::unsetenv("DISPLAY");
    void* module = ::dlopen(DULM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    static_assert(std::size(kNames) == kPluginEntryPointCount);
    for (const char* name : kNames)
        EXPECT_NE(::dlsym(module, name), nullptr) << name;
    EXPECT_NE(::dlsym(module, "dbToGainStage"), nullptr);
    // Nothing of the algorithm's classes is reachable from outside.
    EXPECT_EQ(::dlsym(module, "_ZN8cPEQ_ALG13ResetAndRunPopEbPKc"), nullptr);
    ::dlclose(module);
}

TEST(PluginModule, ExportsExactlyTheEntryPointsAndDbToGainStage) {
    std::set<std::string> expected(std::begin(kNames), std::end(kNames));
    expected.insert("dbToGainStage");
    std::set<std::string> exported;
    std::istringstream lines(Capture("nm -D --defined-only " DULM_MODULE_PATH));
    std::string line;
    while (std::getline(lines, line)) {
        const std::string name = line.substr(line.rfind(' ') + 1);
        exported.insert(name);
    }
    EXPECT_EQ(exported, expected);
}

TEST(PluginModule, FindsItsLibrariesInItsOwnFolder) {
    const std::string dynamic = Capture("readelf -d " DULM_MODULE_PATH);
    EXPECT_NE(dynamic.find("RUNPATH) "), std::string::npos);
    EXPECT_NE(dynamic.find("[$ORIGIN]"), std::string::npos) << dynamic;
    const fs::path folder = fs::path(DULM_MODULE_PATH).parent_path();
    for (const char* lib :
         {"libQuorlGUILib.so", "libbusgate_c.so", "libTerovanU2C.so", "libi2cbrdg.so"}) {
        EXPECT_TRUE(fs::exists(folder / lib)) << lib;
        EXPECT_NE(dynamic.find(std::string("[") + lib + "]"), std::string::npos) << lib;
    }
}

TEST(PluginModule, CarriesItsResources) {
    ASSERT_EQ(RMInit(0), eNoErr);
    KTResContainerType* container = nullptr;
    ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(DULM_MODULE_PATH), 0, container), 0);
    for (const auto& [type, id] :
         std::vector<std::pair<KCFourCC, short>>{{KV_FOURCC("Xinf"), 1000},
                                                 {KV_FOURCC("XCli"), 1000},
                                                 {KV_FOURCC("XCli"), 1001},
                                                 {KV_FOURCC("XPRM"), 1000},
                                                 {KV_FOURCC("XPST"), 1000}})
        EXPECT_TRUE(RMDoesNativeResourceExist(container, type, id)) << id;
    RMCloseResContainer(container);
}

// The module scanned as the host scans it, with the host's load
// specification from the host's resources.
void ScanModule(KCQuorlComponentInfoList& list) {
    ASSERT_EQ(RMInit(0), eNoErr);
    KTResContainerType* host = nullptr;
    ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(HOST_RESOURCES_PATH), 0, host), 0);
    KCPluginLoadSpec spec;
    ASSERT_EQ(spec.ReadFromResource(host), eNoErr);
    RMCloseResContainer(host);
    KCPluginDiskScanner scanner;
    scanner.SetLoadSpec(spec);
    ASSERT_EQ(scanner.ScanFile(kvFM::KCStPath(DULM_MODULE_PATH), list), eNoErr);
}

TEST(PluginModule, HostScannerFindsItsComponent) {
    KCQuorlComponentInfoList list;
    ASSERT_NO_FATAL_FAILURE(ScanModule(list));
    EXPECT_GE(list.IndexOfSubType(KCFourCC(KV_FOURCC("PQ5S"))), 0);
}

// The host's load without processing, as the tuning host makes it: sizes,
// the external buffer hand-over, the chip reset (no board here), the
// headless editor, the channel counts and the tempo.
TEST(PluginModule, TheHostLoadsItWithoutProcessing) {
    ::unsetenv("DISPLAY");
    ::unsetenv("TEROVAN_U2C_SOCKET");
    const fs::path registry =
        fs::temp_directory_path() / ("dulm_host_load_test." + std::to_string(::getpid()));
    fs::create_directories(registry);
    ::setenv("QUORL_REGISTRY_DIR", registry.c_str(), 1);
    KCQuorlComponentInfoList list;
    ASSERT_NO_FATAL_FAILURE(ScanModule(list));
    const long index = list.IndexOfSubType(KCFourCC(KV_FOURCC("PQ5S")));
    ASSERT_GE(index, 0);
    QuorlComponentInfo component = list.components[static_cast<size_t>(index)];
    component.ePluginInstanceType = 0;
    {
        KCPlugin plugin(component);
        ASSERT_EQ(plugin.Init(nullptr, false, 48000.0), eNoErr);
        EXPECT_TRUE(plugin.IsInitialised());
        EXPECT_EQ(plugin.GetNumInputs(), 2);
        EXPECT_EQ(plugin.GetNumOutputs(), 2);
        const KCNativeProcessMemory& memory = plugin.GetMemory();
        EXPECT_EQ(memory.coefficientSize, 4096);
        EXPECT_EQ(memory.statesSize, 512);
        ASSERT_EQ(memory.externBuffers.size(), 1u);
        EXPECT_EQ(memory.externBuffers[0].Count, 212);
        EXPECT_EQ(plugin.GetDelay(), 0);
        EXPECT_EQ(plugin.GetStemFormat(true), 101);
        EXPECT_EQ(plugin.Unload(), eNoErr);
    }
    ::unsetenv("QUORL_REGISTRY_DIR");
    fs::remove_all(registry);
}

// The entry points called in this process, over a scratch registry and no
// bridge connection.
class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        registry = fs::temp_directory_path() / ("dulm_entry_test." + std::to_string(::getpid()));
        fs::create_directories(registry);
        ::setenv("QUORL_REGISTRY_DIR", registry.c_str(), 1);
        module = ::dlopen(DULM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        void** slots = reinterpret_cast<void**>(&kp);
        for (size_t i = 0; i < kPluginEntryPointCount; ++i)
            ASSERT_NE(slots[i] = ::dlsym(module, kNames[i]), nullptr);
        instance.module = static_cast<KTNativeContainerType*>(module);
        ASSERT_EQ(kp.KP_CreateInstance(&instance), 0);
        ASSERT_NE(instance.algorithm, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(kp.KP_DeleteInstance(&instance), 0);
        EXPECT_EQ(instance.algorithm, nullptr);
        ::dlclose(module);
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(registry);
    }
    fs::path registry;
    void* module = nullptr;
    SPluginEntryPoints kp;
    PluginInstance instance;
};

TEST_F(EntryPoints, SetupTypesAndFixedAnswers) {
    KCFourCC setup;
    EXPECT_EQ(kp.KP_SetActiveSetupType(&instance, KCFourCC(KV_FOURCC("setB"))), 0);
    EXPECT_EQ(kp.KP_GetActiveSetupType(&instance, &setup), 0);
    EXPECT_EQ(setup.Get(), KV_FOURCC("setB"));
    EXPECT_EQ(kp.KP_SetActiveSetupType(&instance, KCFourCC(KV_FOURCC("xxxx"))), 0);
    EXPECT_EQ(kp.KP_GetActiveSetupType(&instance, &setup), 0);
    EXPECT_EQ(setup.Get(), KV_FOURCC("setB"));
    EXPECT_EQ(kp.KP_SetActiveSetupType(&instance, KCFourCC(KV_FOURCC("setA"))), 0);
    EXPECT_EQ(kp.KP_GetActiveSetupType(&instance, &setup), 0);
    EXPECT_EQ(setup.Get(), KV_FOURCC("setA"));

    uint32_t size = 7;
    EXPECT_EQ(kp.KP_GetVXProcessSize(&instance, 0, 0, &size), -1);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(kp.KP_GetProcessCode(&instance, nullptr), -10);
    EXPECT_EQ(kp.KP_DoKeyUp(&instance, nullptr), 0);
    EXPECT_EQ(kp.KP_InitProcessing(&instance), 0);
    EXPECT_EQ(kp.KP_SetRefresh(&instance, nullptr), -3500);
    KURect<short> view{1, 2, 3, 4};
    EXPECT_EQ(kp.KP_GetViewRect(&instance, &view), 0);
    EXPECT_EQ(view, KURect<short>{});
    EXPECT_EQ(kp.KP_DoIdle(&instance), 0);
    EXPECT_EQ(instance.idleStarted, 1);
}

TEST_F(EntryPoints, HeadlessEditor) {
    EXPECT_EQ(kp.KP_CreateGUI(&instance), 0);
    ASSERT_NE(instance.gui, nullptr);
    EXPECT_EQ(kp.KP_InitGUI(&instance), 0);
    // A second creation replaces the editor.
    EXPECT_EQ(kp.KP_CreateGUI(&instance), 0);
    EXPECT_EQ(kp.KP_InitGUI(&instance), 0);
    EXPECT_EQ(kp.KP_ActivateWindow(&instance), 0);
    EXPECT_EQ(kp.KP_SetRefresh(&instance, nullptr), -3500);
    // The view is the layout resource's expanded size.
    KURect<short> view{1, 2, 3, 4};
    EXPECT_EQ(kp.KP_GetViewRect(&instance, &view), 0);
    EXPECT_EQ(view, KURect<short>(0, 0, 998, 1240));
    EXPECT_EQ(instance.viewRect, view);
    bool handled = true;
    EXPECT_EQ(kp.KP_DoKeyDown(&instance, nullptr, &handled), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(kp.KP_DoMouseDown(&instance, nullptr), 0);
    EXPECT_EQ(kp.KP_DoIdle(&instance), 0);
    EXPECT_EQ(instance.idleStarted, 1);
    EXPECT_EQ(kp.KP_SetActiveSetupType(&instance, KCFourCC(KV_FOURCC("setB"))), 0);
    EXPECT_EQ(kp.KP_DeactivateWindow(&instance), 0);
}

TEST_F(EntryPoints, TranslateControllerAlwaysTerminates) {
    for (int32_t size : {1, 2, 4, 64}) {
        std::string out(80, 'X');
        EXPECT_EQ(kp.KP_TranslateController(&instance, 2, 12.25, out.data(), size), 0);
        const size_t length = std::strlen(out.c_str());
        EXPECT_LT(length, static_cast<size_t>(size)) << size;
        EXPECT_EQ(out[static_cast<size_t>(size)], 'X') << "wrote past the buffer";
    }
}

TEST_F(EntryPoints, ChunkRoundTripAndParameters) {
    double value = -1;
    EXPECT_EQ(kp.KP_GetParamState(&instance, 177, &value), 0);
    EXPECT_EQ(value, 0.0);
    uint32_t count = 0;
    EXPECT_EQ(kp.KP_GetNumChunks(&instance, &count), 0);
    EXPECT_GE(count, 1u);
    char* data = nullptr;
    int32_t size = 0;
    ASSERT_EQ(kp.KP_GetChunk(&instance, KV_FOURCC("XPst"), &data, &size, false), 0);
    ASSERT_NE(data, nullptr);
    ASSERT_GT(size, 0);
    uint32_t announced = 0;
    EXPECT_EQ(kp.KP_GetChunkSize(&instance, &announced, false, KV_FOURCC("XPst")), 0);
    EXPECT_EQ(announced, static_cast<uint32_t>(size));
    // Exactly `size` bytes are read back, with no terminator after them.
    std::vector<char> copy(data, data + size);
    std::free(data);
    EXPECT_EQ(kp.KP_SetChunk(&instance, KV_FOURCC("XPst"), copy.data(),
                             static_cast<uint32_t>(copy.size())),
              0);
}

// The host's questions and the calls this plug-in has nothing for, asked
// through the harness from another process (no bridge: the chip stays away).
TEST(PluginModule, HarnessAnswersTheHostsQuestionsAndTheFixedCalls) {
    const fs::path registry =
        fs::temp_directory_path() / ("dulm_harness_test." + std::to_string(::getpid()));
    fs::create_directories(registry);
    struct Case {
        const char* call;
        const char* line; // the harness's output line
    };
    const Case cases[] = {
        {"KP_GetPluginInfo=size,coef", "0 4096"}, // 512 words of 8 bytes
        {"KP_GetPluginInfo=size,stat", "0 512"},
        {"KP_GetPluginInfo=size,abst", "0 0"},
        {"KP_GetPluginInfo=size,dlay", "0 0"},
        {"KP_GetPluginInfo=numb,inpu", "0 2"},
        {"KP_GetPluginInfo=numb,nsci", "0 0"},
        {"KP_GetPluginInfo=numb,outp", "0 2"},
        {"KP_GetPluginInfo=askQ,isml", "0 0"},
        {"KP_GetPluginInfo=askQ,ismb", "0 0"},
        {"KP_GetPluginInfo=numb,ebuf", "0 1"},
        // (10 x 11 sections - 4) x 2 outputs words.
        {"KP_SetPluginInfo=ebuf", "0 YMEM:212"},
        {"KP_GetPluginInfo=what,ever", "-1 0"},
        {"KP_MetersGetInfo=0", "0 2 0 -30 0 0 Out dB"},
        {"KP_MetersGetInfo=1", "0 2 1 -30 0 0 Out dB"},
        {"KP_MetersGetInfo=2", "-1 0 0 0 0 0  "},
        // No process yet: the meters rest at the bottom of their range.
        {"KP_MetersReadFromDSP", "0"},
        {"KP_MetersGetValue=0", "0 -30.000000 0"},
        {"KP_LocateDSP", "-1"},
        {"KP_RetrieveVXProcessCode", "-1"},
        {"KP_GetVXProcessSize", "-1 0"},
        {"KP_LoadFromBuffer", "-1"},
        {"KP_SaveToBuffer", "-1"},
        {"KP_GetIOPortStatus", "-1"},
        {"KP_SetIOPortStatus", "-1"},
        {"KP_ReceiveMessage", "0"},
        {"KP_ProcessMidi", "0"},
        {"KP_TransportChange", "0"},
        {"KP_ChangeSampleRate=44100", "0"},
        {"KP_ChangeSampleRate=0", "-1"},
    };
    std::string command =
        "env -u DISPLAY -u TEROVAN_U2C_SOCKET QUORL_REGISTRY_DIR=" + registry.string() +
        " timeout 60 " + KP_HARNESS_PATH + " " + DULM_MODULE_PATH +
        " KP_CreateInstance KP_InitAlgToHardware=48000";
    for (const Case& c : cases)
        command += std::string(" ") + c.call;
    command += " KP_DeleteInstance 2>/dev/null; echo exit=$?";
    const std::string output = Capture(command);
    fs::remove_all(registry);
    for (const Case& c : cases) {
        const std::string line = std::string("\n") + c.call + " " + c.line + "\n";
        EXPECT_NE(output.find(line), std::string::npos) << line << "in:\n" << output;
    }
    EXPECT_NE(output.find("KP_DeleteInstance 0\nexit=0\n"), std::string::npos) << output;
}

TEST(PluginModuleWithDaemon, HarnessBringsTheChipUpFromASeparateProcess) {
    const fs::path dir =
        fs::temp_directory_path() / ("dulm_module_test." + std::to_string(::getpid()));
    const fs::path mod = dir / "module";
    fs::create_directories(mod);
    fs::create_directories(dir / "registry");
    for (const auto& entry : fs::directory_iterator(fs::path(DULM_MODULE_PATH).parent_path()))
        fs::copy_file(entry.path(), mod / entry.path().filename());
    std::ofstream(mod / "DL6000_5.05.pop", std::ios::binary)
        << "# start\r\n00 A5 00\r\nF3 AB FF # x\r\n";
    std::ofstream(mod / "DL6000_5.05_48.aeq") << "3 1 0 0.5 0 0 -0.25\n";

    u2csim::SimDaemon daemon(U2C_SIM_PATH);
    ASSERT_TRUE(daemon.ready());
    const std::string command = "env -u DISPLAY TEROVAN_U2C_SOCKET=" + daemon.socketPath() +
                                " QUORL_REGISTRY_DIR=" + (dir / "registry").string() +
                                " timeout 120 " + KP_HARNESS_PATH + " " +
                                (mod / "DulmAudioDSP.so").string() +
                                " KP_CreateInstance KP_InitAlgToHardware=48000 KP_InitAlg "
                                "KP_UpdateAlg KP_UpdatePar=177,1 KP_UpdatePar=164,1 "
                                "KP_GetParamState=177 KP_UpdatePar=140,1 KP_DeleteInstance "
                                "2>/dev/null; echo exit=$?";
    const std::string output = Capture(command);
    EXPECT_EQ(daemon.stop(), 0);
    for (const char* line :
         {"bound 59\n", "KP_CreateInstance 0\n", "KP_InitAlgToHardware=48000 0\n", "KP_InitAlg 0\n",
          "KP_UpdateAlg 0\n", "KP_UpdatePar=177,1 0\n", "KP_UpdatePar=164,1 0\n",
          "KP_GetParamState=177 0 1.000000\n", "KP_UpdatePar=140,1 0\n", "KP_DeleteInstance 0\n",
          "exit=0\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << "in:\n" << output;

    // The full run, in order (non-raw frames with first and third byte
    // exchanged on the bus, POP lines raw).
    const std::vector<std::string> writes = dulmtest::ChipWrites(daemon.logPath());
    const char* const expected[] = {"00 B8 00", "00 B7 00", "F1 B5 FF", "00 C5 00", "00 A5 00",
                                    "00 C3 00", "00 A4 11", "00 C8 00", "BF C4 D5", "00 85 00"};
    size_t at = 0;
    for (const char* frame : expected) {
        while (at < writes.size() && writes[at] != frame)
            ++at;
        ASSERT_LT(at, writes.size()) << "missing " << frame;
        if (std::string(frame) == "00 A4 11") {
            ASSERT_LT(at + 1, writes.size());
            EXPECT_EQ(writes[at + 1].size(), 51u * 3 - 1);
        }
        ++at;
    }
    // The POP file beside the module ran (its lines raw, never exchanged).
    EXPECT_NE(std::find(writes.begin(), writes.end(), "F3 AB FF"), writes.end());

    // The AEQ file beside the module reached the chip in the full run (AEQ
    // off: the block alone) and again when the AEQ was switched on (then
    // with the end of the load): one section of 0.5 and -0.25, the header
    // word 3 + 1, each 3-byte group with its first and third byte exchanged.
    const std::string aeqData = "00 00 04 00 00 00 00 00 00 40 00 00 00 00 00 00 00 00 E0 00 00";
    std::vector<size_t> blocks;
    for (size_t i = 0; i + 1 < writes.size(); ++i)
        if (writes[i] == "00 A3 07") {
            EXPECT_EQ(writes[i + 1], aeqData) << i;
            blocks.push_back(i);
        }
    ASSERT_EQ(blocks.size(), 2u);
    const size_t runEnd =
        static_cast<size_t>(std::find(writes.begin(), writes.end(), "00 85 00") - writes.begin());
    EXPECT_LT(blocks[0], runEnd);
    EXPECT_NE(writes[blocks[0] + 2], "00 E6 00");
    EXPECT_GT(blocks[1], runEnd);
    ASSERT_LT(blocks[1] + 2, writes.size());
    EXPECT_EQ(writes[blocks[1] + 2], "00 E6 00");
    fs::remove_all(dir);
}

} // namespace
