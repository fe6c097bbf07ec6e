#include "usb/SocketBackend.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kvusb {
namespace {

using Clock = std::chrono::steady_clock;

// A new stream to the board at `path`; -1 when it does not connect.
int ConnectBoard(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class SocketPipe final : public BulkPipe {
public:
    SocketPipe(int fd, std::string path, std::chrono::milliseconds timeout)
        : fd_(fd), path_(std::move(path)), timeout_(timeout) {}
    ~SocketPipe() override { closeStream(); }

    IoStatus write(const uint8_t* data, size_t len, size_t& moved) override {
        moved = 0;
        if (fd_ < 0)
            return IoStatus::noDevice;
        if (len > kMaxSocketMessage)
            return IoStatus::failed; // one transfer is one message; splitting would desync
        // What is left of earlier replies is no part of the coming one's.
        reply_.clear();
        uint8_t header[4];
        PutLength(header, static_cast<uint32_t>(len));
        Clock::time_point deadline = Clock::now() + timeout_;
        size_t sent = 0;
        IoStatus st = sendBytes(header, sizeof header, deadline, sent);
        if (st == IoStatus::ok) {
            size_t body = 0;
            st = sendBytes(data, len, deadline, body);
            sent += body;
        }
        // A message cut short leaves the stream without its framing: the
        // board can no longer tell where the next transfer starts.
        if (st == IoStatus::timeout && sent > 0)
            return unplugged();
        if (st == IoStatus::ok)
            moved = len;
        return st;
    }

    IoStatus read(uint8_t* buf, size_t len, size_t& got) override {
        got = 0;
        if (reply_.empty()) {
            if (fd_ < 0)
                return IoStatus::noDevice;
            IoStatus st = receivePacket(Clock::now() + timeout_);
            if (st == IoStatus::timeout)
                restartStream();
            if (st != IoStatus::ok)
                return st;
        }
        while (got < len && !reply_.empty()) {
            buf[got++] = reply_.front();
            reply_.pop_front();
        }
        return IoStatus::ok;
    }

    void discardInput() override {
        reply_.clear();
        // Packets the board is still sending belong to the refused reply;
        // a board that never stops sending is not waited for.
        for (int i = 0; i < kMaxDiscardedPackets && fd_ >= 0; ++i) {
            if (receivePacket(Clock::now() + kSettle) != IoStatus::ok)
                break;
            reply_.clear();
        }
        reply_.clear();
    }

    PipeIds ids() const override { return PipeIds{2, 0x81, 0x02, 0x83}; }
    std::string path() const override { return path_; }

private:
    static constexpr std::chrono::milliseconds kSettle{5};
    static constexpr int kMaxDiscardedPackets = 64;

    static void PutLength(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    }

    // After a time-out the board may still answer the frame it was given,
    // at any later moment: on the same stream that answer would be taken
    // for the next frame's. A new stream leaves it behind; the board keeps
    // its state. A board that no longer takes connections is gone.
    void restartStream() {
        closeStream();
        reply_.clear();
        fd_ = ConnectBoard(path_);
    }

    void closeStream() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // Waits until the stream is ready for `events` or the deadline passes.
    IoStatus waitFor(short events, Clock::time_point deadline) {
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                return IoStatus::timeout;
            pollfd p{fd_, events, 0};
            int r = ::poll(&p, 1, static_cast<int>(left.count()));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return IoStatus::failed;
            if (r == 0)
                return IoStatus::timeout;
            if (p.revents & (events | POLLHUP | POLLERR))
                return IoStatus::ok;
        }
    }

    // `done` tells how many bytes went out, also when the call fails.
    IoStatus sendBytes(const uint8_t* data, size_t len, Clock::time_point deadline, size_t& done) {
        done = 0;
        while (done < len) {
            IoStatus st = waitFor(POLLOUT, deadline);
            if (st != IoStatus::ok)
                return st;
            ssize_t n = ::send(fd_, data + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                return unplugged();
            done += static_cast<size_t>(n);
        }
        return IoStatus::ok;
    }

    // `done` tells how many bytes arrived, also when the call fails.
    IoStatus recvBytes(uint8_t* buf, size_t len, Clock::time_point deadline, size_t& done) {
        done = 0;
        while (done < len) {
            IoStatus st = waitFor(POLLIN, deadline);
            if (st != IoStatus::ok)
                return st;
            ssize_t n = ::recv(fd_, buf + done, len - done, MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                return unplugged();
            done += static_cast<size_t>(n);
        }
        return IoStatus::ok;
    }

    // One IN packet into the reply buffer.
    IoStatus receivePacket(Clock::time_point deadline) {
        uint8_t header[4];
        size_t got = 0;
        IoStatus st = recvBytes(header, sizeof header, deadline, got);
        // Part of a length already taken from the stream cannot be put back.
        if (st == IoStatus::timeout && got > 0)
            return unplugged();
        if (st != IoStatus::ok)
            return st;
        uint32_t len = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
        if (len > kMaxSocketMessage)
            return unplugged(); // not a board we can talk to any more
        std::vector<uint8_t> packet(len);
        // The rest of a started packet is already on its way: it gets the
        // full time-out; a packet that still does not arrive in full has
        // cost the stream its framing.
        st = recvBytes(packet.data(), len, Clock::now() + timeout_, got);
        if (st == IoStatus::timeout)
            return unplugged();
        if (st != IoStatus::ok)
            return st;
        reply_.insert(reply_.end(), packet.begin(), packet.end());
        return IoStatus::ok;
    }

    IoStatus unplugged() {
        closeStream();
        reply_.clear();
        return IoStatus::noDevice;
    }

    int fd_;
    std::string path_;
    std::chrono::milliseconds timeout_;
    std::deque<uint8_t> reply_;
};

} // namespace

SocketBackend::SocketBackend(std::vector<std::string> paths, std::chrono::milliseconds timeout)
    : paths_(std::move(paths)), timeout_(timeout) {}

std::vector<std::string> SocketBackend::SplitPathList(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::vector<std::string> SocketBackend::listBoards() {
    std::vector<std::string> present;
    for (const auto& p : paths_) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            present.push_back(p);
    }
    return present;
}

std::unique_ptr<BulkPipe> SocketBackend::open(const std::string& path) {
    int fd = ConnectBoard(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<SocketPipe>(fd, path, timeout_);
}

} // namespace kvusb
