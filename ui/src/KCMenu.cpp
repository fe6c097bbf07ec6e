// Menu trees and the native menus built from them.
#include "ui/KCMenu.h"

#include <algorithm>
#include <cstring>

#include <wx/strconv.h>
#include <wx/string.h>

#include "foundation/XMLTyped.h"
#include "ui/KCImage.h"
#include "ui/KMWindowManager.h"

using kvXML::CXMLElement;

namespace {

// UTF-8 that keeps undecodable bytes as private-use characters.
const wxMBConvUTF8& MenuTextConversion() {
    static const wxMBConvUTF8 conversion(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
    return conversion;
}

bool NameIs(const CXMLElement* element, const char* name) {
    return std::strcmp(element->name.c_str(), name) == 0;
}

bool HasChild(const CXMLElement* element, const char* name) {
    for (const CXMLElement* child : element->children)
        if (NameIs(child, name))
            return true;
    return false;
}

KCMenuCreationOptions FreshMenuOptions() {
    KCMenuCreationOptions options;
    options.menuID = KMNextMenuID();
    return options;
}

} // namespace

std::wstring KMMenuTextFromBytes(const char* text) {
    return text == nullptr ? std::wstring() : wxString(text, MenuTextConversion()).ToStdWstring();
}

std::string KMMenuTextToBytes(const std::wstring& text) {
    const wxCharBuffer bytes = MenuTextConversion().cWC2MB(text.c_str());
    return bytes.data() ? std::string(bytes.data(), bytes.length()) : std::string();
}

// --- items -----------------------------------------------------------------

KCMenuItemData::KCMenuItemData(const char* t, short c)
    : title(KMMenuTextFromBytes(t)), command(c) {}

KCMenuItemData::KCMenuItemData(const wchar_t* t, short c) : title(t ? t : L""), command(c) {}

KCMenuItemData::KCMenuItemData(const KCMenuItemData& other) {
    *this = other;
}

KCMenuItemData& KCMenuItemData::operator=(const KCMenuItemData& other) {
    if (this == &other)
        return *this;
    reset();
    userData1 = other.userData1 ? other.userData1->clone() : nullptr;
    userData2 = other.userData2 ? other.userData2->clone() : nullptr;
    for (const KCMenuItemData* child : other.children)
        children.push_back(new KCMenuItemData(*child));
    title = other.title;
    command = other.command;
    flags = other.flags;
    idleImage = other.idleImage;
    selectedImage = other.selectedImage;
    return *this;
}

KCMenuItemData::~KCMenuItemData() {
    reset();
}

void KCMenuItemData::insertSubMenuItem(KCMenuItemData* item) {
    if (item != nullptr)
        children.push_back(item);
}

KCMenuItemData* KCMenuItemData::getChildByName(const char* name) const {
    const std::wstring wide = KMMenuTextFromBytes(name);
    return getChildByName(wide.c_str());
}

KCMenuItemData* KCMenuItemData::getChildByName(const wchar_t* name) const {
    const std::wstring wanted = name ? name : L"";
    for (KCMenuItemData* child : children)
        if (child->title == wanted)
            return child;
    return nullptr;
}

void KCMenuItemData::disposeSubMenuItems() {
    for (KCMenuItemData* child : children)
        delete child;
    children.clear();
}

void KCMenuItemData::reset() {
    delete userData1;
    delete userData2;
    userData1 = userData2 = nullptr;
    disposeSubMenuItems();
    command = idleImage = selectedImage = -1;
    flags = 0;
    title.clear();
}

void KCMenuItemData::ReadItemProperties(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (NameIs(child, "Text")) {
            title = KMMenuTextFromBytes(child->text.c_str());
        } else if (NameIs(child, "State")) {
            long value = 0;
            kvXML::ReadFromXML_Int(child, value);
            command = static_cast<int16_t>(value);
        } else if (NameIs(child, "Seperator")) {
            flags |= kMenuItemDataSeparator;
        } else if (NameIs(child, "Underlined")) {
            flags |= kMenuItemDataUnderlined;
        } else if (NameIs(child, "Checked")) {
            flags |= kMenuItemDataChecked;
        } else if (NameIs(child, "Disabled")) {
            flags |= kMenuItemDataDisabled;
        } else if (NameIs(child, "IdleImageResID")) {
            kvXML::ReadFromXML_Int(child, idleImage);
        } else if (NameIs(child, "SelectedImageResID")) {
            kvXML::ReadFromXML_Int(child, selectedImage);
        } else if (NameIs(child, "MenuItem")) {
            auto* item = new KCMenuItemData();
            item->ReadItemProperties(child);
            children.push_back(item);
        }
    }
}

