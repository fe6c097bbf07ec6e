// u2c-sim: the simulated bridge board and chip behind a Unix socket.
#include "sim/Board.h"
#include "sim/ChipModel.h"
#include "sim/Peripherals.h"
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
                     "  --fresh-log            the log file starts afresh at the first\n"
                     "                         transfer (a run without any leaves it as it was)\n"
                     "  --board-type N         board type in the version reply (default 1)\n"
                     "  --firmware N           board firmware revision (default 0x00010004)\n"
                     "  --old-firmware         old bridge firmware: services at 0x31 only,\n"
                     "                         no write-then-read, delay or masked write\n"
                     "  --chip-version N       chip version (default 0x6000)\n"
                     "  --chip-subversion N    chip sub-version (default 0x0505)\n"
                     "  --straps N             straps word, register 0xFFF1 (default 0x060000)\n"
                     "  --held-in-reset        the chip does not answer at all\n"
                     "  --all-reads-equal N    every chip read answers the word N\n"
                     "  --eeprom-blocks N      256-byte EEPROM blocks at 0x50 upwards, 0-8\n"
                     "                         (default 8; 0: no EEPROM)\n"
                     "  --eeprom-busy-polls N  accesses the EEPROM refuses after each data\n"
                     "                         write (default 2)\n"
                     "  --eeprom-write-protect data writes to the EEPROM are refused\n"
                     "  --eeprom-never-ready   after its first data write the EEPROM never\n"
                     "                         answers again\n"
                     "  --register-y REG=VALUE a chip Y register's value from the start,\n"
                     "                         e.g. 0xFFA7=0x30; repeatable\n"
                     "  --pin-input PIN=LEVEL  input level of a microcontroller pin, e.g.\n"
                     "                         0x45=1 (the straps); repeatable\n"
                     "  --amplifier            the amplifier at 0x1B (enabled by pin 0x18)\n"
                     "  --amplifier-id N       its register 1 (default 0x50)\n"
                     "  --amplifier-error N    its error register 2 (default 0)\n"
                     "  --amplifier-ready N    reads of register 0x1B until its set-up is\n"
                     "                         done (default 1; 0: never)\n"
                     "  --spdif-tx             the S/PDIF transmitter at 0x16 (pin 0x1D)\n"
                     "  --spdif-rx ADDR        the S/PDIF receiver at 0x13 or 0x17 (pin 0x1D)\n"
                     "  --spdif-rx-register R=V  a receiver status register's value;\n"
                     "                         repeatable\n"
                     "  --fail-flash-write N   the N-th flash write fails\n"
                     "  --measurement N        the measurement read (command 0xB1) answers N\n"
                     "  --help                 show this text\n"
                     "Numbers are decimal or 0x-prefixed hexadecimal. SIGTERM or SIGINT ends it.\n";

bool ParseNumber(std::string_view s, uint32_t& out);

// "A=B" with two numbers, each at most 0xFF.
bool ParsePair(const char* text, uint32_t& a, uint32_t& b) {
    std::string_view s(text);
    const size_t eq = s.find('=');
    return eq != std::string_view::npos && ParseNumber(s.substr(0, eq), a) &&
           ParseNumber(s.substr(eq + 1), b) && a <= 0xFF && b <= 0xFF;
}

bool ParseNumber(const char* text, uint32_t& out) {
    return ParseNumber(std::string_view(text), out);
}

