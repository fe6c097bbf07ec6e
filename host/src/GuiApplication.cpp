#include "host/GuiApplication.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/toplevel.h>

#include "foundation/kvFMWx.h"
#include "host/Application.h"
#include "host/CmdLineOptions.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "ui/KMWindowManager.h"

#include <csignal>

// Xlib's macros come after every C++ header that they could break.
#include <X11/Xlib.h>

namespace {

class RigwellApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

bool toolkitStarted = false;

// Set by SIGINT, SIGTERM or SIGHUP while the loop runs; the next idle tick
// ends the session as closing the main window does.
volatile std::sig_atomic_t quitSignalled = 0;
const int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnQuitSignal(int) {
    quitSignalled = 1;
}

// A second signal while the first is being served ends the program at once.
void CatchQuitSignals(bool on) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = on ? &OnQuitSignal : SIG_DFL;
    action.sa_flags = on ? SA_RESETHAND : 0;
    for (int signal : kQuitSignals)
        sigaction(signal, &action, nullptr);
}

// A connection of our own to the display, held until the toolkit has its
// own: an X server whose last client leaves resets itself, and a toolkit
// connecting during that reset finds no display.
class DisplayHold {
public:
    DisplayHold() : display(XOpenDisplay(nullptr)) {}
    ~DisplayHold() {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    DisplayHold(const DisplayHold&) = delete;
    DisplayHold& operator=(const DisplayHold&) = delete;
    bool IsOpen() const { return display != nullptr; }

private:
    Display* display;
};

} // namespace

bool StartToolkit(const char* argv0) {
    if (toolkitStarted)
        return true;
    // The toolkit reports a missing display in a dialog of its own: look
    // first, quietly, and keep the look's connection until the toolkit holds
    // one.
    const DisplayHold hold;
    if (!hold.IsOpen())
        return false;
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
    // The file and folder dialogs (WAV files, plug-in folders, preferences).
    if (kvFM::GetDialogService() == nullptr)
        kvFM::InstallWxDialogService();
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
    if (quitSignalled != 0) {
        // Open modal loops end first, one per tick; then the main loop.
        if (KMEventLoopDepth() <= 1)
            quitSignalled = 0;
        KMQuitAppEventLoop();
        return;
    }
    owner.Idle();
}

KTErr StartGuiSession(KCPluginRunner& runner) {
    // A signal during the start is kept for the loop's first tick, not lost
    // (a program started in the background of a script ignores SIGINT until
    // it says otherwise).
    quitSignalled = 0;
    CatchQuitSignals(true);
    KTErr status = runner.Init();
    // With a view: the device menus and the default devices (the JACK
    // server's when one runs) come from the device list.
    if (status == eNoErr && !GetCmdLineOptions().exclusive)
        runner.ListAudioDevices();
    if (status == eNoErr)
        status = runner.StartSession();
    if (status != eNoErr)
        CatchQuitSignals(false);
    return status;
}

KTErr RunGuiLoop(KCApplicationBase& owner, KCPluginRunnerViewBase& view) {
    KCIdleTimer timer(owner);
    timer.Start();
    const KTErr result = view.RunEventLoop();
    timer.Stop();
    CatchQuitSignals(false);
    return result;
}

void RequestMainWindowToFront() {
    if (wxTheApp == nullptr)
        return;
    // Runs on the guard's thread: the window is looked up on the GUI thread,
    // so a request during shutdown finds nothing to raise.
    wxTheApp->CallAfter([] {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* top = dynamic_cast<wxTopLevelWindow*>(window);
            if (top != nullptr && top->IsShown() &&
                top->GetTitle().utf8_string() == KCPluginRunnerView::kMainWindowTitle) {
                top->Iconize(false);
                top->Raise();
                return;
            }
        }
    });
}
