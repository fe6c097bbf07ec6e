// Rendering contexts, the graphic manager, images, vertex buffers and text on
// a real GLX window (llvmpipe under Xvfb), checked by reading pixels back
// from the back buffer before the swap.
#include <array>
#include <cmath>
#include <memory>

#include <wx/glcanvas.h>
#include <wx/toplevel.h>

#include "display_harness.h"
#include "png_container.h"
#include "png_writer.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/CKVImage.h"
#include "ui/GMRenderer.h"
#include "ui/KMWindowManager.h"

// After the test framework: X11 defines names such as None.
#include <GL/gl.h>
#include <GL/glx.h>

using display::Log;
using R = KURect<short>;
using P = KCPoint<short>;

namespace {

using Pixel = std::array<uint8_t, 4>;

// Window height of the drawing windows of these tests.
constexpr int kHeight = 200;
constexpr int kWidth = 300;

Pixel Read(int x, int y, int windowHeight = kHeight) {
    Pixel p{};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, windowHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
}

Pixel RGB(int x, int y) {
    Pixel p = Read(x, y);
    p[3] = 0;
    return p;
}

constexpr Pixel kBlack{0, 0, 0, 0};
constexpr Pixel kRed{255, 0, 0, 0};

// One shown OpenGL window with its context and a manager, shared by the
// tests of this file (the resource manager runs for the whole suite).
class GL : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!display::Ready())
            return;
        RMInit(0);
        window = new KCWindow();
        log = new Log();
        // Never shown: drawing goes to the back buffer of the realized
        // window, and no input of other tests is disturbed.
        ASSERT_EQ(KMCreateWindow(display::Options(*log, R(100, 100, 100 + kHeight, 100 + kWidth)),
                                 *window),
                  eNoErr);
        ASSERT_EQ(GMCreateRC(*window), eNoErr);
    }
    static void TearDownTestSuite() {
        if (window == nullptr)
            return;
        GMDisposeRC(*window);
        KMDisposeWindow(*window);
        display::Pump(20);
        delete window;
        delete log;
        window = nullptr;
        RMDispose();
    }
    void SetUp() override {
        REQUIRE_DISPLAY();
        ASSERT_NE(window->renderingContext, nullptr);
        GMBind2RC(*window);
        manager = std::make_unique<CGraphicManagerAbs>(nullptr);
        manager->InitHatch(*window, R(0, 0, kHeight, kWidth));
        manager->SetClearColor(KCRGBAColor(0, 0, 0, 0));
        manager->GotoHatch();
        manager->ClearHatch();
    }
    void TearDown() override {
        if (manager)
            manager->SetEmbededGraphicManager(true); // keep the context for the next test
        manager.reset();
        if (window != nullptr)
            GMSwapBuffers(*window);
    }

    static inline KCWindow* window = nullptr;
    static inline Log* log = nullptr;
    std::unique_ptr<CGraphicManagerAbs> manager;
};

} // namespace

TEST_F(GL, ProbeAndChosenConfiguration) {
    KCRendererInfo info;
    ASSERT_EQ(GMGetRendererInfo(info), eNoErr);
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (renderer.find("llvmpipe") != std::string::npos &&
        !GMHasExtension(glXQueryExtensionsString(glXGetCurrentDisplay(), 0),
                        "GLX_EXT_swap_control")) {
        EXPECT_EQ(info.flags, 0x1Bu) << vendor << " / " << renderer;
    }
    EXPECT_EQ(info.flags & (eRendererDoubleBuffer | eRendererVertexBuffers),
              eRendererDoubleBuffer | eRendererVertexBuffers);
    ASSERT_GT(info.pixelFormat, 0);

    Display* d = glXGetCurrentDisplay();
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(d, DefaultScreen(d), &count);
    ASSERT_LE(info.pixelFormat, count);
    GLXFBConfig chosen = configs[info.pixelFormat - 1];
    auto attrib = [&](int a) {
        int v = -1;
        glXGetFBConfigAttrib(d, chosen, a, &v);
        return v;
    };
    EXPECT_EQ(attrib(GLX_DOUBLEBUFFER), 1);
    EXPECT_EQ(attrib(GLX_RED_SIZE), 8);
    EXPECT_EQ(attrib(GLX_GREEN_SIZE), 8);
    EXPECT_EQ(attrib(GLX_BLUE_SIZE), 8);
    EXPECT_EQ(attrib(GLX_ALPHA_SIZE), 8);
    EXPECT_GE(attrib(GLX_STENCIL_SIZE), 1);
    if (GMHasExtension(glXQueryExtensionsString(d, DefaultScreen(d)), "GLX_OML_swap_method")) {
        EXPECT_EQ(attrib(0x8060), 0x8062); // swap method: copy
    }
    EXPECT_EQ(attrib(GLX_FBCONFIG_ID), GMChosenFBConfigID());
    // The window was made on it.
    auto* canvas = dynamic_cast<wxGLCanvas*>(static_cast<wxWindow*>(window->deviceContext));
    int own = 0;
    glXGetFBConfigAttrib(d, *canvas->GetGLXFBConfig(), GLX_FBCONFIG_ID, &own);
    EXPECT_EQ(own, GMChosenFBConfigID());
    XFree(configs);

    // A second call makes no window.
    const size_t windows = wxTopLevelWindows.GetCount();
    KCRendererInfo again;
    ASSERT_EQ(GMGetRendererInfo(again), eNoErr);
    EXPECT_EQ(again.flags, info.flags);
    EXPECT_EQ(again.pixelFormat, info.pixelFormat);
    EXPECT_EQ(wxTopLevelWindows.GetCount(), windows);
    EXPECT_EQ(window->doubleBuffered, 1);
    EXPECT_EQ(GMGetCurrentRC(), glXGetCurrentContext());
}

