#include "plugin/RegistryEx.h"

#include "foundation/RM.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kCompany = "Quorl Audio";
constexpr const char* kProduct = "DulmDSP";
// A damaged count must not make the dialog read without end.
constexpr uint32_t kMaxHistory = 1024;

// Closes an open key when it goes out of scope.
struct KeyCloser {
    KVHKEY key = nullptr;
    ~KeyCloser() {
        if (key)
            KVRegCloseKey(key);
    }
};

// The text of the host program's string resource `id`: its bytes up to the
// first zero, at most the text buffer's size less its terminator.
bool HostStringResource(short id, std::string& text) {
    RMInit(0);
    void* program = ::dlopen(nullptr, RTLD_LAZY);
    if (!program)
        return false;
    KTResContainerType* container = nullptr;
    const bool attached =
        RMAttachResContainer(static_cast<KTNativeContainerType*>(program), container) == eNoErr;
    ::dlclose(program);
    if (!attached)
        return false;
    KTResourceType* resource = nullptr;
    void* data = nullptr;
    unsigned long size = 0;
    const bool found = RMGetAResource(container, KCFourCC(CRegistryEx::kStringResourceType), id,
                                      resource, nullptr) == eNoErr &&
                       RMGetResData(resource, data) == eNoErr &&
                       RMGetResSize(resource, size) == eNoErr && data;
    if (found) {
        const char* bytes = static_cast<const char*>(data);
        const size_t limit = std::min<size_t>(size, CRegistryEx::kTextBufferSize - 1);
        text.assign(bytes, ::strnlen(bytes, limit));
    }
    RMReleaseResource(resource);
    RMDetachResContainer(container);
    return found;
}

} // namespace

CRegistryEx::CRegistryEx() = default;

CRegistryEx::CRegistryEx(KVHKEY root, const char* company, const char* product, const char* subKey)
    : company_(company ? company : ""), product_(product ? product : ""),
      subKey_(subKey ? subKey : ""), hasNames_(true), root_(root) {}

CRegistryEx::~CRegistryEx() = default;

std::string CRegistryEx::BaseKeyPath() const {
    std::string path = std::string("Software\\") + company_;
    if (!product_.empty())
        path += "\\" + product_;
    if (!subKey_.empty())
        path += "\\" + subKey_;
    return path;
}

bool CRegistryEx::SetRootAndCompanyFromResource(short id) {
    std::string text;
    if (!HostStringResource(id, text))
        return false;
    root_ = KV_HKEY_CURRENT_USER;
    company_ = text;
    hasNames_ = true;
    return true;
}

KVHKEY CRegistryEx::OpenBaseKey() {
    KVHKEY base = nullptr;
    if (!hasNames_ || !root_ ||
        KVRegCreateKey(root_, BaseKeyPath().c_str(), &base) != KV_REG_SUCCESS)
        return nullptr;
    return base;
}

KVHKEY CRegistryEx::OpenSubKey(const char* subKey) {
    if (!subKey || !*subKey)
        return nullptr;
    KeyCloser base{OpenBaseKey()};
    KVHKEY key = nullptr;
    if (!base.key || KVRegCreateKey(base.key, subKey, &key) != KV_REG_SUCCESS)
        return nullptr;
    return key;
}

bool CRegistryEx::WriteDWORD(const char* subKey, const char* name, uint32_t value) {
    KeyCloser key{OpenSubKey(subKey)};
    return key.key && name && KVRegSetDWORD(key.key, name, value) == KV_REG_SUCCESS;
}

bool CRegistryEx::ReadDWORD(const char* name, uint32_t& value) {
    KeyCloser key{OpenSubKey(kGeneral)};
    return key.key && name && KVRegQueryDWORD(key.key, name, value) == KV_REG_SUCCESS;
}

bool CRegistryEx::ReadMaxBands(uint32_t& value) {
    return ReadDWORD("MaxBands", value);
}

