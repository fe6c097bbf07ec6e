// Test-only PNG writer: encodes pixels given by a formula with libpng, so
// every decoded pixel is known.
#pragma once

#include <png.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace testpng {

// colour type: PNG_COLOR_TYPE_RGB, _RGBA, _GRAY, _GRAY_ALPHA or _PALETTE;
// `pixel(x, y, channel)` gives each stored sample (palette: the index).
inline std::vector<uint8_t> Encode(uint32_t width, uint32_t height, int colourType, int bitDepth,
                                   const std::function<uint32_t(uint32_t, uint32_t, int)>& pixel,
                                   const std::vector<png_color>& palette = {}) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    const int channels = colourType == PNG_COLOR_TYPE_RGB          ? 3
                         : colourType == PNG_COLOR_TYPE_RGBA       ? 4
                         : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                   : 1;
    const size_t bytes = (size_t(width) * size_t(channels) * size_t(bitDepth) + 7) / 8;
    std::vector<uint8_t> row(bytes);
    for (uint32_t y = 0; y < height; ++y) {
        row.assign(bytes, 0);
        for (uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = pixel(x, y, c);
                if (bitDepth == 16) {
                    row[(x * channels + c) * 2] = uint8_t(v >> 8);
                    row[(x * channels + c) * 2 + 1] = uint8_t(v);
                } else if (bitDepth == 8) {
                    row[x * channels + c] = uint8_t(v);
                } else {
                    const size_t bit = size_t(x * channels + c) * bitDepth;
                    row[bit / 8] |= uint8_t(v << (8 - bitDepth - bit % 8));
                }
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The reference formula of the test images: 8-bit samples.
inline uint32_t Formula(uint32_t x, uint32_t y, int c) {
    switch (c) {
    case 0:
        return x & 0xFF;
    case 1:
        return y & 0xFF;
    case 2:
        return (x + 3 * y) & 0xFF;
    default:
        return (x * 7 + y) & 0xFF;
    }
}

} // namespace testpng
