#include "loggerui/TweaksImages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace loggerui;

namespace {

std::string Words(std::size_t count, const char* extra = "") {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += (i % 2 ? "0x" : "") + std::to_string(100000 + i) + "\n";
    return text + extra;
}

TEST(TweaksImages, TheTwoImagesAndTheirFiles) {
    std::string pattern = (fs::temp_directory_path() / "tweaksXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    std::ofstream(dir / "tweaks-0606.txt") << Words(180);
    std::ofstream(dir / "tweaks-0704.txt") << Words(263); // one word short

    const std::optional<TweaksImage> a2 = LoadTweaksImage(0x0606, dir.string());
    ASSERT_TRUE(a2.has_value());
    EXPECT_EQ(a2->code.size(), 180u);
    EXPECT_EQ(a2->code[0], 0x100000u);
    EXPECT_EQ(a2->loadAddress, 0x300);
    EXPECT_EQ(a2->signature, 0xA50100u);
    EXPECT_EQ(a2->firmwareHook, 0xC1B5u);
    EXPECT_FALSE(LoadTweaksImage(0x0704, dir.string()).has_value()); // malformed
    EXPECT_FALSE(LoadTweaksImage(0x0505, dir.string()).has_value()); // no code
    EXPECT_FALSE(LoadTweaksImage(0x0606, (dir / "none").string()).has_value());
    // A folder in place of the image reads as no image.
    fs::remove(dir / "tweaks-0704.txt");
    fs::create_directory(dir / "tweaks-0704.txt");
    EXPECT_FALSE(LoadTweaksImage(0x0704, dir.string()).has_value());
    EXPECT_EQ(TweaksImageFor(0x0704)->words, 264u);
    EXPECT_EQ(TweaksImageFor(0x0704)->loadAddress, 0x200);
    fs::remove_all(dir);
}

TEST(TweaksImages, WordsAreTwentyFourBitHexadecimalLines) {
    EXPECT_EQ(ParseTweaksWords("FFFFFF\r\n\n 0x000001 \n", 2),
              (std::vector<uint32_t>{0xFFFFFF, 1}));
    EXPECT_FALSE(ParseTweaksWords("1000000\n", 1).has_value());
    EXPECT_FALSE(ParseTweaksWords("12 34\n", 1).has_value());
    EXPECT_FALSE(ParseTweaksWords("xyz\n", 1).has_value());
    EXPECT_FALSE(ParseTweaksWords("1\n2\n", 3).has_value());
}

TEST(TweaksImages, TheFolderComesFromTheEnvironment) {
    setenv("QUORL_TWEAKS_DIR", "/opt/tweaks", 1);
    EXPECT_EQ(TweaksImageFolder(), "/opt/tweaks");
    unsetenv("QUORL_TWEAKS_DIR");
    EXPECT_FALSE(TweaksImageFolder().empty());
}

} // namespace
