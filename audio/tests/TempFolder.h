// A temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvaudio_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()))
            path = buf.data();
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& leaf) const { return path + "/" + leaf; }

    std::string path;
};

inline void WriteBytes(const std::string& file, const std::vector<unsigned char>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<unsigned char> ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Little-endian builder of hand-made WAV files.
struct WavBytes {
    std::vector<unsigned char> b;
    WavBytes& Id(const char* id) {
        b.insert(b.end(), id, id + 4);
        return *this;
    }
    WavBytes& U16(unsigned v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
        return *this;
    }
    WavBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    WavBytes& Raw(const std::vector<unsigned char>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    // "fmt " chunk of 16 bytes.
    WavBytes& Fmt(unsigned tag, unsigned channels, uint32_t rate, unsigned bits) {
        Id("fmt ").U32(16).U16(tag).U16(channels).U32(rate).U32(rate * channels * bits / 8);
        return U16(channels * bits / 8).U16(bits);
    }
    // RIFF header whose size field covers what follows.
    static WavBytes Riff() {
        WavBytes w;
        w.Id("RIFF").U32(0).Id("WAVE");
        return w;
    }
    std::vector<unsigned char> Done() {
        const uint32_t size = uint32_t(b.size() - 8);
        for (int i = 0; i < 4; ++i)
            b[4 + i] = uint8_t(size >> (8 * i));
        return b;
    }
};
