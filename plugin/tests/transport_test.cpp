// The frame transport over the Dimax connection on the simulated bus: the
// address gate, the exclusion lists, the byte exchange, the pause before
// command frames and the capture for EEPROM exports.
#include "TestSupport.h"
#include "plugin/ChipTransport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Bytes = std::vector<uint8_t>;
using dulmtest::FakeClock;
using dulmtest::SimDimax;

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto c = std::make_unique<CConnectDimax>(SimDimax::Api(), connectionClock);
        c->SetTrace(0);
        ASSERT_TRUE(c->Connect());
        connection = c.get();
        transport.SetConnection(std::move(c));
        // A chip known on this connection that takes its groups as written.
        transport.SetChipVersion(0x5010, 0x0401);
        sim.bus->clearTransfers();
        clock->SetMark([this] { return sim.Writes().size(); });
    }

    SimDimax sim;
    std::shared_ptr<FakeClock> connectionClock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    CChipTransport transport{clock};
    CConnectDimax* connection = nullptr;
};

TEST(TransportWithoutBridge, RefusesEveryFrameAsSuccessWithoutPause) {
    auto clock = std::make_shared<FakeClock>();
    CChipTransport transport(clock);
    EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xA5, 0x00));
    EXPECT_TRUE(transport.Dropped());
    uint8_t raw[4] = {1, 2, 3, 4};
    EXPECT_TRUE(transport.SendFrame(raw, 4, CChipTransport::kFrameRaw, true));
    EXPECT_TRUE(transport.Dropped());
    EXPECT_TRUE(clock->Sleeps().empty());
    // A refused ping is no answer: without a bridge nothing is connected.
    EXPECT_FALSE(transport.SendCommandAnswered(0x00, 0xA5, 0x00));
    uint8_t reply[3] = {};
    EXPECT_FALSE(transport.ReadTransaction(0x00, 0xB8, 0x00, reply));
}

TEST_F(TransportTest, EepromGateFollowsTheActiveExclusionList) {
    struct Case {
        int list; // 0 long, 1 short, -1 none
        Bytes frame;
        uint32_t kind;
        bool refused;
    };
    const uint32_t cmd = CChipTransport::kFrameCommand, data = CChipTransport::kFrameData,
                   raw = CChipTransport::kFrameRaw;
    const Case cases[] = {
        {1, {0x00, 0xC5, 0x00}, cmd, true},   {1, {0x00, 0xC3, 0x00}, cmd, false},
        {1, {0x00, 0xC5, 0x00}, data, false}, {1, {0x00, 0xC5, 0x00, 0x11}, raw, false},
        {1, {0x00, 0xC0, 0x00}, cmd, false}, // only in the long list
        {0, {0x00, 0xC0, 0x00}, cmd, true},   {0, {0x00, 0xA7, 0x00}, cmd, true},
        {0, {0x00, 0xC3, 0x00}, cmd, false},  {0, {0x00, 0xD8, 0x00}, cmd, false},
        {-1, {0x00, 0xC5, 0x00}, cmd, false}, {-1, {0x00, 0xA7, 0x00}, cmd, false},
    };
    connection->SetSlaveAddress(0x50);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "list " << c.list << " command 0x" << std::hex
                                          << int(c.frame[1]) << " kind " << c.kind);
        transport.SelectExclusionList(c.list);
        sim.bus->clearTransfers();
        Bytes frame = c.frame;
        EXPECT_TRUE(
            transport.SendFrame(frame.data(), static_cast<uint32_t>(frame.size()), c.kind, false));
        EXPECT_EQ(transport.Dropped(), c.refused);
        const auto transfers = sim.bus->transfers();
        if (c.refused) {
            EXPECT_TRUE(transfers.empty());
        } else {
            ASSERT_EQ(transfers.size(), 1u);
            EXPECT_EQ(transfers[0][0].address, 0x50);
            EXPECT_EQ(transfers[0][0].bytes, c.frame);
        }
    }
    connection->SetSlaveAddress(0x22); // neither the chip nor the EEPROM
    transport.SelectExclusionList(-1);
    sim.bus->clearTransfers();
    EXPECT_TRUE(transport.SendData(1, 2, 3));
    EXPECT_TRUE(transport.Dropped());
    EXPECT_TRUE(sim.Writes().empty());
}

