// Images: decoded PNG resources as pixel records (ImageData), as textures cut
// into tiles of at most 1024 x 1024 pixels (OGLImage, TexturedImage), and as
// native bitmaps for menus (KCNativeImage).
//
// PNG resources (type 'PNG_') are decoded by the resource manager through the
// converter records 'PNGO', 'PNGT' and 'PNGN'. 8-bit RGB and RGBA images are
// taken as stored; palette, grey and 16-bit images are expanded to 8-bit RGB
// or RGBA while decoding, so every decoded image has 24 or 32 bits per pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/KTErr.h"
#include "foundation/KURect.h"
#include "foundation/RM.h"

class KCWindow;
class wxBitmap;

class KCImage {
public:
    KCImage(int width, int height, long bitsPerPixel)
        : width(static_cast<uint32_t>(width)), height(static_cast<uint32_t>(height)),
          bitsPerPixel(static_cast<int32_t>(bitsPerPixel)) {}
    KCImage(const KCImage&) = default;
    KCImage& operator=(const KCImage&) = default;
    virtual ~KCImage() = default;

    uint32_t GetWidth() const { return width; }
    uint32_t GetHeight() const { return height; }
    int32_t GetBitsPerPixel() const { return bitsPerPixel; }
    int32_t BytesPerPixel() const { return (bitsPerPixel + 7) / 8; }
    KCPoint<short> GetImageSize() const {
        return KCPoint<short>(static_cast<short>(width), static_cast<short>(height));
    }

protected:
    uint32_t width;
    uint32_t height;
    int32_t bitsPerPixel;
};

// Pixels packed row after row, top row first. Owns its buffers and is never
// copied.
class ImageData : public KCImage {
public:
    // size < 0: width x height x bytes per pixel. When the size is that, the
    // source rows are copied into place and row pointers made; otherwise
    // `size` bytes are copied from the first source row as one block.
    ImageData(int width, int height, long bitsPerPixel, uint8_t** sourceRows, long size);
    // The same without copying (the pixels are cleared to 0). A size that
    // does not fit in 32 bits throws std::bad_alloc, as a failed allocation.
    ImageData(int width, int height, long bitsPerPixel, long size);
    ImageData(const ImageData&) = delete;
    ImageData& operator=(const ImageData&) = delete;
    ~ImageData() override;

    uint8_t* GetRawData() const { return rawData; }
    int32_t GetRawDataSize() const { return rawDataSize; }
    // A negative value means width x height x bytes per pixel; the buffer is
    // not reallocated.
    void SetRawDataSize(long size);
    uint8_t** GetRowPointers() const { return rowPointers; }
    KTResourceType* GetResRef() const { return resRef; }
    void SetResRef(KTResourceType* r) { resRef = r; }

private:
    long Allocate(long size);

    uint8_t** rowPointers = nullptr;
    uint8_t* rawData = nullptr;
    int32_t rawDataSize = 0;
    KTResourceType* resRef = nullptr;
};

// The largest side of one texture tile.
constexpr uint32_t kImageTileSize = 1024;
// The smallest power of two (at least 1) not below `n`.
uint32_t KMPowerOfTwo(uint32_t n);

// A decoded image cut into tiles; each tile buffer has power-of-two sides and
// holds the tile's rows at a stride of its power-of-two width.
class OGLImage : public KCImage {
public:
    OGLImage(int width, int height, long bitsPerPixel, uint8_t** sourceRows);
    OGLImage(const OGLImage&) = delete;
    OGLImage& operator=(const OGLImage&) = delete;
    ~OGLImage() override;

    uint8_t* CreateSubImage(uint8_t** sourceRows, const KURect<short>& tile) const;
    uint32_t GetTexWidth(uint32_t column) const;
    uint32_t GetTexHeight(uint32_t row) const;
    uint32_t GetColumns() const { return columns; }
    uint32_t GetRows() const { return rows; }
    const std::vector<uint8_t*>& GetTiles() const { return tiles; }
    KTResourceType* GetResRef() const { return resRef; }
    void SetResRef(KTResourceType* r) { resRef = r; }

private:
    uint32_t columns = 0;
    uint32_t rows = 0;
    std::vector<uint8_t*> tiles;
    KTResourceType* resRef = nullptr;
};

// The graphics manager's image handle: the textures of an OGLImage's tiles,
// made on the first draw with a current rendering context.
class TexturedImage : public KCImage {
public:
    explicit TexturedImage(OGLImage& image);
    TexturedImage(const TexturedImage&) = delete;
    TexturedImage& operator=(const TexturedImage&) = delete;
    ~TexturedImage() override = default;

