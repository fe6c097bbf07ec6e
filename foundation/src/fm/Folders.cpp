#include "FMInternal.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMFolders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvFM {

namespace {

std::string Below(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool Lstat(const std::string& text, struct stat& st) {
    return ::lstat(text.c_str(), &st) == 0;
}

KTErr CreateFolderText(const std::string& text) {
    struct stat st;
    if (::stat(text.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? eNoErr : eFMIsNotAFolder;
    if (errno != ENOENT)
        return detail::StatusOfErrno(errno);
    const std::string parent = detail::ParentText(text);
    if (parent != text) {
        if (KTErr err = CreateFolderText(parent))
            return err;
    }
    if (::mkdir(text.c_str(), 0777) == 0)
        return eNoErr;
    const int err = errno;
    if (err == EEXIST && ::stat(text.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return eNoErr; // made by someone else in the meantime
    return detail::StatusOfErrno(err);
}

struct FolderIteration {
    DIR* dir;
    std::string folder;
};

// The next entry other than "." and "..": 0 with `name` set, eFMEndOfFolder
// at the end, or the failure's status.
KTErr NextEntry(FolderIteration& it, std::string& name) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(it.dir);
        if (entry == nullptr)
            return errno == 0 ? eFMEndOfFolder : detail::StatusOfErrno(errno);
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        name = entry->d_name;
        return eNoErr;
    }
}

void EndIteration(void*& iterator) {
    auto* it = static_cast<FolderIteration*>(iterator);
    if (it != nullptr) {
        ::closedir(it->dir);
        delete it;
    }
    iterator = nullptr;
}

} // namespace

KTErr CreateFolder(KTPathType* path) {
    if (path == nullptr)
        return eMemNullPointer;
    if (!IsValid(path))
        return eFMIllegalPathRef;
    return CreateFolderText(path->text);
}

KTErr CreateFolder(const KCStPath& path) {
    return CreateFolder(path.GetPathRef());
}

KTErr DeleteFileSystemObject(KTPathType* path) {
    if (path == nullptr)
        return eMemNullPointer;
    struct stat st;
    if (!Lstat(path->text, st))
        return eFMDeleteFailed;
    const int rc = S_ISDIR(st.st_mode) ? ::rmdir(path->text.c_str()) : ::unlink(path->text.c_str());
    if (rc != 0)
        return detail::StatusOfErrno(errno == EEXIST ? ENOTEMPTY : errno);
    return eNoErr;
}

KTErr DeleteFileSystemObject(const KCStPath& path) {
    return DeleteFileSystemObject(path.GetPathRef());
}

KTErr MoveFileSystemObject(KTPathType* from, KTPathType* to) {
    if (from == nullptr || !DoesFileExist(from))
        return eFMFileNotFound;
    if (to != nullptr && DoesFileExist(to))
        return eFMFileAllreadyExists;
    if (!IsValid(to))
        return eFMIllegalPathRef;
    // Never replaces an object that appeared at `to` in the meantime.
    if (::renameat2(AT_FDCWD, from->text.c_str(), AT_FDCWD, to->text.c_str(), RENAME_NOREPLACE) ==
        0)
        return eNoErr;
    if (errno == EINVAL || errno == ENOSYS) {
        if (::rename(from->text.c_str(), to->text.c_str()) == 0)
            return eNoErr;
    }
    return detail::StatusOfErrno(errno);
}

KTErr MoveFileSystemObject(const KCStPath& from, const KCStPath& to) {
    return MoveFileSystemObject(from.GetPathRef(), to.GetPathRef());
}

KTErr DuplicateFile(KTPathType* from, KTPathType* to) {
    if (from == nullptr || !DoesFileExist(from))
        return eFMFileNotFound;
    if (!IsFile(from))
        return eFMIsNotAFile;
    if (IsSamePath(from, to) || IsSameFile(from, to))
        return eFMSamePath;
    if (to == nullptr)
        return eMemNullPointer;
    if (DoesFileExist(to))
        return eFMFileAllreadyExists;
    if (!IsValid(to))
        return eFMIllegalPathRef;

    // The source is opened as every file is: a pipe or device is refused
    // instead of being waited on.
    KTOpenFileType* in = GetInvalidOpenFileRef();
    if (KTErr err = OpenFile(from, eReadPermission, in))
        return err;
    struct stat st;
    KTErr err = ::stat(from->text.c_str(), &st) == 0 ? eNoErr : ConvertErrorPOSIX(errno);
    const std::string folder = detail::ParentText(to->text);
    if (err == eNoErr && ::access(folder.c_str(), F_OK) != 0)
        err = ConvertErrorPOSIX(errno);
    // The copy is made under a temporary name and moved into place: a
    // failed copy leaves no half file behind.
    if (err == eNoErr)
        err = detail::WriteBeside(to->text, st.st_mode & 07777, false, [in](int out) -> KTErr {
            char buffer[1 << 16];
            for (;;) {
                unsigned long got = 0;
                if (KTErr readErr = ReadFromFile(in, buffer, sizeof buffer, got))
                    return readErr;
                if (got == 0)
                    return eNoErr;
                if (KTErr writeErr = detail::WriteAll(out, buffer, got))
                    return writeErr;
            }
        });
    CloseFile(in);
    return err;
}

KTErr DuplicateFile(const KCStPath& from, const KCStPath& to) {
    return DuplicateFile(from.GetPathRef(), to.GetPathRef());
}

KTErr FindFirstFolderItem(KTPathType* folder, void*& iterator, KTPathType*& item) {
    iterator = nullptr;
    item = nullptr;
    if (!IsFolder(folder))
        return eFMIsNotAFolder;
    DIR* dir = ::opendir(folder->text.c_str());
    if (dir == nullptr)
        return detail::StatusOfErrno(errno);
    auto* it = new FolderIteration{dir, folder->text};
    void* handle = it;
    std::string name;
    const KTErr err = NextEntry(*it, name);
    if (err != eNoErr) {
        EndIteration(handle);
        return err;
    }
    iterator = handle;
    item = detail::NewPathRef(Below(it->folder, name));
    return eNoErr;
}

KTErr FindNextFolderItem(void*& iterator, KTPathType*& item) {
    item = nullptr;
    if (iterator == nullptr)
        return eFMEndOfFolder;
    auto* it = static_cast<FolderIteration*>(iterator);
    std::string name;
    const KTErr err = NextEntry(*it, name);
    if (err != eNoErr) {
        EndIteration(iterator);
        return err;
    }
    item = detail::NewPathRef(Below(it->folder, name));
    return eNoErr;
}

KTErr DisposeFolderIterator(void*& iterator) {
    EndIteration(iterator);
    return eNoErr;
}

KTErr SetFileTypeInfo(KTPathType*, const KCFileType&) {
    return eNoErr;
}

KTErr SetFileTypeInfo(const KCStPath&, const KCFileType&) {
    return eNoErr;
}

bool OnlyFiles::operator()(const KCStPath& item) const {
    return !item.IsFolder();
}

OnlyFiles gOnlyFiles;

KCStFolderIterator::KCStFolderIterator(const KCStPath& folder) : iterator(nullptr) {
    KTPathType* first = nullptr;
    error = FindFirstFolderItem(folder.GetPathRef(), iterator, first);
    if (error == eNoErr)
        current.TakeOver(first);
}

KCStFolderIterator::~KCStFolderIterator() {
    error = DisposeFolderIterator(iterator);
}

bool KCStFolderIterator::GetNextFolderItem(KCStPath& out) {
    if (error != eNoErr)
        return false;
    out = current;
    KTPathType* next = nullptr;
    error = FindNextFolderItem(iterator, next);
    if (error == eNoErr)
        current.TakeOver(next);
    return true;
}

KTErr KCStFolderIterator::GetFilePathVectorFromFolder(const KCStPath& folder,
                                                      const FileFilterFunctor& filter,
                                                      std::vector<KCStPath>& out) {
    if (!folder.IsFolder())
        return eNoErr;
    KCStFolderIterator it(folder);
    // An empty folder appends nothing; a folder that cannot be read (or
    // fails in the middle) is reported, not passed off as empty.
    if (it.GetError() != eNoErr && it.GetError() != eFMEndOfFolder)
        return it.GetError();
    KCStPath item;
    while (it.GetNextFolderItem(item)) {
        if (filter(item))
            out.push_back(item);
    }
    return it.GetError() == eFMEndOfFolder ? eNoErr : it.GetError();
}

// Shortcuts: symbolic links.

KTErr ResolveWinShortcut(KTPathType* link, KTPathType*& target) {
    target = nullptr;
    if (link == nullptr)
        return eMemNullPointer;
    if (!IsValid(link))
        return eFMIllegalPathRef;
    struct stat st;
    if (!Lstat(link->text, st))
        return errno == ENOENT || errno == ENOTDIR ? eFMFileNotFound : ConvertErrorPOSIX(errno);
    if (!S_ISLNK(st.st_mode))
        return eFMIsNoAFileSystemLink;
    std::string dest(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(link->text.c_str(), dest.data(), dest.size());
    if (n < 0)
        return ConvertErrorPOSIX(errno);
    if (static_cast<size_t>(n) >= dest.size())
        return eFMPathTooLong; // the link changed while it was read
    dest.resize(static_cast<size_t>(n));
    if (dest.empty())
        return eFMSymlinkBroken;
    if (dest[0] != '/')
        dest = Below(detail::ParentText(link->text), dest);
    struct stat tst;
    if (::stat(link->text.c_str(), &tst) != 0)
        return errno == ELOOP ? eFMTooManySymlinks : eFMSymlinkBroken;
    return CreatePathRefFromString(dest.c_str(), target);
}

bool IsWinShortcut(KTPathType* path) {
    KTPathType* target = nullptr;
    const bool ok = ResolveWinShortcut(path, target) == eNoErr;
    DisposePathRef(target);
    return ok;
}

bool IsFileSystemLink(KTPathType* path) {
    return IsWinShortcut(path);
}

KTErr ResolveFileSystemLink(KTPathType* link, KTPathType*& target) {
    target = nullptr;
    if (!IsWinShortcut(link))
        return eFMIsNoAFileSystemLink;
    return ResolveWinShortcut(link, target);
}

KTErr CreateFileSystemLink(KTPathType* target, KECreateFlags, KTPathType*& link) {
    if (target == nullptr || link == nullptr)
        return eMemNullPointer;
    if (!IsValid(target) || !IsValid(link))
        return eFMIllegalPathRef;
    const std::string parent = detail::ParentText(link->text);
    if (KTErr err = CreateFolderText(parent))
        return err;
    struct stat st;
    if (!Lstat(link->text, st)) {
        if (::symlink(target->text.c_str(), link->text.c_str()) != 0)
            return ConvertErrorPOSIX(errno);
        return eNoErr;
    }
    if (!S_ISLNK(st.st_mode))
        return eFMFileAllreadyExists;
    // Replace an existing link in one step: a new link beside it, renamed.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".KSLink%d.%d", static_cast<int>(::getpid()), attempt);
        const std::string temp = link->text + suffix;
        if (::symlink(target->text.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST)
                continue;
            return ConvertErrorPOSIX(errno);
        }
        if (::rename(temp.c_str(), link->text.c_str()) != 0) {
            const KTErr err = ConvertErrorPOSIX(errno);
            ::unlink(temp.c_str());
            return err;
        }
        return eNoErr;
    }
    return eFMCreateFailed;
}

// System folders

namespace {

bool IsAbsolute(const char* text) {
    return text != nullptr && text[0] == '/';
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home))
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && IsAbsolute(pw->pw_dir))
        return pw->pw_dir;
    return std::string();
}

std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (IsAbsolute(config))
        return config;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : Below(home, ".config");
}

