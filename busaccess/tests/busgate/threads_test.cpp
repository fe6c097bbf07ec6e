// Transfers from several threads against the simulated board.
#include "SimBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace busgate;
using namespace busgate::testing;

namespace {

TEST(Threads, TransfersFromManyThreadsStayWholeAndOthersBeep) {
    const std::filesystem::path trace =
        std::filesystem::temp_directory_path() / ("busgate_trace." + std::to_string(getpid()));
    setenv("QUORL_TRACE", trace.c_str(), 1);
    SimBus sim;
    ASSERT_NE(sim.bus->Open(), 0u);
    sim.board->clearLog();
    constexpr int kPerThread = 100;
    auto worker = [&](uint8_t base) {
        for (int i = 0; i < kPerThread; ++i) {
            // A register write: command and word must reach the chip together.
            const uint8_t frames[6] = {0xFF, 0xAB, base, 0x00, base, static_cast<uint8_t>(i)};
            ASSERT_EQ(sim.bus->Transmit(0x73, frames, 6), 6);
        }
    };
    std::thread a(worker, 0x10), b(worker, 0x20);
    worker(0x30);
    a.join();
    b.join();
    unsetenv("QUORL_TRACE");
    for (uint8_t base : {0x10, 0x20, 0x30})
        EXPECT_EQ(sim.chip->registerX(0xFF00 | base), (uint32_t{base} << 8) | (kPerThread - 1));
    EXPECT_EQ(sim.Text().find("Error"), std::string::npos);
    std::ifstream in(trace);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(trace);
    size_t beeps = 0;
    for (size_t at = 0; (at = text.str().find("Beep(1000,100)", at)) != std::string::npos; ++at)
        ++beeps;
    EXPECT_EQ(beeps, 2u * kPerThread); // only the two other threads beep
}

// While one thread holds the library's lock (an EEPROM operation and its
// boxes on the GUI thread), a close or a transfer from elsewhere neither pulls
// the bridge from under it nor waits for ever: nested on the holder's own
// thread it does nothing at once; from another thread it gives up after a
// bounded wait.
TEST(Threads, CloseAndTransfersNeverWaitForEverForTheHeldLock) {
    SimBus sim;
    ASSERT_NE(sim.bus->Open(), 0u);
    const uint8_t frame[3] = {0x00, 0xB7, 0x00};
    uint8_t reply[3] = {};
    // Each refusal tells the caller that the bus was busy.
    bool busy = false;
    sim.bus->Lock().Lock();
    sim.bus->Close();
    EXPECT_EQ(sim.bus->Transmit(0x73, frame, 3, &busy), -1);
    EXPECT_TRUE(busy);
    busy = false;
    EXPECT_EQ(sim.bus->Receive(0x73, reply, 3, 3, &busy), -1);
    EXPECT_TRUE(busy);
    EXPECT_EQ(sim.bus->State().open, 1u);
    EXPECT_TRUE(sim.board->deviceOpen());
    std::thread other([&] {
        sim.bus->Close();
        bool otherBusy = false;
        EXPECT_EQ(sim.bus->Transmit(0x73, frame, 3, &otherBusy), -1);
        EXPECT_TRUE(otherBusy);
    });
    other.join();
    EXPECT_EQ(sim.bus->State().open, 1u);
    sim.bus->Lock().Unlock();
    // With the lock free again, both work; a transfer that fails on the bus
    // (nobody at 0x2A) is no busy bus.
    EXPECT_EQ(sim.bus->Transmit(0x73, frame, 3, &busy), 3);
    EXPECT_FALSE(busy);
    const uint8_t raw[2] = {0x12, 0x34};
    busy = true;
    EXPECT_EQ(sim.bus->Transmit(0x2A, raw, 2, &busy), -1);
    EXPECT_FALSE(busy);
    std::thread([&] { sim.bus->Close(); }).join();
    EXPECT_EQ(sim.bus->State().open, 0u);
}

TEST(Threads, TheFirstOpenRacesTransfersAndOtherOpensSafely) {
    SimBus sim;
    std::latch start(3);
    std::atomic<bool> done{false};
    std::atomic<uint32_t> handles[2] = {0, 0};
    std::thread::id openers[2];
    // Two threads try to be the first to open while a third transfers.
    auto opener = [&](int i) {
        openers[i] = std::this_thread::get_id();
        start.arrive_and_wait();
        // An open finding the lock busy returns at once; the caller retries.
        // The transfer thread keeps the lock busy, so on a loaded machine the
        // opener may lose many races in a row: retry for a while, not a count.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!handles[0] && !handles[1] && std::chrono::steady_clock::now() < deadline) {
            handles[i] = sim.bus->Open();
            if (!handles[i])
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    };
    std::thread a(opener, 0), b(opener, 1);
    std::thread transfers([&] {
        start.arrive_and_wait();
        const uint8_t frames[3] = {0x00, 0xC6, 0x01};
        while (!done)
            sim.bus->Transmit(0x73, frames, 3);
    });
    a.join();
    b.join();
    done = true;
    transfers.join();
    // Exactly one became the GUI thread, and only it opened.
    ASSERT_NE(handles[0] != 0, handles[1] != 0);
    const int winner = handles[0] != 0 ? 0 : 1;
    EXPECT_EQ(sim.bus->State().guiThread.load(), openers[winner]);
    EXPECT_EQ(sim.bus->Open(), 0u) << "this thread is not the GUI thread";
}

} // namespace
