// The evaluation board's peripherals: the microcontroller's pins (the
// chip's reset line and straps, the high-power supply, the amplifier's
// enable, the S/PDIF devices' power), the amplifier at 0x1B and the S/PDIF
// transmitter and receiver. Actions log a "[EVB] --> " line in the traffic
// pane; the status reports go to the evaluation-board status pane.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <cstdint>
#include <optional>

namespace busgate {

inline constexpr uint8_t kTas5713Address = 0x1B;
inline constexpr uint8_t kSpdifTxAddress = 0x16;
inline constexpr uint8_t kSpdifRxAddress = 0x13;
inline constexpr uint8_t kSpdifRxAltAddress = 0x17;

// Pin bytes: port in the high nibble, bit in the low nibble.
namespace pin {
inline constexpr uint8_t kChipReset = 0x1E;
inline constexpr uint8_t kRefStrap = 0x1B;
inline constexpr uint8_t kI2cmsStrap = 0x45;
inline constexpr uint8_t kAmplifierEnable = 0x18;
inline constexpr uint8_t kHighPower = 0x0C;
inline constexpr uint8_t kSpdifPower = 0x1D;
} // namespace pin

// S/PDIF input selections of the evaluation-board pages.
inline constexpr uint32_t kSpdifInputRca = 0;
inline constexpr uint32_t kSpdifInputOptical = 1;
inline constexpr uint32_t kSpdifNoInput = 0x81; // any value above 7

// ---- microcontroller pins
// mode: 0 input, 1 output, 2 the reset line's mode. Returns 1 when both
// writes succeeded.
int EvbSetGpio(BusGate& bus, uint32_t mode, uint8_t pin);
// The pin's level (0 or 1), or -1 when it could not be read.
int EvbReadPin(BusGate& bus, uint8_t pin);
void EvbSetChipReset(BusGate& bus, int assert);
void EvbForceRefStrap(BusGate& bus, int force, uint32_t level);
void EvbForceI2CMSStrap(BusGate& bus, int force, uint32_t level);
void EvbSetHighPowerVoltage(BusGate& bus, int on);

// ---- amplifier
int Tas5713WriteRegister(BusGate& bus, uint8_t reg, uint8_t value);
int Tas5713WriteRegister32(BusGate& bus, uint8_t reg, uint32_t value);
std::optional<uint8_t> Tas5713ReadRegister(BusGate& bus, uint8_t reg);
// off: 1 switches the amplifier off, 0 on.
void Tas5713Power(BusGate& bus, int off);
void Tas5713ReadId(BusGate& bus);
void Tas5713Initialize(BusGate& bus);
void Tas5713Configure(BusGate& bus);
void Tas5713ReportStatus(BusGate& bus);

// ---- S/PDIF devices
void EvbConfigureSpdif(BusGate& bus, uint32_t input);
void EvbPowerDownSpdif(BusGate& bus);
void EvbSpdifIdentifyTx(BusGate& bus);
void EvbSpdifIdentifyRx(BusGate& bus);
void EvbSpdifWriteRegisters(BusGate& bus, uint32_t input);
void EvbReportSpdifStatus(BusGate& bus);

} // namespace busgate
