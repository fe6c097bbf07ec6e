// The plug-in's debugger output: trace lines go to the file named by
// QUORL_TRACE (appended), or to stderr.
#pragma once

#include <string>

void DulmDebugOutput(const std::string& text);
