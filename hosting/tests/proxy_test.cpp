#include "hosting/HostCallbacks.h"
#include "hosting/PluginInstanceProxy.h"

#include "foundation/RM.h"

#include <gmock/gmock.h>

#include <dlfcn.h>

#include <string>

namespace {

// The test plug-in's own exports, reached while it is loaded.
struct TestPlugin {
    explicit TestPlugin(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {}
    ~TestPlugin() {
        if (handle != nullptr)
            dlclose(handle);
    }
    std::string Log() const {
        auto log = reinterpret_cast<const char* (*)()>(dlsym(handle, "kv_test_log"));
        return log ? log() : "<not loaded>";
    }
    void Reset() const { reinterpret_cast<void (*)()>(dlsym(handle, "kv_test_reset"))(); }
    void Inject(const char* entry, int32_t status) const {
        reinterpret_cast<void (*)(const char*, int32_t)>(dlsym(handle, "kv_test_inject"))(entry,
                                                                                          status);
    }
    void* handle;
};

QuorlComponentInfo Complete() {
    QuorlComponentInfo c;
    c.Path() = kvFM::KCStPath(KV_PLUGIN_COMPLETE);
    c.componentType = KV_FOURCC("raPI");
    c.componentSubType = KV_FOURCC("PQ5S");
    return c;
}

class InstanceProxy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RMInit(0), eNoErr); }
    void TearDown() override {
        proxy.DeleteInstance();
        proxy.Unload();
        EXPECT_EQ(RMDispose(), eNoErr);
    }
    KCPluginInstanceProxy proxy{Complete()};
};

TEST_F(InstanceProxy, StatefulOperationsKeepTheirRules) {
    EXPECT_EQ(proxy.CreateInstance(), eNoErr) << "before Load: the stored status, no call";
    EXPECT_FALSE(proxy.IsInstantiated());
    EXPECT_EQ(proxy.DeleteInstance(), eNoErr);

    ASSERT_EQ(proxy.Load(), eNoErr);
    EXPECT_TRUE(proxy.IsLoaded());
    EXPECT_NE(proxy.GetInstance()->module, nullptr);
    EXPECT_TRUE(proxy.GetInstance()->componentInfo == Complete());
    const TestPlugin plugin(KV_PLUGIN_COMPLETE);
    ASSERT_NE(plugin.handle, nullptr);
    plugin.Reset();

    EXPECT_EQ(proxy.CreateInstance(), eNoErr);
    EXPECT_EQ(proxy.CreateInstance(), eNoErr);
    EXPECT_EQ(plugin.Log(), "KP_CreateInstance\n") << "one instance";
    EXPECT_TRUE(proxy.IsInstantiated());

    plugin.Inject("KP_CreateGUI", -7);
    EXPECT_EQ(proxy.CreateGUI(), -7);
    EXPECT_FALSE(proxy.HasGUI());
    EXPECT_FALSE(proxy.IsValid());
    plugin.Inject("KP_CreateGUI", 0);
    EXPECT_EQ(proxy.CreateGUI(), eNoErr);
    EXPECT_TRUE(proxy.HasGUI());

    plugin.Inject("KP_SetWindow", -3);
    int windowStandIn = 0;
    auto* window = reinterpret_cast<KCWindow*>(&windowStandIn);
    EXPECT_EQ(proxy.SetWindow(window), 0) << "whatever the plug-in returned";
    EXPECT_EQ(proxy.GetWindowRecord(), window);

    plugin.Reset();
    EXPECT_EQ(proxy.DeleteInstance(), eNoErr);
    EXPECT_EQ(plugin.Log(), "KP_DeleteInstance\n");
    EXPECT_EQ(proxy.GetWindowRecord(), nullptr) << "cleared; the view owns the window";
    EXPECT_FALSE(proxy.IsInstantiated());
    EXPECT_EQ(proxy.CreateInstance(), eNoErr) << "a new instance after a delete";
    EXPECT_EQ(proxy.DeleteInstance(), eNoErr);

    EXPECT_EQ(proxy.Unload(), eNoErr);
    EXPECT_FALSE(proxy.IsLoaded());
    void* still = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(still, nullptr) << "the test's own reference keeps it";
    if (still)
        dlclose(still);
}

