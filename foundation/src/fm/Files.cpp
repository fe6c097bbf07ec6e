#include "FMInternal.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMFolders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvFM {

namespace {

int FdOf(KTOpenFileType* ref) {
    return static_cast<int>(reinterpret_cast<intptr_t>(ref));
}

KTOpenFileType* RefOf(int fd) {
    return reinterpret_cast<KTOpenFileType*>(static_cast<intptr_t>(fd));
}

int AccessFlags(KEPermitions permission) {
    switch (permission) {
    case eReadPermission:
        return O_RDONLY;
    case eWritePermission:
        return O_WRONLY;
    case eReadWritePermission:
        return O_RDWR;
    default:
        return -1;
    }
}

// The sharing of the permission table: readers share, writers are alone.
// A file already held against the request is a sharing violation, which
// the error table gives as eGenericErr.
KTErr LockForSharing(int fd, KEPermitions permission) {
    const int op = (permission == eReadPermission ? LOCK_SH : LOCK_EX) | LOCK_NB;
    while (::flock(fd, op) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? eGenericErr : ConvertErrorPOSIX(errno);
    }
    return eNoErr;
}

// Opens `text` with `flags` without waiting on it (O_NONBLOCK keeps a pipe
// without a partner from blocking) and keeps it only when it is a regular
// file: a folder gives `folderError`, a named pipe, socket or device
// eFMIsNotAFile.
KTErr OpenRegular(const std::string& text, int flags, KTErr folderError, int& fdOut,
                  struct stat& st) {
    fdOut = -1;
    int fd;
    do
        fd = ::open(text.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        // ENXIO: a pipe without a reader, a socket or a missing device.
        return errno == ENXIO ? eFMIsNotAFile : ConvertErrorPOSIX(errno);
    KTErr err = eNoErr;
    if (::fstat(fd, &st) != 0)
        err = ConvertErrorPOSIX(errno);
    else if (S_ISDIR(st.st_mode))
        err = folderError;
    else if (!S_ISREG(st.st_mode))
        err = eFMIsNotAFile;
    if (err != eNoErr) {
        ::close(fd);
        return err;
    }
    fdOut = fd;
    return eNoErr;
}

// Opens with the permission's access and sharing. Only regular files are
// opened: a folder is refused as before, and a named pipe, socket or device
// gives eFMIsNotAFile. The opening itself never waits; O_NONBLOCK is
// dropped again once the object has been found to be a regular file.
KTErr OpenWith(const std::string& text, int extraFlags, KEPermitions permission, int& fdOut) {
    fdOut = -1;
    const int access = AccessFlags(permission);
    const int flags = access < 0 ? O_PATH : access | extraFlags;
    int fd;
    struct stat st;
    if (KTErr err = OpenRegular(text, flags, ConvertErrorPOSIX(EISDIR), fd, st))
        return err;
    KTErr err = eNoErr;
    if (access >= 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        err = ConvertErrorPOSIX(errno);
    else if (access >= 0)
        err = LockForSharing(fd, permission);
    if (err != eNoErr) {
        ::close(fd);
        return err;
    }
    fdOut = fd;
    return eNoErr;
}

KTErr MoveToEnd(int fd) {
    return ::lseek(fd, 0, SEEK_END) < 0 ? ConvertErrorPOSIX(errno) : eNoErr;
}

// The process's umask, read without changing it (umask() would change it
// for every thread for a moment).
mode_t CurrentUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
        if (n > 0) {
            buffer[n] = '\0';
            if (const char* line = std::strstr(buffer, "\nUmask:"))
                return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8));
        }
    }
    return 022;
}

} // namespace

KTOpenFileType* GetInvalidOpenFileRef() {
    return RefOf(-1);
}

bool IsValidOpenFileRef(KTOpenFileType* ref) {
    return ref != GetInvalidOpenFileRef();
}

KTErr OpenFile(KTPathType* path, KEPermitions permission, KTOpenFileType*& out) {
    out = GetInvalidOpenFileRef();
    if (path == nullptr)
        return eMemNullPointer;
    int fd;
    if (KTErr err = OpenWith(path->text, 0, permission, fd))
        return err;
    if (permission == eWritePermission) {
        if (KTErr err = MoveToEnd(fd)) {
            ::close(fd);
            return err;
        }
    }
    out = RefOf(fd);
    return eNoErr;
}

