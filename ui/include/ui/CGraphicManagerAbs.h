// The drawing object of one surface: bound to a resource container for its
// images and, while drawing, to a window and a rectangle of it (the hatch)
// whose top-left corner is the origin of the caller's drawing. It owns the
// image, text and vertex-buffer handles it gives out (as void*), and offers a
// named layer over the OpenGL state and primitives. Drawing operations need
// the window's rendering context current (GMBind2RC).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/KURect.h"
#include "foundation/RM.h"
#include "ui/GMText.h"
#include "ui/OGL_VBO.h"

class KCWindow;

enum EFace : uint32_t {
    eFaceFront = 0x0404,
    eFaceBack = 0x0405,
    eFaceFrontAndBack = 0x0408,
};

enum EPolygonMode : uint32_t {
    ePolygonModePoint = 0x1B00,
    ePolygonModeLine = 0x1B01,
    ePolygonModeFill = 0x1B02,
};

// 1: draw outside the captured shapes; any other value: inside.
enum EStencilFunc : int32_t {
    eStencilInside = 0,
    eStencilOutside = 1,
};

// 0: fill towards the rectangle's top; any other value: towards its bottom.
enum EFillDirection : int32_t {
    eFillToTop = 0,
    eFillToBottom = 1,
};

class CGraphicManagerAbs {
public:
    explicit CGraphicManagerAbs(KTResContainerType* container);
    // A copy would share and free one store twice.
    CGraphicManagerAbs(const CGraphicManagerAbs&) = delete;
    CGraphicManagerAbs& operator=(const CGraphicManagerAbs&) = delete;
    virtual ~CGraphicManagerAbs();

    // --- life and hatch
    bool IsInitialized() const { return hatchActive; }
    KCWindow* GetWindow() const { return window; }
    void SetEmbededGraphicManager(bool e) { embedded = e; }
    KTResContainerType* GetResContainer() const { return resContainer; }
    uint32_t GetRendererFlags() const { return rendererFlags; }
    void InitHatch(KCWindow& w, const KURect<short>& rect);
    void MoveHatch(const KCPoint<short>& p);
    KURect<short> GetHatch() const;
    void HatchToLocal(const KCPoint<short>& in, KCPoint<short>& out) const;
    void LocalToHatch(const KCPoint<short>& in, KCPoint<short>& out) const;
    void GotoHatch();
    void ClearHatch();
    void ReleaseHatch();

    // --- clipping, stencil, transformations
    void LimitDrawToRect(const KURect<short>& rect, bool useTransformation);
    void UnLimitDrawToRect();
    void TurnStencilCaptureOn();
    void UseStencilCapture(EStencilFunc f);
    void DisableStencil();
    void SaveTransformationState();
    void RestoreLastTransformation();
    void Scaled(double x, double y, double z);
    void Translated(double x, double y, double z);
    void GetModelViewMatrix(float* matrix);

