#include "foundation/RM.h"

#include "foundation/ResContainer.h"
#include "foundation/ResConverters.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <set>

namespace {

struct Manager {
    std::set<KCResContainerInfo*> containers; // ordered by address
    long value = 0;
};

Manager* gManager = nullptr;

// Runs a function body; an exception ends it with a failure, never with
// success.
template <typename F>
KTErr Guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    } catch (KTErr status) {
        return status;
    } catch (...) {
        return eExceptionErr;
    }
}

KCResContainerInfo* AsInfo(KTResContainerType* c) {
    return reinterpret_cast<KCResContainerInfo*>(c);
}
KTResContainerType* AsHandle(KCResContainerInfo* c) {
    return reinterpret_cast<KTResContainerType*>(c);
}
KTResourceType* AsHandle(KSResRecord* r) {
    return reinterpret_cast<KTResourceType*>(r);
}

// The container behind a handle, or null for a null handle or one the
// manager does not hold (never dereferenced before it is found).
KCResContainerInfo* FindContainer(KTResContainerType* handle) {
    if (gManager == nullptr || handle == nullptr)
        return nullptr;
    auto it = gManager->containers.find(AsInfo(handle));
    return it == gManager->containers.end() ? nullptr : *it;
}

// The common check of the functions that report it: null -4003, a handle
// not in the set -3002.
KTErr CheckContainer(KTResContainerType* handle, KCResContainerInfo*& out) {
    out = nullptr;
    if (handle == nullptr)
        return eMemNullPointer;
    out = FindContainer(handle);
    return out ? eNoErr : eRMContainerNotFound;
}

// The record behind a handle, or null when no open container's table holds
// it (so a released or deleted handle is never dereferenced).
KSResRecord* FindRecord(KTResourceType* handle) {
    if (gManager == nullptr || handle == nullptr)
        return nullptr;
    for (KCResContainerInfo* c : gManager->containers) {
        for (const auto& [key, record] : c->Table())
            if (AsHandle(record) == handle)
                return record;
        for (KSResRecord* record : c->Orphans())
            if (AsHandle(record) == handle)
                return record;
    }
    return nullptr;
}

const KSResConvertFuncs& ConverterOrDefault(const KSResConvertFuncs* convert) {
    return convert ? *convert : kDefaultResConvertFuncs;
}

// Copies `count` values into a new block of `list`.
template <typename T>
KTErr FillList(const std::vector<T>& values, KCMemObj& list, unsigned long& count) {
    const unsigned long bytes = static_cast<unsigned long>(values.size() * sizeof(T));
    void* block = list.NewPtr(bytes);
    if (block == nullptr && bytes != 0)
        return eMemNewFailed;
    if (bytes != 0)
        std::memcpy(block, values.data(), bytes);
    count = static_cast<unsigned long>(values.size());
    return eNoErr;
}

} // namespace

KTErr RMInit(long value) {
    return Guarded([&] {
        if (gManager == nullptr) {
            gManager = new Manager;
            gManager->value = value;
        }
        return eNoErr;
    });
}

KTErr RMDispose() {
    if (gManager == nullptr)
        return eNoErr;
    for (KCResContainerInfo* c : gManager->containers)
        delete c;
    delete gManager;
    gManager = nullptr;
    return eNoErr;
}

KTErr RMIsResContainer(const kvFM::KCStPath& path, bool& isContainer) {
    isContainer = false;
    return Guarded([&] {
        std::unique_ptr<kvElfRes::Image> image;
        isContainer = path.IsValid() &&
                      kvElfRes::Image::OpenFile(path.GetNativePathString(), image) == eNoErr;
        return eNoErr;
    });
}

KTErr RMOpenResContainer(const kvFM::KCStPath& path, long flags, KTResContainerType*& out) {
    out = nullptr;
    return Guarded([&]() -> KTErr {
        if (gManager == nullptr)
            return eSomeThingNotInitailzed;
        for (KCResContainerInfo* c : gManager->containers)
            if (c->GetPath() == path) {
                ++c->OpenCount();
                out = AsHandle(c);
                return eNoErr;
            }
        auto* c = new (std::nothrow) KCResContainerInfo(path, flags, gManager->value);
        if (c == nullptr)
            return eMemNewFailed;
        if (!c->IsValid()) {
            delete c;
            return eRMInvalidResContainer;
        }
        gManager->containers.insert(c);
        out = AsHandle(c);
        return eNoErr;
    });
}

KTErr RMAttachResContainer(KTNativeContainerType* module, KTResContainerType*& out) {
    return Guarded([&]() -> KTErr {
        if (gManager == nullptr)
            return eSomeThingNotInitailzed;
        for (KCResContainerInfo* c : gManager->containers)
            if (module != nullptr && c->GetModule() == module) {
                c->MarkAttached();
                ++c->OpenCount();
                out = AsHandle(c);
                return eNoErr;
            }
        auto* c = new (std::nothrow) KCResContainerInfo(module, gManager->value);
        if (c == nullptr)
            return eMemNewFailed;
        if (!c->IsValid()) {
            const KTErr status =
                c->GetError() != eNoErr ? c->GetError() : eRMInvalidNativeResContainer;
            delete c;
            return status;
        }
        gManager->containers.insert(c);
        out = AsHandle(c);
        return eNoErr;
    });
}

