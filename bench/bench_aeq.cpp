// One on-the-fly AEQ send with all ten filters enabled: a redesign of the
// edited filter, the load block built and passed through the logging
// transfer (decoder and headless log sink) to the in-process simulated
// board. On a 100 kHz I2C bus the block itself takes about 15 ms.
#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "loggerui/AeqFilters.h"
#include "sim/Board.h"
#include "sim/ChipModel.h"
#include "sim/InProcessBackend.h"
#include "sim/Peripherals.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

void BM_AeqSendTenFilters(benchmark::State& state) {
    auto board = std::make_shared<u2csim::Board>(u2csim::BoardConfig{});
    auto chip = std::make_shared<u2csim::ChipModel>(u2csim::ChipConfig{0x6000, 0x0606},
                                                    u2csim::ChipModelConfig{});
    board->attach(u2csim::kChipAddress, chip);
    u2csim::WireChipReset(*board, chip);
    auto backend = std::make_shared<u2csim::InProcessBackend>(
        std::vector<std::shared_ptr<u2csim::Board>>{board}, std::chrono::milliseconds(200));
    busaccess::BridgeDriver driver(backend);
    busgate::DriverBridgePort port(driver);
    size_t logged = 0;
    busgate::HeadlessLogger ui([&](std::string_view record) { logged += record.size(); });
    busgate::BusGate bus(port, ui);
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
        board->clearLog();
    }
    benchmark::DoNotOptimize(logged);
}
BENCHMARK(BM_AeqSendTenFilters)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