// A proxy over another's loader is loaded from the start and never unloads
// it; the component can be replaced or shifted, and the module looked up
// again through the resource manager while no instance exists.
TEST_F(InstanceProxy, SharedLoaderAndComponentChanges) {
    ASSERT_EQ(proxy.Load(), eNoErr);
    {
        KCPluginInstanceProxy shared(proxy.GetLoader());
        EXPECT_TRUE(shared.SharesLoader());
        EXPECT_TRUE(shared.IsLoaded());
        EXPECT_EQ(shared.GetInstance()->module, proxy.GetInstance()->module);
        EXPECT_EQ(shared.CreateInstance(), eNoErr);
        EXPECT_TRUE(shared.IsInstantiated());
        EXPECT_EQ(shared.DeleteInstance(), eNoErr);
        EXPECT_EQ(shared.Unload(), eNoErr);
        EXPECT_TRUE(shared.IsLoaded()) << "a shared loader is never unloaded";
    }
    EXPECT_TRUE(proxy.GetLoader().IsLoaded());

    KTNativeContainerType* expected = nullptr;
    ASSERT_EQ(RMGetNativeContainer(proxy.GetLoader().GetResContainer(), expected), eNoErr);
    proxy.GetInstance()->module = nullptr;
    EXPECT_EQ(proxy.SetModuleFromResourceManager(), eNoErr);
    EXPECT_EQ(proxy.GetInstance()->module, expected);
    ASSERT_EQ(proxy.CreateInstance(), eNoErr);
    proxy.GetInstance()->module = nullptr;
    EXPECT_EQ(proxy.SetModuleFromResourceManager(), eNoErr) << "the stored status";
    EXPECT_EQ(proxy.GetInstance()->module, nullptr) << "not while an instance exists";
    proxy.GetInstance()->module = expected;

    QuorlComponentInfo other = Complete();
    other.componentSubType = KV_FOURCC("PQ9S");
    proxy.SetComponent(other);
    EXPECT_EQ(proxy.GetComponentSubType().Get(), KV_FOURCC("PQ9S"));
    EXPECT_TRUE(proxy.GetInstance()->componentInfo == other);
    proxy.OffsetSubType(2);
    EXPECT_EQ(proxy.GetComponentSubType().Get(),
              OffsetOSTypeAlphanumerically(KCFourCC(KV_FOURCC("PQ9S")), 2).Get());
    EXPECT_TRUE(proxy.GetInstance()->componentInfo == proxy.GetComponent());

    for (const auto& [type, networked] :
         {std::pair{KV_FOURCC("raPI"), false}, std::pair{KV_FOURCC("vxPI"), true}}) {
        QuorlComponentInfo c = Complete();
        c.componentType = type;
        EXPECT_EQ(KCPluginInstanceProxy(c).IsNetworkedShell(), networked) << type;
    }
}

