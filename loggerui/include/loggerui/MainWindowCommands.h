// The main window's buttons bound to their commands, and the speaker
// rotation dialog.
#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>

namespace loggerui {

class CMainDialog;
class WxLogger;

// Binds the main window's command buttons (GUI thread).
void BindMainCommands(CMainDialog& dialog, WxLogger& logger);

// "Speaker Rotation State": four picture buttons 1101-1107 that end the
// dialog with their result code (256-259); the picture of the current
// rotation carries a check mark.
class CRotationDialog final : public wxDialog {
public:
    CRotationDialog(wxWindow* parent, int currentRotation);
    // The picture number each state button shows.
    int ShownPicture(int state) const { return shown_[state]; }

private:
    int shown_[4] = {};
};

// The rotation command: checks the chip's resources, asks for the state in
// the dialog, and applies it.
void RunRotation(WxLogger& logger, wxWindow* owner);

} // namespace loggerui