bool ParseNumber(std::string_view s, uint32_t& out) {
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
    bool freshLog = false;
    u2csim::BoardConfig board;
    u2csim::ChipConfig chip;
    u2csim::ChipModelConfig chipModel;
    u2csim::PeripheralConfig peripherals;
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
        } else if (arg == "--fresh-log") {
            freshLog = true;
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
        } else if (arg == "--eeprom-blocks") {
            if (!number(peripherals.eeprom.blocks) || peripherals.eeprom.blocks > 8)
                return Fail("--eeprom-blocks needs a number from 0 to 8");
        } else if (arg == "--eeprom-busy-polls") {
            if (!number(peripherals.eeprom.busyPolls))
                return Fail("--eeprom-busy-polls needs a number");
        } else if (arg == "--eeprom-write-protect") {
            peripherals.eeprom.writeProtect = true;
        } else if (arg == "--eeprom-never-ready") {
            peripherals.eeprom.neverReadyAgain = true;
        } else if (arg == "--register-y") {
            const std::string_view pair = value(text) ? std::string_view(text) : "";
            const size_t eq = pair.find('=');
            uint32_t reg = 0, v = 0;
            if (eq == std::string_view::npos || !ParseNumber(pair.substr(0, eq), reg) ||
                !ParseNumber(pair.substr(eq + 1), v) || reg > 0xFFFF || v > 0xFFFFFF)
                return Fail("--register-y needs REGISTER=VALUE, a 16-bit register and a 24-bit "
                            "value");
            chipModel.presetY[static_cast<uint16_t>(reg)] = v;
        } else if (arg == "--pin-input") {
            uint32_t pin = 0, level = 0;
            if (!value(text) || !ParsePair(text, pin, level) || level > 1)
                return Fail("--pin-input needs PIN=LEVEL, the level 0 or 1");
            board.pinInputs[static_cast<uint8_t>(pin)] = level != 0;
        } else if (arg == "--amplifier") {
            peripherals.amplifier = true;
        } else if (arg == "--amplifier-id") {
            if (!number(n) || n > 0xFF)
                return Fail("--amplifier-id needs a number up to 0xFF");
            peripherals.amplifierConfig.id = static_cast<uint8_t>(n);
        } else if (arg == "--amplifier-error") {
            if (!number(n) || n > 0xFF)
                return Fail("--amplifier-error needs a number up to 0xFF");
            peripherals.amplifierConfig.error = static_cast<uint8_t>(n);
        } else if (arg == "--amplifier-ready") {
            if (!number(n) || n > 1000)
                return Fail("--amplifier-ready needs a number up to 1000");
            peripherals.amplifierConfig.readyAfterReads = n == 0 ? -1 : static_cast<int>(n);
        } else if (arg == "--spdif-tx") {
            peripherals.spdif.tx = true;
        } else if (arg == "--spdif-rx") {
            if (!number(n) || (n != u2csim::kSpdifRxAddress && n != u2csim::kSpdifRxAltAddress))
                return Fail("--spdif-rx needs the address 0x13 or 0x17");
            peripherals.spdif.rxAddress = static_cast<uint8_t>(n);
        } else if (arg == "--spdif-rx-register") {
            uint32_t reg = 0, v = 0;
            if (!value(text) || !ParsePair(text, reg, v))
                return Fail("--spdif-rx-register needs REGISTER=VALUE");
            peripherals.spdif.rxRegisters[static_cast<uint8_t>(reg)] = static_cast<uint8_t>(v);
        } else if (arg == "--fail-flash-write") {
            if (!number(board.failFlashWrite))
                return Fail("--fail-flash-write needs a number");
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

    // A fresh log is made at the first transfer; an appended one now.
    FILE* log = nullptr;
    if (!logPath.empty() && !freshLog) {
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
    auto chipSlave = std::make_shared<u2csim::ChipModel>(chip, chipModel);
    model->attach(u2csim::kChipAddress, chipSlave);
    u2csim::WireChipReset(*model, chipSlave);
    u2csim::AttachPeripherals(*model, peripherals);
    bool logFailed = false;
    if (!logPath.empty())
        model->setLogSink([&log, &logFailed, &logPath](const u2csim::TransferRecord& r) {
            if (log == nullptr && !logFailed) {
                log = std::fopen(logPath.c_str(), "w");
                logFailed = log == nullptr;
                if (logFailed)
                    std::fprintf(stderr, "u2c-sim: cannot open log file %s: %s\n", logPath.c_str(),
                                 std::strerror(errno));
            }
            if (log == nullptr)
                return;
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
