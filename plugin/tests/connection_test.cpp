// The bridged connection's shared design (lock, connected flag, throttled
// attempts with handshake, monitor thread), run on the Dimax connection
// over the simulated bus, with time under the test's control.
#include "TestSupport.h"
#include "plugin/ConnectDimax.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using dulmtest::FakeClock;
using dulmtest::SimDimax;
using dulmtest::WaitFor;

const Bytes kHandshake = {0x00, 0xA5, 0x00};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("plugin_connection_test." + std::to_string(::getpid()) + "." +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ::setenv("QUORL_TRACE", (dir / "trace.txt").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QUORL_TRACE");
        fs::remove_all(dir);
    }
    std::string Trace() const {
        std::ifstream in(dir / "trace.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    SimDimax sim;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
};

TEST(BareConnection, StandsForNoConnection) {
    CConnectI2C bare;
    const uint8_t frame[3] = {0x00, 0xA5, 0x00};
    uint8_t buffer[3] = {};
    EXPECT_EQ(bare.Connect(), 0);
    EXPECT_EQ(bare.Write(frame, 3, 1), 0);
    EXPECT_EQ(bare.WriteTriple(0xA5, 0, 0, 1), 0);
    EXPECT_EQ(bare.Read(buffer, 3), 0);
    EXPECT_EQ(bare.GetStatus(), 0);
    bare.SetSlaveAddress(0x73);
    EXPECT_EQ(bare.GetSlaveAddress(), 0);
    EXPECT_EQ(bare.GetTrace(), 1);
    bare.SetTrace(0);
    EXPECT_EQ(bare.GetTrace(), 0);
}

TEST_F(ConnectionTest, FirstConnectOpensTheAdapterAndSendsThreeHandshakes) {
    CConnectDimax c(SimDimax::Api(), clock);
    EXPECT_EQ(c.GetSlaveAddress(), 0x73);
    EXPECT_EQ(c.Connect(), 1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{kHandshake, kHandshake, kHandshake}));
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kIdle);
    EXPECT_EQ(c.GetStatus(), U2C_SUCCESS);

    // Connected: a second Connect makes no attempt.
    EXPECT_EQ(c.Connect(), 1);
    EXPECT_EQ(sim.bus->adapterQueries(), 1u);

    uint8_t reply[3] = {};
    EXPECT_EQ(c.WriteTriple(0xB8, 0x00, 0x00, 0), 1); // command byte in the middle
    EXPECT_EQ(sim.Writes().back(), (Bytes{0x00, 0xB8, 0x00}));
    EXPECT_EQ(c.Read(reply, 3), 1);
    EXPECT_EQ(reply[1], 0x60);

    const std::string trace = Trace();
    EXPECT_NE(trace.find("I2C Write[0x73] 00 a5 00 \n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Connection Succeeded\n"), std::string::npos);
    EXPECT_NE(trace.find("I2C Read[0x73] 00 60 00 \n"), std::string::npos);
}

TEST_F(ConnectionTest, TracingOffWritesNothing) {
    CConnectDimax c(SimDimax::Api(), clock);
    c.SetTrace(0);
    EXPECT_EQ(c.Connect(), 1);
    EXPECT_EQ(Trace(), "");
}

TEST_F(ConnectionTest, AttemptsAreThrottledAndTheMonitorRetriesUntilOneSucceeds) {
    sim.bus->setPresent(false);
    CConnectDimax c(SimDimax::Api(), clock);
    EXPECT_EQ(c.Connect(), 0);
    EXPECT_EQ(c.GetStatus(), U2C_HARDWARE_NOT_FOUND);
    EXPECT_EQ(sim.bus->adapterQueries(), 1u);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);

    // Within 100 ms neither a second Connect nor the monitor tries again.
    EXPECT_EQ(c.Connect(), 0);
    clock->Advance(99);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sim.bus->adapterQueries(), 1u);

    clock->Advance(1); // 100 ms after the first attempt
    ASSERT_TRUE(WaitFor([&] { return sim.bus->adapterQueries() == 2; }));
    EXPECT_FALSE(c.IsConnected());

    sim.bus->setPresent(true); // the adapter is plugged in
    clock->Advance(100);
    ASSERT_TRUE(WaitFor([&] { return c.IsConnected() != 0; }));
    ASSERT_TRUE(WaitFor([&] { return c.ThreadState() == CConnectBridged::kIdle; }));
    const unsigned queries = sim.bus->adapterQueries();
    EXPECT_EQ(queries, 3u);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{kHandshake, kHandshake, kHandshake}));

    // After the first success it stops retrying.
    clock->Advance(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sim.bus->adapterQueries(), queries);

    // Between failed attempts the monitor thread paused 100 ms each time.
    const auto sleeps = clock->Sleeps();
    ASSERT_FALSE(sleeps.empty());
    for (const auto& sleep : sleeps)
        EXPECT_EQ(sleep.ms, 100u);
}

