#include "busaccess/BridgeDriver.h"
#include "sim/Chip.h"
#include "sim/InProcessBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace busaccess;
using namespace u2c;
using u2csim::Fault;

namespace {

// The messages the driver would show, as the GUI's scripted stand-in.
struct RecordingMessages : MessageService {
    std::vector<std::pair<std::string, std::string>> shown;
    void showInformation(const std::string& text, const std::string& caption) override {
        shown.emplace_back(text, caption);
    }
};

struct Recorded {
    uint32_t length;
    uint8_t slave;
    uint8_t status;
};

struct DriverOverSim : ::testing::Test {
    std::vector<std::shared_ptr<u2csim::Board>> boards;
    std::shared_ptr<u2csim::InProcessBackend> backend;
    std::shared_ptr<RecordingMessages> messages = std::make_shared<RecordingMessages>();
    std::unique_ptr<BridgeDriver> driver;
    std::vector<Recorded> recorded;
    std::vector<uint32_t> slept;

    void make(size_t count, bool oldFirmware = false) {
        u2csim::BoardConfig cfg;
        cfg.oldFirmware = oldFirmware;
        for (size_t i = 0; i < count; ++i) {
            boards.push_back(std::make_shared<u2csim::Board>(cfg));
            boards.back()->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>());
        }
        backend = std::make_shared<u2csim::InProcessBackend>(boards);
        driver = std::make_unique<BridgeDriver>(backend, messages);
        driver->setTrafficRecorder([this](uint32_t n, uint8_t slave, const uint8_t*, uint8_t st) {
            recorded.push_back({n, slave, st});
        });
        driver->setSleeper([this](uint32_t ms) { slept.push_back(ms); });
    }
    u2csim::Board& board() { return *boards[0]; }
    std::vector<Bytes> outTransfers(size_t board = 0) {
        std::vector<Bytes> out;
        for (const auto& r : boards[board]->log())
            if (r.out)
                out.push_back(r.bytes);
        return out;
    }
    void openAndClearLog() {
        ASSERT_EQ(driver->BridgeOpen(), 1);
        board().clearLog();
        recorded.clear();
    }
};

} // namespace

TEST_F(DriverOverSim, OpenSendsTheOpenFrameAndChoosesTheServiceAddress) {
    make(1);
    EXPECT_EQ(driver->serviceAddress(), kNoServiceAddress);
    ASSERT_EQ(driver->BridgeOpen(), 1);
    auto out = outTransfers();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], (Bytes{0xC0, 0, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00}));
    EXPECT_EQ(out[1], IsAliveFrame(0, 0x80));
    EXPECT_EQ(driver->serviceAddress(), kServiceAddress);
    EXPECT_EQ(driver->pipes().bulkIn & 0x80, 0x80);
    EXPECT_TRUE(messages->shown.empty());

    board().clearLog();
    EXPECT_EQ(driver->BridgeClose(), 1);
    EXPECT_EQ(outTransfers(), std::vector<Bytes>{Bytes({0xC1, 0, 0, 0})});
    EXPECT_EQ(driver->serviceAddress(), kServiceAddress) << "kept across a close";
}

TEST_F(DriverOverSim, OpenFailuresLeaveTheDriverClosed) {
    make(1);
    board().injectFault(Fault::statusZero);
    EXPECT_EQ(driver->BridgeOpen(), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrOpenRefused));
    EXPECT_FALSE(driver->isOpen());
    board().injectFault(Fault::stall);
    EXPECT_EQ(driver->BridgeOpen(), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrRead));
    board().injectFault(Fault::unplug);
    EXPECT_EQ(driver->BridgeOpen(), 0); // no board present
    EXPECT_EQ(driver->BridgeCountDevices(), 0);
}

