// The graphic manager: hatch, handle store and the layer over OpenGL.
#include "ui/CGraphicManagerAbs.h"

#include <GL/gl.h>

#include <cmath>
#include <list>
#include <map>
#include <memory>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "ui/GMRenderer.h"
#include "ui/KCImage.h"
#include "ui/KCWindow.h"

struct CGraphicManagerAbs::Store {
    std::map<std::pair<short, KTResContainerType*>, TexturedImage*> images;
    std::list<OGLText*> texts;
    std::map<const KCPoint<float>*, OGL_VBO*> vbos;
    std::vector<OGL_VBO*> replacedVBOs; // handles callers may still hold
    KURect<short> hatch;
    // Rendered texts kept by DrawTextCached (also listed in `texts`).
    std::map<std::tuple<std::string, uint32_t, KCFontInfo>, void*> cachedTexts;
};

namespace {

constexpr double kPi = 3.14159265358979323846;

void DeleteTexture(uint32_t& name) {
    if (name != 0 && glIsTexture(name))
        glDeleteTextures(1, &name);
    name = 0;
}

template <typename T>
void RectPolygon(const KURect<T>& r) {
    glBegin(GL_POLYGON);
    glVertex2d(r.left, r.top);
    glVertex2d(r.left, r.bottom);
    glVertex2d(r.right, r.bottom);
    glVertex2d(r.right, r.top);
    glEnd();
}

template <typename T>
void RectInMode(const KURect<T>& r, GLenum mode) {
    glPushAttrib(GL_CURRENT_BIT | GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, mode);
    RectPolygon(r);
    glPopAttrib();
}

template <typename T>
void Strip(GLenum primitive, const KCPoint<T>* points, unsigned count) {
    if (points == nullptr)
        return;
    glBegin(primitive);
    for (unsigned i = 0; i < count; ++i)
        glVertex2d(points[i].x, points[i].y);
    glEnd();
}

void Colour(const KCRGBAColor& c) {
    glColor4ub(c.red, c.green, c.blue, c.alpha);
}

template <typename T>
void WaveForm(const KCPoint<T>* points, short count, const KCRGBAColor& c1, const KCRGBAColor& c2) {
    if (points == nullptr || count < 1)
        return;
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < count / 2; ++i) {
        Colour(c1);
        glVertex2d(points[i].x, points[i].y);
        Colour(c2);
        glVertex2d(points[count - 1 - i].x, points[count - 1 - i].y);
    }
    glEnd();
}

} // namespace

// ---------------------------------------------------------------------------

CGraphicManagerAbs::CGraphicManagerAbs(KTResContainerType* container)
    : store(new Store()), resContainer(container) {
    KCRendererInfo info;
    rendererFlags = GMGetRendererInfo(info) == eNoErr ? info.flags : 0;
}

CGraphicManagerAbs::~CGraphicManagerAbs() {
    if (hatchActive)
        ReleaseHatch();
    for (auto& [key, image] : store->images) {
        KTResourceType* resource = image->GetOGLImage()->GetResRef();
        delete image;
        RMReleaseResource(resource);
    }
    for (OGLText* text : store->texts) {
        delete text->GetImageData();
        delete text;
    }
    for (auto& [key, vbo] : store->vbos)
        delete vbo;
    for (OGL_VBO* vbo : store->replacedVBOs)
        delete vbo;
    delete store;
}

void CGraphicManagerAbs::InitHatch(KCWindow& w, const KURect<short>& rect) {
    window = &w;
    store->hatch = rect;
    hatchActive = true;
}

KURect<short> CGraphicManagerAbs::GetHatch() const {
    return store->hatch;
}

void CGraphicManagerAbs::MoveHatch(const KCPoint<short>& p) {
    store->hatch.MoveToOrigin();
    store->hatch.Offset(p);
}

void CGraphicManagerAbs::HatchToLocal(const KCPoint<short>& in, KCPoint<short>& out) const {
    out = KCPoint<short>(short(in.x + store->hatch.left), short(in.y + store->hatch.top));
}

void CGraphicManagerAbs::LocalToHatch(const KCPoint<short>& in, KCPoint<short>& out) const {
    out = KCPoint<short>(short(in.x - store->hatch.left), short(in.y - store->hatch.top));
}

void CGraphicManagerAbs::GotoHatch() {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(store->hatch.left, store->hatch.top, 0);
}

