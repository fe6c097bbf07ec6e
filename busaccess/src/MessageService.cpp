#include "busaccess/MessageService.h"

#include "foundation/KUTrace.h"

namespace busaccess {

void WriteTrace(std::string_view text) {
    KUTrace(text);
}

void WriteTraceLine(const std::string& line) {
    KUTraceLine(line);
}

void TraceMessageService::showInformation(const std::string& text, const std::string& caption) {
    WriteTraceLine(caption + ": " + text);
}

void TraceMessageService::showError(const std::string& text, const std::string& caption) {
    WriteTraceLine(caption + ": " + text);
}

} // namespace busaccess
