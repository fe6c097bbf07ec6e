// The algorithm's answers to the host: the information it asks for by
// (category, item) codes, the external buffers, the meters, and the calls
// this framework has nothing for (no networked DSP, no VX code, no ports).
// The process function the host loads is the framework's pass-through: the
// audio is processed elsewhere (on the chip), the host's chain hears it
// unchanged.
#include "audio/ProcessRecords.h"
#include "foundation/KTErr.h"
#include "guilib/Algorithm.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

// Largest number of external buffers the host may hand back.
constexpr int32_t kMaxExternalBuffers = 1024;

void CopyText(const std::string& text, char* out, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Room the host gives for the process module's path and function name.
constexpr size_t kPathRoom = 2048;
constexpr size_t kNameRoom = 256;
constexpr char kProcessName[] = "QuorlProcessThrough";

} // namespace

// Copies every input channel to the output channel of the same number;
// outputs without an input are silent.
extern "C" QGL_API void QuorlProcessThrough(QuorlSoundBuf* inputs, int32_t inputCount,
                                            int32_t frames, QuorlSoundBuf* outputs,
                                            int32_t outputCount, int32_t* result, char*, char*,
                                            ExternStruct*, sNativeShellInfo*) {
    for (int32_t c = 0; c < outputCount; ++c) {
        QuorlSoundBuf& out = outputs[c];
        if (out.data == nullptr)
            continue;
        const QuorlSoundBuf* in = c < inputCount && inputs[c].data ? &inputs[c] : nullptr;
        for (int32_t f = 0; f < frames; ++f)
            out.data[f * out.stride] = in ? in->data[f * in->stride] : 0.0f;
    }
    if (result)
        *result = 0;
}

long KCMeterManager::GetMeterInfo(unsigned long meter, QuorlMeterInfo& info) const {
    if (meter >= meters_.size())
        return eGenericErr;
    const sMeter& m = meters_[meter];
    info.meterCount = static_cast<int32_t>(meters_.size());
    info.channel = m.channel;
    info.minimumDb = m.minimumDb;
    info.maximumDb = m.maximumDb;
    info.clipDb = kClipDb;
    CopyText(m.name, info.name, sizeof info.name);
    CopyText(m.units, info.units, sizeof info.units);
    return 0;
}

void cALGORITHM::BuildMeters() {
    std::vector<KCMeterManager::sMeter> meters;
    for (unsigned long index : meterParams_) {
        if (index >= params_.size())
            continue;
        const sCONTROL_PARAM& p = params_[index];
        KCMeterManager::sMeter m;
        m.channel = static_cast<int32_t>(meters.size());
        m.minimumDb = std::min(p.scaleInfo.minimum, p.scaleInfo.maximum);
        m.maximumDb = std::max(p.scaleInfo.minimum, p.scaleInfo.maximum);
        m.value = m.peak = m.minimumDb;
        m.name = p.label;
        m.units = p.units;
        meters.push_back(std::move(m));
    }
    meters_.SetMeters(std::move(meters));
}

void cALGORITHM::ReadMeters(KCMeterManager::sMeter* meters, unsigned long count, bool) {
    for (unsigned long i = 0; i < count && i < meterParams_.size(); ++i) {
        const unsigned long index = meterParams_[i];
        if (index >= params_.size())
            continue;
        RefreshParamSelf(index);
        const sCONTROL_PARAM& p = params_[index];
        meters[i].value =
            p.stateToRealWorld ? p.StateToRealWorld(p.state[activeSetup_]) : meters[i].minimumDb;
    }
}

void cALGORITHM::UpdateMeterDisplay(unsigned long meter, KCParamExtensionMeter*) {
    if (meter < meterParams_.size() && meterParams_[meter] < params_.size())
        params_[meterParams_[meter]].UpdateValueString(activeSetup_);
}

const sEXT_BUFF* cALGORITHM::GetExternalBuffer(long index) const {
    if (index < 0)
        return nullptr;
    const size_t i = static_cast<size_t>(index);
    if (i < buffers_.size())
        return &buffers_[i];
    return i < bufferRequests_.size() ? &bufferRequests_[i] : nullptr;
}

