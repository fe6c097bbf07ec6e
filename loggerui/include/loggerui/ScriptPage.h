// "Script Helper": the page that edits, runs, saves and loads scripts of raw
// I2C lines, and its "Default Value for Insertion" dialog.
#pragma once

#include "loggerui/ListCtrl.h"
#include "loggerui/ScriptFiles.h"
#include "loggerui/ScriptRunner.h"

#include <wx/dialog.h>
#include <wx/timer.h>

#include <string>

class wxButton;
class wxChoice;
class wxStaticText;

namespace loggerui {

class WxLogger;

namespace scriptid {
inline constexpr int kPage = 140, kDefaultDialog = 103;
inline constexpr int kFiles = 1351, kLoad = 1349, kSave = 1137, kSetDefault = 1353;
inline constexpr int kInsertNew = 1355, kInsertAbove = 1357, kInsertBelow = 1359;
inline constexpr int kDelete = 1361, kDeleteAll = 1362, kMoveUp = 1363, kMoveDown = 1365;
inline constexpr int kRunSelected = 1367, kRunAll = 1369, kList = 1375;
inline constexpr int kSlaveIdLabel = 1371, kDataLabel = 1373, kCommentLabel = 1374;
inline constexpr int kLabelTimer = 30599;
} // namespace scriptid

class CDefaultDialog final : public wxDialog {
public:
    CDefaultDialog(wxWindow* parent, const DefaultLine& line);
    CTrListCtrl* List() const { return list_; }
    // The line as the value column gives it (what OK takes).
    DefaultLine Result() const;

private:
    CTrListCtrl* list_ = nullptr;
};

class CScript_Dialog final : public wxDialog {
public:
    CScript_Dialog(WxLogger& logger, std::string settingsPath);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);

    CTrListCtrl* List() const { return list_; }
    ListModel& Model() { return list_->Model(); }
    const DefaultLine& Default() const { return default_; }
    void SetDefault(const DefaultLine& line) { default_ = line; }
    ScriptFiles& Files() { return files_; }

    // The commands of the buttons.
    void InsertAt(std::size_t at);
    void InsertAbove();
    void InsertBelow();
    void DeleteSelected();
    void DeleteAll();
    void MoveUp();
    void MoveDown();
    int RunSelected();
    int RunAll();
    void Load();
    void Save();
    void EditDefault();
    // A file chosen in the "File:" list or dropped.
    void OpenRecent(const std::string& path);
    void Dropped(const std::string& path);
    // After a model change: the list and the buttons shown.
    void Refresh();
    void PlaceHeaderLabels();

private:
    void Build();
    void UpdateButtons();
    void CellChanged(int row, int column);
    void FillFiles();
    void ShowTable(const ScriptTable& rows);
    ScriptTable Table() const;
    bool AskDiscard();
    int Run(const std::vector<std::size_t>& rows, bool stopOnFailure);

    WxLogger& logger_;
    ScriptFiles files_;
    DefaultLine default_;
    CTrListCtrl* list_ = nullptr;
    wxChoice* fileList_ = nullptr;
    wxButton *delete_ = nullptr, *runSelected_ = nullptr, *runAll_ = nullptr;
    wxStaticText* labels_[3] = {};
    wxTimer labelTimer_;
    std::string signature_;
};

} // namespace loggerui