TEST_F(ConnectionTest, FailedWriteMarksTheLinkDownAndOnlyForcedWritesGetThrough) {
    CConnectDimax c(SimDimax::Api(), clock);
    ASSERT_EQ(c.Connect(), 1);
    sim.bus->clearTransfers();

    const uint8_t frame[3] = {0x01, 0x02, 0x03};
    sim.bus->failNext(ENXIO);
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    EXPECT_EQ(c.GetStatus(), U2C_SLAVE_OPENING_FOR_WRITE_FAILED);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);
    EXPECT_NE(Trace().find("I2C Write[0x73] 01 02 03 Failed: DulmDSP device not detected.\n"),
              std::string::npos)
        << Trace();

    // Down: unforced writes and reads return 0 at once.
    uint8_t buffer[3];
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    EXPECT_EQ(c.Read(buffer, 3), 0);
    EXPECT_TRUE(sim.bus->transfers().empty());

    // A forced write reaches the adapter and a success brings the link back.
    EXPECT_EQ(c.Write(frame, 3, 1), 1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x01, 0x02, 0x03}}));
    EXPECT_EQ(c.IsConnected(), 1);
    // The monitor thread, woken by the failure, does not tear the proven
    // link down again.
    ASSERT_TRUE(WaitFor([&] { return c.ThreadState() == CConnectBridged::kIdle; }));
    EXPECT_EQ(c.IsConnected(), 1);
    EXPECT_EQ(sim.bus->adapterQueries(), 1u);
}

TEST_F(ConnectionTest, AfterAFailedWriteTheNextAttemptReopensTheAdapter) {
    CConnectDimax c(SimDimax::Api(), clock);
    ASSERT_EQ(c.Connect(), 1);
    const uint8_t frame[3] = {0x01, 0x02, 0x03};
    sim.bus->failNext(EIO);
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    clock->Advance(100);
    ASSERT_TRUE(WaitFor([&] { return c.IsConnected() != 0; }));
    EXPECT_EQ(sim.bus->adapterQueries(), 2u); // closed and opened again
    EXPECT_EQ(sim.bus->openCount(), 1u);      // the old handle is not leaked
    EXPECT_EQ(c.GetStatus(), U2C_SUCCESS);
}

TEST_F(ConnectionTest, ReportTurnsIntoIdleWhenConnectedAndReconnectionWhenDown) {
    int owner = 0;
    CConnectDimax c(SimDimax::Api(), clock);
    ASSERT_EQ(c.Connect(), 1);
    c.ReportStatus(&owner);
    EXPECT_EQ(c.OwnerWindow(), &owner);
    ASSERT_TRUE(WaitFor([&] { return c.ThreadState() == CConnectBridged::kIdle; }));

    const uint8_t frame[3] = {0x01, 0x02, 0x03};
    sim.bus->failNext(EIO);
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    c.ReportStatus(&owner);
    // A pending report is not overwritten by a failure.
    uint8_t buffer[3];
    EXPECT_EQ(c.Read(buffer, 3), 0);
    ASSERT_TRUE(WaitFor([&] { return c.ThreadState() == CConnectBridged::kReconnect; }));
}

// Before the first Connect no monitor thread runs, so the state is seen
// exactly as the operations leave it.
TEST_F(ConnectionTest, APendingReportOutlivesFailuresUntilAnAttemptSucceeds) {
    int owner = 0;
    CConnectDimax c(SimDimax::Api(), clock);
    const uint8_t frame[3] = {0x01, 0x02, 0x03};
    uint8_t buffer[3];
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReconnect);
    c.ReportStatus(&owner);
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReport);
    EXPECT_EQ(c.Write(frame, 3, 0), 0);
    EXPECT_EQ(c.Read(buffer, 3), 0);
    EXPECT_EQ(c.Write(frame, 3, 1), 0); // forced, but no adapter is open yet
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kReport);
    EXPECT_EQ(c.OwnerWindow(), &owner);

    EXPECT_EQ(c.Connect(), 1); // a successful attempt clears it
    EXPECT_EQ(c.ThreadState(), CConnectBridged::kIdle);
}

TEST_F(ConnectionTest, FramesTheAdapterRecordCannotHoldAreRefusedWithoutDroppingTheLink) {
    CConnectDimax c(SimDimax::Api(), clock);
    ASSERT_EQ(c.Connect(), 1);
    sim.bus->clearTransfers();
    std::vector<uint8_t> frame(257, 0x11);
    EXPECT_EQ(c.Write(frame.data(), 257, 0), 0);
    EXPECT_TRUE(sim.bus->transfers().empty());
    EXPECT_EQ(c.IsConnected(), 1);
    EXPECT_EQ(c.Write(frame.data(), 256, 0), 1); // the largest that fits
    ASSERT_EQ(sim.Writes().size(), 1u);
    EXPECT_EQ(sim.Writes()[0].size(), 256u);
}

