#include "loggerui/MainCommands.h"

#include "busaccess/busgate/BridgePresets.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/EepromExport.h"
#include "foundation/kvFMDialogs.h"
#include "loggerui/AeqFilters.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace loggerui {

namespace {

constexpr const char* kVersion = "3.5.0.7";

bool BusOpen(busgate::BusGate& bus) {
    return bus.State().open == 1;
}

// The bridge opened for one command while the bus is closed.
class BridgeForCommand {
public:
    explicit BridgeForCommand(busgate::BusGate& bus) : bus_(bus), own_(!BusOpen(bus)) {
        if (own_)
            opened_ = bus_.Bridge().Open() == 1;
    }
    ~BridgeForCommand() {
        if (own_)
            bus_.Bridge().Close();
    }
    BridgeForCommand(const BridgeForCommand&) = delete;
    BridgeForCommand& operator=(const BridgeForCommand&) = delete;
    bool Opened() const { return !own_ || opened_; }

private:
    busgate::BusGate& bus_;
    bool own_;
    bool opened_ = false;
};

std::string PresetQuestion(uint32_t preset, bool tuningOnly) {
    if (preset == 0)
        return "Boot preset will be erase and reprogram with the new preset.\n\nNOTE: \nBoot "
               "preset runs only once after power-up and include EVB, reset, \nsystem and audio "
               "configuration commands.\n\n\nDo you want to continue ?";
    const char* format =
        tuningOnly
            ? "Preset numer %u will be erase and reprogram with the new preset.\n\nNOTE: \n* The "
              "new preset include only autio tuning commands.\n* Press MODE or PWR button to "
              "toggle between presets. \n\n\nDo you want to continue ?"
            : "Preset numer %u will be erase and reprogram with the new preset.\n\nNOTE: \n* The "
              "new preset include EVB, reset, system and audio\n  configuration commands.\n* "
              "Press MODE or PWR button to toggle between presets. \n\n\nDo you want to "
              "continue ?";
    char text[512];
    std::snprintf(text, sizeof text, format, preset);
    return text;
}

} // namespace

std::string LogFileText(std::string_view info, std::string_view log) {
    std::string text = std::string(" DulmLogger ") + kVersion + " \n\n";
    text += info;
    text += "\n\n";
    text += log;
    return text;
}

bool ExportCaptureBin(busgate::BusGate& bus) {
    const std::optional<std::string> path =
        AskFilePath(true, FileDialogOptions("Export to file", "DulmDSP.bin", ".bin",
                                            "Enter BIN File Name (*.bin)|*.bin||"));
    if (!path)
        return false;
    const busgate::CaptureBuffer& capture = bus.Capture();
    // An invalid or overflowed length never reads past the buffer.
    const uint32_t length = std::min<uint32_t>(capture.total, busgate::CaptureBuffer::kSize);
    const std::string_view bytes(reinterpret_cast<const char*>(capture.bytes.data()), length);
    if (!WriteFileReplacing(*path, bytes)) {
        bus.Messages().showError("Fail to open file for write.", "Export to file");
        return false;
    }
    bus.Messages().showInformation("Export completed successfully.", "Export to file");
    return true;
}

bool SaveLogToFile(busgate::BusGate& bus, std::string_view info, std::string_view log) {
    const std::optional<std::string> path =
        AskFilePath(true, FileDialogOptions("Save to File", "DulmLogger.txt", ".txt",
                                            "Log Files (*.txt)|*.txt|All Files (*.*)|*.*||"));
    if (!path)
        return false;
    if (!WriteFileReplacing(*path, LogFileText(info, log))) {
        bus.Messages().showError("Fail to open file for write.", "Save to File");
        return false;
    }
    bus.Messages().showInformation("Log was saved to file.", "Save to file");
    return true;
}

void ProgramEeprom(busgate::BusGate& bus, const std::function<void(bool)>& enable) {
    busgate::LoggerLockGuard hold(bus.Lock());
    if (!BusOpen(bus))
        return;
    if (enable)
        enable(false);
    busgate::ExportToEepromDevice(bus);
    if (enable)
        enable(true);
}

void DumpEeprom(busgate::BusGate& bus) {
    busgate::LoggerLockGuard hold(bus.Lock());
    BridgeForCommand bridge(bus);
    busgate::DumpEepromToFile(bus);
}

void EraseEeprom(busgate::BusGate& bus) {
    busgate::LoggerLockGuard hold(bus.Lock());
    BridgeForCommand bridge(bus);
    busgate::EraseEepromDevice(bus);
}

void EraseFlashPreset(busgate::BusGate& bus, uint32_t preset) {
    BridgeForCommand bridge(bus);
    if (bridge.Opened())
        busgate::EraseBridgePreset(bus, preset);
}

void ProgramAllPreset(busgate::BusGate& bus, uint32_t preset) {
    if (!BusOpen(bus))
        return;
    if (bus.Messages().askYesNo(PresetQuestion(preset, false), kFlashCaption))
        busgate::ExportPresetToBridge(bus, preset);
}

void ProgramTuningPreset(busgate::BusGate& bus, uint32_t preset) {
    if (!BusOpen(bus))
        return;
    if (preset == 0) {
        bus.Messages().showError("Boot preset runs only once after power-up thus must include "
                                 "EVB, reset, system and audio configuration commands.",
                                 kFlashCaption);
        return;
    }
    if (bus.Messages().askYesNo(PresetQuestion(preset, true), kFlashCaption))
        busgate::ProgramBridgePreset(bus, preset);
}

} // namespace loggerui
