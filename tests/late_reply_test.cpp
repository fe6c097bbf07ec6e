// A board that answers a frame after its time-out, behind the socket bridge:
// neither libTerovanU2C.so nor the bus library's driver may take that
// answer for the answer to a later frame.
#include "bridge/TerovanU2C.h"
#include "busaccess/BridgeDriver.h"
#include "sim/Board.h"
#include "sim/Chip.h"
#include "sim/SocketServer.h"
#include "testsupport/LateReplyProxy.h"
#include "testsupport/ScopedEnv.h"
#include "usb/SocketBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kNobody = 0x10; // no slave answers this address
const uint8_t kReadVersion[3] = {0x00, 0xB8, 0x00};

// The simulated board and chip on a socket, reached through the proxy.
class LateBoard : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kvlateXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        board->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>());
        server = std::make_unique<u2csim::SocketServer>(board, dir + "/board.sock");
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        proxy = std::make_unique<LateReplyProxy>(server->path(), dir + "/late.sock");
        ASSERT_TRUE(proxy->listening());
    }
    void TearDown() override {
        proxy.reset();
        server.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string dir;
    std::shared_ptr<u2csim::Board> board = std::make_shared<u2csim::Board>();
    std::unique_ptr<u2csim::SocketServer> server;
    std::unique_ptr<LateReplyProxy> proxy;
};

} // namespace

TEST_F(LateBoard, TerovanU2CTakesNoLateReplyForALaterFrame) {
    ScopedEnv env("TEROVAN_U2C_SOCKET", proxy->path());
    const int32_t h = TerovanU2C_OpenDevice(0, 100000);
    ASSERT_NE(h, -1);
    // The chip acknowledges, but only after the 1 s time-out, while the next
    // frame waits for its answer.
    proxy->delayNextReply(1400ms);
    EXPECT_EQ(TerovanU2C_Write(h, u2csim::kChipAddress, 3, kReadVersion), 0);
    // Nobody acknowledges this one: the late acknowledgement is not its answer.
    EXPECT_EQ(TerovanU2C_Write(h, kNobody, 3, kReadVersion), 0);
    ASSERT_EQ(TerovanU2C_Write(h, u2csim::kChipAddress, 3, kReadVersion), 1);

    // The same for a read: its late bytes are no later read's.
    proxy->delayNextReply(1400ms);
    uint8_t reply[3] = {};
    EXPECT_EQ(TerovanU2C_Read(h, u2csim::kChipAddress, 3, reply), 0);
    EXPECT_EQ(TerovanU2C_Read(h, kNobody, 3, reply), 0);
    ASSERT_EQ(TerovanU2C_Write(h, u2csim::kChipAddress, 3, kReadVersion), 1);
    ASSERT_EQ(TerovanU2C_Read(h, u2csim::kChipAddress, 3, reply), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x6000);
    EXPECT_EQ(TerovanU2C_CloseDevice(h), 1);
}

TEST_F(LateBoard, TheBusLibrarysDriverTakesNoLateReplyForALaterFrame) {
    auto backend = std::make_shared<kvusb::SocketBackend>(std::vector<std::string>{proxy->path()},
                                                          std::chrono::milliseconds(200));
    busaccess::BridgeDriver driver(backend);
    ASSERT_EQ(driver.BridgeOpen(), 1);
    // Each late reply comes while the next frame waits for its own answer.
    proxy->delayNextReply(300ms);
    EXPECT_EQ(driver.BridgeWrite(u2csim::kChipAddress, 3, kReadVersion), 0);
    EXPECT_EQ(driver.BridgeWrite(kNobody, 3, kReadVersion), 0);
    ASSERT_EQ(driver.BridgeWrite(u2csim::kChipAddress, 3, kReadVersion), 1);

    proxy->delayNextReply(300ms);
    uint8_t reply[3] = {};
    EXPECT_EQ(driver.BridgeRead(u2csim::kChipAddress, 3, reply), 0);
    EXPECT_EQ(driver.BridgeRead(kNobody, 3, reply), 0);
    ASSERT_EQ(driver.BridgeWrite(u2csim::kChipAddress, 3, kReadVersion), 1);
    ASSERT_EQ(driver.BridgeRead(u2csim::kChipAddress, 3, reply), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x6000);
}
