// Folders, folder iteration and its filters, file types, system folders and
// shortcuts (symbolic links) of the file manager.
#pragma once

#include "foundation/KCFileType.h"
#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"

#include <vector>

namespace kvFM {

KTErr CreateFolder(KTPathType* path);
KTErr CreateFolder(const KCStPath& path);
KTErr DeleteFileSystemObject(KTPathType* path);
KTErr DeleteFileSystemObject(const KCStPath& path);
KTErr MoveFileSystemObject(KTPathType* from, KTPathType* to);
KTErr MoveFileSystemObject(const KCStPath& from, const KCStPath& to);
KTErr DuplicateFile(KTPathType* from, KTPathType* to);
KTErr DuplicateFile(const KCStPath& from, const KCStPath& to);

// Entries come in the order the system lists them, without "." and "..".
KTErr FindFirstFolderItem(KTPathType* folder, void*& iterator, KTPathType*& item);
KTErr FindNextFolderItem(void*& iterator, KTPathType*& item);
KTErr DisposeFolderIterator(void*& iterator);

KTErr SetFileTypeInfo(KTPathType* path, const KCFileType& type);
KTErr SetFileTypeInfo(const KCStPath& path, const KCFileType& type);

// Item filters of the folder iteration.
class FileFilterFunctor {
public:
    virtual ~FileFilterFunctor() = default;
    virtual bool operator()(const KCStPath& item) const { return true; }
};

class EveryThing : public FileFilterFunctor {};

class OnlyFiles : public FileFilterFunctor {
public:
    bool operator()(const KCStPath& item) const override;
};

// The process-wide OnlyFiles filter.
extern OnlyFiles gOnlyFiles;

class KCStFolderIterator : public KUValidatable {
public:
    explicit KCStFolderIterator(const KCStPath& folder);
    ~KCStFolderIterator() override;
    KCStFolderIterator(const KCStFolderIterator&) = delete;
    KCStFolderIterator& operator=(const KCStFolderIterator&) = delete;

    // Delivers every entry once; false after the last one.
    bool GetNextFolderItem(KCStPath& out);

    // Appends the entries `filter` accepts. A path that is no folder, or an
    // empty folder, appends nothing and gives 0; a folder that cannot be
    // read gives the failure's status.
    static KTErr GetFilePathVectorFromFolder(const KCStPath& folder,
                                             const FileFilterFunctor& filter,
                                             std::vector<KCStPath>& out);

private:
    KCStPath current;
    void* iterator;
};

// Shortcuts are symbolic links here: a link is a shortcut when it resolves
// to an existing object.
bool IsWinShortcut(KTPathType* path);
KTErr ResolveWinShortcut(KTPathType* link, KTPathType*& target);
// Makes `link` a symbolic link to `target`; an existing symbolic link at
// `link` is replaced, any other existing object is left alone
// (eFMFileAllreadyExists).
KTErr CreateFileSystemLink(KTPathType* target, KECreateFlags flags, KTPathType*& link);

} // namespace kvFM
