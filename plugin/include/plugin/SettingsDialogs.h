// The plug-in's modal settings dialogs: "POP Settings" (824), "System
// Configuration" (825) and "Digital IO Configuration" (823), each built
// from its dialog resource of the plug-in module.
#pragma once

#include "plugin/GenericWindow.h"

#include <cstdint>
#include <string>

class cPEQ_ALG;
struct SSystemConfigValues;

enum : int32_t {
    kDialogDigitalIO = 823,
    kDialogPopSettings = 824,
    kDialogSystemConfig = 825,
};

class CPOPFileSettingsDlg : public CGenericWindow {
public:
    enum : int32_t {
        kResetAuto = 1010,
        kResetAlways = 1062,
        kEepromDefault = 1066,
        kEepromAlways = 1067,
        kResetFile = 1012,
        kResetBrowse = 1064,
        kEepromFile = 1020,
        kEepromBrowse = 1024,
        kRunPath = 1017,
        kRunBrowse = 1068,
        kRun = 1070,
        kClearList = 1027,
    };

    explicit CPOPFileSettingsDlg(cPEQ_ALG* alg = nullptr) : alg_(alg) {}

    int32_t resetSelector = 0;  // PopType
    int32_t eepromSelector = 0; // PopTypeEEPROMExt
    std::string resetFile;      // PopFilename
    std::string eepromFile;     // PopFilenameEEPROM
    std::string runPath;        // PopRunPath

protected:
    intptr_t WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) override;
    int32_t DataExchange(bool save) override;
    intptr_t OnInitDialog() override;
    intptr_t OnCommand(int32_t id, int32_t code, wxWindow* control) override;

private:
    // Asks for a POP file; true when one was chosen into `value`.
    bool Browse(std::string& value);
    void Run();

    cPEQ_ALG* alg_;
};

// The serial-audio word as the System Configuration dialog reads and
// writes it.
struct SSerialWord {
    int32_t dataType = 1;   // 0 Left, 1 I2S, 2 Right
    int32_t serialMode = 1; // 0 slave, 1 master
    int32_t bit5 = 1;
    int32_t bits6to9[4] = {1, 1, 1, 1};
    int32_t wordSize = 3;  // 0 16, 1 18, 2 20, 3 24 bits
    int32_t frameSize = 1; // 0 32 bits, 1 64 bits

    void Load(uint16_t word);
    uint16_t Word() const;
};

class CSystemConfigDlg : public CGenericWindow {
public:
    enum : int32_t {
        kRate48 = 1025,
        kRate44 = 1021,
        kClock11 = 1028,
        kClock12 = 1029,
        kClock12288 = 1031,
        kClockDclk = 1055,
        kAdcMono = 1032,
        kAdcStereo = 1033,
        kAnalog1 = 1034,
        kAnalog2 = 1035,
        kAnalog3 = 1036,
        kSlave = 1004,
        kMaster = 1059,
        kLeft = 1000,
        kI2S = 1019,
        kRight = 1002,
        kWord16 = 1015,
        kWord18 = 1016,
        kWord20 = 1069,
        kWord24 = 1018,
        kFrame32 = 1013,
        kFrame64 = 1065,
        kAdcEnable = 1041,
        kDacEnable = 1053,
        kPreAmpMute = 1038,
        kAdcMute = 1040,
        kDac1Mute = 1050,
        kDac2Mute = 1052,
        kPreAmp = 1037,
        kAdcVolume = 1039,
        kDac1 = 1042,
        kDac2 = 1051,
        kPreAmpLabel = 1071,
        kAdcLabel = 1072,
        kDac1Label = 1073,
        kDac2Label = 1074,
    };

    CSystemConfigDlg() = default;

    int32_t sampleRate = 0;
    int32_t inputClock = 2;
    int32_t adcInput = 1;
    int32_t analogInput = 0;
    SSerialWord word;
    int32_t adcEnable = 0, dacEnable = 0;
    int32_t preAmpMute = 0, adcMute = 0, dac1Mute = 0, dac2Mute = 0;
    int32_t preAmp = 0, adcVolume = 0, dac1 = 0, dac2 = 0;
    int32_t preAmpSteps = 500, volumeSteps = 1300;

    // From and to the algorithm's values.
    void LoadValues(const SSystemConfigValues& values);
    void StoreValues(SSystemConfigValues& values) const;

    // The DCLK label: "DCLK (%g MHz)".
    std::string DclkLabel() const;
    static std::string DbLabel(double dB);

protected:
    int32_t DataExchange(bool save) override;
    intptr_t OnInitDialog() override;
    intptr_t OnCommand(int32_t id, int32_t code, wxWindow* control) override;
    intptr_t WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) override;

private:
    void FrameSizeRule();
    void WordEnableRule();
    void DataTypeRule();
    void ClockRule();
    void UpdateDbLabels();
    void UpdateDclkLabel();

    int32_t rememberedDataType_ = 1;
    int32_t rememberedWordSize_ = 3;
};

class CDigitalIODlg : public CGenericWindow {
public:
    enum : int32_t {
        kLeft = 1000,
        kLeftDelayed = 1019,
        kRight = 1002,
        kRightDelayed = 1022,
        kClockSlave = 1004,
        kClockMaster = 1005,
        kSyncWord = 1006,
        kSyncShort = 1007,
        kTransmitter = 1058,
        kReceiver = 1008,
        kTransmitterInterrupt = 1011,
        kReceiverInterrupt = 1063,
        kLength16 = 1015,
        kLength18 = 1016,
        kLength20 = 1069,
        kLength24 = 1018,
        kFrame32 = 1013,
        kFrame64 = 1065,
    };

    void LoadWord(uint16_t word);
    uint16_t Word() const;

    int32_t dataPosition = 0;
    int32_t serialClock = 0;
    int32_t frameSync = 0;
    int32_t transmitter = 0, receiver = 0, transmitterInterrupt = 0, receiverInterrupt = 0;
    int32_t wordLength = 0;
    int32_t frameLength = 1; // 0 32, 1 64
    uint16_t upperBits = 0;  // bits 11-15, carried through

protected:
    int32_t DataExchange(bool save) override;
    intptr_t OnInitDialog() override;
    intptr_t OnCommand(int32_t id, int32_t code, wxWindow* control) override;

private:
    void EnableRule();

    int32_t rememberedPosition_ = 0;
    int32_t rememberedLength_ = 0;
};
