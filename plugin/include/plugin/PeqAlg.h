// The plug-in's algorithm object: the parameters of the framework's
// algorithm base, the per-setup filter design, the road from a changed
// parameter to the chip's command frames (through the chip registers'
// frame transport), the meters and the data hooks the framework calls.
#pragma once

#include "guilib/Algorithm.h"
#include "plugin/ChipRegisters.h"
#include "plugin/ParamIndex.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The values the System Configuration dialog shows and returns.
struct SSystemConfigValues {
    uint16_t digitalIOWord = 0x83D5;
    int32_t sampleRate = 0;
    int32_t analogInput = 0;
    int32_t inputClock = 2;
    uint8_t adcEnabled = 1;
    uint8_t dacEnabled = 1;
    int32_t preAmpPosition = 0;
    uint8_t preAmpMute = 0;
    int32_t adcVolumePosition = 0;
    uint8_t adcVolumeMute = 0;
    int32_t adcInput = 1;
    int32_t dac1Position = 0;
    uint8_t dac1Mute = 0;
    int32_t dac2Position = 0;
    uint8_t dac2Mute = 0;

    bool operator==(const SSystemConfigValues&) const = default;
};

// The POP file choices the POP Settings dialog edits.
struct SPopSettingsValues {
    uint32_t popType = 0;
    uint32_t popTypeEEPROMExt = 0;
    std::string popFilename;
    std::string popFilenameEEPROM;
    std::string popRunPath;
};

class cPEQ_ALG;
class KCMenuEx;
class KCWindow;

// What the algorithm needs of its editor: the System Configuration and POP
// Settings dialogs, the editor's window, its pop-up menus and the
// command-list window. Headless, the defaults do nothing.
class CPeqEditorServices {
public:
    virtual ~CPeqEditorServices() = default;
    // Shows the dialog over `values`; true when it ended with OK (then
    // `values` holds the dialog's values).
    virtual bool RunSystemConfiguration(SSystemConfigValues& values) { return false; }
    // The POP Settings dialog over `values`; true when it ended with OK.
    virtual bool RunPopSettings(cPEQ_ALG& alg, SPopSettingsValues& values) { return false; }
    // The editor's drawing window while it is shown, else null.
    virtual KCWindow* PluginWindow() { return nullptr; }
    // Opens `menu` at the mouse: true with the chosen command in `selection`.
    virtual bool PopUpMenu(KCMenuEx& menu, long& selection) { return false; }
    // The command-list window: made hidden (once) over `owner` (may be null)
    // with the command file `path`.
    virtual void PrepareCommander(cPEQ_ALG& alg, KCWindow* owner, const std::string& path) {}
    virtual bool IsCommanderVisible() { return false; }
    virtual void ShowCommander(bool show) {}
    // The analog-input menus: items "1" to "5", the last two disabled
    // unless `fiveInputs`.
    virtual void SetAnalogInputItems(bool fiveInputs) {}
};

// The connection object of a connection type (0 Dimax, 1 Telos, 2 Terovan);
// null for any other type.
using ConnectionFactory = std::function<std::unique_ptr<CConnectI2C>(int32_t type)>;
ConnectionFactory BridgeConnectionFactory(std::shared_ptr<CTickClock> clock);

// Q1.23: appends the 24-bit code of x, least significant byte first. Values
// from -1 to just below 1 keep their codes; 1.0 and above saturate at
// 0x7FFFFF, values below -1 at 0x800000.
void AppendQ23(std::vector<uint8_t>& bytes, double x);
uint32_t Q23Code(double x);
// The gain-stage rule: g halved until at most 1 (at least once), the halvings
// counted in `shift`.
void GainStage(double* gain, int16_t* shift);

// The resource counts of one process-code description that the algorithm
// adjusts to its section count B, output count C and stage length P.
struct SProcCodeCounts {
    int32_t internalY = 0;
    int32_t externalBufferSize = 0;
    int32_t externalBufferAccesses = 0;
    int32_t processorFamily = 0;
    int32_t cycles[3] = {0, 0, 0}; // -1: cannot run
};
void AdjustProcessCodeCounts(SProcCodeCounts& counts, int16_t sections, int16_t outputs,
                             int16_t stageLength);

