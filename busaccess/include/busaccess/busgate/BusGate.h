// The bus library's core: its one bus state, the chip command layer, the
// command decoder with its capture buffer, and the operations behind the
// busgate_ exports. The exports use one instance for the process; tests make
// their own.
#pragma once

#include "busaccess/MessageService.h"
#include "busaccess/busgate/BridgePort.h"
#include "busaccess/busgate/Capture.h"
#include "busaccess/busgate/Clock.h"
#include "busaccess/busgate/CommandTable.h"
#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/LoggerLock.h"
#include "busaccess/busgate/LoggerServices.h"
#include "busaccess/busgate/ValueDecoders.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace busgate {

inline constexpr uint8_t kDefaultChipAddress = 0x73;
inline constexpr uint32_t kFailedRead = 0xCCCCCCCCu;

struct BusState {
    // Set once, by the first open; read by transfers from any thread.
    std::atomic<std::thread::id> guiThread{};
    HostWindow hostWindow = nullptr;
    Clock::TimePoint lastOpenTime{};
    std::chrono::milliseconds backoff{0};
    uint32_t open = 0;
    uint32_t ready = 0;
    uint32_t offline = 0;
    int32_t boardType = -1;
    int32_t boardFirmwareRevision = -1;
    int32_t chipHardwareVersion = -1;
    int32_t chipFirmwareVersion = -1;
    uint32_t firmwareCode = kFirmwareUndetected;
    uint32_t chipTypeCode = 0;
    char chipFirmwareName[20] = {};
    char chipTypeName[20] = {};
    uint8_t chipAddress = kDefaultChipAddress;
};

struct DecoderState {
    std::size_t row = 0;
    Ext pending = Ext::None;
    uint32_t announced = 0;
    uint32_t remaining = 0;
};

// The bridge traffic recorded for a bridge-flash preset: one record per
// bridge write frame, {slave, 16-bit length, data}.
struct TrafficRecording {
    static constexpr uint32_t kCapacity = 16368;
    bool armed = false;
    bool overflow = false;
    std::vector<uint8_t> bytes;
};

// What the library knows of the evaluation board's peripherals.
struct EvbState {
    bool ampEnabled = false;
    bool ampIdentified = false;
    bool ampInitialised = false;
    int refStrap = -1;   // -1 while the chip is held in reset
    int i2cmsStrap = -1; // likewise
    bool spdifPowered = false;
    bool txIdentified = false;
    bool txConfigured = false;
    bool rxIdentified = false;
    bool rxConfigured = false;
    uint8_t rxAddress = 0x13;
    uint32_t spdifInput = 0;
};

class BusGate;

// The main-window sink: writes to the traffic pane while the main window
// exists with logging enabled and not suspended.
class CFilterDialog final : public CFilterLog {
public:
    explicit CFilterDialog(BusGate& bus) : bus_(bus) {}
    void SetColor(int code) override;
    void Transaction(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                     uint32_t category) override;

protected:
    void PutText(std::string_view text) override;
    void PutError(std::string_view text) override { PutText(text); }
    void PutInfo(std::string_view text) override { PutText(text); }

private:
    bool Active() const;
    BusGate& bus_;
};

class BusGate {
public:
    BusGate(BridgePort& bridge, LoggerServices& ui, Clock& clock = SystemClock());
    ~BusGate();
    BusGate(const BusGate&) = delete;
    BusGate& operator=(const BusGate&) = delete;

    // ---- the exports' operations
    // The handle (non-zero) or 0.
    uint32_t Open();
    // Close, transmit and receive wait a bounded time (2 s) for the lock
    // another thread holds; past it they do nothing (-1). Called from inside
    // an operation that holds the lock on this thread, they do nothing.
    void Close();
    // The length, or -1. `busy`, when given, tells whether a -1 came from
    // the lock (held on this thread, or by another past the wait): then
    // nothing reached the bus.
    int32_t Transmit(uint32_t slave, const uint8_t* data, uint32_t length, bool* busy = nullptr);
    int32_t Receive(uint32_t slave, uint8_t* buffer, uint32_t bufferSize, uint32_t length,
                    bool* busy = nullptr);

