#include "audio/KCAsioDrivers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "registry/KVRegistry.h"

namespace {

constexpr const char* kAsioKey = "software\\asio";
// What Windows shows as HKEY_CLASSES_ROOT\clsid.
constexpr const char* kClassesKey = "Software\\Classes\\clsid";
constexpr const char* kServerKey = "InprocServer32";
constexpr uint32_t kKeyNameSize = 128;
constexpr uint32_t kClassKeyNameSize = 512;
constexpr size_t kClsidValueSize = 256;
constexpr size_t kServerValueSize = 512;

long NoClassFactory(const KVCLSID&, KCAsioDriverInterface** driver) {
    *driver = nullptr;
    return kClassNotRegistered;
}

KCAsioClassFactory gFactory = &NoClassFactory;
KCAsioDriverList* gDrivers = nullptr;
KCAsioDriverInterface* gCurrent = nullptr;

// Closes a registry key when it goes out of scope.
class RegKey {
public:
    RegKey(KVHKEY parent, const char* path) {
        if (KVRegOpenKey(parent, path, &key) != KV_REG_SUCCESS)
            key = nullptr;
    }
    ~RegKey() {
        if (key)
            KVRegCloseKey(key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    explicit operator bool() const { return key != nullptr; }
    KVHKEY get() const { return key; }

    // The key's string value, false when missing, of another type or at
    // least `limit` bytes long.
    bool String(const char* name, size_t limit, std::string& out) const {
        return KVRegQueryString(key, name, out) == KV_REG_SUCCESS && out.size() < limit;
    }
    // The name of subkey `index`, false at the end.
    bool Subkey(uint32_t index, uint32_t size, std::string& out) const {
        out.assign(size, '\0');
        uint32_t length = size;
        if (KVRegEnumKey(key, index, out.data(), &length) != KV_REG_SUCCESS)
            return false;
        out.resize(std::min(length, size - 1));
        return true;
    }

private:
    KVHKEY key = nullptr;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Whether the class's in-process server is a file that exists. The search
// ends at the first key naming the class, whatever its outcome.
bool HasServerFile(const std::string& clsid) {
    RegKey classes(KV_HKEY_LOCAL_MACHINE, kClassesKey);
    if (!classes)
        return false;
    const std::string wanted = Lower(clsid);
    std::string name;
    for (uint32_t i = 0; classes.Subkey(i, kClassKeyNameSize, name); ++i) {
        if (Lower(name) != wanted)
            continue;
        RegKey entry(classes.get(), name.c_str());
        if (!entry)
            return false;
        RegKey server(entry.get(), kServerKey);
        std::string path;
        if (!server || !server.String(nullptr, kServerValueSize, path) || path.empty())
            return false;
        std::error_code ec;
        return std::filesystem::exists(path, ec) && !std::filesystem::is_directory(path, ec);
    }
    return false;
}

// Copies at most size - 1 characters and terminates.
void CopyName(char* out, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// The 32-character rule: a name that does not fit is cut to 28 characters
// followed by "...".
void ShortName(const char* name, char* out) {
    const size_t length = std::strlen(name);
    if (length < size_t(KCAsioDriverList::kShortNameSize)) {
        std::memcpy(out, name, length + 1);
        return;
    }
    std::memcpy(out, name, 28);
    std::memcpy(out + 28, "...", 4);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(const char* text, size_t pos, int digits, uint64_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexValue(text[pos + size_t(i)]);
        if (v < 0)
            return false;
        out = out * 16 + uint64_t(v);
    }
    return true;
}

} // namespace

bool KVCLSIDFromString(const char* text, KVCLSID& out) {
    out = KVCLSID{};
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    if (!text || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return false;
    KVCLSID id;
    uint64_t v = 0;
    if (!ReadHex(text, 1, 8, v))
        return false;
    id.data1 = static_cast<uint32_t>(v);
    if (!ReadHex(text, 10, 4, v))
        return false;
    id.data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 15, 4, v))
        return false;
    id.data3 = static_cast<uint16_t>(v);
    static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePos[i], 2, v))
            return false;
        id.data4[i] = static_cast<uint8_t>(v);
    }
    out = id;
    return true;
}

void KCSetAsioClassFactory(KCAsioClassFactory factory) {
    gFactory = factory ? factory : &NoClassFactory;
}

// ---------------------------------------------------------------------------
// The driver list

KCAsioDriverList::KCAsioDriverList() {
    Build();
}

KCAsioDriverList::~KCAsioDriverList() {
    while (head) {
        Record* r = head;
        head = r->next;
        if (r->driver) {
            if (gCurrent == r->driver)
                gCurrent = nullptr;
            r->driver->Release();
        }
        delete r;
    }
    count = 0;
}

