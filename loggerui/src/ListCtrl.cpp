#include "loggerui/ListCtrl.h"

#include <wx/app.h>
#include <wx/brush.h>
#include <wx/dc.h>
#include <wx/menu.h>
#include <wx/pen.h>
#include <wx/renderer.h>
#include <wx/settings.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/vlbox.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <iterator>

namespace loggerui {

namespace {

wxColour FromColourRef(uint32_t c) {
    return wxColour(static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8),
                    static_cast<unsigned char>(c >> 16));
}

wxColour SystemColour(wxSystemColour index) {
    return wxSystemSettings::GetColour(index);
}

// The cells as the list draws them: the attribute's colours whether the
// control is enabled or not (a disabled control's attributes are grey
// already), the selection's while enabled.
class CellRenderer final : public wxGridCellStringRenderer {
public:
    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int column,
              bool isSelected) override {
        wxColour background = attr.GetBackgroundColour();
        wxColour text = attr.GetTextColour();
        if (isSelected && grid.IsThisEnabled()) {
            background = grid.GetSelectionBackground();
            text = grid.GetSelectionForeground();
        }
        dc.SetBrush(wxBrush(background));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.DrawRectangle(rect);
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        dc.SetTextForeground(text);
        dc.SetFont(attr.GetFont());
        int horizontal = wxALIGN_LEFT, vertical = wxALIGN_CENTRE;
        attr.GetAlignment(&horizontal, &vertical);
        wxRect inside = rect;
        inside.Deflate(2, 0);
        grid.DrawTextRectangle(dc, grid.GetCellValue(row, column), inside, horizontal, vertical);
    }
    wxGridCellRenderer* Clone() const override { return new CellRenderer; }
};

// The edit editor's style for a column's alignment.
long TextAlignStyle(CTrListCtrl::Align align) {
    switch (align) {
    case CTrListCtrl::Align::Right:
        return wxTE_RIGHT;
    case CTrListCtrl::Align::Centre:
        return wxTE_CENTRE;
    default:
        return wxTE_LEFT;
    }
}

bool IsEnter(int key) {
    return key == WXK_RETURN || key == WXK_NUMPAD_ENTER;
}

} // namespace

// ---- the grid's view of the model

class CTrListCtrl::Table final : public wxGridTableBase {
public:
    explicit Table(CTrListCtrl& owner) : owner_(owner) {}
    int GetNumberRows() override { return static_cast<int>(owner_.model_.RowCount()); }
    int GetNumberCols() override { return static_cast<int>(owner_.headings_.size()); }
    wxString GetValue(int row, int column) override {
        return wxString(owner_.model_.GetCellText(row, column));
    }
    void SetValue(int row, int column, const wxString& value) override {
        owner_.EditEnded(row, column, value.ToStdWstring());
    }
    wxString GetColLabelValue(int column) override {
        return column >= 0 && static_cast<std::size_t>(column) < owner_.headings_.size()
                   ? wxString::FromUTF8(owner_.headings_[static_cast<std::size_t>(column)])
                   : wxString();
    }
    bool CanHaveAttributes() override { return true; }
    wxGridCellAttr* GetAttr(int row, int column, wxGridCellAttr::wxAttrKind) override {
        return owner_.AttrFor(row, column);
    }

private:
    CTrListCtrl& owner_;
};

CTrListCtrl::CTrListCtrl(wxWindow* parent, int id, const wxSize& size)
    : wxGrid(parent, id, wxDefaultPosition, size, wxWANTS_CHARS | wxBORDER_SUNKEN) {
    table_ = new Table(*this);
    SetTable(table_, true, wxGridSelectRows);
    SetRowLabelSize(0);
    SetColLabelSize(22);
    DisableDragRowSize();
    SetCellHighlightPenWidth(0);
    SetCellHighlightROPenWidth(0);
    SetDefaultRowSize(20, true);
    // The cells are edited by the list's own editors, never by the grid's.
    EnableEditing(false);
    SetDefaultRenderer(new CellRenderer);
    Bind(wxEVT_GRID_CELL_LEFT_CLICK, &CTrListCtrl::OnLeftClick, this);
    Bind(wxEVT_GRID_RANGE_SELECTED, [this](wxGridRangeSelectEvent& event) {
        SyncSelectionToModel();
        event.Skip();
    });
    Bind(wxEVT_GRID_LABEL_RIGHT_CLICK, &CTrListCtrl::OnHeaderRightClick, this);
    Bind(wxEVT_GRID_CELL_RIGHT_CLICK, &CTrListCtrl::OnRightClick, this);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { AutoSizeColumns(1); }, kCmdSizeAllColumns);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { AutoSizeColumn(ColumnUnderPointer()); },
        kCmdSizeColumn);
    GetGridWindow()->Bind(wxEVT_KEY_DOWN, &CTrListCtrl::OnKey, this);
    GetGridWindow()->Bind(wxEVT_LEFT_DCLICK, &CTrListCtrl::OnDoubleClick, this);
    for (wxWindow* window : {GetGridWindow(), GetGridColLabelWindow()})
        window->Bind(wxEVT_MOTION, &CTrListCtrl::OnMouseMove, this);
    // The own lines go over what the grid painted.
    g_signal_connect_after(GetGridWindow()->GetHandle(), "draw", G_CALLBACK(DrawOwnLines), this);
}

