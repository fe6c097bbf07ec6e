// The AEQ page's model: designs, typed values, the load block sent to the
// simulated chip and the two files.
#include "SimBus.h"

#include "foundation/KCStFile.h"
#include "loggerui/AeqFilters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

AeqRecord Designed(uint32_t type, uint16_t frequency, float gain, float q, uint32_t rate = 0) {
    AeqRecord r;
    r.enabled = 1;
    r.type = type;
    r.frequency = frequency;
    r.gain = gain;
    r.q = q;
    r.rate = rate;
    EXPECT_TRUE(DesignBiquad(r));
    return r;
}

TEST(AeqDesign, BellAndHighShelfGiveTheKnownMantissas) {
    const AeqRecord bell = Designed(kBell, 1000, 6.0f, 1.0f);
    EXPECT_EQ(bell.shift, 0);
    EXPECT_EQ(bell.a0, 4378656);
    EXPECT_EQ(bell.a1, -7949549);
    EXPECT_EQ(bell.b1, -7949549);
    EXPECT_NEAR(FeedForwardValue(bell.a2, 0), 0.867722, 1e-6);
    EXPECT_NEAR(FeedbackValue(bell.b2), 0.911675, 1e-6);
    EXPECT_EQ(AeqCoefficientText(bell, 0).substr(0, 8), "1.043953");
    EXPECT_NE(AeqCoefficientText(bell, 0).find("(0x42D020)"), std::string::npos);
    // Negative mantissas are 24 bits on show.
    EXPECT_NE(AeqCoefficientText(bell, 1).find("(0x86B313)"), std::string::npos)
        << AeqCoefficientText(bell, 1);

    const AeqRecord shelf = Designed(kHighShelf, 5000, 12.0f, 0.707f);
    EXPECT_EQ(shelf.shift, 1);
    EXPECT_EQ(shelf.a0, 6115415);
    EXPECT_NEAR(FeedForwardValue(shelf.a0, 1), 2.916057, 1e-5);
    EXPECT_NEAR(FeedForwardValue(shelf.a1, 1), -3.931788, 1e-5);
    EXPECT_NEAR(FeedbackValue(shelf.b1), -0.807169, 1e-6);
    EXPECT_NEAR(FeedbackValue(shelf.b2), 0.289136, 1e-6);
}

TEST(AeqDesign, ValuesOutsideTheTablesAreUnusable) {
    AeqRecord r = Designed(kBell, 1000, 6.0f, 1.0f);
    for (auto spoil : std::initializer_list<void (*)(AeqRecord&)>{
             [](AeqRecord& x) { x.type = 6; }, [](AeqRecord& x) { x.rate = 7; },
             [](AeqRecord& x) { x.q = 0.0f; }, [](AeqRecord& x) { x.gain = NAN; },
             [](AeqRecord& x) { x.q = INFINITY; }}) {
        AeqRecord bad = r;
        spoil(bad);
        EXPECT_FALSE(DesignBiquad(bad));
        EXPECT_EQ(bad.a0 | bad.a1 | bad.a2 | bad.b1 | bad.b2, 0);
    }
}

TEST(AeqEdits, TypedValuesAreCheckedBeforeTheyAreStored) {
    EXPECT_FALSE(ParseAeqFrequency("14"));
    EXPECT_FALSE(ParseAeqFrequency("22388"));
    EXPECT_FALSE(ParseAeqFrequency("65551")); // not cut to 15
    EXPECT_FALSE(ParseAeqFrequency("Hz"));
    EXPECT_EQ(ParseAeqFrequency("15"), uint16_t{15});
    EXPECT_EQ(ParseAeqFrequency("22387 Hz"), uint16_t{22387});

    EXPECT_FLOAT_EQ(*ParseAeqGain("5.25"), 5.3f);
    EXPECT_FLOAT_EQ(*ParseAeqGain("-5.25"), -5.3f);
    EXPECT_FALSE(ParseAeqGain("20.1"));
    EXPECT_FALSE(ParseAeqGain("nan"));
    EXPECT_FALSE(ParseAeqGain("inf"));

    EXPECT_FLOAT_EQ(*ParseAeqQ("0.705"), 0.71f);
    EXPECT_FALSE(ParseAeqQ("0.39"));
    EXPECT_FALSE(ParseAeqQ("12.01"));
    EXPECT_FALSE(ParseAeqQ("nan"));
}

