// Capture buffer, the main-window sink and the wait that keeps the windows
// alive.
#include "busaccess/busgate/BusGate.h"

#include <cstring>

namespace busgate {

void BusGate::ArmCaptureLabel() {
    ui_.SetCaptureLabel(capture_.label);
    ui_.ArmTimer(kTimerCaptureLabel, 1);
}

void BusGate::CaptureReset() {
    if (state_.offline)
        return;
    capture_.total = 0;
    capture_.label = " -- Empty -- ";
    capture_.state = CaptureBuffer::Idle;
    ArmCaptureLabel();
}

void BusGate::CaptureInvalidate() {
    if (state_.offline)
        return;
    capture_.total = CaptureBuffer::kInvalid;
    capture_.label = " -- Invalid -- ";
    capture_.state = CaptureBuffer::Idle;
    ArmCaptureLabel();
}

void BusGate::CaptureAppend(uint32_t length, const uint8_t* bytes) {
    if (state_.offline)
        return;
    if (capture_.state == CaptureBuffer::Completed)
        CaptureReset();
    if (capture_.state == CaptureBuffer::Idle)
        return;
    // total is at most kSize here: overflow and invalid both leave the idle
    // state, so this sum cannot wrap.
    if (static_cast<uint64_t>(capture_.total) + length > CaptureBuffer::kSize) {
        capture_.total = CaptureBuffer::kOverflow;
        capture_.label = " -- Overflow -- ";
        capture_.state = CaptureBuffer::Idle;
    } else {
        std::memcpy(capture_.bytes.data() + capture_.total, bytes, length);
        capture_.total += length;
        capture_.label = FormatC(64, " %d bytes", static_cast<int>(capture_.total));
        capture_.state = CaptureBuffer::Capturing;
    }
    ArmCaptureLabel();
}

void BusGate::WaitWithMessagePump(uint32_t milliseconds) {
    if (state_.offline)
        return;
    // All messages are dispatched only while the library's lock is free: a
    // message handler could otherwise re-enter the bus from inside a
    // transfer. Under the lock the windows still repaint. Between checks
    // the thread sleeps.
    const auto end = clock_.Now() + std::chrono::milliseconds(milliseconds);
    while (clock_.Now() < end) {
        if (!lock_.HeldByThisThread())
            ui_.PumpMessages();
        else
            ui_.PumpDisplay();
        clock_.SleepFor(std::chrono::milliseconds(1));
    }
}

void BusGate::KeepDisplayAlive() {
    if (state_.offline)
        return;
    // Often enough for the eye, seldom enough to cost nothing.
    constexpr auto kInterval = std::chrono::milliseconds(15);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDisplayPump_ < kInterval)
        return;
    lastDisplayPump_ = now;
    if (lock_.HeldByThisThread())
        ui_.PumpDisplay();
    else
        ui_.PumpMessages();
}

bool CFilterDialog::Active() const {
    LoggerServices& ui = bus_.Ui();
    return ui.MainWindowExists() && ui.LoggingEnabled() && !ui.LoggingSuspended();
}

void CFilterDialog::SetColor(int code) {
    if (Active())
        bus_.Log().SetTrafficColor(code);
}

void CFilterDialog::PutText(std::string_view text) {
    if (Active())
        bus_.Log().Append(text);
}

void CFilterDialog::Transaction(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                                uint32_t category) {
    if (Active() && category != 7)
        bus_.Log().Append(HexDump(direction, slave, length, bytes, category));
}

} // namespace busgate
