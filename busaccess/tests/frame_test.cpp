#include "busaccess/FrameLink.h"
#include "sim/Chip.h"
#include "sim/InProcessBackend.h"

#include <gtest/gtest.h>

using namespace u2c;

TEST(FrameCodec, BuildsEveryFrameByteForByte) {
    const uint8_t d[2] = {0xAA, 0xBB};
    struct Case {
        const char* name;
        Bytes built;
        Bytes expected;
    } cases[] = {
        {"open", OpenFrame(0, 100000), {0xC0, 0, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00}},
        {"close", CloseFrame(0x04030201), {0xC1, 0x01, 0x02, 0x03}},
        {"set freq", SetI2CFreqFrame(1, 400000), {0xC2, 1, 0, 0, 0, 0x80, 0x1A, 0x06, 0x00}},
        {"get freq", GetI2CFreqFrame(0x00000105), {0xC3, 0x05, 0x01, 0x00}},
        {"is alive", IsAliveFrame(0, 0x73), {0xC4, 0, 0, 0, 0, 0x73}},
        {"read", ReadFrame(0, 0x73, 3), {0xC5, 0, 0, 0, 0, 0x73, 3, 0, 0, 0}},
        {"write", WriteFrame(0, 0x73, d, 2), {0xC6, 0, 0, 0, 0, 0x73, 2, 0, 0, 0, 0xAA, 0xBB}},
        {"write-read",
         WriteReadFrame(0, 0x80, d, 2, 18),
         {0xC7, 0, 0, 0, 0, 0x80, 2, 0, 0, 0, 18, 0, 0, 0, 0xAA, 0xBB}},
        {"read mem", ReadMemPacket(0x12345678, 4), {0xD0, 0x78, 0x56, 0x34, 0x12, 4, 0, 0, 0}},
        {"write mem word",
         WriteMemWordPacket(0x10, 0xA1B2C3D4),
         {0xD1, 0x10, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1}},
        {"write mem bytes", WriteMemPacket(0x10, d, 2), {0xD1, 0x10, 0, 0, 0, 0xAA, 0xBB}},
        {"read flash", ReadFlashPacket(0x100, 8), {0xD2, 0, 1, 0, 0, 8, 0, 0, 0}},
        {"write flash", WriteFlashPacket(0x100, d, 2), {0xD3, 0, 1, 0, 0, 0xAA, 0xBB}},
        {"erase flash", EraseFlashPacket(0x100, 0x1000), {0xD4, 0, 1, 0, 0, 0, 0x10, 0, 0}},
        {"version", GetVersionPacket(), {0xD5}},
        {"delay", DelayPacket(300), {0xD6, 0x2C, 0x01, 0, 0}},
        {"masked",
         WriteMemMaskedPacket(0x20, 0xC, 0x4),
         {0xD9, 0x20, 0, 0, 0, 4, 0x0C, 0, 0, 0, 0x04, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.built, c.expected) << c.name;
}

TEST(FrameCodec, VersionReplyFieldsSitAtTheirOffsets) {
    Bytes reply(18);
    for (size_t i = 0; i < reply.size(); ++i)
        reply[i] = uint8_t(i + 1);
    VersionReply v = ParseVersionReply(reply.data());
    EXPECT_EQ(v.word0, 0x04030201u);
    EXPECT_EQ(v.word1, 0x08070605u);
    EXPECT_EQ(v.word2, 0x0C0B0A09u);
    EXPECT_EQ(v.boardType, 0x0E0D);
    EXPECT_EQ(v.firmware, 0x1211100Fu);
    EXPECT_EQ(EncodeVersionReply(v), reply);
}

TEST(FrameCodec, FrameSizesThatOverflowAreRefused) {
    EXPECT_EQ(WriteFrameSize(kWriteHeaderSize, 1014), 1024u);
    EXPECT_EQ(WriteFrameSize(kWriteHeaderSize, 0xFFFFFFF5u), 0xFFFFFFFFu);
    EXPECT_FALSE(WriteFrameSize(kWriteHeaderSize, 0xFFFFFFF6u));
    EXPECT_FALSE(WriteFrameSize(kWriteReadHeaderSize, 0xFFFFFFFFu));
    FrameLink bus(kBusLibraryProfile), terovan(kTerovanProfile);
    EXPECT_TRUE(bus.frameFits(1024u));
    EXPECT_FALSE(bus.frameFits(1025u));
    EXPECT_TRUE(terovan.frameFits(5000u));
    EXPECT_FALSE(terovan.frameFits(std::nullopt));
}

// A link over one simulated board with the chip.
struct LinkOverSim : ::testing::Test {
    std::shared_ptr<u2csim::Board> board = std::make_shared<u2csim::Board>();
    u2csim::InProcessBackend backend{{board}};
    FrameLink link{kBusLibraryProfile};
    const uint8_t subVersion[3] = {0x00, u2csim::kChipSubVersionCommand, 0x00};

    void SetUp() override {
        board->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>());
        link.attach(backend.open("sim:0"));
    }
    FrameResult readSubVersion(uint8_t* out, bool exact = true) {
        return link.readFrame(WriteReadFrame(0, 0x73, subVersion, 3, 3), 3, out, exact);
    }
};

TEST_F(LinkOverSim, RefusedRepliesLeaveNoStaleBytesForTheNextFrame) {
    struct Case {
        u2csim::Fault fault;
        bool exact;
        uint32_t error;
    } cases[] = {
        {u2csim::Fault::oversizedCount, false, kErrRead},
        {u2csim::Fault::oversizedCount, true, kErrCountMismatch},
        {u2csim::Fault::shortCount, true, kErrCountMismatch},
        {u2csim::Fault::stall, true, kErrRead},
    };
    for (const auto& c : cases) {
        board->injectFault(c.fault);
        uint8_t out[3] = {0x11, 0x22, 0x33};
        FrameResult r = readSubVersion(out, c.exact);
        EXPECT_EQ(r.error, c.error) << int(c.fault);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(out[0], 0x11) << "nothing stored from a refused reply";
        // The next frames read their own replies.
        EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x73)).status, 1);
        FrameResult ok = readSubVersion(out);
        EXPECT_TRUE(ok.ok());
        EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x05, 0x05}));
    }
}

