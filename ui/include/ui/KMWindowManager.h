// The window manager: windows, controls, message loops, capture, native
// menus and message boxes over wxWidgets.
//
// Every function runs on the GUI thread and returns a KTErr. Functions that
// need the toolkit fail with eGenericSystemError when no display is open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/KCCreationOptions.h"
#include "ui/KCRegion.h"
#include "ui/KCWindow.h"

class wxGLCanvas;
class wxWindow;
class KCNativeImage;

// --- process-wide state ----------------------------------------------------

// `instance` is a module handle from dlopen(), or null for the program.
// Builds the names of the two window classes from the module's leaf name.
KTErr KMInit(void* instance);
KTErr KMDispose();
// The class names of the last KMInit ("<leaf> Generic Window Class" and
// "<leaf> Generic openGL Window Class"); empty when not initialised.
const std::string& KMGetWindowClassName(bool openGL);
// True when a display is open and windows can be created.
bool KMHasDisplay();

// --- windows ---------------------------------------------------------------

KTErr KMCreateWindow(const KCWinCreateOpts& options, KCWindow& window);
KTErr KMDisposeWindow(KCWindow& window);
// Deletes now the windows that wait for the idle loop to delete them (a
// library about to be closed may have bound their event handlers).
void KMDeleteDisposedWindows();
KTErr KMShowWindow(const KCWindow& window);
KTErr KMHideWindow(const KCWindow& window);
KTErr KMInvalidateRect(const KCWindow& window, const KURect<short>& rect);
KTErr KMSetWindowTitle(KCWindow* window, const std::string& title);
KTErr KMGetWindowBounds(const KCWindow& window, KURect<short>& bounds);
KTErr KMRepositionWindow(const KCWindow& window, const KCWindow* relative,
                         const KCPoint<short>& point, bool centreHorizontally,
                         bool centreVertically, bool repaint);
KTErr KMResizeWindow(KCWindow& window, unsigned short width, unsigned short height, bool repaint);
// Sizes a top-level window of the toolkit to `width` x `height` (outer
// size) and keeps it at that size; the windows inside follow its client
// area, clipped with their top-left corner kept, so that a fixed-size frame
// also shrinks around a drawing window larger than the new size.
bool KMSetTopLevelSize(wxWindow* top, int width, int height);
KTErr KMLocalToGlobal(const KCWindow& window, const KCPoint<short>& in, KCPoint<short>& out);
KTErr KMGlobalToLocal(const KCWindow& window, const KCPoint<short>& in, KCPoint<short>& out);
// The part of the window's client area on the screen (window coordinates);
// exported with the region by a library that carries the window framework.
__attribute__((visibility("default"))) KTErr KMGetVisibleRegion(const KCWindow& window,
                                                                KCRegion& region);
// Paired capture: a window holds the capture at most once; capturing another
// window moves it. A capture the system takes away cancels the mouse mode of
// the window (eMouseUp while a button is down).
KTErr KMSetCapture(const KCWindow& window);
KTErr KMReleaseCapture();
// The drawing surface of a kind-1 window, for rendering contexts; null for
// other windows.
wxGLCanvas* KMGetGLCanvas(const KCWindow& window);
// The record of a native window made by KMCreateWindow, or null.
KCWindow* KMGetWindowRecord(wxWindow* native);

// --- message loops ---------------------------------------------------------

// Each loop ends at the first quit request; a quit requested while no loop
// runs ends the next loop at once.
KTErr KMRunAppEventLoop();
KTErr KMQuitAppEventLoop();
// Disables the other visible enabled top-level windows, runs the loop, and
// enables again exactly the windows it disabled. The windows receive
// eEnableState as their state changes.
KTErr KMRunModalEventLoop(KCWindow& window);
KTErr KMQuitModalEventLoop(void* unused);
KTErr KMRunControlEventLoop(KCControl& control);
// Depth of running framework loops (0 when none runs).
int KMEventLoopDepth();

// --- controls --------------------------------------------------------------

KTErr KMCreateControl(const KCControlCreationOptions& options, KCControl& control);
KTErr KMCreateListControl(const KCListControlCreationOptions& options, wxWindow*& handle);
// Bit 0 of `bits`: the button is checked.
KTErr KMGetButtonControlState(const KCControl& control, uint32_t& bits);
KTErr KMSetButtonControlState(const KCControl& control, const uint32_t& bits);
KTErr KMDisposeControl(KCControl& control);
KTErr KMShowControl(const KCControl& control);
KTErr KMGetControlByID(const KCWindow& window, short id, KCControl& control);
KTErr KMSetControlText(const KCControl& control, const std::string& text);
KTErr KMGetControlText(const KCControl& control, std::string& text);
KTErr KMGetControlBounds(const KCControl& control, KURect<short>& bounds);