// The token reader of AEQ files: skips white space (space, tab, line feed,
// carriage return, vertical tab, form feed), takes the characters up to the
// next white space, skips the white space after them and moves `position`
// past it; false (`value` untouched) when no token is left before the end
// of the text. The floating form converts with KUAtof, the integer form
// with KUAtoi.
bool ReadAeqToken(const char*& position, double& value);
bool ReadAeqToken(const char*& position, int32_t& value);

// The Intel HEX text of an image: records of 16 bytes, then the end record.
std::string IntelHexText(const std::vector<uint8_t>& image);

extern "C" __attribute__((visibility("default"))) void dbToGainStage(double* dB, int16_t* shift);

class cPEQ_ALG : public cALGORITHM, public CChipRegisters {
public:
    static constexpr int32_t kBandCount = 10;
    static constexpr int32_t kMaxOutputs = 2;
    static constexpr int32_t kConnectionNone = 3;
    static constexpr int32_t kPreAmpSteps = 500;
    static constexpr int32_t kVolumeSteps = 1300;
    // 32-bit words of the state buffer that follows each section.
    static constexpr int32_t kSectionStateWords = 128;

    // The per-setup design state of the equaliser and the output stages.
    struct SDesignBlock {
        int16_t bandShift[kMaxOutputs] = {0, 0};
        int16_t stageShift[kMaxOutputs] = {0, 0};
        double normaliser[kMaxOutputs] = {0.0, 0.0};
        // Per output: one section per band, then the extra section.
        BIQUAD sections[kMaxOutputs][kBandCount + 1];
        // Per output: the output section; a state buffer follows it and
        // each of the output's sections.
        BIQUAD outputSection[kMaxOutputs];
        uint32_t outputState[kMaxOutputs][kSectionStateWords] = {};
        uint32_t sectionState[kMaxOutputs][kBandCount + 1][kSectionStateWords] = {};
        BIQUAD edge[2];
        double bandResponse[kBandCount + 1][kGraphPoints] = {};
        double summed[kGraphPoints] = {};
        double preGain[kMaxOutputs] = {1.0, 1.0};
        double postGain[kMaxOutputs] = {1.0, 1.0};
        int16_t bypassShift[kMaxOutputs] = {0, 0};
        // The AEQ sections (flat: b0 = 1); field 2 of section 0 holds the
        // AEQ file's header value.
        struct SAeqRecord {
            double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
            uint16_t field1 = 0, field2 = 0;
        } aeq[kBandCount + 1];
    };

    cPEQ_ALG(const QuorlComponentInfo* info, KTResContainerType* container, bool native = true,
             std::shared_ptr<CTickClock> clock = SystemTickClock(),
             ConnectionFactory connections = {});
    ~cPEQ_ALG() override;

    // Connections: the only place where the connection object is replaced.
    bool SelectConnection(int32_t type);
    // The user's choice of a connection type (Utilities menu): made at once
    // while the connection is on, and a detection that then finds no chip
    // says why in a box.
    void ChooseConnection(int32_t type);
    int32_t CurrentConnectionType() const { return currentConnectionType_; }
    void SetEditorServices(std::shared_ptr<CPeqEditorServices> services);
    // What makes the editor object (the module's editor class); null makes
    // none.
    using EditorFactory = std::function<CStandardGUI_X*(KTResContainerType*)>;
    void SetEditorFactory(EditorFactory factory) { editorFactory_ = std::move(factory); }
    CPeqEditorServices* EditorServices() const { return services_.get(); }

    void WriteParamToDevice(unsigned long index);
    // The status read: parameter 182 takes the chip's answer when valid.
    bool ReadDeviceStatus();
    uint32_t NextRandom();
    void ResetMeters();
    bool ComputeAutoTrim();
    void ResetCoefficientArea();
    // The chip-dependent control states (sub-woofer Q scales, disabled
    // modes and band presence).
    void UpdateControlAvailability();

