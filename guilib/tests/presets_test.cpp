// User presets: real files in the user presets folder under
// $XDG_CONFIG_HOME, saved, listed, loaded and deleted through the preset
// menus; damaged and foreign files are refused and lose nothing.
#include "TestXML.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMDialogs.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "guilib/MessageService.h"
#include "guilib/Presets.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
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

// The message boxes shown while it lives: caption, then text.
class ShownMessages {
public:
    ShownMessages() {
        old_ = KMMessageService::SetHandler(
            [this](const std::string& text, const std::string& caption, KMMessageService::Kind) {
                shown.push_back(caption + ": " + text);
                return static_cast<int>(KMMessageService::kOK);
            });
    }
    ~ShownMessages() { KMMessageService::SetHandler(old_); }
    std::vector<std::string> shown;

private:
    KMMessageService::Handler old_;
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
        Prepare(alg);
    }
    // The algorithm's parameters (gain, a switch, a switch that is not
    // saved) and its plug-in name.
    static void Prepare(FilteringAlg& alg) {
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
        alg.GetPresetsManager()->SetPluginName("TestPlug");
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
    // The names of the presets the user presets file holds.
    std::vector<std::string> NamesInFile() {
        FilteringAlg reader;
        Prepare(reader);
        const fs::path file = Folder() / "User Presets.xml";
        EXPECT_EQ(reader.GetPresetsManager()->UserPresetFile_Open(CPublicAlg(&reader),
                                                                  kvFM::KCStPath(file.string())),
                  0);
        std::vector<std::string> names;
        for (const auto& p : reader.GetPresetsManager()->UserPresets())
            names.push_back(p->GetPresetName());
        std::sort(names.begin(), names.end());
        return names;
    }
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

TEST_F(UserPresets, TwoWritersKeepEachOthersPresets) {
    // A second instance of the plug-in, with the same user presets file.
    FilteringAlg other;
    Prepare(other);
    Set(1, 1, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "First"), 0);
    ASSERT_EQ(other.GetPresetsManager()->SaveUserPreset(CPublicAlg(&other), "Second"), 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Third"), 0);
    EXPECT_EQ(NamesInFile(), (std::vector<std::string>{"First", "Second", "Third"}));
    // Each saver lists what the file holds, and names stay unique in it.
    EXPECT_EQ(Presets().UserPresets().size(), 3u);
    ASSERT_EQ(other.GetPresetsManager()->SaveUserPreset(CPublicAlg(&other), "First"), 0);
    EXPECT_EQ(NamesInFile(), (std::vector<std::string>{"First", "First 2", "Second", "Third"}));

    // A delete removes only its own preset, whatever the deleter read last.
    CPresetInfo* second = Presets().FindUserPreset("Second");
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(other.GetPresetsManager()->RunLoadMenuCommand(CPublicAlg(&other),
                                                            CPresetsManager::kCmdDeleteBase),
              0); // "First"
    ASSERT_EQ(Presets().RunLoadMenuCommand(CPublicAlg(&alg),
                                           CPresetsManager::kCmdDeleteBase +
                                               static_cast<long>(second->GetPresetIndex())),
              0);
    EXPECT_EQ(NamesInFile(), (std::vector<std::string>{"First 2", "Third"}));
    ASSERT_EQ(Presets().UserPresets().size(), 2u);
}

TEST_F(UserPresets, TwoProcessesSavingAtOnceLoseNothing) {
    Set(2, 0, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Start"), 0);
    constexpr int kEach = 15;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "Child " : "Parent ";
    int failures = 0;
    for (int i = 0; i < kEach; ++i)
        failures += Presets().SaveUserPreset(CPublicAlg(&alg), who + std::to_string(i)) != 0;
    if (child == 0)
        ::_exit(failures == 0 ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures, 0);
    const std::vector<std::string> names = NamesInFile();
    EXPECT_EQ(names.size(), 1u + 2 * kEach);
    for (int i = 0; i < kEach; ++i)
        for (const char* w : {"Child ", "Parent "})
            EXPECT_NE(std::find(names.begin(), names.end(), w + std::to_string(i)), names.end())
                << w << i;
}

TEST_F(UserPresets, ASaveNeverMakesTheFileTooLargeToRead) {
    // A file just under the reader's bound: presets with long version
    // texts, the last one's making up the rest.
    constexpr size_t kBound = CPresetsManager::kMaxPresetFileBytes;
    std::vector<CPresetInfo> presets(8);
    std::vector<const CPresetInfo*> list;
    for (CPresetInfo& p : presets) {
        p.SetPluginName("TestPlug");
        p.SetPluginVersion(std::string(kBound / 9, 'v'));
        list.push_back(&p);
    }
    std::string text;
    WritePresetTree(list, text);
    ASSERT_LT(text.size(), kBound - 64);
    presets.back().SetPluginVersion(presets.back().GetPluginVersion() +
                                    std::string(kBound - 64 - text.size(), 'w'));
    text.clear();
    WritePresetTree(list, text);
    ASSERT_EQ(text.size(), kBound - 64);
    ASSERT_LE(text.size(), CPresetsManager::kMaxPresetFileBytes);
    const fs::path file = Folder() / "User Presets.xml";
    fs::create_directories(Folder());
    std::ofstream(file, std::ios::binary) << text;
    ASSERT_EQ(Presets().UserPresetFile_Open(CPublicAlg(&alg), kvFM::KCStPath(file.string())), 0);

    ShownMessages messages;
    EXPECT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "One too many"), eFMFileSizeTooBig);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown.front().find("larger than 8 MB"), std::string::npos)
        << messages.shown.front();
    EXPECT_EQ(Read(file), text); // the file is as it was, and still opens
    EXPECT_EQ(Presets().UserPresetFile_Open(CPublicAlg(&alg), kvFM::KCStPath(file.string())), 0);
    EXPECT_EQ(Presets().UserPresets().size(), presets.size());
}

