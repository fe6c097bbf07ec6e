// The Script Helper's files: scripts (".tqs"), command tables imported from
// C source (".c"), and the settings file with the default line and the
// recently used scripts.
//
// A script line is a row of seven cells: number, action, slave-ID length,
// slave ID, data length, data, comment. Files are 8-bit text, UTF-8 (bytes
// that are no UTF-8 read as Latin-1); written lines end with CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loggerui {

inline constexpr std::size_t kScriptColumns = 7;
using ScriptRow = std::array<std::wstring, kScriptColumns>;
using ScriptTable = std::vector<ScriptRow>;

// Action numbers: "Write" 1, "Read" 2, "Delay" 3 (names matched without
// regard to case), 0 for any other name; the reverse gives "UNKNOWN" for 0.
int ActionNumber(const std::wstring& name);
std::wstring ActionName(int action);

// The slave ID typed into a cell or the settings: decimal, hexadecimal or
// binary; exactly "-1" gives 0xFF; any other text the value of its leading
// decimal digits (0 without any). Only the low byte counts.
uint8_t ParseSlaveId(const std::wstring& text);

// A comment from the text after the last field: every "//" removed, then
// the leading spaces.
std::wstring CommentFromSource(std::wstring source);

// The rows of a script file's text; lines with fewer than six TABs or with
// an unknown action are skipped.
ScriptTable ParseScriptText(const std::string& text);
// The rows of a C file's command table: lines whose first three
// comma-separated fields each hold "0x" become Write lines to 0x73.
ScriptTable ParseCTableText(const std::string& text);
// The text of a script file: every cell trimmed and followed by a TAB, the
// comment after "//", each row ended with CR LF.
std::string ScriptText(const ScriptTable& rows);

// The line the page inserts.
struct DefaultLine {
    int32_t action = 0;
    int32_t slaveIdLength = 1;
    uint8_t slaveId = 0x73;
    int32_t dataLength = 3;
    std::wstring data = L"0xFF";
};

// The script files and the settings file of the page.
class ScriptFiles {
public:
    static constexpr std::size_t kMaxRecentFiles = 12;

    // settingsPath: the settings file (see DefaultSettingsPath).
    explicit ScriptFiles(std::string settingsPath) : settings_(std::move(settingsPath)) {}

    // $TMPDIR (or /tmp) and the executable's name with ".ini" for its
    // extension.
    static std::string DefaultSettingsPath();

    // Each fills rows (emptied first, also on failure); false when the file
    // cannot be read. On success the path becomes the most recent file.
    bool ReadScriptFile(ScriptTable& rows, const std::string& path);
    bool ImportCFile(ScriptTable& rows, const std::string& path);
    // Replaces the file as a whole (a failed write leaves the old one).
    bool WriteScriptFile(const ScriptTable& rows, const std::string& path);

    // The default line from the DefaultCmd section over `line`, and the
    // recent files.
    void ReadScriptSettings(DefaultLine& line);

    std::vector<std::wstring> LoadRecentFiles() const;
    bool SaveRecentFiles(std::vector<std::wstring> list) const;
    // The path first in the list; the list as shown afterwards (it may hold
    // one entry more than the file keeps).
    void NoteRecentFile(const std::string& path);
    // The "File:" list as last built.
    const std::vector<std::wstring>& RecentFiles() const { return recent_; }

    const std::string& SettingsPath() const { return settings_; }

private:
    std::string settings_;
    std::vector<std::wstring> recent_;
};

} // namespace loggerui
