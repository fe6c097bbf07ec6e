#include "HostTestSupport.h"
#include "host/PreferencesFile.h"

#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "foundation/XMLFile.h"
#include "foundation/kvFMDialogs.h"
#include "registry/KVRegistry.h"

#include <gtest/gtest.h>

namespace {

class PreferencesFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(prefs.GetPathToPrefFile(prefFile), eNoErr); }
    void TearDown() override { kvFM::SetDialogService(nullptr); }

    void SetRegistryLocation(const std::string& text) {
        KVHKEY key = nullptr;
        ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorl", &key), KV_REG_SUCCESS);
        ASSERT_EQ(KVRegSetString(key, "Location", text), KV_REG_SUCCESS);
        KVRegCloseKey(key);
    }
    std::string FileText() const { return ReadText(prefFile.GetPathString()); }

    ScratchHome home;
    KCPreferencesFile prefs{"ShellPrefs.xml"};
    kvFM::KCStPath prefFile;
};

TEST_F(PreferencesFileTest, FolderFromTheFileAsksNobodyElse) {
    EXPECT_EQ(prefFile.GetPathString(), home.Config("Quorl Audio/Preferences/ShellPrefs.xml"));
    const std::string folder = home.scratch.MakeFolder("plugins");
    ASSERT_EQ(prefs.UpdatePrefFile(prefFile, kvFM::KCStPath(folder)), eNoErr);
    EXPECT_NE(FileText().find("<PluginFolderLocation>" + folder + "</PluginFolderLocation>"),
              std::string::npos);
    SetRegistryLocation(home.scratch.MakeFolder("other"));
    kvFM::KCStPath out;
    ASSERT_EQ(prefs.GetPathToPluginFolder(out, false), eNoErr);
    EXPECT_EQ(out.GetPathString(), folder);
}

TEST_F(PreferencesFileTest, RegistryFolderIsWrittenIntoANewFile) {
    const std::string folder = home.scratch.MakeFolder("installed");
    SetRegistryLocation(folder);
    kvFM::KCStPath out;
    ASSERT_EQ(prefs.GetPathToPluginFolder(out, false), eNoErr);
    EXPECT_EQ(out.GetPathString(), folder);
    kvFM::KCStPath fromFile;
    ASSERT_EQ(prefs.GetPathToPluginFolderFromPrefFile(prefFile, fromFile), eNoErr);
    EXPECT_EQ(fromFile.GetPathString(), folder);
}

TEST_F(PreferencesFileTest, NoSourceAndTheUser) {
    SetRegistryLocation("C:\\");
    kvFM::KCStPath out;
    EXPECT_EQ(prefs.GetPathToPluginFolderFromIndicator(out), eMemNullPointer);
    EXPECT_EQ(prefs.GetPathToPluginFolder(out, false), eFMFileNotFound);
    prefs.SetAskUser(false);
    EXPECT_EQ(prefs.GetPathToPluginFolder(out, true), eUserCanceled);

    kvFM::KCScriptedDialogService dialogs;
    kvFM::SetDialogService(&dialogs);
    prefs.SetAskUser(true);
    prefs.SetFolderSelectionDialogTexts("first", "second");
    dialogs.PushCancel();
    EXPECT_EQ(prefs.GetPathToPluginFolder(out, true), eUserCanceled);
    const std::string chosen = home.scratch.MakeFolder("chosen");
    dialogs.Push(chosen);
    ASSERT_EQ(prefs.GetPathToPluginFolder(out, true), eNoErr);
    EXPECT_EQ(out.GetPathString(), chosen);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].options.flags, kvFM::eDialogSelectFolder);
    EXPECT_EQ(dialogs.shown[1].options.text1, "first");
    // The choice is kept in the file.
    KCPreferencesFile later{"ShellPrefs.xml"};
    ASSERT_EQ(later.GetPathToPluginFolder(out, false), eNoErr);
    EXPECT_EQ(out.GetPathString(), chosen);
}

TEST_F(PreferencesFileTest, MissingFolderInTheFile) {
    ASSERT_EQ(prefs.UpdatePrefFile(prefFile, kvFM::KCStPath(home.File("gone"))), eNoErr);
    kvFM::KCStPath out;
    EXPECT_EQ(prefs.GetPathToPluginFolderFromPrefFile(prefFile, out), eFMFileNotFound);
    kvXML::CXMLElement element("ShellPrefs", "");
    KCPreferencesFile::WriteToXML(&element, kvFM::KCStPath());
    EXPECT_TRUE(element.children.empty());
}

} // namespace

namespace {

// The program's own resources with a user file of the same name over them.
TEST_F(PreferencesFileTest, UserFileOverridesTheResource) {
    const std::string copy = home.File("program");
    std::filesystem::copy_file(RIGWELL_PATH, copy);
    ASSERT_EQ(RMInit(0), eNoErr);
    KTResContainerType* container = nullptr;
    ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(copy), 0, container), eNoErr);
    const KCFourCC type = KV_FOURCC("XPrf");
    // Without a resource and a file: a new element of that name.
    ASSERT_EQ(KCPreferencesFile::LoadPrefsResOrFile(container, "HostPrefs", type, 1000), eNoErr);
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    ASSERT_EQ(GetXMLResource(container, type, 1000, root, resource), eNoErr);
    EXPECT_TRUE(root->name == "HostPrefs");
    EXPECT_TRUE(root->children.empty());
    RMReleaseResource(resource);
    // With the user's file, its content replaces the resource's.
    WriteText(home.Config("Quorl Audio/Preferences/HostPrefs"),
              "<HostPrefs><Size>3</Size></HostPrefs>");
    ASSERT_EQ(KCPreferencesFile::LoadPrefsResOrFile(container, "HostPrefs", type, 1000), eNoErr);
    ASSERT_EQ(GetXMLResource(container, type, 1000, root, resource), eNoErr);
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children[0]->text, "3");
    RMReleaseResource(resource);
    RMCloseResContainer(container);
    RMDispose();
}

} // namespace
