#include "sim/Board.h"
#include "sim/Chip.h"
#include "sim/InProcessBackend.h"
#include "sim/SocketServer.h"
#include "usb/SocketBackend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace u2c;
using namespace u2csim;

namespace {

Bytes Reply(Board& board, const Bytes& frame) {
    Bytes all;
    for (const auto& p : board.transfer(frame.data(), frame.size()))
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes ServiceFrame(Board& board, uint8_t address, const Bytes& packet) {
    return Reply(board, WriteFrame(0, address, packet.data(), uint32_t(packet.size())));
}

Bytes CountReply(uint8_t status, const Bytes& data) {
    Bytes b{status, 0, 0, 0, 0};
    PutLE32(&b[1], uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

struct BoardWithChip : ::testing::Test {
    std::shared_ptr<Board> board = std::make_shared<Board>();
    std::shared_ptr<Chip> chip = std::make_shared<Chip>();
    void SetUp() override { board->attach(kChipAddress, chip); }
};

} // namespace

TEST_F(BoardWithChip, BridgeFramesAnswerAsTheProtocolSays) {
    EXPECT_EQ(Reply(*board, OpenFrame(0, 400000)), Bytes{1});
    EXPECT_TRUE(board->deviceOpen());
    EXPECT_EQ(Reply(*board, GetI2CFreqFrame(0)), (Bytes{0x80, 0x1A, 0x06, 0x00}));
    EXPECT_EQ(Reply(*board, SetI2CFreqFrame(0, 100000)), Bytes{1});
    EXPECT_EQ(board->i2cClock(), 100000u);
    EXPECT_EQ(Reply(*board, IsAliveFrame(0, 0x73)), Bytes{1});
    EXPECT_EQ(Reply(*board, IsAliveFrame(0, 0x80)), Bytes{1});
    EXPECT_EQ(Reply(*board, IsAliveFrame(0, 0x50)), Bytes{0});
    const uint8_t cmd[3] = {0x12, 0xA7, 0x34};
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, cmd, 3)), Bytes{1});
    EXPECT_EQ(chip->frames().back(), Bytes(cmd, cmd + 3));
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x51, cmd, 3)), Bytes{0}); // nobody there
    Bytes truncated = WriteFrame(0, 0x73, cmd, 3);
    truncated.pop_back();
    EXPECT_EQ(Reply(*board, truncated), Bytes{0});
    EXPECT_EQ(Reply(*board, CloseFrame(0)), Bytes{1});
    EXPECT_FALSE(board->deviceOpen());
}

TEST_F(BoardWithChip, ChipAnswersVersionReadsMostSignificantByteFirst) {
    const uint8_t version[3] = {0x00, kChipVersionCommand, 0x00};
    EXPECT_EQ(Reply(*board, WriteReadFrame(0, 0x73, version, 3, 3)),
              CountReply(1, {0x00, 0x60, 0x00}));
    const uint8_t sub[3] = {0x00, kChipSubVersionCommand, 0x00};
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, sub, 3)), Bytes{1});
    EXPECT_EQ(Reply(*board, ReadFrame(0, 0x73, 3)), CountReply(1, {0x00, 0x05, 0x05}));
    // Extensible: new commands answer through the table, other frames go
    // to the frame handler.
    std::vector<Bytes> others;
    chip->onFrame([&](const uint8_t* d, size_t n) { others.emplace_back(d, d + n); });
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, data, 6)), Bytes{1});
    EXPECT_EQ(others, std::vector<Bytes>{Bytes(data, data + 6)});
    chip->onRead(0xB5, [](uint16_t p) { return uint32_t(p) << 4; });
    const uint8_t straps[3] = {0xFF, 0xB5, 0xF1};
    EXPECT_EQ(Reply(*board, WriteReadFrame(0, 0x73, straps, 3, 3)),
              CountReply(1, {0x0F, 0xFF, 0x10}));
}

