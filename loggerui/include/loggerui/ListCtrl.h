// The script pages' table control over wx: a grid that shows a ListModel
// with its per-cell colours and opens the cell's in-place editor on a
// click: a drop-down list, a filtered edit, or the check-list combo. The
// owner hears of edited cells (2350, with the row and the column), of rows
// that should go (2351, with the row), of the mouse moving over the control
// (1025) and of selection changes. Optional behaviours: an item menu on a
// right click, a placeholder last row, and cell lines of its own drawing.
#pragma once

#include "loggerui/CheckListModel.h"
#include "loggerui/ListModel.h"

#include <wx/combo.h>
#include <wx/grid.h>
#include <wx/odcombo.h>
#include <wx/textctrl.h>

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class wxMenu;
class wxVListBox;
typedef struct _cairo cairo_t;

namespace loggerui {

class CTrListCtrl;

// The edit editor: a one-line edit over a cell whose filter drops the
// characters it does not accept (with the system's beep), and which widens
// itself to fit its text. Created once by the list and reused.
class CTrEditCell final : public wxTextCtrl {
public:
    CTrEditCell(CTrListCtrl* list, wxWindow* parent, const wxRect& rect, long align);
    ~CTrEditCell() override;
    // Opens over a cell: text, filter and alignment set, the cancel mark
    // cleared, shown with the focus and the text selected.
    void Open(int row, int column, const wxString& text, int filter, const wxRect& rect,
              long align);
    // needed := the text's width in its font (the list's owner's) + 5
    // pixels; a narrower editor grows to it, at most to its parent's client
    // edge. It never narrows.
    void WidenToText();
    int Row() const { return row_; }
    int Column() const { return column_; }
    // Hides the editor and reports the end of the edit (no text when it
    // was cancelled); nothing when it is hidden already.
    void End();

private:
    void OnChar(wxKeyEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnKillFocus(wxFocusEvent& event);

    CTrListCtrl* list_;
    int row_ = -1, column_ = -1;
    wxString initial_;
    bool cancel_ = false;
    int filter_ = 0;
};

// The drop-down editor: a list of the cell's choices, drawn by itself so
// that it can show separator lines and right-aligned texts. Created once by
// the list and reused.
class CTrComboBoxCell final : public wxOwnerDrawnComboBox {
public:
    CTrComboBoxCell(CTrListCtrl* list, wxWindow* parent, const wxRect& rect);
    ~CTrComboBoxCell() override;
    // Opens over a cell with its choices: with separator mode 1 a choice
    // "-" is no item but a line after the item before it. selected: the
    // choice shown at first, none for -1. The list drops down.
    void Open(int row, int column, const std::list<std::wstring>& choices,
              std::optional<std::size_t> selected, const wxRect& rect, bool rightAligned);
    void SetSeparatorMode(int mode) { separatorMode_ = mode; }
    void SetValueMode(int mode) { valueMode_ = mode; }
    // The larger of its own width and the widest choice's text width plus
    // the vertical scroll bar's and the width of the text "0".
    int DroppedWidth();
    // Items that have a separator line under them.
    std::vector<int> SeparatorItems() const;
    // The drop-down list box.
    wxVListBox* Items() const;
    int Row() const { return row_; }
    int Column() const { return column_; }
    void ShowPopup() override;
    // Hides the editor and, when a choice is selected, reports the end of
    // the edit with its text (none when cancelled).
    void End();

protected:
    void OnDrawItem(wxDC& dc, const wxRect& rect, int item, int flags) const override;
    wxCoord OnMeasureItem(size_t item) const override;
    wxCoord OnMeasureItemWidth(size_t item) const override;

private:
    void OnListClosed(wxCommandEvent& event);
    void OnCloseUp();
    void OnCharHook(wxKeyEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    // The focus is on the editor or its open list.
    bool HoldsFocus() const;

    CTrListCtrl* list_;
    std::vector<std::wstring> choices_;
    int row_ = -1, column_ = -1;
    std::vector<int> separators_;
    int separatorMode_ = 0;
    int valueMode_ = 1;
    bool cancel_ = false;
    bool open_ = false;
    bool rightAligned_ = false;
};

// The check-list combo: a combo control whose pop-up is a list of check
// boxes (radio buttons for exclusive items, grey texts for disabled ones);
// the closed field shows the summary of the checked items.
class CTrOptionComboBox final : public wxComboCtrl {
public:
    CTrOptionComboBox(CTrListCtrl* list, wxWindow* parent, int row, int column, const wxRect& rect,
                      const std::vector<std::wstring>& items);
    ~CTrOptionComboBox() override;
    CheckListModel& Model() { return model_; }
    // The drop-down list box.
    wxVListBox* Items() const;
    // A click on an item: toggles it by the model's rules; the list stays
    // open.
    void Toggle(int index);
    // The widest item's text plus the vertical scroll bar and the text
    // "000".
    int DroppedWidth() const;
    // The list closed: the combo hidden, the mask to the cell and the end
    // of editing reported with the summary.
    void Closed();
    void ShowPopup() override;

private:
    void OnCharHook(wxKeyEvent& event);

