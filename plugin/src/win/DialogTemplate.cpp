#include "DialogTemplate.h"

#include "foundation/XMLElement.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/scrolbar.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <locale>
#include <sstream>
#include <string>

namespace {

struct SRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

bool ReadRect(const kvXML::CXMLElement& e, SRect& r) {
    std::string text;
    if (!e.GetAttrib("rect", text))
        return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> r.left >> r.top >> r.right >> r.bottom;
    return !in.fail() && r.right >= r.left && r.bottom >= r.top;
}

long ReadLong(const kvXML::CXMLElement& e, const char* name, long fallback) {
    long value = fallback;
    return e.GetAttrib(name, value) ? value : fallback;
}

std::string ReadText(const kvXML::CXMLElement& e, const char* name) {
    std::string text;
    e.GetAttrib(name, text);
    return text;
}

wxWindow* MakeControl(wxDialog* dialog, const std::string& type, int id, const wxString& text,
                      const wxPoint& pos, const wxSize& size, bool group) {
    if (type == "static")
        return new wxStaticText(dialog, id, text, pos, size);
    if (type == "groupbox")
        return new wxStaticBox(dialog, id, text, pos, size);
    // The address control is an edit field holding the dotted address.
    if (type == "edit" || type == "ipaddress")
        return new wxTextCtrl(dialog, id, text, pos, size);
    if (type == "button" || type == "default") {
        auto* button = new wxButton(dialog, id, text, pos, size);
        if (type == "default")
            button->SetDefault();
        return button;
    }
    if (type == "radio")
        return new wxRadioButton(dialog, id, text, pos, size, group ? wxRB_GROUP : 0);
    if (type == "check")
        return new wxCheckBox(dialog, id, text, pos, size, wxCHK_3STATE);
    if (type == "combo")
        return new wxComboBox(dialog, id, text, pos, size, 0, nullptr, wxCB_DROPDOWN);
    if (type == "list")
        return new wxListBox(dialog, id, pos, size);
    if (type == "trackbar")
        return new wxSlider(dialog, id, 0, 0, 100, pos, size, wxSL_VERTICAL);
    if (type == "scrollbar")
        return new wxScrollBar(dialog, id, pos, size, wxSB_VERTICAL);
    return nullptr;
}

// Closes a radio group with a hidden button of its own: switched on, it
// leaves every visible button of the group off (the toolkit always keeps one
// button of a group on).
void CloseRadioGroup(wxDialog* dialog, int& radiosInGroup) {
    if (radiosInGroup == 0)
        return;
    auto* none = new wxRadioButton(dialog, wxID_ANY, wxString(), wxPoint(0, 0), wxSize(0, 0), 0,
                                   wxDefaultValidator, kNoButtonOnName);
    none->Hide();
    radiosInGroup = 0;
}

} // namespace

bool IsNoButtonOn(const wxWindow* control) {
    return control && control->GetName() == kNoButtonOnName;
}

wxDialog* BuildDialogFromTemplate(const kvXML::CXMLElement& root, wxWindow* parent,
                                  std::set<const wxWindow*>& groupStarts) {
    if (root.name.c_str() != std::string("Dialog"))
        return nullptr;
    const int width = static_cast<int>(ReadLong(root, "width", 0));
    const int height = static_cast<int>(ReadLong(root, "height", 0));
    if (width <= 0 || height <= 0)
        return nullptr;
    auto* dialog =
        new wxDialog(parent, wxID_ANY, wxString::FromUTF8(ReadText(root, "title")),
                     wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    dialog->SetClientSize(width, height);
    groupStarts.clear();
    int radiosInGroup = 0;
    for (const kvXML::CXMLElement* e : root.children) {
        if (!e || e->name.c_str() != std::string("Control"))
            continue;
        SRect r;
        if (!ReadRect(*e, r)) {
            dialog->Destroy();
            return nullptr;
        }
        long id = ReadLong(*e, "id", -1);
        const bool group = ReadLong(*e, "group", 0) != 0;
        if (group)
            CloseRadioGroup(dialog, radiosInGroup);
        const std::string type = ReadText(*e, "type");
        if (type == "radio")
            ++radiosInGroup;
        wxWindow* control =
            MakeControl(dialog, type, id < 0 ? wxID_ANY : static_cast<int>(id),
                        wxString::FromUTF8(ReadText(*e, "text")), wxPoint(r.left, r.top),
                        wxSize(r.right - r.left, r.bottom - r.top), group);
        if (!control) {
            dialog->Destroy();
            return nullptr;
        }
        if (group)
            groupStarts.insert(control);
    }
    CloseRadioGroup(dialog, radiosInGroup);
    dialog->CentreOnParent();
    return dialog;
}
