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
