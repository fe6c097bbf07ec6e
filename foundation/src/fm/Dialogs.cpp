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

KCDialogCreationOptions FileDialogOptions(const char* title, const std::string& name,
                                          const char* extension, const char* filter) {
    KCDialogCreationOptions options;
    options.title = title;
    options.text1 = name;
    options.defaultName = name;
    options.defaultExtension = extension;
    options.flags = eDialogSelectFile;
    // Pairs of description and pattern up to the empty entry that ends it.
    std::string_view rest(filter);
    while (!rest.empty()) {
        const size_t bar = rest.find('|');
        const std::string_view description = rest.substr(0, bar);
        if (description.empty() || bar == std::string_view::npos)
            break;
        rest.remove_prefix(bar + 1);
        const size_t next = rest.find('|');
        options.filter.push_back({std::string(description), std::string(rest.substr(0, next))});
        rest.remove_prefix(next == std::string_view::npos ? rest.size() : next + 1);
    }
    return options;
}

std::optional<std::string> AskFilePath(bool save, const KCDialogCreationOptions& options) {
    KCDialogReply reply;
    const KTErr status =
        save ? SaveAsDialog(options, reply) : SelectFileSystemObjectDialog(options, reply);
    if (status != eNoErr || !reply.chosen)
        return std::nullopt;
    return reply.path.GetPosixPathString();
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
