#include "ui/KCRegion.h"

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include <wx/region.h>

namespace {

wxRegion RegionOf(const KURect<short>& r) {
    return wxRegion(r.left, r.top, std::max(0, r.right - r.left), std::max(0, r.bottom - r.top));
}

wxRegion* NewRegion(const wxRegion& r) {
    return new (std::nothrow) wxRegion(r);
}

// Combines into a copy first, so that a failure keeps the old region.
template <typename Op>
void Combine(wxRegion* region, Op op) {
    if (region == nullptr)
        return;
    wxRegion result(*region);
    if (op(result))
        *region = result;
}

} // namespace

KCRegion::KCRegion() : region(NewRegion(wxRegion())) {}

KCRegion::KCRegion(const KURect<short>& r) : region(NewRegion(RegionOf(r))) {}

KCRegion::KCRegion(short left, short top, short right, short bottom)
    : region(NewRegion(RegionOf(KURect<short>(top, left, bottom, right)))) {}

KCRegion::KCRegion(const KCPoint<short>* points, long count) : region(nullptr) {
    if (points == nullptr || count < 2)
        return;
    std::vector<wxPoint> pts;
    pts.reserve(static_cast<size_t>(count) + 1);
    for (long i = 0; i < count; ++i)
        pts.emplace_back(points[i].x, points[i].y);
    pts.push_back(pts.front());
    region = NewRegion(wxRegion(pts.size(), pts.data(), wxODDEVEN_RULE));
}

KCRegion::KCRegion(const KCRegion& other)
    : region(other.region ? NewRegion(*other.region) : nullptr) {}

KCRegion::~KCRegion() {
    delete region;
}

KCRegion& KCRegion::operator=(const KCRegion& other) {
    if (this == &other || other.region == nullptr)
        return *this;
    delete region;
    region = NewRegion(*other.region);
    return *this;
}

KCRegion& KCRegion::operator=(const KURect<short>& r) {
    if (region != nullptr)
        *region = RegionOf(r);
    return *this;
}

void* KCRegion::GetHandle() const {
    return region;
}

bool KCRegion::IsEmpty() const {
    return region == nullptr || region->IsEmpty();
}

void KCRegion::GetBounds(KURect<short>& out) const {
    out = KURect<short>();
    if (IsEmpty())
        return;
    const wxRect b = region->GetBox();
    out = KURect<short>(static_cast<short>(b.y), static_cast<short>(b.x),
                        static_cast<short>(b.y + b.height), static_cast<short>(b.x + b.width));
}

bool KCRegion::PointInRegion(const KCPoint<short>& p) const {
    return region != nullptr && region->Contains(p.x, p.y) == wxInRegion;
}

bool KCRegion::IsIntersecting(const KURect<short>& r) const {
    if (region == nullptr || r.Width() <= 0 || r.Height() <= 0)
        return false;
    return region->Contains(wxRect(r.left, r.top, r.Width(), r.Height())) != wxOutRegion;
}

void KCRegion::Clear() {
    if (region != nullptr)
        region->Clear();
}

void KCRegion::OffsetBy(const KCPoint<short>& p) {
    Combine(region, [&](wxRegion& r) { return r.IsEmpty() || r.Offset(p.x, p.y); });
}

void KCRegion::Scale(short dx, short dy) {
    if (region == nullptr || region->IsEmpty())
        return;
    const wxRect box = region->GetBox();
    if (box.width == 0 || box.height == 0)
        return;
    const float sx = float(box.width + dx) / float(box.width);
    const float sy = float(box.height + dy) / float(box.height);
    wxRegion scaled;
    for (wxRegionIterator it(*region); it; ++it) {
        const wxRect r = it.GetRect();
        const long x0 = std::lround(r.x * sx), x1 = std::lround((r.x + r.width) * sx);
        const long y0 = std::lround(r.y * sy), y1 = std::lround((r.y + r.height) * sy);
        const long left = std::min(x0, x1), top = std::min(y0, y1);
        const long w = std::labs(x1 - x0), h = std::labs(y1 - y0);
        if (w > 0 && h > 0 && !scaled.Union(wxRect(left, top, w, h)))
            return;
    }
    *region = scaled;
}

KCRegion& KCRegion::operator+=(const KCRegion& other) {
    if (other.region != nullptr)
        Combine(region, [&](wxRegion& r) { return r.Union(*other.region); });
    return *this;
}

KCRegion& KCRegion::operator+=(const KURect<short>& rect) {
    Combine(region, [&](wxRegion& r) { return r.Union(RegionOf(rect)); });
    return *this;
}

KCRegion& KCRegion::operator-=(const KCRegion& other) {
    if (other.region != nullptr)
        Combine(region, [&](wxRegion& r) { return r.Subtract(*other.region); });
    return *this;
}

KCRegion& KCRegion::operator-=(const KURect<short>& rect) {
    Combine(region, [&](wxRegion& r) { return r.Subtract(RegionOf(rect)); });
    return *this;
}

bool KCRegion::operator==(const KCRegion& other) const {
    if (region == nullptr || other.region == nullptr)
        return false;
    if (region->IsEmpty() || other.region->IsEmpty())
        return region->IsEmpty() && other.region->IsEmpty();
    return region->IsEqual(*other.region);
}

bool KCRegion::operator==(const KURect<short>& r) const {
    if (region == nullptr)
        return false;
    const wxRegion other = RegionOf(r);
    if (region->IsEmpty() || other.IsEmpty())
        return region->IsEmpty() && other.IsEmpty();
    return region->IsEqual(other);
}