bool CRegistryEx::ReadText(const char* name, char* buffer) {
    if (!buffer)
        return true;
    buffer[0] = '\0';
    std::string text;
    if (ReadString(name, text)) {
        const size_t n = std::min(text.size(), kTextBufferSize - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return true;
}

bool CRegistryEx::ReadString(const char* name, std::string& text) {
    KeyCloser key{OpenSubKey(kGeneral)};
    if (!key.key || !name)
        return false;
    uint32_t type = 0, size = 0;
    if (KVRegQueryValue(key.key, name, &type, nullptr, &size) != KV_REG_SUCCESS ||
        type != KV_REG_SZ)
        return false;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (KVRegQueryValue(key.key, name, &type, buffer.data(), &size) != KV_REG_SUCCESS)
        return false;
    text.assign(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
    return true;
}

bool CRegistryEx::WriteText(const char* name, const char* text) {
    if (!name) {
        KeyCloser base{OpenBaseKey()};
        if (!base.key)
            return false;
        const long r = KVRegDeleteKey(base.key, kGeneral);
        return r == KV_REG_SUCCESS || r == KV_REG_FILE_NOT_FOUND;
    }
    KeyCloser key{OpenSubKey(kGeneral)};
    if (!key.key)
        return false;
    if (!text) {
        const long r = KVRegDeleteValue(key.key, name);
        return r == KV_REG_SUCCESS || r == KV_REG_FILE_NOT_FOUND;
    }
    return KVRegSetString(key.key, name, text) == KV_REG_SUCCESS;
}

bool CRegistryEx::WriteBinary(const char* subKey, const char* name, const void* data,
                              uint32_t size) {
    KeyCloser key{OpenSubKey(subKey)};
    return key.key && name && (data || size == 0) &&
           KVRegSetValue(key.key, name, KV_REG_BINARY, data, size) == KV_REG_SUCCESS;
}

bool CRegistryEx::Write8Bytes(const char* subKey, const char* name, uint64_t value) {
    return WriteBinary(subKey, name, &value, sizeof value);
}

bool CRegistryEx::Read8Bytes(const char* subKey, const char* name, uint64_t& value) {
    std::vector<uint8_t> data;
    if (!ReadValue(subKey, name, data) || data.size() != sizeof value)
        return false;
    std::memcpy(&value, data.data(), sizeof value);
    return true;
}

bool CRegistryEx::ReadValue(const char* subKey, const char* name, std::vector<uint8_t>& data) {
    KeyCloser key{OpenSubKey(subKey)};
    if (!key.key || !name)
        return false;
    uint32_t type = 0, size = 0;
    if (KVRegQueryValue(key.key, name, &type, nullptr, &size) != KV_REG_SUCCESS)
        return false;
    std::vector<uint8_t> buffer(size);
    if (KVRegQueryValue(key.key, name, &type, buffer.data(), &size) != KV_REG_SUCCESS)
        return false;
    buffer.resize(size);
    data = std::move(buffer);
    return true;
}

void LoadDulmSettings(SDulmSettings& s) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, kCompany, kProduct);
    registry.ReadDWORD("PopType", s.popType);
    registry.ReadDWORD("PopTypeEEPROMExt", s.popTypeEEPROMExt);
    registry.ReadString("PopFilename", s.popFilename);
    registry.ReadString("PopFilenameEEPROM", s.popFilenameEEPROM);
    registry.ReadString("PopRunPath", s.popRunPath);
    registry.ReadMaxBands(s.maxBands);
}

bool SaveDulmSettings(const SDulmSettings& s) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, kCompany, kProduct);
    bool ok = registry.WriteDWORD(CRegistryEx::kGeneral, "PopType", s.popType);
    ok = registry.WriteDWORD(CRegistryEx::kGeneral, "PopTypeEEPROMExt", s.popTypeEEPROMExt) && ok;
    ok = registry.WriteText("PopFilename", s.popFilename.c_str()) && ok;
    ok = registry.WriteText("PopFilenameEEPROM", s.popFilenameEEPROM.c_str()) && ok;
    ok = registry.WriteText("PopRunPath", s.popRunPath.c_str()) && ok;
    return ok;
}

std::vector<std::string> LoadPopRunHistory() {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, kCompany, kProduct);
    uint32_t count = 0;
    registry.ReadDWORD("PopRunHistoryCount", count);
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < count && i < kMaxHistory; ++i) {
        std::string path;
        const std::string name = "PopRunHistoryPath" + std::to_string(i);
        if (registry.ReadString(name.c_str(), path) && !path.empty())
            paths.push_back(path);
    }
    return paths;
}

bool SavePopRunHistory(const std::vector<std::string>& paths) {
    CRegistryEx registry(KV_HKEY_CURRENT_USER, kCompany, kProduct);
    bool ok = registry.WriteDWORD(CRegistryEx::kGeneral, "PopRunHistoryCount",
                                  static_cast<uint32_t>(paths.size()));
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string name = "PopRunHistoryPath" + std::to_string(i);
        ok = registry.WriteText(name.c_str(), paths[i].c_str()) && ok;
    }
    return ok;
}