void CGraphicManagerAbs::ClearHatch() {
    const KURect<short>& h = store->hatch;
    LimitDrawToRect(KURect<short>(0, 0, h.Height(), h.Width()), false);
    glClear(GL_COLOR_BUFFER_BIT);
    UnLimitDrawToRect();
}

void CGraphicManagerAbs::ReleaseHatch() {
    if (window != nullptr && window->renderingContext != nullptr)
        GMBind2RC(*window);
    for (auto& [key, image] : store->images)
        image->ReleaseTextures();
    for (OGLText* text : store->texts)
        text->ReleaseTexture();
    for (auto& [key, vbo] : store->vbos)
        vbo->Release();
    for (OGL_VBO* vbo : store->replacedVBOs)
        vbo->Release();
    if (!embedded && window != nullptr)
        GMUnBind2RC(*window);
    hatchActive = false;
    window = nullptr;
}

// --- clipping, stencil, transformations --------------------------------------

void CGraphicManagerAbs::LimitDrawToRect(const KURect<short>& rect, bool useTransformation) {
    glPushAttrib(GL_SCISSOR_BIT);
    glEnable(GL_SCISSOR_TEST);
    // Window coordinates count from the bottom of the viewport's drawing,
    // which sits at the top of a canvas clipped shorter than the drawing.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int windowHeight =
        window ? (viewport[3] > 0 ? viewport[1] + viewport[3] : window->bounds.Height()) : 0;
    if (!useTransformation) {
        const KURect<short>& h = store->hatch;
        glScissor(h.left + rect.left, windowHeight - h.top - rect.bottom, rect.Width(),
                  rect.Height());
        return;
    }
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const int tx = int(m[12]), ty = int(m[13]);
    const int left = rect.left + tx, right = rect.right + tx;
    const int top = rect.top + ty, bottom = rect.bottom + ty;
    glScissor(left, windowHeight - bottom, right - left, bottom - top);
}

void CGraphicManagerAbs::UnLimitDrawToRect() {
    glPopAttrib();
}

void CGraphicManagerAbs::TurnStencilCaptureOn() {
    glClearStencil(0);
    glEnable(GL_STENCIL_TEST);
    glClear(GL_STENCIL_BUFFER_BIT);
    glStencilFunc(GL_NEVER, 0, 0);
    glStencilOp(GL_INCR, GL_INCR, GL_INCR);
}

void CGraphicManagerAbs::UseStencilCapture(EStencilFunc f) {
    glStencilFunc(f == eStencilOutside ? GL_NOTEQUAL : GL_EQUAL, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
}

void CGraphicManagerAbs::DisableStencil() {
    glDisable(GL_STENCIL_TEST);
}

void CGraphicManagerAbs::SaveTransformationState() {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void CGraphicManagerAbs::RestoreLastTransformation() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void CGraphicManagerAbs::Scaled(double x, double y, double z) {
    glScaled(x, y, z);
}

void CGraphicManagerAbs::Translated(double x, double y, double z) {
    glTranslated(x, y, z);
}

void CGraphicManagerAbs::GetModelViewMatrix(float* matrix) {
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
}

// --- primitives and state ------------------------------------------------------

void CGraphicManagerAbs::StartDrawPoints() {
    glBegin(GL_POINTS);
}
void CGraphicManagerAbs::StartDrawLines() {
    glBegin(GL_LINES);
}
void CGraphicManagerAbs::StartDrawLineStrip() {
    glBegin(GL_LINE_STRIP);
}
void CGraphicManagerAbs::StartDrawTriangleStrip() {
    glBegin(GL_TRIANGLE_STRIP);
}
void CGraphicManagerAbs::StartDrawTriangles() {
    glBegin(GL_TRIANGLES);
}
void CGraphicManagerAbs::StartDrawPolygons() {
    glBegin(GL_POLYGON);
}
void CGraphicManagerAbs::EndDrawSection() {
    glEnd();
}
void CGraphicManagerAbs::SetVertex(short x, short y) {
    glVertex2s(x, y);
}
void CGraphicManagerAbs::SetVertex(const KCPoint<short>& p) {
    glVertex2s(p.x, p.y);
}
void CGraphicManagerAbs::SetVertex(const KCPoint<float>& p) {
    glVertex2f(p.x, p.y);
}
void CGraphicManagerAbs::EnableBlending() {
    glEnable(GL_BLEND);
}
void CGraphicManagerAbs::DisableBlending() {
    glDisable(GL_BLEND);
}

void CGraphicManagerAbs::EnableXorMode() {
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glEnable(GL_COLOR_LOGIC_OP);
    glColor4f(1, 1, 1, 1);
    glLogicOp(GL_XOR);
}

void CGraphicManagerAbs::DisableXorMode() {
    glPopAttrib();
}

void CGraphicManagerAbs::EnablePolygonMode() {
    glPushAttrib(GL_CURRENT_BIT | GL_POLYGON_BIT);
}
void CGraphicManagerAbs::DisablePolygonMode() {
    glPopAttrib();
}
void CGraphicManagerAbs::SetPolygonMode(EFace face, EPolygonMode mode) {
    glPolygonMode(face, mode);
}

namespace {

void Switch(bool allowed, GLenum capability, bool on) {
    if (!allowed)
        return;
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

} // namespace

void CGraphicManagerAbs::EnablePointAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_POINT_SMOOTH, true);
}
void CGraphicManagerAbs::DisablePointAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_POINT_SMOOTH, false);
}
void CGraphicManagerAbs::EnableLineAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_LINE_SMOOTH, true);
}
void CGraphicManagerAbs::DisableLineAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_LINE_SMOOTH, false);
}
void CGraphicManagerAbs::EnablePolygonAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_POLYGON_SMOOTH, true);
}
void CGraphicManagerAbs::DisablePolygonAntialiasing() {
    Switch(rendererFlags & eRendererSmoothing, GL_POLYGON_SMOOTH, false);
}
void CGraphicManagerAbs::SetPointSize(float size) {
    glPointSize(size);
}

