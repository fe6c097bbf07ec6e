// Paths of the file manager: the opaque path reference, its free functions
// and the scoped path classes.
//
// A path is held as an absolute POSIX text with '/' separators. A '\' in any
// text handed to the file manager is read as a separator too. A path is
// valid when its text begins with '/'; relative texts never make a valid
// reference. Every component taken from a text must be non-empty and must
// hold none of the bytes 1 to 31 nor any of  < > | "  ("." and ".." are
// resolved when the reference is built).
#pragma once

#include "foundation/KTErr.h"
#include "foundation/KUValidatable.h"

#include <cstdint>
#include <string>

// Opaque path reference; made by the kvFM functions below, freed by
// kvFM::DisposePathRef or by the KCStPath that owns it.
struct KTPathType;

namespace kvFM {

// Texts handed back by the path functions: cut at 1,023 characters.
constexpr unsigned kPathStringSize = 1024;
using KTPathString = char[kPathStringSize];

enum KEFoldersDomain : int { eSystemDomain = 0, eLocalDomain = 1, eUserDomain = 2 };

enum KESystemFolders : int {
    eSystemFolder = 0,
    eDesktopFolder = 1,
    ePreferencesFolder = 2,
    eQuorlPreferencesFolder = 3,
    eTemporaryFolder = 4,
    eTrashFolder = 5,
    eCurrentFolder = 6,
    eRootFolder = 7,
    eLibrariesFolder = 8,
    eAudioComponentsFolder = 9,
    eCacheFolder = 10,
    eQuorlCacheFolder = 11,
    eAppDataFolder = 12,
    eQuorlAppDataFolder = 13,
};

KTErr CreatePathRefFromString(const char* text, KTPathType*& out);
KTErr CreatePathRef(KTPathType* parent, const char* leaf, KTPathType*& out);
KTErr CreatePathRefToCacheFile(KTPathType* path, KTPathType*& out);
KTErr DisposePathRef(KTPathType*& ref);

bool IsValid(KTPathType* ref);
bool DoesFileExist(KTPathType* ref);
bool IsFolder(KTPathType* ref);
bool IsFile(KTPathType* ref);
bool IsSamePath(KTPathType* a, KTPathType* b);
bool IsSameFile(KTPathType* a, KTPathType* b);

// The stored '/' text (not cut); a static empty text for null.
const char* GetPathAsString(KTPathType* ref);
// The form handed to system calls (on this platform the '/' text itself).
char* GetNativePathAsString(KTPathType* ref, KTPathString& out);
char* GetPathAsPosixString(KTPathType* ref, KTPathString& out);
char* GetLeaf(KTPathType* ref, KTPathString& out);
char* GetBase(KTPathType* ref, KTPathString& out);
char* GetExtension(KTPathType* ref, KTPathString& out);
KTErr GetRelativeDifference(KTPathType* from, KTPathType* to, KTPathString& out);

// Checks a text before it becomes a path: a text that does not fit in a
// KTPathString (or is longer than the system allows) gives eFMPathTooLong;
// it is never cut.
KTErr NormalizePathString(const char* text, KTPathString& out);

KTErr GetFileSizeFromPathRef(KTPathType* ref, uint64_t& size);
KTErr GetFileLastWriteTimeFromPathRef(KTPathType* ref, int64_t& time);
// `locked` is true when the object has no write permission bit at all.
KTErr IsLocked(KTPathType* ref, bool& locked);
bool IsWritable(KTPathType* ref);

// Shortcuts are symbolic links (see kvFMFolders.h).
bool IsFileSystemLink(KTPathType* ref);
KTErr ResolveFileSystemLink(KTPathType* link, KTPathType*& target);

KTErr CreateSystemFolderPathRef(KEFoldersDomain domain, KESystemFolders kind, KTPathType*& out);

class KCStPath : public KUValidatable {
public:
    KCStPath();
    KCStPath(const std::string& text);
    KCStPath(const char* text) : KCStPath(std::string(text ? text : "")) {}
    KCStPath(KTPathType* folder, const std::string& leaf);
    KCStPath(const KCStPath& folder, const std::string& leaf);
    KCStPath(const KCStPath& other);
    KCStPath(KEFoldersDomain domain, KESystemFolders kind);
    ~KCStPath() override;

    KCStPath& operator=(const KCStPath& other);
    KCStPath& operator=(KTPathType* other);

    bool operator==(const KCStPath& other) const;
    bool operator!=(const KCStPath& other) const { return !(*this == other); }
    bool operator==(KTPathType* other) const;
    bool operator!=(KTPathType* other) const { return !(*this == other); }

    void Clear();
    void TakeOver(KTPathType* ref);
    void Append(const std::string& leaf);
    void ResolveFileSystemLink();

    bool IsFolder() const;
    bool IsFile() const;
    bool IsFileSystemLink() const;
    bool IsWritable() const;
    bool IsExist() const;
    bool IsLocked() const;
    uint64_t GetFileSize() const;
    int64_t GetFileLastWriteTime() const;

    KTPathType* GetPathRef() const { return ref; }
    KTPathType* CreatePathRefCopy() const;

    std::string GetPathString() const;
    std::string GetNativePathString() const;
    std::string GetPosixPathString() const;
    std::string GetLeaf() const;
    std::string GetBase() const;
    std::string GetExtension() const;
    std::string GetRelativeDifference(KTPathType* to) const;
    std::string GetRelativeDifference(const KCStPath& to) const;

protected:
    bool IsValidSelf() const override;

    KTPathType* ref;
};

bool operator==(KTPathType* a, const KCStPath& b);

// A copy of a file's path moved into the user's cache folder.
class KCStCachePath : public KCStPath {
public:
    explicit KCStCachePath(const KCStPath& file);
};

// An absolute text as it is; a relative one below the current folder.
class KCStPathAbsoluteOrRelative : public KCStPath {
public:
    explicit KCStPathAbsoluteOrRelative(const std::string& text);
};

const char* KEFoldersDomainName(KEFoldersDomain domain);
const char* KESystemFoldersName(KESystemFolders kind);

} // namespace kvFM
