#include "export/MarkdownHTML.h"
#include "export/MarkdownHTMLBlocks.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>

using namespace velkin;

namespace {

std::string html(U16View markdown)
{
    return u8(MarkdownHTML::body(markdown));
}

} // namespace

TEST(MarkdownHTMLBlocks, EmptyAndBlankTextsGiveNothing)
{
    EXPECT_EQ(html(u""), "");
    EXPECT_EQ(html(u"\n  \n\t\n"), "");
}

TEST(MarkdownHTMLBlocks, Headings)
{
    EXPECT_EQ(html(u"## Title"), "<h2>Title</h2>\n");
    EXPECT_EQ(html(u"Title\n==="), "<h1>Title</h1>\n");
    EXPECT_EQ(html(u"Title\n---"), "<h2>Title</h2>\n");
    EXPECT_EQ(html(u"# Title ##"), "<h1>Title</h1>\n");
    EXPECT_EQ(html(u"# Tag#"), "<h1>Tag#</h1>\n");
    EXPECT_EQ(html(u"###### Six"), "<h6>Six</h6>\n");
    // Headings carry no identifiers.
    EXPECT_EQ(html(u"# A *b*"), "<h1>A <em>b</em></h1>\n");
}

TEST(MarkdownHTMLBlocks, ParagraphsRulesAndDefinitions)
{
    EXPECT_EQ(html(u"one\ntwo\n\nthree"), "<p>one\ntwo</p>\n<p>three</p>\n");
    EXPECT_EQ(html(u"---"), "<hr>\n");
    EXPECT_EQ(html(u"[d]: https://example.com/x"), "");
}

TEST(MarkdownHTMLBlocks, FencedCode)
{
    EXPECT_EQ(html(u"```\nlet x = 1\n```"), "<pre><code>let x = 1</code></pre>\n");
    EXPECT_EQ(html(u"```swift\nlet x = 1\n```"),
              "<pre><code class=\"language-swift\"><span class=\"tok-keyword\">let</span> x = "
              "<span class=\"tok-number\">1</span></code></pre>\n");
    // An unclosed fence runs to the end; blank edges are trimmed; markup is escaped.
    EXPECT_EQ(html(u"```\n\n<b>&\n\n"), "<pre><code>&lt;b&gt;&amp;</code></pre>\n");
    EXPECT_EQ(html(u"```nosuchlanguage\na < b\n```"), "<pre><code class=\"language-nosuchlanguage\">a &lt; b</code></pre>\n");
    // A language name cannot break out of its attribute.
    EXPECT_EQ(html(u"```a\"b\nx\n```").find("a\"b"), std::string::npos);
}

