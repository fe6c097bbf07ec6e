// Menu trees (KCMenuItemData held by KCMenuData), read from XML or built in
// code, and the native menus made from them: KCMenu (pop-up menus) and
// KCToolBarMenu (drop-downs of a window's menu bar).
//
// Narrow titles are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/KTErr.h"
#include "foundation/KURect.h"
#include "foundation/XMLElement.h"

class KCWindow;
class KCNativeImage;
struct KTResContainerType;

// Flags of a menu item.
enum : uint32_t {
    kMenuItemDataSeparator = 0x1,
    kMenuItemDataDisabled = 0x2,
    kMenuItemDataChecked = 0x4,
    kMenuItemDataUnderlined = 0x8,
    kMenuItemDataSubmenu = 0x10,
    kMenuItemDataStateMatch = 0x20,
};

// Flags of a menu.
enum : uint32_t {
    kMenuDisableCheckmarks = 0x1,
    kMenuDisableAutoSelection = 0x2,
};

// Menu texts from 8-bit text: UTF-8, where every byte that is not part of
// a well-formed UTF-8 character is kept as a character of its own (as the
// toolkit's file-name conversion does), so no part of a title is lost and
// KMMenuTextToBytes gives the bytes back exactly.
std::wstring KMMenuTextFromBytes(const char* text);
std::string KMMenuTextToBytes(const std::wstring& text);

class KCMenuItemData {
public:
    // User data of an item: applications derive from it.
    class Data {
    public:
        Data() = default;
        Data(const Data&) = default;
        Data& operator=(const Data&) = default;
        virtual Data* clone() const { return new Data(*this); }
        virtual ~Data() = default;
    };

    KCMenuItemData() = default;
    KCMenuItemData(const char* title, short command);
    KCMenuItemData(const wchar_t* title, short command);
    KCMenuItemData(const KCMenuItemData& other);
    KCMenuItemData& operator=(const KCMenuItemData& other);
    virtual ~KCMenuItemData();

    std::vector<KCMenuItemData*>& getSubMenuItemVec() { return children; }
    const std::vector<KCMenuItemData*>& getSubMenuItemVec() const { return children; }
    // Appends the item and takes it over; null is ignored.
    void insertSubMenuItem(KCMenuItemData* item);
    // The first direct child with exactly that title; null when none.
    KCMenuItemData* getChildByName(const char* name) const;
    KCMenuItemData* getChildByName(const wchar_t* name) const;
    void disposeSubMenuItems();
    void reset();

    void ReadFromXML(const kvXML::CXMLElement* element);
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const;

    // Marks (0x20) the item with that command and every item on the path to
    // it, clears the mark elsewhere; true when this item or a child matched.
    bool CheckItemRecursively(short command);
    // True when the first title sorts before the second (code-unit order).
    static bool CompareItemTitles(const KCMenuItemData* a, const KCMenuItemData* b);

    std::wstring title;
    int16_t command = -1;
    uint32_t flags = 0;
    int16_t idleImage = -1;
    int16_t selectedImage = -1;
    Data* userData1 = nullptr; // owned
    Data* userData2 = nullptr; // owned
    std::vector<KCMenuItemData*> children;

private:
    void ReadItemProperties(const kvXML::CXMLElement* element);
};

class KCMenuItemData_Title : public KCMenuItemData {
public:
    explicit KCMenuItemData_Title(const char* title);
    explicit KCMenuItemData_Title(const wchar_t* title);
    KCMenuItemData_Title(const KCMenuItemData_Title&) = default;
    KCMenuItemData_Title& operator=(const KCMenuItemData_Title&) = default;
};

class KCMenuItemData_Seperator : public KCMenuItemData {
public:
    KCMenuItemData_Seperator();
    KCMenuItemData_Seperator(const KCMenuItemData_Seperator&) = default;
    KCMenuItemData_Seperator& operator=(const KCMenuItemData_Seperator&) = default;
};

