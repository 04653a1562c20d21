#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

namespace {

using K = MarkdownToken::Kind;

// The level of the first heading span holding the first occurrence of `needle`.
std::optional<int> headingLevel(U16View text, U16View needle)
{
    const size_t at = text.find(needle);
    if (at == U16View::npos)
        return std::nullopt;
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(K::heading) && s.range.contains(int(at)))
            return s.token.level();
    return std::nullopt;
}

// The characters under the first hard-break span.
std::optional<U16String> breakRun(U16View text)
{
    const MarkdownSpans spans = MarkdownSyntax::spans(text);
    if (const MarkdownSpan* s = firstOfKind(spans, K::lineBreak))
        return spanText(text, *s);
    return std::nullopt;
}

} // namespace

void group42WindowChrome(SelfTestContext& t)
{
    (void)t;
}

void group43PreviewImages(SelfTestContext& t)
{
    (void)t;
}

void group44SetextAndLayout(SelfTestContext& t)
{
    t.check("=== under a paragraph is a Heading 1", headingLevel(u"Title\n===\n", u"Title") == 1);
    t.check("--- under a paragraph is a Heading 2", headingLevel(u"Section\n---\n", u"Section") == 2);
    t.check("a setext rule is dimmed, not a heading",
            !headingLevel(u"Title\n===\n", u"===") && hasMarker(u"Title\n===\n", u"==="));
    t.check("--- after a blank line is still a rule", !headingLevel(u"Some text\n\n---\n", u"Some text"));
    t.check("--- under a list item is still a rule", !headingLevel(u"- item\n---\n", u"- item"));
    t.check("--- under a heading is still a rule", headingLevel(u"# Title\n---\n", u"# Title") == 1);
    {
        const U16String text = u"One line\nand another\n===\n";
        t.check("a setext heading takes its whole paragraph",
                headingLevel(text, u"One line") == 1 && headingLevel(text, u"and another") == 1);
    }
    t.check("a setext heading styles its inline Markdown",
            firstContent(u"A **bold** title\n===\n", MarkdownToken(K::bold)) == u"bold");
    t.check("a table's delimiter row is not a setext rule",
            !headingLevel(u"| a | b |\n| --- | --- |\n", u"| a | b |"));
    t.check("a nested quote dims both markers", hasMarker(u"> > deep", u"> > "));
    t.check("bold spans a line break",
            firstContent(u"a **start\nand end** b", MarkdownToken(K::bold)) == u"start\nand end");
    t.check("italic spans a line break",
            firstContent(u"a *start\nand end* b", MarkdownToken(K::italic)) == u"start\nand end");
    t.check("emphasis stops at the end of its paragraph",
            !firstContent(u"a *start\n\nand end* b", MarkdownToken(K::italic)));
    t.check("a list item's emphasis stops at its own line",
            !firstContent(u"- *start\n- and end* b", MarkdownToken(K::italic)));
    t.check("emphasis still works on one line", firstContent(u"plain **bold** plain", MarkdownToken(K::bold)) == u"bold");
    t.check("two trailing spaces are a hard break", breakRun(u"one  \ntwo") == u"  ");
    t.check("a trailing backslash is a hard break", breakRun(u"one\\\ntwo") == u"\\");
    t.check("one trailing space is not", !breakRun(u"one \ntwo"));
    t.check("an escaped backslash is not", !breakRun(u"one\\\\\ntwo"));
    t.check("a break with nothing under it is not marked", !breakRun(u"one  \n\ntwo"));
    t.check("a break at the end of the document is not marked", !breakRun(u"one  "));
    t.check("trailing spaces inside a fence are left alone", !breakRun(u"```\none  \ntwo\n```"));
    t.check("a doubled code span may hold a backtick", firstContent(u"``a ` b``", MarkdownToken(K::code)) == u"a ` b");
    t.check("a single code span still reads as one", firstContent(u"`code` here", MarkdownToken(K::code)) == u"code");
}

} // namespace velkin
