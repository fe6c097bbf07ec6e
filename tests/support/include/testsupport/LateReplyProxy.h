// A board that answers late: a proxy on a Unix socket in front of a
// board's socket (the socket bridge) that holds back its reply to one frame
// for a while, as a board still busy when the host's time-out ran out
// would. Every host connection gets its own connection to the board, and
// what the board sends reaches the host in order: replies to later frames
// wait behind the held one, as they would on the wire.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

class LateReplyProxy {
public:
    using Clock = std::chrono::steady_clock;

    // Listens on `path` and forwards to the board listening on `boardPath`.
    LateReplyProxy(std::string boardPath, std::string path)
        : boardPath_(std::move(boardPath)), path_(std::move(path)) {
        listen_ = Listen(path_);
        if (listen_ >= 0)
            thread_ = std::thread([this] { run(); });
    }
    ~LateReplyProxy() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (Pair& p : pairs_)
            closePair(p);
        if (listen_ >= 0)
            ::close(listen_);
        ::unlink(path_.c_str());
    }
    LateReplyProxy(const LateReplyProxy&) = delete;
    LateReplyProxy& operator=(const LateReplyProxy&) = delete;

    bool listening() const { return listen_ >= 0; }
    const std::string& path() const { return path_; }
    // What the board answers to the next frame reaches the host `delay`
    // after the board sent it.
    void delayNextReply(std::chrono::milliseconds delay) {
        delayMs_ = static_cast<int>(delay.count());
        armed_ = true;
    }
    // Host connections made so far.
    int connections() const { return connections_; }

private:
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes;
    };
    struct Pair {
        int host = -1;
        int board = -1;
        bool delayed = false; // the board's next bytes are held back
        std::deque<Chunk> toHost;
    };

    static sockaddr_un Address(const std::string& path) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        return addr;
    }
    static int Listen(const std::string& path) {
        sockaddr_un addr = Address(path);
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::unlink(path.c_str());
        if (fd >= 0 && (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
                        ::listen(fd, 8) != 0)) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    }
    static int Connect(const std::string& path) {
        sockaddr_un addr = Address(path);
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            fd = -1;
        }
        return fd;
    }
    static bool SendAll(int fd, const char* p, size_t n) {
        while (n > 0) {
            ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
            if (w <= 0)
                return false;
            p += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
    static void closePair(Pair& p) {
        for (int* fd : {&p.host, &p.board})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
    }

    // One pass: moves what is readable and what is due; false when the pair
    // is gone.
    bool serve(Pair& p, short hostEvents, short boardEvents) {
        char buf[4096];
        if (hostEvents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::recv(p.host, buf, sizeof buf, 0);
            if (n <= 0 || !SendAll(p.board, buf, static_cast<size_t>(n)))
                return false;
            if (armed_.exchange(false))
                p.delayed = true;
        }
        if (boardEvents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::recv(p.board, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            Clock::time_point due = Clock::now();
            if (p.delayed)
                due += std::chrono::milliseconds(delayMs_.load());
            if (!p.toHost.empty() && p.toHost.back().due > due)
                due = p.toHost.back().due; // nothing overtakes a held reply
            p.delayed = false;
            p.toHost.push_back({due, std::vector<char>(buf, buf + n)});
        }
        while (!p.toHost.empty() && p.toHost.front().due <= Clock::now()) {
            // A host that has gone meanwhile simply misses the late bytes.
            SendAll(p.host, p.toHost.front().bytes.data(), p.toHost.front().bytes.size());
            p.toHost.pop_front();
        }
        return true;
    }

    void run() {
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (const Pair& p : pairs_) {
                fds.push_back({p.host, POLLIN, 0});
                fds.push_back({p.board, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 5) < 0)
                continue;
            for (size_t i = 0; i < pairs_.size(); ++i)
                if (!serve(pairs_[i], fds[1 + 2 * i].revents, fds[2 + 2 * i].revents))
                    closePair(pairs_[i]);
            std::erase_if(pairs_, [](const Pair& p) { return p.host < 0; });
            if (fds[0].revents & POLLIN) {
                Pair p;
                p.host = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                p.board = p.host >= 0 ? Connect(boardPath_) : -1;
                if (p.board >= 0) {
                    pairs_.push_back(std::move(p));
                    ++connections_;
                } else {
                    closePair(p);
                }
            }
        }
    }

    std::string boardPath_;
    std::string path_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> armed_{false};
    std::atomic<int> delayMs_{0};
    std::atomic<int> connections_{0};
    std::vector<Pair> pairs_; // the proxy's thread only
    std::thread thread_;
};
