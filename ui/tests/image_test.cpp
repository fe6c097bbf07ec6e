#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "png_writer.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/CKVImage.h"
#include "ui/KCImage.h"

namespace {

// Rows of an image made from the reference formula.
struct Pixels {
    Pixels(uint32_t w, uint32_t h, int channels) : data(size_t(w) * h * channels) {
        for (uint32_t y = 0; y < h; ++y) {
            rows.push_back(data.data() + size_t(y) * w * channels);
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < channels; ++c)
                    rows[y][x * channels + c] = uint8_t(testpng::Formula(x, y, c));
        }
    }
    std::vector<uint8_t> data;
    std::vector<uint8_t*> rows;
};

} // namespace

TEST(Images, PixelRecords) {
    Pixels src(4, 2, 4);
    ImageData packed(4, 2, 32, src.rows.data(), -1);
    EXPECT_EQ(packed.GetRawDataSize(), 32);
    ASSERT_NE(packed.GetRowPointers(), nullptr);
    EXPECT_EQ(packed.GetRowPointers()[1] - packed.GetRowPointers()[0], 16);
    EXPECT_EQ(std::memcmp(packed.GetRawData(), src.data.data(), 32), 0);

    ImageData block(4, 2, 32, src.rows.data(), 10);
    EXPECT_EQ(block.GetRawDataSize(), 10);
    EXPECT_EQ(block.GetRowPointers(), nullptr);
    EXPECT_EQ(std::memcmp(block.GetRawData(), src.data.data(), 10), 0);
    block.SetRawDataSize(-1);
    EXPECT_EQ(block.GetRawDataSize(), 32);

    KCImage rgb(3, 5, 24);
    EXPECT_EQ(rgb.BytesPerPixel(), 3);
    EXPECT_EQ(rgb.GetImageSize(), KCPoint<short>(3, 5));
    EXPECT_EQ(KCImage(1, 1, 1).BytesPerPixel(), 1);
    static_assert(!std::is_copy_constructible_v<ImageData>);
    static_assert(!std::is_copy_assignable_v<ImageData>);
}

TEST(Images, TilesAndAlpha) {
    Pixels src(1500, 700, 4);
    OGLImage image(1500, 700, 32, src.rows.data());
    EXPECT_EQ(image.GetColumns(), 2u);
    EXPECT_EQ(image.GetRows(), 1u);
    EXPECT_EQ(image.GetTexWidth(0), 1024u);
    EXPECT_EQ(image.GetTexWidth(1), 476u);
    EXPECT_EQ(image.GetTexHeight(0), 700u);
    EXPECT_EQ(KMPowerOfTwo(476), 512u);
    EXPECT_EQ(KMPowerOfTwo(700), 1024u);
    // Tile 1 holds pixel (1100, 5) at stride 512.
    const uint8_t* tile1 = image.GetTiles()[1];
    EXPECT_EQ(tile1[(76 + 5 * 512) * 4 + 0], testpng::Formula(1100, 5, 0));
    EXPECT_EQ(tile1[(475 + 699 * 512) * 4 + 3], testpng::Formula(1499, 699, 3));

    TexturedImage handle(image);
    EXPECT_EQ(handle.GetWidth(), 1500u);
    EXPECT_TRUE(handle.GetTextures().empty());
    EXPECT_EQ(handle.GetAlpha({1100, 5}), testpng::Formula(1100, 5, 3));
    EXPECT_EQ(handle.GetAlpha({1023, 0}), testpng::Formula(1023, 0, 3));
    EXPECT_EQ(handle.GetAlpha({-1, 0}), 0);
    EXPECT_EQ(handle.GetAlpha({1500, 0}), 0);
    EXPECT_EQ(handle.GetAlpha({0, 700}), 0);

    Pixels square(1024, 1024, 3);
    OGLImage one(1024, 1024, 24, square.rows.data());
    EXPECT_EQ(one.GetColumns(), 1u);
    EXPECT_EQ(one.GetRows(), 1u);
    EXPECT_EQ(one.GetTexWidth(0), 1024u);
    TexturedImage opaque(one);
    EXPECT_EQ(opaque.GetAlpha({5, 5}), 0);                // no alpha in a 24-bit image
    EXPECT_EQ(TexturedImage::GetImageDepth(24), 0x1907u); // GL_RGB
    EXPECT_EQ(TexturedImage::GetImageDepth(32), 0x1908u); // GL_RGBA
}

