#include "sim/InProcessBackend.h"

#include <charconv>
#include <deque>

namespace u2csim {
namespace {

using kvusb::IoStatus;

class SimPipe final : public kvusb::BulkPipe {
public:
    SimPipe(std::shared_ptr<Board> board, std::string path, std::chrono::milliseconds timeout)
        : board_(std::move(board)), path_(std::move(path)), timeout_(timeout) {}

    IoStatus write(const uint8_t* data, size_t len, size_t& moved) override {
        moved = 0;
        if (board_->unplugged())
            return IoStatus::noDevice;
        // What is left of earlier replies is no part of this frame's.
        packets_.clear();
        pos_ = 0;
        for (auto& p : board_->transfer(data, len))
            packets_.push_back(std::move(p));
        moved = len;
        return IoStatus::ok;
    }

    IoStatus read(uint8_t* buf, size_t len, size_t& got) override {
        got = 0;
        if (packets_.empty()) {
            if (board_->unplugged())
                return IoStatus::noDevice;
            // Nothing will come: the board stalled. The host waits out its
            // time-out on the board's clock, not on the wall clock.
            board_->advanceClockUs(static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(timeout_).count()));
            return IoStatus::timeout;
        }
        Bytes& p = packets_.front();
        got = std::min(len, p.size() - pos_);
        std::copy(p.begin() + static_cast<long>(pos_), p.begin() + static_cast<long>(pos_ + got),
                  buf);
        pos_ += got;
        if (pos_ == p.size()) {
            packets_.pop_front();
            pos_ = 0;
        }
        return IoStatus::ok;
    }

    void discardInput() override {
        packets_.clear();
        pos_ = 0;
    }

    kvusb::PipeIds ids() const override { return kvusb::PipeIds{2, 0x81, 0x02, 0x83}; }
    std::string path() const override { return path_; }

private:
    std::shared_ptr<Board> board_;
    std::string path_;
    std::chrono::milliseconds timeout_;
    std::deque<Bytes> packets_;
    size_t pos_ = 0;
};

} // namespace

InProcessBackend::InProcessBackend(std::vector<std::shared_ptr<Board>> boards,
                                   std::chrono::milliseconds timeout)
    : boards_(std::move(boards)), timeout_(timeout) {}

std::vector<std::string> InProcessBackend::listBoards() {
    std::vector<std::string> paths;
    for (size_t i = 0; i < boards_.size(); ++i)
        if (!boards_[i]->unplugged())
            paths.push_back("sim:" + std::to_string(i));
    return paths;
}

std::unique_ptr<kvusb::BulkPipe> InProcessBackend::open(const std::string& path) {
    size_t index = 0;
    if (path.rfind("sim:", 0) != 0)
        return nullptr;
    auto [p, ec] = std::from_chars(path.data() + 4, path.data() + path.size(), index);
    if (ec != std::errc() || p != path.data() + path.size() || index >= boards_.size() ||
        boards_[index]->unplugged())
        return nullptr;
    ++opens_;
    return std::make_unique<SimPipe>(boards_[index], path, timeout_);
}

} // namespace u2csim
