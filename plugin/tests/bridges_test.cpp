// The three bridge connections through the libraries the plug-in links:
// libTerovanU2C.so and libbusgate_c.so against the u2c-sim daemon in a
// separate process, libi2cbrdg.so on a machine without an I2C adapter.
#include "TestSupport.h"
#include "plugin/ChipRegisters.h"
#include "plugin/ConnectDimax.h"
#include "plugin/ConnectTelos.h"
#include "plugin/ConnectTerovan.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <link.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using dulmtest::FakeClock;
using dulmtest::WaitFor;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// u2c-sim on a socket path of the caller's choice. The bus library reads
// TEROVAN_U2C_SOCKET once per process, so its tests keep one path for every
// board they start.
class FixedPathDaemon {
public:
    FixedPathDaemon(const fs::path& socket, const fs::path& log) : socket_(socket) {
        fs::remove(socket_);
        std::vector<std::string> args = {U2C_SIM_PATH, "--socket", socket.string(), "--log",
                                         log.string()};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        WaitFor([&] { return pid_ < 0 || fs::exists(socket_); });
    }
    ~FixedPathDaemon() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        if (!WaitFor([&] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; })) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return pid_ > 0 && fs::exists(socket_); }

private:
    fs::path socket_;
    pid_t pid_ = -1;
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plugin_bridges_test." + std::to_string(::getpid()) + "." +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ::setenv("QUORL_TRACE", (dir / "trace.txt").c_str(), 1);
        ::setenv("QUORL_BUSGATE_LOG", (dir / "busgate.txt").c_str(), 1);
        ::unsetenv("DISPLAY");
    }
    void TearDown() override {
        ::unsetenv("TEROVAN_U2C_SOCKET");
        ::unsetenv("QUORL_TRACE");
        ::unsetenv("QUORL_BUSGATE_LOG");
        fs::remove_all(dir);
    }
    void UseBoard(const u2csim::SimDaemon& daemon) {
        ::setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    }
    void UseNoBoard() { ::setenv("TEROVAN_U2C_SOCKET", (dir / "no-board.sock").c_str(), 1); }
    std::string Trace() const { return ReadFile(dir / "trace.txt"); }
    // The one board path of the bus library's tests in this process.
    static fs::path TelosDir() {
        static const fs::path d = fs::temp_directory_path() /
                                  ("plugin_bridges_test." + std::to_string(::getpid()) + ".telos");
        fs::create_directories(d);
        return d;
    }
    void UseTelosPath() { ::setenv("TEROVAN_U2C_SOCKET", (TelosDir() / "board.sock").c_str(), 1); }
    std::unique_ptr<FixedPathDaemon> StartTelosBoard() {
        return std::make_unique<FixedPathDaemon>(TelosDir() / "board.sock", dir / "transfers.log");
    }

    fs::path dir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
};

// Removes the bus library's board folder when the process ends.
class TelosDirCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(fs::temp_directory_path() /
                           ("plugin_bridges_test." + std::to_string(::getpid()) + ".telos"),
                       ec);
    }
};
[[maybe_unused]] const ::testing::Environment* const kTelosDirCleanup =
    ::testing::AddGlobalTestEnvironment(new TelosDirCleanup);

TEST(PluginImports, TheThreeBridgeLibrariesAreBoundAtLoadTime) {
    std::string loaded;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            *static_cast<std::string*>(out) += std::string(info->dlpi_name) + "\n";
            return 0;
        },
        &loaded);
    for (const char* library : {"libTerovanU2C.so", "libbusgate_c.so", "libi2cbrdg.so"})
        EXPECT_NE(loaded.find(library), std::string::npos) << library << "\n" << loaded;
}

TEST_F(BridgeTest, TerovanConnectsTalksAndReconnectsToAReturningBoard) {
    auto daemon = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
    ASSERT_TRUE(daemon->ready());
    UseBoard(*daemon);

    CConnectTerovan c(clock);
    ASSERT_EQ(c.Connect(), 1);
    EXPECT_FALSE(c.IsHandleInvalid());
    EXPECT_EQ(c.GetStatus(), 0);
    EXPECT_EQ(Count(ReadFile(daemon->logPath()), " 00 A5 00\n"), 3u);

    const uint8_t readVersion[3] = {0x00, 0xB8, 0x00};
    uint8_t reply[3] = {};
    ASSERT_EQ(c.Write(readVersion, 3, 0), 1);
    ASSERT_EQ(c.Read(reply, 3), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x6000);
    EXPECT_NE(Trace().find("I2C Read[0x73] 00 60 00 \n"), std::string::npos) << Trace();

    // The board goes away: the write fails and the link is down.
    daemon.reset();
    EXPECT_EQ(c.Write(readVersion, 3, 0), 0);
    EXPECT_TRUE(c.IsHandleInvalid());
    EXPECT_EQ(c.IsConnected(), 0);
    EXPECT_NE(Trace().find("I2C Write[0x73] 00 b8 00 Failed\n"), std::string::npos) << Trace();
    EXPECT_EQ(c.Read(reply, 3), 0);

    // A board comes back: the monitor thread reopens and shakes hands.
    daemon = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
    ASSERT_TRUE(daemon->ready());
    UseBoard(*daemon);
    clock->Advance(100);
    ASSERT_TRUE(WaitFor([&] { return c.IsConnected() != 0; }));
    EXPECT_FALSE(c.IsHandleInvalid());
    EXPECT_EQ(Count(ReadFile(daemon->logPath()), " 00 A5 00\n"), 3u);
    ASSERT_EQ(c.Write(readVersion, 3, 0), 1);
}

