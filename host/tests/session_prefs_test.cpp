#include "HostTestSupport.h"
#include "host/SessionPrefs.h"

#include "foundation/XMLFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// A plug-in as the session sees it, answering from fields.
class TestSessionPlugin : public KCSessionPlugin {
public:
    kvFM::KCStPath GetFile() const override { return file; }
    KCFourCC GetComponentType() const override { return type; }
    KCFourCC GetComponentSubType() const override { return subType; }
    KTErr GetChunk(void*& buffer, uint32_t& size) override {
        buffer = nullptr;
        size = 0;
        if (giveBuffer) {
            buffer = std::malloc(chunk.size() + 1);
            std::memcpy(buffer, chunk.data(), chunk.size());
            size = uint32_t(chunk.size());
        }
        return chunkStatus;
    }
    void FreeChunk(void* buffer) override {
        ++freed;
        std::free(buffer);
    }
    KTErr SetChunk(const void* data, uint32_t size) override {
        received.assign(static_cast<const char*>(data), size);
        return eNoErr;
    }
    KTErr InitAlg() override { return initStatus; }
    KTErr GetActiveSetupType(KCFourCC& out) override {
        out = setup;
        return eNoErr;
    }
    KTErr SetActiveSetupType(KCFourCC value) override {
        selected = value;
        return eNoErr;
    }

    kvFM::KCStPath file;
    KCFourCC type{KV_FOURCC("raPI")};
    KCFourCC subType{KV_FOURCC("abcd")};
    std::string chunk;
    bool giveBuffer = true;
    KTErr chunkStatus = eNoErr;
    KTErr initStatus = eNoErr;
    KCFourCC setup{KV_FOURCC("Set1")};
    KCFourCC selected;
    std::string received;
    int freed = 0;
};

class SessionPrefsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(prefs.Init(), eNoErr); }
    std::string PrefPath() const { return prefs.GetPath().GetPathString(); }

    ScratchHome home;
    KCPluginRunnerPrefFile prefs;
};

TEST_F(SessionPrefsTest, FirstStartWritesOnlyTheFlagsAndIsNotValid) {
    EXPECT_FALSE(prefs.IsValid());
    EXPECT_EQ(PrefPath(), home.Config("Quorl Audio/Preferences/Rigwell_SetupPreferences"));
    KCSessionInfo session;
    ASSERT_EQ(prefs.LoadPrefInfo(session), eNoErr);
    EXPECT_EQ(session, KCSessionInfo());
    KCXMLFile file{kvFM::KCStPath(PrefPath())};
    ASSERT_EQ(file.Read(), eNoErr);
    const kvXML::CXMLElement& root = file.GetXML();
    EXPECT_TRUE(root.name == "RigwellPrefs");
    ASSERT_EQ(root.children.size(), 1u);
    const kvXML::CXMLElement& flags = *root.children[0];
    EXPECT_TRUE(flags.name == "SetupFlagsHeader");
    ASSERT_EQ(flags.children.size(), 2u);
    std::string value;
    EXPECT_TRUE(flags.children[0]->name == "LoadPrevSession");
    EXPECT_TRUE(flags.children[0]->GetAttrib("Value", value) && value == "false");
    EXPECT_TRUE(flags.children[1]->name == "UseVellixPlugins");
    EXPECT_TRUE(flags.children[1]->GetAttrib("Value", value) && value == "false");
    KCPluginRunnerPrefFile again;
    ASSERT_EQ(again.Init(), eNoErr);
    EXPECT_TRUE(again.IsValid());
}

TEST_F(SessionPrefsTest, ReadsFilesOfThePlainForm) {
    WriteText(PrefPath(), "<RigwellPrefs>\n"
                          " <RecentPluginInfo>\n"
                          "  <FileID Value=\"/opt/plug/a.so\"/>\n"
                          "  <ComponentType Value=\"raPI\"/>\n"
                          "  <ComponentSubType Value=\"ab\"/>\n"
                          "  <CurrentSetup Value=\"Set2\"/>\n"
                          "  <Chunk Value=\"&lt;XPst/&gt;\"/>\n"
                          "  <Other Value=\"x\"/>\n"
                          " </RecentPluginInfo>\n"
                          " <RecentPluginInfo><ComponentType Value=\"zzzz\"/></RecentPluginInfo>\n"
                          " <SetupFlagsHeader><LoadPrevSession Value=\"true\"/>"
                          "<UseVellixPlugins Value=\"true\"/></SetupFlagsHeader>\n"
                          " <SetupFlagsHeader><LoadPrevSession Value=\"TRUE\"/>"
                          "<UseVellixPlugins/></SetupFlagsHeader>\n"
                          "</RigwellPrefs>\n");
    KCSessionInfo session;
    ASSERT_EQ(prefs.LoadPrefInfo(session), eNoErr);
    ASSERT_EQ(session.recentPlugins.size(), 2u);
    const RecentPluginInfo& first = session.recentPlugins[0];
    EXPECT_EQ(first.file.GetPathString(), "/opt/plug/a.so");
    EXPECT_EQ(FourCCToString(first.componentType), "raPI");
    EXPECT_EQ(first.componentSubType.Get(), KCFourCC(0x61620000).Get()); // "ab" and two zeros
    EXPECT_EQ(FourCCToString(first.currentSetup), "Set2");
    EXPECT_EQ(first.chunk, "<XPst/>");
    EXPECT_EQ(first.position, 0);
    const RecentPluginInfo& second = session.recentPlugins[1];
    EXPECT_FALSE(second.file.IsValid());
    EXPECT_EQ(FourCCToString(second.componentType), "zzzz");
    EXPECT_TRUE(second.componentSubType.IsUnset());
    EXPECT_EQ(second.position, 1);
    // "TRUE" is not "true"; a flag without a value keeps the earlier one.
    EXPECT_FALSE(session.loadPrevSession);
    EXPECT_TRUE(session.useVellixPlugins);
}

