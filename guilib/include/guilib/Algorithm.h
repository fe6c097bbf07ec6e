// The algorithm base class of the plug-in framework: the parameter records
// and the two setups, the coefficient and state areas handed to the
// process, the coefficient buffers of a parameter change, the meters and
// the presets; a plug-in derives its algorithm object from cALGORITHM and
// overrides the protected hooks named with the suffix Self.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KThread.h"
#include "foundation/XMLElement.h"
#include "guilib/ControlParam.h"
#include "guilib/FilterHelpers.h"
#include "guilib/Presets.h"
#include "guilib/QGLExport.h"
#include "hosting/BufferDescriptors.h"
#include "hosting/MeterInfo.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct KTResContainerType;
struct QuorlComponentInfo;
struct QuorlMidiEvent;
struct sQuorlTimeCodeType;
struct LocateInfo;
struct KCDynamicFactoryPreset;
struct SProcessorSpec;
struct sUserScaleFunctions;
class KCAlgorithmBroadcaster;
class KCGraphData;
class KCParamExtensionMeter;
class CStandardGUI_X;
class cControl_X;
class CProcCodeDesc;
class cALGORITHM;

// One block of coefficient bytes for the process: `size` bytes that go to
// byte `offset` of the coefficient area of `setup`; blocks form a chain.
struct QGL_API BUFFER_HEADER {
    BUFFER_HEADER* next;
    int32_t setup;
    int32_t offset;
    int32_t size;
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// Appends `tail` to the end of `head`'s chain; returns the chain's head.
QGL_API BUFFER_HEADER* ChainBufs(BUFFER_HEADER* head, BUFFER_HEADER* tail);
// Frees every block of a chain.
QGL_API void DisposeBufs(BUFFER_HEADER* chain);
struct QGL_API BufferChainDeleter {
    void operator()(BUFFER_HEADER* chain) const { DisposeBufs(chain); }
};
using BufferChain = std::unique_ptr<BUFFER_HEADER, BufferChainDeleter>;

// The algorithm's meters and their listener interface.
class QGL_API KCMeterManager {
public:
    static constexpr double kClipDb = 0.0;
    struct sMeter {
        double value = -144.0;
        double peak = -144.0;
        int32_t clip = 0;
        // What the meter shows (GetMeterInfo).
        int32_t channel = 0;
        double minimumDb = -144.0;
        double maximumDb = 0.0;
        std::string name;
        std::string units;
    };
    class QGL_API Listener {
    public:
        Listener() = default;
        Listener(const Listener&) {}
        Listener& operator=(const Listener&) { return *this; }
        virtual void UpdateMeterDisplay(unsigned long meter, KCParamExtensionMeter* extension) {}
        virtual void ReadMeters(sMeter* meters, unsigned long count, bool reset) {}
        virtual void Meters_ExecuteTrim(double trim) {}
        virtual ~Listener() = default;
    };

    unsigned long GetNumMeters() const { return static_cast<unsigned long>(meters_.size()); }
    double AutoTrimGet() const { return autoTrim_; }
    void SetNumMeters(unsigned long count) { meters_.assign(count, sMeter()); }
    void SetMeters(std::vector<sMeter> meters) { meters_ = std::move(meters); }
    long GetMeterValue(unsigned long meter, double* value, long* clip) const;
    // The meter's channel, range, clip level, name and units; an error for
    // an unknown meter (the record untouched).
    long GetMeterInfo(unsigned long meter, QuorlMeterInfo& info) const;
    long ResetClip(unsigned long meter);
    // Asks `listener` for the current levels, keeps each meter's peak, latches
    // its clip flag at 0 dB or above (until ResetClip) and has every meter
    // redrawn. Returns 0.
    long ReadFromDSP(Listener& listener);

private:
    std::vector<sMeter> meters_;
    double autoTrim_ = 0.0;
    uint8_t flag_ = 0;
    int32_t word_ = 0;
};

// The algorithm as the preset manager sees it.
class QGL_API CPublicAlg {
public:
    explicit CPublicAlg(cALGORITHM* alg = nullptr) : alg_(alg) {}
    cALGORITHM* Get() const { return alg_; }

private:
    cALGORITHM* alg_;
};
class QGL_API CPresetAPI {};

class QGL_API cALGORITHM : public kvXML::CXMLable, public KCMeterManager::Listener {
public:
    enum EUndoTypes : int32_t { eUndoNone = 0, eUndoParam = 1 };
    enum ETranslateTextRetType : int32_t { eTranslateInvalid = 0, eTranslateValid = 1 };
    // Number of words of each coefficient area (per setup) and of the state area.
    static constexpr int32_t kCoefWords = 512;
    static constexpr int32_t kStateWords = 64;
    // The resources the framework reads from the plug-in's container.
    static constexpr short kParamListId = 1000;
    static constexpr short kFactoryPresetsId = 1000;

