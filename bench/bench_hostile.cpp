// What hostile files cost: the time of one pass and the peak memory it
// needs (the counter "peak_MB", the process's resident peak while it ran).
//   Hive: a 150,000-level nested hive file, then one value set (read,
//         changed, written, freed).
//   XMLRead: a 7 MB file of 1,000,000 nested elements read as an XML file.
//   XMLWrite: writing a tree 100,000 levels deep, made in memory.
//   ElfOpen: a sparse file (kilobytes on disk) whose resource section
//            claims 4 GB and 100 million entries, opened as a container.
#include "foundation/ElfRes.h"
#include "foundation/RM.h"
#include "foundation/XMLFile.h"
#include "registry/KVRegistry.h"

#include <benchmark/benchmark.h>
#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path Scratch() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "kv-bench-hostile-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The resident peak of the process since the last reset, in megabytes.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

template <typename Pass>
void Measure(benchmark::State& state, Pass pass) {
    double peak = 0;
    for (auto _ : state) {
        ResetPeak();
        pass();
        peak = std::max(peak, PeakMB());
    }
    state.counters["peak_MB"] = peak;
}

void Hive(benchmark::State& state) {
    const fs::path dir = Scratch() / "registry";
    setenv("QUORL_REGISTRY_DIR", dir.c_str(), 1);
    std::string text = "<Registry>";
    for (int i = 0; i < 150000; ++i)
        text += "<Key name=\"k\">";
    for (int i = 0; i < 150000; ++i)
        text += "</Key>";
    text += "</Registry>";
    Measure(state, [&] {
        state.PauseTiming();
        fs::create_directories(dir);
        WriteText(dir / "HKEY_CURRENT_USER.xml", text);
        state.ResumeTiming();
        if (KVRegSetDWORD(KV_HKEY_CURRENT_USER, "Top", 1) != KV_REG_SUCCESS)
            state.SkipWithError("the value was not set");
    });
}

void XMLRead(benchmark::State& state) {
    const fs::path file = Scratch() / "Deep.xml";
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "<e>";
    for (int i = 0; i < 1000000; ++i)
        text += "</e>";
    WriteText(file, text);
    Measure(state, [&] {
        KCXMLFile xml{kvFM::KCStPath(file.string())};
        if (xml.Read() != eXMLTreeNotValid)
            state.SkipWithError("the deep file was not refused");
    });
}

void XMLWrite(benchmark::State& state) {
    const fs::path file = Scratch() / "Old.xml";
    WriteText(file, "<Old/>\n");
    Measure(state, [&] {
        state.PauseTiming();
        KCXMLFile xml{kvFM::KCStPath(file.string())};
        kvXML::CXMLElement* at = &xml.GetXML();
        for (int i = 0; i < 100000; ++i) {
            auto* child = new kvXML::CXMLElement("e", "");
            at->push_back(child);
            at = child;
        }
        state.ResumeTiming();
        if (xml.Write() != eMemNewFailed)
            state.SkipWithError("the deep tree was not refused");
    });
}

// This program with a resource section that claims 4 GB and 100 million
// entries, stretched sparsely to hold it.
fs::path SparseContainer() {
    const fs::path p = Scratch() / "sparse.so";
    fs::copy_file("/proc/self/exe", p, fs::copy_options::overwrite_existing);
    const std::vector<kvElfRes::Resource> one = {
        {kvElfRes::ResName::Number(1), kvElfRes::ResName::Number(1), {1, 2, 3}}};
    if (kvElfRes::WriteResources(p, one) != eNoErr)
        std::abort();
    std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
    Elf64_Ehdr h;
    f.read(reinterpret_cast<char*>(&h), sizeof h);
    std::vector<Elf64_Shdr> sections(h.e_shnum);
    f.seekg(static_cast<std::streamoff>(h.e_shoff));
    f.read(reinterpret_cast<char*>(sections.data()),
           static_cast<std::streamsize>(sections.size() * sizeof(Elf64_Shdr)));
    std::vector<char> names(sections[h.e_shstrndx].sh_size);
    f.seekg(static_cast<std::streamoff>(sections[h.e_shstrndx].sh_offset));
    f.read(names.data(), static_cast<std::streamsize>(names.size()));
    uint64_t end = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
        Elf64_Shdr& s = sections[i];
        if (std::strcmp(&names[s.sh_name], kvElfRes::kSectionName) != 0)
            continue;
        s.sh_size = uint64_t(4) << 30;
        end = s.sh_offset + s.sh_size;
        const uint32_t count = 100000000;
        f.seekp(static_cast<std::streamoff>(s.sh_offset + 8));
        f.write(reinterpret_cast<const char*>(&count), 4);
        f.seekp(static_cast<std::streamoff>(h.e_shoff + i * sizeof(Elf64_Shdr)));
        f.write(reinterpret_cast<const char*>(&s), sizeof s);
    }
    f.close();
    fs::resize_file(p, end);
    return p;
}

void ElfOpen(benchmark::State& state) {
    const fs::path p = SparseContainer();
    RMInit(0);
    Measure(state, [&] {
        bool isContainer = true;
        RMIsResContainer(kvFM::KCStPath(p.string()), isContainer);
        if (isContainer)
            state.SkipWithError("the file was taken as a container");
    });
    RMDispose();
}

} // namespace

BENCHMARK(Hive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(XMLRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(XMLWrite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ElfOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Scratch(), ec);
    return 0;
}
