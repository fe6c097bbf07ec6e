// The automated plug-in tests of command-line mode: smoke tests (with or
// without the editor), the batch test, the cancellation test and the
// multi-instance test. Each runs against the plug-in runner.
#pragma once

#include "host/CmdLineRunner.h"
#include "host/TestFramework.h"
#include "hosting/ComponentInfo.h"

#include <memory>
#include <vector>

class KCPluginRunner;
class KCTestSampleSink;

// A test with its components and the runner: per component, announce it,
// load it (with the test's preset), run the test step, remove it, report.
class KCRunnerTest : public KCTestBase {
public:
    explicit KCRunnerTest(KCPluginRunner& runner) : runner(runner) {}
    KCRunnerTest(KCPluginRunner& runner, const QuorlComponentInfo& component);

    void SetComponents(const KCQuorlComponentInfoList& list) { components = list; }
    const KCQuorlComponentInfoList& GetComponents() const { return components; }

    KTErr Run() override;
    // The step on the plug-in that has just been loaded.
    virtual KTErr RunTest() = 0;
    // The runner's load with the test's options, then its preset.
    KTErr LoadPlugin(const QuorlComponentInfo& component);

protected:
    KCQuorlComponentInfoList components;
    KCPluginRunner& runner;
};

class KCSmokeTest : public KCRunnerTest {
public:
    // Both write the process-id file.
    explicit KCSmokeTest(KCPluginRunner& runner);
    KCSmokeTest(KCPluginRunner& runner, const QuorlComponentInfo& component);
    // Pulls up to 64 blocks through the plug-in into a test sink and reports
    // the CPU line; the first failing pull ends it with its status.
    KTErr RunTest() override;
    virtual KTErr OnIteration() { return eNoErr; }
    KTErr GetLastResult() const { return lastResult; }

private:
    KTErr lastResult = eNoErr;
};

// The smoke test with the plug-in's editor open, redrawn before each pull.
class KCGUISmokeTest : public KCSmokeTest {
public:
    using KCSmokeTest::KCSmokeTest;
    KTErr RunTest() override;
    KTErr OnIteration() override;

private:
    std::vector<void*> views;
};

// One command line per line of a text file.
class KCBatchFileTest : public KCRunnerTest {
public:
    KCBatchFileTest(KCPluginRunner& runner, const kvFM::KCStPath& batchFile,
                    const kvFM::KCStPath& pluginFolder);
    KTErr Run() override { return RunTest(); }
    KTErr RunTest() override;

private:
    KTErr RunLine(KTErr parseStatus, bool& scanned);

    kvFM::KCStPath batchFile;
    kvFM::KCStPath pluginFolder;
};

// Renders the input file through the plug-in and compares the result with
// a reference file.
class KCCancellationTest : public KCRunnerTest {
public:
    KCCancellationTest(KCPluginRunner& runner, const QuorlComponentInfo& component,
                       const kvFM::KCStPath& input, const kvFM::KCStPath& reference,
                       const kvFM::KCStPath& outputFolder);
    KTErr RunTest() override;

private:
    kvFM::KCStPath input;
    kvFM::KCStPath reference;
    kvFM::KCStPath outputFolder;
};

// Loads the plug-in `count` times and plays them live until a key.
class KCMultiPluginTest : public KCRunnerTest {
public:
    KCMultiPluginTest(KCPluginRunner& runner, const QuorlComponentInfo& component, int32_t count);
    KTErr Run() override;
    KTErr RunTest() override;

private:
    int32_t count;
};

// The test of a kind, for the named component or all of `all`; null for no
// test.
std::unique_ptr<KCTestBase> MakeTest(KCPluginRunner& runner, KETestKind kind,
                                     const QuorlComponentInfo& component,
                                     const KCQuorlComponentInfoList& all);
