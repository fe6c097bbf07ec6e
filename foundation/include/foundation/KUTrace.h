// The trace sink that stands in for the debugger output: the file named by
// QUORL_TRACE (appended), or stderr. Every call's text is written whole and
// in order across threads; a named pipe without a reader never stops the
// caller (the text then goes to stderr).
#pragma once

#include <string_view>

void KUTrace(std::string_view text);
// Writes `line` and a line end when it has none.
void KUTraceLine(std::string_view line);
