#include "host/SingleInstance.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kFrontRequest = 'F';
constexpr char kFrontAnswer = 'K';
// How long a later start waits for the owner's answer, and how long the
// owner waits for a request on a fresh connection.
constexpr int kAnswerTimeoutMs = 3000;
constexpr int kRequestTimeoutMs = 1000;

bool IsAbsoluteEnv(const char* name, std::string& out) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return false;
    out = value;
    return true;
}

// Makes the folder when missing; accepts it only as a real folder of ours
// that no one else can enter.
bool EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return false;
    return true;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool FillSocketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Waits for `events` on `fd` at most `timeoutMs`; true when they came.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left < 0)
            return false;
        const int ready = ::poll(&entry, 1, int(left));
        if (ready > 0)
            return (entry.revents & events) != 0;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool ReadByte(int fd, char& byte, int timeoutMs) {
    if (!WaitFor(fd, POLLIN, timeoutMs))
        return false;
    ssize_t got;
    do
        got = ::read(fd, &byte, 1);
    while (got < 0 && errno == EINTR);
    return got == 1;
}

bool WriteByte(int fd, char byte) {
    ssize_t put;
    do
        put = ::send(fd, &byte, 1, MSG_NOSIGNAL);
    while (put < 0 && errno == EINTR);
    return put == 1;
}

// The socket and lock file paths of a name ("<folder>/PluginInst_<name>_0").
std::string BasePath(const std::string& folder, const std::string& name) {
    return folder + "/PluginInst_" + EscapeInstanceName(name) + "_0";
}

// A connection to the owner's window, or -1 while it has stored none (or a
// dead owner's socket is left).
int ConnectToOwner(const sockaddr_un& address) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What this process holds of the guard.
class Guard {
public:
    ~Guard() { Release(); }

    int Acquire(const std::string& name, int& otherFd) {
        Release();
        std::lock_guard<std::mutex> lock(mutex);
        const std::string folder = SingleInstanceFolder();
        if (!EnsurePrivateFolder(folder))
            return 0;
        const std::string base = BasePath(folder, name);
        sockaddr_un address;
        if (!FillSocketAddress(base, address))
            return 0;
        const std::string lockPath = base + ".lock";
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return 0;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // A dead owner's socket would refuse every later start.
            ::unlink(base.c_str());
            lockFd = fd;
            socketPath = base;
            return 1;
        }
        ::close(fd);
        otherFd = ConnectToOwner(address);
        return 0;
    }

    bool StoreWindow(std::function<void()> onFront) {
        std::lock_guard<std::mutex> lock(mutex);
        if (lockFd < 0 || listenFd >= 0)
            return false;
        sockaddr_un address;
        if (!FillSocketAddress(socketPath, address))
            return false;
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        ::unlink(socketPath.c_str());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 8) != 0 || ::pipe2(wakePipe, O_CLOEXEC) != 0) {
            ::close(fd);
            ::unlink(socketPath.c_str());
            return false;
        }
        listenFd = fd;
        handler = std::move(onFront);
        server = std::thread([this] { Serve(); });
        return true;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        if (server.joinable()) {
            ssize_t put;
            do
                put = ::write(wakePipe[1], "q", 1);
            while (put < 0 && errno == EINTR);
            server.join();
        }
        CloseFd(wakePipe[0]);
        CloseFd(wakePipe[1]);
        if (listenFd >= 0) {
            CloseFd(listenFd);
            ::unlink(socketPath.c_str());
        }
        CloseFd(lockFd);
        socketPath.clear();
        handler = nullptr;
    }

    // In a child made by fork the server thread does not exist.
    void Forget() {
        std::lock_guard<std::mutex> lock(mutex);
        if (server.joinable())
            server.detach();
        lockFd = listenFd = wakePipe[0] = wakePipe[1] = -1;
        socketPath.clear();
    }

private:
    void Serve() {
        for (;;) {
            pollfd entries[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            const int ready = ::poll(entries, 2, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0 || entries[1].revents != 0)
                return;
            if ((entries[0].revents & POLLIN) == 0)
                continue;
            int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            char request = 0;
            if (ReadByte(client, request, kRequestTimeoutMs) && request == kFrontRequest) {
                if (handler)
                    handler();
                WriteByte(client, kFrontAnswer);
            }
            ::close(client);
        }
    }

    std::mutex mutex;
    int lockFd = -1;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::string socketPath;
    std::function<void()> handler;
    std::thread server;
};

Guard& TheGuard() {
    static Guard guard;
    return guard;
}

} // namespace

KCInstanceWindow::~KCInstanceWindow() {
    Close();
}

KCInstanceWindow::KCInstanceWindow(KCInstanceWindow&& other) noexcept : fd(other.fd) {
    other.fd = -1;
}

KCInstanceWindow& KCInstanceWindow::operator=(KCInstanceWindow&& other) noexcept {
    if (this != &other) {
        Close();
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

void KCInstanceWindow::Close() {
    CloseFd(fd);
}

int AcquireSingleInstance(const std::string& name, KCInstanceWindow* other) {
    int otherFd = -1;
    const int owner = TheGuard().Acquire(name, otherFd);
    if (other) {
        other->Close();
        other->fd = otherFd;
    } else {
        CloseFd(otherFd);
    }
    return owner;
}

bool SetSingleInstanceWindow(std::function<void()> onFront) {
    return TheGuard().StoreWindow(std::move(onFront));
}

bool SetForegroundWindow(KCInstanceWindow& window) {
    bool answered = false;
    char answer = 0;
    if (!window.IsNull() && WaitFor(window.fd, POLLOUT, kAnswerTimeoutMs) &&
        WriteByte(window.fd, kFrontRequest))
        answered = ReadByte(window.fd, answer, kAnswerTimeoutMs) && answer == kFrontAnswer;
    window.Close();
    return answered;
}

void ReleaseSingleInstance() {
    TheGuard().Release();
}

void ResetSingleInstanceState() {
    TheGuard().Forget();
}

std::string SingleInstanceFolder() {
    std::string base;
    if (!IsAbsoluteEnv("XDG_RUNTIME_DIR", base) && !IsAbsoluteEnv("TMPDIR", base))
        base = "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/rigwell-" + std::to_string(::getuid());
}

std::string EscapeInstanceName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

KCWinSingleInstance::KCWinSingleInstance(const std::string& windowTitle,
                                         const std::string& mutexName)
    : windowTitle(windowTitle), mutexName(mutexName) {
    const std::string folder = SingleInstanceFolder();
    if (!EnsurePrivateFolder(folder))
        return;
    const std::string path = folder + "/PluginInst_" + EscapeInstanceName(mutexName) + ".mutex";
    lockFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0)
        return;
    // No other holder: an exclusive lock is granted at once. Then every
    // holder keeps a shared one, so that later objects see the name in use.
    first = ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
    ::flock(lockFd, LOCK_SH | LOCK_NB);
}

KCWinSingleInstance::~KCWinSingleInstance() {
    if (lockFd >= 0 && ::close(lockFd) != 0)
        std::printf("Error: On ~KCWinSingleInstance, System error number: %d\n", errno);
}

bool KCWinSingleInstance::BringToFront() const {
    sockaddr_un address;
    if (!FillSocketAddress(BasePath(SingleInstanceFolder(), mutexName), address))
        return false;
    KCInstanceWindow window;
    window.fd = ConnectToOwner(address);
    return SetForegroundWindow(window);
}
