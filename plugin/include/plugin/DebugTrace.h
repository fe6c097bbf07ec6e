// The plug-in's debugger output: trace lines go to the file named by
// QUORL_TRACE (appended), and nowhere when it is not set.
#pragma once

#include <string>

void DulmDebugOutput(const std::string& text);
