// Batch files of command lines: reading the file, taking it apart into
// lines and each line into arguments, and running the lines one by one.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

#include <functional>
#include <string>
#include <vector>

// Splits a command line into arguments: blanks and tabs separate them; an
// argument that starts with ' or " runs up to the next same quote (both
// dropped, blanks kept). 0, or -1 when the text ends inside a quoted
// argument, which is then dropped (the arguments before it stay).
KTErr SplitCommandLine(const std::string& text, std::vector<std::string>& arguments);

// The file's bytes up to its size or up to a NUL byte; the file manager's
// status when it cannot be opened or read.
KTErr ReadBatchFile(const kvFM::KCStPath& path, std::string& text);

// The lines to run, in order. A line ends at "\n" (dropped) and is taken up
// to 1023 characters; a read of fewer than 3 characters (the line end
// counted: an empty line, a line of one character, a last line of fewer
// than 3) ends the batch, and so does a longer line after it has been cut
// and run. Each line is cut at its first carriage return unless that is
// its first character.
std::vector<std::string> SplitBatchLines(const std::string& text);

// Runs every line: splits it, parses it into the process's option record
// (ParseCommandLine, which reports its own errors) and, when the parse
// hands its status to `runLine`, which runs the line's test when that status
// is 0 and returns the line's status. A line that names a batch file of its
// own is handed eCommandLineParameter instead of being run. The result is
// the status of the last failing line, or `readStatus` when none failed.
KTErr RunBatchLines(const std::string& text, KTErr readStatus,
                    const std::function<KTErr(KTErr parseStatus)>& runLine);
