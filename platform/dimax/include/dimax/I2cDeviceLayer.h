// The device layer under the Dimax adapter library: the i2c-dev system
// calls, replaceable so that the library can run against a simulated bus.
#pragma once

#include "dimax/i2cbrdg.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dimax {

// One message of a combined transaction (struct i2c_msg).
struct I2cMessage {
    uint16_t address = 0;
    bool read = false;
    uint8_t* data = nullptr;
    uint16_t length = 0;
};

class I2cDeviceLayer {
public:
    virtual ~I2cDeviceLayer() = default;
    // Device nodes of the adapters, in index order.
    virtual std::vector<std::string> ListAdapters() = 0;
    // Opens an adapter that can do plain I2C; a descriptor >= 0, or -errno.
    virtual int Open(const std::string& node) = 0;
    // Runs the messages as one combined transaction; 0 or an errno value.
    virtual int Transfer(int fd, I2cMessage* messages, size_t count) = 0;
    virtual void Close(int fd) = 0;
};

// The layer over the real i2c-dev driver.
std::shared_ptr<I2cDeviceLayer> SystemDeviceLayer();

// The adapter functions of the library, over a chosen layer. The exported
// U2C_ functions use these with the system layer unless another was set.
void SetDeviceLayer(std::shared_ptr<I2cDeviceLayer> layer); // null: the system layer

U2C_HANDLE OpenDevice(uint8_t device);
U2C_RESULT CloseDevice(U2C_HANDLE handle);
U2C_RESULT SetI2cFreq(U2C_HANDLE handle, uint8_t frequency);
U2C_RESULT Write(U2C_HANDLE handle, const U2C_TRANSACTION* transaction);
U2C_RESULT Read(U2C_HANDLE handle, U2C_TRANSACTION* transaction);

// The result code of a failed transfer (errno), for a write or a read.
U2C_RESULT ResultOfErrno(int err, bool read);

} // namespace dimax
