#include "ui/KMEditFilter.h"

namespace {

constexpr uint32_t kBackspace = 8, kTab = 9, kReturn = 13, kCtrlV = 22, kEscape = 27;

// The UTF-8 bytes of one character.
std::string Encode(uint32_t c) {
    std::string out;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | ((c >> 18) & 0x07)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return out;
}

// The length of the UTF-8 character at `at`, or 0 when the bytes there are
// not one.
size_t CharacterLength(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t n = lead < 0x80             ? 1
                     : (lead & 0xE0) == 0xC0 ? 2
                     : (lead & 0xF0) == 0xE0 ? 3
                     : (lead & 0xF8) == 0xF0 ? 4
                                             : 0;
    if (n == 0 || at + n > text.size())
        return 0;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// The allowed characters are text like any other: a character is allowed
// when it stands among them whole.
bool IsAllowed(const KSEditLimits& limits, const std::string& character) {
    return limits.allowedCharacters.empty() ||
           limits.allowedCharacters.find(character) != std::string::npos;
}

bool IsAllowed(const KSEditLimits& limits, uint32_t c) {
    return IsAllowed(limits, Encode(c));
}

bool HasRoom(const KSEditLimits& limits, size_t textLength, size_t selectionLength) {
    if (limits.maxLength == 0)
        return true;
    const size_t kept = textLength > selectionLength ? textLength - selectionLength : 0;
    return kept < limits.maxLength;
}

} // namespace

KEEditChar KMFilterEditChar(const KSEditLimits& limits, uint32_t c, size_t textLength,
                            size_t selectionLength) {
    if (c == kBackspace || c == kTab || c == kEscape)
        return KEEditChar::ePass;
    if (c == kReturn || c == '\n')
        return KEEditChar::eSwallow;
    if (c == kCtrlV) // the paste itself is filtered
        return KEEditChar::ePass;
    if (!IsAllowed(limits, c))
        return KEEditChar::eSwallow;
    if (c < 32) // other control combinations add no text
        return KEEditChar::ePass;
    return HasRoom(limits, textLength, selectionLength) ? KEEditChar::ePass : KEEditChar::eSwallow;
}

std::string KMFilterPastedText(const KSEditLimits& limits, const std::string& text,
                               size_t textLength, size_t selectionLength) {
    // Lengths count characters, as the control does, and a character is
    // taken whole or not at all.
    std::string out;
    size_t taken = textLength > selectionLength ? textLength - selectionLength : 0;
    for (size_t at = 0; at < text.size();) {
        const size_t n = CharacterLength(text, at);
        if (n == 0) { // not UTF-8: dropped
            ++at;
            continue;
        }
        const std::string character = text.substr(at, n);
        at += n;
        const auto c = static_cast<unsigned char>(character[0]);
        if (c == kReturn || c == '\n' || (c < 32 && c != kTab))
            continue;
        if (!IsAllowed(limits, character))
            continue;
        if (limits.maxLength != 0 && taken >= limits.maxLength)
            break;
        out += character;
        ++taken;
    }
    return out;
}
