// A 40-character line in 12-pixel DejaVu Sans into a 256 x 32 box, drawn as
// a texture: the graphic manager's RenderText + DrawRenderedText against the
// toolkit's path (wxMemoryDC::DrawText on a bitmap, converted to RGBA and
// uploaded with glTexImage2D), in the same run and context. Needs a display.
#include "BenchToolkit.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/font.h>
#include <wx/image.h>
#include <wx/init.h>

#include "ui/CGraphicManagerAbs.h"
#include "ui/GMRenderer.h"
#include "ui/KMWindowManager.h"

namespace {

const char* const kLine = "The quick brown fox jumps over a lazy dog";
constexpr int kW = 256, kH = 32;

struct Surface {
    KCWindow window;
    CGraphicManagerAbs* manager = nullptr;
};

Surface* surface = nullptr;

bool Handler(void*, KEEventTypes, KCEventData*, void*) {
    return true;
}

void RenderTextPath(benchmark::State& state) {
    CGraphicManagerAbs& m = *surface->manager;
    KCFontInfo font;
    font.SetFontName("DejaVu Sans");
    font.SetFontSize(12);
    const KCRGBAColor colour(0, 0, 0, 255);
    void* text = nullptr;
    for (auto _ : state) {
        m.RenderText(text, kLine, font, colour, eTextJustificationLeft, KCPoint<short>(kW, kH));
        m.DrawRenderedText(text, KCPoint<short>(0, 0));
        glFinish();
    }
    m.UnRegisterText(text);
}

void WxTextPath(benchmark::State& state) {
    wxFont font(wxFontInfo(wxSize(0, 12)).FaceName("DejaVu Sans"));
    std::vector<uint8_t> rgba(size_t(kW) * kH * 4);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    for (auto _ : state) {
        wxBitmap bitmap(kW, kH, 24);
        {
            wxMemoryDC dc(bitmap);
            dc.SetBackground(*wxWHITE_BRUSH);
            dc.Clear();
            dc.SetFont(font);
            dc.SetTextForeground(*wxBLACK);
            dc.DrawText(kLine, 0, 0);
        }
        const wxImage image = bitmap.ConvertToImage();
        const unsigned char* rgb = image.GetData();
        for (size_t i = 0; i < size_t(kW) * kH; ++i) {
            rgba[i * 4] = rgb[i * 3];
            rgba[i * 4 + 1] = rgb[i * 3 + 1];
            rgba[i * 4 + 2] = rgb[i * 3 + 2];
            rgba[i * 4 + 3] = uint8_t(255 - rgb[i * 3]);
        }
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kW, kH, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glEnable(GL_TEXTURE_2D);
        glBegin(GL_QUADS);
        glTexCoord2d(0, 0);
        glVertex2d(0, 0);
        glTexCoord2d(0, 1);
        glVertex2d(0, kH);
        glTexCoord2d(1, 1);
        glVertex2d(kW, kH);
        glTexCoord2d(1, 0);
        glVertex2d(kW, 0);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glFinish();
    }
    glDeleteTextures(1, &texture);
}

BENCHMARK(RenderTextPath)->Unit(benchmark::kMicrosecond);
BENCHMARK(WxTextPath)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!StartBenchToolkit("bench_text", argv[0]))
        return 2;
    KMInit(nullptr);
    surface = new Surface();
    KCWinCreateOpts options;
    options.kind = kWinKindOpenGL;
    options.flags = 0x7;
    options.bounds = KURect<short>(100, 100, 100 + 64, 100 + 300);
    options.handler = Handler;
    options.title = "bench";
    if (KMCreateWindow(options, surface->window) != eNoErr || GMCreateRC(surface->window) != eNoErr)
        return 1;
    surface->manager = new CGraphicManagerAbs(nullptr);
    surface->manager->InitHatch(surface->window, options.bounds);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    surface->manager->SetEmbededGraphicManager(true);
    delete surface->manager;
    GMDisposeRC(surface->window);
    KMDisposeWindow(surface->window);
    delete surface;
    KMDispose();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
