// The exported functions of libTerovanU2C.so against the daemon u2c-sim in
// a separate process, through the socket bridge.
#include "bridge/TerovanU2C.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct SocketEnv {
    explicit SocketEnv(const std::string& value) {
        ::setenv("TEROVAN_U2C_SOCKET", value.c_str(), 1);
    }
    ~SocketEnv() { ::unsetenv("TEROVAN_U2C_SOCKET"); }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(TerovanU2CWithDaemon, TheExportsDriveTheSimulatedBoard) {
    u2csim::SimDaemon sim(U2C_SIM_PATH, {"--board-type", "3", "--firmware", "0x00020001",
                                         "--chip-version", "0x5010"});
    ASSERT_TRUE(sim.ready());
    SocketEnv env(sim.socketPath());

    int32_t h = TerovanU2C_OpenDevice(0, 100000);
    ASSERT_NE(h, -1);
    EXPECT_EQ(TerovanU2C_OpenDevice(0, 100000), h);
    EXPECT_EQ(TerovanU2C_GetI2CFreq(h), 100000u);

    uint32_t version[5] = {};
    ASSERT_EQ(TerovanU2C_GetVersion(h, version), 1);
    EXPECT_EQ(version[0], 3u);
    EXPECT_EQ(version[1], 0x00020001u);

    const uint8_t readVersion[3] = {0x00, 0xB8, 0x00};
    ASSERT_EQ(TerovanU2C_Write(h, 0x73, 3, readVersion), 1);
    uint8_t reply[3] = {};
    ASSERT_EQ(TerovanU2C_Read(h, 0x73, 3, reply), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x5010);

    const uint8_t word[4] = {1, 2, 3, 4};
    EXPECT_EQ(TerovanU2C_WriteMem(h, 0x40, word, 4), 1);
    uint8_t back[4] = {};
    EXPECT_EQ(TerovanU2C_ReadMem(h, 0x40, back, 4), 1);
    EXPECT_EQ(back[3], 4);

    EXPECT_EQ(TerovanU2C_CloseDevice(h), 1);
    EXPECT_EQ(TerovanU2C_CloseDevice(0), 0);
    EXPECT_EQ(TerovanU2C_CloseDevice(-1), 0);
    EXPECT_EQ(sim.stop(), 0) << "clean exit on SIGTERM";

    std::string log = ReadFile(sim.logPath());
    EXPECT_NE(log.find(" OUT C0 00 00 00 00 A0 86 01 00\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" OUT C1 00 00 00\n"), std::string::npos);
}

TEST(TerovanU2CWithDaemon, AVanishedDaemonIsAnUnpluggedBoard) {
    auto sim = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
    ASSERT_TRUE(sim->ready());
    SocketEnv env(sim->socketPath());
    int32_t h = TerovanU2C_OpenDevice(0, 100000);
    ASSERT_NE(h, -1);
    sim.reset(); // the board goes away
    EXPECT_EQ(TerovanU2C_IsAlive(h, 0x73), 0);
    EXPECT_EQ(TerovanU2C_OpenDevice(0, 100000), -1);
    EXPECT_EQ(TerovanU2C_CloseDevice(h), 0);
}

TEST(TerovanU2CWithDaemon, NoBoardMeansMinusOne) {
    SocketEnv env("/nonexistent/board.sock");
    EXPECT_EQ(TerovanU2C_OpenDevice(0, 100000), -1);
}
