// The decoded traffic of a full 16,384-byte capture (about 5,500 lines with
// their colour entries), queued from a bus thread and drained by the main
// window's timer into the traffic pane. Measured from the first transfer
// until the pane holds the last line and has drawn the lines in view (GTK
// lays out the rest of a long text afterwards, in the background). On a 100 kHz I2C bus the same
// bytes take about 1.5 s. Needs a display (xvfb-run).
#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "busaccess/busgate/LoggerChoice.h"
#include "loggerui/Dialogs.h"
#include "loggerui/WxLogger.h"
#include "sim/InProcessBackend.h"

#include "BenchToolkit.h"

#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <glib.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// The same command mix as the decoder's benchmark: setup, register writes,
// PEQ blocks and run-time commands until the buffer is full.
std::vector<uint8_t> MakeCapture() {
    std::vector<uint8_t> c;
    auto put = [&](std::initializer_list<uint8_t> bytes) { c.insert(c.end(), bytes); };
    put({0x00, 0xA5, 0x00});
    put({0xFF, 0xAB, 0xDA, 0x00, 0x3E, 0x20});
    put({0x00, 0xC2, 0x01});
    const size_t limit = busgate::CaptureBuffer::kSize;
    for (uint8_t i = 0; c.size() + 18 <= limit; ++i) {
        switch (i % 5) {
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
        default:
            put({0x00, 0xD9, uint8_t(i & 127)});
            break;
        }
    }
    while (c.size() + 3 <= limit)
        put({0x00, 0xE8, 0x40});
    return c;
}

// One transfer a command: the plug-in writes each command (with its data)
// on its own.
std::vector<std::vector<uint8_t>> SplitIntoWrites(const std::vector<uint8_t>& capture) {
    std::vector<std::vector<uint8_t>> writes;
    for (size_t at = 0; at < capture.size();) {
        const size_t length = capture[at + 1] == 0xA1 ? 18 : capture[at + 1] == 0xAB ? 6 : 3;
        writes.emplace_back(capture.begin() + at, capture.begin() + at + length);
        at += length;
    }
    return writes;
}

// Runs the event loop until nothing is pending.
void Pump() {
    wxTheApp->Yield(true);
    wxTheApp->ProcessPendingEvents();
}

// One pass of the event loop: the sources of the highest priority that are
// ready (timers and hand-offs before the view's background layout).
void DispatchOnce() {
    if (!g_main_context_iteration(nullptr, FALSE))
        std::this_thread::yield();
    wxTheApp->ProcessPendingEvents();
}

void BM_ShowFullCaptureInTrafficPane(benchmark::State& state) {
    auto backend =
        std::make_shared<u2csim::InProcessBackend>(std::vector<std::shared_ptr<u2csim::Board>>{});
    busaccess::BridgeDriver driver(backend);
    busgate::DriverBridgePort port(driver);
    busgate::HeadlessLogger headless([](std::string_view) {});
    busgate::LoggerChoice choice(headless);
    busgate::BusGate bus(port, choice);
    loggerui::WxLogger logger(bus);
    choice.Choose(logger);
    logger.CreateMainDialog(nullptr);
    logger.ShowMainWindow();
    logger.SetLoggingSuspended(false);
    bus.State().firmwareCode = busgate::kFirmwareA2;
    bus.State().chipTypeCode = 2;
    bus.State().offline = 1; // decoded and logged, no bus traffic
    const auto writes = SplitIntoWrites(MakeCapture());
    wxTextCtrl* pane = logger.MainWindow()->LogPane();
    long lines = 0;
    for (auto _ : state) {
        bus.Log().ResetFormat();
        while (logger.PendingEntries() != 0)
            Pump();
        const auto start = std::chrono::steady_clock::now();
        std::atomic<bool> sent{false};
        std::thread producer([&] {
            for (const auto& write : writes) {
                std::vector<uint8_t> copy = write;
                busgate::LoggerLockGuard hold(bus.Lock());
                bus.LoggerTransfer(0, 0x73, static_cast<uint32_t>(copy.size()), copy.data());
            }
            sent = true;
        });
        while (!sent || logger.PendingEntries() != 0)
            DispatchOnce();
        // Shown: the lines in view are laid out and drawn.
        logger.MainWindow()->LogPane()->Update();
        const auto end = std::chrono::steady_clock::now();
        producer.join();
        Pump(); // the view's background layout of the rest
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        lines = pane->GetNumberOfLines();
    }
    state.counters["pane_lines"] = static_cast<double>(lines);
    state.counters["writes"] = static_cast<double>(writes.size());
    logger.MainWindow()->Destroy();
    Pump();
}
BENCHMARK(BM_ShowFullCaptureInTrafficPane)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (!StartBenchToolkit("bench_loggerui", argv[0]))
        return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