TEST_F(InstanceProxy, NativeMemoryAndProcessFunctionFromThePlugin) {
    ASSERT_EQ(proxy.Load(), eNoErr);
    ASSERT_EQ(proxy.CreateInstance(), eNoErr);
    const TestPlugin plugin(KV_PLUGIN_COMPLETE);
    plugin.Reset();

    KCNativeProcessMemory memory;
    ASSERT_EQ(proxy.QuerySizes(memory), eNoErr);
    EXPECT_EQ(memory.instanceDataSize, 20);
    EXPECT_EQ(memory.coefficientSize, 8);
    EXPECT_EQ(memory.statesSize, 12);
    ASSERT_EQ(memory.externBuffers.size(), 2u);
    EXPECT_EQ(memory.externBytes, 12 + 80);
    ASSERT_EQ(proxy.Allocate(memory), eNoErr);
    EXPECT_EQ(memory.externTable[1].size, 80);

    KCNativeProcessFunc holder;
    EXPECT_FALSE(holder.IsValid());
    ASSERT_EQ(proxy.LoadNativeProcessFunc(holder), eNoErr);
    ASSERT_NE(holder.GetMainProcessFunc(), nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(holder.GetMainProcessFunc()),
              dlsym(plugin.handle, "TestProcess"));

    EXPECT_EQ(plugin.Log(), "KP_GetPluginInfo size/abst\nKP_GetPluginInfo size/coef\n"
                            "KP_GetPluginInfo size/stat\nKP_GetPluginInfo numb/ebuf\n"
                            "KP_GetPluginInfo fill/ebuf\nKP_SetPluginInfo ebuf/ebuf(2)\n"
                            "KP_GetPluginInfo gstr/sPTP\nKP_GetPluginInfo gstr/sPFN\n");

    // A gain through the active coefficients.
    const float gain = 0.5f;
    std::memcpy(memory.ActiveCoefficients(), &gain, sizeof gain);
    float in[4] = {1, 2, 3, 4}, out[4] = {};
    QuorlSoundBuf input{in, 1, 1, 0, 0}, output{out, 1, 1, 0, 0};
    int32_t result = 9;
    holder.GetMainProcessFunc()(&input, 1, 4, &output, 1, &result, memory.ActiveCoefficients(),
                                memory.states, memory.externTable, nullptr);
    EXPECT_EQ(out[3], 2.0f);
    EXPECT_EQ(result, 0);
    holder.UnloadProcessFunc();
    EXPECT_EQ(holder.GetMainProcessFunc(), nullptr);

    plugin.Inject("KP_GetPluginInfo", -12);
    KCNativeProcessMemory refused;
    EXPECT_EQ(proxy.QuerySizes(refused), -12);
}

TEST_F(InstanceProxy, InitAlgToHardwarePassesTheCallbackAndToken) {
    ASSERT_EQ(proxy.Load(), eNoErr);
    ASSERT_EQ(proxy.CreateInstance(), eNoErr);
    KCNativeProcessMemory memory;
    KCCallBackNativePR callbacks(&memory);
    EXPECT_EQ(proxy.InitAlgToHardware(44100, callbacks.GetToken()), 0);
    const TestPlugin plugin(KV_PLUGIN_COMPLETE);
    EXPECT_NE(plugin.Log().find("KP_InitAlgToHardware"), std::string::npos);

    std::vector<char> chunk;
    EXPECT_EQ(proxy.CopyChunk(chunk), 0);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), "CHUNK");
    EXPECT_NE(plugin.Log().find("KP_GetChunk XPst"), std::string::npos);
    plugin.Inject("KP_GetChunk", -4);
    EXPECT_EQ(proxy.CopyChunk(chunk), -4);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), "CHUNK") << "nothing copied";

    KCPluginInstanceProxy unloaded(Complete());
    EXPECT_EQ(unloaded.Call<&SPluginEntryPoints::KP_DoIdle>(), eGenericErr);
}

} // namespace

namespace {

struct NameReader : kvXML::CXMLable {
    void ReadFromXML(const kvXML::CXMLElement* element) override {
        root = element->name.c_str();
        if (!element->children.empty())
            text = element->children.front()->text;
    }
    std::string root, text;
};

} // namespace

TEST_F(InstanceProxy, ReadsItsOwnXmlAndExternBufferDescriptions) {
    ASSERT_EQ(proxy.Load(), eNoErr);
    ASSERT_EQ(proxy.CreateInstance(), eNoErr);
    NameReader reader;
    EXPECT_EQ(proxy.ReadInfoXML(reader), eNoErr);
    EXPECT_EQ(reader.root, "ProcCode");
    EXPECT_EQ(reader.text, "Test");

    std::vector<sEXT_BUFF> buffers;
    ASSERT_EQ(proxy.GetExternBuffers(buffers), eNoErr);
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(buffers[1].MemSpace, KV_FOURCC("LMEM"));
    EXPECT_EQ(buffers[1].Count, 10);

    TestPlugin plugin(KV_PLUGIN_COMPLETE);
    plugin.Inject("KP_GetPluginInfo", 7);
    EXPECT_EQ(proxy.ReadInfoXML(reader), 7);
    EXPECT_EQ(proxy.GetExternBuffers(buffers), 7);
    EXPECT_TRUE(buffers.empty());
    plugin.Inject("KP_GetPluginInfo", 0);
}
