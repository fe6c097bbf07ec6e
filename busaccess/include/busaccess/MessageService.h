// How the bus library tells the user something: a dialog in the GUI, a
// trace line when headless. The GUI installs its own service.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace busaccess {

class MessageService {
public:
    virtual ~MessageService() = default;
    // An information message with its caption.
    virtual void showInformation(const std::string& text, const std::string& caption) = 0;
    // An error message with its caption (shown with the error icon); a
    // service without its own error box shows it as information.
    virtual void showError(const std::string& text, const std::string& caption) {
        showInformation(text, caption);
    }
    // A message without an icon; a service without such a box shows it as
    // information.
    virtual void showPlain(const std::string& text, const std::string& caption) {
        showInformation(text, caption);
    }
    // A Yes/No question; true for Yes. A service that cannot ask answers No.
    virtual bool askYesNo(const std::string& text, const std::string& caption) {
        showInformation(text, caption);
        return false;
    }
};

// Headless: one trace line "caption: text" on the trace sink (stderr, or
// the file named by QUORL_TRACE).
class TraceMessageService final : public MessageService {
public:
    void showInformation(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text, const std::string& caption) override;
};

// The trace sink of the bus library: the file named by QUORL_TRACE
// (appended), or stderr. Each call's text is written whole.
void WriteTrace(std::string_view text);
// Appends one line to the trace sink.
void WriteTraceLine(const std::string& line);

} // namespace busaccess