class KCMenuItemData_SubMenu : public KCMenuItemData {
public:
    explicit KCMenuItemData_SubMenu(const char* title);
    explicit KCMenuItemData_SubMenu(const wchar_t* title);
    KCMenuItemData_SubMenu(const KCMenuItemData_SubMenu&) = default;
    KCMenuItemData_SubMenu& operator=(const KCMenuItemData_SubMenu&) = default;
};

class KCMenuData {
public:
    using ItemVec = std::vector<KCMenuItemData*>;
    using ItemFunc = void (*)(KCMenuItemData& item, void* userData);

    KCMenuData() = default;
    KCMenuData(const KCMenuData&) = default;
    KCMenuData& operator=(const KCMenuData&) = default;
    virtual ~KCMenuData() = default;

    KCMenuItemData& GetRootMenu() { return root; }
    const KCMenuItemData& GetRootMenu() const { return root; }

    // Adds what the element describes to what is there.
    void ReadFromXML(const kvXML::CXMLElement* element);
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const;

    KCMenuItemData* GetItemDataByCommand(short command);
    static KCMenuItemData* GetItemDataByCommand(ItemVec& items, short command, bool recursive);
    // Children are visited before their parent.
    void ApplyFuncOnAllMenuItems(ItemFunc func, void* userData);
    static void ApplyFuncOnAllMenuItems(ItemVec& items, ItemFunc func, void* userData,
                                        bool recursive);

    static void UnCheckItem(KCMenuItemData& item, void* userData);
    static void DisableItem(KCMenuItemData& item, void* userData);

    uint32_t flags = 0;
    KCMenuItemData root;
};

// Tree functions for ApplyFuncOnAllMenuItems.
void checkItemIfStateMatching(KCMenuItemData& item, void* command);    // short*
void countMenuItems(KCMenuItemData& item, void* count);                // int*
void countMenuItemsLastLevel(KCMenuItemData& item, void* count);       // int*
void fill1LevelVecWithAllMenuItems(KCMenuItemData& item, void* items); // ItemVec*
void sortMenuItemsAlphabeticaly(KCMenuItemData& item, void* notRead);

class KCMenu {
public:
    KCMenu() = default;
    KCMenu(const KCMenu&) = delete;
    KCMenu& operator=(const KCMenu&) = delete;
    virtual ~KCMenu();

    void SetForImagesSupport(KTResContainerType* container, KCWindow* window);
    void* GetMenuRef() const { return menuRef; }
    void ClearMenus();
    KTErr CreatePopUpMenu(KCMenuData& data, short checkedCommand);
    // command := the chosen item's command as it is in the tree; -1 and
    // eUserCanceled when nothing was chosen.
    KTErr ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where, short& command);

protected:
    KTErr AddMenuItems(void* menu, KCMenuData::ItemVec& items, short checkedCommand,
                       uint32_t menuFlags);
    KTErr AddMenuItem(void* menu, KCMenuItemData& item, short checkedCommand, uint32_t menuFlags);
    KTErr AddSubMenuItem(void* menu, KCMenuItemData& item, short checkedCommand,
                         uint32_t menuFlags);
    KTErr LoadMenuImage(short resID, KCNativeImage*& image);

    std::vector<void*> subMenus;
    std::vector<KCNativeImage*> images;
    void* menuRef = nullptr;
    KTResContainerType* resContainer = nullptr;
    KCWindow* imageWindow = nullptr;
    bool commandsAsGiven = false;
};

class KCToolBarMenu : public KCMenu {
public:
    KCToolBarMenu() { commandsAsGiven = true; }
    // Appends to the menu bar a drop-down titled with the root's title.
    KTErr AddToolBarMenu(KCMenuData& data, void* menuBar);
    // Rebuilds the drop-down's items.
    KTErr CreateToolBarMenu(KCMenuData& data, void* notRead, short checkedCommand);
};

// The check mark and image of one item as the native menu shows it.
struct KCMenuItemLook {
    uint32_t flags = 0;
    int16_t image = -1;
};
KCMenuItemLook KMMenuItemLook(const KCMenuItemData& item, short checkedCommand, uint32_t menuFlags);