CTrListCtrl::~CTrListCtrl() {
    g_signal_handlers_disconnect_by_data(GetGridWindow()->GetHandle(), this);
}

void CTrListCtrl::DoEnable(bool enable) {
    wxGrid::DoEnable(enable);
    ClearAttrCache();
    ForceRefresh();
}

void CTrListCtrl::SetPlaceholderText(std::wstring text) {
    placeholderText_ = std::move(text);
    KeepPlaceholderRow();
}

void CTrListCtrl::SetOwnLines(bool on) {
    ownLines_ = on;
    EnableGridLines(!on);
    GetGridWindow()->Refresh();
}

int CTrListCtrl::RowHeight() {
    // An empty list measures the height a row would have.
    if (rowHeight_ == 0)
        rowHeight_ = GetNumberRows() > 0 ? GetRowSize(0) : GetDefaultRowSize();
    return rowHeight_;
}

int CTrListCtrl::DrawOwnLines(void*, cairo_t* cr, void* list) {
    static_cast<CTrListCtrl*>(list)->PaintOwnLines(cr);
    return FALSE; // the window's other handlers run too
}

void CTrListCtrl::PaintOwnLines(cairo_t* cr) {
    if (!ownLines_ || !IsEnabled())
        return;
    std::vector<int> widths;
    for (int c = 0; c < GetNumberCols(); ++c)
        widths.push_back(GetColSize(c));
    const wxSize size = GetGridWindow()->GetClientSize();
    const int scrollX = CalcUnscrolledPosition(wxPoint(0, 0)).x;
    const CellLines lines = OwnCellLines(widths, scrollX, size.x, size.y, RowHeight());
    const wxColour window = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
    const uint32_t colour = CellLineColour(static_cast<uint32_t>(window.GetRGB()));
    cairo_save(cr);
    cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);
    cairo_set_line_width(cr, 1.0);
    for (int x : lines.xs) {
        cairo_move_to(cr, x + 0.5, 0);
        cairo_line_to(cr, x + 0.5, size.y);
    }
    for (int y : lines.ys) {
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, size.x, y + 0.5);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void CTrListCtrl::ReportMouseMove() {
    if (notify_)
        notify_(kMsgMouseMove, -1, -1);
}

void CTrListCtrl::OnMouseMove(wxMouseEvent& event) {
    ReportMouseMove();
    event.Skip();
}

void CTrListCtrl::OnHeaderRightClick(wxGridEvent& event) {
    if (event.GetRow() != -1 || !headerMenu_) { // the column labels only
        event.Skip();
        return;
    }
    wxMenu menu;
    menu.Append(kCmdSizeAllColumns, "Size All Columns to Fit");
    openMenu_ = &menu;
    PopupMenu(&menu);
    openMenu_ = nullptr;
}

void CTrListCtrl::OnRightClick(wxGridEvent& event) {
    const int row = event.GetRow();
    if (!itemMenu_ || row < 0 || static_cast<std::size_t>(row) >= model_.RowCount()) {
        event.Skip();
        return;
    }
    SetFocus();
    // A click on a row outside the selection selects that row alone.
    if (!model_.IsSelected(static_cast<std::size_t>(row))) {
        model_.ClearSelection();
        model_.Select(static_cast<std::size_t>(row));
        model_.SetSelectionMark(row);
        SyncFromModel();
        if (selectionHook_)
            selectionHook_();
    }
    ShowItemMenu(row);
}

void CTrListCtrl::ShowItemMenu(int row) {
    const std::vector<MenuEntry> entries =
        ItemMenuEntries(model_.Permissions(), model_.GetSelectedRows().size(),
                        !placeholderText_.empty(), row, model_.RowCount());
    if (entries.empty())
        return;
    wxMenu menu;
    for (const MenuEntry& entry : entries) {
        if (entry.id == 0) {
            menu.AppendSeparator();
            continue;
        }
        menu.Append(entry.id, wxString::FromUTF8(entry.text.data(), entry.text.size()))
            ->Enable(entry.enabled);
    }
    int chosen = 0;
    menu.Bind(wxEVT_MENU, [&chosen](wxCommandEvent& event) { chosen = event.GetId(); });
    openMenu_ = &menu;
    PopupMenu(&menu);
    openMenu_ = nullptr;
    if (chosen != 0)
        ItemCommand(chosen);
}

