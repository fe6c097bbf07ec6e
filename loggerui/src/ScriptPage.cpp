#include "loggerui/ScriptPage.h"

#include "loggerui/MainCommands.h"

#include "busaccess/busgate/FilterLog.h"
#include "foundation/kvFMDialogs.h"
#include "loggerui/Dialogs.h"
#include "loggerui/TextUtils.h"
#include "loggerui/WxLogger.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>

namespace loggerui {

namespace {

using namespace scriptid;
using Align = CTrListCtrl::Align;

// The caption of the page's message boxes: the library's name.
constexpr const char* kAppName = "busgate_c";

std::string Narrow(const std::wstring& text) {
    return std::string(wxString(text).utf8_str());
}

std::string UpperExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

KCFileType FileType(const char* description, const char* extension) {
    KCFileType type;
    type.description = description;
    type.extension = extension;
    return type;
}

std::optional<std::string> AskPath(bool save) {
    kvFM::KCDialogCreationOptions options;
    options.flags = kvFM::eDialogSelectFile;
    if (save) {
        options.title = "Save Script File ...";
        options.fileTypes = {FileType("Terovan Script Files (*.tqs)", ".tqs")};
    } else {
        options.title = "Load Script File ...";
        options.fileTypes = {FileType("Terovan Script Files (*.tqs)", ".tqs"),
                             FileType("Terovan C Files (*.c)", ".c")};
    }
    return AskFilePath(save, options);
}

std::wstring Hex(unsigned value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%X", value);
    return text;
}

} // namespace

// ---- "Default Value for Insertion"

CDefaultDialog::CDefaultDialog(wxWindow* parent, const DefaultLine& line)
    : wxDialog(parent, kDefaultDialog, "Default Value for Insertion") {
    auto* top = new wxBoxSizer(wxVERTICAL);
    list_ = new CTrListCtrl(this, kList, wxSize(360, 150));
    list_->InsertColumn("Column", Align::Left, 150);
    list_->InsertColumn("Value", Align::Centre, 150);
    ListModel& m = list_->Model();
    m.SetCellEditType(-1, 0, kEditorNone);
    m.SetCellEditType(0, 1, kEditorDropDown);
    m.SetOptionFunction([](int row, int column, std::list<std::wstring>& choices) {
        if (row != 0 || column != 1)
            return 0;
        choices = {L"Write", L"Read", L"Delay"};
        return 1;
    });
    m.SetCellColor(-1, 1, kWindowColour, kEditableTextColour);
    const wchar_t* const names[] = {L"Action", L"Slave ID Length", L"Slave ID Value",
                                    L"Reg. and Data Length", L"Reg. and Data Value"};
    const std::wstring values[] = {ActionName(line.action), std::to_wstring(line.slaveIdLength),
                                   Hex(line.slaveId), std::to_wstring(line.dataLength), line.data};
    for (int r = 0; r < 5; ++r) {
        m.InsertRow(static_cast<std::size_t>(r));
        m.SetCellText(r, 0, names[r]);
        m.SetCellText(r, 1, values[r]);
    }
    list_->SyncFromModel();
    top->Add(list_, 1, wxEXPAND | wxALL, 5);
    top->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 5);
    SetSizerAndFit(top);
    list_->AutoSizeColumns(2);
}

DefaultLine CDefaultDialog::Result() const {
    ListModel& m = list_->Model();
    DefaultLine line;
    line.action = ActionNumber(m.GetCellText(0, 1));
    line.slaveIdLength = static_cast<int32_t>(ParseNumber(m.GetCellText(1, 1)));
    line.slaveId = ParseSlaveId(m.GetCellText(2, 1));
    line.dataLength = static_cast<int32_t>(ParseNumber(m.GetCellText(3, 1)));
    line.data = m.GetCellText(4, 1);
    return line;
}

// ---- the page

CScript_Dialog::CScript_Dialog(WxLogger& logger, std::string settingsPath)
    : logger_(logger), files_(std::move(settingsPath)) {}

