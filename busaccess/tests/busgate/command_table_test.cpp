#include "busaccess/busgate/CommandTable.h"

#include <gtest/gtest.h>

#include <string>

using namespace busgate;

namespace {

TEST(CommandTable, HoldsEveryRowWithConsistentKeysAndACatchAllLast) {
    const auto rows = CommandTable();
    ASSERT_EQ(rows.size(), 190u);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        // A value with bits outside its mask could never match.
        EXPECT_EQ(rows[i].value & rows[i].mask, rows[i].value);
        EXPECT_NE(rows[i].firmwareMask, 0u);
        EXPECT_LE(rows[i].category, 7u);
        ASSERT_NE(rows[i].name, nullptr);
        EXPECT_EQ(rows[i].extended == Ext::None, rows[i].extWords == 0 &&
                                                     rows[i].decoder != Dec::AEQStart &&
                                                     rows[i].decoder != Dec::Patch);
    }
    EXPECT_EQ(rows.back().mask, 0u);
    EXPECT_EQ(rows.back().firmwareMask, 0xFFFFFFFFu);
    EXPECT_EQ(rows.back().decoder, Dec::CatchAll);
}

TEST(CommandTable, FirstApplicableMatchWins) {
    struct Case {
        uint32_t key;
        uint32_t firmware;
        size_t row;
        const char* name;
    };
    const Case cases[] = {
        {0x00C601, kFirmwareA2, 2, "Set Leveler"},
        {0x00A105, kFirmwareA2, 0, "Load PEQ Start"},
        {0x00A106, kFirmwareA2, 189, "Unknown DulmAudio command"},
        // The straps read is named by the earlier of its two rows.
        {0xFFB5F1, kFirmwareA2, 68, "Get Chip Flavor"},
        {0xFFAD80, kFirmwareA2, 79, "Set DAC1 Volume Control"},
        {0xFFAD80, kFirmwareQZ625x, 99, "Set DAC1 Volume Control"},
        {0xFFABDA, kFirmwareA2, 120, "Set GPIO Selection 1"},
        {0x00AB12, kFirmwareA2, 177, "Write Register (peripheral X)"},
        {0x14B200, kFirmwareA2, 70, "Is Alive ?"},
        {0x00B212, kFirmwareA2, 184, "Generic Read (Y)"},
        {0x00EA00, kFirmwareQZ625x, 54, "Set Mixer Gain"},
        {0x00EA00, kFirmwareA2, 189, "Unknown DulmAudio command"},
        {0x000700, kFirmwareA2, 188, "Unknown DulmAudio command"},
        // A1 firmware and undetected firmware know only the P memory rows.
        {0x00C600, kFirmwareA1, 189, "Unknown DulmAudio command"},
        {0x00A612, kFirmwareA1, 185, "Generic Write (P)"},
        {0x00C600, kFirmwareUndetected, 189, "Unknown DulmAudio command"},
        {0x00B000, kFirmwareUndetected, 186, "Generic Read (P)"},
        {0x000700, kFirmwareUndetected, 189, "Unknown DulmAudio command"},
        // After an unknown firmware version every row applies.
        {0x00C600, 0, 2, "Set Leveler"},
        {0xFFAD80, 0, 79, "Set DAC1 Volume Control"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.key << " fw " << c.firmware);
        const size_t row = FindCommandRow(c.key, c.firmware);
        EXPECT_EQ(row, c.row);
        EXPECT_EQ(std::string(CommandTable()[row].name), c.name);
    }
}

TEST(CommandTable, CategoryColours) {
    const int expected[] = {1, 1, 1, 4, 4, 5, 6, 1};
    for (uint32_t category = 0; category < 8; ++category)
        EXPECT_EQ(CategoryColour(category), expected[category]) << category;
}

} // namespace
