// The EEPROM exports.
#include "busaccess/busgate/EepromExport.h"

#include "ExportSupport.h"

#include <array>
#include <chrono>

namespace busgate {

using namespace exports;

namespace {

constexpr uint32_t kReadBlock = 16;
constexpr uint8_t kFill = 0xCC;
constexpr uint8_t kErased = 0xFF;
// A write cycle lasts a few milliseconds; a device silent this long after
// a write does not come back.
constexpr std::chrono::milliseconds kWriteCycleLimit{50};
constexpr const char* kNoDevice = "Fail to access EEPROM device.";

uint8_t DeviceOf(uint32_t offset) {
    return static_cast<uint8_t>(kEepromFirstAddress | ((offset >> 8) & 7));
}

using ReadBuffer = std::array<uint8_t, kEepromMaxSize>;

ReadBuffer FreshBuffer() {
    ReadBuffer b;
    b.fill(kFill);
    return b;
}

// Acknowledge polling: 1-byte reads until the device answers again.
bool WaitForWriteCycle(BusGate& bus, uint8_t device) {
    Clock& clock = bus.Time();
    const auto deadline = clock.Now() + kWriteCycleLimit;
    for (;;) {
        uint8_t probe = 0;
        if (bus.Bridge().Read(device, 1, &probe) == 1)
            return true;
        if (clock.Now() >= deadline)
            return false;
        clock.SleepFor(std::chrono::milliseconds(1));
    }
}

// The first offset below count where the two differ, or count.
uint32_t FirstDifference(const uint8_t* read, const uint8_t* expected, uint32_t count) {
    uint32_t i = 0;
    while (i < count && read[i] == expected[i])
        ++i;
    return i;
}

void AddressLine(BusGate& bus, uint32_t at, uint8_t read, uint8_t expected) {
    Step(bus, kColourRed, "-> Address = 0x%x, Data Read 0x%x, Expected 0x%x. \n ", at, read,
         expected);
}

// Size detection with its failure report; 0 when no device answers.
uint32_t FindDevice(BusGate& bus, const char* caption) {
    const uint32_t size = EepromDetectSize(bus);
    if (size == 0) {
        Step(bus, kColourRed, "-> Fail to access EEPROM device.\n ");
        ErrorBox(bus, kNoDevice, caption);
    }
    return size;
}

// Dump and verify against the expected bytes; true when they match.
bool DumpAndVerify(BusGate& bus, ReadBuffer& read, uint32_t size, const uint8_t* expected,
                   uint32_t count, const char* caption) {
    Step(bus, kColourBlack, "-> Dump from EEPROM device ... ");
    if (!EepromRead(bus, read.data(), size))
        return false;
    Step(bus, kColourGreen, "Done.\n ");
    Step(bus, kColourBlack, "-> Verify ... ");
    const uint32_t at = FirstDifference(read.data(), expected, count);
    if (at < count) {
        Step(bus, kColourRed, "Fail. \n ");
        AddressLine(bus, at, read[at], expected[at]);
        ErrorBox(bus, "Verify fail.", caption);
        return false;
    }
    Step(bus, kColourGreen, "Done.\n ");
    return true;
}

void CompatibilityCheck(BusGate& bus, const std::vector<uint8_t>& image) {
    const uint32_t total = static_cast<uint32_t>(image.size());
    Step(bus, kColourBlack, "-> Verify EEPROM device compatibility ... ");
    ReadBuffer read = FreshBuffer();
    if (!EepromCompatibilityRead(bus, read.data(), total / 3))
        return;
    for (uint32_t i = 0; i < total; ++i) {
        if (read[i] == image[i] || read[i] == kFill)
            continue;
        Step(bus, kColourRed, "Fail. \n ");
        AddressLine(bus, i, read[i], image[i]);
        Step(bus, kColourRed, "-> There is compatibility issue with this EEPROM device. \n ");
        ErrorBox(bus, "There is compatibility issue with this EEPROM device.",
                 "Verify EEPROM device compatibility");
        return;
    }
    Step(bus, kColourGreen, "Done.\n ");
}

// The image as the capture holds it (its whole bytes, not only whole
// groups), or nothing when it is empty or not valid.
std::vector<uint8_t> CaptureImage(BusGate& bus) {
    const CaptureBuffer& capture = bus.Capture();
    if (capture.total == 0 || capture.total > CaptureBuffer::kSize)
        return {};
    return std::vector<uint8_t>(capture.bytes.begin(), capture.bytes.begin() + capture.total);
}

} // namespace

uint32_t EepromDetectSize(BusGate& bus) {
    uint32_t devices = 0;
    while (devices < kEepromMaxDevices &&
           bus.Bridge().IsAlive(static_cast<uint8_t>(kEepromFirstAddress + devices)) == 1)
        ++devices;
    return devices * kEepromDeviceSize;
}

int EepromWrite(BusGate& bus, uint32_t offset, const uint8_t* bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, ++offset) {
        bus.KeepDisplayAlive();
        const uint8_t device = DeviceOf(offset);
        const uint8_t frame[2] = {static_cast<uint8_t>(offset & 0xFF), bytes[i]};
        if (bus.Bridge().Write(device, 2, frame) != 1 || !WaitForWriteCycle(bus, device)) {
            Step(bus, kColourRed, "\n ");
            Step(bus, kColourRed,
                 "-> Fail to access EEPROM at I2C address 0x%x. EEPROM device return NACK. \n ",
                 device);
            ErrorBox(bus, " Fail to access EEPROM.\n Verify Write Protection.", "EEPROM Write");
            return 0;
        }
    }
    return 1;
}

