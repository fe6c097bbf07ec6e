#include "plugin/GenericWindow.h"

#include "DialogTemplate.h"

#include "foundation/ResConverters.h"
#include "foundation/XMLElement.h"

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/scrolbar.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <map>
#include <type_traits>
#include <utility>

namespace {

// Window to object: the shared procedure's way from a window to its object.
// Both tables go with the library when it is closed (its windows are gone
// by then).
std::map<wxWindow*, CGenericWindow*>& HandleMap() {
    static std::map<wxWindow*, CGenericWindow*> map;
    return map;
}

// Registered classes: (instance, name) to atom.
using ClassKey = std::pair<const KTResContainerType*, std::string>;
std::map<ClassKey, uint16_t>& ClassTable() {
    static std::map<ClassKey, uint16_t> table;
    return table;
}

uint16_t RegisterClass(const KTResContainerType* instance, const std::string& name) {
    static uint16_t next = 0xC000;
    const uint16_t atom = next++;
    if (next == 0)
        next = 0xC000;
    ClassTable()[{instance, name}] = atom;
    return atom;
}

void UnregisterClass(uint16_t atom) {
    auto& table = ClassTable();
    for (auto it = table.begin(); it != table.end(); ++it)
        if (it->second == atom) {
            table.erase(it);
            return;
        }
}

intptr_t PackSize(int width, int height) {
    return static_cast<intptr_t>((static_cast<uint32_t>(width) & 0xFFFF) |
                                 ((static_cast<uint32_t>(height) & 0xFFFF) << 16));
}

void SendCommand(wxWindow* top, wxCommandEvent& e, int32_t code) {
    auto* control = dynamic_cast<wxWindow*>(e.GetEventObject());
    const uint32_t id = static_cast<uint32_t>(e.GetId()) & 0xFFFF;
    CGenericWindow::StaticWindowProc(top, kMsgCommand, id | (static_cast<uint32_t>(code) << 16),
                                     reinterpret_cast<intptr_t>(control));
}

} // namespace

CGenericWindow::~CGenericWindow() {
    if (window_)
        DestroyWindow();
    if (classAtom_ != 0)
        UnregisterClass(classAtom_);
}

bool CGenericWindow::IsClassRegistered(const std::string& name) {
    for (const auto& [key, atom] : ClassTable())
        if (key.second == name)
            return true;
    return false;
}

CGenericWindow* CGenericWindow::FromWindow(wxWindow* window) {
    auto it = HandleMap().find(window);
    return it == HandleMap().end() ? nullptr : it->second;
}

void CGenericWindow::Attach(wxWindow* window) {
    HandleMap()[window] = this;
    window_ = window;
}

intptr_t CGenericWindow::StaticWindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                          intptr_t lParam) {
    CGenericWindow* object = nullptr;
    if (message == kMsgNcCreate || message == kMsgCreate) {
        const auto* create = reinterpret_cast<const SGenericCreate*>(lParam);
        object = create ? static_cast<CGenericWindow*>(create->param) : nullptr;
        if (object)
            object->Attach(window);
    } else if (message == kMsgInitDialog) {
        object = reinterpret_cast<CGenericWindow*>(lParam);
        if (object)
            object->Attach(window);
    } else {
        object = FromWindow(window);
    }
    const intptr_t result = object ? object->WindowProc(window, message, wParam, lParam) : 0;
    if ((message == kMsgDestroy || message == kMsgNcDestroy) && object) {
        object->window_ = nullptr;
        HandleMap().erase(window);
    }
    return result;
}

