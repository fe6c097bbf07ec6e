// User presets: real files in the user presets folder under
// $XDG_CONFIG_HOME, saved, listed, loaded and deleted through the preset
// menus; damaged and foreign files are refused and lose nothing.
#include "TestXML.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMDialogs.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "guilib/Presets.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Rejects saving a preset named "Locked" and lists no preset named "Hidden";
// names a folder of dynamic factory presets when one is set.
class FilteringAlg : public cALGORITHM {
public:
    FilteringAlg() : cALGORITHM(nullptr, nullptr) {}
    long
    GetPluginDynamicFactoryPresetsDirectories(std::vector<KCDynamicFactoryPreset>& out) override {
        if (dynamicFolder.empty())
            return -1;
        out.push_back({kvFM::KCStPath(dynamicFolder), "Rooms"});
        return 0;
    }
    std::string dynamicFolder;
    EReplyFromPresetFilter QueryPresetFilterSelf(EQueryPresetFilter query, std::string* name,
                                                 CPresetInfo*, long) override {
        if ((query == eQueryPresetFilterSave && name && *name == "Locked") ||
            (query == eQueryPresetFilterShow && name && *name == "Hidden"))
            return eReplyFromPresetFilterReject;
        return eReplyFromPresetFilterAccept;
    }
};

class UserPresets : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        root = fs::path(tmp ? tmp : "/tmp") /
               ("guilib-presets-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        const char* old = std::getenv("XDG_CONFIG_HOME");
        oldConfig = old ? old : "";
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        ASSERT_EQ(alg.FinishCreate(), 0);
        ASSERT_EQ(ReadParameterList(testxml::Parse(R"(<Parameter_List>
 <Parameter Name="GAIN"><Scale><Minimum>-12</Minimum><Maximum>12</Maximum><Resolution>0.5</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">0</InitialValue></Parameter>
 <Parameter Name="ON"><Scale><Minimum>0</Minimum><Maximum>1</Maximum><Resolution>2</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">0</InitialValue></Parameter>
 <Parameter Name="LINK"><Scale><Minimum>0</Minimum><Maximum>1</Maximum><Resolution>2</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">0</InitialValue>
  <Flags><NotSavable/></Flags></Parameter>
</Parameter_List>)"),
                                    *alg.GetParamVector()),
                  0);
        Presets().SetPluginName("TestPlug");
    }
    void TearDown() override {
        kvFM::SetDialogService(nullptr);
        KCMenuEx::SetChooser(nullptr);
        if (oldConfig.empty())
            ::unsetenv("XDG_CONFIG_HOME");
        else
            ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
        fs::remove_all(root);
    }
    CPresetsManager& Presets() { return *alg.GetPresetsManager(); }
    fs::path Folder() const { return root / "Quorl Audio" / "Presets" / "TestPlug"; }
    void Set(double gain, double on, double link) {
        alg.SetParamState(0, alg.GetParamVector()->at(0).RealWorldToState(gain));
        alg.SetParamState(1, on);
        alg.SetParamState(2, link);
    }
    double RealWorld(size_t p) { return alg.GetParamVector()->at(p).realWorld[0]; }
    static std::string Read(const fs::path& p) {
        std::string text;
        kvFM::ReadRegularFile(p.string(), text);
        return text;
    }
    // Opens the load menu and picks the item whose title is `title`;
    // returns the titles shown.
    std::vector<std::string> PickFromLoadMenu(const std::string& title) {
        std::vector<std::string> titles;
        KCMenuEx::SetChooser([&](const KCMenuEx& menu) {
            long chosen = -1;
            for (const KCMenuEx::Item& item : menu.GetItems()) {
                titles.push_back(item.title);
                if (item.title == title && !item.disabled && chosen < 0)
                    chosen = item.command;
            }
            return chosen;
        });
        Presets().LoadPresetMenu(CPublicAlg(&alg), KCPoint<short>(0, 0));
        return titles;
    }

    fs::path root;
    std::string oldConfig;
    FilteringAlg alg;
};