std::string CommonConfigFolder() {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    if (IsAbsolute(dirs)) {
        const std::string all = dirs;
        return all.substr(0, all.find(':'));
    }
    return "/etc/xdg";
}

// XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop.
std::string UserDesktopFolder() {
    const std::string home = HomeFolder();
    if (home.empty())
        return std::string();
    std::ifstream dirs(Below(UserConfigFolder(), "user-dirs.dirs"));
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_DESKTOP_DIR=\"";
        if (line.compare(0, key.size(), key) != 0 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return Below(home, "Desktop");
}

// The application-data folder of the domain, made when missing.
std::string AppDataFolder(KEFoldersDomain domain) {
    std::string folder;
    if (domain == eUserDomain)
        folder = UserConfigFolder();
    else if (domain == eLocalDomain)
        folder = CommonConfigFolder();
    if (folder.empty())
        return folder;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        if (CreateFolderText(folder) != eNoErr)
            return std::string();
        if (domain == eUserDomain)
            ::chmod(folder.c_str(), 0700);
    } else if (!S_ISDIR(st.st_mode)) {
        return std::string();
    }
    return folder;
}

std::string CurrentFolder() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            return buffer.c_str();
        if (errno != ERANGE || buffer.size() > (1u << 16))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return IsAbsolute(tmp) ? tmp : "/tmp";
}