TEST_F(ConnectionTest, DestructionEndsTheMonitorWhileItRetries) {
    sim.bus->setPresent(false);
    const auto start = std::chrono::steady_clock::now();
    {
        CConnectDimax c(SimDimax::Api(), clock);
        EXPECT_EQ(c.Connect(), 0);
        for (int i = 0; i < 5; ++i) {
            clock->Advance(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_GE(sim.bus->adapterQueries(), 1u);
}

// The simulated bus, with a gate that can hold the next adapter look-up
// (and with it the bridge open of a connection attempt) until released.
class HeldOpenLayer final : public dimax::I2cDeviceLayer {
public:
    explicit HeldOpenLayer(std::shared_ptr<dimax::SimBusLayer> bus) : bus_(std::move(bus)) {}

    void HoldNextOpen() {
        std::lock_guard lock(mutex_);
        hold_ = true;
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(3), [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        hold_ = false;
        cv_.notify_all();
    }

    std::vector<std::string> ListAdapters() override {
        std::unique_lock lock(mutex_);
        if (hold_) {
            held_ = true;
            cv_.notify_all();
            cv_.wait_for(lock, std::chrono::seconds(5), [&] { return !hold_; });
        }
        lock.unlock();
        return bus_->ListAdapters();
    }
    int Open(const std::string& node) override { return bus_->Open(node); }
    int Transfer(int fd, dimax::I2cMessage* messages, size_t count) override {
        return bus_->Transfer(fd, messages, count);
    }
    void Close(int fd) override { bus_->Close(fd); }

private:
    std::shared_ptr<dimax::SimBusLayer> bus_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool hold_ = false;
    bool held_ = false;
};

TEST_F(ConnectionTest, DestructionWaitsForAnAttemptThatOpensWithTheLockReleased) {
    auto layer = std::make_shared<HeldOpenLayer>(sim.bus);
    dimax::SetDeviceLayer(layer);
    auto c = std::make_unique<CConnectDimax>(SimDimax::Api(), clock);
    ASSERT_EQ(c->Connect(), 1);
    const uint8_t frame[3] = {0x01, 0x02, 0x03};
    sim.bus->failNext(EIO);
    ASSERT_EQ(c->Write(frame, 3, 0), 0);

    layer->HoldNextOpen();
    clock->Advance(100); // the monitor thread's attempt now opens the adapter
    ASSERT_TRUE(layer->WaitUntilHeld());

    // The lock is free meanwhile; a forced write does not reach the library
    // while another thread is opening it.
    sim.bus->clearTransfers();
    EXPECT_EQ(c->Write(frame, 3, 1), 0);
    EXPECT_TRUE(sim.bus->transfers().empty());

    auto destroyed = std::async(std::launch::async, [&] { c.reset(); });
    EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    layer->Release();
    EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_EQ(sim.bus->openCount(), 0u); // the handle the attempt opened is closed too
}

TEST_F(ConnectionTest, AConnectCallOpensTheBridgeWithTheLockReleased) {
    auto layer = std::make_shared<HeldOpenLayer>(sim.bus);
    dimax::SetDeviceLayer(layer);
    auto c = std::make_unique<CConnectDimax>(SimDimax::Api(), clock);
    layer->HoldNextOpen();
    auto connected = std::async(std::launch::async, [&] { return c->Connect(); });
    ASSERT_TRUE(layer->WaitUntilHeld());
    // While the caller's open waits in the library, a thread that needs only
    // the connection's lock gets it.
    auto state = std::async(std::launch::async, [&] { return c->ThreadState(); });
    EXPECT_EQ(state.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    layer->Release();
    EXPECT_EQ(connected.get(), 1);
}

TEST(DimaxStatusNames, CodesAndUnknownOnes) {
    const std::pair<uint32_t, const char*> names[] = {
        {0, "U2C_SUCCESS"},
        {2, "I2C adapter interface not detected."},
        {3, "DulmDSP device not detected."},
        {5, "DulmDSP device not detected."},
        {6, "DulmDSP device not detected."},
        {10, "U2C_NO_ACK"},
        {14, "U2C_I2C_CLOCK_SYNCH_TIMEOUT"},
        {15, "Unknown return code"},
        {0xFFFFFFFFu, "Unknown return code"},
    };
    for (auto [code, text] : names)
        EXPECT_STREQ(U2CStatusName(code), text) << code;
}

} // namespace
