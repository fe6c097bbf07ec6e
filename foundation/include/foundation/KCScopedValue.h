// A variable set for the length of a scope: the old value comes back when
// the scope ends, however it ends.
#pragma once

template <typename T>
class KCScopedValue {
public:
    KCScopedValue(T& variable, T value) : variable_(variable), old_(variable) { variable_ = value; }
    ~KCScopedValue() { variable_ = old_; }
    KCScopedValue(const KCScopedValue&) = delete;
    KCScopedValue& operator=(const KCScopedValue&) = delete;

private:
    T& variable_;
    T old_;
};
