#include "foundation/kvFMWx.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

namespace kvFM {

namespace {

bool CanShowDialogs() {
    return wxAppConsole::GetInstance() != nullptr && wxAppConsole::GetInstance()->IsGUI();
}

wxString Wildcard(const KCDialogCreationOptions& options) {
    const std::string wildcard = DialogFilterToWildcard(
        options.filter.empty() ? BuildDialogFilter(options.fileTypes) : options.filter);
    return wildcard.empty() ? wxString(wxFileSelectorDefaultWildcardStr)
                            : wxString::FromUTF8(wildcard);
}

wxString StartFolder(const KCDialogCreationOptions& options) {
    return options.folder.IsValid() ? wxString::FromUTF8(options.folder.GetPathString())
                                    : wxString();
}

// The default extension, or the first file type's, is added to a name
// given without one.
std::string WithDefaultExtension(std::string path, const KCDialogCreationOptions& options) {
    const std::vector<KCFileType>& types = options.fileTypes;
    const std::string& ext = !options.defaultExtension.empty() || types.empty()
                                 ? options.defaultExtension
                                 : types.front().extension;
    if (ext.empty())
        return path;
    const size_t slash = path.rfind('/');
    const std::string leaf = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (leaf.find('.') != std::string::npos)
        return path;
    return path + (ext[0] == '.' ? ext : "." + ext);
}

// The toolkit asks before replacing the name as the user typed it; a name
// that only gained its extension here is asked about now. True: go ahead.
bool MayReplace(const std::string& typed, const std::string& path,
                const KCDialogCreationOptions& options) {
    if (path == typed || !KCStPath(path).IsExist())
        return true;
    const size_t slash = path.rfind('/');
    const wxString leaf =
        wxString::FromUTF8(path.substr(slash == std::string::npos ? 0 : slash + 1));
    return wxMessageBox(leaf + " already exists.\nDo you want to replace it?",
                        wxString::FromUTF8(options.title), wxYES_NO | wxNO_DEFAULT | wxICON_WARNING,
                        static_cast<wxWindow*>(options.owner)) == wxYES;
}

KTErr Choose(const std::string& path, KCDialogReply& reply) {
    if (path.empty())
        return eNoErr;
    reply.path = KCStPath(path);
    reply.chosen = reply.path.IsValid();
    return reply.chosen ? eNoErr : reply.path.GetError();
}

} // namespace

KTErr KCWxDialogService::SaveAs(const KCDialogCreationOptions& options, KCDialogReply& reply) {
    reply.chosen = false;
    if (!CanShowDialogs())
        return eGenericErr;
    wxFileDialog dialog(static_cast<wxWindow*>(options.owner), wxString::FromUTF8(options.title),
                        StartFolder(options), wxString::FromUTF8(options.defaultName),
                        Wildcard(options), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    dialog.SetFilterIndex(0);
    for (;;) {
        if (dialog.ShowModal() != wxID_OK)
            return eNoErr;
        const std::string typed = dialog.GetPath().utf8_string();
        if (typed.empty())
            return eNoErr;
        const std::string path = WithDefaultExtension(typed, options);
        if (MayReplace(typed, path, options))
            return Choose(path, reply);
        dialog.SetPath(wxString::FromUTF8(typed)); // not replaced: choose again
    }
}

KTErr KCWxDialogService::SelectFileSystemObject(const KCDialogCreationOptions& options,
                                                KCDialogReply& reply) {
    reply.chosen = false;
    if (!CanShowDialogs())
        return eGenericErr;
    auto* owner = static_cast<wxWindow*>(options.owner);
    const wxString title = wxString::FromUTF8(options.title);
    if (options.flags & eDialogSelectFile) {
        wxFileDialog dialog(owner, title, StartFolder(options),
                            wxString::FromUTF8(options.defaultName), Wildcard(options),
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        dialog.SetFilterIndex(0);
        if (dialog.ShowModal() != wxID_OK)
            return eNoErr;
        return Choose(dialog.GetPath().utf8_string(), reply);
    }
    if (options.flags & eDialogSelectFolder) {
        wxDirDialog dialog(owner, title, StartFolder(options),
                           wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        if (dialog.ShowModal() != wxID_OK)
            return eNoErr;
        return Choose(dialog.GetPath().utf8_string(), reply);
    }
    // Neither flag: a plain open dialog that never chooses anything.
    wxFileDialog dialog(owner, title, StartFolder(options));
    dialog.ShowModal();
    return eNoErr;
}

void InstallWxDialogService() {
    static KCWxDialogService service;
    SetDialogService(&service);
}

} // namespace kvFM