    // `native`: the process runs on the host processor (8-byte words);
    // otherwise on a 32-bit fixed-word processor.
    cALGORITHM(const QuorlComponentInfo* info, KTResContainerType* container, bool native = true);
    ~cALGORITHM() override;
    cALGORITHM(const cALGORITHM&) = delete;
    cALGORITHM& operator=(const cALGORITHM&) = delete;

    // Reads the parameter list and the factory presets of the container and
    // initialises the data (InitDataSelf). 0, or the first error.
    long FinishCreate();
    void Dispose();

    void SetNumInputs(long n) { numInputs_ = n; }
    void SetNumOutputs(long n) { numOutputs_ = n; }
    long GetNumInputs() const { return numInputs_; }
    long GetNumOutputs() const { return numOutputs_; }
    bool IsNative() const { return native_; }

    // Parameters.
    std::vector<sCONTROL_PARAM>* GetParamVector() { return &params_; }
    EPluginSetup GetActiveSetup() const { return activeSetup_; }
    void SetActiveSetup(EPluginSetup setup) { activeSetup_ = setup; }
    // A parameter changed: the update hook runs and its buffers are handed
    // on (or freed while no process takes them). Unknown indices do nothing.
    void UpdateParamState(unsigned long param);
    // Sets a parameter from outside (host, preset, chunk): the value is
    // clamped into its range, its state follows, then UpdateParamState.
    void SetParamRealWorld(unsigned long param, double value);
    void SetParamState(unsigned long param, double state);
    // Calls the refresh hook for every parameter whose update flag is set
    // and rewrites its value text.
    void RefreshAllParams();
    // Gives the parameters the values of a preset payload (clamped, without
    // those it leaves out or that are not savable), each followed by its
    // update.
    void ApplyPresetValues(const sPresetData& data);
    // True while ApplyPresetValues runs: the update hook can tell a value a
    // preset or a session brings from a change of its own.
    bool IsApplyingPreset() const { return applyingPreset_; }