KTErr RMCloseResContainer(KTResContainerType*& container) {
    KTResContainerType* handle = container;
    container = nullptr;
    KCResContainerInfo* c = nullptr;
    if (KTErr err = CheckContainer(handle, c))
        return err;
    if (--c->OpenCount() <= 0) {
        gManager->containers.erase(c);
        delete c;
    }
    return eNoErr;
}

KTErr RMDetachResContainer(KTResContainerType*& container) {
    return RMCloseResContainer(container);
}

KTErr RMWriteResContainer(KTResContainerType* container) {
    KCResContainerInfo* c = nullptr;
    if (KTErr err = CheckContainer(container, c))
        return err;
    return Guarded([&] { return c->WriteAll(); });
}

KTErr RMGetNativeContainer(KTResContainerType* container, KTNativeContainerType*& out) {
    KCResContainerInfo* c = FindContainer(container);
    out = c ? c->GetModule() : nullptr;
    return eNoErr;
}

KTErr RMGetResContainer(KTNativeContainerType* module, KTResContainerType*& out) {
    out = nullptr;
    if (gManager == nullptr || module == nullptr)
        return eNoErr;
    for (KCResContainerInfo* c : gManager->containers)
        if (c->GetModule() == module) {
            out = AsHandle(c);
            break;
        }
    return eNoErr;
}

KTErr RMGetPath(KTResContainerType* container, kvFM::KCStPath& out) {
    if (KCResContainerInfo* c = FindContainer(container))
        return Guarded([&] {
            out = c->GetPath();
            return eNoErr;
        });
    return eNoErr;
}

KTErr RMGetPathToActualFile(KTResContainerType* container, KCFourCC, short, kvFM::KCStPath& out) {
    return RMGetPath(container, out);
}

KTErr RMGetResTypeList(KTResContainerType* container, KCMemObj& list, unsigned long& count) {
    KCResContainerInfo* c = FindContainer(container);
    if (c == nullptr || c->GetImage() == nullptr)
        return eNoErr;
    return Guarded([&]() -> KTErr {
        const auto types = c->GetImage()->Types();
        if (types.empty())
            return eGenericErr; // a module without resources
        std::vector<uint32_t> codes;
        for (const kvElfRes::ResName& t : types)
            if (!t.IsNumber() && t.GetName().size() == 4)
                codes.push_back(StringToFourCC(t.GetName().c_str()).Get());
        std::sort(codes.begin(), codes.end());
        return FillList(codes, list, count);
    });
}

KTErr RMGetResIDList(KTResContainerType* container, KCFourCC type, KCMemObj& list,
                     unsigned long& count) {
    KCResContainerInfo* c = FindContainer(container);
    if (c == nullptr || c->GetImage() == nullptr)
        return eNoErr;
    return Guarded([&]() -> KTErr {
        const auto ids = c->GetImage()->Ids(kvElfRes::TypeNameOf(type));
        if (ids.empty())
            return eGenericErr; // the module has no such type
        std::vector<uint16_t> numbers;
        for (const kvElfRes::ResName& id : ids)
            if (id.IsNumber())
                numbers.push_back(id.GetNumber());
        std::sort(numbers.begin(), numbers.end());
        return FillList(numbers, list, count);
    });
}

KTErr RMGetAResource(KTResContainerType* container, KCFourCC type, short id, KTResourceType*& out,
                     const KSResConvertFuncs* convert) {
    KCResContainerInfo* c = FindContainer(container);
    if (c == nullptr)
        return eNoErr;
    out = nullptr;
    return Guarded([&] {
        KSResRecord* record = nullptr;
        const KTErr err = c->GetResource(type, id, ConverterOrDefault(convert), record);
        out = AsHandle(record);
        return err;
    });
}

KTErr RMReleaseResource(KTResourceType*& resource) {
    KSResRecord* record = FindRecord(resource);
    if (record == nullptr)
        return eNoErr;
    bool deleted = false;
    const KTErr err = record->container->ReleaseResource(record, deleted);
    if (deleted || err == eRMResRefNotFound)
        resource = nullptr;
    return err;
}

KTErr RMCopyResourceToMemObj(KTResourceType* resource, KCMemObj& out) {
    KSResRecord* record = FindRecord(resource);
    if (record == nullptr) {
        out = KCMemObj();
        return eNoErr;
    }
    // The stored form (raw bytes for 'dflt', the text of a tree for 'XMLR'),
    // never the bytes of an in-memory object.
    void* bytes = nullptr;
    unsigned long size = 0;
    const long status =
        record->converter.save(record->data, record->size, bytes, size, record->converter.userData);
    KTErr err = static_cast<KTErr>(status);
    if (status == 0) {
        void* block = out.NewPtr(size);
        if (block == nullptr && size != 0)
            err = eMemNewFailed;
        else if (size != 0)
            std::memcpy(block, bytes, size);
    }
    if (bytes != record->data)
        KCMemUtils::DisposeKTPtr(bytes);
    return err;
}