bool CGenericWindow::Create(const char* className, wxWindow* parent, const char* title,
                            int32_t left, int32_t top, int32_t right, int32_t bottom,
                            uint32_t style, uint32_t exStyle, int32_t id) {
    const std::string name = className ? className : kDefaultClass;
    const bool listView = name == kListViewClass; // a class of the system
    if (!listView && ClassTable().find({instance, name}) == ClassTable().end())
        classAtom_ = RegisterClass(instance, name);
    const wxPoint pos(left, top);
    const wxSize size(std::max(0, right - left), std::max(0, bottom - top));
    const bool child = (style & kStyleChild) != 0 || listView;
    if (child && !parent)
        return false;
    wxWindow* w = nullptr;
    if (listView) {
        w = new wxListCtrl(parent, id, pos, size, wxLC_REPORT | wxLC_SINGLE_SEL);
    } else if (child) {
        w = new wxPanel(parent, id, pos, size);
    } else {
        long s = 0;
        if ((style & kStyleCaption) == kStyleCaption)
            s |= wxCAPTION;
        if (style & kStyleSysMenu)
            s |= wxSYSTEM_MENU | wxCLOSE_BOX;
        if (style & kStyleSizing)
            s |= wxRESIZE_BORDER;
        if (style & kStyleMinimizeBox)
            s |= wxMINIMIZE_BOX;
        w = new wxFrame(parent, wxID_ANY, wxString::FromUTF8(title ? title : ""), pos, size, s);
        w->SetSize(left, top, size.x, size.y);
    }
    if (!child)
        BindEvents(w);
    else if (listView)
        w->Bind(wxEVT_CONTEXT_MENU, [](wxContextMenuEvent& e) {
            auto* list = dynamic_cast<wxListCtrl*>(e.GetEventObject());
            if (!list)
                return;
            const wxPoint screen =
                e.GetPosition() == wxDefaultPosition ? wxGetMousePosition() : e.GetPosition();
            int flags = 0;
            SGenericNotify n;
            n.from = list;
            n.id = list->GetId();
            n.code = kNotifyRightClick;
            n.item = static_cast<int32_t>(list->HitTest(list->ScreenToClient(screen), flags));
            n.x = screen.x;
            n.y = screen.y;
            StaticWindowProc(list->GetParent(), kMsgNotify, static_cast<uintptr_t>(n.id),
                             reinterpret_cast<intptr_t>(&n));
        });
    // A window that wx destroys by itself (a closing application takes its
    // top-level windows along) leaves no stale handle behind.
    w->Bind(wxEVT_DESTROY, [w](wxWindowDestroyEvent& e) {
        e.Skip();
        if (e.GetEventObject() != w || !FromWindow(w))
            return;
        StaticWindowProc(w, kMsgDestroy, 0, 0);
        StaticWindowProc(w, kMsgNcDestroy, 0, 0);
    });
    SGenericCreate create{this, left, top, size.x, size.y, style};
    StaticWindowProc(w, kMsgNcCreate, 0, reinterpret_cast<intptr_t>(&create));
    if (StaticWindowProc(w, kMsgCreate, 0, reinterpret_cast<intptr_t>(&create)) == -1) {
        DestroyWindow();
        return false;
    }
    (void)exStyle;
    if (child)
        w->Show((style & kStyleVisible) != 0);
    else if (style & kStyleVisible)
        w->Show();
    return window_ != nullptr;
}

void CGenericWindow::BindEvents(wxWindow* w) {
    w->Bind(wxEVT_SIZE, [w](wxSizeEvent& e) {
        e.Skip();
        const wxSize client = w->GetClientSize();
        StaticWindowProc(w, kMsgSize, 0, PackSize(client.x, client.y));
    });
    w->Bind(wxEVT_CLOSE_WINDOW, [w](wxCloseEvent&) {
        // A dialog's close box is its Cancel.
        if (CGenericWindow* object = FromWindow(w); object && object->IsDialogMode())
            StaticWindowProc(w, kMsgCommand, kIdCancel, 0);
        else
            StaticWindowProc(w, kMsgClose, 0, 0);
    });
    for (auto type : {wxEVT_BUTTON, wxEVT_RADIOBUTTON, wxEVT_CHECKBOX})
        w->Bind(type, [w](wxCommandEvent& e) { SendCommand(w, e, kNotifyClicked); });
    w->Bind(wxEVT_COMBOBOX, [w](wxCommandEvent& e) { SendCommand(w, e, kNotifySelChange); });
    w->Bind(wxEVT_SLIDER, [w](wxCommandEvent& e) {
        StaticWindowProc(w, kMsgVScroll, 0, reinterpret_cast<intptr_t>(e.GetEventObject()));
    });
    w->Bind(wxEVT_LIST_ITEM_ACTIVATED, [w](wxListEvent& e) {
        SGenericNotify n;
        n.from = dynamic_cast<wxWindow*>(e.GetEventObject());
        n.id = e.GetId();
        n.code = kNotifyDblClick;
        n.item = static_cast<int32_t>(e.GetIndex());
        const wxPoint mouse = wxGetMousePosition();
        n.x = mouse.x;
        n.y = mouse.y;
        StaticWindowProc(n.from ? n.from->GetParent() : w, kMsgNotify, static_cast<uintptr_t>(n.id),
                         reinterpret_cast<intptr_t>(&n));
    });
}