void CGraphicManagerAbs::SetLinePattern(int factor, unsigned short pattern) {
    if (!(rendererFlags & eRendererLineStipple))
        return;
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(factor, pattern);
}

void CGraphicManagerAbs::DisableLinePattern() {
    Switch(rendererFlags & eRendererLineStipple, GL_LINE_STIPPLE, false);
}

void CGraphicManagerAbs::SetLineThickness(float width) {
    glLineWidth(width <= 0 ? 1.0f : width);
}

void CGraphicManagerAbs::SetClearColor(const KCRGBAColor& c) {
    glClearColor(c.red / 255.0f, c.green / 255.0f, c.blue / 255.0f, c.alpha / 255.0f);
}
void CGraphicManagerAbs::SetColorUB(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    glColor4ub(r, g, b, a);
}
void CGraphicManagerAbs::SetColorUB(uint8_t r, uint8_t g, uint8_t b) {
    glColor3ub(r, g, b);
}
void CGraphicManagerAbs::SetColorF(float r, float g, float b, float a) {
    glColor4f(r, g, b, a);
}
void CGraphicManagerAbs::SetColorF(float r, float g, float b) {
    glColor3f(r, g, b);
}
void CGraphicManagerAbs::SetColor(const KCRGBAColor& c) {
    Colour(c);
}

// --- shapes ------------------------------------------------------------------------

void CGraphicManagerAbs::DrawLineStrip(const KCPoint<short>* p, unsigned n) {
    Strip(GL_LINE_STRIP, p, n);
}
void CGraphicManagerAbs::DrawLineStrip(const KCPoint<float>* p, unsigned n) {
    Strip(GL_LINE_STRIP, p, n);
}
void CGraphicManagerAbs::DrawStraightLine(const KCPoint<short>& a, const KCPoint<short>& b) {
    const KCPoint<short> points[] = {a, b};
    Strip(GL_LINES, points, 2);
}
void CGraphicManagerAbs::DrawStraightLine(const KCPoint<float>& a, const KCPoint<float>& b) {
    const KCPoint<float> points[] = {a, b};
    Strip(GL_LINES, points, 2);
}
void CGraphicManagerAbs::DrawPolygon(const KCPoint<float>* p, unsigned n) {
    Strip(GL_POLYGON, p, n);
}

void CGraphicManagerAbs::DrawTriangleStrip(const KCPoint<float>* p, unsigned n,
                                           const KURect<short>& rect, EFillDirection direction) {
    if (p == nullptr)
        return;
    const float base = direction == eFillToTop ? rect.top : rect.bottom;
    glBegin(GL_TRIANGLE_STRIP);
    for (unsigned i = 0; i < n; ++i) {
        glVertex2f(p[i].x, p[i].y);
        glVertex2f(p[i].x, base);
    }
    glEnd();
}

