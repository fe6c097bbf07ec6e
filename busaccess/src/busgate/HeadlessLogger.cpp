#include "busaccess/busgate/HeadlessLogger.h"

#include "busaccess/busgate/TraceSink.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace busgate {

namespace {

const char* PaneName(Pane pane) {
    switch (pane) {
    case Pane::Traffic:
        return "traffic";
    case Pane::Status:
        return "status";
    case Pane::Evb:
        break;
    }
    return "evb";
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            out += c;
        }
    }
}

// The default sink: QUORL_BUSGATE_LOG when set, else the trace sink. The
// file is opened once, for appending, and flushed after every record.
class DefaultWriter {
public:
    DefaultWriter() {
        const char* path = std::getenv("QUORL_BUSGATE_LOG");
        if (path && *path)
            file_ = std::fopen(path, "a");
    }
    ~DefaultWriter() {
        if (file_)
            std::fclose(file_);
    }
    DefaultWriter(const DefaultWriter&) = delete;
    DefaultWriter& operator=(const DefaultWriter&) = delete;

    void operator()(std::string_view record) {
        if (!file_)
            return TraceWrite(record);
        std::fwrite(record.data(), 1, record.size(), file_);
        std::fflush(file_);
    }

private:
    FILE* file_ = nullptr;
};

} // namespace

std::string HeadlessRecord(Pane pane, int colour, std::string_view text) {
    std::string out = PaneName(pane);
    out += ' ';
    out += std::to_string(colour);
    out += " \"";
    AppendEscaped(out, text);
    out += "\"\n";
    return out;
}

HeadlessLogger::HeadlessLogger(Writer writer) : writer_(std::move(writer)) {
    if (!writer_) {
        auto file = std::make_shared<DefaultWriter>();
        writer_ = [file](std::string_view record) { (*file)(record); };
    }
}

HeadlessLogger::~HeadlessLogger() = default;

void HeadlessLogger::SetChecked(int id, bool checked) {
    checked_[id] = checked;
}

bool HeadlessLogger::IsChecked(int id) const {
    auto it = checked_.find(id);
    return it != checked_.end() && it->second;
}

void HeadlessLogger::EnableControl(int id, bool enable) {
    enabled_[id] = enable;
}

bool HeadlessLogger::IsEnabled(int id) const {
    auto it = enabled_.find(id);
    return it != enabled_.end() && it->second;
}

void HeadlessLogger::CreateMainDialog(HostWindow) {
    mainExists_ = true;
}

CEvbCfg_Dialog* HeadlessLogger::CreateEvbDialog(int boardType) {
    if (!evb_ || evbType_ != boardType) {
        evb_ = std::make_unique<CEvbCfg_Dialog>();
        evbType_ = boardType;
    }
    return evb_.get();
}

void HeadlessLogger::DestroyEvbDialogs() {
    evb_.reset();
    evbType_ = 0;
}

void HeadlessLogger::QueueSetColor(Pane pane, int code) {
    std::lock_guard<std::mutex> guard(mutex_);
    colour_[static_cast<int>(pane)] = code;
}

void HeadlessLogger::QueueAppendText(Pane pane, std::string_view text) {
    std::lock_guard<std::mutex> guard(mutex_);
    writer_(HeadlessRecord(pane, colour_[static_cast<int>(pane)], text));
}

void HeadlessLogger::QueueClear(Pane pane) {
    std::lock_guard<std::mutex> guard(mutex_);
    writer_(std::string(PaneName(pane)) + " clear\n");
}

} // namespace busgate
