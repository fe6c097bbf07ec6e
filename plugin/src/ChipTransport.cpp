#include "plugin/ChipTransport.h"

#include <algorithm>
#include <utility>

namespace {

constexpr uint16_t kExchangeVersion = 0x6000;
constexpr uint16_t kExchangeSubVersion = 0x0500;
constexpr uint16_t kMinValidVersion = 0x1000;
constexpr uint16_t kMaxValidVersion = 0x9FFF;

} // namespace

const std::vector<uint8_t>& CChipTransport::LongExclusionList() {
    static const std::vector<uint8_t> list = {
        0xC0, 0xC1, 0xC2, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xD0,
        0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xA7};
    return list;
}

const std::vector<uint8_t>& CChipTransport::ShortExclusionList() {
    static const std::vector<uint8_t> list = {0xC4, 0xC5, 0xCA, 0xCB, 0xCC, 0xCD, 0xA7};
    return list;
}

CChipTransport::CChipTransport(std::shared_ptr<CTickClock> clock)
    : clock_(std::move(clock)), connection_(std::make_unique<CConnectI2C>()) {}

CChipTransport::~CChipTransport() = default;

void CChipTransport::SetConnection(std::unique_ptr<CConnectI2C> connection) {
    connection_ = connection ? std::move(connection) : std::make_unique<CConnectI2C>();
    chipKnown_ = false;
}

void CChipTransport::SelectExclusionList(int selector) {
    activeList_ = selector == 0   ? &LongExclusionList()
                  : selector == 1 ? &ShortExclusionList()
                                  : nullptr;
}

void CChipTransport::SelectExclusionListForPopType(uint32_t popTypeEEPROMExt) {
    if (popTypeEEPROMExt == 0 || popTypeEEPROMExt == 1)
        SelectExclusionList(1);
    else if (popTypeEEPROMExt == 2)
        SelectExclusionList(0);
}

void CChipTransport::SetCaptureWindow(bool capturing, uint8_t startCommand, uint8_t stopCommand) {
    capturing_ = capturing;
    captureStart_ = startCommand;
    captureStop_ = stopCommand;
}

void CChipTransport::SetChipVersion(uint16_t version, uint16_t subVersion) {
    chipVersion_ = version;
    chipSubVersion_ = subVersion;
    chipKnown_ = IsValidChipVersion();
}

bool CChipTransport::IsValidChipVersion() const {
    return chipVersion_ >= kMinValidVersion && chipVersion_ <= kMaxValidVersion;
}

bool CChipTransport::ExchangesBytes() const {
    return boardType_ == 1 &&
           (chipVersion_ > kExchangeVersion ||
            (chipVersion_ == kExchangeVersion && chipSubVersion_ >= kExchangeSubVersion));
}

bool CChipTransport::Refused(const uint8_t* bytes, uint32_t length, uint32_t kind) {
    const uint8_t address = Connection().GetSlaveAddress();
    // Nothing but the identification reaches a chip that is not known:
    // neither its byte order nor its commands are known before.
    if (address == kChipAddress)
        return !chipKnown_ && !identifying_;
    if (address != kEepromAddress)
        return true;
    if (!(kind & kFrameCommand) || !activeList_ || length < 2)
        return false;
    return std::find(activeList_->begin(), activeList_->end(), bytes[1]) != activeList_->end();
}

bool CChipTransport::SendFrame(uint8_t* bytes, uint32_t length, uint32_t kind, bool force) {
    if (!bytes && length)
        return false;
    if (Refused(bytes, length, kind)) {
        dropped_ = true;
        return true;
    }
    if (!(kind & kFrameRawBit) && ExchangesBytes()) {
        for (uint32_t i = 0; i + 3 <= length; i += 3)
            std::swap(bytes[i], bytes[i + 2]);
    }
    dropped_ = false;
    const bool command = (kind & kFrameCommand) && length >= 2;
    if (captureMode_) {
        if (command && bytes[1] == captureStart_)
            capturing_ = true;
        else if (command && bytes[1] == captureStop_)
            capturing_ = false;
        if (capturing_)
            capture_.insert(capture_.end(), bytes, bytes + length);
        return true;
    }
    if (kind & kFrameCommand)
        clock_->Sleep(kCommandPauseMs);
    return Connection().Write(bytes, length, force ? 1 : 0) != 0;
}

bool CChipTransport::SendCommandBytes(uint8_t first, uint8_t command, uint8_t third, bool force) {
    uint8_t frame[3] = {first, command, third};
    return SendFrame(frame, 3, kFrameCommand, force);
}

bool CChipTransport::SendCommandAnswered(uint8_t first, uint8_t command, uint8_t third,
                                         bool force) {
    return SendCommandBytes(first, command, third, force) && !dropped_;
}

bool CChipTransport::SendCommand(uint16_t address, uint8_t command) {
    return SendCommandBytes(static_cast<uint8_t>(address), command,
                            static_cast<uint8_t>(address >> 8), false);
}

bool CChipTransport::SendData(uint8_t b0, uint8_t b1, uint8_t b2) {
    uint8_t frame[3] = {b0, b1, b2};
    return SendFrame(frame, 3, kFrameData, false);
}

bool CChipTransport::SendValue(uint32_t value) {
    return SendData(static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                    static_cast<uint8_t>(value >> 16));
}

bool CChipTransport::ReadTransaction(uint8_t first, uint8_t command, uint8_t third,
                                     uint8_t reply[3]) {
    if (!SendCommandBytes(first, command, third, false) || dropped_)
        return false;
    return Connection().Read(reply, 3) != 0;
}
