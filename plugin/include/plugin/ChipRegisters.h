// The chip's codec registers (command 0xAD, 0xFF80-0xFF87) and clock
// registers (command 0xAB, 0xFFFA and 0xFFFB): each write is a command
// frame {address low, command, address high} and one data frame with the
// 24-bit value, least significant byte first, through the frame transport.
// Gains are in hundredths of a dB, truncated; every operation returns 0.
#pragma once

#include "plugin/ChipTransport.h"

// The inputs of the codec registers, as the System Configuration dialog
// leaves them (gains in hundredths of a dB).
struct SCodecInputs {
    bool adcEnabled = true;
    bool dacEnabled = true;
    int32_t preAmp = 0;
    bool preAmpMute = false;
    int32_t adcVolume = 0;
    bool adcVolumeMute = false;
    int32_t inputType = 1;
    int32_t adcInputFlag = 0;
    int32_t dac1 = 0;
    int32_t dac2 = 0;
    bool dac1Mute = false;
    bool dac2Mute = false;
};

class CChipRegisters : public CChipTransport {
public:
    static constexpr uint8_t kCodecCommand = 0xAD;
    static constexpr uint8_t kClockCommand = 0xAB;
    static constexpr uint16_t kDac1Volume = 0xFF80;
    static constexpr uint16_t kAdcPreAmp = 0xFF81;
    static constexpr uint16_t kAdcVolume = 0xFF82;
    static constexpr uint16_t kInputSelect = 0xFF83;
    static constexpr uint16_t kSampleFormat = 0xFF84;
    static constexpr uint16_t kConverterEnable = 0xFF85;
    static constexpr uint16_t kCodecStrobe = 0xFF86;
    static constexpr uint16_t kDac2Volume = 0xFF87;
    static constexpr uint16_t kClockDivider = 0xFFFA;
    static constexpr uint16_t kClockControl = 0xFFFB;
    static constexpr uint32_t kMuted = 0x030000;

    using CChipTransport::CChipTransport;

    // The register values (pure).
    static uint32_t DacVolumeValue(int32_t v, bool mute);
    static uint32_t AdcPreAmpValue(int32_t v, bool mute);
    static uint32_t AdcVolumeValue(int32_t v, bool mute);
    static uint32_t InputSelectValue(int32_t inputType, int32_t adcInputFlag);
    // The input type of an analog-input index: index + 1 as 1, 2, else 4.
    static int32_t InputTypeOfAnalogInput(int32_t index);
    // The ADC-input flag of the ADC-input setting: 1 for the mono input (0).
    static int32_t AdcInputFlagOf(int32_t adcInput);
    static uint32_t ConverterEnableValue(bool adc, bool dac);
    static uint16_t SerialFormatWord(int32_t mode, int32_t wordSize, int32_t dataType,
                                     int32_t frameSizeIndex);
    // The processing mode of the first byte of the mode reply.
    static uint32_t ProcessingModeOf(uint8_t firstByte);

    int32_t WriteDacVolumes(int32_t v1, int32_t v2, bool mute1, bool mute2);
    int32_t WriteAdcPreAmp(int32_t v, bool mute);
    int32_t WriteAdcVolume(int32_t v, bool mute);
    int32_t WriteInputSelect(int32_t inputType, int32_t adcInputFlag);
    // Indexes outside the tables (format 0-3, rate 0-1) write nothing.
    int32_t WriteSampleFormat(int32_t formatIndex, int32_t rateIndex);
    int32_t WriteConverterEnable(bool adc, bool dac);
    int32_t WriteCodecStrobe(uint8_t b);
    // Clock source 0-3 and rate index 0-1 (any rate for source 3); other
    // combinations have no divider values and write nothing.
    int32_t WriteClock(int32_t source, int32_t rateIndex);
    int32_t WriteSerialFormat(int32_t mode, int32_t wordSize, int32_t dataType,
                              int32_t frameSizeIndex);
    // The registers whose inputs changed, in the order 0xFF85, 0xFF81,
    // 0xFF82, 0xFF83, 0xFF80/0xFF87, then the strobe 0, 1, 0.
    int32_t WriteCodecChanges(const SCodecInputs& before, const SCodecInputs& after);

    // Reads the processing mode (2, 4, 1, 3 or 0); false when the read
    // failed, and `mode` is left alone.
    bool ReadProcessingMode(uint32_t& mode);

protected:
    // The command frame, then the value unless the command was refused.
    void WriteRegister(uint16_t address, uint8_t command, uint32_t value);
};