bool CScript_Dialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, "Script Helper", wxDefaultPosition, wxDefaultSize,
                          wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMINIMIZE_BOX))
        return false;
    SetLibraryIcon(*this);
    Build();
    files_.ReadScriptSettings(default_);
    FillFiles();
    Refresh();
    PlaceHeaderLabels();
    labelTimer_.SetOwner(this, kLabelTimer);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { PlaceHeaderLabels(); }, kLabelTimer);
    labelTimer_.Start(333);
    DragAcceptFiles(true);
    Bind(wxEVT_DROP_FILES, [this](wxDropFilesEvent& event) {
        if (event.GetNumberOfFiles() < 1) {
            wxBell();
            return;
        }
        Dropped(std::string(event.GetFiles()[0].utf8_str()));
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
    return true;
}

void CScript_Dialog::Build() {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* fileRow = new wxBoxSizer(wxHORIZONTAL);
    fileRow->Add(new wxStaticText(this, wxID_ANY, "File:"), 0, wxALIGN_CENTER_VERTICAL | wxALL, 3);
    fileList_ = new wxChoice(this, kFiles, wxDefaultPosition, wxSize(500, -1));
    fileRow->Add(fileList_, 1, wxALL, 3);
    top->Add(fileRow, 0, wxEXPAND);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    struct Spec {
        int id;
        const char* caption;
        bool startsEnabled;
    };
    const Spec specs[] = {{kLoad, "Load...", true},
                          {kSave, "Save...", true},
                          {kSetDefault, "Set Default...", true},
                          {kInsertNew, "Insert New", true},
                          {kInsertAbove, "Insert Above", false},
                          {kInsertBelow, "Insert Below", false},
                          {kDelete, "Delete", false},
                          {kDeleteAll, "Delete All", true},
                          {kMoveUp, "Move Up", false},
                          {kMoveDown, "Move Down", false},
                          {kRunSelected, "Run", false},
                          {kRunAll, "Run All", false}};
    for (const Spec& spec : specs) {
        auto* button = new wxButton(this, spec.id, spec.caption, wxDefaultPosition, wxDefaultSize,
                                    wxBU_EXACTFIT);
        button->Enable(spec.startsEnabled);
        buttons->Add(button, 0, wxALL, 2);
    }
    top->Add(buttons);
    delete_ = static_cast<wxButton*>(FindWindow(kDelete));
    runSelected_ = static_cast<wxButton*>(FindWindow(kRunSelected));
    runAll_ = static_cast<wxButton*>(FindWindow(kRunAll));

    // Labels over the column groups, placed by PlaceHeaderLabels.
    auto* labelRow = new wxBoxSizer(wxHORIZONTAL);
    labelRow->SetMinSize(-1, 21);
    top->Add(labelRow, 0, wxEXPAND);
    labels_[0] = new wxStaticText(this, kSlaveIdLabel, "Slave ID", wxDefaultPosition, wxDefaultSize,
                                  wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    labels_[1] = new wxStaticText(this, kDataLabel, "Reg. and Data", wxDefaultPosition,
                                  wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    labels_[2] = new wxStaticText(this, kCommentLabel, "Comment", wxDefaultPosition, wxDefaultSize,
                                  wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);

    list_ = new CTrListCtrl(this, kList, wxSize(720, 420));
    list_->InsertColumn("#", Align::Left, 45);
    list_->InsertColumn("Action", Align::Right, 50);
    list_->InsertColumn("Length", Align::Right, 50);
    list_->InsertColumn("Value", Align::Left, 60);
    list_->InsertColumn("Length", Align::Right, 50);
    list_->InsertColumn("Value", Align::Centre, 120);
    list_->InsertColumn("Comment", Align::Left, 300);
    SetUpScriptList(list_->Model());
    top->Add(list_, 1, wxEXPAND | wxALL, 3);
    SetSizerAndFit(top);

    list_->SetNotify([this](int message, int row, int column) {
        if (message == kMsgCellChanged) {
            CellChanged(row, column);
        } else if (message == kMsgRemoveRow) {
            Model().SetModified(true);
            Refresh();
        }
    });
    list_->SetSelectionHook([this] { UpdateButtons(); });

    auto on = [this](int id, auto action) {
        Bind(
            wxEVT_BUTTON, [action](wxCommandEvent&) { action(); }, id);
    };
    on(kLoad, [this] { Load(); });
    on(kSave, [this] { Save(); });
    on(kSetDefault, [this] { EditDefault(); });
    on(kInsertNew, [this] { InsertAt(Model().RowCount()); });
    on(kInsertAbove, [this] { InsertAbove(); });
    on(kInsertBelow, [this] { InsertBelow(); });
    on(kDelete, [this] { DeleteSelected(); });
    on(kDeleteAll, [this] { DeleteAll(); });
    on(kMoveUp, [this] { MoveUp(); });
    on(kMoveDown, [this] { MoveDown(); });
    on(kRunSelected, [this] { RunSelected(); });
    on(kRunAll, [this] { RunAll(); });
    fileList_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        const int i = fileList_->GetSelection();
        if (i != wxNOT_FOUND)
            OpenRecent(std::string(fileList_->GetString(static_cast<unsigned>(i)).utf8_str()));
    });
}

void CScript_Dialog::Refresh() {
    list_->SyncFromModel();
    UpdateButtons();
}

void CScript_Dialog::UpdateButtons() {
    const ScriptButtons b = ButtonsFor(Model());
    delete_->SetLabel(wxString(b.deleteCaption));
    runSelected_->SetLabel(wxString(b.runCaption));
    runAll_->SetLabel(wxString(b.runAllCaption));
    for (int id : {kInsertAbove, kInsertBelow, kDelete, kRunSelected})
        FindWindow(id)->Enable(b.selectionButtons);
    FindWindow(kMoveUp)->Enable(b.moveUp);
    FindWindow(kMoveDown)->Enable(b.moveDown);
    runAll_->Enable(b.runAll);
}

void CScript_Dialog::InsertAt(std::size_t at) {
    const std::size_t row = InsertDefaultLine(Model(), at, default_);
    Model().SetSelectionMark(static_cast<int>(row));
    Refresh();
    list_->MakeCellVisible(static_cast<int>(row), 0);
    list_->SetFocus();
}

void CScript_Dialog::InsertAbove() {
    InsertAt(InsertAbovePosition(Model()));
}
void CScript_Dialog::InsertBelow() {
    InsertAt(InsertBelowPosition(Model()));
}

void CScript_Dialog::DeleteSelected() {
    DeleteSelectedLines(Model());
    const std::vector<std::size_t> selected = Model().GetSelectedRows();
    if (!selected.empty())
        Model().SetSelectionMark(static_cast<int>(selected.front()));
    Refresh();
    list_->SetFocus();
}

void CScript_Dialog::DeleteAll() {
    fileList_->SetSelection(wxNOT_FOUND);
    Model().DeleteAllRows();
    RefreshScript(Model());
    Refresh();
}

void CScript_Dialog::MoveUp() {
    const std::vector<std::size_t> selected = Model().GetSelectedRows();
    if (selected.empty())
        return;
    Model().MoveRowUp(static_cast<int>(selected.front()));
    RefreshScript(Model());
    Refresh();
    list_->SetFocus();
}

void CScript_Dialog::MoveDown() {
    const std::vector<std::size_t> selected = Model().GetSelectedRows();
    if (selected.empty())
        return;
    Model().MoveRowDown(static_cast<int>(selected.front()));
    RefreshScript(Model());
    Refresh();
    list_->SetFocus();
}

int CScript_Dialog::Run(const std::vector<std::size_t>& rows, bool stopOnFailure) {
    busgate::BusGate& bus = logger_.Bus();
    const int ok = RunLines(Model(), rows, stopOnFailure,
                            [&bus](int direction, uint8_t slave, uint32_t length, uint8_t* data) {
                                return bus.LoggerTransfer(direction, slave, length, data);
                            });
    list_->SyncFromModel();
    list_->SetFocus();
    return ok;
}

int CScript_Dialog::RunSelected() {
    const std::vector<std::size_t> rows = Model().GetSelectedRows();
    if (rows.empty())
        return 0;
    return Run(rows, false);
}

int CScript_Dialog::RunAll() {
    std::vector<std::size_t> rows(Model().RowCount());
    if (rows.empty())
        return 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    return Run(rows, true);
}

void CScript_Dialog::CellChanged(int row, int column) {
    const std::optional<std::wstring> message = CheckChangedCell(Model(), row, column);
    Refresh();
    if (message)
        logger_.Bus().Messages().showError(Narrow(*message), kAppName);
}

bool CScript_Dialog::AskDiscard() {
    if (!Model().Modified())
        return true;
    return logger_.Bus().Messages().askYesNo(
        "Do you want to ignore loaded data and to load another script file?", "Confirm");
}

void CScript_Dialog::ShowTable(const ScriptTable& rows) {
    ListModel& m = Model();
    m.DeleteAllRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        m.InsertRow(r);
        for (std::size_t c = 0; c < kScriptColumns; ++c)
            m.SetCellText(static_cast<int>(r), static_cast<int>(c), rows[r][c]);
    }
    RefreshScript(m);
    Refresh();
}

