// The trace sink that stands in for the debugger output: the file named by
// QUORL_TRACE (appended), or stderr. Every call's text is written whole and
// in order across threads; a named pipe without a reader never stops the
// caller (the text then goes to stderr).
#pragma once

#include <string_view>

void KUTrace(std::string_view text);
// Debug output only: to the QUORL_TRACE file when it is set, nowhere
// otherwise (a user never sees it on the terminal).
void KUDebugTrace(std::string_view text);
// A line meant for the user that no window shows (a headless message box):
// always to stderr, and copied to the QUORL_TRACE file when it is set.
void KUUserLine(std::string_view line);
// Writes `line` and a line end when it has none.
void KUTraceLine(std::string_view line);
