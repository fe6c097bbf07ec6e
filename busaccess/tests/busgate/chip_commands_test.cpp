// The chip command layer's frames on the simulated bus.
#include "SimBus.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace busgate;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

struct ChipCommands : ::testing::Test {
    SimBus sim;
    std::vector<std::string> messages;
    void SetUp() override {
        sim.OpenBridgeOnly();
        sim.bus->FdkInit(BusGate::Transfer::Raw);
        sim.bus->SetMessageCallback([this](int, const char* text) { messages.push_back(text); });
    }
    std::vector<Bytes> OutFrames() {
        std::vector<Bytes> out;
        for (const auto& r : sim.board->log())
            if (r.out)
                out.push_back(r.bytes);
        return out;
    }
};

TEST_F(ChipCommands, CommandAndDataFramesAreMostSignificantByteFirst) {
    EXPECT_EQ(sim.bus->SendCommand(0xFFF1, 0xB5), 0);
    EXPECT_EQ(OutFrames().at(0), (Bytes{0xC6, 0, 0, 0, 0, 0x73, 3, 0, 0, 0, 0xFF, 0xB5, 0xF1}));
    uint32_t straps = 0;
    EXPECT_EQ(sim.bus->ReceiveData(straps), 0);
    EXPECT_EQ(straps, 0x060000u);
    sim.board->clearLog();
    EXPECT_EQ(sim.bus->SendData(0x123456), 0);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x12, 0x34, 0x56}}));
    EXPECT_EQ(sim.bus->WriteRegister(0xFFDA, 0x003E20), 0);
    uint32_t value = 0;
    EXPECT_EQ(sim.bus->ReadRegister(0xFFDA, value), 0);
    EXPECT_EQ(value, 0x003E20u);
}

TEST_F(ChipCommands, BuffersAreSplitIntoWritesOf256Groups) {
    std::vector<uint8_t> bytes(600 * 3, 0);
    EXPECT_EQ(sim.bus->SendBuffer(600, bytes.data()), 0);
    std::vector<size_t> sizes;
    for (const Bytes& w : sim.Writes())
        sizes.push_back(w.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{768, 768, 264}));
}

TEST_F(ChipCommands, FailuresReportAndLeaveOutputsAlone) {
    sim.chip->setHeldInReset(true);
    uint32_t value = 77;
    EXPECT_EQ(sim.bus->ReceiveData(value), 1);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(sim.bus->SendCommand(1, 2), 1);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"DulmAudio_ReceiveData::DulmAudio_I2C_Read_l fail",
                                        "DulmAudio_SendCommand::DulmAudio_I2C_Write_l fail"}));
    EXPECT_EQ(sim.bus->FdkInit(BusGate::Transfer::None), 2);
    // Version reads go straight to the bridge.
    EXPECT_EQ(sim.bus->ReadChipHwVersion(), kFailedRead);
    EXPECT_TRUE(sim.HasLine("traffic", 3, "==> I2C transaction failed.\n "));
    sim.chip->setHeldInReset(false);
    EXPECT_EQ(sim.bus->ReadChipHwVersion(), 0x6000u);
    EXPECT_EQ(sim.bus->ReadChipFwVersion(), 0x0606u);
    sim.bus->State().offline = 1;
    EXPECT_EQ(sim.bus->ReadChipHwVersion(), 0x00B800u);
}

