#include "host/PluginTests.h"

#include "audio/CpuMeter.h"
#include "foundation/CGeneralSysUtils.h"
#include "host/BatchFile.h"
#include "host/CmdLineOptions.h"
#include "host/Console.h"
#include "host/PluginRunner.h"

#include <cstdio>
#include <filesystem>

namespace {

constexpr int kSmokeIterations = 64;

std::string ShortName(const QuorlComponentInfo& component) {
    return component.shortName.c_str();
}

bool IsExisting(const kvFM::KCStPath& path) {
    KTErr status = eNoErr;
    return path.IsValid(status) && status == eNoErr && path.IsExist();
}

} // namespace

KCRunnerTest::KCRunnerTest(KCPluginRunner& runner, const QuorlComponentInfo& component)
    : runner(runner) {
    components.PushBack(component);
}

KTErr KCRunnerTest::Run() {
    KTErr result = eNoErr;
    for (const QuorlComponentInfo& component : KCQuorlComponentInfoList(components).components) {
        broadcaster.BroadcastTestStart(
            TestAnnouncementLine(ShortName(component), component.Path().GetBase(),
                                 component.componentType, component.componentSubType));
        KTErr status = LoadPlugin(component);
        if (status == eNoErr) {
            status = RunTest();
            runner.RemovePlugin(runner.GetCurrentPlugin());
        }
        broadcaster.BroadcastTestResult(TestResultLine(ShortName(component), status));
        if (status != eNoErr)
            result = status;
    }
    return result;
}

KTErr KCRunnerTest::LoadPlugin(const QuorlComponentInfo& component) {
    try {
        if (runner.LoadPlugin(component, noProcess, bypass) == nullptr)
            return ePluginOpenFailed;
        return runner.LoadPreset(kvFM::KCStPath(presetPath));
    } catch (...) {
        return eGenericErr;
    }
}

KCSmokeTest::KCSmokeTest(KCPluginRunner& runner) : KCRunnerTest(runner) {
    WriteProcessIdFile();
}

KCSmokeTest::KCSmokeTest(KCPluginRunner& runner, const QuorlComponentInfo& component)
    : KCRunnerTest(runner, component) {
    WriteProcessIdFile();
}

KTErr KCSmokeTest::RunTest() {
    KTErr status = eNoErr;
    try {
        KCTestSampleSink* sink = runner.InitTestSink();
        runner.StartProcessing();
        CpuMeter::Reset();
        for (int i = 0; i < kSmokeIterations; ++i) {
            const UMicroseconds start;
            OnIteration();
            status = sink->PullBuffer();
            if (status != eNoErr)
                break;
            const UMicroseconds end;
            CpuMeter::AddProcessTime(end.Get() - start.Get());
        }
        broadcaster.BroadcastMessage(CpuMeter::FormatStatistics());
        runner.StopProcessing();
    } catch (...) {
        if (status == eNoErr)
            status = eExceptionErr;
    }
    lastResult = status;
    return status;
}

KTErr KCGUISmokeTest::RunTest() {
    try {
        KSPluginViewHooks& hooks = PluginViewHooks();
        if (!hooks.open || !hooks.close)
            return eSomeThingNotInitailzed; // no editor windows in this build
        KCPlugin* plugin = runner.GetCurrentPlugin();
        // A GUI smoke test whose editor cannot be opened has failed.
        if (const KTErr opened = hooks.open(plugin, views))
            return opened;
        const KTErr status = KCSmokeTest::RunTest();
        hooks.close(plugin, views);
        return status;
    } catch (...) {
        return eExceptionErr;
    }
}

KTErr KCGUISmokeTest::OnIteration() {
    try {
        runner.Idle();
        if (PluginViewHooks().draw)
            PluginViewHooks().draw(views);
        return eNoErr;
    } catch (...) {
        return eExceptionErr;
    }
}

KCBatchFileTest::KCBatchFileTest(KCPluginRunner& runner, const kvFM::KCStPath& batchFile,
                                 const kvFM::KCStPath& pluginFolder)
    : KCRunnerTest(runner), batchFile(batchFile), pluginFolder(pluginFolder) {}

KTErr KCBatchFileTest::RunTest() {
    std::string text;
    const KTErr readStatus = ReadBatchFile(batchFile, text);
    if (readStatus != eNoErr)
        return readStatus;
    bool scanned = false;
    return RunBatchLines(text, readStatus,
                         [&](KTErr parseStatus) { return RunLine(parseStatus, scanned); });
}

KTErr KCBatchFileTest::RunLine(KTErr parseStatus, bool& scanned) {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    const kvFM::KCStPath previous = pluginFolder;
    if (pluginFolder != options.pluginFolder)
        pluginFolder = options.pluginFolder;
    if (parseStatus != eNoErr)
        return parseStatus;
    const bool sameFolder =
        scanned && previous.IsValid() && pluginFolder.IsValid() && previous == pluginFolder;
    if (!sameFolder) {
        if (KTErr status = runner.ScanPlugins(pluginFolder))
            return status;
        scanned = true;
    }
    if (IsExisting(options.inputFile))
        if (KTErr status = runner.OpenInputFile(options.inputFile, false))
            return status;
    runner.RemovePlugin(runner.GetCurrentPlugin());
    KTErr status = eNoErr;
    std::unique_ptr<KCTestBase> test = runner.CreateTests(status);
    if (!test)
        return status;
    KCCmdLinePluginRunner listener(&runner);
    test->GetBroadcaster().AddListener(&listener);
    return test->Run();
}

KCCancellationTest::KCCancellationTest(KCPluginRunner& runner, const QuorlComponentInfo& component,
                                       const kvFM::KCStPath& input, const kvFM::KCStPath& reference,
                                       const kvFM::KCStPath& outputFolder)
    : KCRunnerTest(runner, component), input(input), reference(reference),
      outputFolder(outputFolder) {}

