// Visibility of the GUI library's interface: everything the plug-in calls is
// exported with default visibility; the library's own copies of the
// foundation's internals stay private.
#pragma once

#define QGL_API __attribute__((visibility("default")))

#include <cstdint>

// The 32-bit code of four characters, the first in the most significant byte.
constexpr uint32_t QGLFourCC(const char* s) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[3]));
}
