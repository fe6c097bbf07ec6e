// The object behind a resource container handle and the record behind a
// resource handle. The resource manager (RM.h) is their only user; this
// header is public so that tests and tools can look at a container's state.
#pragma once

#include "foundation/ElfRes.h"
#include "foundation/KCStPath.h"
#include "foundation/KUValidatable.h"
#include "foundation/RM.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

class KCResContainerInfo;

// Pending changes of a resource record.
enum KEResState : unsigned {
    eResAdded = 2,
    eResChanged = 4,
    eResDeleted = 16,
};

// One loaded, added or changed resource.
struct KSResRecord {
    KCResKey key;                // the type as the caller gave it, and the number
    void* data = nullptr;        // working (converted) data
    unsigned long size = 0;      // the size the converter reported
    long refCount = 0;           // holders of the handle
    unsigned state = 0;          // KEResState bits; 0 when nothing is pending
    KSResConvertFuncs converter; // how `data` was made and is released
    KCResContainerInfo* container = nullptr;
};

class KCResContainerInfo : public KUValidatable {
public:
    // Opens the file as data; the status is the load's result.
    KCResContainerInfo(const kvFM::KCStPath& path, long flags, long managerValue);
    // Attaches a loaded module (a dlopen handle); the path is the module's
    // file. The container is never writable.
    KCResContainerInfo(KTNativeContainerType* module, long managerValue);
    // Releases every record and, for a file opened as data, its image.
    ~KCResContainerInfo() override;

    KCResContainerInfo(const KCResContainerInfo&) = delete;
    KCResContainerInfo& operator=(const KCResContainerInfo&) = delete;

    const kvFM::KCStPath& GetPath() const { return path; }
    KTNativeContainerType* GetModule() const { return module; }
    long& OpenCount() { return openCount; }
    long OpenCount() const { return openCount; }
    void MarkAttached() { attached = true; }
    bool IsAttached() const { return attached; }
    bool IsWritable() const { return writable != 0; }

    // The file's resources as read when the container was (re)loaded.
    const kvElfRes::Image* GetImage() const { return image.get(); }
    // The stored bytes of a resource; null with eRMResNotFound when the file
    // has none (or an empty one).
    const kvElfRes::ResourceView* FindNative(KCFourCC type, short id) const;

    std::map<KCResKey, KSResRecord*>& Table() { return table; }
    // Records whose deletion was written: out of the table, alive until
    // their last release.
    const std::set<KSResRecord*>& Orphans() const { return orphans; }
    KSResRecord* FindRecord(const KCResKey& key) const;

    // Loading, releasing, adding and changing records.
    KTErr GetResource(KCFourCC type, short id, const KSResConvertFuncs& convert, KSResRecord*& out);
    KTErr ReleaseResource(KSResRecord* record, bool& deleted);
    KTErr AddResource(const KCResKey& key, void* data, unsigned long size,
                      const KSResConvertFuncs& convert, KSResRecord*& out);
    KTErr AddOrReplaceResource(const KCResKey& key, void* data, unsigned long size,
                               const KSResConvertFuncs& convert, KSResRecord*& out);
    KTErr UpdateResource(KSResRecord* record, void* data, unsigned long size);
    KTErr DeleteResource(KSResRecord* record);

    // Writes the pending changes of one record, or of every record, to the
    // file through the resource writer, then reads the file again. On any
    // failure nothing is changed: the pending changes stay and the
    // container keeps its state.
    KTErr WriteResource(KSResRecord* record);
    KTErr WriteAll();

protected:
    bool IsValidSelf() const override { return module != nullptr && openCount > 0; }

private:
    KTErr LoadImage();
    KTErr Write(const std::vector<KSResRecord*>& records);

    kvFM::KCStPath path;
    KTNativeContainerType* module = nullptr;
    long openCount = 0;
    std::map<KCResKey, KSResRecord*> table;
    std::set<KSResRecord*> orphans;
    bool attached = false;
    bool loadedByItself = false;
    long writable = 0;
    long managerValue = 0;
    std::unique_ptr<kvElfRes::Image> image;
};
