#include "busaccess/busgate/LoggerServices.h"

#include "busaccess/busgate/FilterLog.h"

#include <cctype>

namespace busgate {

void LogQueue::SetTrafficColor(int code) {
    if (code == trafficColour_)
        return;
    trafficColour_ = code;
    ui_.QueueSetColor(Pane::Traffic, code);
}

void LogQueue::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ui_.QueueAppendText(Pane::Traffic, FormatC(1024, format, args));
    va_end(args);
}

void LogQueue::Append(std::string_view text) {
    ui_.QueueAppendText(Pane::Traffic, text);
}

void LogQueue::ResetFormat() {
    ui_.QueueClear(Pane::Traffic);
    trafficColour_ = 1;
    ui_.QueueSetColor(Pane::Traffic, 1);
}

void LogQueue::SetColorIfChanged(int code) {
    if (code == statusColour_)
        return;
    statusColour_ = code;
    ui_.QueueSetColor(Pane::Status, code);
}

void LogQueue::PrintfMain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ui_.QueueAppendText(Pane::Status, FormatC(1024, format, args));
    va_end(args);
}

void LogQueue::ResetFormatMain() {
    ui_.QueueClear(Pane::Status);
    if (statusColour_ != 1) {
        statusColour_ = 1;
        ui_.QueueSetColor(Pane::Status, 1);
    }
}

void LogQueue::SetEvbColor(int code) {
    ui_.QueueSetColor(Pane::Evb, code);
}

void LogQueue::PrintfEvb(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ui_.QueueAppendText(Pane::Evb, FormatC(1024, format, args));
    va_end(args);
}

uint32_t LogColourRef(int code) {
    static const uint32_t kColours[] = {0,        0,        0x008000, 0x0000FF,
                                        0xFF0000, 0xE22B8A, 0x008CFF, 0x808000};
    return code >= 0 && code < 8 ? kColours[code] : 0;
}

bool IsValidFunctionName(std::string_view text) {
    if (text.empty())
        return false;
    const unsigned char first = static_cast<unsigned char>(text.front());
    if (!(std::isalpha(first) || first == '_'))
        return false;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || u == '_'))
            return false;
    }
    return true;
}

} // namespace busgate
