// One band-gain change of the algorithm object: the band design, the output
// stage, the coefficient buffers, the three frames (recorded in capture
// mode, so no bus and no pauses) and the refresh of the equaliser graph.
// The counter "bus_ratio" is the change's time over the time its frames
// take on a 100 kHz I2C bus (9 bits per byte, the address byte included):
// below 0.01 (shown as 10m) the change costs under 1% of its bus time.
#include "foundation/RM.h"
#include "plugin/PeqAlg.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr double kBusBitsPerSecond = 100000.0;

// A connection that takes every frame at the chip's address (capture mode
// records the frames before any write).
class CaptureConnection final : public CConnectI2C {
public:
    uint8_t GetSlaveAddress() override { return CChipTransport::kChipAddress; }
    int32_t Write(const uint8_t*, uint32_t, int32_t) override { return 1; }
};
constexpr unsigned long kGainIndex = 5 + dulm::kBandGain; // left band 2

void BM_BandGainChange(benchmark::State& state) {
    const fs::path registry = fs::temp_directory_path() / ("bench_alg." + std::to_string(getpid()));
    fs::create_directories(registry);
    setenv("QUORL_REGISTRY_DIR", registry.c_str(), 1);
    KTResContainerType* container = nullptr;
    if (RMOpenResContainer(kvFM::KCStPath(fs::read_symlink("/proc/self/exe").string()), 0,
                           container) != 0) {
        state.SkipWithError("no resources");
        return;
    }
    double busSeconds = 0;
    {
        cPEQ_ALG alg(nullptr, container, true, SystemTickClock(),
                     [](int32_t) { return std::make_unique<CaptureConnection>(); });
        alg.FinishCreate();
        alg.SelectConnection(0);
        alg.SetChipVersion(0x6000, 0x0704);
        alg.SetProcessActive(1);
        alg.SetCaptureMode(true);
        alg.SetCaptureWindow(true, 0, 0);
        (*alg.GetParamVector())[5].realWorld[0] = 1;
        double gain = 0;
        size_t frames = 0, bytes = 0;
        for (auto _ : state) {
            gain = gain >= 12 ? -12 : gain + 0.5;
            alg.ClearCapture();
            alg.SetParamRealWorld(kGainIndex, gain);
            BufferChain buffers = alg.TakeBuffers();
            alg.RefreshParamSelf(dulm::PARAM_GRAPH_PEQ);
            benchmark::DoNotOptimize(buffers.get());
            bytes = alg.CaptureBuffer().size();
            frames = 3;
        }
        // Each frame also carries the slave address byte.
        busSeconds = static_cast<double>(bytes + frames) * 9 / kBusBitsPerSecond;
        state.counters["capture_bytes"] = static_cast<double>(bytes);
        state.counters["bus_us"] = busSeconds * 1e6;
        state.counters["bus_ratio"] =
            benchmark::Counter(static_cast<double>(state.iterations()) * busSeconds,
                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    RMCloseResContainer(container);
    fs::remove_all(registry);
}
BENCHMARK(BM_BandGainChange)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A 64 KiB POP text replayed in capture mode; "bus_ratio" as above for the
// bytes of its writes.
void BM_RunPopScript(benchmark::State& state) {
    std::string text;
    for (unsigned line = 0; text.size() < 64 * 1024; ++line) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%02X A7 %02X 00 00 %02X # setup %u\r\n", line & 0xFF,
                      (line >> 8) & 0xFF, (line * 7) & 0xFF, line);
        text += buffer;
    }
    cPEQ_ALG alg(nullptr, nullptr, true, SystemTickClock(),
                 [](int32_t) { return std::make_unique<CaptureConnection>(); });
    alg.SelectConnection(0);
    alg.SetCaptureMode(true);
    alg.SetCaptureWindow(true, 0, 0);
    size_t bytes = 0, lines = 0;
    for (auto _ : state) {
        alg.ClearCapture();
        benchmark::DoNotOptimize(alg.RunPopScript(text.c_str()));
        bytes = alg.CaptureBuffer().size();
        lines = bytes / 6;
    }
    const double busSeconds = static_cast<double>(bytes + lines) * 9 / kBusBitsPerSecond;
    state.counters["bus_us"] = busSeconds * 1e6;
    state.counters["bus_ratio"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * busSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunPopScript)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
