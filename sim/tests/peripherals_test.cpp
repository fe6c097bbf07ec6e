// The evaluation board's peripherals in the simulated board: EEPROM,
// microcontroller pins with the chip's reset line, gated devices, and the
// flash-write fault.
#include "sim/Peripherals.h"

#include <gtest/gtest.h>

using namespace u2c;
using namespace u2csim;

namespace {

// The bus as the bridge firmware sees it, one frame at a time.
struct Bus {
    explicit Bus(BoardConfig config = {}) : board(std::make_shared<Board>(config)) {}
    uint8_t Status(const Bytes& frame) {
        Bytes all;
        for (const auto& p : board->transfer(frame.data(), frame.size()))
            all.insert(all.end(), p.begin(), p.end());
        return all.empty() ? 0xFF : all[0];
    }
    bool Write(uint8_t slave, const Bytes& data) {
        return Status(WriteFrame(0, slave, data.data(), uint32_t(data.size()))) == 1;
    }
    std::optional<Bytes> Read(uint8_t slave, uint32_t n) {
        const Bytes frame = ReadFrame(0, slave, n);
        Bytes all;
        for (const auto& p : board->transfer(frame.data(), frame.size()))
            all.insert(all.end(), p.begin(), p.end());
        if (all.empty() || all[0] != 1)
            return std::nullopt;
        return Bytes(all.begin() + 5, all.end());
    }
    bool Alive(uint8_t slave) { return Status(IsAliveFrame(0, slave)) == 1; }
    bool Service(const Bytes& packet) { return Write(kServiceAddress, packet); }
    std::shared_ptr<Board> board;
};

PeripheralConfig Eeprom(uint32_t blocks, uint32_t busyPolls = 0) {
    PeripheralConfig c;
    c.eeprom.blocks = blocks;
    c.eeprom.busyPolls = busyPolls;
    return c;
}

TEST(SimEeprom, OneCounterAcrossBlocksWrappingAtTheSize) {
    Bus bus;
    Peripherals p = AttachPeripherals(*bus.board, Eeprom(2));
    EXPECT_TRUE(bus.Alive(0x50));
    EXPECT_TRUE(bus.Alive(0x51));
    EXPECT_FALSE(bus.Alive(0x52));
    // Block 1, word 0xFF: offset 0x1FF, then on to offset 0 (wrap).
    EXPECT_TRUE(bus.Write(0x51, {0xFF, 0xAA, 0xBB}));
    EXPECT_EQ(p.eeprom->contents()[0x1FF], 0xAA);
    EXPECT_EQ(p.eeprom->contents()[0x000], 0xBB);
    // A 1-byte write only sets the address; reads run on across blocks
    // and wrap.
    EXPECT_TRUE(bus.Write(0x50, {0xFF}));
    EXPECT_EQ(bus.Read(0x50, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_TRUE(bus.Write(0x51, {0xFF}));
    EXPECT_EQ(bus.Read(0x50, 3), (Bytes{0xAA, 0xBB, 0xFF}));
}

TEST(SimEeprom, BusyAfterEachDataWriteThenReadyAgain) {
    Bus bus;
    Peripherals p = AttachPeripherals(*bus.board, Eeprom(1, 2));
    EXPECT_TRUE(bus.Write(0x50, {0x00, 0x11}));
    EXPECT_FALSE(bus.Alive(0x50)); // a probe does not use up a poll
    EXPECT_FALSE(bus.Read(0x50, 1));
    EXPECT_FALSE(bus.Read(0x50, 1));
    EXPECT_TRUE(bus.Read(0x50, 1));

    p.eeprom->setWriteProtect(true);
    EXPECT_FALSE(bus.Write(0x50, {0x00, 0x22}));
    EXPECT_TRUE(bus.Write(0x50, {0x00})); // addressing still works
    EXPECT_EQ(p.eeprom->contents()[0], 0x11);

    p.eeprom->setWriteProtect(false);
    p.eeprom->setNeverReadyAgain(true);
    EXPECT_TRUE(bus.Write(0x50, {0x00, 0x33}));
    for (int i = 0; i < 100; ++i)
        ASSERT_FALSE(bus.Read(0x50, 1));
}

TEST(SimPins, GatedDevicesAndTheResetLineFollowThePins) {
    Bus bus;
    PeripheralConfig c = Eeprom(0);
    c.amplifier = true;
    Peripherals p = AttachPeripherals(*bus.board, c);
    auto chip = std::make_shared<ChipModel>();
    bus.board->attach(0x73, chip);
    WireChipReset(*bus.board, chip);

    EXPECT_FALSE(bus.Alive(0x1B)); // enable pin 0x18 is a low input
    // Pin 0x18 an output (mode 1 at bits 16-17 of port 1), driven high.
    EXPECT_TRUE(bus.Service(WriteMemMaskedPacket(0x50004040, 3u << 16, 1u << 16)));
    EXPECT_TRUE(bus.Service(WriteMemMaskedPacket(0x50004048, 1u << 8, 1u << 8)));
    EXPECT_TRUE(bus.board->pinLevel(0x18));
    EXPECT_TRUE(bus.Alive(0x1B));
    EXPECT_TRUE(bus.Write(0x1B, {0x01}));
    EXPECT_EQ(bus.Read(0x1B, 1), (Bytes{0x50}));

    // nRESET (pin 0x1E) in mode 2 with its output low holds the chip.
    chip->setMemoryX(0x0A, 0x123456);
    EXPECT_TRUE(bus.Service(WriteMemMaskedPacket(0x50004040, 3u << 28, 2u << 28)));
    EXPECT_FALSE(bus.Alive(0x73));
    EXPECT_TRUE(bus.Service(WriteMemMaskedPacket(0x50004048, 1u << 14, 1u << 14)));
    EXPECT_TRUE(bus.Alive(0x73));
    EXPECT_EQ(chip->memoryX(0x0A), 0u); // started afresh
    // The level register reads the pins.
    EXPECT_EQ(bus.board->memWord(0x50004050) & 0x4100, 0x4100u);
}

TEST(SimFlash, TheConfiguredFlashWriteFails) {
    BoardConfig config;
    config.failFlashWrite = 2;
    Bus bus(config);
    const Bytes data = {1, 2, 3, 4};
    auto flashWrite = [&](uint32_t address) {
        Bytes packet = {0xD3, 0, 0, 0, 0};
        PutLE32(&packet[1], address);
        packet.insert(packet.end(), data.begin(), data.end());
        return bus.Service(packet);
    };
    EXPECT_TRUE(flashWrite(0x10000));
    EXPECT_FALSE(flashWrite(0x10004));
    EXPECT_TRUE(flashWrite(0x10008));
    EXPECT_EQ(bus.board->flash(0x10004, 4), Bytes(4, 0xFF));
}

} // namespace
