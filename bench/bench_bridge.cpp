// Cost per bridge frame.
//   InProcess*: building the frame, moving it through the transport to the
//   in-process simulated board, which answers, and parsing the reply. The
//   board model's own work is included, so the library's share is lower.
//   SocketRoundTrip*: one frame to the daemon u2c-sim and its reply.
#include "TerovanBridge.h"
#include "busaccess/BridgeDriver.h"
#include "sim/Chip.h"
#include "sim/InProcessBackend.h"
#include "sim/SimDaemon.h"
#include "usb/SocketBackend.h"

#include <benchmark/benchmark.h>

namespace {

std::shared_ptr<u2csim::Board> MakeBoard() {
    auto board = std::make_shared<u2csim::Board>();
    board->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>());
    return board;
}

const uint8_t kCommand[3] = {0x12, 0xA7, 0x34};

// The board keeps a log of every transfer; empty it now and then so the
// benchmark measures frames, not a growing vector.
void TrimLog(u2csim::Board& board, int64_t i) {
    if ((i & 4095) == 0)
        board.clearLog();
}

void BM_EncodeWriteFrame(benchmark::State& state) {
    for (auto _ : state) {
        u2c::Bytes f = u2c::WriteFrame(0, 0x73, kCommand, 3);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_EncodeWriteFrame);

void BM_InProcessTerovanWrite(benchmark::State& state) {
    auto board = MakeBoard();
    terovan::TerovanBridge lib(std::make_shared<u2csim::InProcessBackend>(
        std::vector<std::shared_ptr<u2csim::Board>>{board}));
    int32_t h = lib.OpenDevice(0, 100000);
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lib.Write(h, 0x73, 3, kCommand));
        TrimLog(*board, ++i);
    }
}
BENCHMARK(BM_InProcessTerovanWrite);

void BM_InProcessTerovanRead(benchmark::State& state) {
    auto board = MakeBoard();
    terovan::TerovanBridge lib(std::make_shared<u2csim::InProcessBackend>(
        std::vector<std::shared_ptr<u2csim::Board>>{board}));
    int32_t h = lib.OpenDevice(0, 100000);
    uint8_t reply[3];
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lib.Read(h, 0x73, 3, reply));
        TrimLog(*board, ++i);
    }
}
BENCHMARK(BM_InProcessTerovanRead);

void BM_InProcessBusDriverWriteRead(benchmark::State& state) {
    auto board = MakeBoard();
    busaccess::BridgeDriver driver(std::make_shared<u2csim::InProcessBackend>(
        std::vector<std::shared_ptr<u2csim::Board>>{board}));
    driver.BridgeOpen();
    const uint8_t version[3] = {0x00, u2csim::kChipVersionCommand, 0x00};
    uint8_t reply[3];
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(driver.BridgeWriteRead(0x73, 3, version, 3, reply));
        TrimLog(*board, ++i);
    }
}
BENCHMARK(BM_InProcessBusDriverWriteRead);

void BM_SocketRoundTripTerovanWrite(benchmark::State& state) {
    u2csim::SimDaemon sim(U2C_SIM_PATH);
    if (!sim.ready()) {
        state.SkipWithError("u2c-sim did not start");
        return;
    }
    terovan::TerovanBridge lib(
        std::make_shared<kvusb::SocketBackend>(std::vector<std::string>{sim.socketPath()}));
    int32_t h = lib.OpenDevice(0, 100000);
    for (auto _ : state)
        benchmark::DoNotOptimize(lib.Write(h, 0x73, 3, kCommand));
    lib.CloseDevice(h);
}
BENCHMARK(BM_SocketRoundTripTerovanWrite);

void BM_SocketRoundTripBusDriverWriteRead(benchmark::State& state) {
    u2csim::SimDaemon sim(U2C_SIM_PATH);
    if (!sim.ready()) {
        state.SkipWithError("u2c-sim did not start");
        return;
    }
    busaccess::BridgeDriver driver(
        std::make_shared<kvusb::SocketBackend>(std::vector<std::string>{sim.socketPath()}));
    driver.BridgeOpen();
    const uint8_t version[3] = {0x00, u2csim::kChipVersionCommand, 0x00};
    uint8_t reply[3];
    for (auto _ : state)
        benchmark::DoNotOptimize(driver.BridgeWriteRead(0x73, 3, version, 3, reply));
    driver.BridgeClose();
}
BENCHMARK(BM_SocketRoundTripBusDriverWriteRead);

} // namespace

BENCHMARK_MAIN();
