#include "loggerui/ScriptFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace loggerui;

namespace {

class ScriptFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "scriptsXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        settings = (dir / "Rigwell.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
    std::string settings;
};

TEST(ScriptText, ActionsSlaveIdsAndComments) {
    EXPECT_EQ(ActionNumber(L"wRiTe"), 1);
    EXPECT_EQ(ActionNumber(L"Delay"), 3);
    EXPECT_EQ(ActionNumber(L"Wait"), 0);
    EXPECT_EQ(ActionName(2), L"Read");
    EXPECT_EQ(ActionName(0), L"UNKNOWN");
    const struct {
        const wchar_t* text;
        uint8_t id;
    } ids[] = {{L"0x73", 0x73}, {L"115", 115}, {L"-1", 0xFF},   {L"12x", 12},
               {L"x12", 0},     {L"101b", 5},  {L"0x1FF", 0xFF}};
    for (const auto& c : ids)
        EXPECT_EQ(ParseSlaveId(c.text), c.id);
    EXPECT_EQ(CommentFromSource(L"  // a // b"), L"a  b");
    EXPECT_EQ(CommentFromSource(L"\t//x"), L"\tx");
    EXPECT_EQ(CommentFromSource(L"Setup\t"), L"Setup\t");
}

TEST(ScriptText, ReadsWhatItWritesAndSkipsMalformedLines) {
    const std::string text = "1\twrite\t1\t0x73\t3\t0x00, 0xA5, 0x00\t//Setup\t\r\n"
                             "2\tRead\t1\t0x73\t3\t0 //five tabs only\n"
                             "3\tJump\t1\t0x73\t3\t0\t//unknown\t\n"
                             "4\tDelay\t1\t\t1\t100\tafter\tsixth\n";
    const ScriptTable rows = ParseScriptText(text);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0],
              (ScriptRow{L"", L"write", L"1", L"0x73", L"3", L"0x00, 0xA5, 0x00", L"Setup\t"}));
    EXPECT_EQ(rows[1], (ScriptRow{L"", L"Delay", L"1", L"", L"1", L"100", L"after\tsixth"}));
    // Written again: every cell trimmed and followed by a TAB.
    EXPECT_EQ(ScriptText(rows), "\twrite\t1\t0x73\t3\t0x00, 0xA5, 0x00\t//Setup\t\r\n"
                                "\tDelay\t1\t\t1\t100\t//after\tsixth\t\r\n");
    EXPECT_EQ(ScriptText({}), "");
    // 8-bit text: UTF-8, and Latin-1 where it is no UTF-8.
    const ScriptTable accents = ParseScriptText("\tRead\t1\t0x73\t1\t0\t//caf\xC3\xA9 caf\xE9\t\n");
    ASSERT_EQ(accents.size(), 1u);
    EXPECT_EQ(accents[0][6], L"caf\u00E9 caf\u00E9\t");
}

TEST(ScriptText, CommandTablesFromCSource) {
    const std::string text = "const unsigned char preset[] = {\n"
                             "    0x00, 0xA5, 0x00, // start\n"
                             "    0x00, 165, 0x00, // decimal\n"
                             "    0x00, 0xC5, 0x00,\n"
                             "    0x01, 0x02\n"
                             "};\n";
    const ScriptTable rows = ParseCTableText(text);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0],
              (ScriptRow{L"", L"Write", L"1", L"0x73", L"3", L"    0x00, 0xA5, 0x00", L"start"}));
    EXPECT_EQ(rows[1][5], L"    0x00, 0xC5, 0x00");
    EXPECT_EQ(rows[1][6], L"");
}

TEST_F(ScriptFolder, FilesRoundTripAndBecomeRecent) {
    ScriptFiles files(settings);
    ScriptTable rows{{L"1", L" Write ", L"1", L"0x73", L"3", L"0x00, 0xA5, 0x00", L" Setup "}};
    ASSERT_TRUE(files.WriteScriptFile(rows, Path("a.tqs")));
    EXPECT_EQ(Read("a.tqs"), "1\tWrite\t1\t0x73\t3\t0x00, 0xA5, 0x00\t//Setup\t\r\n");
    ScriptTable back{{L"stale"}};
    ASSERT_TRUE(files.ReadScriptFile(back, Path("a.tqs")));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0][6], L"Setup\t");
    Write("t.c", "0x00, 0xA5, 0x00, // start\n");
    ASSERT_TRUE(files.ImportCFile(back, Path("t.c")));
    EXPECT_EQ(back.size(), 1u);
    EXPECT_EQ(files.RecentFiles(), (std::vector<std::wstring>{fs::path(Path("t.c")).wstring(),
                                                              fs::path(Path("a.tqs")).wstring()}));
    // A missing file: failure, the rows emptied, the list unchanged.
    EXPECT_FALSE(files.ReadScriptFile(back, Path("missing.tqs")));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(files.ImportCFile(back, Path("missing.c")));
    EXPECT_EQ(files.LoadRecentFiles().size(), 2u);
}

