// Helpers of the tests of the program's windows: finding top-level windows
// by title and scripting modal dialogs.
#pragma once

#include <functional>
#include <string>

#include <wx/toplevel.h>

#include "display_harness.h"

namespace gui {

// The shown top-level window with that title, or null.
inline wxTopLevelWindow* FindTopLevel(const std::string& title) {
    for (wxWindow* w : wxTopLevelWindows) {
        auto* top = dynamic_cast<wxTopLevelWindow*>(w);
        if (top != nullptr && top->GetTitle().utf8_string() == title && top->IsShown())
            return top;
    }
    return nullptr;
}

// Runs `step` once a modal loop runs and the window titled `title` is
// shown; gives up (failing the test) after about five seconds.
inline void WhenModal(const std::string& title, std::function<void(wxTopLevelWindow*)> step,
                      int triesLeft = 1000) {
    wxTheApp->CallAfter([title, step, triesLeft] {
        wxTopLevelWindow* top = FindTopLevel(title);
        if (top != nullptr && KMEventLoopDepth() > 0) {
            step(top);
            return;
        }
        if (triesLeft <= 0) {
            ADD_FAILURE() << "no modal window titled " << title;
            KMQuitModalEventLoop(nullptr);
            return;
        }
        wxMilliSleep(5);
        WhenModal(title, step, triesLeft - 1);
    });
}

} // namespace gui
