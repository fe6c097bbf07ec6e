// The bus library's exported operations: open with its board and chip
// probe, close, transmit and receive.
#include "busaccess/busgate/BusGate.h"

#include "busaccess/busgate/BridgePresets.h"
#include "busaccess/busgate/TraceSink.h"

#include <cstring>
#include <limits>
#include <vector>

namespace busgate {

namespace {

using std::chrono::milliseconds;

void SetName(char (&field)[20], const char* name) {
    std::strncpy(field, name, sizeof field - 1);
    field[sizeof field - 1] = '\0';
}

class UnlockOnExit {
public:
    explicit UnlockOnExit(LoggerLock& lock) : lock_(lock) {}
    ~UnlockOnExit() { lock_.Unlock(); }

private:
    LoggerLock& lock_;
};

// How long a caller of the exports waits for the lock that another thread
// holds. The GUI thread holds it through a whole EEPROM operation and its
// boxes, and may meanwhile wait for the caller's thread (a connection that
// ends its thread): the call fails rather than wait for ever.
constexpr auto kLockWait = std::chrono::milliseconds(2000);

constexpr int kFlashControls[] = {ctl::kPresetSelector, ctl::kProgramAll, ctl::kFlashErase,
                                  ctl::kProgramTuningOnly};

} // namespace

BusGate::BusGate(BridgePort& bridge, LoggerServices& ui, Clock& clock)
    : bridge_(bridge), ui_(ui), clock_(clock), log_(ui, &lock_), dialogSink_(*this),
      sink_(&dialogSink_), messages_(std::make_shared<busaccess::TraceMessageService>()) {
    bridge_.SetTrafficRecorder(
        [this](uint32_t length, uint8_t slave, const uint8_t* data, uint8_t status) {
            BridgeRecordTraffic(*this, length, slave, data, status);
        });
}

BusGate::~BusGate() {
    bridge_.SetTrafficRecorder(nullptr);
}

void BusGate::SetMessages(std::shared_ptr<busaccess::MessageService> messages) {
    messages_ = messages ? std::move(messages) : std::make_shared<busaccess::TraceMessageService>();
}

uint32_t BusGate::Open() {
    // The first caller becomes the GUI thread, also when several race.
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id recorded{};
    if (!state_.guiThread.compare_exchange_strong(recorded, self) && recorded != self)
        return 0;
    // A nested open from inside a transfer finds the lock held, too.
    if (lock_.HeldByThisThread() || !lock_.TryLock())
        return 0;
    UnlockOnExit unlock(lock_);

    state_.boardType = -1;
    state_.boardFirmwareRevision = -1;
    state_.chipHardwareVersion = -1;
    state_.chipFirmwareVersion = 0;
    state_.open = 0;
    state_.ready = 0;

    // Back-off: attempts within 4 s of each other are spaced ever wider.
    const Clock::TimePoint now = clock_.Now();
    if (now < state_.lastOpenTime + state_.backoff)
        return 0;
    if (now < state_.lastOpenTime + milliseconds(4000))
        state_.backoff += milliseconds(200);
    else if (now > state_.lastOpenTime + milliseconds(8000))
        state_.backoff = milliseconds(0);
    state_.lastOpenTime = now;

    // The windows are set up again when they are gone (destroyed with the
    // host's window that owned them).
    if (!state_.hostWindow || !ui_.MainWindowExists()) {
        state_.hostWindow = ui_.FindHostWindow();
        ui_.CreateMainDialog(state_.hostWindow);
        ui_.CreateIoCfgDialog(state_.hostWindow);
        ui_.CreateAeqCfgDialog(state_.hostWindow);
        ui_.CreateTweaksDialog(state_.hostWindow);
        ui_.CreatePwrAmpDialog(state_.hostWindow);
        ui_.CreateScriptDialog(state_.hostWindow);
    }
    ui_.ShowMainWindow();
    ui_.SetLoggingSuspended(false);
    log_.ResetFormatMain();
    ui_.EnableControl(ctl::kEvbConfig, false);
    for (int id : kFlashControls)
        ui_.EnableControl(id, false);
    ui_.EnableControl(ctl::kPwmAndAmp, true);

    sink_ = &dialogSink_;
    // The library's own commands bypass the decoder: neither logged nor
    // captured.
    FdkInit(Transfer::Raw);
    state_.offline = 0;
    bridge_.Close();
    CaptureReset();
    if (!bridge_.Open()) {
        log_.SetTrafficColor(kColourRed);
        log_.Printf("Fail to open USB-to-I2C device. \n ");
        log_.SetColorIfChanged(kColourRed);
        log_.PrintfMain("* No USB-to-I2C exist.\n ");
        CloseBus();
        return 0;
    }
    log_.SetTrafficColor(kColourBlack);
    log_.Printf("--> Open I2C communication. \n ");
    state_.open = 1;

    if (!ProbeBoard() || !ProbeChip()) {
        state_.ready = 0;
        CloseBus();
        return 0;
    }
    Beep(700, 200);
    Beep(800, 100);
    return kHandle;
}

bool BusGate::ProbeBoard() {
    const int old = bridge_.IsAlive(0x31);
    const int current = bridge_.IsAlive(0x80);
    if (current == 1) {
        for (int id : kFlashControls)
            ui_.EnableControl(id, true);
    } else {
        log_.SetColorIfChanged(kColourRed);
        log_.PrintfMain(old == 1 ? "MK340 firmware update is recommended.\n "
                                 : "MK340 firmware upgrade is required.\n ");
        log_.PrintfMain("Upgrade to version 1.0.0 or above.\n ");
        if (old != 1) {
            ui_.DestroyEvbDialogs();
            evb_ = &plainEvb_;
            return true;
        }
    }

    uint32_t type = 0, revision = 0;
    bridge_.GetVersion(type, revision);
    state_.boardType = static_cast<int32_t>(type);
    state_.boardFirmwareRevision = static_cast<int32_t>(revision);
    log_.SetColorIfChanged(kColourGreen);
    auto boardDialog = [&](int boardType) {
        CEvbCfg_Dialog* dialog = ui_.CreateEvbDialog(boardType);
        evb_ = dialog ? dialog : &plainEvb_;
        evb_->BoardIdentified();
        ui_.EnableControl(ctl::kEvbConfig, true);
    };
    switch (type) {
    case 1:
        log_.PrintfMain("* Board Type: QX41xx Evaluation Board \n ");
        boardDialog(1);
        break;
    case 2:
    case 3:
        log_.PrintfMain(type == 2 ? "* Board Type: USB-to-I2C Utility Board \n "
                                  : "* Board Type: Terovan USB Soundbar \n ");
        evb_ = &plainEvb_;
        ui_.EnableControl(ctl::kEvbConfig, false);
        break;
    case 4:
        log_.PrintfMain("* Board Type: PowerDulm Evaluation Board \n ");
        boardDialog(4);
        break;
    default:
        log_.SetColorIfChanged(kColourRed);
        log_.PrintfMain("* Board Type: Unknown (%d) \n ", static_cast<int>(type));
        break;
    }
    log_.SetColorIfChanged(kColourGreen);
    log_.PrintfMain("* Board Firmware Revision: 0x%04lX \n ", static_cast<unsigned long>(revision));
    return true;
}

uint32_t BusGate::ReadStraps() {
    // Through the chip command layer, which reads the word as the chip
    // gives it, not as the decoder reports it to the plug-in.
    uint32_t value = kFailedRead;
    if (SendCommand(0xFFF1, 0xB5) != 0 || ReceiveData(value) != 0)
        value = kFailedRead;
    return value;
}

bool BusGate::ProbeChip() {
    if (bridge_.IsAlive(state_.chipAddress) != 1) {
        log_.SetTrafficColor(kColourRed);
        bool found = false;
        if (state_.chipAddress != kDefaultChipAddress) {
            log_.Printf(" -- IsAlive? to I2C address 0x%x has failed. \n ", state_.chipAddress);
            log_.Printf(" -- Trying default address 0x%x. \n ", kDefaultChipAddress);
            found = bridge_.IsAlive(kDefaultChipAddress) == 1;
        }
        if (!found) {
            log_.Printf(" -- IsAlive? to I2C address 0x%x has failed. \n ", kDefaultChipAddress);
            log_.SetColorIfChanged(kColourRed);
            log_.PrintfMain("* No DulmAudio chip was found \n ");
            log_.SetColorIfChanged(kColourBlue);
            log_.PrintfMain(" !!! Try to reset the chip !!! \n ");
            return false;
        }
        state_.chipAddress = kDefaultChipAddress;
    }
    log_.SetColorIfChanged(kColourGreen);
    log_.PrintfMain("* Chip I2C address 0x%02X \n ", state_.chipAddress);

    const uint32_t straps = ReadStraps();
    const uint32_t hardware = ReadChipHwVersion();
    const uint32_t firmware = ReadChipFwVersion();
    const uint32_t straps2 = ReadStraps();
    if (hardware == firmware && firmware == straps) {
        log_.SetColorIfChanged(kColourRed);
        log_.PrintfMain("* Chip Hardware Ver: 0x%04lX \n ", static_cast<unsigned long>(hardware));
        log_.PrintfMain("* Chip Firmware Ver: 0x%04lX \n ", static_cast<unsigned long>(firmware));
        log_.PrintfMain("* Chip Straps : 0x%04lX \n ", static_cast<unsigned long>(straps));
        log_.SetColorIfChanged(kColourBlue);
        log_.PrintfMain(" !! Try to reset DulmAudio chip !!\n ");
        log_.SetTrafficColor(kColourRed);
        log_.Printf(" -- Invalid Chip HW/FW Version.\n ");
        return false;
    }
    state_.ready = 1;
    state_.chipHardwareVersion = static_cast<int32_t>(hardware);
    state_.chipFirmwareVersion = static_cast<int32_t>(firmware);
    IdentifyChip(hardware, firmware, straps);

    log_.SetColorIfChanged(kColourBlack);
    log_.PrintfMain((straps2 & 1) ? "* REF Strap: DCLK  \n " : "* REF Strap: CRYSTAL / CLKIN \n ");
    ui_.UpdateAfterOpen();
    const bool pwmAndAmp = IsQZ625xFamily(state_.chipTypeCode);
    ui_.EnableControl(ctl::kPwmAndAmp, pwmAndAmp);
    ui_.SetPwrAmpTimer(pwmAndAmp);
    if (!pwmAndAmp)
        ui_.HidePwrAmpDialog();
    return true;
}

void BusGate::IdentifyChip(uint32_t hardware, uint32_t firmware, uint32_t straps) {
    struct Kind {
        int colour;
        const char* line;
        uint32_t code;
        const char* name;
    };
    auto report = [&](const Kind& kind, uint32_t value) {
        log_.SetColorIfChanged(kind.colour);
        log_.PrintfMain(kind.line, static_cast<unsigned long>(value));
    };
    const unsigned long hw = hardware;
    if (hardware == 0x6000) {
        log_.SetColorIfChanged(kColourGreen);
        log_.PrintfMain("* Chip Hardware Ver: QX410x (0x%04lX)\n ", hw);
        ui_.EnableControl(ctl::kSpeakersRotation, true);
        Kind fw{kColourRed, "* Chip Firmware Ver: Unknown (0x%04lX) \n ", kFirmwareA2,
                "CHIPFW_INVALID"};
        if (firmware == 0x0505)
            fw = {kColourRed, "* Chip Firmware Ver: A1 (0x0505)\n ", kFirmwareA1, "CHIPFW_A1"};
        else if (firmware == 0x0606)
            fw = {kColourGreen, "* Chip Firmware Ver: A2 (0x0606)\n ", kFirmwareA2, "CHIPFW_A2"};
        report(fw, firmware);
        state_.firmwareCode = fw.code;
        SetName(state_.chipFirmwareName, fw.name);
        static const Kind kTypes[4] = {
            {kColourGreen, "* Chip Flavor: QX410T (TV) \n ", 4, "CHIPTYPE_QX410T"},
            {kColourGreen, "* Chip Type: QX410B (Basic) \n ", 1, "CHIPTYPE_QX410B"},
            {kColourGreen, "* Chip Type: QX410P (Portable) \n ", 2, "CHIPTYPE_QX410P"},
            {kColourGreen, "* Chip Type: QX410M (Mobile) \n ", 2, "CHIPTYPE_QX410M"}};
        const Kind& type = kTypes[(straps >> 17) & 3];
        report(type, 0);
        state_.chipTypeCode = type.code;
        SetName(state_.chipTypeName, type.name);
    } else if (hardware == 0x7000) {
        log_.SetColorIfChanged(kColourGreen);
        log_.PrintfMain("* Chip Hardware Ver: QZ625x (0x%04lX)\n ", hw);
        ui_.EnableControl(ctl::kSpeakersRotation, false);
        const Kind fw = firmware == 0x0704
                            ? Kind{kColourGreen, "* Chip Firmware Ver: A0 (0x0704)\n ",
                                   kFirmwareQZ625x, "CHIPFW_A0"}
                            : Kind{kColourRed, "* Chip Firmware Ver: Unknown (0x%04lX) \n ",
                                   kFirmwareQZ625x, "CHIPFW_INVALID"};
        report(fw, firmware);
        state_.firmwareCode = fw.code;
        SetName(state_.chipFirmwareName, fw.name);
        const uint32_t flavour = ((straps >> 12) & 1) + 2 * ((straps >> 17) & 3);
        Kind type{kColourRed, "* Chip Flavor: Unknown (0x%04lX) \n ", 0, "CHIPTYPE_INVALID"};
        if (flavour == 0)
            type = {kColourGreen, "* Chip Flavor: QX412D (Digital)\n ", 32, "CHIPTYPE_QX412D"};
        else if (flavour == 2)
            type = {kColourGreen, "* Chip Flavor: QZ625xB (Basic) \n ", 8, "CHIPTYPE_QZ625xB"};
        else if (flavour == 3)
            type = {kColourGreen, "* Chip Flavor: QZ625xF (Full) \n ", 16, "CHIPTYPE_QZ625xF"};
        report(type, flavour);
        state_.chipTypeCode = type.code;
        SetName(state_.chipTypeName, type.name);
    } else {
        log_.SetColorIfChanged(kColourRed);
        log_.PrintfMain("* Chip Hardware Ver: Unknown (0x%04lX) \n ", hw);
        log_.PrintfMain("* Chip Firmware Ver: Unknown (0x%04lX) \n ",
                        static_cast<unsigned long>(firmware));
    }
}

void BusGate::Close() {
    // A close nested inside an operation that holds the lock on this thread
    // (from a handler its message pump ran) would pull the bridge from under
    // that operation: it does nothing.
    if (lock_.HeldByThisThread() || !lock_.TryLockFor(kLockWait))
        return;
    UnlockOnExit unlock(lock_);
    CloseBus();
}

void BusGate::CloseBus() {
    bridge_.Close();
    state_.ready = 0;
    state_.open = 0;
    if (std::this_thread::get_id() == state_.guiThread.load() && ui_.MainWindowExists()) {
        ui_.SetConnectionState(kDisconnected);
        ui_.ArmTimer(kTimerConnection, 1);
    }
    Beep(500, 200);
    Beep(600, 100);
}

int32_t BusGate::Transmit(uint32_t slave, const uint8_t* data, uint32_t length, bool* busy) {
    if (busy)
        *busy = false;
    if (length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        (length != 0 && !data))
        return -1;
    // The caller's buffer is never written, also where the decoder rewrites
    // what a read returns.
    std::vector<uint8_t> copy(data, data + length);
    return Exchange(0, slave, copy.data(), length, busy);
}

int32_t BusGate::Receive(uint32_t slave, uint8_t* buffer, uint32_t bufferSize, uint32_t length,
                         bool* busy) {
    if (busy)
        *busy = false;
    // A read longer than the caller's buffer would write past its end.
    if (length > bufferSize ||
        length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        (length != 0 && !buffer))
        return -1;
    return Exchange(1, slave, buffer, length, busy);
}

int32_t BusGate::Exchange(int direction, uint32_t slave, uint8_t* data, uint32_t length,
                          bool* busy) {
    if (std::this_thread::get_id() != state_.guiThread.load())
        Beep(1000, direction == 0 ? 100 : 10);
    // A call nested inside one that holds the lock on this thread would
    // interleave with that transfer: it moves nothing and fails, as busy.
    if (lock_.HeldByThisThread() || !lock_.TryLockFor(kLockWait)) {
        if (busy)
            *busy = true;
        return -1;
    }
    UnlockOnExit unlock(lock_);
    // The detected chip address is read under the lock an open changes it
    // under.
    uint8_t address = static_cast<uint8_t>(slave & 0xFF);
    if (address == kDefaultChipAddress)
        address = state_.chipAddress;
    const int result = LoggerTransfer(direction, address, length, data);
    return result ? static_cast<int32_t>(length) : -1;
}

} // namespace busgate
