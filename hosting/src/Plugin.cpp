#include "hosting/Plugin.h"

#include "audio/CpuMeter.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
    return KV_FOURCC(s);
}

int64_t NowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A rate as whole samples per second, truncated; nothing that is not a
// positive number.
uint32_t WholeRate(double rate) {
    if (!(rate > 0.0))
        return 0;
    if (rate >= 4294967295.0)
        return UINT32_MAX;
    return static_cast<uint32_t>(rate);
}

} // namespace

// TesterKCQuorlProcessChainElement

TesterKCQuorlProcessChainElement::TesterKCQuorlProcessChainElement(
    int32_t sideChainChannels, uint32_t framesPerBuffer, int32_t channels,
    NativeProcessFunction function, KCNativeProcessMemory* memory, KCSampleSource* sideChain,
    KCPluginInstanceProxy* proxy)
    : KCQuorlProcessChainElement(channels, framesPerBuffer, sideChainChannels, sideChain, function,
                                 memory),
      proxy(proxy) {}

void TesterKCQuorlProcessChainElement::BeginProcess() {
    proxy->Call<&SPluginEntryPoints::KP_ProcessFunctionLock>(true);
    if (processMemory != nullptr)
        processMemory->BeginProcess();
    startMicroseconds = NowMicroseconds();
}

void TesterKCQuorlProcessChainElement::EndProcess() {
    CpuMeter::AddProcessTime(NowMicroseconds() - startMicroseconds);
    if (processMemory != nullptr)
        processMemory->EndProcess();
    proxy->Call<&SPluginEntryPoints::KP_ProcessFunctionLock>(false);
}

// KCPlugin

KCPlugin::KCPlugin(const QuorlComponentInfo& component) : proxy(component), callbacks(&memory) {
    shellInfo.words[17] = 0;
    shellInfo.Init();
}

KCPlugin::~KCPlugin() {
    Unload();
}

bool KCPlugin::IsNetworkedShell() const {
    return proxy.IsNetworkedShell();
}

int32_t KCPlugin::ForwardSampleCounts(int32_t first, int32_t second) {
    return owner != nullptr ? owner->ReceiveSampleCounts(first, second) : 0;
}

void KCPlugin::ForwardRewind() {
    if (owner != nullptr)
        owner->Rewind();
}

int32_t KCPlugin::ForwardReservedRequest() {
    return owner != nullptr ? owner->ReservedRequest() : 0;
}

KTErr KCPlugin::Init(KCPluginRunnerHooks* runner, bool networkedShell, double rate) {
    KTErr status = eGenericErr;
    try {
        owner = runner;
        callbacks.SetRunner(runner);
        sampleRate = WholeRate(rate);
        callbacks.SetSampleRate(sampleRate);
        status = InitSteps(networkedShell);
    } catch (...) {
        status = eGenericErr;
    }
    if (status != eNoErr)
        Unload(); // nothing of a failed load stays
    return status;
}

KTErr KCPlugin::InitSteps(bool networkedShell) {
    if (KTErr err = proxy.Load(); err != eNoErr || !proxy.IsValid())
        return err != eNoErr ? err : eGenericErr;
    if (KTErr err = proxy.CreateInstance(); err != eNoErr || !proxy.IsValid())
        return err != eNoErr ? err : eGenericErr;
    if (!IsNetworkedShell())
        proxy.InitAlgToHardware(static_cast<int32_t>(sampleRate), callbacks.GetToken());
    if (KTErr err = PrepareNativeProcess(proxy.GetComponent().ePluginInstanceType != 0))
        return err;
    if (KTErr err = RefuseNetworkedShell())
        return err;
    if (KTErr err = InitAlg(true))
        return err;
    if (KTErr err = CreateGUI())
        return err;
    return QueryPluginInfo();
}

KTErr KCPlugin::RefuseNetworkedShell() {
    // This host runs no networked-shell components, whatever the runner
    // allows.
    return IsNetworkedShell() ? eGenericErr : eNoErr;
}

KTErr KCPlugin::Unload() {
    processFunc.UnloadProcessFunc();
    proxy.DeleteInstance();
    proxy.Unload();
    initialised = 0;
    return eNoErr;
}

KTErr KCPlugin::PrepareNativeProcess(bool loadFunction) {
    if (IsNetworkedShell())
        return eNoErr;
    if (KTErr err = proxy.QuerySizes(memory))
        return err;
    if (KTErr err = proxy.Allocate(memory))
        return err;
    if (KTErr err = proxy.Call<&SPluginEntryPoints::KP_SetProcessActive>(0))
        return err;
    memory.SnapshotStates();
    if (loadFunction)
        return proxy.LoadNativeProcessFunc(processFunc);
    return eNoErr;
}

KTErr KCPlugin::InitAlg(bool update) {
    if (KTErr err = proxy.Call<&SPluginEntryPoints::KP_InitAlg>())
        return err;
    return update ? proxy.Call<&SPluginEntryPoints::KP_UpdateAlg>() : eNoErr;
}

KTErr KCPlugin::CreateGUI() {
    if (KTErr err = proxy.CreateGUI())
        return err;
    return proxy.InitGUI();
}

