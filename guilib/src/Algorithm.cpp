#include "guilib/Algorithm.h"

#include "foundation/KCScopedValue.h"
#include "foundation/KTErr.h"
#include "foundation/KUUtils.h"
#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "hosting/ComponentInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Native words: 8 bytes, a double or a 32-bit integer widened.
long WriteNativeDouble(double value, char* destination) {
    std::memcpy(destination, &value, sizeof value);
    return sizeof value;
}
long WriteNativeInteger(int32_t value, char* destination) {
    const int64_t wide = value;
    std::memcpy(destination, &wide, sizeof wide);
    return sizeof wide;
}
// Words of a 32-bit processor: a float or a 32-bit integer.
long WriteWordFloat(double value, char* destination) {
    const float f = static_cast<float>(value);
    std::memcpy(destination, &f, sizeof f);
    return sizeof f;
}
long WriteWordInteger(int32_t value, char* destination) {
    std::memcpy(destination, &value, sizeof value);
    return sizeof value;
}

// Reads one XML resource of the container into `use`; 0 or the error.
template <typename Use>
long WithXMLResource(KTResContainerType* container, const char* type, short id, Use use) {
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    const long err = GetXMLResource(container, KCFourCC(QGLFourCC(type)), id, root, resource);
    if (err != 0)
        return err;
    const long result = root ? use(*root) : static_cast<long>(eXMLTreeEmpty);
    RMReleaseResource(resource);
    return result;
}

// The library keeps its own resource manager: initialised when loaded.
__attribute__((constructor)) void InitLibraryResources() {
    RMInit(0);
}

} // namespace

BUFFER_HEADER* ChainBufs(BUFFER_HEADER* head, BUFFER_HEADER* tail) {
    if (!head)
        return tail;
    BUFFER_HEADER* last = head;
    while (last->next)
        last = last->next;
    last->next = tail;
    return head;
}

void DisposeBufs(BUFFER_HEADER* chain) {
    while (chain) {
        BUFFER_HEADER* next = chain->next;
        std::free(chain);
        chain = next;
    }
}

long KCMeterManager::GetMeterValue(unsigned long meter, double* value, long* clip) const {
    if (meter >= meters_.size())
        return eGenericErr;
    if (value)
        *value = meters_[meter].value;
    if (clip)
        *clip = meters_[meter].clip;
    return 0;
}

long KCMeterManager::ResetClip(unsigned long meter) {
    if (meter >= meters_.size())
        return eGenericErr;
    meters_[meter].clip = 0;
    return 0;
}

long KCMeterManager::ReadFromDSP(Listener& listener) {
    if (meters_.empty())
        return 0;
    listener.ReadMeters(meters_.data(), static_cast<unsigned long>(meters_.size()), false);
    for (unsigned long i = 0; i < meters_.size(); ++i) {
        sMeter& m = meters_[i];
        m.peak = std::max(m.peak, m.value);
        if (m.value >= kClipDb)
            m.clip = 1;
        listener.UpdateMeterDisplay(i, nullptr);
    }
    return 0;
}

void KCAlgorithmBroadcaster::insert(KCAlgorithmListener* listener) {
    if (listener)
        listeners_.push_back(listener);
}

void KCAlgorithmBroadcaster::erase(KCAlgorithmListener* listener) {
    listeners_.remove(listener);
}

void KCAlgorithmBroadcaster::Broadcast_PresetLoaded() {
    for (KCAlgorithmListener* l : listeners_)
        l->PresetLoaded();
}

void KCAlgorithmBroadcaster::Broadcast_PresetModified(EPluginSetup setup) {
    for (KCAlgorithmListener* l : listeners_)
        l->PresetModified(setup);
}

void KCAlgorithmBroadcaster::Broadcast_SetupTitleChanged(EPluginSetup setup,
                                                         const std::string* title) {
    for (KCAlgorithmListener* l : listeners_)
        l->SetupTitleChanged(setup, title);
}

