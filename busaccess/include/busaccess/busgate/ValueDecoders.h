// Readable values of command parameters and data words. Each writes its
// value text to the sink: values in colour 7, faults in colour 3.
#pragma once

#include "busaccess/busgate/CommandTable.h"
#include "busaccess/busgate/FilterLog.h"

#include <cstdint>

namespace busgate {

inline constexpr int kColourBlack = 1;
inline constexpr int kColourGreen = 2;
inline constexpr int kColourRed = 3;
inline constexpr int kColourBlue = 4;
inline constexpr int kColourValue = 7;

inline constexpr int kMixerGains = 17;
extern const char* const kMixerGainNames[kMixerGains];

// The value text of a command's own parameter P = b0 << 8 | b2, for the
// decoders that print one (true), or nothing (false).
bool DecodeParameterValue(Dec decoder, uint8_t b0, uint8_t b2, CFilterLog& log);

// Extended words. k is the word's position after its command.
void DecodePeqWord(uint32_t k, uint8_t x, CFilterLog& log);
void DecodeAeqWord(uint32_t k, CFilterLog& log);
// Returns the gain text for mixer gain k from word w.
void DecodeMixerWord(uint32_t k, uint32_t w, CFilterLog& log);

// The fields of an SSI setting (P = b0 << 8 | b2).
void DecodeSsiFields(uint16_t p, CFilterLog& log);

// Register words: the " // ==> ... \n " text of one word.
struct RegisterContext {
    uint32_t chipTypeCode = 0;
    uint32_t chipHardware = 0;
};
void DecodeRegisterWord(Ext decoder, const uint8_t word[3], const RegisterContext& context,
                        CFilterLog& log);

// True for a QZ625x-family chip type code (no bit outside 0x38; 0 counts).
constexpr bool IsQZ625xFamily(uint32_t chipTypeCode) {
    return (chipTypeCode & ~0x38u) == 0;
}

} // namespace busgate
