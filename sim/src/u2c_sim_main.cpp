// u2c-sim: the simulated bridge board and chip behind a Unix socket.
#include "sim/Board.h"
#include "sim/ChipModel.h"
#include "sim/SocketServer.h"

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

const char* kUsage = "Usage: u2c-sim --socket PATH [options]\n"
                     "Simulates the USB-to-I2C bridge board and the DSP chip at I2C address 0x73.\n"
                     "Hosts reach it through TEROVAN_U2C_SOCKET=PATH.\n"
                     "\n"
                     "  --socket PATH          Unix socket to serve the board on (required)\n"
                     "  --log FILE             append every transfer to FILE, each line led by\n"
                     "                         the wall-clock time in milliseconds\n"
                     "  --board-type N         board type in the version reply (default 1)\n"
                     "  --firmware N           board firmware revision (default 0x00010004)\n"
                     "  --old-firmware         old bridge firmware: services at 0x31 only,\n"
                     "                         no write-then-read, delay or masked write\n"
                     "  --chip-version N       chip version (default 0x6000)\n"
                     "  --chip-subversion N    chip sub-version (default 0x0505)\n"
                     "  --straps N             straps word, register 0xFFF1 (default 0x060000)\n"
                     "  --held-in-reset        the chip does not answer at all\n"
                     "  --all-reads-equal N    every chip read answers the word N\n"
                     "  --measurement N        the measurement read (command 0xB1) answers N\n"
                     "  --help                 show this text\n"
                     "Numbers are decimal or 0x-prefixed hexadecimal. SIGTERM or SIGINT ends it.\n";

bool ParseNumber(const char* text, uint32_t& out) {
    std::string_view s(text);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size() && !s.empty();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "u2c-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string socketPath, logPath;
    u2csim::BoardConfig board;
    u2csim::ChipConfig chip;
    u2csim::ChipModelConfig chipModel;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        auto number = [&](uint32_t& out) {
            const char* v = nullptr;
            return value(v) && ParseNumber(v, out);
        };
        const char* text = nullptr;
        uint32_t n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--socket") {
            if (!value(text))
                return Fail("--socket needs a path");
            socketPath = text;
        } else if (arg == "--log") {
            if (!value(text))
                return Fail("--log needs a file");
            logPath = text;
        } else if (arg == "--board-type") {
            if (!number(n) || n > 0xFFFF)
                return Fail("--board-type needs a number up to 0xFFFF");
            board.boardType = static_cast<uint16_t>(n);
        } else if (arg == "--firmware") {
            if (!number(board.firmware))
                return Fail("--firmware needs a number");
        } else if (arg == "--old-firmware") {
            board.oldFirmware = true;
        } else if (arg == "--chip-version") {
            if (!number(chip.version) || chip.version > 0xFFFFFF)
                return Fail("--chip-version needs a 24-bit number");
        } else if (arg == "--chip-subversion") {
            if (!number(chip.subVersion) || chip.subVersion > 0xFFFFFF)
                return Fail("--chip-subversion needs a 24-bit number");
        } else if (arg == "--straps") {
            if (!number(chipModel.straps) || chipModel.straps > 0xFFFFFF)
                return Fail("--straps needs a 24-bit number");
        } else if (arg == "--held-in-reset") {
            chipModel.heldInReset = true;
        } else if (arg == "--all-reads-equal") {
            if (!number(chipModel.allReadsValue) || chipModel.allReadsValue > 0xFFFFFF)
                return Fail("--all-reads-equal needs a 24-bit number");
            chipModel.allReadsEqual = true;
        } else if (arg == "--measurement") {
            uint32_t value = 0;
            if (!number(value) || value > 0xFFFFFF)
                return Fail("--measurement needs a 24-bit number");
            chipModel.measurement = value;
        } else {
            return Fail("unknown option " + arg);
        }
    }
    if (socketPath.empty())
        return Fail("--socket is required");

    FILE* log = nullptr;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (!log)
            return Fail("cannot open log file " + logPath + ": " + std::strerror(errno));
    }

    // SIGTERM and SIGINT end the serving loop through a signalfd.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    int stopFd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (stopFd < 0)
        return Fail(std::string("signalfd: ") + std::strerror(errno));

    auto model = std::make_shared<u2csim::Board>(board);
    model->attach(u2csim::kChipAddress, std::make_shared<u2csim::ChipModel>(chip, chipModel));
    if (log)
        model->setLogSink([log](const u2csim::TransferRecord& r) {
            // The wall-clock milliseconds first: pauses between frames show.
            const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
            std::fprintf(log, "%lld %s\n", ms, u2csim::FormatTransfer(r).c_str());
            std::fflush(log);
        });

    int rc = 0;
    {
        u2csim::SocketServer server(model, socketPath);
        std::string error;
        if (!server.listen(error)) {
            std::fprintf(stderr, "u2c-sim: %s\n", error.c_str());
            rc = 1;
        } else {
            server.run(stopFd);
        }
    }
    model->setLogSink(nullptr);
    if (log)
        std::fclose(log);
    ::close(stopFd);
    return rc;
}
