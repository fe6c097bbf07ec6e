#include "hosting/VellixClient.h"

#include "registry/KVRegistry.h"
#include "testsupport/ScopedEnv.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using Vellix::CConfigurationParameters;

namespace {

class VellixGlue : public ::testing::Test {
protected:
    ~VellixGlue() override {
        while (VellixClientReferences() > 0)
            UnloadVellixClient();
        fs::remove_all(folder);
    }

    void SetDWORD(const char* name, uint32_t value) {
        KVHKEY key = Key();
        ASSERT_EQ(KVRegSetDWORD(key, name, value), KV_REG_SUCCESS);
        KVRegCloseKey(key);
    }
    void SetText(const char* name, const std::string& text) {
        KVHKEY key = Key();
        ASSERT_EQ(KVRegSetString(key, name, text), KV_REG_SUCCESS);
        KVRegCloseKey(key);
    }
    KVHKEY Key() {
        KVHKEY key = nullptr;
        EXPECT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, CConfigurationParameters::kKey, &key),
                  KV_REG_SUCCESS);
        return key;
    }
    std::string Log() const {
        std::ifstream in(folder / "calls.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool IsMapped(const char* path) {
        void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr)
            dlclose(handle);
        return handle != nullptr;
    }

    fs::path folder = [] {
        std::string pattern = fs::temp_directory_path().string() + "/kvvxXXXXXX";
        return fs::path(mkdtemp(pattern.data()));
    }();
    ScopedEnv registry{"QUORL_REGISTRY_DIR", (folder / "registry").string()};
    ScopedEnv log{"KV_VELLIX_LOG", (folder / "calls.log").string()};
};

TEST_F(VellixGlue, SettingsDefaultsBoundsAndTypes) {
    {
        const CConfigurationParameters defaults;
        long number = 0;
        EXPECT_TRUE(defaults.GetLong("LatencySamples", number));
        EXPECT_EQ(number, 2048);
        std::string text;
        EXPECT_TRUE(defaults.GetString("SubnetMask", text));
        EXPECT_EQ(text, "255.0.0.0");
        EXPECT_TRUE(defaults.GetPath("DebugLog_Path", text));
        EXPECT_EQ(text, "./");
        bool flag = true;
        EXPECT_TRUE(defaults.GetBool("DebugLog_Enabled", flag));
        EXPECT_FALSE(flag);
        EXPECT_FALSE(defaults.GetLong("NoSuchValue", number));
        EXPECT_EQ(number, 2048);
        EXPECT_THROW(defaults.GetStringValue("LatencySamples"),
                     CConfigurationParameters::unknown_parameter_error);
    }
    struct Case {
        const char* name;
        uint32_t stored;
        long read;
    };
    const Case cases[] = {
        {"LatencySamples", 100, 2048},
        {"LatencySamples", 4096, 4096},
        {"AudioTransport_SamplesPerPacketQuantum", 0, 0},
        {"AudioTransport_SamplesPerPacketQuantum", 65, 16},
        {"RX_Computation", 3999999999u, 3999999999l},
    };
    for (const Case& c : cases) {
        SetDWORD(c.name, c.stored);
        long number = -1;
        EXPECT_TRUE(CConfigurationParameters().GetLong(c.name, number));
        EXPECT_EQ(number, c.read) << c.name << " stored as " << c.stored;
    }
    SetDWORD("DebugLog_Enabled", 7);
    SetText("PerformanceLog_Path", "C:\\logs\\vx");
    SetText("IPAddress", "");
    SetText("Debug_Audio_ClientLoopback", "1"); // not a DWORD: ignored
    const CConfigurationParameters read;
    bool flag = false;
    EXPECT_TRUE(read.GetBool("DebugLog_Enabled", flag));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(read.GetBool("Debug_Audio_ClientLoopback", flag));
    EXPECT_FALSE(flag);
    std::string text;
    EXPECT_TRUE(read.GetPath("PerformanceLog_Path", text));
    EXPECT_EQ(text, "C:/logs/vx");
    EXPECT_TRUE(read.GetString("IPAddress", text));
    EXPECT_EQ(text, "") << "an empty text still holds its terminator";

    CConfigurationParameters writer;
    EXPECT_TRUE(writer.SetLatencySamples(512));
    long number = 0;
    writer.GetLong("LatencySamples", number);
    EXPECT_EQ(number, 4096) << "the settings read stay";
    CConfigurationParameters().GetLong("LatencySamples", number);
    EXPECT_EQ(number, 512);

    EXPECT_EQ(CConfigurationParameters::AppendPathComponent("a", "b"), "a/b");
    EXPECT_EQ(CConfigurationParameters::AppendPathComponent("a/", "b"), "a/b");
    EXPECT_EQ(CConfigurationParameters::AppendPathComponent("a", "/b"), "a/b");
    EXPECT_EQ(CConfigurationParameters::AppendPathComponent("", "b"), "b");
    EXPECT_EQ(CConfigurationParameters::AppendPathComponent("a", ""), "a");
}

TEST_F(VellixGlue, LoadingCountsReferencesAndCleansUpAfterTheLast) {
    EXPECT_FALSE(LoadVellixClient()) << "no path configured";
    EXPECT_FALSE(IsVellixActive());
    SetText("VXClientPath", "");
    EXPECT_FALSE(LoadVellixClient());
    EXPECT_FALSE(UnloadVellixClient());

    SetText("VXClientPath", KV_VELLIX_COMPLETE);
    EXPECT_TRUE(LoadVellixClient());
    EXPECT_TRUE(LoadVellixClient());
    EXPECT_EQ(Log(), "Initialize\n") << "a second load does not initialise again";
    EXPECT_TRUE(IsVellixActive());
    EXPECT_NE(VellixClientEntry("VX_VXNativeShellInfoPublic_setProcessMode"), nullptr);
    EXPECT_FALSE(UnloadVellixClient());
    EXPECT_EQ(Log(), "Initialize\n");
    EXPECT_TRUE(IsMapped(KV_VELLIX_COMPLETE));
    EXPECT_TRUE(UnloadVellixClient());
    EXPECT_EQ(Log(), "Initialize\nCleanup\n");
    EXPECT_FALSE(IsMapped(KV_VELLIX_COMPLETE));
    EXPECT_EQ(VellixClientEntry("Initialize"), nullptr);
    EXPECT_FALSE(IsVellixActive());
}

TEST_F(VellixGlue, AMissingNameOrAFailedInitializeKeepsNothing) {
    for (const char* path : {KV_VELLIX_MISSING, KV_VELLIX_INITFAIL}) {
        SCOPED_TRACE(path);
        SetText("VXClientPath", path);
        EXPECT_FALSE(LoadVellixClient());
        EXPECT_EQ(VellixClientReferences(), 0);
        EXPECT_EQ(VellixClientEntry("IsVellixActive"), nullptr);
        EXPECT_FALSE(IsVellixActive());
        EXPECT_FALSE(IsMapped(path));
    }
    EXPECT_EQ(Log(), "Initialize\n") << "only the failing variant got as far";
}

} // namespace
