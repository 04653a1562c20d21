#include "export/MarkdownHTML.h"
#include "markdown/EmojiShortcode.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <random>
#include <set>

using namespace velkin;

namespace {

// The inline HTML of a one-paragraph text, without the paragraph element.
std::string inlineHTML(U16View markdown)
{
    std::string out = u8(MarkdownHTML::body(markdown));
    if (out.rfind("<p>", 0) == 0 && out.size() >= 8 && out.compare(out.size() - 5, 5, "</p>\n") == 0)
        return out.substr(3, out.size() - 8);
    return out;
}

} // namespace

TEST(MarkdownHTMLInline, Emphasis)
{
    EXPECT_EQ(inlineHTML(u"Some **bold** text"), "Some <strong>bold</strong> text");
    EXPECT_EQ(inlineHTML(u"***b***"), "<strong><em>b</em></strong>");
    EXPECT_EQ(inlineHTML(u"a *b* _c_"), "a <em>b</em> <em>c</em>");
    EXPECT_EQ(inlineHTML(u"~~gone~~"), "<del>gone</del>");
    EXPECT_EQ(inlineHTML(u"**bold *and italic* text**"), "<strong>bold <em>and italic</em> text</strong>");
    EXPECT_EQ(inlineHTML(u"snake_case_name"), "snake_case_name");
}

TEST(MarkdownHTMLInline, TagsAndEscapes)
{
    EXPECT_EQ(inlineHTML(u"<u>under</u> H<sub>2</sub>O mc<sup>2</sup> <ins>in</ins>"),
              "<u>under</u> H<sub>2</sub>O mc<sup>2</sup> <u>in</u>");
    EXPECT_EQ(inlineHTML(u"\\*not italic\\*"), "*not italic*");
    EXPECT_EQ(inlineHTML(u"<span>x</span>"), "&lt;span&gt;x&lt;/span&gt;");
    EXPECT_EQ(inlineHTML(u"5 < 6 & 7 > 6"), "5 &lt; 6 &amp; 7 &gt; 6");
}

TEST(MarkdownHTMLInline, CodeSpans)
{
    EXPECT_EQ(inlineHTML(u"`<b>`"), "<code>&lt;b&gt;</code>");
    EXPECT_EQ(inlineHTML(u"Use `**x**` here"), "Use <code>**x**</code> here");
    EXPECT_EQ(inlineHTML(u"`:rocket:`"), "<code>:rocket:</code>");
}

TEST(MarkdownHTMLInline, ShortcodesBecomeEmojiOutsideCode)
{
    EXPECT_EQ(inlineHTML(u"ship it :rocket:"), "ship it \xF0\x9F\x9A\x80");
    EXPECT_EQ(inlineHTML(u"`:rocket:` and **:tada:**"), "<code>:rocket:</code> and <strong>\xF0\x9F\x8E\x89</strong>");
    EXPECT_EQ(inlineHTML(u":not-an-emoji-name: & :rocket:"), ":not-an-emoji-name: &amp; \xF0\x9F\x9A\x80");
    EXPECT_EQ(inlineHTML(u"a:rocket:b"), "a:rocket:b");
}

TEST(MarkdownHTMLInline, ShortcodeFinderAgreesWithThePattern)
{
    std::mt19937 rng(31);
    static const std::vector<U16String> pieces = {u":", u"::", u"a", u"Z", u"9", u"_", u"-", u"+", u" ", u"é",
                                                  u"rocket", u"\n", u"`", u"x_y", u"tada", u"\u00a0"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 20000; ++round) {
        U16String text;
        const int parts = 1 + int(rng() % 14);
        for (int i = 0; i < parts; ++i)
            text += pieces[pick(rng)];
        // Now and then a name at the length limit or just past it.
        if (round % 50 == 0)
            text += u":" + U16String(size_t(47 + round % 3), u'n') + u":";
        std::vector<Range> expected;
        for (const Regex::Match& m : EmojiShortcode::shortcodeRegex().matches(text))
            expected.push_back(m.range());
        ASSERT_EQ(EmojiShortcode::ranges(text), expected) << u8(text);
    }
}

TEST(MarkdownHTMLInline, ColourLiteralGetsItsSwatch)
{
    EXPECT_EQ(inlineHTML(u"`#f80`"), "<code><span class=\"swatch\" style=\"color:#ff8800\">&#9632;</span>#f80</code>");
    EXPECT_NE(inlineHTML(u"`rgb(128, 0, 255)`").find("color:#8000ff"), std::string::npos);
    // Halves round away from zero: 50% lightness of grey is 127.5, written 80.
    EXPECT_NE(inlineHTML(u"`hsl(0, 0%, 50%)`").find("color:#808080"), std::string::npos);
}

