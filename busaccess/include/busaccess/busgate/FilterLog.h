// Log sinks: where the decoder's text goes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace busgate {

// printf-style formatting in the "C" locale, cut to limit - 1 characters.
std::string FormatC(std::size_t limit, const char* format, va_list args);
std::string FormatC(std::size_t limit, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The hex dump of one transfer: "I2C W 0x73: 0x00 0xC6 0x01 ", 15 bytes a
// line, continuation lines indented by 21 spaces. Category 7 dumps nothing,
// category 1 starts with "// ".
std::string HexDump(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                    uint32_t category);

// The abstract log sink (set colour, text, error text, info text,
// transaction).
class CFilterLog {
public:
    virtual ~CFilterLog() = default;
    virtual void SetColor(int code) = 0;
    void Text(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ErrorText(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void InfoText(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // category: the category of the command's row (0 for traffic that is no
    // chip command).
    virtual void Transaction(int direction, uint8_t slave, uint32_t length, const uint8_t* bytes,
                             uint32_t category) = 0;

protected:
    virtual std::size_t FormatLimit() const { return 1024; }
    virtual void PutText(std::string_view text) = 0;
    virtual void PutError(std::string_view text) = 0;
    virtual void PutInfo(std::string_view text) = 0;
};

} // namespace busgate
