#include "AudioFileIO.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Temporary files that a signal ending the process removes: an interrupted
// render leaves no half-written file behind. While any is open, a handler
// of SIGINT, SIGTERM and SIGHUP removes them when the signal's previous
// disposition would end the process, and otherwise passes the signal on.
namespace temporaries {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);
constexpr int kSlots = 16;

struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};

Slot g_slots[kSlots];
std::mutex g_mutex; // guards the registrations and the handlers' installation
int g_registered = 0;
struct sigaction g_previous[kSignalCount];

void OnSignal(int signal, siginfo_t* info, void* context) {
    int index = 0;
    while (index < kSignalCount && kSignals[index] != signal)
        ++index;
    if (index == kSignalCount)
        return;
    const struct sigaction& previous = g_previous[index];
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN)
        return;
    if (previous.sa_handler != SIG_DFL) {
        previous.sa_handler(signal);
        return;
    }
    for (Slot& slot : g_slots)
        if (slot.used.load())
            ::unlink(slot.path);
    // The default action ends the process once this handler returns.
    ::sigaction(signal, &previous, nullptr);
    ::raise(signal);
}

// The slot that holds `path` from now on, or -1 when all are taken.
int Register(const std::string& path) {
    if (path.size() >= PATH_MAX)
        return -1;
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.used.load())
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true);
        if (g_registered++ == 0) {
            struct sigaction action {};
            action.sa_sigaction = &OnSignal;
            action.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&action.sa_mask);
            for (int s = 0; s < kSignalCount; ++s)
                ::sigaction(kSignals[s], &action, &g_previous[s]);
        }
        return i;
    }
    return -1;
}

void Unregister(int index) {
    if (index < 0)
        return;
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_slots[index].used.store(false);
    if (--g_registered > 0)
        return;
    // A handler that someone installed meanwhile stays.
    for (int s = 0; s < kSignalCount; ++s) {
        struct sigaction current {};
        if (::sigaction(kSignals[s], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
            current.sa_sigaction == &OnSignal)
            ::sigaction(kSignals[s], &g_previous[s], nullptr);
    }
}

} // namespace temporaries

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
        temporarySlot = temporaries::Register(temporary);
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
    ForgetTemporary();
    return status;
}

void KCAudioFileIO::Close() {
    if (IsOpen())
        kvFM::CloseFile(file);
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    ForgetTemporary();
}

void KCAudioFileIO::ForgetTemporary() {
    temporaries::Unregister(temporarySlot);
    temporarySlot = -1;
    temporary.clear();
    target.clear();
}