void KCAlgorithmBroadcaster::Broadcast_ActiveSetupChanged(EPluginSetup setup) {
    for (KCAlgorithmListener* l : listeners_)
        l->ActiveSetupChanged(setup);
}

namespace {

BUFFER_HEADER* CopyOfChain(const BUFFER_HEADER* chain) {
    BUFFER_HEADER* head = nullptr;
    BUFFER_HEADER** tail = &head;
    for (; chain; chain = chain->next) {
        const size_t bytes = sizeof(BUFFER_HEADER) + static_cast<size_t>(chain->size);
        auto* copy = static_cast<BUFFER_HEADER*>(std::malloc(bytes));
        if (!copy)
            break; // the copy keeps the blocks it could make
        std::memcpy(copy, chain, bytes);
        copy->next = nullptr;
        *tail = copy;
        tail = &copy->next;
    }
    return head;
}

} // namespace

cALGORITHM::PendingBuffers::PendingBuffers(const PendingBuffers& other)
    : chain(CopyOfChain(other.chain.get())) {}

cALGORITHM::PendingBuffers& cALGORITHM::PendingBuffers::operator=(const PendingBuffers& other) {
    if (this != &other)
        chain.reset(CopyOfChain(other.chain.get()));
    return *this;
}

cALGORITHM::cALGORITHM(const QuorlComponentInfo* info, KTResContainerType* container, bool native)
    : componentInfo_(info), container_(container), native_(native) {
    wordSize_ = native ? 8 : 4;
    WriteDouble = native ? WriteNativeDouble : WriteWordFloat;
    WriteInteger = native ? WriteNativeInteger : WriteWordInteger;
}

cALGORITHM::~cALGORITHM() = default;
cALGORITHM::cALGORITHM(const cALGORITHM&) = default;
cALGORITHM& cALGORITHM::operator=(const cALGORITHM&) = default;

long cALGORITHM::FinishCreate() {
    long err = 0;
    if (container_) {
        err =
            WithXMLResource(container_, "XPRM", kParamListId, [&](const kvXML::CXMLElement& root) {
                return ReadParameterList(root, params_);
            });
        // The plug-in information is the plug-in's own description; a
        // plug-in without one still works.
        WithXMLResource(container_, "Xinf", kPluginInfoID, [&](const kvXML::CXMLElement& root) {
            quorlInfo_.ReadFromXML(&root);
            return 0L;
        });
        if (err == 0) {
            std::vector<std::unique_ptr<CPresetInfo>> presets;
            // A plug-in without factory presets is still whole.
            if (WithXMLResource(container_, "XPST", presetResourceNumber_,
                                [&](const kvXML::CXMLElement& root) {
                                    return ReadFactoryPresets(root, presets);
                                }) == 0)
                presets_.manager->SetFactoryPresets(std::move(presets));
        }
    }
    for (int s = 0; s < kNumSetups; ++s) {
        coefs_[s].assign(static_cast<size_t>(coefsNum_ * wordSize_), 0);
        bypassCoefs_[s].assign(static_cast<size_t>(coefsNum_ * wordSize_), 0);
    }
    states_.assign(static_cast<size_t>(statesNum_ * wordSize_), 0);
    if (err != 0)
        return err;
    BuildMeters();
    FinishCreateSelf();
    const long initErr = InitDataSelf();
    InitStates();
    FillProcessCodeDescs();
    return initErr;
}

// The component information is the host's record: only its description
// pointer is read, so its type information is not needed here.
__attribute__((no_sanitize("vptr"))) void cALGORITHM::FillProcessCodeDescs() {
    if (!procCodes_.empty() || !componentInfo_ || !componentInfo_->compProcCodeDesc)
        return; // filled once: the adjustment adds to the counts
    procCodes_.push_back(componentInfo_->compProcCodeDesc.get());
    AdjustProcessCodeSelf();
}

void cALGORITHM::Dispose() {
    DisposeSelf();
    pending_.chain.reset();
}

