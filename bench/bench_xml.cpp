// Building a tree from a large document costs at most twice expat's bare
// parse of the same bytes; writing a tree back is linear in its size.
#include "foundation/XMLText.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <expat.h>
#include <map>
#include <memory>
#include <string>

using kvXML::CXMLElement;

namespace {

// A document shaped like the system's own: records with attributes, short
// texts, numbers, empty elements and an occasional CDATA section.
std::unique_ptr<CXMLElement> MakeTree(size_t targetBytes) {
    auto root = std::make_unique<CXMLElement>("Components", "");
    root->AddAttrib("Version", "3");
    size_t approx = 0;
    for (long i = 0; approx < targetBytes; ++i) {
        auto* item = new CXMLElement("Component", "");
        item->AddAttrib("ID", std::to_string(i));
        item->AddAttrib("type", "aufx");
        item->push_back(new CXMLElement("name", "Plug-in number " + std::to_string(i)));
        item->push_back(new CXMLElement("version", i * 7, std::dec));
        item->push_back(new CXMLElement("gain", 0.25 * static_cast<double>(i % 17), std::fixed));
        item->push_back(
            new CXMLElement("path", "/usr/lib/quorl/plugins/a & b <" + std::to_string(i) + ">.so"));
        auto* rect = new CXMLElement("bounds", "");
        rect->AddAttrib("left", "10");
        rect->AddAttrib("top", "20");
        rect->AddAttrib("right", "640");
        rect->AddAttrib("bottom", "480");
        item->push_back(rect);
        item->push_back(new CXMLElement("enabled", i % 2 == 0));
        if (i % 10 == 0) {
            auto* code = new CXMLElement("code", "if (a < b && c > d) { x = 1; }");
            code->cdata = true;
            item->push_back(code);
        }
        std::string itemText;
        CXMLElement::level = 1;
        kvXML::WriteElementText(*item, itemText);
        CXMLElement::level = 0;
        approx += itemText.size();
        root->push_back(item);
    }
    return root;
}

// The text of a generated tree of about `bytes` bytes, made once per size.
const std::string& Document(size_t bytes) {
    static std::map<size_t, std::string> documents;
    auto& doc = documents[bytes];
    if (doc.empty())
        kvXML::WriteElementText(*MakeTree(bytes), doc);
    return doc;
}

constexpr size_t kTenMB = 10u << 20;
constexpr size_t kFiveMB = 5u << 20;

double ExpatBareParse(const std::string& doc) {
    const auto start = std::chrono::steady_clock::now();
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool ok = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) != 0;
    XML_ParserFree(parser);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!ok)
        throw std::runtime_error("expat rejected the document");
    return elapsed.count();
}

struct BuildTimes {
    double build;   // parsing into a new tree
    double release; // deleting that tree
};

BuildTimes BuildAndRelease(const std::string& doc) {
    auto root = std::make_unique<CXMLElement>();
    const auto start = std::chrono::steady_clock::now();
    {
        kvXML::CXMLTreeBuilder builder(*root);
        if (builder.BuildFromSingleBuffer(doc.data(), doc.size()) != eNoErr)
            throw std::runtime_error("the builder rejected the document");
    }
    const auto built = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(root->children.size());
    root.reset();
    const auto released = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(built - start).count(),
            std::chrono::duration<double>(released - built).count()};
}

double BuildTree(const std::string& doc) {
    return BuildAndRelease(doc).build;
}

void BM_ExpatBareParse(benchmark::State& state) {
    const std::string& doc = Document(kTenMB);
    for (auto _ : state)
        state.SetIterationTime(ExpatBareParse(doc));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_ExpatBareParse)->UseManualTime()->Unit(benchmark::kMillisecond);

// Building the tree (its destruction is not timed).
void BM_BuildTree(benchmark::State& state) {
    const std::string& doc = Document(kTenMB);
    for (auto _ : state)
        state.SetIterationTime(BuildTree(doc));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_BuildTree)->UseManualTime()->Unit(benchmark::kMillisecond);

// Both side by side on the same bytes; the ratio of the fastest runs of
// each is the figure that counts (target: at most 2).
void BM_BuildVsExpatRatio(benchmark::State& state) {
    const std::string& doc = Document(kTenMB);
    double bestExpat = 1e9, bestBuild = 1e9, bestRelease = 1e9;
    for (auto _ : state) {
        const double expat = ExpatBareParse(doc);
        const BuildTimes times = BuildAndRelease(doc);
        bestExpat = std::min(bestExpat, expat);
        bestBuild = std::min(bestBuild, times.build);
        bestRelease = std::min(bestRelease, times.release);
        state.SetIterationTime(expat + times.build);
    }
    state.counters["doc_MB"] = static_cast<double>(doc.size()) / (1 << 20);
    state.counters["expat_ms"] = bestExpat * 1e3;
    state.counters["build_ms"] = bestBuild * 1e3;
    state.counters["ratio"] = bestBuild / bestExpat;
    state.counters["free_ms"] = bestRelease * 1e3;
}
BENCHMARK(BM_BuildVsExpatRatio)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

// Writing a tree built from a document of the given size.
void BM_WriteTree(benchmark::State& state) {
    CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    const std::string& doc = Document(static_cast<size_t>(state.range(0)));
    builder.BuildFromSingleBuffer(doc.data(), doc.size());
    std::string out;
    builder.WriteToString(out); // the output's memory is in place before timing
    for (auto _ : state) {
        builder.WriteToString(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_WriteTree)->Arg(kFiveMB)->Arg(kTenMB)->Unit(benchmark::kMillisecond);

std::unique_ptr<CXMLElement> ParseTree(const std::string& doc) {
    auto root = std::make_unique<CXMLElement>();
    kvXML::CXMLTreeBuilder builder(*root);
    if (builder.BuildFromSingleBuffer(doc.data(), doc.size()) != eNoErr)
        throw std::runtime_error("the builder rejected the document");
    return root;
}

double WriteTime(const CXMLElement& root, std::string& out) {
    const auto start = std::chrono::steady_clock::now();
    out.clear();
    kvXML::WriteElementText(root, out);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

// Time of writing 10 MB over time of writing 5 MB: about 2 when linear.
void BM_WriteScaling(benchmark::State& state) {
    const auto small = ParseTree(Document(kFiveMB));
    const auto large = ParseTree(Document(kTenMB));
    std::string outSmall, outLarge;
    double bestSmall = 1e9, bestLarge = 1e9;
    for (auto _ : state) {
        const double s = WriteTime(*small, outSmall);
        const double l = WriteTime(*large, outLarge);
        bestSmall = std::min(bestSmall, s);
        bestLarge = std::min(bestLarge, l);
        state.SetIterationTime(s + l);
    }
    state.counters["small_MB"] = static_cast<double>(outSmall.size()) / (1 << 20);
    state.counters["large_MB"] = static_cast<double>(outLarge.size()) / (1 << 20);
    state.counters["time_ratio"] = bestLarge / bestSmall;
    state.counters["size_ratio"] =
        static_cast<double>(outLarge.size()) / static_cast<double>(outSmall.size());
}
BENCHMARK(BM_WriteScaling)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
