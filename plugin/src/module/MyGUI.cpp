// The plug-in's editor object.
#include "MyGUI.h"

#include "guilib/MenuEx.h"
#include "plugin/EditorWindows.h"
#include "plugin/PeqAlg.h"
#include "ui/KCWindow.h"

#include <string>

#include <wx/window.h>

// What the algorithm asks of its editor, answered by the editor while it
// exists: its window and pop-up menus here, the dialogs and the command-list
// window (built from the module's resources) by the window services.
class CMyGUI::CServices final : public CPeqWindowServices {
public:
    CServices(CMyGUI* gui, KTResContainerType* container)
        : CPeqWindowServices(container), gui_(gui) {}
    void Forget() { gui_ = nullptr; }

    KCWindow* PluginWindow() override {
        KCWindow* w = gui_ ? gui_->GetPluginWindow() : nullptr;
        return w && w->windowHandle ? w : nullptr;
    }
    bool PopUpMenu(KCMenuEx& menu, long& selection) override {
        selection = -1;
        KCWindow* w = PluginWindow();
        return w && menu.ActivatePopUpMenu(*w, KMMouseInWindow(*w), selection) == 0;
    }

    void SetAnalogInputItems(bool fiveInputs) override {
        if (!gui_)
            return;
        for (long i = 0; i < gui_->GetNumControllers(); ++i) {
            cControl_X* c = gui_->GetControl(static_cast<size_t>(i));
            auto* popup = dynamic_cast<CPopup_X*>(c);
            if (!popup || popup->GetLeadParamIndex() != dulm::PARAM_ANALOG ||
                std::string(c->GetControlClass()) != "Popup")
                continue;
            popup->ClearPopupItems();
            for (short item = 0; item < 5; ++item)
                popup->AppendPopupItem(std::to_string(item + 1), item, item >= 3 && !fiveInputs);
        }
    }

private:
    CMyGUI* gui_;
};

CMyGUI::CMyGUI(KTResContainerType* container)
    : CStandardGUI_X(nullptr), services_(std::make_shared<CServices>(this, container)) {
    SetResContainer(container);
}

void CMyGUI::SetWindow(KCWindow* w) {
    CStandardGUI_X::SetWindow(w);
    // Without its window the editor's boxes are headless again.
    if (!w || !w->windowHandle)
        services_->SetOwner(nullptr);
}

CMyGUI::~CMyGUI() {
    services_->Forget();
    if (auto* alg = dynamic_cast<cPEQ_ALG*>(GetAlg()))
        alg->SetEditorServices(nullptr);
}

void CMyGUI::InitDefaultGUI(cALGORITHM* alg) {
    CStandardGUI_X::InitDefaultGUI(alg);
    ReadLayoutResource(kLayoutId);
    if (auto* peq = dynamic_cast<cPEQ_ALG*>(alg))
        peq->SetEditorServices(services_);
}

void CMyGUI::ActivateWindow(KCWindow* w) {
    CStandardGUI_X::ActivateWindow(w);
    // The editor's frame owns the plug-in's dialogs and message boxes.
    if (w && w->windowHandle)
        services_->SetOwner(wxGetTopLevelParent(w->windowHandle));
    if (auto* alg = dynamic_cast<cPEQ_ALG*>(GetAlg()))
        alg->SetUpEditorWindow(w && w->windowHandle ? w : nullptr);
}
