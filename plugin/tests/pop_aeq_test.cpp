// POP scripts and AEQ files through the algorithm object to the simulated
// chip.
#include "AlgFixture.h"
#include "guilib/MessageService.h"

#include <fstream>

namespace {

using dulmtest::AlgTest;
using dulmtest::Bytes;
namespace fs = std::filesystem;
using namespace dulm;

// Records the message boxes shown while it lives.
struct Messages {
    Messages() {
        old = KMMessageService::SetHandler(
            [this](const std::string& text, const std::string& caption, KMMessageService::Kind) {
                shown.push_back(caption + "|" + text);
                return KMMessageService::kOK;
            });
    }
    ~Messages() { KMMessageService::SetHandler(old); }
    std::vector<std::string> shown;
    KMMessageService::Handler old;
};

TEST_F(AlgTest, PopScriptsBecomeRawWrites) {
    Make(0x6000, 0x0704, 1);
    struct Case {
        const char* text;
        std::vector<Bytes> writes;
        uint32_t result; // 0: zero, 1: non-zero unless exact is set
        bool exact;
        const char* message;
    } cases[] = {
        {"# c\r\n00 A5 00\r\nF3 AB FF # x",
         {{0x00, 0xA5, 0x00}, {0xF3, 0xAB, 0xFF}},
         1,
         false,
         nullptr},
        {"C5 00 00", {{0xC5, 0x00, 0x00}}, 3, true, nullptr},
        {"00 A5 00\r\n00 A5 00\r\n", {{0x00, 0xA5, 0x00}, {0x00, 0xA5, 0x00}}, 1, false, nullptr},
        {"# only a comment", {}, 1, true, nullptr},
        {"0x1f 20 ff", {{0x1F, 0x20, 0xFF}}, 3, true, nullptr},
        {"\n  A5  # c", {{0xA5}}, 1, false, nullptr},
        {"C5\t00", {{0xC5}}, 1, true, nullptr},
        {"   ", {}, 0, true, nullptr},
        {"100 00\r\nC5 00 00", {}, 0, true, "POP File Error|Error in POP File at line 1"},
        {"C5 00 00\r\n# c\r\n00 zz",
         {{0xC5, 0x00, 0x00}},
         1,
         false,
         "POP File Error|Error in POP File at line 2"},
        {"01 02 03 04 05 06 07", {{1, 2, 3, 4, 5, 6, 7}}, 7, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Clear();
        Messages messages;
        const uint32_t result = alg->RunPopScript(c.text);
        EXPECT_EQ(sim.Writes(), c.writes);
        if (c.exact) {
            EXPECT_EQ(result, c.result);
        } else {
            EXPECT_NE(result, 0u);
        }
        if (c.message) {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_EQ(messages.shown[0], c.message);
        } else {
            EXPECT_TRUE(messages.shown.empty());
        }
        // One pause, at the end: never before the writes.
        const auto sleeps = clock->Sleeps();
        ASSERT_EQ(sleeps.size(), 1u);
        EXPECT_EQ(sleeps[0].ms, 3u);
        EXPECT_EQ(sleeps[0].mark, c.writes.size());
    }
    // A data part longer than 1023 characters is refused.
    Clear();
    Messages messages;
    std::string longLine;
    while (longLine.size() < 1100)
        longLine += "00 ";
    EXPECT_EQ(alg->RunPopScript(longLine.c_str()), 0u);
    EXPECT_TRUE(sim.Writes().empty());
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(AlgTest, ResetFileChoice) {
    Make();
    alg->SetVersionPopPath("/m/DL6000_7.04.pop");
    alg->SetPopSettings(0, "/x/mine.pop", 0, "/x/eeprom.pop");
    EXPECT_EQ(alg->ResetPopPath(), "/m/DL6000_7.04.pop");
    alg->SetPopSettings(1, "/x/mine.pop", 0, "/x/eeprom.pop");
    EXPECT_EQ(alg->ResetPopPath(), "/x/mine.pop");
    alg->Connection().SetSlaveAddress(0x50);
    EXPECT_EQ(alg->ResetPopPath(), alg->ModuleFolder() + "EEPROM_ECD.pop");
    alg->SetPopSettings(1, "", 1, "");
    EXPECT_EQ(alg->ResetPopPath(), "");
    alg->SetPopSettings(1, "", 2, "");
    EXPECT_EQ(alg->ResetPopPath(), alg->ModuleFolder() + "EEPROM_ECE.pop");
    alg->SetPopSettings(1, "", 3, "");
    EXPECT_EQ(alg->ResetPopPath(), "");
}

class AeqTest : public AlgTest {
protected:
    std::string File(const std::string& text) {
        const fs::path p = registry / "test.aeq";
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
};

TEST_F(AeqTest, FileToBlockAndRecords) {
    Make(0x6000, 0x0505, 0);
    Set(PARAM_AEQ_ACTIVE, 1);
    ASSERT_TRUE(
        alg->LoadAeqFile(File(" 3 \r\n 1 \r\n  \r\n 0.0 \r\n 0.5 \r\n 0 \r\n 0 \r\n -0.25 \r\n")));
    const auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], (Bytes{0x07, 0xA3, 0x00}));
    EXPECT_EQ(writes[1],
              (Bytes{0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0}));
    EXPECT_EQ(writes[2], (Bytes{0x00, 0xE6, 0x00}));
    const auto& r = alg->DesignBlock(1).aeq[0];
    EXPECT_EQ(r.b0, 1.0);
    EXPECT_EQ(r.a1, -0.5);
    EXPECT_EQ(r.field2, 3);
    EXPECT_EQ(alg->DesignBlock(0).aeq[1].b0, 1.0);

    struct Case {
        const char* text;
        bool readable, sent;
        size_t frames;
    } cases[] = {
        {"3 0", true, true, 0},                    // N = 0: valid, nothing sent
        {"3 2 0 0 0 0 0 0 0 0 0", true, false, 0}, // 11 numbers, N = 2
        {"3 11", true, false, 0},                  // more sections than the format holds
        {"", false, false, 0},                     // empty file
        // Numbers no writer makes, refused before any conversion.
        {"2147483647 1 0.1 0.1 0.1 0.1 0.1", true, false, 0}, // H + 1 overflows
        {"16777215 1 0.1 0.1 0.1 0.1 0.1", true, false, 0},   // beyond 24 bits
        {"1e300 1 0.1 0.1 0.1 0.1 0.1", true, false, 0},
        {"3 1e300", true, false, 0},
        {"3 -1e300", true, false, 0},
        {"-1 1 0.1 0.1 0.1 0.1 0.1", true, false, 0},
        {"3 1 1e400 0 0 0 0", true, false, 0}, // not finite
        {"3 1 1.0 0 0 0 0", true, true, 3},    // full scale saturates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Clear();
        EXPECT_EQ(alg->ReadAeqFile(File(c.text)), c.readable);
        EXPECT_EQ(alg->SendAeqCoefs(), c.sent);
        EXPECT_EQ(sim.Writes().size(), c.frames);
        if (!c.sent) {
            EXPECT_EQ(alg->BandLimit(), 10);
        }
    }
    EXPECT_EQ(sim.Writes()[1][6], 0xFF);
    EXPECT_EQ(sim.Writes()[1][8], 0x7F);
    EXPECT_FALSE(alg->ReadAeqFile((registry / "missing.aeq").string()));
    EXPECT_FALSE(alg->ReadAeqFile(registry.string())); // a folder is no file

    // Too old a chip takes no AEQ block.
    alg->SetChipVersion(0x5010, 0x0400);
    ASSERT_TRUE(alg->ReadAeqFile(File("3 0")));
    EXPECT_FALSE(alg->SendAeqCoefs());
}

// The token reader: every kind of white space separates, the position ends
// past the white space after a token, and the text ends at its end or at a
// zero byte; the integer form reads what KUAtoi reads.
TEST(AeqTokens, FloatingAndIntegerFormsReadTheSameTokens) {
    const char text[] = "\t 12.5e1\v-7\f+3x \r\n\r\n 9";
    struct Case {
        double real;
        int32_t integer;
        size_t after; // the position after the token, from the start
    } cases[] = {{125.0, 12, 9}, {-7.0, -7, 12}, {3.0, 3, 21}, {9.0, 9, 22}};
    const char* reals = text;
    const char* integers = text;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.real);
        double real = 0;
        int32_t integer = 0;
        ASSERT_TRUE(ReadAeqToken(reals, real));
        ASSERT_TRUE(ReadAeqToken(integers, integer));
        EXPECT_EQ(real, c.real);
        EXPECT_EQ(integer, c.integer);
        EXPECT_EQ(static_cast<size_t>(reals - text), c.after);
        EXPECT_EQ(integers, reals);
    }
    double untouched = 4.0;
    EXPECT_FALSE(ReadAeqToken(reals, untouched));
    EXPECT_EQ(untouched, 4.0);
    const char* blank = " \r\n\t";
    int32_t stays = 8;
    EXPECT_FALSE(ReadAeqToken(blank, stays));
    EXPECT_EQ(stays, 8);
    // The integer form wraps as KUAtoi does and stops at the first non-digit.
    const char* big = "4294967297 0x10";
    ASSERT_TRUE(ReadAeqToken(big, stays));
    EXPECT_EQ(stays, 1);
    ASSERT_TRUE(ReadAeqToken(big, stays));
    EXPECT_EQ(stays, 0);
}