    // Host calls: the operations the plug-in's entry points forward to.
    // InitAlg rewrites the states and ends with the hardware reset hook.
    long InitAlg(bool full);
    // Recomputes the coefficients of every parameter (update hook each).
    long UpdateDSPCoefs(bool full);
    // The parameter's state in the active setup (0 for unknown indices).
    double GetParamState(unsigned long param) const;
    void SetSampleRate(double rate) { sampleRate_ = rate; }
    void SetExecCallBack(int32_t (*callback)(int32_t, int32_t, void*, void*, void*),
                         int32_t refValue) {
        hostCallback_ = callback;
        executionRef_ = refValue;
    }
    long InitProcessCode();
    long InitData() { return InitDataSelf(); }
    // Copies the active setup's coefficient area into `buffer`; its size.
    long GetDSPCoefs(char* buffer);
    long GetInitialStates(char* states) { return GetInitialStatesSelf(states); }
    // Active setup by number; false when out of range or unchanged.
    bool ChangeActiveSetup(long setup);
    // Copies setup `from` onto setup `to`: every parameter's state, value,
    // disabled mode and graph, the coefficient areas and the setup's name,
    // then the plug-in's CopySetupSelf; the device takes the values when
    // `to` is active. 0, or eGenericErr for a setup out of range or the
    // same setup twice.
    long CopySetup(long from, long to);
    // The component's sub-type (the module passes it from the component
    // information the instance was made from).
    void SetAlgSubType(KCFourCC subType) { subType_ = subType; }
    KCFourCC GetAlgSubType() const { return subType_; }
    // Information the host asks for and hands over by (category, item)
    // codes: sizes and counts, the external buffers, the process function's
    // module and name, the MIDI questions and the tempo. An unknown pair is
    // an error.
    long GetPluginInfo(uint32_t category, uint32_t item, int32_t* out);
    long SetPluginInfo(uint32_t category, uint32_t item, int32_t count, char* data);
    // External buffer `index`: the record the host handed back after
    // allocating it, else the one the algorithm asks for; null when none.
    const sEXT_BUFF* GetExternalBuffer(long index) const;
    long GetNumExternalBuffers() const { return static_cast<long>(bufferRequests_.size()); }
    // This framework runs its process on the host processor only: there is
    // no networked DSP to locate, no VX process code, and no I/O port.
    unsigned long GetVXProcessSize(long processor, long os) const { return 0; }
    long RetrieveVXProcessCode(long processor, long os, char* buffer);
    long GetIOPortStatus(long port, unsigned long item, int32_t* status);
    long SetIOPortStatus(long port, unsigned long item, long status);
    // Setups travel as chunks ('XPst'), not as raw buffers.
    long LoadSetupFromBuffer(int32_t* buffer, KCFourCC setup, long size);
    long SaveSetupToBuffer(char* buffer, KCFourCC setup);
    long ReceiveMessage(char* message, KCFourCC type) { return ReceiveMessageSelf(message, type); }
    // A MIDI event for the algorithm; whether it handled it.
    bool MidiProcessInput(QuorlMidiEvent& event);
    void TransportChange(bool playing, bool recording, long position, long mode) {
        TransportChangeSelf(playing, recording, position, mode);
    }
    void PreScanData(char* a, long b, long c, char* d, char* e, char* f, char* g) {
        PreScanSelf(a, b, c, d, e, f, g);
    }
    double GetTempo() const { return tempo_; }

    // Coefficient and state areas.
    int32_t GetWordSize() const { return wordSize_; }
    long GetCoefsNum() const { return coefsNum_; }
    long GetCoefsSize() const { return coefsNum_ * wordSize_; }
    long GetStatesNum() const { return statesNum_; }
    long GetStatesSize() const { return statesNum_ * wordSize_; }
    // The address of word `position` of the setup's area, or null outside it.
    char* GetPointerToCoef(long setup, long position);
    char* GetPointerToBypassCoef(long setup, long position);
    char* GetPointerToStates(long position = 0);
    // The word writers in the processor's format; bytes written.
    long (*WriteDouble)(double value, char* destination) = nullptr;
    long (*WriteInteger)(int32_t value, char* destination) = nullptr;
    // Reads a word back (tests and the process side).
    double ReadDoubleWord(const char* source) const;
    int32_t ReadIntegerWord(const char* source) const;
    // A block for `count` words at `position` of the setup's coefficient area.
    BUFFER_HEADER* NewBuffer(long setup, long position, long count);
    // The buffers of the last parameter change (taken by the process side).
    BufferChain TakeBuffers() { return std::move(pending_); }

    // Process and bypass.
    long GetProcessActive() const { return processActive_; }
    void SetProcessActive(long active);
    short GetBypass() const { return bypass_; }
    void SetBypass(bool on);
    // Rewrites the state area with the initial states.
    void InitStates();

