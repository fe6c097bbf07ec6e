// Decoding and logging a full 16,384-byte capture: the decoder replays the
// command stream offline (no bus traffic) into the main-window sink of the
// headless logger. On a 100 kHz I2C bus the same bytes take about 1.5 s.
#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/CExport.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "sim/InProcessBackend.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A setup sequence much like the plug-in's: reset, setup start, register
// writes, tuning commands with values, PEQ blocks, setup completed, and
// run-time commands until the buffer is full.
std::vector<uint8_t> MakeCapture() {
    std::vector<uint8_t> c;
    c.reserve(busgate::CaptureBuffer::kSize);
    auto put = [&](std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes)
            c.push_back(b);
    };
    put({0x00, 0xA5, 0x00});
    put({0xFF, 0xAB, 0xDA, 0x00, 0x3E, 0x20});
    put({0xFF, 0xAB, 0xFB, 0x00, 0x12, 0x34});
    put({0xFF, 0xAB, 0xFA, 0x20, 0x10, 0x0F});
    put({0x00, 0xC2, 0x01});
    put({0x00, 0xAC, 0x00});
    const size_t limit = busgate::CaptureBuffer::kSize;
    for (uint8_t i = 0; c.size() + 18 <= limit; ++i) {
        switch (i % 6) {
        case 0:
            put({0x00, 0xA1, 0x05, 0, 0, uint8_t(i & 1), 0, 0, 2, 0, 0, uint8_t(i & 127), 0, 0, 40,
                 0, 0, 64});
            break;
        case 1:
            put({0x00, 0xDB, uint8_t(i % 251)});
            break;
        case 2:
            put({0x00, 0xC9, uint8_t(i)});
            break;
        case 3:
            put({0x00, 0xD6, uint8_t(i % 66)});
            break;
        case 4:
            put({0x00, 0xD0, uint8_t(i)});
            break;
        default:
            put({0x00, 0xD9, uint8_t(i & 127)});
            break;
        }
    }
    while (c.size() + 3 <= limit)
        put({0x00, 0xE8, 0x40});
    return c;
}

void BM_DecodeAndLogFullCapture(benchmark::State& state) {
    auto backend =
        std::make_shared<u2csim::InProcessBackend>(std::vector<std::shared_ptr<u2csim::Board>>{});
    busaccess::BridgeDriver driver(backend);
    busgate::DriverBridgePort port(driver);
    std::string sink;
    busgate::HeadlessLogger ui([&](std::string_view record) { sink += record; });
    ui.CreateMainDialog(nullptr);
    busgate::BusGate bus(port, ui);
    bus.State().firmwareCode = busgate::kFirmwareA2;
    bus.State().chipTypeCode = 2;
    bus.State().offline = 1;
    const std::vector<uint8_t> capture = MakeCapture();
    std::vector<uint8_t> replay;
    for (auto _ : state) {
        sink.clear();
        replay = capture;
        bus.Decoder() = {};
        const int result =
            bus.LoggerTransfer(0, 0x73, static_cast<uint32_t>(replay.size()), replay.data());
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(capture.size()));
    state.counters["capture_bytes"] = static_cast<double>(capture.size());
    state.counters["log_bytes"] = static_cast<double>(sink.size());
}
BENCHMARK(BM_DecodeAndLogFullCapture)->Unit(benchmark::kMillisecond);

// The C source export of a full capture: the offline replay into the text
// of the four C files (writing them to disk is not counted).
void BM_ExportFullCaptureToCFiles(benchmark::State& state) {
    auto backend =
        std::make_shared<u2csim::InProcessBackend>(std::vector<std::shared_ptr<u2csim::Board>>{});
    busaccess::BridgeDriver driver(backend);
    busgate::DriverBridgePort port(driver);
    busgate::HeadlessLogger ui([](std::string_view) {});
    busgate::BusGate bus(port, ui);
    bus.State().firmwareCode = busgate::kFirmwareA2;
    bus.State().chipTypeCode = 2;
    const std::vector<uint8_t> capture = MakeCapture();
    size_t bytes = 0;
    for (auto _ : state) {
        const busgate::CSourceFiles files =
            busgate::CExport2File::BuildCFiles(bus, "DulmAudio_Cmd", capture);
        bytes = files.alg.size() + files.sys.size() + files.full.size() + files.init.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(capture.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ExportFullCaptureToCFiles)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