TEST_F(UserPresets, AFileNameThatIsNotUTF8KeepsItsMenuHeading) {
    const fs::path file = root / "Caf\xE9 \xFF.xml"; // Latin-1 and a stray byte
    kvFM::KCScriptedDialogService dialogs;
    kvFM::SetDialogService(&dialogs);
    dialogs.Push(file.string());
    Set(4, 1, 0);
    ASSERT_EQ(Presets().RunSaveMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdSaveToNewFile),
              0);
    const std::vector<std::string> titles = PickFromLoadMenu("none");
    EXPECT_NE(std::find(titles.begin(), titles.end(), "User Presets (Caf\xE9 \xFF)"), titles.end());
}

TEST_F(UserPresets, ADamagedFileChosenToOpenIsRefusedWithAReason) {
    Set(3, 1, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Kept"), 0);
    kvFM::KCScriptedDialogService dialogs;
    kvFM::SetDialogService(&dialogs);
    struct Case {
        const char* name;
        const char* content;
        const char* reason;
    } cases[] = {
        {"cut.xml", "<PresetXMLTree version=\"1\"><Preset", "damaged"},
        {"settings.xml", "<Settings/>", "another plug-in"},
    };
    for (const Case& c : cases) {
        const fs::path p = root / c.name;
        std::ofstream(p, std::ios::binary) << c.content;
        dialogs.Push(p.string());
        ShownMessages messages;
        EXPECT_NE(Presets().RunLoadMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdOpenUserFile),
                  0);
        ASSERT_EQ(messages.shown.size(), 1u) << c.name;
        EXPECT_NE(messages.shown.front().find(c.name), std::string::npos) << messages.shown[0];
        EXPECT_NE(messages.shown.front().find(c.reason), std::string::npos) << messages.shown[0];
        ASSERT_EQ(Presets().UserPresets().size(), 1u);
    }
    // A cancelled choice says nothing.
    dialogs.PushCancel();
    ShownMessages messages;
    EXPECT_EQ(Presets().RunLoadMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdOpenUserFile),
              eUserCanceled);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(UserPresets, ASaveOrDeleteThatCannotChangeTheFileSaysWhy) {
    Set(3, 1, 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), "Kept"), 0);
    const fs::path file = Folder() / "User Presets.xml";
    const std::string kept = Read(file);

    // Another writer holds the file's lock past the wait.
    {
        const int fd =
            ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        ASSERT_GE(fd, 0);
        const pid_t holder = ::fork();
        ASSERT_GE(holder, 0);
        if (holder == 0) {
            ::flock(fd, LOCK_EX);
            ::sleep(30);
            ::_exit(0);
        }
        ::close(fd);
        // The child holds the lock once a try of our own fails.
        bool held = false;
        for (int i = 0; i < 2000 && !held; ++i) {
            const int probe = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
            held = ::flock(probe, LOCK_EX | LOCK_NB) != 0;
            ::close(probe);
            if (!held)
                ::usleep(10000);
        }
        if (!held) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
            FAIL() << "the other process never took the lock";
        }
        ShownMessages messages;
        EXPECT_EQ(Presets().RunSaveMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdSavePreset),
                  eFMBusyErr);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].find("not saved"), std::string::npos) << messages.shown[0];
        EXPECT_NE(messages.shown[0].find("locked"), std::string::npos) << messages.shown[0];
        EXPECT_EQ(Read(file), kept);
    }

    // The file was damaged on disk after it was opened: neither a save nor
    // a delete writes over it, and each says so.
    std::ofstream(file, std::ios::binary) << "<PresetXMLTree version=\"1\"><Preset";
    const std::string damaged = Read(file);
    for (const long command :
         {long(CPresetsManager::kCmdSavePreset), long(CPresetsManager::kCmdDeleteBase)}) {
        ShownMessages messages;
        const long err = command == CPresetsManager::kCmdSavePreset
                             ? Presets().RunSaveMenuCommand(CPublicAlg(&alg), command)
                             : Presets().RunLoadMenuCommand(CPublicAlg(&alg), command);
        EXPECT_NE(err, 0) << command;
        ASSERT_EQ(messages.shown.size(), 1u) << command;
        EXPECT_NE(messages.shown[0].find(
                      command == CPresetsManager::kCmdSavePreset ? "not saved" : "not deleted"),
                  std::string::npos)
            << messages.shown[0];
        EXPECT_NE(messages.shown[0].find("damaged"), std::string::npos) << messages.shown[0];
        EXPECT_EQ(Read(file), damaged);
    }
}

TEST_F(UserPresets, LongNamesAreListedAsTheFileKeepsThem) {
    // A file keeps 127 bytes of a name: two long names stay two presets,
    // and the one deleted is the one gone.
    const std::string longName(200, 'L');
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), longName), 0);
    ASSERT_EQ(Presets().SaveUserPreset(CPublicAlg(&alg), longName), 0);
    const std::string first(127, 'L'), second = std::string(125, 'L') + " 2";
    EXPECT_EQ(NamesInFile(), (std::vector<std::string>{second, first})); // sorted
    ASSERT_EQ(Presets().UserPresets().back()->GetPresetName(), second);
    ASSERT_EQ(Presets().RunLoadMenuCommand(CPublicAlg(&alg), CPresetsManager::kCmdDeleteBase + 1),
              0);
    EXPECT_EQ(NamesInFile(), std::vector<std::string>{first});
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