    // ---- chip command layer: 0 success, 1 failed transfer, 2 bad argument
    enum class Transfer { None, Raw, Logger };
    using MessageCallback = std::function<void(int level, const char* text)>;
    // Called with 1 after each successful command or data write and before
    // each read; FdkInit installs the empty one.
    using DelayHook = std::function<void(uint32_t)>;
    int FdkInit(Transfer transfer);
    void SetMessageCallback(MessageCallback callback) { message_ = std::move(callback); }
    void SetDelayHook(DelayHook delay) { delay_ = std::move(delay); }
    int SendCommand(uint16_t parameter, uint8_t command);
    int SendData(uint32_t value);
    int ReceiveData(uint32_t& value);
    int SendBuffer(uint32_t groups, const uint8_t* bytes);
    int SendBufferDw(uint32_t words, const uint32_t* data);
    int WriteRegister(uint16_t reg, uint32_t value);
    int ReadRegister(uint16_t reg, uint32_t& value);
    int WriteMemBufferL(const uint32_t* words, uint16_t start, uint8_t command, uint16_t count);
    int WriteMemBuffer(uint8_t command, uint16_t start, const uint32_t* words, uint16_t count);
    int WriteHwPatch(uint16_t address, uint8_t index, uint32_t data0, uint32_t data1);
    void PrintMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
    uint32_t ReadChipHwVersion();
    uint32_t ReadChipFwVersion();
    // The transfer that bypasses the decoder: 1 success.
    int RawTransfer(int direction, uint8_t slave, uint32_t length, uint8_t* data);

    // ---- decoder
    // Non-zero for success.
    int LoggerTransfer(int direction, uint8_t slave, uint32_t length, uint8_t* data);
    int DecodeCommandStream(uint32_t& consumed, uint32_t remaining, uint8_t slave, int direction,
                            uint8_t* data);

    // ---- capture and waiting
    void CaptureReset();
    void CaptureInvalidate();
    void CaptureAppend(uint32_t length, const uint8_t* bytes);
    void WaitWithMessagePump(uint32_t milliseconds);
    // Called often by long operations: lets the windows repaint (and only
    // that, while this thread holds the lock) every few milliseconds.
    void KeepDisplayAlive();

    // ---- state shared with the logger windows and the exports
    BusState& State() { return state_; }
    const CaptureBuffer& Capture() const { return capture_; }
    DecoderState& Decoder() { return decoder_; }
    LoggerLock& Lock() { return lock_; }
    LoggerServices& Ui() { return ui_; }
    LogQueue& Log() { return log_; }
    CFilterLog& Sink() { return *sink_; }
    void SetSink(CFilterLog* sink) { sink_ = sink ? sink : &dialogSink_; }
    CFilterDialog& DialogSink() { return dialogSink_; }
    uint16_t TweaksValue() const { return tweaksValue_; }
    uint32_t LastSpeakerType() const { return lastSpeakerType_; }
    uint32_t LastVolumeGain() const { return lastVolumeGain_; }
    uint16_t LastSsi() const { return lastSsi_; }
    const std::array<uint32_t, kMixerGains>& MixerGains() const { return mixerGains_; }
    // The remembered volume state, for a page that changes the volume for
    // a while and puts the remembered values back afterwards.
    struct VolumeState {
        uint32_t volumeGain = 0;
        std::array<uint32_t, kMixerGains> mixerGains{};
        uint16_t ssi = 0;
        uint32_t speakerType = 0;
    };
    VolumeState SaveVolumeState() const {
        return {lastVolumeGain_, mixerGains_, lastSsi_, lastSpeakerType_};
    }
    void RestoreVolumeState(const VolumeState& state) {
        lastVolumeGain_ = state.volumeGain;
        mixerGains_ = state.mixerGains;
        lastSsi_ = state.ssi;
        lastSpeakerType_ = state.speakerType;
    }
    bool PresetStageInjected() const { return presetStage_; }
    // The power-amplifier power-down sequence.
    void PwrAmpPowerDown();

