// The editor's pop-up menus over the window framework's native menus.
#include "guilib/MenuEx.h"

#include "ui/KCMenu.h"
#include "ui/KCWindow.h"

#include <wx/utils.h>
#include <wx/window.h>

namespace {

KCMenuEx::Chooser& TheChooser() {
    static KCMenuEx::Chooser chooser;
    return chooser;
}

void CopyTree(const KCMenuData& from, KCMenuData& to) {
    to.root.disposeSubMenuItems();
    to.flags = from.flags;
    for (const KCMenuItemData* item : from.root.children)
        to.root.insertSubMenuItem(new KCMenuItemData(*item));
}

} // namespace

KCMenuEx::KCMenuEx() : menu_(std::make_unique<KCMenu>()), data_(std::make_unique<KCMenuData>()) {}

KCMenuEx::KCMenuEx(const KCMenuEx& other) : KCMenuEx() {
    CopyTree(*other.data_, *data_);
}

KCMenuEx& KCMenuEx::operator=(const KCMenuEx& other) {
    if (this != &other) {
        menu_->ClearMenus();
        CopyTree(*other.data_, *data_);
    }
    return *this;
}

KCMenuEx::~KCMenuEx() {
    data_->root.disposeSubMenuItems();
}

void KCMenuEx::Append(const std::string& title, short command, bool checked, bool disabled) {
    auto* item = new KCMenuItemData(title.c_str(), command);
    if (checked)
        item->flags |= kMenuItemDataChecked;
    if (disabled)
        item->flags |= kMenuItemDataDisabled;
    data_->root.insertSubMenuItem(item);
}

void KCMenuEx::AppendSeparator() {
    data_->root.insertSubMenuItem(new KCMenuItemData_Seperator());
}

void KCMenuEx::Clear() {
    menu_->ClearMenus();
    data_->root.disposeSubMenuItems();
}

std::vector<KCMenuEx::Item> KCMenuEx::GetItems() const {
    std::vector<Item> items;
    for (const KCMenuItemData* d : data_->root.children) {
        Item item;
        item.title = KMMenuTextToBytes(d->title);
        item.command = d->command;
        item.separator = (d->flags & kMenuItemDataSeparator) != 0;
        item.checked = (d->flags & kMenuItemDataChecked) != 0;
        item.disabled = (d->flags & kMenuItemDataDisabled) != 0;
        items.push_back(item);
    }
    return items;
}

void* KCMenuEx::GetMenuRef() const {
    return menu_->GetMenuRef();
}

long KCMenuEx::ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where,
                                 long& selection) {
    selection = -1;
    if (TheChooser()) {
        selection = TheChooser()(*this);
        return selection >= 0 ? 0 : static_cast<long>(eUserCanceled);
    }
    menu_->ClearMenus();
    // No command is checked by position: the items carry their own marks.
    if (menu_->CreatePopUpMenu(*data_, -2) != 0)
        return 1;
    short command = -1;
    const KTErr err = menu_->ActivatePopUpMenu(window, where, command);
    menu_->ClearMenus();
    if (err != eNoErr)
        return static_cast<long>(err);
    selection = command;
    return 0;
}

KCMenuEx::Chooser KCMenuEx::SetChooser(Chooser chooser) {
    Chooser old = std::move(TheChooser());
    TheChooser() = std::move(chooser);
    return old;
}

KCPoint<short> KMMouseInWindow(const KCWindow& window) {
    auto* surface = static_cast<wxWindow*>(window.deviceContext);
    if (!surface)
        surface = window.windowHandle;
    if (!surface)
        return KCPoint<short>(0, 0);
    const wxPoint p = surface->ScreenToClient(wxGetMousePosition());
    return KCPoint<short>(static_cast<short>(p.x), static_cast<short>(p.y));
}