int EepromRead(BusGate& bus, uint8_t* buffer, uint32_t count) {
    for (uint32_t offset = 0; offset < count;) {
        bus.KeepDisplayAlive();
        const uint32_t n = std::min(count - offset, kReadBlock);
        const uint8_t device = DeviceOf(offset);
        const uint8_t word = static_cast<uint8_t>(offset & 0xFF);
        if (bus.Bridge().Write(device, 1, &word) != 1 ||
            bus.Bridge().Read(device, n, buffer + offset) != 1) {
            Step(bus, kColourRed, "\n ");
            Step(bus, kColourRed,
                 "-> Fail to access EEPROM at I2C address 0x%x. EEPROM device return NACK.\n ",
                 device);
            ErrorBox(bus, "Fail to access EEPROM.", "EEPROM Read");
            return 0;
        }
        offset += n;
    }
    return 1;
}

int EepromCompatibilityRead(BusGate& bus, uint8_t* buffer, uint32_t groups) {
    // Older board firmware reads two bytes of each group.
    const uint32_t perGroup = bus.State().boardFirmwareRevision > 0xFFFF ? 3 : 2;
    const uint8_t zero = 0;
    bool ok = bus.Bridge().Write(kEepromFirstAddress, 1, &zero) == 1;
    for (uint32_t g = 0; ok && g < groups; ++g) {
        bus.KeepDisplayAlive();
        ok = bus.Bridge().Read(kEepromFirstAddress, perGroup, buffer + 3 * g) == 1;
    }
    if (!ok) {
        Step(bus, kColourRed,
             "-> Fail to access EEPROM at I2C address 0x%x. EEPROM device return NACK.\n ",
             kEepromFirstAddress);
        ErrorBox(bus, kNoDevice, "EEPROM Comparability Read");
        return 0;
    }
    return 1;
}

void ExportToEepromDevice(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    const std::vector<uint8_t> image = CaptureImage(bus);
    if (image.empty())
        return;
    const char* caption = "Export to EEPROM device";
    const uint32_t size = FindDevice(bus, caption);
    if (size == 0)
        return;
    const uint32_t total = static_cast<uint32_t>(image.size());
    Step(bus, kColourBlack, "-> Found EEPROM device size %u bytes, buffer size %u bytes. \n ", size,
         total);
    if (size < total) {
        Step(bus, kColourRed, "-> EEPROM device size is too small.\n ");
        ErrorBox(bus, "EEPROM device size is too small.", caption);
        return;
    }
    Step(bus, kColourBlack, "-> Export to EEPROM device... ");
    if (!EepromWrite(bus, 0, image.data(), total))
        return;
    Step(bus, kColourGreen, "Done.\n ");
    ReadBuffer read = FreshBuffer();
    if (!DumpAndVerify(bus, read, size, image.data(), total, caption))
        return;
    InfoBox(bus, "Program completed successfully.", caption);
    CompatibilityCheck(bus, image);
}

