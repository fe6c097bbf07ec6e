// The editor's windows as the algorithm reaches them: the System
// Configuration and POP Settings dialogs and the command-list window, over
// wx, owned by the editor's frame window.
#pragma once

#include "plugin/Commander.h"
#include "plugin/PeqAlg.h"

struct KTResContainerType;
class wxWindow;

class CPeqWindowServices : public CPeqEditorServices {
public:
    // `module`: the resource container of the plug-in module (dialog
    // templates); `owner`: the editor's frame window, when known.
    // Gives this module's file manager the toolkit's file dialogs (the POP
    // file, the EEPROM export) unless it has a dialog service already.
    explicit CPeqWindowServices(KTResContainerType* module, wxWindow* owner = nullptr);
    ~CPeqWindowServices() override;
    CPeqWindowServices(const CPeqWindowServices&) = delete;
    CPeqWindowServices& operator=(const CPeqWindowServices&) = delete;

    // While an editor has its frame window, the plug-in's message boxes are
    // windows owned by the frame most recently given. A box raised while the
    // editors have none waits until one is given; with the last editor gone
    // boxes are headless again.
    void SetOwner(wxWindow* owner);
    wxWindow* Owner() const { return owner_; }

    bool RunSystemConfiguration(SSystemConfigValues& values) override;
    bool RunPopSettings(cPEQ_ALG& alg, SPopSettingsValues& values) override;
    void PrepareCommander(cPEQ_ALG& alg, KCWindow* owner, const std::string& path) override;
    void ShowCommander(bool show) override;
    bool IsCommanderVisible() override;

    CCommander& Commander() { return commander_; }

private:
    void MakeCommander();

    KTResContainerType* module_;
    wxWindow* owner_;
    CCommander commander_;
    cPEQ_ALG* commanderAlg_ = nullptr;
    std::string commanderPath_;
};
