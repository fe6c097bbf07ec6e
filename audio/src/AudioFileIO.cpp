#include "AudioFileIO.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Temporary files that a signal ending the process removes: an interrupted
// render leaves no half-written file behind. While any is registered, a
// handler of every signal whose default action ends the process removes
// them when the signal's previous disposition is that default, and
// otherwise passes the signal on. The handler does only async-signal-safe
// work: it unlinks, restores the default action and raises the signal again.
namespace temporaries {

// The signals whose default action ends the process (all but SIGKILL, which
// cannot be caught), real-time signals apart.
constexpr int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                            SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                            SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                            SIGPROF, SIGIO,   SIGPWR,    SIGSYS};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);
constexpr int kSlots = 16;

struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};

Slot g_slots[kSlots];
std::mutex g_mutex; // guards the registrations and the handlers' installation
int g_registered = 0;
// Previous dispositions: the standard signals, then SIGRTMIN to SIGRTMAX.
struct sigaction g_previous[kSignalCount + 64];

// The handled signals in one list: the standard ones and the real-time
// ones, which end the process by default as well.
int SignalCount() {
    return kSignalCount + (SIGRTMAX - SIGRTMIN + 1);
}

int SignalAt(int index) {
    return index < kSignalCount ? kSignals[index] : SIGRTMIN + (index - kSignalCount);
}

int IndexOf(int signal) {
    for (int index = 0; index < kSignalCount; ++index)
        if (kSignals[index] == signal)
            return index;
    if (signal >= SIGRTMIN && signal <= SIGRTMAX)
        return kSignalCount + (signal - SIGRTMIN);
    return -1;
}

void OnSignal(int signal, siginfo_t* info, void* context) {
    const int index = IndexOf(signal);
    if (index < 0)
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
    // The default action ends the process once this handler returns (the
    // signal is blocked until then).
    ::sigaction(signal, &previous, nullptr);
    ::raise(signal);
}

void InstallHandlers() {
    struct sigaction action {};
    action.sa_sigaction = &OnSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s = 0; s < SignalCount(); ++s)
        ::sigaction(SignalAt(s), &action, &g_previous[s]);
}

// A handler that someone installed meanwhile stays.
void RestoreHandlers() {
    for (int s = 0; s < SignalCount(); ++s) {
        struct sigaction current {};
        if (::sigaction(SignalAt(s), nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
            current.sa_sigaction == &OnSignal)
            ::sigaction(SignalAt(s), &g_previous[s], nullptr);
    }
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
        if (g_registered++ == 0)
            InstallHandlers();
        return i;
    }
    return -1;
}

void Unregister(int index) {
    if (index < 0)
        return;
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_slots[index].used.store(false);
    if (--g_registered == 0)
        RestoreHandlers();
}

// Blocks every signal of the calling thread for its life, so that a file is
// never created without its registration.
class BlockedSignals {
public:
    BlockedSignals() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
    }
    ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;

private:
    sigset_t previous;
};

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
        // Registered before it exists: a signal at any moment removes it.
        int slot = -1;
        {
            const temporaries::BlockedSignals blocked;
            slot = temporaries::Register(name);
            status = kvFM::CreateAFile(tempPath.GetPathRef(), kvFM::eCreateNew,
                                       kvFM::eWritePermission, file);
            if (status != eNoErr)
                temporaries::Unregister(slot);
        }
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
        temporarySlot = slot;
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