KTErr CreateAFile(KTPathType* path, KECreateFlags flags, KEPermitions permission,
                  KTOpenFileType*& out) {
    out = GetInvalidOpenFileRef();
    if (path == nullptr)
        return eMemNullPointer;
    KTPathType parent{detail::ParentText(path->text)};
    if (KTErr err = CreateFolder(&parent))
        return err;
    int createFlags;
    switch (flags) {
    case eOpenOrCreate:
    case eCreateAlways:
        createFlags = O_CREAT;
        break;
    case eCreateNew:
        createFlags = O_CREAT | O_EXCL;
        break;
    default:
        return ConvertErrorWIN(87); // invalid parameter
    }
    if (AccessFlags(permission) < 0)
        return ConvertErrorWIN(87);
    int fd;
    if (KTErr err = OpenWith(path->text, createFlags, permission, fd))
        return err;
    // Truncate only once the file is ours, never under another holder.
    if (flags == eCreateAlways && permission != eReadPermission && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        return ConvertErrorPOSIX(err);
    }
    if (permission == eWritePermission) {
        if (KTErr err = MoveToEnd(fd)) {
            ::close(fd);
            return err;
        }
    }
    out = RefOf(fd);
    return eNoErr;
}

KTErr CloseFile(KTOpenFileType*& ref) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    const int fd = FdOf(ref);
    ref = GetInvalidOpenFileRef();
    // close() releases the descriptor even when it reports an error.
    if (::close(fd) != 0 && errno != EINTR)
        return ConvertErrorPOSIX(errno);
    return eNoErr;
}

KTErr ReadFromFile(KTOpenFileType* ref, void* buffer, unsigned long count, unsigned long& done) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    if (count > kMaxTransferPerCall)
        return eFMWrongParameters;
    if (buffer == nullptr && count > 0)
        return eMemNullPointer;
    auto* p = static_cast<char*>(buffer);
    unsigned long total = 0;
    while (total < count) {
        const ssize_t n = ::read(FdOf(ref), p + total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ConvertErrorPOSIX(errno);
        }
        if (n == 0)
            break;
        total += static_cast<unsigned long>(n);
    }
    done = total;
    return eNoErr;
}

KTErr WriteToFile(KTOpenFileType* ref, const void* buffer, unsigned long count,
                  unsigned long& done) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    if (count > kMaxTransferPerCall)
        return eFMWrongParameters;
    if (buffer == nullptr && count > 0)
        return eMemNullPointer;
    const auto* p = static_cast<const char*>(buffer);
    unsigned long total = 0;
    while (total < count) {
        const ssize_t n = ::write(FdOf(ref), p + total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ConvertErrorPOSIX(errno);
        }
        if (n == 0)
            return eFMWriteFailed;
        total += static_cast<unsigned long>(n);
    }
    done = total;
    return eNoErr;
}

KTErr GetFileSizeFromOpenFileRef(KTOpenFileType* ref, uint64_t& size) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    struct stat st;
    if (::fstat(FdOf(ref), &st) != 0)
        return ConvertErrorPOSIX(errno);
    size = static_cast<uint64_t>(st.st_size);
    return eNoErr;
}

KTErr SetFileSize(KTOpenFileType* ref, uint64_t size) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    if (size > static_cast<uint64_t>(INT64_MAX))
        return eFMWrongParameters;
    const auto where = static_cast<off_t>(size);
    if (::ftruncate(FdOf(ref), where) != 0)
        return ConvertErrorPOSIX(errno);
    if (::lseek(FdOf(ref), where, SEEK_SET) < 0)
        return ConvertErrorPOSIX(errno);
    return eNoErr;
}

KTErr SetFileCursor(KTOpenFileType* ref, uint64_t position, KEPositionMode mode) {
    int whence;
    switch (mode) {
    case eFromStart:
        whence = SEEK_SET;
        break;
    case eFromCurrent:
        whence = SEEK_CUR;
        break;
    case eFromEnd:
        whence = SEEK_END;
        break;
    default:
        return eGenericErr;
    }
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    // Relative moves may go backwards: the offset is taken as signed.
    if (::lseek(FdOf(ref), static_cast<off_t>(static_cast<int64_t>(position)), whence) < 0)
        return ConvertErrorPOSIX(errno);
    return eNoErr;
}

KTErr GetFileCursor(KTOpenFileType* ref, uint64_t& position) {
    if (!IsValidOpenFileRef(ref))
        return eFMIllegalOpenFileRef;
    const off_t where = ::lseek(FdOf(ref), 0, SEEK_CUR);
    if (where < 0)
        return ConvertErrorPOSIX(errno);
    position = static_cast<uint64_t>(where);
    return eNoErr;
}

namespace detail {

KTErr WriteAll(int fd, const void* data, uint64_t size) {
    const auto* p = static_cast<const char*>(data);
    uint64_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left > (1u << 30) ? (1u << 30) : left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == ENOSPC ? eFMDiskFull : ConvertErrorPOSIX(errno);
        }
        if (n == 0)
            return eFMWriteFailed;
        p += n;
        left -= static_cast<uint64_t>(n);
    }
    return eNoErr;
}