void CGraphicManagerAbs::DrawTriangleStrip(const KCPoint<short>* p, unsigned n,
                                           const KURect<short>& rect, EFillDirection direction) {
    if (p == nullptr)
        return;
    const short base = direction == eFillToTop ? rect.top : rect.bottom;
    glBegin(GL_TRIANGLE_STRIP);
    for (unsigned i = 0; i < n; ++i) {
        glVertex2s(p[i].x, p[i].y);
        glVertex2s(p[i].x, base);
    }
    glEnd();
}

void CGraphicManagerAbs::DrawRect(const KURect<short>& r) {
    RectPolygon(r);
}
void CGraphicManagerAbs::DrawRect(const KURect<float>& r) {
    RectPolygon(r);
}
void CGraphicManagerAbs::DrawWireRect(const KURect<short>& r) {
    RectInMode(r, GL_LINE);
}
void CGraphicManagerAbs::DrawWireRect(const KURect<float>& r) {
    RectInMode(r, GL_LINE);
}
void CGraphicManagerAbs::DrawSolidRect(const KURect<short>& r) {
    RectInMode(r, GL_FILL);
}
void CGraphicManagerAbs::DrawSolidRect(const KURect<float>& r) {
    RectInMode(r, GL_FILL);
}

namespace {

template <typename T>
void XorRect(const KURect<T>& r, const KCLinePattern* pattern, uint32_t rendererFlags) {
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
    glEnable(GL_COLOR_LOGIC_OP);
    glColor4f(1, 1, 1, 1);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    if (pattern != nullptr && (rendererFlags & eRendererLineStipple)) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(pattern->GetFactor(), pattern->GetPattern());
    }
    glLogicOp(GL_XOR);
    RectPolygon(r);
    glPopAttrib();
}

} // namespace

void CGraphicManagerAbs::DrawXorWireRect(const KURect<short>& r) {
    XorRect(r, nullptr, rendererFlags);
}
void CGraphicManagerAbs::DrawXorWireRect(const KURect<float>& r) {
    XorRect(r, nullptr, rendererFlags);
}
void CGraphicManagerAbs::DrawXorWireRect(const KURect<short>& r, const KCLinePattern& p) {
    XorRect(r, &p, rendererFlags);
}
void CGraphicManagerAbs::DrawXorWireRect(const KURect<float>& r, const KCLinePattern& p) {
    XorRect(r, &p, rendererFlags);
}

void CGraphicManagerAbs::DrawOval(const KURect<short>& r, unsigned segments, double start,
                                  double sweep) {
    if (segments == 0)
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const int a = (r.right - r.left) / 2, b = (r.bottom - r.top) / 2;
    glTranslated(r.left + a, r.top + b, 0);
    glBegin(GL_TRIANGLE_FAN);
    glVertex2d(0, 0);
    for (unsigned k = 0; k <= segments; ++k) {
        const double theta = (start + k * sweep / segments) * 2 * kPi / 360;
        glVertex2d(a * std::cos(theta - kPi / 2), b * std::sin(theta - kPi / 2));
    }
    glEnd();
    glPopMatrix();
    glPopAttrib();
}

void CGraphicManagerAbs::DrawOval(const KURect<short>& r) {
    DrawOval(r, 100, 0, 360);
}

void CGraphicManagerAbs::DrawWaveForm(const KCPoint<short>* p, short n, const KCRGBAColor& c1,
                                      const KCRGBAColor& c2) {
    WaveForm(p, n, c1, c2);
}

void CGraphicManagerAbs::DrawWaveForm(const KCPoint<float>* p, short n, const KCRGBAColor& c1,
                                      const KCRGBAColor& c2) {
    WaveForm(p, n, c1, c2);
}

void CGraphicManagerAbs::DrawWaveForm_TS_Style(const KCPoint<short>* p, short n,
                                               const KCRGBAColor& c1, const KCRGBAColor& c2) {
    if (p == nullptr || n < 1)
        return;
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < n; ++i) {
        Colour(c2);
        glVertex2i(i, 500 - p[i].y);
        Colour(c1);
        glVertex2i(i, p[i].x - 500);
    }
    glEnd();
}

