#include "TerovanBridge.h"
#include "sim/Chip.h"
#include "sim/InProcessBackend.h"

#include <gtest/gtest.h>

using namespace terovan;
using namespace u2c;
using u2csim::Fault;

namespace {

struct TerovanOverSim : ::testing::Test {
    std::vector<std::shared_ptr<u2csim::Board>> boards;
    std::shared_ptr<u2csim::InProcessBackend> backend;
    TerovanBridge lib;

    void make(size_t count = 1) {
        for (size_t i = 0; i < count; ++i) {
            boards.push_back(std::make_shared<u2csim::Board>());
            boards.back()->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>());
        }
        backend = std::make_shared<u2csim::InProcessBackend>(boards);
        lib.setBackend(backend);
    }
    void SetUp() override { make(); }
    u2csim::Board& board(size_t i = 0) { return *boards[i]; }
    std::vector<Bytes> out(size_t i = 0) {
        std::vector<Bytes> o;
        for (const auto& r : boards[i]->log())
            if (r.out)
                o.push_back(r.bytes);
        return o;
    }
    int32_t open() {
        int32_t h = lib.OpenDevice(0, 100000);
        board().clearLog();
        return h;
    }
};

} // namespace

TEST_F(TerovanOverSim, OpenAndCloseSendTheirExactFrames) {
    int32_t h = lib.OpenDevice(0, 100000);
    ASSERT_NE(h, -1);
    EXPECT_NE(h, 0);
    ASSERT_EQ(out().size(), 1u) << "no probe of the service address";
    EXPECT_EQ(out()[0], (Bytes{0xC0, 0, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00}));
    const TerovanU2CDevice& rec = lib.record();
    EXPECT_NE(rec.fileHandle, nullptr);
    EXPECT_NE(rec.interfaceHandle, nullptr);
    EXPECT_EQ(rec.bulkInPipe & 0x80, 0x80);
    EXPECT_EQ(rec.bulkOutPipe & 0x80, 0);
    board().clearLog();
    EXPECT_EQ(lib.CloseDevice(h), 1);
    EXPECT_EQ(out(), std::vector<Bytes>{Bytes({0xC1, 0, 0, 0})});
    EXPECT_EQ(rec.fileHandle, nullptr);
    EXPECT_EQ(rec.interfaceHandle, nullptr);
    // The old handle now designates a closed device.
    board().clearLog();
    EXPECT_EQ(lib.IsAlive(h, 0x73), 0);
    EXPECT_TRUE(board().log().empty());
}

TEST_F(TerovanOverSim, TheCallersChannelAndClockGoIntoEveryFrame) {
    ASSERT_NE(lib.OpenDevice(0x00030201, 400000), -1);
    EXPECT_EQ(out()[0], (Bytes{0xC0, 1, 2, 3, 0, 0x80, 0x1A, 0x06, 0x00}));
    EXPECT_EQ(lib.record().channel, 0x00030201u);
    board().clearLog();
    EXPECT_EQ(lib.GetI2CFreq(kDeviceHandle), 400000u);
    EXPECT_EQ(lib.SetI2CFreq(kDeviceHandle, 100000), 1);
    EXPECT_EQ(board().i2cClock(), 100000u);
    EXPECT_EQ(lib.IsAlive(kDeviceHandle, 0x73), 1);
    EXPECT_EQ(lib.IsAlive(kDeviceHandle, 0x50), 0);
    auto o = out();
    ASSERT_EQ(o.size(), 4u);
    EXPECT_EQ(o[0], (Bytes{0xC3, 1, 2, 3})) << "get-freq is 4 bytes";
    EXPECT_EQ(o[1], (Bytes{0xC2, 1, 2, 3, 0, 0xA0, 0x86, 0x01, 0x00}));
    EXPECT_EQ(o[2], (Bytes{0xC4, 1, 2, 3, 0, 0x73}));
}

