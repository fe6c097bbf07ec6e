#include "ini/PrivateProfile.h"

#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvini {

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

wchar_t FoldCase(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

// One line of the file, its end of line kept apart.
struct Line {
    std::string bytes;
    std::string end; // "\n", "\r\n" or "" for a last line without one
};

// What a line is to the profile rules.
struct LineKind {
    enum { Other, Section, Key } kind = Other;
    std::wstring name;
    std::wstring value;
};

LineKind Classify(const std::string& bytes) {
    LineKind out;
    const std::wstring wide = WideFromUtf8(bytes);
    const std::wstring_view text = Trim(wide);
    if (text.empty() || text.front() == L';')
        return out;
    if (text.front() == L'[') {
        const std::size_t close = text.find(L']');
        out.kind = LineKind::Section;
        out.name = Trim(text.substr(1, close == std::wstring_view::npos ? text.npos : close - 1));
        return out;
    }
    const std::size_t equals = text.find(L'=');
    if (equals == std::wstring_view::npos)
        return out;
    out.kind = LineKind::Key;
    out.name = Trim(text.substr(0, equals));
    out.value = Trim(text.substr(equals + 1));
    return out;
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        if (newline == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        std::size_t contentEnd = newline;
        if (contentEnd > start && text[contentEnd - 1] == '\r')
            --contentEnd;
        lines.push_back({text.substr(start, contentEnd - start),
                         text.substr(contentEnd, newline + 1 - contentEnd)});
        start = newline + 1;
    }
    return lines;
}

// The file's bytes; nothing when it exists but cannot be read. A missing
// file reads as empty.
std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::string bytes;
    const KTErr status = kvFM::ReadRegularFile(path, bytes);
    if (status == eFMFileNotFound)
        return std::string();
    if (status != eNoErr)
        return std::nullopt;
    return bytes;
}

// Where the key's line is, where the section's last line is; npos when
// absent.
struct Place {
    std::size_t section = std::string::npos;
    std::size_t lastOfSection = std::string::npos;
    std::size_t key = std::string::npos;
    std::wstring value;
};

Place Locate(const std::vector<Line>& lines, std::wstring_view section, std::wstring_view key) {
    Place place;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const LineKind kind = Classify(lines[i].bytes);
        if (kind.kind == LineKind::Section) {
            if (place.section != std::string::npos && inside)
                break; // past the first matching section
            inside = SameName(kind.name, section);
            if (inside) {
                place.section = i;
                place.lastOfSection = i;
            }
            continue;
        }
        if (!inside)
            continue;
        if (kind.kind != LineKind::Other || !Trim(WideFromUtf8(lines[i].bytes)).empty())
            place.lastOfSection = i;
        if (kind.kind == LineKind::Key && place.key == std::string::npos &&
            SameName(kind.name, key)) {
            place.key = i;
            place.value = kind.value;
        }
    }
    return place;
}

std::wstring Unquote(std::wstring value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

bool HasLineBreak(std::wstring_view text) {
    return text.find_first_of(L"\r\n") != std::wstring_view::npos;
}

} // namespace

std::wstring WideFromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80         ? 1
                             : (lead >> 5) == 6  ? 2
                             : (lead >> 4) == 14 ? 3
                             : (lead >> 3) == 30 ? 4
                                                 : 0;
        uint32_t code = length == 1   ? lead
                        : length == 2 ? lead & 0x1F
                        : length == 3 ? lead & 0x0F
                                      : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[i + k]);
            valid = (c >> 6) == 2;
            code = (code << 6) | (c & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= kSmallest[length] && code <= 0x10FFFF &&
                !(code >= 0xD800 && code <= 0xDFFF);
        if (!valid) {
            out += static_cast<wchar_t>(lead); // Latin-1
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(code);
        i += length;
    }
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        uint32_t c = static_cast<uint32_t>(w);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring ReadProfileString(const std::string& path, const std::wstring& section,
                               const std::wstring& key, const std::wstring& defaultValue,
                               std::size_t size) {
    std::wstring value = defaultValue;
    if (const std::optional<std::string> bytes = ReadFileBytes(path)) {
        const Place place = Locate(SplitLines(*bytes), section, key);
        if (place.key != std::string::npos)
            value = Unquote(place.value);
    }
    const std::size_t limit = size == 0 ? 0 : size - 1;
    if (value.size() > limit)
        value.resize(limit);
    return value;
}

namespace {

std::string JoinLines(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines)
        text += line.bytes + line.end;
    return text;
}

// A file whose mode gives nobody the right to write it is read-only, also
// for a user whom the system would let write it anyway.
bool IsReadOnlyFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// The new text through a file beside the old; a read-only file is refused
// and stays as it is.
int ReplaceFile(const std::string& path, const std::string& text) {
    if (IsReadOnlyFile(path))
        return 0;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        return 0;
    kvFM::KCStPath target(absolute.string());
    if (!target.IsValid())
        return 0;
    return kvFM::WriteFileAtomically(target.GetPathRef(), text.data(), text.size()) == 0 ? 1 : 0;
}

} // namespace

int DeleteProfileKey(const std::string& path, const std::wstring& section,
                     const std::wstring& key) {
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes)
        return 0;
    std::vector<Line> lines = SplitLines(*bytes);
    const Place place = Locate(lines, section, key);
    if (place.key == std::string::npos)
        return 1;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(place.key));
    return ReplaceFile(path, JoinLines(lines));
}

int WriteProfileString(const std::string& path, const std::wstring& section,
                       const std::wstring& key, const std::wstring& value) {
    if (Trim(section).empty() || Trim(key).empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || section.find(L']') != std::wstring::npos ||
        key.find(L'=') != std::wstring::npos)
        return 0;
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes)
        return 0;
    std::vector<Line> lines = SplitLines(*bytes);
    const std::string eol = bytes->find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const Place place = Locate(lines, section, key);
    const std::string keyLine = Utf8FromWide(key) + "=" + Utf8FromWide(value);
    if (place.key != std::string::npos) {
        lines[place.key].bytes = keyLine;
    } else {
        const std::size_t at =
            place.section != std::string::npos ? place.lastOfSection + 1 : lines.size();
        // A last line without an end of line gets one when a line follows.
        if (at == lines.size() && !lines.empty() && lines.back().end.empty())
            lines.back().end = eol;
        if (place.section != std::string::npos) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{keyLine, eol});
        } else {
            lines.push_back({"[" + Utf8FromWide(section) + "]", eol});
            lines.push_back({keyLine, eol});
        }
    }
    return ReplaceFile(path, JoinLines(lines));
}

} // namespace kvini
