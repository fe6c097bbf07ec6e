#include "ui/KMEditFilter.h"

namespace {

constexpr uint32_t kBackspace = 8, kTab = 9, kReturn = 13, kCtrlV = 22, kEscape = 27;

bool IsAllowed(const KSEditLimits& limits, uint32_t c) {
    if (limits.allowedCharacters.empty())
        return true;
    return c < 256 && limits.allowedCharacters.find(static_cast<char>(c)) != std::string::npos;
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
    std::string out;
    const size_t kept = textLength > selectionLength ? textLength - selectionLength : 0;
    for (char ch : text) {
        const uint32_t c = static_cast<unsigned char>(ch);
        if (c == kReturn || c == '\n' || (c < 32 && c != kTab))
            continue;
        if (!IsAllowed(limits, c))
            continue;
        if (limits.maxLength != 0 && kept + out.size() >= limits.maxLength)
            break;
        out.push_back(ch);
    }
    return out;
}
