// Reading a u2c-sim daemon's transfer log.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace dulmtest {

// The daemon's OUT transfers to the chip: the bytes after the 10-byte header.
inline std::vector<std::string> ChipWrites(const std::string& log) {
    std::ifstream in(log);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find(" OUT C6 ");
        if (at != std::string::npos && line.size() > at + 8 + 27)
            out.push_back(
                line.substr(at + 8 + 27, line.find_last_not_of(" \r") + 1 - (at + 8 + 27)));
    }
    return out;
}

} // namespace dulmtest
