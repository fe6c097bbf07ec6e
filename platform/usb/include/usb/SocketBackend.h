// Boards behind Unix sockets (the simulated board daemon).
//
// Each board is one socket path. On the stream every USB bulk transfer is a
// 4-byte little-endian length followed by that many bytes: the host writes
// one message per OUT transfer, the board one message per IN packet. A
// board that closes the stream is unplugged.
#pragma once

#include "usb/BulkPipe.h"

#include <string>
#include <vector>

namespace kvusb {

class SocketBackend final : public Backend {
public:
    SocketBackend(std::vector<std::string> paths,
                  std::chrono::milliseconds timeout = kDefaultTransferTimeout);

    // The ':'-separated list of TEROVAN_U2C_SOCKET.
    static std::vector<std::string> SplitPathList(const std::string& list);

    std::vector<std::string> listBoards() override;
    std::unique_ptr<BulkPipe> open(const std::string& path) override;

private:
    std::vector<std::string> paths_;
    std::chrono::milliseconds timeout_;
};

// Largest message either side accepts on the stream; a longer OUT
// transfer fails without touching the stream.
constexpr uint32_t kMaxSocketMessage = 16u << 20;

} // namespace kvusb