ScriptTable CScript_Dialog::Table() const {
    ListModel& m = list_->Model();
    ScriptTable rows(m.RowCount());
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < kScriptColumns; ++c)
            rows[r][c] = m.GetCellText(static_cast<int>(r), static_cast<int>(c));
    return rows;
}

void CScript_Dialog::FillFiles() {
    fileList_->Clear();
    for (const std::wstring& file : files_.RecentFiles())
        fileList_->Append(wxString(file));
    fileList_->SetSelection(wxNOT_FOUND);
}

void CScript_Dialog::Load() {
    if (!AskDiscard())
        return;
    const std::optional<std::string> path = AskPath(false);
    if (!path)
        return;
    const std::string ext = UpperExtension(*path);
    ScriptTable rows;
    bool ok = false;
    if (ext == ".TQS")
        ok = files_.ReadScriptFile(rows, *path);
    if (!ok && ext == ".C")
        ok = files_.ImportCFile(rows, *path);
    if (!ok) {
        logger_.Bus().Messages().showError(
            busgate::FormatC(1024, "Failed to load file. \n\n%s", path->c_str()), kAppName);
        return;
    }
    ShowTable(rows);
    Model().SetModified(false);
    FillFiles();
}

void CScript_Dialog::OpenRecent(const std::string& path) {
    const std::string ext = UpperExtension(path);
    if (ext != ".TQS" && ext != ".C")
        return;
    ScriptTable rows;
    const bool ok = files_.LoadByExtension(rows, path);
    ShowTable(rows); // a failed read leaves the list empty
    if (ok) {
        Model().SetModified(false);
        FillFiles();
    }
}

