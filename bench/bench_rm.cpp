// Opening a resource container and reading one resource touches only the ELF
// headers and the resource section, so on a large library it costs a small
// fraction of reading the file. Both are measured side by side on one
// 100 MB file (a library image whose code section fills the bulk of it).
#include "foundation/ElfRes.h"
#include "foundation/RM.h"

#include <benchmark/benchmark.h>
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kCodeSize = 100ull << 20;

// An ELF shared-object image: header, one 100 MB code section, the section
// name table and the section table; then resources through the writer.
class LargeLibrary {
public:
    LargeLibrary() {
        std::string pattern = (fs::temp_directory_path() / "kv-bench-rm-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder = pattern;
        path = folder / "liblarge.so";
        WriteImage();
        std::vector<kvElfRes::Resource> resources;
        for (uint16_t id = 1000; id < 1020; ++id) {
            std::string xml = "<?xml version=\"1.0\"?>\n<Components>";
            for (int i = 0; i < 200; ++i)
                xml += "<Component name=\"c" + std::to_string(i) + "\"/>";
            xml += "</Components>\n";
            resources.push_back({kvElfRes::ResName::Name("XCLI"), kvElfRes::ResName::Number(id),
                                 std::vector<uint8_t>(xml.begin(), xml.end())});
            resources.push_back({kvElfRes::ResName::Name("PNG_"), kvElfRes::ResName::Number(id),
                                 std::vector<uint8_t>(64 << 10, uint8_t(id))});
        }
        if (kvElfRes::WriteResources(path, resources) != eNoErr)
            std::abort();
    }
    ~LargeLibrary() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    fs::path folder, path;

private:
    void WriteImage() {
        const char names[] = "\0.text\0.shstrtab";
        Elf64_Ehdr h{};
        std::memcpy(h.e_ident, ELFMAG, SELFMAG);
        h.e_ident[EI_CLASS] = ELFCLASS64;
        h.e_ident[EI_DATA] = ELFDATA2LSB;
        h.e_ident[EI_VERSION] = EV_CURRENT;
        h.e_type = ET_DYN;
        h.e_machine = EM_X86_64;
        h.e_version = EV_CURRENT;
        h.e_ehsize = sizeof h;
        h.e_shentsize = sizeof(Elf64_Shdr);
        h.e_shnum = 3;
        h.e_shstrndx = 2;
        const uint64_t codeOffset = 4096;
        const uint64_t namesOffset = codeOffset + kCodeSize;
        h.e_shoff = (namesOffset + sizeof names + 7) & ~uint64_t(7);
        Elf64_Shdr sections[3]{};
        sections[1].sh_name = 1;
        sections[1].sh_type = SHT_PROGBITS;
        sections[1].sh_flags = SHF_ALLOC | SHF_EXECINSTR;
        sections[1].sh_offset = codeOffset;
        sections[1].sh_size = kCodeSize;
        sections[2].sh_name = 7;
        sections[2].sh_type = SHT_STRTAB;
        sections[2].sh_offset = namesOffset;
        sections[2].sh_size = sizeof names;

        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&h), sizeof h);
        std::vector<char> chunk(1 << 20);
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>(i * 131);
        out.seekp(codeOffset);
        for (uint64_t done = 0; done < kCodeSize; done += chunk.size())
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        out.write(names, sizeof names);
        out.seekp(static_cast<std::streamoff>(h.e_shoff));
        out.write(reinterpret_cast<const char*>(sections), sizeof sections);
    }
};

LargeLibrary& Library() {
    static LargeLibrary library;
    return library;
}

void BM_OpenContainerAndReadOneResource(benchmark::State& state) {
    const kvFM::KCStPath path(Library().path.string());
    RMInit(0);
    for (auto _ : state) {
        KTResContainerType* container = nullptr;
        KTResourceType* resource = nullptr;
        if (RMOpenResContainer(path, 0, container) != eNoErr ||
            RMGetAResource(container, KV_FOURCC("XCLI"), 1010, resource, nullptr) != eNoErr)
            state.SkipWithError("cannot read the resource");
        void* data = nullptr;
        RMGetResData(resource, data);
        benchmark::DoNotOptimize(data);
        RMReleaseResource(resource);
        RMCloseResContainer(container);
    }
    RMDispose();
    state.SetLabel(std::to_string(fs::file_size(Library().path) >> 20) + " MB file");
}
BENCHMARK(BM_OpenContainerAndReadOneResource)->Unit(benchmark::kMicrosecond);

void BM_ReadWholeFile(benchmark::State& state) {
    std::vector<char> buffer(fs::file_size(Library().path));
    for (auto _ : state) {
        const int fd = open(Library().path.c_str(), O_RDONLY | O_CLOEXEC);
        size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fd);
        benchmark::DoNotOptimize(buffer.data());
        state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(done));
    }
}
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
