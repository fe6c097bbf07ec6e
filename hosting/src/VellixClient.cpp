#include "hosting/VellixClient.h"

#include "foundation/KUDLL.h"
#include "registry/KVRegistry.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace {

// The client's functions, by name in binding order.
constexpr const char* kEntryNames[] = {
#define VX_CLIENT_ENTRY(name) #name,
#include "hosting/VellixClientNames.def"
#undef VX_CLIENT_ENTRY
};
constexpr size_t kEntryCount = std::size(kEntryNames);
static_assert(kEntryCount == 75);

enum : size_t { kIsVellixActive = 0, kInitialize = 1, kCleanup = 2 };

using BoolEntry = bool (*)();

// The process-wide glue: the module, its reference count and the slots.
struct ClientState {
    std::mutex lock;
    KTNativeDLLRefType* module = nullptr;
    int references = 0;
    std::array<void*, kEntryCount> slots{};

    void Release() {
        slots.fill(nullptr);
        KUReleaseDLL(module);
        references = 0;
    }
};

ClientState& State() {
    static ClientState state;
    return state;
}

template <typename F>
F Entry(const ClientState& s, size_t index) {
    return reinterpret_cast<F>(s.slots[index]);
}

constexpr const char* kFlagNames[] = {
    "AudioTransport_AgentInBlockingMode",
    "AudioTransport_DisableTransmissionBackoff",
    "Debug_ObeyVXLocationChunks",
    "Debug_MaskAudioErrorsDuringSelfTest",
    "Debug_DisableProcessMemoryAccess",
    "Debug_Audio_ClientLoopback",
    "Debug_Audio_ClientDontSend",
    "Debug_Audio_ServerLoopback",
    "Debug_Audio_ServerDontProcess",
    "DebugLog_Enabled",
    "DebugLog_ShowOnServerConsole",
    "PerformanceLog_Enabled",
    "PerformanceLog_DumpUntriggered",
    "PerformanceLog_ServerTriggerEnabled",
    "PerformanceLog_NoPktLog",
    "PerformanceLog_Trigger_OnInstantiation",
    "PerformanceLog_Trigger_OnAnyAudioError",
    "PerformanceLog_DumpVXCAudioErrorLog",
};

struct NumberRow {
    const char* name;
    unsigned long value, minimum, maximum; // a bound of 0 is no bound
};

constexpr NumberRow kNumbers[] = {
    {"LatencySamples", 2048, 256, 65535},
    {"AudioTransport_MaximumPacketByteCount", 1500, 256, 10000},
    {"AudioTransport_SamplesPerPacketQuantum", 16, 0, 64},
    {"AudioTransport_TransmitThresholdSamples", 256, 0, 512},
    {"AudioTransport_MaxInflightPackets", 50, 1, 384},
    {"ControlTransport_BandwidthPercentage", 20, 5, 50},
    {"ControlTransport_BurstMicroseconds", 500, 0, 1000},
    {"PerformanceLog_EntryCount", 8000, 500, 100000},
    {"Responsiveness_RX", 1000, 1, 100000},
    {"Responsiveness_TX", 1000, 1, 100000},
    {"RX_Computation", 4000, 1, 3999999999},
    {"TX_Computation", 4000, 1, 3999999999},
    {"RX_Constraint", 2000, 1, 3999999999},
    {"TX_Constraint", 2000, 1, 3999999999},
    {"VXMonitor_Repaint_Frequency", 1000, 100, 5000},
    {"ControlTransport_Loopback_BandwidthPercentage", 20, 5, 50},
    {"ControlTransport_Loopback_BurstMicroseconds", 500, 0, 1000},
    {"ControlTransport_Client_Control_Port_Recv_Buffer_Size", 1024, 64, 2048},
    {"ControlTransport_Client_Control_Port_Send_Buffer_Size", 1024, 64, 2048},
    {"ControlTransport_Server_Control_Port_Recv_Buffer_Size", 1024, 64, 2048},
    {"ControlTransport_Server_Control_Port_Send_Buffer_Size", 1024, 64, 2048},
};

struct TextRow {
    const char* name;
    const char* value;
};

constexpr TextRow kTexts[] = {
    {"NWManagerPath", ""},     {"VXClientPath", ""},        {"BootImagePath", ""},
    {"IPAddress", "10.0.0.2"}, {"SubnetMask", "255.0.0.0"}, {"IPv6Address", "::"},
    {"InstallationPath", ""},
};

constexpr TextRow kPaths[] = {{"DebugLog_Path", "./"}, {"PerformanceLog_Path", "./"}};

// A REG_DWORD of exactly 4 bytes.
bool ReadDWORD(KVHKEY key, const char* name, uint32_t& value) {
    uint32_t type = 0, size = sizeof value, data = 0;
    if (KVRegQueryValue(key, name, &type, &data, &size) != KV_REG_SUCCESS || type != KV_REG_DWORD ||
        size != sizeof value)
        return false;
    value = data;
    return true;
}

// A REG_SZ of non-zero size.
bool ReadText(KVHKEY key, const char* name, std::string& value) {
    uint32_t type = 0, size = 0;
    if (KVRegQueryValue(key, name, &type, nullptr, &size) != KV_REG_SUCCESS || type != KV_REG_SZ ||
        size == 0)
        return false;
    std::string text;
    if (KVRegQueryString(key, name, text) != KV_REG_SUCCESS)
        return false;
    value = text;
    return true;
}

