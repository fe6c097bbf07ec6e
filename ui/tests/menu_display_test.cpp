#include <dlfcn.h>

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "display_harness.h"

using display::Log;
using R = KURect<short>;

namespace {

KCMenuItemInfo Item(const wchar_t* title, short command, uint32_t flags = 0) {
    KCMenuItemInfo i;
    i.title = title;
    i.command = command;
    i.flags = flags;
    return i;
}

void* NewPopup() {
    KCMenuCreationOptions o;
    o.menuID = KMNextMenuID();
    void* menu = nullptr;
    EXPECT_EQ(KMCreatePopupMenu(o, menu), eNoErr);
    return menu;
}

// Closes a pop-up menu that is being tracked, as a click elsewhere would.
void CloseTrackedMenu(wxMenu* menu) {
    using Popdown = void (*)(void*);
    static const auto popdown = reinterpret_cast<Popdown>(dlsym(RTLD_DEFAULT, "gtk_menu_popdown"));
    if (popdown != nullptr && menu->m_menu != nullptr)
        popdown(menu->m_menu);
}

} // namespace

TEST(Menus, IdentifiersItemDataAndPopups) {
    REQUIRE_DISPLAY();
    KMSetMenuIDCounter(127);
    void* first = NewPopup();
    void* second = NewPopup();
    void* third = NewPopup();
    int16_t id = 0;
    ASSERT_TRUE(KMGetMenuID(first, id));
    EXPECT_EQ(id, 128);
    ASSERT_TRUE(KMGetMenuID(second, id));
    EXPECT_EQ(id, 129);
    ASSERT_TRUE(KMGetMenuID(third, id));
    EXPECT_EQ(id, 130);

    ASSERT_EQ(KMAddMenuItem(first, Item(L"Zero", 0), true), eNoErr);
    ASSERT_EQ(KMAddMenuItem(first, Item(L"", 0, kMenuItemSeparator), true), eNoErr);
    ASSERT_EQ(KMAddMenuItem(first, Item(L"", 4, kMenuItemChecked | kMenuItemDisabled), true),
              eNoErr);
    ASSERT_EQ(KMAddMenuItem(second, Item(L"Inner", 9), false), eNoErr);
    ASSERT_EQ(KMAddSubMenu(first, Item(L"More", 0), second), eNoErr);

    auto* menu = static_cast<wxMenu*>(first);
    ASSERT_EQ(menu->GetMenuItemCount(), 4u);
    wxMenuItem* zero = menu->FindItemByPosition(0);
    EXPECT_EQ(zero->GetId(), 1); // zero-based command 0 is stored as 1
    wxMenuItem* blank = menu->FindItemByPosition(2);
    EXPECT_EQ(blank->GetItemLabel(), " ");
    EXPECT_TRUE(blank->IsChecked());
    EXPECT_FALSE(blank->IsEnabled());
    EXPECT_EQ(KMFindMenuItemData(first, 1), (1u << 16) | 128u);
    EXPECT_EQ(KMFindMenuItemData(first, 5), (3u << 16) | 128u);
    EXPECT_EQ(KMFindMenuItemData(first, 9), (1u << 16) | 129u); // found in the submenu

    Log log;
    KCWindow w;
    display::Open(w, display::Options(log, R(100, 100, 300, 300)));
    wxUIActionSimulator sim;

    // Pop-ups open from a click, as an application opens them; the simulated
    // keys go out once the pop-up is open.
    int opened = 0;
    auto onOpen = [&](wxMenuEvent& e) {
        ++opened;
        e.Skip();
    };
    w.windowHandle->Bind(wxEVT_MENU_OPEN, onOpen);
    static_cast<wxWindow*>(w.deviceContext)->Bind(wxEVT_MENU_OPEN, onOpen);
    std::vector<int> keys;
    int ticksOpen = 0;
    bool gaveUp = false;
    wxTimer typist;
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (opened == 0)
            return;
        if (++ticksOpen > 30) { // the keys never reach it: fail, do not hang
            gaveUp = true;
            CloseTrackedMenu(menu);
            return;
        }
        if (keys.empty()) { // a pop-up still open after the script: close it
            sim.Char(WXK_ESCAPE);
            return;
        }
        sim.Char(keys.front());
        keys.erase(keys.begin());
    });
    typist.Start(100);
    short command = 5;
    KTErr result = 1;
    bool byPosition = false;
    short position = -7, menuID = -7;
    log.onEvent = [&](KEEventTypes e, KCEventData*) {
        if (e != eMouseDown)
            return;
        if (byPosition)
            result = KMActivatePopup(first, w, KCPoint<short>(10, 10), position, menuID);
        else
            result = KMActivatePopup(first, w, KCPoint<short>(10, 10), command, true);
    };
    auto popUp = [&](std::vector<int> typed) {
        opened = 0;
        ticksOpen = 0;
        result = 1;
        keys = typed;
        sim.MouseMove(display::Screen(w, 10, 10));
        display::Pump(50);
        sim.MouseClick(wxMOUSE_BTN_RIGHT);
        display::PumpUntil([&] { return result != 1; }, 5000);
        EXPECT_FALSE(gaveUp);
        gaveUp = false;
    };

    popUp({WXK_ESCAPE}); // dismissed without a choice
    EXPECT_GT(opened, 0);
    EXPECT_EQ(result, eUserCanceled);
    EXPECT_EQ(command, -1);

    popUp({WXK_DOWN, WXK_RETURN}); // the first item
    EXPECT_EQ(result, eNoErr);
    EXPECT_EQ(command, 0);

    // The second form answers the chosen item's position and menu.
    byPosition = true;
    popUp({WXK_ESCAPE});
    EXPECT_EQ(result, eUserCanceled);
    EXPECT_EQ(position, -7); // unchanged
    popUp({WXK_DOWN, WXK_RETURN});
    EXPECT_EQ(result, eNoErr);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(menuID, 128);
    typist.Stop();
    log.onEvent = nullptr;
    EXPECT_EQ(command, 0);

    EXPECT_EQ(KMClearMenu(first), eNoErr);
    EXPECT_EQ(menu->GetMenuItemCount(), 0u);
    EXPECT_FALSE(KMGetMenuID(second, id)); // went with its parent item
    EXPECT_EQ(KMDisposeMenu(first), eNoErr);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(KMDisposeMenu(third), eNoErr);
    KMDisposeWindow(w);
    display::Pump(20);
}