TEST_F(LinkOverSim, BytesTrailingAReplyAreNotReadAsTheNextOne) {
    board->injectFault(u2csim::Fault::trailingBytes);
    EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x73)).status, 1);
    EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x50)).status, 0) << "nobody at 0x50";
    uint8_t out[3] = {};
    board->injectFault(u2csim::Fault::trailingBytes);
    EXPECT_TRUE(readSubVersion(out).ok());
    EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x73)).status, 1);
    EXPECT_TRUE(readSubVersion(out).ok());
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x05, 0x05}));
}

TEST_F(LinkOverSim, ShortCountIsAcceptedForPlainReadsAndStoresOnlyThoseBytes) {
    board->injectFault(u2csim::Fault::shortCount);
    uint8_t out[3] = {0x11, 0x22, 0x33};
    FrameResult r = readSubVersion(out, /*exact=*/false);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.count, 2u);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x00, 0x05, 0x33}));
}

TEST_F(LinkOverSim, StatusZeroIsAReplyNotATransportError) {
    board->injectFault(u2csim::Fault::nak);
    FrameResult r = link.statusFrame(IsAliveFrame(0, 0x73));
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.status, 0);
}

TEST_F(LinkOverSim, AGoneBoardFailsFramesAtOnceAndAClosedLinkSendsNothing) {
    board->injectFault(u2csim::Fault::unplug);
    EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x73)).error, kErrWrite);
    // Closing still tries to read the status after the failed write.
    EXPECT_EQ(link.statusFrame(CloseFrame(0), true).error, kErrRead);
    link.detach();
    board->replug();
    board->clearLog();
    EXPECT_EQ(link.statusFrame(IsAliveFrame(0, 0x73)).error, kErrNotOpen);
    EXPECT_TRUE(board->log().empty());
}

TEST_F(LinkOverSim, BareValueFrameReadsTheClock) {
    uint32_t clock = 0;
    EXPECT_TRUE(link.valueFrame(GetI2CFreqFrame(0), clock).ok());
    EXPECT_EQ(clock, kDefaultI2CClock);
}