TEST(AeqEdits, CoefficientsKeepOrMoveTheShift) {
    AeqRecord r = Designed(kBell, 1000, 6.0f, 1.0f);
    r.designed = 0;
    const AeqRecord before = r;
    EXPECT_FALSE(SetAeqCoefficient(r, 3, "2.5"));
    EXPECT_FALSE(SetAeqCoefficient(r, 4, "nan"));
    EXPECT_FALSE(SetAeqCoefficient(r, 0, "inf"));
    EXPECT_EQ(r, before);

    EXPECT_TRUE(SetAeqCoefficient(r, 4, "-0.5"));
    EXPECT_EQ(r.b2, static_cast<int32_t>(std::trunc(-0.5 * 0.5 * 8388607 + 0.5)));
    // a0 = 1.5 keeps shift 0: only a0 changes.
    EXPECT_TRUE(SetAeqCoefficient(r, 0, "1.5"));
    EXPECT_EQ(r.shift, 0);
    EXPECT_EQ(r.a0, ToMantissa(1.5, 0));
    EXPECT_EQ(r.a1, before.a1);
    // a0 = 3 needs shift 1: all three are stored again.
    EXPECT_TRUE(SetAeqCoefficient(r, 0, "3"));
    EXPECT_EQ(r.shift, 1);
    EXPECT_EQ(r.a0, ToMantissa(3.0, 1));
    EXPECT_NEAR(FeedForwardValue(r.a1, 1), FeedForwardValue(before.a1, 0), 1e-6);
}

TEST(AeqEdits, TypeChangesSetTheTypesFixedValues) {
    AeqRecord r = Designed(kBell, 1000, 6.0f, 3.0f);
    SetAeqType(r, kLowPass);
    EXPECT_FLOAT_EQ(r.q, 0.707f);
    EXPECT_EQ(r.gain, 0.0f);
    r.gain = 4;
    SetAeqType(r, kNotch);
    EXPECT_EQ(r.gain, 0.0f);
    r.q = 2;
    SetAeqType(r, kLowShelf);
    EXPECT_FLOAT_EQ(r.q, 0.707f);
}

TEST(AeqEdits, SlidersAndListEntries) {
    EXPECT_EQ(FrequencyFromPosition(0), 15);
    EXPECT_EQ(FrequencyFromPosition(400), 22387);
    EXPECT_EQ(PositionFromFrequency(1000), 228);
    EXPECT_FLOAT_EQ(GainFromPosition(260), 6.0f);
    EXPECT_NEAR(QFromPosition(60), 1.0f, 1e-6);

    const AeqRecords initial = InitialAeqRecords();
    EXPECT_EQ(initial[0].type, kHighPass);
    EXPECT_EQ(initial[9].frequency, 16384);
    EXPECT_EQ(AeqListEntry(0, initial[0]), "CH  1 [ - ]");
    AeqRecord r = initial[2];
    r.enabled = 1;
    EXPECT_EQ(AeqListEntry(9, r), "CH 10 [Bell]");
    r.designed = 0;
    EXPECT_EQ(AeqListEntry(2, r), "CH  3 [BiQuad]");
}

struct AeqOnChip : ::testing::Test {
    AeqOnChip() {
        EXPECT_NE(sim.bus->Open(), 0u);
        sim.ClearLog();
    }
    std::vector<Bytes> Sent() {
        std::vector<Bytes> all = sim.Writes();
        return {all.begin() + static_cast<long>(before), all.end()};
    }
    SimBus sim{WithChip(0x6000, 0x0606)};
    size_t before = sim.Writes().size();
};

TEST_F(AeqOnChip, UpdateNowLoadsTheEnabledFiltersInOneBlock) {
    AeqRecords records = InitialAeqRecords();
    records[1] = Designed(kBell, 1000, 6.0f, 1.0f);
    records[4] = Designed(kHighShelf, 5000, 12.0f, 0.707f);
    SendAeqFilters(*sim.bus, records);
    const std::vector<Bytes> sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0x00, 0xA3, 0x0C}));
    ASSERT_EQ(sent[1].size(), 36u);
    EXPECT_EQ(Bytes(sent[1].begin(), sent[1].begin() + 6), (Bytes{0, 0, 2, 0, 0, 1}));
    // a2 a0 a1 b2 b1 of the first filter.
    EXPECT_EQ(Bytes(sent[1].begin() + 9, sent[1].begin() + 12), (Bytes{0x42, 0xD0, 0x20}));
    EXPECT_EQ(sent[2], (Bytes{0x00, 0xE6, 0x00}));
    EXPECT_NE(sim.Text().find("Load AEQ"), std::string::npos) << sim.Text();
}

