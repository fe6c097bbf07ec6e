// The chip command layer: command and data frames, register access and
// block downloads through the hardware-patch registers.
#include "Words.h"
#include "busaccess/busgate/BusGate.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace busgate {

namespace {

constexpr uint8_t kRegisterWrite = 0xAB;
constexpr uint8_t kRegisterRead = 0xB5;
constexpr uint16_t kHwpIndex = 0xFFF4;
constexpr uint16_t kHwpCtl = 0xFFF5;
constexpr uint16_t kHwpData0 = 0xFFF6;
constexpr uint16_t kHwpData1 = 0xFFF7;
constexpr uint32_t kPatchActive = 0x100000;
constexpr uint32_t kGroupsPerWrite = 256;

} // namespace

int BusGate::FdkInit(Transfer transfer) {
    if (transfer == Transfer::None) {
        PrintMessage("DulmAudio_FDK_Init:: Invalid param \n");
        return 2;
    }
    transfer_ = transfer;
    delay_ = [](uint32_t) {};
    message_ = nullptr;
    return 0;
}

int BusGate::ChipTransfer(int direction, uint32_t length, uint8_t* data) {
    if (direction == 1)
        delay_(1);
    const int ok = InstalledTransfer(direction, length, data);
    if (ok && direction == 0)
        delay_(1);
    return ok;
}

int BusGate::InstalledTransfer(int direction, uint32_t length, uint8_t* data) {
    const uint8_t slave = fdkTarget_ ? fdkTarget_ : state_.chipAddress;
    switch (transfer_) {
    case Transfer::Raw:
        return RawTransfer(direction, slave, length, data) == 1;
    case Transfer::Logger:
        return LoggerTransfer(direction, slave, length, data) != 0;
    case Transfer::None:
        break;
    }
    return 0;
}

void BusGate::PrintMessage(const char* format, ...) {
    if (!message_)
        return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatC(1024, format, args);
    va_end(args);
    message_(1, text.c_str());
}

int BusGate::SendCommand(uint16_t parameter, uint8_t command) {
    uint8_t frame[3] = {static_cast<uint8_t>(parameter >> 8), command,
                        static_cast<uint8_t>(parameter & 0xFF)};
    if (!ChipTransfer(0, 3, frame)) {
        PrintMessage("DulmAudio_SendCommand::DulmAudio_I2C_Write_l fail");
        return 1;
    }
    return 0;
}

int BusGate::SendData(uint32_t value) {
    uint8_t frame[3];
    PutWord(frame, value);
    if (!ChipTransfer(0, 3, frame)) {
        PrintMessage("DulmAudio_SendData::DulmAudio_I2C_Write_l fail");
        return 1;
    }
    return 0;
}

int BusGate::ReceiveData(uint32_t& value) {
    uint8_t reply[3] = {};
    if (!ChipTransfer(1, 3, reply)) {
        PrintMessage("DulmAudio_ReceiveData::DulmAudio_I2C_Read_l fail");
        return 1;
    }
    value = WordOf(reply);
    return 0;
}

int BusGate::SendBuffer(uint32_t groups, const uint8_t* bytes) {
    std::vector<uint8_t> chunk;
    while (true) {
        const uint32_t n = std::min(groups, kGroupsPerWrite);
        chunk.assign(bytes, bytes + 3 * n);
        if (!ChipTransfer(0, 3 * n, chunk.data())) {
            PrintMessage("DulmAudio_SendBuffer::DulmAudio_I2C_l fail");
            return 1;
        }
        groups -= n;
        bytes += 3 * n;
        if (groups == 0)
            return 0;
    }
}

int BusGate::SendBufferDw(uint32_t words, const uint32_t* data) {
    uint8_t chunk[3 * kGroupsPerWrite];
    while (words > 0) {
        const uint32_t n = std::min(words, kGroupsPerWrite);
        for (uint32_t i = 0; i < n; ++i)
            PutWord(chunk + 3 * i, data[i]);
        if (!ChipTransfer(0, 3 * n, chunk)) {
            PrintMessage("DulmAudio_SendBuffer_dw::DulmAudio_I2C_l fail");
            return 1;
        }
        words -= n;
        data += n;
    }
    return 0;
}

int BusGate::WriteRegister(uint16_t reg, uint32_t value) {
    if (int r = SendCommand(reg, kRegisterWrite))
        return r;
    return SendData(value);
}

int BusGate::ReadRegister(uint16_t reg, uint32_t& value) {
    if (int r = SendCommand(reg, kRegisterRead))
        return r;
    return ReceiveData(value);
}

int BusGate::WriteMemBufferL(const uint32_t* words, uint16_t start, uint8_t command,
                             uint16_t count) {
    if (!words || count > 1024) {
        PrintMessage("DulmAudio_WriteMem_Buffer_l::  invalid param");
        return 2;
    }
    std::vector<uint8_t> bytes(6u * count);
    uint16_t address = start;
    for (uint32_t i = 0; i < count; ++i, ++address) {
        uint8_t* out = bytes.data() + 6 * i;
        out[0] = static_cast<uint8_t>(address >> 8);
        out[1] = command;
        out[2] = static_cast<uint8_t>(address & 0xFF);
        PutWord(out + 3, words[i]);
    }
    if (count == 0)
        return 0;
    return SendBuffer(2u * count, bytes.data());
}