    // Filter design.
    BUFFER_HEADER* DesignBand(int32_t band, bool send);
    BUFFER_HEADER* DesignOutputStage(int32_t output, bool send);
    void DesignSubwooferSection(int32_t band, BIQUAD& section);
    // The shelf Q limit of a parameter by index (second pair of limits).
    double LimitShelfQ(unsigned long index);
    void UpdateResponseGraph(int32_t graph);
    bool IsGraphVisible(int32_t graph);

    // Reset and the AEQ coefficients (the device life cycle).
    bool ResetAndRunPop(bool force, const char* popPath = nullptr);
    // The EEPROM image: captured by a device run at slave address 0x50.
    static constexpr size_t kEepromBytes = 2048;
    // Variant 0 all frames, 1 from C3 to C9, 2 from C9 to A4; asks for the
    // file; true when it was written.
    bool ExportEepromHex(int32_t variant);
    bool WriteEeprom();
    // Reads the chip's model and firmware and builds the file names.
    bool DetectDevice();
    long DoIdle(short visible) override;
    const std::string& AeqPath() const { return aeqPath_; }
    const std::string& VersionPopPath() const { return versionPopPath_; }
    uint32_t ProcessingMode() const { return processingMode_; }
    // Replays a POP text: one raw write per line with bytes; 0 when nothing
    // was found to run. A bad token shows "Error in POP File at line n".
    uint32_t RunPopScript(const char* text);
    // The POP file a reset runs when no path is given (empty: none).
    std::string ResetPopPath();
    // Reads an AEQ file's numbers; false when it cannot be read.
    bool ReadAeqFile(const std::string& path);
    bool LoadAeqFile(const std::string& path);
    // Sends the last AEQ list to the chip; false when it was not sent.
    bool SendAeqCoefs();
    const std::vector<double>& AeqNumbers() const { return aeqNumbers_; }
    int32_t BandLimit() const { return bandLimit_; }
    void SetVersionPopPath(const std::string& path) { versionPopPath_ = path; }
    void SetPopSettings(uint32_t popType, const std::string& popFilename, uint32_t eepromExt,
                        const std::string& eepromFilename) {
        PopType = popType;
        PopFilename = popFilename;
        PopTypeEEPROMExt = eepromExt;
        PopFilenameEEPROM = eepromFilename;
    }
    void ResizeEditorFrame();
    // The POP Settings dialog: on OK its values become the POP settings.
    void ShowPopSettings();
    SPopSettingsValues PopSettings() const;
    // The editor's window set-up, run on each activation (once in full).
    void SetUpEditorWindow(KCWindow* pluginWindow);
    bool WindowSetUpDone() const { return windowSetUpDone_; }
    // The Utilities menu: its items as they stand, and its commands.
    void BuildUtilitiesMenu(KCMenuEx& menu);
    void RunUtilitiesCommand(long command);
    int32_t ChosenConnectionType() const { return rememberedConnectionType_; }
    void UpdateAnalogInputMenus();

    // Chip-version conditions.
    bool IsTenBandChip() const;
    bool IsChip5010Plus() const;
    bool IsChip5000Plus() const;
    bool IsChip6000Plus() const;
    bool IsChip5010Exactly() const;
    bool IsAeqActive();
    bool IsSubVersion(uint8_t major, uint8_t minor) const;

