#include "plugin/EditorWindows.h"

#include "plugin/SettingsDialogs.h"

bool CPeqWindowServices::RunSystemConfiguration(SSystemConfigValues& values) {
    CSystemConfigDlg dialog;
    dialog.SetDialogInfo(kDialogSystemConfig, owner_, module_);
    dialog.LoadValues(values);
    if (dialog.RunModal() != kIdOK)
        return false;
    dialog.StoreValues(values);
    return true;
}

bool CPeqWindowServices::RunPopSettings(cPEQ_ALG& alg, SPopSettingsValues& values) {
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
    commander_.SetDialogInfo(0, owner_, module_);
    commander_.SetAlgorithm(&alg);
    if (!commander_.GetWindow())
        commander_.Create();
    commander_.Load(path);
}

void CPeqWindowServices::ShowCommander(bool show) {
    commander_.Show(show);
}

bool CPeqWindowServices::IsCommanderVisible() {
    return commander_.IsVisible();
}