TEST_F(DriverOverSim, OldFirmwareIsDetectedAndItsFallbacksAreUsed) {
    make(1, /*oldFirmware=*/true);
    ASSERT_EQ(driver->BridgeOpen(), 1);
    EXPECT_EQ(driver->serviceAddress(), kOldServiceAddress);

    board().setMemWord(0x40, 0xFFFFFFFF);
    board().clearLog();
    EXPECT_EQ(driver->BridgeWriteMemMasked(0x40, 0xC, 0x4), 1);
    EXPECT_EQ(board().memWord(0x40), 0xFFFFFFF7u);
    // Read (as a write then a read), then a plain memory write.
    auto out = outTransfers();
    ASSERT_EQ(out.size(), 3u);
    Bytes readMem = ReadMemPacket(0x40, 4);
    EXPECT_EQ(out[0], WriteFrame(0, 0x31, readMem.data(), 9));
    EXPECT_EQ(out[1], ReadFrame(0, 0x31, 4));
    EXPECT_EQ(out[2][0], BRIDGE_WRITE);

    // A word read short is not merged and written back.
    board().setMemWord(0x44, 0x11223344);
    board().injectFault(Fault::shortCount);
    EXPECT_EQ(driver->BridgeWriteMemMasked(0x44, 0xFF, 0x00), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrCountMismatch));
    EXPECT_EQ(board().memWord(0x44), 0x11223344u);

    board().clearLog();
    EXPECT_EQ(driver->BridgeDelay(250), 1);
    EXPECT_EQ(slept, std::vector<uint32_t>{250});
    EXPECT_TRUE(outTransfers().empty());

    uint16_t type = 0;
    uint32_t firmware = 0;
    EXPECT_EQ(driver->BridgeGetVersion(type, firmware), 1);
    EXPECT_EQ(type, board().config().boardType);
    EXPECT_EQ(firmware, board().config().firmware);
}

TEST_F(DriverOverSim, CurrentFirmwareSendsOneFramePerService) {
    make(1);
    openAndClearLog();
    board().setMemWord(0x40, 0xFFFFFFFF);
    EXPECT_EQ(driver->BridgeWriteMemMasked(0x40, 0xC, 0x4), 1);
    EXPECT_EQ(board().memWord(0x40), 0xFFFFFFF7u);
    EXPECT_EQ(driver->BridgeDelay(7), 1);
    EXPECT_TRUE(slept.empty());
    auto out = outTransfers();
    ASSERT_EQ(out.size(), 2u);
    Bytes masked = WriteMemMaskedPacket(0x40, 0xC, 0x4);
    EXPECT_EQ(out[0], WriteFrame(0, 0x80, masked.data(), 14));
    Bytes delay = DelayPacket(7);
    EXPECT_EQ(out[1], WriteFrame(0, 0x80, delay.data(), 5));

    uint8_t mem[4] = {};
    EXPECT_EQ(driver->BridgeReadMem(0x40, 4, mem), 1);
    EXPECT_EQ(GetLE32(mem), 0xFFFFFFF7u);
    EXPECT_EQ(outTransfers().back()[0], BRIDGE_WRITE_READ);

    EXPECT_EQ(driver->BridgeEraseFlash(0, 16), 1);
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(driver->BridgeWriteFlash(4, data, 3), 1);
    EXPECT_EQ(board().flash(3, 5), (Bytes{0xFF, 1, 2, 3, 0xFF}));
}

TEST_F(DriverOverSim, WritesUpTo1014BytesGoInOneFrameAndLongerOnesAreRefused) {
    make(1);
    openAndClearLog();
    Bytes data(1015, 0x5A);
    EXPECT_EQ(driver->BridgeWrite(0x73, 1014, data.data()), 1);
    auto out = outTransfers();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].size(), 1024u);

    board().clearLog();
    EXPECT_EQ(driver->BridgeWrite(0x73, 1015, data.data()), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrWrite));
    EXPECT_TRUE(board().log().empty());
    EXPECT_EQ(driver->BridgeWriteRead(0x73, 1011, data.data(), 3, data.data()), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrWrite));
    EXPECT_TRUE(board().log().empty());
    // Every attempt is recorded, the refused ones with status 0.
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0].length, 1014u);
    EXPECT_EQ(recorded[0].status, 1);
    EXPECT_EQ(recorded[1].length, 1015u);
    EXPECT_EQ(recorded[1].status, 0);
    EXPECT_EQ(recorded[2].slave, 0x73);
    // Flash writes whose frame length cannot be described never build one.
    EXPECT_EQ(driver->BridgeWriteFlash(0, data.data(), 0xFFFFFFF8u), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrWrite));
}