TEST_F(GL, PixelCoordinatesAndScissor) {
    manager->SetColor(KCRGBAColor(255, 0, 0, 255));
    manager->DrawSolidRect(R(10, 20, 30, 60));
    EXPECT_EQ(RGB(20, 10), kRed);
    EXPECT_EQ(RGB(59, 29), kRed);
    EXPECT_EQ(RGB(60, 10), kBlack);
    EXPECT_EQ(RGB(19, 10), kBlack);
    EXPECT_EQ(RGB(20, 30), kBlack);

    // The scissor box of a rectangle on a hatch at (top 5, left 7).
    manager->InitHatch(*window, R(5, 7, 105, 107));
    manager->LimitDrawToRect(R(10, 20, 30, 60), false);
    GLint box[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 27);
    EXPECT_EQ(box[1], 165);
    EXPECT_EQ(box[2], 40);
    EXPECT_EQ(box[3], 20);
    manager->SetClearColor(KCRGBAColor(0, 255, 0, 255));
    glClear(GL_COLOR_BUFFER_BIT);
    manager->UnLimitDrawToRect();
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_EQ(RGB(27, 15), (Pixel{0, 255, 0, 0})); // window pixels of the box
    EXPECT_EQ(RGB(66, 34), (Pixel{0, 255, 0, 0}));
    EXPECT_EQ(RGB(67, 34), kBlack);
    EXPECT_EQ(RGB(26, 15), kRed); // the red rectangle outside the box
    EXPECT_EQ(RGB(27, 35), kBlack);

    // With the transformation: the model-view translation moves the box.
    manager->GotoHatch();
    manager->LimitDrawToRect(R(10, 20, 30, 60), true);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 27);
    EXPECT_EQ(box[1], kHeight - 35);
    manager->UnLimitDrawToRect();

    KURect<short> bounds(10, 20, 110, 220);
    const KURect<short> before = window->bounds;
    ASSERT_EQ(GMResizeRC(*window, bounds), eNoErr);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 100);
    EXPECT_EQ(window->bounds, before);
    KURect<short> whole(0, 0, kHeight, kWidth);
    ASSERT_EQ(GMResizeRC(*window, whole), eNoErr);
}

TEST_F(GL, OvalWaveFormsAndLineThickness) {
    // The diamond of four segments: top centre, right, bottom, left, top.
    manager->SetColor(KCRGBAColor(255, 0, 0, 255));
    manager->DrawOval(R(10, 10, 110, 110), 4, 0, 360);
    EXPECT_EQ(RGB(60, 60), kRed);
    EXPECT_EQ(RGB(60, 13), kRed); // near the top vertex
    EXPECT_EQ(RGB(107, 60), kRed);
    EXPECT_EQ(RGB(60, 107), kRed);
    EXPECT_EQ(RGB(13, 60), kRed);
    EXPECT_EQ(RGB(15, 15), kBlack); // corners of the box stay outside
    EXPECT_EQ(RGB(105, 105), kBlack);
    // Half a sweep from the top: only the right half.
    manager->ClearHatch();
    manager->DrawOval(R(10, 10, 110, 110), 2, 0, 180);
    EXPECT_EQ(RGB(80, 60), kRed);
    EXPECT_EQ(RGB(40, 60), kBlack);

    // Counts below 1 draw nothing.
    manager->ClearHatch();
    const P band[] = {{0, 0}, {0, 100}, {100, 100}};
    manager->DrawWaveForm(band, 0, KCRGBAColor(255, 0, 0, 255), KCRGBAColor(255, 0, 0, 255));
    manager->DrawWaveForm(band, -3, KCRGBAColor(255, 0, 0, 255), KCRGBAColor(255, 0, 0, 255));
    manager->DrawWaveForm_TS_Style(band, 0, KCRGBAColor(255, 0, 0, 255),
                                   KCRGBAColor(255, 0, 0, 255));
    EXPECT_EQ(RGB(10, 50), kBlack);

    manager->SetLineThickness(0);
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
    manager->SetLineThickness(-2);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
    manager->SetLineThickness(3);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    manager->SetLineThickness(1);
}

