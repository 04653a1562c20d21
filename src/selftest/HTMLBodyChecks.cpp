#include "selftest/SelfTestContext.h"

#include "export/MarkdownHTML.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

namespace velkin {

namespace {

U16String html(U16View markdown)
{
    return MarkdownHTML::body(markdown, MarkdownHTML::Options{});
}

// One check: the body of `markdown` holds `fragment`; the note shows the body on one line.
void renders(SelfTestContext& t, const std::string& name, U16View markdown, U16View fragment)
{
    const U16String body = html(markdown);
    const bool found = TextOps::contains(body, fragment);
    t.check(name, found, found ? std::nullopt : std::optional<std::string>("got \"" + u8(TextOps::replacingAll(body, u"\n", u"\\n")) + "\""));
}

} // namespace

void htmlBlockChecks(SelfTestContext& t)
{
    const U16String site = u"https://example.com/docs";
    const U16String mail = u"hello@example.com";
    const U16String t14 = u"| a | b |\n| --- | --- |\n| 1 | 2 |";
    const U16String t15 = u"| a |\n| ---: |\n| 1 |";
    const U16String f16 = u"```\nlet x = 1\n```";
    const U16String f17 = u"```swift\nlet x = 1\n```";
    const U16String n41 = u"A marker[^why].\n\n[^why]: Because.";

    renders(t, "a heading exports as a heading", u"## Title", u"<h2>Title</h2>");
    renders(t, "a ruled heading exports as a heading", u"Title\n=====", u"<h1>Title</h1>");
    renders(t, "a paragraph exports as a paragraph", u"Hello.", u"<p>Hello.</p>");
    renders(t, "a thematic break exports as a rule", u"---", u"<hr>");
    renders(t, "a quote exports as a quote", u"> Quoted", u"<blockquote>");
    renders(t, "an alert exports as a panel", u"> [!NOTE]\n> Mind this.", u"alert alert-note");
    renders(t, "an alert is titled by its kind", u"> [!TIP]\n> Try this.", u"Tip</p>");
    renders(t, "a bullet list exports as a list", u"- one\n- two", u"<ul>\n<li>one</li>");
    renders(t, "an ordered list exports as an ordered list", u"1. one", u"<ol>\n<li>one</li>");
    renders(t, "an ordered list keeps where it started", u"3. three", u"<ol start=\"3\">");
    renders(t, "a nested list nests", u"- one\n  - deep", u"<ul>\n<li>deep</li>\n</ul>");
    renders(t, "a task exports as a ticked box", u"- [x] done", u"&#9745;");
    renders(t, "an unticked task exports as an empty box", u"- [ ] to do", u"&#9744;");
    renders(t, "a table exports as a table", t14, u"<th>a</th>");
    renders(t, "a table's alignment survives", t15, u"text-align:right");
    renders(t, "a fenced block exports as code", f16, u"<pre><code>let x = 1</code></pre>");
    renders(t, "a fence's language is named", f17, u"class=\"language-swift\"");
    renders(t, "code is syntax-highlighted", f17, u"<span class=\"tok-keyword\">let</span>");
    renders(t, "an indented block exports as code", u"    let x = 1", u"<pre><code>let x = 1</code></pre>");
    renders(t, "a picture on its own line exports as a figure", u"![alt](a.png)", u"<figure>");
    t.check("a bullet list and an ordered list stay apart", TextOps::contains(html(u"- one\n\n1. two"), u"</ul>\n<ol>"));
    t.check("a tight list's items are not paragraphs", !TextOps::contains(html(u"- one\n- two"), u"<li><p>"));
    t.check("a loose list's items are paragraphs", TextOps::contains(html(u"- one\n\n- two"), u"<li><p>one</p>"));
    renders(t, "bold exports as strong", u"a **b** c", u"<strong>b</strong>");
    renders(t, "italic exports as em", u"a *b* c", u"<em>b</em>");
    renders(t, "bold italic exports as both", u"***b***", u"<strong><em>b</em></strong>");
    renders(t, "strikethrough exports as del", u"~~gone~~", u"<del>gone</del>");
    renders(t, "underline exports as u", u"<u>under</u>", u"<u>under</u>");
    renders(t, "a superscript exports as sup", u"E = mc<sup>2</sup>", u"<sup>2</sup>");
    renders(t, "a subscript exports as sub", u"H<sub>2</sub>O", u"<sub>2</sub>");
    renders(t, "inline code exports as code", u"use `x` now", u"<code>x</code>");
    renders(t, "a link exports as an anchor", u"[text](" + site + u")", u"<a href=\"" + site + u"\">text</a>");
    renders(t, "an autolink exports as an anchor", u"<" + site + u">", u"<a href=\"" + site + u"\">" + site + u"</a>");
    renders(t, "an email autolink gets its mailto:", u"<" + mail + u">", u"href=\"mailto:" + mail + u"\"");
    renders(t, "a reference link resolves", u"[docs][d]\n\n[d]: " + site, u"<a href=\"" + site + u"\">docs</a>");
    renders(t, "a picture in a line exports as an image", u"a ![alt](a.png) b", u"alt=\"alt\"");
    renders(t, "a shortcode exports as its emoji", u"ship it :rocket:", u"\U0001F680");
    renders(t, "a colour literal keeps its swatch", u"`#f80`", u"color:#ff8800");
    renders(t, "a hard break exports as a break", u"one  \ntwo", u"<br>");
    t.check("a link definition leaves no mark", !TextOps::contains(html(u"[d]: " + site), site));
    t.check("a footnote marker links to its note", TextOps::contains(html(n41), u"href=\"#fn-why\""));
    {
        const U16String body = html(n41);
        t.check("a footnote's note is set at the foot",
                TextOps::contains(body, u"id=\"fn-why\"") && TextOps::contains(body, u"Because."));
    }
    t.check("a footnote is labelled as written", TextOps::contains(html(n41), u">why</span>"));
    t.check("an undefined marker stays text", !TextOps::contains(html(u"A marker[^why]."), u"footnote-ref"));
    t.check("angle brackets in prose are escaped",
            TextOps::contains(html(u"5 < 6 & 7 > 6"), u"5 &lt; 6 &amp; 7 &gt; 6"));
    t.check("markup inside code is escaped", TextOps::contains(html(u"`<b>`"), u"<code>&lt;b&gt;</code>"));
    t.check("a shortcode inside code stays written", TextOps::contains(html(u"`:rocket:`"), u"<code>:rocket:</code>"));
}

} // namespace velkin
