// A bus library core wired to the simulated board and chip in-process, with
// the headless logger's records captured for inspection.
#pragma once

#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "sim/ChipModel.h"
#include "sim/InProcessBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace busgate::testing {

// One text the headless logger wrote.
struct Record {
    std::string pane; // "traffic" or "status"
    int colour = 0;   // -1 for a clear
    std::string text;
};

Record ParseRecord(std::string_view line);

struct NoMessages : busaccess::MessageService {
    void showInformation(const std::string&, const std::string&) override {}
};

struct SimBusConfig {
    u2csim::BoardConfig board;
    u2csim::ChipConfig chip{0x6000, 0x0606};
    u2csim::ChipModelConfig model;
    bool boardPresent = true;
    bool chipPresent = true;
};

inline SimBusConfig WithChip(uint32_t version, uint32_t subVersion, uint32_t straps = 0x060000) {
    SimBusConfig c;
    c.chip = {version, subVersion};
    c.model.straps = straps;
    return c;
}

class SimBus {
public:
    explicit SimBus(SimBusConfig config = {});

    // Everything written to a pane, in order, without colours.
    std::string Text(const char* pane = "traffic") const;
    // The texts written in one colour.
    std::string TextIn(int colour, const char* pane = "traffic") const;
    bool HasLine(const char* pane, int colour, std::string_view text) const;
    // Data of every I2C write to a slave that went out on the bus, in order.
    std::vector<u2c::Bytes> Writes(uint8_t slave = u2csim::kChipAddress) const;
    // Opens the bridge without the probe, for decoder tests; the bus state
    // gets the given firmware code and chip identification.
    void OpenBridgeOnly(uint32_t firmwareCode = kFirmwareA2, uint32_t chipTypeCode = 2);
    // Sends bytes as busgate_transmit would.
    int32_t Send(std::vector<uint8_t> bytes, uint8_t slave = u2csim::kChipAddress);
    void ClearLog();

    std::shared_ptr<u2csim::Board> board;
    std::shared_ptr<u2csim::ChipModel> chip;
    std::shared_ptr<u2csim::InProcessBackend> backend;
    std::unique_ptr<busaccess::BridgeDriver> driver;
    std::unique_ptr<DriverBridgePort> port;
    std::vector<Record> records;
    std::unique_ptr<HeadlessLogger> ui;
    ManualClock clock;
    std::unique_ptr<BusGate> bus;
};

} // namespace busgate::testing