namespace {

// Counts the bytes sent through the buffer entry points.
struct Counter {
    static inline KSBufferEntryPoints real;
    static inline long uploaded = 0;
    static inline long lastOffset = -1;
    static inline long lastSize = -1;
    static void Data(uint32_t t, intptr_t size, const void* d, uint32_t u) {
        uploaded += size;
        lastOffset = 0;
        lastSize = size;
        real.bufferData(t, size, d, u);
    }
    static void SubData(uint32_t t, intptr_t offset, intptr_t size, const void* d) {
        uploaded += size;
        lastOffset = offset;
        lastSize = size;
        real.bufferSubData(t, offset, size, d);
    }
};

} // namespace

TEST_F(GL, VertexBuffersSendOnlyWhatChanged) {
    ASSERT_TRUE(manager->IsVBOSupported());
    KSBufferEntryPoints& points = GMBufferEntryPoints();
    Counter::real = points;
    points.bufferData = Counter::Data;
    points.bufferSubData = Counter::SubData;
    std::vector<KCPoint<float>> vertices(100);
    for (size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = KCPoint<float>(float(i * 2) + 0.5f, 150.5f);
    manager->SetColor(KCRGBAColor(255, 0, 0, 255));
    void* handle = manager->RegisterVBO(vertices.data(), 100);
    auto* vbo = static_cast<OGL_VBO*>(handle);
    manager->DrawVBO(handle, 10, 5);
    EXPECT_EQ(Counter::uploaded, 800);
    EXPECT_NE(vbo->GetBuffer(), 0u);
    // Vertices 10-14: x 20.5 to 28.5 on line 150.
    EXPECT_EQ(RGB(24, 150), kRed);
    EXPECT_EQ(RGB(18, 150), kBlack);
    EXPECT_EQ(RGB(31, 150), kBlack);

    Counter::uploaded = 0;
    manager->UpdateVBO(handle, 10, 5);
    EXPECT_EQ(Counter::uploaded, 40);
    EXPECT_EQ(Counter::lastOffset, 80);
    // Ranges past the array are clipped: nothing is read past it.
    Counter::uploaded = 0;
    manager->UpdateVBO(handle, 98, 50);
    EXPECT_EQ(Counter::uploaded, 16);
    manager->UpdateVBO(handle, 500, 5);
    EXPECT_EQ(Counter::uploaded, 16);
    manager->DrawVBO(handle, 95, 1000);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    vbo->Release();
    EXPECT_EQ(vbo->GetBuffer(), 0u);
    Counter::uploaded = 0;
    manager->DrawVBO(handle, 0, 2);
    EXPECT_EQ(Counter::uploaded, 800);
    points = Counter::real;
    KCLinePattern pattern;
    EXPECT_EQ(pattern.GetPattern(), 0xFFFF);
    EXPECT_EQ(pattern.GetFactor(), 1);
}

namespace {

struct Text : GL {
    KCFontInfo Font(short size = 12) {
        KCFontInfo font;
        font.SetFontName("DejaVu Sans");
        font.SetFontSize(size);
        return font;
    }
    static uint32_t At(const ImageData& image, int x, int y) {
        return reinterpret_cast<const uint32_t*>(image.GetRowPointers()[y])[x];
    }
};

} // namespace

TEST_F(Text, RenderedPixels) {
    const KCRGBAColor colour(255, 0, 0, 128);
    ImageData image(32, 16, 32, -1);
    std::memset(image.GetRawData(), 0xEE, size_t(image.GetRawDataSize()));
    GMRenderText(*window, Font(), "", colour, eTextJustificationLeft, R(0, 0, 10, 30), image);
    int filled = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            filled += At(image, x, y) == colour.Packed();
    EXPECT_EQ(filled, 300);
    EXPECT_EQ(At(image, 29, 9), 0x800000FFu); // bytes FF 00 00 80
    EXPECT_EQ(At(image, 30, 0), 0xEEEEEEEEu);
    EXPECT_EQ(At(image, 0, 10), 0xEEEEEEEEu);

    // Full coverage is exactly the colour; edges are partly visible.
    const KCRGBAColor opaque(10, 200, 30, 255);
    ImageData glyphs(64, 32, 32, -1);
    GMRenderText(*window, Font(20), "HI", opaque, eTextJustificationLeft, R(0, 0, 32, 64), glyphs);
    int full = 0, partial = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t p = At(glyphs, x, y);
            if (p == 0)
                continue;
            EXPECT_EQ(p & 0xFFFFFFu, opaque.Packed() & 0xFFFFFFu);
            full += p == opaque.Packed();
            partial += p != opaque.Packed();
        }
    }
    EXPECT_GT(full, 40);
    KCFontInfo mono = Font(20);
    mono.SetFontQuality(eFontQualityNonAntiAliased);
    GMRenderText(*window, mono, "Ag", opaque, eTextJustificationLeft, R(0, 0, 32, 64), glyphs);
    int drawn = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t p = At(glyphs, x, y);
            EXPECT_TRUE(p == 0 || p == opaque.Packed()) << x << "," << y;
            drawn += p != 0;
        }
    }
    EXPECT_GT(drawn, 20);

    // Larger than the image: clipped to it. Below 1: nothing.
    ImageData small(8, 4, 32, -1);
    std::memset(small.GetRawData(), 0, size_t(small.GetRawDataSize()));
    GMRenderText(*window, Font(), "", opaque, eTextJustificationLeft, R(0, 0, 100, 100), small);
    EXPECT_EQ(At(small, 7, 3), opaque.Packed());
    std::memset(small.GetRawData(), 0, size_t(small.GetRawDataSize()));
    GMRenderText(*window, Font(), "", opaque, eTextJustificationLeft, R(0, 0, 0, 5), small);
    EXPECT_EQ(At(small, 0, 0), 0u);
}