// The folder's text: empty when the system cannot name it.
std::string SystemFolderText(KEFoldersDomain domain, KESystemFolders kind) {
    const bool knownDomain = domain == eLocalDomain || domain == eUserDomain;
    switch (kind) {
    case eSystemFolder:
        return "/usr/lib";
    case eDesktopFolder:
        // There is no desktop shared by all users here.
        return domain == eUserDomain ? UserDesktopFolder() : std::string();
    case ePreferencesFolder:
    case eCacheFolder:
    case eAppDataFolder:
        return knownDomain ? AppDataFolder(domain) : std::string();
    case eQuorlPreferencesFolder:
    case eQuorlCacheFolder:
    case eQuorlAppDataFolder: {
        if (!knownDomain)
            return std::string();
        const std::string base = AppDataFolder(domain);
        if (base.empty())
            return base;
        if (kind == eQuorlPreferencesFolder)
            return Below(base, "Quorl Audio/Preferences");
        if (kind == eQuorlCacheFolder)
            return Below(base, "Quorl Audio/Caches");
        return Below(base, "Quorl Audio");
    }
    case eTemporaryFolder:
        return TemporaryFolder();
    case eCurrentFolder:
        return CurrentFolder();
    case eRootFolder:
        return "/";
    default:
        return std::string();
    }
}

} // namespace

