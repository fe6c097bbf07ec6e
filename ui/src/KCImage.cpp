// Pixel records, tiled images and their textures, native bitmaps.
#include "ui/KCImage.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/rawbmp.h>

uint32_t KMPowerOfTwo(uint32_t n) {
    uint32_t p = 1;
    while (p < n && p < 0x80000000u)
        p <<= 1;
    return p;
}

// --- ImageData ---------------------------------------------------------------

long ImageData::Allocate(long size) {
    const long natural = long(width) * long(height) * BytesPerPixel();
    if (size < 0)
        size = natural;
    // The size is kept as a 32-bit count.
    if (size > long(INT32_MAX))
        throw std::bad_alloc();
    // Cleared: pixels nothing was drawn into never show old memory.
    rawData = new uint8_t[size_t(std::max(size, 1L))]();
    rawDataSize = static_cast<int32_t>(size);
    if (size == natural) {
        rowPointers = new uint8_t*[std::max<uint32_t>(height, 1)];
        const size_t stride = size_t(width) * size_t(BytesPerPixel());
        for (uint32_t y = 0; y < height; ++y)
            rowPointers[y] = rawData + y * stride;
    }
    return size;
}

ImageData::ImageData(int w, int h, long bits, uint8_t** sourceRows, long size)
    : KCImage(w, h, bits) {
    size = Allocate(size);
    if (sourceRows == nullptr)
        return;
    if (rowPointers != nullptr) {
        const size_t stride = size_t(width) * size_t(BytesPerPixel());
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(rowPointers[y], sourceRows[y], stride);
    } else if (size > 0) {
        std::memcpy(rawData, sourceRows[0], size_t(size));
    }
}

ImageData::ImageData(int w, int h, long bits, long size) : KCImage(w, h, bits) {
    Allocate(size);
}

ImageData::~ImageData() {
    delete[] rawData;
    delete[] rowPointers;
}

void ImageData::SetRawDataSize(long size) {
    rawDataSize =
        static_cast<int32_t>(size < 0 ? long(width) * long(height) * BytesPerPixel() : size);
}

// --- OGLImage ------------------------------------------------------------------

namespace {

uint32_t TileSide(uint32_t index, uint32_t count, uint32_t whole) {
    if (index + 1 == count && whole % kImageTileSize != 0)
        return whole % kImageTileSize;
    return kImageTileSize;
}

uint32_t TileCount(uint32_t whole) {
    return (whole + kImageTileSize - 1) / kImageTileSize;
}

} // namespace

OGLImage::OGLImage(int w, int h, long bits, uint8_t** sourceRows)
    : KCImage(w, h, bits), columns(TileCount(width)), rows(TileCount(height)) {
    try {
        for (uint32_t r = 0; r < rows; ++r) {
            for (uint32_t c = 0; c < columns; ++c) {
                KURect<short> tile;
                tile.SetTopLeftWidthHeight(short(r * kImageTileSize), short(c * kImageTileSize),
                                           short(GetTexWidth(c)), short(GetTexHeight(r)));
                tiles.push_back(CreateSubImage(sourceRows, tile));
            }
        }
    } catch (...) {
        for (uint8_t* t : tiles)
            delete[] t;
        throw;
    }
}

OGLImage::~OGLImage() {
    for (uint8_t* t : tiles)
        delete[] t;
}

uint8_t* OGLImage::CreateSubImage(uint8_t** sourceRows, const KURect<short>& tile) const {
    const uint32_t w = uint32_t(tile.Width()), h = uint32_t(tile.Height());
    const size_t bpp = size_t(BytesPerPixel());
    const size_t stride = KMPowerOfTwo(w) * bpp;
    auto* buffer = new uint8_t[stride * KMPowerOfTwo(h)];
    if (sourceRows == nullptr)
        return buffer;
    for (uint32_t i = 0; i < h; ++i)
        std::memcpy(buffer + i * stride, sourceRows[uint32_t(tile.top) + i] + tile.left * bpp,
                    w * bpp);
    return buffer;
}

uint32_t OGLImage::GetTexWidth(uint32_t column) const {
    return TileSide(column, columns, width);
}

uint32_t OGLImage::GetTexHeight(uint32_t row) const {
    return TileSide(row, rows, height);
}

// --- TexturedImage -------------------------------------------------------------

TexturedImage::TexturedImage(OGLImage& image)
    : KCImage(image), oglImage(&image), columns(image.GetColumns()), rows(image.GetRows()) {}

uint32_t TexturedImage::GetImageDepth(int32_t bits) {
    return bits == 24 ? GL_RGB : GL_RGBA;
}

uint32_t TexturedImage::SaveTexture(uint32_t column, uint32_t row, const uint8_t* data) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(KMPowerOfTwo(GetTexWidth(column))),
                 GLsizei(KMPowerOfTwo(GetTexHeight(row))), 0, GetImageDepth(bitsPerPixel),
                 GL_UNSIGNED_BYTE, data);
    return name;
}

