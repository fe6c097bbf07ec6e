// The simulated chip's patch download and its model of the tweaks code.
#include "sim/ChipModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace u2csim;

namespace {

void Send(ChipModel& chip, std::vector<uint8_t> bytes) {
    ASSERT_TRUE(chip.write(bytes.data(), bytes.size()));
}

// Writes X register r := v.
void WriteX(ChipModel& chip, uint16_t r, uint32_t v) {
    Send(chip,
         {static_cast<uint8_t>(r >> 8), 0xAB, static_cast<uint8_t>(r),
          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}

void WriteMem(ChipModel& chip, uint8_t command, uint16_t a, uint32_t v) {
    Send(chip,
         {static_cast<uint8_t>(a >> 8), command, static_cast<uint8_t>(a),
          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}

uint32_t ReadMemY(ChipModel& chip, uint16_t a) {
    Send(chip, {static_cast<uint8_t>(a >> 8), 0xB2, static_cast<uint8_t>(a)});
    const auto reply = chip.read(3);
    EXPECT_TRUE(reply);
    return reply ? uint32_t{(*reply)[0]} << 16 | uint32_t{(*reply)[1]} << 8 | (*reply)[2] : 0;
}

// Downloads `words` words (value = index) to `address` through the patch.
void Download(ChipModel& chip, uint16_t address, uint32_t words, uint32_t redirect = 0) {
    if (redirect) {
        WriteX(chip, kPatchIndexRegister, 1);
        WriteX(chip, kPatchCtlRegister, 0x100000 | 0x2000);
        WriteX(chip, 0xFFF6, redirect);
    }
    WriteX(chip, kPatchIndexRegister, 0);
    WriteX(chip, kPatchCtlRegister, 0x100000 | 0x713);
    for (uint32_t done = 0; done < words;) {
        const uint32_t n = std::min<uint32_t>(words - done, 255);
        WriteX(chip, 0xFFF6, address + done);
        Send(chip, {0x00, kDownloadCommand, static_cast<uint8_t>(n)});
        std::vector<uint8_t> data;
        for (uint32_t i = 0; i < n; ++i)
            data.insert(data.end(), {0x00, 0x00, static_cast<uint8_t>(done + i + 1)});
        Send(chip, data);
        done += n;
    }
    // Slots back to unused.
    WriteX(chip, kPatchCtlRegister, 0);
    WriteX(chip, kPatchIndexRegister, 1);
    WriteX(chip, kPatchCtlRegister, 0);
}

TEST(ChipModelDownload, GoesToProgramMemoryOrWhereSlotOneRedirects) {
    ChipModel chip({0x6000, 0x0606});
    Download(chip, 0x300, 3);
    EXPECT_EQ(chip.memoryP(0x300), 1u);
    EXPECT_EQ(chip.memoryP(0x302), 3u);
    EXPECT_EQ(chip.memoryP(0x303), 0u);
    Download(chip, 0x500, 2, kRedirectY);
    EXPECT_EQ(chip.memoryY(0x501), 2u);
    Download(chip, 0x20, 2, kRedirectX);
    EXPECT_EQ(chip.memoryX(0x21), 2u);
    // Without an active slot 0 the command moves nothing: the next group is
    // a command again.
    Send(chip, {0x00, kDownloadCommand, 0x01});
    WriteMem(chip, 0xA8, 0x10, 0x123456);
    EXPECT_EQ(chip.memoryY(0x10), 0x123456u);
}

TEST(ChipModelTweaks, RunsOnlyHookedWithTheWholeImageAndTheDspRunning) {
    struct Case {
        uint32_t firmware;
        uint16_t load, words;
        uint32_t hook, signature;
    };
    for (const Case& c :
         {Case{0x0606, 0x300, 180, 0xC1B5, 0xA50100}, Case{0x0704, 0x200, 264, 0xC18D, 0xA50300}}) {
        SCOPED_TRACE(c.firmware);
        ChipModel chip({0x7000, c.firmware});
        EXPECT_EQ(chip.registerX(kDspControlRegister) & 3u, 3u);
        EXPECT_EQ(chip.memoryP(kHookWord), c.hook);
        WriteMem(chip, 0xA8, 0x400, 0x2);
        Download(chip, c.load, c.words - 1);
        WriteMem(chip, 0xA6, kHookWord, c.load);
        EXPECT_EQ(ReadMemY(chip, 0x400), 0x2u) << "an image one word short";
        Download(chip, c.load, c.words);
        EXPECT_TRUE(chip.tweaksRunning());
        EXPECT_EQ(ReadMemY(chip, 0x400), c.signature | 0x2);
        WriteMem(chip, 0xA8, 0x40E, 0x1FFFFF);
        EXPECT_EQ(ReadMemY(chip, 0x40F), 127u);
        WriteMem(chip, 0xA8, 0x411, 0);
        EXPECT_EQ(ReadMemY(chip, 0x412), 0u);
        WriteMem(chip, 0xA8, 0x40E, 0);
        EXPECT_EQ(ReadMemY(chip, 0x40F), 0u);
        // Paused, the code answers nothing.
        WriteX(chip, kDspControlRegister, 0);
        EXPECT_EQ(ReadMemY(chip, 0x400), 0x2u);
        WriteX(chip, kDspControlRegister, 3);
        EXPECT_TRUE(chip.tweaksRunning());
        // A soft reset puts the firmware's hook back.
        Send(chip, {0x00, 0xC5, 0x00});
        EXPECT_EQ(chip.memoryP(kHookWord), c.hook);
        EXPECT_FALSE(chip.tweaksRunning());
    }
}

TEST(ChipModelTweaks, OtherFirmwareHasNoHookAndNoCode) {
    ChipModel chip({0x6000, 0x0505});
    EXPECT_EQ(chip.memoryP(kHookWord), 0u);
    Download(chip, 0x300, 180);
    WriteMem(chip, 0xA6, kHookWord, 0x300);
    EXPECT_FALSE(chip.tweaksRunning());
}

} // namespace