void CScript_Dialog::Dropped(const std::string& dropped) {
    const std::string path = ScriptFiles::ResolveDroppedPath(dropped);
    if (!AskDiscard())
        return;
    OpenRecent(path);
}

void CScript_Dialog::Save() {
    std::optional<std::string> path = AskPath(true);
    if (!path)
        return;
    if (std::filesystem::path(*path).extension().empty())
        *path += ".tqs";
    if (files_.WriteScriptFile(Table(), *path)) {
        Model().SetModified(false);
        FillFiles();
        logger_.Bus().Messages().showInformation(
            busgate::FormatC(1024, "Saved to script file. \n\n%s", path->c_str()), kAppName);
    } else {
        logger_.Bus().Messages().showError(
            busgate::FormatC(1024, "Failed to save file. \n\n%s", path->c_str()), kAppName);
    }
}

void CScript_Dialog::EditDefault() {
    CDefaultDialog dialog(this, default_);
    if (dialog.ShowModal() == wxID_OK)
        default_ = dialog.Result();
}

void CScript_Dialog::PlaceHeaderLabels() {
    std::vector<int> widths;
    for (int c = 0; c < list_->GetNumberCols(); ++c)
        widths.push_back(list_->GetColSize(c));
    const wxRect rect = list_->GetRect();
    const HeaderLayout layout = LayOutHeaderLabels(widths, rect.x, rect.y, rect.GetRight());
    for (int c = 0; c < list_->GetNumberCols(); ++c)
        if (list_->GetColSize(c) != layout.widths[static_cast<std::size_t>(c)])
            list_->SetColSize(c, layout.widths[static_cast<std::size_t>(c)]);
    if (wxString(layout.signature).IsSameAs(wxString(signature_), false))
        return;
    signature_ = layout.signature;
    for (int i = 0; i < 3; ++i) {
        const LabelPlace& p = layout.labels[i];
        labels_[i]->SetSize(p.x, p.y, p.width, p.height);
        labels_[i]->Refresh();
    }
}

} // namespace loggerui
