#include "hosting/PluginScanner.h"
#include "hosting/ShellPreferences.h"

#include "HostingFixture.h"

#include "foundation/kvFMDialogs.h"
#include "registry/KVRegistry.h"
#include "testsupport/ScopedEnv.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using kvFM::KCStPath;
using ::testing::ElementsAre;

namespace {

// A folder of its own for each test, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = fs::temp_directory_path().string() + "/kvscanXXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path operator/(const std::string& leaf) const { return path / leaf; }
    fs::path path;
};

class PluginScanning : public HostingResources {
protected:
    void SetUp() override {
        HostingResources::SetUp();
        ASSERT_EQ(spec.ReadFromResource(host), eNoErr);
        fs::create_directories(plugins.path);
        fs::create_directories(empty.path);
        fs::copy_file(KV_HOSTING_FIXTURE_PLUGIN, plugins / "libPEQ.so");
        fs::copy_file(KV_HOSTING_FIXTURE_NOINFO, plugins / "libNoInfo.so");
        fs::copy_file(KV_HOSTING_FIXTURE_API38, plugins / "libOldAPI.so");
        fs::copy_file(KV_HOSTING_FIXTURE_PDPI, plugins / "libDSPOnly.so");
        fs::copy_file(KV_HOSTING_FIXTURE_MARKER, plugins / "libMarker.so");
        std::ofstream(plugins / "ReadMe.txt") << "not a plug-in\n";
    }

    KCStPath Path(const fs::path& p) const { return KCStPath(p.string()); }

    static void ExpectPEQComponents(const KCQuorlComponentInfoList& list) {
        ASSERT_EQ(list.Count(), 2u);
        EXPECT_EQ(list.components[0].componentType.Get(), KV_FOURCC("raPI"));
        EXPECT_EQ(list.components[1].componentType.Get(), KV_FOURCC("vxPI"));
        for (const QuorlComponentInfo& c : list.components) {
            EXPECT_EQ(c.componentSubType.Get(), KV_FOURCC("PQ5S"));
            ASSERT_NE(c.compProcCodeDesc, nullptr);
            EXPECT_STREQ(c.compProcCodeDesc->GetProcessFuncName(), "PEQSproc");
            EXPECT_EQ(c.compProcCodeDesc->ExternBuffDescs().size(), 1u);
        }
    }

    KCPluginLoadSpec spec;
    TempDir scratch;
    TempDir plugins, empty;
    ScopedEnv config{"XDG_CONFIG_HOME", (scratch / "config").string()};
    ScopedEnv registry{"QUORL_REGISTRY_DIR", (scratch / "registry").string()};
    ScopedEnv marker{"KV_HOSTING_MARKER_FILE", (scratch / "marker").string()};
};

struct Found {
    std::vector<std::string> names;
    static void Hook(void* user, const QuorlComponentInfo& c, KTResContainerType* container) {
        EXPECT_NE(container, nullptr);
        static_cast<Found*>(user)->names.push_back(FourCCToString(c.componentType));
    }
};

TEST_F(PluginScanning, OnlyTheCompletePluginContributesAndNothingRuns) {
    KCPluginDiskScanner scanner;
    scanner.SetLoadSpec(spec);
    scanner.SetFolder(Path(plugins.path));
    Found found;
    scanner.SetComponentFoundHook(Found::Hook, &found);
    std::vector<size_t> progress;
    scanner.SetProgressObserver(
        [&](const KCStPath&, size_t item, size_t count) { progress.push_back(item * 10 + count); });

    KCQuorlComponentInfoList list;
    EXPECT_EQ(scanner.CreateList(list), eNoErr);
    ExpectPEQComponents(list);
    EXPECT_EQ(scanner.NumberOfPluginFiles(), 1u);
    EXPECT_THAT(found.names, ElementsAre("raPI", "vxPI"));
    EXPECT_THAT(progress, ElementsAre(16, 26, 36, 46, 56, 66));
    EXPECT_EQ(scanner.GetListSourceName(), plugins.path.string());
    EXPECT_FALSE(fs::exists(scratch / "marker")) << "no library was loaded";
}

