// Vertex buffer objects over a caller's vertex array.
#include "ui/OGL_VBO.h"

#include <GL/gl.h>

#include "ui/GMRenderer.h"

namespace {

constexpr uint32_t kArrayBuffer = 0x8892;
constexpr uint32_t kDynamicDraw = 0x88E8;
constexpr intptr_t kVertexBytes = sizeof(KCPoint<float>);
static_assert(kVertexBytes == 8);

} // namespace

bool KMClipRange(unsigned long count, unsigned long& first, unsigned long& n) {
    if (first >= count || n == 0)
        return false;
    if (n > count - first)
        n = count - first;
    return true;
}

OGL_VBO::OGL_VBO(const KCPoint<float>* v, unsigned long c)
    : vertices(v), count(v != nullptr ? static_cast<uint32_t>(c) : 0) {}

void OGL_VBO::Update(unsigned long first, unsigned long n) {
    const KSBufferEntryPoints& gl = GMBufferEntryPoints();
    if (gl.genBuffers == nullptr || gl.bindBuffer == nullptr || gl.bufferData == nullptr ||
        gl.bufferSubData == nullptr)
        return;
    if (buffer == 0) {
        gl.genBuffers(1, &buffer);
        if (buffer == 0)
            return;
        gl.bindBuffer(kArrayBuffer, buffer);
        gl.bufferData(kArrayBuffer, intptr_t(count) * kVertexBytes, vertices, kDynamicDraw);
        return;
    }
    gl.bindBuffer(kArrayBuffer, buffer);
    if (KMClipRange(count, first, n))
        gl.bufferSubData(kArrayBuffer, intptr_t(first) * kVertexBytes, intptr_t(n) * kVertexBytes,
                         vertices + first);
}

void OGL_VBO::Draw(unsigned long first, unsigned long n) {
    const KSBufferEntryPoints& gl = GMBufferEntryPoints();
    if (gl.bindBuffer == nullptr)
        return;
    if (buffer != 0)
        gl.bindBuffer(kArrayBuffer, buffer);
    else
        Update(first, n);
    if (buffer == 0 || !KMClipRange(count, first, n))
        return;
    glVertexPointer(2, GL_FLOAT, 0, nullptr);
    glDrawArrays(GL_LINE_STRIP, GLint(first), GLsizei(n));
}

void OGL_VBO::Release() {
    const KSBufferEntryPoints& gl = GMBufferEntryPoints();
    if (buffer != 0 && gl.deleteBuffers != nullptr)
        gl.deleteBuffers(1, &buffer);
    buffer = 0;
}
