// Offline replays of the capture through the decoder.
#include "busaccess/busgate/BusGate.h"

namespace busgate {

std::vector<uint8_t> BusGate::CaptureGroups() const {
    const uint32_t total = capture_.total;
    // Invalid and overflowed totals lie beyond the buffer.
    if (total > CaptureBuffer::kSize)
        return {};
    const uint32_t whole = total - total % 3;
    return std::vector<uint8_t>(capture_.bytes.begin(), capture_.bytes.begin() + whole);
}

BusGate::OfflineReplay::OfflineReplay(BusGate& bus, CFilterLog& sink)
    : bus_(bus), sink_(bus.sink_), offline_(bus.state_.offline), decoder_(bus.decoder_),
      transfer_(bus.transfer_), armed_(bus.capture_.armed),
      firstSetupSequence_(bus.firstSetupSequence_), presetStage_(bus.presetStage_),
      tweaksValue_(bus.tweaksValue_), lastSpeakerType_(bus.lastSpeakerType_),
      lastVolumeGain_(bus.lastVolumeGain_), lastSsi_(bus.lastSsi_), mixerGains_(bus.mixerGains_),
      firmwareCode_(bus.state_.firmwareCode) {
    bus_.sink_ = &sink;
    bus_.state_.offline = 1;
    // A replay starts with no extended command pending.
    bus_.decoder_ = DecoderState{};
}

BusGate::OfflineReplay::~OfflineReplay() {
    bus_.sink_ = sink_;
    bus_.state_.offline = offline_;
    bus_.decoder_ = decoder_;
    bus_.transfer_ = transfer_;
    bus_.capture_.armed = armed_;
    bus_.firstSetupSequence_ = firstSetupSequence_;
    bus_.presetStage_ = presetStage_;
    bus_.tweaksValue_ = tweaksValue_;
    bus_.lastSpeakerType_ = lastSpeakerType_;
    bus_.lastVolumeGain_ = lastVolumeGain_;
    bus_.lastSsi_ = lastSsi_;
    bus_.mixerGains_ = mixerGains_;
    bus_.state_.firmwareCode = firmwareCode_;
}

void BusGate::OfflineReplay::Decode(uint8_t slave, const uint8_t* group) {
    // The decoder may rewrite what it is given; the capture stays as it is.
    uint8_t copy[3] = {group[0], group[1], group[2]};
    bus_.LoggerTransfer(0, slave, 3, copy);
}

} // namespace busgate
