#include "loggerui/ListModel.h"

#include "loggerui/TextUtils.h"

#include <algorithm>

namespace loggerui {

namespace {

constexpr std::size_t kCellBuffer = 260;
constexpr uint32_t kDarkLines = 0xBAB5B1;
constexpr uint32_t kLightLines = 0xD5D4D2;

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsHexDigit(wchar_t c) {
    return IsDigit(c) || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

bool IsLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

bool Covers(int entryRow, int entryColumn, int row, int column) {
    return (entryRow == row && (entryColumn == column || entryColumn == -1)) ||
           (entryColumn == column && entryRow == -1);
}

bool FilterAccepts(int filter, wchar_t c) {
    if (c == L'\b')
        return true;
    switch (filter) {
    case 1:
        return IsDigit(c) || IsLetter(c) || c == L'_';
    case 2:
        return IsHexDigit(c) || c == L'x' || c == L'X';
    case 3:
        return IsHexDigit(c) || c == L'x' || c == L'X' || c == L' ' || c == L',';
    default:
        return true;
    }
}

std::optional<std::size_t> InitialChoice(const std::list<std::wstring>& choices,
                                         const std::wstring& text) {
    const bool listed = std::find(choices.begin(), choices.end(), text) != choices.end();
    if (!text.empty() && !listed)
        return std::nullopt;
    std::size_t index = 0;
    for (const std::wstring& choice : choices) {
        if (choice.starts_with(text))
            return index;
        ++index;
    }
    return std::nullopt;
}

uint64_t ChoiceValue(int valueMode, std::size_t index) {
    if (valueMode == 1)
        return index + 1;
    return index < 64 ? uint64_t{1} << index : 0;
}

std::vector<int> SizedColumnWidths(int mode, const std::vector<int>& fitted, int dummy) {
    std::vector<int> widths = fitted;
    if (mode == 0 && widths.size() == 1)
        widths[0] -= 3;
    if (mode == 2 && dummy >= 4 && !widths.empty()) {
        const int extra = (dummy - 3) / static_cast<int>(widths.size());
        for (int& width : widths)
            width += extra;
    }
    return widths;
}

std::vector<MenuEntry> ItemMenuEntries(unsigned permissions, std::size_t selectedRows,
                                       bool placeholder, int clickedRow, std::size_t rowCount) {
    std::vector<MenuEntry> menu;
    if (!(permissions & (kAllowEdit | kAllowInsert | kAllowDelete | kAllowMove)))
        return menu;
    const bool last = clickedRow >= 0 && static_cast<std::size_t>(clickedRow) + 1 >= rowCount;
    const bool single = selectedRows == 1 && !(placeholder && last);
    if (permissions & kAllowEdit)
        menu.push_back({kCmdEdit, "&Edit\tF2", single});
    if (permissions & (kAllowInsert | kAllowDelete)) {
        menu.push_back({0, "", true});
        if (permissions & kAllowInsert)
            menu.push_back({kCmdInsert, "&Insert...\tInsert", true});
        if (permissions & kAllowDelete)
            menu.push_back({kCmdDelete, "&Delete\tDelete", single});
    }
    if (permissions & kAllowMove) {
        menu.push_back({0, "", true});
        menu.push_back({kCmdMoveUp, "Move &Up\tCtrl+Up", single && clickedRow > 0});
        menu.push_back(
            {kCmdMoveDown, "Move Dow&n\tCtrl+Down", single && !(clickedRow > 0 && last)});
    }
    return menu;
}

CellLines OwnCellLines(const std::vector<int>& columnWidths, int scrollX, int width, int height,
                       int rowHeight) {
    CellLines lines;
    int edge = -scrollX;
    for (int w : columnWidths) {
        edge += w;
        if (edge >= width)
            break;
        if (edge >= 0)
            lines.xs.push_back(edge);
    }
    if (rowHeight > 0)
        for (int y = rowHeight + 1; y < height; y += rowHeight)
            lines.ys.push_back(y);
    return lines;
}

Hsl HslOf(uint32_t colourRef) {
    const double r = (colourRef & 0xFF) / 255.0;
    const double g = ((colourRef >> 8) & 0xFF) / 255.0;
    const double b = ((colourRef >> 16) & 0xFF) / 255.0;
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double l = (max + min) / 2;
    double hue = 0;
    double saturation = 0;
    if (max != min) {
        const double d = max - min;
        saturation = l < 0.5 ? d / (max + min) : d / (2 - max - min);
        if (max == b)
            hue = (r - g) / d + 4;
        else if (max == g)
            hue = (b - r) / d + 2;
        else
            hue = (g - b) / d;
        hue *= 60;
        if (hue < 0)
            hue += 360;
    }
    return {static_cast<int>(hue), static_cast<int>(saturation * 100), static_cast<int>(l * 100)};
}

uint32_t CellLineColour(uint32_t windowColourRef) {
    const int lightness = HslOf(windowColourRef).lightness;
    return lightness >= 81 && lightness <= 85 ? kDarkLines : kLightLines;
}

// ---- content

void ListModel::SetColumnCount(std::size_t columns) {
    columns_ = columns;
    for (Row& row : rows_)
        row.cells.resize(columns);
}

std::wstring ListModel::GetCellText(int row, int column) const {
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= rows_.size() ||
        static_cast<std::size_t>(column) >= columns_)
        return {};
    return rows_[row].cells[column];
}

void ListModel::SetCellText(int row, int column, const std::wstring& text) {
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= rows_.size() ||
        static_cast<std::size_t>(column) >= columns_)
        return;
    rows_[row].cells[column] = text;
}

void ListModel::InsertRow(std::size_t at) {
    Row row;
    row.cells.resize(columns_);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(std::min(at, rows_.size())),
                 std::move(row));
}