void CTrListCtrl::ItemCommand(int id) {
    switch (id) {
    case kCmdEdit:
        StartCellEdit(model_.SelectionMark(), 0);
        break;
    case kCmdInsert:
        InsertRowAndEdit();
        break;
    case kCmdDelete:
        RequestRemoval();
        break;
    case kCmdMoveUp:
    case kCmdMoveDown:
        MoveSelected(id == kCmdMoveUp);
        break;
    default:
        break;
    }
}

void CTrListCtrl::MoveSelected(bool up) {
    const std::vector<std::size_t> selected = model_.GetSelectedRows();
    if (!(model_.Permissions() & kAllowMove) || selected.size() != 1)
        return;
    const int row = model_.SelectionMark();
    if (row < 0)
        return;
    // A move never passes the placeholder row.
    const int last = static_cast<int>(model_.RowCount()) - 1;
    if (!placeholderText_.empty() && (row == last || (!up && row + 1 == last)))
        return;
    const bool modified = model_.Modified();
    if (up)
        model_.MoveRowUp(row);
    else
        model_.MoveRowDown(row);
    model_.SetModified(modified);
    SyncFromModel();
    if (selectionHook_)
        selectionHook_();
}

int CTrListCtrl::ColumnUnderPointer() const {
    wxWindow* header = GetGridColLabelWindow();
    const wxPoint at = header->ScreenToClient(wxGetMousePosition());
    return XToCol(CalcUnscrolledPosition(wxPoint(at.x, 0)).x);
}

void CTrListCtrl::AutoSizeColumn(int column) {
    if (column < 0 || column >= GetNumberCols())
        return;
    wxGrid::AutoSizeColumn(column, false);
    ForceRefresh();
}

void CTrListCtrl::KeepPlaceholderRow() {
    if (!IsEnabled())
        return;
    if (model_.KeepPlaceholderRow(placeholderText_))
        SyncFromModel();
    if (GetNumberCols() <= 1 || !notify_)
        return;
    for (std::size_t row : model_.TrailingBlankRows())
        notify_(kMsgRemoveRow, static_cast<int>(row), -1);
}

void CTrListCtrl::OnDoubleClick(wxMouseEvent& event) {
    SetFocus();
    if (clickMode_ != 1) {
        event.Skip();
        return;
    }
    const wxPoint at = CalcUnscrolledPosition(event.GetPosition());
    const int row = YToRow(at.y), column = XToCol(at.x);
    if (row >= 0 && column >= 0) {
        StartCellEdit(row, column);
        return;
    }
    if (row < 0 && model_.RowCount() > 0 && !placeholderText_.empty())
        StartCellEdit(static_cast<int>(model_.RowCount()) - 1, 0);
    else if (row < 0)
        InsertRowAndEdit();
}

void CTrListCtrl::InsertColumn(const std::string& heading, Align align, int width) {
    headings_.push_back(heading);
    aligns_.push_back(align);
    model_.SetColumnCount(headings_.size());
    wxGridTableMessage message(table_, wxGRIDTABLE_NOTIFY_COLS_APPENDED, 1);
    ProcessTableMessage(message);
    SetColSize(static_cast<int>(headings_.size()) - 1, width);
}

CTrListCtrl::Align CTrListCtrl::ColumnAlign(int column) const {
    return column >= 0 && static_cast<std::size_t>(column) < aligns_.size()
               ? aligns_[static_cast<std::size_t>(column)]
               : Align::Left;
}

wxGridCellAttr* CTrListCtrl::AttrFor(int row, int column) {
    auto* attr = new wxGridCellAttr;
    if (const auto colour = model_.GetCellColor(row, column)) {
        attr->SetBackgroundColour(FromColourRef(colour->background));
        attr->SetTextColour(FromColourRef(colour->text));
    } else if (IsThisEnabled()) {
        attr->SetBackgroundColour(SystemColour(wxSYS_COLOUR_WINDOW));
        attr->SetTextColour(SystemColour(wxSYS_COLOUR_WINDOWTEXT));
    } else {
        attr->SetBackgroundColour(SystemColour(wxSYS_COLOUR_BTNFACE));
        attr->SetTextColour(SystemColour(wxSYS_COLOUR_GRAYTEXT));
    }
    const Align align = ColumnAlign(column);
    attr->SetAlignment(align == Align::Left    ? wxALIGN_LEFT
                       : align == Align::Right ? wxALIGN_RIGHT
                                               : wxALIGN_CENTRE,
                       wxALIGN_CENTRE);
    attr->SetReadOnly(true);
    return attr;
}

void CTrListCtrl::SyncFromModel() {
    syncing_ = true;
    const int shown = GetNumberRows();
    const int rows = static_cast<int>(model_.RowCount());
    if (rows > shown) {
        wxGridTableMessage message(table_, wxGRIDTABLE_NOTIFY_ROWS_APPENDED, rows - shown);
        ProcessTableMessage(message);
    } else if (rows < shown) {
        wxGridTableMessage message(table_, wxGRIDTABLE_NOTIFY_ROWS_DELETED, rows, shown - rows);
        ProcessTableMessage(message);
    }
    ClearSelection();
    for (std::size_t r : model_.GetSelectedRows())
        SelectRow(static_cast<int>(r), true);
    syncing_ = false;
    ForceRefresh();
}

