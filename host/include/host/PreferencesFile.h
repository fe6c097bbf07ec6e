// Finding the plug-in folder: from a small XML preferences file of the
// user, from the folder the installer records in the registry, or from the
// user; a found folder is written back into the file. Also: an XML
// preferences resource that a user file of the same name overrides.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "foundation/XMLElement.h"

#include <cstdint>
#include <string>

class KCPreferencesFile {
public:
    explicit KCPreferencesFile(const std::string& fileName);

    void SetAskUser(bool ask);
    void SetFolderSelectionDialogTexts(const std::string& first, const std::string& second);

    // The file in the user's preferences folder (made when missing).
    KTErr GetPathToPrefFile(kvFM::KCStPath& out) const;
    // An empty file when none exists; 0 for an existing one.
    static KTErr CreatePrefFile(const kvFM::KCStPath& path);
    // Every "PluginFolderLocation" child with text sets `out`.
    static KTErr ReadFromXML(const kvXML::CXMLElement& element, kvFM::KCStPath& out);
    // Adds "PluginFolderLocation" when the folder's text is not empty.
    static kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element,
                                          const kvFM::KCStPath& folder);
    // Writes a "ShellPrefs" document holding the folder (atomically).
    KTErr UpdatePrefFile(const kvFM::KCStPath& prefFile, const kvFM::KCStPath& folder);
    virtual KTErr UpdatePrefFileSelf(const kvFM::KCStPath& prefFile, const kvFM::KCStPath& folder);
    virtual ~KCPreferencesFile() = default;
    KCPreferencesFile(const KCPreferencesFile&) = default;
    KCPreferencesFile& operator=(const KCPreferencesFile&) = default;

    // The folder the file names; eFMFileNotFound when it names none that
    // exists, the parser's status for a file that is not XML.
    KTErr GetPathToPluginFolderFromPrefFile(const kvFM::KCStPath& prefFile,
                                            kvFM::KCStPath& out) const;
    // "Location" of HKEY_LOCAL_MACHINE\SOFTWARE\Quorl; eMemNullPointer for
    // a value of three characters or less.
    KTErr GetPathToPluginFolderFromIndicator(kvFM::KCStPath& out) const;
    // Asks the user for a folder: eUserCanceled when asking is off or the
    // user cancels, the dialog's status when it fails.
    KTErr GetPathToPluginFolderFromUser(kvFM::KCStPath& out) const;
    // File, then registry (once per object), then the user when `ask` is
    // set; eFMFileNotFound when nothing gives a folder and `ask` is clear.
    KTErr GetPathToPluginFolder(kvFM::KCStPath& out, bool ask);

    // Loads the container's XML resource of that type and number (a new
    // element named `name` when it has none) and replaces its content by
    // the user's preferences file `name` when that exists and parses. The
    // resource stays loaded in the container.
    static KTErr LoadPrefsResOrFile(KTResContainerType* container, const std::string& name,
                                    KCFourCC type, short number);
    // The domain's preferences folder with `name` appended.
    static KTErr CreatePathToPreferencesFolder(kvFM::KEFoldersDomain domain,
                                               const std::string& name, kvFM::KCStPath& out);

    static constexpr uint64_t kAskUserOption = 1;

private:
    bool RegistryNotTried();

    std::string fileName;
    std::string firstDialogText;
    std::string secondDialogText;
    bool registryTried = false;
    uint64_t options = kAskUserOption;
};
