// Native menus built from menu trees: pop-ups answer the tree's commands,
// drop-downs of a menu bar send them unchanged, items carry their images.
#include <dlfcn.h>

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "display_harness.h"
#include "png_container.h"
#include "png_writer.h"
#include "ui/KCImage.h"
#include "ui/KCMenu.h"

using display::Log;
using R = KURect<short>;

namespace {

// File ▸ Zero (0), Five (5, state-matched), More ▸ Deep (7), Picture (8).
void FillTree(KCMenuData& data) {
    KCMenuItemData& root = data.GetRootMenu();
    root.title = L"File";
    root.insertSubMenuItem(new KCMenuItemData("Zero", 0));
    auto* five = new KCMenuItemData("Five", 5);
    five->flags = kMenuItemDataStateMatch;
    root.insertSubMenuItem(five);
    auto* more = new KCMenuItemData_SubMenu("More");
    more->insertSubMenuItem(new KCMenuItemData("Deep", 7));
    root.insertSubMenuItem(more);
    auto* picture = new KCMenuItemData("Picture", 8);
    picture->idleImage = 1500;
    root.insertSubMenuItem(picture);
}

bool Checked(const wxMenuItem* item) {
    return item->IsCheckable() && item->IsChecked();
}

void CloseTrackedMenu(wxMenu* menu) {
    using Popdown = void (*)(void*);
    static const auto popdown = reinterpret_cast<Popdown>(dlsym(RTLD_DEFAULT, "gtk_menu_popdown"));
    if (popdown != nullptr && menu->m_menu != nullptr)
        popdown(menu->m_menu);
}

} // namespace

TEST(MenuObjects, PopUpAnswersTheTreeCommand) {
    REQUIRE_DISPLAY();
    ASSERT_EQ(RMInit(0), eNoErr);
    {
        testpng::Container images;
        images.Add(1500, testpng::Encode(16, 16, PNG_COLOR_TYPE_RGBA, 8, testpng::Formula));
        Log log;
        KCWindow w;
        display::Open(w, display::Options(log, R(100, 100, 300, 300)));

        KCMenuData data;
        data.flags = kMenuDisableCheckmarks;
        FillTree(data);
        KCMenu menu;
        menu.SetForImagesSupport(images.container, &w);
        ASSERT_EQ(menu.CreatePopUpMenu(data, 5), eNoErr);
        auto* native = static_cast<wxMenu*>(menu.GetMenuRef());
        ASSERT_EQ(native->GetMenuItemCount(), 4u);
        EXPECT_EQ(native->FindItemByPosition(0)->GetId(), 1); // stored plus one
        EXPECT_FALSE(Checked(native->FindItemByPosition(0)));
        EXPECT_TRUE(Checked(native->FindItemByPosition(1))); // by state match only
        EXPECT_NE(native->FindItemByPosition(2)->GetSubMenu(), nullptr);
        EXPECT_TRUE(native->FindItemByPosition(3)->GetBitmap().IsOk());
        EXPECT_EQ(native->FindItemByPosition(3)->GetBitmap().GetWidth(), 16);

        // A missing image fails the build of the menu with the manager's status.
        KCMenuData broken;
        FillTree(broken);
        broken.GetRootMenu().children[3]->idleImage = 1501;
        KCMenu failing;
        failing.SetForImagesSupport(images.container, &w);
        EXPECT_EQ(failing.CreatePopUpMenu(broken, 5), 1);
        KCMenuData empty;
        EXPECT_EQ(failing.CreatePopUpMenu(empty, 5), 1);

        wxUIActionSimulator sim;
        int opened = 0;
        auto onOpen = [&](wxMenuEvent& e) {
            ++opened;
            e.Skip();
        };
        w.windowHandle->Bind(wxEVT_MENU_OPEN, onOpen);
        static_cast<wxWindow*>(w.deviceContext)->Bind(wxEVT_MENU_OPEN, onOpen);
        std::vector<int> keys;
        int ticks = 0;
        wxTimer typist;
        typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (opened == 0)
                return;
            if (++ticks > 30) {
                CloseTrackedMenu(native);
                return;
            }
            if (keys.empty()) {
                sim.Char(WXK_ESCAPE);
                return;
            }
            sim.Char(keys.front());
            keys.erase(keys.begin());
        });
        typist.Start(100);
        short command = 99;
        KTErr result = 1;
        log.onEvent = [&](KEEventTypes e, KCEventData*) {
            if (e == eMouseDown)
                result = menu.ActivatePopUpMenu(w, KCPoint<short>(10, 10), command);
        };
        auto popUp = [&](std::vector<int> typed) {
            opened = 0;
            ticks = 0;
            result = 1;
            keys = typed;
            sim.MouseMove(display::Screen(w, 10, 10));
            display::Pump(50);
            sim.MouseClick(wxMOUSE_BTN_RIGHT);
            display::PumpUntil([&] { return result != 1; }, 5000);
        };
        popUp({WXK_DOWN, WXK_RETURN});
        EXPECT_EQ(result, eNoErr);
        EXPECT_EQ(command, 0); // command 0 as it is in the tree
        popUp({WXK_ESCAPE});
        EXPECT_EQ(result, eUserCanceled);
        EXPECT_EQ(command, -1);
        typist.Stop();
        log.onEvent = nullptr;

        menu.ClearMenus();
        EXPECT_EQ(menu.GetMenuRef(), nullptr);
        KMDisposeWindow(w);
        display::Pump(20);
    }
    EXPECT_EQ(RMDispose(), eNoErr);
}