TEST_F(BoardWithChip, MemoryFlashAndVersionServices) {
    EXPECT_EQ(ServiceFrame(*board, 0x80, WriteMemWordPacket(0x2000, 0xFFFFFFFF)), Bytes{1});
    EXPECT_EQ(ServiceFrame(*board, 0x80, WriteMemMaskedPacket(0x2000, 0xC, 0x4)), Bytes{1});
    EXPECT_EQ(board->memWord(0x2000), 0xFFFFFFF7u);
    Bytes readMem = ReadMemPacket(0x2000, 4);
    EXPECT_EQ(Reply(*board, WriteReadFrame(0, 0x80, readMem.data(), 9, 4)),
              CountReply(1, {0xF7, 0xFF, 0xFF, 0xFF}));

    const uint8_t data[4] = {0x0F, 0xF0, 0x00, 0x55};
    EXPECT_EQ(ServiceFrame(*board, 0x80, WriteFlashPacket(0x100, data, 4)), Bytes{1});
    EXPECT_EQ(board->flash(0x100, 4), Bytes(data, data + 4));
    const uint8_t again[4] = {0xF0, 0xFF, 0xFF, 0xFF}; // programming only clears bits
    EXPECT_EQ(ServiceFrame(*board, 0x80, WriteFlashPacket(0x100, again, 4)), Bytes{1});
    EXPECT_EQ(board->flash(0x100, 4), (Bytes{0x00, 0xF0, 0x00, 0x55}));
    EXPECT_EQ(ServiceFrame(*board, 0x80, EraseFlashPacket(0x100, 2)), Bytes{1});
    EXPECT_EQ(board->flash(0x100, 4), (Bytes{0xFF, 0xFF, 0x00, 0x55}));
    // Out of the flash: refused, nothing changes.
    EXPECT_EQ(ServiceFrame(*board, 0x80, EraseFlashPacket(board->config().flashSize - 1, 2)),
              Bytes{0});
    EXPECT_EQ(ServiceFrame(*board, 0x80, ReadFlashPacket(0xFFFFFFFF, 2)), Bytes{0});

    EXPECT_EQ(ServiceFrame(*board, 0x31, GetVersionPacket()), Bytes{1}); // old address still served
    Bytes version = Reply(*board, ReadFrame(0, 0x31, 18));
    ASSERT_EQ(version.size(), 5u + 18u);
    VersionReply v = ParseVersionReply(version.data() + 5);
    EXPECT_EQ(v.boardType, 1);
    EXPECT_EQ(v.firmware, board->config().firmware);

    // A delay frame takes its milliseconds beyond a frame's own time.
    uint64_t before = board->nowUs();
    EXPECT_EQ(ServiceFrame(*board, 0x80, DelayPacket(0)), Bytes{1});
    const uint64_t frameTime = board->nowUs() - before;
    before = board->nowUs();
    EXPECT_EQ(ServiceFrame(*board, 0x80, DelayPacket(25)), Bytes{1});
    EXPECT_EQ(board->nowUs() - before, frameTime + 25000u);
}

// The board's clock (the transfer log's times) moves with the traffic: each
// USB transfer takes 125 us, each I2C frame its bits at the bus clock.
TEST_F(BoardWithChip, TheClockMovesWithEveryTransferAndBusFrame) {
    EXPECT_EQ(Reply(*board, OpenFrame(0, 100000)), Bytes{1});
    board->clearLog();
    const uint8_t cmd[3] = {0x12, 0xA7, 0x34};
    const uint64_t start = board->nowUs();
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, cmd, 3)), Bytes{1});
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, cmd, 3)), Bytes{1});
    const std::vector<TransferRecord> log = board->log();
    ASSERT_EQ(log.size(), 4u);
    // OUT, then 4 bytes of 9 bits and start and stop (380 us at 100 kHz),
    // then the IN packet.
    EXPECT_EQ(log[0].timeUs, start);
    EXPECT_EQ(log[1].timeUs, start + 125 + 380);
    EXPECT_EQ(log[2].timeUs, start + 125 + 380 + 125);
    EXPECT_EQ(board->nowUs(), start + 2 * (125 + 380 + 125));
    // At 400 kHz the bus takes a quarter of that.
    EXPECT_EQ(Reply(*board, SetI2CFreqFrame(0, 400000)), Bytes{1});
    const uint64_t fast = board->nowUs();
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x73, cmd, 3)), Bytes{1});
    EXPECT_EQ(board->nowUs() - fast, 125u + 95u + 125u);
}

