#include "host/BatchFile.h"

#include "foundation/KCMemObj.h"
#include "foundation/KCStFile.h"
#include "host/CmdLineOptions.h"

#include <algorithm>
#include <cstring>

namespace {

// At most this many characters of a line are taken (a buffer of 1024).
constexpr size_t kMaxLineCharacters = 1023;
// A read of fewer characters (the line end counted) ends the batch.
constexpr size_t kShortestLine = 3;

bool IsSeparator(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

KTErr SplitCommandLine(const std::string& text, std::vector<std::string>& arguments) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        const char first = text[i];
        if (first == '"' || first == '\'') {
            const size_t close = text.find(first, i + 1);
            if (close == std::string::npos)
                return eGenericErr; // unterminated: this argument is dropped
            arguments.push_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = i;
        while (end < n && !IsSeparator(text[end]))
            ++end;
        arguments.push_back(text.substr(i, end - i));
        i = end;
    }
    return eNoErr;
}

KTErr ReadBatchFile(const kvFM::KCStPath& path, std::string& text) {
    text.clear();
    KCMemObj block;
    const KTErr status = kvFM::ReadFileToKCMemObj(path, block);
    const char* data = static_cast<const char*>(block.GetPtr());
    if (status == eNoErr && data != nullptr)
        text.assign(data, size_t(block.GetPtrSize()));
    block.DisposePtr();
    if (status != eNoErr)
        return status;
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return eNoErr;
}

std::vector<std::string> SplitBatchLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t position = 0;
    while (position < text.size()) {
        const size_t newline = text.find('\n', position);
        const size_t lineEnd = newline == std::string::npos ? text.size() : newline + 1;
        const size_t read = std::min(lineEnd - position, kMaxLineCharacters);
        if (read < kShortestLine)
            break;
        std::string line = text.substr(position, read);
        const bool cut = read < lineEnd - position;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        const size_t cr = line.find('\r');
        if (cr != std::string::npos && cr != 0)
            line.resize(cr);
        lines.push_back(std::move(line));
        if (cut)
            break;
        position = lineEnd;
    }
    return lines;
}

KTErr RunBatchLines(const std::string& text, KTErr readStatus,
                    const std::function<KTErr(KTErr parseStatus)>& runLine) {
    KTErr result = readStatus;
    for (const std::string& line : SplitBatchLines(text)) {
        std::vector<std::string> arguments;
        SplitCommandLine(line, arguments);
        std::vector<const char*> argv{nullptr};
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        // A batch line runs at most 65535 arguments, as the parser counts.
        const auto argc = static_cast<uint16_t>(std::min<size_t>(argv.size(), 0xFFFF));
        KTErr status = ParseCommandLine(argc, argv.data());
        if (status == eNoErr && GetCmdLineOptions().batchFile.IsValid())
            status = eCommandLineParameter; // a batch file inside a batch file
        status = runLine(status);
        if (status != eNoErr)
            result = status;
    }
    return result;
}