void KCAsioDriverList::Build() {
    RegKey asio(KV_HKEY_LOCAL_MACHINE, kAsioKey);
    if (!asio)
        return;
    Record** tail = &head;
    std::string keyName;
    for (uint32_t i = 0; asio.Subkey(i, kKeyNameSize, keyName); ++i) {
        RegKey driverKey(asio.get(), keyName.c_str());
        std::string clsid;
        if (!driverKey || !driverKey.String("clsid", kClsidValueSize, clsid) ||
            !HasServerFile(clsid))
            continue;
        auto* r = new Record;
        r->id = count;
        KVCLSIDFromString(clsid.c_str(), r->clsid);
        std::string description;
        const bool described =
            KVRegQueryString(driverKey.get(), "description", description) == KV_REG_SUCCESS;
        CopyName(r->name, kNameSize, described ? description : keyName);
        *tail = r;
        tail = &r->next;
        ++count;
    }
}

KCAsioDriverList::Record* KCAsioDriverList::Find(int32_t id) const {
    for (Record* r = head; r; r = r->next)
        if (r->id == id)
            return r;
    return nullptr;
}

long KCAsioDriverList::OpenDriver(int32_t id) {
    Record* r = Find(id);
    if (!r)
        return ASE_NoSuchDriver;
    if (r->driver)
        return ASE_DriverAlreadyOpen;
    KCAsioDriverInterface* driver = nullptr;
    const long result = gFactory(r->clsid, &driver);
    if (result < 0)
        driver = nullptr;
    gCurrent = driver;
    r->driver = driver;
    return result;
}

long KCAsioDriverList::CloseDriver(int32_t id) {
    Record* r = Find(id);
    if (r && r->driver) {
        if (gCurrent == r->driver)
            gCurrent = nullptr;
        r->driver->Release();
        r->driver = nullptr;
    }
    return ASE_OK;
}

long KCAsioDriverList::GetDriverName(int32_t id, char* name) const {
    if (!name)
        return ASE_InvalidParameter;
    const Record* r = Find(id);
    if (!r)
        return ASE_NoSuchDriver;
    ShortName(r->name, name);
    return ASE_OK;
}

long KCAsioDriverList::GetDriverClsid(int32_t id, KVCLSID* clsid) const {
    if (!clsid)
        return ASE_InvalidParameter;
    const Record* r = Find(id);
    if (!r)
        return ASE_NoSuchDriver;
    *clsid = r->clsid;
    return ASE_OK;
}

const char* KCAsioDriverList::GetFullName(int32_t id) const {
    const Record* r = Find(id);
    return r ? r->name : "";
}

long KCAsioDriverList::getDriverNames(char** names, long max) const {
    const long n = std::min<long>(count, std::max<long>(max, 0));
    for (long i = 0; i < n; ++i)
        if (names && names[i])
            GetDriverName(static_cast<int32_t>(i), names[i]);
    return n;
}

bool KCAsioDriverList::getCurrentDriverName(char* buffer) const {
    if (!buffer)
        return false;
    buffer[0] = '\0';
    return currentIndex >= 0 && GetDriverName(currentIndex, buffer) == ASE_OK;
}

void KCAsioDriverList::removeCurrentDriver() {
    if (currentIndex != -1)
        CloseDriver(currentIndex);
    currentIndex = -1;
}

bool KCAsioDriverList::loadDriver(const char* name) {
    if (!name)
        return false;
    int32_t target = -1;
    char candidate[kShortNameSize];
    for (int32_t id = 0; id < count && target < 0; ++id)
        if (GetDriverName(id, candidate) == ASE_OK && std::strcmp(candidate, name) == 0)
            target = id;
    if (target < 0)
        return false;

    char previous[kShortNameSize] = {};
    const bool hadPrevious = getCurrentDriverName(previous);
    removeCurrentDriver();
    if (OpenDriver(target) >= 0 && gCurrent) {
        currentIndex = target;
        return true;
    }
    gCurrent = nullptr;
    if (hadPrevious && std::strcmp(previous, name) != 0)
        loadDriver(previous);
    return false;
}

bool loadAsioDriver(const char* name) {
    if (!gDrivers) {
        try {
            gDrivers = new KCAsioDriverList;
        } catch (...) {
            return false;
        }
    }
    return gDrivers->loadDriver(name);
}

KCAsioDriverList* KCGetAsioDriverList() {
    return gDrivers;
}

