// POP files and command scripts: hexadecimal bytes, one I2C write per line,
// replayed to the chip as raw frames.
#include "guilib/MessageService.h"
#include "plugin/PeqAlg.h"
#include "plugin/WaitCursor.h"

#include <cctype>
#include <cstdio>
#include <string_view>

namespace {

constexpr size_t kMaxDataPart = 1023;

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Skips line breaks and spaces.
void SkipBreaks(std::string_view text, size_t& pos) {
    while (pos < text.size() && (IsLineBreak(text[pos]) || text[pos] == ' '))
        ++pos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One token read as "%x" reads it: leading white space, an optional 0x,
// the hexadecimal digits up to the first other character. False when no
// digit is found or the value exceeds a byte.
bool ReadToken(std::string_view token, uint8_t& out) {
    size_t i = 0;
    while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i])))
        ++i;
    if (i + 1 < token.size() && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X') &&
        i + 2 < token.size() && HexDigit(token[i + 2]) >= 0)
        i += 2;
    uint32_t value = 0;
    size_t digits = 0;
    for (; i < token.size() && HexDigit(token[i]) >= 0; ++i, ++digits) {
        value = value * 16 + static_cast<uint32_t>(HexDigit(token[i]));
        if (value > 0xFF)
            return false;
    }
    out = static_cast<uint8_t>(value);
    return digits > 0;
}

// The bytes of a data part split at spaces; false on a bad token.
bool LineBytes(std::string_view data, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (data.size() > kMaxDataPart)
        return false;
    size_t pos = 0;
    while (pos < data.size()) {
        const size_t end = std::min(data.find(' ', pos), data.size());
        if (end > pos) {
            uint8_t b = 0;
            if (!ReadToken(data.substr(pos, end - pos), b))
                return false;
            bytes.push_back(b);
        }
        pos = end + 1;
    }
    return true;
}

} // namespace

uint32_t cPEQ_ALG::RunPopScript(const char* script) {
    const CScopedWaitCursor waitCursor;
    const std::string_view text = script ? std::string_view(script) : std::string_view();
    size_t pos = 0;
    uint32_t line = 0, result = 0;
    std::vector<uint8_t> bytes;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '#' || IsLineBreak(c)) {
            SkipBreaks(text, pos);
            if (pos < text.size() && text[pos] == '#') {
                while (pos < text.size() && !IsLineBreak(text[pos]))
                    ++pos;
                SkipBreaks(text, pos);
            }
            result = 1;
            continue;
        }
        size_t end = pos;
        while (end < text.size() && text[end] != '#' && !IsLineBreak(text[end]))
            ++end;
        const std::string_view data = text.substr(pos, end - pos);
        pos = end;
        while (pos < text.size() && !IsLineBreak(text[pos]))
            ++pos;
        SkipBreaks(text, pos);
        ++line;
        if (!LineBytes(data, bytes)) {
            char message[64];
            std::snprintf(message, sizeof message, "Error in POP File at line %u", line);
            KMMessageService::Show(message, "POP File Error", KMMessageService::kError);
            break;
        }
        if (!bytes.empty()) {
            SendFrame(bytes.data(), static_cast<uint32_t>(bytes.size()), kFrameRaw, false);
            result += static_cast<uint32_t>(bytes.size());
        }
    }
    Clock().Sleep(kCommandPauseMs);
    return result;
}

std::string cPEQ_ALG::ResetPopPath() {
    if (Connection().GetSlaveAddress() == kChipAddress)
        return PopType == 0 ? versionPopPath_ : PopFilename;
    switch (PopTypeEEPROMExt) {
    case 0:
        return moduleFolder_ + "EEPROM_ECD.pop";
    case 1:
        return PopFilenameEEPROM;
    case 2:
        return moduleFolder_ + "EEPROM_ECE.pop";
    default:
        return std::string();
    }
}