intptr_t CGenericWindow::OnInitDialog() {
    DataExchange(false);
    return 1;
}

void CGenericWindow::OnOK() {
    if (DataExchange(true) != 0)
        EndDialog(kIdOK);
}

void CGenericWindow::OnCancel() {
    EndDialog(kIdCancel);
}

intptr_t CGenericWindow::WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
    switch (message) {
    case kMsgCreate:
        dialogMode_ = 0;
        return OnCreate(reinterpret_cast<const SGenericCreate*>(lParam));
    case kMsgInitDialog:
        dialogMode_ = 1;
        return OnInitDialog();
    case kMsgCommand: {
        const auto id = static_cast<int32_t>(wParam & 0xFFFF);
        const auto code = static_cast<int32_t>(static_cast<int16_t>((wParam >> 16) & 0xFFFF));
        if (OnCommand(id, code, reinterpret_cast<wxWindow*>(lParam)) != 0)
            return 0;
        if (id == kIdOK) {
            OnOK();
            return 1;
        }
        if (id == kIdCancel) {
            OnCancel();
            return 1;
        }
        return 0;
    }
    default:
        return dialogMode_ ? 0 : DefaultProc(window, message, wParam, lParam);
    }
}

intptr_t CGenericWindow::DefaultProc(wxWindow* window, uint32_t message, uintptr_t, intptr_t) {
    if (message == kMsgClose && window == window_)
        DestroyWindow();
    return 0;
}

void CGenericWindow::DestroyWindow() {
    wxWindow* w = window_;
    if (!w)
        return;
    // Destruction messages: the window first, then the windows inside it.
    std::vector<wxWindow*> inside;
    for (const auto& [window, object] : HandleMap())
        for (wxWindow* p = window->GetParent(); p; p = p->GetParent())
            if (p == w) {
                inside.push_back(window);
                break;
            }
    StaticWindowProc(w, kMsgDestroy, 0, 0);
    for (wxWindow* c : inside)
        StaticWindowProc(c, kMsgDestroy, 0, 0);
    for (wxWindow* c : inside)
        StaticWindowProc(c, kMsgNcDestroy, 0, 0);
    StaticWindowProc(w, kMsgNcDestroy, 0, 0);
    window_ = nullptr;
    HandleMap().erase(w);
    if (w->IsTopLevel())
        w->Hide();
    w->Destroy();
}

void CGenericWindow::SetDialogInfo(int32_t resource, wxWindow* parent, KTResContainerType* module) {
    dialogResource = resource;
    parentWindow = parent;
    instance = module;
}

intptr_t CGenericWindow::RunModal() {
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (!instance || dialogResource < 0 || dialogResource > 0x7FFF ||
        GetXMLResource(instance, KCFourCC(KV_FOURCC("XDlg")), static_cast<short>(dialogResource),
                       root, resource) != 0)
        return -1;
    wxDialog* dialog = nullptr;
    if (root)
        dialog = BuildDialogFromTemplate(*root, parentWindow, groupStarts_);
    RMReleaseResource(resource);
    if (!dialog)
        return -1;
    wxWindow* parent = parentWindow;
    const bool disableParent = parent && parent->IsEnabled();
    if (disableParent)
        parent->Disable();
    BindEvents(dialog);
    dialog->SetEscapeId(kIdCancel);
    StaticWindowProc(dialog, kMsgInitDialog, 0, reinterpret_cast<intptr_t>(this));
    const intptr_t code = dialog->ShowModal();
    DestroyWindow();
    groupStarts_.clear();
    if (disableParent)
        parent->Enable();
    if (parent)
        parent->Raise();
    return code;
}

void CGenericWindow::EndDialog(intptr_t code) {
    if (auto* dialog = dynamic_cast<wxDialog*>(window_); dialog && dialog->IsModal())
        dialog->EndModal(static_cast<int>(code));
}

wxWindow* CGenericWindow::Control(int32_t id) const {
    return window_ ? window_->FindWindow(id) : nullptr;
}

bool CGenericWindow::StartsGroup(const wxWindow* control) const {
    return groupStarts_.count(control) != 0;
}

void CGenericWindow::EnableControl(int32_t id, bool on) const {
    if (wxWindow* c = Control(id))
        c->Enable(on);
}

// Data exchange.

