#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "selftest/SelfTestContext.h"

#include "document/LinkRouter.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/text/Utf.h"

namespace velkin {

void linkRoutingChecks(SelfTestContext& t)
{
    using LinkRouter::Action;
    const U16String readme = u"https://example.com/docs/readme.md";
    {
        const MarkdownSpans spans = MarkdownSyntax::spans(u"see [docs](" + readme + u")");
        const MarkdownSpan* link = nullptr;
        for (const MarkdownSpan& span : spans)
            if (span.token.is(MarkdownToken::Kind::link)) {
                link = &span;
                break;
            }
        t.check("link span carries its URL", link && link->url() == readme);
    }
    t.check("markdown URL opens as a document",
            LinkRouter::action(readme, std::nullopt) == Action::makeOpenDocument(*Url::parse(u8(readme))));
    t.check("web page opens in the browser", LinkRouter::action(u"https://example.com", std::nullopt)
                                                 == Action::makeOpenInBrowser(*Url::parse("https://example.com")));
    const Url document = Url::fileURL("/Users/x/notes/index.md");
    const Action relative = LinkRouter::action(u"../other.md", document);
    if (relative.kind == Action::openDocument)
        t.check("relative markdown resolves next to the document", relative.url && relative.url->path() == "/Users/x/other.md");
    else
        t.check("relative markdown resolves to a document", false);
    t.check("in-document anchor is ignored", LinkRouter::action(u"#section", document) == Action::makeNone());
}

void gridRoundTripChecks(SelfTestContext& t)
{
    using PipeTable::Parsed;
    const std::vector<U16String> headerAB{u"A", u"B"};
    const std::vector<std::vector<U16String>> rows{{u"1", u"2"}, {u"3", u"4"}};
    const std::vector<TextAlignment> leftRight{TextAlignment::Left, TextAlignment::Right};

    const std::optional<Parsed> table =
        PipeTable::parse(splitAt(u"| A | B |\n| :--- | ---: |\n| 1 | 2 |\n| 3 | 4 |", u'\n'));
    if (!table) {
        t.check("table parses", false);
    } else {
        t.check("table parses header", table->header == headerAB);
        t.check("table parses alignments", table->alignments == leftRight);
        t.check("table parses body rows", table->rows == rows);
        const U16String md = PipeTable::markdown(*table);
        t.check("markdown keeps header", TextOps::contains(md, u"| A | B |"));
        t.check("markdown keeps alignment", TextOps::contains(md, u":---") && TextOps::contains(md, u"---:"));

        const U16String written = TableGrid::serialize(TableGrid::attributed(*table, 13));
        const std::optional<Parsed> again = PipeTable::parse(splitAt(written, u'\n'));
        if (!again) {
            t.check("grid serializes back to a table", false);
        } else {
            t.check("grid round-trips header", again->header == headerAB);
            t.check("grid round-trips rows", again->rows == rows);
            t.check("grid round-trips alignment", again->alignments == leftRight);
        }
    }

    AttributedString mixed(u"intro\n");
    if (const auto small = PipeTable::parse(std::vector<U16String>{u"| X |", u"| - |", u"| y |"}))
        mixed.append(TableGrid::attributed(*small, 13));
    mixed.append(u"\noutro", Attributes());
    const U16String serialized = TableGrid::serialize(mixed);
    t.check("serialize keeps surrounding text",
            TextOps::hasPrefix(serialized, u"intro") && TextOps::hasSuffix(serialized, u"outro"));
    t.check("serialize rebuilds the table", TextOps::contains(serialized, u"| X |"));

    const U16String document = u"# Title\n\nSome text.\n\n| A | B |\n| --- | --- |\n| 1 | 2 |\n\nAfter.";
    TextStorage rendered = TableGrid::render(document, 13);
    t.check("render \u2192 serialize is lossless", TableGrid::serialize(rendered) == document);
    const int one = TextOps::find(rendered.string(), u'1');
    t.check("rendered cell is a grid paragraph", TableGrid::cellBlock(rendered, one) != nullptr);
    MarkdownStyler{13, MarkdownFontFamily::sansSerif}.apply(rendered);
    t.check("styling preserves the grid", TableGrid::cellBlock(rendered, one) != nullptr);
}

} // namespace velkin