KTErr CreateSystemFolderPathRef(KEFoldersDomain domain, KESystemFolders kind, KTPathType*& out) {
    out = nullptr;
    if (domain != eSystemDomain && domain != eLocalDomain && domain != eUserDomain)
        return eFMNoSuchSystemFolder;
    const std::string text = SystemFolderText(domain, kind);
    if (text.empty())
        return eFMNoSuchSystemFolder;
    return CreatePathRefFromString(text.c_str(), out);
}

const char* KEFoldersDomainName(KEFoldersDomain domain) {
    switch (domain) {
    case eSystemDomain:
        return "eSystemDomain";
    case eLocalDomain:
        return "eLocalDomain";
    case eUserDomain:
        return "eUserDomain";
    }
    return "Unknown Folder Domain";
}

const char* KESystemFoldersName(KESystemFolders kind) {
    static const char* const names[] = {
        "eSystemFolder",           "eDesktopFolder",     "ePreferencesFolder",
        "eQuorlPreferencesFolder", "eTemporaryFolder",   "eTrashFolder",
        "eCurrentFolder",          "eRootFolder",        "eLibrariesFolder",
        "eAudioComponentsFolder",  "eCacheFolder",       "eQuorlCacheFolder",
        "eAppDataFolder",          "eQuorlAppDataFolder"};
    const int i = static_cast<int>(kind);
    return i >= 0 && i < 14 ? names[i] : "Unknown System Folder";
}

} // namespace kvFM