void CTrListCtrl::SyncSelectionToModel() {
    if (syncing_)
        return;
    model_.ClearSelection();
    const wxArrayInt rows = GetSelectedRows();
    for (int r : rows)
        model_.Select(static_cast<std::size_t>(r));
    if (!rows.empty())
        model_.SetSelectionMark(GetGridCursorRow() >= 0 ? GetGridCursorRow() : rows.front());
    if (selectionHook_)
        selectionHook_();
}

void CTrListCtrl::OnLeftClick(wxGridEvent& event) {
    SetFocus();
    event.Skip(); // the grid selects the row and moves its cursor
    const int row = event.GetRow(), column = event.GetCol();
    CallAfter([this, row, column] {
        SyncSelectionToModel();
        if (row >= 0 && column >= 0 && (column != 0 || clickMode_ == 0))
            StartCellEdit(row, column);
    });
}

void CTrListCtrl::OnKey(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_INSERT:
        InsertRowAndEdit();
        break;
    case WXK_DELETE:
        RequestRemoval();
        break;
    case WXK_F2:
        StartCellEdit(model_.SelectionMark(), 0);
        break;
    default:
        event.Skip();
    }
}

void CTrListCtrl::RequestRemoval() {
    const int mark = model_.SelectionMark();
    if (mark >= 0 && notify_)
        notify_(kMsgRemoveRow, mark, -1);
}

void CTrListCtrl::InsertRowAndEdit() {
    if (!(model_.Permissions() & kAllowInsert))
        return;
    const std::size_t at = model_.InsertPosition();
    model_.InsertRow(at);
    model_.ClearSelection();
    model_.Select(at);
    model_.SetSelectionMark(static_cast<int>(at));
    SyncFromModel();
    StartCellEdit(static_cast<int>(at), 0);
}

void CTrListCtrl::CloseCheckList() {
    if (!checkList_)
        return;
    checkList_->Destroy();
    checkList_ = nullptr;
    SetFocus();
    Refresh();
}

bool CTrListCtrl::StartCellEdit(int row, int column) {
    CloseCheckList();
    // The open edit ends before the next one starts.
    if (editEditor_)
        editEditor_->End();
    if (comboEditor_)
        comboEditor_->End();
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= model_.RowCount() ||
        static_cast<std::size_t>(column) >= headings_.size())
        return false;
    const int type = model_.BeginEdit(row, column);
    switch (type) {
    case kEditorDropDown:
        return OpenComboEditor(row, column);
    case kEditorHexList:
        return OpenEditEditor(row, column, 3);
    case kEditorPlain:
        return OpenEditEditor(row, column, 0);
    case kEditorCheckList:
        OpenCheckList(row, column);
        return false;
    default:
        return false;
    }
}

std::optional<wxRect> CTrListCtrl::EditorRect(int row, int column) {
    MakeCellVisible(row, column);
    wxRect rect = CellToRect(row, column);
    rect.SetPosition(CalcScrolledPosition(rect.GetPosition()));
    const wxSize client = GetGridWindow()->GetClientSize();
    if (rect.y < 0 || rect.GetBottom() >= client.y)
        return std::nullopt;
    rect.width = std::min(rect.x + GetColSize(column), client.x) - rect.x;
    return rect;
}

bool CTrListCtrl::OpenEditEditor(int row, int column, int filter) {
    const std::optional<wxRect> rect = EditorRect(row, column);
    if (!rect)
        return false;
    const long align = TextAlignStyle(ColumnAlign(column));
    const bool made = editEditor_ == nullptr;
    if (made)
        editEditor_ = new CTrEditCell(this, GetGridWindow(), *rect, align);
    editEditor_->Open(row, column, wxString(model_.GetCellText(row, column)), filter, *rect, align);
    if (made)
        editEditor_->WidenToText();
    return true;
}

bool CTrListCtrl::OpenComboEditor(int row, int column) {
    const std::list<std::wstring> choices = model_.ChoicesFor(row, column);
    if (choices.empty())
        return false;
    const std::optional<wxRect> rect = EditorRect(row, column);
    if (!rect)
        return false;
    if (!comboEditor_)
        comboEditor_ = new CTrComboBoxCell(this, GetGridWindow(), *rect);
    comboEditor_->SetSeparatorMode(separatorMode_);
    comboEditor_->SetValueMode(valueMode_);
    comboEditor_->Open(row, column, choices,
                       InitialChoice(choices, model_.GetCellText(row, column)), *rect,
                       ColumnAlign(column) == Align::Right);
    return true;
}

