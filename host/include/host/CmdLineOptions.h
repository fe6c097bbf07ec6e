// The command line of the host: the process-wide option record, its parser,
// the usage text and the parse-error line.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

class KCCmdLineOptions {
public:
    // Every flag 0, both codes '????', every path empty, no index, count 0.
    void Reset();

    bool cmdLineMode = false;
    bool help = false;
    bool test = false;
    bool exclusive = false;
    bool gui = false;
    bool silent = false;
    bool info = false;
    bool bypass = false;
    bool noProcess = false;
    bool multiInstance = false;
    KCFourCC componentType;    // second code of -n ('raPI' when only one is given)
    KCFourCC componentSubType; // first code of -n
    kvFM::KCStPath pluginFolder;
    kvFM::KCStPath pluginFile;
    kvFM::KCStPath presetFile;
    kvFM::KCStPath inputFile;
    kvFM::KCStPath referenceFile;
    kvFM::KCStPath outputFolder;
    kvFM::KCStPath batchFile;
    std::string testIndex;
    int32_t instanceCount = 0;
};

// The one record of the process.
KCCmdLineOptions& GetCmdLineOptions();
bool IsCmdLineMode();
bool IsHelpMode();
bool IsSilentMode();
bool IsExclusiveMode();
bool IsNoProcessMode();
bool IsBypassMode();
bool IsMultiInstanceMode();

// Resets the record and fills it from the arguments (argv[0], the program,
// is skipped). 0, or -1 at the first bad argument, after which the error
// line is written to standard output when `reportErrors` is set.
KTErr ParseCommandLine(uint16_t argc, const char* const* argv, bool reportErrors = true);

// Takes argv[index + 1] as an existing file or folder (absolute, or
// relative to the current folder) into `destination` and moves `index` past
// it. A missing or bad value appends " " and the option or the value to
// `errorText` and gives -1. With `mayBeMissing`, a valid path that names
// nothing yet is taken too.
KTErr ParsePathOption(const char* const* argv, int argc, std::string& errorText, int& index,
                      kvFM::KCStPath& destination, bool mayBeMissing = false);

// "[type, sub]" with each code's four characters.
std::string FourCCPairText(KCFourCC type, KCFourCC subType);
void PrintFourCCPair(std::ostream& out, KCFourCC type, KCFourCC subType);

// The usage text, line by line.
void PrintUsage(FILE* out);

// Standard output for the reports: nothing to allocate here (the reports go
// to the inherited standard output, silent mode included).
void OpenConsole();