KTErr WriteBeside(const std::string& target, unsigned mode, bool replace,
                  const std::function<KTErr(int fd)>& fill) {
    const std::string parentText = detail::ParentText(target);
    const std::string leaf = target.substr(target.rfind('/') + 1);
    std::string temp = parentText == "/" ? "/" : parentText + "/";
    temp += (leaf.size() < 200 ? "." + leaf : std::string(".KSwrite")) + ".XXXXXX";
    // mkostemp makes the file and its name in one step, readable by the
    // owner only until the final mode is set.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return ConvertErrorPOSIX(errno);
    KTErr err = fill(fd);
    if (err == eNoErr && ::fchmod(fd, static_cast<mode_t>(mode & 07777)) != 0)
        err = ConvertErrorPOSIX(errno);
    if (err == eNoErr && ::fsync(fd) != 0)
        err = eFMWriteFailed;
    // A failed close may mean lost data: it fails the write.
    if (::close(fd) != 0 && err == eNoErr)
        err = eFMWriteFailed;
    if (err == eNoErr && replace && ::rename(temp.c_str(), target.c_str()) != 0)
        err = ConvertErrorPOSIX(errno);
    if (err == eNoErr && !replace &&
        ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        // Where the file system cannot rename without replacing, a second
        // name made with link() is just as safe: it never replaces either.
        if (errno == EINVAL || errno == ENOSYS) {
            if (::link(temp.c_str(), target.c_str()) != 0)
                err = errno == EEXIST ? eFMFileAllreadyExists : ConvertErrorPOSIX(errno);
        } else {
            err = errno == EEXIST ? eFMFileAllreadyExists : ConvertErrorPOSIX(errno);
        }
        ::unlink(temp.c_str()); // the new file has its final name, or failed
        return err;
    }
    if (err != eNoErr)
        ::unlink(temp.c_str());
    return err;
}

} // namespace detail

KTErr WriteFileAtomically(KTPathType* path, const void* data, uint64_t size, unsigned newFileMode,
                          bool applyUmask, bool keepExistingMode) {
    if (path == nullptr || (data == nullptr && size > 0))
        return eMemNullPointer;
    if (!IsValid(path))
        return eFMIllegalPathRef;
    // A symbolic link stays a link: the file it names is the one replaced.
    std::string target = path->text;
    struct stat link;
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) != nullptr)
            target = resolved;
    }
    KTPathType parent{detail::ParentText(target)};
    if (KTErr err = CreateFolder(&parent))
        return err;

    mode_t mode = newFileMode & 07777;
    struct stat old;
    if (::stat(target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return eFMIsAFolder;
        if (keepExistingMode)
            mode = old.st_mode & 07777;
    } else if (applyUmask) {
        mode &= ~CurrentUmask();
    }
    return detail::WriteBeside(target, mode, true,
                               [&](int fd) { return detail::WriteAll(fd, data, size); });
}

KTErr CreateTempFile(KTOpenFileType*& file, KTPathType*& path) {
    file = GetInvalidOpenFileRef();
    path = nullptr;
    KTPathType* folder = nullptr;
    KTErr err = CreateSystemFolderPathRef(eUserDomain, eTemporaryFolder, folder);
    if (err == eNoErr)
        err = CreateTempFile(folder, file, path);
    DisposePathRef(folder);
    return err;
}

KTErr CreateTempFile(KTPathType* folder, KTOpenFileType*& file, KTPathType*& path) {
    file = GetInvalidOpenFileRef();
    path = nullptr;
    if (folder == nullptr)
        return eMemNullPointer;
    if (KTErr err = CreateFolder(folder))
        return err;
    std::string name = folder->text == "/" ? "/KSXXXXXX" : folder->text + "/KSXXXXXX";
    // mkostemp makes the file and its name in one step: no other process
    // can take the name in between.
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return ConvertErrorPOSIX(errno);
    if (KTErr err = LockForSharing(fd, eReadWritePermission)) {
        ::close(fd);
        ::unlink(name.c_str());
        return err;
    }
    path = detail::NewPathRef(std::move(name));
    file = RefOf(fd);
    return eNoErr;
}