void CTrListCtrl::OpenCheckList(int row, int column) {
    const std::list<std::wstring> choices = model_.ChoicesFor(row, column);
    if (choices.empty())
        return;
    std::optional<wxRect> rect = EditorRect(row, column);
    if (!rect)
        return;
    rect->Offset(-1, -2);
    checkList_ = new CTrOptionComboBox(this, GetGridWindow(), row, column, *rect,
                                       std::vector<std::wstring>(choices.begin(), choices.end()));
    checkList_->ShowPopup();
    // The first item that begins with the cell's text.
    const std::wstring text = model_.GetCellText(row, column);
    int index = 0;
    for (const std::wstring& choice : choices) {
        if (choice.starts_with(text)) {
            checkList_->Items()->SetSelection(index);
            break;
        }
        ++index;
    }
}

void CTrListCtrl::EditEnded(int row, int column, const std::optional<std::wstring>& text) {
    if (!model_.EndEdit(row, column, text)) {
        ForceRefresh();
        return;
    }
    // The owner hears of it once the editor has closed.
    CallAfter([this, row, column] {
        SyncFromModel();
        KeepPlaceholderRow();
        if (notify_)
            notify_(kMsgCellChanged, row, column);
    });
}

void CTrListCtrl::AutoSizeColumns(int mode) {
    const int n = GetNumberCols();
    if (n == 0)
        return;
    std::vector<int> fitted;
    for (int c = 0; c < n; ++c) {
        wxGrid::AutoSizeColumn(c, false);
        fitted.push_back(GetColSize(c));
    }
    int used = 0;
    for (int w : fitted)
        used += w;
    const int dummy = std::max(0, GetGridWindow()->GetClientSize().x - used);
    const std::vector<int> widths = SizedColumnWidths(mode, fitted, dummy);
    for (int c = 0; c < n && static_cast<std::size_t>(c) < widths.size(); ++c)
        SetColSize(c, widths[static_cast<std::size_t>(c)]);
    ForceRefresh();
}

// ---- the edit editor

CTrEditCell::CTrEditCell(CTrListCtrl* list, wxWindow* parent, const wxRect& rect, long align)
    : wxTextCtrl(parent, 0x1234, wxEmptyString, rect.GetPosition(), rect.GetSize(),
                 wxTE_PROCESS_ENTER | wxBORDER_NONE | align),
      list_(list) {
    Bind(wxEVT_CHAR, &CTrEditCell::OnChar, this);
    Bind(wxEVT_CHAR_HOOK, &CTrEditCell::OnCharHook, this);
    Bind(wxEVT_KILL_FOCUS, &CTrEditCell::OnKillFocus, this);
}

CTrEditCell::~CTrEditCell() {
    // The window's own destruction sends no more events here.
    Unbind(wxEVT_CHAR, &CTrEditCell::OnChar, this);
    Unbind(wxEVT_CHAR_HOOK, &CTrEditCell::OnCharHook, this);
    Unbind(wxEVT_KILL_FOCUS, &CTrEditCell::OnKillFocus, this);
}

void CTrEditCell::Open(int row, int column, const wxString& text, int filter, const wxRect& rect,
                       long align) {
    row_ = row;
    column_ = column;
    initial_ = text;
    filter_ = filter;
    cancel_ = false;
    SetWindowStyleFlag((GetWindowStyleFlag() & ~(wxTE_LEFT | wxTE_CENTRE | wxTE_RIGHT)) | align);
    SetSize(rect);
    if (wxWindow* owner = list_->GetParent())
        SetFont(owner->GetFont());
    ChangeValue(text);
    Show();
    SetFocus();
    SelectAll();
    ShowPosition(GetLastPosition());
}

void CTrEditCell::WidenToText() {
    const int needed = GetTextExtent(GetValue()).x + 5;
    const wxRect rect = GetRect();
    if (rect.width >= needed)
        return;
    const int right = std::min(rect.x + needed, GetParent()->GetClientSize().x);
    if (right - rect.x > rect.width)
        SetSize(rect.x, rect.y, right - rect.x, rect.height);
}

void CTrEditCell::OnChar(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    const wxChar c = event.GetUnicodeKey();
    if (c == WXK_NONE || key < WXK_SPACE || key == WXK_DELETE) {
        event.Skip();
        return;
    }
    if (!FilterAccepts(filter_, static_cast<wchar_t>(c))) {
        wxBell();
        list_->NoteRefused();
        return;
    }
    event.Skip();
    CallAfter(&CTrEditCell::WidenToText);
}

void CTrEditCell::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE)
        cancel_ = true;
    if (key == WXK_ESCAPE || IsEnter(key)) {
        list_->SetFocus();
        return; // not the dialog's
    }
    event.Skip();
}

void CTrEditCell::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    CallAfter([this] {
        if (!HasFocus())
            End();
    });
}

void CTrEditCell::End() {
    if (!IsShown())
        return;
    Hide();
    list_->EditEnded(row_, column_,
                     cancel_ ? std::nullopt
                             : std::optional<std::wstring>(GetValue().ToStdWstring()));
}

// ---- the drop-down editor

