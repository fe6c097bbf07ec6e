#include "loggerui/CheckListModel.h"

#include <gtest/gtest.h>

using namespace loggerui;

namespace {

CheckListModel ThreeItems(int row = 1, int column = 2) {
    CheckListModel combo(row, column);
    combo.SetItems({L"Left", L"Centre", L"Right"});
    combo.SetSeparator(L", ");
    return combo;
}

TEST(CheckList, NothingCheckedReadsNoneAndRemovesTheCellValue) {
    ListModel list(3);
    list.SetCellValue(1, 2, 0x4);
    CheckListModel combo = ThreeItems();
    EXPECT_EQ(combo.Summary(&list), L"(None)"); // fresh at construction
    combo.SetCheck(2, true);
    combo.SetCheck(2, false);
    EXPECT_EQ(combo.Summary(&list), L"(None)");
    EXPECT_EQ(combo.Mask(), 0u);
    EXPECT_FALSE(list.HasCellValue(1, 2));
}

TEST(CheckList, CheckedItemsGiveTheMaskAndTheirTexts) {
    ListModel list(3);
    CheckListModel combo = ThreeItems();
    EXPECT_EQ(combo.SetCheck(0, true), 0);
    EXPECT_EQ(combo.SetCheck(2, true), 2);
    EXPECT_EQ(combo.SetCheck(3, true), -1);
    EXPECT_EQ(combo.Summary(&list), L"Left, Right");
    EXPECT_EQ(combo.Mask(), 0x5u);
    EXPECT_EQ(list.GetCellValue(1, 2), 0x5u);

    CheckListModel fromMask = ThreeItems();
    fromMask.SetCheckedMask(0x6);
    EXPECT_EQ(fromMask.Summary(), L"Centre, Right");
    CheckListModel wide(0, 0);
    std::vector<std::wstring> many(41, L"i");
    many[40] = L"forty";
    wide.SetItems(many);
    wide.SetCheckedMask(uint64_t{1} << 40);
    EXPECT_TRUE(wide.HasItemFlag(40, kItemChecked));
    EXPECT_EQ(wide.Summary(), L"forty");
}

TEST(CheckList, ExclusiveAndDisabledItems) {
    CheckListModel combo(0, 0);
    combo.SetItems({L"A", L"B", L"C", L"D"});
    combo.SetSeparator(L"; ");
    for (int i : {0, 1, 2})
        combo.SetItemFlags(i, kItemExclusive);
    combo.SetCheck(0, true);
    combo.SetCheck(3, true);
    combo.SetCheck(1, true); // unchecks A
    EXPECT_FALSE(combo.HasItemFlag(0, kItemChecked));
    EXPECT_TRUE(combo.HasItemFlag(1, kItemChecked));
    EXPECT_EQ(combo.Summary(), L"B; D");
    combo.SetCheck(1, false); // an exclusive item stays checked
    EXPECT_TRUE(combo.HasItemFlag(1, kItemChecked));
    // A checked exclusive item that is disabled blocks the others.
    combo.SetItemFlags(1, kItemExclusive | kItemChecked | kItemDisabled);
    combo.SetCheck(2, true);
    EXPECT_FALSE(combo.HasItemFlag(2, kItemChecked));
    EXPECT_TRUE(combo.HasItemFlag(1, kItemChecked));
    // A disabled item never changes.
    combo.SetItemFlags(3, kItemDisabled);
    combo.SetCheck(3, true);
    EXPECT_FALSE(combo.HasItemFlag(3, kItemChecked));
    EXPECT_EQ(combo.SetItemFlags(9, 0), -1);
}

TEST(CheckList, TheLocaleSeparator) {
    EXPECT_EQ(LocaleListSeparator(), L", "); // the "C" locale
    CheckListModel combo(0, 0);
    combo.SetItems({L"x", L"y"});
    combo.SetCheckedMask(0x3);
    EXPECT_EQ(combo.Summary(), L"x, y");
}

} // namespace