TEST_F(TransportTest, ExclusionListFollowsTheEepromPopType) {
    transport.SelectExclusionListForPopType(2);
    EXPECT_EQ(transport.ActiveExclusionList(), &CChipTransport::LongExclusionList());
    transport.SelectExclusionListForPopType(7); // keeps the last choice
    EXPECT_EQ(transport.ActiveExclusionList(), &CChipTransport::LongExclusionList());
    transport.SelectExclusionListForPopType(1);
    EXPECT_EQ(transport.ActiveExclusionList(), &CChipTransport::ShortExclusionList());
    transport.SelectExclusionListForPopType(0);
    EXPECT_EQ(transport.ActiveExclusionList(), &CChipTransport::ShortExclusionList());
    EXPECT_EQ(CChipTransport::LongExclusionList().size(), 28u);
    EXPECT_EQ(CChipTransport::ShortExclusionList().size(), 7u);
}

TEST_F(TransportTest, BytesAreExchangedOnlyForNewChipsOnBoardType1) {
    struct Case {
        uint8_t board;
        uint16_t version, subVersion;
        bool exchanged;
    };
    const Case cases[] = {
        {1, 0x6000, 0x0505, true},  {1, 0x6000, 0x0500, true}, {1, 0x6000, 0x0404, false},
        {0, 0x6000, 0x0505, false}, {1, 0x6001, 0x0000, true}, {1, 0x5010, 0x0900, false},
        {0, 0x6001, 0x0000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "board " << int(c.board) << " chip 0x" << std::hex
                                          << c.version << "/0x" << c.subVersion);
        transport.SetBoardType(c.board);
        transport.SetChipVersion(c.version, c.subVersion);
        sim.bus->clearTransfers();
        EXPECT_TRUE(transport.SendCommandBytes(0x34, 0xA7, 0x12));
        uint8_t values[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
        EXPECT_TRUE(transport.SendFrame(values, 6, CChipTransport::kFrameData, false));
        uint8_t raw[4] = {0x34, 0xA7, 0x12, 0x99};
        EXPECT_TRUE(transport.SendFrame(raw, 4, CChipTransport::kFrameRaw, false));
        const auto writes = sim.Writes();
        ASSERT_EQ(writes.size(), 3u);
        if (c.exchanged) {
            EXPECT_EQ(writes[0], (Bytes{0x12, 0xA7, 0x34}));
            EXPECT_EQ(writes[1], (Bytes{0x03, 0x02, 0x01, 0x06, 0x05, 0x04}));
        } else {
            EXPECT_EQ(writes[0], (Bytes{0x34, 0xA7, 0x12}));
            EXPECT_EQ(writes[1], (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}));
        }
        EXPECT_EQ(writes[2], (Bytes{0x34, 0xA7, 0x12, 0x99})); // raw: never
    }
}

TEST_F(TransportTest, OnlyCommandFramesPauseThreeMillisecondsBeforeTheWrite) {
    EXPECT_TRUE(transport.SendCommand(0x1234, 0xA7));
    EXPECT_TRUE(transport.SendValue(0x563412));
    uint8_t raw[4] = {1, 2, 3, 4};
    EXPECT_TRUE(transport.SendFrame(raw, 4, CChipTransport::kFrameRaw, false));
    EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xC9, 0x00));

    const auto writes = sim.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0], (Bytes{0x34, 0xA7, 0x12}));
    EXPECT_EQ(writes[1], (Bytes{0x12, 0x34, 0x56}));
    const auto sleeps = clock->Sleeps();
    ASSERT_EQ(sleeps.size(), 2u);
    EXPECT_EQ(sleeps[0].ms, 3u);
    EXPECT_EQ(sleeps[0].mark, 0u); // before the first write
    EXPECT_EQ(sleeps[1].ms, 3u);
    EXPECT_EQ(sleeps[1].mark, 3u); // before the fourth
}