    // ---- the exports and the evaluation board
    BridgePort& Bridge() { return bridge_; }
    Clock& Time() { return clock_; }
    CEvbCfg_Dialog& EvbDialog() { return *evb_; }
    EvbState& Evb() { return evbState_; }
    TrafficRecording& Recording() { return recording_; }
    // Message boxes; headless the trace line "<caption>: <text>".
    busaccess::MessageService& Messages() { return *messages_; }
    void SetMessages(std::shared_ptr<busaccess::MessageService> messages);
    // The whole 3-byte groups of the capture, or nothing when it is empty,
    // invalid or overflowed.
    std::vector<uint8_t> CaptureGroups() const;

    // Replays captured groups through the decoder without touching the bus:
    // for its lifetime the sink is the given one and the offline flag is
    // set; afterwards the sink, the flag, the decoder's state and what
    // decoding marks (capture arming, setup sequence, last values) are as
    // they were, on every path.
    class OfflineReplay {
    public:
        OfflineReplay(BusGate& bus, CFilterLog& sink);
        ~OfflineReplay();
        OfflineReplay(const OfflineReplay&) = delete;
        OfflineReplay& operator=(const OfflineReplay&) = delete;
        // Decodes one group as a write to the slave.
        void Decode(uint8_t slave, const uint8_t* group);

    private:
        BusGate& bus_;
        CFilterLog* sink_;
        uint32_t offline_;
        DecoderState decoder_;
        Transfer transfer_;
        uint32_t armed_;
        bool firstSetupSequence_;
        bool presetStage_;
        uint16_t tweaksValue_;
        uint32_t lastSpeakerType_;
        uint32_t lastVolumeGain_;
        uint16_t lastSsi_;
        std::array<uint32_t, kMixerGains> mixerGains_;
        uint32_t firmwareCode_;
    };

    static constexpr uint32_t kHandle = 0x42A7E001u;

private:
    friend class CommandDecoders;

    int ChipTransfer(int direction, uint32_t length, uint8_t* data);
    // The installed transfer function itself, without the delay hook.
    int InstalledTransfer(int direction, uint32_t length, uint8_t* data);
    // Closes the bridge and marks the bus closed; with the lock held.
    void CloseBus();
    void ArmCaptureLabel();
    bool ProbeBoard();
    bool ProbeChip();
    void IdentifyChip(uint32_t hardware, uint32_t firmware, uint32_t straps);
    uint32_t ReadStraps();
    int32_t Exchange(int direction, uint32_t slave, uint8_t* data, uint32_t length, bool* busy);

    BridgePort& bridge_;
    LoggerServices& ui_;
    Clock& clock_;
    std::chrono::steady_clock::time_point lastDisplayPump_{};
    LoggerLock lock_;
    LogQueue log_;
    CFilterDialog dialogSink_;
    CFilterLog* sink_;
    BusState state_;
    CaptureBuffer capture_;
    DecoderState decoder_;
    Transfer transfer_ = Transfer::None;
    uint8_t fdkTarget_ = 0; // 0: the chip address
    MessageCallback message_;
    DelayHook delay_ = [](uint32_t) {};
    CEvbCfg_Dialog plainEvb_;
    CEvbCfg_Dialog* evb_ = &plainEvb_;
    uint16_t tweaksValue_ = 0;
    uint32_t lastSpeakerType_ = 0;
    uint32_t lastVolumeGain_ = 0;
    uint16_t lastSsi_ = 0;
    std::array<uint32_t, kMixerGains> mixerGains_{};
    bool firstSetupSequence_ = true;
    bool presetStage_ = false;
    uint32_t lastAliveValue_ = 0;
    TrafficRecording recording_;
    EvbState evbState_;
    std::shared_ptr<busaccess::MessageService> messages_;
};

} // namespace busgate