TEST(Images, PNGDecoding) {
    // 8-bit RGB and RGBA come out as stored.
    for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA}) {
        const auto bytes = testpng::Encode(37, 11, type, 8, testpng::Formula);
        KSDecodedPNG png;
        ASSERT_EQ(KMDecodePNG(bytes.data(), bytes.size(), png), eNoErr);
        const int channels = type == PNG_COLOR_TYPE_RGB ? 3 : 4;
        EXPECT_EQ(png.bitsPerPixel, channels * 8);
        EXPECT_EQ(png.width, 37u);
        Pixels expected(37, 11, channels);
        EXPECT_EQ(png.pixels, expected.data);
    }
    // Grey, palette and 16-bit images are expanded to 8-bit RGB(A).
    const auto grey = testpng::Encode(5, 3, PNG_COLOR_TYPE_GRAY, 8,
                                      [](uint32_t x, uint32_t y, int) { return x * 40 + y; });
    KSDecodedPNG g;
    ASSERT_EQ(KMDecodePNG(grey.data(), grey.size(), g), eNoErr);
    EXPECT_EQ(g.bitsPerPixel, 24);
    EXPECT_EQ(g.rows[2][4 * 3 + 0], 162);
    EXPECT_EQ(g.rows[2][4 * 3 + 2], 162);

    const std::vector<png_color> palette = {{10, 20, 30}, {40, 50, 60}};
    const auto indexed = testpng::Encode(
        9, 2, PNG_COLOR_TYPE_PALETTE, 1, [](uint32_t x, uint32_t, int) { return x & 1; }, palette);
    KSDecodedPNG p;
    ASSERT_EQ(KMDecodePNG(indexed.data(), indexed.size(), p), eNoErr);
    EXPECT_EQ(p.bitsPerPixel, 24);
    EXPECT_EQ(std::vector<uint8_t>(p.rows[1], p.rows[1] + 6),
              (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));

    const auto deep = testpng::Encode(2, 2, PNG_COLOR_TYPE_RGBA, 16,
                                      [](uint32_t x, uint32_t, int c) { return 0x1234 * (c + x); });
    KSDecodedPNG d;
    ASSERT_EQ(KMDecodePNG(deep.data(), deep.size(), d), eNoErr);
    EXPECT_EQ(d.bitsPerPixel, 32);
    EXPECT_EQ(d.rows[0][4 + 1], 0x24); // high byte of 0x2468

    // Broken input: a status, an empty result, nothing read past the bytes
    // (the copies below are exactly as long as they claim, for ASan).
    const auto good = testpng::Encode(64, 64, PNG_COLOR_TYPE_RGBA, 8, testpng::Formula);
    for (size_t cut : {size_t(0), size_t(7), size_t(8), size_t(33), size_t(60), good.size() / 2,
                       good.size() - 13}) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[std::max<size_t>(cut, 1)]);
        std::memcpy(copy.get(), good.data(), cut);
        KSDecodedPNG out;
        EXPECT_NE(KMDecodePNG(copy.get(), cut, out), eNoErr) << cut;
        EXPECT_TRUE(out.pixels.empty());
    }
    auto corrupt = good;
    corrupt[40] ^= 0xFF; // inside the header chunk: its CRC no longer matches
    KSDecodedPNG out;
    EXPECT_NE(KMDecodePNG(corrupt.data(), corrupt.size(), out), eNoErr);
    EXPECT_NE(KMDecodePNG(nullptr, 100, out), eNoErr);
}

TEST(Images, SidesBeyondSixteenBitsAreRefused) {
    struct Case {
        uint32_t width, height;
        bool accepted;
    };
    for (const Case& c : {Case{32767, 1, true}, Case{1, 32767, true}, Case{32768, 1, false},
                          Case{1, 32768, false}}) {
        const auto bytes = testpng::Encode(c.width, c.height, PNG_COLOR_TYPE_RGB, 8,
                                           [](uint32_t, uint32_t, int) { return 7u; });
        ASSERT_FALSE(bytes.empty());
        void* out = nullptr;
        unsigned long outSize = 0;
        const long err = kPNGTConvertFuncs.load(const_cast<uint8_t*>(bytes.data()), bytes.size(),
                                                out, outSize, nullptr);
        auto* image = static_cast<ImageData*>(out);
        if (c.accepted) {
            ASSERT_EQ(err, eNoErr) << c.width << "x" << c.height;
            EXPECT_EQ(image->GetImageSize(), KCPoint<short>(short(c.width), short(c.height)));
        } else {
            EXPECT_NE(err, eNoErr) << c.width << "x" << c.height;
            EXPECT_EQ(out, nullptr);
        }
        kPNGTConvertFuncs.release(out, nullptr);
    }
}