    // State for tests and the device life cycle.
    const SDesignBlock& DesignBlock(int32_t setup) const { return design_[setup & 1]; }
    // The state buffer (kSectionStateWords words) of a section of an output:
    // band 0 to the band count, or -1 for the output section; null outside.
    uint32_t* SectionState(int32_t setup, int32_t output, int32_t section);
    const std::array<int16_t, kBandCount + 1>& BandPositionMap() const { return bandPositionMap_; }
    int16_t SectionCount() const { return sectionCount_; }
    int16_t StageLength() const { return stageLength_; }
    int16_t NormaliserBand() const { return normaliserBand_; }
    double CoefficientScale() const { return coefScale_; }
    double AutoTrim() const { return autoTrim_; }
    void SetReinitialising(bool on) { reinitialising_ = on; }
    bool Reinitialising() const { return reinitialising_; }
    void SetActiveBandCount(int32_t n) { activeBandCount_ = n; }
    void SetSeed(uint32_t seed) { seed_ = seed; }
    const std::string& ModuleFolder() const { return moduleFolder_; }
    void SetProcessingMode(uint32_t mode) { processingMode_ = mode; }
    bool DeviceAnswered() const { return deviceAnswered_; }
    void SetDeviceAnswered(bool on) { deviceAnswered_ = on; }
    const SSystemConfigValues& CodecCache() const { return codecCache_; }
    // Real-world value of a parameter in the active setup (0 outside).
    double Value(unsigned long index);
    // Sets the value (state follows, update flag 3) without the update hook.
    void SetValueAndFlag(unsigned long index, double value);

protected:
    bool TranslateTextToStateSelf(unsigned long param, const std::string& text,
                                  double& value) override;
    void SetBypassCoefsSelf() override;
    void CopySetupSelf(long from, long to) override;
    long ChangeSampleRateSelf() override;
    long InitDataSelf() override;

public:
    BUFFER_HEADER* UpdateParamStateSelf(unsigned long param) override;
    long ResetHardwareSelf() override;
    long ResetStatesSelf() override;
    long RefreshParamSelf(unsigned long param) override;
    long GetInitialStatesSelf(char* states) override;
    void AdjustProcessCodeSelf() override;
    void ActivatePluginSpecificToolBarSelf(std::string& name) override;
    long LoadFromPresetSelf(CPresetInfo*, EPluginSetup) override { return 0; }
    // The editor object over the plug-in's resources; null when it cannot
    // be made.
    CStandardGUI_X* CreateGUISelf(KTResContainerType* container) override;
    using cALGORITHM::LoadFromPresetSelf;

private:
    // One piece of the EEPROM image, tried again while the device is busy.
    bool WriteEepromPiece(const std::vector<uint8_t>& piece);
    SDesignBlock& Active() { return design_[activeSetup_ & 1]; }
    sCONTROL_PARAM* ParamAt(unsigned long index);
    void SetStateAndFlag(unsigned long index, double state);
    // Real-world values at states 0 and 1000.
    double ValueAtState(unsigned long index, double state);
    bool Enabled(unsigned long enableIndex) { return Value(enableIndex) != 0; }
    bool Quiet() const { return !reinitialising_ && !CaptureMode(); }
    void Pause(uint32_t ms);
    void WriteCoef(char*& p, double value);
    void WriteInt(char*& p, int32_t value);
    BUFFER_HEADER* BufferOf(long position, long count);
    void ResetDesignBlocks();
    void DesignBandSection(int32_t band, int32_t type, bool on, double gain, double f, double q,
                           int32_t marker, BIQUAD& section);
    void Shelf(int32_t flag, double gain, double f, double q, double fs, BIQUAD& section);
    void Bell(double gain, double f, double q, double fs, BIQUAD& section);
    double LimitBandShelfQ(unsigned long qIndex);
    void UpdateBandResponse(int32_t band);
    // Device writes.
    void WriteBand(int32_t band);
    void WriteMixer(unsigned long index);
    int32_t MixerValue(unsigned long index, bool wholeMixer);
    void WriteNormalised(uint8_t command, double value, unsigned long index);
    void WriteSubwoofer(int32_t band);
    void WriteBassRamp(bool on);
    void WriteStereo();
    void WriteLowerOnOff(unsigned long bypass, unsigned long onOff);
    void WriteEnhancerBits();
    void SystemConfigurationRoundTrip();
    SSystemConfigValues CurrentSystemConfig();
    void RefreshParam(unsigned long index);
    void Trace(const std::string& text);
    void SetLedAndSwitch(bool on);
    void ConfigureConverters(uint16_t word);
    void CaptureEepromImage();
    // Runs the reset's POP file; `report` receives what the user is told.
    bool RunResetPopFile(const char* popPath, std::string& report, std::string& loaded);
    void ApplyBandPresence(int32_t band, bool present);
    // What the connection can tell of its failure (empty: nothing).
    std::string ConnectionFailureReason();
    // True when the last transfer moved nothing because the bridge's library
    // had the bus busy (the logger's own work): no sign of a lost chip.
    bool BusWasBusy();
    // The version reads of the detection (0: no valid answer).
    void ReadChipIdentity(uint16_t& version, uint16_t& firmware);

