#include "markdown/ImageBlock.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/text/TextOps.h"
#include "selftest/SelfTestContext.h"

#include <algorithm>

namespace velkin {

namespace {

using Kind = MarkdownToken::Kind;
using Cells = std::vector<U16String>;

// The tokens of the spans whose text is exactly `piece`, in span order.
std::vector<MarkdownToken> tokens(U16View text, U16View piece)
{
    std::vector<MarkdownToken> result;
    for (const MarkdownSpan& span : MarkdownSyntax::spans(text))
        if (span.range.end() <= int(text.size()) && substring(text, span.range) == piece)
            result.push_back(span.token);
    return result;
}

// The text under the first span of `kind`, or nothing.
std::optional<U16String> firstOfKind(U16View text, Kind kind)
{
    for (const MarkdownSpan& span : MarkdownSyntax::spans(text))
        if (span.token.is(kind) && span.range.end() <= int(text.size()))
            return U16String(substring(text, span.range));
    return std::nullopt;
}

// The font at the first occurrence of `piece` once `text` is styled at 16 points.
std::optional<Font> styledFont(U16View text, U16View piece)
{
    TextStorage storage{U16String(text)};
    MarkdownStyler{16, MarkdownFontFamily::sansSerif}.apply(storage);
    const int at = TextOps::find(storage.string(), piece);
    const Font* font = at >= 0 ? storage.font(at) : nullptr;
    return font ? std::optional<Font>(*font) : std::nullopt;
}

} // namespace

void escapedPipeChecks(SelfTestContext& t)
{
    t.check("an escaped pipe does not split a cell", PipeTable::cells(u"| a \\| b | c |") == Cells{u"a \\| b", u"c"});
    t.check("a pipe inside a code span does not split a cell", PipeTable::cells(u"| `a|b` | c |") == Cells{u"`a|b`", u"c"});
    t.check("an unclosed backtick still leaves the pipes alone",
            PipeTable::cells(u"| a ` b | c |") == Cells{u"a ` b", u"c"});
    const auto table = PipeTable::parse(std::vector<U16View>{u"| a | b |", u"| --- | --- |", u"| x \\| y | z |"});
    t.check("a table with an escaped pipe keeps its shape",
            table && table->rows == std::vector<Cells>{Cells{u"x \\| y", u"z"}});
    const auto pipes = tokens(u"| a \\| b | c |\n| --- | --- |", u"|");
    t.check("an escaped pipe is not dimmed as a separator",
            std::count_if(pipes.begin(), pipes.end(), [](const MarkdownToken& k) { return k.is(Kind::marker); }) == 3);
}

void stylingCombinationChecks(SelfTestContext& t)
{
    const auto nested = styledFont(u"**a *b* c**", u"b");
    t.check("italic inside bold renders as both", nested && nested->bold && nested->italic);
    const auto loud = styledFont(u"## **Loud**", u"Loud");
    t.check("bold inside a heading keeps the heading's size", loud && loud->pointSize > 16);
    const auto code = styledFont(u"**`x`**", u"x");
    t.check("bold around a code span keeps its monospace", code && code->bold && code->isFixedPitch());
    const auto titled = ImageBlock::parseBlockImage(u"![alt](pic.png \"Title\")");
    t.check("a picture with a title still renders", titled && titled->url == u"pic.png");
    const auto bracketed = ImageBlock::parseBlockImage(u"![alt](<my pic.png>)");
    t.check("a picture's angle brackets are not part of its path", bracketed && bracketed->url == u"my pic.png");

    const U16String grid = u"| **a** | `b` |\n| --- | --- |\n| [c](x) | d |";
    t.check("bold in a source table row is bold", firstOfKind(grid, Kind::bold) == U16String(u"a"));
    t.check("code in a source table row is code", firstOfKind(grid, Kind::code) == U16String(u"b"));
    const MarkdownSpans spans = MarkdownSyntax::spans(grid);
    const auto link = std::find_if(spans.begin(), spans.end(), [](const MarkdownSpan& s) { return s.token.is(Kind::link); });
    t.check("a link in a source table row is clickable", link != spans.end() && link->url() == U16String(u"x"));
    t.check("the row is still monospaced",
            std::any_of(spans.begin(), spans.end(), [](const MarkdownSpan& s) { return s.token.is(Kind::table); }));
    t.check("the delimiter row stays plain syntax", !firstOfKind(u"| a | b |\n| :-: | --: |", Kind::link));
}

} // namespace velkin
