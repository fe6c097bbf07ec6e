// Finding plug-ins: list creators that scan a folder's files as resource
// containers (never running their code), keep the components the load
// specification accepts with their process-code descriptions, and fall back
// to the folder in the shell preferences, the registry, or one the user
// chooses.
#pragma once

#include "hosting/ComponentInfo.h"
#include "hosting/PluginLoadSpec.h"

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "foundation/XMLElement.h"
#include "foundation/XMLNameMaps.h"

#include <functional>
#include <string>
#include <vector>

// The plug-in folder named by the registry: HKEY_LOCAL_MACHINE
// "SOFTWARE\Quorl", value "Location". A missing key or value gives
// eFMFileNotFound; a text of 3 bytes or fewer eMemNullPointer (the path is
// left as it was).
KTErr GetPluginFolderFromRegistry(kvFM::KCStPath& path);

class KCPluginListCreator {
public:
    KCPluginListCreator() = default;
    virtual ~KCPluginListCreator() = default;
    KCPluginListCreator(const KCPluginListCreator&) = delete;
    KCPluginListCreator& operator=(const KCPluginListCreator&) = delete;

    virtual std::string GetListSourceName() { return description; }
    virtual KTErr CreateList(KCQuorlComponentInfoList& list) = 0;
    // A further filter after the load specification.
    virtual bool AcceptComponent(const QuorlComponentInfo& component) { return true; }

    void SetLoadSpec(const KCPluginLoadSpec& spec) { loadSpec = spec; }
    const KCPluginLoadSpec& GetLoadSpec() const { return loadSpec; }

protected:
    KCPluginLoadSpec loadSpec;
    std::string description;
};

// Called for every component a scan lists, with the file's container.
using KTComponentFoundHook = void (*)(void* userData, const QuorlComponentInfo& component,
                                      KTResContainerType* container);

// Reports the progress of a folder scan: the folder, the item about to be
// scanned (from 1) and the number of items.
using KTScanProgressObserver =
    std::function<void(const kvFM::KCStPath& folder, size_t item, size_t count)>;

class KCPluginDiskScanner : public KCPluginListCreator {
public:
    KCPluginDiskScanner() = default;

    // The folder's native path text.
    std::string GetListSourceName() override;
    // Scans every item of the folder, then sorts the whole list by name.
    // eFMFileNotFound for a missing folder, eFMIsNotAFolder for a file.
    KTErr CreateList(KCQuorlComponentInfoList& list) override;

    void SetFolder(const kvFM::KCStPath& path);
    const kvFM::KCStPath& GetFolder() const { return folder; }
    void SetComponentFoundHook(KTComponentFoundHook hook, void* userData);
    void SetProgressObserver(KTScanProgressObserver observer) { progress = std::move(observer); }

    // Adds the file's accepted components: eRMInvalidResContainer for a file
    // that is no resource container, eNotAPluginFile without the plug-in
    // information, the reader's status for unreadable component definitions.
    KTErr ScanFile(const kvFM::KCStPath& file, KCQuorlComponentInfoList& list);
    // Files that contributed components.
    size_t NumberOfPluginFiles() const { return pluginFiles.size(); }
    const std::vector<kvFM::KCStPath>& GetPluginFiles() const { return pluginFiles; }

    // Reads the scanner texts ('XPll' 1002) of the container.
    KTErr ReadScannerInfo(KTResContainerType* container);
    // Only "PrefsFileName" of the container's scanner texts.
    static KTErr ReadPrefsFileName(std::string& name, KTResContainerType* container);

protected:
    virtual void ReadScannerInfoFromXML(const kvXML::CMapNames& names,
                                        const kvXML::CXMLElement& element) {}

private:
    KTComponentFoundHook foundHook = nullptr;
    void* foundHookData = nullptr;
    KTScanProgressObserver progress;
    std::vector<kvFM::KCStPath> pluginFiles;
    kvFM::KCStPath folder;
};

class KCPluginDiskScannerWithPrefs : public KCPluginDiskScanner {
public:
    KCPluginDiskScannerWithPrefs() = default;

    // The configured folder, else the one in the shell preferences, else the
    // registry's; the folder that gave components is stored in the
    // preferences.
    KTErr CreateList(KCQuorlComponentInfoList& list) override;

    void SetPrefsFileName(const std::string& name) { prefsFileName = name; }
    const std::string& GetPrefsFileName() const { return prefsFileName; }

protected:
    void ReadScannerInfoFromXML(const kvXML::CMapNames& names,
                                const kvXML::CXMLElement& element) override;

private:
    std::string prefsFileName;
};

class KCPluginScannerGUI {
public:
    virtual ~KCPluginScannerGUI() = default;

    // Shows the folder dialog: 0 with the chosen folder, eUserCanceled when
    // the user chose none, or the dialog's own status.
    KTErr SelectFolder(kvFM::KCStPath& path) const;

    std::string FolderSelectionDialogTitle;
    std::string FolderSelectionDialogMessage;
    std::string PreferencesDialogTitle;
};

class KCPluginDiskScannerWithGUI : public KCPluginDiskScannerWithPrefs {
public:
    // Reads the load specification and the scanner texts of the container.
    explicit KCPluginDiskScannerWithGUI(KTResContainerType* container);

    // Asks the user for a folder until components are found: eUserCanceled
    // when the user cancels, the dialog's status when it fails.
    KTErr CreateList(KCQuorlComponentInfoList& list) override;

    const KCPluginScannerGUI& GetGUI() const { return gui; }
    // The status of reading the container's resources at construction.
    KTErr GetConstructionStatus() const { return constructionStatus; }

protected:
    void ReadScannerInfoFromXML(const kvXML::CMapNames& names,
                                const kvXML::CXMLElement& element) override;

private:
    KCPluginScannerGUI gui;
    KTResContainerType* container;
    KTErr constructionStatus = eNoErr;
};
