#include "help/HelpMarkup.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/text/TextOps.h"

#include <algorithm>

namespace velkin::HelpMarkup {

bool isHeadingMarker(U16View marker)
{
    size_t hashes = 0;
    while (hashes < marker.size() && marker[hashes] == u'#')
        ++hashes;
    if (hashes < 1 || hashes > 6)
        return false;
    return std::all_of(marker.begin() + long(hashes), marker.end(), [](char16_t c) { return c == u' '; });
}

bool isTagMarker(U16View marker)
{
    if (marker.size() < 2 || marker.front() != u'<' || marker.back() != u'>')
        return false;
    U16String name = TextOps::lowercased(marker);
    auto strip = [](char16_t c) { return c == u'<' || c == u'/' || c == u'>'; };
    while (!name.empty() && strip(name.front()))
        name.erase(name.begin());
    while (!name.empty() && strip(name.back()))
        name.pop_back();
    return name == u"sub" || name == u"sup" || name == u"u" || name == u"ins";
}

namespace {

bool isEmphasisMarker(U16View marker)
{
    return !marker.empty() && marker.size() <= 3
        && std::all_of(marker.begin(), marker.end(), [](char16_t c) { return c == u'*' || c == u'_' || c == u'~'; });
}

} // namespace

void stripDecorativeSyntax(TextStorage& storage)
{
    const U16String text = storage.string();
    const int n = int(text.size());
    std::vector<Range> doomed;
    for (const MarkdownSpan& span : MarkdownSyntax::spans(text)) {
        const Range r = span.range;
        if (span.token.is(MarkdownToken::Kind::link)) {
            if (r.location >= 1 && text[size_t(r.location) - 1] == u'[')
                doomed.push_back({r.location - 1, 1});
            const int e = r.end();
            if (e + 1 < n && text[size_t(e)] == u']' && text[size_t(e) + 1] == u'(') {
                const size_t close = text.find(u')', size_t(e));
                if (close != U16String::npos)
                    doomed.push_back(Range::fromTo(e, int(close) + 1));
            }
        } else if (span.token.is(MarkdownToken::Kind::marker)) {
            if (r.location < 0 || r.end() > n)
                continue;
            const U16View s = substring(text, r);
            if (isHeadingMarker(s) || isEmphasisMarker(s) || isTagMarker(s) || s == u"\\")
                doomed.push_back(r);
        }
    }
    // Last first, so every deletion leaves the positions still to come in place.
    std::stable_sort(doomed.begin(), doomed.end(), [](Range a, Range b) { return a.location > b.location; });
    for (const Range& r : doomed) {
        if (r.location < 0 || r.length < 1 || r.end() > storage.length())
            continue;
        // A kerned character holds the room of a drawn mark (task box, emoji, icon, swatch).
        if (storage.attribute(AttributeKey::Kern, r.location))
            continue;
        storage.deleteCharacters(r);
    }
}

} // namespace velkin::HelpMarkup
