// Markers and their homes, and the graph controls' own parts: background,
// dependents and zoom.
#include "guilib/Controls.h"

#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"

#include <algorithm>
#include <cmath>

namespace {
const KCRGBAColor kMarker(240, 200, 80, 255);
const KCRGBAColor kMarkerFocus(255, 255, 255, 255);
constexpr short kMinMarkerSize = 6;
} // namespace

// --- KCMarkerHome ---------------------------------------------------------------

void KCMarkerHome::AddMarker(CMarker_X* marker) {
    if (!marker)
        return;
    markers_.push_back(marker);
    marker->SetMarkerHome(this);
    UpdateMarkersIndex();
}

void KCMarkerHome::UpdateMarkersRelease(CMarker_X*, bool changed) {
    if (changed)
        RequestGraphicRefresh();
}

void KCMarkerHome::UpdateMarkersFocus(CMarker_X* marker, bool focus) {
    if (focus && marker)
        SetMasterMarker(marker->GetIndex());
    RequestGraphicRefresh();
}

void KCMarkerHome::UpdateMarkersPosition(CMarker_X* marker, double, double) {
    if (marker)
        marker->UpdateControlRect();
    RequestGraphicRefresh();
}

void KCMarkerHome::UpdateMarkersPosition(CMarker_X* marker, KCPoint<short>) {
    UpdateMarkersPosition(marker, 0.0, 0.0);
}

void KCMarkerHome::UpdateMarkersKey(CMarker_X*, KEKeyCode key, bool& handled) {
    // Tab hands the focus to the next marker.
    if (key != eKeyTab || markers_.empty())
        return;
    SetMasterMarker((GetMasterMarker() + 1) % static_cast<long>(markers_.size()));
    handled = true;
    RequestGraphicRefresh();
}

void KCMarkerHome::UpdateMarkersIndex() {
    for (size_t i = 0; i < markers_.size(); ++i)
        markers_[i]->SetIndex(static_cast<long>(i));
}

// --- CMarker_X ------------------------------------------------------------------

KCPoint<short> CMarker_X::CalcMarkerSize() {
    if (size_.x == 0) {
        const KURect<short>& r = GetDrawableRect();
        size_.Set(std::max(kMinMarkerSize, r.Width()), std::max(kMinMarkerSize, r.Height()));
    }
    return size_;
}

KCPoint<short> CMarker_X::PointOf(double x, double y) const {
    const KURect<short> b = home_ ? home_->GetBoundsRect() : GetDrawableRect();
    const double fx = x / std::max(1.0, StatesAt(0) - 1);
    const double fy = GetParamDataVecConst().size() > 1 ? y / std::max(1.0, StatesAt(1) - 1) : 0.5;
    return KCPoint<short>(static_cast<short>(std::lround(b.left + fx * b.Width())),
                          static_cast<short>(std::lround(b.bottom - fy * b.Height())));
}

void CMarker_X::UpdateControlRect() {
    const KCPoint<short> size = CalcMarkerSize();
    const KCPoint<short> c = PointOf(StateAt(0), StateAt(1));
    KURect<short> r;
    r.SetTopLeftWidthHeight(static_cast<short>(c.y - size.y / 2),
                            static_cast<short>(c.x - size.x / 2), size.x, size.y);
    if (r != GetDrawableRect())
        SetDrawableRect(r);
}

BUFFER_HEADER* CMarker_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    downX_ = StateAt(0);
    downY_ = StateAt(1);
    if (home_)
        home_->UpdateMarkersFocus(this, true);
    return nullptr;
}

BUFFER_HEADER* CMarker_X::MouseDragSelf(KCEventData* e, double, double, KURect<double>*) {
    const KURect<short> b = home_ ? home_->GetBoundsRect() : GetDrawableRect();
    const KCPoint<short> moved = e->GetMouseDistanceFromDragStart();
    const double x = downX_ + moved.x * (StatesAt(0) - 1) / std::max<short>(1, b.Width());
    SetStateAt(0, std::round(x));
    if (GetParamDataVecConst().size() > 1) {
        const double y = downY_ - moved.y * (StatesAt(1) - 1) / std::max<short>(1, b.Height());
        SetStateAt(1, std::round(y));
    }
    if (home_)
        home_->UpdateMarkersPosition(this, StateAt(0), StateAt(1));
    else
        UpdateControlRect();
    return nullptr;
}

