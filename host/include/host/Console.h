// The console of command-line mode: the inherited standard input and
// output.
#pragma once

#include <string>

// Waits for one key: one byte of standard input, a terminal being switched
// to no-echo, non-canonical mode for the read. The end of the input ends
// the wait at once. Does not wait in silent mode.
void WaitForKey();

// Prints "Type any key to exit\n" and waits for a key.
void PromptAndWaitForKey();

// Writes "rigwell: <text>" as one line on standard error: the cause of a
// failure, beside the report lines on standard output.
void ReportCause(const std::string& text);