TEST_F(ScriptFolder, DroppedLinksAndTheExtensionDispatch) {
    ScriptFiles files(settings);
    ASSERT_TRUE(files.WriteScriptFile({{L"1", L"Read", L"1", L"0x73", L"2", L"0, 0", L""}},
                                      Path("real.tqs")));
    fs::create_symlink(Path("real.tqs"), Path("link.TQS"));
    fs::create_symlink(Path("gone.tqs"), Path("dangling.tqs"));
    EXPECT_EQ(fs::path(ScriptFiles::ResolveDroppedPath(Path("link.TQS"))),
              fs::canonical(Path("real.tqs")));
    EXPECT_EQ(ScriptFiles::ResolveDroppedPath(Path("dangling.tqs")), Path("dangling.tqs"));
    EXPECT_EQ(ScriptFiles::ResolveDroppedPath(Path("real.tqs")), Path("real.tqs"));

    ScriptTable rows;
    EXPECT_TRUE(files.LoadByExtension(rows, Path("link.TQS")));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], L"Read");
    Write("table.C", "0x00, 0xA5, 0x00, // start\n");
    EXPECT_TRUE(files.LoadByExtension(rows, Path("table.C")));
    EXPECT_EQ(rows[0][6], L"start");
    // Any other extension: nothing read, the rows kept.
    Write("notes.txt", "1\tWrite\t1\t0x73\t3\t0x00, 0xA5, 0x00\t//x\t\r\n");
    EXPECT_FALSE(files.LoadByExtension(rows, Path("notes.txt")));
    EXPECT_EQ(rows.size(), 1u);
    // A folder, or a fifo, named like a script fails like a missing file.
    fs::create_directory(Path("x.tqs"));
    ASSERT_EQ(::mkfifo(Path("y.c").c_str(), 0600), 0);
    for (const char* name : {"x.tqs", "y.c"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(files.LoadByExtension(rows, Path(name)));
        EXPECT_TRUE(rows.empty());
        rows.push_back({});
    }
}

TEST_F(ScriptFolder, AFailedSaveLeavesTheOldFile) {
    ScriptFiles files(settings);
    // A folder that cannot exist (a file stands in its place).
    Write("plain", "x");
    EXPECT_FALSE(files.WriteScriptFile({ScriptRow{L"1", L"Write"}}, Path("plain/new.tqs")));
    EXPECT_TRUE(files.LoadRecentFiles().empty());
    Write("keep.tqs", "old\r\n");
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(files.WriteScriptFile({ScriptRow{L"1", L"Write"}}, Path("keep.tqs")));
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(Read("keep.tqs"), "old\r\n");
}

TEST_F(ScriptFolder, TheRecentFilesKeepTwelveMostRecentFirst) {
    ScriptFiles files(settings);
    for (int i = 0; i < 13; ++i)
        files.NoteRecentFile("/scripts/s" + std::to_string(i) + ".tqs");
    EXPECT_EQ(files.RecentFiles().size(), 13u); // shown until read again
    const std::vector<std::wstring> kept = files.LoadRecentFiles();
    ASSERT_EQ(kept.size(), 12u);
    EXPECT_EQ(kept.front(), L"/scripts/s12.tqs");
    EXPECT_EQ(kept.back(), L"/scripts/s1.tqs");
    // The same path in another case moves to the front as just used.
    files.NoteRecentFile("/SCRIPTS/S5.TQS");
    EXPECT_EQ(files.LoadRecentFiles().front(), L"/SCRIPTS/S5.TQS");
    EXPECT_EQ(files.LoadRecentFiles().size(), 12u);
    // A value with ";" loses the character before it and the rest.
    std::ofstream(settings, std::ios::app) << "";
    ASSERT_TRUE(files.SaveRecentFiles({L"/x/a;b.tqs", L"  /x/c.tqs  "}));
    EXPECT_EQ(files.LoadRecentFiles(), (std::vector<std::wstring>{L"/x/", L"/x/c.tqs"}));
}

TEST_F(ScriptFolder, TheDefaultLineFromTheSettings) {
    ScriptFiles files(settings);
    DefaultLine line;
    files.ReadScriptSettings(line); // no file: built-in defaults, action Write
    EXPECT_EQ(line.action, 1);
    EXPECT_EQ(line.slaveIdLength, 1);
    EXPECT_EQ(line.slaveId, 0x73);
    EXPECT_EQ(line.dataLength, 3);
    EXPECT_EQ(line.data, L"0xFF");
    EXPECT_TRUE(files.RecentFiles().empty());
    for (const char* action : {"0", "7", "-2", "x"}) {
        Write("Rigwell.ini", std::string("[DefaultCmd]\nAction=") + action + "\n");
        files.ReadScriptSettings(line);
        EXPECT_EQ(line.action, 1) << action;
    }
    Write("Rigwell.ini", "[DefaultCmd]\nAction=3\nSlaveIDLength=2x\nSlaveID=-1\nDataLength=-4\n"
                         "Data=0x01, 0x02\n[MRU]\nFILE0=/a.tqs\nFILE2=/gap.tqs\n");
    files.ReadScriptSettings(line);
    EXPECT_EQ(line.action, 3);
    EXPECT_EQ(line.slaveIdLength, 2);
    EXPECT_EQ(line.slaveId, 0xFF);
    EXPECT_EQ(line.dataLength, -4);
    EXPECT_EQ(line.data, L"0x01, 0x02");
    EXPECT_EQ(files.RecentFiles(), std::vector<std::wstring>{L"/a.tqs"});
    // Empty values keep what the line had.
    Write("Rigwell.ini", "[DefaultCmd]\nAction=2\nSlaveID=\nData=\n");
    files.ReadScriptSettings(line);
    EXPECT_EQ(line.action, 2);
    EXPECT_EQ(line.slaveId, 0xFF);
    EXPECT_EQ(line.data, L"0x01, 0x02");
}

TEST(ScriptSettings, TheFileSitsInTheTemporaryFolderNamedAfterTheProgram) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    setenv("TMPDIR", "/some/tmp", 1);
    EXPECT_EQ(ScriptFiles::DefaultSettingsPath(), "/some/tmp/loggerui_text_tests.ini");
    unsetenv("TMPDIR");
    EXPECT_EQ(ScriptFiles::DefaultSettingsPath(), "/tmp/loggerui_text_tests.ini");
    if (previous)
        setenv("TMPDIR", saved.c_str(), 1);
}

} // namespace
