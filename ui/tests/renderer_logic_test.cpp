#include <gtest/gtest.h>

#include "ui/GMRenderer.h"
#include "ui/KCWindow.h"

namespace {

constexpr const char* kGL = "GL_ARB_multitexture GL_ARB_vertex_buffer_object GL_EXT_blend";
constexpr const char* kGLX = "GLX_ARB_create_context GLX_EXT_swap_control";

} // namespace

TEST(RendererFlags, FromTheDriverStrings) {
    struct Case {
        const char* vendor;
        const char* renderer;
        const char* gl;
        const char* glx;
        uint32_t flags;
    } cases[] = {
        // Xvfb's GLX offers no swap control.
        {"Mesa/X.org", "llvmpipe (LLVM 15.0.6, 256 bits)", kGL, "GLX_ARB_create_context", 0x1B},
        {"Mesa/X.org", "llvmpipe", kGL, kGLX, 0x1F},
        {"Mesa", "x", "", "GLX_MESA_swap_control", 0x0F},
        // A name must be a whole word of the list.
        {"Mesa", "x", "GL_ARB_vertex_buffer_object_extra", "GLX_EXT_swap_control_tear", 0x0B},
        {nullptr, nullptr, nullptr, nullptr, 0x0B},
        {"Matrox", "Matrox G200", kGL, "", 0x18},
        {"Matrox", "Matrox G400", "", "", 0x08},
        {"Matrox", "Matrox G200 rev 2", "", "", 0x0B}, // exactly, not contains
        {"Matrox", "Matrox ICD for Parhelia", "", "", 0x29},
        {"NVIDIA Corporation", "GeForce FX 5700 Ultra/AGP/SSE2", "", "", 0x29},
        {"NVIDIA Corporation", "GeForce4 MX 440/AGP", "", "", 0x2A},
        {"NVIDIA Corporation", "Quadro", kGL, kGLX, 0x3F},
        {"NVIDIA", "GeForce FX 5700", "", "", 0x0B}, // another vendor
        {"Intel", "Intel 915G", "", "", 0x0A},
        {"Intel Inc.", "Intel 915G", "", "", 0x0B},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GMRendererFlagsFor(c.vendor, c.renderer, c.gl, c.glx), c.flags)
            << (c.renderer ? c.renderer : "null");
}

TEST(RendererFlags, WithoutADisplayTheProbeFailsAndRunsAgain) {
    KCRendererInfo info;
    info.flags = 0xABCD;
    info.pixelFormat = 77;
    EXPECT_EQ(GMGetRendererInfo(info), eGenericSystemError);
    EXPECT_EQ(info.flags, 0xABCDu);
    EXPECT_EQ(info.pixelFormat, 77);
    EXPECT_EQ(GMChosenFBConfigID(), 0);
    EXPECT_EQ(GMGetRendererInfo(info), eGenericSystemError);
    EXPECT_EQ(info.pixelFormat, 77);

    KCWindow window;
    EXPECT_EQ(GMCreateRC(window), eGMGenericErr); // no surface
    EXPECT_EQ(GMGetCurrentRC(), nullptr);
}

TEST(RendererFlags, ChoiceOfTheConfiguration) {
    const KSConfigTraits none{};
    const KSConfigTraits copy{true, true, kSwapCopy};
    const KSConfigTraits undefined{true, true, kSwapUndefined};
    const KSConfigTraits exchange{true, true, kSwapExchange};
    const KSConfigTraits single{true, false, kSwapUnknown};
    const KSConfigTraits rejected{false, true, kSwapCopy};
    struct Case {
        std::vector<KSConfigTraits> configs;
        const char* vendor;
        const char* renderer;
        int format;
        bool singleBuffered;
    } cases[] = {
        {{rejected, single, undefined, copy, copy}, "Mesa", "llvmpipe", 4, false},
        {{single, undefined, exchange}, "Mesa", "llvmpipe", 2, false},
        {{single, exchange, single}, "Mesa", "llvmpipe", 1, true},
        {{none, rejected, exchange}, "Mesa", "llvmpipe", 9, false}, // the display's suggestion
        {{undefined, copy}, "ATI Technologies Inc.", "Radeon X300", 2, false},
        {{undefined, single}, "ATI Technologies Inc.", "Radeon X300", 2, true},
        {{undefined, single}, "ATI Technologies Inc.", "FireGL", 1, false},
        {{undefined, single}, "Intel", "Intel 915G", 2, true},
        {{undefined}, "Intel", "Intel 915G", 9, false},
        {{undefined}, "Intel Inc.", "x", 1, false},
    };
    for (const Case& c : cases) {
        const KSConfigChoice choice = GMChooseConfig(c.configs, c.vendor, c.renderer, 9);
        EXPECT_EQ(choice.pixelFormat, c.format) << c.vendor << " " << c.configs.size();
        EXPECT_EQ(choice.singleBuffered, c.singleBuffered) << c.vendor << " " << c.configs.size();
    }
}
