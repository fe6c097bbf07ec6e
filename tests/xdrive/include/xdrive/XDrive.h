// Drives the real programs' windows from outside, over the X display: finds
// top-level windows by title, sends real pointer events (XTest), asks a
// window to close as a window manager does, and takes a window's picture.
// Used by the whole-system test, the README's picture script and the
// session benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xdrive {

using WindowId = unsigned long;

struct Geometry {
    int x = 0; // root coordinates of the window's top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
};

// One RGB picture, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    // True when every pixel has the same colour.
    bool IsUniform() const;
};

class Display {
public:
    // Opens the display named by DISPLAY; Ok() tells whether it opened.
    Display();
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    bool Ok() const { return display_ != nullptr; }
    // True when the XTest extension is there (pointer events need it).
    bool HasXTest() const;

    // The first window whose title equals `title` (or starts with it when
    // `prefix`), searched through the whole tree; 0 when none.
    WindowId FindWindow(const std::string& title, bool prefix) const;
    // Waits (polling) until such a window is viewable; 0 when it did not
    // appear within `seconds`.
    WindowId WaitForWindow(const std::string& title, bool prefix, double seconds) const;
    bool IsMapped(WindowId w) const;
    // The viewable pop-up windows (menus, tool tips: top-level windows that
    // no window manager handles), bottom to top.
    std::vector<WindowId> Popups() const;
    std::optional<Geometry> GetGeometry(WindowId w) const;
    std::string GetTitle(WindowId w) const;

    // Pointer events at window-relative coordinates; drags move in steps.
    bool Click(WindowId w, int x, int y);
    bool Drag(WindowId w, int x1, int y1, int x2, int y2, int steps);
    // Like Drag, and returns the wall-clock time of the button's release
    // (milliseconds since the epoch); 0 on failure.
    int64_t DragTimed(WindowId w, int x1, int y1, int x2, int y2, int steps);
    // The pieces of a gesture; each returns the wall-clock time (ms) at
    // which its event went out, 0 on failure.
    int64_t Press(WindowId w, int x, int y);
    int64_t MoveTo(WindowId w, int x, int y);
    int64_t Release();

    // Presses and releases the keys named by X keysym names ("Down",
    // "Return", "a") one after the other, to whichever window has the focus.
    bool Keys(const std::vector<std::string>& names);

    // WM_DELETE_WINDOW, as the window manager's close box sends it.
    bool Close(WindowId w);
    // Moves a top-level window (root coordinates of its top-left corner) and
    // raises it, as a user dragging its title bar would; waits until the
    // move has happened. On a display without a window manager every window
    // starts at the top-left corner, over the others.
    bool Move(WindowId w, int x, int y);

    // The window's pixels as they are on the screen (the part on it).
    std::optional<Picture> Snap(WindowId w) const;

private:
    void Sync() const;
    void* display_ = nullptr;
};

// Writes a picture as an 8-bit RGB PNG file (written beside and renamed).
bool WritePng(const Picture& picture, const std::string& path, std::string& error);

// Milliseconds since the epoch (the clock of u2c-sim's transfer log).
int64_t WallClockMs();

// The rectangle (top, left, bottom, right) in a plug-in module's editor
// layout (resource 'XGUI' 1000) of the first control whose leading
// parameter is `what` (a number), or of the tool-bar button named `what`;
// empty when the module has no layout or no such element.
std::optional<std::vector<int>> LayoutRect(const std::string& module, const std::string& what,
                                           std::string& error);

} // namespace xdrive
