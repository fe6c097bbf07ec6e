// The evaluation-board pages' windows: "QX410x EVB Configuration" and
// "QZ625x EVB Configuration", each over its board's page model, with the
// read-only status pane the board reports go to and the status timer.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

class wxCheckBox;
class wxRadioButton;
class wxSlider;
class wxStaticText;
class wxTextCtrl;

namespace loggerui {

class EvbBoardPage;
class WxLogger;

class CEvbCfgDialog final : public wxDialog {
public:
    // Builds the window of the page's board, hidden; false from Create when
    // the toolkit could not make it.
    CEvbCfgDialog(WxLogger& logger, EvbBoardPage& page);
    bool Create(wxWindow* parent);
    ~CEvbCfgDialog() override;

    EvbBoardPage& Page() { return page_; }
    wxTextCtrl* StatusPane() const { return status_; }
    // Takes the model's state on the window's thread: the status timer's
    // arming and the controls.
    void TakeState();
    bool StatusTimerRunning() const { return timer_.IsRunning(); }
    void StopStatusTimer() { timer_.Stop(); }

private:
    void Build();
    void BuildQX410x(wxSizer* column);
    void BuildQZ625x(wxSizer* column);
    void OnStatusTimer();

    WxLogger& logger_;
    EvbBoardPage& page_;
    wxTimer timer_;
    wxCheckBox* spdif_ = nullptr;
    wxRadioButton* sources_[4] = {};
    wxSlider* volume_ = nullptr;
    wxStaticText* volumeLabel_ = nullptr;
    wxCheckBox* muteAtPreset_ = nullptr;
    wxCheckBox* amplifier_ = nullptr;
    wxCheckBox* straps_ = nullptr;
    wxCheckBox* reset_ = nullptr;
    wxCheckBox* highPower_ = nullptr;
    wxTextCtrl* status_ = nullptr;
};

} // namespace loggerui