namespace {

// Bytes that are no part of a UTF-8 character, and the NUL byte (which
// would end the text inside the toolkit), are shown as characters of a
// private-use block, one per byte, and turn back into that byte.
constexpr uint32_t kByteCharBase = 0xF700;
constexpr uint32_t kByteCharFirst = kByteCharBase + 0x80, kByteCharLast = kByteCharBase + 0xFF;

bool IsByteChar(uint32_t code) {
    return code == kByteCharBase || (code >= kByteCharFirst && code <= kByteCharLast);
}

// The length of the well-formed UTF-8 character at `at` (0 when there is
// none) and its code point.
size_t DecodeUtf8(const std::string& bytes, size_t at, uint32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    size_t length;
    uint32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

wxString TextToWx(const std::string& bytes) {
    wxString out;
    for (size_t at = 0; at < bytes.size();) {
        uint32_t code = 0;
        const size_t length = DecodeUtf8(bytes, at, code);
        // A character of the byte block itself goes byte by byte as well,
        // so that it comes back unchanged.
        if (length == 0 || code == 0 || IsByteChar(code)) {
            out += wxUniChar(kByteCharBase + static_cast<unsigned char>(bytes[at]));
            ++at;
        } else {
            out += wxUniChar(code);
            at += length;
        }
    }
    return out;
}

std::string WxToText(const wxString& text) {
    std::string out;
    for (const wxUniChar c : text) {
        const uint32_t code = c.GetValue();
        if (IsByteChar(code))
            out += static_cast<char>(code - kByteCharBase);
        else
            AppendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
    }
    return out;
}

std::string ControlText(wxWindow* control) {
    if (!control)
        return {};
    if (auto* text = dynamic_cast<wxTextCtrl*>(control))
        return WxToText(text->GetValue());
    if (auto* combo = dynamic_cast<wxComboBox*>(control))
        return WxToText(combo->GetValue());
    return WxToText(control->GetLabel());
}

void SetControlText(wxWindow* control, const std::string& text) {
    if (!control || ControlText(control) == text)
        return;
    const wxString value = TextToWx(text);
    if (auto* edit = dynamic_cast<wxTextCtrl*>(control))
        edit->ChangeValue(value);
    else if (auto* combo = dynamic_cast<wxComboBox*>(control))
        combo->ChangeValue(value);
    else
        control->SetLabel(value);
}

namespace {

template <typename Wide>
bool ScanNumber(std::string text, Wide& out) {
    if (text.size() > 63)
        text.resize(63);
    size_t at = text.find_first_not_of(" \t\r\n");
    if (at == std::string::npos)
        return false;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    unsigned long long magnitude = 0;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, magnitude);
    if (ec != std::errc() || end == first)
        return false;
    const unsigned long long bits = negative ? 0ULL - magnitude : magnitude;
    out = static_cast<Wide>(bits);
    return true;
}

} // namespace

namespace {

constexpr size_t kFormattedChars = 63;

// The "C" locale for the length of one scan or print.
class CClassicLocale {
public:
    CClassicLocale() : locale_(::newlocale(LC_ALL_MASK, "C", nullptr)) {
        if (locale_)
            old_ = ::uselocale(locale_);
    }
    ~CClassicLocale() {
        if (locale_) {
            ::uselocale(old_);
            ::freelocale(locale_);
        }
    }
    CClassicLocale(const CClassicLocale&) = delete;
    CClassicLocale& operator=(const CClassicLocale&) = delete;

private:
    locale_t locale_;
    locale_t old_ = LC_GLOBAL_LOCALE;
};

std::string LocalFormat(const char* format) {
    std::string f = format ? format : "";
    for (size_t at; (at = f.find("I64")) != std::string::npos;)
        f.replace(at, 3, "ll");
    return f;
}

} // namespace

// The format comes from the program, never from the user.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
template <typename T>
void ExchangeFormatted(CGenericWindow& dialog, int32_t id, const char* format, T& member,
                       bool save) {
    wxWindow* control = dialog.Control(id);
    if (!control || !format)
        return;
    const std::string f = LocalFormat(format);
    const CClassicLocale classic;
    if (save) {
        std::string text = ControlText(control);
        if (text.size() > kFormattedChars)
            text.resize(kFormattedChars);
        T value{};
        if (std::sscanf(text.c_str(), f.c_str(), &value) == 1)
            member = value;
        return;
    }
    char buffer[kFormattedChars + 1];
    const int n = std::snprintf(buffer, sizeof buffer, f.c_str(), member);
    if (n >= 0)
        SetControlText(control, buffer);
}
#pragma GCC diagnostic pop

template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, short&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, unsigned short&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, int&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, unsigned int&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, long&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, unsigned long&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, long long&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, unsigned long long&, bool);
template void ExchangeFormatted(CGenericWindow&, int32_t, const char*, double&, bool);

