// A bus library core wired to the simulated board and chip in-process, with
// the headless logger's records captured for inspection.
#pragma once

#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "foundation/kvFMDialogs.h"
#include "sim/ChipModel.h"
#include "sim/InProcessBackend.h"
#include "sim/Peripherals.h"

#include <filesystem>
#include <memory>
#include <optional>
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

// The message boxes the library showed.
struct RecordedBoxes : busaccess::MessageService {
    struct Box {
        std::string text;
        std::string caption;
        bool error = false;
    };
    void showInformation(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption, false});
    }
    void showError(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption, true});
    }
    // Answers the next question from the script (No when it is empty).
    bool askYesNo(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption, false});
        asked.push_back(text);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.erase(answers.begin());
        return yes;
    }
    std::vector<Box> shown;
    std::vector<bool> answers;
    std::vector<std::string> asked;
};

struct SimBusConfig {
    u2csim::BoardConfig board;
    u2csim::ChipConfig chip{0x6000, 0x0606};
    u2csim::ChipModelConfig model;
    bool boardPresent = true;
    bool chipPresent = true;
    // The evaluation board's peripherals, none when unset.
    std::optional<u2csim::PeripheralConfig> peripherals;
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
    // Starts a capture with Setup Start {00 A5 00} and sends the groups
    // after it, in one transfer.
    void FillCapture(const std::vector<uint8_t>& groups);
    // The message boxes shown, as "caption: text" (errors marked "!").
    std::vector<std::string> Boxes() const;
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
    u2csim::Peripherals devices;
    std::shared_ptr<RecordedBoxes> boxes = std::make_shared<RecordedBoxes>();
};

// A scripted file dialog service for the test's lifetime, and a scratch
// folder for the files the exports write.
struct ScriptedFiles {
    ScriptedFiles();
    ~ScriptedFiles();
    ScriptedFiles(const ScriptedFiles&) = delete;
    ScriptedFiles& operator=(const ScriptedFiles&) = delete;
    std::string Path(const std::string& leaf) const { return (folder / leaf).string(); }
    std::string Read(const std::string& leaf) const;
    // The i-th dialog shown, as "title; proposed name; extension; filter"
    // with the filter's entries as "description|pattern", ';'-separated.
    std::string Shown(std::size_t i) const;

    kvFM::KCScriptedDialogService dialogs;
    std::filesystem::path folder;

private:
    kvFM::KCDialogService* previous_ = nullptr;
};

// n copies of a group.
std::vector<uint8_t> Repeat(std::vector<uint8_t> group, size_t n);

} // namespace busgate::testing