TEST(Menus, MenuBarCommandsAndOwnership) {
    REQUIRE_DISPLAY();
    void* bar = nullptr;
    ASSERT_EQ(KMCreateMenuBar(bar), eNoErr);
    int16_t id = -1;
    ASSERT_TRUE(KMGetMenuID(bar, id));
    EXPECT_EQ(id, 0);
    void* file = NewPopup();
    ASSERT_EQ(KMAddMenuItem(file, Item(L"Open", 301), false), eNoErr);
    ASSERT_EQ(KMAddSubMenu(bar, Item(L"File", 0), file), eNoErr);
    EXPECT_NE(KMAddMenuItem(bar, Item(L"Bare", 5), false), eNoErr); // a bar holds submenus

    // A menu of the menu-bar kind takes items, opens a submenu of the same
    // kind, and drops down from the bar.
    KCMenuCreationOptions audioOptions;
    audioOptions.menuID = 114;
    void* audio = nullptr;
    void* devices = nullptr;
    ASSERT_EQ(KMCreateMenu(audioOptions, audio), eNoErr);
    audioOptions.menuID = 115;
    ASSERT_EQ(KMCreateMenu(audioOptions, devices), eNoErr);
    ASSERT_TRUE(KMGetMenuID(audio, id));
    EXPECT_EQ(id, 114);
    ASSERT_EQ(KMAddMenuItem(audio, Item(L"Setup", 410), false), eNoErr);
    ASSERT_EQ(KMAddMenuItem(devices, Item(L"Device 0", 500), false), eNoErr);
    ASSERT_EQ(KMAddSubMenu(audio, Item(L"Devices", 0), devices), eNoErr);
    ASSERT_EQ(KMAddSubMenu(bar, Item(L"Audio", 0), audio), eNoErr);
    EXPECT_EQ(KMFindMenuItemData(audio, 500), (1u << 16) | 115u);
    EXPECT_EQ(static_cast<wxMenuBar*>(bar)->GetMenuCount(), 2u);

    Log log;
    KCWindow w;
    display::Open(w, display::Options(log, R(100, 100, 300, 300), kWinKindOpenGL, 0x87));
    ASSERT_EQ(KMSetMenuBar(bar, &w), eNoErr);
    auto* frame = dynamic_cast<wxFrame*>(w.windowHandle);
    ASSERT_EQ(frame->GetMenuBar(), bar);
    auto* surface = static_cast<wxWindow*>(w.deviceContext);
    display::PumpUntil([&] { return surface->GetClientSize() == wxSize(200, 200); }, 2000);
    EXPECT_EQ(surface->GetClientSize(), wxSize(200, 200));

    wxCommandEvent chosen(wxEVT_MENU, 301);
    chosen.SetEventObject(frame);
    frame->GetEventHandler()->ProcessEvent(chosen);
    ASSERT_EQ(log.Count(eCommand), 1u);
    EXPECT_EQ(log.Last(eCommand)->data.GetCommand(), 301);

    // The bar goes with the window; disposing of it afterwards is refused,
    // not a second deletion.
    KMDisposeWindow(w);
    display::Pump(50);
    EXPECT_FALSE(KMGetMenuID(bar, id));
    EXPECT_NE(KMDisposeMenuBar(bar), eNoErr);
    EXPECT_EQ(bar, nullptr);
}
