#include "loggerui/ListModel.h"

#include <gtest/gtest.h>

using namespace loggerui;

namespace {

ListModel Filled(std::size_t rows, std::size_t columns = 3) {
    ListModel model(columns);
    for (std::size_t r = 0; r < rows; ++r) {
        model.InsertRow(r);
        for (std::size_t c = 0; c < columns; ++c)
            model.SetCellText(static_cast<int>(r), static_cast<int>(c),
                              std::to_wstring(r) + L"." + std::to_wstring(c));
        model.SetItemData(r, 100 + r);
    }
    return model;
}

TEST(ListModel, CoveringRuleForEditorTypesAndColours) {
    EXPECT_TRUE(Covers(2, -1, 2, 5));
    EXPECT_TRUE(Covers(-1, 3, 7, 3));
    EXPECT_TRUE(Covers(1, 1, 1, 1));
    EXPECT_FALSE(Covers(1, 1, 1, 2));
    EXPECT_FALSE(Covers(-1, 3, 7, 4));

    ListModel model(4);
    model.SetDefaultEditorType(kEditorHexList);
    EXPECT_EQ(model.SetCellEditType(-1, 0, kEditorNone), 1u);
    EXPECT_EQ(model.SetCellEditType(3, 0, kEditorDropDown), 1u); // covered by the column
    EXPECT_EQ(model.SetCellEditType(-1, 1, kEditorDropDown), 2u);
    EXPECT_EQ(model.EditorTypeAt(3, 0), kEditorNone);
    EXPECT_EQ(model.EditorTypeAt(3, 1), kEditorDropDown);
    EXPECT_EQ(model.EditorTypeAt(3, 2), kEditorHexList);

    // A whole column, then one of its cells: the cell's own colours win.
    EXPECT_EQ(model.SetCellColor(-1, 2, 0x111111, 0x222222), 1u);
    EXPECT_EQ(model.SetCellColor(4, 2, 0xC0C0FF, 0x000000), 2u);
    EXPECT_EQ(model.SetCellColor(4, 2, 0xC0FFC0, 0x000000), 2u);  // exists: not appended
    EXPECT_EQ(model.SetCellColor(-1, 2, 0x333333, 0x444444), 2u); // covered
    EXPECT_EQ(model.GetCellColor(4, 2)->background, 0xC0C0FFu);
    EXPECT_EQ(model.GetCellColor(5, 2)->background, 0x111111u);
    EXPECT_FALSE(model.GetCellColor(5, 3).has_value());
    model.ClearCellColors();
    EXPECT_FALSE(model.GetCellColor(4, 2).has_value());
}

TEST(ListModel, EditsMarkModifiedAndStoreTrimmedText) {
    ListModel model = Filled(3, 7);
    model.SetCellEditType(-1, 0, kEditorNone);
    model.SetCellEditType(-1, 6, kEditorCheckList);
    EXPECT_EQ(model.BeginEdit(1, 0), kEditorNone);
    EXPECT_FALSE(model.Modified());
    EXPECT_EQ(model.BeginEdit(1, 6), kEditorCheckList);
    EXPECT_FALSE(model.Modified());
    EXPECT_EQ(model.BeginEdit(-1, 2), kEditorNone);
    EXPECT_EQ(model.BeginEdit(1, 5), kEditorHexList);
    EXPECT_TRUE(model.Modified());
    EXPECT_TRUE(model.EndEdit(2, 5, L"  0x00, 0xA5  "));
    EXPECT_EQ(model.GetCellText(2, 5), L"0x00, 0xA5");
    // Escape: no text, nothing stored, nothing sent.
    EXPECT_FALSE(model.EndEdit(2, 5, std::nullopt));
    EXPECT_EQ(model.GetCellText(2, 5), L"0x00, 0xA5");
    // Column 0 comes back cut to 259 characters after an edit elsewhere.
    model.SetCellText(0, 0, std::wstring(300, L'n'));
    model.EndEdit(0, 1, L"x");
    EXPECT_EQ(model.GetCellText(0, 0).size(), 259u);
    EXPECT_EQ(model.GetCellText(-1, 0), L"");
}

TEST(ListModel, DropDownsChoicesAndValues) {
    ListModel model = Filled(2);
    model.AddOptions(-1, 1, L"Write\tRead\tDelay");
    EXPECT_EQ(model.ChoicesFor(0, 1), (std::list<std::wstring>{L"Write", L"Read", L"Delay"}));
    EXPECT_TRUE(model.ChoicesFor(0, 2).empty());
    model.SetOptionFunction([](int, int column, std::list<std::wstring>& choices) {
        if (column != 2)
            return 0;
        choices = {L"A", L"B"};
        return 1;
    });
    EXPECT_EQ(model.ChoicesFor(0, 2), (std::list<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(model.ChoicesFor(0, 1).size(), 3u);

    const std::list<std::wstring> actions{L"Write", L"Read", L"Delay"};
    EXPECT_EQ(InitialChoice(actions, L""), 0u);
    EXPECT_EQ(InitialChoice(actions, L"Read"), 1u);
    EXPECT_FALSE(InitialChoice(actions, L"Re").has_value());
    EXPECT_EQ(ChoiceValue(1, 2), 3u);
    EXPECT_EQ(ChoiceValue(0, 2), 4u);
    model.SetCellValue(1, 1, ChoiceValue(1, 2));
    EXPECT_EQ(model.GetCellValue(1, 1), 3u);
    model.SetCellValue(1, 1, 0);
    EXPECT_FALSE(model.HasCellValue(1, 1));
    EXPECT_EQ(model.GetCellValue(1, 1), 0u); // created with 0
    EXPECT_TRUE(model.HasCellValue(1, 1));
}

TEST(ListModel, FiltersOfTheEditBox) {
    EXPECT_FALSE(FilterAccepts(3, L'g'));
    EXPECT_TRUE(FilterAccepts(3, L' '));
    EXPECT_TRUE(FilterAccepts(3, L','));
    EXPECT_TRUE(FilterAccepts(3, L'X'));
    EXPECT_FALSE(FilterAccepts(2, L','));
    EXPECT_TRUE(FilterAccepts(1, L'_'));
    EXPECT_FALSE(FilterAccepts(1, L'-'));
    EXPECT_TRUE(FilterAccepts(0, L'-'));
    for (int filter : {0, 1, 2, 3})
        EXPECT_TRUE(FilterAccepts(filter, L'\b'));
}

TEST(ListModel, SelectionMovesAndDeletes) {
    ListModel model = Filled(5);
    EXPECT_EQ(model.InsertPosition(), 5u);
    model.Select(2);
    model.Select(4);
    EXPECT_EQ(model.GetSelectedRows(), (std::vector<std::size_t>{2, 4}));
    EXPECT_EQ(model.GetLastSelectedRow(), 4);
    EXPECT_EQ(model.InsertPosition(), 3u);
    model.SetModified(true);
    model.MoveRowUp(0);   // nothing at the top
    model.MoveRowDown(4); // nothing at the bottom
    EXPECT_TRUE(model.Modified());
    model.MoveRowUp(3);
    EXPECT_FALSE(model.Modified());
    EXPECT_EQ(model.GetCellText(2, 0), L"3.0");
    EXPECT_EQ(model.ItemData(2), 103u);
    EXPECT_EQ(model.GetCellText(3, 0), L"2.0");
    EXPECT_EQ(model.GetSelectedRows(), std::vector<std::size_t>{2});
    EXPECT_EQ(model.SelectionMark(), 2);
    model.MoveRowDown(0);
    EXPECT_EQ(model.GetCellText(1, 0), L"0.0");
    EXPECT_EQ(model.SelectionMark(), 1);
    model.Select(4);
    model.DeleteSelectedRows();
    EXPECT_EQ(model.RowCount(), 3u);
    EXPECT_EQ(model.GetCellText(1, 0), L"3.0");
    EXPECT_EQ(model.GetLastSelectedRow(), -1);
}

TEST(ListModel, TableTextAndTrailingBlankRows) {
    ListModel model(2);
    model.InsertRow(0);
    model.SetCellText(0, 0, L" 1 ");
    model.SetCellText(0, 1, L"Write");
    EXPECT_EQ(model.TableText(L"\t"), L"1\tWrite\t\n");
    model.SetColumnPrefix(1, L"//");
    EXPECT_EQ(model.TableText(L"\t"), L"1\t//Write\t\n");
    EXPECT_TRUE(model.TrailingBlankRows().empty());
    model.InsertRow(1);
    model.InsertRow(2);
    model.SetCellText(2, 1, L"   ");
    EXPECT_EQ(model.TrailingBlankRows(), (std::vector<std::size_t>{2, 1}));
    EXPECT_TRUE(ListModel(1).TrailingBlankRows().empty());
}

TEST(ListModel, ColumnSizingAndLineColours) {
    // Mode 2 on a 300-pixel list with three narrow columns: the extra
    // column's width is spread, leaving at most 3 pixels and the rounding.
    const std::vector<int> fitted{40, 50, 60};
    const int dummy = 300 - 150;
    const std::vector<int> spread = SizedColumnWidths(2, fitted, dummy);
    int total = 0;
    for (int w : spread)
        total += w;
    EXPECT_EQ(spread, (std::vector<int>{89, 99, 109}));
    EXPECT_GE(total, 300 - 3 - 2);
    EXPECT_EQ(SizedColumnWidths(1, fitted, dummy), fitted);
    EXPECT_EQ(SizedColumnWidths(0, {80}, 0), std::vector<int>{77});
    EXPECT_EQ(SizedColumnWidths(2, fitted, 3), fitted);

    const Hsl white = HslOf(0xFFFFFF);
    EXPECT_EQ(white.lightness, 100);
    EXPECT_EQ(white.saturation, 0);
    const Hsl blue = HslOf(0xFF0000); // COLORREF: blue
    EXPECT_EQ(blue.hue, 240);
    EXPECT_EQ(blue.saturation, 100);
    EXPECT_EQ(blue.lightness, 50);
    EXPECT_EQ(HslOf(0x0000FF).hue, 0);
    EXPECT_EQ(CellLineColour(0xD4D4D4), 0xBAB5B1u); // lightness 83
    EXPECT_EQ(CellLineColour(0xFFFFFF), 0xD5D4D2u);
}

TEST(ListModel, ItemMenuFollowsPermissionsSelectionAndPlaceholder) {
    constexpr unsigned kAll = kAllowInsert | kAllowDelete | kAllowEdit | kAllowMove;
    const MenuEntry sep{0, "", true};
    auto edit = [](bool on) { return MenuEntry{kCmdEdit, "&Edit\tF2", on}; };
    const MenuEntry insert{kCmdInsert, "&Insert...\tInsert", true};
    auto del = [](bool on) { return MenuEntry{kCmdDelete, "&Delete\tDelete", on}; };
    auto up = [](bool on) { return MenuEntry{kCmdMoveUp, "Move &Up\tCtrl+Up", on}; };
    auto down = [](bool on) { return MenuEntry{kCmdMoveDown, "Move Dow&n\tCtrl+Down", on}; };
    struct Case {
        const char* what;
        unsigned permissions;
        std::size_t selected;
        bool placeholder;
        int clicked;
        std::vector<MenuEntry> menu;
    };
    const Case cases[] = {
        {"middle row",
         kAll,
         1,
         false,
         1,
         {edit(true), sep, insert, del(true), sep, up(true), down(true)}},
        {"first row",
         kAll,
         1,
         false,
         0,
         {edit(true), sep, insert, del(true), sep, up(false), down(true)}},
        {"last row",
         kAll,
         1,
         false,
         2,
         {edit(true), sep, insert, del(true), sep, up(true), down(false)}},
        {"two selected",
         kAll,
         2,
         false,
         1,
         {edit(false), sep, insert, del(false), sep, up(false), down(false)}},
        {"placeholder row",
         kAll,
         1,
         true,
         2,
         {edit(false), sep, insert, del(false), sep, up(false), down(false)}},
        {"edit only", kAllowEdit, 1, false, 1, {edit(true)}},
        {"insert and move",
         kAllowInsert | kAllowMove,
         1,
         false,
         1,
         {sep, insert, sep, up(true), down(true)}},
        {"nothing permitted", 0, 1, false, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ItemMenuEntries(c.permissions, c.selected, c.placeholder, c.clicked, 3), c.menu);
    }
}

TEST(ListModel, PlaceholderRowIsKeptLast) {
    ListModel model(2);
    EXPECT_FALSE(model.KeepPlaceholderRow(L""));
    EXPECT_EQ(model.RowCount(), 0u);
    EXPECT_TRUE(model.KeepPlaceholderRow(L"<new>"));
    ASSERT_EQ(model.RowCount(), 1u);
    EXPECT_EQ(model.GetCellText(0, 0), L"<new>");
    EXPECT_FALSE(model.KeepPlaceholderRow(L"<new>"));
    model.SetCellText(0, 0, L"typed");
    EXPECT_TRUE(model.KeepPlaceholderRow(L"<new>"));
    EXPECT_EQ(model.RowCount(), 2u);
    EXPECT_EQ(model.GetCellText(1, 0), L"<new>");
}

TEST(ListModel, OwnCellLinesFollowTheColumnsAndThePage) {
    // Edges at 40, 90, 150; scrolled by 45 they are at 45 and 105 (the
    // first is out of sight); a width of 100 ends the vertical lines.
    EXPECT_EQ(OwnCellLines({40, 50, 60}, 0, 300, 50, 20).xs, (std::vector<int>{40, 90, 150}));
    EXPECT_EQ(OwnCellLines({40, 50, 60}, 45, 300, 50, 20).xs, (std::vector<int>{45, 105}));
    EXPECT_EQ(OwnCellLines({40, 50, 60}, 0, 100, 50, 20).xs, (std::vector<int>{40, 90}));
    EXPECT_EQ(OwnCellLines({40}, 0, 300, 70, 20).ys, (std::vector<int>{21, 41, 61}));
    EXPECT_TRUE(OwnCellLines({40}, 0, 300, 70, 0).ys.empty());
}

} // namespace
