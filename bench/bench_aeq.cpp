// One on-the-fly AEQ send with all ten filters enabled: a redesign of the
// edited filter, the load block built and passed through the logging
// transfer (decoder and headless log sink) to the in-process simulated
// board. On a 100 kHz I2C bus the block itself takes about 15 ms.
#include "SimChipBus.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "loggerui/AeqFilters.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_AeqSendTenFilters(benchmark::State& state) {
    SimChipBus sim;
    size_t logged = 0;
    busgate::HeadlessLogger ui([&](std::string_view record) { logged += record.size(); });
    busgate::BusGate bus(*sim.port, ui);
    if (bus.Open() == 0) {
        state.SkipWithError("the simulated board did not open");
        return;
    }
    loggerui::AeqRecords records = loggerui::InitialAeqRecords();
    for (loggerui::AeqRecord& r : records) {
        r.enabled = 1;
        loggerui::DesignBiquad(r);
    }
    int step = 0;
    for (auto _ : state) {
        records[3].gain = static_cast<float>(step++ % 40 - 20);
        loggerui::DesignBiquad(records[3]);
        loggerui::SendAeqFilters(bus, records);
        sim.board->clearLog();
    }
    benchmark::DoNotOptimize(logged);
}
BENCHMARK(BM_AeqSendTenFilters)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