// --- menus -----------------------------------------------------------------

struct KCMenuCreationOptions {
    int16_t menuID = 3650;
    std::string fontName = "geneva";
    int32_t fontSize = 9;
};

enum : uint32_t {
    kMenuItemSeparator = 0x1,
    kMenuItemDisabled = 0x2,
    kMenuItemChecked = 0x4,
    kMenuItemUnderlined = 0x8,
    kMenuItemSubmenu = 0x10,
    kMenuItemStateMatch = 0x20,
};

struct KCMenuItemInfo {
    std::wstring title;
    uint32_t unused = 0;
    KCNativeImage* image = nullptr;
    uint32_t flags = 0;
    uint16_t position = 0xFFFF; // 0xFFFF: append
    uint8_t unusedFlag = 0;
    int16_t command = 0;
};

// The next identifier of a native menu from the process-wide counter: 128,
// 129, ... up to 32766, then 127 again.
int16_t KMNextMenuID();
// Sets the counter (tests and the menu objects' own bookkeeping).
void KMSetMenuIDCounter(uint16_t value);

// Native menus are passed as untyped pointers. A menu made by KMCreateMenu or
// KMCreatePopupMenu takes items and submenus and can itself be a submenu or a
// drop-down of a menu bar; only a menu made by KMCreateMenuBar (identifier 0)
// can be attached to a window with KMSetMenuBar, and it holds submenus only.
KTErr KMCreateMenu(const KCMenuCreationOptions& options, void*& menu);
KTErr KMCreatePopupMenu(const KCMenuCreationOptions& options, void*& menu);
KTErr KMCreateMenuBar(void*& menu);
KTErr KMSetMenuBar(void*& menu, void* window);
KTErr KMDisposeMenu(void*& menu);
KTErr KMDisposeMenuBar(void*& menu);
KTErr KMClearMenu(const void* const& menu);
KTErr KMAddMenuItem(const void* const& menu, const KCMenuItemInfo& info, bool zeroBasedCommands);
KTErr KMAddSubMenu(const void* const& menu, const KCMenuItemInfo& info, const void* const& submenu);
KTErr KMActivatePopup(const void* const& menu, const KCWindow& window, const KCPoint<short>& where,
                      short& command, bool zeroBasedCommands);
KTErr KMActivatePopup(const void* const& menu, const KCWindow& window, const KCPoint<short>& where,
                      short& position, short& menuID);
// The identifier a native menu was made with; false for an unknown menu.
bool KMGetMenuID(const void* menu, int16_t& id);
// The item data of the command item with that command, searched as the
// pop-up search does; 0 when none.
uint32_t KMFindMenuItemData(const void* menu, int command);

// Pads the texts of a menu in which some items carry an image: every text
// gets two leading spaces, and those without an image are filled with spaces
// to the longest text's length + 8. Nothing changes when no item has one.
void KMPadMenuTexts(std::vector<std::wstring>& texts, const std::vector<bool>& hasImage);

// --- message boxes ---------------------------------------------------------

struct KMMessageInfo {
    KCWindow* owner = nullptr; // may be null
    uint32_t unused = 0;
    int32_t kind = 0; // 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel, other OK
    std::string title;
    std::string message;
};

enum eKMMessageResult : int32_t {
    eKMOther = 0,
    eKMYes = 1,
    eKMNo = 2,
    eKMCancel = 3,
};

// The service that shows message boxes; tests install one that answers.
class KMMessageService {
public:
    virtual ~KMMessageService() = default;
    // Shows one box with the caption, the text and the button set of `kind`;
    // a non-zero status when it cannot be shown (the answer is not written).
    virtual KTErr Show(KCWindow* owner, int32_t kind, const std::string& caption,
                       const std::string& text, eKMMessageResult& answer) = 0;
};

// Installs a service (null: the built-in one) and returns the previous one.
KMMessageService* KMSetMessageService(KMMessageService* service);

KTErr KMStandardMessage(KMMessageInfo* info, eKMMessageResult& answer);
