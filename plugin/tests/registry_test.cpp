// The plug-in's registry settings in the file-backed store, in a
// temporary folder.
#include "plugin/RegistryEx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plugin_registry_test." + std::to_string(::getpid()) + "." +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ::setenv("QUORL_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(dir);
    }

    static bool KeyExists(const char* path) {
        KVHKEY key = nullptr;
        if (KVRegOpenKey(KV_HKEY_CURRENT_USER, path, &key) != KV_REG_SUCCESS)
            return false;
        KVRegCloseKey(key);
        return true;
    }

    fs::path dir;
};

TEST_F(RegistryTest, FirstStartCreatesTheKeyPathAndReadsEveryDefault) {
    SDulmSettings s;
    LoadDulmSettings(s);
    EXPECT_EQ(s.popType, 0u);
    EXPECT_EQ(s.popTypeEEPROMExt, 0u);
    EXPECT_EQ(s.popFilename, "");
    EXPECT_EQ(s.popFilenameEEPROM, "");
    EXPECT_EQ(s.popRunPath, "");
    EXPECT_EQ(s.maxBands, 10u);
    EXPECT_TRUE(KeyExists("Software\\Quorl Audio\\DulmDSP\\General"));
    EXPECT_TRUE(LoadPopRunHistory().empty());

    // The store's file is the user's alone.
    ASSERT_TRUE(SaveDulmSettings(s));
    struct stat st {};
    ASSERT_EQ(::stat(KVRegistryHiveFile(KV_HKEY_CURRENT_USER).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, SettingsSurviveARoundTripButTheBandLimitIsNeverWritten) {
    SDulmSettings s;
    s.popType = 2;
    s.popTypeEEPROMExt = 1;
    s.popFilename = "/home/user/pop/chip.pop";
    s.popFilenameEEPROM = "/home/user/pop/eeprom.pop";
    s.popRunPath = "/home/user/run";
    s.maxBands = 4;
    ASSERT_TRUE(SaveDulmSettings(s));

    SDulmSettings read;
    LoadDulmSettings(read);
    EXPECT_EQ(read.popType, 2u);
    EXPECT_EQ(read.popTypeEEPROMExt, 1u);
    EXPECT_EQ(read.popFilename, s.popFilename);
    EXPECT_EQ(read.popFilenameEEPROM, s.popFilenameEEPROM);
    EXPECT_EQ(read.popRunPath, s.popRunPath);
    EXPECT_EQ(read.maxBands, 10u);

    CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
    ASSERT_TRUE(registry.WriteDWORD("General", "MaxBands", 6));
    LoadDulmSettings(read);
    EXPECT_EQ(read.maxBands, 6u);
}

TEST_F(RegistryTest, MissingValuesLeaveTheCallersValueAlone) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
    uint32_t n = 77;
    EXPECT_FALSE(registry.ReadDWORD("PopType", n));
    EXPECT_EQ(n, 77u);
    std::string text = "keep";
    EXPECT_FALSE(registry.ReadString("PopFilename", text));
    EXPECT_EQ(text, "keep");
    char buffer[CRegistryEx::kTextBufferSize] = "old";
    EXPECT_TRUE(registry.ReadText("PopFilename", buffer));
    EXPECT_STREQ(buffer, "");

    // A value of another type is no value of the asked type.
    ASSERT_TRUE(registry.WriteText("PopType", "2"));
    EXPECT_FALSE(registry.ReadDWORD("PopType", n));
    EXPECT_EQ(n, 77u);
}

TEST_F(RegistryTest, NoTextDeletesTheValueAndNoNameDeletesTheGeneralKey) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
    ASSERT_TRUE(registry.WriteText("PopRunPath", "/tmp/run"));
    ASSERT_TRUE(registry.WriteDWORD("General", "PopType", 1));
    ASSERT_TRUE(registry.WriteDWORD("Other", "Kept", 3));

    EXPECT_TRUE(registry.WriteText("PopRunPath", nullptr));
    std::string text = "keep";
    EXPECT_FALSE(registry.ReadString("PopRunPath", text));
    uint32_t n = 0;
    EXPECT_TRUE(registry.ReadDWORD("PopType", n));

    // No value name: the "General" key goes with all its values; the
    // product's other keys stay.
    EXPECT_TRUE(registry.WriteText(nullptr, "x"));
    EXPECT_FALSE(KeyExists("Software\\Quorl Audio\\DulmDSP\\General"));
    EXPECT_TRUE(KeyExists("Software\\Quorl Audio\\DulmDSP\\Other"));
    // Deleting it again succeeds; reading makes it anew and finds nothing.
    EXPECT_TRUE(registry.WriteText(nullptr, nullptr));
    n = 9;
    EXPECT_FALSE(registry.ReadDWORD("PopType", n));
    EXPECT_EQ(n, 9u);
}

