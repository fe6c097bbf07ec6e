#include "host/Application.h"

#include "audio/CpuMeter.h"
#include "foundation/CGeneralSysUtils.h"
#include "host/Console.h"
#include "host/GuiApplication.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "host/PluginView.h"
#include "host/SingleInstance.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/auxv.h>
#include <unistd.h>

namespace {

const char kProgramName[] = "rigwell";
const char kDefaultInstanceName[] = "RigwellApp";
const char kBadCommandLine[] = "invalid command line; rigwell -h lists the options";
const char kNoDisplay[] = "cannot open the display; use -c for command-line mode or -h for help";
const char kNoDisplayForEditors[] =
    "no display: the GUI smoke test (-g) opens the plug-ins' editors and cannot open the display";

void PrintFailedStart(const KCApplicationBase& app) {
    std::string line = "start failed: " + StatusText(app.StartStatus());
    if (!app.FailureText().empty())
        line += " (" + app.FailureText() + ")";
    ReportCause(line);
}

} // namespace

KCApplicationBase::KCApplicationBase(const kvFM::KCStPath& executablePath)
    : executablePath(executablePath) {}

KCApplicationBase::~KCApplicationBase() {
    // Nothing during shutdown shows a message; the view's windows go before
    // the runner stops audio and saves the session.
    if (auto* pluginRunner = dynamic_cast<KCPluginRunner*>(runner.get()))
        pluginRunner->SetView(nullptr);
    if (view) {
        view->Close();
        if (auto* pluginRunner = dynamic_cast<KCPluginRunner*>(runner.get()))
            pluginRunner->Shutdown();
    }
    view.reset();
    cmdLineRunner.reset();
    runner.reset();
}

KCCmdLineRunnerTarget* KCApplicationBase::CreateRunner() {
    return CreatePluginRunner(executablePath, nullptr).release();
}

KTErr KCApplicationBase::Init(int argc, const char* const* argv) {
    try {
        const auto count = static_cast<uint16_t>(std::min(argc, int(UINT16_MAX)));
        startStatus = ParseCommandLine(count, argv, false);
        if (startStatus != eNoErr)
            failureText = kBadCommandLine;
        if (startStatus == eNoErr)
            startStatus = CreateObjects();
        if (startStatus == eNoErr)
            startStatus = Start();
    } catch (...) {
        startStatus = eGenericErr;
    }
    return startStatus == eNoErr ? eNoErr : eGenericErr;
}

KTErr KCApplicationBase::CreateObjects() {
    runner.reset(CreateRunner());
    if (!IsCmdLineMode()) {
        auto* pluginRunner = dynamic_cast<KCPluginRunner*>(runner.get());
        if (pluginRunner == nullptr)
            return eSomeThingNotInitailzed;
        const KCCmdLineOptions& options = GetCmdLineOptions();
        view = MakePluginRunnerView(pluginRunner,
                                    KSRunnerViewOptions{options.exclusive, options.noProcess});
        if (!view)
            return eSomeThingNotInitailzed;
        pluginRunner->SetView(view.get());
        return eNoErr;
    }
    cmdLineRunner = std::make_unique<KCCmdLinePluginRunner>(runner.get());
    return eNoErr;
}

KTErr KCApplicationBase::Start() {
    if (view) {
        if (KTErr status = StartGuiSession(*dynamic_cast<KCPluginRunner*>(runner.get())))
            return status;
        return view->Open();
    }
    if (!cmdLineRunner)
        return eSomeThingNotInitailzed;
    return cmdLineRunner->Start();
}

KTErr KCApplicationBase::Run() {
    if (view)
        return RunGuiLoop(*this, *view);
    return cmdLineRunner ? cmdLineRunner->Run() : eSomeThingNotInitailzed;
}

KTErr KCApplicationBase::Idle() {
    const UMicroseconds start;
    IdleWork();
    const UMicroseconds end;
    CpuMeter::AddIdleTime(end.Get() - start.Get());
    return eNoErr;
}

void KCApplicationBase::IdleWork() {
    if (auto* pluginRunner = dynamic_cast<KCPluginRunner*>(runner.get()))
        pluginRunner->Idle();
    if (view)
        view->Idle();
}

int ExitStatusOf(KTErr status) {
    if (status == eNoErr)
        return 0;
    const long magnitude = std::labs(long(status));
    return magnitude >= 1 && magnitude <= 255 ? int(magnitude) : 255;
}

std::string InstanceNameOf(const KCCmdLineOptions& options) {
    if (options.componentType.IsUnset() || options.componentSubType.IsUnset())
        return kDefaultInstanceName;
    return FourCCToString(options.componentSubType);
}

std::string ProgramPathFrom(const std::string& procExe, const std::string& startedAs) {
    if (!procExe.empty())
        return procExe;
    if (startedAs.find('/') == std::string::npos)
        return std::string();
    char resolved[PATH_MAX];
    return ::realpath(startedAs.c_str(), resolved) != nullptr ? std::string(resolved)
                                                              : std::string();
}

kvFM::KCStPath ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string procExe = length > 0 ? std::string(buffer, size_t(length)) : std::string();
    const auto* startedAs = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    const std::string path = ProgramPathFrom(procExe, startedAs != nullptr ? startedAs : "");
    return path.empty() ? kvFM::KCStPath() : kvFM::KCStPath(path);
}

int RigwellMain(int argc, const char* const* argv) {
    KTErr status = eNoErr;
    {
        KCApplicationBase app(ExecutablePath());
        const auto count = static_cast<uint16_t>(std::min(argc, int(UINT16_MAX)));
        const KTErr parseStatus = ParseCommandLine(count, argv);
        const bool gui = parseStatus == eNoErr && !IsCmdLineMode();
        if (gui && !StartToolkit(argc > 0 ? argv[0] : kProgramName)) {
            std::fprintf(stderr, "%s: %s\n", kProgramName, kNoDisplay);
            return 1;
        }
        // The command line's GUI smoke test opens editors: the toolkit runs
        // when a display is there; without one the test reports that its
        // editors cannot be made. The runner sets up the window manager.
        const bool editorsWithoutDisplay = parseStatus == eNoErr && IsCmdLineMode() &&
                                           GetCmdLineOptions().gui &&
                                           !StartToolkit(argc > 0 ? argv[0] : kProgramName);
        InstallPluginViewHooks();
        // Only the windowed program takes part in the guard: a command-line
        // run does its own work (a test, a render) even while a window of
        // the same name is open, and never ends 0 having handed it over.
        KCInstanceWindow other;
        const std::string instanceName = InstanceNameOf(GetCmdLineOptions());
        if (gui)
            AcquireSingleInstance(instanceName, &other);
        if (gui && !IsMultiInstanceMode() && !other.IsNull()) {
            SetForegroundWindow(other);
            ReportCause("another rigwell runs as " + instanceName +
                        ": its window was brought to the front (-mi starts one more)");
            status = parseStatus;
        } else if (app.Init(argc, argv) != eNoErr) {
            PrintFailedStart(app);
            status = eGenericErr;
        } else {
            if (gui)
                SetSingleInstanceWindow(&RequestMainWindowToFront);
            status = app.Run();
            if (status != eNoErr && editorsWithoutDisplay)
                ReportCause(kNoDisplayForEditors);
        }
    }
    ReleaseSingleInstance();
    if (IsToolkitStarted())
        StopToolkit();
    return ExitStatusOf(status);
}