void KCMenuItemData::ReadFromXML(const CXMLElement* element) {
    if (element != nullptr)
        ReadItemProperties(element);
}

CXMLElement* KCMenuItemData::WriteToXML(CXMLElement*) const {
    return nullptr;
}

bool KCMenuItemData::CheckItemRecursively(short wanted) {
    bool childMatched = false;
    for (KCMenuItemData* child : children)
        childMatched = child->CheckItemRecursively(wanted) || childMatched;
    const bool matched = childMatched || command == wanted;
    if (matched)
        flags |= kMenuItemDataStateMatch;
    else
        flags &= ~kMenuItemDataStateMatch;
    return matched;
}

bool KCMenuItemData::CompareItemTitles(const KCMenuItemData* a, const KCMenuItemData* b) {
    return a->title < b->title;
}

KCMenuItemData_Title::KCMenuItemData_Title(const char* t) : KCMenuItemData(t, -1) {
    flags = (flags | kMenuItemDataDisabled | kMenuItemDataUnderlined) & ~kMenuItemDataStateMatch;
}

KCMenuItemData_Title::KCMenuItemData_Title(const wchar_t* t) : KCMenuItemData(t, -1) {
    flags = (flags | kMenuItemDataDisabled | kMenuItemDataUnderlined) & ~kMenuItemDataStateMatch;
}

KCMenuItemData_Seperator::KCMenuItemData_Seperator() : KCMenuItemData(L"", -1) {
    flags = (flags | kMenuItemDataSeparator) & ~kMenuItemDataStateMatch;
}

KCMenuItemData_SubMenu::KCMenuItemData_SubMenu(const char* t) : KCMenuItemData(t, -1) {
    flags |= kMenuItemDataSubmenu;
}

KCMenuItemData_SubMenu::KCMenuItemData_SubMenu(const wchar_t* t) : KCMenuItemData(t, -1) {
    flags |= kMenuItemDataSubmenu;
}

// --- menu data -------------------------------------------------------------

void KCMenuData::ReadFromXML(const CXMLElement* element) {
    if (element == nullptr)
        return;
    for (const CXMLElement* child : element->children) {
        if (NameIs(child, "Flags")) {
            if (HasChild(child, "disable_checkmarks"))
                flags |= kMenuDisableCheckmarks;
            if (HasChild(child, "disable_auto_selection"))
                flags |= kMenuDisableAutoSelection;
        } else if (NameIs(child, "MenuItem")) {
            root.ReadFromXML(child);
        }
    }
}

CXMLElement* KCMenuData::WriteToXML(CXMLElement*) const {
    return nullptr;
}

KCMenuItemData* KCMenuData::GetItemDataByCommand(short command) {
    return GetItemDataByCommand(root.children, command, true);
}

KCMenuItemData* KCMenuData::GetItemDataByCommand(ItemVec& items, short command, bool recursive) {
    for (KCMenuItemData* item : items) {
        if (item->command == command)
            return item;
        if (recursive && !item->children.empty())
            if (KCMenuItemData* found = GetItemDataByCommand(item->children, command, true))
                return found;
    }
    return nullptr;
}