namespace {

// The output folder, created when it does not exist yet; a failure is
// reported in one line.
KTErr PrepareOutputFolder(const kvFM::KCStPath& folder) {
    KTErr status = eNoErr;
    if (!folder.IsValid(status) || status != eNoErr) {
        std::fprintf(stderr, "rigwell: no output folder given (-o)\n");
        return status != eNoErr ? status : eFMIllegalPathRef;
    }
    std::error_code error;
    const std::filesystem::path native(folder.GetNativePathString());
    if (std::filesystem::is_directory(native, error))
        return eNoErr;
    if (std::filesystem::exists(native, error)) {
        PrintFileProblem(folder, "not a folder");
        return eFMIsNotAFolder;
    }
    if (!std::filesystem::create_directories(native, error) && error) {
        PrintFileProblem(folder, "cannot create the output folder (" + error.message() + ")");
        return eFMCreateFailed;
    }
    return eNoErr;
}

} // namespace

KTErr KCCancellationTest::RunTest() {
    kvFM::KCStPath output(outputFolder);
    const int32_t rate = int32_t(runner.GetSession().sampleRate);
    KTErr status = eFMFileNotFound;
    if (IsExisting(input)) {
        // The input must be the chain's file source: one that could not
        // become it (another rate, say) would leave nothing to render.
        status = runner.OpenInputFile(input, false);
        if (status == eNoErr && runner.GetFileSource() == nullptr)
            status = eFMOpenFailed;
        if (status != eNoErr)
            PrintFileProblem(input, WavFileProblem(input, rate));
        // A reference that the render could not be compared with is refused
        // before anything is written.
        if (status == eNoErr)
            status = CheckReference(reference, rate, runner.GetCurrentPlugin()->GetNumOutputs(),
                                    runner.GetFileSource()->GetLength());
        if (status == eNoErr)
            status = PrepareOutputFolder(output);
        if (status == eNoErr)
            status = runner.MakeOutputFileNames(input, output, kvFM::KCStPath(presetPath));
        if (status == eNoErr && (status = runner.OpenOutputFile(output)) != eNoErr)
            PrintFileProblem(output, "cannot be written (" + StatusText(status) + ")");
    } else {
        PrintFileProblem(input, "no such file");
    }
    broadcaster.BroadcastMessage(CancellationReport(testIndex, status, output.GetNativePathString(),
                                                    CpuMeter::FormatStatistics()));
    if (status != eNoErr)
        return status;
    // A NaN or infinity in the input makes every comparison meaningless.
    if (const KCAudioFileSampleSource* source = runner.GetFileSource();
        source && source->GetFirstNonFiniteFrame() >= 0) {
        std::printf("Error comparing files, the input file holds a NaN or infinite sample: sample "
                    "%lld.\n",
                    static_cast<long long>(source->GetFirstNonFiniteFrame()));
        std::fflush(stdout);
        return eGenericErr;
    }
    return CompareWithReference(status, output, reference, rate);
}

KCMultiPluginTest::KCMultiPluginTest(KCPluginRunner& runner, const QuorlComponentInfo& component,
                                     int32_t count)
    : KCRunnerTest(runner, component), count(count) {}

KTErr KCMultiPluginTest::Run() {
    KTErr result = eNoErr;
    if (count <= 0)
        return result;
    for (int32_t i = 0; i < count; ++i)
        for (const QuorlComponentInfo& component :
             KCQuorlComponentInfoList(components).components) {
            broadcaster.BroadcastMessage(
                TestAnnouncementLine(ShortName(component), component.Path().GetBase(),
                                     component.componentType, component.componentSubType));
            if (KTErr status = LoadPlugin(component))
                result = status;
        }
    return result != eNoErr ? result : RunTest();
}

KTErr KCMultiPluginTest::RunTest() {
    if (runner.ListAudioDevices() != eNoErr) {
        ReportCause("no audio device: the audio system (PortAudio) cannot start");
        return eGenericErr;
    }
    // A device that cannot play fails the test: nothing would be heard.
    if (KTErr status = runner.InitDefaultSink()) {
        ReportCause("no audio device to play on: the default output device cannot be opened (" +
                    StatusText(status) + "); start a JACK server or connect a sound card");
        return status;
    }
    if (KTErr status = runner.StartProcessing())
        return status;
    PromptAndWaitForKey();
    return eNoErr;
}

std::unique_ptr<KCTestBase> MakeTest(KCPluginRunner& runner, KETestKind kind,
                                     const QuorlComponentInfo& component,
                                     const KCQuorlComponentInfoList& all) {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    std::unique_ptr<KCRunnerTest> test;
    switch (kind) {
    case KETestKind::eNoTest:
        return nullptr;
    case KETestKind::eGUISmokeTest:
        return std::make_unique<KCGUISmokeTest>(runner, component);
    case KETestKind::eSmokeTest:
        return std::make_unique<KCSmokeTest>(runner, component);
    case KETestKind::eMultiPluginTest:
        return std::make_unique<KCMultiPluginTest>(runner, component, options.instanceCount);
    case KETestKind::eCancellationTest:
        return std::make_unique<KCCancellationTest>(runner, component, options.inputFile,
                                                    options.referenceFile, options.outputFolder);
    case KETestKind::eAllSmokeTest:
        test = std::make_unique<KCSmokeTest>(runner);
        break;
    case KETestKind::eAllGUISmokeTest:
        test = std::make_unique<KCGUISmokeTest>(runner);
        break;
    case KETestKind::eBatchFileTest:
        return std::make_unique<KCBatchFileTest>(runner, options.batchFile, options.pluginFolder);
    }
    test->SetComponents(all);
    return test;
}