// Bytes that are not UTF-8 draw and measure as a replacement character
// each; what can be decoded draws as itself.
TEST_F(Text, InvalidUTF8DrawsWhatCanBeRead) {
    struct Case {
        const char* text;
        const char* readAs; // the same text, well-formed
    };
    const Case cases[] = {
        {"caf\xe9 \xff\xfe", "caf\uFFFD \uFFFD\uFFFD"},
        {"a\xe2\x82", "a\uFFFD\uFFFD"},         // a sequence cut short
        {"\xc0\xaf!", "\uFFFD\uFFFD!"},         // an overlong form
        {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"}, // a surrogate
        {"caf\xc3\xa9", "caf\u00E9"},           // well-formed already
    };
    const KCRGBAColor colour(0, 0, 0, 255);
    for (const Case& c : cases) {
        ImageData got(64, 32, 32, -1), want(64, 32, 32, -1);
        GMRenderText(*window, Font(), c.text, colour, eTextJustificationLeft, R(0, 0, 32, 64), got);
        GMRenderText(*window, Font(), c.readAs, colour, eTextJustificationLeft, R(0, 0, 32, 64),
                     want);
        int inked = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                inked += At(got, x, y) != 0;
        EXPECT_GT(inked, 0) << c.readAs;
        EXPECT_LT(inked, 64 * 32) << c.readAs << ": not a solid block";
        EXPECT_EQ(std::memcmp(got.GetRawData(), want.GetRawData(), size_t(got.GetRawDataSize())), 0)
            << c.readAs;
        KCPoint<short> measured, expected;
        GMGetTextWidthInPixels(Font(), c.text, measured);
        GMGetTextWidthInPixels(Font(), c.readAs, expected);
        EXPECT_EQ(measured, expected) << c.readAs;
        EXPECT_GT(measured.x, 0) << c.readAs;
    }
}

// A text that cannot be drawn (a font without a size has no glyphs) leaves
// its new image clear, never the heap's old contents; a box whose pixels
// do not fit the image's 32-bit byte count is refused before allocating.
TEST_F(Text, HandlesWithoutGlyphsOrMemory) {
    KCFontInfo sizeless = Font();
    sizeless.SetFontSize(0);
    void* handle = nullptr;
    EXPECT_EQ(manager->RenderText(handle, "text", sizeless, KCRGBAColor(255, 0, 0, 255),
                                  eTextJustificationLeft, P(30, 10)),
              eNoErr);
    ASSERT_NE(handle, nullptr);
    const ImageData* data = static_cast<OGLText*>(handle)->GetImageData();
    int stale = 0;
    for (uint32_t y = 0; y < data->GetHeight(); ++y)
        for (uint32_t x = 0; x < data->GetWidth(); ++x)
            stale += At(*data, int(x), int(y)) != 0;
    EXPECT_EQ(stale, 0);

    void* kept = handle;
    for (void* start : {static_cast<void*>(nullptr), kept}) {
        handle = start;
        EXPECT_EQ(manager->RenderText(handle, "x", Font(), KCRGBAColor(255, 0, 0, 255),
                                      eTextJustificationLeft, P(32767, 32767)),
                  eMemNewFailed);
        EXPECT_EQ(handle, start) << "the handle stays as it was";
    }
    manager->UnRegisterText(kept);
}

TEST_F(Text, LayoutMeasureAndAscent) {
    KCFontInfo font = Font(12);
    KCPoint<short> size;
    GMGetTextWidthInPixels(font, "Hello world", size);
    EXPECT_GT(size.x, 40);
    EXPECT_EQ(size.y, 12); // a pixel size is the cell height
    KCPoint<short> wide;
    GMGetTextWidthInPixels(font, L"Hello world", wide);
    EXPECT_EQ(wide, size);
    KCPoint<short> longer;
    GMGetTextWidthInPixels(font, "Hello world!!", longer);
    EXPECT_GT(longer.x, size.x);
    EXPECT_GT(GMGetFontAscent(font), 0);
    EXPECT_EQ(font.GetFontAscent(), GMGetFontAscent(font));

    // Where the ink lies: rows of the first and last drawn pixel.
    auto inkRows = [](const ImageData& image, int w, int h) {
        int first = -1, last = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (At(image, x, y) != 0) {
                    if (first < 0)
                        first = y;
                    last = y;
                }
        return std::make_pair(first, last);
    };
    const KCRGBAColor c(0, 0, 0, 255);
    ImageData one(128, 64, 32, -1), two(128, 64, 32, -1);
    GMRenderText(*window, font, "X", c, eTextJustificationLeft, R(0, 0, 64, 128), one);
    GMRenderText(*window, font, "X\nX", c, eTextJustificationLeft, R(0, 0, 64, 128), two);
    const auto single = inkRows(one, 128, 64);
    const auto twoLines = inkRows(two, 128, 64);
    // The single line is centred in its cell; two lines of 12 move down by
    // (64 - 24) / 2 = 20, so their first ink lies 6 rows above the single
    // line's (centred at (64 - 12) / 2 = 26).
    EXPECT_EQ(single.first - twoLines.first, 6);
    EXPECT_EQ(twoLines.second - twoLines.first, single.second - single.first + 12);

    // Justification moves the ink.
    auto inkColumns = [](const ImageData& image) {
        int first = -1;
        for (int x = 0; x < 128 && first < 0; ++x)
            for (int y = 0; y < 64; ++y)
                if (At(image, x, y) != 0)
                    first = x;
        return first;
    };
    GMRenderText(*window, font, "X", c, eTextJustificationRight, R(0, 0, 64, 128), one);
    EXPECT_GT(inkColumns(one), 100);
    GMRenderText(*window, font, "X", c, eTextJustificationCenter, R(0, 0, 64, 128), one);
    EXPECT_NEAR(inkColumns(one), 60, 6);
    // '&' marks a mnemonic in the 8-bit form and is drawn in the wide one.
    GMRenderText(*window, font, "&X", c, eTextJustificationLeft, R(0, 0, 64, 128), one);
    GMRenderText(*window, font, "X", c, eTextJustificationLeft, R(0, 0, 64, 128), two);
    EXPECT_EQ(std::memcmp(one.GetRawData(), two.GetRawData(), size_t(one.GetRawDataSize())), 0);
    GMRenderText(*window, font, L"&X", c, eTextJustificationLeft, R(0, 0, 64, 128), one);
    EXPECT_NE(std::memcmp(one.GetRawData(), two.GetRawData(), size_t(one.GetRawDataSize())), 0);
}

TEST_F(Text, HandlesAreKeptWhileTheirSizeFits) {
    void* handle = nullptr;
    const KCRGBAColor colour(255, 0, 0, 255);
    manager->RenderText(handle, "", Font(), colour, eTextJustificationLeft, P(90, 18));
    ASSERT_NE(handle, nullptr);
    auto* text = static_cast<OGLText*>(handle);
    EXPECT_EQ(text->GetImageData()->GetWidth(), 128u);
    EXPECT_EQ(text->GetImageData()->GetHeight(), 32u);
    void* kept = handle;
    manager->RenderText(handle, "", Font(), colour, eTextJustificationLeft, P(100, 20));
    EXPECT_EQ(handle, kept);
    manager->DrawRenderedText(handle, P(10, 10));
    EXPECT_EQ(RGB(10, 10), kRed);
    EXPECT_EQ(RGB(109, 29), kRed); // 100 x 20 pixels
    EXPECT_EQ(RGB(110, 10), kBlack);
    EXPECT_EQ(RGB(10, 30), kBlack);
    manager->RenderText(handle, "", Font(), colour, eTextJustificationLeft, P(130, 20));
    EXPECT_EQ(static_cast<OGLText*>(handle)->GetImageData()->GetWidth(), 256u);
    // Sizes below 1 render nothing and keep the handle.
    void* before = handle;
    manager->RenderText(handle, "x", Font(), colour, eTextJustificationLeft, P(0, 20));
    EXPECT_EQ(handle, before);
    manager->UnRegisterText(handle);
    EXPECT_EQ(handle, nullptr);
    int unknown = 0;
    void* stranger = &unknown;
    manager->UnRegisterText(stranger); // not in the list: only set to null
    EXPECT_EQ(stranger, nullptr);

    // Glyph pixels drawn at full coverage show the exact colour.
    manager->ClearHatch();
    manager->DrawTextUnOptimized(Font(24), "H", KCRGBAColor(0, 0, 255, 255), P(0, 0));
    int blue = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 20; ++x)
            blue += RGB(x, y) == (Pixel{0, 0, 255, 0});
    EXPECT_GT(blue, 20);
}

