#include "host/PreferencesFile.h"

#include "foundation/ResConverters.h"
#include "foundation/XMLFile.h"
#include "foundation/kvFMDialogs.h"
#include "foundation/kvFMFolders.h"
#include "registry/KVRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

const char kShellPrefs[] = "ShellPrefs";
const char kPluginFolderLocation[] = "PluginFolderLocation";
const char kDefaultDialogText[] = "DEFAULT MESSAGE: Please locate the Quorl Plugins 7.0 Folder";
const char kRegistryKey[] = "SOFTWARE\\Quorl";
const char kRegistryValue[] = "Location";
// The registry value is read into a buffer of this many bytes.
constexpr uint32_t kRegistryValueSize = 260;
// A value this long or shorter names no folder.
constexpr size_t kShortestLocation = 3;

using kvXML::CXMLElement;

KTErr StatusOf(const kvFM::KCStPath& path) {
    KTErr status = eNoErr;
    if (path.IsValid(status))
        return eNoErr;
    return status != eNoErr ? status : eFMIllegalPathRef;
}

// The user's file `leaf` in the maker's preferences folder (made first).
KTErr UserPrefFile(const std::string& leaf, kvFM::KCStPath& out) {
    kvFM::KCStPath folder(kvFM::eUserDomain, kvFM::eQuorlPreferencesFolder);
    KTErr status = StatusOf(folder);
    if (status == eNoErr)
        status = kvFM::CreateFolder(folder);
    if (status != eNoErr)
        return status;
    kvFM::KCStPath file(folder, leaf);
    status = StatusOf(file);
    if (status == eNoErr)
        out = file;
    return status;
}

} // namespace

KCPreferencesFile::KCPreferencesFile(const std::string& fileName)
    : fileName(fileName), firstDialogText(kDefaultDialogText),
      secondDialogText(kDefaultDialogText) {}

void KCPreferencesFile::SetAskUser(bool ask) {
    options = ask ? (options | kAskUserOption) : (options & ~kAskUserOption);
}

void KCPreferencesFile::SetFolderSelectionDialogTexts(const std::string& first,
                                                      const std::string& second) {
    firstDialogText = first;
    secondDialogText = second;
}

KTErr KCPreferencesFile::GetPathToPrefFile(kvFM::KCStPath& out) const {
    return UserPrefFile(fileName, out);
}

KTErr KCPreferencesFile::CreatePrefFile(const kvFM::KCStPath& path) {
    if (path.IsExist())
        return eNoErr;
    kvFM::KCStFileCreate file(path, kvFM::eCreateNew, kvFM::eReadWritePermission);
    KTErr status = eNoErr;
    file.IsValid(status);
    return status;
}

KTErr KCPreferencesFile::ReadFromXML(const CXMLElement& element, kvFM::KCStPath& out) {
    for (const CXMLElement* child : element.children)
        if (child->name == kPluginFolderLocation && !child->text.empty())
            out = kvFM::KCStPath(child->text);
    return eNoErr;
}

CXMLElement* KCPreferencesFile::WriteToXML(CXMLElement* element, const kvFM::KCStPath& folder) {
    const std::string text = folder.IsValid() ? folder.GetNativePathString() : std::string();
    if (!text.empty())
        element->push_back(new CXMLElement(kPluginFolderLocation, text));
    return element;
}

