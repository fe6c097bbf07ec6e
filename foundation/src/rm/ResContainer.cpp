#include "foundation/ResContainer.h"

#include "foundation/ResConverters.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>

namespace {

kvElfRes::ResName IdNameOf(short id) {
    return kvElfRes::ResName::Number(static_cast<uint16_t>(id));
}

bool SameConverter(const KSResConvertFuncs& a, const KSResConvertFuncs& b) {
    return a.load == b.load && a.save == b.save && a.release == b.release &&
           a.userData == b.userData && a.code.Get() == b.code.Get();
}

// The handle of the loaded module with this file, or null. Nothing is loaded:
// RTLD_NOLOAD only finds a module that is already there.
KTNativeContainerType* LoadedModuleOf(const std::string& file) {
    void* handle = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return nullptr;
    dlclose(handle); // drop the reference this lookup took
    return static_cast<KTNativeContainerType*>(handle);
}

// The file of a loaded module, checked against the loader's list of loaded
// objects (the handle is never dereferenced before it is found there).
bool ModuleFile(KTNativeContainerType* module, std::string& file) {
    void* self = dlopen(nullptr, RTLD_LAZY);
    link_map* map = nullptr;
    if (self == nullptr || dlinfo(self, RTLD_DI_LINKMAP, &map) != 0)
        map = nullptr;
    while (map != nullptr && map->l_prev != nullptr)
        map = map->l_prev;
    bool found = false;
    for (; map != nullptr && !found; map = map->l_next)
        if (static_cast<void*>(map) == static_cast<void*>(module)) {
            found = true;
            file = map->l_name ? map->l_name : "";
        }
    if (self != nullptr)
        dlclose(self);
    if (!found)
        return false;
    if (file.empty()) { // the program itself
        char buffer[4096];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n <= 0)
            return false;
        file.assign(buffer, static_cast<size_t>(n));
    }
    std::error_code ec;
    file = std::filesystem::absolute(file, ec).lexically_normal().string();
    return !ec;
}

} // namespace

KCResContainerInfo::KCResContainerInfo(const kvFM::KCStPath& path, long flags, long managerValue)
    : path(path), writable(flags), managerValue(managerValue) {
    error = LoadImage();
    if (error != eNoErr)
        return;
    module = LoadedModuleOf(path.GetNativePathString());
    if (module == nullptr)
        module = reinterpret_cast<KTNativeContainerType*>(image.get());
    openCount = 1;
    loadedByItself = true;
}

KCResContainerInfo::KCResContainerInfo(KTNativeContainerType* handle, long managerValue)
    : attached(true), managerValue(managerValue) {
    std::string file;
    if (handle == nullptr || !ModuleFile(handle, file)) {
        error = eRMInvalidNativeResContainer;
        return;
    }
    path = kvFM::KCStPath(file);
    error = LoadImage();
    if (error != eNoErr)
        return;
    module = handle;
    openCount = 1;
}

KCResContainerInfo::~KCResContainerInfo() {
    for (auto& [key, record] : table) {
        record->converter.release(record->data, record->converter.userData);
        delete record;
    }
    table.clear();
    for (KSResRecord* record : orphans) {
        record->converter.release(record->data, record->converter.userData);
        delete record;
    }
    orphans.clear();
}

KTErr KCResContainerInfo::LoadImage() {
    // The new image is read while the old one is still held, so a reload
    // never hands out the old image's address as the new module token.
    std::unique_ptr<kvElfRes::Image> fresh;
    if (!path.IsValid())
        return eRMInvalidResContainer;
    if (KTErr err = kvElfRes::Image::OpenFile(path.GetNativePathString(), fresh))
        return err;
    const bool moduleIsImage =
        module == reinterpret_cast<KTNativeContainerType*>(image.get()) && image != nullptr;
    image = std::move(fresh);
    if (moduleIsImage)
        module = reinterpret_cast<KTNativeContainerType*>(image.get());
    return eNoErr;
}

const kvElfRes::ResourceView* KCResContainerInfo::FindNative(KCFourCC type, short id) const {
    if (image == nullptr)
        return nullptr;
    const kvElfRes::ResourceView* view = image->Find(kvElfRes::TypeNameOf(type), IdNameOf(id));
    return view != nullptr && view->size > 0 ? view : nullptr;
}

KSResRecord* KCResContainerInfo::FindRecord(const KCResKey& key) const {
    auto it = table.find(key);
    return it == table.end() ? nullptr : it->second;
}

KTErr KCResContainerInfo::GetResource(KCFourCC type, short id, const KSResConvertFuncs& convert,
                                      KSResRecord*& out) {
    out = nullptr;
    const KCResKey key(type, id);
    if (KSResRecord* record = FindRecord(key)) {
        // A resource already held in another working form cannot serve this
        // caller: raw bytes handed to a tree reader (or the reverse) would be
        // misread.
        if (!SameConverter(record->converter, convert))
            return eRMResExists;
        ++record->refCount;
        out = record;
        return eNoErr;
    }
    const kvElfRes::ResourceView* view = FindNative(type, id);
    if (view == nullptr)
        return eRMResNotFound;
    if (view->size > ~0ul)
        return eMemNewFailed;
    const auto size = static_cast<unsigned long>(view->size);
    const uint8_t* bytes = image->Data(*view);
    if (bytes == nullptr)
        return eMemNullPointer; // the bytes cannot be read
    void* raw = KCMemUtils::NewKTPtrClear(size);
    if (raw == nullptr)
        return eMemNewFailed;
    std::memcpy(raw, bytes, size);

    void* data = nullptr;
    unsigned long dataSize = 0;
    const long status = convert.load(raw, size, data, dataSize, convert.userData);
    if (data != raw || status != 0)
        KCMemUtils::DisposeKTPtr(raw);
    if (status != 0)
        return static_cast<KTErr>(status);

    auto* record = new KSResRecord{key, data, dataSize, 1, 0, convert, this};
    table.emplace(key, record);
    out = record;
    return eNoErr;
}