TEST(OldFirmwareBoard, ServesOnlyTheOldAddressWithoutNewerFrames) {
    BoardConfig cfg;
    cfg.oldFirmware = true;
    Board board(cfg);
    EXPECT_EQ(Reply(board, IsAliveFrame(0, 0x80)), Bytes{0});
    EXPECT_EQ(Reply(board, IsAliveFrame(0, 0x31)), Bytes{1});
    Bytes ver = GetVersionPacket();
    EXPECT_EQ(Reply(board, WriteReadFrame(0, 0x31, ver.data(), 1, 18)), CountReply(0, {}));
    EXPECT_EQ(ServiceFrame(board, 0x31, DelayPacket(5)), Bytes{0});
    EXPECT_EQ(ServiceFrame(board, 0x31, WriteMemMaskedPacket(0, 1, 1)), Bytes{0});
    EXPECT_EQ(ServiceFrame(board, 0x80, WriteMemWordPacket(0, 1)), Bytes{0});
    EXPECT_EQ(ServiceFrame(board, 0x31, WriteMemWordPacket(0, 1)), Bytes{1});
}

TEST_F(BoardWithChip, InjectedFaultsShapeTheNextReply) {
    const uint8_t sub[3] = {0x00, kChipSubVersionCommand, 0x00};
    struct Case {
        Fault fault;
        Bytes expected;
    } cases[] = {
        {Fault::nak, CountReply(0, {})},
        {Fault::statusZero, CountReply(0, {0x00, 0x05, 0x05})},
        {Fault::shortCount, CountReply(1, {0x00, 0x05})},
        {Fault::oversizedCount,
         CountReply(1, {0x00, 0x05, 0x05, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE})},
        {Fault::stall, Bytes{}},
        {Fault::trailingBytes,
         Bytes{1, 3, 0, 0, 0, 0x00, 0x05, 0x05, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const auto& c : cases) {
        board->injectFault(c.fault);
        EXPECT_EQ(Reply(*board, WriteReadFrame(0, 0x73, sub, 3, 3)), c.expected) << int(c.fault);
        // Only the next frame is affected.
        EXPECT_EQ(Reply(*board, WriteReadFrame(0, 0x73, sub, 3, 3)),
                  CountReply(1, {0x00, 0x05, 0x05}));
    }
    board->injectFault(Fault::unplug);
    EXPECT_TRUE(Reply(*board, OpenFrame(0, 100000)).empty());
    board->replug();
    EXPECT_EQ(Reply(*board, OpenFrame(0, 100000)), Bytes{1});
}

TEST_F(BoardWithChip, RepliesAreSplitIntoPacketsAndEveryTransferIsLogged) {
    Bytes zeros(100, 0);
    EXPECT_EQ(ServiceFrame(*board, 0x80, WriteMemPacket(0, zeros.data(), 100)), Bytes{1});
    Bytes readMem = ReadMemPacket(0, 100);
    board->clearLog();
    EXPECT_EQ(Reply(*board, WriteFrame(0, 0x80, readMem.data(), 9)), Bytes{1});
    Bytes read = ReadFrame(0, 0x80, 100);
    auto replyPackets = board->transfer(read.data(), read.size()); // 5 + 100 bytes
    ASSERT_EQ(replyPackets.size(), 2u);
    EXPECT_EQ(replyPackets[0].size(), 64u);
    EXPECT_EQ(replyPackets[1].size(), 41u);
    auto log = board->log();
    ASSERT_EQ(log.size(), 5u); // OUT, IN, OUT, IN, IN
    EXPECT_TRUE(log[0].out);
    EXPECT_FALSE(log[1].out);
    EXPECT_GT(log[1].timeUs, log[0].timeUs);
    EXPECT_EQ(FormatTransfer(log[1]), std::to_string(log[1].timeUs) + " IN 01");
}

TEST(BoardLog, KeepsOnlyTheNewestTransfersInMemoryButHandsEveryOneToTheSink) {
    BoardConfig cfg;
    cfg.logLimit = 4;
    Board board(cfg);
    size_t sunk = 0;
    board.setLogSink([&](const TransferRecord&) { ++sunk; });
    for (uint8_t i = 0; i < 5; ++i)
        Reply(board, IsAliveFrame(i, 0x31)); // OUT and IN each
    auto log = board.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].bytes, IsAliveFrame(3, 0x31));
    EXPECT_EQ(sunk, 10u);
}

