#include "markdown/Footnote.h"

#include "markdown/MarkdownSyntax.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "markdown/ReferenceLink.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <algorithm>

namespace velkin {

namespace Footnote {

const Regex& referenceRegex()
{
    static const Regex r("(\\[\\^)([^\\]\\n]+?)(\\])");
    return r;
}

const Regex& definitionRegex()
{
    static const Regex r("^[ ]{0,3}(\\[\\^)([^\\]\\n]+?)(\\]:)[ \\t]*(.*)$");
    return r;
}

U16String normalizedLabel(U16View label)
{
    const U16View t = trimmed(label, TrimSet::Whitespace);
    bool ascii = true;
    for (char16_t c : t)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    return ascii ? TextOps::asciiLowercased(t) : TextOps::lowercased(t);
}

std::optional<ParsedDefinition> parseDefinition(U16View line)
{
    // Cheap refusal: up to three spaces, then "[^".
    size_t i = 0;
    while (i < 3 && i < line.size() && line[i] == u' ')
        ++i;
    if (i + 1 >= line.size() || line[i] != u'[' || line[i + 1] != u'^')
        return std::nullopt;
    const auto m = definitionRegex().firstMatch(line);
    if (!m)
        return std::nullopt;
    const U16View label = m->text(line, 2);
    if (normalizedLabel(label).empty())
        return std::nullopt;
    return ParsedDefinition{U16String(label), Range::fromTo(m->range(1).location, m->range(3).end()), m->range(2),
                            m->range(4)};
}

bool continuesNote(U16View line)
{
    return !isBlank(line, TrimSet::WhitespaceAndNewlines) && !parseDefinition(line)
        && !ReferenceLink::parseDefinition(line) && !MarkdownSyntax::matchHeading(line)
        && !MarkdownSyntax::isThematicBreak(line) && !MarkdownSyntax::matchQuote(line)
        && !MarkdownSyntax::matchList(line);
}

namespace {

std::vector<Definition> collectDefinitions(const std::vector<LineRange>& lines, const std::vector<U16View>& texts,
                                           const MarkdownSyntax::LineFlags& fenced)
{
    std::vector<Definition> out;
    const size_t n = texts.size();
    for (size_t i = 0; i < n; ++i) {
        if (fenced[i])
            continue;
        const auto d = parseDefinition(texts[i]);
        if (!d)
            continue;
        const int s = lines[i].content.location;
        Definition def;
        def.label = d->label;
        def.marker = Range{s + d->marker.location, d->marker.length};
        def.labelRange = Range{s + d->labelRange.location, d->labelRange.length};
        def.line = lines[i].enclosing;
        int blockEnd = lines[i].enclosing.end();
        for (size_t j = i + 1; j < n && !fenced[j] && continuesNote(texts[j]); ++j)
            blockEnd = lines[j].enclosing.end();
        def.block = Range::fromTo(s, blockEnd);
        out.push_back(std::move(def));
    }
    return out;
}

} // namespace

std::vector<Definition> definitions(U16View text)
{
    const auto lines = lineRanges(text);
    const auto texts = MarkdownSyntax::lineTexts(text, lines);
    return collectDefinitions(lines, texts, MarkdownSyntax::fenceFlags(texts));
}

Labels definedLabels(U16View text)
{
    Labels out;
    for (const auto& d : definitions(text))
        out.insert(normalizedLabel(d.label));
    return out;
}

std::vector<Reference> references(U16View text)
{
    std::vector<Reference> out;
    const Labels defined = definedLabels(text);
    if (defined.empty())
        return out;
    const auto lines = lineRanges(text);
    const auto texts = MarkdownSyntax::lineTexts(text, lines);
    const auto fenced = MarkdownSyntax::fenceFlags(texts);
    for (size_t i = 0; i < texts.size(); ++i) {
        const U16View line = texts[i];
        if (fenced[i] || line.find(u"[^") == U16View::npos)
            continue;
        int skip = 0;
        if (const auto m = definitionRegex().firstMatch(line); m && !normalizedLabel(m->text(line, 2)).empty())
            skip = m->range(3).end();
        const auto codeSpans = MarkdownSyntax::codeSpanMatches(line);
        // The code spans come in order, apart: the first ending past r's start is the only one that may reach into r.
        auto inCode = [&](Range r) {
            const auto it = std::upper_bound(codeSpans.begin(), codeSpans.end(), r.location,
                                             [](int at, const Regex::Match& c) { return at < c.range(0).end(); });
            return it != codeSpans.end() && it->range(0).location < r.end();
        };
        // As the inline scanner reads them: a match that reaches into a code
        // span is none, and hides no reference that starts inside it.
        size_t close = 0;  // the first "]" or line feed from the last place looked, which later looks share
        for (size_t p = line.find(u"[^"); p != U16View::npos;) {
            if (close < p + 2)
                close = line.find_first_of(u"]\n", p + 2);
            if (close == U16View::npos || close == p + 2 || line[close] != u']') {
                p = line.find(u"[^", p + 1);
                continue;
            }
            const Range whole = Range::fromTo(int(p), int(close) + 1);
            if (inCode(whole)) {
                p = line.find(u"[^", p + 1);
                continue;
            }
            const U16View label = line.substr(p + 2, close - p - 2);
            if (whole.location >= skip && defined.count(normalizedLabel(label)))
                out.push_back(Reference{U16String(label), Range{lines[i].content.location + whole.location, whole.length}});
            p = line.find(u"[^", close + 1);
        }
    }
    return out;
}

std::optional<Definition> definition(U16View text, U16View label)
{
    const U16String key = normalizedLabel(label);
    for (auto& d : definitions(text))
        if (normalizedLabel(d.label) == key)
            return d;
    return std::nullopt;
}

std::optional<Reference> firstReference(U16View text, U16View label)
{
    const U16String key = normalizedLabel(label);
    for (auto& r : references(text))
        if (normalizedLabel(r.label) == key)
            return r;
    return std::nullopt;
}

} // namespace Footnote

namespace detail {

std::vector<Footnote::Definition> footnoteDefinitions(const MarkdownSyntax::BlockLines& b)
{
    return Footnote::collectDefinitions(b.index.lines(), b.texts, b.fenced);
}

Footnote::Labels definedFootnoteLabels(const std::vector<U16View>& texts, const MarkdownSyntax::LineFlags& fenced)
{
    Footnote::Labels out;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (fenced[i])
            continue;
        if (const auto d = Footnote::parseDefinition(texts[i]))
            out.insert(Footnote::normalizedLabel(d->label));
    }
    return out;
}

} // namespace detail

} // namespace velkin