KTErr RMIsResourceLoaded(KTResContainerType* container, KCFourCC type, short id, bool& loaded) {
    loaded = false;
    if (KCResContainerInfo* c = FindContainer(container))
        loaded = c->FindRecord(KCResKey(type, id)) != nullptr;
    return eNoErr;
}

KTErr RMGetResData(KTResourceType* resource, void*& data) {
    if (KSResRecord* record = FindRecord(resource))
        data = record->data;
    return eNoErr;
}

KTErr RMGetResSize(KTResourceType* resource, unsigned long& size) {
    if (KSResRecord* record = FindRecord(resource))
        size = record->size;
    return eNoErr;
}

KTErr RMGetResInfo(KTResourceType* resource, KCFourCC& type, short& id) {
    if (KSResRecord* record = FindRecord(resource)) {
        type = record->key.type;
        id = record->key.id;
    }
    return eNoErr;
}

KTErr RMGetNativeResource(KTResContainerType* container, KCFourCC type, short id,
                          KTNativeResourceType*& out) {
    KCResContainerInfo* c = FindContainer(container);
    if (c == nullptr)
        return eNoErr;
    out = nullptr;
    const kvElfRes::ResourceView* view = c->FindNative(type, id);
    if (view == nullptr)
        return eGenericErr; // no such type or number
    const uint8_t* bytes = c->GetImage()->Data(*view);
    if (bytes == nullptr)
        return eFMReadFailed;
    out = reinterpret_cast<KTNativeResourceType*>(const_cast<uint8_t*>(bytes));
    return eNoErr;
}

KTErr RMReleaseNativeResource(KTNativeResourceType*& resource) {
    resource = nullptr;
    return eNoErr;
}

bool RMDoesNativeResourceExist(KTResContainerType* container, KCFourCC type, short id) {
    KCResContainerInfo* c = FindContainer(container);
    return c != nullptr && c->FindNative(type, id) != nullptr;
}

namespace {

// The add step shared by RMAddResource and RMAddOrReplaceResource: checks
// the container and runs `add` on it with the default converter for null.
using AddStep = KTErr (KCResContainerInfo::*)(const KCResKey&, void*, unsigned long,
                                              const KSResConvertFuncs&, KSResRecord*&);
KTErr AddThrough(AddStep add, KTResContainerType* container, KCFourCC type, short id, void* data,
                 unsigned long size, KTResourceType*& out, const KSResConvertFuncs* convert) {
    out = nullptr;
    KCResContainerInfo* c = nullptr;
    if (KTErr err = CheckContainer(container, c))
        return err;
    return Guarded([&] {
        KSResRecord* record = nullptr;
        const KTErr err =
            (c->*add)(KCResKey(type, id), data, size, ConverterOrDefault(convert), record);
        out = AsHandle(record);
        return err;
    });
}

} // namespace

KTErr RMAddResource(KTResContainerType* container, KCFourCC type, short id, void* data,
                    unsigned long size, KTResourceType*& out, const KSResConvertFuncs* convert) {
    return AddThrough(&KCResContainerInfo::AddResource, container, type, id, data, size, out,
                      convert);
}

KTErr RMAddOrReplaceResource(KTResContainerType* container, KCFourCC type, short id, void* data,
                             unsigned long size, KTResourceType*& out,
                             const KSResConvertFuncs* convert) {
    return AddThrough(&KCResContainerInfo::AddOrReplaceResource, container, type, id, data, size,
                      out, convert);
}

KTErr RMDeleteResource(KTResourceType* resource) {
    KSResRecord* record = FindRecord(resource);
    return record ? record->container->DeleteResource(record) : eNoErr;
}

KTErr RMUpdateResource(KTResourceType* resource, void* data, unsigned long size) {
    KSResRecord* record = FindRecord(resource);
    return record ? record->container->UpdateResource(record, data, size) : eNoErr;
}

KTErr RMWriteResource(KTResourceType* resource) {
    KSResRecord* record = FindRecord(resource);
    if (record == nullptr)
        return eNoErr;
    return Guarded([&] { return record->container->WriteResource(record); });
}

long RMContainerOpenCount(KTResContainerType* container) {
    KCResContainerInfo* c = FindContainer(container);
    return c ? c->OpenCount() : 0;
}

long RMFileOpenCount(const kvFM::KCStPath& path) {
    if (gManager == nullptr)
        return 0;
    for (KCResContainerInfo* c : gManager->containers)
        if (c->GetPath() == path)
            return c->OpenCount();
    return 0;
}
