// Drawing and copying of the graph primitives.
#include "guilib/GraphData.h"

#include "ui/CGraphicManagerAbs.h"

#include <algorithm>
#include <new>

namespace {
// A new copy of `self` in its own class, or null when memory runs out.
template <typename T>
T* CloneOf(const T& self) {
    return new (std::nothrow) T(self);
}

float Clamp01(float f) {
    return std::clamp(f, 0.0f, 1.0f);
}
} // namespace

KCGraphData* KCGraphData::Clone() const {
    return CloneOf(*this);
}

KCPoint<float> KCGraphData::PointAt(size_t i, size_t n, float fraction) const {
    const KURect<short>& r = GetDrawableRect();
    const float width = static_cast<float>(r.right - r.left - 1);
    const float height = static_cast<float>(r.bottom - r.top - 1);
    const float x = n > 1 ? r.left + width * static_cast<float>(i) / static_cast<float>(n - 1)
                          : static_cast<float>(r.left);
    return KCPoint<float>(x, r.top + height * (1.0f - Clamp01(fraction)));
}

KCDrawGraph_ColorRect* KCDrawGraph_ColorRect::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_ColorRect::DrawSelf() {
    if (CGraphicManagerAbs* gm = GetGM()) {
        gm->EnableBlending();
        gm->SetColor(fill_);
        gm->DrawSolidRect(GetDrawableRect());
        gm->DisableBlending();
    }
}

KCDrawGraph_Polygon* KCDrawGraph_Polygon::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_Polygon::DrawSelf() {
    CGraphicManagerAbs* gm = GetGM();
    if (!gm || points_.size() < 2)
        return;
    std::vector<KCPoint<float>> outline;
    outline.reserve(points_.size() + 1);
    for (const sPointDescription& p : points_)
        outline.emplace_back(p.x, p.y);
    outline.push_back(outline.front());
    gm->SetColor(outline_);
    gm->SetLineThickness(thickness_);
    gm->DrawLineStrip(outline.data(), static_cast<unsigned>(outline.size()));
}

KCDrawGraph_LineStrip* KCDrawGraph_LineStrip::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_LineStrip::DrawSelf() {
    CGraphicManagerAbs* gm = GetGM();
    const std::vector<float>& data = GetData();
    if (!gm || data.size() < 2)
        return;
    std::vector<KCPoint<float>> points;
    points.reserve(data.size());
    for (size_t i = 0; i < data.size(); ++i)
        points.push_back(PointAt(i, data.size(), data[i]));
    if (antialias_)
        gm->EnableLineAntialiasing();
    gm->SetColor(color_);
    gm->SetLineThickness(thickness_);
    gm->DrawLineStrip(points.data(), static_cast<unsigned>(points.size()));
    if (antialias_)
        gm->DisableLineAntialiasing();
}

KCDrawGraph_Text* KCDrawGraph_Text::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_Text::DrawSelf() {
    CGraphicManagerAbs* gm = GetGM();
    if (!gm)
        return;
    const KURect<short>& r = GetDrawableRect();
    for (const sTextItem& item : items_) {
        const KCPoint<short> at(static_cast<short>(r.left + item.where.x),
                                static_cast<short>(r.top + item.where.y));
        gm->DrawTextCached(gm->GetFontInfo(), item.text.c_str(), item.color, at);
    }
}

KCDrawGraph_ClippedTexture* KCDrawGraph_ClippedTexture::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_ClippedTexture::FinishCreate(CGraphicManagerAbs* gm) {
    KCGraphData::FinishCreate(gm);
    image_ = gm && imageNumber_ ? gm->RegisterImageFromResID(imageNumber_) : nullptr;
}

void KCDrawGraph_ClippedTexture::DrawSelf() {
    if (CGraphicManagerAbs* gm = GetGM(); gm && image_)
        gm->DrawImageScaled(image_, GetDrawableRect(), part_);
}

KCDrawGraph_GradientPipe* KCDrawGraph_GradientPipe::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_GradientPipe::DrawSelf() {
    CGraphicManagerAbs* gm = GetGM();
    const size_t n = size();
    if (!gm || n < 2)
        return;
    std::vector<KCPoint<float>> strip;
    strip.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        strip.push_back(PointAt(i, n, static_cast<float>(lower_[i]) / 1000.0f));
        strip.push_back(PointAt(i, n, static_cast<float>(upper_[i]) / 1000.0f));
    }
    gm->SetColor(color_);
    gm->StartDrawTriangleStrip();
    for (const KCPoint<float>& p : strip)
        gm->SetVertex(p);
    gm->EndDrawSection();
}

KCDrawGraph_LineSeries* KCDrawGraph_LineSeries::Clone() const {
    return CloneOf(*this);
}

void KCDrawGraph_LineSeries::DrawSelf() {
    CGraphicManagerAbs* gm = GetGM();
    if (!gm)
        return;
    for (const sLineDescription& line : lines_) {
        gm->SetColor(line.color);
        gm->DrawStraightLine(line.from, line.to);
    }
}

KCDrawGraph_SurroundScope* KCDrawGraph_SurroundScope::Clone() const {
    return CloneOf(*this);
}
