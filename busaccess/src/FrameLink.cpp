#include "busaccess/FrameLink.h"

#include <algorithm>

namespace u2c {

using kvusb::IoStatus;

FrameResult FrameLink::fail(uint32_t error) {
    FrameResult r;
    r.error = error;
    return r;
}

uint32_t FrameLink::send(const Bytes& frame) {
    if (kvusb::WriteAll(*pipe_, frame.data(), frame.size()) != IoStatus::ok)
        return kErrWrite;
    return kErrNone;
}

FrameResult FrameLink::statusFrame(const Bytes& frame, bool readAfterFailedWrite) {
    if (!pipe_)
        return fail(kErrNotOpen);
    uint32_t sent = send(frame);
    if (sent != kErrNone && !readAfterFailedWrite)
        return fail(sent);
    FrameResult r;
    if (kvusb::ReadAll(*pipe_, &r.status, 1) != IoStatus::ok) {
        pipe_->discardInput();
        return fail(kErrRead);
    }
    r.error = sent;
    if (sent != kErrNone)
        r.status = 0;
    return r;
}

FrameResult FrameLink::valueFrame(const Bytes& frame, uint32_t& value) {
    if (!pipe_)
        return fail(kErrNotOpen);
    if (uint32_t e = send(frame))
        return fail(e);
    uint8_t raw[4];
    if (kvusb::ReadAll(*pipe_, raw, 4) != IoStatus::ok) {
        pipe_->discardInput();
        return fail(kErrRead);
    }
    value = GetLE32(raw);
    FrameResult r;
    r.status = kStatusOk;
    return r;
}

FrameResult FrameLink::readFrame(const Bytes& frame, uint32_t requested, uint8_t* buf, bool exact) {
    if (!pipe_)
        return fail(kErrNotOpen);
    if (uint32_t e = send(frame))
        return fail(e);
    uint8_t head[5];
    if (kvusb::ReadAll(*pipe_, head, sizeof head) != IoStatus::ok) {
        pipe_->discardInput();
        return fail(kErrRead);
    }
    const uint32_t count = GetLE32(head + 1);
    const uint32_t limit =
        exact ? profile_.maxReplyBytes : std::min(requested, profile_.maxReplyBytes);
    uint32_t refused = kErrNone;
    if (count > limit)
        refused = kErrRead;
    else if (exact && count != requested)
        refused = kErrCountMismatch;
    if (refused != kErrNone) {
        // The announced data must not be read as the next frame's reply.
        pipe_->discardInput();
        return fail(refused);
    }
    if (count > 0 && kvusb::ReadAll(*pipe_, buf, count) != IoStatus::ok) {
        pipe_->discardInput();
        return fail(kErrRead);
    }
    FrameResult r;
    r.status = head[0];
    r.count = count;
    return r;
}

} // namespace u2c
