// Serves one simulated board on a Unix socket with the socket-bridge
// protocol: every transfer is a 4-byte little-endian length and the bytes;
// the host sends one message per OUT transfer and receives one per IN
// packet. An unplugged board closes its streams.
#pragma once

#include "sim/Board.h"

#include <atomic>
#include <string>
#include <thread>

namespace u2csim {

class SocketServer {
public:
    SocketServer(std::shared_ptr<Board> board, std::string path);
    ~SocketServer();

    // Creates the socket; false with a reason when it cannot.
    bool listen(std::string& error);
    // Serves until `stopFd` becomes readable.
    void run(int stopFd);

    // run() on a thread of its own until stop() (tests).
    bool start(std::string& error);
    void stop();

    const std::string& path() const { return path_; }

private:
    std::shared_ptr<Board> board_;
    std::string path_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace u2csim