namespace {

struct Images : GL {
    testpng::Container container;
};

} // namespace

TEST_F(Images, TilesDrawPixelExactAndPartsScale) {
    testpng::Container other; // outlives the manager that loads from it
    container.Add(
        1000, testpng::Encode(1500, 700, PNG_COLOR_TYPE_RGBA, 8, [](uint32_t x, uint32_t y, int c) {
            return c == 3 ? 255 : testpng::Formula(x, y, c);
        }));
    container.Add(1001,
                  testpng::Encode(100, 100, PNG_COLOR_TYPE_RGB, 8,
                                  [](uint32_t, uint32_t, int c) { return c == 1 ? 255 : 0; }));
    CGraphicManagerAbs images(container.container);
    images.InitHatch(*window, R(0, 0, kHeight, kWidth));
    images.SetEmbededGraphicManager(true);
    void* big = images.RegisterImageFromResID(1000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(images.RegisterImageFromResID(1000, container.container), big); // cached
    EXPECT_EQ(images.RegisterImageFromResID(1000, nullptr), nullptr);
    EXPECT_EQ(images.RegisterImageFromResID(999), nullptr);
    P size;
    images.GetImageSize(big, size);
    EXPECT_EQ(size, P(1500, 700));
    EXPECT_FALSE(images.IsPixelTransparent(big, P(1100, 5)));
    EXPECT_TRUE(images.IsPixelTransparent(big, P(-1, 0)));

    // Across the seam of the tiles (x 1023 / 1024), unscaled: exact.
    images.DrawImage(big, P(-1000, -10));
    for (int x : {0, 22, 23, 24, 25, 299}) {
        const uint32_t ix = uint32_t(x + 1000), iy = 15;
        const Pixel expected{uint8_t(testpng::Formula(ix, iy, 0)),
                             uint8_t(testpng::Formula(ix, iy, 1)),
                             uint8_t(testpng::Formula(ix, iy, 2)), 0};
        EXPECT_EQ(RGB(x, 5), expected) << x;
    }
    // A part, unscaled, with its corner on the point.
    images.ClearHatch();
    images.DrawImage(big, P(10, 10), R(100, 1020, 110, 1030));
    EXPECT_EQ(RGB(10, 10), (Pixel{uint8_t(1020 & 0xFF), 100, uint8_t((1020 + 300) & 0xFF), 0}));
    EXPECT_EQ(RGB(20, 10), kBlack);

    // The part (0, 0, 50, 50) of a 100 x 100 image into 200 x 200 at
    // (10, 10) covers (10, 10) to (110, 110): the scale is destination / image.
    images.ClearHatch();
    void* green = images.RegisterImageFromResID(1001);
    ASSERT_NE(green, nullptr);
    EXPECT_TRUE(images.IsPixelTransparent(green, P(5, 5))); // 24-bit: no alpha
    images.DrawImageScaled(green, R(10, 10, 210, 210), R(0, 0, 50, 50));
    const Pixel kGreen{0, 255, 0, 0};
    EXPECT_EQ(RGB(10, 10), kGreen);
    EXPECT_EQ(RGB(109, 109), kGreen);
    EXPECT_EQ(RGB(110, 60), kBlack);
    EXPECT_EQ(RGB(60, 110), kBlack);
    EXPECT_EQ(RGB(9, 10), kBlack);

    // Another container is another entry.
    other.Add(1000, testpng::Encode(4, 4, PNG_COLOR_TYPE_RGB, 8, testpng::Formula));
    void* elsewhere = images.RegisterImageFromResID(1000, other.container);
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_NE(elsewhere, big);
    bool loaded = false;
    RMIsResourceLoaded(other.container, KV_FOURCC("PNG_"), 1000, loaded);
    EXPECT_TRUE(loaded);
    images.ReleaseHatch();
    EXPECT_TRUE(static_cast<TexturedImage*>(big)->GetTextures().empty());
}

TEST_F(Images, XMLImagesLoadOnFirstUse) {
    container.Add(1200, testpng::Encode(30, 20, PNG_COLOR_TYPE_RGBA, 8, testpng::Formula));
    kvXML::CXMLElement element("Image", "");
    element.AddAttrib("ResID", "1300");
    element.push_back(new kvXML::CXMLElement("ResID", "1200"));
    auto* rect = new kvXML::CXMLElement("PositionRect", "");
    rect->AddAttrib("top", "10");
    rect->AddAttrib("left", "20");
    rect->AddAttrib("bottom", "30");
    rect->AddAttrib("right", "60");
    element.push_back(rect);
    auto* origin = new kvXML::CXMLElement("Origin", "");
    origin->AddAttrib("x", "100");
    origin->AddAttrib("y", "50");
    element.push_back(origin);
    CKVImage image;
    image.ReadFromXML(&element);
    EXPECT_EQ(image.GetResID(), 1200);
    EXPECT_EQ(image.GetPosition(), P(100, 50));
    EXPECT_EQ(image.GetBoundRect(), R(50, 100, 70, 140));

    CGraphicManagerAbs images(container.container);
    images.SetEmbededGraphicManager(true);
    EXPECT_EQ(image.GetImageSize(images), P(0, 0)); // no hatch: not loaded
    EXPECT_FALSE(image.IsTextureLoaded());
    images.InitHatch(*window, R(0, 0, kHeight, kWidth));
    EXPECT_EQ(image.GetImageSize(images), P(30, 20));
    EXPECT_TRUE(image.IsTextureLoaded());

    CKVImageContainer list;
    list.LoadBitmapSequence(1199, 3, images);
    ASSERT_EQ(list.GetImageVecSize(), 3);
    EXPECT_EQ((*list.GetImageVec())[1].GetImageRef(), image.GetImageRef());
    EXPECT_EQ((*list.GetImageVec())[2].GetImageRef(), nullptr);
    list.LoadBitmap(65535, nullptr);
    EXPECT_EQ((*list.GetImageVec())[3].GetResID(), -1);
    images.ReleaseHatch();
}

TEST(Contexts, BindBeforeShowingAndDispose) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow w;
    ASSERT_EQ(KMCreateWindow(display::Options(log, R(50, 50, 150, 250)), w), eNoErr);
    ASSERT_EQ(GMCreateRC(w), eNoErr); // not shown yet
    EXPECT_NE(w.renderingContext, nullptr);
    EXPECT_NE(w.contextThread, KCWindow::kInvalidThreadID);
    EXPECT_NE(GMGetCurrentRC(), nullptr);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 100);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GMUnBind2RC(w);
    EXPECT_EQ(GMGetCurrentRC(), nullptr);
    GMBind2RC(w);
    EXPECT_NE(GMGetCurrentRC(), nullptr);
    GMDisposeRC(w);
    EXPECT_EQ(w.renderingContext, nullptr);
    EXPECT_EQ(w.doubleBuffered, 1);
    EXPECT_EQ(w.contextThread, KCWindow::kInvalidThreadID);
    EXPECT_EQ(GMGetCurrentRC(), nullptr);
    GMBind2RC(w); // no context: nothing
    EXPECT_EQ(GMGetCurrentRC(), nullptr);
    // A swap without a context presents nothing and says so, hidden or
    // shown; the process goes on.
    EXPECT_EQ(GMSwapBuffers(w), eGMGenericErr);
    ASSERT_EQ(KMShowWindow(w), eNoErr);
    display::Pump(20);
    EXPECT_EQ(GMSwapBuffers(w), eGMGenericErr);
    display::Pump(20);

    // A plain window has no OpenGL surface.
    KCWindow plain;
    ASSERT_EQ(KMCreateWindow(display::Options(log, R(50, 50, 150, 250), kWinKindPlain), plain),
              eNoErr);
    EXPECT_EQ(GMCreateRC(plain), eGMGenericErr);
    KMDisposeWindow(plain);
    KMDisposeWindow(w);
    display::Pump(20);
}

