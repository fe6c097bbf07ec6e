// How a logger page is made, one way for every page: the object, kept in
// its page pointer, then its window. A step that fails shows the "Debug"
// box that names the step and the page ("DulmLogger Init\nnew AeqCfgDlg
// Fail", "DulmLogger Init\nCreate AeqCfgDlg Fail"); the page is removed
// after a failed window, and the process ends with exit status -1.
#pragma once

#include "busaccess/MessageService.h"

#include <cstdlib>

namespace loggerui {

struct PageName {
    const char* name; // "AeqCfgDlg"
    bool errorIcon;   // the box has the error icon, else none
};

// The box of a failed step ("new" or "Create").
void ShowPageFailure(busaccess::MessageService& messages, const char* step, const PageName& page);

// allocate(): the new page stored in its page pointer, or null when it
// could not be allocated. destroy(): the page's window and object gone and
// its pointer cleared.
template <typename Page, typename Parent, typename Allocate, typename Destroy>
Page& MakePage(busaccess::MessageService& messages, const PageName& page, Parent* parent,
               Allocate allocate, Destroy destroy) {
    Page* made = allocate();
    if (!made) {
        ShowPageFailure(messages, "new", page);
        std::exit(-1);
    }
    if (!made->Create(parent)) {
        ShowPageFailure(messages, "Create", page);
        destroy();
        std::exit(-1);
    }
    return *made;
}

} // namespace loggerui
