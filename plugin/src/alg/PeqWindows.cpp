// The algorithm's side of the editor's dialogs.
#include "plugin/PeqAlg.h"

SPopSettingsValues cPEQ_ALG::PopSettings() const {
    SPopSettingsValues values;
    values.popType = PopType;
    values.popTypeEEPROMExt = PopTypeEEPROMExt;
    values.popFilename = PopFilename;
    values.popFilenameEEPROM = PopFilenameEEPROM;
    values.popRunPath = PopRunPath;
    return values;
}

void cPEQ_ALG::ShowPopSettings() {
    SPopSettingsValues values = PopSettings();
    if (!services_ || !services_->RunPopSettings(*this, values))
        return;
    PopType = values.popType;
    PopTypeEEPROMExt = values.popTypeEEPROMExt;
    PopFilename = values.popFilename;
    PopFilenameEEPROM = values.popFilenameEEPROM;
    PopRunPath = values.popRunPath;
}
