// Bridge-flash presets: command sequences kept in the bridge's own flash
// (Boot and Presets 1 to 3) that the bridge plays to the chip by itself.
// The bytes that reach an area are recorded from the bridge write frames
// while the capture is replayed, so a preset holds exactly what went over
// the bus.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <cstdint>

namespace busgate {

inline constexpr uint32_t kPresetAreaSize = 0x4000;
inline constexpr uint32_t kPresetHeaderSize = 16;
inline constexpr uint32_t kPresetMark = 0x11223300;
inline constexpr uint32_t kPresetAreas = 4; // 0 Boot, 1-3 Presets 1-3

// Where area p (0-3) starts in the bridge flash.
constexpr uint32_t PresetAreaStart(uint32_t area) {
    return (area + 4) << 14;
}

// The sink of "Program Tuning Only": sends the tuning commands (category 5)
// to their slave and logs them as the main window's sink does; commands of
// other categories are neither sent nor logged.
class CExport2MK340Alg final : public CFilterLog {
public:
    explicit CExport2MK340Alg(BusGate& bus) : bus_(bus) {}
    void SetColor(int code) override;
    void Transaction(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                     uint32_t category) override;

protected:
    void PutText(std::string_view text) override;
    void PutError(std::string_view text) override { PutText(text); }
    void PutInfo(std::string_view text) override { PutText(text); }

private:
    BusGate& bus_;
    bool tuning_ = false;
    // The decoder sets a command's colour before handing it over.
    int colour_ = 1;
};

// The recorder hook of the bridge driver: while armed, one record per
// write frame, as long as the whole record fits.
void BridgeRecordTraffic(BusGate& bus, uint32_t length, uint8_t slave, const uint8_t* data,
                         uint8_t status);

// "Erase"; true when the bridge erased the area.
void EraseBridgePreset(BusGate& bus, uint32_t area);
// "Program All": the whole setup replayed on the live bus while recording.
void ExportPresetToBridge(BusGate& bus, uint32_t area);
// "Program Tuning Only": the tuning commands of the capture.
void ProgramBridgePreset(BusGate& bus, uint32_t area);

} // namespace busgate
