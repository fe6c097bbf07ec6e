// The configuration EEPROM's contents: the device set-up captured at slave
// address 0x50, exported as Intel HEX text or written into the EEPROM.
#include "foundation/KCStFile.h"
#include "foundation/kvFMDialogs.h"
#include "guilib/MessageService.h"
#include "plugin/PeqAlg.h"
#include "plugin/WaitCursor.h"

#include <cstdio>

namespace {

constexpr size_t kHexRecordBytes = 16;
constexpr size_t kHexImageLimit = 65536;
constexpr uint32_t kEepromPieceWaitMs = 20;
// A serial EEPROM refuses every access while its write cycle runs: a refused
// piece is tried again, a bounded number of times, before the write fails.
constexpr int kEepromPieceAttempts = 25;
constexpr uint32_t kEepromRetryWaitMs = 2;
constexpr const char* kNoCapture = "Export has not been performed. Please check active connection.";

struct SExportVariant {
    bool capturing;
    uint8_t start;
    uint8_t stop;
};
constexpr SExportVariant kVariants[] = {
    {true, 0x00, 0x00}, {false, 0xC3, 0xC9}, {false, 0xC9, 0xA4}};

void AppendByte(std::string& text, uint8_t b) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    text += hex;
}

} // namespace

std::string IntelHexText(const std::vector<uint8_t>& image) {
    std::string text;
    for (size_t offset = 0; offset < image.size(); offset += kHexRecordBytes) {
        const size_t n = std::min(kHexRecordBytes, image.size() - offset);
        uint32_t sum = static_cast<uint32_t>(n + (offset >> 8 & 0xFF) + (offset & 0xFF));
        text += ':';
        AppendByte(text, static_cast<uint8_t>(n));
        AppendByte(text, static_cast<uint8_t>(offset >> 8));
        AppendByte(text, static_cast<uint8_t>(offset));
        text += "00";
        for (size_t i = 0; i < n; ++i) {
            AppendByte(text, image[offset + i]);
            sum += image[offset + i];
        }
        AppendByte(text, static_cast<uint8_t>((256 - sum % 256) % 256));
        text += "\r\n";
    }
    return text + ":00000001FF\r\n";
}

void cPEQ_ALG::CaptureEepromImage() {
    SelectExclusionListForPopType(PopTypeEEPROMExt);
    Connection().SetSlaveAddress(kEepromAddress);
    ClearCapture();
    SetCaptureMode(true);
    ResetAndRunPop(false);
    SetCaptureMode(false);
}

bool cPEQ_ALG::ExportEepromHex(int32_t variant) {
    if (variant < 0 || variant > 2)
        return false;
    const SExportVariant& v = kVariants[variant];
    SetCaptureWindow(v.capturing, v.start, v.stop);
    kvFM::KCDialogCreationOptions options;
    options.fileTypes.push_back(
        KCFileType("Hex File", ".hex", KCFourCC(KV_FOURCC("XPst")), KCFourCC(KV_FOURCC("Zorb"))));
    options.title = "Export to EEPROM File";
    kvFM::KCDialogReply reply;
    if (kvFM::SaveAsDialog(options, reply) != 0 || !reply.chosen)
        return false;
    const std::string path = reply.path.GetPathString();
    CaptureEepromImage();
    Connection().SetSlaveAddress(kChipAddress);
    const std::vector<uint8_t>& image = CaptureBuffer();
    if (image.empty()) {
        KMMessageService::Show(kNoCapture, "EEPROM to file", KMMessageService::kInformation);
        return false;
    }
    // Records carry 16-bit offsets: a larger image cannot be written.
    if (image.size() > kHexImageLimit) {
        KMMessageService::Show("The EEPROM image is larger than 65536 bytes and cannot be "
                               "exported.",
                               "EEPROM to file", KMMessageService::kError);
        ClearCapture();
        return false;
    }
    const std::string text = IntelHexText(image);
    ClearCapture();
    kvFM::KCStPath target(path);
    const KTErr err = target.IsValid()
                          ? kvFM::WriteFileAtomically(target.GetPathRef(), text.data(), text.size())
                          : static_cast<KTErr>(eFMOpenFailed);
    if (err != 0) {
        KMMessageService::Show("Failed to write the file \"" + path + "\".", "EEPROM",
                               KMMessageService::kError);
        return false;
    }
    KMMessageService::Show("Succeeded exporting to file \"" + path + "\"", "EEPROM",
                           KMMessageService::kInformation);
    return true;
}

bool cPEQ_ALG::WriteEepromPiece(const std::vector<uint8_t>& piece) {
    // A refused write marks the connection down; the retries are forced
    // through, and the first that lands marks it up again.
    for (int attempt = 0; attempt < kEepromPieceAttempts; ++attempt) {
        if (attempt > 0)
            Clock().Sleep(kEepromRetryWaitMs);
        if (Connection().Write(piece.data(), static_cast<uint32_t>(piece.size()),
                               attempt > 0 ? 1 : 0))
            return true;
    }
    return false;
}

bool cPEQ_ALG::WriteEeprom() {
    if (currentConnectionType_ == kConnectionNone) {
        KMMessageService::Show("Device is not connected, cannot write EEPROM data.", "EEPROM",
                               KMMessageService::kInformation);
        return false;
    }
    if (KMMessageService::Show("This will overwrite your EEPROM data. Are you sure?", "EEPROM",
                               KMMessageService::kYesNo) != KMMessageService::kYes)
        return false;
    const CScopedWaitCursor waitCursor;
    SetCaptureWindow(true, 0x00, 0x00);
    CaptureEepromImage();
    const std::vector<uint8_t> image = CaptureBuffer();
    bool written = false;
    if (image.empty()) {
        KMMessageService::Show(kNoCapture, "EEPROM Device", KMMessageService::kInformation);
    } else if (image.size() > kEepromBytes) {
        // Past 0x57 the device address would reach other slaves (the DSP).
        KMMessageService::Show("The EEPROM image is larger than the EEPROM (2048 bytes); "
                               "nothing was written.",
                               "EEPROM Device", KMMessageService::kError);
    } else {
        uint8_t device = kEepromAddress, word = 0;
        written = true;
        for (size_t offset = 0; offset < image.size() && written; offset += kHexRecordBytes) {
            const size_t n = std::min(kHexRecordBytes, image.size() - offset);
            std::vector<uint8_t> piece{word};
            piece.insert(piece.end(), image.begin() + static_cast<long>(offset),
                         image.begin() + static_cast<long>(offset + n));
            Connection().SetSlaveAddress(device);
            written = WriteEepromPiece(piece);
            if (!written) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "Failed to write the EEPROM at I2C address 0x%02X; the EEPROM "
                              "data is incomplete.",
                              device);
                KMMessageService::Show(text, "EEPROM Device", KMMessageService::kError);
                break;
            }
            Clock().Sleep(kEepromPieceWaitMs);
            word = static_cast<uint8_t>(word + kHexRecordBytes);
            if (word == 0)
                ++device;
        }
    }
    Connection().SetSlaveAddress(kChipAddress);
    return written;
}