BUFFER_HEADER* CMarker_X::MouseUpSelf(KCEventData*) {
    if (home_)
        home_->UpdateMarkersRelease(this, StateAt(0) != downX_ || StateAt(1) != downY_);
    return nullptr;
}

BUFFER_HEADER* CMarker_X::KeySelf(KCEventData* e, bool& handled) {
    if (home_)
        home_->UpdateMarkersKey(this, e->GetKeyCode(), handled);
    if (handled)
        return nullptr;
    cControl_X::KeySelf(e, handled);
    if (handled && home_)
        home_->UpdateMarkersPosition(this, StateAt(0), StateAt(1));
    return nullptr;
}

void CMarker_X::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    out.push_back(home_ && home_->GetMasterMarker() == index_ ? 1 : 0);
}

void CMarker_X::DrawSelf(CGraphicManagerAbs& gm) {
    UpdateControlRect();
    if (void* image = Image(0)) {
        gm.DrawImage(image, GetDrawableRect().TopLeft());
        return;
    }
    const bool focus = home_ && home_->GetMasterMarker() == index_;
    gm.SetColor(focus ? kMarkerFocus : kMarker);
    gm.DrawSolidRect(GetDrawableRect());
}

// --- KCGraph ----------------------------------------------------------------------

void KCGraph::EraseBG(CGraphicManagerAbs& gm) {
    if (background_.IsValid() && background_.CheckValidOrLoad(gm)) {
        background_.DrawImage(gm, GetDrawableRect().TopLeft());
        return;
    }
    cControl_X::DrawSelf(gm);
}

void KCGraph::DrawDependents(CGraphicManagerAbs& gm) {
    for (CMarker_X* m : GetMarkers())
        m->Draw(gm);
}

// --- KCZoomVerticesGraph ------------------------------------------------------

void KCZoomVerticesGraph::SetZoom(double bottom, double top) {
    bottom = std::clamp(bottom, 0.0, 1.0);
    top = std::clamp(top, 0.0, 1.0);
    // At least a hundredth of the range stays shown.
    if (top - bottom < 0.01)
        return;
    if (zoom_.bottom == bottom && zoom_.top == top)
        return;
    zoom_.bottom = bottom;
    zoom_.top = top;
    RequestGraphicRefresh();
}

BUFFER_HEADER* KCZoomVerticesGraph::MouseWheelSelf(KCEventData* e, double, double dy,
                                                   KURect<double>*) {
    const KURect<short>& r = GetDrawableRect();
    // The value under the pointer stays where it is.
    const double at = (r.bottom - e->GetMouseLocation().y) / std::max(1.0, double(r.Height()));
    const double pivot = zoom_.bottom + at * (zoom_.top - zoom_.bottom);
    const double factor = dy > 0 ? 0.8 : 1.25;
    SetZoom(pivot - (pivot - zoom_.bottom) * factor, pivot + (zoom_.top - pivot) * factor);
    return nullptr;
}

BUFFER_HEADER* KCZoomVerticesGraph::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    if (e->GetMouseClickCount() == eDoubleClick)
        ResetZoom();
    return nullptr;
}

void KCZoomVerticesGraph::Feed() {
    KCGraph::Feed();
    if (GetPrimitives().empty())
        return;
    const double span = zoom_.top - zoom_.bottom;
    for (float& v : GetPrimitives().front()->GetData())
        v = static_cast<float>((v - zoom_.bottom) / span);
}

void KCZoomVerticesGraph::AppendShown(std::vector<double>& out) const {
    KCGraph::AppendShown(out);
    out.push_back(zoom_.bottom);
    out.push_back(zoom_.top);
}
