// Resource converters ('dflt' keeps the bytes, 'XMLR' makes a CXMLElement
// tree), XML resources, the static resource utilities and the scoped
// classes that own one handle of the resource manager each.
#pragma once

#include "foundation/KCMemObj.h"
#include "foundation/KCStPath.h"
#include "foundation/KUValidatable.h"
#include "foundation/RM.h"

#include <vector>

namespace kvXML {
class CXMLElement;
}

// 'dflt': the working form is the raw block itself (a process-heap block,
// see KCMemUtils); release frees it.
long DefaultResLoadConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                           void* userData);
long DefaultResSaveConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                           void* userData);
long DefaultResRelease(void* data, void* userData);
extern const KSResConvertFuncs kDefaultResConvertFuncs;

// 'XMLR': the working form is the root CXMLElement* of the parsed text, its
// size 1. Load: eMemNullPointer for a null block or fewer than 4 bytes,
// eXMLParserFailed for text that is not well-formed. Save: the tree's text
// in a new process-heap block (no terminating zero). Release deletes the tree.
long XMLResToXMLElementConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                               void* userData);
long XMLElementToXMLResConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                               void* userData);
long XMLElementRelease(void* data, void* userData);
extern const KSResConvertFuncs kXMLResConvertFuncs;

// Gets an XML resource: `root` is the tree the resource owns (release the
// resource with RMReleaseResource; never delete the tree). Every holder of
// the same loaded key sees the same tree.
long GetXMLResource(KTResContainerType* const container, KCFourCC type, short id,
                    kvXML::CXMLElement*& root, KTResourceType*& resource);
// Adds a tree as a new XML resource; the resource takes the tree over and
// writes it as text on the next write.
long AddXMLResource(KTResContainerType* const container, KCFourCC type, short id,
                    kvXML::CXMLElement* root, KTResourceType*& resource);

class KCRMUtils {
public:
    KCRMUtils() = default;
    KCRMUtils(const KCRMUtils&) = default;
    KCRMUtils& operator=(const KCRMUtils&) { return *this; }

    // Copies the bytes of one resource into another container (or another
    // key) and writes it there. The result is the status of the add or of
    // the write.
    static long DuplicateResToRes(KTResContainerType* const source, KCFourCC sourceType,
                                  short sourceId, KTResContainerType* const target,
                                  KCFourCC targetType, short targetId);
    // Appends a key for every numbered resource of every four-character type
    // of the container; a type whose number list fails adds nothing. The
    // result is the status of the last type's number list.
    static long GetResourcesList(KTResContainerType* const container, std::vector<KCResKey>& keys);
};

// Owns one container handle, opened from a path or attached to a module.
class KCStResContainer : public KUValidatable {
public:
    KCStResContainer(const kvFM::KCStPath& path, long flags);
    explicit KCStResContainer(KTNativeContainerType* const module);
    ~KCStResContainer() override;
    KCStResContainer(const KCStResContainer&) = delete;
    KCStResContainer& operator=(const KCStResContainer&) = delete;

    KTResContainerType* GetResContainerRef() const { return container; }
    void GetPath(kvFM::KCStPath& path) const;
    void GetPathToActualFile(KCFourCC type, short id, kvFM::KCStPath& path) const;
    KTNativeContainerType* GetNativeContainerRef();
    bool DoesNativeResourceExist(KCFourCC type, short id) const;
    // As KCRMUtils::GetResourcesList, but the first failing number list ends
    // it with its status.
    long GetResourceList(std::vector<KCResKey>& keys) const;

protected:
    bool IsValidSelf() const override { return container != nullptr; }

private:
    KTResContainerType* container = nullptr;
    bool attached = false;
};

// Owns one resource handle; releases it in the destructor unless told not to.
class KCStRes : public KUValidatable {
public:
    KCStRes(KTResContainerType* container, KCFourCC type, short id,
            const KSResConvertFuncs* convert);
    ~KCStRes() override;
    KCStRes(const KCStRes&) = delete;
    KCStRes& operator=(const KCStRes&) = delete;

    void SetReleaseInDestructor(bool release) { releaseInDestructor = release; }
    void* GetResData() const;
    unsigned long GetResSize() const;
    KTResourceType* GetResRef() const { return resource; }
    long CopyResourceToMemObj(KCMemObj& out);

protected:
    bool IsValidSelf() const override { return resource != nullptr; }

private:
    KTResourceType* resource = nullptr;
    bool releaseInDestructor = true;
};

// Points at the raw bytes of one resource in its container.
class KCStNativeRes : public KUValidatable {
public:
    KCStNativeRes(KTResContainerType* container, KCFourCC type, short id);
    ~KCStNativeRes() override;
    KCStNativeRes(const KCStNativeRes&) = delete;
    KCStNativeRes& operator=(const KCStNativeRes&) = delete;

    KTNativeResourceType* GetResData() const { return resource; }

protected:
    bool IsValidSelf() const override { return resource != nullptr; }

private:
    KTNativeResourceType* resource = nullptr;
};
