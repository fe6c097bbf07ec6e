#include "plugin/ChipRegisters.h"

namespace {

constexpr uint32_t kTwoBytes = 0x0101;

uint32_t Doubled(int32_t n) {
    return static_cast<uint32_t>(n & 0xFF) * kTwoBytes;
}

struct Divider {
    uint32_t n, m;
};

// (N, M) by clock source and rate index.
bool ClockDivider(int32_t source, int32_t rate, Divider& out) {
    static const Divider table[3][2] = {
        {{282, 25}, {9, 0}},
        {{255, 24}, {253, 26}},
        {{9, 0}, {146, 15}},
    };
    if (source == 3) {
        out = {39, 0};
        return true;
    }
    if (source < 0 || source > 2 || rate < 0 || rate > 1)
        return false;
    out = table[source][rate];
    return true;
}

} // namespace

uint32_t CChipRegisters::DacVolumeValue(int32_t v, bool mute) {
    return mute ? kMuted : Doubled((v + 12600) / 150);
}

uint32_t CChipRegisters::AdcPreAmpValue(int32_t v, bool mute) {
    return mute ? kMuted : Doubled(v / 100 + 18);
}

uint32_t CChipRegisters::AdcVolumeValue(int32_t v, bool mute) {
    return mute ? kMuted : Doubled(20 - v / 150);
}

int32_t CChipRegisters::InputTypeOfAnalogInput(int32_t index) {
    const int32_t type = index + 1;
    return (type == 1 || type == 2) ? type : 4;
}

int32_t CChipRegisters::AdcInputFlagOf(int32_t adcInput) {
    return adcInput == 0 ? 1 : 0;
}

uint32_t CChipRegisters::InputSelectValue(int32_t inputType, int32_t adcInputFlag) {
    const uint32_t selection = inputType == 1   ? 0x00
                               : inputType == 2 ? 0x11
                               : inputType == 4 ? 0x22
                                                : 0;
    return 0x88 | selection | (static_cast<uint32_t>(adcInputFlag & 1) << 8);
}

uint32_t CChipRegisters::ConverterEnableValue(bool adc, bool dac) {
    if (adc)
        return dac ? 0x1FFF : 0x01C3;
    return dac ? 0x1F3F : 0x0103;
}

uint16_t CChipRegisters::SerialFormatWord(int32_t mode, int32_t wordSize, int32_t dataType,
                                          int32_t frameSizeIndex) {
    const uint32_t t = static_cast<uint32_t>(dataType) & 3;
    const uint32_t z = static_cast<uint32_t>(wordSize) & 3;
    uint32_t word =
        t | t << 2 | (static_cast<uint32_t>(mode) & 1) << 4 | 0xFu << 6 | z << 10 | z << 12;
    if (frameSizeIndex == 0)
        word |= 1u << 14;
    return static_cast<uint16_t>(word);
}

uint32_t CChipRegisters::ProcessingModeOf(uint8_t firstByte) {
    static const uint32_t modes[4] = {2, 4, 1, 3};
    const uint32_t bits = (firstByte >> 1) & 7;
    return bits < 4 ? modes[bits] : 0;
}

void CChipRegisters::WriteRegister(uint16_t address, uint8_t command, uint32_t value) {
    SendCommand(address, command);
    if (!Dropped())
        SendValue(value);
}

int32_t CChipRegisters::WriteDacVolumes(int32_t v1, int32_t v2, bool mute1, bool mute2) {
    WriteRegister(kDac1Volume, kCodecCommand, DacVolumeValue(v1, mute1));
    WriteRegister(kDac2Volume, kCodecCommand, DacVolumeValue(v2, mute2));
    return 0;
}

int32_t CChipRegisters::WriteAdcPreAmp(int32_t v, bool mute) {
    WriteRegister(kAdcPreAmp, kCodecCommand, AdcPreAmpValue(v, mute));
    return 0;
}