TEST_F(BoardWithChip, SocketServerSpeaksTheLengthPrefixedStream) {
    auto dir =
        std::filesystem::temp_directory_path() / ("u2csim-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "board.sock").string();
    SocketServer server(board, path);
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;

    kvusb::SocketBackend backend({path, (dir / "absent.sock").string()},
                                 std::chrono::milliseconds(50));
    ASSERT_EQ(backend.listBoards(), std::vector<std::string>{path});
    auto pipe = backend.open(path);
    ASSERT_TRUE(pipe);
    Bytes open = OpenFrame(0, 100000);
    ASSERT_EQ(kvusb::WriteAll(*pipe, open.data(), open.size()), kvusb::IoStatus::ok);
    uint8_t st = 0;
    ASSERT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::ok);
    EXPECT_EQ(st, 1);

    // A stalled board times out; the next frame is answered normally.
    board->injectFault(Fault::stall);
    ASSERT_EQ(kvusb::WriteAll(*pipe, open.data(), open.size()), kvusb::IoStatus::ok);
    EXPECT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::timeout);
    ASSERT_EQ(kvusb::WriteAll(*pipe, open.data(), open.size()), kvusb::IoStatus::ok);
    ASSERT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::ok);
    EXPECT_EQ(st, 1);

    // Bytes trailing a reply are not taken for the next frame's status.
    board->injectFault(Fault::trailingBytes);
    Bytes alive = IsAliveFrame(0, 0x50);
    ASSERT_EQ(kvusb::WriteAll(*pipe, alive.data(), alive.size()), kvusb::IoStatus::ok);
    ASSERT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::ok);
    EXPECT_EQ(st, 0) << "nobody at 0x50";
    ASSERT_EQ(kvusb::WriteAll(*pipe, alive.data(), alive.size()), kvusb::IoStatus::ok);
    ASSERT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::ok);
    EXPECT_EQ(st, 0);

    // Unplugging closes the stream.
    board->injectFault(Fault::unplug);
    kvusb::WriteAll(*pipe, open.data(), open.size());
    EXPECT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::noDevice);
    EXPECT_EQ(kvusb::WriteAll(*pipe, open.data(), open.size()), kvusb::IoStatus::noDevice);
    server.stop();
    std::filesystem::remove_all(dir);
}

