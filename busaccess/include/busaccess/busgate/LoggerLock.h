// The library's one process-wide lock: recursive, with a try-lock for
// busgate_open, a bounded wait, and a way to tell a nested call on the
// owning thread.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace busgate {

class LoggerLock {
public:
    void Lock();
    bool TryLock();
    // Waits at most `wait` for the lock; false when it was not taken.
    bool TryLockFor(std::chrono::milliseconds wait);
    void Unlock();
    bool HeldByThisThread() const;

private:
    std::timed_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    unsigned depth_ = 0;
};

class LoggerLockGuard {
public:
    explicit LoggerLockGuard(LoggerLock& lock) : lock_(lock) { lock_.Lock(); }
    ~LoggerLockGuard() { lock_.Unlock(); }
    LoggerLockGuard(const LoggerLockGuard&) = delete;
    LoggerLockGuard& operator=(const LoggerLockGuard&) = delete;

private:
    LoggerLock& lock_;
};

} // namespace busgate