void KCMenuData::ApplyFuncOnAllMenuItems(ItemFunc func, void* userData) {
    ApplyFuncOnAllMenuItems(root.children, func, userData, true);
}

void KCMenuData::ApplyFuncOnAllMenuItems(ItemVec& items, ItemFunc func, void* userData,
                                         bool recursive) {
    for (KCMenuItemData* item : items) {
        if (recursive && !item->children.empty())
            ApplyFuncOnAllMenuItems(item->children, func, userData, true);
        func(*item, userData);
    }
}

void KCMenuData::UnCheckItem(KCMenuItemData& item, void*) {
    item.flags &= ~kMenuItemDataChecked;
}

void KCMenuData::DisableItem(KCMenuItemData& item, void*) {
    item.flags |= kMenuItemDataDisabled;
}

void checkItemIfStateMatching(KCMenuItemData& item, void* command) {
    if (item.command == *static_cast<short*>(command))
        item.flags |= kMenuItemDataStateMatch;
    else
        item.flags &= ~kMenuItemDataStateMatch;
}

void countMenuItems(KCMenuItemData&, void* count) {
    ++*static_cast<int*>(count);
}

void countMenuItemsLastLevel(KCMenuItemData& item, void* count) {
    if (item.children.empty())
        ++*static_cast<int*>(count);
}

void fill1LevelVecWithAllMenuItems(KCMenuItemData& item, void* items) {
    static_cast<KCMenuData::ItemVec*>(items)->push_back(&item);
}

void sortMenuItemsAlphabeticaly(KCMenuItemData& item, void*) {
    std::sort(item.children.begin(), item.children.end(), KCMenuItemData::CompareItemTitles);
}

KCMenuItemLook KMMenuItemLook(const KCMenuItemData& item, short checked, uint32_t menuFlags) {
    KCMenuItemLook look;
    look.flags = item.flags;
    if ((menuFlags & kMenuDisableCheckmarks) || item.command == -1)
        look.flags &= ~kMenuItemDataChecked;
    else if (!(menuFlags & kMenuDisableAutoSelection) && item.command == checked)
        look.flags |= kMenuItemDataChecked;
    if (menuFlags & kMenuDisableAutoSelection)
        look.image = item.idleImage;
    else
        look.image = item.command == checked ? item.selectedImage : item.idleImage;
    return look;
}

// --- native menus ----------------------------------------------------------

KCMenu::~KCMenu() {
    ClearMenus();
}

void KCMenu::SetForImagesSupport(KTResContainerType* container, KCWindow* window) {
    resContainer = container;
    imageWindow = window;
}

void KCMenu::ClearMenus() {
    for (auto it = subMenus.rbegin(); it != subMenus.rend(); ++it) {
        void* menu = *it;
        int16_t id = 0;
        if (KMGetMenuID(menu, id)) // a submenu may have gone with its parent
            KMDisposeMenu(menu);
    }
    subMenus.clear();
    if (menuRef != nullptr) {
        int16_t id = 0;
        if (KMGetMenuID(menuRef, id))
            KMDisposeMenu(menuRef);
        menuRef = nullptr;
    }
    for (KCNativeImage* image : images)
        delete image;
    images.clear();
}

KTErr KCMenu::CreatePopUpMenu(KCMenuData& data, short checkedCommand) {
    if (data.root.children.empty())
        return 1;
    void* menu = nullptr;
    if (KMCreatePopupMenu(FreshMenuOptions(), menu) != eNoErr)
        return 1;
    menuRef = menu;
    return AddMenuItems(menuRef, data.root.children, checkedCommand, data.flags) == eNoErr ? 0 : 1;
}

KTErr KCMenu::AddMenuItems(void* menu, KCMenuData::ItemVec& items, short checkedCommand,
                           uint32_t menuFlags) {
    for (KCMenuItemData* item : items) {
        const KTErr err = item->children.empty()
                              ? AddMenuItem(menu, *item, checkedCommand, menuFlags)
                              : AddSubMenuItem(menu, *item, checkedCommand, menuFlags);
        if (err != eNoErr)
            return err;
    }
    return eNoErr;
}

