#include "app/DocumentStats.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

void group04BlockMarkers(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;
    const MarkdownSpans table = MarkdownSyntax::spans(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    t.check("table rows styled monospaced", hasKind(table, K::table));
    t.check("table pipes dimmed", hasKind(table, K::marker));
    t.check("all three table lines detected", countKind(table, K::table) == 3);
    t.check("stray pipe line isn't a table", !hasKind(MarkdownSyntax::spans(u"a | b | c"), K::table));
    t.check("blockquote marker dimmed", hasMarker(u"> quoted", u"> "));
    t.check("list marker dimmed", hasMarker(u"- item", u"- "));
    t.check("ordered list marker dimmed", hasMarker(u"1. item", u"1. "));
    t.check("thematic break dimmed", hasKind(MarkdownSyntax::spans(u"---"), K::marker));
}

void group05StylerSizes(SelfTestContext& t)
{
    (void)t;
}

void group06DocumentStats(SelfTestContext& t)
{
    const DocumentStats stats(u"one two three");
    t.check("stats counts words", stats.words == 3);
    t.check("stats counts characters", stats.characters == 13);
    t.check("empty document has zero words", DocumentStats(u"").words == 0);
}

void group11DefaultBodySize(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