TEST(MarkdownHTMLInline, Links)
{
    EXPECT_EQ(inlineHTML(u"[text](https://example.com/a?b=1&c=2)"),
              "<a href=\"https://example.com/a?b=1&amp;c=2\">text</a>");
    EXPECT_EQ(inlineHTML(u"<https://example.com>"), "<a href=\"https://example.com\">https://example.com</a>");
    EXPECT_EQ(inlineHTML(u"<me@example.com>"), "<a href=\"mailto:me@example.com\">me@example.com</a>");
    EXPECT_EQ(inlineHTML(u"[docs][d]\n\n[d]: https://example.com/docs"), "<a href=\"https://example.com/docs\">docs</a>");
    EXPECT_EQ(inlineHTML(u"[text]()"), "text");
    EXPECT_EQ(inlineHTML(u"[**x**](y)"), "<a href=\"y\">**x**</a>");
}

TEST(MarkdownHTMLInline, CodeInsideALinksText)
{
    EXPECT_EQ(inlineHTML(u"[`abc`](https://x.y/z)"), "<a href=\"https://x.y/z\"><code>abc</code></a>");
    EXPECT_EQ(inlineHTML(u"see [the `fs` module](fs.md)."), "see <a href=\"fs.md\">the <code>fs</code> module</a>.");
    EXPECT_EQ(inlineHTML(u"[a\\*b](t)"), "<a href=\"t\">a*b</a>");
    // A code span over the link's own brackets keeps it from being a link.
    EXPECT_EQ(inlineHTML(u"`[a`](b)"), "<code>[a</code>](b)");
}

TEST(MarkdownHTMLInline, ScriptAddressesLoseTheirLink)
{
    EXPECT_EQ(inlineHTML(u"[click](javascript:alert%281%29)"), "click");
    EXPECT_EQ(inlineHTML(u"[click](JavaScript:alert)"), "click");
    EXPECT_EQ(inlineHTML(u"<vbscript:msgbox>"), "vbscript:msgbox");
    EXPECT_EQ(inlineHTML(u"[x](data:text/html;base64,PHNjcmlwdD4=)"), "x");
    EXPECT_EQ(inlineHTML(u"[ok](javascript.md)"), "<a href=\"javascript.md\">ok</a>");
}

TEST(MarkdownHTMLInline, HardBreaks)
{
    EXPECT_EQ(inlineHTML(u"line one  \nline two"), "line one<br>\nline two");
    EXPECT_EQ(inlineHTML(u"line one\\\nline two"), "line one<br>\nline two");
    EXPECT_EQ(inlineHTML(u"end  "), "end  ");
    // An escaped backslash is a backslash, not a break; an odd run ends in one.
    EXPECT_EQ(inlineHTML(u"a\\\\\nb"), "a\\\nb");
    EXPECT_EQ(inlineHTML(u"a\\\\\\\nb"), "a\\<br>\nb");
    EXPECT_EQ(inlineHTML(u"\\\nb"), "\\\nb");
    // A long run of spaces inside a line leaves later breaks in place.
    const std::string out = inlineHTML(u"a" + U16String(30000, u' ') + u"b  \nc  \nd\\\ne");
    EXPECT_EQ(out.substr(out.size() - 19), "b<br>\nc<br>\nd<br>\ne");
}

TEST(MarkdownHTMLInline, FootnoteReferences)
{
    EXPECT_EQ(inlineHTML(u"A marker[^why]."), "A marker[^why].");
    const std::string out = u8(MarkdownHTML::body(u"A[^Note 1]\n\n[^note 1]: x"));
    EXPECT_NE(out.find("<sup class=\"footnote-ref\" id=\"fnref-note-1\"><a href=\"#fn-note-1\">Note 1</a></sup>"),
              std::string::npos);
}

// What a code span holds never changes how the rest of its line reads.
TEST(MarkdownHTMLInline, AReferenceAfterACodeSpanHoldingReferenceSyntax)
{
    const std::string out = u8(MarkdownHTML::body(u"Type `[^note]` to get a footnote like this[^note].\n\n[^note]: The note."));
    EXPECT_NE(out.find("<code>[^note]</code> to get a footnote like this<sup class=\"footnote-ref\" id=\"fnref-note\">"
                       "<a href=\"#fn-note\">note</a></sup>."),
              std::string::npos);
    EXPECT_NE(out.find("href=\"#fnref-note\">&#8617;"), std::string::npos);
    for (const U16View line : {U16View(u"`[^a]` [^b]"), U16View(u"`[^a` [^b]"), U16View(u"[^a `]` [^b]")}) {
        const U16String text = U16String(line) + u"\n\n[^a]: A\n[^b]: B";
        EXPECT_NE(u8(MarkdownHTML::body(text)).find("id=\"fnref-b\"><a href=\"#fn-b\">b</a></sup>"), std::string::npos)
            << u8(line);
    }
}

