#include "AudioFileIO.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

KTErr StatusOf(int err, KTErr fallback) {
    if (err == ENOSPC || err == EDQUOT)
        return eFMDiskFull;
    const KTErr status = ConvertErrorPOSIX(err);
    return status == eGenericErr ? fallback : status;
}

std::atomic<unsigned> g_tempCounter{0};

} // namespace

KCAudioFileIO::~KCAudioFileIO() {
    Close();
}

KTErr KCAudioFileIO::OpenForReading(const std::string& path) {
    Close();
    if (path.empty())
        return eFMFileNotFound;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return StatusOf(errno, eFMOpenFailed);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        return eFMIsAFolder;
    }
    return eNoErr;
}

KTErr KCAudioFileIO::CreateReplacing(const std::string& path) {
    Close();
    if (path.empty() || path.back() == '/')
        return eFMCreateFailed;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return eFMIsAFolder;
    // An existing file keeps its permission bits; a new one gets 0666 less
    // the umask.
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path + ".tmp" + std::to_string(::getpid()) + "_" +
                           std::to_string(g_tempCounter.fetch_add(1));
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (exists)
                ::fchmod(fd, mode);
            target = path;
            temporary = std::move(name);
            return eNoErr;
        }
        if (errno != EEXIST)
            return StatusOf(errno, eFMCreateFailed);
    }
    return eFMCreateFailed;
}

KTErr KCAudioFileIO::Read(void* buffer, size_t count, size_t& done) {
    done = 0;
    if (fd < 0)
        return eFMIllegalOpenFileRef;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return StatusOf(errno, eFMReadFailed);
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return eNoErr;
}

KTErr KCAudioFileIO::Write(const void* buffer, size_t count) {
    if (fd < 0)
        return eFMIllegalOpenFileRef;
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return StatusOf(errno, eFMWriteFailed);
        }
        if (n == 0)
            return eFMWriteFailed;
        done += size_t(n);
    }
    return eNoErr;
}

KTErr KCAudioFileIO::Seek(uint64_t position) {
    if (fd < 0)
        return eFMIllegalOpenFileRef;
    if (position > uint64_t(INT64_MAX) || ::lseek(fd, off_t(position), SEEK_SET) < 0)
        return eFMWrongParameters;
    return eNoErr;
}

KTErr KCAudioFileIO::GetSize(uint64_t& size) const {
    size = 0;
    if (fd < 0)
        return eFMIllegalOpenFileRef;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return StatusOf(errno, eFMReadFailed);
    size = uint64_t(st.st_size);
    return eNoErr;
}

KTErr KCAudioFileIO::Commit() {
    if (fd < 0)
        return eFMIllegalOpenFileRef;
    if (temporary.empty()) {
        Close();
        return eNoErr;
    }
    KTErr status = eNoErr;
    if (::close(fd) != 0)
        status = StatusOf(errno, eFMWriteFailed);
    fd = -1;
    if (status == eNoErr && ::rename(temporary.c_str(), target.c_str()) != 0)
        status = StatusOf(errno, eFMWriteFailed);
    if (status != eNoErr)
        ::unlink(temporary.c_str());
    temporary.clear();
    target.clear();
    return status;
}

void KCAudioFileIO::Close() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    temporary.clear();
    target.clear();
}