KTErr KCMenu::AddMenuItem(void* menu, KCMenuItemData& item, short checkedCommand,
                          uint32_t menuFlags) {
    const KCMenuItemLook look = KMMenuItemLook(item, checkedCommand, menuFlags);
    KCMenuItemInfo info;
    info.title = item.title;
    info.flags = look.flags;
    info.command = item.command;
    if (look.image != -1) {
        KCNativeImage* image = nullptr;
        if (KTErr err = LoadMenuImage(look.image, image); err != eNoErr)
            return err;
        if (image != nullptr)
            images.push_back(image);
        info.image = image;
    }
    return KMAddMenuItem(menu, info, !commandsAsGiven);
}

KTErr KCMenu::AddSubMenuItem(void* menu, KCMenuItemData& item, short checkedCommand,
                             uint32_t menuFlags) {
    void* sub = nullptr;
    if (KTErr err = KMCreateMenu(FreshMenuOptions(), sub); err != eNoErr)
        return err;
    subMenus.push_back(sub);
    if (KTErr err = AddMenuItems(sub, item.children, checkedCommand, menuFlags); err != eNoErr)
        return err;
    KCMenuItemInfo info;
    info.title = item.title;
    info.flags = item.flags;
    if (item.idleImage != -1) {
        KCNativeImage* image = nullptr;
        if (KTErr err = LoadMenuImage(item.idleImage, image); err != eNoErr)
            return err;
        if (image != nullptr)
            images.push_back(image);
        info.image = image;
    }
    return KMAddSubMenu(menu, info, sub);
}

KTErr KCMenu::LoadMenuImage(short resID, KCNativeImage*& image) {
    image = nullptr;
    if (resID <= 0)
        return eNoErr;
    ImageData* data = nullptr;
    if (KTErr err = KCImageDataResUtils::GetImageFromResource(resContainer, resID, data, false);
        err != eNoErr)
        return err;
    auto* made = new KCNativeImage();
    const KTErr err = imageWindow != nullptr ? made->CreateFromImageData(*imageWindow, *data)
                                             : made->CreateFromImageData(KCWindow(), *data);
    KCImageDataResUtils::ReleaseImageFromResource(data);
    if (err != eNoErr) {
        delete made;
        return err;
    }
    image = made;
    return eNoErr;
}

KTErr KCMenu::ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where,
                                short& command) {
    command = -1;
    short chosen = -1;
    // Items were stored with their commands plus one; the window manager
    // takes the one off again.
    const KTErr err = KMActivatePopup(menuRef, window, where, chosen, !commandsAsGiven);
    if (err != eNoErr)
        return eUserCanceled;
    command = chosen;
    return eNoErr;
}

KTErr KCToolBarMenu::AddToolBarMenu(KCMenuData& data, void* menuBar) {
    void* menu = nullptr;
    if (KMCreateMenu(FreshMenuOptions(), menu) != eNoErr)
        return 1;
    menuRef = menu;
    KCMenuItemInfo info;
    info.title = data.root.title;
    return KMAddSubMenu(menuBar, info, menuRef);
}

KTErr KCToolBarMenu::CreateToolBarMenu(KCMenuData& data, void*, short checkedCommand) {
    if (data.root.children.empty() || menuRef == nullptr)
        return 1;
    if (KMClearMenu(menuRef) != eNoErr)
        return 1;
    // The submenus went with the items; the images were copied into them.
    subMenus.erase(std::remove_if(subMenus.begin(), subMenus.end(),
                                  [](void* menu) {
                                      int16_t id = 0;
                                      return !KMGetMenuID(menu, id);
                                  }),
                   subMenus.end());
    for (KCNativeImage* image : images)
        delete image;
    images.clear();
    return AddMenuItems(menuRef, data.root.children, checkedCommand, data.flags) == eNoErr ? 0 : 1;
}
