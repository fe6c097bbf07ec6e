// A device layer whose adapters lead to the simulated I2C slaves (the chip
// model and its neighbours) in this process, with fault injection and a
// record of every message; for tests of the adapter library and of what
// runs over it.
#pragma once

#include "dimax/I2cDeviceLayer.h"
#include "sim/Board.h"

#include <deque>
#include <map>
#include <mutex>

namespace dimax {

class SimBusLayer final : public I2cDeviceLayer {
public:
    struct Message {
        uint16_t address = 0;
        bool read = false;
        std::vector<uint8_t> bytes; // written bytes, or the bytes read
    };

    // `adapters`: the device nodes to present; every one leads to the same bus.
    explicit SimBusLayer(std::vector<std::string> adapters = {"sim:i2c-0"});

    void attach(uint8_t address, std::shared_ptr<u2csim::I2CSlave> slave);
    // The next `times` transfers fail with `err` (an errno value).
    void failNext(int err, unsigned times = 1);
    // Removes or restores every adapter (an unplugged adapter fails with ENODEV).
    void setPresent(bool present);

    std::vector<std::string> ListAdapters() override;
    int Open(const std::string& node) override;
    int Transfer(int fd, I2cMessage* messages, size_t count) override;
    void Close(int fd) override;

    // Transfers as combined transactions, oldest first.
    std::vector<std::vector<Message>> transfers() const;
    void clearTransfers();
    unsigned openCount() const;
    // How often the adapters were listed (once per U2C_OpenDevice).
    unsigned adapterQueries() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> adapters_;
    std::map<uint8_t, std::shared_ptr<u2csim::I2CSlave>> slaves_;
    std::deque<int> faults_;
    std::vector<std::vector<Message>> transfers_;
    std::map<int, std::string> open_;
    int nextFd_ = 100;
    unsigned queries_ = 0;
    bool present_ = true;
};

} // namespace dimax
