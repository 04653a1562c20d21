#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

using K = MarkdownToken::Kind;

void demoSampleChecks(SelfTestContext& t)
{
    if (!t.demo) {
        if (SelfTestFiles::isBundled())
            t.skip("demo.md parses", "Samples/ isn't shipped inside the app");
        else
            t.check("demo.md found", false, "could not locate Samples/demo.md");
        return;
    }
    const MarkdownSpans spans = MarkdownSyntax::spans(*t.demo);
    t.check("demo.md produced spans", !spans.empty());
    t.check("demo.md has headings", hasKind(spans, K::heading));
    t.check("demo.md has code", hasKind(spans, K::code) || hasKind(spans, K::codeBlock));
    t.check("demo.md has a table", hasKind(spans, K::table));
    t.check("demo.md has dimmed markers", hasKind(spans, K::marker));
}

void syntaxSpanChecks(SelfTestContext& t)
{
    {
        const U16String text = u"# Title";
        const MarkdownSpans spans = MarkdownSyntax::spans(text);
        const MarkdownSpan* heading = firstOfKind(spans, K::heading);
        t.check("heading span covers the line", heading && spanText(text, *heading) == u"# Title");
        if (heading)
            t.check("heading level parsed", heading->token.level() == 1);
        else
            t.check("heading token present", false);
    }
    t.check("heading marker dimmed", hasMarker(u"# Title", u"# "));
    {
        const MarkdownSpans spans = MarkdownSyntax::spans(u"### Three");
        t.check("h3 level parsed", !spans.empty() && spans.front().token == MarkdownToken::heading(3));
    }
    t.check("bold content", firstContent(u"a **b** c", MarkdownToken(K::bold)) == u"b");
    t.check("bold markers dimmed", hasMarker(u"a **b** c", u"**"));
    t.check("italic content", firstContent(u"a *b* c", MarkdownToken(K::italic)) == u"b");
    t.check("bold-italic content", firstContent(u"***x***", MarkdownToken(K::boldItalic)) == u"x");
    t.check("strikethrough content", firstContent(u"~~gone~~", MarkdownToken(K::strikethrough)) == u"gone");
    t.check("bold isn't double-styled as italic", !hasKind(MarkdownSyntax::spans(u"**b**"), K::italic));
    t.check("intraword underscore isn't italic", !hasKind(MarkdownSyntax::spans(u"foo_bar_baz"), K::italic));
    t.check("inline code content", firstContent(u"use `x` now", MarkdownToken(K::code)) == u"x");
    {
        const U16String text = u"[text](https://example.com)";
        t.check("link text content", firstContent(text, MarkdownToken(K::link)) == u"text");
        t.check("link url dimmed", hasMarker(text, u"https://example.com"));
    }
    t.check("image alt content", firstContent(u"![alt](a.png)", MarkdownToken(K::image)) == u"alt");
    {
        const U16String text = u"```\ncode line\n```";
        const MarkdownSpans spans = MarkdownSyntax::spans(text);
        t.check("fenced block styles all three lines", countKind(spans, K::codeBlock) > 2);
        bool inner = false;
        for (const MarkdownSpan& s : spans)
            if (s.token.is(K::codeBlock) && spanText(text, s).find(u"code line") != U16String::npos)
                inner = true;
        t.check("fenced inner line captured", inner);
    }
}

} // namespace velkin
