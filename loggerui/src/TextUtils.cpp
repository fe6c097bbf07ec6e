#include "loggerui/TextUtils.h"

#include "ini/PrivateProfile.h"

#include <cwchar>

namespace loggerui {

namespace {

constexpr std::size_t kProfileBuffer = 520;

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::string PathBytes(const std::wstring& path) {
    return kvini::Utf8FromWide(path);
}

// Accumulates digits of one base; false at the first character that is no
// digit of it, with the value of the digits before.
bool AccumulateDigits(std::wstring_view digits, uint32_t base, uint32_t& value) {
    value = 0;
    for (wchar_t c : digits) {
        uint32_t d = base;
        if (c >= L'0' && c <= L'9')
            d = static_cast<uint32_t>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            d = static_cast<uint32_t>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F')
            d = static_cast<uint32_t>(c - L'A' + 10);
        if (d >= base)
            return false;
        value = value * base + d;
    }
    return true;
}

} // namespace

std::wstring Trim(const std::wstring& text) {
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    std::size_t start = 0;
    while (start < end && IsBlank(text[start]))
        ++start;
    return text.substr(start, end - start);
}

bool CTrIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                            std::wstring& value) const {
    const std::wstring read =
        kvini::ReadProfileString(PathBytes(path_), section, key, std::wstring(), kProfileBuffer);
    if (read.empty())
        return false;
    value = read;
    const std::size_t semicolon = value.find(L';');
    if (semicolon != std::wstring::npos)
        value = Trim(value.substr(0, semicolon == 0 ? 0 : semicolon - 1));
    return !value.empty();
}

std::wstring CTrIniFile::GetString(const std::wstring& section, const std::wstring& key) const {
    std::wstring value;
    ReadString(section, key, value);
    return value;
}

int CTrIniFile::WriteString(std::wstring& value, const std::wstring& section,
                            const std::wstring& key) const {
    value = Trim(value);
    if (value.empty())
        return 0;
    return kvini::WriteProfileString(PathBytes(path_), section, key, value);
}

bool ArrayToList(std::list<std::wstring>& list, const std::vector<std::wstring>& array) {
    list.assign(array.begin(), array.end());
    return !list.empty();
}

bool SplitTabsToList(std::list<std::wstring>& list, const std::wstring& text) {
    list.clear();
    std::vector<std::wstring> pieces;
    if (!SplitText(text, L"\t", pieces))
        return false;
    list.assign(pieces.begin(), pieces.end());
    return true;
}

bool ParseDecimal(std::wstring text, uint32_t& value) {
    if (text.empty())
        return false;
    return AccumulateDigits(text, 10, value);
}

bool ParseHex(std::wstring text, uint32_t& value) {
    std::wstring_view digits = text;
    if (text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
        digits.remove_prefix(2);
    else if (!text.empty() && (text.back() == L'h' || text.back() == L'H'))
        digits.remove_suffix(1);
    else
        return false;
    return AccumulateDigits(digits, 16, value);
}

bool ParseBinary(std::wstring text, uint32_t& value) {
    if (text.empty() || (text.back() != L'b' && text.back() != L'B'))
        return false;
    return AccumulateDigits(std::wstring_view(text).substr(0, text.size() - 1), 2, value);
}

int32_t ParseNumber(std::wstring text) {
    uint32_t value = 0;
    if (ParseDecimal(text, value) || ParseHex(text, value) || ParseBinary(text, value))
        return static_cast<int32_t>(value);
    if (text == L"-1")
        return -1;
    return ParseNumberList(std::move(text));
}

int32_t ParseNumberList(std::wstring text) {
    std::vector<std::wstring> pieces;
    if (!SplitText(text, L", ", pieces))
        return 0;
    uint32_t value = 0;
    for (const std::wstring& piece : pieces) {
        // A piece that is the whole text again is no number: parsing it
        // would only come back here.
        const uint32_t number = piece == text ? 0u : static_cast<uint32_t>(ParseNumber(piece));
        value = (value << 8) | number;
    }
    return static_cast<int32_t>(value);
}

bool ParseByteList(std::wstring text, std::size_t expected, uint8_t* buffer) {
    std::vector<std::wstring> pieces;
    if (!SplitText(std::move(text), L", ", pieces) || pieces.size() != expected || !buffer)
        return false;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        buffer[i] = static_cast<uint8_t>(ParseNumber(pieces[i]) & 0xFF);
    return true;
}

bool SplitText(std::wstring text, const std::wstring& separator,
               std::vector<std::wstring>& pieces) {
    if (separator.empty())
        return false;
    std::wstring_view rest = text;
    for (;;) {
        const std::size_t at = rest.find(separator);
        if (at == std::wstring_view::npos)
            break;
        pieces.push_back(Trim(std::wstring(rest.substr(0, at))));
        rest.remove_prefix(at + 1);
    }
    std::wstring last = Trim(std::wstring(rest));
    if (!last.empty())
        pieces.push_back(std::move(last));
    return !pieces.empty();
}

std::wstring FormatDecimal(int32_t n) {
    return std::to_wstring(n);
}

std::wstring FormatHex(int32_t n) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%X", static_cast<unsigned>(n));
    return buffer;
}

} // namespace loggerui
