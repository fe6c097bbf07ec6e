#include "foundation/ElfRes.h"

namespace kvElfRes {

std::string FileVersionQuery() {
    return "\\StringFileInfo\\040904B0\\FileVersion";
}

Resource MakeVersionResource(const std::string& fileVersion) {
    const std::string text = FileVersionQuery() + "=" + fileVersion + "\n";
    return Resource{ResName::Number(kVersionType), ResName::Number(kVersionId),
                    std::vector<uint8_t>(text.begin(), text.end())};
}

bool FindVersionValue(std::span<const uint8_t> bytes, const std::string& query,
                      std::string& value) {
    const std::string text(bytes.begin(), bytes.end());
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos && line.compare(0, equals, query) == 0 &&
            equals == query.size()) {
            value = line.substr(equals + 1);
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace kvElfRes
