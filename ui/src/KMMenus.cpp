// Native menus: wx menus and menu bars, with the framework's menu
// identifiers and item data kept in a side table.
#include <unordered_map>

#include <wx/frame.h>
#include <wx/menu.h>

#include "KMWindows.h"
#include "ui/KCImage.h"
#include "ui/KMWindowManager.h"

namespace {

struct MenuRecord {
    int16_t id = 0;
    bool bar = false;
};

struct ItemRecord {
    uint32_t data = 0; // (position << 16) | menu identifier
    bool hasImage = false;
    wxString title; // the title as given, before any padding
};

struct MenuTable {
    std::unordered_map<const void*, MenuRecord> menus;
    std::unordered_map<const wxMenuItem*, ItemRecord> items;
    uint16_t counter = 127;
    bool tracking = false;
};

MenuTable& Table() {
    static MenuTable table;
    return table;
}

const MenuRecord* Find(const void* menu) {
    auto it = Table().menus.find(menu);
    return it == Table().menus.end() ? nullptr : &it->second;
}

wxMenu* PopupOf(const void* menu) {
    const MenuRecord* r = Find(menu);
    return r != nullptr && !r->bar ? static_cast<wxMenu*>(const_cast<void*>(menu)) : nullptr;
}

wxMenuBar* BarOf(const void* menu) {
    const MenuRecord* r = Find(menu);
    return r != nullptr && r->bar ? static_cast<wxMenuBar*>(const_cast<void*>(menu)) : nullptr;
}

// Forgets a menu, its items and its submenus.
void Forget(wxMenu* menu) {
    if (menu == nullptr)
        return;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        Forget(item->GetSubMenu());
        Table().items.erase(item);
    }
    Table().menus.erase(menu);
}

void ForgetBar(wxMenuBar* bar) {
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        Forget(bar->GetMenu(i));
    Table().menus.erase(bar);
}

// Puts the item's image on a native item that can show one (GTK shows
// images on plain items only, and takes them before insertion).
void SetImage(wxMenuItem* item, KCNativeImage* image) {
    if (image == nullptr || item->GetKind() != wxITEM_NORMAL)
        return;
    if (auto* bitmap = static_cast<wxBitmap*>(image->GetNativeHandle()))
        item->SetBitmap(*bitmap);
}

wxString PreparedTitle(const std::wstring& title) {
    if (title.empty())
        return wxString(" ");
    return wxString(title.substr(0, 255));
}

KTErr CreateMenu(const KCMenuCreationOptions& options, void*& menu, bool bar) {
    if (!KMHasDisplay())
        return eGenericSystemError;
    void* made = bar ? static_cast<void*>(new wxMenuBar()) : static_cast<void*>(new wxMenu());
    Table().menus[made] = MenuRecord{options.menuID, bar};
    menu = made;
    return eNoErr;
}

KTErr DisposeMenu(void*& menu) {
    void* target = menu;
    menu = nullptr;
    if (wxMenuBar* bar = BarOf(target)) {
        if (bar->IsAttached())
            bar->GetFrame()->SetMenuBar(nullptr);
        ForgetBar(bar);
        delete bar;
        return eNoErr;
    }
    wxMenu* popup = PopupOf(target);
    if (popup == nullptr)
        return eGenericErr;
    Forget(popup);
    // A submenu still inside its parent is taken out of it first.
    if (wxMenu* parent = popup->GetParent()) {
        for (wxMenuItem* item : parent->GetMenuItems()) {
            if (item->GetSubMenu() == popup) {
                Table().items.erase(item);
                parent->Destroy(item);
                return eNoErr;
            }
        }
    }
    if (wxMenuBar* bar = popup->GetMenuBar()) {
        for (size_t i = 0; i < bar->GetMenuCount(); ++i) {
            if (bar->GetMenu(i) == popup) {
                bar->Remove(i);
                break;
            }
        }
    }
    delete popup;
    return eNoErr;
}

KTErr ClearPopup(wxMenu* menu) {
    while (menu->GetMenuItemCount() > 0) {
        wxMenuItem* item = menu->FindItemByPosition(menu->GetMenuItemCount() - 1);
        if (wxMenu* sub = item->GetSubMenu()) {
            if (KTErr err = ClearPopup(sub); err != eNoErr)
                return err;
            Table().menus.erase(sub);
        }
        Table().items.erase(item);
        menu->Destroy(item);
    }
    return eNoErr;
}