void cALGORITHM::UpdateParamState(unsigned long param) {
    if (param >= params_.size())
        return;
    BUFFER_HEADER* chain = UpdateParamStateSelf(param);
    if (chain)
        pending_.chain.reset(ChainBufs(pending_.chain.release(), chain));
}

void cALGORITHM::SetParamRealWorld(unsigned long param, double value) {
    if (param >= params_.size())
        return;
    sCONTROL_PARAM& p = params_[param];
    p.LimitRealWorld(value);
    p.realWorld[activeSetup_] = value;
    p.UpdateStateFromRealWorld(activeSetup_);
    p.updateFlag = 3;
    UpdateParamState(param);
}

void cALGORITHM::SetParamState(unsigned long param, double state) {
    if (param >= params_.size())
        return;
    sCONTROL_PARAM& p = params_[param];
    const double top = p.type == eParamToggle ? p.numStates - 1 : 1000.0;
    state = std::isnan(state) ? 0.0 : std::clamp(state, 0.0, std::max(0.0, top));
    p.state[activeSetup_] = state;
    if (p.stateToRealWorld)
        p.realWorld[activeSetup_] = p.StateToRealWorld(state);
    p.updateFlag = 3;
    UpdateParamState(param);
}

void cALGORITHM::RefreshAllParams() {
    for (unsigned long i = 0; i < params_.size(); ++i) {
        if (params_[i].updateFlag == 0)
            continue;
        RefreshParamSelf(i);
        params_[i].UpdateValueString(activeSetup_);
    }
}

void cALGORITHM::ApplyPresetValues(const sPresetData& data) {
    const KCScopedValue<bool> applying(applyingPreset_, true);
    const size_t n = std::min(data.parameterValues.size(), params_.size());
    for (size_t i = 0; i < n; ++i) {
        sCONTROL_PARAM& p = params_[i];
        if (!data.HasValue(i) || (p.flags & (kParamNotSavable | kParamDontSaveToPreset)))
            continue;
        double value = data.parameterValues[i];
        p.LimitRealWorld(value);
        p.realWorld[activeSetup_] = value;
        p.UpdateStateFromRealWorld(activeSetup_);
        p.updateFlag = 3;
        UpdateParamState(static_cast<unsigned long>(i));
    }
}

char* cALGORITHM::GetPointerToCoef(long setup, long position) {
    if (setup < 0 || setup >= kNumSetups || position < 0 || position >= coefsNum_ ||
        coefs_[setup].empty())
        return nullptr;
    return coefs_[setup].data() + position * wordSize_;
}

char* cALGORITHM::GetPointerToBypassCoef(long setup, long position) {
    if (setup < 0 || setup >= kNumSetups || position < 0 || position >= coefsNum_ ||
        bypassCoefs_[setup].empty())
        return nullptr;
    return bypassCoefs_[setup].data() + position * wordSize_;
}

char* cALGORITHM::GetPointerToStates(long position) {
    if (position < 0 || position >= statesNum_ || states_.empty())
        return nullptr;
    return states_.data() + position * wordSize_;
}

double cALGORITHM::ReadDoubleWord(const char* source) const {
    if (native_) {
        double d;
        std::memcpy(&d, source, sizeof d);
        return d;
    }
    float f;
    std::memcpy(&f, source, sizeof f);
    return f;
}

int32_t cALGORITHM::ReadIntegerWord(const char* source) const {
    if (native_) {
        int64_t wide;
        std::memcpy(&wide, source, sizeof wide);
        return static_cast<int32_t>(wide);
    }
    int32_t v;
    std::memcpy(&v, source, sizeof v);
    return v;
}

BUFFER_HEADER* cALGORITHM::NewBuffer(long setup, long position, long count) {
    if (count <= 0 || !GetPointerToCoef(setup, position) ||
        !GetPointerToCoef(setup, position + count - 1))
        return nullptr;
    const size_t bytes = static_cast<size_t>(count * wordSize_);
    auto* b = static_cast<BUFFER_HEADER*>(std::calloc(1, sizeof(BUFFER_HEADER) + bytes));
    if (!b)
        return nullptr;
    b->next = nullptr;
    b->setup = static_cast<int32_t>(setup);
    b->offset = static_cast<int32_t>(position * wordSize_);
    b->size = static_cast<int32_t>(bytes);
    return b;
}

