#include "host/PluginRunner.h"

#include "audio/CpuMeter.h"
#include "audio/KCPortAudioSession.h"
#include "audio/KCSampleSources.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/ResConverters.h"
#include "host/CmdLineOptions.h"
#include "host/Console.h"
#include "host/PluginRunnerView.h"
#include "host/PluginTests.h"
#include "host/RunnerDialogs.h"
#include "host/ScanProgressWindow.h"
#include "hosting/PlugInCategory.h"
#include "hosting/PluginInterface.h"
#include "hosting/PluginLoadSpec.h"
#include "hosting/PluginScanner.h"
#include "ui/KMWindowManager.h"

#include <portaudio.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr KCFourCC kNetworkedShell{KV_FOURCC("vxPI")};
constexpr KCFourCC kCategoriesType{KV_FOURCC("XDAE")};
constexpr KCFourCC kGroupsType{KV_FOURCC("XVRS")};
constexpr short kCategoriesID = 1000;
constexpr short kGroupsID = 1000;
constexpr int32_t kJackHostApi = paJACK;
constexpr double kIdleInterval = 0.03;

// The sample rates of the commands 400 to 405 and the buffer sizes of 700
// to 705.
constexpr double kCommandRates[] = {8000, 44100, 48000, 88200, 96000, 192000};
constexpr int32_t kCommandBufferSizes[] = {128, 256, 512, 1024, 2048, 4096};
// The rates a device is asked about, ended by -1.
constexpr int32_t kListedRates[] = {8000,  9600,  11025, 12000, 16000, 22050,  24000,
                                    32000, 44100, 48000, 88200, 96000, 192000, -1};

// The text of an element's first child of that name, or null.
const kvXML::CXMLElement* FirstChild(const kvXML::CXMLElement& element, const char* name) {
    for (const kvXML::CXMLElement* child : element.children)
        if (std::strcmp(child->name.c_str(), name) == 0)
            return child;
    return nullptr;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// A rate as the messages write it: 44100, 88200.5 (the "C" locale's
// shortest form).
std::string RateText(double rate) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, rate);
    return std::string(text, result.ptr);
}

} // namespace

KSPluginViewHooks& PluginViewHooks() {
    static KSPluginViewHooks hooks;
    return hooks;
}

KCPlugin* KCPluginRunnerBase::CreatePlugin(const QuorlComponentInfo& component) {
    return new KCPlugin(component);
}

std::unique_ptr<KCPluginRunner> CreatePluginRunner(const kvFM::KCStPath& executablePath, void*) {
    return std::make_unique<KCPluginRunner>(executablePath);
}

KCPluginRunner::KCPluginRunner(const kvFM::KCStPath& executablePath)
    : executablePath(executablePath), pluginChain(*this, session) {}

KCPluginRunner::~KCPluginRunner() {
    Shutdown();
    // The sample chain leaves its side-chain source to its owner.
    delete sampleChain.GetSideChainSource();
}

// ---------------------------------------------------------------------------
// Start and the command-line runner's operations

KTErr KCPluginRunner::LoadSession() {
    const KTErr status = prefFile.Init();
    if (status != eNoErr)
        return status;
    return prefFile.LoadPrefInfo(session);
}

