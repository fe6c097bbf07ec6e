#include "foundation/ResConverters.h"

#include <cstring>

namespace {

// Lists the container's types and, for each, appends its numbered keys.
// With `stopAtFailure` the first failing number list ends the walk.
long ListKeys(KTResContainerType* container, std::vector<KCResKey>& keys, bool stopAtFailure) {
    KCMemObj types;
    unsigned long typeCount = 0;
    long status = RMGetResTypeList(container, types, typeCount);
    if (status != eNoErr) {
        types.DisposePtr();
        return status;
    }
    const auto* codes = static_cast<const uint32_t*>(types.GetPtr());
    for (unsigned long t = 0; t < typeCount; ++t) {
        KCMemObj ids;
        unsigned long idCount = 0;
        status = RMGetResIDList(container, KCFourCC(codes[t]), ids, idCount);
        if (status == eNoErr) {
            const auto* numbers = static_cast<const uint16_t*>(ids.GetPtr());
            for (unsigned long i = 0; i < idCount; ++i)
                keys.emplace_back(KCFourCC(codes[t]), static_cast<short>(numbers[i]));
        }
        ids.DisposePtr();
        if (status != eNoErr && stopAtFailure)
            break;
    }
    types.DisposePtr();
    return status;
}

} // namespace

long KCRMUtils::DuplicateResToRes(KTResContainerType* const source, KCFourCC sourceType,
                                  short sourceId, KTResContainerType* const target,
                                  KCFourCC targetType, short targetId) {
    KTResourceType* from = nullptr;
    long status = RMGetAResource(source, sourceType, sourceId, from, nullptr);
    if (status != eNoErr)
        return status;
    if (from == nullptr)
        return eRMContainerNotFound; // an invalid source container
    void* data = nullptr;
    unsigned long size = 0;
    RMGetResData(from, data);
    RMGetResSize(from, size);
    void* copy = KCMemUtils::NewKTPtrClear(size);
    if (copy == nullptr && size != 0) {
        status = eMemNewFailed;
    } else {
        if (size != 0)
            std::memcpy(copy, data, size);
        KTResourceType* to = nullptr;
        status = RMAddOrReplaceResource(target, targetType, targetId, copy, size, to, nullptr);
        if (status == eNoErr)
            status = RMWriteResource(to);
        else
            KCMemUtils::DisposeKTPtr(copy); // the target did not take it over
    }
    RMReleaseResource(from);
    return status;
}

long KCRMUtils::GetResourcesList(KTResContainerType* const container, std::vector<KCResKey>& keys) {
    return ListKeys(container, keys, false);
}

KCStResContainer::KCStResContainer(const kvFM::KCStPath& path, long flags) {
    error = RMOpenResContainer(path, flags, container);
}

KCStResContainer::KCStResContainer(KTNativeContainerType* const module) : attached(true) {
    error = RMAttachResContainer(module, container);
    if (error != eNoErr)
        container = nullptr;
}

KCStResContainer::~KCStResContainer() {
    if (IsValid())
        RMCloseResContainer(container);
}

void KCStResContainer::GetPath(kvFM::KCStPath& path) const {
    RMGetPath(container, path);
}

void KCStResContainer::GetPathToActualFile(KCFourCC type, short id, kvFM::KCStPath& path) const {
    RMGetPathToActualFile(container, type, id, path);
}

KTNativeContainerType* KCStResContainer::GetNativeContainerRef() {
    KTNativeContainerType* module = nullptr;
    error = RMGetNativeContainer(container, module);
    return module;
}

bool KCStResContainer::DoesNativeResourceExist(KCFourCC type, short id) const {
    return RMDoesNativeResourceExist(container, type, id);
}

long KCStResContainer::GetResourceList(std::vector<KCResKey>& keys) const {
    return ListKeys(container, keys, true);
}

KCStRes::KCStRes(KTResContainerType* container, KCFourCC type, short id,
                 const KSResConvertFuncs* convert) {
    error = RMGetAResource(container, type, id, resource, convert);
}

KCStRes::~KCStRes() {
    if (IsValid() && releaseInDestructor)
        RMReleaseResource(resource);
}

void* KCStRes::GetResData() const {
    void* data = nullptr;
    error = RMGetResData(resource, data);
    return data;
}

unsigned long KCStRes::GetResSize() const {
    unsigned long size = 0;
    error = RMGetResSize(resource, size);
    return size;
}

long KCStRes::CopyResourceToMemObj(KCMemObj& out) {
    if (!IsValid())
        return error;
    return RMCopyResourceToMemObj(resource, out);
}

KCStNativeRes::KCStNativeRes(KTResContainerType* container, KCFourCC type, short id) {
    error = RMGetNativeResource(container, type, id, resource);
}

KCStNativeRes::~KCStNativeRes() {
    if (IsValid())
        RMReleaseNativeResource(resource);
}
