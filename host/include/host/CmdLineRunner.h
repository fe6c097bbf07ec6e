// The command-line runner: in command-line mode it stands in for the main
// view. It prepares the plug-in runner, picks the test the options ask for,
// runs it, prints the verdict and waits for a key.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "host/TestFramework.h"

#include <memory>
#include <string>
#include <vector>

class KCCmdLineOptions;

// The tests the options can ask for.
enum class KETestKind {
    eNoTest,
    eGUISmokeTest,     // the -n component, its editor open
    eSmokeTest,        // the -n component
    eMultiPluginTest,  // the -n component, -x instances playing live
    eCancellationTest, // the -n component, -f rendered and compared with -r
    eAllSmokeTest,     // every component
    eAllGUISmokeTest,  // every component, each editor open
    eBatchFileTest,    // one command line per line of -b
};

struct KSTestChoice {
    KETestKind kind = KETestKind::eNoTest;
    // ePluginSubComponentNotFound when -n names a component that the scan
    // did not find (no test then); eFMWrongParameters when -f or -r is given
    // but no test uses it (the cancellation test lacks a part); else 0.
    KTErr status = eNoErr;
};

// Picks the test from the options; `componentFound` tells whether the
// component list holds the -n component. The first matching row wins:
//   -n component found: -g GUI smoke, -t smoke, -x above 0 multi-instance,
//                       a reference file cancellation, else none;
//   -n component missing: none (ePluginSubComponentNotFound);
//   no -n: -t smoke of all (GUI smoke of all with -g), -g GUI smoke of all,
//          an existing batch file the batch test, else none;
//   none, with -f or -r given: a failure (the cancellation test lacks a part).
KSTestChoice ChooseTest(const KCCmdLineOptions& options, bool componentFound);

// Whether the options name one component (both codes of -n set), and
// whether a component is the named one, or any when none is named.
bool NamesComponent(const KCCmdLineOptions& options);
bool IsSelectedComponent(const KCCmdLineOptions& options, KCFourCC type, KCFourCC subType);

// Hands a new test the options every test takes: -pr, -i, -np and -bp.
void ConfigureTest(KCTestBase& test, const KCCmdLineOptions& options);

// What the command-line runner needs of the plug-in runner.
class KCCmdLineRunnerTarget {
public:
    virtual ~KCCmdLineRunnerTarget() = default;
    // Reads the session preferences (the file's Init, then its load).
    virtual KTErr LoadSession() = 0;
    virtual KTErr OpenInputFile(const kvFM::KCStPath& file) = 0;
    // Resources, window manager, input source.
    virtual KTErr Init() = 0;
    virtual KTErr ScanPlugins(const kvFM::KCStPath& folder) = 0;
    // The component list's lines (only the -n component when both codes
    // are set).
    virtual void PrintComponentList() = 0;
    // The test the options ask for, or null. `status` receives a failure
    // that must end the run (0 when none).
    virtual std::unique_ptr<KCTestBase> CreateTests(KTErr& status) = 0;
};

class KCCmdLinePluginRunner : public KCTestBase::Listener {
public:
    // `runner` (not owned) may be null: only help mode runs then.
    explicit KCCmdLinePluginRunner(KCCmdLineRunnerTarget* runner);

    KTErr Start();
    KTErr Run();

    // Adds this runner as listener of each test, runs them in order and
    // deletes them: the status of the last failing test, or 0.
    KTErr RunTests();
    void AddTest(std::unique_ptr<KCTestBase> test) { tests.push_back(std::move(test)); }

    static void Usage();

    void OnTestStart(const std::string& text) override;
    void OnMessage(const std::string& text) override;
    void OnTestResult(const std::string& text) override;

private:
    KCCmdLineRunnerTarget* runner;
    std::vector<std::unique_ptr<KCTestBase>> tests;
};