CTrComboBoxCell::CTrComboBoxCell(CTrListCtrl* list, wxWindow* parent, const wxRect& rect)
    : wxOwnerDrawnComboBox(parent, 0x1235, wxEmptyString, rect.GetPosition(),
                           wxSize(rect.width, -1), 0, nullptr, wxCB_READONLY),
      list_(list) {
    Bind(wxEVT_COMBOBOX_CLOSEUP, &CTrComboBoxCell::OnListClosed, this);
    Bind(wxEVT_CHAR_HOOK, &CTrComboBoxCell::OnCharHook, this);
    Bind(wxEVT_KILL_FOCUS, &CTrComboBoxCell::OnKillFocus, this);
}

CTrComboBoxCell::~CTrComboBoxCell() {
    // The window's own destruction (its list closing, its focus going)
    // sends no more events here.
    Unbind(wxEVT_COMBOBOX_CLOSEUP, &CTrComboBoxCell::OnListClosed, this);
    Unbind(wxEVT_CHAR_HOOK, &CTrComboBoxCell::OnCharHook, this);
    Unbind(wxEVT_KILL_FOCUS, &CTrComboBoxCell::OnKillFocus, this);
}

void CTrComboBoxCell::OnListClosed(wxCommandEvent& event) {
    // The choice is taken after the list closed.
    CallAfter(&CTrComboBoxCell::OnCloseUp);
    event.Skip();
}

void CTrComboBoxCell::Open(int row, int column, const std::list<std::wstring>& choices,
                           std::optional<std::size_t> selected, const wxRect& rect,
                           bool rightAligned) {
    row_ = row;
    column_ = column;
    cancel_ = false;
    rightAligned_ = rightAligned;
    if (wxWindow* owner = list_->GetParent())
        SetFont(owner->GetFont());
    Clear();
    choices_.clear();
    separators_.clear();
    for (const std::wstring& choice : choices) {
        if (separatorMode_ == 1 && choice == L"-") {
            separators_.push_back(static_cast<int>(choices_.size()) - 1);
            continue;
        }
        choices_.push_back(choice);
        Append(wxString(choice));
    }
    SetSelection(selected ? static_cast<int>(*selected) : wxNOT_FOUND);
    SetSize(rect.x, rect.y, rect.width, -1);
    open_ = true;
    Show();
    SetFocus();
    ShowPopup();
}

std::vector<int> CTrComboBoxCell::SeparatorItems() const {
    std::vector<int> items;
    const int count = static_cast<int>(choices_.size());
    for (int position : separators_) {
        const int item = position < 0 ? count + position : position;
        if (item >= 0 && item < count - 1)
            items.push_back(item);
    }
    return items;
}

int CTrComboBoxCell::DroppedWidth() {
    int widest = 0;
    for (const std::wstring& choice : choices_)
        widest = std::max(widest, GetTextExtent(wxString(choice)).x);
    const int width =
        widest + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this) + GetTextExtent("0").x;
    return std::max(GetSize().x, width);
}

wxVListBox* CTrComboBoxCell::Items() const {
    return GetVListBoxComboPopup();
}

void CTrComboBoxCell::ShowPopup() {
    SetPopupMinWidth(DroppedWidth());
    wxOwnerDrawnComboBox::ShowPopup();
}

wxCoord CTrComboBoxCell::OnMeasureItem(size_t) const {
    return GetCharHeight() + 2 + (separators_.empty() ? 0 : 3);
}

wxCoord CTrComboBoxCell::OnMeasureItemWidth(size_t item) const {
    return GetTextExtent(GetString(static_cast<unsigned>(item))).x + GetTextExtent("0").x;
}

void CTrComboBoxCell::OnDrawItem(wxDC& dc, const wxRect& rect, int item, int flags) const {
    if (item == wxNOT_FOUND)
        return;
    const wxString text = GetString(static_cast<unsigned>(item));
    const wxSize extent = dc.GetTextExtent(text);
    const int x = rightAligned_ ? rect.GetRight() - 2 - extent.x : rect.x + 2;
    const int lineSpace = GetCharHeight() + 2;
    dc.DrawText(text, x, rect.y + (lineSpace - extent.y) / 2);
    if (flags & wxODCB_PAINTING_CONTROL)
        return;
    const std::vector<int> lines = SeparatorItems();
    if (std::find(lines.begin(), lines.end(), item) == lines.end())
        return;
    dc.SetPen(wxPen(SystemColour(wxSYS_COLOUR_BTNSHADOW), 1));
    dc.DrawLine(rect.x + 2, rect.GetBottom(), rect.x + rect.width - 2, rect.GetBottom());
}

void CTrComboBoxCell::OnCloseUp() {
    const int selected = GetSelection();
    if (selected != wxNOT_FOUND)
        list_->Model().SetCellValue(row_, column_,
                                    ChoiceValue(valueMode_, static_cast<std::size_t>(selected)));
    list_->SetFocus();
    End();
}