TEST(MenuObjects, DropDownSendsTheCommandUnchanged) {
    REQUIRE_DISPLAY();
    KCMenuData data;
    FillTree(data);
    data.GetRootMenu().children[3]->idleImage = -1;
    data.GetRootMenu().insertSubMenuItem(new KCMenuItemData("Open", 301));
    void* bar = nullptr;
    ASSERT_EQ(KMCreateMenuBar(bar), eNoErr);
    KCToolBarMenu file;
    ASSERT_EQ(file.AddToolBarMenu(data, bar), eNoErr);
    ASSERT_EQ(file.CreateToolBarMenu(data, nullptr, 301), eNoErr);
    auto* native = static_cast<wxMenu*>(file.GetMenuRef());
    ASSERT_EQ(native->GetMenuItemCount(), 5u);
    EXPECT_EQ(native->FindItemByPosition(0)->GetId(), 0);
    EXPECT_TRUE(Checked(native->FindItemByPosition(4))); // the checked command
    // Rebuilding replaces the items (as before each opening).
    ASSERT_EQ(file.CreateToolBarMenu(data, nullptr, 5), eNoErr);
    EXPECT_EQ(native->GetMenuItemCount(), 5u);
    EXPECT_FALSE(Checked(native->FindItemByPosition(4)));
    EXPECT_EQ(static_cast<wxMenuBar*>(bar)->GetMenuLabelText(0), "File");

    Log log;
    KCWindow w;
    display::Open(w, display::Options(log, R(100, 100, 300, 300), kWinKindOpenGL, 0x87));
    ASSERT_EQ(KMSetMenuBar(bar, &w), eNoErr);
    auto* frame = dynamic_cast<wxFrame*>(w.windowHandle);
    wxCommandEvent chosen(wxEVT_MENU, native->FindItemByPosition(4)->GetId());
    chosen.SetEventObject(frame);
    frame->GetEventHandler()->ProcessEvent(chosen);
    ASSERT_EQ(log.Count(eCommand), 1u);
    EXPECT_EQ(log.Last(eCommand)->data.GetCommand(), 301);
    KMDisposeWindow(w);
    display::Pump(50);
}

TEST(MenuObjects, NativeImagesOfBothDepths) {
    REQUIRE_DISPLAY();
    std::vector<uint8_t> rgb(4 * 2 * 3, 0x40), rgba(4 * 2 * 4, 0x80);
    uint8_t* rgbRows[] = {rgb.data(), rgb.data() + 12};
    uint8_t* rgbaRows[] = {rgba.data(), rgba.data() + 16};
    ImageData opaque(4, 2, 24, rgbRows, -1);
    ImageData translucent(4, 2, 32, rgbaRows, -1);
    KCWindow w;
    KCNativeImage a, b;
    EXPECT_EQ(a.GetNativeHandle(), nullptr);
    ASSERT_EQ(a.CreateFromImageData(w, opaque), eNoErr);
    ASSERT_EQ(b.CreateFromImageData(w, translucent), eNoErr);
    auto* bitmapA = static_cast<wxBitmap*>(a.GetNativeHandle());
    auto* bitmapB = static_cast<wxBitmap*>(b.GetNativeHandle());
    ASSERT_NE(bitmapA, nullptr);
    ASSERT_NE(bitmapB, nullptr);
    EXPECT_EQ(bitmapA->GetWidth(), 4);
    EXPECT_FALSE(bitmapA->HasAlpha());
    EXPECT_TRUE(bitmapB->HasAlpha());
    const wxImage image = bitmapA->ConvertToImage();
    EXPECT_EQ(image.GetRed(3, 1), 0x40);
    ImageData grey(4, 2, 8, -1);
    KCNativeImage c;
    EXPECT_NE(c.CreateFromImageData(w, grey), eNoErr);
    EXPECT_EQ(c.GetNativeHandle(), nullptr);
}