void TexturedImage::DrawTexture(uint32_t name, uint32_t column, uint32_t row,
                                const KURect<double>& d, const KURect<short>& t) {
    const double W = KMPowerOfTwo(GetTexWidth(column));
    const double H = KMPowerOfTwo(GetTexHeight(row));
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glBegin(GL_QUADS);
    glTexCoord2d(t.left / W, t.top / H);
    glVertex2d(d.left, d.top);
    glTexCoord2d(t.left / W, t.bottom / H);
    glVertex2d(d.left, d.bottom);
    glTexCoord2d(t.right / W, t.bottom / H);
    glVertex2d(d.right, d.bottom);
    glTexCoord2d(t.right / W, t.top / H);
    glVertex2d(d.right, d.top);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void TexturedImage::Draw(const KURect<short>& destination, const KURect<short>& part) {
    if (glXGetCurrentContext() == nullptr || width == 0 || height == 0)
        return;
    if (textures.empty()) {
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < columns; ++c)
                textures.push_back(SaveTexture(c, r, oglImage->GetTiles()[c + columns * r]));
    }
    const double sx = double(destination.Width()) / width;
    const double sy = double(destination.Height()) / height;
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            const int tileLeft = int(c * kImageTileSize), tileTop = int(r * kImageTileSize);
            const int tileRight = tileLeft + int(GetTexWidth(c));
            const int tileBottom = tileTop + int(GetTexHeight(r));
            if (!(part.left < tileRight && part.top < tileBottom && tileLeft < part.right &&
                  tileTop < part.bottom))
                continue;
            const int top = std::max<int>(tileTop, part.top);
            const int bottom = std::min<int>(tileBottom, part.bottom);
            const int left = std::max<int>(tileLeft, part.left);
            const int right = std::min<int>(tileRight, part.right);
            KURect<double> piece;
            piece.left = destination.left + (left - part.left) * sx;
            piece.top = destination.top + (top - part.top) * sy;
            piece.right = piece.left + (right - left) * sx;
            piece.bottom = piece.top + (bottom - top) * sy;
            const KURect<short> texture(short(top - tileTop), short(left - tileLeft),
                                        short(bottom - tileTop), short(right - tileLeft));
            DrawTexture(textures[c + columns * r], c, r, piece, texture);
        }
    }
}

void TexturedImage::Draw(const KCPoint<short>& where, const KURect<short>& part) {
    const KURect<short> destination(where.y, where.x, short(where.y + height),
                                    short(where.x + width));
    Draw(destination, part);
}

uint8_t TexturedImage::GetAlpha(const KCPoint<short>& p) const {
    if (BytesPerPixel() != 4 || p.x < 0 || p.y < 0 || uint32_t(p.x) >= width ||
        uint32_t(p.y) >= height)
        return 0;
    const uint32_t c = uint32_t(p.x) / kImageTileSize, r = uint32_t(p.y) / kImageTileSize;
    const uint8_t* tile = oglImage->GetTiles()[c + columns * r];
    const size_t W = KMPowerOfTwo(GetTexWidth(c));
    const size_t offset = ((p.x % kImageTileSize) + (p.y % kImageTileSize) * W) * 4 + 3;
    return tile[offset];
}

void TexturedImage::ReleaseTextures() {
    if (glXGetCurrentContext() == nullptr)
        return;
    for (uint32_t name : textures)
        if (glIsTexture(name))
            glDeleteTextures(1, &name);
    textures.clear();
}

// --- native images -------------------------------------------------------------

NativeImageWx::~NativeImageWx() {
    delete bitmap;
}

KTErr NativeImageWx::CreateFromImageData(const KCWindow&, const ImageData& image) {
    const int w = int(image.GetWidth()), h = int(image.GetHeight());
    const int bpp = image.BytesPerPixel();
    if (w <= 0 || h <= 0 || (bpp != 3 && bpp != 4) || image.GetRowPointers() == nullptr)
        return eGMInvalidImage;
    const bool alpha = bpp == 4;
    auto made = std::make_unique<wxBitmap>(w, h, alpha ? 32 : 24);
    if (!made->IsOk())
        return eMemNewFailed;
    bool written = false;
    if (alpha) {
        wxAlphaPixelData data(*made);
        if (data) {
            wxAlphaPixelData::Iterator row(data);
            for (int y = 0; y < h; ++y, row.OffsetY(data, 1)) {
                wxAlphaPixelData::Iterator p = row;
                const uint8_t* src = image.GetRowPointers()[y];
                for (int x = 0; x < w; ++x, ++p, src += 4) {
                    p.Red() = src[0];
                    p.Green() = src[1];
                    p.Blue() = src[2];
                    p.Alpha() = src[3];
                }
            }
            written = true;
        }
    } else {
        wxNativePixelData data(*made);
        if (data) {
            wxNativePixelData::Iterator row(data);
            for (int y = 0; y < h; ++y, row.OffsetY(data, 1)) {
                wxNativePixelData::Iterator p = row;
                const uint8_t* src = image.GetRowPointers()[y];
                for (int x = 0; x < w; ++x, ++p, src += 3) {
                    p.Red() = src[0];
                    p.Green() = src[1];
                    p.Blue() = src[2];
                }
            }
            written = true;
        }
    }
    if (!written)
        return eGenericSystemError;
    delete bitmap;
    bitmap = made.release();
    return eNoErr;
}

KCNativeImage::KCNativeImage() : image(new NativeImageWx()) {}

KCNativeImage::~KCNativeImage() {
    delete image;
}

KTErr KCNativeImage::CreateFromImageData(const KCWindow& window, const ImageData& data) {
    return image->CreateFromImageData(window, data);
}

void* KCNativeImage::GetNativeHandle() {
    return image->GetNativeHandle();
}