    // Meters: the state word `word` as a level; `reset` >= 0 writes `value`
    // back into the word after reading.
    double ReadVU(long word, short reset, double value);
    double ReleaseVU(double level, double& hold, double& release, double factor, double floor) {
        return ::ReleaseVU(level, hold, release, factor, floor);
    }
    KCMeterManager& GetMeterManager() { return meters_; }
    // Refreshes the meters from the process states (see KCMeterManager).
    long ReadFromDSP() { return meters_.ReadFromDSP(*this); }
    // The listener's operations: meter m shows the m-th meter parameter
    // (SetMeterParams); reading refreshes the parameter and takes the level
    // its display state stands for.
    void ReadMeters(KCMeterManager::sMeter* meters, unsigned long count, bool reset) override;
    void UpdateMeterDisplay(unsigned long meter, KCParamExtensionMeter* extension) override;

    // Services.
    double GetSampleRate() const { return sampleRate_; }
    // A new sample rate: the rate is taken and the sample-rate hook runs;
    // a rate that is not positive is refused (an error, nothing changes).
    long ChangeSampleRate(double rate);
    void SetSetupName(const std::string& name, long setup);
    const std::string& GetSetupName(long setup) const { return setupNames_[setup & 1]; }
    CPresetsManager* GetPresetsManagerPtr() { return presets_.get(); }
    KTResContainerType* GetPluginResContainerRef() const { return container_; }
    std::vector<CProcCodeDesc*>& GetProcCodeDescs() { return procCodes_; }

    // The plug-in's information strings (shown by the host).
    void SetInfoString(int index, const std::string& text) {
        if (index >= 0 && index < 4)
            infoStrings_[index] = text;
    }
    const std::string& GetInfoString(int index) const { return infoStrings_[index & 3]; }

    // Capability flags and small accessors.
    bool IsTempoListener() const { return capabilities_ & (1u << 1); }
    bool IsMidiListener() const { return capabilities_ & (1u << 2); }
    bool IsMidiBroadcaster() const { return capabilities_ & (1u << 3); }
    bool IsTrackInfoListener() const { return capabilities_ & (1u << 4); }
    bool IsBeatInfoListener() const { return capabilities_ & (1u << 5); }
    bool IsUsesFunctionFromProcess() const { return capabilities_ & (1u << 6); }
    bool IsUsesVecLibSetup() const { return capabilities_ & (1u << 7); }
    bool CanProcessVarIO() const { return capabilities_ & (1u << 8); }
    uint32_t GetUndoLevel() const { return undoLevel_; }
    void SetUndoLevel(uint32_t level) { undoLevel_ = level; }
    EUndoTypes GetUndoType() const { return undoType_; }
    void SetUndoType(EUndoTypes type) { undoType_ = type; }
    short GetPresetResourceNumber() const { return presetResourceNumber_; }
    // The lock the host's process call takes (not the algorithm lock).
    kvThread::ThreadMutexInited* GetProcessSemaphoreIDPtr() { return &processLock_; }
    void LockAlg() { lock_.obtain(); }
    void UnLockAlg() { lock_.release(); }
    bool TryLockAlg() { return lock_.tryobtain(); }