TEST_F(UserPresets, SaveListLoadAndDeleteThroughTheFileAndTheMenus) {
    Set(6, 1, 1);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Mine"), 0);
    Set(-3, 0, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Mine"), 0);
    const fs::path file = Folder() / "User Presets.xml";
    ASSERT_TRUE(fs::is_regular_file(file));
    const std::string text = Read(file);
    EXPECT_NE(text.find("Name=\"Mine 2\""), std::string::npos) << text;
    EXPECT_NE(text.find("<PluginName>TestPlug</PluginName>"), std::string::npos);
    EXPECT_NE(text.find(">6 1 *<"), std::string::npos) << text; // not savable: left out

    // Opened again, the file's presets are listed in the load menu.
    alg.GetPresetsManager()->UserPresetFile_Open(CPublicAlg(&alg), kvFM::KCStPath(file.string()));
    Set(0, 0, 1);
    const std::vector<std::string> titles = PickFromLoadMenu("Mine");
    EXPECT_EQ(RealWorld(0), 6.0);
    EXPECT_EQ(RealWorld(1), 1.0);
    EXPECT_EQ(RealWorld(2), 1.0); // a value the preset leaves out stays
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Mine 2"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Open User Presets File..."), titles.end());

    // Deleting from the delete list rewrites the file.
    KCMenuEx::SetChooser([](const KCMenuEx&) {
        return static_cast<long>(CPresetsManager::kCmdDeleteBase); // the first user preset
    });
    Presets().LoadPresetMenu(CPublicAlg(&alg), KCPoint<short>(0, 0));
    ASSERT_EQ(Presets().UserPresets().size(), 1u);
    EXPECT_EQ(Presets().UserPresets().front()->GetPresetName(), "Mine 2");
    EXPECT_EQ(Read(file).find("Name=\"Mine\""), std::string::npos);
}

TEST_F(UserPresets, DamagedForeignAndOddFilesAreRefusedAndLoseNothing) {
    Set(3, 1, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Kept"), 0);
    const std::string kept = Read(Folder() / "User Presets.xml");
    struct Case {
        const char* name;
        std::string content; // empty: make a folder of that name
        long status;
    };
    const std::vector<Case> cases = {
        {"garbage.xml", "<PresetXMLTree version=\"1\"><Preset", ePresetFileProblem},
        {"folder.xml", "", eFMIsAFolder},
        {"other.xml", "<Settings/>", eInvalidFileFormatProblem},
        {"foreign.xml",
         "<PresetXMLTree version=\"1\"><Preset Name=\"X\"><PresetHeader><PluginName>Other"
         "</PluginName></PresetHeader><PresetData Setup=\"CURRENT\"><Parameters "
         "Type=\"RealWorld\">1 1 1</Parameters></PresetData></Preset></PresetXMLTree>",
         eInvalidFileFormatProblem},
    };
    for (const Case& c : cases) {
        const fs::path p = root / c.name;
        if (c.content.empty())
            fs::create_directories(p);
        else
            std::ofstream(p, std::ios::binary) << c.content;
        EXPECT_EQ(Presets().UserPresetFile_Open(CPublicAlg(&alg), kvFM::KCStPath(p.string())),
                  c.status)
            << c.name;
        ASSERT_EQ(Presets().UserPresets().size(), 1u) << c.name;
        EXPECT_EQ(Presets().UserPresets().front()->GetPresetName(), "Kept");
    }
    EXPECT_EQ(Read(Folder() / "User Presets.xml"), kept);
}

TEST_F(UserPresets, FilterAndSaveToANewFileThroughTheFileDialog) {
    // The plug-in's filter refuses the save and hides a preset.
    EXPECT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Locked"), ePresetLockedProblem);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Hidden"), 0);
    ASSERT_EQ(Presets().UserPresets().size(), 1u);
    std::vector<std::string> titles = PickFromLoadMenu("none");
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Hidden"), 0);

    kvFM::KCScriptedDialogService dialogs;
    kvFM::SetDialogService(&dialogs);
    const fs::path chosen = root / "elsewhere" / "Set A.xml";
    dialogs.Push(chosen.string());
    Set(9, 0, 0);
    ASSERT_EQ(Presets().RunSaveMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdSaveToNewFile),
              0);
    ASSERT_TRUE(fs::is_regular_file(chosen));
    EXPECT_EQ(Presets().GetUserPresetsFile().GetPath().GetPathString(), chosen.string());
    ASSERT_EQ(Presets().UserPresets().size(), 1u);
    // A cancelled dialog changes nothing.
    dialogs.PushCancel();
    EXPECT_EQ(Presets().RunSaveMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdSaveToNewFile),
              eUserCanceled);
    EXPECT_EQ(Presets().GetUserPresetsFile().GetPath().GetPathString(), chosen.string());
}

