// The frame transport to the chip: every write the plug-in makes to the
// chip or to its configuration EEPROM goes through SendFrame, which
// applies the slave-address gate and the EEPROM exclusion list, puts the
// bytes into the order the chip's firmware expects, and either records the
// frame for an EEPROM export or pauses 3 ms before a command frame and
// writes it as one I2C write through the current connection.
//
// The algorithm object derives from this class; it runs on the GUI thread.
#pragma once

#include "plugin/ConnectI2C.h"
#include "plugin/TickClock.h"

#include <cstdint>
#include <memory>
#include <vector>

class CChipTransport {
public:
    // Kind flags of a frame (a bit set).
    enum : uint32_t {
        kFrameCommand = 1, // pause before it, exclusion check, capture window
        kFrameData = 2,
        kFrameRawBit = 4,                      // no byte exchange
        kFrameRaw = kFrameData | kFrameRawBit, // a POP or script line as written
    };
    static constexpr uint8_t kChipAddress = 0x73;
    static constexpr uint8_t kEepromAddress = 0x50;
    static constexpr uint32_t kCommandPauseMs = 3;

    explicit CChipTransport(std::shared_ptr<CTickClock> clock = SystemTickClock());
    virtual ~CChipTransport();

    // The current connection; a bare CConnectI2C until one is chosen.
    CConnectI2C& Connection() { return *connection_; }
    // Replaces the connection (null: no connection) and destroys the old one.
    // The chip behind a new connection is not known until it is identified.
    void SetConnection(std::unique_ptr<CConnectI2C> connection);

    // True when the frame was written, recorded, left outside the capture
    // window or refused by the gate; false only when the write failed. The
    // gate refuses every address but the chip's and the EEPROM's, and the
    // chip's own while it is not known (but for its identification).
    // Frames that are not raw may be rewritten in place (byte exchange).
    bool SendFrame(uint8_t* bytes, uint32_t length, uint32_t kind, bool force);
    bool SendCommandBytes(uint8_t first, uint8_t command, uint8_t third, bool force = false);
    // As SendCommandBytes, but true only when the frame reached the
    // connection (or the capture); a frame the gate refused is no answer.
    bool SendCommandAnswered(uint8_t first, uint8_t command, uint8_t third, bool force = false);
    // {address bits 0-7, command, address bits 8-15}.
    bool SendCommand(uint16_t address, uint8_t command);
    bool SendData(uint8_t b0, uint8_t b1, uint8_t b2);
    // A 24-bit value, least significant byte first.
    bool SendValue(uint32_t value);
    // The command frame, then a 3-byte read into `reply` (not gated,
    // exchanged or captured); false when either step failed or the gate
    // refused the command (then nothing is read).
    bool ReadTransaction(uint8_t first, uint8_t command, uint8_t third, uint8_t reply[3]);

    // 0: the long exclusion list, 1: the short one, any other value: none.
    void SelectExclusionList(int selector);
    // The list for an EEPROM export by the registry value PopTypeEEPROMExt:
    // 0 and 1 the short list, 2 the long list, others keep the last choice.
    void SelectExclusionListForPopType(uint32_t popTypeEEPROMExt);
    const std::vector<uint8_t>* ActiveExclusionList() const { return activeList_; }

    void SetCaptureMode(bool on) { captureMode_ = on; }
    bool CaptureMode() const { return captureMode_; }
    void ClearCapture() { capture_.clear(); }
    void SetCaptureWindow(bool capturing, uint8_t startCommand, uint8_t stopCommand);
    bool Capturing() const { return capturing_; }
    const std::vector<uint8_t>& CaptureBuffer() const { return capture_; }

    // True when the last frame was refused by the gate or an exclusion list.
    bool Dropped() const { return dropped_; }

    // A valid version (0x1000..0x9FFF) makes the chip known on the current
    // connection; any other makes it unknown.
    void SetChipVersion(uint16_t version, uint16_t subVersion);
    uint16_t ChipVersion() const { return chipVersion_; }
    bool IsValidChipVersion() const;
    // True once the chip behind the current connection was identified.
    bool ChipKnown() const { return chipKnown_; }
    uint16_t ChipSubVersion() const { return chipSubVersion_; }
    // 1: the board with version read-back, 0: the other board.
    void SetBoardType(uint8_t type) { boardType_ = type; }
    uint8_t BoardType() const { return boardType_; }
    // True when frames go out most significant byte first.
    bool ExchangesBytes() const;

    static const std::vector<uint8_t>& LongExclusionList();
    static const std::vector<uint8_t>& ShortExclusionList();

protected:
    CTickClock& Clock() { return *clock_; }

    // While one lives, the chip's own gate lets the frames of its
    // identification through.
    class CIdentifying {
    public:
        explicit CIdentifying(CChipTransport& t) : t_(t), was_(t.identifying_) {
            t_.identifying_ = true;
        }
        ~CIdentifying() { t_.identifying_ = was_; }
        CIdentifying(const CIdentifying&) = delete;
        CIdentifying& operator=(const CIdentifying&) = delete;

    private:
        CChipTransport& t_;
        bool was_;
    };

private:
    bool Refused(const uint8_t* bytes, uint32_t length, uint32_t kind);

    std::shared_ptr<CTickClock> clock_;
    std::unique_ptr<CConnectI2C> connection_;
    const std::vector<uint8_t>* activeList_ = nullptr;
    std::vector<uint8_t> capture_;
    bool dropped_ = false;
    bool captureMode_ = false;
    bool capturing_ = false;
    uint8_t captureStart_ = 0;
    uint8_t captureStop_ = 0;
    uint16_t chipVersion_ = 0;
    uint16_t chipSubVersion_ = 0;
    bool chipKnown_ = false;
    bool identifying_ = false;
    uint8_t boardType_ = 1;
};
