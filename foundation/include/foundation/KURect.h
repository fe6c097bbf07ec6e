// Points (x, y) and rectangles (top, left, bottom, right; bottom and right
// exclusive).
#pragma once

#include <algorithm>

template <typename T>
struct KCPoint {
    T x;
    T y;

    KCPoint() : x(0), y(0) {}
    KCPoint(T x_, T y_) : x(x_), y(y_) {}
    void Set(T x_, T y_) {
        x = x_;
        y = y_;
    }
    bool operator==(const KCPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const KCPoint& o) const { return !(*this == o); }
    KCPoint& operator+=(const KCPoint& o) {
        x = static_cast<T>(x + o.x);
        y = static_cast<T>(y + o.y);
        return *this;
    }
    KCPoint operator-(const KCPoint& o) const {
        return KCPoint(static_cast<T>(x - o.x), static_cast<T>(y - o.y));
    }
    KCPoint& Reverse() {
        x = static_cast<T>(-x);
        y = static_cast<T>(-y);
        return *this;
    }
    // With reverseY the y difference is taken the other way round, so that
    // moving up (towards smaller y) gives a positive difference.
    KCPoint GetDifference(const KCPoint& o, bool reverseY) const {
        return KCPoint(static_cast<T>(x - o.x),
                       reverseY ? static_cast<T>(o.y - y) : static_cast<T>(y - o.y));
    }
};

template <typename T>
struct KURect {
    T top;
    T left;
    T bottom;
    T right;

    KURect() : top(0), left(0), bottom(0), right(0) {}
    KURect(T t, T l, T b, T r) : top(t), left(l), bottom(b), right(r) {}

    void Set(T t, T l, T b, T r) {
        top = t;
        left = l;
        bottom = b;
        right = r;
    }
    void Set(const KURect& o) { *this = o; }
    // Note the argument order: width before height.
    void SetTopLeftWidthHeight(T t, T l, T width, T height) {
        top = t;
        left = l;
        bottom = static_cast<T>(t + height);
        right = static_cast<T>(l + width);
    }

    void Reset() { top = left = bottom = right = 0; }

    KURect& Offset(T dx, T dy) {
        left = static_cast<T>(left + dx);
        right = static_cast<T>(right + dx);
        top = static_cast<T>(top + dy);
        bottom = static_cast<T>(bottom + dy);
        return *this;
    }
    KURect& Offset(const KCPoint<T>& p) { return Offset(p.x, p.y); }
    // The same size with its top-left corner at (0, 0).
    KURect& MoveToOrigin() {
        right = static_cast<T>(right - left);
        bottom = static_cast<T>(bottom - top);
        left = 0;
        top = 0;
        return *this;
    }

    T Width() const { return static_cast<T>(right - left); }
    T Height() const { return static_cast<T>(bottom - top); }
    KCPoint<T> TopLeft() const { return KCPoint<T>(left, top); }

    bool operator==(const KURect& o) const {
        return top == o.top && left == o.left && bottom == o.bottom && right == o.right;
    }
    bool operator!=(const KURect& o) const { return !(*this == o); }
    // Empty unless left < right and top < bottom.
    bool IsEmpty() const { return !(left < right && top < bottom); }

    bool PointInRect(const KCPoint<short>& p) const {
        return left <= p.x && p.x < right && top <= p.y && p.y < bottom;
    }

    // Rectangles that only touch do not intersect; `out` is all 0 then.
    bool GetIntersection(const KURect& o, KURect& out) const {
        if (left < o.right && top < o.bottom && o.left < right && o.top < bottom) {
            out = KURect(std::max(top, o.top), std::max(left, o.left), std::min(bottom, o.bottom),
                         std::min(right, o.right));
            return true;
        }
        out = KURect();
        return false;
    }
};
