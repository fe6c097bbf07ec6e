#include "foundation/KThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kvThread;

namespace {

// Polls `done` for up to five seconds; false when it never became true.
template <typename Predicate>
bool WaitUntil(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(KvThreadMutexInited, UninitialisedObjectGuardsNothing) {
    ThreadMutexInited m;
    EXPECT_FALSE(m.is_init());
    EXPECT_TRUE(m.tryobtain());
    m.obtain();
    m.release();

    m.init();
    EXPECT_TRUE(m.is_init());
    m.obtain();
    EXPECT_TRUE(m.tryobtain()); // recursive for its owner
    m.release();
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = m.tryobtain(); }).join();
    EXPECT_FALSE(otherGotIt);
    m.release();
    std::thread([&] {
        otherGotIt = m.tryobtain();
        if (otherGotIt)
            m.release();
    }).join();
    EXPECT_TRUE(otherGotIt);
    m.uninit();
    EXPECT_FALSE(m.is_init());
}

TEST(KvThread, SleepRoundsToMilliseconds) {
    // Up to 500 microseconds only yields (a sleep taken as milliseconds would
    // show here).
    const auto start = std::chrono::steady_clock::now();
    sleep(-5);
    sleep(0);
    sleep(1);
    sleep(500);
    yield();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    const auto before = std::chrono::steady_clock::now();
    sleep(501);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::microseconds(1000));
}

std::atomic<thread_id> gStartedId{invalid_thread_id};
std::atomic<bool> gRelease{false};

int RecordAndWait(int argument) {
    gStartedId = current_thread_id();
    while (!gRelease)
        std::this_thread::yield();
    return argument * 2;
}

TEST(KvThread, CreateJoinAndAliveness) {
    gStartedId = invalid_thread_id;
    gRelease = false;
    thread_handle handle = reinterpret_cast<thread_handle>(1);
    create_thread(handle, RecordAndWait, 21, 2);
    ASSERT_NE(handle, invalid_thread_handle);
    const bool started = WaitUntil([] { return gStartedId != invalid_thread_id; });
    gRelease = !started; // a thread that seems not to start is let go at once
    ASSERT_TRUE(started);
    const thread_id id = gStartedId;
    EXPECT_NE(id, current_thread_id());
    EXPECT_TRUE(is_thread_alive(id));
    EXPECT_FALSE(terminate_thread(handle)); // refused: the thread goes on
    EXPECT_TRUE(is_thread_alive(id));

    gRelease = true;
    int exitCode = 0;
    EXPECT_TRUE(join_thread(handle, &exitCode));
    EXPECT_EQ(exitCode, 42);
    EXPECT_FALSE(is_thread_alive(id));
    close_thread(handle);

    EXPECT_TRUE(is_thread_alive(current_thread_id()));
    EXPECT_FALSE(is_thread_alive(invalid_thread_id));

    // A thread that is not ours, once it ended, is not alive either.
    std::atomic<thread_id> other{invalid_thread_id};
    std::thread([&] { other = current_thread_id(); }).join();
    for (int i = 0; i < 1000 && is_thread_alive(other); ++i)
        std::this_thread::yield();
    EXPECT_FALSE(is_thread_alive(other));
}

std::atomic<thread_id> gLastId{invalid_thread_id};
int RecordId(int) {
    gLastId = current_thread_id();
    return 0;
}

TEST(KvThread, ManyEndedThreadsStayEnded) {
    std::vector<thread_id> ids;
    for (int i = 0; i < 300; ++i) {
        thread_handle handle = invalid_thread_handle;
        create_thread(handle, RecordId, 0, 2);
        ASSERT_NE(handle, invalid_thread_handle);
        ASSERT_TRUE(join_thread(handle, nullptr));
        close_thread(handle);
        ids.push_back(gLastId);
    }
    for (thread_id id : ids)
        EXPECT_FALSE(is_thread_alive(id)) << id;
}

std::atomic<int> gNice{99};
int ReadNice(int) {
    gNice = getpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()));
    return 0;
}

TEST(KvThread, PriorityClasses) {
    const int ownNice = getpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()));
    for (int priorityClass : {2, 1}) {
        thread_handle handle = invalid_thread_handle;
        create_thread(handle, ReadNice, 0, priorityClass);
        ASSERT_NE(handle, invalid_thread_handle);
        EXPECT_TRUE(join_thread(handle, nullptr));
        close_thread(handle);
        // Class 2 keeps the creator's priority; class 1 lowers it.
        EXPECT_EQ(gNice, priorityClass == 2 ? ownNice : std::min(ownNice + 1, 19));
    }
    thread_handle none = reinterpret_cast<thread_handle>(1);
    create_thread(none, nullptr, 0, 0);
    EXPECT_EQ(none, invalid_thread_handle);
    EXPECT_FALSE(join_thread(invalid_thread_handle, nullptr));
}