void CTrComboBoxCell::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key != WXK_ESCAPE && !IsEnter(key)) {
        event.Skip();
        return;
    }
    if (IsPopupShown()) {
        // The open list closes: Enter takes its highlighted choice, Escape
        // keeps the one it opened with.
        const int highlighted = Items()->GetSelection();
        if (IsEnter(key) && highlighted != wxNOT_FOUND)
            SetSelection(highlighted);
        HidePopup(true);
        return;
    }
    if (key == WXK_ESCAPE)
        cancel_ = true;
    list_->SetFocus();
}

bool CTrComboBoxCell::HoldsFocus() const {
    wxWindow* focus = FindFocus();
    if (!focus)
        return false;
    const wxWindow* popup = GetPopupWindow();
    return focus == this || IsDescendant(focus) || (popup && popup->IsDescendant(focus)) ||
           focus == popup;
}

void CTrComboBoxCell::OnKillFocus(wxFocusEvent& event) {
    event.Skip();
    CallAfter([this] {
        if (!IsPopupShown() && !HoldsFocus())
            End();
    });
}

void CTrComboBoxCell::End() {
    if (!open_)
        return;
    open_ = false;
    if (IsPopupShown())
        HidePopup();
    const int selected = GetSelection();
    Hide();
    if (selected == wxNOT_FOUND)
        return;
    list_->EditEnded(row_, column_,
                     cancel_ ? std::nullopt
                             : std::optional<std::wstring>(
                                   GetString(static_cast<unsigned>(selected)).ToStdWstring()));
}

// ---- check-list combo

class CTrOptionComboBox::Popup final : public wxVListBox, public wxComboPopup {
public:
    explicit Popup(CTrOptionComboBox& owner) : owner_(owner) {}
    bool Create(wxWindow* parent) override {
        if (!wxVListBox::Create(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxBORDER_SIMPLE))
            return false;
        Bind(wxEVT_LEFT_DOWN, &Popup::OnPress, this);
        Bind(wxEVT_LEFT_UP, [](wxMouseEvent&) {}); // the list stays open
        Bind(wxEVT_LEFT_DCLICK, &Popup::OnPress, this);
        return true;
    }
    wxWindow* GetControl() override { return this; }
    void SetStringValue(const wxString&) override {}
    wxString GetStringValue() const override { return owner_.GetValue(); }
    void OnDismiss() override {
        owner_.CallAfter([o = &owner_] { o->Closed(); });
    }
    wxSize GetAdjustedSize(int minWidth, int prefHeight, int maxHeight) override {
        const int rows = static_cast<int>(GetItemCount());
        const int height = rows * ItemHeight() + 2;
        return wxSize(minWidth, std::min({height, prefHeight > 0 ? prefHeight : height,
                                          maxHeight > 0 ? maxHeight : height}));
    }
    // The font's height and external leading, plus 2.
    int ItemHeight() const {
        int height = 0, descent = 0, leading = 0;
        GetTextExtent("Ag", nullptr, &height, &descent, &leading);
        return height + leading + 2;
    }
    wxCoord OnMeasureItem(size_t) const override { return ItemHeight(); }
    void OnDrawBackground(wxDC&, const wxRect&, size_t) const override {}
    void OnDrawItem(wxDC& dc, const wxRect& rect, size_t n) const override;
    // Toggles an item, repaints it and tells the combo's parent.
    void ToggleItem(int index);

private:
    void OnPress(wxMouseEvent& event);
    CTrOptionComboBox& owner_;
};

void CTrOptionComboBox::Popup::OnDrawItem(wxDC& dc, const wxRect& rect, size_t n) const {
    const int index = static_cast<int>(n);
    const CheckListModel& model = owner_.model_;
    int height = 0, descent = 0, leading = 0;
    GetTextExtent("Ag", nullptr, &height, &descent, &leading);
    // The box, on button-face, as wide as the font's height and leading + 6.
    const wxRect box(rect.x, rect.y + 1, height + leading + 6, std::max(0, rect.height - 2));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(SystemColour(wxSYS_COLOUR_BTNFACE)));
    dc.DrawRectangle(rect.x, rect.y, box.width, rect.height);
    const wxSize mark = wxRendererNative::Get().GetCheckBoxSize(const_cast<Popup*>(this));
    const wxRect markRect(box.x + (box.width - mark.x) / 2, box.y + (box.height - mark.y) / 2,
                          mark.x, mark.y);
    int flags = model.HasItemFlag(index, kItemChecked) ? int{wxCONTROL_CHECKED} : 0;
    if (model.HasItemFlag(index, kItemDisabled))
        flags |= wxCONTROL_DISABLED;
    auto* self = const_cast<Popup*>(this);
    if (model.HasItemFlag(index, kItemExclusive))
        wxRendererNative::Get().DrawRadioBitmap(self, dc, markRect, flags);
    else
        wxRendererNative::Get().DrawCheckBox(self, dc, markRect, flags);
    // The text area.
    wxRect area(box.GetRight() + 1, rect.y, rect.GetRight() - box.GetRight(), rect.height);
    const bool selected = IsSelected(n);
    wxColour text = SystemColour(selected ? wxSYS_COLOUR_HIGHLIGHTTEXT : wxSYS_COLOUR_WINDOWTEXT);
    if (model.HasItemFlag(index, kItemDisabled))
        text = SystemColour(wxSYS_COLOUR_GRAYTEXT);
    dc.SetBrush(wxBrush(SystemColour(selected ? wxSYS_COLOUR_HIGHLIGHT : wxSYS_COLOUR_WINDOW)));
    dc.DrawRectangle(area);
    dc.SetTextForeground(text);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxString shown =
        wxControl::Ellipsize(" " + owner_.items_[n], dc, wxELLIPSIZE_END, area.width);
    dc.DrawLabel(shown, area, wxALIGN_LEFT | wxALIGN_CENTRE_VERTICAL);
    if (selected && HasFocus())
        wxRendererNative::Get().DrawFocusRect(self, dc, area);
}

