#include "host/CmdLineOptions.h"

#include "foundation/KUUtils.h"

#include <cstring>
#include <iostream>

namespace {

constexpr KCFourCC kDefaultComponentType{KV_FOURCC("raPI")};

const char* const kUsageLines[] = {
    "Usage:\n",
    "[-h|--help] | [-n component-sub-type [component-type]] [-c|--cmd] | [-s|--silent] | "
    "[-t|--test] | [-g|--gui] [-p|--path]\n\n",
    "--help\t\t  | -h  : This help message\n",
    "--cmd\t\t  | -c  : Command Line mode\n",
    "--path\t\t  | -p  : Plugin path - Set the path for plugin folder  \n",
    "--bypass\t  | -bp  : Plugin in bypass mode\n",
    "--plugin\t  | -n  : Plugin four letter code  - run the specific plugin, optionaly specify "
    "component type (deafult is raPI)\n",
    "--preset\t  | -pr : Preset file - run the plugin with a specific preset file \n",
    "--info\t\t  | -if  : Report of a plugin  - sub component types list  \n",
    "--file\t\t  | -f  : Open the given audio file as input source\n",
    "--test\t\t  | -t  : SmokeTest - run all available plugins \n",
    "--gui\t\t  | -g  : Open all available plugin's GUI SmokeTest \n",
    "--silent\t  | -s  : Run the command and exit automatically\n",
    "--index\t\t  | -i  : Test Index for batch test option , used to save in DB  \n",
    "--output\t  | -o  : output folder for cancellation batch test\n",
    "--batch\t\t  | -b  : Run a set of tests on a given parameter list from an input file.\n",
    "--reference\t  | -r  : Open the given audio file as reference for cancellation test\n",
    "--noprocess\t  | -np  : Plugin without the process code mode\n",
    "--exclusive\t  | -e  : Exclusive execution without main application bar (to be used with "
    "-n) \n",
    "--plugin_file | -pf  : for Exclusive execution - full path of plugin including its name (to "
    "be used with -n) \n",
    "-x  : Open the given number of a specified plugin to run\n",
};

// The options without a value and the flag each one sets.
struct FlagOption {
    const char* shortForm;
    const char* longForm;
    bool KCCmdLineOptions::*flag;
};

const FlagOption kFlagOptions[] = {
    {"-c", "--cmd", &KCCmdLineOptions::cmdLineMode},
    {"-bp", "--bypass", &KCCmdLineOptions::bypass},
    {"-h", "--help", &KCCmdLineOptions::help},
    {"-s", "--silent", &KCCmdLineOptions::silent},
    {"-t", "--test", &KCCmdLineOptions::test},
    {"-g", "--gui", &KCCmdLineOptions::gui},
    {"-e", "--exclusive", &KCCmdLineOptions::exclusive},
    {"-mi", "--multiinstance", &KCCmdLineOptions::multiInstance},
    {"-np", "--noprocess", &KCCmdLineOptions::noProcess},
    {"-if", "--info", &KCCmdLineOptions::info},
};

// The options whose value is an existing file or folder; the output folder
// may be missing yet (the test that writes into it makes it).
struct PathOption {
    const char* shortForm;
    const char* longForm;
    kvFM::KCStPath KCCmdLineOptions::*path;
    bool mayBeMissing = false;
};

const PathOption kPathOptions[] = {
    {"-pr", "--preference", &KCCmdLineOptions::presetFile},
    {"-p", "--path", &KCCmdLineOptions::pluginFolder},
    {"-pf", "--plugin_file", &KCCmdLineOptions::pluginFile},
    {"-f", "--file", &KCCmdLineOptions::inputFile},
    {"-r", "--reference", &KCCmdLineOptions::referenceFile},
    {"-o", "--output", &KCCmdLineOptions::outputFolder, true},
    {"-b", "--batch", &KCCmdLineOptions::batchFile},
};

bool Is(const char* arg, const char* shortForm, const char* longForm) {
    return std::strcmp(arg, shortForm) == 0 || (longForm && std::strcmp(arg, longForm) == 0);
}

bool IsFourCharacters(const char* arg) {
    return std::strlen(arg) == 4;
}

class Parser {
public:
    Parser(KCCmdLineOptions& options, int argc, const char* const* argv)
        : options(options), argc(argc), argv(argv) {}

    KTErr Run() {
        for (index = 1; index < argc; ++index)
            if (ParseOne(argv[index] ? argv[index] : "") != eNoErr)
                return eGenericErr;
        return eNoErr;
    }

