// Bulk-pipe transport to a USB-to-I2C bridge board.
//
// A board is reached through a pair of bulk pipes: the host writes whole
// transfers to the OUT pipe and reads the board's answer from the IN pipe.
// The IN side reads whole packets into a reply buffer; `read` hands out the
// buffered bytes in order and fetches the next packet when the buffer is
// empty. Every transfer has a finite time-out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvusb {

enum class IoStatus {
    ok,
    timeout,  // the board did not answer in time; the pipes were resynchronised
    noDevice, // the board is gone; the connection is closed
    failed,   // any other transfer error
};

const char* IoStatusName(IoStatus status);

// Endpoint identifiers of the claimed interface, as the board declares them.
struct PipeIds {
    uint8_t speed = 0;
    uint8_t bulkIn = 0;
    uint8_t bulkOut = 0;
    uint8_t interrupt = 0;
};

// One open board.
class BulkPipe {
public:
    virtual ~BulkPipe() = default;

    // One OUT transfer of up to `len` bytes; `moved` tells how many went out.
    // Bytes of earlier replies still in the reply buffer are dropped first:
    // they can be no part of the answer to what goes out now.
    virtual IoStatus write(const uint8_t* data, size_t len, size_t& moved) = 0;
    // Up to `len` bytes from the reply buffer, reading one packet from the
    // IN pipe first when the buffer is empty; `got` tells how many arrived.
    virtual IoStatus read(uint8_t* buf, size_t len, size_t& got) = 0;
    // Drops whatever the board has already answered: the reply buffer and
    // packets that arrive within a short settling time.
    virtual void discardInput() = 0;

    virtual PipeIds ids() const = 0;
    virtual std::string path() const = 0;
};

// A source of boards: lists the present ones and opens one by its path.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::vector<std::string> listBoards() = 0;
    // Null when the board does not open.
    virtual std::unique_ptr<BulkPipe> open(const std::string& path) = 0;
};

constexpr std::chrono::milliseconds kDefaultTransferTimeout{1000};

// The device-interface class that a bridge board declares in its Microsoft
// OS descriptors.
inline constexpr const char* kBridgeInterfaceGuid = "{A96B8BBC-D41A-42A5-8793-CFFBDEC815EF}";

// The boards of this machine: the sockets named in TEROVAN_U2C_SOCKET when
// it is set, else USB boards found through libusb.
std::shared_ptr<Backend> SystemBackend(std::chrono::milliseconds timeout = kDefaultTransferTimeout);

// Moves all of `data` with as many writes as it takes.
IoStatus WriteAll(BulkPipe& pipe, const uint8_t* data, size_t len);
// Reads exactly `len` bytes with as many reads as it takes.
IoStatus ReadAll(BulkPipe& pipe, uint8_t* buf, size_t len);

} // namespace kvusb
