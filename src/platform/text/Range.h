#pragma once
// A span of UTF-16 code units, the unit every text position in Velkin is counted in.
#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

namespace velkin {

using U16String = std::u16string;
using U16View = std::u16string_view;

// Location of a range that names no text (a group that did not take part in a match).
inline constexpr int NotFound = INT_MAX;

struct Range {
    int location = 0;
    int length = 0;

    constexpr int end() const { return location + length; }
    constexpr bool empty() const { return length == 0; }
    constexpr bool found() const { return location != NotFound; }
    // True for positions location <= i < end.
    constexpr bool contains(int i) const { return i >= location && i < end(); }
    constexpr bool contains(Range r) const { return r.location >= location && r.end() <= end(); }
    constexpr bool operator==(const Range&) const = default;

    static constexpr Range fromTo(int start, int stop) { return {start, stop - start}; }
    static constexpr Range notFound() { return {NotFound, 0}; }
};

// The common part of two ranges; length 0 when they do not overlap.
constexpr Range intersection(Range a, Range b)
{
    const int start = std::max(a.location, b.location);
    const int stop = std::min(a.end(), b.end());
    return stop > start ? Range{start, stop - start} : Range{start, 0};
}

// True when the ranges share at least one position.
constexpr bool overlaps(Range a, Range b)
{
    return a.location < b.end() && b.location < a.end();
}

constexpr Range unionRange(Range a, Range b)
{
    const int start = std::min(a.location, b.location);
    return Range::fromTo(start, std::max(a.end(), b.end()));
}

inline U16View substring(U16View text, Range r)
{
    return text.substr(static_cast<size_t>(r.location), static_cast<size_t>(r.length));
}

} // namespace velkin
