// The command-line program `rigwell` carries no windowing libraries: loading
// them costs more than a whole command-line test. Here are its answers to
// the window calls of the parts it shares with the windowed program
// `rigwell-gui`: no display, no windows, messages on standard error. A run
// that needs windows (the main window, editors, or a batch file whose lines
// may open them) goes to `rigwell-gui`, which takes over the process.
//
// A window call added to the shared parts needs its answer here too.
#include "host/Application.h"
#include "host/CmdLineOptions.h"
#include "host/GuiApplication.h"
#include "host/PluginRunnerView.h"
#include "host/PluginView.h"
#include "host/RunnerDialogs.h"
#include "host/ScanProgressWindow.h"
#include "ui/KMWindowManager.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char kWindowedProgram[] = "rigwell-gui";

bool NeedsWindows(int argc, const char* const* argv) {
    const auto count = static_cast<uint16_t>(std::min(argc, int(UINT16_MAX)));
    if (ParseCommandLine(count, argv, false) != eNoErr)
        return false; // reported by the run itself, without windows
    const KCCmdLineOptions& options = GetCmdLineOptions();
    return !IsCmdLineMode() || options.gui ||
           (options.batchFile.IsValid() && options.batchFile.IsExist());
}

} // namespace

int RunWindowedProgramWhenNeeded(int argc, char** argv) {
    if (!NeedsWindows(argc, argv))
        return -1;
    std::string path = ExecutablePath().GetNativePathString();
    path = path.substr(0, path.rfind('/') + 1) + kWindowedProgram;
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "rigwell: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
}

bool StartToolkit(const char*) {
    return false;
}

void StopToolkit() {}

bool IsToolkitStarted() {
    return false;
}

KTErr StartGuiSession(KCPluginRunner&) {
    return eSomeThingNotInitailzed;
}

void RequestMainWindowToFront() {}

KTErr RunGuiLoop(KCApplicationBase&, KCPluginRunnerViewBase&) {
    return eSomeThingNotInitailzed;
}

std::unique_ptr<KCPluginRunnerViewBase> MakePluginRunnerView(KCPluginRunner*,
                                                             const KSRunnerViewOptions&) {
    return nullptr;
}

void InstallPluginViewHooks() {}

KTErr KMInit(void*) {
    return eNoErr;
}

KTErr KMDispose() {
    return eNoErr;
}

bool KMHasDisplay() {
    return false;
}

void KSScanProgressWindowCloser::operator()(KCScanProgressWindow*) const {}

KCScanProgressWindowPtr WatchScan(KCPluginDiskScanner&) {
    return nullptr;
}

KTErr OpenWavFileDialog(KCWindow*, kvFM::KCStPath&, bool) {
    return eUserCanceled;
}

eKMMessageResult ShowMessage(const std::string& line1, const std::string& line2) {
    std::fprintf(stderr, "rigwell: %s%s%s\n", line1.c_str(), line2.empty() ? "" : " ",
                 line2.c_str());
    return eKMOther;
}

eKMMessageResult AskQuestion(const std::string& text, int32_t) {
    std::fprintf(stderr, "rigwell: %s\n", text.c_str());
    return eKMOther;
}