long cALGORITHM::GetPluginInfo(uint32_t category, uint32_t item, int32_t* out) {
    if (!out)
        return eMemNullPointer;
    switch (category) {
    case KV_FOURCC("size"):
        switch (item) {
        case KV_FOURCC("abst"): // no instance data beyond coefficients and states
        case KV_FOURCC("dlay"): // no processing delay
            *out = 0;
            return 0;
        case KV_FOURCC("coef"):
            *out = static_cast<int32_t>(GetCoefsSize());
            return 0;
        case KV_FOURCC("stat"):
            *out = static_cast<int32_t>(GetStatesSize());
            return 0;
        }
        break;
    case KV_FOURCC("numb"):
        switch (item) {
        case KV_FOURCC("ebuf"):
            *out = static_cast<int32_t>(bufferRequests_.size());
            return 0;
        case KV_FOURCC("inpu"):
            *out = static_cast<int32_t>(numInputs_);
            return 0;
        case KV_FOURCC("outp"):
            *out = static_cast<int32_t>(numOutputs_);
            return 0;
        case KV_FOURCC("nsci"): // no side-chain inputs
            *out = 0;
            return 0;
        }
        break;
    case KV_FOURCC("fill"):
        // `out` is an array of as many records as ('numb', 'ebuf') gave.
        if (item == KV_FOURCC("ebuf") || item == KV_FOURCC("reqR")) {
            if (!bufferRequests_.empty())
                std::memcpy(out, bufferRequests_.data(),
                            bufferRequests_.size() * sizeof(sEXT_BUFF));
            return 0;
        }
        break;
    case KV_FOURCC("askQ"):
        if (item == KV_FOURCC("isml")) {
            *out = IsMidiListener() ? 1 : 0;
            return 0;
        }
        if (item == KV_FOURCC("ismb")) {
            *out = IsMidiBroadcaster() ? 1 : 0;
            return 0;
        }
        break;
    case KV_FOURCC("gstr"): // the process function: module path and name
        if (item == KV_FOURCC("sPTP")) {
            Dl_info info{};
            if (!dladdr(reinterpret_cast<void*>(&QuorlProcessThrough), &info) ||
                info.dli_fname == nullptr)
                return eGenericErr;
            CopyText(info.dli_fname, reinterpret_cast<char*>(out), kPathRoom);
            return 0;
        }
        if (item == KV_FOURCC("sPFN")) {
            CopyText(kProcessName, reinterpret_cast<char*>(out), kNameRoom);
            return 0;
        }
        break;
    case KV_FOURCC("stem"): // no stem format of its own: the host decides
        if (item == KV_FOURCC("inpu") || item == KV_FOURCC("outp")) {
            *out = 0;
            return 0;
        }
        break;
    }
    return eGenericErr;
}

long cALGORITHM::SetPluginInfo(uint32_t category, uint32_t item, int32_t count, char* data) {
    if (category == KV_FOURCC("ebuf") && item == KV_FOURCC("ebuf")) {
        // The host hands back the records it allocated, one per request.
        if (count < 0 || count > kMaxExternalBuffers || (count > 0 && !data))
            return eGenericErr;
        std::vector<sEXT_BUFF> records(static_cast<size_t>(count));
        if (count > 0)
            std::memcpy(records.data(), data, records.size() * sizeof(sEXT_BUFF));
        buffers_ = std::move(records);
        return 0;
    }
    if (category == KV_FOURCC("muti") && item == KV_FOURCC("temp")) {
        if (count < 1 || !data)
            return eGenericErr;
        double tempo = 0.0;
        std::memcpy(&tempo, data, sizeof tempo);
        tempo_ = tempo;
        if (IsTempoListener())
            SetTempoSelf();
        return 0;
    }
    return eGenericErr;
}

long cALGORITHM::Locate(LocateInfo*, long*, long*) {
    return eGenericErr;
}

long cALGORITHM::RetrieveVXProcessCode(long, long, char*) {
    return eGenericErr;
}

long cALGORITHM::GetIOPortStatus(long, unsigned long, int32_t*) {
    return eGenericErr;
}

long cALGORITHM::SetIOPortStatus(long, unsigned long, long) {
    return eGenericErr;
}

long cALGORITHM::LoadSetupFromBuffer(int32_t*, KCFourCC, long) {
    return eGenericErr;
}

long cALGORITHM::SaveSetupToBuffer(char*, KCFourCC) {
    return eGenericErr;
}

bool cALGORITHM::MidiProcessInput(QuorlMidiEvent& event) {
    bool handled = false;
    MidiProcessInputSelf(event, handled);
    return handled;
}