void CTrOptionComboBox::Popup::ToggleItem(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= GetItemCount())
        return;
    owner_.Toggle(index);
    wxCommandEvent changed(wxEVT_COMBOBOX, owner_.GetId());
    changed.SetEventObject(&owner_);
    changed.SetInt(index);
    if (wxWindow* parent = owner_.GetParent())
        parent->GetEventHandler()->ProcessEvent(changed);
}

void CTrOptionComboBox::Popup::OnPress(wxMouseEvent& event) {
    const int index = VirtualHitTest(event.GetPosition().y);
    if (index != wxNOT_FOUND)
        ToggleItem(index);
    event.Skip(); // the list selects the item
}

void CTrOptionComboBox::OnCharHook(wxKeyEvent& event) {
    if (!IsPopupShown()) {
        event.Skip();
        return;
    }
    // The open list's keys, wherever the focus is: they are not the
    // dialog's.
    const int key = event.GetKeyCode();
    const int current = popup_->GetSelection();
    const int last = static_cast<int>(popup_->GetItemCount()) - 1;
    if (key == WXK_ESCAPE || IsEnter(key))
        HidePopup(true);
    else if (key == WXK_SPACE)
        popup_->ToggleItem(current);
    else if (key == WXK_DOWN)
        popup_->SetSelection(std::min(current + 1, last));
    else if (key == WXK_UP)
        popup_->SetSelection(std::max(current - 1, 0));
    else
        event.Skip();
}

CTrOptionComboBox::CTrOptionComboBox(CTrListCtrl* list, wxWindow* parent, int row, int column,
                                     const wxRect& rect, const std::vector<std::wstring>& items)
    : wxComboCtrl(parent, 0x1235, wxEmptyString, rect.GetPosition(), wxSize(rect.width, -1),
                  wxCB_READONLY),
      list_(list), row_(row), column_(column), model_(row, column) {
    for (const std::wstring& item : items)
        items_.push_back(wxString(item));
    model_.SetItems(items);
    model_.SetSeparator(list->OptionSeparator());
    if (wxWindow* owner = list->GetParent())
        SetFont(owner->GetFont());
    popup_ = new Popup(*this);
    SetPopupControl(popup_);
    popup_->SetItemCount(items.size());
    model_.SetCheckedMask(list->Model().GetCellValue(row, column));
    SetText(wxString(model_.Summary()));
    // Mouse moves over the combo reach the list's owner as the list's own.
    Bind(wxEVT_MOTION, [list](wxMouseEvent& event) {
        list->ReportMouseMove();
        event.Skip();
    });
    Bind(wxEVT_CHAR_HOOK, &CTrOptionComboBox::OnCharHook, this);
    SetFocus();
}

CTrOptionComboBox::~CTrOptionComboBox() {
    Unbind(wxEVT_CHAR_HOOK, &CTrOptionComboBox::OnCharHook, this);
}

wxVListBox* CTrOptionComboBox::Items() const {
    return popup_;
}

int CTrOptionComboBox::DroppedWidth() const {
    int widest = 0;
    for (const wxString& item : items_)
        widest = std::max(widest, GetTextExtent(item).x);
    return widest + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this) + GetTextExtent("000").x;
}

void CTrOptionComboBox::ShowPopup() {
    SetPopupMinWidth(DroppedWidth());
    wxComboCtrl::ShowPopup();
}

void CTrOptionComboBox::Toggle(int index) {
    model_.SetCheck(index, !model_.HasItemFlag(index, kItemChecked));
    popup_->Refresh(); // an exclusive item may have unchecked others
    SetText(wxString(model_.Summary()));
}

void CTrOptionComboBox::Closed() {
    if (closed_)
        return;
    closed_ = true;
    Hide();
    const std::wstring summary = model_.Summary(&list_->Model());
    list_->Model().SetCellValue(row_, column_, model_.Mask());
    list_->SetFocus();
    list_->Refresh();
    list_->EditEnded(row_, column_, summary);
}

} // namespace loggerui
