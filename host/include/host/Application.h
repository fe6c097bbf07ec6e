// The program's entry and its application object: parse the command line,
// guard the instance name, create the runner and either the command-line
// runner or the main view, run, and shut down in a fixed order.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "host/CmdLineOptions.h"
#include "host/CmdLineRunner.h"

#include <memory>
#include <string>

class KCPluginRunnerViewBase;

class KCApplicationBase {
public:
    explicit KCApplicationBase(const kvFM::KCStPath& executablePath);
    // The shutdown sequence.
    virtual ~KCApplicationBase();
    KCApplicationBase(const KCApplicationBase&) = delete;
    KCApplicationBase& operator=(const KCApplicationBase&) = delete;

    // Parses the command line (quietly: the entry point has already
    // reported a bad one), creates the objects and starts them. 0, or -1
    // on any failure; StartStatus then tells the failing step's status and
    // FailureText the line that reports it.
    virtual KTErr Init(int argc, const char* const* argv);
    virtual KTErr CreateObjects();
    virtual KTErr Start();
    virtual KTErr Run();
    // One idle tick: the tick's work, its duration added to the CPU meter.
    virtual KTErr Idle();

    KTErr StartStatus() const { return startStatus; }
    const std::string& FailureText() const { return failureText; }
    const kvFM::KCStPath& GetExecutablePath() const { return executablePath; }

protected:
    // The plug-in runner as the command-line runner sees it.
    virtual KCCmdLineRunnerTarget* CreateRunner();
    // The work of an idle tick (the plug-in chain, the test sink, the view);
    // nothing while neither exists.
    virtual void IdleWork();

    kvFM::KCStPath executablePath;
    std::unique_ptr<KCCmdLineRunnerTarget> runner;
    std::unique_ptr<KCCmdLinePluginRunner> cmdLineRunner;
    // The main view in GUI mode; null in command-line mode.
    std::unique_ptr<KCPluginRunnerViewBase> view;
    KTErr startStatus = eNoErr;
    std::string failureText;
};

// The program's exit status for a final status: |status| when 1 to 255, 255
// for any other failure (so that no failure exits 0), 0 for success.
int ExitStatusOf(KTErr status);

// "RigwellApp", or the four characters of the -n sub-type when both codes
// are set.
std::string InstanceNameOf(const KCCmdLineOptions& options);

// The path of the running program: /proc/self/exe, or without /proc the
// path the program was started by, made absolute; empty when unknown.
kvFM::KCStPath ExecutablePath();
// The program's absolute path from what the system tells: the target of
// /proc/self/exe (`procExe`), else the file name the program was started by
// (`startedAs`) when it holds a '/'. A bare name was looked up on a search
// path that may have held the current folder: it gives nothing.
std::string ProgramPathFrom(const std::string& procExe, const std::string& startedAs);

// Set by `rigwell` in the environment of `rigwell-gui` when it hands a run
// over: a program without windows that finds it set was started as
// `rigwell-gui` and would hand over to itself again.
constexpr char kHandedOverMark[] = "RIGWELL_HANDED_OVER";

// The whole program: returns its exit status.
int RigwellMain(int argc, const char* const* argv);
