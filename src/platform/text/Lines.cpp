#include "platform/text/Lines.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkin {

namespace {

// Whether none of the eight units at `p` can end a line: none is at or below
// U+000D, U+0085 or U+2028/9. A long line is walked eight units at a time.
inline bool noTerminatorInEight([[maybe_unused]] const char16_t* p)
{
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i atOrBelow = _mm_cmpeq_epi16(_mm_subs_epu16(units, _mm_set1_epi16(0x0D)), _mm_setzero_si128());
    const __m128i hits = _mm_or_si128(_mm_or_si128(atOrBelow, _mm_cmpeq_epi16(units, _mm_set1_epi16(short(0x85)))),
                                      _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(short(0xFFFE))),
                                                      _mm_set1_epi16(0x2028)));
    return _mm_movemask_epi8(hits) == 0;
#else
    return false;
#endif
}

// Length of the terminator starting at i (0 when none); `paragraphs` leaves LS and NEL inside.
inline int terminatorLength(U16View text, size_t i, bool paragraphs)
{
    const char16_t c = text[i];
    if (c == u'\n' || c == 0x2029)
        return 1;
    if (c == u'\r')
        return (i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
    if (!paragraphs && (c == 0x2028 || c == 0x85))
        return 1;
    return 0;
}

std::vector<LineRange> enumerate(U16View text, bool paragraphs)
{
    std::vector<LineRange> result;
    const size_t n = text.size();
    size_t start = 0;
    size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        // Fast path: nothing above CR is a terminator except a few high code points.
        if (c > u'\r' && c != 0x85 && c != 0x2028 && c != 0x2029) {
            ++i;
            continue;
        }
        const int t = terminatorLength(text, i, paragraphs);
        if (t == 0) {
            ++i;
            continue;
        }
        result.push_back({Range::fromTo(int(start), int(i)), Range::fromTo(int(start), int(i + t))});
        i += t;
        start = i;
    }
    if (start < n)
        result.push_back({Range::fromTo(int(start), int(n)), Range::fromTo(int(start), int(n))});
    return result;
}

Range blockRange(U16View text, Range range, bool paragraphs)
{
    const int n = static_cast<int>(text.size());
    int start = std::clamp(range.location, 0, n);
    // Back up to just after the previous terminator.
    while (start > 0) {
        if (start >= 8 && noTerminatorInEight(text.data() + start - 8)) {
            start -= 8;
            continue;
        }
        const char16_t c = text[size_t(start) - 1];
        const bool term = c == u'\n' || c == u'\r' || c == 0x2029 || (!paragraphs && (c == 0x2028 || c == 0x85));
        if (term)
            break;
        --start;
    }
    int stop = std::clamp(range.end(), start, n);
    // A range that ends right after a terminator still covers that line only.
    if (range.length > 0 && stop > start) {
        const size_t last = size_t(stop) - 1;
        if (terminatorLength(text, last, paragraphs) > 0) {
            if (text[last] == u'\r' && stop < n && text[size_t(stop)] == u'\n')
                ++stop;
            return Range::fromTo(start, stop);
        }
    }
    while (stop < n) {
        if (stop + 8 <= n && noTerminatorInEight(text.data() + stop)) {
            stop += 8;
            continue;
        }
        const int t = terminatorLength(text, size_t(stop), paragraphs);
        if (t > 0)
            return Range::fromTo(start, stop + t);
        ++stop;
    }
    return Range::fromTo(start, n);
}

} // namespace

std::vector<LineRange> lineRanges(U16View text) { return enumerate(text, false); }
std::vector<LineRange> paragraphRanges(U16View text) { return enumerate(text, true); }

Range lineRange(U16View text, Range range) { return blockRange(text, range, false); }
Range paragraphRange(U16View text, Range range) { return blockRange(text, range, true); }

Range lineContentRange(U16View text, int position)
{
    Range r = lineRange(text, {position, 0});
    int stop = r.end();
    while (stop > r.location) {
        const char16_t c = text[size_t(stop) - 1];
        if (c == u'\n' || c == u'\r' || c == 0x85 || c == 0x2028 || c == 0x2029)
            --stop;
        else
            break;
    }
    return Range::fromTo(r.location, stop);
}

std::vector<U16View> splitAt(U16View text, char16_t separator)
{
    std::vector<U16View> pieces;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == U16View::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

LineIndex::LineIndex(U16View text)
    : lines_(lineRanges(text))
{
}

int LineIndex::lineAt(int position) const
{
    if (lines_.empty())
        return -1;
    auto it = std::upper_bound(lines_.begin(), lines_.end(), position,
                               [](int p, const LineRange& l) { return p < l.enclosing.location; });
    if (it == lines_.begin())
        return 0;
    return static_cast<int>(it - lines_.begin()) - 1;
}

} // namespace velkin
