// Drawables and the graph primitives the editor's graphs hold: a filled
// rectangle, a polygon, a line strip, texts, a clipped texture, a gradient
// pipe, a set of lines and a scope. Each draws itself through the graphic
// manager it was created with, inside its drawable rectangle.
#pragma once

#include "foundation/KURect.h"
#include "foundation/XMLElement.h"
#include "guilib/QGLExport.h"
#include "ui/GMText.h"

#include <cstdint>
#include <string>
#include <vector>

class CGraphicManagerAbs;
class KCRegion;

class QGL_API CDrawable {
public:
    CDrawable() = default;
    CDrawable(const CDrawable&) = default;
    CDrawable& operator=(const CDrawable&) = default;
    virtual ~CDrawable() = default;

    virtual void SetRefresh(const KURect<short>&) { refresh_ = true; }
    virtual void SetRefresh() { refresh_ = true; }
    virtual bool NeedRefresh() const { return refresh_; }
    // The editor redraws whole frames: a visible region only asks for one.
    virtual void SetVisible(const KCRegion&) { refresh_ = true; }
    virtual void SetVisible(bool visible) {
        hidden_ = !visible;
        refresh_ = true;
    }
    virtual void SetDrawableRect(const KURect<short>& r) {
        rect_ = r;
        refresh_ = true;
    }

    bool IsHidden() const { return hidden_; }
    const KURect<short>& GetDrawableRect() const { return rect_; }
    void ClearRefresh() { refresh_ = false; }

private:
    bool refresh_ = true;
    bool hidden_ = false;
    bool spare_ = false;
    KURect<short> rect_;
};

class QGL_API KCGraphData : public CDrawable, public kvXML::CXMLable {
public:
    KCGraphData() = default;
    KCGraphData(const KCGraphData&) = default;
    KCGraphData& operator=(const KCGraphData&) = default;
    ~KCGraphData() override = default;

    // Binds the primitive to the manager it draws through (not owned).
    virtual void FinishCreate(CGraphicManagerAbs* gm) { gm_ = gm; }
    // A new copy of the primitive (its own class), or null.
    virtual KCGraphData* Clone() const;
    virtual void DrawSelf() {}

    // Draws the primitive unless it is hidden.
    void Draw() {
        if (!IsHidden())
            DrawSelf();
    }

    // The draw-class name and the name of the parameter that feeds it.
    const std::string& GetDrawClass() const { return drawClass_; }
    void SetDrawClass(const std::string& name) { drawClass_ = name; }
    const std::string& GetParamName() const { return paramName_; }
    void SetParamName(const std::string& name) { paramName_ = name; }
    // The values the primitive shows: for strips, one per point, each the
    // point's height as a fraction of the rectangle (0 bottom, 1 top).
    std::vector<float>& GetData() { return data_; }
    const std::vector<float>& GetData() const { return data_; }

protected:
    CGraphicManagerAbs* GetGM() const { return gm_; }
    // Point i of n spread evenly across the rectangle at height `fraction`.
    KCPoint<float> PointAt(size_t i, size_t n, float fraction) const;

private:
    std::string drawClass_;
    std::string paramName_;
    std::vector<float> data_;
    CGraphicManagerAbs* gm_ = nullptr;
};

class QGL_API KCDrawGraph_ColorRect : public KCGraphData {
public:
    KCDrawGraph_ColorRect() = default;
    KCDrawGraph_ColorRect* Clone() const override;
    void DrawSelf() override;
    void SetFillColor(const KCRGBAColor& c) { fill_ = c; }
    KCRGBAColor GetFillColor() const { return fill_; }

private:
    KCRGBAColor fill_{0, 0, 0, 255};
};

struct sPointDescription {
    float x = 0;
    float y = 0;
};