KTErr KCPluginRunner::Init() {
    try {
        if (!rmStarted) {
            if (KTErr status = RMInit(0))
                return status;
            rmStarted = true;
        }
        if (!kmStarted) {
            if (KTErr status = KMInit(nullptr))
                return status;
            kmStarted = true;
        }
        KTErr result = resources ? eNoErr : RMOpenResContainer(executablePath, 0, resources);
        const KCCmdLineOptions& options = GetCmdLineOptions();
        if (!options.exclusive) {
            if (options.inputFile.IsValid() && options.inputFile.IsExist())
                result = OpenInputFile(options.inputFile, false);
            if (sampleChain.GetInputSource() == nullptr)
                sampleChain.SetInputSource(new KCWhiteNoiseSampleSource());
            if (view)
                ListAudioDevices();
        }
        CpuMeter::SetAudioFormat(int32_t(session.sampleRate), session.bufferSize);
        CpuMeter::SetIdleInterval(kIdleInterval);
        return result;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunner::ScanPlugins(const kvFM::KCStPath& folder) {
    try {
        components.Clear();
        KCPluginLoadSpec spec;
        if (KTErr status = spec.ReadFromResource(resources))
            return status;
        std::unique_ptr<KCPluginDiskScanner> scanner;
        KTErr pathStatus = eNoErr;
        if (view) {
            // Interactive: the given folder, else the one scanned last; the
            // user is asked for another until plug-ins are found.
            scanner = std::make_unique<KCPluginDiskScannerWithGUI>(resources);
            if (folder.IsValid(pathStatus) && pathStatus == eNoErr)
                scanner->SetFolder(folder);
            else if (!lastScannedFolder.empty())
                scanner->SetFolder(kvFM::KCStPath(lastScannedFolder));
        } else if (folder.IsValid()) {
            scanner = std::make_unique<KCPluginDiskScanner>();
            scanner->SetFolder(folder);
        } else {
            scanner = std::make_unique<KCPluginDiskScannerWithPrefs>();
            if (KTErr status = scanner->ReadScannerInfo(resources))
                return status;
        }
        scanner->SetLoadSpec(spec);
        scanner->SetComponentFoundHook(&KCPluginRunner::PluginFoundCallBack, this);
        // A scan of a large folder takes a while: a window shows how far it
        // got.
        KCScanProgressWindowPtr progressWindow = view ? WatchScan(*scanner) : nullptr;
        const KTErr scanStatus = scanner->CreateList(components);
        progressWindow.reset();
        if (scanStatus != eNoErr)
            return scanStatus;
        if (view)
            lastScannedFolder = scanner->GetListSourceName();
        if (components.Count() == 0)
            return eNoPluginsAvailable;
        if (!(session.useVellixPlugins && networkedShell))
            components.RemoveType(kNetworkedShell);
        BuildPluginGroups();
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunner::StartSession() {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    LoadSession();
    KTErr result = eNoErr;
    KTErr fileStatus = eNoErr;
    if (options.pluginFile.IsValid(fileStatus) && fileStatus == eNoErr) {
        KCPluginDiskScanner scanner;
        KCPluginLoadSpec spec;
        spec.ReadFromResource(resources);
        scanner.SetLoadSpec(spec);
        scanner.ScanFile(options.pluginFile, components);
    } else {
        result = ScanPlugins(options.pluginFolder);
    }
    if (!options.exclusive) {
        // The program runs on without audio; the user learns why.
        if (InitDefaultSink() != eNoErr)
            ReportCause("the audio device cannot be opened: " + GetDeviceError());
        sampleChain.Connect();
    }
    if (options.componentType.IsUnset() || options.componentSubType.IsUnset())
        result = session.loadPrevSession ? LoadRecentPlugins(kvFM::KCStPath()) : result;
    else
        result = LoadNamedPlugin(options);
    // Only a session that started is stored at exit: a failed start leaves
    // the user's last session as it was.
    sessionStarted = result == eNoErr;
    return result;
}

KTErr KCPluginRunner::LoadNamedPlugin(const KCCmdLineOptions& options) {
    QuorlComponentInfo component;
    if (KTErr status = components.Find(options.componentType, options.componentSubType, component))
        return status;
    return LoadRequestedPlugin(component);
}

void KCPluginRunner::PrintComponentList() {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    for (const QuorlComponentInfo& component : components.components)
        if (IsSelectedComponent(options, component.componentType, component.componentSubType))
            Print(ComponentListLine(component.shortName.c_str(), component.componentType,
                                    component.componentSubType));
}

std::unique_ptr<KCTestBase> KCPluginRunner::CreateTests(KTErr& status) {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    QuorlComponentInfo component;
    const bool found =
        NamesComponent(options) &&
        components.Find(options.componentType, options.componentSubType, component) == eNoErr;
    const KSTestChoice choice = ChooseTest(options, found);
    status = choice.status;
    std::unique_ptr<KCTestBase> test = MakeTest(*this, choice.kind, component, components);
    if (test)
        ConfigureTest(*test, options);
    return test;
}

// ---------------------------------------------------------------------------
// Plug-ins

KCPlugin* KCPluginRunner::LoadPlugin(const QuorlComponentInfo& info, bool noProcess, bool bypass) {
    QuorlComponentInfo component(info);
    if (noProcess)
        component.ePluginInstanceType = 0;
    std::unique_ptr<KCPlugin> plugin;
    KTErr status = eNoErr;
    try {
        plugin.reset(pluginFactory(component));
        status = plugin ? plugin->Init(this, networkedShell, double(session.sampleRate))
                        : ePluginOpenFailed;
        KCChainElement* element = nullptr;
        if (status == eNoErr && !noProcess) {
            element = plugin->CreateProcessChainElement(BufferSize(), nullptr);
            if (element)
                status = sampleChain.AppendElement(element);
        }
        if (status == eNoErr && bypass && bypass != plugin->GetBypass())
            plugin->ToggleBypass();
        if (status == eNoErr) {
            pluginChain.Add(plugin.get(), element);
            plugins.push_back(std::move(plugin));
            return plugins.back().get();
        }
        if (element) {
            for (size_t i = 0; i < sampleChain.GetElementCount(); ++i)
                if (sampleChain.GetElement(i) == element)
                    sampleChain.ReplaceElement(nullptr, int32_t(i));
        }
    } catch (...) {
        status = eGenericErr;
    }
    if (plugin)
        plugin->Unload();
    if (view)
        ShowMessage("Plug-in Load Error: " + std::string(KTErrName(status)) + " (" +
                        std::to_string(status) + ")",
                    std::string());
    return nullptr;
}

KTErr KCPluginRunner::RemovePlugin(KCPlugin* plugin) {
    if (plugin == nullptr)
        return eGenericErr;
    if (sampleChain.IsConnected() && sampleChain.GetSink())
        sampleChain.GetSink()->Stop();
    pluginChain.Remove(plugin);
    const KTErr status = plugin->Unload();
    std::erase_if(plugins,
                  [plugin](const std::unique_ptr<KCPlugin>& p) { return p.get() == plugin; });
    return status;
}

KTErr KCPluginRunner::OpenPlugin(const QuorlComponentInfo& component) {
    try {
        if (LoadPlugin(component, false, false) == nullptr)
            return eGenericErr;
        const KTErr status = InitDefaultSink();
        if (status != eNoErr && view &&
            AskQuestion("Failed to init PortAudio Device, Continue anyway? ", 1) == eKMCancel)
            return status;
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunner::LoadRequestedPlugin(const QuorlComponentInfo& component) {
    try {
        const KCCmdLineOptions& options = GetCmdLineOptions();
        if (LoadPlugin(component, options.noProcess, options.bypass) == nullptr)
            return ePluginOpenFailed;
        return LoadPreset(options.presetFile);
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunner::LoadPreset(const kvFM::KCStPath& path) {
    KCPlugin* plugin = GetCurrentPlugin();
    if (plugin && path.IsValid() && path.IsExist()) {
        session.loadPrevSession = false;
        return plugin->LoadPresetFile(path);
    }
    // The previous session's settings go back into its plug-ins only in the
    // windowed program; what fails there is left as loaded.
    if (session.loadPrevSession && view) {
        try {
            pluginChain.RestoreSession();
        } catch (...) {
        }
    }
    return eNoErr;
}

KTErr KCPluginRunner::LoadRecentPlugins(const kvFM::KCStPath& preset) {
    const KTErr status = pluginChain.LoadRecentPlugins(components, session.bypassRecentPlugins);
    if (status == eNoErr)
        return LoadPreset(preset);
    if (view)
        ShowMessage("Error ", "Couldn't load recent plug in/s.");
    return status;
}

// ---------------------------------------------------------------------------
// Transport

KTErr KCPluginRunner::TogglePlay() {
    if (sampleChain.IsRunning())
        StopProcessing();
    else
        StartProcessing();
    return eNoErr;
}

KTErr KCPluginRunner::ToggleSideChain() {
    if (sampleChain.GetSideChainSource() == nullptr)
        return eGenericErr;
    sideChainOn = !sideChainOn;
    return pluginChain.SetSideChainSource(BufferSize(),
                                          sideChainOn ? sampleChain.GetSideChainSource() : nullptr);
}

void KCPluginRunner::Rewind() {
    if (sampleChain.IsConnected() && sampleChain.GetSink()) {
        KCStreamState state = sampleChain.GetSink()->GetState();
        state.position = 0;
        sampleChain.GetSink()->SetState(state);
    }
}

KTErr KCPluginRunner::StartProcessing() {
    CpuMeter::Reset();
    pluginChain.SetTransport(true);
    sampleChain.Connect();
    if (sampleChain.IsConnected() && sampleChain.GetSink())
        return sampleChain.GetSink()->Start();
    return eNoErr;
}

void KCPluginRunner::StopProcessing() {
    if (sampleChain.IsConnected() && sampleChain.GetSink())
        sampleChain.GetSink()->Stop();
    CpuMeter::Reset();
    pluginChain.SetTransport(false);
}

void KCPluginRunner::Idle() {
    pluginChain.Idle();
    if (session.outputMode == 2)
        if (auto* sink = dynamic_cast<KCTestSampleSink*>(sampleChain.GetSink()))
            sink->PullBuffer();
}

// ---------------------------------------------------------------------------
// Information

KTErr KCPluginRunner::GetInfo(int32_t selector, void* out, size_t size) {
    auto put = [&](const auto& value) {
        if (out == nullptr || size < sizeof value)
            return eGenericErr;
        std::memcpy(out, &value, sizeof value);
        return eNoErr;
    };
    KCPlugin* plugin = GetCurrentPlugin();
    switch (selector) {
    case 1000:
        if (out == nullptr)
            return eGenericErr;
        return CGeneralSysUtils::GetVersionString(executablePath, *static_cast<std::string*>(out));
    case 1001:
        return put(plugin ? plugin->GetProxy().GetComponentSubType() : KCFourCC());
    case 1002:
        return put(&components);
    case 1003:
        // Without a plug-in no component is current: -1.
        return put(int32_t(
            plugin ? components.IndexOfSubType(plugin->GetProxy().GetComponentSubType()) : -1));
    case 1004:
        return put(int32_t(session.sampleRate));
    case 1005:
        return put(int32_t(session.bufferSize));
    case 1006:
        return put(resources);
    case 1007:
        return put(uint8_t(networkedShell));
    case 1009: {
        if (out == nullptr || size < sizeof(KSPluginGroupsQuery))
            return eGenericErr;
        const auto* query = static_cast<const KSPluginGroupsQuery*>(out);
        if (query->component == nullptr || query->groups == nullptr)
            return eGenericErr;
        *query->groups = GetPluginGroups(*query->component, query->sortMode);
        return eNoErr;
    }
    case 1010:
    case 1011:
        return eNoErr;
    case 1012:
        return put(&inputDevices);
    case 1013:
        return put(&outputDevices);
    case 1015:
        return put(uint8_t(session.loadPrevSession));
    case 1016:
        return put(uint8_t(session.useVellixPlugins));
    default:
        return eGenericErr;
    }
}

KTErr KCPluginRunner::SetInfo(int32_t selector, const void* in, size_t size) {
    if (in == nullptr || size < 1 || (selector != 1015 && selector != 1016))
        return eGenericErr;
    const bool value = *static_cast<const uint8_t*>(in) != 0;
    (selector == 1015 ? session.loadPrevSession : session.useVellixPlugins) = value;
    prefFile.SavePrefInfo(session);
    return eNoErr;
}

// ---------------------------------------------------------------------------
// Audio setup

int32_t KCPluginRunner::OutputChannelCount() const {
    if (KCPlugin* plugin = GetCurrentPlugin())
        return plugin->GetNumOutputs();
    if (fileSource)
        return fileSource->GetReader() ? fileSource->GetReader()->GetNumChans() : 0;
    return 2;
}

int32_t KCPluginRunner::InputChannelCount() const {
    if (KCPlugin* plugin = GetCurrentPlugin())
        return plugin->GetNumInputs();
    if (fileSource)
        return fileSource->GetReader() ? fileSource->GetReader()->GetNumChans() : 0;
    return 2;
}

KCSampleFormat KCPluginRunner::SinkFormat(uint32_t bits) const {
    KCSampleFormat format;
    format.channels = OutputChannelCount();
    format.sampleRate = int32_t(session.sampleRate);
    format.bitsPerSample = int32_t(bits);
    return format;
}

KTErr KCPluginRunner::ListAudioDevices() {
    session.inputDevice = 0;
    session.outputDevice = 0;
    try {
        std::vector<KCAudioDeviceInfo> devices;
        if (KCPortAudioSession::ListDevices(devices) != eNoErr)
            return eGenericErr;
        // A running JACK server is the device of choice; otherwise
        // PortAudio's defaults.
        int32_t input = -1;
        int32_t output = -1;
        KCPortAudioSession::GetHostApiDefaults(kJackHostApi, input, output);
        if (output < 0) {
            input = Pa_GetDefaultInputDevice();
            output = Pa_GetDefaultOutputDevice();
        }
        session.inputDevice = input;
        session.outputDevice = output;
        for (const KCAudioDeviceInfo& device : devices) {
            KCAudioDeviceDesc desc;
            desc.name = device.name;
            desc.deviceIndex = device.index;
            if (device.maxInputChannels > 0)
                inputDevices[device.index] = desc;
            if (device.maxOutputChannels > 0)
                outputDevices[device.index] = desc;
        }
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunner::ListSampleRates(int32_t deviceIndex, std::vector<int32_t>& rates) {
    rates.clear();
    if (KCPortAudioSession::Acquire() != eNoErr)
        return eGenericErr;
    const PaDeviceInfo* info = deviceIndex >= 0 ? Pa_GetDeviceInfo(deviceIndex) : nullptr;
    if (info == nullptr)
        return eGenericErr;
    // A device is asked as an output when it has outputs, else as an input,
    // for up to two channels.
    const bool output = info->maxOutputChannels > 0;
    PaStreamParameters parameters{};
    parameters.device = deviceIndex;
    parameters.channelCount =
        std::min(output ? info->maxOutputChannels : info->maxInputChannels, 2);
    parameters.sampleFormat = paFloat32;
    parameters.suggestedLatency =
        output ? info->defaultLowOutputLatency : info->defaultLowInputLatency;
    for (const int32_t* rate = kListedRates; *rate != -1; ++rate)
        if (Pa_IsFormatSupported(output ? nullptr : &parameters, output ? &parameters : nullptr,
                                 double(*rate)) == paFormatIsSupported)
            rates.push_back(*rate);
    return eNoErr;
}

int32_t KCPluginRunner::GetStemFormat(bool output) {
    const int32_t channels = output ? OutputChannelCount() : InputChannelCount();
    KCPlugin* plugin = GetCurrentPlugin();
    if (plugin && channels > 2)
        return plugin->GetStemFormat(output);
    return channels == 1 ? 100 : channels == 2 ? 101 : 0;
}

void KCPluginRunner::SelectDeviceChannels() {
    // A multi-channel plug-in's layouts are asked for; no channels are
    // selected from them, so both lists stay empty and the sink's state goes
    // back unchanged.
    KCPlugin* plugin = GetCurrentPlugin();
    if (plugin && plugin->GetNumOutputs() > 2) {
        plugin->GetStemFormat(false);
        plugin->GetStemFormat(true);
    }
    inputChannels.reset();
    outputChannels.reset();
    if (KCSampleSink* sink = sampleChain.GetSink()) {
        const KCStreamState state = sink->GetState();
        sink->SetState(state);
    }
}

KTErr KCPluginRunner::InitDefaultSink() {
    if (!device)
        device = std::make_unique<KCPortAudioAudioIODeviceAsio>();
    const KCSampleFormat format = SinkFormat(32);
    device->Close();
    SelectDeviceChannels();
    const KTErr status =
        device->Open(InputChannelCount(), BufferSize(), format, session.inputDevice,
                     session.outputDevice, inputChannels.get(), outputChannels.get());
    if (status == eNoErr) {
        sampleChain.SetSink(device->CreateSampleSink());
        MatchFileReading();
    }
    return status;
}

KTErr KCPluginRunner::InitDefaultSource() {
    if (sampleChain.IsConnected() && sampleChain.GetSink())
        sampleChain.GetSink()->Stop();
    CpuMeter::Reset();
    pluginChain.SetTransport(false);
    return AttachDefaultSource();
}

KTErr KCPluginRunner::AttachDefaultSource() {
    if (device && device->IsOpen())
        ReplaceInput(device->CreateSampleSource(), nullptr);
    return eNoErr;
}

void KCPluginRunner::ReplaceInput(KCSampleSource* source, KCAudioFileSampleSource* file) {
    KCSampleSource* previous = sampleChain.GetInputSource();
    sampleChain.SetInputSource(source);
    if (previous != source)
        delete previous;
    fileSource = file;
}

void KCPluginRunner::MatchFileReading() {
    if (fileSource)
        fileSource->SetReadAhead(dynamic_cast<KCAudioIODevice::KCAudioIODeviceSampleSink*>(
                                     sampleChain.GetSink()) != nullptr);
}

KTErr KCPluginRunner::ResetAudio() {
    KTErr status = InitDefaultSink();
    if (status == eNoErr)
        status = InitDefaultSource();
    if (status == eNoErr)
        status = pluginChain.RebuildElements(BufferSize());
    if (status != eNoErr && view)
        ShowMessage("Audio Error", "Failed to initialize audio device.");
    return status;
}

KTErr KCPluginRunner::ApplySampleRate(double rate, const char*& failedStep) {
    session.sampleRate = uint32_t(rate);
    failedStep = "m_pluginChain.ChangeSampleRate";
    if (KTErr status = pluginChain.ChangeSampleRate(rate))
        return status;
    failedStep = "InitDefaultSink";
    return InitDefaultSink();
}

KTErr KCPluginRunner::SetSampleRate(double rate) {
    const double oldRate = session.sampleRate;
    const char* failedStep = "";
    const KTErr status = ApplySampleRate(rate, failedStep);
    if (status == eNoErr)
        return eNoErr;
    if (view)
        ShowMessage("Failed to change sample rate from " + RateText(oldRate) + " to " +
                        RateText(rate),
                    std::string("Failed in ") + failedStep);
    // Back to the rate that worked.
    if (ApplySampleRate(oldRate, failedStep) != eNoErr && view)
        ShowMessage("Failed to change sample rate back to " + RateText(oldRate), std::string());
    return status;
}

bool KCPluginRunner::ConfirmSampleRate(const KCAudioFileSampleSource* file, double rate) {
    if (file == nullptr)
        return true;
    const cWavFileRead* reader = file->IsValid() ? file->GetReader() : nullptr;
    if (reader && reader->GetSampleRate() == int32_t(rate))
        return true;
    if (view)
        ShowMessage(
            reader ? "Failed to load the file: " + reader->GetFilePath().GetNativePathString() +
                         "The loaded file Sample rate: " + std::to_string(reader->GetSampleRate()) +
                         " is differ from requested sample rate: " + RateText(rate)
                   : std::string("Input audio file not loaded"),
            std::string());
    return false;
}

KTErr KCPluginRunner::OpenInputFile(const kvFM::KCStPath& path, bool sideChain) {
    if (!path.IsValid() || !path.IsExist())
        return eGenericErr;
    if (!sideChain && fileSource && fileSource->GetReader() &&
        fileSource->GetReader()->GetFilePath() == path)
        return eNoErr;
    auto source = std::make_unique<KCAudioFileSampleSource>(path);
    if (!source->IsValid() || !ConfirmSampleRate(source.get(), session.sampleRate))
        return eGenericErr;
    const uint8_t bitDepth = uint8_t(source->GetReader()->GetBitDepth());
    KTErr result = eNoErr;
    if (sideChain) {
        result = pluginChain.SetSideChainSource(BufferSize(), source.release());
    } else {
        KCAudioFileSampleSource* file = source.release();
        ReplaceInput(file, file);
        MatchFileReading();
    }
    session.bitDepth = bitDepth;
    return result;
}

KTErr KCPluginRunner::MakeOutputFileNames(const kvFM::KCStPath& input, kvFM::KCStPath& output,
                                          const kvFM::KCStPath& suffix, bool ask) {
    if (ask)
        if (KTErr status = OpenWavFileDialog(view ? view->GetMainWindow() : nullptr, output, true))
            return status;
    KTErr status = eNoErr;
    if (!output.IsValid(status))
        return status != eNoErr ? status : eFMIllegalPathRef;
    std::string name = input.GetBase();
    if (KCPlugin* plugin = GetCurrentPlugin()) {
        name += "_" + FourCCToString(plugin->GetProxy().GetComponentSubType());
        if (plugin->GetBypass())
            name += "_Bypass";
        if (sideChainOn)
            name += "_SideChain";
        if (suffix.IsValid())
            name += suffix.GetBase();
    } else {
        name += "_out";
    }
    output = kvFM::KCStPath(output, name + ".wav");
    return output.GetPathRef() ? eNoErr : eFMIllegalPathRef;
}

KTErr KCPluginRunner::OpenOutputFile(const kvFM::KCStPath& output) {
    if (fileSource == nullptr)
        return eNoErr;
    KTErr result = eNoErr;
    if (!output.IsValid(result))
        return result != eNoErr ? result : eFMIllegalPathRef;
    StopProcessing();
    KCPlugin* plugin = GetCurrentPlugin();
    const int32_t delay = plugin ? plugin->GetDelay() : 0;
    auto* sink = new KCWavFileSampleSink(BufferSize(), fileSource, SinkFormat(session.bitDepth),
                                         uint32_t(std::max(delay, 0)), &output);
    sampleChain.SetSink(sink);
    MatchFileReading();
    sampleChain.Connect();
    if (plugin)
        plugin->GetProxy().Call<&SPluginEntryPoints::KP_SetProcessActive>(int32_t(1));
    result = sink->GetSetupStatus();
    if (result == eNoErr)
        result = sink->Start();
    if (result == eNoErr)
        result = sink->Stop();
    session.outputMode = 1;
    if (result != eNoErr && result != eUserCanceled && output.IsExist())
        ::unlink(output.GetPathString().c_str());
    return result;
}

KCTestSampleSink* KCPluginRunner::InitTestSink() {
    auto* sink = new KCTestSampleSink(BufferSize(), SinkFormat(session.bitDepth));
    sampleChain.SetSink(sink);
    MatchFileReading();
    sampleChain.Connect();
    return sink;
}

void KCPluginRunner::OpenInputFileFromDialog(bool sideChain) {
    kvFM::KCStPath path;
    if (OpenWavFileDialog(view ? view->GetMainWindow() : nullptr, path, false) != eNoErr)
        return;
    if (!sideChain)
        Rewind();
    OpenInputFile(path, sideChain);
}

void KCPluginRunner::RenderToWavFile() {
    if (fileSource && fileSource->GetReader()) {
        kvFM::KCStPath output;
        if (MakeOutputFileNames(fileSource->GetReader()->GetFilePath(), output, kvFM::KCStPath(),
                                true) != eNoErr)
            return;
        // A failed render leaves the file sink in place (output mode 1).
        if (OpenOutputFile(output) != eNoErr)
            return;
    }
    InitDefaultSink();
    sampleChain.Connect();
    Rewind();
    session.outputMode = 0;
}

KCSampleSource* KCPluginRunner::MakeInputSource(uint16_t command) {
    if (command == 201 || command == 802)
        return new KCWhiteNoiseSampleSource();
    return new KCFlayingSaucerSampleSource();
}

bool KCPluginRunner::HandleCommand(uint16_t command) {
    auto replaceInput = [this](KCSampleSource* source) {
        ReplaceInput(source, nullptr);
        sampleChain.Connect();
    };
    switch (command) {
    case 200:
    case 801:
        OpenInputFileFromDialog(command == 801);
        return true;
    case 901:
        RenderToWavFile();
        return true;
    case 201:
    case 202:
        replaceInput(MakeInputSource(command));
        return true;
    case 203:
        InitDefaultSource();
        if (device && device->IsOpen())
            replaceInput(device->CreateSampleSource());
        return true;
    case 300:
        TogglePlay();
        return true;
    case 301:
        Rewind();
        return true;
    case 303:
        ToggleBypass();
        return true;
    case 800:
        ToggleSideChain();
        return true;
    case 802:
    case 803:
        pluginChain.SetSideChainSource(BufferSize(), MakeInputSource(command));
        return true;
    case 900:
        if (session.outputMode != 0) {
            InitDefaultSink();
            sampleChain.Connect();
            session.outputMode = 0;
        }
        return true;
    case 902:
        if (session.outputMode != 2) {
            InitTestSink();
            session.outputMode = 2;
        }
        return true;
    default:
        break;
    }
    if (command >= 400 && command <= 405) {
        const double rate = kCommandRates[command - 400];
        if (double(session.sampleRate) != rate && ConfirmSampleRate(fileSource, rate))
            SetSampleRate(rate);
        return true;
    }
    if (command >= 700 && command <= 705) {
        const int32_t size = kCommandBufferSizes[command - 700];
        if (session.bufferSize != size) {
            session.bufferSize = size;
            // 128 resets the whole audio set-up; the other sizes only reopen
            // the device, keeping the input and the elements.
            if (command == 700) {
                ResetAudio();
            } else {
                InitDefaultSink();
                sampleChain.Connect();
            }
        }
        return true;
    }
    if (command >= 4000 && command < 6000) {
        (command < 5000 ? session.inputDevice : session.outputDevice) = command % 1000;
        InitDefaultSink();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Component list and plug-in groups

void KCPluginRunner::PluginFoundCallBack(void* runner, const QuorlComponentInfo& component,
                                         KTResContainerType* container) {
    auto* self = static_cast<KCPluginRunner*>(runner);
    std::vector<std::string> names;
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (container &&
        GetXMLResource(container, kCategoriesType, kCategoriesID, root, resource) == eNoErr &&
        root) {
        std::vector<kv::PlugInCategory_type> found;
        kv::PlugInCategory_type::ReadCategoriesFromXML(*root, component.componentSubType, found);
        for (kv::PlugInCategory_type& category : found)
            names.push_back(kv::PlugInCategory_type::GetNameFromCategory(category));
    }
    if (resource)
        RMReleaseResource(resource);
    self->categories[component.componentSubType] = names;
}

void KCPluginRunner::BuildPluginGroups() {
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (resources == nullptr ||
        GetXMLResource(resources, kGroupsType, kGroupsID, root, resource) != eNoErr || !root) {
        if (resource)
            RMReleaseResource(resource);
        return;
    }
    for (const kvXML::CXMLElement* group : root->children) {
        if (std::strcmp(group->name.c_str(), "Group") != 0)
            continue;
        std::string groupName;
        for (const kvXML::CXMLElement* child : group->children) {
            if (std::strcmp(child->name.c_str(), "Name") == 0)
                groupName = child->text;
            if (std::strcmp(child->name.c_str(), "PluginList") != 0)
                continue;
            for (const kvXML::CXMLElement* plugin : child->children) {
                if (std::strcmp(plugin->name.c_str(), "Plugin") != 0)
                    continue;
                const kvXML::CXMLElement* product = FirstChild(*plugin, "ProductName");
                if (product == nullptr)
                    product = FirstChild(*plugin, "Name");
                if (product)
                    productGroups[product->text].push_back(groupName);
            }
        }
    }
    RMReleaseResource(resource);
}

std::vector<std::string> KCPluginRunner::GetPluginGroups(const QuorlComponentInfo& component,
                                                         int32_t sortMode) const {
    switch (sortMode) {
    case 0: {
        const std::string name = component.shortName.c_str();
        return {name.empty() ? std::string() : name.substr(0, 1)};
    }
    case 1: {
        const auto it = productGroups.find(component.Path().GetBase());
        return it == productGroups.end() ? std::vector<std::string>{"Undefined"} : it->second;
    }
    case 2: {
        const auto it = categories.find(component.componentSubType);
        return it == categories.end() ? std::vector<std::string>{} : it->second;
    }
    default:
        return {};
    }
}

std::string KCPluginRunner::GetPluginDisplayName(const QuorlComponentInfo& component) const {
    return PluginDisplayName(component);
}

std::string PluginDisplayName(const QuorlComponentInfo& component) {
    std::string name = component.shortName.c_str();
    if (!GetCmdLineOptions().exclusive)
        name += " (" + FourCCToString(component.componentType) + ", " +
                FourCCToString(component.componentSubType) + ")";
    return name;
}

// ---------------------------------------------------------------------------
// Shutdown

void KCPluginRunner::Shutdown() {
    if (shutDown)
        return;
    shutDown = true;
    if (sampleChain.IsConnected() && sampleChain.GetSink())
        sampleChain.GetSink()->Stop();
    CpuMeter::Reset();
    pluginChain.SetTransport(false);
    // The device's sink leaves the chain with the device.
    if (device) {
        device->Close();
        device.reset();
    }
    // Command-line runs and windowed starts that failed leave the user's
    // last session alone.
    if (prefFile.IsValid() && sessionStarted && !IsCmdLineMode()) {
        pluginChain.StoreSession();
        prefFile.SavePrefInfo(session);
    }
    while (KCPlugin* plugin = GetCurrentPlugin())
        RemovePlugin(plugin);
    if (resources)
        RMCloseResContainer(resources);
    if (rmStarted)
        RMDispose();
    rmStarted = false;
    if (kmStarted)
        KMDispose();
    kmStarted = false;
}
