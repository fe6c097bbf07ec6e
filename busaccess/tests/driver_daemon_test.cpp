// The bus library's driver against u2c-sim daemons in separate processes,
// found through TEROVAN_U2C_SOCKET.
#include "busaccess/BridgeDriver.h"
#include "sim/SimDaemon.h"
#include "usb/SocketBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace busaccess;

namespace {

struct RecordingMessages : MessageService {
    std::vector<std::string> shown;
    void showInformation(const std::string& text, const std::string&) override {
        shown.push_back(text);
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A socket file that nobody listens on any more: present, but it does not open.
std::string StaleSocket(const std::string& dir) {
    std::string path = dir + "/stale.sock";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(fd);
    return path;
}

} // namespace

TEST(BridgeDriverWithDaemon, TwoBoardsGiveOneMessagePerOpenAndTheFirstThatOpensIsUsed) {
    u2csim::SimDaemon first(U2C_SIM_PATH, {"--board-type", "2"});
    u2csim::SimDaemon second(U2C_SIM_PATH, {"--old-firmware"});
    ASSERT_TRUE(first.ready() && second.ready());
    std::string dir = first.socketPath().substr(0, first.socketPath().rfind('/'));
    std::string stale = StaleSocket(dir);
    std::string list = stale + ":" + first.socketPath() + ":" + second.socketPath();
    ::setenv("TEROVAN_U2C_SOCKET", list.c_str(), 1);

    auto messages = std::make_shared<RecordingMessages>();
    BridgeDriver driver(nullptr, messages);
    EXPECT_EQ(driver.BridgeCountDevices(), 3);
    ASSERT_EQ(driver.BridgeOpen(), 1);
    EXPECT_EQ(messages->shown, std::vector<std::string>{kManyBoardsText});
    EXPECT_EQ(driver.serviceAddress(), 0x80);
    uint16_t type = 0;
    uint32_t firmware = 0;
    EXPECT_EQ(driver.BridgeGetVersion(type, firmware), 1);
    EXPECT_EQ(type, 2);
    ASSERT_EQ(driver.BridgeOpen(), 1);
    EXPECT_EQ(messages->shown.size(), 2u);
    EXPECT_EQ(driver.BridgeClose(), 1);
    ::unsetenv("TEROVAN_U2C_SOCKET");

    first.stop();
    second.stop();
    EXPECT_NE(ReadFile(first.logPath()).find(" OUT C0 00 00 00 00 A0 86 01 00"), std::string::npos);
    EXPECT_EQ(ReadFile(second.logPath()), "");
}

TEST(BridgeDriverWithDaemon, OldFirmwareDaemonSplitsWriteReadAndMasksOnTheHost) {
    u2csim::SimDaemon sim(U2C_SIM_PATH, {"--old-firmware", "--chip-version", "0x5010"});
    ASSERT_TRUE(sim.ready());
    ::setenv("TEROVAN_U2C_SOCKET", sim.socketPath().c_str(), 1);
    BridgeDriver driver(nullptr, std::make_shared<RecordingMessages>());
    ASSERT_EQ(driver.BridgeOpen(), 1);
    ::unsetenv("TEROVAN_U2C_SOCKET");
    EXPECT_EQ(driver.serviceAddress(), 0x31);
    const uint8_t cmd[3] = {0x00, 0xB8, 0x00};
    uint8_t reply[3] = {};
    EXPECT_EQ(driver.BridgeWriteRead(0x73, 3, cmd, 3, reply), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x5010);
    EXPECT_EQ(driver.BridgeWriteMem(0x10, 0xFFFFFFFF), 1);
    EXPECT_EQ(driver.BridgeWriteMemMasked(0x10, 0xC, 0x4), 1);
    uint8_t word[4] = {};
    EXPECT_EQ(driver.BridgeReadMem(0x10, 4, word), 1);
    EXPECT_EQ(u2c::GetLE32(word), 0xFFFFFFF7u);
    sim.stop();
    std::string log = ReadFile(sim.logPath());
    EXPECT_EQ(log.find(" OUT C7"), std::string::npos) << "no write-then-read frame";
}

TEST(BridgeDriverWithDaemon, TwoConnectionsSeeOneBoard) {
    u2csim::SimDaemon sim(U2C_SIM_PATH);
    ASSERT_TRUE(sim.ready());
    auto backend =
        std::make_shared<kvusb::SocketBackend>(std::vector<std::string>{sim.socketPath()});
    BridgeDriver a(backend, std::make_shared<RecordingMessages>());
    BridgeDriver b(backend, std::make_shared<RecordingMessages>());
    ASSERT_EQ(a.BridgeOpen(), 1);
    ASSERT_EQ(b.BridgeOpen(), 1);
    EXPECT_EQ(a.BridgeWriteMem(0x80, 0xCAFEF00D), 1);
    uint8_t word[4] = {};
    EXPECT_EQ(b.BridgeReadMem(0x80, 4, word), 1);
    EXPECT_EQ(u2c::GetLE32(word), 0xCAFEF00Du);
}
