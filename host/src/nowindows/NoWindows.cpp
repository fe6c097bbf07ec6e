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
#include <cstdlib>
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
    // Set: this program was started as the windowed one (a link to it or a
    // copy of it stands in its place), and handing over would start it again
    // and again.
    const bool handedOver = std::getenv(kHandedOverMark) != nullptr;
    ::unsetenv(kHandedOverMark);
    if (!NeedsWindows(argc, argv))
        return -1;
    // Only the folder of this program holds the windowed one; without it
    // known, nothing is started (never a program of the current folder).
    const std::string self = ExecutablePath().GetNativePathString();
    if (self.empty() || self.find('/') == std::string::npos) {
        std::fprintf(stderr, "rigwell: cannot tell the folder of this program, where %s lies\n",
                     kWindowedProgram);
        return 1;
    }
    const std::string path = self.substr(0, self.rfind('/') + 1) + kWindowedProgram;
    if (handedOver) {
        std::fprintf(stderr,
                     "rigwell: %s is not the windowed program (a link to or a copy of rigwell); "
                     "install rigwell-gui beside rigwell\n",
                     path.c_str());
        return 1;
    }
    ::setenv(kHandedOverMark, "1", 1);
    ::execv(path.c_str(), argv);
    const int error = errno;
    ::unsetenv(kHandedOverMark);
    std::fprintf(stderr, "rigwell: cannot start %s: %s\n", path.c_str(), std::strerror(error));
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