KTErr KCPlugin::QueryPluginInfo() {
    const uint32_t questions[2] = {Code("isml"), Code("ismb")};
    for (int i = 0; i < 2; ++i) {
        int32_t answer = 0;
        if (proxy.GetPluginInfo(Code("askQ"), questions[i], &answer) == eNoErr)
            midiFlags[i] = answer != 0;
    }
    int32_t sideChain = 0;
    if (KTErr err = proxy.GetPluginInfo(Code("numb"), Code("inpu"), &numInputs))
        return err;
    if (KTErr err = proxy.GetPluginInfo(Code("numb"), Code("nsci"), &sideChain))
        return err;
    numInputs -= sideChain;
    if (KTErr err = proxy.GetPluginInfo(Code("numb"), Code("outp"), &numOutputs))
        return err;
    double tempoValue = tempo;
    if (KTErr err = proxy.SetPluginInfo(Code("muti"), Code("temp"), 1,
                                        reinterpret_cast<char*>(&tempoValue)))
        return err;
    if (bypass != 0) {
        if (KTErr err = proxy.Call<&SPluginEntryPoints::KP_SetBypass>(int16_t(1)))
            return err;
    }
    initialised = 1;
    return eNoErr;
}

TesterKCQuorlProcessChainElement* KCPlugin::CreateProcessChainElement(uint32_t frames,
                                                                      KCSampleSource* sideChain) {
    if (IsNetworkedShell())
        return nullptr;
    const bool sideChainOn = owner != nullptr && owner->IsSideChainOn();
    auto* element = new TesterKCQuorlProcessChainElement(sideChainOn ? 1 : 0, frames, numInputs,
                                                         processFunc.GetMainProcessFunc(), &memory,
                                                         sideChain, &proxy);
    if (sideChainOn && sideChain != nullptr)
        element->SetSideChainSource(frames, sideChain, 1);
    return element;
}

int32_t KCPlugin::DoMouseDown(KCEventData* event) {
    return proxy.Call<&SPluginEntryPoints::KP_DoMouseDown>(event);
}
int32_t KCPlugin::DoMouseMove(KCEventData* event) {
    return proxy.Call<&SPluginEntryPoints::KP_DoMouseMove>(event);
}
int32_t KCPlugin::DoMouseUp(KCEventData* event) {
    return proxy.Call<&SPluginEntryPoints::KP_DoMouseUp>(event);
}
int32_t KCPlugin::DoMouseWheel(KCEventData* event) {
    return proxy.Call<&SPluginEntryPoints::KP_DoMouseWheel>(event);
}
int32_t KCPlugin::DoKeyDown(bool& handled, KCEventData* event) {
    handled = false;
    return proxy.Call<&SPluginEntryPoints::KP_DoKeyDown>(event, &handled);
}

int32_t KCPlugin::ToggleBypass() {
    bypass = bypass != 0 ? 0 : 1;
    return proxy.Call<&SPluginEntryPoints::KP_SetBypass>(static_cast<int16_t>(bypass));
}

int32_t KCPlugin::GetDelay() {
    int32_t delay = 0;
    proxy.GetPluginInfo(Code("size"), Code("dlay"), &delay);
    return delay;
}

KTErr KCPlugin::LoadPresetFile(const kvFM::KCStPath& path) {
    std::ifstream in(path.GetPathString(), std::ios::binary);
    if (!path.IsValid() || !in)
        return eFMFileNotFound;
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return eFMReadFailed;
    if (data.size() > UINT32_MAX)
        return eFMFileSizeTooBig;
    if (KTErr err = proxy.SetChunk(data.data(), static_cast<uint32_t>(data.size())))
        return err;
    return proxy.Call<&SPluginEntryPoints::KP_InitAlg>();
}

int32_t KCPlugin::GetStemFormat(bool output) {
    int32_t value = 0;
    proxy.GetPluginInfo(Code("stem"), output ? Code("outp") : Code("inpu"), &value);
    if (value != 0)
        return value;
    const int32_t channels = output ? numOutputs : numInputs;
    return channels == 2 ? 101 : channels == 1 ? 100 : 0;
}

KTErr KCPlugin::Restart(bool update, bool playing, bool recording, int32_t position, int32_t mode) {
    KTErr status = eNoErr;
    if (update) {
        status = InitAlg(false);
        if (status == eNoErr)
            status = proxy.Call<&SPluginEntryPoints::KP_SetProcessActive>(1);
    } else {
        status = proxy.Call<&SPluginEntryPoints::KP_SetProcessActive>(0);
    }
    if (status != eNoErr)
        return status;
    return proxy.Call<&SPluginEntryPoints::KP_TransportChange>(playing, recording, position, mode);
}

void KCPlugin::ReadMeters() {
    if (!IsNetworkedShell() && processFunc.IsValid())
        memory.SnapshotStates();
    proxy.Call<&SPluginEntryPoints::KP_MetersReadFromDSP>();
}

KTErr KCPlugin::ChangeSampleRate(double rate) {
    const uint32_t whole = WholeRate(rate);
    const KTErr status =
        proxy.Call<&SPluginEntryPoints::KP_ChangeSampleRate>(static_cast<int32_t>(whole));
    if (status == eNoErr) {
        sampleRate = whole;
        callbacks.SetSampleRate(whole);
    }
    return status;
}