// The height on the screen of the top-level X window holding `w`.
int ScreenHeightOfTopLevel(::Window w) {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr)
        return -1;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    while (XQueryTree(d, w, &root, &parent, &children, &count) && parent != root) {
        if (children != nullptr)
            XFree(children);
        children = nullptr;
        w = parent;
    }
    if (children != nullptr)
        XFree(children);
    XWindowAttributes attributes{};
    const int height = XGetWindowAttributes(d, w, &attributes) ? attributes.height : -1;
    XCloseDisplay(d);
    return height;
}

// A fixed-size frame sized down around its drawing window (an editor
// collapsing) shrinks on the screen, and the drawing keeps its top-left
// corner: the visible part is the drawing's top, as with a clipped window.
TEST(Contexts, AFrameSizedDownShowsTheTopOfItsDrawing) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow frame, child;
    KCWinCreateOpts options = display::Options(log, R(40, 40, 240, 340), kWinKindPlain, 0x105);
    ASSERT_EQ(KMCreateWindow(options, frame), eNoErr);
    options = display::Options(log, R(0, 0, 200, 300), kWinKindOpenGL, 0x120);
    options.parent = &frame;
    ASSERT_EQ(KMCreateWindow(options, child), eNoErr);
    ASSERT_EQ(GMCreateRC(child), eNoErr);
    KMShowWindow(child);
    KMShowWindow(frame);
    auto* canvas = dynamic_cast<wxGLCanvas*>(static_cast<wxWindow*>(child.deviceContext));
    ASSERT_NE(canvas, nullptr);
    display::PumpUntil([&] { return ScreenHeightOfTopLevel(canvas->GetXWindow()) == 200; });

    ASSERT_TRUE(KMSetTopLevelSize(frame.windowHandle, 300, 120));
    EXPECT_TRUE(display::PumpUntil([&] {
        return ScreenHeightOfTopLevel(canvas->GetXWindow()) == 120;
    })) << ScreenHeightOfTopLevel(canvas->GetXWindow());
    EXPECT_EQ(canvas->GetClientSize().y, 120);

    GMBind2RC(child);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(255, 0, 0);
    glRecti(0, 0, 10, 10); // the drawing's top-left corner
    Pixel top = Read(0, 0, 120);
    top[3] = 0;
    EXPECT_EQ(top, kRed);
    Pixel below = Read(0, 10, 120);
    below[3] = 0;
    EXPECT_EQ(below, kBlack);

    // Sized up again, the whole drawing shows.
    ASSERT_TRUE(KMSetTopLevelSize(frame.windowHandle, 300, 200));
    EXPECT_TRUE(
        display::PumpUntil([&] { return ScreenHeightOfTopLevel(canvas->GetXWindow()) == 200; }));
    GMBind2RC(child);
    glClear(GL_COLOR_BUFFER_BIT);
    glRecti(0, 0, 10, 10);
    Pixel whole = Read(0, 0, 200);
    whole[3] = 0;
    EXPECT_EQ(whole, kRed);

    GMDisposeRC(child);
    KMDisposeWindow(child);
    KMDisposeWindow(frame);
    display::Pump(20);
}

