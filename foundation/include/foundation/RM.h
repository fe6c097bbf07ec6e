// The resource manager: typed resources read from program files.
//
// A resource container is one ELF file (library or program) opened as data,
// or a loaded module attached by its dlopen handle. A resource is addressed
// in a container by a four-character type and a 16-bit number, converted on
// load into its working form by a converter record (KSResConvertFuncs, see
// ResConverters.h) and reference counted while loaded. The manager can also
// add, replace, delete and write back resources of a container's file.
//
// All functions run on one thread (the GUI thread); RMInit must have run.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KCMemObj.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

#include <compare>
#include <cstdint>

// Opaque handles. A container handle is the address of its
// KCResContainerInfo, a resource handle the address of its record; both are
// checked against the manager's live objects before use.
struct KTResContainerType;
struct KTResourceType;
// A module: a dlopen handle, or the manager's own token for a file opened as
// data.
struct KTNativeContainerType;
// The raw bytes of a resource inside its container (no copy, no count).
struct KTNativeResourceType;

// A resource key: type, then number.
struct KCResKey {
    KCFourCC type;
    short id = 0;

    KCResKey() = default;
    KCResKey(KCFourCC type, short id) : type(type), id(id) {}
    bool operator==(const KCResKey& other) const {
        return type.Get() == other.type.Get() && id == other.id;
    }
    std::strong_ordering operator<=>(const KCResKey& other) const {
        if (auto c = type.Get() <=> other.type.Get(); c != 0)
            return c;
        return id <=> other.id;
    }
};

// The converter record (see ResConverters.h).
struct KSResConvertFuncs {
    long (*load)(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                 void* userData);
    long (*save)(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                 void* userData);
    long (*release)(void* data, void* userData);
    void* userData;
    KCFourCC code;
};

KTErr RMInit(long value);
KTErr RMDispose();

KTErr RMIsResContainer(const kvFM::KCStPath& path, bool& isContainer);
KTErr RMOpenResContainer(const kvFM::KCStPath& path, long flags, KTResContainerType*& out);
KTErr RMAttachResContainer(KTNativeContainerType* module, KTResContainerType*& out);
KTErr RMCloseResContainer(KTResContainerType*& container);
KTErr RMDetachResContainer(KTResContainerType*& container);
KTErr RMWriteResContainer(KTResContainerType* container);

KTErr RMGetNativeContainer(KTResContainerType* container, KTNativeContainerType*& out);
KTErr RMGetResContainer(KTNativeContainerType* module, KTResContainerType*& out);
KTErr RMGetPath(KTResContainerType* container, kvFM::KCStPath& out);
KTErr RMGetPathToActualFile(KTResContainerType* container, KCFourCC type, short id,
                            kvFM::KCStPath& out);

KTErr RMGetResTypeList(KTResContainerType* container, KCMemObj& list, unsigned long& count);
KTErr RMGetResIDList(KTResContainerType* container, KCFourCC type, KCMemObj& list,
                     unsigned long& count);

KTErr RMGetAResource(KTResContainerType* container, KCFourCC type, short id, KTResourceType*& out,
                     const KSResConvertFuncs* convert);
KTErr RMReleaseResource(KTResourceType*& resource);
KTErr RMCopyResourceToMemObj(KTResourceType* resource, KCMemObj& out);
KTErr RMIsResourceLoaded(KTResContainerType* container, KCFourCC type, short id, bool& loaded);
KTErr RMGetResData(KTResourceType* resource, void*& data);
KTErr RMGetResSize(KTResourceType* resource, unsigned long& size);
KTErr RMGetResInfo(KTResourceType* resource, KCFourCC& type, short& id);

KTErr RMGetNativeResource(KTResContainerType* container, KCFourCC type, short id,
                          KTNativeResourceType*& out);
KTErr RMReleaseNativeResource(KTNativeResourceType*& resource);
bool RMDoesNativeResourceExist(KTResContainerType* container, KCFourCC type, short id);

KTErr RMAddResource(KTResContainerType* container, KCFourCC type, short id, void* data,
                    unsigned long size, KTResourceType*& out, const KSResConvertFuncs* convert);
KTErr RMAddOrReplaceResource(KTResContainerType* container, KCFourCC type, short id, void* data,
                             unsigned long size, KTResourceType*& out,
                             const KSResConvertFuncs* convert);
KTErr RMDeleteResource(KTResourceType* resource);
KTErr RMUpdateResource(KTResourceType* resource, void* data, unsigned long size);
KTErr RMWriteResource(KTResourceType* resource);

long RMContainerOpenCount(KTResContainerType* container);
long RMFileOpenCount(const kvFM::KCStPath& path);
