#include "host/GuiApplication.h"

#include <filesystem>

#include <wx/app.h>
#include <wx/init.h>

#include "host/Application.h"
#include "host/CmdLineOptions.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"

namespace {

class RigwellApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

bool toolkitStarted = false;

} // namespace

bool StartToolkit(const char* argv0) {
    if (toolkitStarted)
        return true;
    wxApp::SetInstance(new RigwellApp());
    int argc = 1;
    char* argv[] = {const_cast<char*>(argv0), nullptr};
    if (!wxEntryStart(argc, argv)) {
        wxEntryCleanup();
        return false;
    }
    if (!wxTheApp->CallOnInit()) {
        wxEntryCleanup();
        return false;
    }
    toolkitStarted = true;
    return true;
}

bool IsToolkitStarted() {
    return toolkitStarted;
}

void StopToolkit() {
    if (!toolkitStarted)
        return;
    toolkitStarted = false;
    wxTheApp->OnExit();
    wxEntryCleanup();
}

void KCIdleTimer::YourCallbackFunc() {
    owner.Idle();
}

KTErr StartGuiSession(KCPluginRunner& runner) {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    runner.LoadSession();
    if (KTErr status = runner.Init())
        return status;
    // A plug-in file names the folder to scan; an empty scan leaves the
    // program running with an empty Plugins menu.
    const bool hasFile = options.pluginFile.IsValid() && options.pluginFile.IsExist();
    const kvFM::KCStPath folder =
        hasFile
            ? kvFM::KCStPath(
                  std::filesystem::path(options.pluginFile.GetPathString()).parent_path().string())
            : options.pluginFolder;
    runner.ScanPlugins(folder);
    if (runner.ListAudioDevices() == eNoErr)
        runner.InitDefaultSink();
    if (hasFile)
        for (const QuorlComponentInfo& component : runner.GetComponents().components)
            if (component.Path() == options.pluginFile)
                return runner.OpenPlugin(component);
    return eNoErr;
}

KTErr RunGuiLoop(KCApplicationBase& owner, KCPluginRunnerView& view) {
    KCIdleTimer timer(owner);
    timer.Start();
    const KTErr result = view.RunEventLoop();
    timer.Stop();
    return result;
}
