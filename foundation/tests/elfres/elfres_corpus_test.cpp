// A deterministic corpus of truncated, damaged and random files fed to the
// reader (and some of them to the writer) under the sanitizers: nothing may
// read outside the file or crash. The same entry serves the libFuzzer target.
#include "TestFiles.h"
#include "foundation/ElfRes.h"
#include "fuzz/ExerciseImage.h"

#include <elf.h>

#include <chrono>
#include <cstring>
#include <random>

using kvElfRes::Image;
using kvElfRes::ResName;

namespace {

std::vector<uint8_t> PackedFixture(const TempFolder& dir) {
    const fs::path lib = dir / "seed.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    std::vector<kvElfRes::Resource> resources = {
        {ResName::Name("XPLL"), ResName::Number(1001), Bytes("<a/>")},
        {ResName::Name("PNG_"), ResName::Name("NAMED"), Bytes("png")},
        {ResName::Number(3), ResName::Number(2), std::vector<uint8_t>(100, 0xAB)},
    };
    EXPECT_EQ(kvElfRes::WriteResources(lib, resources), eNoErr);
    return ReadBytes(lib);
}

// Offsets worth damaging: the ELF header, the section table and the
// resource section.
std::vector<std::pair<size_t, size_t>> HotRanges(const std::vector<uint8_t>& file) {
    Elf64_Ehdr h;
    std::memcpy(&h, file.data(), sizeof h);
    std::vector<std::pair<size_t, size_t>> ranges = {{0, sizeof h}};
    ranges.emplace_back(h.e_shoff, file.size() - h.e_shoff);
    for (size_t i = 0; i < h.e_shnum; ++i) {
        Elf64_Shdr s;
        std::memcpy(&s, &file[h.e_shoff + i * sizeof s], sizeof s);
        if (s.sh_type == SHT_PROGBITS && s.sh_flags == 0 && s.sh_offset + s.sh_size <= file.size())
            ranges.emplace_back(s.sh_offset, s.sh_size);
    }
    return ranges;
}

} // namespace

TEST(ElfResourceCorpus, TruncatedFilesNeverCrash) {
    TempFolder dir;
    const auto file = PackedFixture(dir);
    ASSERT_GT(ExerciseImage(file.data(), file.size()), 0u) << "the seed must parse";
    Elf64_Ehdr h;
    std::memcpy(&h, file.data(), sizeof h);
    // Every length through the header and the tail (resource section and
    // section table), a sample of lengths in between.
    const size_t tail = file.size() > 4096 ? file.size() - 4096 : 0;
    for (size_t length = 0; length < file.size(); ++length) {
        if (length > 256 && length < tail && length % 97 != 0)
            continue;
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(length));
        ExerciseImage(cut.data(), cut.size());
        std::unique_ptr<Image> image;
        if (length < h.e_shoff + h.e_shnum * sizeof(Elf64_Shdr)) {
            EXPECT_NE(Image::OpenMemory(cut, image), eNoErr) << length;
        }
    }
}

TEST(ElfResourceCorpus, DamagedAndRandomFilesNeverCrash) {
    TempFolder dir;
    const auto seed = PackedFixture(dir);
    const auto hot = HotRanges(seed);
    std::mt19937 random(20261210);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };

    int written = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> file = seed;
        const size_t flips = 1 + below(8);
        for (size_t f = 0; f < flips; ++f) {
            const auto& range = hot[below(hot.size())];
            const size_t at = range.first + below(std::max<size_t>(range.second, 1));
            if (at >= file.size())
                continue;
            switch (below(4)) {
            case 0:
                file[at] = static_cast<uint8_t>(random());
                break;
            case 1:
                file[at] ^= static_cast<uint8_t>(1u << below(8));
                break;
            case 2:
                file[at] = 0xFF;
                break;
            default:
                file[at] = 0;
                break;
            }
        }
        ExerciseImage(file.data(), file.size());

        // Some damaged files that still parse go through the writer too; a
        // file it accepts must read back what was written.
        std::unique_ptr<Image> image;
        if (round % 25 == 0 && Image::OpenMemory(file, image) == eNoErr) {
            const fs::path p = dir / "damaged";
            WriteBytes(p, file);
            const std::vector<kvElfRes::Resource> set = {
                {ResName::Name("NEW_"), ResName::Number(1), Bytes("fresh")}};
            if (kvElfRes::WriteResources(p, set) == eNoErr) {
                ++written;
                std::unique_ptr<Image> back;
                ASSERT_EQ(Image::OpenFile(p, back), eNoErr) << round;
                const auto* r = back->Find(ResName::Name("NEW_"), ResName::Number(1));
                ASSERT_NE(r, nullptr) << round;
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(back->Data(*r)), r->size),
                          "fresh");
            }
        }
    }
    EXPECT_GT(written, 0);

    // Random bytes behind a valid ELF identification.
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> file(below(512));
        for (auto& b : file)
            b = static_cast<uint8_t>(random());
        if (file.size() >= 16)
            std::memcpy(file.data(), seed.data(), 16);
        ExerciseImage(file.data(), file.size());
    }
}

