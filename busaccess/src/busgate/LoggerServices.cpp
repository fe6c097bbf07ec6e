#include "busaccess/busgate/LoggerServices.h"

#include "busaccess/busgate/FilterLog.h"

namespace busgate {

namespace {

constexpr std::size_t kMessageLimit = 1024;

bool IsAsciiLetter(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length a UTF-8 lead byte announces; 0 for a byte that leads nothing.
std::size_t SequenceLength(unsigned char lead) {
    return lead < 0x80         ? 1
           : (lead >> 5) == 6  ? 2
           : (lead >> 4) == 14 ? 3
           : (lead >> 3) == 30 ? 4
                               : 0;
}

// True when text is well-formed UTF-8 up to `end`.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if (!IsContinuation(static_cast<unsigned char>(text[i + k])))
                return false;
        i += length;
    }
    return true;
}

// Drops a UTF-8 character that the cut left unfinished at the end; text that
// is no UTF-8 (Latin-1) is kept as it is.
void DropUnfinishedCharacter(std::string& text) {
    std::size_t lead = text.size();
    while (lead > 0 && text.size() - lead < 4 &&
           IsContinuation(static_cast<unsigned char>(text[lead - 1])))
        --lead;
    if (lead == 0)
        return;
    --lead;
    const std::size_t length = SequenceLength(static_cast<unsigned char>(text[lead]));
    if (length > 1 && lead + length > text.size() && IsUtf8(std::string_view(text).substr(0, lead)))
        text.resize(lead);
}

} // namespace

std::string FormatMessage(std::size_t limit, const char* format, va_list args) {
    std::string text = FormatC(limit, format, args);
    if (limit > 0 && text.size() == limit - 1)
        DropUnfinishedCharacter(text);
    return text;
}

class LogQueue::Hold {
public:
    explicit Hold(LoggerLock* lock) : lock_(lock) {
        if (lock_)
            lock_->Lock();
    }
    ~Hold() {
        if (lock_)
            lock_->Unlock();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    LoggerLock* lock_;
};

void LogQueue::PrintfTo(Pane pane, const char* format, va_list args) {
    const std::string text = FormatMessage(kMessageLimit, format, args);
    Hold hold(lock_);
    ui_.QueueAppendText(pane, text);
}

void LogQueue::SetTrafficColor(int code) {
    Hold hold(lock_);
    if (code == trafficColour_)
        return;
    trafficColour_ = code;
    ui_.QueueSetColor(Pane::Traffic, code);
}

void LogQueue::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintfTo(Pane::Traffic, format, args);
    va_end(args);
}

void LogQueue::Append(std::string_view text) {
    Hold hold(lock_);
    ui_.QueueAppendText(Pane::Traffic, text);
}

void LogQueue::ResetFormat() {
    Hold hold(lock_);
    ui_.QueueClear(Pane::Traffic);
    ui_.QueueSetColor(Pane::Traffic, 1);
    trafficColour_ = 0;
}

void LogQueue::SetColorIfChanged(int code) {
    Hold hold(lock_);
    if (code == statusColour_)
        return;
    statusColour_ = code;
    ui_.QueueSetColor(Pane::Status, code);
}

void LogQueue::PrintfMain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintfTo(Pane::Status, format, args);
    va_end(args);
}

void LogQueue::ResetFormatMain() {
    Hold hold(lock_);
    ui_.QueueClear(Pane::Status);
    if (statusColour_ != 0) {
        statusColour_ = 0;
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
    const unsigned first = static_cast<unsigned char>(text.front());
    if (!(IsAsciiLetter(first) || first == '_'))
        return false;
    for (char c : text) {
        const unsigned u = static_cast<unsigned char>(c);
        if (!(IsAsciiLetter(u) || (u >= '0' && u <= '9') || u == '_'))
            return false;
    }
    return true;
}

bool IsValidFunctionName(std::wstring_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) {
        if (c < 0 || c > 127)
            return false;
        narrow += static_cast<char>(c);
    }
    return IsValidFunctionName(std::string_view(narrow));
}

} // namespace busgate