// The file's numbers end at a zero byte in it, as the text the file gives.
TEST_F(AeqTest, TheNumbersEndAtAZeroByte) {
    Make(0x6000, 0x0505, 0);
    ASSERT_TRUE(alg->ReadAeqFile(File(std::string("3\t0\v1\f2\0 4 5", 12))));
    EXPECT_EQ(alg->AeqNumbers(), (std::vector<double>{3, 0, 1, 2}));
}

TEST_F(AeqTest, InactiveAeqEndsWithTheFirmwaresFrames) {
    struct Case {
        uint16_t sub;
        std::vector<Bytes> tail;
    } cases[] = {
        {0x0606, {{0x63, 0xA7, 0x02}, {0xE2, 0xD3, 0x00}}},
        {0x0704, {{0x78, 0xA7, 0x02}, {0xD7, 0xD5, 0x00}}},
        {0x0505, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sub);
        Make(0x6000, c.sub, 0);
        Set(PARAM_AEQ_ACTIVE, 0);
        ASSERT_TRUE(alg->ReadAeqFile(File("3 1 0.1 0.2 0.3 0.4 0.5")));
        EXPECT_TRUE(alg->SendAeqCoefs());
        auto writes = sim.Writes();
        ASSERT_EQ(writes.size(), 2 + c.tail.size());
        writes.erase(writes.begin(), writes.begin() + 2);
        EXPECT_EQ(writes, c.tail);
        EXPECT_EQ(alg->DesignBlock(0).aeq[0].b0, 1.0); // inactive: flat records
    }
}

} // namespace
