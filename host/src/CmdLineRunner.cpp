#include "host/CmdLineRunner.h"

#include "host/CmdLineOptions.h"
#include "host/Console.h"
#include "host/TestFramework.h"

#include <cstdio>
#include <vector>

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

// The rows of the test choice for a named component that was found.
struct NamedTestRow {
    bool (*applies)(const KCCmdLineOptions& options);
    KETestKind kind;
};

const NamedTestRow kNamedTestRows[] = {
    {[](const KCCmdLineOptions& o) { return o.gui; }, KETestKind::eGUISmokeTest},
    {[](const KCCmdLineOptions& o) { return o.test; }, KETestKind::eSmokeTest},
    {[](const KCCmdLineOptions& o) { return o.instanceCount > 0; }, KETestKind::eMultiPluginTest},
    {[](const KCCmdLineOptions& o) { return o.referenceFile.IsValid(); },
     KETestKind::eCancellationTest},
};

KETestKind ChooseUnnamedTest(const KCCmdLineOptions& options) {
    if (options.test)
        return options.gui ? KETestKind::eAllGUISmokeTest : KETestKind::eAllSmokeTest;
    if (options.gui)
        return KETestKind::eAllGUISmokeTest;
    if (IsExistingPath(options.batchFile))
        return KETestKind::eBatchFileTest;
    return KETestKind::eNoTest;
}

// The files of the cancellation test given without the rest of it: what is
// missing ("-r", "-n and -f"), empty when neither file was given.
std::string MissingForCancellation(const KCCmdLineOptions& options) {
    if (!options.inputFile.IsValid() && !options.referenceFile.IsValid())
        return std::string();
    std::vector<std::string> missing;
    if (!NamesComponent(options))
        missing.push_back("-n");
    if (!options.inputFile.IsValid())
        missing.push_back("-f");
    if (!options.referenceFile.IsValid())
        missing.push_back("-r");
    std::string text;
    for (size_t i = 0; i < missing.size(); ++i)
        text += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
    return text;
}

// Why no test could be made.
std::string NoTestCause(const KCCmdLineOptions& options, KTErr status) {
    if (status == eFMWrongParameters)
        return "no test to run: the cancellation test (-f INPUT -r REFERENCE -n CODE) lacks " +
               MissingForCancellation(options) + "; rigwell -h lists the tests";
    if (status != ePluginSubComponentNotFound)
        return "no test: " + StatusText(status);
    std::string where = "the plug-in folders";
    if (IsExistingPath(options.pluginFile))
        where = options.pluginFile.GetPathString();
    else if (IsExistingPath(options.pluginFolder))
        where = options.pluginFolder.GetPathString();
    return "no plug-in of sub-type " + FourCCToString(options.componentSubType) + " (type " +
           FourCCToString(options.componentType) + ") in " + where + "; rigwell -c -if -p " +
           "FOLDER lists the plug-ins of a folder";
}

} // namespace

bool NamesComponent(const KCCmdLineOptions& options) {
    return !options.componentType.IsUnset() && !options.componentSubType.IsUnset();
}

bool IsSelectedComponent(const KCCmdLineOptions& options, KCFourCC type, KCFourCC subType) {
    return !NamesComponent(options) ||
           (type == options.componentType && subType == options.componentSubType);
}

KSTestChoice ChooseTest(const KCCmdLineOptions& options, bool componentFound) {
    KSTestChoice choice;
    if (!NamesComponent(options)) {
        choice.kind = ChooseUnnamedTest(options);
    } else if (!componentFound) {
        choice.status = ePluginSubComponentNotFound;
    } else {
        for (const NamedTestRow& row : kNamedTestRows)
            if (row.applies(options)) {
                choice.kind = row.kind;
                break;
            }
    }
    // An input or a reference file that no test uses: the run would do
    // nothing.
    if (choice.kind == KETestKind::eNoTest && choice.status == eNoErr &&
        !MissingForCancellation(options).empty())
        choice.status = eFMWrongParameters;
    return choice;
}

void ConfigureTest(KCTestBase& test, const KCCmdLineOptions& options) {
    test.SetPresetPath(options.presetFile);
    test.SetTestIndex(options.testIndex);
    test.SetNoProcess(options.noProcess);
    test.SetBypass(options.bypass);
}

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
        else if (result != eNoErr)
            ReportCause(NoTestCause(options, result));
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