TEST_F(TerovanOverSim, NoDeviceHandlesAndNoBoardsDoNothing) {
    for (int32_t h : {0, -1, 12345}) {
        EXPECT_EQ(lib.CloseDevice(h), 0);
        EXPECT_EQ(lib.IsAlive(h, 0x73), 0);
    }
    EXPECT_TRUE(board().log().empty());
    uint32_t v[5];
    EXPECT_EQ(lib.GetVersion(kDeviceHandle, v), 0) << "not open";
    board().injectFault(Fault::unplug);
    EXPECT_EQ(lib.OpenDevice(0, 100000), -1);
    board().replug();
    board().injectFault(Fault::statusZero);
    EXPECT_EQ(lib.OpenDevice(0, 100000), -1);
    EXPECT_EQ(lib.record().fileHandle, nullptr);
}

TEST_F(TerovanOverSim, OpeningTwiceClosesTheFirstAndReturnsTheSameHandle) {
    int32_t first = lib.OpenDevice(0, 100000);
    int32_t second = lib.OpenDevice(0, 100000);
    EXPECT_EQ(first, second);
    auto o = out();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[1], (Bytes{0xC1, 0, 0, 0}));
    EXPECT_EQ(o[2][0], BRIDGE_OPEN_DEVICE);
    EXPECT_EQ(backend->opens(), 2u);
}

TEST_F(TerovanOverSim, GetVersionFillsTheFiveValues) {
    int32_t h = open();
    EXPECT_EQ(lib.GetVersion(h, nullptr), 0);
    EXPECT_TRUE(board().log().empty()) << "a null pointer sends nothing";
    uint32_t v[5] = {};
    ASSERT_EQ(lib.GetVersion(h, v), 1);
    const auto& cfg = board().config();
    EXPECT_EQ(v[0], cfg.boardType);
    EXPECT_EQ(v[1], cfg.firmware);
    EXPECT_EQ(v[2], cfg.versionWords[0]);
    EXPECT_EQ(v[3], cfg.versionWords[1]);
    EXPECT_EQ(v[4], cfg.versionWords[2]);
    auto o = out();
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0], (Bytes{0xC6, 0, 0, 0, 0, 0x31, 1, 0, 0, 0, 0xD5}));
    EXPECT_EQ(o[1], ReadFrame(0, 0x31, 18));

    // A failed write or read gives 0 and leaves the values alone.
    uint32_t w[5] = {7, 7, 7, 7, 7};
    for (Fault f : {Fault::nak, Fault::shortCount, Fault::stall}) {
        board().injectFault(f);
        EXPECT_EQ(lib.GetVersion(h, w), 0) << int(f);
        EXPECT_EQ(w[0], 7u);
    }
    EXPECT_EQ(lib.GetVersion(h, w), 1);
}

TEST_F(TerovanOverSim, ReadsStoreOnlyTheAnnouncedBytes) {
    int32_t h = open();
    const uint8_t cmd[3] = {0x00, u2csim::kChipVersionCommand, 0x00};
    ASSERT_EQ(lib.Write(h, 0x73, 3, cmd), 1);
    board().injectFault(Fault::shortCount);
    uint8_t buf[3] = {0xAA, 0xAA, 0xAA};
    EXPECT_EQ(lib.Read(h, 0x73, 3, buf), 1);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{0x00, 0x60, 0xAA}));
    // More than asked: refused, nothing stored, and no stale bytes after.
    ASSERT_EQ(lib.Write(h, 0x73, 3, cmd), 1);
    board().injectFault(Fault::oversizedCount);
    uint8_t big[3] = {0xAA, 0xAA, 0xAA};
    EXPECT_EQ(lib.Read(h, 0x73, 3, big), 0);
    EXPECT_EQ(big[0], 0xAA);
    EXPECT_EQ(lib.IsAlive(h, 0x73), 1);
    EXPECT_EQ(lib.Read(h, 0x73, 3, nullptr), 0);
}