int32_t CChipRegisters::WriteAdcVolume(int32_t v, bool mute) {
    WriteRegister(kAdcVolume, kCodecCommand, AdcVolumeValue(v, mute));
    return 0;
}

int32_t CChipRegisters::WriteInputSelect(int32_t inputType, int32_t adcInputFlag) {
    WriteRegister(kInputSelect, kCodecCommand, InputSelectValue(inputType, adcInputFlag));
    return 0;
}

int32_t CChipRegisters::WriteSampleFormat(int32_t formatIndex, int32_t rateIndex) {
    static const uint8_t formats[4] = {0x02, 0x01, 0x00, 0xFF};
    static const uint8_t rates[2] = {0x08, 0x07};
    if (formatIndex < 0 || formatIndex > 3 || rateIndex < 0 || rateIndex > 1)
        return 0;
    const uint32_t value = (formats[formatIndex] & 7u) << 4 | (rates[rateIndex] & 0x0Fu);
    WriteRegister(kSampleFormat, kCodecCommand, value);
    return 0;
}

int32_t CChipRegisters::WriteConverterEnable(bool adc, bool dac) {
    WriteRegister(kConverterEnable, kCodecCommand, ConverterEnableValue(adc, dac));
    return 0;
}

int32_t CChipRegisters::WriteCodecStrobe(uint8_t b) {
    WriteRegister(kCodecStrobe, kCodecCommand, b);
    return 0;
}

int32_t CChipRegisters::WriteClock(int32_t source, int32_t rateIndex) {
    Divider d{};
    if (!ClockDivider(source, rateIndex, d))
        return 0;
    const uint32_t base = 0x240009u | (source == 3 ? 2u : 1u) << 12;
    const uint32_t divider = (0x80u | d.m) << 12 | d.n;
    WriteRegister(kClockControl, kClockCommand, base);
    WriteRegister(kClockDivider, kClockCommand, divider);
    WriteRegister(kClockDivider, kClockCommand, divider & ~0x80000u);
    Clock().Sleep(1);
    WriteRegister(kClockControl, kClockCommand, base | 0x800820u);
    Clock().Sleep(1);
    return 0;
}

int32_t CChipRegisters::WriteSerialFormat(int32_t mode, int32_t wordSize, int32_t dataType,
                                          int32_t frameSizeIndex) {
    const uint16_t word = SerialFormatWord(mode, wordSize, dataType, frameSizeIndex);
    SendCommandBytes(static_cast<uint8_t>(word), 0xC4, static_cast<uint8_t>(word >> 8), false);
    return 0;
}

int32_t CChipRegisters::WriteCodecChanges(const SCodecInputs& b, const SCodecInputs& a) {
    if (a.adcEnabled != b.adcEnabled || a.dacEnabled != b.dacEnabled)
        WriteConverterEnable(a.adcEnabled, a.dacEnabled);
    if (a.preAmp != b.preAmp || a.preAmpMute != b.preAmpMute)
        WriteAdcPreAmp(a.preAmp, a.preAmpMute);
    if (a.adcVolume != b.adcVolume || a.adcVolumeMute != b.adcVolumeMute)
        WriteAdcVolume(a.adcVolume, a.adcVolumeMute);
    if (a.inputType != b.inputType || a.adcInputFlag != b.adcInputFlag)
        WriteInputSelect(a.inputType, a.adcInputFlag);
    if (a.dac1 != b.dac1 || a.dac2 != b.dac2 || a.dac1Mute != b.dac1Mute ||
        a.dac2Mute != b.dac2Mute)
        WriteDacVolumes(a.dac1, a.dac2, a.dac1Mute, a.dac2Mute);
    for (uint8_t strobe : {0, 1, 0})
        WriteCodecStrobe(strobe);
    return 0;
}

bool CChipRegisters::ReadProcessingMode(uint32_t& mode) {
    uint8_t reply[3] = {};
    if (!ReadTransaction(0xF1, 0xB5, 0xFF, reply))
        return false;
    mode = ProcessingModeOf(reply[0]);
    return true;
}
