// Vertex buffers over a caller's array of 2-D float vertices, and line
// stipple patterns.
#pragma once

#include <cstdint>

#include "foundation/KURect.h"

// Keeps the caller's array (not owned, not copied) in an OpenGL buffer
// object: the whole array is sent once, afterwards only changed ranges. Needs
// the window's rendering context current and the buffer entry points bound by
// the renderer probe. Ranges are clipped to the array.
class OGL_VBO {
public:
    OGL_VBO(const KCPoint<float>* vertices, unsigned long count);
    OGL_VBO(const OGL_VBO&) = delete;
    OGL_VBO& operator=(const OGL_VBO&) = delete;
    virtual ~OGL_VBO() = default;

    void Update(unsigned long first, unsigned long n);
    // Draws vertices first .. first + n - 1 as a line strip.
    void Draw(unsigned long first, unsigned long n);
    void Release();
    uint32_t GetBuffer() const { return buffer; }
    uint32_t GetCount() const { return count; }

private:
    const KCPoint<float>* vertices;
    uint32_t buffer = 0;
    uint32_t count;
};

class KCLinePattern {
public:
    KCLinePattern() = default;
    KCLinePattern(unsigned short p, int f) : pattern(p), factor(f) {}
    KCLinePattern(const KCLinePattern&) = default;
    KCLinePattern& operator=(const KCLinePattern&) = default;
    virtual ~KCLinePattern() = default;

    unsigned short GetPattern() const { return pattern; }
    int GetFactor() const { return factor; }
    void SetPattern(unsigned short p) { pattern = p; }
    void SetFactor(int f) { factor = f; }

private:
    uint16_t pattern = 0xFFFF;
    int32_t factor = 1;
};

// Clips the range (first, n) to an array of `count` elements: false when
// nothing of it lies inside.
bool KMClipRange(unsigned long count, unsigned long& first, unsigned long& n);
