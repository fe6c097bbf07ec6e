// What an edit control accepts of typed and pasted text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class KEEditChar {
    ePass,    // handed on to the control
    eSwallow, // dropped
};

struct KSEditLimits {
    std::string allowedCharacters; // empty: any character
    uint32_t maxLength = 0;        // 0: no limit
};

// One typed character (as the key's character code: 8 Backspace, 9 Tab,
// 13 Return, 22 Ctrl+V, 27 Escape) against the limits, the control's text
// length and the length of its selection, which the character replaces.
KEEditChar KMFilterEditChar(const KSEditLimits& limits, uint32_t character, size_t textLength,
                            size_t selectionLength);

// The part of pasted text the control takes: characters that typing would
// drop are removed, and the rest is cut to the room the maximum length
// leaves once the selection is replaced.
std::string KMFilterPastedText(const KSEditLimits& limits, const std::string& text,
                               size_t textLength, size_t selectionLength);