void KCDestroyAsioDriverList() {
    delete gDrivers;
    gDrivers = nullptr;
    gCurrent = nullptr;
}

KCAsioDriverInterface* KCGetCurrentAsioDriver() {
    return gCurrent;
}

// ---------------------------------------------------------------------------
// Host calls

namespace {

void CopyText(char* out, size_t size, const char* text) {
    std::strncpy(out, text, size - 1);
    out[size - 1] = '\0';
}

} // namespace

ASIOError ASIOInit(ASIODriverInfo* info) {
    if (!info)
        return ASE_InvalidParameter;
    info->driverVersion = 0;
    CopyText(info->name, sizeof info->name, "No ASIO Driver");
    if (!gCurrent)
        return ASE_NotPresent;
    if (!gCurrent->init(info->sysRef)) {
        gCurrent->getErrorMessage(info->errorMessage);
        info->errorMessage[sizeof info->errorMessage - 1] = '\0';
        gCurrent = nullptr; // the list still holds the object
        return ASE_NotPresent;
    }
    CopyText(info->errorMessage, sizeof info->errorMessage, "No ASIO Driver Error");
    gCurrent->getDriverName(info->name);
    info->name[sizeof info->name - 1] = '\0';
    info->driverVersion = gCurrent->getDriverVersion();
    return ASE_OK;
}

ASIOError ASIOExit() {
    if (gCurrent && gDrivers)
        gDrivers->removeCurrentDriver();
    gCurrent = nullptr;
    return ASE_OK;
}

ASIOError ASIOStart() {
    return gCurrent ? gCurrent->start() : ASE_NotPresent;
}

ASIOError ASIOStop() {
    return gCurrent ? gCurrent->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(long* inputs, long* outputs) {
    if (gCurrent)
        return gCurrent->getChannels(inputs, outputs);
    if (inputs)
        *inputs = 0;
    if (outputs)
        *outputs = 0;
    return ASE_NotPresent;
}

ASIOError ASIOGetLatencies(long* input, long* output) {
    if (gCurrent)
        return gCurrent->getLatencies(input, output);
    if (input)
        *input = 0;
    if (output)
        *output = 0;
    return ASE_NotPresent;
}

ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferred, long* granularity) {
    if (gCurrent)
        return gCurrent->getBufferSize(minSize, maxSize, preferred, granularity);
    for (long* p : {minSize, maxSize, preferred, granularity})
        if (p)
            *p = 0;
    return ASE_NotPresent;
}

ASIOError ASIOCanSampleRate(ASIOSampleRate rate) {
    return gCurrent ? gCurrent->canSampleRate(rate) : ASE_NotPresent;
}

ASIOError ASIOGetSampleRate(ASIOSampleRate* rate) {
    return gCurrent ? gCurrent->getSampleRate(rate) : ASE_NotPresent;
}

ASIOError ASIOSetSampleRate(ASIOSampleRate rate) {
    return gCurrent ? gCurrent->setSampleRate(rate) : ASE_NotPresent;
}

ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* count) {
    if (gCurrent)
        return gCurrent->getClockSources(clocks, count);
    if (count)
        *count = 0;
    return ASE_NotPresent;
}

ASIOError ASIOSetClockSource(long reference) {
    return gCurrent ? gCurrent->setClockSource(reference) : ASE_NotPresent;
}

ASIOError ASIOGetSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) {
    return gCurrent ? gCurrent->getSamplePosition(position, timeStamp) : ASE_NotPresent;
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info) {
    if (gCurrent)
        return gCurrent->getChannelInfo(info);
    if (info) {
        info->channelGroup = -1;
        info->type = 0;
        CopyText(info->name, sizeof info->name, "None");
    }
    return ASE_NotPresent;
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* infos, long count, long bufferSize,
                            ASIOCallbacks* callbacks) {
    if (gCurrent)
        return gCurrent->createBuffers(infos, count, bufferSize, callbacks);
    for (long i = 0; infos && i < count; ++i)
        infos[i].buffers[0] = infos[i].buffers[1] = nullptr;
    return ASE_NotPresent;
}

ASIOError ASIODisposeBuffers() {
    return gCurrent ? gCurrent->disposeBuffers() : ASE_NotPresent;
}

ASIOError ASIOControlPanel() {
    return gCurrent ? gCurrent->controlPanel() : ASE_NotPresent;
}

ASIOError ASIOFuture(long selector, void* params) {
    return gCurrent ? gCurrent->future(selector, params) : ASE_NotPresent;
}

ASIOError ASIOOutputReady() {
    return gCurrent ? gCurrent->outputReady() : ASE_NotPresent;
}
