#include "host/PluginRunner.h"

#include "hosting/PluginInterface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// A loaded plug-in as the session sees it.
class SessionPlugin : public KCSessionPlugin {
public:
    explicit SessionPlugin(KCPlugin& plugin) : plugin(plugin) {}
    kvFM::KCStPath GetFile() const override { return plugin.GetProxy().GetComponent().Path(); }
    KCFourCC GetComponentType() const override { return plugin.GetProxy().GetComponentType(); }
    KCFourCC GetComponentSubType() const override {
        return plugin.GetProxy().GetComponentSubType();
    }
    KTErr GetChunk(void*& buffer, uint32_t& size) override {
        std::vector<char> bytes;
        buffer = nullptr;
        size = 0;
        const KTErr status = plugin.GetProxy().CopyChunk(bytes);
        if (status != eNoErr || bytes.empty())
            return status;
        buffer = std::malloc(bytes.size());
        if (buffer == nullptr)
            return eMemNullPointer;
        std::memcpy(buffer, bytes.data(), bytes.size());
        size = uint32_t(bytes.size());
        return eNoErr;
    }
    void FreeChunk(void* buffer) override { std::free(buffer); }
    KTErr SetChunk(const void* data, uint32_t size) override {
        std::vector<char> copy(static_cast<const char*>(data),
                               static_cast<const char*>(data) + size);
        return plugin.GetProxy().SetChunk(copy.data(), size);
    }
    KTErr InitAlg() override { return plugin.GetProxy().Call<&SPluginEntryPoints::KP_InitAlg>(); }
    KTErr GetActiveSetupType(KCFourCC& setup) override {
        return plugin.GetProxy().Call<&SPluginEntryPoints::KP_GetActiveSetupType>(&setup);
    }
    KTErr SetActiveSetupType(KCFourCC setup) override {
        return plugin.GetProxy().Call<&SPluginEntryPoints::KP_SetActiveSetupType>(setup);
    }

private:
    KCPlugin& plugin;
};

} // namespace

KTErr KCPluginChain::Add(KCPlugin* plugin, KCChainElement* element) {
    entries.push_back({plugin, element});
    current = plugin;
    return eNoErr;
}

int32_t KCPluginChain::IndexOfElement(const KCChainElement* element) const {
    KCSampleChain& chain = owner.GetSampleChain();
    for (size_t i = 0; i < chain.GetElementCount(); ++i)
        if (chain.GetElement(i) == element)
            return int32_t(i);
    return -1;
}

KTErr KCPluginChain::ReplaceElementOf(Entry& entry, KCChainElement* element) {
    KCSampleChain& chain = owner.GetSampleChain();
    const int32_t index = entry.element ? IndexOfElement(entry.element) : -1;
    KTErr status = eNoErr;
    if (index >= 0)
        status = chain.ReplaceElement(element, index);
    else if (element)
        status = chain.AppendElement(element);
    entry.element = element;
    return status;
}

KTErr KCPluginChain::Remove(KCPlugin* plugin) {
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [plugin](const Entry& e) { return e.plugin == plugin; });
    if (it == entries.end())
        return eGenericErr;
    ReplaceElementOf(*it, nullptr);
    entries.erase(it);
    if (current == plugin)
        current = entries.empty() ? nullptr : entries.front().plugin;
    return eNoErr;
}

KCPlugin* KCPluginChain::PluginAt(size_t index) const {
    return index < entries.size() ? entries[index].plugin : nullptr;
}

KTErr KCPluginChain::ToggleBypass() {
    KTErr status = eGenericErr;
    for (Entry& entry : entries)
        status = entry.plugin->ToggleBypass();
    return status;
}

KTErr KCPluginChain::ChangeSampleRate(double rate) {
    for (Entry& entry : entries)
        if (KTErr status = entry.plugin->ChangeSampleRate(rate))
            return status;
    return eNoErr;
}

void KCPluginChain::SetTransport(bool playing) {
    for (Entry& entry : entries)
        entry.plugin->Restart(playing, playing, false, 0, 0);
}

void KCPluginChain::Idle() {
    for (Entry& entry : entries)
        entry.plugin->ReadMeters();
}

KTErr KCPluginChain::RebuildElements(uint32_t frames) {
    KCSampleSource* sideChain =
        owner.IsSideChainOn() ? owner.GetSampleChain().GetSideChainSource() : nullptr;
    for (Entry& entry : entries) {
        if (entry.element == nullptr)
            continue; // loaded without processing
        if (KCChainElement* element = entry.plugin->CreateProcessChainElement(frames, sideChain))
            ReplaceElementOf(entry, element);
    }
    return owner.GetSampleChain().Connect();
}

KTErr KCPluginChain::SetSideChainSource(uint32_t frames, KCSampleSource* source) {
    if (source) {
        owner.GetSampleChain().SetSideChainSource(source);
        owner.SetSideChainFlag(true);
    } else {
        owner.SetSideChainFlag(false);
    }
    for (Entry& entry : entries) {
        if (entry.element == nullptr)
            continue;
        if (KCChainElement* element = entry.plugin->CreateProcessChainElement(frames, source))
            ReplaceElementOf(entry, element);
    }
    return eNoErr;
}

void KCPluginChain::StoreSession() {
    session.recentPlugins.clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        SessionPlugin plugin(*entries[i].plugin);
        session.recentPlugins.push_back(MakeRecentPluginInfo(plugin, int32_t(i)));
    }
}

KTErr KCPluginChain::RestoreSession() {
    KTErr status = eNoErr;
    for (size_t i = 0; i < entries.size(); ++i) {
        SessionPlugin plugin(*entries[i].plugin);
        const auto record = std::find_if(
            session.recentPlugins.begin(), session.recentPlugins.end(),
            [&](const RecentPluginInfo& r) { return RecordMatches(r, plugin, int32_t(i)); });
        if (record == session.recentPlugins.end()) {
            status = ePluginSubComponentNotFound;
            continue;
        }
        status = RestoreRecentPlugin(plugin, *record);
    }
    return status;
}

KTErr KCPluginChain::SendMidi(QuorlMidiEvent* message) {
    if (current != nullptr)
        current->GetProxy().Call<&SPluginEntryPoints::KP_ProcessMidi>(message);
    return eNoErr;
}

KTErr KCPluginChain::FindRecentPlugin(const QuorlComponentInfo& component,
                                      RecentPluginInfo& record) const {
    const auto found = std::find_if(
        session.recentPlugins.begin(), session.recentPlugins.end(), [&](const RecentPluginInfo& r) {
            return r.file == component.Path() && r.componentType == component.componentType &&
                   r.componentSubType == component.componentSubType;
        });
    if (found == session.recentPlugins.end())
        return ePluginSubComponentNotFound;
    record = *found;
    return eNoErr;
}

KTErr KCPluginChain::LoadRecentPlugins(const KCQuorlComponentInfoList& components, bool bypass) {
    KTErr status = eNoErr;
    const std::vector<RecentPluginInfo> records = session.recentPlugins;
    for (size_t i = 0; i < records.size(); ++i) {
        const RecentPluginInfo& record = records[i];
        status = ePluginSubComponentNotFound;
        if (components.Count() == 0) {
            status = eNoErr;
            continue;
        }
        for (const QuorlComponentInfo& component : components.components) {
            if (record.position == int32_t(i) && record.file.IsExist() &&
                component.Path().IsExist() && record.file == component.Path() &&
                record.componentType == component.componentType &&
                record.componentSubType == component.componentSubType) {
                owner.LoadPlugin(component, false, bypass);
                status = eNoErr;
                break;
            }
        }
    }
    return status;
}
