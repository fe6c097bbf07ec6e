#include "../fm/FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KUTrace.h"

#include <X11/Xlib.h>
#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include <climits>
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

void CGeneralSysUtils::GetScreenRectInPixels(KURect<short>& out) {
    out = KURect<short>();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    XCloseDisplay(display);
    out.Set(0, 0, static_cast<short>(height > SHRT_MAX ? SHRT_MAX : height),
            static_cast<short>(width > SHRT_MAX ? SHRT_MAX : width));
}
