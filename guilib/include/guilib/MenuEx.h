// A pop-up menu of the editor: an item tree and the native pop-up menu made
// from it each time it opens. Items keep their commands (0 is a command);
// separators have none. A chooser may stand in for the native menu (no
// display, scripted runs).
#pragma once

#include "foundation/KURect.h"
#include "guilib/QGLExport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class KCMenu;
class KCMenuData;
class KCWindow;

class QGL_API KCMenuEx {
public:
    // One item as the menu shows it.
    struct Item {
        std::string title;
        short command = -1;
        bool separator = false;
        bool checked = false;
        bool disabled = false;
    };
    // Picks an item of the opened menu: its command, or -1 for none.
    using Chooser = std::function<long(const KCMenuEx& menu)>;

    KCMenuEx();
    KCMenuEx(const KCMenuEx& other);
    KCMenuEx& operator=(const KCMenuEx& other);
    ~KCMenuEx();

    void Append(const std::string& title, short command, bool checked = false,
                bool disabled = false);
    void AppendSeparator();
    void Clear();
    std::vector<Item> GetItems() const;

    KCMenu& GetMenu() { return *menu_; }
    void* GetMenuRef() const;
    // The native menu reference, as GetMenuRef.
    operator void*() const { return GetMenuRef(); }
    KCMenuData& GetMenuData() { return *data_; }
    const KCMenuData& GetMenuData() const { return *data_; }

    // Opens the menu at `where` (client coordinates of the window):
    // selection := the chosen command, -1 when none; 0 when an item was
    // chosen, else non-zero.
    long ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where, long& selection);

    // The chooser used instead of native menus from now on (empty: none);
    // returns the one it replaces.
    static Chooser SetChooser(Chooser chooser);

private:
    std::unique_ptr<KCMenu> menu_;
    std::unique_ptr<KCMenuData> data_;
};

// The mouse position in client coordinates of the window's drawing surface
// (0, 0 when the window has none).
QGL_API KCPoint<short> KMMouseInWindow(const KCWindow& window);