// A label may hold "[": a match whose label no note has hides no reference
// that starts inside it, while one whose label is a note's stays whole.
TEST(MarkdownHTMLInline, AReferenceInsideABrokenOneIsStillOne)
{
    struct Case {
        const char16_t* line;
        const char* linked;  // the labels of the references, in order
    };
    const Case cases[] = {
        {u"A [^x [^b] and [^b].", "b b"},
        {u"[^ [^b]", "b"},
        {u"[^[^b]]", "b"},
        {u"[^x] [^b] [^x", "b"},
        {u"[^a [^b] c", "a [^b"},      // a note's label holding "[^"
        {u"[^x `[^b]` [^b]", "b"},     // the one in code is none
        {u"[^x [^b](p.html)", ""},     // a link's text
        {u"[link [^b]", "b"},
    };
    for (const Case& c : cases) {
        const std::string out = u8(MarkdownHTML::body(U16String(c.line) + u"\n\n[^b]: B\n[^a [^b]: AB"));
        std::string linked;
        for (size_t at = out.find("<sup class=\"footnote-ref\""); at != std::string::npos;
             at = out.find("<sup class=\"footnote-ref\"", at + 1)) {
            const size_t from = out.find("\">", out.find("<a href=", at)) + 2;
            linked += (linked.empty() ? "" : " ") + out.substr(from, out.find("</a>", from) - from);
        }
        EXPECT_EQ(linked, c.linked) << u8(c.line) << "\n" << out;
    }
}

TEST(MarkdownHTMLInline, EveryReferenceToANoteHasItsOwnId)
{
    const std::string out = u8(MarkdownHTML::body(u"a[^note] b[^Note]\n\n> c[^note]\n\n[^note]: x"));
    EXPECT_NE(out.find("id=\"fnref-note\"><a href=\"#fn-note\">note</a>"), std::string::npos);
    EXPECT_NE(out.find("id=\"fnref-note.2\"><a href=\"#fn-note\">Note</a>"), std::string::npos);
    EXPECT_NE(out.find("id=\"fnref-note.3\"><a href=\"#fn-note\">note</a>"), std::string::npos);
    // The note returns to the first reference.
    EXPECT_NE(out.find("<a class=\"footnote-back\" href=\"#fnref-note\">"), std::string::npos);
    // Each rendering counts afresh.
    EXPECT_EQ(MarkdownHTML::body(u"a[^n]\n\n[^n]: x"), MarkdownHTML::body(u"a[^n]\n\n[^n]: x"));
}

// A note's back link leads to a reference on the page, or there is none: its
// only reference in code or a link's address, none at all, or one in another
// note's text, set above or below it.
TEST(MarkdownHTMLInline, EveryBackLinkMeetsAReference)
{
    struct Case {
        const char16_t* text;
        const char* linkedBack;  // the labels whose notes link back, in order
    };
    const Case cases[] = {
        {u"Type `[^a]` for a note.\n\n[^a]: A", ""},
        {u"No reference.\n\n[^a]: A", ""},
        {u"[see](p[^a].html)\n\n[^a]: A", ""},
        {u"x[^a]\n\n[^b]: B\n[^a]: A[^b]", "b a"},
        {u"x[^a]\n\n[^a]: A[^b]\n[^b]: B", "a b"},
        {u"`[^a]` [^b]\n\n[^a]: A\n[^b]: B", "b"},
        {u"- [^a]\n\n> [^b]\n\n[^a]: A\n[^b]: B", "a b"},
    };
    for (const Case& c : cases) {
        const std::string out = u8(MarkdownHTML::body(c.text));
        std::string linked;
        for (size_t at = out.find("<a class=\"footnote-back\" href=\"#"); at != std::string::npos;
             at = out.find("<a class=\"footnote-back\" href=\"#", at + 1)) {
            const size_t from = at + 32;
            const std::string id = out.substr(from, out.find('"', from) - from);
            EXPECT_NE(out.find(" id=\"" + id + "\""), std::string::npos) << id << " in\n" << out;
            linked += (linked.empty() ? "" : " ") + id.substr(6);
        }
        EXPECT_EQ(linked, c.linkedBack) << out;
        // Each note is still on the page, linked or not.
        EXPECT_NE(out.find("<p class=\"footnote\" id=\"fn-a\"><span class=\"footnote-label\">a</span> A"),
                  std::string::npos)
            << out;
    }
}

