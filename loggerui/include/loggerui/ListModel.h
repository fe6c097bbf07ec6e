// The content and rules of the script pages' table control, apart from its
// window: cells, per-cell colours and editor types with their covering
// rule, drop-down values, the selection, row moves, the text of the table,
// the edit filters and the column-sizing arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace loggerui {

// Editor types of a cell.
enum EditorType : int {
    kEditorNone = 1,
    kEditorDropDown = 2,
    kEditorHexList = 3,
    kEditorCheckList = 4,
    kEditorPlain = 5,
};

// Messages to the owner: a cell changed, a row should go, the mouse moved
// over the control.
inline constexpr int kMsgCellChanged = 2350;
inline constexpr int kMsgRemoveRow = 2351;
inline constexpr int kMsgMouseMove = 1025;

// Commands of the control: the item menu's, and the column sizing.
enum : int {
    kCmdEdit = 1,
    kCmdInsert = 2,
    kCmdDelete = 3,
    kCmdMoveUp = 4,
    kCmdMoveDown = 5,
    kCmdSizeColumn = 2348,
    kCmdSizeAllColumns = 2349,
};

// Permission bits.
enum : unsigned { kAllowInsert = 1, kAllowDelete = 2, kAllowEdit = 4, kAllowMove = 8 };

// True when an entry for (entryRow, entryColumn) covers the cell (row,
// column): row -1 stands for a whole column, column -1 for a whole row.
bool Covers(int entryRow, int entryColumn, int row, int column);

// The characters an edit filter accepts (backspace always): 0 all,
// 1 identifiers, 2 hexadecimal digits and 'x', 3 those and space and ','.
bool FilterAccepts(int filter, wchar_t c);

// Which choice a drop-down opens on: the first that begins with the cell's
// text when the text is empty or one of the choices; none otherwise.
std::optional<std::size_t> InitialChoice(const std::list<std::wstring>& choices,
                                         const std::wstring& text);
// The value a closed drop-down stores: valueMode 1 the index + 1, 0 the bit.
uint64_t ChoiceValue(int valueMode, std::size_t index);

// Column widths after sizing. fitted: each column's width fitted to its
// content and heading; dummy: the width the extra column of modes 1 and 2
// was given. Mode 0 with a single column gives 3 pixels less; mode 2
// spreads the extra column's width over the real ones.
std::vector<int> SizedColumnWidths(int mode, const std::vector<int>& fitted, int dummy);

// An entry of the item menu; id 0 is a separator.
struct MenuEntry {
    int id;
    std::string_view text;
    bool enabled;
    bool operator==(const MenuEntry&) const = default;
};
// The item menu for a right click on clickedRow: empty when no edit,
// insert, delete or move is permitted.
std::vector<MenuEntry> ItemMenuEntries(unsigned permissions, std::size_t selectedRows,
                                       bool placeholder, int clickedRow, std::size_t rowCount);

// Where the own cell lines go in a window whose rows start at y = 0: a
// vertical line at the right edge of each column (the widths' running sum
// less the horizontal scroll) while it is inside the width, and horizontal
// lines at rowHeight + 1 and then every rowHeight, as many as rows fit.
struct CellLines {
    std::vector<int> xs;
    std::vector<int> ys;
};
CellLines OwnCellLines(const std::vector<int>& columnWidths, int scrollX, int width, int height,
                       int rowHeight);

// Hue (degrees), saturation and lightness (percent) of a COLORREF, each
// truncated toward zero; the own cell lines' colour for a window colour.
struct Hsl {
    int hue;
    int saturation;
    int lightness;
};
Hsl HslOf(uint32_t colourRef);
uint32_t CellLineColour(uint32_t windowColourRef);

class ListModel {
public:
    struct Colour {
        uint32_t background;
        uint32_t text;
    };

    explicit ListModel(std::size_t columns = 0) : columns_(columns) {}

    // ---- content
    std::size_t RowCount() const { return rows_.size(); }
    std::size_t ColumnCount() const { return columns_; }
    void SetColumnCount(std::size_t columns);
    // The empty text for a cell that does not exist (-1 included).
    std::wstring GetCellText(int row, int column) const;
    void SetCellText(int row, int column, const std::wstring& text);
    void InsertRow(std::size_t at);
    void DeleteRow(std::size_t row);
    void DeleteAllRows();
    uint64_t ItemData(std::size_t row) const { return row < rows_.size() ? rows_[row].data : 0; }
    void SetItemData(std::size_t row, uint64_t data);

