// PNG decoding with libpng, bounded by the resource's bytes.
//
// libpng reports errors with longjmp: the part that runs under setjmp keeps
// only plain data (malloc'd buffers) so that no C++ object is skipped over.
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ui/KCImage.h"

namespace {

// Image sides are 16-bit signed values (KCImage::GetImageSize), and the
// pixel records count their bytes in 32 bits.
constexpr uint32_t kMaxSide = 32767;
constexpr size_t kMaxBytes = INT32_MAX;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position)
        png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Plain result of the decoding step.
struct Raw {
    uint32_t width;
    uint32_t height;
    int channels;
    uint8_t* pixels; // malloc'd, height x width x channels
};

void AskForEightBitRGB(png_structp png, png_infop info) {
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// 0, or 1 for a PNG libpng refused, 2 for pixels that cannot be had (more
// bytes than a pixel record counts, or the heap refused them).
int DecodeRaw(png_structp png, png_infop info, png_infop end, Raw* raw) {
    uint8_t* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(pixels);
        std::free(rows);
        return 1;
    }
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    AskForEightBitRGB(png, info);
    const uint32_t width = png_get_image_width(png, info);
    const uint32_t height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if ((channels != 3 && channels != 4) || rowBytes != size_t(width) * size_t(channels) ||
        width == 0 || height == 0)
        png_error(png, "unexpected layout");
    if (rowBytes * height > kMaxBytes)
        return 2;
    pixels = static_cast<uint8_t*>(std::malloc(rowBytes * height));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (pixels == nullptr || rows == nullptr) {
        std::free(pixels);
        std::free(rows);
        return 2;
    }
    for (uint32_t y = 0; y < height; ++y)
        rows[y] = pixels + size_t(y) * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, end);
    std::free(rows);
    raw->width = width;
    raw->height = height;
    raw->channels = channels;
    raw->pixels = pixels;
    return 0;
}

} // namespace

KTErr KMDecodePNG(const void* data, unsigned long size, KSDecodedPNG& out) {
    out = KSDecodedPNG();
    if (data == nullptr || size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0)
        return eGMInvalidImage;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png == nullptr)
        return eMemNullPointer;
    png_infop info = png_create_info_struct(png);
    png_infop end = info ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || end == nullptr) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return eMemNullPointer;
    }
    Reader reader{static_cast<const uint8_t*>(data), size, 0};
    png_set_read_fn(png, &reader, ReadBytes);
    Raw raw{};
    const int result = DecodeRaw(png, info, end, &raw);
    png_destroy_read_struct(&png, &info, &end);
    if (result != 0)
        return result == 2 ? eMemNewFailed : eGMInvalidImage;
    try {
        const size_t rowBytes = size_t(raw.width) * size_t(raw.channels);
        out.width = raw.width;
        out.height = raw.height;
        out.bitsPerPixel = raw.channels * 8;
        out.pixels.assign(raw.pixels, raw.pixels + rowBytes * raw.height);
        std::free(raw.pixels);
        raw.pixels = nullptr;
        out.rows.resize(raw.height);
        for (uint32_t y = 0; y < raw.height; ++y)
            out.rows[y] = out.pixels.data() + y * rowBytes;
    } catch (const std::bad_alloc&) {
        std::free(raw.pixels);
        out = KSDecodedPNG();
        return eMemNewFailed;
    }
    return eNoErr;
}

// --- converter records --------------------------------------------------------

namespace {

long DecodeToImageData(void* in, unsigned long inSize, void*& out) {
    out = nullptr;
    KSDecodedPNG png;
    if (KTErr err = KMDecodePNG(in, inSize, png); err != eNoErr)
        return err;
    try {
        out = new ImageData(int(png.width), int(png.height), png.bitsPerPixel, png.rows.data(), -1);
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    }
    return eNoErr;
}

long WriteNothing(void*, unsigned long, void*& out, unsigned long& outSize, void*) {
    out = nullptr;
    outSize = 0;
    return eNoErr;
}

} // namespace

long PNGResToTextureImageDataConvert(void* in, unsigned long inSize, void*& out, unsigned long&,
                                     void*) {
    return DecodeToImageData(in, inSize, out);
}