void EraseEepromDevice(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    const char* caption = "Erase EEPROM device";
    const uint32_t size = FindDevice(bus, caption);
    if (size == 0)
        return;
    Step(bus, kColourBlack, "-> Found EEPROM size %u bytes. \n ", size);
    Step(bus, kColourBlack, "-> Erase EEPROM device ... ");
    ReadBuffer erased;
    erased.fill(kErased);
    if (!EepromWrite(bus, 0, erased.data(), size))
        return;
    Step(bus, kColourGreen, "Done.\n ");
    ReadBuffer read = FreshBuffer();
    if (!DumpAndVerify(bus, read, size, erased.data(), size, caption))
        return;
    InfoBox(bus, "Erase completed successfully.", caption);
}

namespace {

// The decoded listing: each group's offset line, decoded up to and with
// Setup Completed, the rest listed only.
std::string EepromListing(BusGate& bus, const uint8_t* image, uint32_t size) {
    std::string text = " ";
    CEepromParser parser(text);
    BusGate::OfflineReplay replay(bus, parser);
    bool decoding = true;
    for (uint32_t o = 0; o + 3 <= size; o += 3) {
        const uint8_t* g = image + o;
        text += FormatC(64, "0x%04X: 0x%02X 0x%02X 0x%02X ", o, g[0], g[1], g[2]);
        if (!decoding) {
            text += "\n ";
            continue;
        }
        replay.Decode(bus.State().chipAddress, g);
        if (g[0] == 0x00 && g[1] == 0xAC && g[2] == 0x00)
            decoding = false;
    }
    return text;
}

} // namespace

void DumpEepromToFile(BusGate& bus) {
    LoggerLockGuard guard(bus.Lock());
    const char* caption = "Dump EEPROM into file";
    const uint32_t size = FindDevice(bus, caption);
    if (size == 0)
        return;
    Step(bus, kColourBlack, "-> Found EEPROM size %u bytes. \n ", size);
    Step(bus, kColourBlack, "-> Dump from EEPROM device ... ");
    ReadBuffer read = FreshBuffer();
    if (!EepromRead(bus, read.data(), size))
        return;
    Step(bus, kColourGreen, "Done.\n ");

    const std::optional<std::string> chosen = AskSavePath(
        "Dump EEPROM Content to File", "EEPROM_Dump", ".bin", "Enter File Name (*.)|*.||");
    if (!chosen) {
        Step(bus, kColourBlack, "-> Abort by user.\n ");
        return;
    }
    Step(bus, kColourBlack, "-> Save EEPROM content into *.bin file ... ");
    const std::string binary(reinterpret_cast<const char*>(read.data()), size);
    if (!WriteWholeFile(WithExtension(*chosen, ".bin"), binary)) {
        Step(bus, kColourRed, "-> Fail to open *.bin file for write.\n ");
        ErrorBox(bus, "Fail to open *.bin file for write.", caption);
        return;
    }
    Step(bus, kColourGreen, "Done.\n ");
    Step(bus, kColourBlack, "-> Save EEPROM content into *.txt file ... ");
    if (!WriteWholeFile(WithExtension(*chosen, ".txt"), EepromListing(bus, read.data(), size))) {
        Step(bus, kColourRed, "-> Fail to open *.txt file for write.\n ");
        ErrorBox(bus, "Fail to open *.txt file for write.", caption);
        return;
    }
    Step(bus, kColourGreen, "Done.\n ");
    InfoBox(bus, "Dump completed successfully.", caption);
}

} // namespace busgate
