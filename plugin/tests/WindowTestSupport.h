// Shared helpers of the plug-in's window tests: the test program's own
// resources, dialog templates added at run time, and modal runs driven by
// a script that runs inside the dialog's loop (with a watchdog).
#pragma once

#include "display_harness.h"
#include "plugin/GenericWindow.h"

#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "foundation/XMLElement.h"
#include "foundation/XMLText.h"

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <filesystem>
#include <functional>
#include <string>

namespace wintest {

// The test program as a resource container (it carries the plug-in's
// resources).
inline KTResContainerType* SelfContainer() {
    static KTResContainerType* container = [] {
        RMInit(0);
        KTResContainerType* c = nullptr;
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        return RMOpenResContainer(kvFM::KCStPath(self), 0, c) == 0 ? c : nullptr;
    }();
    return container;
}

// Adds a dialog template given as XML text under `id` (in memory).
inline bool AddTemplate(short id, const std::string& xml) {
    auto* root = new kvXML::CXMLElement();
    kvXML::CXMLTreeBuilder builder(*root);
    if (builder.BuildFromSingleBuffer(xml.data(), static_cast<unsigned long>(xml.size())) != 0) {
        delete root;
        return false;
    }
    KTResourceType* resource = nullptr;
    // Held for the whole run: an added resource lives while it is held.
    return AddXMLResource(SelfContainer(), KCFourCC(KV_FOURCC("XDlg")), id, root, resource) == 0;
}

// The object of the dialog that runs modally now (null when none).
inline CGenericWindow* ModalDialog() {
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* dialog = dynamic_cast<wxDialog*>(w); dialog && dialog->IsModal())
            return CGenericWindow::FromWindow(dialog);
    return nullptr;
}

// Runs `script` with the modal dialog once one runs. (Building a window
// may spin the event loop before its modal loop starts.)
inline void WhenModal(std::function<void(CGenericWindow&)> script, int tries = 2000) {
    wxTheApp->CallAfter([script, tries] {
        if (CGenericWindow* d = ModalDialog())
            script(*d);
        else if (tries > 0) {
            wxMilliSleep(2);
            WhenModal(script, tries - 1);
        } else
            ADD_FAILURE() << "no modal dialog came up";
    });
}

// Runs the dialog modally; `script` runs inside its loop. A dialog still
// open after a few seconds is ended with -2.
inline intptr_t RunScripted(CGenericWindow& dialog, std::function<void()> script) {
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { dialog.EndDialog(-2); });
    watchdog.StartOnce(15000);
    WhenModal([script](CGenericWindow&) { script(); });
    const intptr_t code = dialog.RunModal();
    watchdog.Stop();
    display::Pump(20);
    return code;
}

// A click as the control sends it.
inline void Click(CGenericWindow& dialog, int32_t id) {
    wxWindow* w = dialog.Control(id);
    ASSERT_NE(w, nullptr) << id;
    wxEventType type = wxEVT_BUTTON;
    if (auto* radio = dynamic_cast<wxRadioButton*>(w)) {
        radio->SetValue(true);
        type = wxEVT_RADIOBUTTON;
    } else if (auto* box = dynamic_cast<wxCheckBox*>(w)) {
        box->SetValue(!box->GetValue());
        type = wxEVT_CHECKBOX;
    }
    wxCommandEvent e(type, id);
    e.SetEventObject(w);
    w->ProcessWindowEvent(e);
}

// A real click of the pointer in the middle of a control (the control's
// own events follow as the user's click makes them).
inline void PointerClick(CGenericWindow& dialog, int32_t id) {
    wxWindow* w = dialog.Control(id);
    ASSERT_NE(w, nullptr) << id;
    ASSERT_TRUE(display::PumpUntil([&] { return w->IsShownOnScreen(); }, 3000)) << id;
    wxUIActionSimulator pointer;
    pointer.MouseMove(w->ClientToScreen(wxPoint(w->GetSize().x / 2, w->GetSize().y / 2)));
    display::Pump(60);
    pointer.MouseClick();
    display::Pump(120);
}

inline bool Checked(CGenericWindow& dialog, int32_t id) {
    if (auto* radio = dynamic_cast<wxRadioButton*>(dialog.Control(id)))
        return radio->GetValue();
    if (auto* box = dynamic_cast<wxCheckBox*>(dialog.Control(id)))
        return box->GetValue();
    return false;
}

inline bool Enabled(CGenericWindow& dialog, int32_t id) {
    wxWindow* w = dialog.Control(id);
    return w && w->IsEnabled();
}

} // namespace wintest