KTErr KCPreferencesFile::UpdatePrefFile(const kvFM::KCStPath& prefFile,
                                        const kvFM::KCStPath& folder) {
    try {
        KCXMLFile file(prefFile);
        file.GetXML().Clear();
        file.GetXML().name = kShellPrefs;
        WriteToXML(&file.GetXML(), folder);
        return file.Write();
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPreferencesFile::UpdatePrefFileSelf(const kvFM::KCStPath&, const kvFM::KCStPath&) {
    return eNoErr;
}

KTErr KCPreferencesFile::GetPathToPluginFolderFromPrefFile(const kvFM::KCStPath& prefFile,
                                                           kvFM::KCStPath& out) const {
    KCXMLFile file(prefFile);
    const KTErr status = file.Read();
    if (status != eNoErr)
        return status;
    kvFM::KCStPath folder;
    ReadFromXML(file.GetXML(), folder);
    if (!folder.IsValid() || !folder.IsFolder())
        return eFMFileNotFound;
    out = folder;
    return eNoErr;
}

KTErr KCPreferencesFile::GetPathToPluginFolderFromIndicator(kvFM::KCStPath& out) const {
    KVHKEY key = nullptr;
    long error = KVRegOpenKey(KV_HKEY_LOCAL_MACHINE, kRegistryKey, &key);
    if (error != KV_REG_SUCCESS)
        return ConvertErrorWIN(static_cast<unsigned long>(error));
    char buffer[kRegistryValueSize] = {};
    uint32_t size = sizeof buffer;
    uint32_t type = 0;
    error = KVRegQueryValue(key, kRegistryValue, &type, buffer, &size);
    KVRegCloseKey(key);
    if (error != KV_REG_SUCCESS)
        return ConvertErrorWIN(static_cast<unsigned long>(error));
    const std::string text(buffer, strnlen(buffer, std::min<size_t>(size, sizeof buffer)));
    if (type != KV_REG_SZ || text.size() <= kShortestLocation)
        return eMemNullPointer;
    kvFM::KCStPath folder(text);
    const KTErr status = StatusOf(folder);
    if (status == eNoErr)
        out = folder;
    return status;
}

KTErr KCPreferencesFile::GetPathToPluginFolderFromUser(kvFM::KCStPath& out) const {
    if ((options & kAskUserOption) == 0)
        return eUserCanceled;
    kvFM::KCDialogCreationOptions dialog;
    dialog.flags = kvFM::eDialogSelectFolder;
    dialog.text1 = firstDialogText;
    dialog.message = secondDialogText;
    dialog.title = firstDialogText;
    kvFM::KCDialogReply reply;
    const KTErr status = kvFM::SelectFileSystemObjectDialog(dialog, reply);
    if (status != eNoErr)
        return status;
    if (!reply.chosen || !reply.path.IsValid())
        return eUserCanceled;
    out = reply.path;
    return eNoErr;
}

bool KCPreferencesFile::RegistryNotTried() {
    const bool notTried = !registryTried;
    registryTried = true;
    return notTried;
}

KTErr KCPreferencesFile::GetPathToPluginFolder(kvFM::KCStPath& out, bool ask) {
    try {
        kvFM::KCStPath prefFile;
        KTErr status = GetPathToPrefFile(prefFile);
        if (status != eNoErr)
            return status;
        if (!prefFile.IsExist()) {
            CreatePrefFile(prefFile);
            kvFM::KCStPath folder;
            if (RegistryNotTried() && GetPathToPluginFolderFromIndicator(folder) == eNoErr)
                UpdatePrefFile(prefFile, folder);
        }
        if (GetPathToPluginFolderFromPrefFile(prefFile, out) == eNoErr)
            return eNoErr;
        if (RegistryNotTried() && GetPathToPluginFolderFromIndicator(out) == eNoErr) {
            UpdatePrefFile(prefFile, out);
            if (GetPathToPluginFolderFromPrefFile(prefFile, out) == eNoErr)
                return eNoErr;
        }
        if (!ask)
            return eFMFileNotFound;
        status = GetPathToPluginFolderFromUser(out);
        if (status == eNoErr)
            UpdatePrefFile(prefFile, out);
        return status;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPreferencesFile::LoadPrefsResOrFile(KTResContainerType* container, const std::string& name,
                                            KCFourCC type, short number) {
    try {
        CXMLElement* root = nullptr;
        KTResourceType* resource = nullptr;
        KTErr status = eRMResNotFound;
        // A resource added by an earlier call is loaded without being in
        // the file yet: it is taken as it is, not added twice.
        bool loaded = false;
        RMIsResourceLoaded(container, type, number, loaded);
        if (loaded || RMDoesNativeResourceExist(container, type, number))
            status = static_cast<KTErr>(GetXMLResource(container, type, number, root, resource));
        if (status != eNoErr) {
            auto* fresh = new CXMLElement(name, "");
            status = static_cast<KTErr>(AddXMLResource(container, type, number, fresh, resource));
            if (status != eNoErr) {
                delete fresh;
                return status;
            }
        }
        kvFM::KCStPath file;
        status = UserPrefFile(name, file);
        if (status != eNoErr)
            return status;
        if (!file.IsExist())
            return eNoErr;
        KCXMLFile user(file);
        if (user.Read() != eNoErr)
            return eNoErr;
        auto* tree = new CXMLElement(user.GetXML());
        status = RMUpdateResource(resource, tree, 1);
        if (status != eNoErr)
            delete tree;
        return status;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPreferencesFile::CreatePathToPreferencesFolder(kvFM::KEFoldersDomain domain,
                                                       const std::string& name,
                                                       kvFM::KCStPath& out) {
    kvFM::KCStPath folder(domain, kvFM::ePreferencesFolder);
    KTErr status = StatusOf(folder);
    if (status != eNoErr)
        return status;
    kvFM::KCStPath path(folder, name);
    status = StatusOf(path);
    if (status == eNoErr)
        out = path;
    return status;
}
