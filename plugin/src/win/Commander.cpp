#include "plugin/Commander.h"

#include "plugin/PeqAlg.h"

#include "foundation/KCStFile.h"
#include "foundation/XMLElement.h"
#include "foundation/XMLText.h"

#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/toplevel.h>

namespace {

// A hand-written command list is far smaller.
constexpr uint64_t kMaxCommanderBytes = 16u << 20;

CCommander::PopupChooser& Chooser() {
    static CCommander::PopupChooser chooser;
    return chooser;
}

int32_t ChooseFromMenu(wxWindow* owner, int32_t x, int32_t y,
                       const std::vector<std::string>& items) {
    if (Chooser())
        return Chooser()(owner, x, y, items);
    wxMenu menu;
    for (size_t i = 0; i < items.size(); ++i)
        menu.Append(static_cast<int>(i + 1), wxString::FromUTF8(items[i]));
    const int chosen = owner->GetPopupMenuSelectionFromUser(menu, owner->ScreenToClient({x, y}));
    return chosen == wxID_NONE ? -1 : chosen - 1;
}

// "0x%x" first, then "%x"; 0 when neither reads a number.
uint8_t ParseAddress(const std::string& text) {
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos)
        return 0;
    std::string digits = text.substr(at);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    unsigned long value = 0;
    bool any = false;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        value = (value << 4 | static_cast<unsigned long>(d)) & 0xFFFFFFFFul;
        any = true;
    }
    return any ? static_cast<uint8_t>(value & 0xFF) : 0;
}

} // namespace

CCommander::PopupChooser CCommander::SetPopupChooser(PopupChooser chooser) {
    PopupChooser old = std::move(Chooser());
    Chooser() = std::move(chooser);
    return old;
}

CCommander::~CCommander() {
    // The window (with its list) goes before the base destroys what is left.
    if (GetWindow())
        DestroyWindow();
}

bool CCommander::Create() {
    constexpr uint32_t kCommanderStyle = 0x86CE0000u;
    return CGenericWindow::Create("DulmDSPCommander", nullptr, "DulmDSP Commander", 30, 30, 200,
                                  400, kCommanderStyle, 0, 0);
}

intptr_t CCommander::OnCreate(const SGenericCreate*) {
    constexpr uint32_t kListStyle = 0x50008001u;
    if (!list_.Create(kListViewClass, GetWindow(), nullptr, 0, 0, 0, 0, kListStyle, 0x20, kListId))
        return 0;
    if (auto* list = dynamic_cast<wxListCtrl*>(list_.GetWindow()))
        list->InsertColumn(0, "Commands", wxLIST_FORMAT_LEFT, 200);
    return 0;
}

void CCommander::Show(bool show) {
    wxWindow* w = GetWindow();
    if (!w)
        return;
    w->Show(show);
    if (show)
        w->Raise();
}

bool CCommander::IsVisible() const {
    return GetWindow() && GetWindow()->IsShown();
}

std::string CCommander::Name(size_t index) const {
    auto* list = dynamic_cast<wxListCtrl*>(list_.GetWindow());
    return list ? list->GetItemText(static_cast<long>(index)).utf8_string() : std::string();
}

intptr_t CCommander::WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam) {
    if (window == GetWindow()) {
        if (message == kMsgSize) {
            const int width = static_cast<int>(lParam & 0xFFFF);
            const int height = static_cast<int>((lParam >> 16) & 0xFFFF);
            if (auto* list = dynamic_cast<wxListCtrl*>(list_.GetWindow())) {
                list->SetSize(width, height);
                list->SetColumnWidth(0, width);
            }
            return 0;
        }
        if (message == kMsgClose) {
            Show(false);
            return 0;
        }
        if (message == kMsgNotify && wParam == static_cast<uintptr_t>(kListId) && lParam) {
            const auto* n = reinterpret_cast<const SGenericNotify*>(lParam);
            if (n->code == kNotifyRightClick) {
                if (ChooseFromMenu(window, n->x, n->y, {"Refresh"}) == 0)
                    Load(path_);
            } else if (n->code == kNotifyDblClick) {
                RunCommand(n->item);
            }
        }
    }
    return CGenericWindow::WindowProc(window, message, wParam, lParam);
}

void CCommander::ClearList() {
    if (auto* list = dynamic_cast<wxListCtrl*>(list_.GetWindow()))
        list->DeleteAllItems();
    texts_.clear();
    addresses_.clear();
}

bool CCommander::Load(const std::string& path) {
    path_ = path;
    ClearList();
    // Only a regular file is read (a folder or a pipe in its place is a
    // file that cannot be read), and only up to a bounded size.
    std::string bytes;
    if (kvFM::ReadRegularFile(path, bytes, kMaxCommanderBytes) != eNoErr || bytes.empty())
        return false;
    kvXML::CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    if (builder.BuildFromSingleBuffer(bytes.data(), static_cast<unsigned long>(bytes.size())) != 0)
        return true;
    auto* list = dynamic_cast<wxListCtrl*>(list_.GetWindow());
    for (const kvXML::CXMLElement* e : root.children) {
        if (!e || e->name.c_str() != std::string("Command"))
            continue;
        std::string name, address;
        e->GetAttrib("name", name);
        e->GetAttrib("address", address);
        if (name.empty() || address.empty() || e->text.empty())
            continue;
        addresses_.push_back(ParseAddress(address));
        texts_.push_back(e->text);
        if (list)
            list->InsertItem(list->GetItemCount(), wxString::FromUTF8(name));
    }
    return true;
}

void CCommander::RunCommand(int32_t index) {
    if (!alg_ || index < 0 || static_cast<size_t>(index) >= texts_.size())
        return;
    const uint8_t address = addresses_[static_cast<size_t>(index)];
    const std::string& text = texts_[static_cast<size_t>(index)];
    if (address == 0 || text.empty())
        return;
    alg_->Connection().SetSlaveAddress(address);
    alg_->RunPopScript(text.c_str());
}
