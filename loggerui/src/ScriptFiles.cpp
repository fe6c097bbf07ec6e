#include "loggerui/ScriptFiles.h"

#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"
#include "ini/PrivateProfile.h"
#include "loggerui/TextUtils.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace loggerui {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSettingsBuffer = 260;
const wchar_t* const kActionNames[] = {L"Write", L"Read", L"Delay"};
const wchar_t* const kMruSection = L"MRU";
const wchar_t* const kDefaultSection = L"DefaultCmd";

wchar_t FoldCase(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

// The lines of a text, without their CR LF or LF.
std::vector<std::wstring> TextLines(const std::string& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos)
            end = text.size();
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(kvini::WideFromUtf8(std::string_view(text).substr(start, end - start)));
        start = next;
    }
    return lines;
}

// The first `count` fields before a separator and the rest after the last
// of them; nothing when the line has fewer separators.
std::optional<std::vector<std::wstring>> LeadingFields(const std::wstring& line, wchar_t separator,
                                                       std::size_t count) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = line.find(separator, start);
        if (at == std::wstring::npos)
            return std::nullopt;
        fields.push_back(line.substr(start, at - start));
        start = at + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// The system's decimal conversion: optional sign, digits up to the first
// other character (wrapping in 32 bits).
int32_t DecimalPrefix(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - L'0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

std::wstring RecentKey(std::size_t index) {
    return L"FILE" + std::to_wstring(index);
}

} // namespace

int ActionNumber(const std::wstring& name) {
    for (int i = 0; i < 3; ++i)
        if (SameText(name, kActionNames[i]))
            return i + 1;
    return 0;
}

std::wstring ActionName(int action) {
    return action >= 1 && action <= 3 ? kActionNames[action - 1] : L"UNKNOWN";
}

uint8_t ParseSlaveId(const std::wstring& text) {
    uint32_t value = 0;
    if (ParseDecimal(text, value) || ParseHex(text, value) || ParseBinary(text, value))
        return static_cast<uint8_t>(value & 0xFF);
    if (text == L"-1")
        return 0xFF;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            break;
        value = value * 10 + static_cast<uint32_t>(c - L'0');
    }
    return static_cast<uint8_t>(value & 0xFF);
}

std::wstring CommentFromSource(std::wstring source) {
    for (std::size_t at = source.find(L"//"); at != std::wstring::npos; at = source.find(L"//", at))
        source.erase(at, 2);
    return source.substr(std::min(source.find_first_not_of(L' '), source.size()));
}

ScriptTable ParseScriptText(const std::string& text) {
    ScriptTable rows;
    for (const std::wstring& line : TextLines(text)) {
        const auto fields = LeadingFields(line, L'\t', 6);
        if (!fields || ActionNumber((*fields)[1]) == 0)
            continue;
        ScriptRow row;
        for (std::size_t c = 1; c <= 5; ++c)
            row[c] = (*fields)[c];
        row[6] = CommentFromSource((*fields)[6]);
        rows.push_back(std::move(row));
    }
    return rows;
}

ScriptTable ParseCTableText(const std::string& text) {
    ScriptTable rows;
    for (const std::wstring& line : TextLines(text)) {
        const auto fields = LeadingFields(line, L',', 3);
        if (!fields)
            continue;
        const std::vector<std::wstring>& f = *fields;
        if (f[0].find(L"0x") == std::wstring::npos || f[1].find(L"0x") == std::wstring::npos ||
            f[2].find(L"0x") == std::wstring::npos)
            continue;
        rows.push_back(ScriptRow{L"", L"Write", L"1", L"0x73", L"3",
                                 f[0] + L"," + f[1] + L"," + f[2], CommentFromSource(f[3])});
    }
    return rows;
}

std::string ScriptText(const ScriptTable& rows) {
    std::wstring text;
    for (const ScriptRow& row : rows) {
        for (std::size_t c = 0; c < kScriptColumns; ++c) {
            if (c == 6)
                text += L"//";
            text += Trim(row[c]);
            text += L'\t';
        }
        text += L"\r\n";
    }
    return kvini::Utf8FromWide(text);
}