TEST(MarkdownHTMLInline, InlinePicturesAndTheirSources)
{
    EXPECT_EQ(inlineHTML(u"a ![alt](a.png) b"), "a <img src=\"a.png\" alt=\"alt\"> b");
    EXPECT_EQ(inlineHTML(u"a ![alt][p] b\n\n[p]: pics/p.png"), "a <img src=\"pics/p.png\" alt=\"alt\"> b");
    EXPECT_EQ(inlineHTML(u"a ![P] b\n\n[p]: pics/p.png"), "a <img src=\"pics/p.png\" alt=\"P\"> b");
    // A picture without a description is a picture wherever it stands.
    const std::pair<const char16_t*, const char*> empty[] = {
        {u"See ![](p.png) here.", "<p>See <img src=\"p.png\" alt=\"\"> here.</p>"},
        {u"**b ![](p.png)**![](q.png)", "<strong>b <img src=\"p.png\" alt=\"\"></strong><img src=\"q.png\" alt=\"\">"},
        {u"# Head ![](p.png)", "<h1>Head <img src=\"p.png\" alt=\"\"></h1>"},
        {u"a[^n]\n\n[^n]: note ![](p.png)", "note <img src=\"p.png\" alt=\"\">"},
        // With a delimiter holding another (code in a reference's label) beside it.
        {u"[t][`a`] ![](p.png)\n\n[`a`]: u", "<a href=\"u\">t</a> <img src=\"p.png\" alt=\"\">"},
        {u"![](<a b.png> \"t\") ![]()", "<img src=\"a b.png\" alt=\"\"> <img src=\"\" alt=\"\">"},
    };
    for (const auto& [markdown, expected] : empty)
        EXPECT_NE(u8(MarkdownHTML::body(markdown)).find(expected), std::string::npos) << u8(MarkdownHTML::body(markdown));
}

TEST(MarkdownHTMLInline, AttributeInjectionThroughACombiningMarkIsEscaped)
{
    const std::string out = u8(MarkdownHTML::body(u"![x\"\u0338 onerror=alert(1)](a.png)"));
    EXPECT_EQ(out.find("\"\xCC\xB8 onerror"), std::string::npos);
    EXPECT_NE(out.find("alt=\"x&quot;\xCC\xB8 onerror=alert(1)\""), std::string::npos);
    const std::string link = u8(MarkdownHTML::body(u"[a](b\"\u0338onmouseover=alert(1))"));
    EXPECT_EQ(link.find("b\"\xCC\xB8"), std::string::npos);
}

TEST(MarkdownHTMLInline, FootnoteIdsAreUniqueOnThePage)
{
    const std::string out = u8(MarkdownHTML::body(u"[^1] [^1] [^1-2] [^a b] [^a-b]\n\n[^1]: x\n\n[^1-2]: y\n\n[^a b]: z\n\n[^a-b]: w"));
    std::set<std::string> ids;
    for (size_t at = out.find(" id=\""); at != std::string::npos; at = out.find(" id=\"", at + 1)) {
        const std::string id = out.substr(at + 5, out.find('"', at + 5) - at - 5);
        EXPECT_TRUE(ids.insert(id).second) << id;
    }
    EXPECT_EQ(ids.size(), 9u);
    // Links and back-links meet their targets; the note returns to its first reference.
    EXPECT_NE(out.find("<a class=\"footnote-back\" href=\"#fnref-1\">"), std::string::npos);
    EXPECT_NE(out.find("id=\"fnref-a-b_2\"><a href=\"#fn-a-b_2\">a-b</a>"), std::string::npos);
    EXPECT_NE(out.find("<p class=\"footnote\" id=\"fn-a-b_2\"><span class=\"footnote-label\">a-b</span> w"), std::string::npos);
}

TEST(MarkdownHTMLInline, ALongParagraphLeavesNoMemoryBehind)
{
    // The writer's working lists outlive a paragraph; a long one's must not stay held.
    const auto heapInUse = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    U16String text;
    for (int i = 0; i < 200000; ++i)
        text += u"*a";
    text += u"\n";
    const size_t before = heapInUse();
    EXPECT_GT(MarkdownHTML::body(text).size(), text.size());
    const size_t after = heapInUse();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator does not answer mallinfo2.
    (void)before, (void)after;
#else
    // Held, they were over 30 MB here.
    EXPECT_LT(after, before + 2 * 1024 * 1024) << after - before << " bytes held";
#endif
}
