#include "loggerui/TextUtils.h"

#include "busaccess/busgate/LoggerServices.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace loggerui;

namespace {

TEST(ParseNumber, DecimalHexBinaryMinusOneAndLists) {
    const struct {
        const wchar_t* text;
        uint32_t value;
    } cases[] = {
        {L"0x12, 0x34, 0x56", 0x00123456},
        {L"256, 1", 0x00010001},
        {L"1, 2", 0x0102},
        {L"FFh", 255},
        {L"0x1b", 27},
        {L"101b", 5},
        {L"0b", 0},
        {L"0x", 0},
        {L"", 0},
        {L"-1", 0xFFFFFFFF},
        {L"10", 10},
        {L" 7 ", 7},
        {L"h", 0},
        {L"0XaB", 0xAB},
        {L"4294967296", 0},
        // No number, and the list step gives the same text back: 0.
        {L"word", 0},
        {L"0x01,0x02", 0},
        {L"0x1Fh", 0},
        {L"12x", 0},
        // Bits shifted beyond 32 are lost; a piece is OR-ed in whole.
        {L"1, 2, 3, 4, 5", 0x02030405},
        {L"0x1FF, 1", 0x1FF01},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<uint32_t>(ParseNumber(c.text)), c.value)
            << std::wstring(c.text).size();
}

TEST(ParseNumber, RecognisedFormsLeaveTheirPartialValue) {
    uint32_t value = 99;
    EXPECT_FALSE(ParseDecimal(L"", value));
    EXPECT_EQ(value, 99u);
    EXPECT_FALSE(ParseDecimal(L"12x", value));
    EXPECT_EQ(value, 12u);
    value = 99;
    EXPECT_FALSE(ParseHex(L"12", value));
    EXPECT_EQ(value, 99u);
    EXPECT_FALSE(ParseHex(L"0x1Fh", value));
    EXPECT_EQ(value, 0x1Fu);
    EXPECT_FALSE(ParseBinary(L"1021b", value));
    EXPECT_EQ(value, 2u);
    EXPECT_TRUE(ParseBinary(L"B", value));
    EXPECT_EQ(value, 0u);
}

TEST(ParseByteList, TakesExactlyTheExpectedCount) {
    uint8_t bytes[3] = {1, 1, 1};
    EXPECT_TRUE(ParseByteList(L"0x00, 0xA5, 0x00", 3, bytes));
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0xA5);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_FALSE(ParseByteList(L"0x00, 0xA5, 0x00", 2, bytes));
    EXPECT_FALSE(ParseByteList(L"0x00,0xA5", 2, bytes));
    EXPECT_FALSE(ParseByteList(L"", 0, bytes));
    EXPECT_FALSE(ParseByteList(L"1, 2", 2, nullptr));
    EXPECT_TRUE(ParseByteList(L"0x1234, 300", 2, bytes));
    EXPECT_EQ(bytes[0], 0x34);
    EXPECT_EQ(bytes[1], 300 & 0xFF);
}