// The bare object takes root and company from the host program's string
// resource (this test program carries two).
TEST_F(RegistryTest, RootAndCompanyFromTheProgramsStringResource) {
    CRegistryEx registry;
    EXPECT_FALSE(registry.SetRootAndCompanyFromResource(99));
    EXPECT_FALSE(registry.WriteDWORD("General", "Value", 1));

    ASSERT_TRUE(registry.SetRootAndCompanyFromResource(7));
    EXPECT_EQ(registry.BaseKeyPath(), "Software\\Maker Audio");
    ASSERT_TRUE(registry.WriteDWORD("General", "Value", 1));
    EXPECT_TRUE(KeyExists("Software\\Maker Audio\\General"));
    // A missing resource changes nothing.
    EXPECT_FALSE(registry.SetRootAndCompanyFromResource(99));
    EXPECT_EQ(registry.BaseKeyPath(), "Software\\Maker Audio");

    // A longer text is cut to the text buffer, its terminator left out.
    CRegistryEx limited;
    ASSERT_TRUE(limited.SetRootAndCompanyFromResource(8));
    EXPECT_EQ(limited.BaseKeyPath(),
              "Software\\" + std::string(CRegistryEx::kTextBufferSize - 1, 'L'));
}

TEST_F(RegistryTest, RunHistoryIsStoredInListOrder) {
    const std::vector<std::string> paths = {"/a/one.pop", "/b/two.pop", "/c/three.pop"};
    ASSERT_TRUE(SavePopRunHistory(paths));
    CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
    uint32_t count = 0;
    ASSERT_TRUE(registry.ReadDWORD("PopRunHistoryCount", count));
    EXPECT_EQ(count, 3u);
    std::string second;
    ASSERT_TRUE(registry.ReadString("PopRunHistoryPath1", second));
    EXPECT_EQ(second, "/b/two.pop");
    EXPECT_EQ(LoadPopRunHistory(), paths);

    // Empty entries are skipped; a damaged count does not run away.
    ASSERT_TRUE(registry.WriteText("PopRunHistoryPath1", ""));
    ASSERT_TRUE(registry.WriteDWORD("General", "PopRunHistoryCount", 0xFFFFFFFFu));
    EXPECT_EQ(LoadPopRunHistory(), (std::vector<std::string>{"/a/one.pop", "/c/three.pop"}));
}

TEST_F(RegistryTest, BinaryValuesAndABareObject) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
    EXPECT_EQ(registry.BaseKeyPath(), "Software\\Quorl Audio\\DulmDSP");
    ASSERT_TRUE(registry.Write8Bytes("General", "Eight", 0x0102030405060708ull));
    uint64_t value = 0;
    ASSERT_TRUE(registry.Read8Bytes("General", "Eight", value));
    EXPECT_EQ(value, 0x0102030405060708ull);
    std::vector<uint8_t> data;
    ASSERT_TRUE(registry.ReadValue("General", "Eight", data));
    EXPECT_EQ(data.size(), 8u);

    CRegistryEx bare; // no names: nothing to open
    uint32_t n = 5;
    EXPECT_FALSE(bare.ReadDWORD("PopType", n));
    EXPECT_FALSE(bare.WriteDWORD("General", "PopType", 1));
    EXPECT_EQ(n, 5u);
}

TEST_F(RegistryTest, PopHistoryWithADamagedCountReadsWhatExists) {
    {
        CRegistryEx registry(KV_HKEY_CURRENT_USER, "Quorl Audio", "DulmDSP");
        ASSERT_TRUE(registry.WriteDWORD("General", "PopRunHistoryCount", 0xFFFFFFFFu));
        ASSERT_TRUE(registry.WriteText("PopRunHistoryPath0", "/x.pop"));
    }
    EXPECT_EQ(LoadPopRunHistory(), std::vector<std::string>{"/x.pop"});
}

} // namespace