TEST_F(Text, WideTextBreaksWordsAndReadsRightToLeft) {
    const KCFontInfo font = Font(12);
    const KCRGBAColor c(0, 0, 0, 255);
    auto inkRows = [](const ImageData& image) {
        int rows = 0;
        for (uint32_t y = 0; y < image.GetHeight(); ++y) {
            bool ink = false;
            for (uint32_t x = 0; x < image.GetWidth() && !ink; ++x)
                ink = At(image, int(x), int(y)) != 0;
            rows += ink;
        }
        return rows;
    };
    ImageData one(128, 64, 32, -1), two(128, 64, 32, -1);
    GMRenderText(*window, font, L"xxx xxx", c, eTextJustificationLeft, R(0, 0, 64, 128), one);
    GMRenderText(*window, font, L"xxx xxx", c, eTextJustificationLeft, R(0, 0, 64, 30), two);
    EXPECT_GE(inkRows(two), 2 * inkRows(one)); // two lines in the narrow box

    // Hebrew letters in logical order alef, bet: shown bet first (leftmost)
    // when the interface reads right to left.
    const wchar_t* hebrew = L"\u05D0\u05D1";
    setenv("LC_ALL", "C", 1);
    GMRenderText(*window, font, hebrew, c, eTextJustificationLeft, R(0, 0, 64, 128), one);
    setenv("LC_ALL", "he_IL.UTF-8", 1);
    GMRenderText(*window, font, hebrew, c, eTextJustificationLeft, R(0, 0, 64, 128), two);
    unsetenv("LC_ALL");
    ImageData reversed(128, 64, 32, -1);
    GMRenderText(*window, font, L"\u05D1\u05D0", c, eTextJustificationLeft, R(0, 0, 64, 128),
                 reversed);
    EXPECT_NE(std::memcmp(one.GetRawData(), two.GetRawData(), size_t(one.GetRawDataSize())), 0);
    EXPECT_EQ(std::memcmp(two.GetRawData(), reversed.GetRawData(), size_t(two.GetRawDataSize())),
              0);
}

