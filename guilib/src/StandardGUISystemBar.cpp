// The editor's system bar and the algorithm's events: the buttons' hooks,
// their states and texts, and what the editor does when a preset, a setup's
// values, its title or the active setup change.
#include "guilib/Algorithm.h"
#include "guilib/MessageService.h"
#include "guilib/StandardGUI.h"

namespace {

const char* SetupLetter(EPluginSetup setup) {
    return setup == eSetupA ? "A" : "B";
}

} // namespace

// --- The algorithm's events -----------------------------------------------------

void CStandardGUI_X::PresetLoaded() {
    if (alg_)
        PresetModifiedReset(alg_->GetActiveSetup());
    AfterPresetChange();
}

void CStandardGUI_X::PresetModified(EPluginSetup setup) {
    modified_[setup] = true;
    if (!alg_ || alg_->GetActiveSetup() == setup)
        CDrawable::SetRefresh();
}

void CStandardGUI_X::SetupTitleChanged(EPluginSetup, const std::string*) {
    UpdateToolbarStates();
}

void CStandardGUI_X::ActiveSetupChanged(EPluginSetup) {
    FinishGesture();
    ClearSelection();
    UpdateToolbarStates();
    CDrawable::SetRefresh();
}

void CStandardGUI_X::AfterPresetChange() {
    if (alg_)
        alg_->RefreshAllParams();
    UpdateToolbarStates();
    CDrawable::SetRefresh();
}

// --- The buttons ----------------------------------------------------------------------

void CStandardGUI_X::ExecuteToolbarButton(const X_CToolbarButton& button) {
    if (!button.available)
        return;
    const std::string& n = button.name;
    const KCPoint<short> below(button.rect.left, button.rect.bottom);
    if (n == "About")
        System_ExecuteAbout();
    else if (n == "Copy")
        System_ExecuteCopy();
    else if (n == "Help")
        System_ExecuteHelp();
    else if (n == "Load")
        System_ExecuteLoadPreset(below);
    else if (n == "Save")
        System_ExecuteSavePreset(below);
    else if (n == "Next")
        System_ExecuteNextPreset();
    else if (n == "Prev")
        System_ExecutePrevPreset();
    else if (n == "Undo")
        System_ExecuteUndo(1);
    else if (n == "Redo")
        System_ExecuteRedo(1);
    else if (n == "Switch")
        System_ExecuteSwitch();
    else if (n == "Rename")
        System_ExecuteRenameSetup();
    else if (n == "Reset")
        System_ExecuteReset();
    else
        System_ExecutePluginSpecific(n);
}

void CStandardGUI_X::NotifyToolbar_updateIndex(const char* name) {
    if (!name)
        return;
    const std::string n = name;
    kvUndo::KTUndoManagerType& undo = *GetUndoManagerRef();
    for (X_CToolbarButton& b : toolbar_) {
        if (b.name != n)
            continue;
        const bool available = n == "Undo" ? undo.CanUndo() : n == "Redo" ? undo.CanRedo() : true;
        if (available != b.available) {
            b.available = available;
            SetRefresh(b.rect);
        }
    }
}

void CStandardGUI_X::NotifyToolbar_update(const char* name, std::string& text) {
    if (!name)
        return;
    for (X_CToolbarButton& b : toolbar_) {
        if (b.name != name)
            continue;
        if (b.text != text) {
            std::swap(b.text, text);
            SetRefresh(b.rect);
        } else {
            text = b.text;
        }
    }
}

void CStandardGUI_X::UpdateToolbarStates() {
    for (const char* name : {"Undo", "Redo"})
        NotifyToolbar_updateIndex(name);
}

// --- The hooks ------------------------------------------------------------------------

void CStandardGUI_X::System_ExecuteAbout() {
    FinishGesture();
    if (aboutImage_.IsValid()) {
        aboutShown_ = true;
        CDrawable::SetRefresh();
        return;
    }
    std::string text;
    for (int i = 0; alg_ && i < 4; ++i)
        if (!alg_->GetInfoString(i).empty())
            text += (text.empty() ? "" : "\n") + alg_->GetInfoString(i);
    KMMessageService::Show(text, "About", KMMessageService::kInformation);
}

void CStandardGUI_X::System_ExecuteCopy() {
    FinishGesture();
    if (!alg_)
        return;
    const EPluginSetup from = alg_->GetActiveSetup();
    const EPluginSetup to = from == eSetupA ? eSetupB : eSetupA;
    // The title reaches this editor, as every tied one, through the
    // algorithm's broadcaster.
    if (alg_->CopySetup(from, to) == 0)
        modified_[to] = modified_[from];
}

