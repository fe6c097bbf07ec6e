#include "kvres/Manifest.h"

#include <expat.h>

#include <charconv>
#include <sstream>

namespace kvres {

using kvElfRes::ResName;

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string UpperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A type: a decimal number below 65536, or a name (upper-cased).
bool ParseType(const std::string& token, ResName& out) {
    if (AllDigits(token)) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (ec != std::errc() || end != token.data() + token.size() || value > 0xFFFF)
            return false;
        out = ResName::Number(static_cast<uint16_t>(value));
        return true;
    }
    if (token.size() > kvElfRes::kMaxNameLength)
        return false;
    out = ResName::Name(UpperCase(token));
    return true;
}

// A number from -32768 to 65535 (a negative number is the 16-bit value the
// signed number has), or a name (upper-cased).
bool ParseId(const std::string& token, ResName& out) {
    const bool negative = token.size() > 1 && token[0] == '-';
    if (!AllDigits(negative ? token.substr(1) : token))
        return ParseType(token, out);
    long value = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size() || value < -32768 || value > 0xFFFF)
        return false;
    out = ResName::Number(static_cast<uint16_t>(value));
    return true;
}

// Splits off the next whitespace-delimited token starting at `pos`.
std::string NextToken(const std::string& line, size_t& pos) {
    while (pos < line.size() && IsSpace(line[pos]))
        ++pos;
    const size_t start = pos;
    while (pos < line.size() && !IsSpace(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

} // namespace

bool ParseManifest(const std::string& text, const std::filesystem::path& manifestPath,
                   std::vector<ManifestEntry>& out, std::string& error) {
    const std::filesystem::path folder = manifestPath.parent_path();
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        auto fail = [&](const std::string& reason) {
            error = manifestPath.string() + ":" + std::to_string(number) + ": error: " + reason;
            return false;
        };
        size_t pos = 0;
        const std::string type = NextToken(line, pos);
        if (type.empty() || type[0] == '#')
            continue;
        const std::string id = NextToken(line, pos);
        while (pos < line.size() && IsSpace(line[pos]))
            ++pos;
        std::string file = line.substr(pos);
        while (!file.empty() && IsSpace(file.back()))
            file.pop_back();
        if (id.empty() || file.empty())
            return fail("expected 'TYPE NUMBER FILE'");
        ManifestEntry entry;
        entry.line = number;
        if (!ParseType(type, entry.type))
            return fail("bad resource type '" + type + "'");
        if (!ParseId(id, entry.id))
            return fail("bad resource number '" + id + "' (-32768 to 65535, or a name)");
        for (const ManifestEntry& e : out)
            if (e.type == entry.type && e.id == entry.id)
                return fail("resource '" + type + " " + id + "' already listed on line " +
                            std::to_string(e.line));
        entry.file = folder / file;
        out.push_back(std::move(entry));
    }
    return true;
}

bool IsXmlResource(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    if (UpperCase(file.extension().string()) == ".XML")
        return true;
    size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        start = 3; // byte-order mark
    static const char declaration[] = "<?xml";
    return bytes.size() - start >= 5 && std::equal(declaration, declaration + 5, &bytes[start]);
}

bool CheckXml(const std::vector<uint8_t>& bytes, const std::filesystem::path& file,
              std::string& error) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) {
        error = file.string() + ": error: out of memory checking XML";
        return false;
    }
    const bool ok = XML_Parse(parser, reinterpret_cast<const char*>(bytes.data()),
                              static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    if (!ok)
        error = file.string() + ":" + std::to_string(XML_GetCurrentLineNumber(parser)) + ":" +
                std::to_string(XML_GetCurrentColumnNumber(parser) + 1) +
                ": error: malformed XML resource: " + XML_ErrorString(XML_GetErrorCode(parser));
    XML_ParserFree(parser);
    return ok;
}

} // namespace kvres