    const std::string& ErrorText() const { return errorText; }

private:
    KTErr ParseOne(const char* arg) {
        if (Is(arg, "-h", "--help"))
            options.cmdLineMode = true;
        if (Is(arg, "-if", "--info"))
            options.cmdLineMode = true;
        for (const FlagOption& option : kFlagOptions)
            if (Is(arg, option.shortForm, option.longForm)) {
                options.*option.flag = true;
                return eNoErr;
            }
        if (Is(arg, "-n", "--name"))
            return ParseCodes(arg);
        if (std::strncmp(arg, "-psn", 4) == 0) {
            ++index; // the process serial number and its value
            return eNoErr;
        }
        for (const PathOption& option : kPathOptions)
            if (Is(arg, option.shortForm, option.longForm))
                return ParsePathOption(argv, argc, errorText, index, options.*option.path,
                                       option.mayBeMissing);
        if (Is(arg, "-i", "--index"))
            return ParseValue(arg, [this](const char* value) { options.testIndex = value; });
        if (Is(arg, "-x", nullptr))
            return ParseValue(arg,
                              [this](const char* value) { options.instanceCount = KUAtoi(value); });
        return Fail(arg);
    }

    KTErr ParseCodes(const char* arg) {
        if (index + 1 >= argc)
            return Fail(arg);
        const char* sub = argv[++index];
        if (!IsFourCharacters(sub))
            return Fail(sub);
        options.componentSubType = StringToFourCC(sub);
        if (index + 1 < argc && IsFourCharacters(argv[index + 1]))
            options.componentType = StringToFourCC(argv[++index]);
        else
            options.componentType = kDefaultComponentType;
        return eNoErr;
    }

    template <typename Store>
    KTErr ParseValue(const char* arg, Store store) {
        if (index + 1 >= argc)
            return Fail(arg);
        store(argv[++index]);
        return eNoErr;
    }

    KTErr Fail(const char* text) {
        errorText += text;
        return eGenericErr;
    }

    KCCmdLineOptions& options;
    int argc;
    const char* const* argv;
    int index = 1;
    std::string errorText;
};

void PrintParseError(const KCCmdLineOptions& options, const std::string& errorText) {
    std::cout << "TestIndex: " << options.testIndex << "\n\tERROR loading plug-in: ";
    PrintFourCCPair(std::cout, options.componentType, options.componentSubType);
    std::cout << ", Invalid parameter: " << errorText << "\n" << std::endl;
}

} // namespace

void KCCmdLineOptions::Reset() {
    *this = KCCmdLineOptions();
}

KCCmdLineOptions& GetCmdLineOptions() {
    static KCCmdLineOptions options;
    return options;
}

bool IsCmdLineMode() {
    return GetCmdLineOptions().cmdLineMode;
}
bool IsHelpMode() {
    return GetCmdLineOptions().help;
}
bool IsSilentMode() {
    return GetCmdLineOptions().silent;
}
bool IsExclusiveMode() {
    return GetCmdLineOptions().exclusive;
}
bool IsNoProcessMode() {
    return GetCmdLineOptions().noProcess;
}
bool IsBypassMode() {
    return GetCmdLineOptions().bypass;
}
bool IsMultiInstanceMode() {
    return GetCmdLineOptions().multiInstance;
}

KTErr ParsePathOption(const char* const* argv, int argc, std::string& errorText, int& index,
                      kvFM::KCStPath& destination, bool mayBeMissing) {
    if (index + 1 >= argc) {
        errorText += " ";
        errorText += argv[index];
        return eGenericErr;
    }
    const char* value = argv[++index] ? argv[index] : "";
    kvFM::KCStPathAbsoluteOrRelative path(value);
    KTErr status = eNoErr;
    if (!path.IsValid(status) || (!mayBeMissing && !path.IsExist())) {
        errorText += " ";
        errorText += value;
        return eGenericErr;
    }
    destination = path;
    return eNoErr;
}

KTErr ParseCommandLine(uint16_t argc, const char* const* argv, bool reportErrors) {
    KCCmdLineOptions& options = GetCmdLineOptions();
    options.Reset();
    if (argc < 2)
        return eNoErr;
    Parser parser(options, argc, argv);
    const KTErr status = parser.Run();
    if (status != eNoErr && reportErrors)
        PrintParseError(options, parser.ErrorText());
    return status;
}

std::string FourCCPairText(KCFourCC type, KCFourCC subType) {
    return "[" + FourCCToString(type) + ", " + FourCCToString(subType) + "]";
}

void PrintFourCCPair(std::ostream& out, KCFourCC type, KCFourCC subType) {
    out << FourCCPairText(type, subType);
}

void PrintUsage(FILE* out) {
    for (const char* line : kUsageLines)
        std::fputs(line, out);
    std::fflush(out);
}

void OpenConsole() {
    std::ios::sync_with_stdio(true);
}