void CStandardGUI_X::System_ExecuteHelp() {
    FinishGesture();
    KMMessageService::Show(
        "Drag a control, or click it and use the arrow keys, to change its value; Tab moves "
        "between controls.\n"
        "Prev and Next load the previous and next preset; Load and Save open the preset menus.\n"
        "Undo and Redo step back and forward through your changes.\n"
        "Switch makes the other setup (A or B) active; Copy copies the active setup onto the "
        "other one; Rename names the active setup.\n"
        "Reset gives every parameter its reset value.",
        "Help", KMMessageService::kInformation);
}

void CStandardGUI_X::System_ExecuteLoadPreset(KCPoint<short> where) {
    FinishGesture();
    CPresetsManager* presets = alg_ ? alg_->GetPresetsManager() : nullptr;
    if (!presets)
        return;
    presets->SetMenuWindow(window_);
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoAllParams);
    presets->LoadPresetMenu(CPublicAlg(alg_), where);
    FinishGesture();
}

void CStandardGUI_X::System_ExecuteSavePreset(KCPoint<short> where) {
    FinishGesture();
    if (CPresetsManager* presets = alg_ ? alg_->GetPresetsManager() : nullptr) {
        presets->SetMenuWindow(window_);
        if (presets->SavePresetMenu(CPublicAlg(alg_), where) == 0)
            PresetModifiedReset(alg_->GetActiveSetup());
    }
}

void CStandardGUI_X::System_ExecuteNextPreset() {
    FinishGesture();
    CPresetsManager* presets = alg_ ? alg_->GetPresetsManager() : nullptr;
    if (!presets)
        return;
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoAllParams);
    presets->StepPreset(CPublicAlg(alg_), true);
    FinishGesture();
}

void CStandardGUI_X::System_ExecutePrevPreset() {
    FinishGesture();
    CPresetsManager* presets = alg_ ? alg_->GetPresetsManager() : nullptr;
    if (!presets)
        return;
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoAllParams);
    presets->StepPreset(CPublicAlg(alg_), false);
    FinishGesture();
}

void CStandardGUI_X::System_ExecutePluginSpecific(const std::string& name) {
    FinishGesture();
    if (alg_)
        alg_->ActivatePluginSpecificToolBar(name);
    SetRefresh();
}

void CStandardGUI_X::System_ExecuteUndo(unsigned short count) {
    StepUndo(count, false);
}

void CStandardGUI_X::System_ExecuteRedo(unsigned short count) {
    StepUndo(count, true);
}

void CStandardGUI_X::StepUndo(unsigned short count, bool redo) {
    FinishGesture();
    kvUndo::KTUndoManagerType& undo = *GetUndoManagerRef();
    for (unsigned short i = 0; i < count && (redo ? undo.CanRedo() : undo.CanUndo()); ++i) {
        if (redo)
            undo.Redo();
        else
            undo.Undo();
    }
    UpdateToolbarStates();
    SetRefresh();
}

void CStandardGUI_X::System_ExecuteSwitch() {
    FinishGesture();
    if (!alg_)
        return;
    // The toggle tells every listener, this editor among them.
    alg_->ToggleActiveSetup(alg_->GetActiveSetup());
    // The device takes the values of the setup that is active now.
    alg_->UpdateDSPCoefs(true);
}

void CStandardGUI_X::System_ExecuteRenameSetup() {
    FinishGesture();
    if (!alg_)
        return;
    const EPluginSetup setup = alg_->GetActiveSetup();
    std::string title = alg_->GetSetupName(setup);
    if (!KMMessageService::AskText(std::string("Name of setup ") + SetupLetter(setup) + ":",
                                   "Rename Setup", title) ||
        title == alg_->GetSetupName(setup))
        return;
    alg_->SetSetupName(title, setup);
}

void CStandardGUI_X::System_ExecuteReset() {
    FinishGesture();
    if (!alg_)
        return;
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoAllParams);
    const EPluginSetup setup = alg_->GetActiveSetup();
    std::vector<sCONTROL_PARAM>& params = *alg_->GetParamVector();
    for (unsigned long i = 0; i < params.size(); ++i) {
        const sCONTROL_PARAM& p = params[i];
        if (HeldByPresets(p) &&
            (p.state[setup] != p.resetState || p.realWorld[setup] != p.resetRealWorld))
            alg_->SetParamRealWorld(i, p.resetRealWorld);
    }
    FinishGesture();
    PresetModifiedReset(setup);
    AfterPresetChange();
}
