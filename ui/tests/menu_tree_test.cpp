#include <gtest/gtest.h>

#include <memory>

#include "ui/KCMenu.h"

using kvXML::CXMLElement;

namespace {

CXMLElement* Item(const char* text, const char* state = nullptr) {
    auto* item = new CXMLElement("MenuItem", "");
    item->push_back(new CXMLElement("Text", text));
    if (state != nullptr)
        item->push_back(new CXMLElement("State", state));
    return item;
}

// <menu><Flags><disable_checkmarks/></Flags>
//   <MenuItem><Text>File</Text><MenuItem><Text>Open</Text><State>5</State>...
std::unique_ptr<CXMLElement> FileMenu() {
    auto menu = std::make_unique<CXMLElement>("Menu", "");
    auto* flags = new CXMLElement("Flags", "");
    flags->push_back(new CXMLElement("disable_checkmarks", ""));
    menu->push_back(flags);
    CXMLElement* file = Item("File");
    file->push_back(Item("Open", " 5"));
    menu->push_back(file);
    return menu;
}

struct Counted : KCMenuItemData::Data {
    static inline int alive = 0;
    Counted() { ++alive; }
    Counted(const Counted&) : KCMenuItemData::Data() { ++alive; }
    ~Counted() override { --alive; }
    Data* clone() const override { return new Counted(*this); }
};

} // namespace

TEST(MenuTree, ReadsTheXMLForm) {
    KCMenuData data;
    data.ReadFromXML(FileMenu().get());
    EXPECT_EQ(data.flags, kMenuDisableCheckmarks);
    EXPECT_EQ(data.GetRootMenu().title, L"File");
    ASSERT_EQ(data.GetRootMenu().getSubMenuItemVec().size(), 1u);
    const KCMenuItemData* open = data.GetRootMenu().getSubMenuItemVec()[0];
    EXPECT_EQ(open->title, L"Open");
    EXPECT_EQ(open->command, 5);
    EXPECT_EQ(data.GetRootMenu().getChildByName("Open"), open);
    EXPECT_EQ(data.GetRootMenu().getChildByName(L"open"), nullptr);

    // Marks by presence, images, UTF-8 titles, a separator whatever else.
    CXMLElement element("Menu", "");
    CXMLElement* root = Item("Edit");
    CXMLElement* sep = Item("Not shown", "-3");
    sep->push_back(new CXMLElement("Seperator", "no"));
    sep->push_back(new CXMLElement("Checked", ""));
    sep->push_back(new CXMLElement("IdleImageResID", "1200"));
    sep->push_back(new CXMLElement("SelectedImageResID", "1201"));
    sep->push_back(new CXMLElement("Unknown", "x"));
    root->push_back(sep);
    root->push_back(Item("Gr\xc3\xbc\xc3\x9f"
                         "e",
                         "70000"));
    element.push_back(root);
    KCMenuData other;
    other.ReadFromXML(&element);
    EXPECT_EQ(other.flags, 0u);
    const auto& items = other.GetRootMenu().getSubMenuItemVec();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->flags, kMenuItemDataSeparator | kMenuItemDataChecked);
    EXPECT_EQ(items[0]->command, -3);
    EXPECT_EQ(items[0]->idleImage, 1200);
    EXPECT_EQ(items[0]->selectedImage, 1201);
    EXPECT_EQ(items[1]->title, L"Gr\u00fc\u00dfe");
    EXPECT_EQ(items[1]->command, int16_t(70000)); // kept in 16 bits
    EXPECT_EQ(other.WriteToXML(&element), nullptr);
}

TEST(MenuTree, MarksSearchesWalksAndSorts) {
    KCMenuData data;
    data.ReadFromXML(FileMenu().get());
    KCMenuItemData& root = data.GetRootMenu();
    root.insertSubMenuItem(new KCMenuItemData("Close", 6));
    root.insertSubMenuItem(nullptr);
    EXPECT_TRUE(root.CheckItemRecursively(5));
    EXPECT_TRUE(root.flags & kMenuItemDataStateMatch);
    EXPECT_TRUE(root.children[0]->flags & kMenuItemDataStateMatch);
    EXPECT_FALSE(root.children[1]->flags & kMenuItemDataStateMatch);
    EXPECT_FALSE(root.CheckItemRecursively(99));
    EXPECT_FALSE(root.children[0]->flags & kMenuItemDataStateMatch);

    // Three levels deep; the first match in depth-first order.
    auto* deep = new KCMenuItemData_SubMenu("Deep");
    auto* deeper = new KCMenuItemData_SubMenu(L"Deeper");
    deeper->insertSubMenuItem(new KCMenuItemData("Target", 42));
    deep->insertSubMenuItem(deeper);
    root.children[0]->insertSubMenuItem(deep);
    root.insertSubMenuItem(new KCMenuItemData("Later", 42));
    KCMenuItemData* found = data.GetItemDataByCommand(42);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->title, L"Target");
    EXPECT_EQ(KCMenuData::GetItemDataByCommand(root.children, 42, false)->title, L"Later");
    EXPECT_EQ(data.GetItemDataByCommand(1234), nullptr);

    int all = 0, leaves = 0;
    data.ApplyFuncOnAllMenuItems(countMenuItems, &all);
    data.ApplyFuncOnAllMenuItems(countMenuItemsLastLevel, &leaves);
    EXPECT_EQ(all, 6);    // Open, Deep, Deeper, Target, Close, Later
    EXPECT_EQ(leaves, 3); // Target, Close, Later
    KCMenuData::ItemVec flat;
    data.ApplyFuncOnAllMenuItems(fill1LevelVecWithAllMenuItems, &flat);
    ASSERT_EQ(flat.size(), 6u);
    EXPECT_EQ(flat[0]->title, L"Target"); // children before their parent
    EXPECT_EQ(flat[3]->title, L"Open");
    short command = 6;
    data.ApplyFuncOnAllMenuItems(checkItemIfStateMatching, &command);
    EXPECT_TRUE(root.children[1]->flags & kMenuItemDataStateMatch);
    data.ApplyFuncOnAllMenuItems(KCMenuData::DisableItem, nullptr);
    EXPECT_TRUE(flat[0]->flags & kMenuItemDataDisabled);

    KCMenuItemData letters;
    for (const wchar_t* t : {L"B", L"a", L"A"})
        letters.insertSubMenuItem(new KCMenuItemData(t, 1));
    sortMenuItemsAlphabeticaly(letters, nullptr);
    EXPECT_EQ(letters.children[0]->title, L"A");
    EXPECT_EQ(letters.children[1]->title, L"B");
    EXPECT_EQ(letters.children[2]->title, L"a");
}

