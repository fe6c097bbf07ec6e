#include "hosting/PluginScanner.h"

#include "hosting/PluginInfo.h"
#include "hosting/ProcessCodeManager.h"
#include "hosting/ShellPreferences.h"

#include "foundation/ResConverters.h"
#include "foundation/kvFMDialogs.h"
#include "foundation/kvFMFolders.h"
#include "registry/KVRegistry.h"

#include <memory>

using kvFM::KCStPath;
using kvXML::CXMLElement;

KTErr GetPluginFolderFromRegistry(KCStPath& path) {
    KVHKEY software = nullptr, quorl = nullptr;
    long status = KVRegOpenKey(KV_HKEY_LOCAL_MACHINE, "SOFTWARE", &software);
    if (status == KV_REG_SUCCESS)
        status = KVRegOpenKey(software, "Quorl", &quorl);
    std::string location;
    if (status == KV_REG_SUCCESS)
        status = KVRegQueryString(quorl, "Location", location);
    if (quorl != nullptr)
        KVRegCloseKey(quorl);
    if (software != nullptr)
        KVRegCloseKey(software);
    if (status != KV_REG_SUCCESS)
        return ConvertErrorWIN(static_cast<unsigned long>(status));
    // The stored text with its terminating zero: 3 bytes or fewer hold no
    // usable folder.
    if (location.size() + 1 <= 3)
        return eMemNullPointer;
    path = KCStPath(location);
    return eNoErr;
}

// KCPluginDiskScanner

std::string KCPluginDiskScanner::GetListSourceName() {
    description = folder.GetNativePathString();
    return description;
}

void KCPluginDiskScanner::SetFolder(const KCStPath& path) {
    if (path.GetPathRef() == nullptr)
        folder.Clear();
    else
        folder = path;
}

void KCPluginDiskScanner::SetComponentFoundHook(KTComponentFoundHook hook, void* userData) {
    foundHook = hook;
    foundHookData = userData;
}

KTErr KCPluginDiskScanner::ScanFile(const KCStPath& file, KCQuorlComponentInfoList& list) {
    KCStResContainer opened(file, 0);
    if (!opened.IsValid())
        return eRMInvalidResContainer;
    KTResContainerType* container = opened.GetResContainerRef();
    if (!RMDoesNativeResourceExist(container, kPluginInfoType, kPluginInfoID))
        return eNotAPluginFile;
    std::vector<QuorlComponentInfo> components;
    if (KTErr err = ReadSubComponentList(container, components))
        return err;

    // The file's component definitions are read once, at the first
    // component the host accepts; every component's descriptions come from
    // them. Definitions that cannot be read give no component a description.
    std::unique_ptr<CComponentDefinitions> definitions;
    size_t accepted = 0;
    for (QuorlComponentInfo& component : components) {
        if (!loadSpec.IsComponentLoadable(component) || !AcceptComponent(component))
            continue;
        if (definitions == nullptr) {
            definitions = std::make_unique<CComponentDefinitions>();
            definitions->Load(container);
        }
        CProcessCodeManager manager;
        manager.ReadProcCodeDescForComponent(component, *definitions);
        if (manager.ProcCodeDescs().empty())
            continue;
        component.SetProcCodeDesc(&manager.ProcCodeDescs().front());
        list.PushBack(component);
        if (foundHook != nullptr)
            foundHook(foundHookData, component, container);
        ++accepted;
    }
    if (accepted > 0)
        pluginFiles.push_back(file);
    return eNoErr;
}

KTErr KCPluginDiskScanner::CreateList(KCQuorlComponentInfoList& list) {
    if (!folder.IsExist())
        return eFMFileNotFound;
    if (!folder.IsFolder())
        return eFMIsNotAFolder;
    std::vector<KCStPath> items;
    if (KTErr err = kvFM::KCStFolderIterator::GetFilePathVectorFromFolder(
            folder, kvFM::EveryThing(), items))
        return err;
    for (size_t i = 0; i < items.size(); ++i) {
        if (progress)
            progress(folder, i + 1, items.size());
        ScanFile(items[i], list); // a file's failure only leaves it out
    }
    list.SortByName();
    return eNoErr;
}

namespace {

// The scanner texts of a container, with a name map over them.
KTErr WithScannerInfo(KTResContainerType* container,
                      const std::function<void(const kvXML::CMapNames&, const CXMLElement&)>& use) {
    CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (KTErr err = static_cast<KTErr>(
            GetXMLResource(container, kShellInfoType, kScannerInfoID, root, resource)))
        return err;
    KTErr result = eNoErr;
    if (root != nullptr) {
        const kvXML::CMapNames names(root, 2);
        use(names, *root);
    }
    if (KTErr err = RMReleaseResource(resource); result == eNoErr)
        result = err;
    return result;
}

void TakeText(const kvXML::CMapNames& names, const char* name, std::string& out) {
    std::string text;
    if (names.GetElementText(name, text) == eNoErr)
        out = text;
}

} // namespace