TEST_F(AeqOnChip, NoEnabledFilterDisablesTheAeq) {
    SendAeqFilters(*sim.bus, InitialAeqRecords());
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x02, 0xA7, 0x63}, {0x00, 0xD3, 0xE2}}));
    EXPECT_EQ(AeqExportRefusal(InitialAeqRecords()), "All the filters are disabled.");
}

TEST_F(AeqOnChip, NothingIsSentWithoutAReadyChip) {
    sim.bus->State().ready = 0;
    SendAeqFilters(*sim.bus, InitialAeqRecords());
    EXPECT_TRUE(Sent().empty());
}

TEST(AeqFiles, TheCoefficientFileListsTheEnabledFilters) {
    AeqRecords records = InitialAeqRecords();
    EXPECT_EQ(AeqProposedName(0x0505, records), "DL6000_5.05_48.aeq");
    EXPECT_EQ(AeqProposedName(0x0704, records), "DL6000_7.04_48.aeq");
    records[0].rate = 1;
    EXPECT_EQ(AeqProposedName(0x0123, records), "DLx000_x.xx_44.aeq");
    records[0].rate = 0;

    records[4] = Designed(kHighShelf, 5000, 12.0f, 0.707f);
    records[6] = Designed(kBell, 1000, 6.0f, 1.0f);
    EXPECT_FALSE(AeqExportRefusal(records));
    const std::string text = AeqFileText(records);
    EXPECT_EQ(text.substr(0, 14), " 1 \r\n 2 \r\n  \r\n");
    char line[64];
    std::snprintf(line, sizeof line, " %.15f \r\n", records[4].a2 / 8388607.0);
    EXPECT_EQ(text.substr(14, std::strlen(line)), line);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 2 * 6);

    records[6].a0 = records[6].a1 = records[6].a2 = records[6].b1 = records[6].b2 = 0;
    EXPECT_EQ(AeqExportRefusal(records), "Filter include 'out of range' parameter.");
}

TEST(AeqFiles, TheSettingsFileRestoresEveryRecordAndIgnoresItsText) {
    AeqRecords records = InitialAeqRecords();
    records[3] = Designed(kLowShelf, 200, -7.5f, 0.9f, 1);
    records[3].designed = 0;
    records[8] = Designed(kNotch, 3000, 0.0f, 4.0f);
    std::string bytes = AeqCfgBytes(records);
    ASSERT_GE(bytes.size(), kAeqRecordsBytes);
    EXPECT_EQ(bytes.substr(kAeqRecordsBytes, 31), " \n# DulmLoggerVer \"3.5.0.7\" \n \n");
    EXPECT_NE(bytes.find("EqFilterParam.Gain= -7.500 \n"), std::string::npos);
    // Reserved bytes are zero.
    EXPECT_EQ(bytes.substr(25, 3), std::string(3, '\0'));
    EXPECT_EQ(bytes.substr(42, 2), std::string(2, '\0'));
    EXPECT_EQ(ParseAeqCfg(bytes), records);

    std::string edited = bytes;
    edited.replace(edited.find("FilterEnable= 0"), 15, "FilterEnable= 1");
    EXPECT_EQ(ParseAeqCfg(edited), records);
    EXPECT_FALSE(ParseAeqCfg(bytes.substr(0, kAeqRecordsBytes - 1)));

    // A record with a wild type loads but designs as out of range.
    edited[32] = 9;
    AeqRecord wild = (*ParseAeqCfg(edited))[0];
    EXPECT_FALSE(DesignBiquad(wild));
}

TEST(AeqFiles, AFailedWriteKeepsWhatWasThere) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("aeq_files_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "taken.AeqCfg");
    const std::string path = (folder / "x.AeqCfg").string();
    auto read = [](const std::string& file) {
        std::string bytes;
        return kvFM::ReadRegularFile(file, bytes) == eNoErr ? std::optional(bytes) : std::nullopt;
    };
    ASSERT_TRUE(WriteFileReplacing(path, "old"));
    EXPECT_EQ(read(path), "old");
    ASSERT_TRUE(WriteFileReplacing(path, "new"));
    EXPECT_EQ(read(path), "new");
    // A folder in the way: the write fails and the folder stays.
    EXPECT_FALSE(WriteFileReplacing((folder / "taken.AeqCfg").string(), "new"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.AeqCfg"));
    EXPECT_FALSE(read((folder / "missing").string()));
    std::filesystem::remove_all(folder);
}

} // namespace
