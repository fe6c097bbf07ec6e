// The algorithm object: construction and destruction, connections, meters,
// the coefficient area, the data hooks and the chip-dependent controls.
#include "plugin/PeqAlg.h"

#include "foundation/KCScopedValue.h"
#include "foundation/KUUtils.h"
#include "hosting/ComponentInfo.h"
#include "hosting/ProcCodeDesc.h"
#include "plugin/ConnectDimax.h"
#include "plugin/ConnectTelos.h"
#include "plugin/ConnectTerovan.h"
#include "plugin/DisplayFunctions.h"
#include "plugin/RegistryEx.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

using namespace dulm;

namespace {

constexpr int32_t kCoefMagic = 0x9E3779;
constexpr int32_t kMeterFull = 0x7FFFFF;
constexpr double kMeterRest = -144.0;
constexpr uint16_t kNewerChipSubVersion = 0x0606;

// The folder of the module holding the plug-in's code, ending in '/'.
std::string ModuleFolderOf(const void* symbol) {
    Dl_info info{};
    if (!dladdr(symbol, &info) || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

bool AboveOrAt(uint16_t version, uint16_t sub, uint16_t v, uint16_t s) {
    return version > v || (version == v && sub >= s);
}

} // namespace

ConnectionFactory BridgeConnectionFactory(std::shared_ptr<CTickClock> clock) {
    return [clock](int32_t type) -> std::unique_ptr<CConnectI2C> {
        switch (type) {
        case 0:
            return std::make_unique<CConnectDimax>(DimaxLibraryApi(), clock);
        case 1:
            return std::make_unique<CConnectTelos>(clock);
        case 2:
            return std::make_unique<CConnectTerovan>(clock);
        default:
            return nullptr;
        }
    };
}

cPEQ_ALG::cPEQ_ALG(const QuorlComponentInfo* info, KTResContainerType* container, bool native,
                   std::shared_ptr<CTickClock> clock, ConnectionFactory connections)
    : cALGORITHM(info, container, native), CChipRegisters(clock),
      connections_(connections ? std::move(connections) : BridgeConnectionFactory(clock)) {
    if (info)
        SetAlgSubType(KCFourCC(info->componentSubType.Get()));
    // The band-position map: the edge band 0 sits after the inner bands.
    const int n = std::max(1, static_cast<int>(bandCount_));
    sectionCount_ = static_cast<int16_t>(n);
    bandPositionMap_.fill(-1);
    bandPositionMap_[0] = static_cast<int16_t>(n - 2);
    bandPositionMap_[n - 1] = static_cast<int16_t>(n - 1);
    bandPositionMap_[n] = static_cast<int16_t>(n);
    for (int i = 1; i < n / 2; ++i) {
        bandPositionMap_[i] = static_cast<int16_t>(i - 1);
        bandPositionMap_[n - 1 - i] = static_cast<int16_t>(n - 2 - i);
    }
    if (n % 2 == 1)
        bandPositionMap_[(n - 1) / 2] = static_cast<int16_t>((n - 1) / 2 - 1);
    normaliserBand_ = n > 2 ? 1 : 0;
    sectionCount_ = static_cast<int16_t>(bandCount_ + 1);
    coefScale_ = IsNative() ? 1.0 : 0.5;
    shelfQLimits_[0] = std::numbers::sqrt2;
    shelfQLimits_[1] = std::sqrt(0.5);
    shelfQLimits2_[0] = std::sqrt(0.5);
    shelfQLimits2_[1] = std::numbers::sqrt2;
    stageLength_ = static_cast<int16_t>(5 * sectionCount_ + 2);
    SetNumInputs(outputCount_);
    SetNumOutputs(outputCount_);
    secondMeterWord_ = outputCount_ == 2 ? 12 : 8;
    // The framework's meters are the output level meters; the process works
    // in one external buffer, sized by the process-code rule.
    SetMeterParams(outputCount_ == 2 ? std::vector<unsigned long>{PARAM_OUT_VU_L, PARAM_OUT_VU_R}
                                     : std::vector<unsigned long>{PARAM_OUT_VU_L});
    SProcCodeCounts counts;
    AdjustProcessCodeCounts(counts, sectionCount_, outputCount_, stageLength_);
    sEXT_BUFF buffer;
    buffer.MemSpace = KCFourCC(KV_FOURCC("YMEM"));
    buffer.Count = counts.externalBufferSize;
    buffer.lNumAccessesPerSample = counts.externalBufferAccesses;
    SetExternalBufferRequests({buffer});
    meterFloor_ = dbToGain(-144);
    activeSetup_ = eSetupA;
    seed_ = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
    moduleFolder_ = ModuleFolderOf(reinterpret_cast<const void*>(&dbToGainStage));

    SDulmSettings settings;
    LoadDulmSettings(settings);
    PopType = settings.popType;
    PopTypeEEPROMExt = settings.popTypeEEPROMExt;
    PopFilename = settings.popFilename;
    PopFilenameEEPROM = settings.popFilenameEEPROM;
    PopRunPath = settings.popRunPath;
    maxBands_ = static_cast<int32_t>(settings.maxBands);
    bandLimit_ = maxBands_;
    SelectConnection(kConnectionNone);
}

cPEQ_ALG::~cPEQ_ALG() {
    SetConnection(nullptr);
    SDulmSettings settings;
    LoadDulmSettings(settings);
    settings.popType = PopType;
    settings.popTypeEEPROMExt = PopTypeEEPROMExt;
    settings.popFilename = PopFilename;
    settings.popFilenameEEPROM = PopFilenameEEPROM;
    settings.popRunPath = PopRunPath;
    SaveDulmSettings(settings);
}

void cPEQ_ALG::SetEditorServices(std::shared_ptr<CPeqEditorServices> services) {
    services_ = std::move(services);
}

CStandardGUI_X* cPEQ_ALG::CreateGUISelf(KTResContainerType* container) {
    if (!editorFactory_ || !container)
        return nullptr;
    try {
        return editorFactory_(container);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool cPEQ_ALG::SelectConnection(int32_t type) {
    if (hasConnection_ && currentConnectionType_ != type) {
        SetConnection(nullptr);
        hasConnection_ = false;
        deviceAnswered_ = false;
    }
    if (!hasConnection_) {
        currentConnectionType_ = type;
        if (type >= 0 && type <= 2) {
            if (std::unique_ptr<CConnectI2C> c = connections_(type)) {
                SetConnection(std::move(c));
                hasConnection_ = true;
            }
            rememberedConnectionType_ = type;
        }
    }
    if (hasConnection_) {
        Connection().Connect();
        return true;
    }
    auto none = std::make_unique<CConnectI2C>();
    none->SetTrace(1);
    SetConnection(std::move(none));
    return false;
}

void cPEQ_ALG::ChooseConnection(int32_t type) {
    SelectConnection(Value(PARAM_CONNECTIVITY_ON_OFF) != 0 ? type : kConnectionNone);
    rememberedConnectionType_ = type;
    // The user's own choice hears why it failed, as a switch-on does.
    reportFailedDetection_ = currentConnectionType_ == type;
}

std::string cPEQ_ALG::ConnectionFailureReason() {
    // Only the Dimax adapter's library tells why (its last result code).
    auto* dimax = dynamic_cast<CConnectDimax*>(&Connection());
    const int32_t status = dimax ? dimax->GetStatus() : U2C_SUCCESS;
    return status == U2C_SUCCESS ? std::string() : U2CStatusName(static_cast<uint32_t>(status));
}

bool cPEQ_ALG::BusWasBusy() {
    const auto* bridged = dynamic_cast<const CConnectBridged*>(&Connection());
    return bridged && bridged->LastTransferFoundBusBusy();
}

bool cPEQ_ALG::IsTenBandChip() const {
    return ChipVersion() > 0x6000 || (ChipVersion() == 0x6000 && ChipSubVersion() > 0x0605);
}
bool cPEQ_ALG::IsChip5010Plus() const {
    return AboveOrAt(ChipVersion(), ChipSubVersion(), 0x5010, 0x0401);
}
bool cPEQ_ALG::IsChip5000Plus() const {
    return AboveOrAt(ChipVersion(), ChipSubVersion(), 0x5000, 0x0401);
}
bool cPEQ_ALG::IsChip6000Plus() const {
    return AboveOrAt(ChipVersion(), ChipSubVersion(), 0x6000, 0x0500);
}
bool cPEQ_ALG::IsChip5010Exactly() const {
    return ChipVersion() == 0x5010 && ChipSubVersion() == 0x0401;
}
bool cPEQ_ALG::IsAeqActive() {
    return Value(PARAM_AEQ_ACTIVE) != 0;
}
bool cPEQ_ALG::IsSubVersion(uint8_t major, uint8_t minor) const {
    return ChipSubVersion() == major * 256 + minor;
}

sCONTROL_PARAM* cPEQ_ALG::ParamAt(unsigned long index) {
    std::vector<sCONTROL_PARAM>& params = *GetParamVector();
    return index < params.size() ? &params[index] : nullptr;
}

double cPEQ_ALG::Value(unsigned long index) {
    const sCONTROL_PARAM* p = ParamAt(index);
    return p ? p->realWorld[activeSetup_] : 0.0;
}

void cPEQ_ALG::SetValueAndFlag(unsigned long index, double value) {
    if (sCONTROL_PARAM* p = ParamAt(index))
        p->SetRealWorldAndUpdate(value, activeSetup_);
}

void cPEQ_ALG::SetStateAndFlag(unsigned long index, double state) {
    if (sCONTROL_PARAM* p = ParamAt(index)) {
        p->state[activeSetup_] = state;
        p->updateFlag = 3;
    }
}

double cPEQ_ALG::ValueAtState(unsigned long index, double state) {
    const sCONTROL_PARAM* p = ParamAt(index);
    return p ? p->StateToRealWorld(state) : 0.0;
}

void cPEQ_ALG::RefreshParam(unsigned long index) {
    if (sCONTROL_PARAM* p = ParamAt(index))
        p->updateFlag = 3;
}

uint32_t cPEQ_ALG::NextRandom() {
    seed_ = seed_ * 0xB504F3u + 1u;
    return seed_;
}

void cPEQ_ALG::ResetMeters() {
    autoTrim_ = 0.0;
    SetStateAndFlag(PARAM_AUTO_TRIM, 0.0);
    if (sCONTROL_PARAM* clip = ParamAt(PARAM_CLIP_LIGHT)) {
        clip->realWorld[activeSetup_] = 0.0;
        clip->updateFlag = 3;
    }
    for (unsigned long m : {PARAM_OUT_VU_L, PARAM_OUT_VU_R})
        if (sCONTROL_PARAM* p = ParamAt(m)) {
            p->realWorld[activeSetup_] = kMeterRest;
            p->state[activeSetup_] = 0.0;
            p->updateFlag = 3;
        }
}

bool cPEQ_ALG::ComputeAutoTrim() {
    double peak = Value(PARAM_OUT_VU_L);
    if (outputCount_ >= 2)
        peak = std::max(peak, Value(PARAM_OUT_VU_R));
    const double t = std::min(-peak - 0.1, 12.0);
    if (t == autoTrim_)
        return false;
    autoTrim_ = t;
    RefreshParam(PARAM_AUTO_TRIM);
    return true;
}

void cPEQ_ALG::ResetCoefficientArea() {
    char* p = GetPointerToCoef(activeSetup_, 0);
    WriteInt(p, kCoefMagic);
    WriteInt(p, 1);
    Active().normaliser[0] = 0.0;
    for (int32_t b = 0; b < bandCount_; ++b)
        if (bandPositionMap_[b] != -1)
            DisposeBufs(DesignBand(b, false));
    autoTrim_ = 0.0;
    if (sCONTROL_PARAM* trim = ParamAt(PARAM_AUTO_TRIM))
        trim->realWorld[activeSetup_] = 0.0;
    RefreshParam(PARAM_GRAPH_PEQ);
    RefreshParam(PARAM_GRAPH_AEQ);
    for (unsigned long m : {PARAM_OUT_VU_L, PARAM_OUT_VU_R})
        if (sCONTROL_PARAM* v = ParamAt(m))
            v->realWorld[activeSetup_] = kMeterRest;
    std::fill(std::begin(meterHold_), std::end(meterHold_), 0.0);
    std::fill(std::begin(meterRelease_), std::end(meterRelease_), 0.0);
    if (sCONTROL_PARAM* clip = ParamAt(PARAM_CLIP_LIGHT)) {
        clip->state[activeSetup_] = 0.0;
        clip->realWorld[activeSetup_] = 0.0;
    }
}

long cPEQ_ALG::ResetHardwareSelf() {
    deviceAnswered_ = ResetAndRunPop(false);
    return 0;
}

long cPEQ_ALG::ResetStatesSelf() {
    for (unsigned long m : {PARAM_OUT_VU_L, PARAM_OUT_VU_R})
        if (sCONTROL_PARAM* p = ParamAt(m))
            p->updateFlag = 2;
    autoTrim_ = 0.0;
    if (sCONTROL_PARAM* trim = ParamAt(PARAM_AUTO_TRIM))
        trim->realWorld[activeSetup_] = 0.0;
    return 0;
}

long cPEQ_ALG::RefreshParamSelf(unsigned long index) {
    sCONTROL_PARAM* p = ParamAt(index);
    if (!p)
        return 0;
    p->updateFlag = 0;
    if (index == PARAM_OUT_VU_L || (index == PARAM_OUT_VU_R && outputCount_ >= 2)) {
        const int o = static_cast<int>(index - PARAM_OUT_VU_L);
        p->updateFlag = 2;
        if (processActive_ == 0) {
            p->state[activeSetup_] = 0.0;
            p->updateFlag = 0;
            return 0;
        }
        double level =
            ReadVU(o == 0 ? firstMeterWord_ : secondMeterWord_, 1, IsNative() ? -1.0 : 0.0);
        if (level < 0)
            return 0;
        if (bypass_ == 0)
            level = std::ldexp(level, Active().stageShift[o]);
        else if (!IsNative())
            level = std::ldexp(level, Active().bypassShift[o]);
        const double hold = ReleaseVU(level + 6e-8, meterHold_[o], meterRelease_[o], 0.95, 0.0);
        sCONTROL_PARAM* clip = ParamAt(PARAM_CLIP_LIGHT);
        if (clip && hold > 1.0 && Value(PARAM_CLIP_LIGHT) < 1) {
            clip->state[activeSetup_] = 1.0;
            clip->realWorld[activeSetup_] = 1.0;
            clip->updateFlag = 2;
        }
        const double L = std::log10(std::max(hold, meterFloor_));
        p->state[activeSetup_] = std::clamp(std::trunc((L * meterSlope_ + 1) * 1000), 0.0, 1000.0);
        p->realWorld[activeSetup_] = std::max(20 * L, p->realWorld[activeSetup_]);
        ComputeAutoTrim();
    } else if (index == PARAM_GRAPH_PEQ || index == PARAM_GRAPH_AEQ) {
        UpdateResponseGraph(static_cast<int32_t>(index - PARAM_GRAPH_PEQ));
        // The total curve is the sum of the two: it follows either.
        UpdateResponseGraph(2);
        p->updateFlag = 0;
    } else if (index == PARAM_AUTO_TRIM) {
        p->realWorld[activeSetup_] = autoTrim_;
    } else if (index == PARAM_SPEAKER) {
        if (sCONTROL_PARAM* sub = ParamAt(PARAM_SUB_FREQ))
            sub->UpdateDisabledMode(Value(PARAM_SPEAKER) != 1, activeSetup_);
    } else if (index == PARAM_ENABLE_BASS_HP_FREQ) {
        if (sCONTROL_PARAM* hp = ParamAt(PARAM_DULM_BASS_HP_FREQ))
            hp->UpdateDisabledMode(!(Value(PARAM_ENABLE_BASS_HP_FREQ) != 0 && IsChip5010Plus()),
                                   activeSetup_);
    }
    return 0;
}

long cPEQ_ALG::GetInitialStatesSelf(char* states) {
    for (unsigned long m : {PARAM_OUT_VU_L, PARAM_OUT_VU_R})
        if (sCONTROL_PARAM* p = ParamAt(m); p && (m == PARAM_OUT_VU_L || outputCount_ == 2))
            p->updateFlag = 2;
    std::memset(states, 0, static_cast<size_t>(GetStatesSize()));
    char* end = states + GetStatesSize();
    char* p = states;
    auto integer = [&](int32_t v) {
        if (p + GetWordSize() <= end)
            p += WriteInteger(v, p);
    };
    auto real = [&](double v) {
        if (p + GetWordSize() <= end)
            p += WriteDouble(v, p);
    };
    const sEXT_BUFF* buffer = GetExternalBuffer(0);
    integer(static_cast<int32_t>(NextRandom()));
    integer(static_cast<int32_t>(NextRandom()));
    integer(buffer ? buffer->Offset : 0);
    integer(sectionCount_ - 1);
    integer((buffer ? buffer->Count : 0) - 1);
    for (int32_t o = 0; o < outputCount_; ++o) {
        real(0.0);
        real(0.0);
        integer(kMeterFull);
        real(0.0);
    }
    return 1;
}

void cPEQ_ALG::SetBypassCoefsSelf() {
    char* p = GetPointerToBypassCoef(activeSetup_, 0);
    auto integer = [&](int32_t v) {
        if (p)
            p += WriteInteger(v, p);
    };
    auto gainSection = [&](double b0) {
        WriteCoef(p, b0);
        for (int i = 0; i < 4; ++i)
            WriteCoef(p, 0.0);
    };
    integer(0);
    integer(0);
    SDesignBlock& d = Active();
    // The block keeps the shape of the coefficient area's output stages.
    const int passThrough = std::max(sectionCount_ - 3, 0);
    for (int32_t o = 0; o < outputCount_; ++o) {
        const double n = d.normaliser[o] != 0 ? d.normaliser[o] : 1.0;
        const double pre = d.preGain[o], post = d.postGain[o];
        for (int i = 0; i < passThrough; ++i)
            gainSection(i == 0 ? n : 1.0);
        gainSection((passThrough == 0 ? n : 1.0) * pre);
        double g = 1.0 / (post * pre * n);
        if (!std::isfinite(g))
            g = 1.0;
        if (!IsNative()) {
            int16_t shift = 0;
            GainStage(&g, &shift);
            d.bypassShift[o] = shift;
        }
        gainSection(g);
        gainSection(post);
        integer(0);
        integer(d.bypassShift[o]);
    }
}

void cPEQ_ALG::CopySetupSelf(long from, long to) {
    if (from >= 0 && from < kNumSetups && to >= 0 && to < kNumSetups && from != to)
        design_[to] = design_[from];
}

long cPEQ_ALG::ChangeSampleRateSelf() {
    ResetDesignBlocks();
    return 0;
}

long cPEQ_ALG::InitDataSelf() {
    std::vector<sCONTROL_PARAM>& params = *GetParamVector();
    for (const SAttachment& a : Attachments())
        for (int i = a.first; i <= a.last && i < static_cast<int>(params.size()); i += a.step) {
            sCONTROL_PARAM& p = params[static_cast<size_t>(i)];
            if (a.display)
                p.SetDisplayFunc(a.display);
            if (a.toRealWorld) {
                p.stateToRealWorld = a.toRealWorld;
                p.realWorldToState = a.toState;
            }
        }
    // The stereo span's values are 5, 10 and 15 (states 0-2).
    if (sCONTROL_PARAM* span = ParamAt(PARAM_STEREO_SPAN)) {
        span->scaleInfo.minimum = 5;
        span->scaleInfo.maximum = 15;
    }
    for (sCONTROL_PARAM& p : params)
        for (int s = 0; s < kNumSetups; ++s)
            p.UpdateStateFromRealWorld(static_cast<EPluginSetup>(s));

    CPresetsManager* presets = GetPresetsManager();
    if (presets)
        if (CPresetInfo* reset = presets->FindFactoryPreset("Full Reset - All");
            reset && !reset->GetPresetDataVec()->empty()) {
            const sPresetData& data = *reset->GetPresetDataVec()->front();
            const size_t n = std::min(data.parameterValues.size(), params.size());
            for (size_t i = 0; i < n; ++i) {
                sCONTROL_PARAM& p = params[i];
                if ((p.flags & (kParamNotSavable | kParamDontSaveToPreset)) || !data.HasValue(i))
                    continue;
                p.resetRealWorld = data.parameterValues[i];
                p.resetState = p.RealWorldToState(p.resetRealWorld);
                p.updateFlag = 3;
            }
        }
    if (presets) {
        // The reset values leave the connection as the user set it.
        const KCScopedValue<bool> keep(keepConnectionSwitch_, true);
        presets->LoadFactoryPresetToPlugin(CPublicAlg(this), "Full Reset - All");
    }
    for (int f = 0; f < kBandFields && f < static_cast<int>(params.size()); ++f)
        savedBandDisplay_[f] = params[static_cast<size_t>(f)].displayFunc;
    bandDisplaySaved_ = true;
    Connection().Connect();
    SetSetupName("", -1);
    ResetDesignBlocks();
    // The area carries its header from the start, before any reset.
    ResetCoefficientArea();
    return 0;
}

bool cPEQ_ALG::TranslateTextToStateSelf(unsigned long i, const std::string& text, double& value) {
    sCONTROL_PARAM* p = ParamAt(i);
    if (!p)
        return false;
    if (i == PARAM_DIG_IO_CONFIG_LB || i == PARAM_DIG_IO_CONFIG_HB) {
        const std::string tail = text.size() > 6 ? text.substr(text.size() - 6) : text;
        double sum = 0;
        for (size_t k = 0; k < tail.size(); ++k) {
            const char c = tail[tail.size() - 1 - k];
            const char digitText[2] = {c, 0};
            const int digit = c >= 'A' && c <= 'F'   ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : KUAtoi(digitText);
            sum += digit * std::pow(16.0, static_cast<double>(k));
        }
        value = sum;
    } else if (i == PARAM_BALANCE) {
        value = (8 * KUAtoi(text.c_str()) + 360) / 3;
    } else {
        const double v = KUAtof(text.c_str());
        const double s = std::floor(p->RealWorldToState(v) + 0.5);
        value = p->StateToRealWorld(s);
        p->LimitRealWorld(value);
    }
    return p->ValidateRealWorld(value);
}

void AdjustProcessCodeCounts(SProcCodeCounts& c, int16_t B, int16_t C, int16_t P) {
    c.internalY += C * P;
    c.externalBufferSize = (10 * B - 4) * C;
    c.externalBufferAccesses = 6 * B * C - 2;
    if (c.processorFamily != 1)
        return;
    const int32_t grow[3] = {B * (C == 2 ? 80 : 40), B * (C == 2 ? 80 : 40),
                             B * (C == 2 ? 50 : 25)};
    for (int i = 0; i < 3; ++i)
        if (c.cycles[i] != -1)
            c.cycles[i] += grow[i];
}

// The descriptions are the hosting's records, reached through their inline
// accessors only: the plug-in does not link their out-of-line code, so the
// dynamic-type check (which needs their type information) stays off here.
__attribute__((no_sanitize("vptr"))) void cPEQ_ALG::AdjustProcessCodeSelf() {
    const int16_t B = sectionCount_;
    const int16_t C = outputCount_;
    const int16_t P = stageLength_;
    for (CProcCodeDesc* desc : GetProcCodeDescs()) {
        if (!desc)
            continue;
        SProcCodeCounts c;
        c.internalY = static_cast<int32_t>(desc->InternalY());
        c.processorFamily = static_cast<int32_t>(desc->ProcessorFamily());
        std::vector<int32_t>& cycles = desc->CyclesList();
        for (size_t i = 0; i < 3 && i < cycles.size(); ++i)
            c.cycles[i] = cycles[i];
        AdjustProcessCodeCounts(c, B, C, P);
        desc->InternalY() = static_cast<uint32_t>(c.internalY);
        // A description without external buffers has no size to set.
        if (!desc->ExternBuffDescs().empty()) {
            desc->ExternBuffDescs()[0].theSize = c.externalBufferSize;
            desc->ExternBuffDescs()[0].accessCount = c.externalBufferAccesses;
        }
        for (size_t i = 0; i < 3 && i < cycles.size(); ++i)
            cycles[i] = c.cycles[i];
    }
}

void cPEQ_ALG::ApplyBandPresence(int32_t band, bool present) {
    const unsigned long f = static_cast<unsigned long>(band * kBandFields);
    const int32_t type = static_cast<int32_t>(std::trunc(Value(f + kBandType)));
    for (int field = 0; field < kBandFields; ++field) {
        sCONTROL_PARAM* p = ParamAt(f + field);
        if (!p)
            continue;
        const bool enabled = present && (field != kBandQ || (type != 3 && type != 4));
        p->UpdateDisabledMode(!enabled, activeSetup_);
        p->SetDisplayFunc(enabled ? savedBandDisplay_[field] : nullptr);
        p->updateFlag = 3;
    }
    if (sCONTROL_PARAM* state = ParamAt(f + kBandState)) {
        state->presenceWord = present ? -1 : 0;
        state->SetCurrentImage(present ? -1 : 0);
    }
}

void cPEQ_ALG::UpdateControlAvailability() {
    // Sub-woofer Q scales by band type.
    for (int s = 0; s < 2; ++s) {
        const unsigned long typeIndex = PARAM_SUBEQ_BAND1_TYPE + s * kBandFields;
        sCONTROL_PARAM* q = ParamAt(typeIndex + 3);
        if (!q)
            continue;
        const int32_t type = static_cast<int32_t>(std::trunc(Value(typeIndex)));
        const bool shelf = type == 1 || type == 2;
        if (shelf)
            q->SetScaleLog(std::sqrt(0.5), std::numbers::sqrt2, 0.01);
        else
            q->SetScaleLog(0.4, 6.0, 0.01);
        q->resetRealWorld = shelf ? std::numbers::sqrt2 : 3.0;
        q->resetState = q->RealWorldToState(q->resetRealWorld);
        q->UpdateStateFromRealWorld(activeSetup_);
        const bool butterworth = type == 3 || type == 4;
        q->UpdateDisabledMode(butterworth, activeSetup_);
        q->SetDisplayFunc(butterworth ? nullptr : FrameworkDisplayFunc(q->displayFuncName));
        q->updateFlag = 3;
    }
    // The section count follows the band count; the output stages keep
    // their places (they are fixed by the stage length).
    sectionCount_ = static_cast<int16_t>(bandCount_);
    const bool newer = ChipVersion() > 0x6000 ||
                       (ChipVersion() == 0x6000 && ChipSubVersion() >= kNewerChipSubVersion);
    const bool connected = hardwareEnabled_ && deviceAnswered_;
    const bool oldAndConnected = !newer && connected;
    auto disable = [&](unsigned long index, bool disabled) {
        if (sCONTROL_PARAM* p = ParamAt(index))
            p->UpdateDisabledMode(disabled, activeSetup_);
    };
    disable(PARAM_DELAY, ChipVersion() < 0x5010);
    disable(PARAM_DULM_BASS_HP_FREQ, Value(PARAM_ENABLE_BASS_HP_FREQ) != 1);
    disable(PARAM_DULM_BASS_ORIGINAL_BASS, oldAndConnected);
    // Bands 8-10 go blank only on a chip found without them: before any chip
    // has answered, every band shows its values.
    if (bandDisplaySaved_)
        for (int32_t b = 0; b < bandCount_; ++b)
            ApplyBandPresence(b, b < 7 || newer || !IsValidChipVersion());
    if (processingMode_ <= 6) {
        static const unsigned long trebleStereo[] = {127, 118, 136, 137, 111, 128, 117, 91, 92};
        static const unsigned long dialog[] = {154, 155, 156};
        if (processingMode_ == 4) {
            for (unsigned long i : trebleStereo)
                disable(i, true);
            for (unsigned long i : dialog)
                disable(i, true);
            for (unsigned long i : {120, 130, 178})
                disable(i, true);
        } else {
            for (unsigned long i : trebleStereo)
                disable(i, false);
            disable(PARAM_LEVELER_ON_OFF, false);
            for (unsigned long i : {154, 155, 156, 151, 152})
                disable(i, oldAndConnected);
            for (unsigned long i : {130, 178})
                disable(i, newer || !connected);
        }
    }
}
