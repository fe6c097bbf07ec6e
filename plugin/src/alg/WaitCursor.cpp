#include "plugin/WaitCursor.h"

#include <wx/app.h>
#include <wx/thread.h>
#include <wx/utils.h>

namespace {

bool GuiRunning() {
    return wxTheApp != nullptr && wxThread::IsMain();
}

} // namespace

CScopedWaitCursor::CScopedWaitCursor() {
    if (!GuiRunning())
        return;
    // The toolkit keeps the cursor in force and counts nested waits.
    wxBeginBusyCursor();
    shown_ = true;
}

CScopedWaitCursor::~CScopedWaitCursor() {
    if (shown_)
        wxEndBusyCursor();
}

bool CScopedWaitCursor::IsShown() {
    return GuiRunning() && wxIsBusy();
}
