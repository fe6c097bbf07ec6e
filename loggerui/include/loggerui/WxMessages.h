// The logger's message boxes over wxWidgets: information, error and Yes/No
// boxes owned by the window the owner function names.
#pragma once

#include "busaccess/MessageService.h"

#include <functional>
#include <memory>

class wxWindow;

namespace loggerui {

class WxMessageService final : public busaccess::MessageService,
                               public std::enable_shared_from_this<WxMessageService> {
public:
    // owner: the window that owns the boxes (may return null).
    explicit WxMessageService(std::function<wxWindow*()> owner = {});

    // On the GUI thread the boxes are modal. From another thread a box is
    // handed to the GUI thread and the caller goes on; a question asked
    // there cannot wait for the user (the GUI thread may be waiting for the
    // caller) and is answered No, with a trace line.
    void showInformation(const std::string& text, const std::string& caption) override;
    void showError(const std::string& text, const std::string& caption) override;
    void showPlain(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;

private:
    // Hands a box to the GUI thread; it is shown there if this service
    // still exists.
    void Later(const std::string& text, const std::string& caption, long style);
    int Show(const std::string& text, const std::string& caption, long style);

    std::function<wxWindow*()> owner_;
};

} // namespace loggerui
