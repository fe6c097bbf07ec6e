// Small shared pieces of the logger pages: one private-profile file, the
// parsers of the number texts typed into the pages, a text splitter and two
// formatters. Texts are wide; "trimmed" removes white space (space, TAB,
// CR, LF, vertical tab, form feed) from both ends.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

namespace loggerui {

// One private-profile file.
class CTrIniFile {
public:
    explicit CTrIniFile(std::wstring path) : path_(std::move(path)) {}
    virtual ~CTrIniFile() = default;
    virtual std::wstring GetPath() const { return path_; }

    // False, value unchanged, when the file gives nothing. Otherwise value
    // is the text read; a ";" in it drops the character before it and
    // everything from it on, and the rest is trimmed. True when value is not
    // empty.
    bool ReadString(const std::wstring& section, const std::wstring& key,
                    std::wstring& value) const;
    std::wstring GetString(const std::wstring& section, const std::wstring& key) const;
    // Trims value in place; an empty value writes nothing and gives 0, else
    // non-zero on success.
    int WriteString(std::wstring& value, const std::wstring& section,
                    const std::wstring& key) const;

private:
    std::wstring path_;
};

std::wstring Trim(const std::wstring& text);

bool ArrayToList(std::list<std::wstring>& list, const std::vector<std::wstring>& array);
bool SplitTabsToList(std::list<std::wstring>& list, const std::wstring& text);

// Decimal digits only; a refused text leaves the value of the digits before
// the first other character (nothing for an empty text).
bool ParseDecimal(std::wstring text, uint32_t& value);
// "0x..." / "0X..." or "...h" / "...H"; the prefix or suffix alone is 0.
bool ParseHex(std::wstring text, uint32_t& value);
// "...b" / "...B" of '0' and '1' digits; the suffix alone is 0.
bool ParseBinary(std::wstring text, uint32_t& value);
// Decimal, hexadecimal, binary, "-1", or a ", "-separated list; a text that
// is none of these (a word) gives 0.
int32_t ParseNumber(std::wstring text);
// Each piece shifts the value left by 8 bits and is OR-ed in whole.
int32_t ParseNumberList(std::wstring text);
// Exactly `expected` pieces; buffer[i] is the low byte of piece i.
bool ParseByteList(std::wstring text, std::size_t expected, uint8_t* buffer);
// Pieces between separators, trimmed (empty ones too); the rest after the
// last separator only when not empty. False for an empty separator or when
// there is no piece.
bool SplitText(std::wstring text, const std::wstring& separator, std::vector<std::wstring>& pieces);

std::wstring FormatDecimal(int32_t n);
std::wstring FormatHex(int32_t n);

} // namespace loggerui