TEST_F(SessionPrefsTest, ChunksAndLongPathsSurviveWhole) {
    KCSessionInfo session;
    session.loadPrevSession = true;
    RecentPluginInfo record;
    const std::string longFolder = home.File(std::string(150, 'p'));
    std::filesystem::create_directories(longFolder);
    record.file = kvFM::KCStPath(longFolder + "/plug.so");
    record.componentSubType = KV_FOURCC("abcd");
    record.componentType = KV_FOURCC("raPI");
    std::string chunk("\0\1<XPst>\0&\"'\xff", 12);
    chunk += std::string(300, 'c');
    record.chunk = chunk;
    record.currentSetup = KV_FOURCC("Set1");
    session.recentPlugins = {record, record};
    session.recentPlugins[1].position = 1;
    session.recentPlugins[1].chunk.clear();
    ASSERT_EQ(prefs.SavePrefInfo(session), eNoErr);
    EXPECT_NE(ReadText(PrefPath()).find("Encoding=\"base64\""), std::string::npos);

    KCSessionInfo read;
    ASSERT_EQ(prefs.LoadPrefInfo(read), eNoErr);
    EXPECT_EQ(read, session);
    EXPECT_EQ(read.recentPlugins[0].chunk.size(), chunk.size());
    EXPECT_EQ(read.recentPlugins[0].file.GetPathString(), longFolder + "/plug.so");
}

TEST_F(SessionPrefsTest, UnreadableFileIsReplaced) {
    WriteText(PrefPath(), "<RigwellPrefs><broken></RigwellPrefs>");
    KCSessionInfo session;
    session.useVellixPlugins = true;
    ASSERT_EQ(prefs.LoadPrefInfo(session), eNoErr);
    KCSessionInfo read;
    ASSERT_EQ(prefs.LoadPrefInfo(read), eNoErr);
    EXPECT_TRUE(read.useVellixPlugins);
    // A file that cannot be read just now is not thrown away.
    if (geteuid() != 0) {
        std::filesystem::permissions(PrefPath(), std::filesystem::perms::none);
        KCSessionInfo locked;
        EXPECT_NE(prefs.LoadPrefInfo(locked), eNoErr);
        std::filesystem::permissions(PrefPath(), std::filesystem::perms::owner_all);
        EXPECT_NE(ReadText(PrefPath()).find("UseVellixPlugins Value=\"true\""), std::string::npos);
    }
}

TEST(SessionRecords, StoreKeepsTheWholeChunkAndChecksItsStatus) {
    TestSessionPlugin plugin;
    plugin.chunk = std::string("a\0b\0", 4);
    RecentPluginInfo record = MakeRecentPluginInfo(plugin, 2);
    EXPECT_EQ(record.chunk, plugin.chunk);
    EXPECT_EQ(record.position, 2);
    EXPECT_EQ(FourCCToString(record.currentSetup), "Set1");
    EXPECT_EQ(plugin.freed, 1);

    plugin.chunkStatus = eGenericErr; // a buffer with a failure: not taken, still freed
    record = MakeRecentPluginInfo(plugin, 0);
    EXPECT_EQ(record.chunk, "");
    EXPECT_EQ(plugin.freed, 2);

    plugin.chunkStatus = eNoErr;
    plugin.giveBuffer = false;
    EXPECT_EQ(MakeRecentPluginInfo(plugin, 0).chunk, "");
    EXPECT_EQ(plugin.freed, 2);
}

TEST(SessionRecords, RestoreHandsTheBytesAndStopsOnAFailedInit) {
    ScratchFolder scratch;
    WriteText(scratch.File("plug.so"), "x");
    TestSessionPlugin plugin;
    plugin.file = kvFM::KCStPath(scratch.File("plug.so"));
    RecentPluginInfo record;
    record.file = plugin.file;
    record.componentType = plugin.type;
    record.componentSubType = plugin.subType;
    record.chunk = std::string("x\0y", 3);
    record.currentSetup = KV_FOURCC("Set9");
    record.position = 1;
    EXPECT_TRUE(RecordMatches(record, plugin, 1));
    EXPECT_FALSE(RecordMatches(record, plugin, 0));
    ASSERT_EQ(RestoreRecentPlugin(plugin, record), eNoErr);
    EXPECT_EQ(plugin.received, record.chunk);
    EXPECT_EQ(FourCCToString(plugin.selected), "Set9");

    plugin.initStatus = -8007;
    plugin.selected = KCFourCC();
    EXPECT_EQ(RestoreRecentPlugin(plugin, record), -8007);
    EXPECT_TRUE(plugin.selected.IsUnset());

    record.file = kvFM::KCStPath(scratch.File("gone.so"));
    EXPECT_FALSE(RecordMatches(record, plugin, 1));
}

} // namespace
