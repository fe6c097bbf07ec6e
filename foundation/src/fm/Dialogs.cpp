#include "foundation/kvFMDialogs.h"

#include <atomic>

namespace kvFM {

namespace {

std::atomic<KCDialogService*> gDialogService{nullptr};

// '|' separates the fields of a wx wildcard: it cannot stand in a text.
std::string WildcardSafe(std::string text) {
    for (char& c : text)
        if (c == '|')
            c = '/';
    return text;
}

} // namespace

std::vector<KSDialogFilterEntry> BuildDialogFilter(const std::vector<KCFileType>& types) {
    std::vector<KSDialogFilterEntry> filter;
    if (types.size() >= 2) {
        KSDialogFilterEntry all{"All files (", std::string()};
        for (size_t i = 0; i < types.size(); ++i) {
            all.description += (i ? ", *" : "*") + types[i].extension;
            all.pattern += (i ? ";*" : "*") + types[i].extension;
        }
        all.description += ")";
        filter.push_back(std::move(all));
    }
    for (const auto& type : types)
        filter.push_back({type.description + " (*" + type.extension + ")", "*" + type.extension});
    return filter;
}

std::string DialogFilterToWildcard(const std::vector<KSDialogFilterEntry>& filter) {
    std::string wildcard;
    for (const auto& entry : filter) {
        if (!wildcard.empty())
            wildcard += '|';
        wildcard += WildcardSafe(entry.description) + "|" + WildcardSafe(entry.pattern);
    }
    return wildcard;
}

KCDialogService* SetDialogService(KCDialogService* service) {
    return gDialogService.exchange(service);
}

KCDialogService* GetDialogService() {
    return gDialogService.load();
}

KTErr SaveAsDialog(const KCDialogCreationOptions& options, KCDialogReply& reply) {
    reply.chosen = false;
    KCDialogService* service = GetDialogService();
    if (service == nullptr)
        return eGenericErr;
    try {
        return service->SaveAs(options, reply);
    } catch (...) {
        reply.chosen = false;
        return eGenericErr;
    }
}

KTErr SelectFileSystemObjectDialog(const KCDialogCreationOptions& options, KCDialogReply& reply) {
    reply.chosen = false;
    KCDialogService* service = GetDialogService();
    if (service == nullptr)
        return eGenericErr;
    try {
        return service->SelectFileSystemObject(options, reply);
    } catch (...) {
        reply.chosen = false;
        return eGenericErr;
    }
}

KTErr KCScriptedDialogService::SaveAs(const KCDialogCreationOptions& options,
                                      KCDialogReply& reply) {
    return Answer_(true, options, reply);
}

KTErr KCScriptedDialogService::SelectFileSystemObject(const KCDialogCreationOptions& options,
                                                      KCDialogReply& reply) {
    return Answer_(false, options, reply);
}

KTErr KCScriptedDialogService::Answer_(bool save, const KCDialogCreationOptions& options,
                                       KCDialogReply& reply) {
    reply.chosen = false;
    shown.push_back(
        {save, options,
         options.filter.empty() ? BuildDialogFilter(options.fileTypes) : options.filter});
    if (answers.empty())
        return eGenericErr;
    const Answer answer = answers.front();
    answers.pop_front();
    if (answer.status != eNoErr)
        return answer.status;
    // A plain open dialog (neither flag) never chooses anything.
    if (answer.path.empty() || (!save && (options.flags & 3) == 0))
        return eNoErr;
    reply.path = KCStPath(answer.path);
    reply.chosen = true;
    return eNoErr;
}

} // namespace kvFM
