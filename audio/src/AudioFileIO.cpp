#include "AudioFileIO.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Checks a path before it is opened: a folder, a named pipe or a device is
// no sound file (and opening a pipe would wait for a writer).
KTErr CheckFilePath(const kvFM::KCStPath& path) {
    KTErr status = eNoErr;
    if (!path.IsValid(status))
        return status;
    if (path.IsFolder())
        return eFMIsAFolder;
    struct stat st {};
    if (::stat(path.GetNativePathString().c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return eFMIsNotAFile;
    return eNoErr;
}

} // namespace

KCAudioFileIO::~KCAudioFileIO() {
    Close();
}

KTErr KCAudioFileIO::OpenForReading(const kvFM::KCStPath& path) {
    Close();
    if (KTErr status = CheckFilePath(path); status != eNoErr)
        return status;
    return kvFM::OpenFile(path.GetPathRef(), kvFM::eReadPermission, file);
}

KTErr KCAudioFileIO::CreateReplacing(const kvFM::KCStPath& path) {
    Close();
    KTErr status = CheckFilePath(path);
    if (status != eNoErr)
        return status;
    // Through a symbolic link, the file it names is replaced (the temporary
    // file goes beside it) and the link stays.
    std::string native = path.GetNativePathString();
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(native, ec);
    if (!ec)
        native = resolved.string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = native + ".tmp" + std::to_string(::getpid()) + "_" +
                                 std::to_string(g_tempCounter.fetch_add(1));
        kvFM::KCStPath tempPath(name);
        if (!tempPath.IsValid(status))
            return status;
        status = kvFM::CreateAFile(tempPath.GetPathRef(), kvFM::eCreateNew, kvFM::eWritePermission,
                                   file);
        if (status == eFMFileAllreadyExists)
            continue;
        if (status != eNoErr)
            return status;
        // An existing file keeps its permission bits.
        struct stat st {};
        if (::stat(native.c_str(), &st) == 0)
            ::chmod(name.c_str(), st.st_mode & 07777);
        target = native;
        temporary = name;
        return eNoErr;
    }
    return eFMCreateFailed;
}

KTErr KCAudioFileIO::Read(void* buffer, size_t count, size_t& done) {
    unsigned long got = 0;
    const KTErr status = kvFM::ReadFromFile(file, buffer, count, got);
    done = got;
    return status;
}

KTErr KCAudioFileIO::Write(const void* buffer, size_t count) {
    unsigned long written = 0;
    return kvFM::WriteToFile(file, buffer, count, written);
}

KTErr KCAudioFileIO::Seek(uint64_t position) {
    return kvFM::SetFileCursor(file, position, kvFM::eFromStart);
}

KTErr KCAudioFileIO::GetSize(uint64_t& size) const {
    return kvFM::GetFileSizeFromOpenFileRef(file, size);
}

KTErr KCAudioFileIO::Commit() {
    if (!IsOpen())
        return eFMIllegalOpenFileRef;
    KTErr status = kvFM::CloseFile(file);
    if (!temporary.empty()) {
        // The file manager's move never replaces a file; replacing the
        // target is the point here.
        if (status == eNoErr && std::rename(temporary.c_str(), target.c_str()) != 0)
            status =
                ConvertErrorPOSIX(errno) == eGenericErr ? eFMMoveFailed : ConvertErrorPOSIX(errno);
        if (status != eNoErr)
            ::unlink(temporary.c_str());
    }
    temporary.clear();
    target.clear();
    return status;
}

void KCAudioFileIO::Close() {
    if (IsOpen())
        kvFM::CloseFile(file);
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    temporary.clear();
    target.clear();
}