void ListModel::DeleteRow(std::size_t row) {
    if (row < rows_.size())
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    if (mark_ >= static_cast<int>(rows_.size()))
        mark_ = -1;
}

void ListModel::DeleteAllRows() {
    rows_.clear();
    mark_ = -1;
}

void ListModel::SetItemData(std::size_t row, uint64_t data) {
    if (row < rows_.size())
        rows_[row].data = data;
}

// ---- per-cell settings

std::size_t ListModel::SetCellEditType(int row, int column, int type) {
    const bool covered =
        std::any_of(editorTypes_.begin(), editorTypes_.end(),
                    [&](const CellEntry& e) { return Covers(e.row, e.column, row, column); });
    if (!covered)
        editorTypes_.push_back({row, column, type});
    return editorTypes_.size();
}

int ListModel::EditorTypeAt(int row, int column) const {
    for (const CellEntry& e : editorTypes_)
        if (Covers(e.row, e.column, row, column))
            return e.type;
    return defaultEditorType_;
}

std::size_t ListModel::SetCellColor(int row, int column, uint32_t background, uint32_t text) {
    const bool single = row >= 0 && column >= 0;
    const bool present = std::any_of(colours_.begin(), colours_.end(), [&](const ColourEntry& e) {
        return single ? e.row == row && e.column == column : Covers(e.row, e.column, row, column);
    });
    if (!present)
        colours_.push_back({row, column, {background, text}});
    return colours_.size();
}

std::optional<ListModel::Colour> ListModel::GetCellColor(int row, int column) const {
    for (const ColourEntry& e : colours_)
        if (e.row == row && e.column == column)
            return e.colour;
    for (const ColourEntry& e : colours_)
        if (Covers(e.row, e.column, row, column))
            return e.colour;
    return std::nullopt;
}

void ListModel::SetCellValue(int row, int column, uint64_t value) {
    if (value == 0)
        values_.erase(ValueKey{row, column});
    else
        values_[ValueKey{row, column}] = value;
}

uint64_t ListModel::GetCellValue(int row, int column) {
    return values_[ValueKey{row, column}];
}

bool ListModel::HasCellValue(int row, int column) const {
    return values_.count(ValueKey{row, column}) != 0;
}

void ListModel::AddOptions(int row, int column, std::wstring tabSeparated) {
    options_.push_back({row, column, std::move(tabSeparated)});
}

std::list<std::wstring> ListModel::ChoicesFor(int row, int column) const {
    std::list<std::wstring> choices;
    if (optionFunction_ && optionFunction_(row, column, choices) == 1)
        return choices;
    choices.clear();
    for (const OptionEntry& e : options_) {
        if (Covers(e.row, e.column, row, column)) {
            SplitTabsToList(choices, e.choices);
            break;
        }
    }
    return choices;
}

