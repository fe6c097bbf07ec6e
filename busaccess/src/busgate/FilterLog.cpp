#include "busaccess/busgate/FilterLog.h"

#include <clocale>
#include <cstdio>
#include <locale.h>

namespace busgate {

namespace {

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
}

} // namespace

std::string FormatC(std::size_t limit, const char* format, va_list args) {
    if (limit == 0)
        return {};
    char stackBuffer[1024];
    std::string heap;
    char* buffer = stackBuffer;
    if (limit > sizeof stackBuffer) {
        heap.resize(limit);
        buffer = heap.data();
    }
    const locale_t previous = uselocale(CLocale());
    int n = std::vsnprintf(buffer, limit, format, args);
    uselocale(previous);
    if (n < 0)
        return {};
    const std::size_t length = static_cast<std::size_t>(n) < limit ? n : limit - 1;
    return std::string(buffer, length);
}

std::string FormatC(std::size_t limit, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatC(limit, format, args);
    va_end(args);
    return text;
}

std::string HexDump(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                    uint32_t category) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (category == 7)
        return out;
    out.reserve(16 + length * 5 + (length / 15) * 22);
    if (category == 1)
        out += "// ";
    out += direction == 1 ? "I2C R 0x" : "I2C W 0x";
    out += kHex[(slave >> 4) & 0xF];
    out += kHex[slave & 0xF];
    out += ": ";
    for (uint32_t i = 0; i < length; ++i) {
        out += "0x";
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0xF];
        out += ' ';
        if ((i + 1) % 15 == 0) // line break, 20 spaces, and the space of "%s "
            out.append("\n                     ");
    }
    return out;
}

void CFilterLog::Text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PutText(FormatC(FormatLimit(), format, args));
    va_end(args);
}

void CFilterLog::ErrorText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PutError(FormatC(FormatLimit(), format, args));
    va_end(args);
}

void CFilterLog::InfoText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PutInfo(FormatC(FormatLimit(), format, args));
    va_end(args);
}

} // namespace busgate
