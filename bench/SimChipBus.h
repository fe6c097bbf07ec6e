// The bus library's bridge port wired to the in-process simulated board with
// the chip at 0x73 running its current firmware, for benchmarks of the
// logger's pages. Unlike the tests' rig, it keeps the real clock and records
// nothing: what is timed is the library's own work.
#pragma once

#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "sim/Board.h"
#include "sim/ChipModel.h"
#include "sim/InProcessBackend.h"
#include "sim/Peripherals.h"

#include <chrono>
#include <memory>
#include <vector>

struct SimChipBus {
    SimChipBus()
        : board(std::make_shared<u2csim::Board>(u2csim::BoardConfig{})),
          chip(std::make_shared<u2csim::ChipModel>(u2csim::ChipConfig{0x6000, 0x0606},
                                                   u2csim::ChipModelConfig{})) {
        board->attach(u2csim::kChipAddress, chip);
        u2csim::WireChipReset(*board, chip);
        backend = std::make_shared<u2csim::InProcessBackend>(
            std::vector<std::shared_ptr<u2csim::Board>>{board}, std::chrono::milliseconds(200));
        driver = std::make_unique<busaccess::BridgeDriver>(backend);
        port = std::make_unique<busgate::DriverBridgePort>(*driver);
    }

    std::shared_ptr<u2csim::Board> board;
    std::shared_ptr<u2csim::ChipModel> chip;
    std::shared_ptr<u2csim::InProcessBackend> backend;
    std::unique_ptr<busaccess::BridgeDriver> driver;
    std::unique_ptr<busgate::DriverBridgePort> port;
};