TEST_F(UserPresets, DynamicFactoryGroupsAndTheDefaultPreset) {
    // A folder of the plug-in's own: two group files, one damaged.
    const fs::path folder = root / "rooms";
    fs::create_directories(folder);
    std::ofstream(folder / "Hall.xml")
        << "<PresetXMLTree version=\"1\"><Preset Name=\"Big\"><PresetHeader><PluginName>TestPlug"
           "</PluginName></PresetHeader><PresetData Setup=\"CURRENT\"><Parameters "
           "Type=\"RealWorld\">-6 1 *</Parameters></PresetData></Preset></PresetXMLTree>";
    std::ofstream(folder / "Broken.xml") << "<PresetXMLTree";
    alg.dynamicFolder = folder.string();
    Set(0, 0, 0);
    const std::vector<std::string> titles = PickFromLoadMenu("Big");
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Rooms - Hall"), titles.end());
    EXPECT_EQ(std::find(titles.begin(), titles.end(), "Rooms - Broken"), titles.end());
    EXPECT_EQ(RealWorld(0), -6.0);
    ASSERT_EQ(Presets().DynamicPresets().size(), 1u);
    EXPECT_TRUE(Presets().DynamicPresets().front()->GetFlag(ePresetReadOnly));

    // The default preset: saved, then loaded back over other values.
    Set(3, 1, 0);
    ASSERT_EQ(Presets().RunSaveMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdSaveAsDefault),
              0);
    EXPECT_TRUE(fs::is_regular_file(Folder() / "Default Preset.xml"));
    Set(-9, 0, 0);
    ASSERT_EQ(Presets().LoadPresetFromCurrentPresetSection(CPublicAlg(&alg), true), 0);
    EXPECT_EQ(RealWorld(0), 3.0);
    EXPECT_EQ(RealWorld(1), 1.0);
}

TEST(PresetRecords, MenuDescriptionsAndGroupsCopyTheirMembers) {
    CMenuDescription menu;
    menu.title = L"Presets";
    menu.items.emplace_back(L"One", 1, 0, 0);
    CMenuDescription copy = menu;
    copy.items.front().title = L"Changed";
    EXPECT_EQ(menu.items.front().title, L"One");

    CPresetsManager::KCDynamicFactoryPresetsJustInTime groups;
    SPresetGroupDesc group;
    group.name = "Group";
    group.presetNames = {"a", "b"};
    groups.groups.push_back(group);
    groups.folders.emplace_back("/tmp");
    CPresetsManager::KCDynamicFactoryPresetsJustInTime other = groups;
    other.groups.front().presetNames.pop_back();
    EXPECT_EQ(groups.groups.front().presetNames.size(), 2u);

    unsigned long index = 0;
    struct Step {
        bool next;
        unsigned long expected;
    };
    class Exposed : public CPresetsManager {
    public:
        using CPresetsManager::ComputePresetIndex;
    } manager;
    for (const Step& s : {Step{false, 2}, Step{true, 0}, Step{true, 1}}) {
        ASSERT_EQ(manager.ComputePresetIndex(index, s.next, 3), 0);
        EXPECT_EQ(index, s.expected);
    }
    EXPECT_NE(manager.ComputePresetIndex(index, true, 0), 0);
}

} // namespace
