#include "loggerui/ListCtrl.h"

#include <wx/app.h>
#include <wx/checklst.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <iterator>

namespace loggerui {

namespace {

wxColour FromColourRef(uint32_t c) {
    return wxColour(static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8),
                    static_cast<unsigned char>(c >> 16));
}

// The edit editor: a one-line edit whose filter drops characters it does
// not accept, with the system's beep.
class FilteredTextEditor final : public wxGridCellTextEditor {
public:
    FilteredTextEditor(CTrListCtrl* list, int filter) : list_(list), filter_(filter) {}
    void Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) override {
        wxGridCellTextEditor::Create(parent, id, handler);
        GetControl()->Bind(wxEVT_CHAR, [this](wxKeyEvent& event) {
            const int key = event.GetKeyCode();
            const wxChar c = event.GetUnicodeKey();
            if (c == WXK_NONE || key < WXK_SPACE || key == WXK_DELETE ||
                FilterAccepts(filter_, static_cast<wchar_t>(c))) {
                event.Skip();
                return;
            }
            wxBell();
            list_->NoteRefused();
        });
    }
    wxGridCellEditor* Clone() const override { return new FilteredTextEditor(list_, filter_); }

private:
    CTrListCtrl* list_;
    int filter_;
};

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
    Bind(wxEVT_GRID_CELL_LEFT_CLICK, &CTrListCtrl::OnLeftClick, this);
    Bind(wxEVT_GRID_EDITOR_HIDDEN, [this](wxGridEvent& event) {
        // The value is saved after the editor hid: the cell stays editable
        // until then.
        CallAfter([this] {
            if (!IsCellEditControlEnabled())
                editRow_ = editColumn_ = -1;
        });
        event.Skip();
    });
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
    DropEditor();
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

void CTrListCtrl::OnMouseMove(wxMouseEvent& event) {
    if (notify_)
        notify_(kMsgMouseMove, -1, -1);
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

void CTrListCtrl::DropEditor() {
    if (!editor_)
        return;
    if (editor_->IsCreated())
        editor_->Destroy();
    ClearAttrCache(); // the cached attribute refers to it
    // The grid keeps one reference of an editor it showed; with the edit
    // over and the control gone nothing uses it any more.
    while (editor_->GetRefCount() > 1)
        editor_->DecRef();
    editor_->DecRef();
    editor_ = nullptr;
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
    }
    const Align align = ColumnAlign(column);
    attr->SetAlignment(align == Align::Left    ? wxALIGN_LEFT
                       : align == Align::Right ? wxALIGN_RIGHT
                                               : wxALIGN_CENTRE,
                       wxALIGN_CENTRE);
    if (row == editRow_ && column == editColumn_ && editor_) {
        editor_->IncRef();
        attr->SetEditor(editor_);
    } else {
        attr->SetReadOnly(true);
    }
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
    if (IsCellEditControlShown()) {
        event.Skip();
        return;
    }
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
    if (IsCellEditControlEnabled())
        DisableCellEditControl();
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= model_.RowCount() ||
        static_cast<std::size_t>(column) >= headings_.size())
        return false;
    const int type = model_.BeginEdit(row, column);
    if (type == kEditorCheckList) {
        const std::list<std::wstring> choices = model_.ChoicesFor(row, column);
        if (choices.empty())
            return false;
        MakeCellVisible(row, column);
        wxRect rect = CellToRect(row, column);
        rect.SetPosition(GetGridWindow()->GetPosition() + CalcScrolledPosition(rect.GetPosition()));
        checkList_ = new CTrOptionComboBox(
            this, row, column, rect, std::vector<std::wstring>(choices.begin(), choices.end()));
        return false;
    }
    if (type != kEditorDropDown && type != kEditorHexList && type != kEditorPlain)
        return false;
    if (type == kEditorDropDown && model_.ChoicesFor(row, column).empty())
        return false;
    DropEditor();
    if (type == kEditorDropDown) {
        wxArrayString choices;
        for (const std::wstring& choice : model_.ChoicesFor(row, column))
            choices.Add(wxString(choice));
        editor_ = new wxGridCellChoiceEditor(choices);
    } else {
        editor_ = new FilteredTextEditor(this, type == kEditorHexList ? 3 : 0);
    }
    editRow_ = row;
    editColumn_ = column;
    editType_ = type;
    MakeCellVisible(row, column);
    SetGridCursor(row, column);
    EnableCellEditControl(true);
    return true;
}

void CTrListCtrl::EditEnded(int row, int column, const std::wstring& text) {
    if (editType_ == kEditorDropDown && row == editRow_ && column == editColumn_) {
        const std::list<std::wstring> choices = model_.ChoicesFor(row, column);
        const auto it = std::find(choices.begin(), choices.end(), text);
        if (it != choices.end())
            model_.SetCellValue(row, column,
                                ChoiceValue(valueMode_, static_cast<std::size_t>(
                                                            std::distance(choices.begin(), it))));
    }
    if (!model_.EndEdit(row, column, text))
        return;
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

// ---- check-list combo

class CTrOptionComboBox::Popup final : public wxComboPopup {
public:
    explicit Popup(CTrOptionComboBox& owner) : owner_(owner) {}
    bool Create(wxWindow* parent) override {
        list_ = new wxCheckListBox(parent, wxID_ANY);
        list_->Bind(wxEVT_CHECKLISTBOX,
                    [this](wxCommandEvent& event) { owner_.Toggle(event.GetInt()); });
        return true;
    }
    wxWindow* GetControl() override { return list_; }
    void SetStringValue(const wxString&) override {}
    wxString GetStringValue() const override {
        return wxString(const_cast<CTrOptionComboBox&>(owner_).model_.Summary());
    }
    void OnDismiss() override {
        owner_.CallAfter([o = &owner_] { o->Closed(); });
    }
    wxCheckListBox* list_ = nullptr;

private:
    CTrOptionComboBox& owner_;
};

CTrOptionComboBox::CTrOptionComboBox(CTrListCtrl* list, int row, int column, const wxRect& rect,
                                     const std::vector<std::wstring>& items)
    : wxComboCtrl(list, 0x1235, wxEmptyString, rect.GetPosition(), wxSize(rect.width, -1),
                  wxCB_READONLY),
      list_(list), row_(row), column_(column), model_(row, column) {
    popup_ = new Popup(*this);
    SetPopupControl(popup_);
    model_.SetItems(items);
    for (const std::wstring& item : items)
        popup_->list_->Append(wxString(item));
    model_.SetCheckedMask(list->Model().GetCellValue(row, column));
    ShowChecks();
    SetText(wxString(model_.Summary()));
    SetFocus();
}

wxCheckListBox* CTrOptionComboBox::Items() const {
    return popup_->list_;
}

void CTrOptionComboBox::ShowChecks() {
    for (std::size_t i = 0; i < model_.ItemCount(); ++i) {
        const int index = static_cast<int>(i);
        popup_->list_->Check(static_cast<unsigned>(i), model_.HasItemFlag(index, kItemChecked));
    }
}

void CTrOptionComboBox::Toggle(int index) {
    model_.SetCheck(index, !model_.HasItemFlag(index, kItemChecked));
    ShowChecks(); // an exclusive item may have unchecked others
    SetText(wxString(model_.Summary()));
}

void CTrOptionComboBox::Closed() {
    const std::wstring summary = model_.Summary(&list_->Model());
    list_->Model().SetCellValue(row_, column_, model_.Mask());
    SetText(wxString(summary));
    list_->EditEnded(row_, column_, summary);
}

} // namespace loggerui