class QGL_API KCDrawGraph_Polygon : public KCGraphData {
public:
    KCDrawGraph_Polygon* Clone() const override;
    void DrawSelf() override;
    std::vector<sPointDescription>& Points() { return points_; }
    // No bounds check: index stays below the number of points.
    sPointDescription& GetPoint(size_t index) { return points_[index]; }
    KCRGBAColor GetOutlineColor() const { return outline_; }
    void SetOutlineColor(const KCRGBAColor& c) { outline_ = c; }
    void SetThickness(float t) { thickness_ = t; }

private:
    std::vector<sPointDescription> points_;
    std::vector<int32_t> values_;
    bool filled_ = false;
    float thickness_ = 1.0f;
    KCRGBAColor outline_{255, 255, 255, 255};
};

class QGL_API KCDrawGraph_LineStrip : public KCGraphData {
public:
    KCDrawGraph_LineStrip* Clone() const override;
    void DrawSelf() override;
    void SetLineColor(KCRGBAColor c) { color_ = c; }
    KCRGBAColor GetLineColor() const { return color_; }
    void SetThickness(float t) { thickness_ = t; }
    float GetThickness() const { return thickness_; }

private:
    bool antialias_ = true;
    bool spare1_ = false;
    bool spare2_ = false;
    float thickness_ = 1.0f;
    KCRGBAColor color_{255, 255, 255, 255};
};

struct sTextItem {
    KCPoint<short> where;
    std::string text;
    KCRGBAColor color{255, 255, 255, 255};
};

class QGL_API KCDrawGraph_Text : public KCGraphData {
public:
    KCDrawGraph_Text* Clone() const override;
    void DrawSelf() override;
    std::vector<sTextItem>& Items() { return items_; }

private:
    std::vector<sTextItem> items_;
};

// A part of an image resource drawn into the rectangle.
class QGL_API KCDrawGraph_ClippedTexture : public KCGraphData {
public:
    KCDrawGraph_ClippedTexture* Clone() const override;
    void FinishCreate(CGraphicManagerAbs* gm) override;
    void DrawSelf() override;
    void SetImageNumber(short number) { imageNumber_ = number; }
    void SetPart(const KURect<short>& part) { part_ = part; }

private:
    bool spare1_ = false;
    bool spare2_ = false;
    float spare3_ = 0;
    int32_t spare4_ = 0;
    short imageNumber_ = 0;
    KURect<short> part_;
    void* image_ = nullptr; // owned by the graphic manager
};

// Pairs of heights (fractions, as the data): the band between them filled.
class QGL_API KCDrawGraph_GradientPipe : public KCGraphData {
public:
    KCDrawGraph_GradientPipe* Clone() const override;
    void DrawSelf() override;
    std::vector<int32_t>& Lower() { return lower_; }
    std::vector<int32_t>& Upper() { return upper_; }
    // The smaller of the two lists' lengths.
    size_t size() const { return std::min(lower_.size(), upper_.size()); }
    void SetColor(const KCRGBAColor& c) { color_ = c; }

private:
    std::vector<int32_t> lower_; // per mille of the height
    std::vector<int32_t> upper_;
    KCRGBAColor color_{255, 255, 255, 255};
};

struct sLineDescription {
    KCPoint<float> from;
    KCPoint<float> to;
    KCRGBAColor color{255, 255, 255, 255};
};

class QGL_API KCDrawGraph_LineSeries : public KCGraphData {
public:
    KCDrawGraph_LineSeries() = default;
    KCDrawGraph_LineSeries* Clone() const override;
    void DrawSelf() override;
    std::vector<sLineDescription>& Lines() { return lines_; }
    sLineDescription& GetLine(size_t index) { return lines_[index]; }

private:
    std::vector<sLineDescription> lines_;
};

class QGL_API KCDrawGraph_SurroundScope : public KCDrawGraph_LineStrip {
public:
    KCDrawGraph_SurroundScope() = default;
    KCDrawGraph_SurroundScope* Clone() const override;

private:
    int32_t spare_ = 0;
};
