#include "markdown/ReferenceLink.h"

#include "markdown/Footnote.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "platform/text/Lines.h"

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
