#include "plugin/ConnectBridged.h"

#include "plugin/DebugTrace.h"

#include <chrono>
#include <cstdio>

namespace {

// The monitor thread re-checks its state at least this often, so that no
// wait of its own is unbounded.
constexpr auto kWakeCheck = std::chrono::milliseconds(500);

const uint8_t kHandshake[3] = {0x00, 0xA5, 0x00};

} // namespace

CConnectBridged::CConnectBridged(std::shared_ptr<CTickClock> clock) : clock_(std::move(clock)) {}

CConnectBridged::~CConnectBridged() {
    StopMonitor();
}

int32_t CConnectBridged::ThreadState() const {
    std::lock_guard lock(mutex_);
    return threadState_;
}

DulmOwnerWindow CConnectBridged::OwnerWindow() const {
    std::lock_guard lock(mutex_);
    return owner_;
}

void CConnectBridged::SetThreadState(int32_t state, bool force) {
    std::lock_guard lock(mutex_);
    if (quit_ && state != kQuit)
        return; // the end of the thread is final
    switch (state) {
    case kIdle:
        threadState_ = kIdle;
        event_ = false;
        return;
    case kReconnect:
        if (threadState_ != kReport || force)
            threadState_ = kReconnect;
        break;
    case kQuit:
    case kReport:
        threadState_ = state;
        break;
    default:
        return;
    }
    event_ = true;
    wake_.notify_all();
}

int32_t CConnectBridged::Connect() {
    {
        std::lock_guard lock(mutex_);
        if (!monitor_.joinable() && !quit_)
            monitor_ = std::thread([this] { MonitorLoop(); });
        if (connected_)
            return connected_;
    }
    // Not held here: the attempt releases its own hold around the bridge's
    // library calls, and a second, outer hold would keep the lock through them.
    if (!TryConnect())
        SetThreadState(kReconnect, false);
    std::lock_guard lock(mutex_);
    return connected_;
}

bool CConnectBridged::TryConnect() {
    std::lock_guard lock(mutex_);
    // A forced transfer may have proven the link since the monitor thread
    // decided to try: a working link is not torn down by a retry.
    if (connected_) {
        SetThreadState(kIdle, false);
        return true;
    }
    const uint32_t now = clock_->TickCount();
    const bool throttled = attempted_ && now - lastAttempt_ < kAttemptIntervalMs;
    // An attempt is made neither within 100 ms of the last one nor while
    // another thread's attempt is still running. The attempt has the bridge
    // to itself: other threads' transfers fail meanwhile. Its calls into the
    // bridge's library (close, open, handshake) run with this thread's hold
    // released: the library takes locks of its own (the bus library's logger
    // lock), and a thread that waited for them while holding this lock could
    // wait for ever on a thread that holds them and waits for this one.
    if (!throttled && !opening_) {
        attempted_ = true;
        lastAttempt_ = now;
        opening_ = true;
        if (!(HasHandle() && CanReuseHandle())) {
            if (HasHandle()) {
                Unlocked unlocked(*this);
                CloseHandle();
            }
            OpenBridge();
        }
        if (HasHandle()) {
            bool answered = false;
            for (int i = 0; i < 3; ++i)
                answered = Handshake();
            connected_ = answered ? 1 : 0;
        }
        opening_ = false;
    }
    if (connected_ && trace_)
        DulmDebugOutput("Connection Succeeded\n");
    SetThreadState(connected_ ? kIdle : kReconnect, false);
    return connected_ != 0;
}

bool CConnectBridged::Handshake() {
    std::string failure = "Failed\n";
    BridgeResult result = BridgeResult::failed;
    {
        Unlocked unlocked(*this);
        result = BridgeWrite(kHandshake, sizeof kHandshake, failure);
    }
    TraceWrite(kHandshake, sizeof kHandshake, result, failure);
    return result == BridgeResult::ok;
}

void CConnectBridged::TraceWrite(const uint8_t* data, uint32_t length, BridgeResult result,
                                 const std::string& failure) {
    if (trace_)
        TraceTransfer("I2C Write", data, length, result == BridgeResult::ok ? "\n" : failure);
}

int32_t CConnectBridged::Write(const uint8_t* data, uint32_t length, int32_t force) {
    std::lock_guard lock(mutex_);
    lastBusy_ = false;
    if (!force && !connected_) {
        SetThreadState(kReconnect, false);
        return 0;
    }
    std::string failure = "Failed\n";
    BridgeResult result = BridgeResult::failed;
    if (!opening_ && (data || length == 0))
        result = BridgeWrite(data, length, failure);
    lastBusy_ = result == BridgeResult::busy;
    if (result != BridgeResult::refused && result != BridgeResult::busy)
        connected_ = result == BridgeResult::ok;
    TraceWrite(data, length, result, failure);
    if (result != BridgeResult::ok) {
        if (result == BridgeResult::failed)
            SetThreadState(kReconnect, false);
        return 0;
    }
    return connected_;
}

int32_t CConnectBridged::Read(uint8_t* buffer, uint32_t length) {
    std::lock_guard lock(mutex_);
    lastBusy_ = false;
    if (!connected_) {
        SetThreadState(kReconnect, false);
        return 0;
    }
    BridgeResult result = BridgeResult::failed;
    if (!opening_ && (buffer || length == 0))
        result = BridgeRead(buffer, length);
    lastBusy_ = result == BridgeResult::busy;
    if (result != BridgeResult::refused && result != BridgeResult::busy)
        connected_ = result == BridgeResult::ok;
    if (trace_ && (result == BridgeResult::ok || TracesFailedReads()))
        TraceTransfer("I2C Read", buffer, buffer ? length : 0, "\n");
    if (result != BridgeResult::ok) {
        if (result == BridgeResult::failed)
            SetThreadState(kReconnect, false);
        return 0;
    }
    return connected_;
}

void CConnectBridged::ReportStatus(DulmOwnerWindow owner) {
    std::lock_guard lock(mutex_);
    owner_ = owner;
    SetThreadState(kReport, false);
}

void CConnectBridged::TraceTransfer(const char* what, const uint8_t* data, uint32_t length,
                                    const std::string& tail) {
    char head[32];
    std::snprintf(head, sizeof head, "%s[0x%02x] ", what, static_cast<unsigned>(slave_));
    std::string line = head;
    line.reserve(line.size() + 3 * static_cast<size_t>(length) + tail.size());
    for (uint32_t i = 0; data && i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x ", data[i]);
        line += byte;
    }
    line += tail;
    DulmDebugOutput(line);
}

void CConnectBridged::MonitorLoop() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!event_) {
            wake_.wait_for(lock, kWakeCheck);
            continue;
        }
        if (threadState_ == kReconnect) {
            lock.unlock(); // the attempt takes its own hold, released for the open
            const bool ok = TryConnect();
            if (!ok)
                clock_->Sleep(kAttemptIntervalMs);
            lock.lock();
        } else if (threadState_ == kReport) {
            SetThreadState(connected_ ? kIdle : kReconnect, true);
        } else if (threadState_ == kIdle) {
            event_ = false;
        }
    }
}

void CConnectBridged::StopMonitor() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        SetThreadState(kQuit, false);
    }
    // The lock is not held here: the thread may need it to finish its pass.
    if (monitor_.joinable() && monitor_.get_id() != std::this_thread::get_id())
        monitor_.join();
}

void CConnectBridged::EndConnection() {
    StopMonitor();
    std::lock_guard lock(mutex_);
    if (HasHandle())
        CloseHandle();
}
