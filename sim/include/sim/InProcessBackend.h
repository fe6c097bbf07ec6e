// The simulated boards as a transport backend inside the test process.
#pragma once

#include "sim/Board.h"
#include "usb/BulkPipe.h"

namespace u2csim {

class InProcessBackend final : public kvusb::Backend {
public:
    explicit InProcessBackend(std::vector<std::shared_ptr<Board>> boards,
                              std::chrono::milliseconds timeout = kvusb::kDefaultTransferTimeout);

    // Board paths are "sim:N"; an unplugged board is not present.
    std::vector<std::string> listBoards() override;
    std::unique_ptr<kvusb::BulkPipe> open(const std::string& path) override;

    // Number of pipes opened so far (tests of open order).
    unsigned opens() const { return opens_; }

private:
    std::vector<std::shared_ptr<Board>> boards_;
    std::chrono::milliseconds timeout_;
    unsigned opens_ = 0;
};

} // namespace u2csim