// The item data of the command item with that command, searched by
// position; a submenu is searched first where it stands.
uint32_t SearchItemData(const wxMenu* menu, int command) {
    for (const wxMenuItem* item : menu->GetMenuItems()) {
        if (const wxMenu* sub = item->GetSubMenu()) {
            if (uint32_t found = SearchItemData(sub, command))
                return found;
            continue;
        }
        if (!item->IsSeparator() && item->GetId() == command) {
            auto it = Table().items.find(item);
            return it == Table().items.end() ? 0 : it->second.data;
        }
    }
    return 0;
}

void PadTexts(wxMenu* menu) {
    std::vector<std::wstring> texts;
    std::vector<bool> images;
    std::vector<wxMenuItem*> items;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        if (item->IsSeparator())
            continue;
        auto it = Table().items.find(item);
        const bool known = it != Table().items.end();
        texts.push_back((known ? it->second.title : item->GetItemLabel()).ToStdWstring());
        images.push_back(known && it->second.hasImage);
        items.push_back(item);
    }
    const std::vector<std::wstring> before = texts;
    KMPadMenuTexts(texts, images);
    for (size_t i = 0; i < items.size(); ++i)
        if (texts[i] != before[i])
            items[i]->SetItemLabel(wxString(texts[i]));
}

int Track(const void* menu, const KCWindow& window, const KCPoint<short>& where) {
    wxMenu* popup = PopupOf(menu);
    auto* surface = static_cast<wxWindow*>(window.deviceContext);
    if (popup == nullptr || surface == nullptr)
        return wxID_NONE;
    PadTexts(popup);
    Table().tracking = true;
    const int chosen = surface->GetPopupMenuSelectionFromUser(*popup, wxPoint(where.x, where.y));
    Table().tracking = false;
    return chosen;
}

} // namespace

bool KMWindows::TrackingPopup() {
    return Table().tracking;
}

void KMWindows::ForgetMenuBarOf(wxFrame* frame) {
    wxMenuBar* bar = frame->GetMenuBar();
    if (bar != nullptr && Find(bar) != nullptr)
        ForgetBar(bar);
}

int16_t KMNextMenuID() {
    uint16_t& counter = Table().counter;
    counter = static_cast<uint16_t>((counter + 1) % 32767);
    if (counter == 0)
        counter = 127;
    return static_cast<int16_t>(counter);
}

void KMSetMenuIDCounter(uint16_t value) {
    Table().counter = value;
}

void KMPadMenuTexts(std::vector<std::wstring>& texts, const std::vector<bool>& hasImage) {
    bool any = false;
    size_t longest = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        longest = std::max(longest, texts[i].size());
        any = any || (i < hasImage.size() && hasImage[i]);
    }
    if (!any)
        return;
    for (size_t i = 0; i < texts.size(); ++i) {
        texts[i] = L"  " + texts[i];
        if (!(i < hasImage.size() && hasImage[i]) && texts[i].size() < longest + 8)
            texts[i].resize(longest + 8, L' ');
    }
}

// A menu of the menu-bar kind holds items and opens as a drop-down of a menu
// bar or as a submenu; only the bar itself is a menu bar of the toolkit.
KTErr KMCreateMenu(const KCMenuCreationOptions& options, void*& menu) {
    return CreateMenu(options, menu, false);
}

KTErr KMCreatePopupMenu(const KCMenuCreationOptions& options, void*& menu) {
    return CreateMenu(options, menu, false);
}

KTErr KMCreateMenuBar(void*& menu) {
    KCMenuCreationOptions options;
    options.menuID = 0;
    return CreateMenu(options, menu, true);
}

KTErr KMSetMenuBar(void*& menu, void* window) {
    wxMenuBar* bar = BarOf(menu);
    auto* record = static_cast<KCWindow*>(window);
    auto* frame = record ? dynamic_cast<wxFrame*>(record->windowHandle) : nullptr;
    if (bar == nullptr || frame == nullptr || bar->IsAttached())
        return eGenericErr;
    // The bar takes its room outside the client area, which keeps its size.
    const wxSize client = frame->GetClientSize();
    frame->SetMenuBar(bar);
    frame->SetClientSize(client);
    return eNoErr;
}

KTErr KMDisposeMenu(void*& menu) {
    return DisposeMenu(menu);
}

KTErr KMDisposeMenuBar(void*& menu) {
    return DisposeMenu(menu);
}