    // ---- per-cell settings
    void SetDefaultEditorType(int type) { defaultEditorType_ = type; }
    // Appended unless an entry covers the cell; the number of entries.
    std::size_t SetCellEditType(int row, int column, int type);
    int EditorTypeAt(int row, int column) const;
    // Appended unless an entry for exactly this cell exists, or (for a
    // whole row or column) an entry covers it; the number of entries.
    std::size_t SetCellColor(int row, int column, uint32_t background, uint32_t text);
    // The exact cell's entry first, then the first covering one.
    std::optional<Colour> GetCellColor(int row, int column) const;
    void ClearCellColors() { colours_.clear(); }
    void SetColumnPrefix(int column, std::wstring prefix) { prefixes_[column] = std::move(prefix); }
    // A zero value removes the entry.
    void SetCellValue(int row, int column, uint64_t value);
    // An absent entry is created with 0.
    uint64_t GetCellValue(int row, int column);
    bool HasCellValue(int row, int column) const;
    void AddOptions(int row, int column, std::wstring tabSeparated);
    // The choices of a drop-down cell: the owner's when it handles the
    // cell, else the first covering entry of the option table.
    using OptionFunction =
        std::function<int(int row, int column, std::list<std::wstring>& choices)>;
    void SetOptionFunction(OptionFunction function) { optionFunction_ = std::move(function); }
    std::list<std::wstring> ChoicesFor(int row, int column) const;

    // ---- state
    unsigned Permissions() const { return permissions_; }
    void SetPermissions(unsigned permissions) { permissions_ = permissions; }
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    // What an edit start does to the model: the editor type that opens
    // (kEditorNone when nothing opens); drop-down and edit editors mark the
    // list modified.
    int BeginEdit(int row, int column);
    // An edit that ended with text: stores it trimmed; false when no row
    // was edited.
    bool EndEdit(int row, int column, const std::optional<std::wstring>& text);
    // Trailing rows whose cells are all blank, from the last upwards.
    std::vector<std::size_t> TrailingBlankRows() const;
    // With a placeholder text, the list keeps a last row holding it in
    // column 0; true when a row was added.
    bool KeepPlaceholderRow(const std::wstring& placeholder);

    // ---- selection and moves
    void Select(std::size_t row, bool selected = true);
    bool IsSelected(std::size_t row) const { return row < rows_.size() && rows_[row].selected; }
    void ClearSelection();
    std::vector<std::size_t> GetSelectedRows() const;
    int GetLastSelectedRow() const;
    void DeleteSelectedRows();
    int SelectionMark() const { return mark_; }
    void SetSelectionMark(int row) {
        mark_ = row >= 0 && static_cast<std::size_t>(row) < rows_.size() ? row : -1;
    }
    // Where a new row goes: after the first selected row, else at the end.
    std::size_t InsertPosition() const;
    // Moves a row and selects it; nothing at the edges. Clears the
    // modified flag.
    void MoveRowUp(int row);
    void MoveRowDown(int row);

    // Each row: per column its prefix, the cell trimmed and the separator,
    // then a line feed.
    std::wstring TableText(const std::wstring& separator) const;

private:
    struct Row {
        std::vector<std::wstring> cells;
        uint64_t data = 0;
        bool selected = false;
    };
    struct CellEntry {
        int row;
        int column;
        int type;
    };
    struct ColourEntry {
        int row;
        int column;
        Colour colour;
    };
    struct OptionEntry {
        int row;
        int column;
        std::wstring choices;
    };
    void SelectOnly(std::size_t row);
    // Every row and column has a key of its own, however long the list.
    using ValueKey = std::pair<int, int>;

    std::size_t columns_;
    std::vector<Row> rows_;
    std::vector<CellEntry> editorTypes_;
    std::vector<ColourEntry> colours_;
    std::vector<OptionEntry> options_;
    std::map<int, std::wstring> prefixes_;
    std::map<ValueKey, uint64_t> values_;
    OptionFunction optionFunction_;
    int defaultEditorType_ = kEditorHexList;
    unsigned permissions_ = kAllowInsert | kAllowDelete | kAllowEdit | kAllowMove;
    bool modified_ = false;
    int mark_ = -1;
};

} // namespace loggerui