    CTrListCtrl* list_;
    int row_, column_;
    CheckListModel model_;
    std::vector<wxString> items_;
    class Popup;
    Popup* popup_ = nullptr;
    bool closed_ = false;
};

class CTrListCtrl final : public wxGrid {
public:
    enum class Align { Left, Right, Centre };
    // A message to the owner; the column is -1 where the message has none.
    using Notify = std::function<void(int message, int row, int column)>;

    CTrListCtrl(wxWindow* parent, int id, const wxSize& size = wxDefaultSize);
    ~CTrListCtrl() override;

    ListModel& Model() { return model_; }
    void InsertColumn(const std::string& heading, Align align, int width);
    // After the model changed: rows, texts, colours and selection shown.
    void SyncFromModel();
    void SetNotify(Notify notify) { notify_ = std::move(notify); }
    void SetSelectionHook(std::function<void()> hook) { selectionHook_ = std::move(hook); }
    int ValueMode() const { return valueMode_; }

    // Settings that this system's owners leave as constructed.
    void SetItemMenu(bool on) { itemMenu_ = on; }
    void SetHeaderMenu(bool on) { headerMenu_ = on; }
    // 0: a click on any cell edits it; 1: column 0 edits on a double click.
    void SetClickMode(int mode) { clickMode_ = mode; }
    void SetSeparatorMode(int mode) { separatorMode_ = mode; }
    void SetOptionSeparator(std::wstring separator) { optionSeparator_ = std::move(separator); }
    const std::wstring& OptionSeparator() const { return optionSeparator_; }
    // Not empty: the list keeps a last row holding the text in column 0.
    void SetPlaceholderText(std::wstring text);
    const std::wstring& PlaceholderText() const { return placeholderText_; }
    void SetOwnLines(bool on);
    bool OwnLines() const { return ownLines_; }
    // The height of a row, measured once.
    int RowHeight();
    // The item menu while it is open, else null.
    const wxMenu* OpenMenu() const { return openMenu_; }
    // One column fitted to its content and heading (an existing one only).
    void AutoSizeColumn(int column);

    // Opens the cell's editor; true for a drop-down or edit editor.
    bool StartCellEdit(int row, int column);
    // Column widths: 0 fit, 1 fit without the last column stretching,
    // 2 fit and spread the rest of the width.
    void AutoSizeColumns(int mode);
    void InsertRowAndEdit();
    // The Delete key: the row-removal request for the selection mark.
    void RequestRemoval();
    // The open check-list combo, or null.
    CTrOptionComboBox* CheckListEditor() const { return checkList_; }
    void CloseCheckList();
    // The edit and drop-down editors once made, else null; hidden between
    // edits.
    CTrEditCell* EditEditor() const { return editEditor_; }
    CTrComboBoxCell* ComboEditor() const { return comboEditor_; }
    // The column's heading and alignment.
    Align ColumnAlign(int column) const;
    // What an editor reports at its end (text none: cancelled).
    void EditEnded(int row, int column, const std::optional<std::wstring>& text);
    // Characters refused by the edit editor's filter (each one beeped).
    int Refused() const { return refused_; }
    void NoteRefused() { ++refused_; }
    // The mouse moved over the control or one of its editors.
    void ReportMouseMove();

protected:
    // Disabled, the cells without colours of their own turn grey.
    void DoEnable(bool enable) override;

private:
    class Table;
    wxGridCellAttr* AttrFor(int row, int column);
    void OnLeftClick(wxGridEvent& event);
    void OnDoubleClick(wxMouseEvent& event);
    void OnRightClick(wxGridEvent& event);
    void OnHeaderRightClick(wxGridEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void SyncSelectionToModel();
    void ShowItemMenu(int row);
    void ItemCommand(int id);
    void MoveSelected(bool up);
    // The column under the pointer, by the header's hit test; -1 for none.
    int ColumnUnderPointer() const;
    // After an edit: the placeholder row kept, trailing blank rows reported.
    void KeepPlaceholderRow();
    // Where an editor goes over the cell, in the grid window's coordinates;
    // none when the row cannot be brought into view.
    std::optional<wxRect> EditorRect(int row, int column);
    bool OpenEditEditor(int row, int column, int filter);
    bool OpenComboEditor(int row, int column);
    void OpenCheckList(int row, int column);
    static int DrawOwnLines(void* widget, cairo_t* cr, void* list);
    void PaintOwnLines(cairo_t* cr);

    ListModel model_;
    Table* table_ = nullptr;
    std::vector<std::string> headings_;
    std::vector<Align> aligns_;
    Notify notify_;
    std::function<void()> selectionHook_;
    int valueMode_ = 1;
    CTrOptionComboBox* checkList_ = nullptr;
    CTrComboBoxCell* comboEditor_ = nullptr;
    CTrEditCell* editEditor_ = nullptr;
    bool syncing_ = false;
    int refused_ = 0;
    std::wstring optionSeparator_;
    int separatorMode_ = 0;
    bool headerMenu_ = true;
    bool itemMenu_ = false;
    int clickMode_ = 0;
    std::wstring placeholderText_;
    int rowHeight_ = 0;
    bool ownLines_ = false;
    wxMenu* openMenu_ = nullptr;

    friend class Table;
};

} // namespace loggerui