TEST_F(TransportTest, CaptureWindowsRecordWithoutTrafficOrPause) {
    struct Variant {
        bool capturingAtStart;
        uint8_t start, stop;
        Bytes recorded;
    };
    // Frames: data 01, command C3, data 02, command C9, data 03, command A4, data 04.
    const Variant variants[] = {
        {true, 0x00, 0x00, {0x01, 0x01, 0x01, 0x00, 0xC3, 0x00, 0x02, 0x02, 0x02, 0x00, 0xC9,
                            0x00, 0x03, 0x03, 0x03, 0x00, 0xA4, 0x00, 0x04, 0x04, 0x04}},
        {false, 0xC3, 0xC9, {0x00, 0xC3, 0x00, 0x02, 0x02, 0x02}},
        {false, 0xC9, 0xA4, {0x00, 0xC9, 0x00, 0x03, 0x03, 0x03}},
    };
    transport.SetCaptureMode(true);
    for (const Variant& v : variants) {
        SCOPED_TRACE(::testing::Message() << "start 0x" << std::hex << int(v.start));
        transport.ClearCapture();
        transport.SetCaptureWindow(v.capturingAtStart, v.start, v.stop);
        EXPECT_TRUE(transport.SendData(1, 1, 1));
        EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xC3, 0x00));
        EXPECT_TRUE(transport.SendData(2, 2, 2));
        EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xC9, 0x00));
        EXPECT_TRUE(transport.SendData(3, 3, 3));
        EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xA4, 0x00));
        EXPECT_TRUE(transport.SendData(4, 4, 4));
        EXPECT_FALSE(transport.Dropped());
        EXPECT_EQ(transport.CaptureBuffer(), v.recorded);
    }
    EXPECT_TRUE(sim.bus->transfers().empty());
    EXPECT_TRUE(clock->Sleeps().empty());

    // Refused frames are not recorded either; exchanged ones are recorded
    // as they would go out.
    transport.ClearCapture();
    transport.SetCaptureWindow(true, 0, 0);
    transport.SetChipVersion(0x6001, 0);
    connection->SetSlaveAddress(0x50);
    transport.SelectExclusionList(1);
    EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xC5, 0x00));
    EXPECT_TRUE(transport.Dropped());
    EXPECT_TRUE(transport.SendCommandBytes(0x01, 0xC3, 0x02));
    EXPECT_EQ(transport.CaptureBuffer(), (Bytes{0x02, 0xC3, 0x01}));
}

// The chip's address takes frames only from a chip known on the current
// connection: not before a valid version, not after another connection.
TEST_F(TransportTest, TheChipTakesFramesOnlyOnceItIsKnownOnTheConnection) {
    uint8_t reply[3] = {};
    auto refusesEverything = [&] {
        sim.bus->clearTransfers();
        EXPECT_FALSE(transport.ChipKnown());
        EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xC9, 0x00));
        EXPECT_TRUE(transport.Dropped());
        EXPECT_FALSE(transport.SendCommandAnswered(0x00, 0xA5, 0x00));
        // No command, so no read either.
        EXPECT_FALSE(transport.ReadTransaction(0xFA, 0xB1, 0x03, reply));
        EXPECT_TRUE(sim.bus->transfers().empty());
    };
    for (uint16_t invalid : {0x0000, 0x0FFF, 0xA000, 0xCCCC}) {
        SCOPED_TRACE(invalid);
        transport.SetChipVersion(invalid, 0x0505);
        refusesEverything();
    }
    transport.SetChipVersion(0x6000, 0x0505);
    EXPECT_TRUE(transport.ChipKnown());
    sim.bus->clearTransfers();
    EXPECT_TRUE(transport.ReadTransaction(0x00, 0xB8, 0x00, reply));
    EXPECT_EQ(sim.bus->transfers().size(), 2u);

    auto other = std::make_unique<CConnectDimax>(SimDimax::Api(), connectionClock);
    other->SetTrace(0);
    ASSERT_TRUE(other->Connect());
    transport.SetConnection(std::move(other));
    refusesEverything();
    // The EEPROM's address does not depend on the chip.
    transport.Connection().SetSlaveAddress(0x50);
    EXPECT_TRUE(transport.SendData(1, 2, 3));
    EXPECT_FALSE(transport.Dropped());
}

TEST_F(TransportTest, FailedWriteIsTheOnlyFalseResult) {
    sim.bus->failNext(ENXIO);
    EXPECT_FALSE(transport.SendCommandBytes(0x00, 0xA5, 0x00));
    EXPECT_FALSE(transport.Dropped());
    EXPECT_FALSE(connection->IsConnected());
    // Marked down: unforced frames go nowhere, forced ones reach the bus.
    sim.bus->clearTransfers();
    EXPECT_FALSE(transport.SendData(1, 2, 3));
    EXPECT_TRUE(sim.bus->transfers().empty());
    EXPECT_TRUE(transport.SendCommandBytes(0x00, 0xA5, 0x00, true));
    EXPECT_EQ(sim.Writes().size(), 1u);
}

TEST_F(TransportTest, ReadTransactionSendsTheCommandThenReadsThreeBytes) {
    uint8_t reply[3] = {};
    ASSERT_TRUE(transport.ReadTransaction(0x00, 0xB8, 0x00, reply));
    EXPECT_EQ(reply[0], 0x00);
    EXPECT_EQ(reply[1], 0x60);
    EXPECT_EQ(reply[2], 0x00);
    EXPECT_TRUE(transport.SendCommandAnswered(0x00, 0xA5, 0x00));
    const auto transfers = sim.bus->transfers();
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_TRUE(transfers[1][0].read);
    EXPECT_EQ(transfers[1][0].bytes.size(), 3u);
}

} // namespace