// A fence that opens a quotation is code in the quotation, its lines without their leaders.
TEST(MarkdownHTMLBlocks, FenceInsideAQuoteLosesItsLeaders)
{
    EXPECT_EQ(html(u"> ```\n> code\n> more\n> ```"), "<blockquote>\n<pre><code>code\nmore</code></pre>\n</blockquote>\n");
    // The quotation goes on after the block as one, as it does after a first line of text.
    EXPECT_EQ(html(u"> ```\n> code\n> ```\n> more"), "<blockquote>\n<pre><code>code</code></pre>\n<p>more</p>\n</blockquote>\n");
    EXPECT_EQ(html(u"> text\n> ```\n> code\n> ```"), "<blockquote>\n<p>text</p>\n<pre><code>code</code></pre>\n</blockquote>\n");
    EXPECT_EQ(html(u"> > ~~~\n> > code\n> after"),
              "<blockquote>\n<blockquote>\n<pre><code>code</code></pre>\n</blockquote>\n<p>after</p>\n</blockquote>\n");
    EXPECT_EQ(html(u"- > ```\n  > code"), "<ul>\n<li><blockquote>\n<pre><code>code</code></pre>\n</blockquote>\n</li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, IndentedCodeIsEscapedNotHighlighted)
{
    EXPECT_EQ(html(u"    let x = <1>"), "<pre><code>let x = &lt;1&gt;</code></pre>\n");
}

TEST(MarkdownHTMLBlocks, Lists)
{
    EXPECT_EQ(html(u"- one\n- two"), "<ul>\n<li>one</li>\n<li>two</li>\n</ul>\n");
    EXPECT_EQ(html(u"- one\n\n- two"), "<ul>\n<li><p>one</p>\n</li>\n<li><p>two</p>\n</li>\n</ul>\n");
    EXPECT_EQ(html(u"3. a"), "<ol start=\"3\">\n<li>a</li>\n</ol>\n");
    EXPECT_EQ(html(u"1. a"), "<ol>\n<li>a</li>\n</ol>\n");
    EXPECT_EQ(html(u"- a\n* b"), "<ul>\n<li>a</li>\n</ul>\n<ul>\n<li>b</li>\n</ul>\n");
    EXPECT_EQ(html(u"- one\n\n1. two"), "<ul>\n<li>one</li>\n</ul>\n<ol>\n<li>two</li>\n</ol>\n");
    EXPECT_EQ(html(u"- one\n  - deep"), "<ul>\n<li>one\n<ul>\n<li>deep</li>\n</ul></li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, OrderedListsInOtherDigitScripts)
{
    // Fullwidth, Arabic-Indic and mathematical digits number a list by their values.
    EXPECT_EQ(html(u"\uFF11. a\n\uFF12. b"), "<ol>\n<li>a</li>\n<li>b</li>\n</ol>\n");
    EXPECT_EQ(html(u"\u0663. a"), "<ol start=\"3\">\n<li>a</li>\n</ol>\n");
    EXPECT_EQ(html(u"1\u0663. a"), "<ol start=\"13\">\n<li>a</li>\n</ol>\n");
    EXPECT_EQ(html(u"1\U0001D7D7\U0001D7D7\U0001D7D7\U0001D7D7\U0001D7D7\U0001D7D7\U0001D7D7\U0001D7D7. item"),
              "<ol start=\"199999999\">\n<li>item</li>\n</ol>\n");
    EXPECT_EQ(html(u"999999999. a"), "<ol start=\"999999999\">\n<li>a</li>\n</ol>\n");
    EXPECT_EQ(html(u"0. a"), "<ol start=\"0\">\n<li>a</li>\n</ol>\n");
    // A numbered item after a bullet item starts a new list, whatever the script.
    EXPECT_EQ(html(u"- a\n\u0661. b"), "<ul>\n<li>a</li>\n</ul>\n<ol>\n<li>b</li>\n</ol>\n");
}

TEST(MarkdownHTMLBlocks, TaskItems)
{
    EXPECT_EQ(html(u"- [x] done"),
              "<ul>\n<li class=\"task-item\"><span class=\"task task-done\">&#9745;</span> done</li>\n</ul>\n");
    EXPECT_EQ(html(u"- [ ] to do"),
              "<ul>\n<li class=\"task-item\"><span class=\"task\">&#9744;</span> to do</li>\n</ul>\n");
    // In a loose list the box stands inside the item's first paragraph.
    EXPECT_EQ(html(u"- [ ] a\n\n- [x] b\n\n  more"),
              "<ul>\n<li class=\"task-item\"><p><span class=\"task\">&#9744;</span> a</p>\n</li>\n"
              "<li class=\"task-item\"><p><span class=\"task task-done\">&#9745;</span> b</p>\n<p>more</p>\n</li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, AFenceAfterAListIsNotPulledIntoIt)
{
    const std::string out = html(u"- item\n\n```\ncode\n```\n");
    EXPECT_EQ(out, "<ul>\n<li>item</li>\n</ul>\n<pre><code>code</code></pre>\n");
    // A fence indented under its item stays in the item.
    EXPECT_EQ(html(u"- item\n\n  ```\n  code\n  ```"),
              "<ul>\n<li><p>item</p>\n<pre><code>code</code></pre>\n</li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, QuotesAndAlerts)
{
    EXPECT_EQ(html(u"> Quoted"), "<blockquote>\n<p>Quoted</p>\n</blockquote>\n");
    EXPECT_EQ(html(u"> [!NOTE]\n> Mind this."),
              "<div class=\"alert alert-note\">\n<p class=\"alert-title\">Note</p>\n<p>Mind this.</p>\n</div>\n");
    EXPECT_EQ(html(u"> [!caution]\n> Hot.").substr(0, 33), "<div class=\"alert alert-caution\">");
    // Only a label under one leader makes the block an alert; a deeper one is
    // an alert inside a plain quote.
    EXPECT_EQ(html(u"> > [!NOTE]\n> > x").rfind("<blockquote>\n<div class=\"alert alert-note\">", 0), 0u);
    EXPECT_EQ(html(u"> [!NOTE] more").find("alert"), std::string::npos);
    EXPECT_EQ(html(u"> a\n>> b"), "<blockquote>\n<p>a\nb</p>\n</blockquote>\n");
}

TEST(MarkdownHTMLBlocks, Tables)
{
    EXPECT_EQ(html(u"| a | b |\n| :---: | ---: |\n| 1 | 2 |"),
              "<table>\n<thead>\n<tr><th style=\"text-align:center\">a</th><th style=\"text-align:right\">b</th></tr>\n"
              "</thead>\n<tbody>\n<tr><td style=\"text-align:center\">1</td><td style=\"text-align:right\">2</td></tr>\n"
              "</tbody>\n</table>\n");
    // A header with fewer cells than a row gets empty cells up to the column count.
    const std::string wide = html(u"| a |\n| --- |\n| 1 | 2 |");
    EXPECT_NE(wide.find("<tr><th>a</th><th></th></tr>"), std::string::npos);
    EXPECT_NE(html(u"| a |\n| --- |\n| **b** |").find("<td><strong>b</strong></td>"), std::string::npos);
    // Without a cell the lines are a paragraph.
    EXPECT_EQ(html(u"|\n|---|"), "<p>|\n|---|</p>\n");
    EXPECT_EQ(html(u"|\n|---|\n|\nafter"), "<p>|\n|---|\n|\nafter</p>\n");
}

TEST(MarkdownHTMLBlocks, ATableInAListItemOrOnItsMarkersLineStaysInTheItem)
{
    const std::string table = "<table>\n<thead>\n<tr><th>a</th><th>b</th></tr>\n</thead>\n<tbody>\n"
                              "<tr><td>1</td><td>2</td></tr>\n</tbody>\n</table>\n";
    EXPECT_EQ(html(u"- | a | b |\n  |---|---|\n  | 1 | 2 |\n"), "<ul>\n<li>" + table + "</li>\n</ul>\n");
    EXPECT_EQ(html(u"1. | a | b |\n   |---|---|\n   | 1 | 2 |"), "<ol>\n<li>" + table + "</li>\n</ol>\n");
    EXPECT_EQ(html(u"- item\n\n  | a | b |\n  |---|---|\n  | 1 | 2 |\n\n- next\n"),
              "<ul>\n<li><p>item</p>\n" + table + "</li>\n<li><p>next</p>\n</li>\n</ul>\n");
    // A dash with no space after it opens no item: the table is the page's.
    EXPECT_EQ(html(u"-| a | b |\n|---|---|\n| 1 | 2 |").rfind("<table>", 0), 0u);
    // A row on a marker's line opens the item and ends the table, the marker kept.
    const std::string ended = html(u"| a | b |\n|---|---|\n| 1 | 2 |\n- | 3 | 4 |\n> | 5 | 6 |");
    EXPECT_EQ(ended.rfind(table, 0), 0u) << ended;
    EXPECT_NE(ended.find("</table>\n<ul>\n<li>"), std::string::npos) << ended;
    EXPECT_NE(ended.find("<blockquote>"), std::string::npos) << ended;
    EXPECT_EQ(ended.find("<td>-</td>"), std::string::npos) << ended;
}

TEST(MarkdownHTMLBlocks, ALineBreakInACellIsOneOnThePage)
{
    const std::string cells = html(u"| a<br>b | c |\n|---|---|\n| one<br>two<br> | `x<br>y` |\n| \\<br> | **p<br>q** |\n"
                                   u"| [Read<br>more](https://e.org/a) | ![Harbour](p.png \"Porto<br>at dusk\") ![a<br>b](q.png) |");
    EXPECT_NE(cells.find("<tr><th>a<br>b</th><th>c</th></tr>"), std::string::npos) << cells;
    EXPECT_NE(cells.find("<td>one<br>two<br></td><td><code>x&lt;br&gt;y</code></td>"), std::string::npos) << cells;
    // An escaped break is text; a break inside emphasis, a link or a picture is one inside it.
    EXPECT_NE(cells.find("<td>&lt;br&gt;</td><td><strong>p<br>q</strong></td>"), std::string::npos) << cells;
    EXPECT_NE(cells.find("<td><a href=\"https://e.org/a\">Read<br>more</a></td>"
                         "<td><img src=\"p.png\" alt=\"Harbour\"> <img src=\"q.png\" alt=\"a\nb\"></td>"),
              std::string::npos) << cells;
    // Outside a table the tag stays text.
    EXPECT_EQ(html(u"a<br>b"), "<p>a&lt;br&gt;b</p>\n");
    EXPECT_EQ(html(u"- a<br>b"), "<ul>\n<li>a&lt;br&gt;b</li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, Footnotes)
{
    const std::string out = html(u"A marker[^why].\n\n[^why]: Because.\n[^why]: Again.");
    EXPECT_NE(out.find("<sup class=\"footnote-ref\" id=\"fnref-why\"><a href=\"#fn-why\">why</a></sup>."), std::string::npos);
    EXPECT_NE(out.find("<section class=\"footnotes\">\n<hr>\n<p class=\"footnote\" id=\"fn-why\"><span class=\"footnote-label\">"
                       "why</span> Because. <a class=\"footnote-back\" href=\"#fnref-why\">&#8617;</a></p>\n</section>\n"),
              std::string::npos);
    EXPECT_EQ(out.find("Again"), std::string::npos);
    EXPECT_EQ(html(u"Plain text.").find("footnotes"), std::string::npos);
    // A note defined inside a quote is still set at the foot.
    EXPECT_NE(html(u"x[^a]\n\n> [^a]: inside").find("<span class=\"footnote-label\">a</span> inside"), std::string::npos);
}

// A reference links to its note wherever the note is defined, above or below
// the reference, at any depth.
TEST(MarkdownHTMLBlocks, ANoteDefinedInAQuotationOrItemIsReferenced)
{
    const auto linked = [](const std::string& page, const std::string& label) {
        return page.find("<a href=\"#fn-" + label + "\">") != std::string::npos
               && page.find("id=\"fn-" + label + "\"") != std::string::npos && page.find("[^") == std::string::npos;
    };
    for (const char16_t* text : {u"> Quote[^q2].\n>\n> [^q2]: Defined in quote.", u"Before[^q2].\n\n> [^q2]: In quote.",
                                 u"> > [^q2]: Deep.\n\nAfter[^Q2].", u"- [^q2]: In an item.\n\nText[^q2]",
                                 u"1. item\n\n   [^q2]: Under it.\n2. Cited[^q2]\r\n", u"| a |\n|---|\n| c[^q2] |\n\n> [^q2]: x"})
        EXPECT_TRUE(linked(html(text), "q2")) << u8(text) << "\n" << html(text);
    // A note's text may point to a note defined in a quote; a first definition wins over a later top-level one.
    const std::string chain = html(u"A[^a]\n\n> [^a]: See[^b].\n\n- [^b]: B.\n\n[^a]: Later.");
    EXPECT_TRUE(linked(chain, "a") && linked(chain, "b")) << chain;
    EXPECT_EQ(chain.find("Later"), std::string::npos);
    // Still nothing for a label no line defines, nor inside code.
    EXPECT_NE(html(u"> [^q]: x\n\n`[^q]` [^r]").find("<code>[^q]</code> [^r]"), std::string::npos);
}

TEST(MarkdownHTMLBlocks, LinkDefinitionsUnderANoteDefineLinksAndStayOutOfIt)
{
    const std::string out = html(u"See [x][] and[^1].\n\n[^1]: The note\n  goes on\n[x]: http://x.example\n[y]: <http://y>\n"
                                 u"Use [y].");
    EXPECT_NE(out.find("<span class=\"footnote-label\">1</span> The note\ngoes on <a"), std::string::npos);
    EXPECT_EQ(out.find("]:"), std::string::npos);
    EXPECT_NE(out.find("<a href=\"http://x.example\">x</a>"), std::string::npos);
    // The line after the definitions is a paragraph of its own, not more note.
    EXPECT_NE(out.find("<p>Use <a href=\"http://y\">y</a>.</p>"), std::string::npos);
}

TEST(MarkdownHTMLBlocks, FigureForALineThatIsOnePicture)
{
    EXPECT_EQ(html(u"![alt](a.png)"), "<figure><img src=\"a.png\" alt=\"alt\"><figcaption>alt</figcaption></figure>\n");
    EXPECT_EQ(html(u"![](a.png)"), "<figure><img src=\"a.png\" alt=\"\"></figure>\n");
}

TEST(MarkdownHTMLBlocks, EveryLineEndRendersLikeALineFeed)
{
    const U16String document = u"# T\n\none\ntwo\n\n- a\n- b\n\n```\ncode\n```\nafter\n\n> q\n> r\n\n1. x\n2. y\n";
    const std::string expected = html(document);
    ASSERT_NE(expected.find("<pre><code>code</code></pre>\n<p>after</p>"), std::string::npos);
    for (const U16String end : {u"\r\n", u"\r", u"\u0085", u"\u2028", u"\u2029"}) {
        U16String changed;
        for (char16_t c : document) {
            if (c == u'\n')
                changed += end;
            else
                changed += c;
        }
        EXPECT_EQ(html(changed), expected) << "line end U+" << std::hex << int(end[0]);
    }
}

TEST(MarkdownHTMLBlocks, LinesSplitAsTheEditorSplitsThem)
{
    std::mt19937 rng(5);
    static const std::vector<U16String> pieces = {u"a", u"bcdefghij", u"\n", u"\r", u"\r\n", u"\u0085", u"\u2028",
                                                  u"\u2029", u"\u2027", u"\u202A", u"\v", u"\f", u"\t", u"\u0084"};
    for (int round = 0; round < 5000; ++round) {
        U16String text;
        const int parts = int(rng() % 12);
        for (int i = 0; i < parts; ++i)
            text += pieces[rng() % pieces.size()];
        std::vector<U16View> expected;
        for (const LineRange& line : lineRanges(text))
            expected.push_back(substring(text, line.content));
        ASSERT_EQ(MarkdownHTML::RendererText::lineTexts(text), expected) << u8(text);
    }
}

TEST(MarkdownHTMLBlocks, AQuoteLineWithAStrayLineEndNestsOnce)
{
    EXPECT_EQ(html(u"> a\u2028> b"), "<blockquote>\n<p>a\nb</p>\n</blockquote>\n");
    EXPECT_EQ(html(u">\u2029> b"), "<blockquote>\n<p>b</p>\n</blockquote>\n");
    // A separator before the line feed ends a line of its own: two quotes, neither nested.
    for (const char16_t* text : {u"> a\u2028\n> b", u"> a\r\n>\u0085\n> b"}) {
        const std::string out = html(text);
        EXPECT_EQ(out.find("<blockquote>\n<blockquote>"), std::string::npos) << out;
        EXPECT_NE(out.find("<p>b</p>"), std::string::npos) << out;
    }
    // A vertical tab is no line end, and still takes the marker off.
    const std::string tab = html(u">\va");
    EXPECT_EQ(tab.find("<blockquote>", 1), std::string::npos) << tab;
}

TEST(MarkdownHTMLBlocks, DeepNestingEndsWithoutExhaustingTheStack)
{
    U16String quotes;
    for (int i = 0; i < 5000; ++i)
        quotes += u"> ";
    quotes += u"deep";
    EXPECT_NE(html(quotes).find("deep"), std::string::npos);
    U16String items;
    for (int i = 0; i < 3000; ++i)
        items += u"- ";
    items += u"x";
    EXPECT_NE(html(items).find("x"), std::string::npos);
}

// Inputs that once took time growing with the square of their size (their cost
// is measured in bench/); here they must finish with the right page.
TEST(MarkdownHTMLBlocks, HostileInputsFinishWithTheirText)
{
    const auto repeated = [](U16View piece, int times) {
        U16String out;
        for (int i = 0; i < times; ++i)
            out += piece;
        return out;
    };
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
            ++n;
        return n;
    };
    // Each "*_*" crosses the "_*_" after it: one of every two stays, the other keeps its delimiters as text.
    EXPECT_EQ(count(html(repeated(u"*_", 20000)), "<em>"), 10000u);
    EXPECT_EQ(html(u"x" + repeated(u"]:", 20000)), "<p>x" + u8(repeated(u"]:", 20000)) + "</p>\n");
    EXPECT_EQ(count(html(repeated(repeated(u"![", 5000) + u"\n\n", 4)), "<p>![![!["), 4u);
    EXPECT_EQ(html(u"x\n" + repeated(U16String(10000, u' ') + u"\u2029\u2029", 3) + u"y  \nz"),
              "<p>x</p>\n<p>y<br>\nz</p>\n");
    EXPECT_EQ(count(html(repeated(u">\u2028", 4000)), "<blockquote>"), 1u);
    EXPECT_EQ(count(html(repeated(u">\r", 4000)), "<blockquote>"), 1u);
    EXPECT_EQ(count(html(u"| a | b |\n" + repeated(u"| - | - |\n", 20000)), "<tr>"), 20000u);
    EXPECT_EQ(count(html(repeated(u"`a``b ", 5000)), "<code>"), 5000u);
    U16String mixed;
    for (int i = 0; i < 2000; ++i)
        mixed += u"[![*_`<a href=\"x\">|~~**\\";
    mixed += u"\n";
    for (int i = 0; i < 2000; ++i)
        mixed += u"| a |\n";
    EXPECT_NE(html(mixed).find("| a |"), std::string::npos);
}

TEST(MarkdownHTMLBlocks, ADefinitionShapedLineInAQuoteOrItemIsText)
{
    EXPECT_EQ(html(u"> [foo]: /url"), "<blockquote>\n<p>[foo]: /url</p>\n</blockquote>\n");
    EXPECT_EQ(html(u"- [`[T]::first`][`slice::first`]\n\n[`slice::first`]: /first"),
              "<ul>\n<li><a href=\"/first\"><code>[T]::first</code></a></li>\n</ul>\n");
    EXPECT_EQ(html(u"- a\n- [b]: /c"), "<ul>\n<li>a</li>\n<li>[b]: /c</li>\n</ul>\n");
    // An item's continuation line that the document reads as a definition is one.
    EXPECT_EQ(html(u"- [see]\n  [see]: /y"), "<ul>\n<li><a href=\"/y\">see</a></li>\n</ul>\n");
}

TEST(MarkdownHTMLBlocks, AFenceOpeningAnItemStaysInIt)
{
    EXPECT_EQ(html(u"- a\n- ```\n  b\n  ```\n- c\n\nafter"),
              "<ul>\n<li>a</li>\n<li><pre><code>b</code></pre>\n</li>\n<li>c</li>\n</ul>\n<p>after</p>\n");
    EXPECT_EQ(html(u"1. ```js\n   let x\n   ```\n2. d"),
              "<ol>\n<li><pre><code class=\"language-js\"><span class=\"tok-keyword\">let</span> x</code></pre>\n</li>\n"
              "<li>d</li>\n</ol>\n");
    // Inside a fence an item-shaped fence line is code.
    EXPECT_EQ(html(u"```\n- ```\n```\nx"), "<pre><code>- ```</code></pre>\n<p>x</p>\n");
}

// An unclosed fence in an item or a quotation ends with it; the lines after
// it are the document's, not code, and none is lost.
TEST(MarkdownHTMLBlocks, AnUnclosedFenceEndsWithItsItemOrQuotation)
{
    EXPECT_EQ(html(u"- ```\n  code\n\nafter\n\n# Heading"),
              "<ul>\n<li><pre><code>code</code></pre>\n</li>\n</ul>\n<p>after</p>\n<h1>Heading</h1>\n");
    EXPECT_EQ(html(u"1. ```\n   code\n  after\n2. next"),
              "<ol>\n<li><pre><code>code</code></pre>\n</li>\n</ol>\n<p>  after</p>\n<ol start=\"2\">\n<li>next</li>\n</ol>\n");
    EXPECT_EQ(html(u"- a\n  - ~~~\n    x\n  back in a"),
              "<ul>\n<li>a\n<ul>\n<li><pre><code>x</code></pre>\n</li>\n</ul>\n<p>back in a</p></li>\n</ul>\n");
    EXPECT_EQ(html(u"- a\n\n  ```\n  x\nafter"),
              "<ul>\n<li><p>a</p>\n<pre><code>x</code></pre>\n</li>\n</ul>\n<p>after</p>\n");
    EXPECT_EQ(html(u"> ```\n> code\n\nafter"), "<blockquote>\n<pre><code>code</code></pre>\n</blockquote>\n<p>after</p>\n");
    EXPECT_EQ(html(u"> - ```\n>   x\n\nafter"),
              "<blockquote>\n<ul>\n<li><pre><code>x</code></pre>\n</li>\n</ul>\n</blockquote>\n<p>after</p>\n");
    // A closing fence left of the item still closes it; the document's own fence runs to the end.
    EXPECT_EQ(html(u"- ```\n  x\n```\nafter"), "<ul>\n<li><pre><code>x</code></pre>\n</li>\n</ul>\n<p>after</p>\n");
    EXPECT_EQ(html(u"```\nx\n\n- a"), "<pre><code>x\n\n- a</code></pre>\n");
}

// Fences, items and quotations in any order: whichever block ends where, no line's text is left off the page.
TEST(MarkdownHTMLBlocks, EveryLineOfFencesItemsAndQuotationsIsOnThePage)
{
    const std::vector<std::string> shapes{"- ```", "- ~~~", "1. ```", "  ```", "```", "~~~", "> ```", "> - ```", "  - ```",
                                          "  w", "    w", "w", "> w", ">   w", "- w", "1. w", "", "  ", "> ", "# w", "\tw"};
    std::mt19937 random(17);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int words = 0;
        for (int line = 1 + int(random() % 12); line > 0; --line) {
            std::string shape = shapes[random() % shapes.size()];
            if (const size_t w = shape.find('w'); w != std::string::npos)
                shape.replace(w, 1, "q" + std::to_string(words++) + "z");
            text += shape + "\n";
        }
        const std::string out = html(u16(text));
        for (int k = 0; k < words; ++k)
            ASSERT_NE(out.find("q" + std::to_string(k) + "z"), std::string::npos) << text << "---\n" << out;
    }
}

TEST(MarkdownHTMLBlocks, NestedItemsTakeDigitsOfAnyScript)
{
    EXPECT_EQ(html(u"- \u0661. x"), "<ul>\n<li><ol>\n<li>x</li>\n</ol>\n</li>\n</ul>\n");
    EXPECT_EQ(html(u"> \u0662. x"), "<blockquote>\n<ol start=\"2\">\n<li>x</li>\n</ol>\n</blockquote>\n");
}
