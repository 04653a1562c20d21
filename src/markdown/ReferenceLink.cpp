#include "markdown/ReferenceLink.h"

#include "markdown/Footnote.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <algorithm>

namespace velkin {

namespace ReferenceLink {

const Regex& definitionRegex()
{
    static const Regex r("^[ ]{0,3}(\\[)([^\\^\\]\\n][^\\]\\n]*?)(\\]:)[ \\t]*(<[^>\\n]*>|\\S+)"
                         "(?:[ \\t]+(\"[^\"\\n]*\"|'[^'\\n]*'|\\([^)\\n]*\\)))?[ \\t]*$");
    return r;
}

std::optional<Definition> parseDefinition(U16View line)
{
    // Cheap refusal: up to three spaces, "[", a label character, and a "]:" later on.
    size_t i = 0;
    while (i < 3 && i < line.size() && line[i] == u' ')
        ++i;
    if (i + 1 >= line.size() || line[i] != u'[' || line[i + 1] == u'^' || line[i + 1] == u']')
        return std::nullopt;
    if (line.find(u"]:", i + 2) == U16View::npos)
        return std::nullopt;
    const auto m = definitionRegex().firstMatch(line);
    if (!m)
        return std::nullopt;
    const U16View label = m->text(line, 2);
    if (Footnote::normalizedLabel(label).empty())
        return std::nullopt;
    U16View url = m->text(line, 4);
    if (url.size() >= 2 && url.front() == u'<' && url.back() == u'>')
        url = url.substr(1, url.size() - 2);
    if (url.empty())
        return std::nullopt;
    Definition d;
    d.label = U16String(label);
    d.url = U16String(url);
    d.marker = Range::fromTo(m->range(1).location, m->range(3).end());
    d.labelRange = m->range(2);
    d.urlRange = m->range(4);
    if (m->has(5))
        d.titleRange = m->range(5);
    return d;
}

std::vector<Range> mentions(U16View text, const std::vector<U16String>& labels)
{
    std::vector<Range> out;
    size_t longest = 0;
    for (const U16String& label : labels)
        longest = std::max(longest, label.size());
    // Lowercasing may double a unit's length (and a label is trimmed of blanks):
    // a "[" further back than that, past a "]" or a line break, opens no mention.
    const auto closing = [&](size_t from) {
        const int at = TextOps::findUnit(text, u']', int(from));
        return at < 0 ? U16View::npos : size_t(at);
    };
    for (size_t close = closing(0); close != U16View::npos; close = closing(close + 1)) {
        size_t seen = 0;
        bool ascii = true;
        for (size_t open = close; open-- > 0 && text[open] != u']' && text[open] != u'\n' && seen <= 2 * longest + 2;) {
            const char16_t c = text[open];
            if (c < 0x80 ? c != u' ' && c != u'\t' : !isInTrimSet(c, TrimSet::Whitespace))
                ++seen;
            ascii = ascii && c < 0x80;
            if (text[open] != u'[')
                continue;
            const U16View inside = text.substr(open + 1, close - open - 1);
            // Lowercasing keeps an ASCII label's length: most brackets are told apart by it.
            if (ascii) {
                const size_t size = trimmed(inside, TrimSet::Whitespace).size();
                if (std::ranges::none_of(labels, [&](const U16String& l) { return l.size() == size; }))
                    continue;
            }
            const U16String label = Footnote::normalizedLabel(inside);
            if (std::ranges::find(labels, label) != labels.end()) {
                out.push_back(Range::fromTo(int(open), int(close) + 1));
                break;
            }
        }
    }
    return out;
}

namespace {

Table collect(const std::vector<U16View>& texts, const MarkdownSyntax::LineFlags& fenced)
{
    Table table;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (fenced[i])
            continue;
        if (auto d = parseDefinition(texts[i]))
            table.try_emplace(Footnote::normalizedLabel(d->label), std::move(d->url));
    }
    return table;
}

} // namespace

Table definitions(U16View text)
{
    const auto texts = MarkdownSyntax::lineTexts(text, lineRanges(text));
    return collect(texts, MarkdownSyntax::fenceFlags(texts));
}

} // namespace ReferenceLink

namespace detail {

ReferenceLink::Table referenceDefinitions(const std::vector<U16View>& texts, const MarkdownSyntax::LineFlags& fenced)
{
    return ReferenceLink::collect(texts, fenced);
}

} // namespace detail

} // namespace velkin
