// The trace sink: debugger-style output and beeps. It writes to the file
// named by QUORL_TRACE (appended), or to stderr.
#pragma once

#include <string_view>

namespace busgate {

void TraceWrite(std::string_view text);
// An audible signal, written to the trace sink as "Beep(<hz>,<ms>)".
void Beep(unsigned frequency, unsigned milliseconds);

} // namespace busgate
