#include "../fm/FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KUTrace.h"

#include <X11/Xlib.h>
#include <wx/app.h>
#include <wx/gdicmn.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include <climits>
#include <mutex>
#include <string>

void CGeneralSysUtils::DefaultAlert(const char* text, const char* caption) {
    const std::string message = text ? text : "";
    const std::string title = caption ? caption : "";
    if (wxAppConsole::GetInstance() != nullptr && wxAppConsole::GetInstance()->IsGUI() &&
        wxIsMainThread()) {
        wxMessageBox(wxString::FromUTF8(message), wxString::FromUTF8(title),
                     wxOK | wxICON_INFORMATION);
        return;
    }
    KUTraceLine(title.empty() ? message : title + ": " + message);
}

namespace {

// The size of the primary screen: the toolkit's when it runs; otherwise
// through a connection of this process's own, opened once and kept. Opening
// and closing the only connection of an X server resets the server, and a
// client connecting meanwhile (the toolkit starting, another program) finds
// no display.
bool PrimaryScreenSize(int& width, int& height) {
    if (wxAppConsole::GetInstance() != nullptr && wxAppConsole::GetInstance()->IsGUI() &&
        wxIsMainThread()) {
        wxDisplaySize(&width, &height);
        return width > 0 && height > 0;
    }
    static Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    const int screen = DefaultScreen(display);
    width = DisplayWidth(display, screen);
    height = DisplayHeight(display, screen);
    return true;
}

} // namespace

void CGeneralSysUtils::GetScreenRectInPixels(KURect<short>& out) {
    out = KURect<short>();
    int width = 0, height = 0;
    if (!PrimaryScreenSize(width, height))
        return;
    out.Set(0, 0, static_cast<short>(height > SHRT_MAX ? SHRT_MAX : height),
            static_cast<short>(width > SHRT_MAX ? SHRT_MAX : width));
}
