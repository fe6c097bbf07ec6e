// One loaded plug-in as the host sees it: its proxy, native process memory
// and function, host callbacks and the processing element that runs it on
// the audio thread. Init fixes the order in which a plug-in is loaded.
#pragma once

#include "hosting/HostCallbacks.h"
#include "hosting/NativeProcessMemory.h"
#include "hosting/PluginInstanceProxy.h"

#include "audio/KCSampleChain.h"

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

#include <cstdint>

// The plug-in's processing element: the process call runs under the
// plug-in's process lock and is timed for the CPU meter.
class TesterKCQuorlProcessChainElement : public KCQuorlProcessChainElement {
public:
    TesterKCQuorlProcessChainElement(int32_t sideChainChannels, uint32_t framesPerBuffer,
                                     int32_t channels, NativeProcessFunction function,
                                     KCNativeProcessMemory* memory, KCSampleSource* sideChain,
                                     KCPluginInstanceProxy* proxy);

protected:
    void BeginProcess() override;
    void EndProcess() override;

private:
    KCPluginInstanceProxy* proxy; // not owned
    int64_t startMicroseconds = 0;
};

class KCPlugin {
public:
    explicit KCPlugin(const QuorlComponentInfo& component);
    // Unloads what is still loaded.
    virtual ~KCPlugin();
    KCPlugin(const KCPlugin&) = delete;
    KCPlugin& operator=(const KCPlugin&) = delete;

    // Loads, instantiates and prepares the plug-in. A failure undoes what
    // was done and returns the first failing status.
    KTErr Init(KCPluginRunnerHooks* owner, bool networkedShell, double sampleRate);
    // Deletes the instance and unloads the library; 0.
    KTErr Unload();

    KTErr QueryPluginInfo();
    KTErr CreateGUI();
    KTErr PrepareNativeProcess(bool loadFunction);
    // -1 for a networked-shell component ('vxPI'), which this host does not
    // run; else 0.
    KTErr RefuseNetworkedShell();
    KTErr InitAlg(bool update);

    // A new element for the chain (the caller owns it), null for a
    // networked-shell component.
    TesterKCQuorlProcessChainElement* CreateProcessChainElement(uint32_t frames,
                                                                KCSampleSource* sideChain);

    int32_t DoMouseDown(KCEventData* event);
    int32_t DoMouseMove(KCEventData* event);
    int32_t DoMouseUp(KCEventData* event);
    int32_t DoMouseWheel(KCEventData* event);
    int32_t DoKeyDown(bool& handled, KCEventData* event);
    int32_t ToggleBypass();
    int32_t GetDelay();
    // The whole file as one 'XPst' chunk, then KP_InitAlg.
    KTErr LoadPresetFile(const kvFM::KCStPath& path);
    // The plug-in's stem format of a side, or 101/100 for two/one channels.
    int32_t GetStemFormat(bool output);

    // With the flag: KP_InitAlg without update and KP_SetProcessActive(1);
    // else KP_SetProcessActive(0). Then KP_TransportChange.
    KTErr Restart(bool update, bool playing, bool recording, int32_t position, int32_t mode);
    // One idle tick's work: the states snapshot and KP_MetersReadFromDSP.
    void ReadMeters();
    // KP_ChangeSampleRate; on 0 the new rate is kept.
    KTErr ChangeSampleRate(double rate);
    // The owner runner's operations, reached through the plug-in (0, or
    // nothing, before Init gave it an owner).
    int32_t ForwardSampleCounts(int32_t first, int32_t second);
    void ForwardRewind();
    int32_t ForwardReservedRequest();

    double GetSampleRate() const { return static_cast<double>(sampleRate); }
    int32_t GetNumInputs() const { return numInputs; }
    int32_t GetNumOutputs() const { return numOutputs; }
    bool GetBypass() const { return bypass != 0; }
    bool IsInitialised() const { return initialised != 0; }
    bool IsNetworkedShell() const;
    // The runner that loaded it (not owned); null before Init.
    KCPluginRunnerHooks* GetOwner() const { return owner; }
    KCCallBackNativePR& GetCallbacks() { return callbacks; }
    KCPluginInstanceProxy& GetProxy() { return proxy; }
    KCNativeProcessMemory& GetMemory() { return memory; }
    KCNativeProcessFunc& GetProcessFunc() { return processFunc; }
    const sNativeShellInfo& GetShellInfo() const { return shellInfo; }

private:
    KTErr InitSteps(bool networkedShell);

    KCPluginInstanceProxy proxy;
    KCNativeProcessMemory memory;
    KCNativeProcessFunc processFunc;
    KCCallBackNativePR callbacks;
    int32_t initialised = 0;
    sNativeShellInfo shellInfo;
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    uint32_t sampleRate = 0;
    uint8_t bypass = 0;
    double tempo = 120.0;
    uint8_t midiFlags[2] = {0, 0};
    KCPluginRunnerHooks* owner = nullptr; // not owned
};