// Register writes reach the simulated chip's registers through the
// library and the daemon, most significant byte first as the chip expects.
TEST_F(BridgeTest, RegisterWritesReachTheChipThroughTheTerovanLibrary) {
    auto daemon = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
    ASSERT_TRUE(daemon->ready());
    UseBoard(*daemon);

    CChipRegisters chip(std::make_shared<FakeClock>());
    chip.SetConnection(std::make_unique<CConnectTerovan>(clock));
    chip.Connection().SetTrace(0);
    ASSERT_EQ(chip.Connection().Connect(), 1);
    chip.SetChipVersion(0x6000, 0x0505); // as detection finds it

    auto readRegister = [&](uint16_t address, uint8_t command) {
        uint8_t reply[3] = {};
        EXPECT_TRUE(chip.ReadTransaction(static_cast<uint8_t>(address), command,
                                         static_cast<uint8_t>(address >> 8), reply));
        return uint32_t{reply[0]} << 16 | uint32_t{reply[1]} << 8 | reply[2];
    };
    chip.WriteClock(1, 1);
    EXPECT_EQ(readRegister(0xFFFB, 0xB5), 0xA41829u);
    EXPECT_EQ(readRegister(0xFFFA, 0xB5), 0x01A0FDu);
    chip.WriteDacVolumes(0, -12600, false, true);
    EXPECT_EQ(readRegister(0xFF80, 0xB6), 0x005454u);
    EXPECT_EQ(readRegister(0xFF87, 0xB6), 0x030000u);

    // The straps register answers the mode read: 0x06 gives mode 3.
    uint32_t mode = 0;
    ASSERT_TRUE(chip.ReadProcessingMode(mode));
    EXPECT_EQ(mode, 3u);
}

TEST_F(BridgeTest, TerovanWithoutABoardFailsAndKeepsRetrying) {
    UseNoBoard();
    CConnectTerovan c(clock);
    EXPECT_EQ(c.Connect(), 0);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);
    EXPECT_EQ(c.Connect(), 0); // within 100 ms: no attempt

    auto daemon = std::make_unique<u2csim::SimDaemon>(U2C_SIM_PATH);
    ASSERT_TRUE(daemon->ready());
    UseBoard(*daemon);
    clock->Advance(100);
    ASSERT_TRUE(WaitFor([&] { return c.IsConnected() != 0; }));
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kIdle);
}

TEST_F(BridgeTest, TelosConnectsThroughTheBusLibraryAndTracesEveryRead) {
    auto daemon = StartTelosBoard();
    ASSERT_TRUE(daemon->ready());
    UseTelosPath();

    CConnectTelos c(clock);
    // The bus library spaces opens made in quick succession (in real time).
    ASSERT_TRUE(WaitFor([&] {
        clock->Advance(100);
        return c.Connect() == 1;
    }));
    EXPECT_GE(Count(ReadFile(dir / "transfers.log"), " 00 A5 00\n"), 3u);

    const uint8_t readVersion[3] = {0x00, 0xB8, 0x00};
    uint8_t reply[3] = {};
    ASSERT_EQ(c.Write(readVersion, 3, 0), 1);
    ASSERT_EQ(c.Read(reply, 3), 1);
    EXPECT_EQ(reply[0] << 16 | reply[1] << 8 | reply[2], 0x6000);
    EXPECT_EQ(c.GetStatus(), 0);

    // A read the library fails (-1) counts as failed, is traced anyway,
    // and starts reconnection.
    daemon.reset();
    const size_t readsBefore = Count(Trace(), "I2C Read[0x73] ");
    EXPECT_EQ(c.Read(reply, 3), 0);
    EXPECT_EQ(c.IsConnected(), 0);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);
    EXPECT_EQ(Count(Trace(), "I2C Read[0x73] "), readsBefore + 1) << Trace();
}

TEST_F(BridgeTest, TelosWithoutABoardFails) {
    UseTelosPath(); // no board is started there
    CConnectTelos c(clock);
    EXPECT_EQ(c.Connect(), 0);
    EXPECT_EQ(c.IsConnected(), 0);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);
}

TEST_F(BridgeTest, DimaxWithoutAnAdapterFailsWithStatus2) {
    ::setenv("DIMAX_U2C_DEVICES", (dir / "i2c-0").c_str(), 1);
    CConnectDimax c; // the adapter library itself
    EXPECT_EQ(c.Connect(), 0);
    EXPECT_EQ(c.GetStatus(), U2C_HARDWARE_NOT_FOUND);
    EXPECT_STREQ(U2CStatusName(c.GetStatus()), "I2C adapter interface not detected.");
    const uint8_t frame[3] = {0x00, 0xA5, 0x00};
    EXPECT_EQ(c.Write(frame, 3, 1), 0); // forced, with no handle: fails cleanly
    ::unsetenv("DIMAX_U2C_DEVICES");
}

} // namespace