    // --- primitives and state
    void StartDrawPoints();
    void StartDrawLines();
    void StartDrawLineStrip();
    void StartDrawTriangleStrip();
    void StartDrawTriangles();
    void StartDrawPolygons();
    void EndDrawSection();
    void SetVertex(short x, short y);
    void SetVertex(const KCPoint<short>& p);
    void SetVertex(const KCPoint<float>& p);
    void EnableBlending();
    void DisableBlending();
    void EnableXorMode();
    void DisableXorMode();
    void EnablePolygonMode();
    void DisablePolygonMode();
    void SetPolygonMode(EFace face, EPolygonMode mode);
    void EnablePointAntialiasing();
    void DisablePointAntialiasing();
    void EnableLineAntialiasing();
    void DisableLineAntialiasing();
    void EnablePolygonAntialiasing();
    void DisablePolygonAntialiasing();
    void SetPointSize(float size);
    void SetLinePattern(int factor, unsigned short pattern);
    void DisableLinePattern();
    void SetLineThickness(float width);
    void SetClearColor(const KCRGBAColor& c);
    void SetColorUB(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    void SetColorUB(uint8_t r, uint8_t g, uint8_t b);
    void SetColorF(float r, float g, float b, float a);
    void SetColorF(float r, float g, float b);
    void SetColor(const KCRGBAColor& c);

    // --- shapes
    void DrawLineStrip(const KCPoint<short>* points, unsigned count);
    void DrawLineStrip(const KCPoint<float>* points, unsigned count);
    void DrawStraightLine(const KCPoint<short>& a, const KCPoint<short>& b);
    void DrawStraightLine(const KCPoint<float>& a, const KCPoint<float>& b);
    void DrawTriangleStrip(const KCPoint<float>* points, unsigned count, const KURect<short>& rect,
                           EFillDirection direction);
    void DrawTriangleStrip(const KCPoint<short>* points, unsigned count, const KURect<short>& rect,
                           EFillDirection direction);
    void DrawRect(const KURect<short>& r);
    void DrawRect(const KURect<float>& r);
    void DrawWireRect(const KURect<short>& r);
    void DrawWireRect(const KURect<float>& r);
    void DrawSolidRect(const KURect<short>& r);
    void DrawSolidRect(const KURect<float>& r);
    void DrawXorWireRect(const KURect<short>& r);
    void DrawXorWireRect(const KURect<float>& r);
    void DrawXorWireRect(const KURect<short>& r, const KCLinePattern& pattern);
    void DrawXorWireRect(const KURect<float>& r, const KCLinePattern& pattern);
    void DrawPolygon(const KCPoint<float>* points, unsigned count);
    void DrawOval(const KURect<short>& r, unsigned segments, double start, double sweep);
    void DrawOval(const KURect<short>& r);
    void DrawWaveForm(const KCPoint<short>* points, short count, const KCRGBAColor& c1,
                      const KCRGBAColor& c2);
    void DrawWaveForm(const KCPoint<float>* points, short count, const KCRGBAColor& c1,
                      const KCRGBAColor& c2);
    void DrawWaveForm_TS_Style(const KCPoint<short>* points, short count, const KCRGBAColor& c1,
                               const KCRGBAColor& c2);

    // --- scene textures
    void TextureRecordFromScene(unsigned& name, const KURect<short>& rect);
    void TextureDraw(unsigned& name, const KURect<short>& rect);
    void TextureDispose(unsigned& name);

    // --- images
    void* RegisterImageFromResID(short number, KTResContainerType* container);
    void* RegisterImageFromResID(short number);
    void DrawImage(void* image, const KCPoint<short>& where);
    void DrawImage(void* image, const KCPoint<short>& where, const KURect<short>& part);
    void DrawImageScaled(void* image, const KURect<short>& destination, const KURect<short>& part);
    bool IsPixelTransparent(void* image, const KCPoint<short>& point);
    void GetImageSize(void* image, KCPoint<short>& size);

    // --- texts (need an active hatch)
    // eMemNewFailed, with the handle as it was, when the text's pixels
    // cannot be had (their byte count does not fit in 32 bits, or the heap
    // refuses them); else 0.
    KTErr RenderText(void*& text, const char* string, const KCFontInfo& font,
                     const KCRGBAColor& colour, ETextJustification justification,
                     const KCPoint<short>& size);
    KTErr RenderText(void*& text, const wchar_t* string, const KCFontInfo& font,
                     const KCRGBAColor& colour, ETextJustification justification,
                     const KCPoint<short>& size);
    void UnRegisterText(void*& text);
    void DrawRenderedText(void* text, const KCPoint<short>& where);
    void DrawTextUnOptimized(const KCFontInfo& font, const char* string, const KCRGBAColor& colour,
                             const KCPoint<short>& where);
    // As DrawTextUnOptimized, but the rendered text is kept for the next
    // draw of the same text, colour and font (a bounded number of texts).
    void DrawTextCached(const KCFontInfo& font, const char* string, const KCRGBAColor& colour,
                        const KCPoint<short>& where);

    // --- vertex buffers (only when IsVBOSupported)
    bool IsVBOSupported() const;
    void* RegisterVBO(const KCPoint<float>* vertices, unsigned count);
    void UpdateVBO(void* vbo, unsigned first, unsigned count);
    void DrawVBO(void* vbo, unsigned first, unsigned count);

    KCFontInfo& GetFontInfo() { return fontInfo; }

private:
    struct Store;
    template <typename Text>
    KTErr RenderAnyText(void*& text, const Text* string, const KCFontInfo& font,
                        const KCRGBAColor& colour, ETextJustification justification,
                        const KCPoint<short>& size);
    KTErr PrepareText(void*& text, const KCPoint<short>& size);

    Store* store;
    KCWindow* window = nullptr;
    bool hatchActive = false;
    uint32_t rendererFlags = 0;
    KTResContainerType* resContainer = nullptr;
    bool embedded = false;
    KCFontInfo fontInfo;
};