// ---- edits

int ListModel::BeginEdit(int row, int column) {
    if (!(permissions_ & kAllowEdit) || row < 0 || column < 0)
        return kEditorNone;
    const int type = EditorTypeAt(row, column);
    switch (type) {
    case kEditorDropDown:
    case kEditorHexList:
    case kEditorPlain:
        modified_ = true;
        return type;
    case kEditorCheckList:
        return type;
    default:
        return kEditorNone;
    }
}

bool ListModel::EndEdit(int row, int column, const std::optional<std::wstring>& text) {
    if (!text || row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return false;
    SetCellText(row, column, Trim(*text));
    if (column != 0) {
        // Column 0 is set again from a buffer of 260 characters.
        std::wstring first = GetCellText(row, 0);
        if (first.size() > kCellBuffer - 1)
            first.resize(kCellBuffer - 1);
        SetCellText(row, 0, first);
    }
    return true;
}

std::vector<std::size_t> ListModel::TrailingBlankRows() const {
    std::vector<std::size_t> blank;
    if (columns_ <= 1)
        return blank;
    for (std::size_t i = rows_.size(); i-- > 0;) {
        const bool empty = std::all_of(rows_[i].cells.begin(), rows_[i].cells.end(),
                                       [](const std::wstring& cell) { return Trim(cell).empty(); });
        if (!empty)
            break;
        blank.push_back(i);
    }
    return blank;
}

bool ListModel::KeepPlaceholderRow(const std::wstring& placeholder) {
    if (placeholder.empty() || columns_ == 0 ||
        (!rows_.empty() && rows_.back().cells[0] == placeholder))
        return false;
    InsertRow(rows_.size());
    SetCellText(static_cast<int>(rows_.size() - 1), 0, placeholder);
    return true;
}

// ---- selection and moves

void ListModel::Select(std::size_t row, bool selected) {
    if (row < rows_.size())
        rows_[row].selected = selected;
}

void ListModel::ClearSelection() {
    for (Row& row : rows_)
        row.selected = false;
}

std::vector<std::size_t> ListModel::GetSelectedRows() const {
    std::vector<std::size_t> selected;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].selected)
            selected.push_back(i);
    return selected;
}

int ListModel::GetLastSelectedRow() const {
    for (std::size_t i = rows_.size(); i-- > 0;)
        if (rows_[i].selected)
            return static_cast<int>(i);
    return -1;
}

void ListModel::DeleteSelectedRows() {
    for (std::size_t i = rows_.size(); i-- > 0;)
        if (rows_[i].selected)
            DeleteRow(i);
}

std::size_t ListModel::InsertPosition() const {
    const std::vector<std::size_t> selected = GetSelectedRows();
    return selected.empty() ? rows_.size() : selected.front() + 1;
}

void ListModel::SelectOnly(std::size_t row) {
    ClearSelection();
    Select(row);
    mark_ = static_cast<int>(row);
}

void ListModel::MoveRowUp(int row) {
    if (row <= 0 || static_cast<std::size_t>(row) >= rows_.size())
        return;
    std::swap(rows_[row - 1], rows_[row]);
    modified_ = false;
    SelectOnly(static_cast<std::size_t>(row - 1));
}

void ListModel::MoveRowDown(int row) {
    if (row < 0 || static_cast<std::size_t>(row) + 1 >= rows_.size())
        return;
    std::swap(rows_[row], rows_[row + 1]);
    modified_ = false;
    SelectOnly(static_cast<std::size_t>(row + 1));
}

std::wstring ListModel::TableText(const std::wstring& separator) const {
    std::wstring text;
    for (const Row& row : rows_) {
        for (std::size_t c = 0; c < columns_; ++c) {
            auto prefix = prefixes_.find(static_cast<int>(c));
            if (prefix != prefixes_.end())
                text += prefix->second;
            text += Trim(row.cells[c]);
            text += separator;
        }
        if (!text.empty())
            text += L'\n';
    }
    return text;
}

} // namespace loggerui
