// What the main window's buttons start: the EEPROM and bridge-flash
// commands with their locks and questions, and the two exports the window
// does itself (the raw capture and the log text).
#pragma once

#include "foundation/kvFMDialogs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace busgate {
class BusGate;
}

namespace loggerui {

inline constexpr const char* kFlashCaption = "Export preset to MK340";

using kvFM::AskFilePath;
using kvFM::FileDialogOptions;

// The saved log: header, info pane, two line breaks, log pane.
std::string LogFileText(std::string_view info, std::string_view log);
// "BIN...": asks for the file and writes the capture; false when nothing
// was written (cancelled or failed, the failure reported).
bool ExportCaptureBin(busgate::BusGate& bus);
// "Save to File...": asks for the file and writes both panes.
bool SaveLogToFile(busgate::BusGate& bus, std::string_view info, std::string_view log);

// EEPROM: program (only with the bus open; enable switches the button off
// and on around it), dump and erase (opening the bridge for the command
// when the bus is closed); each under the logger lock.
void ProgramEeprom(busgate::BusGate& bus, const std::function<void(bool)>& enable);
void DumpEeprom(busgate::BusGate& bus);
void EraseEeprom(busgate::BusGate& bus);

// Bridge flash, for the preset 0 ("Boot") to 3.
void EraseFlashPreset(busgate::BusGate& bus, uint32_t preset);
void ProgramAllPreset(busgate::BusGate& bus, uint32_t preset);
void ProgramTuningPreset(busgate::BusGate& bus, uint32_t preset);

} // namespace loggerui