// --- scene textures --------------------------------------------------------------

void CGraphicManagerAbs::TextureRecordFromScene(unsigned& name, const KURect<short>& rect) {
    const GLsizei W = GLsizei(KMPowerOfTwo(uint32_t(std::max<int>(rect.Width(), 1))));
    const GLsizei H = GLsizei(KMPowerOfTwo(uint32_t(std::max<int>(rect.Height(), 1))));
    const int HH = store->hatch.Height();
    const int x = rect.left, y = HH - rect.top - H;
    if (name == 0) {
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, x, y, W, H, 0);
    } else {
        glBindTexture(GL_TEXTURE_2D, name);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, y, W, H);
    }
}

void CGraphicManagerAbs::TextureDraw(unsigned& name, const KURect<short>& r) {
    const double w = r.Width(), h = r.Height();
    const double W = KMPowerOfTwo(uint32_t(std::max<int>(r.Width(), 1)));
    const double H = KMPowerOfTwo(uint32_t(std::max<int>(r.Height(), 1)));
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 1);
    glVertex2d(r.left, r.top);
    glTexCoord2d(0, 1 - h / H);
    glVertex2d(r.left, r.bottom);
    glTexCoord2d(w / W, 1 - h / H);
    glVertex2d(r.right, r.bottom);
    glTexCoord2d(w / W, 1);
    glVertex2d(r.right, r.top);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CGraphicManagerAbs::TextureDispose(unsigned& name) {
    DeleteTexture(name);
}

// --- images ------------------------------------------------------------------------

void* CGraphicManagerAbs::RegisterImageFromResID(short number, KTResContainerType* container) {
    const auto key = std::make_pair(number, container);
    if (auto it = store->images.find(key); it != store->images.end())
        return it->second;
    OGLImage* image = nullptr;
    if (PNGResToOGLImageConvertor::GetImageFromResource(container, number, image) != eNoErr)
        return nullptr;
    auto* handle = new TexturedImage(*image);
    store->images[key] = handle;
    return handle;
}

void* CGraphicManagerAbs::RegisterImageFromResID(short number) {
    return RegisterImageFromResID(number, resContainer);
}

void CGraphicManagerAbs::DrawImage(void* image, const KCPoint<short>& where) {
    auto* t = static_cast<TexturedImage*>(image);
    t->Draw(where, KURect<short>(0, 0, short(t->GetHeight()), short(t->GetWidth())));
}

void CGraphicManagerAbs::DrawImage(void* image, const KCPoint<short>& where,
                                   const KURect<short>& part) {
    static_cast<TexturedImage*>(image)->Draw(where, part);
}

void CGraphicManagerAbs::DrawImageScaled(void* image, const KURect<short>& destination,
                                         const KURect<short>& part) {
    static_cast<TexturedImage*>(image)->Draw(destination, part);
}

bool CGraphicManagerAbs::IsPixelTransparent(void* image, const KCPoint<short>& point) {
    return static_cast<TexturedImage*>(image)->GetAlpha(point) == 0;
}

void CGraphicManagerAbs::GetImageSize(void* image, KCPoint<short>& size) {
    size = static_cast<TexturedImage*>(image)->GetImageSize();
}

// --- texts -----------------------------------------------------------------------------

KTErr CGraphicManagerAbs::PrepareText(void*& text, const KCPoint<short>& size) {
    const uint32_t W = KMPowerOfTwo(uint32_t(size.x)), H = KMPowerOfTwo(uint32_t(size.y));
    // The image keeps its byte count in 32 bits.
    if (uint64_t(W) * H * 4 > uint64_t(INT32_MAX))
        return eMemNewFailed;
    if (text != nullptr) {
        const ImageData* data = static_cast<OGLText*>(text)->GetImageData();
        if (data->GetWidth() == W && data->GetHeight() == H) {
            static_cast<OGLText*>(text)->SetSize(size);
            return eNoErr;
        }
    }
    std::unique_ptr<ImageData> data;
    std::unique_ptr<OGLText> made;
    try {
        data = std::make_unique<ImageData>(int(W), int(H), 32, -1);
        made = std::make_unique<OGLText>(*data, size);
        store->texts.push_back(made.get());
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    }
    UnRegisterText(text);
    data.release();
    text = made.release();
    return eNoErr;
}

