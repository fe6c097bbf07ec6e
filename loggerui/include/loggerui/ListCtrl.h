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

#include <functional>
#include <memory>
#include <string>
#include <vector>

class wxCheckListBox;
class wxMenu;
typedef struct _cairo cairo_t;

namespace loggerui {

class CTrListCtrl;

// The check-list combo: a combo control whose pop-up is a list of check
// boxes; the closed field shows the summary of the checked items.
class CTrOptionComboBox final : public wxComboCtrl {
public:
    CTrOptionComboBox(CTrListCtrl* list, int row, int column, const wxRect& rect,
                      const std::vector<std::wstring>& items);
    CheckListModel& Model() { return model_; }
    wxCheckListBox* Items() const;
    // A click on an item: toggles it by the model's rules; the list stays
    // open.
    void Toggle(int index);
    // The pop-up closed: the mask to the cell and the summary shown.
    void Closed();
    void ShowChecks();

private:
    CTrListCtrl* list_;
    int row_, column_;
    CheckListModel model_;
    class Popup;
    Popup* popup_ = nullptr;
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
    // The column's heading and alignment.
    Align ColumnAlign(int column) const;
    // What an editor reports at its end (text none: cancelled).
    void EditEnded(int row, int column, const std::wstring& text);
    // Characters refused by the edit editor's filter (each one beeped).
    int Refused() const { return refused_; }
    void NoteRefused() { ++refused_; }

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
    static int DrawOwnLines(void* widget, cairo_t* cr, void* list);
    void PaintOwnLines(cairo_t* cr);

    ListModel model_;
    Table* table_ = nullptr;
    std::vector<std::string> headings_;
    std::vector<Align> aligns_;
    Notify notify_;
    std::function<void()> selectionHook_;
    int valueMode_ = 1;
    // The cell whose editor is open (the only one not read-only).
    int editRow_ = -1, editColumn_ = -1, editType_ = 0;
    // The editor of that cell, made when its edit starts (one reference
    // held here).
    wxGridCellEditor* editor_ = nullptr;
    void DropEditor();
    CTrOptionComboBox* checkList_ = nullptr;
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