KTErr KCResContainerInfo::ReleaseResource(KSResRecord* record, bool& deleted) {
    deleted = false;
    if (orphans.count(record) != 0) {
        // Its key left the table when its deletion was written: the holder's
        // reference ends here all the same.
        if (--record->refCount <= 0) {
            record->converter.release(record->data, record->converter.userData);
            orphans.erase(record);
            delete record;
            deleted = true;
        }
        return eRMResRefNotFound;
    }
    auto it = table.find(record->key);
    if (it == table.end() || it->second != record)
        return eRMResRefNotFound;
    if (--record->refCount > 0)
        return eNoErr;
    const long status = record->converter.release(record->data, record->converter.userData);
    table.erase(it);
    delete record;
    deleted = true;
    return static_cast<KTErr>(status);
}

KTErr KCResContainerInfo::AddResource(const KCResKey& key, void* data, unsigned long size,
                                      const KSResConvertFuncs& convert, KSResRecord*& out) {
    out = nullptr;
    if (FindRecord(key) != nullptr || FindNative(key.type, key.id) != nullptr)
        return eRMResExists;
    auto* record = new KSResRecord{key, data, size, 1, eResAdded, convert, this};
    table.emplace(key, record);
    out = record;
    return eNoErr;
}

KTErr KCResContainerInfo::AddOrReplaceResource(const KCResKey& key, void* data, unsigned long size,
                                               const KSResConvertFuncs& convert,
                                               KSResRecord*& out) {
    out = nullptr;
    if (KSResRecord* record = FindRecord(key)) {
        if (data != record->data)
            record->converter.release(record->data, record->converter.userData);
        // The new data is in the form of the converter given: keep the two
        // together so it is saved and released the right way.
        record->converter = convert;
        record->data = data;
        record->size = size;
        record->state |= eResChanged;
        out = record;
        return eNoErr;
    }
    if (FindNative(key.type, key.id) == nullptr)
        return AddResource(key, data, size, convert, out);
    auto* record = new KSResRecord{key, data, size, 1, eResChanged, convert, this};
    table.emplace(key, record);
    out = record;
    return eNoErr;
}

KTErr KCResContainerInfo::UpdateResource(KSResRecord* record, void* data, unsigned long size) {
    if (FindRecord(record->key) != record)
        return eRMResNotFound;
    if (data != record->data)
        record->converter.release(record->data, record->converter.userData);
    record->data = data;
    record->size = size;
    record->state |= eResChanged;
    return eNoErr;
}

KTErr KCResContainerInfo::DeleteResource(KSResRecord* record) {
    if (FindRecord(record->key) != record)
        return eRMResNotFound;
    record->state |= eResDeleted;
    return eNoErr;
}

KTErr KCResContainerInfo::WriteResource(KSResRecord* record) {
    if (FindRecord(record->key) != record)
        return eRMResNotFound;
    return Write({record});
}

KTErr KCResContainerInfo::WriteAll() {
    std::vector<KSResRecord*> records;
    for (auto& [key, record] : table)
        records.push_back(record);
    return Write(records);
}

KTErr KCResContainerInfo::Write(const std::vector<KSResRecord*>& records) {
    std::vector<KSResRecord*> pending;
    for (KSResRecord* record : records)
        if (record->state != 0)
            pending.push_back(record);
    if (pending.empty())
        return eNoErr;
    // A container opened without write permission (an attached module is
    // one) refuses every change, deletions included; nothing is marked done.
    if (!IsWritable())
        return eFMPermissionErr;
    if (image == nullptr)
        return eRMInvalidResContainer;

    // The new set: what the file holds, with the pending changes applied.
    std::vector<kvElfRes::Resource> set;
    if (KTErr err = image->CopyResources(set))
        return err;
    for (KSResRecord* record : pending) {
        const kvElfRes::ResName type = kvElfRes::TypeNameOf(record->key.type);
        const kvElfRes::ResName id = IdNameOf(record->key.id);
        std::erase_if(set, [&](const auto& r) { return r.type == type && r.id == id; });
        if (record->state & eResDeleted)
            continue;
        void* bytes = nullptr;
        unsigned long size = 0;
        const long status = record->converter.save(record->data, record->size, bytes, size,
                                                   record->converter.userData);
        kvElfRes::Resource resource{type, id, {}};
        if (status == 0 && bytes != nullptr)
            resource.data.assign(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
        if (bytes != record->data)
            KCMemUtils::DisposeKTPtr(bytes);
        if (status != 0)
            return static_cast<KTErr>(status);
        set.push_back(std::move(resource));
    }
    if (KTErr err = kvElfRes::WriteResources(path.GetNativePathString(), set))
        return err;

    // The file now holds the changes: they are no longer pending, whether or
    // not the file can be read again.
    const KTErr reload = LoadImage();
    for (KSResRecord* record : pending) {
        if (record->state & eResDeleted) {
            // The key leaves the table; the record lives on for its holders
            // (the deleting one included, whose handle is the same) until
            // their releases, or until the container goes.
            table.erase(record->key);
            record->state = 0;
            orphans.insert(record);
        } else {
            record->state = 0;
        }
    }
    return reload;
}
