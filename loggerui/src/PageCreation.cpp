#include "loggerui/PageCreation.h"

#include <string>

namespace loggerui {

void ShowPageFailure(busaccess::MessageService& messages, const char* step, const PageName& page) {
    const std::string text = std::string("DulmLogger Init\n") + step + " " + page.name + " Fail";
    if (page.errorIcon)
        messages.showError(text, "Debug");
    else
        messages.showPlain(text, "Debug");
}

} // namespace loggerui
