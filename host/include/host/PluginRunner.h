// The host's controller: the loaded plug-ins with their processing chain,
// the audio input, output and device, the component list of the plug-in
// scan, the session and the program's own resources. The command-line
// tests (and later the main view) drive it.
#pragma once

#include "audio/KCAudioFileSampleSource.h"
#include "audio/KCAudioIODevice.h"
#include "audio/KCSampleChain.h"
#include "audio/KCSampleSinks.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "host/CmdLineRunner.h"
#include "host/SessionPrefs.h"
#include "hosting/ComponentInfo.h"
#include "hosting/HostCallbacks.h"
#include "hosting/Plugin.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class KCPluginRunner;
class KCPluginRunnerViewBase;

// One entry of the input-device and output-device maps.
struct KCAudioDeviceDesc {
    std::string name;
    int32_t deviceIndex = -1;
    int32_t secondIndex = -1;
    // Two lists of numbers and two of texts, kept empty in this host.
    std::array<std::vector<int32_t>, 2> numberLists;
    std::array<std::vector<std::string>, 2> textLists;
};
using KCAudioDeviceMap = std::map<int32_t, KCAudioDeviceDesc>;

// The runner's ordered list of loaded plug-ins. Each plug-in keeps the
// processing element it was loaded with (none without processing), so that
// removing or rebuilding acts on that element and never on another
// plug-in's.
class KCPluginChain {
public:
    KCPluginChain(KCPluginRunner& owner, KCSessionInfo& session) : owner(owner), session(session) {}

    // Appends and makes it current; `element` is the plug-in's element in
    // the sample chain, or null.
    KTErr Add(KCPlugin* plugin, KCChainElement* element);
    // Removes the plug-in and deletes its element; -1 when it is not here.
    // The first remaining plug-in becomes current when it was.
    KTErr Remove(KCPlugin* plugin);
    KCPlugin* PluginAt(size_t index) const;
    size_t Count() const { return entries.size(); }
    KCPlugin* GetCurrent() const { return current; }

    // Flips every plug-in's bypass; the last status, -1 with no plug-ins.
    KTErr ToggleBypass();
    // KP_ChangeSampleRate on every plug-in up to the first refusal.
    KTErr ChangeSampleRate(double rate);
    void SetTransport(bool playing);
    // The meters' snapshot and read of every plug-in.
    void Idle();
    // New elements for every plug-in that has one (with the side chain when
    // it is on), then the chain is connected again.
    KTErr RebuildElements(uint32_t frames);
    KTErr SetSideChainSource(uint32_t frames, KCSampleSource* source);

    // KP_ProcessMidi on the current plug-in, if any; always 0.
    KTErr SendMidi(QuorlMidiEvent* message);
    // The first session record of the component's file and codes, into
    // `record`; -8006 when none matches.
    KTErr FindRecentPlugin(const QuorlComponentInfo& component, RecentPluginInfo& record) const;

    void StoreSession();
    KTErr RestoreSession();
    KTErr LoadRecentPlugins(const KCQuorlComponentInfoList& components, bool bypass);

private:
    struct Entry {
        KCPlugin* plugin;
        KCChainElement* element; // owned by the sample chain
    };
    // Replaces the entry's element by `element` (may be null: removed).
    KTErr ReplaceElementOf(Entry& entry, KCChainElement* element);
    int32_t IndexOfElement(const KCChainElement* element) const;

    KCPluginRunner& owner;
    KCSessionInfo& session;
    std::vector<Entry> entries;
    KCPlugin* current = nullptr;
};

// The editor-window functions the GUI smoke test calls; filled by the main
// view. While unset, a GUI smoke test fails with eSomeThingNotInitailzed.
struct KSPluginViewHooks {
    // Opens an editor for the plug-in into the list (the list's owner).
    std::function<KTErr(KCPlugin* plugin, std::vector<void*>& views)> open;
    std::function<KTErr(KCPlugin* plugin, std::vector<void*>& views)> close;
    std::function<void(std::vector<void*>& views)> draw;
};
KSPluginViewHooks& PluginViewHooks();

// A component's name in menus and editor titles: its short name, with its
// type and sub-type in parentheses unless exclusive mode is on.
std::string PluginDisplayName(const QuorlComponentInfo& component);

// The in-out record of information selector 1009: the group names under
// which `component` is listed for `sortMode` are written to `groups`.
struct KSPluginGroupsQuery {
    int32_t sortMode = 0;
    const QuorlComponentInfo* component = nullptr;
    std::vector<std::string>* groups = nullptr;
};

// What the view and the tests see of the runner: its operations on the
// loaded plug-ins, the transport, the menu commands and the information
// selectors, and the factory that makes its plug-ins.
class KCPluginRunnerBase {
public:
    using PluginFactory = KCPlugin* (*)(const QuorlComponentInfo& component);

    KCPluginRunnerBase() = default;
    virtual ~KCPluginRunnerBase() = default;
    KCPluginRunnerBase(const KCPluginRunnerBase&) = delete;
    KCPluginRunnerBase& operator=(const KCPluginRunnerBase&) = delete;

