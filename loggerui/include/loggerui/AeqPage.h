// "AEQ Filter Configuration": the view of the AEQ page's model.
#pragma once

#include "loggerui/AeqFilters.h"

#include <wx/dialog.h>

class wxCheckBox;
class wxChoice;
class wxListBox;
class wxRadioButton;
class wxSlider;
class wxSpinButton;
class wxTextCtrl;

namespace loggerui {

class WxLogger;

namespace aeqid {
inline constexpr int kPage = 139;
inline constexpr int kList = 1153, kEnable = 1157, kDesigned = 1197, kEntered = 1201;
inline constexpr int kRate = 1199, kType = 1179;
inline constexpr int kFreqEdit = 1181, kFreqSlider = 1183;
inline constexpr int kGainEdit = 1189, kGainSlider = 1191;
inline constexpr int kQEdit = 1193, kQSlider = 1195;
inline constexpr int kCoefficientEdits[5] = {1167, 1169, 1171, 1173, 1175};
inline constexpr int kSpins[5] = {1205, 1207, 1209, 1211, 1213};
inline constexpr int kPresetStage = 1203, kOnTheFly = 1159;
inline constexpr int kExport = 1135, kUpdateNow = 1143, kSave = 1147, kLoad = 1151;
} // namespace aeqid

class CAeqCfgDialog final : public wxDialog {
public:
    explicit CAeqCfgDialog(WxLogger& logger);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);

    // Shows the current filter (and designs it when it is designed from
    // its parameters).
    void ShowCurrent();
    void RefreshList();
    int Current() const { return current_; }
    void Select(int index);

private:
    void Build();
    AeqRecord& Record() { return records_[static_cast<size_t>(current_)]; }
    void Commit(bool send);
    void EnableControls();
    void ShowParameters();
    void ShowCoefficients(bool usable);
    void OnEditDone(int id);
    void OnScroll(int id, int position);
    void Export();
    void Save();
    void Load();

    WxLogger& logger_;
    AeqRecords records_;
    int current_ = 0;
    wxListBox* list_ = nullptr;
    wxCheckBox* enable_ = nullptr;
    wxRadioButton* designed_ = nullptr;
    wxRadioButton* entered_ = nullptr;
    wxChoice* rate_ = nullptr;
    wxChoice* type_ = nullptr;
    wxTextCtrl* freq_ = nullptr;
    wxTextCtrl* gain_ = nullptr;
    wxTextCtrl* q_ = nullptr;
    wxSlider* freqSlider_ = nullptr;
    wxSlider* gainSlider_ = nullptr;
    wxSlider* qSlider_ = nullptr;
    wxTextCtrl* coefficients_[5] = {};
    wxSpinButton* spins_[5] = {};
    wxCheckBox* onTheFly_ = nullptr;
};

} // namespace loggerui