    std::array<int16_t, kBandCount + 1> bandPositionMap_{};
    int16_t normaliserBand_ = 1;
    int16_t sectionCount_ = kBandCount + 1;
    int16_t outputCount_ = 2;
    int16_t stageLength_ = 57;
    int32_t secondMeterWord_ = 12;
    int32_t firstMeterWord_ = 8;
    uint32_t seed_ = 0;
    double shelfGraphEdges_[2] = {16.0, 22045.0};
    double coefScale_ = 1.0;
    double meterHold_[kMaxOutputs] = {0.0, 0.0};
    double meterRelease_[kMaxOutputs] = {0.0, 0.0};
    int32_t bandCount_ = kBandCount;
    int32_t volumeFormat_ = 2;
    SSystemConfigValues codecCache_;
    bool hardwareEnabled_ = false;
    bool connectionLamp_ = false;
    double butterworthEdges_[2] = {16.0, 22045.0};
    uint32_t processingMode_ = 4;
    double shelfQLimits_[2];
    double shelfQLimits2_[2];
    double meterSlope_ = 2.0 / 3.0;
    double meterFloor_ = 0.0;
    double autoTrim_ = 0.0;
    SDesignBlock design_[kNumSetups];
    ZorbComplex z1_[kGraphPoints];
    ZorbComplex z2_[kGraphPoints];
    uint16_t subShift_[2] = {0, 0};
    bool deviceAnswered_ = false;
    int32_t lastReportedStatus_ = 0;
    bool windowSetUpDone_ = false;
    uint32_t lastIdleCheck_ = 0;
    double rememberedValues_[3] = {-1.0, -1.0, -1.0};
    std::string moduleFolder_;
    std::string aeqPath_;
    std::string versionPopPath_;
    std::string eepromPopPath_[2];
    uint32_t PopType = 0;
    uint32_t PopTypeEEPROMExt = 0;
    std::string PopFilename;
    std::string PopFilenameEEPROM;
    std::string PopRunPath;
    bool reinitialising_ = false;
    int32_t currentConnectionType_ = kConnectionNone;
    int32_t rememberedConnectionType_ = 2;
    std::vector<double> aeqNumbers_;
    int32_t activeBandCount_ = kBandCount;
    int32_t bandLimit_ = kBandCount;
    int32_t maxBands_ = kBandCount;
    int32_t editorHeight_ = 0;
    int32_t editorWidth_ = 0;
    bool expanded_ = false;
    int32_t editorNonClientHeight_ = 0;
    DisplayFunc savedBandDisplay_[dulm::kBandFields] = {};
    bool bandDisplaySaved_ = false;
    uint8_t lastSpeaker_ = 0xFF;
    bool idleBusy_ = false;

    bool hasConnection_ = false;
    bool fullRunNeeded_ = false;
    bool connectivityOn_ = false;
    bool connectivityChanged_ = false;
    // Set while the reset preset loads: the connection switch keeps its state.
    bool keepConnectionSwitch_ = false;
    // Set when the user switches the connection on: the next detection that
    // finds no chip says so in a message box.
    bool reportFailedDetection_ = false;
    int32_t firmwareGeneration_ = 2;
    ConnectionFactory connections_;
    std::shared_ptr<CPeqEditorServices> services_;
    EditorFactory editorFactory_;
    // The AEQ graph's summed response (set by the AEQ file reader).
    double aeqResponse_[kGraphPoints] = {};
};