namespace {

// The packed fixture with its resource section claiming `sectionSize` bytes
// and `count` entries; the file is stretched (sparsely: a few kilobytes on
// disk) so that the claimed section lies inside it.
fs::path HostileFile(const TempFolder& dir, const std::string& name, uint64_t sectionSize,
                     uint32_t count) {
    std::vector<uint8_t> file = PackedFixture(dir);
    Elf64_Ehdr h;
    std::memcpy(&h, file.data(), sizeof h);
    Elf64_Shdr names;
    std::memcpy(&names, &file[h.e_shoff + h.e_shstrndx * sizeof names], sizeof names);
    uint64_t sectionOffset = 0;
    for (size_t i = 0; i < h.e_shnum; ++i) {
        Elf64_Shdr s;
        const size_t at = h.e_shoff + i * sizeof s;
        std::memcpy(&s, &file[at], sizeof s);
        if (std::strcmp(reinterpret_cast<const char*>(&file[names.sh_offset + s.sh_name]),
                        ".kvres") != 0)
            continue;
        sectionOffset = s.sh_offset;
        s.sh_size = sectionSize;
        std::memcpy(&file[at], &s, sizeof s);
    }
    EXPECT_NE(sectionOffset, 0u);
    std::memcpy(&file[sectionOffset + 8], &count, 4);
    const fs::path p = dir / name;
    WriteBytes(p, file);
    fs::resize_file(p, sectionOffset + sectionSize);
    return p;
}

} // namespace

TEST(ElfResourceCorpus, ClaimsBeyondWhatAFileCanHoldAreRefusedAtOnce) {
    constexpr uint64_t k4GB = uint64_t(4) << 30;
    const struct {
        const char* name;
        uint64_t sectionSize;
        uint32_t count;
    } cases[] = {
        {"hundred-million-entries", k4GB, 100000000u},
        {"entries-in-a-hole", k4GB, uint32_t(kvElfRes::kMaxResources)},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const fs::path p = HostileFile(dir, c.name, c.sectionSize, c.count);
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<Image> image;
        EXPECT_EQ(Image::OpenFile(p, image), eRMInvalidResContainer) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
        // The writer reads none of the claims: a new set replaces them.
        ASSERT_EQ(kvElfRes::WriteResources(p, {}), eNoErr) << c.name;
        EXPECT_EQ(Image::OpenFile(p, image), eNoErr) << c.name;
        EXPECT_LT(fs::file_size(p), c.sectionSize) << c.name;
    }
}

TEST(ElfResourceCorpus, ResourceClaimsAreBoundedByTheFormat) {
    TempFolder dir;
    const fs::path lib = dir / "big.so";
    fs::copy_file(KV_FIXTURE_LIB, lib);
    // The writer refuses what the reader would refuse.
    std::vector<kvElfRes::Resource> many(kvElfRes::kMaxResources + 1);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = {ResName::Name("T" + std::to_string(i / 65536)),
                   ResName::Number(static_cast<uint16_t>(i)),
                   {}};
    EXPECT_EQ(kvElfRes::WriteResources(lib, many), eFMFileSizeTooBig);
    std::vector<kvElfRes::Resource> huge = {
        {ResName::Number(1), ResName::Number(1),
         std::vector<uint8_t>(kvElfRes::kMaxResourceBytes + 1)}};
    EXPECT_EQ(kvElfRes::WriteResources(lib, huge), eFMFileSizeTooBig);
    EXPECT_EQ(ReadBytes(lib), ReadBytes(KV_FIXTURE_LIB));
}
