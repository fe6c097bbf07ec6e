// "Volume Control": the view of the volume page over its service.
#pragma once

#include "loggerui/VolumeService.h"

#include <wx/dialog.h>

class wxButton;
class wxChoice;
class wxSlider;
class wxSpinButton;
class wxStaticText;
class wxTextCtrl;

namespace loggerui {

class WxLogger;

namespace volumeid {
inline constexpr int kPage = 143;
inline constexpr int kLoadCurve = 1301, kMode = 1295, kCurrent = 1251, kUpDown = 1259;
inline constexpr int kStartSlider = 1297, kStartEdit = 1299, kEndSlider = 1243, kEndEdit = 1245;
inline constexpr int kIntervalSlider = 1247, kIntervalEdit = 1249, kRunSweep = 1242;
inline constexpr int kStatus = 1303;
} // namespace volumeid

class CVolumeControl_Dialog final : public wxDialog {
public:
    CVolumeControl_Dialog(WxLogger& logger, VolumeService& service);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);
    // Shows the service's state.
    void Refresh();
    void RunSweep();
    void LoadCurve();
    // Esc or the close box: the target back, the page hidden.
    void Cancel();

private:
    void Build();

    WxLogger& logger_;
    VolumeService& service_;
    wxChoice* mode_ = nullptr;
    wxTextCtrl *current_ = nullptr, *startEdit_ = nullptr, *endEdit_ = nullptr;
    wxTextCtrl* intervalEdit_ = nullptr;
    wxSpinButton* upDown_ = nullptr;
    wxSlider *start_ = nullptr, *end_ = nullptr, *interval_ = nullptr;
    wxButton *run_ = nullptr, *load_ = nullptr;
    wxStaticText* status_ = nullptr;
};

} // namespace loggerui