TEST(Images, NewPixelRecordsAreClearAndCountTheirBytesIn32Bits) {
    // Whatever the heap held before (the sanitizer build fills new blocks
    // with a pattern) never shows through.
    ImageData blank(32, 32, 32, -1);
    const uint8_t* raw = blank.GetRawData();
    EXPECT_TRUE(std::all_of(raw, raw + blank.GetRawDataSize(), [](uint8_t b) { return b == 0; }));
    // 32768 x 32768 x 4 bytes: more than the record's 32-bit count holds.
    EXPECT_THROW(ImageData(32768, 32768, 32, -1), std::bad_alloc);
}

TEST(Images, ConverterRecords) {
    auto bytes = testpng::Encode(3, 2, PNG_COLOR_TYPE_RGBA, 8, testpng::Formula);
    void* t = nullptr;
    void* n = nullptr;
    unsigned long size = 77;
    ASSERT_EQ(kPNGTConvertFuncs.load(bytes.data(), bytes.size(), t, size, nullptr), eNoErr);
    ASSERT_EQ(kPNGNConvertFuncs.load(bytes.data(), bytes.size(), n, size, nullptr), eNoErr);
    auto* ti = static_cast<ImageData*>(t);
    auto* ni = static_cast<ImageData*>(n);
    EXPECT_EQ(ti->GetRawDataSize(), 24);
    EXPECT_EQ(std::memcmp(ti->GetRawData(), ni->GetRawData(), 24), 0);
    EXPECT_EQ(ti->GetBitsPerPixel(), 32);
    void* saved = &size;
    unsigned long savedSize = 5;
    EXPECT_EQ(kPNGTConvertFuncs.save(t, 0, saved, savedSize, nullptr), eNoErr);
    EXPECT_EQ(saved, nullptr);
    EXPECT_EQ(savedSize, 0u);
    EXPECT_EQ(kPNGTConvertFuncs.release(t, nullptr), eNoErr);
    EXPECT_EQ(kPNGNConvertFuncs.release(n, nullptr), eNoErr);
    EXPECT_EQ(kPNGNConvertFuncs.release(nullptr, nullptr), eNoErr);

    void* o = &size;
    const std::vector<uint8_t> half(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
    EXPECT_NE(
        kPNGOConvertFuncs.load(const_cast<uint8_t*>(half.data()), half.size(), o, size, nullptr),
        eNoErr);
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(kPNGOConvertFuncs.code.Get(), KCFourCC(KV_FOURCC("PNGO")).Get());
}

TEST(Images, XMLImageDescriptions) {
    kvXML::CXMLElement element("Image", "");
    element.AddAttrib("ResID", "1200");
    element.push_back(new kvXML::CXMLElement("ResID", "1201"));
    CKVImage image;
    EXPECT_FALSE(image.IsValid());
    image.ReadFromXML(&element);
    EXPECT_EQ(image.GetResID(), 1201); // the child overrides the attribute
    EXPECT_TRUE(image.IsValid());
    image.UpdateBoundRect(KURect<short>(10, 20, 30, 60));
    EXPECT_EQ(image.GetPosition(), KCPoint<short>(20, 10));
    image.UpdatePosition(KCPoint<short>(100, 50));
    EXPECT_EQ(image.GetBoundRect(), KURect<short>(50, 100, 70, 140));

    kvXML::CXMLElement out("Image", "");
    CKVImage().WriteToXML(&out);
    EXPECT_TRUE(out.GetAttribVec().empty()); // a default image writes nothing
    image.WriteToXML(&out);
    long id = 0;
    ASSERT_TRUE(out.GetAttrib("ResID", id));
    EXPECT_EQ(id, 1201);

    // Without a hatch nothing is loaded, and no display is needed.
    CGraphicManagerAbs manager(nullptr);
    EXPECT_EQ(manager.GetRendererFlags(), 0u);
    EXPECT_EQ(image.GetImageSize(manager), KCPoint<short>(0, 0));
    EXPECT_EQ(image.GetWidth(manager), 0);
    EXPECT_FALSE(image.IsTextureLoaded());
    CKVImageContainer list;
    EXPECT_EQ(list.LoadBitmap(65535, nullptr), 0);
    ASSERT_EQ(list.GetImageVecSize(), 1);
    EXPECT_EQ((*list.GetImageVec())[0].GetResID(), -1);
    EXPECT_EQ((*list.GetImageVec())[0].GetImageRef(), nullptr);
    static_assert(!std::is_copy_constructible_v<CGraphicManagerAbs>);
    static_assert(!std::is_copy_assignable_v<CGraphicManagerAbs>);
}