void cALGORITHM::SetProcessActive(long active) {
    processActive_ = static_cast<int32_t>(active);
    SetProcessActiveSelf(active);
    if (!active)
        pending_.chain.reset();
}

void cALGORITHM::SetBypass(bool on) {
    bypass_ = on ? 1 : 0;
    if (on)
        SetBypassCoefsSelf();
    SetBypassSelf();
}

void cALGORITHM::InitStates() {
    std::fill(states_.begin(), states_.end(), 0);
    if (!states_.empty())
        GetInitialStatesSelf(states_.data());
}

double cALGORITHM::ReadVU(long word, short reset, double value) {
    char* p = GetPointerToStates(word);
    if (!p)
        return -1.0;
    const double level = ReadDoubleWord(p);
    if (reset)
        WriteDouble(value, p);
    return level;
}

long cALGORITHM::ReadVU(long word, short reset, long value) {
    char* p = GetPointerToStates(word);
    if (!p)
        return -1;
    const long level = ReadIntegerWord(p);
    if (reset)
        WriteInteger(static_cast<int32_t>(value), p);
    return level;
}

long cALGORITHM::ChangeSampleRate(double rate) {
    if (!(rate > 0) || !std::isfinite(rate))
        return eGenericErr;
    sampleRate_ = rate;
    return ChangeSampleRateSelf();
}

CQuorlInfo* cALGORITHM::GetQuorlInfo() {
    return &quorlInfo_;
}

void cALGORITHM::SetInfoString(int index, const std::string& text) {
    quorlInfo_.SetInfoString(index, text);
}

const std::string& cALGORITHM::GetInfoString(int index) const {
    return quorlInfo_.infoStrings[index & 3];
}

void cALGORITHM::SetSetupName(const std::string& name, long setup) {
    for (int s = 0; s < kNumSetups; ++s)
        if (setup == -1 || setup == s) {
            setupNames_[s] = name;
            Broadcaster()->Broadcast_SetupTitleChanged(static_cast<EPluginSetup>(s),
                                                       &setupNames_[s]);
        }
}

cALGORITHM::ETranslateTextRetType
cALGORITHM::TranslateTextToState(unsigned long param, const std::string& text, double& state) {
    if (param >= params_.size())
        return eTranslateInvalid;
    double value = 0.0;
    if (!TranslateTextToStateSelf(param, text, value))
        return eTranslateInvalid;
    state = params_[param].RealWorldToState(value);
    return eTranslateValid;
}

bool cALGORITHM::TranslateTextToStateSelf(unsigned long param, const std::string& text,
                                          double& value) {
    const sCONTROL_PARAM& p = params_.at(param);
    value = KUAtof(text.c_str());
    p.LimitRealWorld(value);
    return p.ValidateRealWorld(value);
}

EPluginSetup cALGORITHM::ToggleActiveSetup(EPluginSetup setup) {
    activeSetup_ = setup == eSetupA ? eSetupB : eSetupA;
    Broadcaster()->Broadcast_ActiveSetupChanged(activeSetup_);
    return activeSetup_;
}

std::string& cALGORITHM::TranslateParam(unsigned long param, double state, std::string& text) {
    if (param < params_.size())
        params_[param].TranslateValueString(state, text);
    return text;
}

long cALGORITHM::GetParamNumStates(unsigned long param) {
    return param < params_.size() ? params_[param].numStates : 0;
}

EReplyFromPresetFilter cALGORITHM::QueryPresetFilter(EQueryPresetFilter query, std::string* name,
                                                     CPresetInfo* preset, long index) {
    return QueryPresetFilterSelf(query, name, preset, index);
}