    // Slots in the framework's order.
    virtual KCAlgorithmBroadcaster* Broadcaster() { return nullptr; }
    virtual ETranslateTextRetType TranslateTextToState(unsigned long param, const std::string& text,
                                                       double& state);
    virtual bool TranslateTextToStateSelf(unsigned long param, const std::string& text,
                                          double& value);
    virtual EPluginSetup ToggleActiveSetup(EPluginSetup setup);
    virtual void SetBypassSelf() {}
    virtual void SetBypassCoefsSelf() {}
    // A plug-in button of the system bar was pressed.
    void ActivatePluginSpecificToolBar(const std::string& name) {
        std::string pressed = name;
        ActivatePluginSpecificToolBarSelf(pressed);
    }
    virtual long MidiProcessInputSelf(QuorlMidiEvent&, bool&) { return 0; }
    virtual void TransportChangeSelf(bool, bool, long, long) {}

protected:
    virtual void CopySetupSelf(long from, long to) {}
    virtual void FinishCreateSelf() {}
    virtual long ChangeSampleRateSelf() { return 0; }
    virtual long InitDataSelf() { return 0; }
    virtual void InitProcessCodeSelf() {}
    virtual void ActivatePluginSpecificToolBarSelf(std::string&) {}
    virtual long ReceiveMessageSelf(char*, KCFourCC) { return 0; }
    virtual void ChangeStreamOutInSizeSelf(long*) {}
    virtual void PreScanSelf(char*, long, long, char*, char*, char*, char*) {}
    virtual void SetTimeCodeDataSelf(sQuorlTimeCodeType*) {}
    virtual void SetTrimModeRatioSelf(double) {}
    virtual void SetTempoSelf() {}

public:
    virtual BUFFER_HEADER* UpdateParamStateSelf(unsigned long param) { return nullptr; }
    virtual long ResetHardwareSelf() { return 0; }
    virtual long ResetStatesSelf() { return 0; }
    virtual long RefreshParamSelf(unsigned long param) {
        if (param < params_.size())
            params_[param].updateFlag = 0;
        return 0;
    }
    virtual long GetInitialStatesSelf(char* states) { return 0; }

protected:
    virtual BUFFER_HEADER* DragParamSelf(unsigned long param, double) { return nullptr; }

public:
    virtual std::string& TranslateParam(unsigned long param, double state, std::string& text);
    virtual long GetParamNumStates(unsigned long param);
    virtual long PrepareMouseDeltaFunctionsMapSelf(std::map<std::string, double (*)(double)>&) {
        return 0;
    }
    virtual long PrepareScaleFunctionsMapSelf(std::map<std::string, sUserScaleFunctions>&) {
        return 0;
    }
    virtual long PrepareDrawClassFactoryMapSelf(std::map<std::string, KCGraphData* (*)()>&) {
        return 0;
    }
    virtual long PrepareDisplayFunctionsMapSelf(std::map<std::string, DisplayFunc>&) { return 0; }
    virtual long
    PrepareParamExtensionFactoryMapSelf(std::map<std::string, KCParamExtension* (*)()>&) {
        return 0;
    }

protected:
    virtual void DisposeSelf() {}

public:
    virtual void AdjustProcessCodeSelf() {}

protected:
    virtual bool GetDefaultProcessorForComponentSelf(SProcessorSpec&) { return false; }

public:
    virtual long ReadVU(long word, short reset, long value);
    virtual void ReadMeterSelf(unsigned long, KCParamExtensionMeter*, double&) {}
    virtual void DumpAllExternals() {}
    virtual CPresetsManager* GetPresetsManager() { return presets_.get(); }
    // Asks the plug-in's filter about a preset (the preset manager asks
    // before it lists, loads or saves one): its answer, accept by default.
    virtual EReplyFromPresetFilter QueryPresetFilter(EQueryPresetFilter query, std::string* name,
                                                     CPresetInfo* preset, long index);
    virtual EReplyFromPresetFilter QueryPresetFilterSelf(EQueryPresetFilter, std::string*,
                                                         CPresetInfo*, long) {
        return eReplyFromPresetFilterAccept;
    }
    virtual long LoadFromPresetSelf(kvXML::CXMLElement&, EPluginSetup) { return 0; }
    virtual long LoadFromPresetSelf(CPresetInfo*, EPluginSetup) { return 0; }
    virtual long SaveToPresetSelf(kvXML::CXMLElement&, EPluginSetup) { return 0; }
    virtual long SaveToPresetSelf(CPresetInfo*, EPluginSetup) { return 0; }
    virtual long GetPluginDynamicFactoryPresetsDirectories(std::vector<KCDynamicFactoryPreset>&) {
        return -1;
    }
    // The session chunk 'XPst': the active setup's values as a preset tree
    // ("PresetXMLTree" with one preset, "*" for values that are not saved).
    static constexpr uint32_t kChunkID = 0x58507374; // 'XPst'
    virtual long GetNumChunks() { return 1; }
    // Takes exactly `size` bytes; every value is clamped into its range.
    virtual long SetChunk(unsigned id, char* data, unsigned long size);
    virtual long GetChunk(unsigned id, std::string& text, bool flag);
    virtual long GetIndexedChunkID(unsigned long index, KCFourCC& id);
    virtual long GetChunkSize(unsigned id, bool flag, unsigned long& size);
    virtual void GetMidiPortName(std::string& name) { name.clear(); }
    // The editor's idle: every parameter whose update flag is set goes
    // through the refresh hook (graphs recomputed, meters read, texts made),
    // so that the controls drawn next show it.
    virtual long DoIdle(short visible) {
        RefreshAllParams();
        return 0;
    }
    virtual CStandardGUI_X* CreateGUISelf(KTResContainerType*) { return nullptr; }
    virtual long DefaultGUIFinishCreateSelf(CStandardGUI_X*) { return 0; }
    virtual long SetProcessActiveSelf(long) { return 0; }
    virtual long InitDefaultGUISelf(CStandardGUI_X*) { return 0; }
    virtual long DestroyDefaultGUISelf(CStandardGUI_X*) { return 0; }
    virtual cControl_X* CreateSpecificControls(CStandardGUI_X*, std::string&) { return nullptr; }
    virtual long Locate(LocateInfo*, long*, long*);
    virtual long GetSessionChunk(std::string&, bool) { return 0; }
    virtual long SetSessionChunk(char*) { return 0; }

protected:
    virtual long DisplayMessageSelf(const std::string&) { return 0; }

