// What the file and device exports share: progress lines in the traffic
// pane, message boxes, the save dialog and whole-file writes.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <optional>
#include <string>

namespace busgate::exports {

// A line in the traffic pane in the colour, then the 100 ms wait that lets
// the windows show it.
void Step(BusGate& bus, int colour, const char* format, ...) __attribute__((format(printf, 3, 4)));
// A wait the bridge does itself (BRIDGE_DELAY) with current firmware; with
// old firmware the host sleeps.
void BridgeWait(BusGate& bus, uint32_t milliseconds);
void ErrorBox(BusGate& bus, const char* text, const char* caption);
void InfoBox(BusGate& bus, const char* text, const char* caption);

// The save dialog for any file (overwrite prompt, no read-only box) with
// the proposed name, the extension a name without one gets (or none) and
// the filter ("Text (*.x)|*.x||"); the chosen path, or nothing when the
// user cancelled or no dialog can be shown.
std::optional<std::string> AskSavePath(const char* title, const char* defaultName,
                                       const char* extension, const char* filter);
// The path with its leaf's extension replaced by (or given) the extension.
std::string WithExtension(const std::string& path, const char* extension);
// The path without its leaf's extension.
std::string WithoutExtension(const std::string& path);
// The leaf without its extension.
std::string FileTitle(const std::string& path);
// Replaces the file with the bytes through a file beside it; false on any
// failure, which leaves the old file as it was.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

} // namespace busgate::exports