// The classes are relative to the process's priority: a program started
// with `nice` gives its below-normal threads a value one step nicer still.
TEST(KvThread, PriorityClassesFollowTheProcessNice) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int base = std::min(getpriority(PRIO_PROCESS, 0) + 5, 18);
        if (setpriority(PRIO_PROCESS, 0, base) != 0)
            _exit(2);
        int failures = 0;
        for (int priorityClass : {0, 1, 2}) {
            thread_handle handle = invalid_thread_handle;
            create_thread(handle, ReadNice, 0, priorityClass);
            if (handle == invalid_thread_handle || !join_thread(handle, nullptr))
                _exit(3);
            close_thread(handle);
            failures += gNice != (priorityClass == 1 ? base + 1 : base);
        }
        _exit(failures == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(KvThread, MicrosecondsAdvance) {
    const uint32_t a = microseconds_now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const uint32_t b = microseconds_now();
    EXPECT_GE(static_cast<uint32_t>(b - a), 2000u);
}

struct KvThreadMonitor : ::testing::Test {
    void SetUp() override { monitor = create_condition_monitor(); }
    void TearDown() override { destroy_condition_monitor(monitor); }
    condition_monitor* monitor = nullptr;
};

TEST_F(KvThreadMonitor, LockAndTimedWait) {
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(trylock(monitor));
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = trylock(monitor); }).join();
    EXPECT_FALSE(otherGotIt);

    // A wait that times out comes back holding the monitor.
    EXPECT_FALSE(timed_wait(monitor, 1000));
    std::thread([&] { otherGotIt = trylock(monitor); }).join();
    EXPECT_FALSE(otherGotIt);
    unlock(monitor);
    destroy_condition_monitor(nullptr);
}

// Holds the monitor once `count` threads have counted themselves under it and
// gone into their wait (which frees the monitor again).
bool LockWhenWaiting(condition_monitor* monitor, const std::atomic<int>& waiting, int count) {
    return WaitUntil([&] {
        lock(monitor);
        if (waiting == count)
            return true;
        unlock(monitor);
        return false;
    });
}

TEST_F(KvThreadMonitor, SignalWakesOneWaiter) {
    std::atomic<int> waiting{0}, woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            lock(monitor);
            ++waiting;
            if (wait(monitor))
                ++woken;
            unlock(monitor);
        });
    }
    const bool allWaiting = LockWhenWaiting(monitor, waiting, 2);
    EXPECT_TRUE(allWaiting);
    signal(monitor);
    if (allWaiting)
        unlock(monitor);
    EXPECT_TRUE(WaitUntil([&] { return woken == 1; }));

    // One signal, one waiter: the other sleeps on while we wait a little
    // ourselves (a wait that times out).
    lock(monitor);
    EXPECT_FALSE(timed_wait(monitor, 20'000));
    EXPECT_EQ(woken, 1);
    signal(monitor);
    unlock(monitor);
    EXPECT_TRUE(WaitUntil([&] { return woken == 2; }));
    while (woken < 2) { // a broken signal must not leave the test hanging
        broadcast(monitor);
        std::this_thread::yield();
    }
    for (auto& t : waiters)
        t.join();

    // A signal with nobody waiting is not kept for a later waiter.
    signal(monitor);
    lock(monitor);
    EXPECT_FALSE(timed_wait(monitor, 1000));
    unlock(monitor);
}

TEST_F(KvThreadMonitor, BroadcastWakesEveryWaiter) {
    lock(monitor);
    broadcast(monitor); // nobody waits: returns at once
    unlock(monitor);

    std::atomic<int> waiting{0}, woken{0}, finished{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&, i] {
            lock(monitor);
            ++waiting;
            if (i == 0 ? wait(monitor) : timed_wait(monitor, 5'000'000))
                ++woken;
            unlock(monitor);
            ++finished;
        });
    }
    ASSERT_TRUE(LockWhenWaiting(monitor, waiting, 3));
    broadcast(monitor);
    // Every wake-up has been taken once broadcast returns: none is left for
    // a thread that starts waiting now.
    EXPECT_FALSE(timed_wait(monitor, 1000));
    unlock(monitor);
    EXPECT_TRUE(WaitUntil([&] { return finished == 3; }));
    while (finished < 3) { // a waiter left asleep must not leave the test hanging
        signal(monitor);
        std::this_thread::yield();
    }
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken, 3);
}

} // namespace
