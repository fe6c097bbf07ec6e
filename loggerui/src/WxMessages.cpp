#include "loggerui/WxMessages.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

// The generic box builds on what the header above declares.
#include <wx/generic/msgdlgg.h>

namespace loggerui {

WxMessageService::WxMessageService(std::function<wxWindow*()> owner) : owner_(std::move(owner)) {}

int WxMessageService::Show(const std::string& text, const std::string& caption, long style) {
    wxWindow* owner = owner_ ? owner_() : nullptr;
    if (owner && !owner->IsShownOnScreen())
        owner = nullptr;
    wxGenericMessageDialog box(owner, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                               style | wxCENTRE);
    return box.ShowModal();
}

void WxMessageService::Later(const std::string& text, const std::string& caption, long style) {
    if (!wxTheApp)
        return;
    std::weak_ptr<WxMessageService> self = weak_from_this();
    wxTheApp->CallAfter([self, text, caption, style] {
        if (std::shared_ptr<WxMessageService> service = self.lock())
            service->Show(text, caption, style);
    });
}

void WxMessageService::showInformation(const std::string& text, const std::string& caption) {
    if (!wxThread::IsMain())
        return Later(text, caption, wxOK | wxICON_INFORMATION);
    Show(text, caption, wxOK | wxICON_INFORMATION);
}

void WxMessageService::showError(const std::string& text, const std::string& caption) {
    if (!wxThread::IsMain())
        return Later(text, caption, wxOK | wxICON_ERROR);
    Show(text, caption, wxOK | wxICON_ERROR);
}

void WxMessageService::showPlain(const std::string& text, const std::string& caption) {
    if (!wxThread::IsMain())
        return Later(text, caption, wxOK | wxICON_NONE);
    Show(text, caption, wxOK | wxICON_NONE);
}

bool WxMessageService::askYesNo(const std::string& text, const std::string& caption) {
    if (!wxThread::IsMain()) {
        busaccess::WriteTraceLine(caption + ": " + text + " (answered No: not the GUI thread)");
        return false;
    }
    return Show(text, caption, wxYES_NO | wxICON_QUESTION) == wxID_YES;
}

} // namespace loggerui
