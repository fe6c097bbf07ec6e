// The small dialogs of the runner: the preferences dialog, the WAV file or
// folder selection, message boxes and posted menu commands. GUI thread only;
// the dialogs block in a modal loop.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "ui/KMWindowManager.h"

// The two session preferences the dialog edits, one byte each.
enum : int { kPrefLoadPrevSession = 0, kPrefUseVellixPlugins = 1 };

// Control identifiers of the preferences dialog's buttons.
enum : short { kPrefButtonOK = 1, kPrefButtonCancel = 2 };

// The modal "Plugin Runner Preferences" dialog; changes the bytes only when
// the user confirms with "OK". A failing window call closes it unchanged.
void ShowPreferencesDialog(uint8_t prefs[2]);
// The dialog's handler; its user data is the dialog's result byte.
bool PreferencesDialogCallBack(void* owner, KEEventTypes event, KCEventData* data, void* userData);

// Lets the user pick a WAV file (or a folder); eUserCanceled when nothing
// was chosen, the path then unchanged.
KTErr OpenWavFileDialog(KCWindow* owner, kvFM::KCStPath& path, bool pickFolder);

// An OK-only message box of two lines.
eKMMessageResult ShowMessage(const std::string& line1, const std::string& line2);
// A message box of the given kind (0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel).
eKMMessageResult AskQuestion(const std::string& text, int32_t kind);

// Posts the command to the window as a menu command; nothing without a
// window. Always 0.
KTErr PostCommand(KCWindow* window, int command);
