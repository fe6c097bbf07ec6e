// One level-meter tick at the 10 ms rate: five peak reads and five clears
// through the chip command layer to the in-process simulated board running
// the tweaks code, the dB conversion and the meter display values. The ten
// register accesses take about 7 ms on a 100 kHz I2C bus; the tick's own
// cost should stay under 5% of that (0.35 ms).
#include "SimChipBus.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "loggerui/TweaksService.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void BM_MeterTick(benchmark::State& state) {
    const fs::path folder =
        fs::temp_directory_path() / ("bench-tweaks-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        std::ofstream out(folder / "tweaks-0606.txt");
        for (int i = 0; i < 180; ++i)
            out << "000000\n";
    }
    SimChipBus sim;
    busgate::HeadlessLogger ui([](std::string_view) {});
    busgate::BusGate bus(*sim.port, ui);
    if (bus.Open() == 0) {
        state.SkipWithError("the simulated board did not open");
        return;
    }
    loggerui::TweaksService tweaks(bus, folder.string());
    if (!tweaks.EnableTweaks(true)) {
        state.SkipWithError("the tweaks code did not load");
        return;
    }
    tweaks.SetUpdateInterval(10);
    tweaks.SetLevelBox(true);
    uint32_t peak = 0x100000;
    for (auto _ : state) {
        state.PauseTiming();
        for (uint16_t i = 0; i < 5; ++i)
            sim.chip->setMemoryY(static_cast<uint16_t>(0x409 + i), (peak + i * 0x10000) & 0x7FFFFF);
        peak = (peak * 5 + 0x1234) & 0x7FFFFF;
        sim.board->clearLog();
        state.ResumeTiming();
        benchmark::DoNotOptimize(tweaks.MeterTimer());
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_MeterTick)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
