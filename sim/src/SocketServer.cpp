#include "sim/SocketServer.h"

#include "usb/SocketBackend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace u2csim {
namespace {

// One connected host: bytes received but not yet a whole message.
struct Client {
    int fd = -1;
    Bytes pending;
};

// How long a host may leave its replies unread before the board drops it.
constexpr int kSendTimeoutMs = 1000;

// False when the host is gone or stopped reading: one host that never
// reads must not hold the board (and its other hosts) for ever.
bool SendAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{fd, POLLOUT, 0};
            int r = ::poll(&out, 1, kSendTimeoutMs);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return false;
            continue;
        }
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool SendMessage(int fd, const Bytes& packet) {
    uint8_t header[4];
    u2c::PutLE32(header, static_cast<uint32_t>(packet.size()));
    return SendAll(fd, header, 4) && SendAll(fd, packet.data(), packet.size());
}

// Handles every whole message in the client's buffer; false when the
// stream must close.
bool Serve(Board& board, Client& c) {
    for (;;) {
        if (c.pending.size() < 4)
            return true;
        uint32_t len = u2c::GetLE32(c.pending.data());
        if (len > kvusb::kMaxSocketMessage)
            return false;
        if (c.pending.size() < 4 + size_t(len))
            return true;
        std::vector<Bytes> packets = board.transfer(c.pending.data() + 4, len);
        c.pending.erase(c.pending.begin(), c.pending.begin() + 4 + len);
        if (board.unplugged())
            return false;
        for (const auto& p : packets)
            if (!SendMessage(c.fd, p))
                return false;
    }
}

} // namespace

SocketServer::SocketServer(std::shared_ptr<Board> board, std::string path)
    : board_(std::move(board)), path_(std::move(path)) {}

SocketServer::~SocketServer() {
    stop();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
}

bool SocketServer::listen(std::string& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.empty()) {
        error = "no socket path";
        return false;
    }
    // The socket is bound under a temporary name and renamed once it
    // listens: whoever sees the path can connect at once.
    const std::string staging = path_ + ".new";
    if (staging.size() >= sizeof addr.sun_path) {
        error = "socket path is too long: " + path_;
        return false;
    }
    std::memcpy(addr.sun_path, staging.c_str(), staging.size() + 1);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::unlink(staging.c_str());
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0 || ::rename(staging.c_str(), path_.c_str()) != 0) {
        error = "cannot listen on " + path_ + ": " + std::strerror(errno);
        ::unlink(staging.c_str());
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    return true;
}

void SocketServer::run(int stopFd) {
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        int r = ::poll(fds.data(), fds.size(), -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (fds[0].revents & (POLLIN | POLLHUP)))
            break;
        const size_t polled = clients.size();
        for (size_t i = 0; i < polled; ++i) {
            if (!(fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            uint8_t buf[4096];
            ssize_t n = ::recv(clients[i].fd, buf, sizeof buf, 0);
            bool keep = n > 0;
            if (keep) {
                clients[i].pending.insert(clients[i].pending.end(), buf, buf + n);
                keep = Serve(*board_, clients[i]);
            } else if (n < 0 && errno == EINTR) {
                keep = true;
            }
            if (!keep) {
                ::close(clients[i].fd);
                clients[i].fd = -1;
            }
        }
        // An unplugged board drops every stream.
        for (auto& c : clients)
            if (c.fd >= 0 && board_->unplugged()) {
                ::close(c.fd);
                c.fd = -1;
            }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                if (board_->unplugged())
                    ::close(fd);
                else
                    clients.push_back({fd, {}});
            }
        }
    }
    for (auto& c : clients)
        ::close(c.fd);
}

bool SocketServer::start(std::string& error) {
    if (!listen(error))
        return false;
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { run(stopPipe_[0]); });
    return true;
}

void SocketServer::stop() {
    if (thread_.joinable()) {
        char x = 1;
        [[maybe_unused]] ssize_t w = ::write(stopPipe_[1], &x, 1);
        thread_.join();
    }
    for (int& fd : stopPipe_)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
}

} // namespace u2csim