TEST_F(PluginScanning, FilesAndFoldersThatGiveNothing) {
    KCPluginDiskScanner scanner;
    scanner.SetLoadSpec(spec);
    KCQuorlComponentInfoList list;
    struct Case {
        const char* file;
        KTErr status;
    };
    for (const Case& c : {Case{"libNoInfo.so", eNotAPluginFile}, Case{"libOldAPI.so", eNoErr},
                          Case{"libDSPOnly.so", eNoErr}, Case{"ReadMe.txt", eRMInvalidResContainer},
                          Case{"missing.so", eRMInvalidResContainer}}) {
        EXPECT_EQ(scanner.ScanFile(Path(plugins / c.file), list), c.status) << c.file;
    }
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(scanner.NumberOfPluginFiles(), 0u);

    scanner.SetFolder(Path(plugins / "nowhere"));
    EXPECT_EQ(scanner.CreateList(list), eFMFileNotFound);
    scanner.SetFolder(KCStPath());
    EXPECT_EQ(scanner.CreateList(list), eFMFileNotFound);
    scanner.SetFolder(Path(plugins / "ReadMe.txt"));
    EXPECT_EQ(scanner.CreateList(list), eFMIsNotAFolder);

    KCPluginDiskScanner refusing; // a fresh load specification accepts nothing
    refusing.SetFolder(Path(plugins.path));
    EXPECT_EQ(refusing.CreateList(list), eNoErr);
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(PluginScanning, ScannerTextsOfTheHost) {
    KCPluginDiskScannerWithGUI scanner(host);
    EXPECT_EQ(scanner.GetConstructionStatus(), eNoErr);
    EXPECT_EQ(scanner.GetPrefsFileName(), "Rigwell_Preferences_5.9.7a20");
    EXPECT_EQ(scanner.GetGUI().FolderSelectionDialogTitle, "Select Quorl 5.9.7a20 Plugins Folder");
    EXPECT_EQ(scanner.GetGUI().FolderSelectionDialogMessage,
              "Please Locate Quorl 5.9.7a20 Plugins Folder");
    EXPECT_EQ(scanner.GetGUI().PreferencesDialogTitle, "Quorl 5.9.7a20 Preferences");
    EXPECT_EQ(scanner.GetLoadSpec().GetThngs().size(), 5u);
    std::string name;
    EXPECT_EQ(KCPluginDiskScanner::ReadPrefsFileName(name, host), eNoErr);
    EXPECT_EQ(name, "Rigwell_Preferences_5.9.7a20");
    EXPECT_EQ(KCPluginDiskScanner::ReadPrefsFileName(name, plugin), eRMResNotFound);
}

void SetRegistryLocation(const std::string& location) {
    KVHKEY key = nullptr;
    ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorl", &key), KV_REG_SUCCESS);
    ASSERT_EQ(KVRegSetString(key, "Location", location), KV_REG_SUCCESS);
    KVRegCloseKey(key);
}

TEST_F(PluginScanning, RegistryFolder) {
    KCStPath path("/kept");
    EXPECT_EQ(GetPluginFolderFromRegistry(path), eFMFileNotFound);
    SetRegistryLocation("/a");
    EXPECT_EQ(GetPluginFolderFromRegistry(path), eMemNullPointer);
    EXPECT_EQ(path.GetPathString(), "/kept");
    SetRegistryLocation(plugins.path.string());
    EXPECT_EQ(GetPluginFolderFromRegistry(path), eNoErr);
    EXPECT_EQ(path.GetPathString(), plugins.path.string());
}

TEST_F(PluginScanning, PreferencesRememberOnlyAFolderThatGaveComponents) {
    const std::string prefsName = "ScanPrefs";
    const fs::path prefsFile = scratch / "config/Quorl Audio/Preferences" / prefsName;
    KCQuorlComponentInfoList list;
    {
        KCPluginDiskScannerWithPrefs scanner;
        scanner.SetLoadSpec(spec);
        scanner.SetPrefsFileName(prefsName);
        scanner.SetFolder(Path(empty.path));
        EXPECT_EQ(scanner.CreateList(list), eFMFileNotFound) << "no preferences, no registry";
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_FALSE(fs::exists(prefsFile));
    }
    {
        // The preferences name the folder; what else they hold is kept.
        KCShellPreferences prefs(prefsName);
        prefs.SetPluginFolderLocation(plugins.path.string());
        prefs.SetPluginManagerAddress("host", 80);
        ASSERT_EQ(prefs.Write(), eNoErr);
        KCPluginDiskScannerWithPrefs scanner;
        scanner.SetLoadSpec(spec);
        scanner.SetPrefsFileName(prefsName);
        scanner.SetFolder(Path(empty.path));
        EXPECT_EQ(scanner.CreateList(list), eNoErr);
        ExpectPEQComponents(list);
    }
    {
        // The registry's folder when the preferences name an empty one.
        list.Clear();
        KCShellPreferences prefs(prefsName);
        prefs.Read();
        prefs.SetPluginFolderLocation(empty.path.string());
        ASSERT_EQ(prefs.Write(), eNoErr);
        SetRegistryLocation(plugins.path.string());
        KCPluginDiskScannerWithPrefs scanner;
        scanner.SetLoadSpec(spec);
        scanner.SetPrefsFileName(prefsName);
        EXPECT_EQ(scanner.CreateList(list), eNoErr);
        ExpectPEQComponents(list);
        KCShellPreferences reread(prefsName);
        ASSERT_EQ(reread.Read(), eNoErr);
        std::string location, ip;
        uint16_t port = 0;
        EXPECT_TRUE(reread.GetPluginFolderLocation(location));
        EXPECT_EQ(location, plugins.path.string());
        EXPECT_TRUE(reread.GetPluginManagerAddress(ip, port));
        EXPECT_EQ(port, 80);
    }
}

class ScriptedDialogs {
public:
    ScriptedDialogs() : previous(kvFM::SetDialogService(&service)) {}
    ~ScriptedDialogs() { kvFM::SetDialogService(previous); }
    kvFM::KCScriptedDialogService service;

private:
    kvFM::KCDialogService* previous;
};

TEST_F(PluginScanning, TheWindowedScannerAsksUntilComponentsAreFound) {
    struct Case {
        const char* what;
        std::vector<std::string> answers; // "" cancels, "!" fails the dialog
        KTErr status;
        size_t components;
        size_t dialogs;
    };
    const std::string emptyFolder = empty.path.string(), pluginFolder = plugins.path.string();
    const Case cases[] = {
        {"cancel at once", {""}, eUserCanceled, 0, 1},
        {"an empty folder, then the plug-ins", {emptyFolder, pluginFolder}, eNoErr, 2, 2},
        {"a failing dialog ends the search", {"!"}, eFMFileNotFound, 0, 1},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialogs dialogs;
        for (const std::string& a : c.answers) {
            if (a == "!")
                dialogs.service.PushFailure(eFMFileNotFound);
            else if (a.empty())
                dialogs.service.PushCancel();
            else
                dialogs.service.Push(a);
        }
        KCPluginDiskScannerWithGUI scanner(host);
        scanner.SetPrefsFileName("WindowedPrefs" + std::to_string(++run));
        KCQuorlComponentInfoList list;
        EXPECT_EQ(scanner.CreateList(list), c.status);
        EXPECT_EQ(list.Count(), c.components);
        ASSERT_EQ(dialogs.service.shown.size(), c.dialogs);
        EXPECT_EQ(dialogs.service.shown[0].options.title, "Select Quorl 5.9.7a20 Plugins Folder");
        EXPECT_EQ(dialogs.service.shown[0].options.flags, kvFM::eDialogSelectFolder);
    }

    // Without any dialog service (headless) the search ends at once.
    kvFM::KCDialogService* previous = kvFM::SetDialogService(nullptr);
    KCPluginDiskScannerWithGUI scanner(host);
    KCQuorlComponentInfoList list;
    EXPECT_EQ(scanner.CreateList(list), eGenericErr);
    kvFM::SetDialogService(previous);
}

} // namespace