// Numbers are scanned into a full-width temporary (only the member's width
// is kept, and a number too large for any width is no number) and printed
// through the formatted exchange.
template <typename T>
void ExchangeNumber(CGenericWindow& dialog, int32_t id, T& member, bool save) {
    wxWindow* control = dialog.Control(id);
    if (!control)
        return;
    using Wide = std::conditional_t<std::is_signed_v<T>, long long, unsigned long long>;
    Wide value = static_cast<Wide>(member);
    if (save) {
        if (ScanNumber(ControlText(control), value))
            member = static_cast<T>(value);
    } else {
        ExchangeFormatted(dialog, id, std::is_signed_v<T> ? "%I64d" : "%I64u", value, false);
    }
}

void ExchangeIPAddress(CGenericWindow& dialog, int32_t id, uint32_t& member, bool save) {
    wxWindow* control = dialog.Control(id);
    if (!control)
        return;
    if (!save) {
        SetControlText(control, std::to_string(member >> 24) + "." +
                                    std::to_string(member >> 16 & 0xFF) + "." +
                                    std::to_string(member >> 8 & 0xFF) + "." +
                                    std::to_string(member & 0xFF));
        return;
    }
    const std::string text = ControlText(control);
    uint32_t address = 0;
    size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        const size_t dot = field < 3 ? text.find('.', at) : text.size();
        if (dot == std::string::npos)
            return;
        const std::string part = text.substr(at, dot - at);
        const size_t first = part.find_first_not_of(' ');
        const size_t last = part.find_last_not_of(' ');
        uint32_t value = 0;
        if (first != std::string::npos) {
            unsigned long long number = 0;
            const char* begin = part.data() + first;
            const char* end = part.data() + last + 1;
            const auto [stop, ec] = std::from_chars(begin, end, number);
            if (stop != end || (ec != std::errc() && ec != std::errc::result_out_of_range))
                return;
            value = ec == std::errc() && number <= 255 ? static_cast<uint32_t>(number) : 255;
        }
        address = address << 8 | value;
        at = dot + 1;
    }
    member = address;
}

template void ExchangeNumber(CGenericWindow&, int32_t, unsigned char&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, short&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, int&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, unsigned int&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, long&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, unsigned long&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, long long&, bool);
template void ExchangeNumber(CGenericWindow&, int32_t, unsigned long long&, bool);

void ExchangeText(CGenericWindow& dialog, int32_t id, std::string& member, bool save) {
    wxWindow* control = dialog.Control(id);
    if (!control)
        return;
    if (save)
        member = ControlText(control);
    else
        SetControlText(control, member);
}

void ExchangeTextBuffer(CGenericWindow& dialog, int32_t id, char* buffer, size_t capacity,
                        bool save) {
    wxWindow* control = dialog.Control(id);
    if (!control || !buffer || capacity == 0)
        return;
    if (save) {
        const std::string text = ControlText(control);
        const size_t n = std::min(text.size(), capacity - 1);
        std::copy_n(text.data(), n, buffer);
        buffer[n] = '\0';
    } else {
        SetControlText(control, std::string(buffer, strnlen(buffer, capacity)));
    }
}

void ExchangeCheck(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    auto* box = dynamic_cast<wxCheckBox*>(dialog.Control(id));
    if (!box)
        return;
    if (save) {
        member = box->Is3State() ? static_cast<int32_t>(box->Get3StateValue())
                                 : (box->GetValue() ? 1 : 0);
        return;
    }
    if (member < 0 || member > 2)
        member = 0;
    if (box->Is3State())
        box->Set3StateValue(static_cast<wxCheckBoxState>(member));
    else
        box->SetValue(member != 0);
}

