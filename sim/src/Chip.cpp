#include "sim/Chip.h"

namespace u2csim {

namespace {
constexpr size_t kFramesKept = 65536;
}

Chip::Chip(ChipConfig config) : config_(config) {
    onRead(kChipVersionCommand, [this](uint16_t) { return config_.version; });
    onRead(kChipSubVersionCommand, [this](uint16_t) { return config_.subVersion; });
}

void Chip::onRead(uint8_t command, ReadHandler handler) {
    std::lock_guard lock(mutex_);
    reads_[command] = std::move(handler);
}

void Chip::onCommand(uint8_t command, CommandHandler handler) {
    std::lock_guard lock(mutex_);
    commands_[command] = std::move(handler);
}

void Chip::onFrame(std::function<void(const uint8_t*, size_t)> handler) {
    std::lock_guard lock(mutex_);
    frameHandler_ = std::move(handler);
}

bool Chip::write(const uint8_t* data, size_t len) {
    std::lock_guard lock(mutex_);
    frames_.emplace_back(data, data + len);
    if (frames_.size() > kFramesKept)
        frames_.pop_front();
    if (len == 3) {
        const uint8_t command = data[1];
        const uint16_t parameter = static_cast<uint16_t>(data[0] << 8 | data[2]);
        if (auto r = reads_.find(command); r != reads_.end()) {
            reply_ = r->second(parameter);
            return true;
        }
        if (auto c = commands_.find(command); c != commands_.end()) {
            c->second(parameter);
            return true;
        }
    }
    if (frameHandler_)
        frameHandler_(data, len);
    return true;
}

std::optional<Bytes> Chip::read(size_t len) {
    std::lock_guard lock(mutex_);
    Bytes out(len, 0);
    if (reply_) {
        const uint8_t msbFirst[3] = {static_cast<uint8_t>(*reply_ >> 16),
                                     static_cast<uint8_t>(*reply_ >> 8),
                                     static_cast<uint8_t>(*reply_)};
        for (size_t i = 0; i < len && i < 3; ++i)
            out[i] = msbFirst[i];
        reply_.reset();
    }
    return out;
}

std::vector<Bytes> Chip::frames() const {
    std::lock_guard lock(mutex_);
    return {frames_.begin(), frames_.end()};
}

} // namespace u2csim