    // Sets the size of the state area in words (before FinishCreate).
    void SetStatesNum(long words) { statesNum_ = words; }
    // The external buffers the process needs (before the host asks).
    void SetExternalBufferRequests(std::vector<sEXT_BUFF> requests) {
        bufferRequests_ = std::move(requests);
        buffers_.clear();
    }
    // The parameters the meters show, in meter order (before FinishCreate).
    void SetMeterParams(std::vector<unsigned long> params) { meterParams_ = std::move(params); }
    // The update flag, state and value of a parameter the plug-in changes
    // itself (value clamped by the caller).
    sCONTROL_PARAM& Param(unsigned long index) { return params_.at(index); }

    int32_t wordSize_ = 8;
    long (*executionCallback_)(long, long, void*, void*, void*) = nullptr;
    int32_t executionRef_ = 0;
    int32_t (*hostCallback_)(int32_t, int32_t, void*, void*, void*) = nullptr;
    int32_t processActive_ = 0;
    int16_t bypass_ = 0;
    EPluginSetup activeSetup_ = eSetupA;

private:
    void CopyPendingArea(const BUFFER_HEADER* chain);
    void BuildMeters();

    uint32_t capabilities_ = 0;
    uint32_t undoLevel_ = 0;
    EUndoTypes undoType_ = eUndoNone;
    kvThread::ThreadMutexInited lock_;
    kvThread::ThreadMutexInited processLock_;
    std::vector<sCONTROL_PARAM> params_;
    std::vector<CProcCodeDesc*> procCodes_;
    long statesNum_ = kStateWords;
    long coefsNum_ = kCoefWords;
    KCMeterManager meters_;
    short presetResourceNumber_ = kFactoryPresetsId;
    KTResContainerType* container_ = nullptr;

    bool native_ = true;
    bool applyingPreset_ = false;
    long numInputs_ = 2;
    long numOutputs_ = 2;
    double sampleRate_ = 48000.0;
    std::string setupNames_[kNumSetups];
    std::string infoStrings_[4];
    std::vector<char> coefs_[kNumSetups];
    std::vector<char> bypassCoefs_[kNumSetups];
    std::vector<char> states_;
    std::unique_ptr<CPresetsManager> presets_;
    BufferChain pending_;
    KCFourCC subType_;
    double tempo_ = 120.0;
    std::vector<sEXT_BUFF> bufferRequests_;
    std::vector<sEXT_BUFF> buffers_;
    std::vector<unsigned long> meterParams_;
};
