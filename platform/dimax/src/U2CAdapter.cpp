// The Dimax adapter functions over a device layer: a table of open
// adapters behind 32-bit tokens, and the U2C transaction record turned
// into i2c-dev messages.
#include "dimax/I2cDeviceLayer.h"

#include <cerrno>
#include <map>
#include <mutex>

namespace dimax {
namespace {

constexpr size_t kMaxOpen = 64;
constexpr uint8_t kMaxMemoryAddressLength = 4;

struct OpenAdapter {
    std::shared_ptr<I2cDeviceLayer> layer; // the layer that opened it
    int fd = -1;
    uint8_t frequency = 0;
};

struct State {
    std::mutex mutex;
    std::shared_ptr<I2cDeviceLayer> layer;
    std::map<U2C_HANDLE, OpenAdapter> open;
    U2C_HANDLE next = 1;
};

State& Global() {
    static State state;
    return state;
}

std::shared_ptr<I2cDeviceLayer> LayerLocked(State& s) {
    if (!s.layer)
        s.layer = SystemDeviceLayer();
    return s.layer;
}

// A fresh token: never 0 or -1, never one in use.
U2C_HANDLE NextHandleLocked(State& s) {
    for (;;) {
        U2C_HANDLE h = s.next;
        s.next = (s.next >= INT32_MAX - 1) ? 1 : s.next + 1;
        if (h != 0 && h != U2C_INVALID_HANDLE && !s.open.count(h))
            return h;
    }
}

// Looks the handle up; copies what a transfer needs so that the table
// lock is not held during the transfer.
bool Find(U2C_HANDLE handle, OpenAdapter& out) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    auto it = s.open.find(handle);
    if (it == s.open.end())
        return false;
    out = it->second;
    return true;
}

// The memory-address phase, most significant byte first.
void PutMemoryAddress(const U2C_TRANSACTION& t, uint8_t* out) {
    for (uint8_t i = 0; i < t.nMemoryAddressLength; ++i)
        out[i] = static_cast<uint8_t>(t.nMemoryAddress >> (8 * (t.nMemoryAddressLength - 1 - i)));
}

bool ValidRecord(const U2C_TRANSACTION* t) {
    return t && t->nSlaveDeviceAddress <= 0x7F &&
           t->nMemoryAddressLength <= kMaxMemoryAddressLength && t->nBufferLength <= U2C_MAX_BUFFER;
}

} // namespace

void SetDeviceLayer(std::shared_ptr<I2cDeviceLayer> layer) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    s.layer = std::move(layer);
}

U2C_RESULT ResultOfErrno(int err, bool read) {
    switch (err) {
    case 0:
        return U2C_SUCCESS;
    case ENXIO:
    case EREMOTEIO:
        return read ? U2C_SLAVE_OPENING_FOR_READ_FAILED : U2C_SLAVE_OPENING_FOR_WRITE_FAILED;
    case ETIMEDOUT:
        return U2C_I2C_CLOCK_SYNCH_TIMEOUT;
    case EBUSY:
    case EAGAIN:
        return U2C_DEVICE_BUSY;
    case ENOMEM:
        return U2C_MEMORY_ERROR;
    case EOPNOTSUPP:
    case ENOTTY:
        return U2C_NOT_IMPLEMENTED;
    case ENODEV:
    case ENOENT:
    case ESHUTDOWN:
        return U2C_HARDWARE_NOT_FOUND;
    case EINVAL:
        return U2C_BAD_PARAMETER;
    default:
        return U2C_TRANSACTION_FAILED;
    }
}

U2C_HANDLE OpenDevice(uint8_t device) {
    State& s = Global();
    std::shared_ptr<I2cDeviceLayer> layer;
    {
        std::lock_guard lock(s.mutex);
        if (s.open.size() >= kMaxOpen)
            return U2C_INVALID_HANDLE;
        layer = LayerLocked(s);
    }
    const std::vector<std::string> adapters = layer->ListAdapters();
    if (device >= adapters.size())
        return U2C_INVALID_HANDLE;
    const int fd = layer->Open(adapters[device]);
    if (fd < 0)
        return U2C_INVALID_HANDLE;
    std::lock_guard lock(s.mutex);
    if (s.open.size() >= kMaxOpen) {
        layer->Close(fd);
        return U2C_INVALID_HANDLE;
    }
    const U2C_HANDLE handle = NextHandleLocked(s);
    s.open[handle] = OpenAdapter{layer, fd, 0};
    return handle;
}

U2C_RESULT CloseDevice(U2C_HANDLE handle) {
    OpenAdapter adapter;
    {
        State& s = Global();
        std::lock_guard lock(s.mutex);
        auto it = s.open.find(handle);
        if (it == s.open.end())
            return U2C_BAD_PARAMETER;
        adapter = std::move(it->second);
        s.open.erase(it);
    }
    adapter.layer->Close(adapter.fd);
    return U2C_SUCCESS;
}

U2C_RESULT SetI2cFreq(U2C_HANDLE handle, uint8_t frequency) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    auto it = s.open.find(handle);
    if (it == s.open.end())
        return U2C_BAD_PARAMETER;
    it->second.frequency = frequency;
    return U2C_SUCCESS;
}

U2C_RESULT Write(U2C_HANDLE handle, const U2C_TRANSACTION* transaction) {
    if (!ValidRecord(transaction))
        return U2C_BAD_PARAMETER;
    OpenAdapter adapter;
    if (!Find(handle, adapter))
        return U2C_BAD_PARAMETER;
    const U2C_TRANSACTION& t = *transaction;
    uint8_t bytes[kMaxMemoryAddressLength + U2C_MAX_BUFFER];
    PutMemoryAddress(t, bytes);
    for (uint16_t i = 0; i < t.nBufferLength; ++i)
        bytes[t.nMemoryAddressLength + i] = t.Buffer[i];
    I2cMessage message{t.nSlaveDeviceAddress, false, bytes,
                       static_cast<uint16_t>(t.nMemoryAddressLength + t.nBufferLength)};
    return ResultOfErrno(adapter.layer->Transfer(adapter.fd, &message, 1), false);
}

U2C_RESULT Read(U2C_HANDLE handle, U2C_TRANSACTION* transaction) {
    if (!ValidRecord(transaction) || transaction->nBufferLength == 0)
        return U2C_BAD_PARAMETER;
    OpenAdapter adapter;
    if (!Find(handle, adapter))
        return U2C_BAD_PARAMETER;
    U2C_TRANSACTION& t = *transaction;
    uint8_t address[kMaxMemoryAddressLength];
    PutMemoryAddress(t, address);
    uint8_t data[U2C_MAX_BUFFER] = {};
    I2cMessage messages[2];
    size_t count = 0;
    if (t.nMemoryAddressLength > 0)
        messages[count++] =
            I2cMessage{t.nSlaveDeviceAddress, false, address, t.nMemoryAddressLength};
    messages[count++] = I2cMessage{t.nSlaveDeviceAddress, true, data, t.nBufferLength};
    const int err = adapter.layer->Transfer(adapter.fd, messages, count);
    if (err != 0)
        return ResultOfErrno(err, true);
    for (uint16_t i = 0; i < t.nBufferLength; ++i)
        t.Buffer[i] = data[i];
    return U2C_SUCCESS;
}

} // namespace dimax