void ExchangeRadio(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    wxWindow* first = dialog.Control(id);
    if (!first || !first->GetParent())
        return;
    const wxWindowList& siblings = first->GetParent()->GetChildren();
    auto node = siblings.Find(first);
    std::vector<wxRadioButton*> radios;
    wxRadioButton* none = nullptr;
    for (; node; node = node->GetNext()) {
        wxWindow* w = node->GetData();
        if (w != first && dialog.StartsGroup(w))
            break;
        auto* radio = dynamic_cast<wxRadioButton*>(w);
        if (radio && IsNoButtonOn(radio))
            none = radio;
        else if (radio)
            radios.push_back(radio);
    }
    if (save) {
        member = -1;
        for (size_t i = 0; i < radios.size(); ++i)
            if (radios[i]->GetValue()) {
                member = static_cast<int32_t>(i);
                break;
            }
        return;
    }
    if (member >= 0 && static_cast<size_t>(member) < radios.size()) {
        radios[static_cast<size_t>(member)]->SetValue(true);
        return;
    }
    // No button shows the value: none is on.
    if (none)
        none->SetValue(true);
    for (wxRadioButton* radio : radios)
        radio->SetValue(false);
}

namespace {

// The item that starts with (or equals) the text; wxNOT_FOUND when none.
int FindItem(const wxArrayString& items, const std::string& text, bool exact) {
    const wxString t = TextToWx(text);
    for (size_t i = 0; i < items.size(); ++i)
        if (exact ? items[i] == t : items[i].StartsWith(t))
            return static_cast<int>(i);
    return wxNOT_FOUND;
}

void ExchangeListByText(CGenericWindow& dialog, int32_t id, std::string& member, bool save,
                        bool exact) {
    auto* list = dynamic_cast<wxListBox*>(dialog.Control(id));
    if (!list)
        return;
    if (save) {
        const int at = list->GetSelection();
        member = at == wxNOT_FOUND ? std::string() : WxToText(list->GetString(at));
        return;
    }
    const int at = FindItem(list->GetStrings(), member, exact);
    if (at == wxNOT_FOUND)
        list->SetSelection(wxNOT_FOUND);
    else
        list->SetSelection(at);
}

void ExchangeComboByText(CGenericWindow& dialog, int32_t id, std::string& member, bool save,
                         bool exact) {
    auto* combo = dynamic_cast<wxComboBox*>(dialog.Control(id));
    if (!combo)
        return;
    if (save) {
        member = WxToText(combo->GetValue());
        return;
    }
    const int at = FindItem(combo->GetStrings(), member, exact);
    if (at == wxNOT_FOUND)
        SetControlText(combo, member);
    else
        combo->SetSelection(at);
}

} // namespace

void ExchangeListText(CGenericWindow& dialog, int32_t id, std::string& member, bool save) {
    ExchangeListByText(dialog, id, member, save, false);
}
void ExchangeListExact(CGenericWindow& dialog, int32_t id, std::string& member, bool save) {
    ExchangeListByText(dialog, id, member, save, true);
}
void ExchangeComboText(CGenericWindow& dialog, int32_t id, std::string& member, bool save) {
    ExchangeComboByText(dialog, id, member, save, false);
}
void ExchangeComboExact(CGenericWindow& dialog, int32_t id, std::string& member, bool save) {
    ExchangeComboByText(dialog, id, member, save, true);
}

void ExchangeListIndex(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    auto* list = dynamic_cast<wxListBox*>(dialog.Control(id));
    if (!list)
        return;
    if (save)
        member = list->GetSelection();
    else if (member >= 0 && static_cast<unsigned>(member) < list->GetCount())
        list->SetSelection(member);
    else
        list->SetSelection(wxNOT_FOUND);
}

void ExchangeComboIndex(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    auto* combo = dynamic_cast<wxComboBox*>(dialog.Control(id));
    if (!combo)
        return;
    if (save)
        member = combo->GetSelection();
    else if (member >= 0 && static_cast<unsigned>(member) < combo->GetCount())
        combo->SetSelection(member);
    else
        combo->SetSelection(wxNOT_FOUND);
}

void ExchangeScrollBar(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    auto* bar = dynamic_cast<wxScrollBar*>(dialog.Control(id));
    if (!bar)
        return;
    if (save) {
        member = bar->GetThumbPosition();
    } else {
        bar->SetThumbPosition(member);
        bar->Refresh();
    }
}

void ExchangeTrackbar(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    auto* slider = dynamic_cast<wxSlider*>(dialog.Control(id));
    if (!slider)
        return;
    if (save) {
        member = slider->GetValue();
    } else {
        slider->SetValue(member);
        slider->Refresh();
    }
}
