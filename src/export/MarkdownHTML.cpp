#include "export/MarkdownHTML.h"

#include "export/MarkdownHTMLBlocks.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkin::MarkdownHTML {

using namespace std::literals;

#if defined(__SSE2__)
namespace {

// Two bits for each of the eight units at p that is one of the five characters.
int specialUnits(const char16_t* p)
{
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hits = _mm_cmpeq_epi16(units, _mm_set1_epi16('&'));
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(units, _mm_set1_epi16('<')));
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(units, _mm_set1_epi16('>')));
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(units, _mm_set1_epi16('"')));
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(units, _mm_set1_epi16(':')));
    return _mm_movemask_epi8(hits);
}

} // namespace
#endif

bool appendEscaped(U16String& out, U16View text)
{
    // Code units, not grapheme clusters: a quote that a combining mark follows
    // must not slip through as part of a larger character.
    bool colon = false;
    size_t start = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
#if defined(__SSE2__)
        // Eight units at a time are passed over when none of them is one of the
        // five; the last eight are looked at together, those already passed masked off.
        while (n >= 8) {
            const size_t at = i + 8 <= n ? i : n - 8;
            const int mask = specialUnits(text.data() + at) & (0xFFFF << (2 * (i - at)));
            if (mask) {
                i = at + size_t(__builtin_ctz(unsigned(mask)) / 2);
                break;
            }
            i = at + 8;
            if (i >= n)
                break;
        }
        if (i >= n)
            break;
#endif
        const char16_t c = text[i];
        // Every character that needs escaping (and the colon) sorts at or below ">".
        if (c > u'>')
            continue;
        std::u16string_view replacement;
        switch (c) {
        case u'&': replacement = u"&amp;"sv; break;
        case u'<': replacement = u"&lt;"sv; break;
        case u'>': replacement = u"&gt;"sv; break;
        case u'"': replacement = u"&quot;"sv; break;
        case u':': colon = true; continue;
        default: continue;
        }
        out.append(text.substr(start, i - start));
        out += replacement;
        start = i + 1;
    }
    out.append(text.substr(start));
    return colon;
}

U16String escaped(U16View text)
{
    U16String out;
    out.reserve(text.size() + text.size() / 8);
    appendEscaped(out, text);
    return out;
}

U16String anchor(U16View label)
{
    const U16String lowered = TextOps::lowercased(trimmed(label, TrimSet::Whitespace));
    const std::vector<int> bounds = TextOps::graphemeBoundaries(lowered);
    U16String out;
    out.reserve(lowered.size());
    for (size_t b = 0; b + 1 < bounds.size(); ++b) {
        const Range cluster = Range::fromTo(bounds[b], bounds[b + 1]);
        if (CharacterClass::isAlphanumeric(codePointAt(lowered, cluster.location)))
            out += substring(lowered, cluster);
        else
            out += u'-';
    }
    return out;
}

namespace {

U16String page(U16View markdown, const Options& options, std::vector<PageApart::Picture>* apart,
               std::vector<U16String>* unreadable)
{
    U16String out;
    out.reserve(markdown.size() * 2 + 6000);
    out += u"<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
           u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           u"<meta name=\"generator\" content=\"Velkin\">\n<title>";
    appendEscaped(out, options.title);
    out += u"</title>\n<style>\n"sv;
    out += styleSheet(options.family);
    out += u"\n</style>\n</head>\n<body>\n<article class=\"velkin\">\n"sv;
    appendBody(out, markdown, options, apart, unreadable);
    out += u"\n</article>\n</body>\n</html>"sv;
    return out;
}

} // namespace

U16String document(U16View markdown, const Options& options, std::vector<U16String>* unreadable)
{
    return page(markdown, options, nullptr, unreadable);
}

PageApart documentApart(U16View markdown, const Options& options)
{
    PageApart result;
    // The title is the only other text the page takes from outside the Markdown.
    const bool marked = markdown.find(PageApart::kPictureMark) != U16View::npos
                        || options.title.find(PageApart::kPictureMark) != U16String::npos;
    result.text = page(markdown, options, marked ? nullptr : &result.pictures, &result.unreadable);
    return result;
}

} // namespace velkin::MarkdownHTML
