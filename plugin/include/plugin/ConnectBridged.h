// The design shared by the bridged connections: a re-entrant lock around
// every operation, a connected flag that every transfer updates, a
// connection attempt at most once per 100 ms that ends with three
// handshake frames {00 A5 00}, and one monitor thread that retries a lost
// connection every 100 ms until an attempt succeeds.
//
// A subclass supplies the bridge: its handle, when an open handle may be
// reused, how it opens, closes, writes and reads. Its destructor must call
// EndConnection(), so that the thread has ended before the bridge part of
// the object goes away.
#pragma once

#include "plugin/ConnectI2C.h"
#include "plugin/TickClock.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CConnectBridged : public CConnectI2C {
public:
    // Thread states.
    enum : int32_t { kIdle = 0, kReconnect = 1, kQuit = 2, kReport = 3 };
    static constexpr uint32_t kAttemptIntervalMs = 100;
    static constexpr uint8_t kChipAddress = 0x73;

    explicit CConnectBridged(std::shared_ptr<CTickClock> clock = SystemTickClock());
    ~CConnectBridged() override;

    int32_t Connect() override;
    int32_t Write(const uint8_t* data, uint32_t length, int32_t force) override;
    int32_t Read(uint8_t* buffer, uint32_t length) override;
    void ReportStatus(DulmOwnerWindow owner) override;
    void SetSlaveAddress(uint8_t address) override { slave_ = address; }
    uint8_t GetSlaveAddress() override { return slave_; }

    // The connected flag as it stands.
    int32_t IsConnected() const { return connected_; }
    // True when the last transfer moved nothing because the bridge's library
    // had the bus busy with other work: the link is not in doubt, and the
    // transfer may be tried again later.
    bool LastTransferFoundBusBusy() const { return lastBusy_; }
    int32_t ThreadState() const;
    DulmOwnerWindow OwnerWindow() const;

protected:
    // refused: the frame cannot go over this bridge; busy: the library had
    // the bus busy. Neither moved anything or puts the link in doubt.
    enum class BridgeResult { ok, failed, refused, busy };

    // Bridge hooks; all run under the lock, except the library calls of a
    // connection attempt: its close and its handshake writes run with this
    // thread's hold released, as the open's library call does, while the
    // attempt keeps every other thread off the bridge.
    virtual bool HasHandle() const = 0;
    virtual bool CanReuseHandle() const = 0;
    virtual void CloseHandle() = 0; // closes and sets the value for no handle
    // Opens the bridge; the library call itself runs inside an Unlocked scope.
    virtual void OpenBridge() = 0;
    // `failure` receives the tail of a failed write's trace line.
    virtual BridgeResult BridgeWrite(const uint8_t* data, uint32_t length,
                                     std::string& failure) = 0;
    virtual BridgeResult BridgeRead(uint8_t* buffer, uint32_t length) = 0;
    // The bus library traces every read, the others only successful ones.
    virtual bool TracesFailedReads() const { return false; }

    // Ends the monitor thread and waits for it; idempotent.
    void StopMonitor();
    // What every bridge's destructor does: ends the monitor thread, then
    // closes an open handle, also one kept while the link was down.
    void EndConnection();

    // Releases this thread's own hold on the lock for its lifetime (an
    // outer hold of the same thread stays).
    class Unlocked {
    public:
        explicit Unlocked(CConnectBridged& c) : c_(c) { c_.mutex_.unlock(); }
        ~Unlocked() { c_.mutex_.lock(); }
        Unlocked(const Unlocked&) = delete;
        Unlocked& operator=(const Unlocked&) = delete;

    private:
        CConnectBridged& c_;
    };

    mutable std::recursive_mutex mutex_;
    std::atomic<uint8_t> slave_{kChipAddress};
    std::atomic<int32_t> connected_{0};
    std::atomic<bool> lastBusy_{false};

private:
    void SetThreadState(int32_t state, bool force);
    bool TryConnect();
    // One handshake frame {00 A5 00} of an attempt, traced as a write.
    bool Handshake();
    void TraceWrite(const uint8_t* data, uint32_t length, BridgeResult result,
                    const std::string& failure);
    void MonitorLoop();
    void TraceTransfer(const char* what, const uint8_t* data, uint32_t length,
                       const std::string& tail);

    std::shared_ptr<CTickClock> clock_;
    std::condition_variable_any wake_;
    int32_t threadState_ = kIdle;
    bool event_ = false; // the manual-reset wake event
    bool quit_ = false;
    bool opening_ = false; // an attempt is running, partly with the lock released
    bool attempted_ = false;
    uint32_t lastAttempt_ = 0;
    DulmOwnerWindow owner_ = nullptr;
    std::thread monitor_;
};