long PNGResToNativeImageDataConvert(void* in, unsigned long inSize, void*& out, unsigned long&,
                                    void*) {
    return DecodeToImageData(in, inSize, out);
}

long ImageDataToPNGResConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                              void* user) {
    return WriteNothing(in, inSize, out, outSize, user);
}

long ImageDataRelease(void* data, void*) {
    delete static_cast<ImageData*>(data);
    return eNoErr;
}

long OGLImageToPNGResConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                             void* user) {
    return WriteNothing(in, inSize, out, outSize, user);
}

long OGLImageRelease(void* data, void*) {
    delete static_cast<OGLImage*>(data);
    return eNoErr;
}

long PNGResToOGLImageConvertor::PNGResToOGLImageConvert(void* in, unsigned long inSize, void*& out,
                                                        unsigned long&, void*) {
    out = nullptr;
    KSDecodedPNG png;
    if (KTErr err = KMDecodePNG(in, inSize, png); err != eNoErr)
        return err;
    try {
        out = new OGLImage(int(png.width), int(png.height), png.bitsPerPixel, png.rows.data());
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    }
    return eNoErr;
}

const KSResConvertFuncs kPNGOConvertFuncs = {PNGResToOGLImageConvertor::PNGResToOGLImageConvert,
                                             OGLImageToPNGResConvert, OGLImageRelease, nullptr,
                                             KCFourCC(KV_FOURCC("PNGO"))};
const KSResConvertFuncs kPNGTConvertFuncs = {PNGResToTextureImageDataConvert,
                                             ImageDataToPNGResConvert, ImageDataRelease, nullptr,
                                             KCFourCC(KV_FOURCC("PNGT"))};
const KSResConvertFuncs kPNGNConvertFuncs = {PNGResToNativeImageDataConvert,
                                             ImageDataToPNGResConvert, ImageDataRelease, nullptr,
                                             KCFourCC(KV_FOURCC("PNGN"))};

namespace {

constexpr KCFourCC kPNGType{KV_FOURCC("PNG_")};

template <typename T>
KTErr GetConverted(KTResContainerType* container, short number, T*& out,
                   const KSResConvertFuncs* funcs, KTResourceType*& resource) {
    out = nullptr;
    resource = nullptr;
    if (KTErr err = RMGetAResource(container, kPNGType, number, resource, funcs); err != eNoErr)
        return err;
    void* data = nullptr;
    if (KTErr err = RMGetResData(resource, data); err != eNoErr || data == nullptr) {
        RMReleaseResource(resource);
        return err != eNoErr ? err : eGMInvalidImage;
    }
    out = static_cast<T*>(data);
    return eNoErr;
}

} // namespace

KTErr KCImageDataResUtils::GetImageFromResource(KTResContainerType* container, short number,
                                                ImageData*& out, bool forTexture) {
    KTResourceType* resource = nullptr;
    const KTErr err = GetConverted(container, number, out,
                                   forTexture ? &kPNGTConvertFuncs : &kPNGNConvertFuncs, resource);
    if (err == eNoErr)
        out->SetResRef(resource);
    return err;
}

KTErr KCImageDataResUtils::ReleaseImageFromResource(ImageData*& image) {
    if (image == nullptr)
        return eMemNullPointer;
    KTResourceType* resource = image->GetResRef();
    image = nullptr;
    return RMReleaseResource(resource);
}

KTErr PNGResToOGLImageConvertor::GetImageFromResource(KTResContainerType* container, short number,
                                                      OGLImage*& out) {
    KTResourceType* resource = nullptr;
    const KTErr err = GetConverted(container, number, out, &kPNGOConvertFuncs, resource);
    if (err == eNoErr)
        out->SetResRef(resource);
    return err;
}

KTErr PNGResToOGLImageConvertor::ReleaseImageFromResource(OGLImage*& image) {
    if (image == nullptr)
        return eMemNullPointer;
    KTResourceType* resource = image->GetResRef();
    image = nullptr;
    return RMReleaseResource(resource);
}