template <typename Text>
KTErr CGraphicManagerAbs::RenderAnyText(void*& text, const Text* string, const KCFontInfo& font,
                                        const KCRGBAColor& colour, ETextJustification justification,
                                        const KCPoint<short>& size) {
    if (size.x < 1 || size.y < 1 || window == nullptr)
        return eNoErr;
    if (KTErr err = PrepareText(text, size); err != eNoErr)
        return err;
    auto* t = static_cast<OGLText*>(text);
    GMRenderText(*window, font, string, colour, justification, KURect<short>(0, 0, size.y, size.x),
                 *t->GetImageData());
    t->ReleaseTexture();
    return eNoErr;
}

KTErr CGraphicManagerAbs::RenderText(void*& text, const char* string, const KCFontInfo& font,
                                     const KCRGBAColor& colour, ETextJustification justification,
                                     const KCPoint<short>& size) {
    return RenderAnyText(text, string, font, colour, justification, size);
}

KTErr CGraphicManagerAbs::RenderText(void*& text, const wchar_t* string, const KCFontInfo& font,
                                     const KCRGBAColor& colour, ETextJustification justification,
                                     const KCPoint<short>& size) {
    return RenderAnyText(text, string, font, colour, justification, size);
}

void CGraphicManagerAbs::UnRegisterText(void*& text) {
    if (text == nullptr)
        return;
    for (auto it = store->texts.begin(); it != store->texts.end(); ++it) {
        if (*it == text) {
            OGLText* found = *it;
            found->ReleaseTexture();
            delete found->GetImageData();
            delete found;
            store->texts.erase(it);
            break;
        }
    }
    text = nullptr;
}

void CGraphicManagerAbs::DrawRenderedText(void* text, const KCPoint<short>& where) {
    static_cast<OGLText*>(text)->Draw(where);
}

void CGraphicManagerAbs::DrawTextUnOptimized(const KCFontInfo& font, const char* string,
                                             const KCRGBAColor& colour,
                                             const KCPoint<short>& where) {
    KCPoint<short> size;
    GMGetTextWidthInPixels(font, string, size);
    void* text = nullptr;
    RenderText(text, string, font, colour, eTextJustificationLeft, size);
    if (text != nullptr)
        DrawRenderedText(text, where);
    UnRegisterText(text);
}

void CGraphicManagerAbs::DrawTextCached(const KCFontInfo& font, const char* string,
                                        const KCRGBAColor& colour, const KCPoint<short>& where) {
    constexpr size_t kMostCachedTexts = 1024;
    const uint32_t rgba = static_cast<uint32_t>(colour.red) | colour.green << 8 |
                          colour.blue << 16 | static_cast<uint32_t>(colour.alpha) << 24;
    auto key = std::make_tuple(std::string(string), rgba, font);
    auto it = store->cachedTexts.find(key);
    if (it == store->cachedTexts.end()) {
        if (store->cachedTexts.size() >= kMostCachedTexts) {
            for (auto& [k, text] : store->cachedTexts)
                UnRegisterText(text);
            store->cachedTexts.clear();
        }
        KCPoint<short> size;
        GMGetTextWidthInPixels(font, string, size);
        void* text = nullptr;
        RenderText(text, string, font, colour, eTextJustificationLeft, size);
        if (text == nullptr)
            return;
        it = store->cachedTexts.emplace(std::move(key), text).first;
    }
    DrawRenderedText(it->second, where);
}

// --- vertex buffers ----------------------------------------------------------------

bool CGraphicManagerAbs::IsVBOSupported() const {
    return (rendererFlags & eRendererVertexBuffers) != 0;
}

void* CGraphicManagerAbs::RegisterVBO(const KCPoint<float>* vertices, unsigned count) {
    auto* vbo = new OGL_VBO(vertices, count);
    OGL_VBO*& slot = store->vbos[vertices];
    if (slot != nullptr)
        store->replacedVBOs.push_back(slot);
    slot = vbo;
    return vbo;
}

void CGraphicManagerAbs::UpdateVBO(void* vbo, unsigned first, unsigned count) {
    static_cast<OGL_VBO*>(vbo)->Update(first, count);
}

void CGraphicManagerAbs::DrawVBO(void* vbo, unsigned first, unsigned count) {
    static_cast<OGL_VBO*>(vbo)->Draw(first, count);
}
