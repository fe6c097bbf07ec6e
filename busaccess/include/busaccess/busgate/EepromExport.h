// The evaluation board's configuration EEPROM (the chip's boot image):
// programming it with the captured command stream, erasing it, and dumping
// it to a binary file and a decoded listing. Each operation holds the
// logger lock for its whole run, reports its steps in the traffic pane and
// ends with a message box.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <cstdint>
#include <string>

namespace busgate {

inline constexpr uint8_t kEepromFirstAddress = 0x50;
inline constexpr uint32_t kEepromMaxDevices = 8;
inline constexpr uint32_t kEepromDeviceSize = 256;
inline constexpr uint32_t kEepromMaxSize = kEepromMaxDevices * kEepromDeviceSize;

// The listing sink of the dump: keeps the decoder's comments (its info
// text) and drops everything else.
class CEepromParser final : public CFilterLog {
public:
    explicit CEepromParser(std::string& out) : out_(out) {}
    void SetColor(int) override {}
    void Transaction(int, uint8_t, uint32_t, const uint8_t*, uint32_t) override {}

protected:
    void PutText(std::string_view) override {}
    void PutError(std::string_view) override {}
    void PutInfo(std::string_view text) override { out_.append(text); }

private:
    std::string& out_;
};

// The size of the EEPROM: 256 bytes per answering address from 0x50 on.
uint32_t EepromDetectSize(BusGate& bus);
// Byte writes from the offset with acknowledge polling: 1 or 0.
int EepromWrite(BusGate& bus, uint32_t offset, const uint8_t* bytes, uint32_t count);
// Sequential reads from offset 0 in blocks of up to 16 bytes: 1 or 0.
int EepromRead(BusGate& bus, uint8_t* buffer, uint32_t count);
// Reads groups from offset 0 as the chip does when it boots: 1 or 0.
int EepromCompatibilityRead(BusGate& bus, uint8_t* buffer, uint32_t groups);

void ExportToEepromDevice(BusGate& bus);
void EraseEepromDevice(BusGate& bus);
void DumpEepromToFile(BusGate& bus);

} // namespace busgate