int BusGate::WriteMemBuffer(uint8_t command, uint16_t start, const uint32_t* words,
                            uint16_t count) {
    if (!words || count > 1024) {
        PrintMessage("DulmAudio_WriteMem_Buffer::  invalid param");
        return 2;
    }
    const uint32_t f = static_cast<uint32_t>(state_.chipFirmwareVersion);
    if (count < 30 && !(f <= 0x0704 && command == 0xA6))
        return WriteMemBufferL(words, start, command, count);
    uint32_t base = 0;
    if (f == 0x0606) {
        base = 0xC713;
    } else if (f == 0x0704) {
        base = 0xC8A4;
    } else {
        if (f < 0x0704 && command == 0xA6) {
            PrintMessage("DulmAudio_WriteMem_Buffer::  Chip firmware version is not supported.");
            return 2;
        }
        return WriteMemBufferL(words, start, command, count);
    }
    uint32_t redirect = 0;
    if (command == 0xA7) {
        redirect = 0x545800;
    } else if (command == 0xA8) {
        redirect = 0x5C5800;
    } else if (command != 0xA6) {
        PrintMessage("DulmAudio_WriteMem_Buffer::  invalid param");
        return 2;
    }

    struct Slot {
        uint32_t ctl = 0, data0 = 0, data1 = 0;
    };
    // Selects a patch slot and saves what it held.
    auto save = [&](uint32_t index, Slot& slot) -> int {
        if (int r = WriteRegister(kHwpIndex, index))
            return r;
        if (int r = ReadRegister(kHwpCtl, slot.ctl))
            return r;
        if (slot.ctl & kPatchActive) {
            if (int r = ReadRegister(kHwpData0, slot.data0))
                return r;
            if (int r = ReadRegister(kHwpData1, slot.data1))
                return r;
        }
        return 0;
    };
    auto restore = [&](const Slot& slot) -> int {
        if (!(slot.ctl & kPatchActive))
            return WriteRegister(kHwpCtl, 0);
        if (int r = WriteRegister(kHwpData0, slot.data0))
            return r;
        if (int r = WriteRegister(kHwpData1, slot.data1))
            return r;
        return WriteRegister(kHwpCtl, slot.ctl);
    };

    Slot slot0, slot1;
    if (redirect) {
        if (int r = save(1, slot1))
            return r;
        if (int r = WriteRegister(kHwpCtl, ((base + 0x16) & 0x3FFF) | kPatchActive))
            return r;
        if (int r = WriteRegister(kHwpData0, redirect))
            return r;
    }
    if (int r = save(0, slot0))
        return r;
    if (int r = WriteRegister(kHwpCtl, (base & 0x3FFF) | kPatchActive))
        return r;
    uint32_t address = start;
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min<uint32_t>(count - done, 255);
        if (int r = WriteRegister(kHwpData0, address))
            return r;
        if (int r = SendCommand(static_cast<uint16_t>(n), 0xA2))
            return r;
        if (int r = SendBufferDw(n, words + done))
            return r;
        address += n;
        done += n;
    }
    if (int r = restore(slot0))
        return r;
    if (redirect) {
        if (int r = WriteRegister(kHwpIndex, 1))
            return r;
        if (int r = restore(slot1))
            return r;
    }
    return 0;
}

int BusGate::WriteHwPatch(uint16_t address, uint8_t index, uint32_t data0, uint32_t data1) {
    if (int r = WriteRegister(kHwpIndex, index))
        return r;
    if (int r = WriteRegister(kHwpCtl, 0))
        return r;
    if (int r = WriteRegister(kHwpData0, data0))
        return r;
    if (int r = WriteRegister(kHwpData1, data1))
        return r;
    // The patch is active only once this last write got through.
    return WriteRegister(kHwpCtl, (address & 0x3FFFu) | 0x300000u);
}

int BusGate::RawTransfer(int direction, uint8_t slave, uint32_t length, uint8_t* data) {
    if (state_.offline || length == 0)
        return 1;
    if (direction == 1)
        return bridge_.Read(slave, length, data);
    return bridge_.Write(slave, length, data);
}

namespace {

uint32_t ReadVersion(BridgePort& bridge, LogQueue& log, uint8_t chip, uint8_t command) {
    const uint8_t frame[3] = {0x00, command, 0x00};
    uint8_t reply[3] = {};
    int status = bridge.Write(chip, 3, frame);
    if (status == 1)
        status = bridge.Read(chip, 3, reply);
    if (status == 0) {
        log.SetTrafficColor(kColourRed);
        log.Append("==> I2C transaction failed.\n ");
    }
    if (status != 1)
        return kFailedRead;
    return WordOf(reply);
}

} // namespace

uint32_t BusGate::ReadChipHwVersion() {
    if (state_.offline)
        return 0x00B800;
    return ReadVersion(bridge_, log_, state_.chipAddress, 0xB8);
}

uint32_t BusGate::ReadChipFwVersion() {
    if (state_.offline)
        return 0x00B700;
    return ReadVersion(bridge_, log_, state_.chipAddress, 0xB7);
}

} // namespace busgate