KTErr ReadRegularFile(const std::string& path, std::string& out, uint64_t maxBytes) noexcept {
    out.clear();
    int fd;
    struct stat st;
    if (KTErr err = OpenRegular(path, O_RDONLY | O_NOCTTY, eFMIsAFolder, fd, st))
        return err;
    KTErr err = static_cast<uint64_t>(st.st_size) > maxBytes ? eFMFileSizeTooBig : eNoErr;
    if (err == eNoErr) {
        try {
            // One byte more than the file's size shows a file that grew
            // while it was read.
            out.resize(static_cast<std::size_t>(st.st_size) + 1);
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    err = ConvertErrorPOSIX(errno);
                    break;
                }
                if (n == 0)
                    break;
                done += static_cast<std::size_t>(n);
                if (done == out.size() && done <= maxBytes)
                    out.resize(std::min<uint64_t>(maxBytes, out.size() * 2 - 1) + 1);
            }
            if (err == eNoErr && done > maxBytes)
                err = eFMFileSizeTooBig;
            out.resize(done);
        } catch (...) {
            err = eMemNewFailed;
        }
    }
    ::close(fd);
    if (err != eNoErr)
        std::string().swap(out);
    return err;
}

// KCStFile

KCStFile::KCStFile() : KUValidatable(eNoErr), file(GetInvalidOpenFileRef()) {}

KCStFile::KCStFile(const KCStPath& path, KEPermitions permission)
    : KUValidatable(eNoErr), file(GetInvalidOpenFileRef()) {
    error = OpenFile(path.GetPathRef(), permission, file);
}

KCStFile::~KCStFile() {
    if (IsValidOpenFileRef(file))
        error = CloseFile(file);
}

bool KCStFile::IsValidSelf() const {
    return IsValidOpenFileRef(file);
}

uint64_t KCStFile::GetFileSize() {
    uint64_t size = 0;
    error = GetFileSizeFromOpenFileRef(file, size);
    return error == eNoErr ? size : 0;
}

uint64_t KCStFile::GetCursor() {
    uint64_t position = 0;
    error = GetFileCursor(file, position);
    return error == eNoErr ? position : 0;
}

KTErr KCStFile::SetCursor(uint64_t position, KEPositionMode mode) {
    return error = SetFileCursor(file, position, mode);
}

KTErr KCStFile::base_Read(void* buffer, unsigned long count, unsigned long& done) {
    return error = ReadFromFile(file, buffer, count, done);
}

KTErr KCStFile::base_Write(const void* buffer, unsigned long count, unsigned long& done) {
    return error = WriteToFile(file, buffer, count, done);
}

KTErr KCStFile::base_WriteFromString(const std::string& text) {
    unsigned long done = 0;
    return base_Write(text.data(), text.size(), done);
}

KCStFileRead::KCStFileRead(const KCStPath& path) : KCStFile(path, eReadPermission) {}

KTErr KCStFileRead::Read(void* buffer, unsigned long count, unsigned long& done) {
    return base_Read(buffer, count, done);
}

KTErr KCStFileRead::ReadToKCMemObj(KCMemObj& block) {
    return base_ReadToKCMemObj(block);
}

KTErr KCStFileRead::ReadToStdString(std::string& text) {
    uint64_t size = 0;
    if ((error = GetFileSizeFromOpenFileRef(file, size)) != eNoErr)
        return error;
    if (size > kMaxTransferPerCall)
        return error = eFMFileSizeTooBig;
    const size_t before = text.size();
    text.resize(before + size);
    unsigned long done = 0;
    base_Read(text.data() + before, static_cast<unsigned long>(size), done);
    // Keep only what was read (less when the cursor was not at the start):
    // never hand back NUL padding as the file's content.
    text.resize(error == eNoErr ? before + done : before);
    return error;
}

KCStFileCreate::KCStFileCreate(const KCStPath& path, KECreateFlags flags, KEPermitions permission)
    : KCStFile() {
    error = CreateAFile(path.GetPathRef(), flags, permission, file);
}

KTErr KCStFileCreate::Write(const void* buffer, unsigned long count, unsigned long& done) {
    return base_Write(buffer, count, done);
}

KTErr KCStFileCreate::WriteFromMemObj(const KCMemObj& block) {
    return base_WriteFromMemObj(block);
}

KTErr KCStFileCreate::WriteFromFromString(const std::string& text) {
    return base_WriteFromString(text);
}

KCStFileWrite::KCStFileWrite(const KCStPath& path) : KCStFile(path, eWritePermission) {}

KTErr KCStFileWrite::Write(const void* buffer, unsigned long count, unsigned long& done) {
    return base_Write(buffer, count, done);
}

KTErr KCStFileWrite::WriteFromMemObj(const KCMemObj& block) {
    return base_WriteFromMemObj(block);
}

KTErr KCStFileWrite::WriteFromFromString(const std::string& text) {
    return base_WriteFromString(text);
}

KCStFileReadCodeSegment::KCStFileReadCodeSegment(const KCStPath& path)
    : KCStFile(KCStPath(path), eReadPermission) {}

KTErr KCStFileReadCodeSegment::ReadCodeSegment(KCMemObj& block) {
    return error = kvFM::ReadCodeSegment(file, block);
}

} // namespace kvFM
