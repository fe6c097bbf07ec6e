#include "hosting/PluginInterface.h"
#include "hosting/PluginLoader.h"

#include "HostingFixture.h"

#include "foundation/RM.h"

#include <dlfcn.h>

namespace {

bool IsMapped(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

QuorlComponentInfo ComponentIn(const char* path) {
    QuorlComponentInfo c;
    c.Path() = kvFM::KCStPath(path);
    return c;
}

bool AllEntries(const SPluginEntryPoints& table, bool bound) {
    const auto* slots = reinterpret_cast<void* const*>(&table);
    for (size_t i = 0; i < kPluginEntryPointCount; ++i) {
        if ((slots[i] != nullptr) != bound)
            return false;
    }
    return true;
}

class PluginLoading : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RMInit(0), eNoErr); }
    void TearDown() override { EXPECT_EQ(RMDispose(), eNoErr); }
};

TEST_F(PluginLoading, EveryEntryIsBoundByNameAndUnloadingForgetsAll) {
    CPluginLoaderDL loader;
    EXPECT_TRUE(AllEntries(loader.Entries(), false));
    EXPECT_EQ(loader.Unload(), eNoErr) << "nothing held";

    ASSERT_EQ(loader.Load(ComponentIn(KV_PLUGIN_COMPLETE)), eNoErr);
    EXPECT_TRUE(loader.IsLoaded());
    EXPECT_TRUE(AllEntries(loader.Entries(), true));
    void* self = dlopen(KV_PLUGIN_COMPLETE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(loader.Entries().KP_UpdatePar), dlsym(self, "KP_UpdatePar"));
    EXPECT_EQ(reinterpret_cast<void*>(loader.Entries().KP_GetVXProcessSize),
              dlsym(self, "KP_GetVXProcessSize"));
    EXPECT_EQ(loader.GetEntry("KP_CreateInstance"), dlsym(self, "KP_CreateInstance"));
    dlclose(self);
    ASSERT_NE(loader.GetResContainer(), nullptr);
    EXPECT_TRUE(RMDoesNativeResourceExist(loader.GetResContainer(), KV_FOURCC("Xinf"), 1000));
    PluginInstance instance;
    EXPECT_EQ(loader.Entries().KP_CreateInstance(&instance), 0);

    EXPECT_EQ(loader.Unload(), eNoErr);
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(loader.GetResContainer(), nullptr);
    EXPECT_TRUE(AllEntries(loader.Entries(), false));
    EXPECT_EQ(loader.GetEntry("KP_UpdatePar"), nullptr);
    EXPECT_FALSE(IsMapped(KV_PLUGIN_COMPLETE));
}

TEST_F(PluginLoading, AFailedLoadKeepsNothing) {
    struct Case {
        const char* path;
        KTErr status;
    };
    for (const Case& c :
         {Case{KV_PLUGIN_MISSING, eGenericErr}, Case{"/nowhere/libMissing.so", eFMFileNotFound}}) {
        SCOPED_TRACE(c.path);
        CPluginLoaderDL loader;
        EXPECT_EQ(loader.Load(ComponentIn(c.path)), c.status);
        EXPECT_FALSE(loader.IsLoaded());
        EXPECT_EQ(loader.GetResContainer(), nullptr);
        EXPECT_TRUE(AllEntries(loader.Entries(), false));
        EXPECT_FALSE(IsMapped(c.path));
    }
}

TEST(PluginInstanceRecord, StartsEmptyWithTheDefaultComponent) {
    PluginInstance instance;
    EXPECT_EQ(instance.reserved, 0);
    EXPECT_TRUE(instance.componentInfo == QuorlComponentInfo());
    EXPECT_EQ(instance.module, nullptr);
    EXPECT_EQ(instance.algorithm, nullptr);
    EXPECT_EQ(instance.gui, nullptr);
    EXPECT_EQ(instance.window, nullptr);
    EXPECT_EQ(instance.viewRect.top, 0);
    EXPECT_EQ(instance.viewRect.right, 0);
    EXPECT_EQ(instance.idleStarted, 0);
    EXPECT_EQ(instance.GetVersion(), 0);
    instance.SetVersion(7);
    EXPECT_EQ(instance.GetVersion(), 7);
    EXPECT_STREQ(kPluginEntryPointNames[0], "KP_CreateInstance");
    EXPECT_STREQ(kPluginEntryPointNames[58], "KP_GetVXProcessSize");
}

} // namespace