KTErr KMClearMenu(const void* const& menu) {
    if (wxMenuBar* bar = BarOf(menu)) {
        while (bar->GetMenuCount() > 0) {
            wxMenu* sub = bar->Remove(bar->GetMenuCount() - 1);
            ClearPopup(sub);
            Table().menus.erase(sub);
            delete sub;
        }
        return eNoErr;
    }
    wxMenu* popup = PopupOf(menu);
    if (popup == nullptr)
        return eGenericErr;
    return ClearPopup(popup);
}

bool KMGetMenuID(const void* menu, int16_t& id) {
    const MenuRecord* r = Find(menu);
    if (r == nullptr)
        return false;
    id = r->id;
    return true;
}

uint32_t KMFindMenuItemData(const void* menu, int command) {
    const wxMenu* popup = PopupOf(menu);
    return popup ? SearchItemData(popup, command) : 0;
}

KTErr KMAddMenuItem(const void* const& menu, const KCMenuItemInfo& info, bool zeroBased) {
    const MenuRecord* record = Find(menu);
    wxMenu* popup = PopupOf(menu);
    if (record == nullptr || popup == nullptr) // unknown menu, or a bar (submenus only)
        return eGenericErr;
    const size_t count = popup->GetMenuItemCount();
    const uint32_t position = info.position == 0xFFFF ? uint32_t(count + 1) : info.position;
    const size_t at = std::min<size_t>(position, count);
    if (info.flags & kMenuItemSeparator)
        return popup->InsertSeparator(at) != nullptr ? eNoErr : eGenericErr;

    const int command = zeroBased ? info.command + 1 : info.command;
    const bool checked = (info.flags & (kMenuItemChecked | kMenuItemStateMatch)) != 0;
    const wxString title = PreparedTitle(info.title);
    auto* made = new wxMenuItem(popup, command, title, wxEmptyString,
                                checked ? wxITEM_CHECK : wxITEM_NORMAL);
    SetImage(made, info.image);
    wxMenuItem* item = popup->Insert(at, made);
    if (item == nullptr)
        return eGenericErr;
    ItemRecord& data = Table().items[item];
    data.data = (position << 16) | uint16_t(record->id);
    data.hasImage = info.image != nullptr;
    data.title = title;
    if (info.flags & kMenuItemDisabled)
        item->Enable(false);
    if (checked)
        item->Check(true);
    return eNoErr;
}

KTErr KMAddSubMenu(const void* const& menu, const KCMenuItemInfo& info,
                   const void* const& submenu) {
    wxMenu* sub = PopupOf(submenu);
    if (sub == nullptr || sub->GetParent() != nullptr || sub->IsAttached() || sub == menu)
        return eGenericErr;
    const wxString title = PreparedTitle(info.title);
    const bool disabled = (info.flags & kMenuItemDisabled) != 0;
    if (wxMenuBar* bar = BarOf(menu)) {
        const size_t count = bar->GetMenuCount();
        const size_t at = info.position == 0xFFFF ? count : std::min<size_t>(info.position, count);
        if (!bar->Insert(at, sub, title))
            return eGenericErr;
        if (disabled)
            bar->EnableTop(at, false);
        return eNoErr;
    }
    wxMenu* popup = PopupOf(menu);
    if (popup == nullptr)
        return eGenericErr;
    const size_t count = popup->GetMenuItemCount();
    const size_t at = info.position == 0xFFFF ? count : std::min<size_t>(info.position, count);
    auto* made = new wxMenuItem(popup, wxID_ANY, title, wxEmptyString, wxITEM_NORMAL, sub);
    SetImage(made, info.image);
    wxMenuItem* item = popup->Insert(at, made);
    if (item == nullptr)
        return eGenericErr;
    ItemRecord& data = Table().items[item];
    data.hasImage = info.image != nullptr;
    data.title = title;
    if (disabled)
        item->Enable(false);
    return eNoErr;
}

KTErr KMActivatePopup(const void* const& menu, const KCWindow& window, const KCPoint<short>& where,
                      short& command, bool zeroBased) {
    const int chosen = Track(menu, window, where);
    if (chosen == wxID_NONE || chosen == 0) {
        command = -1;
        return eUserCanceled;
    }
    command = static_cast<short>(zeroBased ? chosen - 1 : chosen);
    return eNoErr;
}

KTErr KMActivatePopup(const void* const& menu, const KCWindow& window, const KCPoint<short>& where,
                      short& position, short& menuID) {
    const int chosen = Track(menu, window, where);
    if (chosen == wxID_NONE || chosen == 0)
        return eUserCanceled;
    const uint32_t data = KMFindMenuItemData(menu, chosen);
    position = static_cast<short>(data >> 16);
    menuID = static_cast<short>(data & 0xFFFF);
    return eNoErr;
}