// The delay hook runs after each write that succeeded and before each read,
// failed or not; the layer's initialisation puts back the empty one.
TEST_F(ChipCommands, TheDelayHookFollowsWritesAndLeadsReads) {
    std::vector<std::string> events;
    sim.bus->SetDelayHook([&](uint32_t ms) { events.push_back("delay " + std::to_string(ms)); });
    sim.bus->SetMessageCallback([&](int, const char* text) { events.push_back(text); });
    uint32_t value = 0;
    EXPECT_EQ(sim.bus->ReadRegister(0xFFDA, value), 0);
    sim.chip->setHeldInReset(true);
    EXPECT_EQ(sim.bus->SendData(1), 1);
    EXPECT_EQ(sim.bus->ReceiveData(value), 1);
    EXPECT_EQ(events,
              (std::vector<std::string>{"delay 1", "delay 1", // the command, then before its read
                                        "DulmAudio_SendData::DulmAudio_I2C_Write_l fail", "delay 1",
                                        "DulmAudio_ReceiveData::DulmAudio_I2C_Read_l fail"}));
    sim.chip->setHeldInReset(false);
    sim.bus->FdkInit(BusGate::Transfer::Raw);
    events.clear();
    EXPECT_EQ(sim.bus->SendCommand(1, 0xB5), 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(ChipCommands, BlockDownloads) {
    std::vector<uint32_t> words(300);
    std::iota(words.begin(), words.end(), 1);
    // Small blocks to X memory are plain downloads on any firmware.
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA7, 0x100, words.data(), 29), 0);
    EXPECT_EQ(sim.chip->memoryX(0x100 + 28), 29u);
    // P memory on A1 firmware cannot be patched.
    sim.bus->State().chipFirmwareVersion = 0x0505;
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA6, 0, words.data(), 10), 2);
    EXPECT_EQ(messages.back(),
              "DulmAudio_WriteMem_Buffer::  Chip firmware version is not supported.");
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA7, 0, words.data(), 30), 0);
    // 300 words to P memory on A2 firmware: two chunks behind patch base 0xC713.
    sim.bus->State().chipFirmwareVersion = 0x0606;
    sim.board->clearLog();
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA6, 0x200, words.data(), 300), 0);
    const auto writes = sim.Writes();
    std::vector<Bytes> chunkCommands;
    for (const Bytes& w : writes)
        if (w.size() == 3 && w[1] == 0xA2)
            chunkCommands.push_back(w);
    EXPECT_EQ(chunkCommands, (std::vector<Bytes>{{0x00, 0xA2, 0xFF}, {0x00, 0xA2, 0x2D}}));
    // The patch control held (0xC713 & 0x3FFF) | bit 20 while downloading,
    // and was restored to 0 afterwards.
    bool armed = false;
    for (size_t i = 0; i + 1 < writes.size(); ++i)
        if (writes[i] == Bytes{0xFF, 0xAB, 0xF5} && writes[i + 1] == Bytes{0x10, 0x07, 0x13})
            armed = true;
    EXPECT_TRUE(armed);
    EXPECT_EQ(sim.chip->registerX(0xFFF5), 0u);
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA6, 0, words.data(), 1025), 2);
    EXPECT_EQ(sim.bus->WriteMemBuffer(0xA6, 0, nullptr, 1), 2);
}

TEST_F(ChipCommands, HardwarePatch) {
    EXPECT_EQ(sim.bus->WriteHwPatch(0x4123, 2, 0x111111, 0x222222), 0);
    EXPECT_EQ(sim.chip->registerX(0xFFF4), 2u);
    EXPECT_EQ(sim.chip->registerX(0xFFF6), 0x111111u);
    EXPECT_EQ(sim.chip->registerX(0xFFF7), 0x222222u);
    EXPECT_EQ(sim.chip->registerX(0xFFF5), 0x300123u);
    // The chip stops answering before the control word that activates the
    // patch: the patch is not in place, and the call says so.
    int controlWrites = 0;
    sim.chip->onCommand(0xAB, [&](uint16_t reg) {
        if (reg == 0xFFF5 && ++controlWrites == 2)
            sim.chip->setHeldInReset(true);
    });
    EXPECT_EQ(sim.bus->WriteHwPatch(0x0456, 1, 0x333333, 0x444444), 1);
    EXPECT_EQ(sim.chip->registerX(0xFFF5), 0u);
}

} // namespace