template <typename Map>
bool Lookup(const Map& map, const std::string& name, typename Map::mapped_type& value) {
    const auto it = map.find(name);
    if (it == map.end())
        return false;
    value = it->second;
    return true;
}

} // namespace

namespace Vellix {

CConfigurationParameters::CConfigurationParameters() {
    for (const char* name : kFlagNames)
        flags[name] = false;
    for (const NumberRow& row : kNumbers)
        numbers[row.name] = row.value;
    for (const TextRow& row : kTexts)
        texts[row.name] = row.value;
    for (const TextRow& row : kPaths)
        paths[row.name] = row.value;
    ReadRegistry();
}

void CConfigurationParameters::ReadRegistry() {
    KVHKEY key = nullptr;
    if (KVRegOpenKey(KV_HKEY_LOCAL_MACHINE, kKey, &key) != KV_REG_SUCCESS)
        return;
    uint32_t dword = 0;
    for (const char* name : kFlagNames) {
        if (ReadDWORD(key, name, dword))
            flags[name] = dword != 0;
    }
    for (const NumberRow& row : kNumbers) {
        if (ReadDWORD(key, row.name, dword) && (row.maximum == 0 || dword <= row.maximum) &&
            (row.minimum == 0 || dword >= row.minimum))
            numbers[row.name] = dword;
    }
    std::string text;
    for (const TextRow& row : kTexts) {
        if (ReadText(key, row.name, text))
            texts[row.name] = text;
    }
    for (const TextRow& row : kPaths) {
        if (ReadText(key, row.name, text))
            paths[row.name] = ConvertPath(text);
    }
    KVRegCloseKey(key);
}

bool CConfigurationParameters::GetBool(const std::string& name, bool& value) const {
    return Lookup(flags, name, value);
}

bool CConfigurationParameters::GetLong(const std::string& name, long& value) const {
    unsigned long number = 0;
    if (!Lookup(numbers, name, number))
        return false;
    value = static_cast<long>(number);
    return true;
}

bool CConfigurationParameters::GetString(const std::string& name, std::string& value) const {
    return Lookup(texts, name, value);
}

bool CConfigurationParameters::GetPath(const std::string& name, std::string& value) const {
    return Lookup(paths, name, value);
}

std::string CConfigurationParameters::GetStringValue(const std::string& name) const {
    std::string value;
    if (!GetString(name, value))
        throw unknown_parameter_error(name);
    return value;
}

bool CConfigurationParameters::SetLatencySamples(unsigned long samples) {
    KVHKEY key = nullptr;
    if (KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, kKey, &key) != KV_REG_SUCCESS)
        return false;
    const bool written =
        KVRegSetDWORD(key, "LatencySamples", static_cast<uint32_t>(samples)) == KV_REG_SUCCESS;
    KVRegCloseKey(key);
    return written;
}

std::string CConfigurationParameters::AppendPathComponent(const std::string& path,
                                                          const std::string& component) {
    if (path.empty())
        return component;
    if (component.empty())
        return path;
    if (path.back() == '/' || component.front() == '/')
        return path + component;
    return path + "/" + component;
}

std::string CConfigurationParameters::ConvertPath(const std::string& path) {
    std::string converted = path;
    for (char& c : converted) {
        if (c == '\\')
            c = '/';
    }
    return converted;
}

} // namespace Vellix

bool LoadVellixClient() {
    const Vellix::CConfigurationParameters config;
    const std::string path = config.GetStringValue("VXClientPath");
    ClientState& s = State();
    const std::lock_guard<std::mutex> guard(s.lock);
    if (s.references != 0) {
        ++s.references;
        return true;
    }
    if (path.empty() || KULoadDLL(kvFM::KCStPath(path), 0, s.module) != eNoErr)
        return false;
    for (size_t i = 0; i < kEntryCount; ++i) {
        s.slots[i] = KUGetSymbol(s.module, kEntryNames[i]);
        if (s.slots[i] == nullptr) {
            s.Release(); // nothing half-bound stays
            return false;
        }
    }
    if (!Entry<BoolEntry>(s, kInitialize)()) {
        s.Release();
        return false;
    }
    ++s.references;
    return true;
}

bool UnloadVellixClient() {
    ClientState& s = State();
    const std::lock_guard<std::mutex> guard(s.lock);
    if (s.references == 0)
        return false;
    if (--s.references > 0)
        return false;
    Entry<BoolEntry>(s, kCleanup)(); // its result tells nothing more
    s.Release();
    return true;
}

bool IsVellixActive() {
    ClientState& s = State();
    const std::lock_guard<std::mutex> guard(s.lock);
    const auto active = Entry<BoolEntry>(s, kIsVellixActive);
    return active != nullptr && active();
}

void* VellixClientEntry(const std::string& name) {
    ClientState& s = State();
    const std::lock_guard<std::mutex> guard(s.lock);
    for (size_t i = 0; i < kEntryCount; ++i) {
        if (name == kEntryNames[i])
            return s.slots[i];
    }
    return nullptr;
}

int VellixClientReferences() {
    ClientState& s = State();
    const std::lock_guard<std::mutex> guard(s.lock);
    return s.references;
}
