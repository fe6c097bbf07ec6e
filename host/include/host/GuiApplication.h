// The GUI mode of the program: the toolkit's start and end, the runner's
// session start, and the 30 ms idle timer around the main view's loop.
#pragma once

#include <memory>

#include "foundation/KCTimer.h"
#include "foundation/KTErr.h"

class KCApplicationBase;
class KCPluginRunner;
class KCPluginRunnerViewBase;

// Starts wx with the program's name alone (so that GTK takes no option
// away); false when no display can be opened.
bool StartToolkit(const char* argv0);
void StopToolkit();
bool IsToolkitStarted();

// Ticks the application's idle operation every 30 ms while the loop runs.
class KCIdleTimer : public KCTimer {
public:
    explicit KCIdleTimer(KCApplicationBase& owner) : KCTimer(0.03), owner(owner) {}
    ~KCIdleTimer() override { Stop(); }
    void YourCallbackFunc() override;

private:
    KCApplicationBase& owner;
};

// The runner's start in GUI mode: its managers, then its session (scan,
// audio device, requested or previous plug-ins). The first failing status.
KTErr StartGuiSession(KCPluginRunner& runner);

// Asks, from any thread, that the main window come to the front.
void RequestMainWindowToFront();

// Runs the view's loop inside the idle timer; the loop's result. SIGINT,
// SIGTERM and SIGHUP during the loop end it as closing the main window does
// (the normal shutdown follows); a second one ends the program at once.
KTErr RunGuiLoop(KCApplicationBase& owner, KCPluginRunnerViewBase& view);
