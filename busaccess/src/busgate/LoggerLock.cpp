#include "busaccess/busgate/LoggerLock.h"

namespace busgate {

void LoggerLock::Lock() {
    if (HeldByThisThread()) {
        ++depth_;
        return;
    }
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
}

bool LoggerLock::TryLock() {
    if (HeldByThisThread()) {
        ++depth_;
        return true;
    }
    if (!mutex_.try_lock())
        return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
    return true;
}

bool LoggerLock::TryLockFor(std::chrono::milliseconds wait) {
    if (HeldByThisThread()) {
        ++depth_;
        return true;
    }
    if (!mutex_.try_lock_for(wait))
        return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
    return true;
}

void LoggerLock::Unlock() {
    if (--depth_ == 0) {
        owner_.store(std::thread::id{}, std::memory_order_relaxed);
        mutex_.unlock();
    }
}

bool LoggerLock::HeldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

} // namespace busgate
