// One frame at a time over an open board: the frame goes out with as many
// OUT transfers as it takes, then the reply is read field by field (status
// byte, 32-bit count, data). Both bridge libraries run their frames through
// a FrameLink; where they differ, a LinkProfile says how.
#pragma once

#include "busaccess/U2CFrame.h"
#include "usb/BulkPipe.h"

#include <memory>

namespace u2c {

// Error codes of a failed frame (the bus library's last-error values).
enum LinkError : uint32_t {
    kErrNone = 0,
    kErrNotOpen = 1,
    kErrOpenRefused = 2,
    kErrWrite = 4,         // OUT transfer failed, or the frame is too long
    kErrRead = 8,          // IN transfer failed, or the reply count is too large
    kErrCountMismatch = 16 // a write-then-read announced another count than asked
};

struct LinkProfile {
    uint32_t maxFrameBytes; // longest whole frame that is sent
    uint32_t maxReplyBytes; // largest reply count that is accepted
};

// The bus library: frames and reply counts up to 1024 bytes.
constexpr LinkProfile kBusLibraryProfile{kMaxBusFrame, kMaxBusFrame};
// TerovanU2C: no limit beyond what a 32-bit frame length can describe.
constexpr LinkProfile kTerovanProfile{0xFFFFFFFFu, 0xFFFFFFFFu};

struct FrameResult {
    uint8_t status = 0; // the reply's status byte, 0 when the frame failed
    uint32_t error = 0; // LinkError, 0 when the reply was read
    uint32_t count = 0; // reply count of reads (bytes stored)
    bool ok() const { return error == kErrNone; }
};

class FrameLink {
public:
    explicit FrameLink(LinkProfile profile) : profile_(profile) {}

    void attach(std::unique_ptr<kvusb::BulkPipe> pipe) { pipe_ = std::move(pipe); }
    std::unique_ptr<kvusb::BulkPipe> detach() { return std::move(pipe_); }
    bool isOpen() const { return pipe_ != nullptr; }
    kvusb::BulkPipe* pipe() const { return pipe_.get(); }
    const LinkProfile& profile() const { return profile_; }

    // Sends a frame and reads its status byte. With `readAfterFailedWrite`
    // the status is read even when the frame did not go out (closing).
    FrameResult statusFrame(const Bytes& frame, bool readAfterFailedWrite = false);
    // Sends a frame and reads a bare 32-bit value (no status byte).
    FrameResult valueFrame(const Bytes& frame, uint32_t& value);
    // Sends a read frame and reads status, count and data into `buf`.
    // `requested` is the length asked for; with `exact` the count must equal
    // it, otherwise any count up to it is accepted.
    FrameResult readFrame(const Bytes& frame, uint32_t requested, uint8_t* buf, bool exact);

    // Whether a whole frame of this size may go out.
    bool frameFits(std::optional<uint32_t> size) const {
        return size && *size <= profile_.maxFrameBytes;
    }

private:
    FrameResult fail(uint32_t error);
    uint32_t send(const Bytes& frame);

    LinkProfile profile_;
    std::unique_ptr<kvusb::BulkPipe> pipe_;
};

} // namespace u2c
