#include "host/CmdLineRunner.h"

#include "host/CmdLineOptions.h"
#include "host/Console.h"

#include <cstdio>

namespace {

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool IsExistingPath(const kvFM::KCStPath& path) {
    return path.IsValid() && path.IsExist();
}

// The session preferences are not read when the options name the plug-ins
// (a folder or a file) or a batch file, nor in help mode.
bool ReadsSession(const KCCmdLineOptions& options) {
    return !options.help && !IsExistingPath(options.pluginFolder) &&
           !IsExistingPath(options.pluginFile) && !IsExistingPath(options.batchFile);
}

} // namespace

KCCmdLinePluginRunner::KCCmdLinePluginRunner(KCCmdLineRunnerTarget* runner) : runner(runner) {}

KTErr KCCmdLinePluginRunner::Start() {
    OpenConsole();
    const KCCmdLineOptions& options = GetCmdLineOptions();
    KTErr result = eNoErr;
    if (runner == nullptr)
        return options.help ? eNoErr : eSomeThingNotInitailzed;
    if (ReadsSession(options))
        result = runner->LoadSession();
    if (IsExistingPath(options.inputFile))
        result = runner->OpenInputFile(options.inputFile);
    if (options.help)
        return result;
    runner->Init();
    return runner->ScanPlugins(options.pluginFolder);
}

KTErr KCCmdLinePluginRunner::Run() {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    KTErr result = eNoErr;
    if (options.help) {
        Usage();
    } else if (options.info) {
        if (runner)
            runner->PrintComponentList();
    } else if (runner) {
        std::unique_ptr<KCTestBase> test = runner->CreateTests(result);
        if (test)
            AddTest(std::move(test));
        if (!tests.empty()) {
            result = RunTests();
            Print(VerdictLine(result));
        }
    }
    PromptAndWaitForKey();
    return result;
}

KTErr KCCmdLinePluginRunner::RunTests() {
    KTErr result = eNoErr;
    for (std::unique_ptr<KCTestBase>& test : tests) {
        test->GetBroadcaster().AddListener(this);
        const KTErr status = test->Run();
        if (status != eNoErr)
            result = status;
    }
    tests.clear();
    return result;
}

void KCCmdLinePluginRunner::Usage() {
    PrintUsage(stdout);
}

void KCCmdLinePluginRunner::OnTestStart(const std::string& text) {
    const std::string& index = GetCmdLineOptions().testIndex;
    Print(index.empty() ? text : "TestIndex: " + index + ", " + text);
}

void KCCmdLinePluginRunner::OnMessage(const std::string& text) {
    Print(text);
}

void KCCmdLinePluginRunner::OnTestResult(const std::string& text) {
    Print(text);
}
