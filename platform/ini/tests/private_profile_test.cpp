#include "ini/PrivateProfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kviniXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        file = (dir / "settings.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    void Write(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::wstring Get(const std::wstring& section, const std::wstring& key, std::size_t size = 520) {
        return kvini::ReadProfileString(file, section, key, L"dflt", size);
    }

    fs::path dir;
    std::string file;
};

TEST_F(Profile, ReadsValuesTrimmedUnquotedAndMatchedWithoutCase) {
    Write("; comment\n[General]\nName =  some value  \r\nQuoted=\" padded \"\nSingle='x'\n"
          "Odd=\"x'\nEmpty=\n[other]\nName=second\n[GENERAL]\nLate=ignored section\n");
    EXPECT_EQ(Get(L"general", L"NAME"), L"some value");
    EXPECT_EQ(Get(L"General", L"Quoted"), L" padded ");
    EXPECT_EQ(Get(L"General", L"Single"), L"x");
    EXPECT_EQ(Get(L"General", L"Odd"), L"\"x'");
    EXPECT_EQ(Get(L"General", L"Empty"), L"");
    EXPECT_EQ(Get(L"Other", L"name"), L"second");
    // Missing key, missing section, missing file: the default.
    EXPECT_EQ(Get(L"General", L"Nope"), L"dflt");
    EXPECT_EQ(Get(L"Nope", L"Name"), L"dflt");
    EXPECT_EQ(kvini::ReadProfileString((dir / "none.ini").string(), L"a", L"b", L"d", 520), L"d");
}

TEST_F(Profile, ReadsAreCutToTheBufferAndDecodeUtf8) {
    Write("[s]\nlong=" + std::string(600, 'x') + "\nword=caf\xC3\xA9\nlatin=caf\xE9\n");
    EXPECT_EQ(Get(L"s", L"long").size(), 519u);
    EXPECT_EQ(Get(L"s", L"long", 4), L"xxx");
    EXPECT_EQ(Get(L"s", L"word"), L"caf\u00E9");
    EXPECT_EQ(Get(L"s", L"latin"), L"caf\u00E9");
    EXPECT_EQ(Get(L"s", L"nothing", 3), L"df");
}

TEST_F(Profile, WritesReplaceInPlaceAppendOrAddASectionKeepingOtherLines) {
    const std::string before = "; keep me  \r\n[One]\r\nA = 1\r\n  b=2\r\n\r\n[Two]\r\nC=3";
    Write(before);
    ASSERT_NE(kvini::WriteProfileString(file, L"one", L"B", L"20"), 0);
    EXPECT_EQ(Read(), "; keep me  \r\n[One]\r\nA = 1\r\nB=20\r\n\r\n[Two]\r\nC=3");
    ASSERT_NE(kvini::WriteProfileString(file, L"One", L"New", L"caf\u00E9"), 0);
    EXPECT_EQ(Read(),
              "; keep me  \r\n[One]\r\nA = 1\r\nB=20\r\nNew=caf\xC3\xA9\r\n\r\n[Two]\r\nC=3");
    ASSERT_NE(kvini::WriteProfileString(file, L"Three", L"D", L"4"), 0);
    EXPECT_EQ(Read(),
              "; keep me  \r\n[One]\r\nA = 1\r\nB=20\r\nNew=caf\xC3\xA9\r\n\r\n[Two]\r\nC=3\r\n"
              "[Three]\r\nD=4\r\n");
    EXPECT_EQ(Get(L"three", L"d"), L"4");
    EXPECT_EQ(Get(L"One", L"new"), L"caf\u00E9");
}

TEST_F(Profile, DeletingAKeyRemovesOnlyItsLine) {
    Write("[A]\nx=1\ny=2\n[B]\nx=3\n");
    EXPECT_NE(kvini::DeleteProfileKey(file, L"a", L"X"), 0);
    EXPECT_EQ(Read(), "[A]\ny=2\n[B]\nx=3\n");
    EXPECT_NE(kvini::DeleteProfileKey(file, L"A", L"missing"), 0);
    EXPECT_EQ(Read(), "[A]\ny=2\n[B]\nx=3\n");
    EXPECT_NE(kvini::DeleteProfileKey((dir / "none.ini").string(), L"A", L"x"), 0);
    EXPECT_FALSE(fs::exists(dir / "none.ini"));
}

TEST_F(Profile, AWriteCreatesTheFile) {
    ASSERT_NE(kvini::WriteProfileString(file, L"S", L"K", L"V"), 0);
    EXPECT_EQ(Read(), "[S]\nK=V\n");
}

TEST_F(Profile, AFailedWriteGivesZeroAndLeavesTheFile) {
    Write("[S]\nK=old\n");
    // Names and values that cannot be stored.
    EXPECT_EQ(kvini::WriteProfileString(file, L"", L"K", L"V"), 0);
    EXPECT_EQ(kvini::WriteProfileString(file, L"S", L"a=b", L"V"), 0);
    EXPECT_EQ(kvini::WriteProfileString(file, L"S]", L"K", L"V"), 0);
    EXPECT_EQ(kvini::WriteProfileString(file, L"S", L"K", L"two\nlines"), 0);
    if (geteuid() != 0) {
        // A folder that may not be written: no new file can replace the old.
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(kvini::WriteProfileString(file, L"S", L"K", L"new"), 0);
        fs::permissions(dir, fs::perms::owner_all);
    }
    EXPECT_EQ(Read(), "[S]\nK=old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Profile, AReadOnlyFileIsNeitherWrittenNorReplaced) {
    Write("[S]\nK=old\nL=1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(kvini::WriteProfileString(file, L"S", L"K", L"new"), 0);
    EXPECT_EQ(kvini::WriteProfileString(file, L"T", L"K", L"new"), 0);
    EXPECT_EQ(kvini::DeleteProfileKey(file, L"S", L"L"), 0);
    EXPECT_EQ(Read(), "[S]\nK=old\nL=1\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

} // namespace
