// Private-profile (".ini") files: sections "[name]" holding "key=value"
// lines.
//
// Reading: section and key names match without regard to ASCII case (the
// first matching section and key count); the value is trimmed of blanks,
// loses one pair of surrounding quotes (" or ') and is cut to size - 1
// characters. A missing file, section or key gives the default (cut the same
// way).
//
// Writing: the key's line is replaced in place, or a new line is added after
// the section's last line, or a new section is added at the end of the file;
// every other line keeps its bytes. The file is UTF-8; the new text goes to
// a new file that is renamed over the old one, so a failed write leaves the
// old file as it was.
#pragma once

#include <cstddef>
#include <string>

namespace kvini {

// The longest value a read gives: size - 1 characters (size 0 gives none).
std::wstring ReadProfileString(const std::string& path, const std::wstring& section,
                               const std::wstring& key, const std::wstring& defaultValue,
                               std::size_t size);

// Non-zero on success; 0 when a name is empty or holds a line break, the
// section name holds ']', the key name holds '=', the value holds a line
// break, or the file cannot be read or written.
int WriteProfileString(const std::string& path, const std::wstring& section,
                       const std::wstring& key, const std::wstring& value);

// Removes the key's line; non-zero when the key is gone afterwards (also
// when it was never there), 0 when the file cannot be read or written.
int DeleteProfileKey(const std::string& path, const std::wstring& section, const std::wstring& key);

// UTF-8 and wide text. Bytes that are not UTF-8 are taken as Latin-1; wide
// characters that are no Unicode scalar value become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

} // namespace kvini