TEST(MenuTree, SubclassesAndDeepCopies) {
    KCMenuItemData_Title title("Heading");
    EXPECT_EQ(title.command, -1);
    EXPECT_EQ(title.flags, kMenuItemDataDisabled | kMenuItemDataUnderlined);
    KCMenuItemData_Seperator sep;
    EXPECT_EQ(sep.flags, kMenuItemDataSeparator);
    EXPECT_TRUE(sep.title.empty());
    KCMenuItemData_SubMenu sub(L"More");
    EXPECT_EQ(sub.flags, kMenuItemDataSubmenu);

    {
        auto original = std::make_unique<KCMenuData>();
        original->flags = 3;
        KCMenuItemData& root = original->GetRootMenu();
        root.userData2 = new Counted();
        auto* child = new KCMenuItemData("Child", 7);
        child->userData1 = new Counted();
        root.insertSubMenuItem(child);
        KCMenuData copy(*original);
        EXPECT_EQ(Counted::alive, 4);
        original.reset(); // the copy owns its own clones and children
        EXPECT_EQ(Counted::alive, 2);
        EXPECT_EQ(copy.flags, 3u);
        ASSERT_EQ(copy.GetRootMenu().children.size(), 1u);
        EXPECT_EQ(copy.GetRootMenu().children[0]->title, L"Child");
        EXPECT_EQ(copy.GetRootMenu().children[0]->command, 7);
        copy.GetRootMenu().reset();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_EQ(copy.GetRootMenu().command, -1);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(MenuTree, CheckMarksAndImagesOfNativeItems) {
    KCMenuItemData plain("Plain", 4);
    plain.idleImage = 10;
    plain.selectedImage = 11;
    KCMenuItemData fromXML("Checked", 5);
    fromXML.flags = kMenuItemDataChecked;
    fromXML.idleImage = 12;
    KCMenuItemData none("None", -1);
    none.flags = kMenuItemDataChecked;
    KCMenuItemData matched("Matched", 6);
    matched.flags = kMenuItemDataStateMatch;

    struct Case {
        uint32_t menuFlags;
        const KCMenuItemData* item;
        bool checked; // flag 0x4 or 0x20 on the native item
        int16_t image;
    } cases[] = {
        {0, &plain, true, 11},                           // the checked command
        {0, &fromXML, true, 12},                         // keeps its own mark
        {0, &none, false, -1},                           // command -1: never
        {kMenuDisableCheckmarks, &plain, false, 11},     // only state marks
        {kMenuDisableCheckmarks, &fromXML, false, 12},   //
        {kMenuDisableCheckmarks, &matched, true, -1},    //
        {kMenuDisableAutoSelection, &plain, false, 10},  // idle image always
        {kMenuDisableAutoSelection, &fromXML, true, 12}, // "Checked" shows
    };
    for (const Case& c : cases) {
        const KCMenuItemLook look = KMMenuItemLook(*c.item, 4, c.menuFlags);
        EXPECT_EQ((look.flags & (kMenuItemDataChecked | kMenuItemDataStateMatch)) != 0, c.checked)
            << c.menuFlags << " " << c.item->command;
        EXPECT_EQ(look.image, c.image) << c.menuFlags << " " << c.item->command;
    }
}

namespace {

// Item titles keep every byte of an 8-bit title: UTF-8 characters are
// characters, any other byte is a character of its own, and the title's
// bytes come back unchanged.
TEST(MenuTree, TitlesKeepBytesThatAreNotUTF8) {
    const struct {
        const char* bytes;
        size_t characters;
    } cases[] = {
        {"Caf\xC3\xA9", 4},        // UTF-8
        {"Caf\xE9", 4},            // Latin-1
        {"ab\xE2\x82", 4},         // a character cut short: two bytes kept
        {"\x80\xFF x", 4},         // stray bytes
        {"\xF0\x9F\x8E\xB5 A", 3}, // a character beyond 16 bits
    };
    for (const auto& c : cases) {
        const KCMenuItemData item(c.bytes, 1);
        EXPECT_EQ(item.title.size(), c.characters) << c.bytes;
        EXPECT_EQ(KMMenuTextToBytes(item.title), c.bytes);
    }
    EXPECT_EQ(KMMenuTextFromBytes("Plain"), L"Plain");
}

} // namespace
