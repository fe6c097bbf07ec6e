#include "loggerui/TweaksImages.h"

#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/TraceSink.h"
#include "foundation/KCStFile.h"

#include <charconv>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <sstream>

namespace loggerui {

namespace {

const TweaksImage kImages[] = {
    {0x0606, "tweaks-0606.txt", 180, 0x300, 0xA50100, 0xC1B5, {}},
    {0x0704, "tweaks-0704.txt", 264, 0x200, 0xA50300, 0xC18D, {}},
};

std::string_view TrimmedLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

} // namespace

std::optional<TweaksImage> TweaksImageFor(uint16_t firmware) {
    for (const TweaksImage& image : kImages)
        if (image.firmware == firmware)
            return image;
    return std::nullopt;
}

std::string TweaksImageFolder() {
    if (const char* folder = std::getenv("QUORL_TWEAKS_DIR"); folder && *folder)
        return folder;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&TweaksImageFolder), &info) && info.dli_fname)
        return std::filesystem::path(info.dli_fname).parent_path().string();
    return ".";
}

std::optional<std::vector<uint32_t>> ParseTweaksWords(const std::string& text, std::size_t words) {
    std::vector<uint32_t> code;
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        std::string_view line = TrimmedLine(raw);
        if (line.empty())
            continue;
        if (line.size() > 2 && line[0] == '0' && (line[1] == 'x' || line[1] == 'X'))
            line.remove_prefix(2);
        uint32_t word = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), word, 16);
        if (ec != std::errc() || end != line.data() + line.size() || word > 0xFFFFFF)
            return std::nullopt;
        code.push_back(word);
    }
    if (code.size() != words)
        return std::nullopt;
    return code;
}

std::optional<TweaksImage> LoadTweaksImage(uint16_t firmware, const std::string& folder) {
    std::optional<TweaksImage> image = TweaksImageFor(firmware);
    if (!image)
        return std::nullopt;
    const std::string path = (std::filesystem::path(folder) / image->fileName).string();
    std::string text;
    if (kvFM::ReadRegularFile(path, text) != eNoErr) {
        busgate::TraceWrite("Tweaks code image not found: " + path + "\n");
        return std::nullopt;
    }
    std::optional<std::vector<uint32_t>> code = ParseTweaksWords(text, image->words);
    if (!code) {
        busgate::TraceWrite(busgate::FormatC(1024,
                                             "Tweaks code image %s is not %u words of 24 bits\n",
                                             path.c_str(), static_cast<unsigned>(image->words)));
        return std::nullopt;
    }
    image->code = std::move(*code);
    return image;
}

} // namespace loggerui