TEST_F(TerovanOverSim, WritesHaveNoFrameLimitButLengthsThatOverflowAreRefused) {
    int32_t h = open();
    Bytes data(3000, 0x11);
    EXPECT_EQ(lib.Write(h, 0x73, 3000, data.data()), 1);
    ASSERT_EQ(out().size(), 1u);
    EXPECT_EQ(out()[0].size(), 3010u);
    board().clearLog();
    EXPECT_EQ(lib.Write(h, 0x73, 0xFFFFFFF6u, data.data()), 0);
    EXPECT_EQ(lib.WriteMem(h, 0, data.data(), 0xFFFFFFF1u), 0);
    EXPECT_EQ(lib.WriteFlash(h, 0, data.data(), 0xFFFFFFFFu), 0);
    EXPECT_EQ(lib.Write(h, 0x73, 4, nullptr), 0);
    EXPECT_TRUE(board().log().empty());
}

TEST_F(TerovanOverSim, MemoryAndFlashServicesGoToTheOldServiceAddress) {
    int32_t h = open();
    const uint8_t word[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(lib.WriteMem(h, 0x100, word, 4), 1);
    EXPECT_EQ(out()[0], (Bytes{0xC6, 0, 0, 0, 0, 0x31, 9, 0, 0, 0, 0xD1, 0, 1, 0, 0, 0x78, 0x56,
                               0x34, 0x12}));
    EXPECT_EQ(board().memWord(0x100), 0x12345678u);
    uint8_t back[4] = {};
    EXPECT_EQ(lib.ReadMem(h, 0x100, back, 4), 1);
    EXPECT_EQ(Bytes(back, back + 4), Bytes(word, word + 4));

    EXPECT_EQ(lib.EraseFlash(h, 0x2000, 8), 1);
    EXPECT_EQ(lib.WriteFlash(h, 0x2002, word, 4), 1);
    uint8_t flash[8] = {};
    EXPECT_EQ(lib.ReadFlash(h, 0x2000, flash, 8), 1);
    EXPECT_EQ(Bytes(flash, flash + 8), (Bytes{0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF}));
    board().clearLog();
    board().injectFault(Fault::nak); // the request is refused: no read follows
    EXPECT_EQ(lib.ReadFlash(h, 0x2000, flash, 8), 0);
    EXPECT_EQ(out().size(), 1u);
}

TEST_F(TerovanOverSim, StalledOrUnpluggedBoardsFailPromptlyAndTheLibraryRecovers) {
    int32_t h = open();
    board().injectFault(Fault::stall);
    EXPECT_EQ(lib.IsAlive(h, 0x73), 0);
    EXPECT_EQ(lib.IsAlive(h, 0x73), 1);
    board().injectFault(Fault::stall);
    EXPECT_EQ(lib.GetI2CFreq(h), 0u);
    EXPECT_EQ(lib.GetI2CFreq(h), 100000u);

    board().injectFault(Fault::unplug);
    const uint8_t cmd[3] = {0, 0xA7, 0};
    EXPECT_EQ(lib.Write(h, 0x73, 3, cmd), 0);
    EXPECT_EQ(lib.OpenDevice(0, 100000), -1);
    board().replug();
    EXPECT_EQ(lib.OpenDevice(0, 100000), kDeviceHandle);
    EXPECT_EQ(lib.Write(h, 0x73, 3, cmd), 1);
}

TEST(TerovanTwoBoards, TheFirstBoardIsUsedWithoutAMessage) {
    auto a = std::make_shared<u2csim::Board>(), b = std::make_shared<u2csim::Board>();
    TerovanBridge lib(std::make_shared<u2csim::InProcessBackend>(
        std::vector<std::shared_ptr<u2csim::Board>>{a, b}));
    EXPECT_EQ(lib.OpenDevice(0, 100000), kDeviceHandle);
    EXPECT_TRUE(a->deviceOpen());
    EXPECT_FALSE(b->deviceOpen());
}
