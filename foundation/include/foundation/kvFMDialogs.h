// Modal file dialogs: save, open one file, choose a folder.
//
// The dialogs go through a replaceable service so that they work with a
// display (the wx service of the GUI layer), without one, and scripted in
// tests. Without an installed service no dialog can be shown and the calls
// fail with eGenericErr.
#pragma once

#include "foundation/KCFileType.h"
#include "foundation/KCStPath.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kvFM {

enum : long { eDialogSelectFile = 1, eDialogSelectFolder = 2 };

// One entry of a dialog's filter: "Wav audio files (*.wav)" and "*.wav".
struct KSDialogFilterEntry {
    std::string description;
    std::string pattern;
};

class KCDialogCreationOptions {
public:
    KCDialogCreationOptions() = default;
    KCDialogCreationOptions(const KCDialogCreationOptions& other) = default;
    KCDialogCreationOptions& operator=(const KCDialogCreationOptions& other) = default;

    std::vector<KCFileType> fileTypes;
    long flags = 0; // 1 select a file, 2 select a folder
    std::string text1;
    std::string message; // filled by callers, not shown
    std::string title;
    KCStPath folder; // where the dialog opens (used when valid)
    void* owner = nullptr;
    // When given: the filter as shown, in place of one built from fileTypes.
    std::vector<KSDialogFilterEntry> filter;
    // When given: the file name the dialog proposes, and the extension
    // (".bin") a chosen name without one gets, in place of the first file
    // type's.
    std::string defaultName;
    std::string defaultExtension;
};

class KCDialogReply {
public:
    KCStPath path;
    bool chosen = false;
};

// With two or more types an "All files (...)" entry comes first, then one
// entry per type in list order.
std::vector<KSDialogFilterEntry> BuildDialogFilter(const std::vector<KCFileType>& types);

// The filter in wx wildcard form: "description|pattern|description|pattern".
std::string DialogFilterToWildcard(const std::vector<KSDialogFilterEntry>& filter);

class KCDialogService {
public:
    virtual ~KCDialogService() = default;
    // Both return 0 when the user chose something or cancelled (the reply
    // tells which), or the failure's status.
    virtual KTErr SaveAs(const KCDialogCreationOptions& options, KCDialogReply& reply) = 0;
    virtual KTErr SelectFileSystemObject(const KCDialogCreationOptions& options,
                                         KCDialogReply& reply) = 0;
};

// The installed service (not owned); null uninstalls. Returns the previous.
KCDialogService* SetDialogService(KCDialogService* service);
KCDialogService* GetDialogService();

KTErr SaveAsDialog(const KCDialogCreationOptions& options, KCDialogReply& reply);

// A file dialog's options: its title, proposed name, default extension
// (".bin", or none) and filter given as "Text (*.x)|*.x|Text (*.*)|*.*||".
KCDialogCreationOptions FileDialogOptions(const char* title, const std::string& name,
                                          const char* extension, const char* filter);
// The path chosen in a save (or open) dialog; nothing when cancelled or when
// no dialog can be shown.
std::optional<std::string> AskFilePath(bool save, const KCDialogCreationOptions& options);
KTErr SelectFileSystemObjectDialog(const KCDialogCreationOptions& options, KCDialogReply& reply);

// A service that answers from a script: each dialog takes the next answer
// (a path text, or an empty text for "cancel") and records the options it
// was shown with. An empty script fails the dialog with eGenericErr.
class KCScriptedDialogService : public KCDialogService {
public:
    struct Answer {
        std::string path; // empty: the user cancels
        KTErr status = eNoErr;
    };
    struct Shown {
        bool save;
        KCDialogCreationOptions options;
        std::vector<KSDialogFilterEntry> filter;
    };

    void Push(const std::string& path) { answers.push_back({path, eNoErr}); }
    void PushCancel() { answers.push_back({std::string(), eNoErr}); }
    void PushFailure(KTErr status) { answers.push_back({std::string(), status}); }

    KTErr SaveAs(const KCDialogCreationOptions& options, KCDialogReply& reply) override;
    KTErr SelectFileSystemObject(const KCDialogCreationOptions& options,
                                 KCDialogReply& reply) override;

    std::deque<Answer> answers;
    std::vector<Shown> shown;

private:
    KTErr Answer_(bool save, const KCDialogCreationOptions& options, KCDialogReply& reply);
};

} // namespace kvFM
