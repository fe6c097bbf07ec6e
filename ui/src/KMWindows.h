// The native windows that stand for framework windows.
#pragma once

#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/window.h>

// A top-level framework window: a frame whose client area is its surface.
class KMFrame : public wxFrame {
public:
    KMFrame(wxWindow* parent, const wxString& title, const wxPoint& pos, long style);
    ~KMFrame() override;
};

// The surface of a plain (kind 0) window.
class KMPanel : public wxWindow {
public:
    KMPanel(wxWindow* parent, const wxPoint& pos, const wxSize& size);
    ~KMPanel() override;
};

// The surface of an OpenGL (kind 1) window.
class KMCanvas : public wxGLCanvas {
public:
    KMCanvas(wxWindow* parent, const wxGLAttributes& attrs, const wxPoint& pos, const wxSize& size);
    ~KMCanvas() override;
};

namespace KMWindows {

// A native window of a record is being deleted: the record forgets it.
void NativeWindowGone(wxWindow* window);
// True for a window that is neither being deleted nor waiting for it.
bool IsAlive(const wxWindow* window);
// The edit controls under a window that is going away forget their records.
void DetachControlsOf(wxWindow* window);
// A frame's menu bar goes with the frame: the menu table forgets it.
void ForgetMenuBarOf(wxFrame* frame);
// True while a pop-up menu is being tracked (its opening is not reported).
bool TrackingPopup();

} // namespace KMWindows
