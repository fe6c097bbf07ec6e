#include "sim/SimBusLayer.h"

#include <cerrno>

namespace dimax {

SimBusLayer::SimBusLayer(std::vector<std::string> adapters) : adapters_(std::move(adapters)) {}

void SimBusLayer::attach(uint8_t address, std::shared_ptr<u2csim::I2CSlave> slave) {
    std::lock_guard lock(mutex_);
    slaves_[address] = std::move(slave);
}

void SimBusLayer::failNext(int err, unsigned times) {
    std::lock_guard lock(mutex_);
    faults_.insert(faults_.end(), times, err);
}

void SimBusLayer::setPresent(bool present) {
    std::lock_guard lock(mutex_);
    present_ = present;
}

std::vector<std::string> SimBusLayer::ListAdapters() {
    std::lock_guard lock(mutex_);
    ++queries_;
    return present_ ? adapters_ : std::vector<std::string>{};
}

int SimBusLayer::Open(const std::string& node) {
    std::lock_guard lock(mutex_);
    if (!present_)
        return -ENODEV;
    for (const std::string& a : adapters_) {
        if (a == node) {
            open_[nextFd_] = node;
            return nextFd_++;
        }
    }
    return -ENOENT;
}

int SimBusLayer::Transfer(int fd, I2cMessage* messages, size_t count) {
    std::lock_guard lock(mutex_);
    if (!open_.count(fd))
        return EBADF;
    if (!present_)
        return ENODEV;
    if (!faults_.empty()) {
        const int err = faults_.front();
        faults_.pop_front();
        return err;
    }
    std::vector<Message> record;
    for (size_t i = 0; i < count; ++i) {
        I2cMessage& m = messages[i];
        auto slave = slaves_.find(static_cast<uint8_t>(m.address));
        if (slave == slaves_.end())
            return ENXIO;
        if (m.read) {
            std::optional<u2csim::Bytes> reply = slave->second->read(m.length);
            if (!reply)
                return ENXIO;
            for (uint16_t k = 0; k < m.length; ++k)
                m.data[k] = k < reply->size() ? (*reply)[k] : 0xFF;
            record.push_back({m.address, true, {m.data, m.data + m.length}});
        } else {
            if (!slave->second->write(m.data, m.length))
                return ENXIO;
            record.push_back({m.address, false, {m.data, m.data + m.length}});
        }
    }
    transfers_.push_back(std::move(record));
    return 0;
}

void SimBusLayer::Close(int fd) {
    std::lock_guard lock(mutex_);
    open_.erase(fd);
}

std::vector<std::vector<SimBusLayer::Message>> SimBusLayer::transfers() const {
    std::lock_guard lock(mutex_);
    return transfers_;
}

void SimBusLayer::clearTransfers() {
    std::lock_guard lock(mutex_);
    transfers_.clear();
}

unsigned SimBusLayer::openCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(open_.size());
}

unsigned SimBusLayer::adapterQueries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

} // namespace dimax
