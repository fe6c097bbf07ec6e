// Reading one component's finished descriptions from a packed plug-in
// (loading both component-definition resources, filtering, merging and
// reading the descriptions) costs at most four times expat's bare parse of
// the same two resource texts. Scanning one plug-in file grows linearly with
// its components: under 0.5 s for 1,500.
#include "hosting/ComponentInfo.h"
#include "hosting/PluginLoadSpec.h"
#include "hosting/PluginScanner.h"
#include "hosting/ProcessCodeManager.h"

#include "HostLoadSpec.h"
#include "foundation/RM.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <expat.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

std::string ReadText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && text.str().empty())
        throw std::runtime_error(std::string("cannot read ") + path);
    return text.str();
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ExpatBareParse(const std::string& a, const std::string& b) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string* doc : {&a, &b}) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        const bool ok = XML_Parse(parser, doc->data(), static_cast<int>(doc->size()), 1) != 0;
        XML_ParserFree(parser);
        if (!ok)
            throw std::runtime_error("expat rejected a document");
    }
    return Seconds(start);
}

// One scan's worth of work for one component: a fresh manager reads its
// descriptions from the container.
double ReadDescriptions(KTResContainerType* container, const QuorlComponentInfo& component) {
    const auto start = std::chrono::steady_clock::now();
    CProcessCodeManager manager;
    if (manager.ReadProcCodeDescForComponent(component, container) != eNoErr ||
        manager.ProcCodeDescs().size() != 1)
        throw std::runtime_error("the component's description was not found");
    benchmark::DoNotOptimize(manager.ProcCodeDescs().data());
    return Seconds(start);
}

class Plugin {
public:
    Plugin() {
        RMInit(0);
        if (RMOpenResContainer(kvFM::KCStPath(KV_BENCH_PLUGIN), 0, container) != eNoErr)
            throw std::runtime_error("cannot open the packed plug-in");
        component.componentType = KV_FOURCC("raPI");
        component.componentSubType = KV_FOURCC("S300");
    }
    ~Plugin() {
        RMCloseResContainer(container);
        RMDispose();
    }

    KTResContainerType* container = nullptr;
    QuorlComponentInfo component;
    const std::string defaults = ReadText(KV_BENCH_DEFAULTS);
    const std::string own = ReadText(KV_BENCH_OWN);
};

void BM_ReadDescriptionsVsExpat(benchmark::State& state) {
    Plugin plugin;
    double bestExpat = 1e9, bestRead = 1e9;
    for (auto _ : state) {
        const double expat = ExpatBareParse(plugin.defaults, plugin.own);
        const double read = ReadDescriptions(plugin.container, plugin.component);
        bestExpat = std::min(bestExpat, expat);
        bestRead = std::min(bestRead, read);
        state.SetIterationTime(expat + read);
    }
    state.counters["text_KB"] =
        static_cast<double>(plugin.defaults.size() + plugin.own.size()) / 1024.0;
    state.counters["expat_ms"] = bestExpat * 1e3;
    state.counters["read_ms"] = bestRead * 1e3;
    state.counters["ratio"] = bestRead / bestExpat; // target: at most 4
}
BENCHMARK(BM_ReadDescriptionsVsExpat)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// One plug-in file of `range(0)` sub-components, each offering two
// components ('raPI' and 'vxPI') that the scan lists.
void BM_ScanOneFile(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    const std::string file =
        std::string(KV_BENCH_SCAN_DIR) + "/libbench_scan_plugin_" + std::to_string(count) + ".so";
    const KCPluginLoadSpec spec = ReadHostLoadSpec(KV_BENCH_HOST_RESOURCES);
    double best = 1e9;
    for (auto _ : state) {
        KCPluginDiskScanner scanner;
        scanner.SetLoadSpec(spec);
        KCQuorlComponentInfoList list;
        const auto start = std::chrono::steady_clock::now();
        if (scanner.ScanFile(kvFM::KCStPath(file), list) != eNoErr || list.Count() != 2 * count)
            throw std::runtime_error("the scan listed " + std::to_string(list.Count()) +
                                     " components, not " + std::to_string(2 * count) + ", of " +
                                     file);
        const double seconds = Seconds(start);
        best = std::min(best, seconds);
        state.SetIterationTime(seconds);
    }
    RMDispose();
    state.counters["components"] = static_cast<double>(2 * count);
    state.counters["ms"] = best * 1e3; // target: under 500 for 1,500 sub-components
    state.counters["us_per_component"] = best * 1e6 / static_cast<double>(2 * count);
}
BENCHMARK(BM_ScanOneFile)
    ->Arg(375)
    ->Arg(750)
    ->Arg(1500)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