TEST_F(DriverOverSim, ReplyCountsAreChecked) {
    make(1);
    openAndClearLog();
    const uint8_t cmd[3] = {0x00, u2csim::kChipVersionCommand, 0x00};
    uint8_t out[8] = {};
    board().injectFault(Fault::shortCount);
    EXPECT_EQ(driver->BridgeWriteRead(0x73, 3, cmd, 3, out), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrCountMismatch));
    board().injectFault(Fault::oversizedCount);
    EXPECT_EQ(driver->BridgeWriteRead(0x73, 3, cmd, 3, out), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrCountMismatch));
    // Plain reads accept fewer bytes but not more than asked.
    EXPECT_EQ(driver->BridgeWrite(0x73, 3, cmd), 1);
    board().injectFault(Fault::oversizedCount);
    EXPECT_EQ(driver->BridgeRead(0x73, 3, out), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrRead));
    // And the driver is still in step with the board.
    EXPECT_EQ(driver->BridgeWriteRead(0x73, 3, cmd, 3, out), 1);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x60, 0x00}));
}

TEST_F(DriverOverSim, FailuresNeverWaitForeverAndTheDriverStaysUsable) {
    make(1);
    openAndClearLog();
    board().injectFault(Fault::stall);
    EXPECT_EQ(driver->BridgeIsAlive(0x73), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrRead));
    EXPECT_EQ(driver->BridgeIsAlive(0x73), 1);

    board().injectFault(Fault::unplug);
    EXPECT_EQ(driver->BridgeIsAlive(0x73), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrWrite));
    board().replug();
    ASSERT_EQ(driver->BridgeOpen(), 1) << "the next open finds the board again";
    EXPECT_EQ(driver->BridgeIsAlive(0x73), 1);
}

TEST_F(DriverOverSim, FramesOnAClosedDriverSetError1AndSendNothing) {
    make(1);
    uint8_t buf[4];
    uint16_t type = 7;
    uint32_t fw = 7;
    EXPECT_EQ(driver->BridgeWrite(0x73, 1, buf), 0);
    EXPECT_EQ(driver->BridgeRead(0x73, 1, buf), 0);
    EXPECT_EQ(driver->BridgeGetVersion(type, fw), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(fw, 0u);
    EXPECT_EQ(driver->BridgeClose(), 0);
    EXPECT_EQ(driver->lastError(), uint32_t(kErrNotOpen));
    EXPECT_TRUE(board().log().empty());
    EXPECT_TRUE(recorded.empty()) << "nothing recorded before the not-open check";
}

TEST_F(DriverOverSim, TwoBoardsTellTheUserOncePerOpenAndUseTheFirst) {
    make(2);
    EXPECT_EQ(driver->BridgeCountDevices(), 2);
    std::string path;
    EXPECT_EQ(driver->BridgeGetDevicePath(1, path), 1);
    EXPECT_EQ(path, "sim:1");
    EXPECT_EQ(driver->BridgeGetDevicePath(2, path), 0);
    ASSERT_EQ(driver->BridgeOpen(), 1);
    ASSERT_EQ(driver->BridgeOpen(), 1);
    ASSERT_EQ(messages->shown.size(), 2u);
    EXPECT_EQ(messages->shown[0].first,
              "Found more then one TerovanU2C devices connected, driver will open the first "
              "available.");
    EXPECT_EQ(messages->shown[0].second, "TerovanU2C Device Driver");
    EXPECT_FALSE(outTransfers(0).empty());
    EXPECT_TRUE(outTransfers(1).empty());
}

TEST(TraceMessages, HeadlessMessagesBecomeOneTraceLine) {
    auto file = std::filesystem::temp_directory_path() /
                ("busaccess-trace-" + std::to_string(::getpid()) + ".txt");
    ::setenv("QUORL_TRACE", file.c_str(), 1);
    TraceMessageService().showInformation(kManyBoardsText, kManyBoardsCaption);
    ::unsetenv("QUORL_TRACE");
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, std::string(kManyBoardsCaption) + ": " + kManyBoardsText);
    std::filesystem::remove(file);
}