TEST_F(BoardWithChip, AHostThatNeverReadsItsRepliesIsDroppedNotWaitedFor) {
    auto dir =
        std::filesystem::temp_directory_path() / ("u2csim-unread-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "board.sock").string();
    SocketServer server(board, path);
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;

    // Host A asks for far more reply data than the stream buffers hold and
    // never reads any of it.
    int greedy = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::connect(greedy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const Bytes read = ReadFrame(0, kChipAddress, 65536);
    Bytes requests;
    for (int i = 0; i < 32; ++i) {
        const uint8_t length[4] = {uint8_t(read.size()), 0, 0, 0};
        requests.insert(requests.end(), length, length + 4);
        requests.insert(requests.end(), read.begin(), read.end());
    }
    ASSERT_EQ(::send(greedy, requests.data(), requests.size(), MSG_NOSIGNAL),
              ssize_t(requests.size()));

    // Host B is still served.
    kvusb::SocketBackend backend({path}, std::chrono::seconds(5));
    auto pipe = backend.open(path);
    ASSERT_TRUE(pipe);
    Bytes alive = IsAliveFrame(0, kChipAddress);
    ASSERT_EQ(kvusb::WriteAll(*pipe, alive.data(), alive.size()), kvusb::IoStatus::ok);
    uint8_t st = 0;
    EXPECT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::ok);
    EXPECT_EQ(st, 1);
    ::close(greedy);
    server.stop();
    std::filesystem::remove_all(dir);
}

TEST(InProcessBackend, ListsPresentBoardsAndFailsStalledReadsWithATimeout) {
    auto a = std::make_shared<Board>(), b = std::make_shared<Board>();
    InProcessBackend backend({a, b});
    EXPECT_EQ(backend.listBoards(), (std::vector<std::string>{"sim:0", "sim:1"}));
    b->injectFault(Fault::unplug);
    EXPECT_EQ(backend.listBoards(), std::vector<std::string>{"sim:0"});
    EXPECT_FALSE(backend.open("sim:1"));
    EXPECT_FALSE(backend.open("sim:7"));
    EXPECT_FALSE(backend.open("sim:0x"));
    auto pipe = backend.open("sim:0");
    ASSERT_TRUE(pipe);
    a->injectFault(Fault::stall);
    Bytes open = OpenFrame(0, 100000);
    ASSERT_EQ(kvusb::WriteAll(*pipe, open.data(), open.size()), kvusb::IoStatus::ok);
    uint8_t st = 0;
    uint64_t before = a->nowUs();
    EXPECT_EQ(kvusb::ReadAll(*pipe, &st, 1), kvusb::IoStatus::timeout);
    EXPECT_EQ(a->nowUs() - before, 1000000u) << "the default time-out, on the virtual clock";
}

namespace {

// Runs u2c-sim with the given arguments; returns its exit code and output.
std::pair<int, std::string> RunSim(const std::string& args) {
    std::string cmd = std::string(U2C_SIM_PATH) + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p))
        out += buf;
    int status = p ? ::pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

} // namespace

TEST(SimDaemonOptions, HelpAndBadOptionsExitAtOnce) {
    auto [helpCode, help] = RunSim("--help");
    EXPECT_EQ(helpCode, 0);
    for (const char* option :
         {"--socket", "--log", "--board-type", "--firmware", "--old-firmware", "--chip-version",
          "--chip-subversion", "--eeprom-blocks", "--eeprom-write-protect", "--eeprom-never-ready",
          "--pin-input", "--amplifier", "--spdif-rx", "--spdif-rx-register", "--fail-flash-write"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    struct Case {
        const char* args;
        const char* complaint;
    } bad[] = {
        {"", "--socket is required"},
        {"--socket", "--socket needs a path"},
        {"--socket /tmp/x.sock --board-type 0x10000", "--board-type needs"},
        {"--socket /tmp/x.sock --chip-version 12z", "--chip-version needs"},
        {"--socket /tmp/x.sock --frobnicate", "unknown option --frobnicate"},
        {"--socket /tmp/x.sock --eeprom-blocks 9", "--eeprom-blocks needs"},
        {"--socket /tmp/x.sock --pin-input 0x45", "--pin-input needs"},
        {"--socket /tmp/x.sock --pin-input 0x45=2", "--pin-input needs"},
        {"--socket /tmp/x.sock --spdif-rx 0x14", "--spdif-rx needs"},
        {"--socket /tmp/x.sock --spdif-rx-register 0x18", "--spdif-rx-register needs"},
    };
    for (const auto& c : bad) {
        auto [code, out] = RunSim(c.args);
        EXPECT_EQ(code, 2) << c.args;
        EXPECT_NE(out.find(c.complaint), std::string::npos) << out;
    }
}