    virtual KCPlugin* LoadPlugin(const QuorlComponentInfo& component, bool noProcess,
                                 bool bypass) = 0;
    virtual KTErr RemovePlugin(KCPlugin* plugin) = 0;
    virtual KTErr OpenPlugin(const QuorlComponentInfo& component) = 0;
    virtual KCPlugin* GetCurrentPlugin() const = 0;
    virtual KTErr TogglePlay() = 0;
    virtual KTErr ToggleBypass() = 0;
    virtual void Rewind() = 0;
    virtual KTErr ToggleSideChain() = 0;
    // Whether the id is a command the runner handles.
    virtual bool HandleCommand(uint16_t command) = 0;
    virtual KTErr GetInfo(int32_t selector, void* out, size_t size) = 0;
    virtual KTErr SetInfo(int32_t selector, const void* in, size_t size) = 0;

    // The default plug-in factory: a new plug-in of the component.
    static KCPlugin* CreatePlugin(const QuorlComponentInfo& component);
    void SetPluginFactory(PluginFactory factory) { pluginFactory = factory; }

protected:
    PluginFactory pluginFactory = &KCPluginRunnerBase::CreatePlugin;
};

class KCPluginRunner : public KCPluginRunnerBase,
                       public KCCmdLineRunnerTarget,
                       public KCPluginRunnerHooks {
public:
    explicit KCPluginRunner(const kvFM::KCStPath& executablePath);
    ~KCPluginRunner() override;
    KCPluginRunner(const KCPluginRunner&) = delete;
    KCPluginRunner& operator=(const KCPluginRunner&) = delete;

    // The command-line runner's view of the runner.
    KTErr LoadSession() override;
    KTErr OpenInputFile(const kvFM::KCStPath& file) override { return OpenInputFile(file, false); }
    KTErr Init() override;
    KTErr ScanPlugins(const kvFM::KCStPath& folder) override;
    // The windowed start: the session, the scan (or the one -pf file), the
    // audio device, then the -n plug-in or the last session's plug-ins.
    KTErr StartSession();
    // Whether the last windowed start succeeded (its session is stored at
    // exit).
    bool IsSessionStarted() const { return sessionStarted; }
    void PrintComponentList() override;
    std::unique_ptr<KCTestBase> CreateTests(KTErr& status) override;

    // KCPluginRunnerHooks
    int32_t ReceiveSampleCounts(int32_t, int32_t) override { return 0; }
    bool IsSideChainOn() const override { return sideChainOn; }

    // Loading and removing plug-ins.
    KCPlugin* LoadPlugin(const QuorlComponentInfo& component, bool noProcess, bool bypass) override;
    KTErr RemovePlugin(KCPlugin* plugin) override;
    KTErr OpenPlugin(const QuorlComponentInfo& component) override;
    KCPlugin* GetCurrentPlugin() const override { return pluginChain.GetCurrent(); }
    KTErr LoadRequestedPlugin(const QuorlComponentInfo& component);
    KTErr LoadPreset(const kvFM::KCStPath& path);
    KTErr LoadRecentPlugins(const kvFM::KCStPath& preset);

    // Transport.
    KTErr TogglePlay() override;
    KTErr ToggleBypass() override { return pluginChain.ToggleBypass(); }
    KTErr ToggleSideChain() override;
    void Rewind() override;
    // The sink's start status (0 without a connected sink).
    KTErr StartProcessing();
    void StopProcessing();
    // The chain's idle and, in output mode 2, one pull of the test sink.
    void Idle();

    // Menu commands: whether the id is one the runner handles.
    bool HandleCommand(uint16_t command) override;
    KTErr GetInfo(int32_t selector, void* out, size_t size) override;
    KTErr SetInfo(int32_t selector, const void* in, size_t size) override;

    // Audio setup.
    KTErr ListAudioDevices();
    // The rates of 8000 to 192000 Hz that the device (a PortAudio index)
    // takes, in rising order; -1 when there is no such device.
    KTErr ListSampleRates(int32_t device, std::vector<int32_t>& rates);
    // The stem format of the output or the input: the current plug-in's
    // when it has more than two channels there, else 100 for one channel,
    // 101 for two and 0 otherwise.
    int32_t GetStemFormat(bool output);
    // Opens the device with the session's settings and makes it the sink;
    // the device's status.
    KTErr InitDefaultSink();
    // Stops the audio and attaches the device's input (AttachDefaultSource).
    KTErr InitDefaultSource();
    // Only attaches the device's input as the chain's input, when the device
    // is open; 0.
    KTErr AttachDefaultSource();
    KTErr ResetAudio();
    KTErr SetSampleRate(double rate);
    bool ConfirmSampleRate(const KCAudioFileSampleSource* file, double rate);
    KTErr OpenInputFile(const kvFM::KCStPath& file, bool sideChain);
    // With `ask`, the output folder is asked for first (the user's cancel
    // returns eUserCanceled).
    KTErr MakeOutputFileNames(const kvFM::KCStPath& input, kvFM::KCStPath& output,
                              const kvFM::KCStPath& suffix, bool ask = false);
    KTErr OpenOutputFile(const kvFM::KCStPath& output);
    KCTestSampleSink* InitTestSink();

    // Component list and plug-in groups.
    static void PluginFoundCallBack(void* runner, const QuorlComponentInfo& component,
                                    KTResContainerType* container);
    void BuildPluginGroups();
    std::vector<std::string> GetPluginGroups(const QuorlComponentInfo& component,
                                             int32_t sortMode) const;
    std::string GetPluginDisplayName(const QuorlComponentInfo& component) const;

    // Stops the audio, stores the session when the file was found at start
    // (never in command-line mode), removes every plug-in and closes the
    // resources.
    void Shutdown();

    // The main view (not owned); null in command-line mode and during
    // shutdown. With a view, failures are also reported in message boxes,
    // the devices are listed at start and scans ask for a folder and show
    // their progress.
    void SetView(KCPluginRunnerViewBase* runnerView) { view = runnerView; }
    bool HasView() const { return view != nullptr; }
    const std::string& GetLastScannedFolder() const { return lastScannedFolder; }

    KCSampleChain& GetSampleChain() { return sampleChain; }
    KCPluginChain& GetPluginChain() { return pluginChain; }
    KCSessionInfo& GetSession() { return session; }
    KCPluginRunnerPrefFile& GetPrefFile() { return prefFile; }
    const KCQuorlComponentInfoList& GetComponents() const { return components; }
    KTResContainerType* GetResources() const { return resources; }
    KCAudioFileSampleSource* GetFileSource() const { return fileSource; }
    KCPortAudioAudioIODevice* GetDevice() const { return device.get(); }
    // Why the device did not open, in words (empty when it did or was never
    // asked to).
    std::string GetDeviceError() const { return device ? device->GetOpenError() : std::string(); }
    const KCAudioDeviceMap& GetInputDevices() const { return inputDevices; }
    const KCAudioDeviceMap& GetOutputDevices() const { return outputDevices; }
    bool IsSinkRunning() const { return sampleChain.IsRunning(); }
    bool IsNetworkedShell() const { return networkedShell; }
    bool IsSideChainFlag() const { return sideChainOn; }
    void SetSideChainFlag(bool on) { sideChainOn = on; }
    uint32_t BufferSize() const { return uint32_t(session.bufferSize); }

private:
    int32_t OutputChannelCount() const;
    int32_t InputChannelCount() const;
    KCSampleFormat SinkFormat(uint32_t bits) const;
    KCSampleSource* MakeInputSource(uint16_t command);
    // `source` becomes the chain's input (the previous one is deleted);
    // `file` is it when it plays a file, else null.
    void ReplaceInput(KCSampleSource* source, KCAudioFileSampleSource* file);
    // The device's channel selection before it opens: the plug-in's layouts
    // are asked for, the channel lists dropped and the sink's state applied
    // again.
    void SelectDeviceChannels();
    // The input file is read ahead of the audio device's thread while the
    // device is the sink, and read as it is pulled otherwise.
    void MatchFileReading();
    // Commands 200 and 801: a WAV file the user picks becomes the main or
    // the side-chain input.
    void OpenInputFileFromDialog(bool sideChain);
    // Command 901: the input file rendered into a WAV file in a folder the
    // user picks, then the speakers again.
    void RenderToWavFile();
    // The session rate, the plug-ins' rate and the device at `rate`;
    // `failedStep` names the step that failed.
    KTErr ApplySampleRate(double rate, const char*& failedStep);
    // The -n plug-in of a windowed start; -8006 when the scan did not find
    // it.
    KTErr LoadNamedPlugin(const KCCmdLineOptions& options);

    kvFM::KCStPath executablePath;
    KCSessionInfo session;
    KCPluginRunnerPrefFile prefFile;
    KCSampleChain sampleChain;
    KCPluginChain pluginChain;
    std::vector<std::unique_ptr<KCPlugin>> plugins;
    bool networkedShell = false;
    bool sideChainOn = false;
    bool shutDown = false;
    bool sessionStarted = false;
    KCAudioFileSampleSource* fileSource = nullptr; // owned by the sample chain
    KTResContainerType* resources = nullptr;
    bool rmStarted = false;
    bool kmStarted = false;
    KCPluginRunnerViewBase* view = nullptr;
    std::string lastScannedFolder;
    KCAudioDeviceMap inputDevices;
    KCAudioDeviceMap outputDevices;
    std::unique_ptr<KCPortAudioAudioIODeviceAsio> device;
    // The device's input and output channels; nothing fills them, so the
    // device opens without channel selection.
    std::unique_ptr<KCChannelList> inputChannels;
    std::unique_ptr<KCChannelList> outputChannels;
    KCQuorlComponentInfoList components;
    std::map<KCFourCC, std::vector<std::string>> categories;
    std::map<std::string, std::vector<std::string>> productGroups;
};

// A runner for the program at `executablePath`; `instance` (the program's
// module handle on other platforms) is not needed here.
std::unique_ptr<KCPluginRunner> CreatePluginRunner(const kvFM::KCStPath& executablePath,
                                                   void* instance);
