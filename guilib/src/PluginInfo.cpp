// The host's questions and settings by pairs of four-character codes
// (category, item): the process memory sizes, the process function, the
// channel counts, the MIDI flags and the tempo. The process of a plug-in
// built on this framework is the framework's pass-through: the audio is
// processed elsewhere (on the chip), the host's chain hears it unchanged.
#include "guilib/Algorithm.h"

#include "hosting/ProcessRecords.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
    return KV_FOURCC(s);
}

// Room the host gives for the process module's path and function name.
constexpr size_t kPathRoom = 2048;
constexpr size_t kNameRoom = 256;
constexpr char kProcessName[] = "QuorlProcessThrough";

void CopyText(int32_t* out, const char* text, size_t room) {
    auto* destination = reinterpret_cast<char*>(out);
    const size_t n = std::min(std::strlen(text), room - 1);
    std::memcpy(destination, text, n);
    destination[n] = '\0';
}

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

long cALGORITHM::GetPluginInfo(uint32_t category, uint32_t item, int32_t* value) {
    if (value == nullptr)
        return -1;
    const auto number = [value](long n) {
        *value = static_cast<int32_t>(n);
        return 0L;
    };
    if (category == Code("size")) {
        if (item == Code("abst") || item == Code("dlay"))
            return number(0);
        if (item == Code("coef"))
            return number(GetCoefsSize());
        if (item == Code("stat"))
            return number(GetStatesSize());
    } else if (category == Code("numb")) {
        if (item == Code("inpu"))
            return number(GetNumInputs());
        if (item == Code("outp"))
            return number(GetNumOutputs());
        if (item == Code("nsci") || item == Code("ebuf"))
            return number(0);
    } else if (category == Code("askQ")) {
        if (item == Code("isml"))
            return number(IsMidiListener() ? 1 : 0);
        if (item == Code("ismb"))
            return number(IsMidiBroadcaster() ? 1 : 0);
    } else if (category == Code("stem")) {
        if (item == Code("inpu") || item == Code("outp"))
            return number(0); // the host's default for the channel count
    } else if (category == Code("gstr")) {
        if (item == Code("sPTP")) {
            Dl_info info{};
            if (!dladdr(reinterpret_cast<void*>(&QuorlProcessThrough), &info) ||
                info.dli_fname == nullptr)
                return -1;
            CopyText(value, info.dli_fname, kPathRoom);
            return 0;
        }
        if (item == Code("sPFN")) {
            CopyText(value, kProcessName, kNameRoom);
            return 0;
        }
    }
    return -1;
}

long cALGORITHM::SetPluginInfo(uint32_t category, uint32_t item, int32_t count, char* data) {
    if (category == Code("muti") && item == Code("temp") && count == 1 && data != nullptr) {
        std::memcpy(&tempo_, data, sizeof tempo_);
        SetTempoSelf();
        return 0;
    }
    // External buffers: this framework's algorithms ask for none.
    if (category == Code("ebuf") && item == Code("ebuf") && count == 0)
        return 0;
    return -1;
}