std::string ScriptFiles::DefaultSettingsPath() {
    const char* tmp = std::getenv("TMPDIR");
    fs::path folder = tmp && *tmp ? fs::path(tmp) : fs::path("/tmp");
    std::error_code ec;
    fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec || program.filename().empty())
        program = "program";
    return (folder / program.filename().replace_extension(".ini")).string();
}

bool ScriptFiles::ReadScriptFile(ScriptTable& rows, const std::string& path) {
    rows.clear();
    std::string text;
    if (kvFM::ReadRegularFile(path, text) != eNoErr)
        return false;
    rows = ParseScriptText(text);
    NoteRecentFile(path);
    return true;
}

bool ScriptFiles::ImportCFile(ScriptTable& rows, const std::string& path) {
    rows.clear();
    std::string text;
    if (kvFM::ReadRegularFile(path, text) != eNoErr)
        return false;
    rows = ParseCTableText(text);
    NoteRecentFile(path);
    return true;
}

bool ScriptFiles::WriteScriptFile(const ScriptTable& rows, const std::string& path) {
    const std::string text = ScriptText(rows);
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec)
        return false;
    kvFM::KCStPath target(absolute.string());
    if (!target.IsValid() ||
        kvFM::WriteFileAtomically(target.GetPathRef(), text.data(), text.size()) != 0)
        return false;
    NoteRecentFile(path);
    return true;
}

void ScriptFiles::ReadScriptSettings(DefaultLine& line) {
    auto read = [&](const wchar_t* key) {
        return kvini::ReadProfileString(settings_, kDefaultSection, key, L"", kSettingsBuffer);
    };
    const std::wstring action = read(L"Action");
    const uint32_t number = action.empty() ? 1u : static_cast<uint32_t>(DecimalPrefix(action));
    line.action = number >= 1 && number <= 3 ? static_cast<int32_t>(number) : 1;
    if (const std::wstring v = read(L"SlaveIDLength"); !v.empty())
        line.slaveIdLength = DecimalPrefix(v);
    if (const std::wstring v = read(L"SlaveID"); !v.empty())
        line.slaveId = ParseSlaveId(v);
    if (const std::wstring v = read(L"DataLength"); !v.empty())
        line.dataLength = DecimalPrefix(v);
    if (const std::wstring v = read(L"Data"); !v.empty())
        line.data = v;
    recent_ = LoadRecentFiles();
}

std::vector<std::wstring> ScriptFiles::LoadRecentFiles() const {
    std::vector<std::wstring> list;
    std::error_code ec;
    if (!fs::exists(settings_, ec))
        return list;
    const CTrIniFile ini(kvini::WideFromUtf8(settings_));
    for (std::size_t i = 0; i < kMaxRecentFiles; ++i) {
        std::wstring value;
        if (!ini.ReadString(kMruSection, RecentKey(i), value))
            break;
        list.push_back(value);
    }
    return list;
}

bool ScriptFiles::SaveRecentFiles(std::vector<std::wstring> list) const {
    const CTrIniFile ini(kvini::WideFromUtf8(settings_));
    const std::size_t n = std::min(list.size(), kMaxRecentFiles);
    bool ok = true;
    for (std::size_t i = 0; i < n; ++i)
        ok = ini.WriteString(list[i], kMruSection, RecentKey(i)) != 0 && ok;
    kvini::DeleteProfileKey(settings_, kMruSection, RecentKey(n));
    return ok;
}

void ScriptFiles::NoteRecentFile(const std::string& path) {
    const std::wstring wide = kvini::WideFromUtf8(path);
    std::vector<std::wstring> list = LoadRecentFiles();
    std::erase_if(list, [&](const std::wstring& entry) { return SameText(entry, wide); });
    list.insert(list.begin(), wide);
    SaveRecentFiles(list);
    recent_ = std::move(list);
}

bool ScriptFiles::LoadByExtension(ScriptTable& rows, const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (extension == ".TQS")
        return ReadScriptFile(rows, path);
    if (extension == ".C")
        return ImportCFile(rows, path);
    return false;
}

std::string ScriptFiles::ResolveDroppedPath(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    return ec ? path : target.string();
}

} // namespace loggerui
