// Helpers of the tests of the program's windows: finding top-level windows
// by title and scripting modal dialogs.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include <GL/gl.h>
#include <wx/toplevel.h>

#include "display_harness.h"
#include "ui/GMRenderer.h"

namespace gui {

struct Pixel {
    int r, g, b;
    bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b; }
};
inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

// One pixel of a window's drawing, read back from its context.
inline Pixel ReadPixel(KCWindow& window, int x, int y) {
    GMBind2RC(window);
    unsigned char p[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(x, window.bounds.Height() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

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
