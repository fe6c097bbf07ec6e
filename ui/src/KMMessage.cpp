// Standard message boxes, shown through a replaceable service.
#include <cstdio>

#include <wx/msgdlg.h>

#include "ui/KMWindowManager.h"

namespace {

// Shows a wx message dialog; with no display nothing can be shown, and the
// box is written to the trace output instead.
class StandardMessageService : public KMMessageService {
public:
    KTErr Show(KCWindow* owner, int32_t kind, const std::string& caption, const std::string& text,
               eKMMessageResult& answer) override {
        if (!KMHasDisplay()) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return eGenericSystemError;
        }
        long style = wxOK;
        if (kind == 1)
            style = wxOK | wxCANCEL;
        else if (kind == 2)
            style = wxYES_NO;
        else if (kind == 3)
            style = wxYES_NO | wxCANCEL;
        wxWindow* parent = owner ? owner->windowHandle : nullptr;
        wxMessageDialog dialog(parent, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                               style);
        switch (dialog.ShowModal()) {
        case wxID_YES:
            answer = eKMYes;
            break;
        case wxID_NO:
            answer = eKMNo;
            break;
        case wxID_CANCEL:
            answer = eKMCancel;
            break;
        default:
            answer = eKMOther;
            break;
        }
        return eNoErr;
    }
};

StandardMessageService& Standard() {
    static StandardMessageService service;
    return service;
}

KMMessageService*& Current() {
    static KMMessageService* service = nullptr;
    return service;
}

} // namespace

KMMessageService* KMSetMessageService(KMMessageService* service) {
    KMMessageService* previous = Current();
    Current() = service;
    return previous;
}

KTErr KMStandardMessage(KMMessageInfo* info, eKMMessageResult& answer) {
    if (info == nullptr)
        return eMemNullPointer;
    KMMessageService* service = Current() ? Current() : &Standard();
    eKMMessageResult result = answer;
    const KTErr err =
        service->Show(info->owner, info->kind, "Alert", info->title + "\n" + info->message, result);
    if (err == eNoErr)
        answer = result;
    return err;
}
