// The socket bridge against a peer played by the test itself, to shape the
// stream in ways the simulated board never does.
#include "usb/SocketBackend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kvusb;
namespace fs = std::filesystem;

namespace {

// A listening socket in a temporary folder; `accept` gives the board's end
// of the stream the pipe opened.
class Peer {
public:
    Peer() : dir_(fs::temp_directory_path() / ("kvusb-socket-" + std::to_string(::getpid()))) {
        fs::create_directories(dir_);
        path_ = (dir_ / "board.sock").string();
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(listen_, 1), 0);
    }
    ~Peer() {
        if (board_ >= 0)
            ::close(board_);
        for (int fd : old_)
            ::close(fd);
        if (listen_ >= 0)
            ::close(listen_);
        fs::remove_all(dir_);
    }
    const std::string& path() const { return path_; }
    // No new stream is taken any more (the open ones stay).
    void stopListening() {
        ::close(listen_);
        listen_ = -1;
    }
    // The board's end of the next stream the host opens; -1 when none
    // comes within two seconds.
    int accept() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1)
            return -1;
        if (board_ >= 0)
            old_.push_back(board_);
        return board_ = ::accept(listen_, nullptr, nullptr);
    }
    // False when the host's end is already closed.
    bool send(std::vector<uint8_t> bytes) {
        return ::send(board_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

private:
    fs::path dir_;
    std::string path_;
    int listen_ = -1;
    int board_ = -1;
    std::vector<int> old_; // streams the host has left
};

constexpr std::chrono::milliseconds kShort{50};

TEST(SocketPipe, AMessageCutShortByATimeOutUnplugsTheBoard) {
    // Sending: the board stops reading in the middle of a long transfer.
    {
        Peer peer;
        SocketBackend backend({peer.path()}, kShort);
        auto pipe = backend.open(peer.path());
        ASSERT_TRUE(pipe);
        ASSERT_GE(peer.accept(), 0);
        std::vector<uint8_t> big(8u << 20, 0x5A); // far more than the socket buffers hold
        size_t moved = 0;
        EXPECT_EQ(pipe->write(big.data(), big.size(), moved), IoStatus::noDevice);
        EXPECT_EQ(moved, 0u);
        const uint8_t frame[4] = {0xC1, 0, 0, 0};
        EXPECT_EQ(pipe->write(frame, sizeof frame, moved), IoStatus::noDevice)
            << "no later transfer may start inside the one cut short";
    }
    // Receiving: the board sends half of a packet's length and falls silent.
    {
        Peer peer;
        SocketBackend backend({peer.path()}, kShort);
        auto pipe = backend.open(peer.path());
        ASSERT_TRUE(pipe);
        ASSERT_GE(peer.accept(), 0);
        ASSERT_TRUE(peer.send({0x03, 0x00}));
        uint8_t buf[3];
        size_t got = 0;
        EXPECT_EQ(pipe->read(buf, sizeof buf, got), IoStatus::noDevice);
        peer.send({0x00, 0x00, 0xAA, 0xBB, 0xCC}); // the rest comes too late
        EXPECT_EQ(pipe->read(buf, sizeof buf, got), IoStatus::noDevice);
    }
}

TEST(SocketPipe, AReplyAfterATimeOutNeverAnswersALaterFrame) {
    Peer peer;
    SocketBackend backend({peer.path()}, kShort);
    auto pipe = backend.open(peer.path());
    ASSERT_TRUE(pipe);
    ASSERT_GE(peer.accept(), 0);
    const uint8_t frame[4] = {0xC1, 0, 0, 0};
    size_t moved = 0;
    ASSERT_EQ(pipe->write(frame, sizeof frame, moved), IoStatus::ok);
    uint8_t buf[1];
    size_t got = 0;
    EXPECT_EQ(pipe->read(buf, 1, got), IoStatus::timeout);
    // The board answers the first frame late, then the next one in time.
    peer.send({0x01, 0x00, 0x00, 0x00, 0x11});
    ASSERT_EQ(pipe->write(frame, sizeof frame, moved), IoStatus::ok);
    ASSERT_GE(peer.accept(), 0) << "the time-out left the stream behind";
    ASSERT_TRUE(peer.send({0x01, 0x00, 0x00, 0x00, 0x22}));
    ASSERT_EQ(pipe->read(buf, 1, got), IoStatus::ok);
    EXPECT_EQ(buf[0], 0x22);
}

TEST(SocketPipe, ABoardThatTakesNoNewStreamAfterATimeOutIsUnplugged) {
    Peer peer;
    SocketBackend backend({peer.path()}, kShort);
    auto pipe = backend.open(peer.path());
    ASSERT_TRUE(pipe);
    ASSERT_GE(peer.accept(), 0);
    peer.stopListening();
    uint8_t buf[1];
    size_t got = 0;
    EXPECT_EQ(pipe->read(buf, 1, got), IoStatus::timeout);
    const uint8_t frame[4] = {0xC1, 0, 0, 0};
    size_t moved = 0;
    EXPECT_EQ(pipe->write(frame, sizeof frame, moved), IoStatus::noDevice);
    EXPECT_EQ(pipe->read(buf, 1, got), IoStatus::noDevice);
}

TEST(SocketPipe, DiscardingStopsAtABoardThatKeepsSending) {
    Peer peer;
    SocketBackend backend({peer.path()}, kShort);
    auto pipe = backend.open(peer.path());
    ASSERT_TRUE(pipe);
    ASSERT_GE(peer.accept(), 0);
    // Far more one-byte packets than a refused reply could span, all
    // waiting on the stream already.
    std::vector<uint8_t> flood;
    for (int i = 0; i < 1000; ++i)
        flood.insert(flood.end(), {0x01, 0x00, 0x00, 0x00, static_cast<uint8_t>(i)});
    ASSERT_TRUE(peer.send(flood));
    pipe->discardInput();
    uint8_t buf[1];
    size_t got = 0;
    EXPECT_EQ(pipe->read(buf, 1, got), IoStatus::ok) << "the flood was not all swallowed";
    EXPECT_EQ(got, 1u);
}

} // namespace
