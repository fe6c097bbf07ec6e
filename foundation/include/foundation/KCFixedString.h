// Strings of fixed capacity held inline; text that does not fit is cut (never
// inside a UTF-8 character).
#pragma once

#include <cstddef>

template <unsigned N>
class KCFixedString {
public:
    KCFixedString() { clear(); }
    KCFixedString(const char* s) {
        clear();
        Append(s);
    }
    KCFixedString(const KCFixedString& other) {
        clear();
        Append(other.c_str());
    }
    KCFixedString& operator=(const char* s) {
        if (s == buffer)
            return *this;
        clear();
        Append(s);
        return *this;
    }
    KCFixedString& operator=(const KCFixedString& other) {
        if (&other == this)
            return *this;
        clear();
        Append(other.c_str());
        return *this;
    }
    KCFixedString& operator<<(const char* s) {
        Append(s);
        return *this;
    }

    void clear() {
        start = buffer;
        limit = buffer + N;
        cursor = buffer;
        buffer[0] = '\0';
    }
    const char* c_str() const {
        *cursor = '\0';
        return start;
    }
    unsigned size() const { return static_cast<unsigned>(cursor - start); }
    bool empty() const { return cursor == start; }

    char operator[](unsigned index) const {
        static_assert(N == 63, "indexing is offered for names only");
        c_str();
        return index < 63 ? buffer[index] : buffer[63];
    }

    // Length first (shorter sorts first), then bytes as unsigned values.
    int compare(const char* other) const {
        const char* o = other ? other : "";
        size_t olen = 0;
        while (o[olen] != '\0')
            ++olen;
        return CompareWith(o, olen);
    }
    int compare(const KCFixedString& other) const { return CompareWith(other.start, other.size()); }
    bool operator<(const KCFixedString& other) const { return compare(other) < 0; }
    bool operator==(const KCFixedString& other) const { return compare(other) == 0; }
    bool operator==(const char* other) const { return compare(other) == 0; }

private:
    void Append(const char* s) {
        if (s == nullptr)
            return;
        while (*s != '\0' && cursor < limit)
            *cursor++ = *s++;
        if (IsContinuation(*s))
            DropCutCharacter();
        *cursor = '\0';
    }
    static bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
    // The cut fell inside a UTF-8 character: its first bytes go too, so that
    // the text stays valid UTF-8 (a document holding half a character cannot
    // be read back).
    void DropCutCharacter() {
        char* lead = cursor;
        while (lead > start && cursor - lead < 3 && IsContinuation(lead[-1]))
            --lead;
        if (lead == start)
            return;
        --lead;
        const auto first = static_cast<unsigned char>(*lead);
        const long expected = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 0;
        if (cursor - lead < expected)
            cursor = lead;
    }
    int CompareWith(const char* o, size_t olen) const {
        const size_t len = size();
        if (len != olen)
            return static_cast<int>(len) - static_cast<int>(olen);
        for (size_t i = 0; i < len; ++i) {
            const auto a = static_cast<unsigned char>(start[i]);
            const auto b = static_cast<unsigned char>(o[i]);
            if (a != b)
                return a < b ? -1 : 1;
        }
        return 0;
    }

    char* start;
    char* limit;
    mutable char* cursor;
    mutable char buffer[N + 1];
};

template <unsigned N, unsigned M>
struct KCFixedStringPair {
    KCFixedStringPair() = default;
    KCFixedStringPair(const char* n, const char* v) : name(n), value(v) {}

    KCFixedString<N> name;
    KCFixedString<M> value;
};

using KTXMLName = KCFixedString<63>;
using KTXMLValue = KCFixedString<127>;
using KTXMLAttribute = KCFixedStringPair<63, 127>;
