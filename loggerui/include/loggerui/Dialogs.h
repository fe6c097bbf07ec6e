// The logger's main window and its soft-reset reminder, built in code with
// sizers; the control ids are those the rest of the logger uses.
#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/timer.h>

#include <array>

class wxCheckBox;
class wxStaticBitmap;
class wxStaticText;
class wxTextCtrl;
class wxBoxSizer;
class wxTopLevelWindow;

namespace loggerui {

class WxLogger;

enum class Lamp { Blank, Red, Green, Marker };

// Pictures packed with the library (bitmap numbers 124-126, 144, 149 and
// icon 1001); an empty bitmap when one cannot be read.
wxBitmap LibraryBitmap(int number);
// The library's icon 1001 as a window's big and small icon.
void SetLibraryIcon(wxTopLevelWindow& window);
// Dispatches the waiting events of the given categories (wxEVT_CATEGORY_...)
// and keeps the others for later, with the running event loop or, when
// none runs, a loop made for the purpose.
void DispatchOnly(long categories);

class CMainDialog final : public wxDialog {
public:
    CMainDialog(wxWindow* parent, WxLogger& logger);
    ~CMainDialog() override;

    wxTextCtrl* LogPane() const { return logPane_; }
    wxTextCtrl* InfoPane() const { return infoPane_; }
    wxStaticText* Note() const { return note_; }
    // The column that holds the panes, where further panes can be added.
    wxBoxSizer* PaneColumn() const { return paneColumn_; }

    void ShowLamp(Lamp lamp);
    Lamp ShownLamp() const { return shown_; }
    void StartTimer(int timer, int milliseconds);
    void StopTimer(int timer);
    bool TimerRunning(int timer) const;

    // 1 while the reminder's question is open for this window.
    bool reminderShowing = false;

private:
    void Build();
    void OnTimer(wxTimerEvent& event);

    WxLogger& logger_;
    std::array<wxTimer, 5> timers_; // 1-4 used
    std::array<wxBitmap, 4> lamps_;
    Lamp shown_ = Lamp::Blank;
    wxTextCtrl* logPane_ = nullptr;
    wxTextCtrl* infoPane_ = nullptr;
    wxStaticBitmap* lamp_ = nullptr;
    wxStaticText* note_ = nullptr;
    wxBoxSizer* paneColumn_ = nullptr;
};

class CHintFigureDialog final : public wxDialog {
public:
    enum Result { kCancelled = 0, kConfirmed = 1, kOpen = 2 };
    explicit CHintFigureDialog(wxWindow* parent);

    wxCheckBox* DontRemindBox() const { return box_; }
    bool dontRemind = false;
    int result = kOpen;

    void Confirm();
    void Cancel();

private:
    wxCheckBox* box_ = nullptr;
};

} // namespace loggerui
