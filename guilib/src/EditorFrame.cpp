// The editor's owner window over the toolkit.
#include "guilib/EditorFrame.h"

#include "foundation/RM.h"
#include "ui/KCWindow.h"
#include "ui/KMWindowManager.h"

#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/toplevel.h>
#include <wx/window.h>

KCEditorFrame::KCEditorFrame(const KCWindow* pluginWindow) {
    if (!pluginWindow || !pluginWindow->windowHandle)
        return;
    // The toolkit may put a client panel between the frame and its child.
    wxWindow* top = wxGetTopLevelParent(pluginWindow->windowHandle);
    owner_ = top ? top : pluginWindow->windowHandle;
}

bool KCEditorFrame::SetTitle(const std::string& title) {
    if (!owner_)
        return false;
    const wxString text = wxString::FromUTF8(title);
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(owner_))
        top->SetTitle(text);
    else
        owner_->SetLabel(text);
    return true;
}

std::string KCEditorFrame::GetTitle() const {
    if (!owner_)
        return std::string();
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(owner_))
        return top->GetTitle().utf8_string();
    return owner_->GetLabel().utf8_string();
}

bool KCEditorFrame::SetIconFromResource(KTResContainerType* container, short number) {
    auto* top = dynamic_cast<wxTopLevelWindow*>(owner_);
    if (!top || !container)
        return false;
    KTResourceType* resource = nullptr;
    if (RMGetAResource(container, KCFourCC(KV_FOURCC("PNG_")), number, resource, nullptr) != eNoErr)
        return false;
    void* data = nullptr;
    unsigned long size = 0;
    bool done = false;
    if (RMGetResData(resource, data) == eNoErr && RMGetResSize(resource, size) == eNoErr && data) {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxImage::AddHandler(new wxPNGHandler);
        wxMemoryInputStream stream(data, size);
        wxImage image;
        if (image.LoadFile(stream, wxBITMAP_TYPE_PNG) && image.IsOk()) {
            wxIcon icon;
            icon.CopyFromBitmap(wxBitmap(image));
            wxIconBundle icons;
            icons.AddIcon(icon);
            top->SetIcons(icons);
            done = true;
        }
    }
    RMReleaseResource(resource);
    return done;
}

bool KCEditorFrame::HasIcon() const {
    auto* top = dynamic_cast<wxTopLevelWindow*>(owner_);
    return top && !top->GetIcons().IsEmpty();
}

bool KCEditorFrame::GetSize(int32_t& width, int32_t& height, int32_t& clientHeight) const {
    if (!owner_)
        return false;
    const wxSize outer = owner_->GetSize();
    const wxSize client = owner_->GetClientSize();
    width = outer.x;
    height = outer.y;
    clientHeight = client.y;
    return true;
}

bool KCEditorFrame::SetSize(int32_t width, int32_t height) {
    if (!owner_ || width <= 0 || height <= 0)
        return false;
    return KMSetTopLevelSize(owner_, width, height);
}