    // Draws the part (image coordinates) scaled by destination / whole image
    // with the part's corner at the destination's corner.
    void Draw(const KURect<short>& destination, const KURect<short>& part);
    void Draw(const KCPoint<short>& where, const KURect<short>& part);
    // The alpha of a pixel of a 32-bit image; 0 outside or for other depths.
    uint8_t GetAlpha(const KCPoint<short>& point) const;
    void ReleaseTextures();
    uint32_t SaveTexture(uint32_t column, uint32_t row, const uint8_t* data);
    void DrawTexture(uint32_t name, uint32_t column, uint32_t row,
                     const KURect<double>& destination, const KURect<short>& texture);
    static uint32_t GetImageDepth(int32_t bits);
    OGLImage* GetOGLImage() const { return oglImage; }
    uint32_t GetTexWidth(uint32_t column) const { return oglImage->GetTexWidth(column); }
    uint32_t GetTexHeight(uint32_t row) const { return oglImage->GetTexHeight(row); }
    const std::vector<uint32_t>& GetTextures() const { return textures; }

private:
    OGLImage* oglImage;
    std::vector<uint32_t> textures;
    uint32_t columns;
    uint32_t rows;
};

// A native image: on this platform a 32-bit bitmap of the toolkit.
class NativeImageAbs {
public:
    NativeImageAbs() = default;
    NativeImageAbs(const NativeImageAbs&) = delete;
    NativeImageAbs& operator=(const NativeImageAbs&) = delete;
    virtual ~NativeImageAbs() = default;
    virtual KTErr CreateFromImageData(const KCWindow& window, const ImageData& image) = 0;
    virtual void* GetNativeHandle() = 0;
};

class NativeImageWx : public NativeImageAbs {
public:
    NativeImageWx() = default;
    ~NativeImageWx() override;
    // 32-bit images keep their alpha; 24-bit images become opaque bitmaps
    // without alpha.
    KTErr CreateFromImageData(const KCWindow& window, const ImageData& image) override;
    // The wxBitmap*, null until created.
    void* GetNativeHandle() override { return bitmap; }

private:
    wxBitmap* bitmap = nullptr;
};

class KCNativeImage {
public:
    KCNativeImage();
    KCNativeImage(const KCNativeImage&) = delete;
    KCNativeImage& operator=(const KCNativeImage&) = delete;
    ~KCNativeImage();
    KTErr CreateFromImageData(const KCWindow& window, const ImageData& image);
    void* GetNativeHandle();

private:
    NativeImageAbs* image;
};

// --- PNG resources ----------------------------------------------------------

long PNGResToTextureImageDataConvert(void* in, unsigned long inSize, void*& out,
                                     unsigned long& outSize, void* userData);
long PNGResToNativeImageDataConvert(void* in, unsigned long inSize, void*& out,
                                    unsigned long& outSize, void* userData);
long ImageDataToPNGResConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                              void* userData);
long ImageDataRelease(void* data, void* userData);
long OGLImageToPNGResConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                             void* userData);
long OGLImageRelease(void* data, void* userData);

extern const KSResConvertFuncs kPNGOConvertFuncs; // 'PNGO': OGLImage
extern const KSResConvertFuncs kPNGTConvertFuncs; // 'PNGT': ImageData for textures
extern const KSResConvertFuncs kPNGNConvertFuncs; // 'PNGN': ImageData for native images

class KCImageDataResUtils {
public:
    static long PNGResToTextureImageDataConvert(void* in, unsigned long inSize, void*& out,
                                                unsigned long& outSize, void* userData) {
        return ::PNGResToTextureImageDataConvert(in, inSize, out, outSize, userData);
    }
    static long PNGResToNativeImageDataConvert(void* in, unsigned long inSize, void*& out,
                                               unsigned long& outSize, void* userData) {
        return ::PNGResToNativeImageDataConvert(in, inSize, out, outSize, userData);
    }
    // out := the decoded image of PNG resource `number`, holding one reference
    // on the resource; null with the manager's status on failure.
    static KTErr GetImageFromResource(KTResContainerType* container, short number, ImageData*& out,
                                      bool forTexture);
    static KTErr ReleaseImageFromResource(ImageData*& image);
};

class PNGResToOGLImageConvertor {
public:
    static long PNGResToOGLImageConvert(void* in, unsigned long inSize, void*& out,
                                        unsigned long& outSize, void* userData);
    static KTErr GetImageFromResource(KTResContainerType* container, short number, OGLImage*& out);
    static KTErr ReleaseImageFromResource(OGLImage*& image);
};

// Decoded pixels of a PNG: 8-bit RGB (24) or RGBA (32), rows packed top
// first. A non-zero status for bytes that are not a complete, valid PNG.
struct KSDecodedPNG {
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t bitsPerPixel = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t*> rows;
};
KTErr KMDecodePNG(const void* data, unsigned long size, KSDecodedPNG& out);
