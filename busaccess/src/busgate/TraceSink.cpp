#include "busaccess/busgate/TraceSink.h"

#include "busaccess/MessageService.h"

#include <string>

namespace busgate {

void TraceWrite(std::string_view text) {
    busaccess::WriteTrace(text);
}

void Beep(unsigned frequency, unsigned milliseconds) {
    TraceWrite("Beep(" + std::to_string(frequency) + "," + std::to_string(milliseconds) + ")\n");
}

} // namespace busgate
