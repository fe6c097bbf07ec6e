// A value kept inside a range [minimum, maximum].
#pragma once

#include <algorithm>

template <typename T>
class TRanged {
public:
    TRanged() = default;
    // An inverted range (maximum < minimum) leaves all three at 0.
    TRanged(T minimum, T maximum, T value) {
        if (maximum < minimum)
            return;
        min_ = minimum;
        max_ = maximum;
        value_ = Clamp(value);
    }
    TRanged(const TRanged&) = default;
    TRanged& operator=(const TRanged&) = default;
    TRanged& operator=(T v) {
        SetValue(v);
        return *this;
    }

    T Value() const { return value_; }
    operator T() const { return value_; }
    T RangeMin() const { return min_; }
    T RangeMax() const { return max_; }
    bool InRange(T v) const { return min_ <= v && v <= max_; }

    void SetRange(const TRanged& r) {
        min_ = r.min_;
        max_ = r.max_;
        if (value_ < min_)
            value_ = min_;
        else if (value_ > max_)
            value_ = max_;
    }
    void WidenRange(const TRanged& r) {
        min_ = std::min(min_, r.min_);
        max_ = std::max(max_, r.max_);
    }
    // Only a range with an end inside the current one narrows it.
    void NarrowRange(const TRanged& r) {
        if (!InRange(r.min_) && !InRange(r.max_))
            return;
        min_ = std::max(min_, r.min_);
        max_ = std::min(max_, r.max_);
        value_ = Clamp(value_);
    }
    void SetValue(T v) { value_ = Clamp(v); }

    TRanged& operator++() { return *this += 1; }
    TRanged& operator--() { return *this -= 1; }
    TRanged operator++(int) {
        TRanged before(*this);
        ++*this;
        return before;
    }
    TRanged operator--(int) {
        TRanged before(*this);
        --*this;
        return before;
    }
    // The sum is clamped without overflowing the type.
    TRanged& operator+=(T d) {
        value_ = ClampedAdd(d);
        return *this;
    }
    TRanged& operator-=(T d) {
        T r;
        if (__builtin_sub_overflow(value_, d, &r))
            value_ = d > 0 ? min_ : max_;
        else
            value_ = Clamp(r);
        return *this;
    }

private:
    T Clamp(T v) const { return v < min_ ? min_ : (v > max_ ? max_ : v); }
    T ClampedAdd(T d) const {
        T r;
        if (__builtin_add_overflow(value_, d, &r))
            return d > 0 ? max_ : min_;
        return Clamp(r);
    }

    T min_{};
    T max_{};
    T value_{};
};
