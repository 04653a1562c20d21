#pragma once
// Helpers shared by the scanner's own files; not part of its interface.
#include "markdown/Alert.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"
#include "markdown/ReferenceLink.h"
#include "platform/text/Range.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkin {

namespace MarkdownSyntax {
struct BlockLines;
}

namespace detail {

// The line without one trailing CR, LF or CRLF.
inline U16View withoutTerminator(U16View line)
{
    if (!line.empty() && line.back() == u'\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == u'\r')
        line.remove_suffix(1);
    return line;
}

// A unit that "." does not match and before which "$" may match.
constexpr bool isLineTerminatorUnit(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

inline bool holdsTerminator(U16View s)
{
    // Lines rarely hold one, and every block matcher asks: eight units at a
    // time are passed over when none is at or below U+000D, U+0085 or U+2028/9.
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x0D);
    const __m128i nextLine = _mm_set1_epi16(short(0x85));
    const __m128i separators = _mm_set1_epi16(0x2028);
    const __m128i pairMask = _mm_set1_epi16(short(0xFFFE));
    for (; i + 8 <= s.size(); i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        const __m128i atOrBelow = _mm_cmpeq_epi16(_mm_subs_epu16(units, low), _mm_setzero_si128());
        const __m128i hits = _mm_or_si128(_mm_or_si128(atOrBelow, _mm_cmpeq_epi16(units, nextLine)),
                                          _mm_cmpeq_epi16(_mm_and_si128(units, pairMask), separators));
        if (_mm_movemask_epi8(hits) == 0)
            continue;
        for (size_t k = i; k < i + 8; ++k)
            if (isLineTerminatorUnit(s[k]))
                return true;
    }
#endif
    for (; i < s.size(); ++i)
        if (isLineTerminatorUnit(s[i]))
            return true;
    return false;
}

// The regular expressions' "\s": tab, LF, VT, FF, CR, NEL and the separators (Z*).
bool isPatternSpace(char16_t c);

// Whole-text walkers that reuse one classification of the text.
// (The definitions read only the lines and which of them lie in fences.)
Footnote::Labels definedFootnoteLabels(const std::vector<U16View>& texts, const MarkdownSyntax::LineFlags& fenced);
ReferenceLink::Table referenceDefinitions(const std::vector<U16View>& texts, const MarkdownSyntax::LineFlags& fenced);
std::vector<Alert::Block> alertBlocks(const MarkdownSyntax::BlockLines& lines);
std::vector<Footnote::Definition> footnoteDefinitions(const MarkdownSyntax::BlockLines& lines);

} // namespace detail

} // namespace velkin
