// The tweaks code images. Their program words are not shipped: each is read
// at run time from "tweaks-0606.txt" or "tweaks-0704.txt" (one hexadecimal
// 24-bit word a line, exactly 180 or 264 words) in the folder named by
// QUORL_TWEAKS_DIR, by default the folder of the library itself. A missing
// or malformed file counts as no code for that firmware.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loggerui {

struct TweaksImage {
    uint16_t firmware;     // chip firmware version
    const char* fileName;  // in the images' folder
    std::size_t words;     // program words
    uint16_t loadAddress;  // program memory
    uint32_t signature;    // bits 8-23 of Y 0x400 while the code runs
    uint32_t firmwareHook; // program word 0x000F of the firmware itself
    std::vector<uint32_t> code;
};

// The image's description for a firmware version (its code empty); nothing
// for a firmware without tweaks code.
std::optional<TweaksImage> TweaksImageFor(uint16_t firmware);

// The folder the images are read from.
std::string TweaksImageFolder();

// The image with its code read from its file; nothing when the firmware
// has none or the file is missing or malformed (the trace sink names the
// file looked for and what was wrong).
std::optional<TweaksImage> LoadTweaksImage(uint16_t firmware, const std::string& folder);

// The words of an image file's text: one hexadecimal word of at most 24
// bits a line (blank lines allowed); nothing when a line is no such word or
// the count differs from `words`.
std::optional<std::vector<uint32_t>> ParseTweaksWords(const std::string& text, std::size_t words);

} // namespace loggerui
