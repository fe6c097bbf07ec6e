// An area of a window made of rectangles and polygons. Owns one region; a
// region without one (after a failed copy) answers every query as empty.
#pragma once

#include "foundation/KURect.h"

class wxRegion;

// Exported by a library that carries the window framework (the plug-in
// framework library), for the plug-ins that take a window's visible region.
class __attribute__((visibility("default"))) KCRegion {
public:
    KCRegion();
    explicit KCRegion(const KURect<short>& r);
    KCRegion(short left, short top, short right, short bottom);
    // The polygon through the points, filled with the even-odd rule; fewer
    // than 2 points give no region.
    KCRegion(const KCPoint<short>* points, long count);
    KCRegion(const KCRegion& other);
    ~KCRegion();

    KCRegion& operator=(const KCRegion& other);
    KCRegion& operator=(const KURect<short>& r);

    void* GetHandle() const;
    bool IsEmpty() const;
    void GetBounds(KURect<short>& out) const;
    bool PointInRegion(const KCPoint<short>& p) const;
    bool IsIntersecting(const KURect<short>& r) const;
    void Clear();
    void OffsetBy(const KCPoint<short>& p);
    // Scales about the coordinate origin so that the bounding box's width
    // grows by dx and its height by dy.
    void Scale(short dx, short dy);

    // A combination that fails leaves this region as it was.
    KCRegion& operator+=(const KCRegion& other);
    KCRegion& operator+=(const KURect<short>& r);
    KCRegion& operator-=(const KCRegion& other);
    KCRegion& operator-=(const KURect<short>& r);

    bool operator==(const KCRegion& other) const;
    bool operator==(const KURect<short>& r) const;
    bool operator!=(const KCRegion& other) const { return !(*this == other); }
    bool operator!=(const KURect<short>& r) const { return !(*this == r); }

private:
    wxRegion* region;
};