TEST_F(Text, UnderlineAndStrikeOutAddBars) {
    const KCRGBAColor c(0, 0, 0, 255);
    auto ink = [&](EFontStyle style) {
        KCFontInfo font = Font(16);
        font.SetFontStyle(style);
        ImageData image(64, 32, 32, -1);
        GMRenderText(*window, font, "xx", c, eTextJustificationLeft, R(0, 0, 32, 64), image);
        std::vector<int> rows;
        for (int y = 0; y < 32; ++y) {
            int n = 0;
            for (int x = 0; x < 64; ++x)
                n += At(image, x, y) != 0;
            rows.push_back(n);
        }
        return rows;
    };
    const std::vector<int> plain = ink(eFontStyleNormal);
    const std::vector<int> underlined = ink(eFontStyleUnderline);
    const std::vector<int> struck = ink(eFontStyleOutline);
    int underlineRows = 0, strikeRows = 0;
    for (int y = 0; y < 32; ++y) {
        underlineRows += underlined[y] > plain[y];
        strikeRows += struck[y] > plain[y];
    }
    EXPECT_GE(underlineRows, 1);
    EXPECT_GE(strikeRows, 1);
    EXPECT_NE(underlined, struck); // the bars lie at different heights
}

// A text is laid over what is drawn below it, also when the caller left
// blending off: the pixels of its box that no glyph covers keep the
// background.
TEST_F(Text, TextKeepsTheBackgroundBetweenItsGlyphs) {
    manager->SetClearColor(KCRGBAColor(0, 255, 0, 255));
    manager->ClearHatch();
    manager->DisableBlending();
    manager->DrawTextUnOptimized(Font(24), "H", KCRGBAColor(0, 0, 255, 255), P(0, 0));
    KCPoint<short> size;
    GMGetTextWidthInPixels(Font(24), "H", size);
    ASSERT_GT(size.x, 2);
    int green = 0, blue = 0;
    for (int y = 0; y < size.y; ++y)
        for (int x = 0; x < size.x; ++x) {
            green += RGB(x, y) == (Pixel{0, 255, 0, 0});
            blue += RGB(x, y) == (Pixel{0, 0, 255, 0});
        }
    EXPECT_GT(blue, 20);
    EXPECT_GT(green, size.x * size.y / 3); // not a box of the text's own black
}