KTErr KCPluginDiskScanner::ReadScannerInfo(KTResContainerType* container) {
    return WithScannerInfo(container,
                           [this](const kvXML::CMapNames& names, const CXMLElement& root) {
                               ReadScannerInfoFromXML(names, root);
                           });
}

KTErr KCPluginDiskScanner::ReadPrefsFileName(std::string& name, KTResContainerType* container) {
    return WithScannerInfo(container, [&name](const kvXML::CMapNames& names, const CXMLElement&) {
        TakeText(names, "PrefsFileName", name);
    });
}

// KCPluginDiskScannerWithPrefs

void KCPluginDiskScannerWithPrefs::ReadScannerInfoFromXML(const kvXML::CMapNames& names,
                                                          const CXMLElement& element) {
    TakeText(names, "PrefsFileName", prefsFileName);
}

KTErr KCPluginDiskScannerWithPrefs::CreateList(KCQuorlComponentInfoList& list) {
    const size_t before = list.Count();
    const auto grew = [&] { return list.Count() > before; };
    KCShellPreferences prefs(prefsFileName);
    // Read first, so that writing the folder back keeps what else the file
    // holds.
    const KTErr readStatus = prefs.Read();

    KTErr result = eNoErr;
    if (GetFolder().IsFolder())
        result = KCPluginDiskScanner::CreateList(list);
    if (!grew()) {
        std::string location;
        result = readStatus;
        if (readStatus == eNoErr && prefs.GetPluginFolderLocation(location)) {
            const KCStPath stored(location);
            result = stored.GetError();
            if (stored.IsValid()) {
                SetFolder(stored);
                result = KCPluginDiskScanner::CreateList(list);
            }
        }
    }
    if (!grew()) {
        KCStPath registered;
        result = GetPluginFolderFromRegistry(registered);
        if (result == eNoErr) {
            result = registered.GetError();
            if (registered.IsValid()) {
                SetFolder(registered);
                result = KCPluginDiskScanner::CreateList(list);
            }
        }
    }
    if (grew()) {
        prefs.SetPluginFolderLocation(GetFolder().GetNativePathString());
        prefs.Write();
    }
    return result;
}

// KCPluginScannerGUI

KTErr KCPluginScannerGUI::SelectFolder(KCStPath& path) const {
    kvFM::KCDialogCreationOptions options;
    options.flags = kvFM::eDialogSelectFolder;
    options.title = FolderSelectionDialogTitle;
    options.message = FolderSelectionDialogMessage;
    options.text1 = FolderSelectionDialogMessage;
    kvFM::KCDialogReply reply;
    if (KTErr err = kvFM::SelectFileSystemObjectDialog(options, reply))
        return err;
    if (!reply.chosen || reply.path.GetPathRef() == nullptr)
        return eUserCanceled;
    path = reply.path;
    return eNoErr;
}

// KCPluginDiskScannerWithGUI

KCPluginDiskScannerWithGUI::KCPluginDiskScannerWithGUI(KTResContainerType* container)
    : container(container) {
    constructionStatus = loadSpec.ReadFromResource(container);
    if (KTErr err = ReadScannerInfo(container); constructionStatus == eNoErr)
        constructionStatus = err;
}

void KCPluginDiskScannerWithGUI::ReadScannerInfoFromXML(const kvXML::CMapNames& names,
                                                        const CXMLElement& element) {
    KCPluginDiskScannerWithPrefs::ReadScannerInfoFromXML(names, element);
    TakeText(names, "FolderSelectionDialogTitle", gui.FolderSelectionDialogTitle);
    TakeText(names, "FolderSelectionDialogMessage", gui.FolderSelectionDialogMessage);
    TakeText(names, "PreferencesDialogTitle", gui.PreferencesDialogTitle);
}

KTErr KCPluginDiskScannerWithGUI::CreateList(KCQuorlComponentInfoList& list) {
    const size_t before = list.Count();
    KTErr result = eNoErr;
    while (list.Count() == before) {
        KCPluginDiskScannerWithPrefs::CreateList(list);
        if (list.Count() > before)
            return eNoErr;
        KCStPath chosen;
        result = gui.SelectFolder(chosen);
        // A cancel ends the search, and so does a dialog that fails: asking
        // again would fail the same way (headless, there is no dialog).
        if (result != eNoErr)
            return result;
        result = chosen.GetError();
        if (chosen.IsValid())
            SetFolder(chosen);
    }
    return result;
}