TEST(SplitText, PiecesBetweenSeparators) {
    const struct {
        const wchar_t* text;
        const wchar_t* separator;
        std::vector<std::wstring> pieces;
    } cases[] = {
        {L"1, , 2", L", ", {L"1", L"", L"2"}},  {L"1, 2, ", L", ", {L"1", L"2"}},
        {L"one\ttwo", L"\t", {L"one", L"two"}}, {L"\t\t", L"\t", {L"", L""}},
        {L"  alone  ", L", ", {L"alone"}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> pieces;
        EXPECT_TRUE(SplitText(c.text, c.separator, pieces));
        EXPECT_EQ(pieces, c.pieces);
    }
    std::vector<std::wstring> pieces;
    EXPECT_FALSE(SplitText(L"   ", L", ", pieces));
    EXPECT_FALSE(SplitText(L"a, b", L"", pieces));
    EXPECT_TRUE(pieces.empty());

    std::list<std::wstring> list{L"old"};
    EXPECT_TRUE(SplitTabsToList(list, L"a\tb"));
    EXPECT_EQ(list, (std::list<std::wstring>{L"a", L"b"}));
    EXPECT_FALSE(SplitTabsToList(list, L""));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(ArrayToList(list, {L"x", L"y"}));
    EXPECT_EQ(list, (std::list<std::wstring>{L"x", L"y"}));
    EXPECT_FALSE(ArrayToList(list, {}));
}

TEST(Format, DecimalAndHex) {
    EXPECT_EQ(FormatDecimal(-12), L"-12");
    EXPECT_EQ(FormatHex(255), L"0xFF");
    EXPECT_EQ(FormatHex(-1), L"0xFFFFFFFF");
    EXPECT_EQ(FormatHex(0), L"0x0");
}

TEST(IsValidFunctionName, AsciiIdentifiersWhateverTheLocale) {
    // Under a UTF-8 locale, as GTK sets it, letters above 127 stay invalid.
    const char* previous = std::setlocale(LC_ALL, "C.UTF-8");
    const struct {
        const wchar_t* text;
        bool valid;
    } cases[] = {{L"", false},       {L"_", true},    {L"a", true},    {L"preset_1", true},
                 {L"9ab", false},    {L"a-b", false}, {L"a b", false}, {L"caf\u00E9", false},
                 {L"\u00E9", false}, {L"A_9z", true}};
    for (const auto& c : cases) {
        EXPECT_EQ(busgate::IsValidFunctionName(std::wstring_view(c.text)), c.valid);
        std::string narrow;
        for (const wchar_t* p = c.text; *p; ++p)
            narrow += static_cast<char>(*p & 0xFF);
        EXPECT_EQ(busgate::IsValidFunctionName(std::string_view(narrow)), c.valid);
    }
    std::setlocale(LC_ALL, previous ? previous : "C");
}

class IniFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "loggeriniXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = dir / "script.ini";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::wstring WidePath() const { return path.wstring(); }
    fs::path dir;
    fs::path path;
};

TEST_F(IniFile, ReadsAndWritesWithTheCommentRule) {
    std::ofstream(path) << "[Cells]\nshort=a;xyz\nfirst=;all comment\nvalue=12 ;note\n"
                           "plain=  spaced out  \n";
    CTrIniFile ini(WidePath());
    EXPECT_EQ(ini.GetPath(), WidePath());
    std::wstring value = L"unchanged";
    EXPECT_FALSE(ini.ReadString(L"Cells", L"short", value));
    EXPECT_EQ(value, L"");
    value = L"x";
    EXPECT_FALSE(ini.ReadString(L"Cells", L"first", value));
    EXPECT_EQ(value, L"");
    EXPECT_TRUE(ini.ReadString(L"cells", L"VALUE", value));
    EXPECT_EQ(value, L"12"); // the character before ';' goes too
    EXPECT_EQ(ini.GetString(L"Cells", L"plain"), L"spaced out");
    value = L"kept";
    EXPECT_FALSE(ini.ReadString(L"Cells", L"missing", value));
    EXPECT_EQ(value, L"kept");
    EXPECT_EQ(ini.GetString(L"Nothing", L"here"), L"");

    std::wstring blank = L"   ";
    EXPECT_EQ(ini.WriteString(blank, L"Cells", L"blank"), 0);
    EXPECT_EQ(blank, L"");
    EXPECT_EQ(ini.GetString(L"Cells", L"blank"), L"");
    std::wstring text = L"  0x12, 0x34 \t";
    EXPECT_NE(ini.WriteString(text, L"Cells", L"new"), 0);
    EXPECT_EQ(text, L"0x12, 0x34");
    EXPECT_EQ(ini.GetString(L"Cells", L"new"), L"0x12, 0x34");
    EXPECT_EQ(ini.GetString(L"Cells", L"value"), L"12");
}

} // namespace
