#include "app/DocumentStats.h"
#include "document/LinkRouter.h"
#include "editor/MarkdownEditing.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include <algorithm>

namespace velkin {

void editingEdgeChecks(SelfTestContext& t)
{
    using namespace MarkdownEditing;
    t.check("bold unwraps when markers sit just outside the selection",
            applyEdit(u"**hi**", wrap(u"**hi**", {2, 2}, u"**")) == u"hi");
    t.check("inline code wraps the selection", applyEdit(u"x", wrap(u"x", {0, 1}, u"`")) == u"`x`");
    t.check("heading applies across a multi-line selection",
            applyEdit(u"a\nb", heading(u"a\nb", {0, 3}, 1)) == u"# a\n# b");
    t.check("rule at document start needs no leading blank line",
            applyEdit(u"", horizontalRule(u"", {0, 0})) == u"---\n");
    t.check("link keeps the selected text as its label", applyEdit(u"go", link(u"go", {0, 2})) == u"[go](url)");
}

void syntaxStatsRoutingChecks(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;
    bool levels = true;
    for (int n = 1; n <= 6; ++n) {
        const U16String text = U16String(size_t(n), u'#') + u" H";
        const MarkdownSpans spans = MarkdownSyntax::spans(text);  // the span found must outlive the line
        const MarkdownSpan* heading = firstOfKind(spans, K::heading);
        if (!heading || heading->token.level() != n)
            levels = false;
    }
    t.check("heading levels 1–6 all parse", levels);
    {
        const MarkdownSpans spans =
            MarkdownSyntax::spans(u"[a](https://example.com/a) and [b](https://example.org/b)");
        std::vector<U16String> urls;
        for (const MarkdownSpan& s : spans)
            if (s.token.is(K::link))
                urls.push_back(s.url().value_or(U16String()));
        std::sort(urls.begin(), urls.end());
        t.check("each link on a line carries its own URL",
                urls == std::vector<U16String>{u"https://example.com/a", u"https://example.org/b"});
    }
    {
        const MarkdownSpans spans = MarkdownSyntax::spans(u"![pic](img.png)");
        t.check("an image is not also parsed as a link", hasKind(spans, K::image) && !hasKind(spans, K::link));
    }
    t.check("stats ignore extra whitespace between words", DocumentStats(u"  a   b  ").words == 2);
    t.check("stats count newlines as characters", DocumentStats(u"a\nb").characters == 3);
    t.check("a hyphenated word counts once", DocumentStats(u"well-known").words == 1);

    using LinkRouter::Action;
    const auto opensAs = [](U16View target, Action::Kind kind) {
        return LinkRouter::action(target, std::nullopt).kind == kind;
    };
    t.check("a file-URL Markdown link opens as a document", opensAs(u"file:///tmp/notes.md", Action::openDocument));
    t.check("a .txt link opens as a document", opensAs(u"https://example.com/read.txt", Action::openDocument));
    t.check("a non-text link opens in the browser", opensAs(u"https://example.com/pic.png", Action::openInBrowser));
}

} // namespace velkin
