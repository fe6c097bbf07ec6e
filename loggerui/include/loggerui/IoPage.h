// "I/O Configuration": the view of the I/O page's register images.
#pragma once

#include <wx/dialog.h>

#include <functional>

class wxChoice;
class wxListBox;
class wxStaticText;
class wxTextCtrl;

namespace loggerui {

class WxLogger;

namespace ioid {
inline constexpr int kPage = 117;
inline constexpr int kPins = 1117, kFunction = 1119, kFirst = 1121, kSecond = 1123;
inline constexpr int kFirstLabel = 1127, kSecondLabel = 1129, kInput = 1145;
inline constexpr int kPresetStage = 1155, kUpdateNow = 1139, kLoad = 1149;
} // namespace ioid

class CIoCfgDialog final : public wxDialog {
public:
    explicit CIoCfgDialog(WxLogger& logger);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);
    // Refills the pin list for the chip the images were prepared for and
    // selects its first entry, and shows that pin. A selection made here is
    // not the user's: nothing is read from or written to the chip.
    void FillPins();
    // What a pin-list selection change does: reads the input, shows the
    // pin and applies the images.
    void SelectionChanged();
    int Row() const { return row_; }

private:
    // Shows the current pin from the images; no bus traffic.
    void ShowPin();
    // Shows the current pin and applies the images.
    void Refresh();
    void TakeSelectedRow();
    void Change(const std::function<void(struct IoImages&)>& change);

    WxLogger& logger_;
    int row_ = 0;
    wxListBox* pins_ = nullptr;
    wxChoice* function_ = nullptr;
    wxChoice* first_ = nullptr;
    wxChoice* second_ = nullptr;
    wxStaticText* firstLabel_ = nullptr;
    wxStaticText* secondLabel_ = nullptr;
    wxTextCtrl* input_ = nullptr;
};

} // namespace loggerui
