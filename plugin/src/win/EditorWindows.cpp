#include "plugin/EditorWindows.h"

#include "plugin/SettingsDialogs.h"

#include "foundation/kvFMWx.h"

#include <wx/app.h>

// Without a running toolkit (an editor made headless) there are no windows:
// the dialogs end as cancelled and the command-list window is not made.
static bool ToolkitRunning() {
    return wxTheApp != nullptr;
}

CPeqWindowServices::CPeqWindowServices(KTResContainerType* module, wxWindow* owner)
    : module_(module), owner_(owner) {
    if (kvFM::GetDialogService() == nullptr)
        kvFM::InstallWxDialogService();
}

bool CPeqWindowServices::RunSystemConfiguration(SSystemConfigValues& values) {
    if (!ToolkitRunning())
        return false;
    CSystemConfigDlg dialog;
    dialog.SetDialogInfo(kDialogSystemConfig, owner_, module_);
    dialog.LoadValues(values);
    if (dialog.RunModal() != kIdOK)
        return false;
    dialog.StoreValues(values);
    return true;
}

bool CPeqWindowServices::RunPopSettings(cPEQ_ALG& alg, SPopSettingsValues& values) {
    if (!ToolkitRunning())
        return false;
    CPOPFileSettingsDlg dialog(&alg);
    dialog.SetDialogInfo(kDialogPopSettings, owner_, module_);
    dialog.resetSelector = static_cast<int32_t>(values.popType);
    dialog.eepromSelector = static_cast<int32_t>(values.popTypeEEPROMExt);
    dialog.resetFile = values.popFilename;
    dialog.eepromFile = values.popFilenameEEPROM;
    dialog.runPath = values.popRunPath;
    if (dialog.RunModal() != kIdOK)
        return false;
    values.popType = static_cast<uint32_t>(dialog.resetSelector);
    values.popTypeEEPROMExt = static_cast<uint32_t>(dialog.eepromSelector);
    values.popFilename = dialog.resetFile;
    values.popFilenameEEPROM = dialog.eepromFile;
    values.popRunPath = dialog.runPath;
    return true;
}

void CPeqWindowServices::PrepareCommander(cPEQ_ALG& alg, KCWindow*, const std::string& path) {
    if (!ToolkitRunning())
        return;
    commanderAlg_ = &alg;
    commanderPath_ = path;
}

// The command-list window is made (hidden, with its list read from the
// command file) the first time it is asked for: a second top-level window
// made while the editor is being set up kept the editor from taking the
// pointer.
void CPeqWindowServices::MakeCommander() {
    if (commander_.GetWindow() || !commanderAlg_)
        return;
    commander_.SetDialogInfo(0, owner_, module_);
    commander_.SetAlgorithm(commanderAlg_);
    if (commander_.Create())
        commander_.Load(commanderPath_);
}

void CPeqWindowServices::ShowCommander(bool show) {
    if (show)
        MakeCommander();
    commander_.Show(show);
}

bool CPeqWindowServices::IsCommanderVisible() {
    return commander_.IsVisible();
}
