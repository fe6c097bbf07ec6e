#include "guilib/MessageService.h"

#include "foundation/KUTrace.h"

#include <wx/app.h>
#include <wx/textdlg.h>

#include <mutex>

namespace {

std::mutex gMutex;
KMMessageService::Handler gHandler;
KMMessageService::TextHandler gTextHandler;

} // namespace

int KMMessageService::Show(const std::string& text, const std::string& caption, Kind kind) {
    Handler handler;
    {
        std::lock_guard lock(gMutex);
        handler = gHandler;
    }
    if (handler)
        return handler(text, caption, kind);
    KUUserLine(caption + ": " + text);
    return kind == kYesNo ? kNo : kOK;
}

KMMessageService::Handler KMMessageService::SetHandler(Handler handler) {
    std::lock_guard lock(gMutex);
    Handler old = std::move(gHandler);
    gHandler = std::move(handler);
    return old;
}

bool KMMessageService::AskText(const std::string& prompt, const std::string& caption,
                               std::string& text) {
    TextHandler handler;
    {
        std::lock_guard lock(gMutex);
        handler = gTextHandler;
    }
    if (handler)
        return handler(prompt, caption, text);
    if (!wxTheApp || !wxTheApp->GetTopWindow())
        return false;
    wxTextEntryDialog box(wxTheApp->GetTopWindow(), wxString::FromUTF8(prompt),
                          wxString::FromUTF8(caption), wxString::FromUTF8(text));
    if (box.ShowModal() != wxID_OK)
        return false;
    text = box.GetValue().utf8_string();
    return true;
}

KMMessageService::TextHandler KMMessageService::SetTextHandler(TextHandler handler) {
    std::lock_guard lock(gMutex);
    TextHandler old = std::move(gTextHandler);
    gTextHandler = std::move(handler);
    return old;
}
