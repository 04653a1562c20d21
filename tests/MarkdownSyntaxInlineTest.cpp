#include "MarkdownSyntaxTestSupport.h"
#include "platform/text/CharacterClass.h"

#include <cmath>
#include <functional>
#include <iterator>
#include <random>

#include <time.h>

using namespace velkin;
using namespace velkin::testing;

namespace {

Seen inl(U16View text, Footnote::Labels footnotes = {}, ReferenceLink::Table links = {})
{
    MarkdownSpans out;
    MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, footnotes, links, out);
    return seen(text, out);
}

} // namespace

TEST(InlineScanner, NothingOutsideWithin)
{
    MarkdownSpans out;
    MarkdownSyntax::appendInline(u"*a* **b**", 0, Range{3, 0}, {}, {}, out);
    EXPECT_TRUE(out.empty());
    // A part reaching past the line is cut at its end.
    MarkdownSyntax::appendInline(u"x *a*", 10, Range{2, 40}, {}, {}, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].range, (Range{13, 1}));
}

TEST(InlineScanner, CodeSpansWinOverEverythingInside)
{
    EXPECT_EQ(inl(u"Use `**x**` here"), (Seen{{K::code, "**x**"}, {K::marker, "`"}, {K::marker, "`"}}));
    EXPECT_EQ(inl(u"``a ` b``"), (Seen{{K::code, "a ` b"}, {K::marker, "``"}, {K::marker, "``"}}));
    EXPECT_TRUE(inl(u"a ` b").empty());
    EXPECT_EQ(only(inl(u"`*a` *b*"), K::italic), (Seen{{K::italic, "b"}}));
    EXPECT_TRUE(only(inl(u"`a\nb`"), K::code).empty());
}

TEST(InlineScanner, CodeSpanClosingRuns)
{
    // A longer run closes with its last backticks; a shorter one does not close.
    EXPECT_EQ(inl(u"`a```"), (Seen{{K::code, "a``"}, {K::marker, "`"}, {K::marker, "`"}}));
    EXPECT_TRUE(only(inl(u"``a` b"), K::code).empty());
    EXPECT_EQ(only(inl(u"``a` `` `b`"), K::code), (Seen{{K::code, "a` "}, {K::code, "b"}}));
    // The first run long enough closes, even past shorter ones.
    EXPECT_EQ(only(inl(u"```a`b``c```d```"), K::code), (Seen{{K::code, "a`b``c"}}));
    // Not past a line feed: the single one inside closes instead.
    EXPECT_EQ(only(inl(u"```a`b``c\n```"), K::code), (Seen{{K::code, "b`"}}));
}

namespace {

// The processor time the scanner takes over `text`: this thread's alone and
// the best of five, so that a busy machine does not pass for a slow scanner.
double scanSeconds(const U16String& text)
{
    auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    };
    double best = 1e9;
    size_t spans = 0;
    for (int i = 0; i < 5; ++i) {
        const double start = now();
        spans += MarkdownSyntax::spans(text).size();
        best = std::min(best, now() - start);
    }
    EXPECT_LT(spans, text.size());
    return best;
}

} // namespace

TEST(InlineScanner, UnclosedBacktickRunsTakeLinearTime)
{
    // Runs that never close, each opening looking past all the others.
    auto runs = [](size_t n) {
        return U16String(n, u'`') + u"x" + U16String(n - 1, u'`') + u"\n" + U16String(n, u'a');
    };
    // Runs of every length down to one: none closes, each looks past all the shorter ones.
    auto ladder = [](size_t n) {
        U16String text;
        for (size_t k = size_t(std::sqrt(double(2 * n))); k > 0; --k)
            text += U16String(k, u'`') + u" x ";
        return text;
    };
    for (const auto& make : {std::function<U16String(size_t)>(runs), std::function<U16String(size_t)>(ladder)}) {
        // Large enough that the sanitizer build's allocator is past its small
        // sizes for both; a quadratic scan is caught before the larger one.
        const double small = scanSeconds(make(200000));
        if (small > 1) {
            ADD_FAILURE() << "200000 units took " << small << " s";
            continue;
        }
        const double large = scanSeconds(make(800000));
        EXPECT_LT(large, 8 * small + 0.01) << small << " s, then " << large << " s";
    }
}

TEST(InlineScanner, EscapesConsumeBothCharacters)
{
    EXPECT_EQ(inl(u"\\*not italic\\*"), (Seen{{K::marker, "\\"}, {K::marker, "\\"}}));
    EXPECT_EQ(inl(u"\\\\*x*"), (Seen{{K::marker, "\\"}, {K::italic, "x"}, {K::marker, "*"}, {K::marker, "*"}}));
    EXPECT_TRUE(inl(u"\\a").empty());
    // An escape inside a link's text leaves the link whole.
    EXPECT_EQ(only(inl(u"[a\\*b](target)"), K::link), (Seen{{K::link, "a\\*b"}}));
}

TEST(InlineScanner, EmphasisNestsThroughItsDelimitersOnly)
{
    EXPECT_EQ(inl(u"**bold *and italic* text**"),
              (Seen{{K::bold, "bold *and italic* text"}, {K::marker, "**"}, {K::marker, "**"},
                    {K::italic, "and italic"}, {K::marker, "*"}, {K::marker, "*"}}));
    EXPECT_EQ(inl(u"***both***"), (Seen{{K::boldItalic, "both"}, {K::marker, "***"}, {K::marker, "***"}}));
    EXPECT_EQ(inl(u"*a **b** c*"), (Seen{{K::bold, "b"}, {K::marker, "**"}, {K::marker, "**"}}));
    EXPECT_TRUE(inl(u"snake_case_name").empty());
    EXPECT_EQ(only(inl(u"_word_"), K::italic), (Seen{{K::italic, "word"}}));
    EXPECT_EQ(only(inl(u"a__b__c"), K::bold), (Seen{{K::bold, "b"}}));
    EXPECT_EQ(only(inl(u"**`code`**"), K::bold), (Seen{{K::bold, "`code`"}}));
    EXPECT_EQ(only(inl(u"~~a~b~~"), K::strikethrough), Seen{});
}

TEST(InlineScanner, LinksAndImages)
{
    MarkdownSpans out;
    const U16String link = u"[text](<a b> \"t\")";
    MarkdownSyntax::appendInline(link, 0, Range{0, int(link.size())}, {}, {}, out);
    EXPECT_EQ(seen(link, out), (Seen{{K::link, "text"}, {K::marker, "["}, {K::marker, "]("}, {K::marker, "<a b>"},
                                     {K::marker, " \"t\""}, {K::marker, ")"}}));
    EXPECT_EQ(out[0].url(), u"a b");
    EXPECT_EQ(inl(u"![alt](pic.png)"), (Seen{{K::image, "alt"}, {K::marker, "!["}, {K::marker, "]("},
                                            {K::marker, "pic.png"}, {K::marker, ")"}}));
    // Without a description the picture is still one, keyed where the description would stand.
    EXPECT_EQ(inl(u"![](pic.png)"), (Seen{{K::image, ""}, {K::marker, "!["}, {K::marker, "]("}, {K::marker, "pic.png"},
                                         {K::marker, ")"}}));
    // Code in a link's text stays code inside the link; code over a link's marker keeps it from being one.
    EXPECT_EQ(only(inl(u"[`code`](target)"), K::link), (Seen{{K::link, "`code`"}}));
    EXPECT_EQ(only(inl(u"[`code`](target)"), K::code), (Seen{{K::code, "code"}}));
    EXPECT_TRUE(only(inl(u"`[a`](target)"), K::link).empty());
    EXPECT_TRUE(only(inl(u"[a `b](c)`"), K::link).empty());
    MarkdownSpans image;
    MarkdownSyntax::appendInline(u"![a](b.png)", 0, Range{0, 11}, {}, {}, image);
    EXPECT_EQ(image[0].url(), u"b.png");  // an image carries its source like a link
    image.clear();
    MarkdownSyntax::appendInline(u"a ![](b.png)", 0, Range{0, 12}, {}, {}, image);
    EXPECT_EQ(image[0].url(), u"b.png");
    EXPECT_EQ(only(inl(u"[**x**](y)"), K::bold), Seen{});
    EXPECT_EQ(only(inl(u"**see [x](y)**"), K::bold), (Seen{{K::bold, "see [x](y)"}}));

    MarkdownSpans empty;
    MarkdownSyntax::appendInline(u"[text]()", 0, Range{0, 8}, {}, {}, empty);
    ASSERT_FALSE(empty.empty());
    EXPECT_EQ(empty[0].url(), std::nullopt);
}

TEST(InlineScanner, AutolinksCarryTheirAddress)
{
    MarkdownSpans out;
    const U16String text = u"<https://example.com/a?b> <me@example.co.uk>";
    MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, {}, {}, out);
    ASSERT_EQ(count(out, K::link), 2);
    EXPECT_EQ(out[0].url(), u"https://example.com/a?b");
    EXPECT_EQ(out[3].url(), u"mailto:me@example.co.uk");
    EXPECT_TRUE(only(inl(u"<me@example>"), K::link).empty());
    EXPECT_TRUE(only(inl(u"<a:b>"), K::link).empty());  // a scheme needs two characters
}

TEST(InlineScanner, FootnoteReferencesNeedADefinition)
{
    EXPECT_EQ(inl(u"x[^1]", {u"1"}), (Seen{{K::footnoteRef, "[^1]"}, {K::marker, "[^"}, {K::marker, "]"}}));
    MarkdownSpans out;
    MarkdownSyntax::appendInline(u"[^ Note ]", 0, Range{0, 9}, {u"note"}, {}, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].token, MarkdownToken::footnoteRef(u" Note "));
    EXPECT_TRUE(inl(u"[^x]").empty());
}

// What a code span holds never changes how the rest of its line reads: each
// construct after a code span holding some of any construct's syntax reads as
// it reads alone.
TEST(InlineScanner, TheTextAfterACodeSpanReadsAsItReadsAlone)
{
    const Footnote::Labels notes{u"a", u"b"};
    const ReferenceLink::Table links{{u"ref", u"/r"}};
    const std::vector<U16String> held{u"[^a", u"[^a]", u"[ref", u"[ref]", u"![ref", u"]", u"[x](", u"<http://x",
                                      u"<sub>", u"<a@b", u"**", u"_", u"~~"};
    const std::vector<U16String> after{u"[^b]", u"[ref]", u"![ref]", u"[t][ref]", u"[t](/u)", u"<https://e.org>",
                                       u"<me@e.org>", u"<sub>2</sub>", u"**bold**", u"_it_", u"~~gone~~"};
    for (const U16String& code : held)
        for (const U16String& construct : after) {
            const U16String text = u"`" + code + u"` " + construct;
            MarkdownSpans whole, alone;
            MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, notes, links, whole);
            const U16String rest = u" " + construct;
            MarkdownSyntax::appendInline(rest, int(code.size()) + 2, Range{0, int(rest.size())}, notes, links, alone);
            alone.insert(alone.begin(), whole.begin(), whole.begin() + 3);  // the code span and its backticks
            EXPECT_EQ(seen(text, whole), seen(text, alone)) << u8(text);
        }
}

TEST(InlineScanner, InlineTags)
{
    EXPECT_EQ(only(inl(u"<SUB>2</SUB>"), K::subscripted), (Seen{{K::subscripted, "2"}}));
    EXPECT_EQ(only(inl(u"<ins>x</ins>"), K::underline), (Seen{{K::underline, "x"}}));
    EXPECT_EQ(inl(u"<u>**x**</u>"), (Seen{{K::underline, "**x**"}, {K::marker, "<u>"}, {K::marker, "</u>"}}));
    EXPECT_EQ(only(inl(u"**<u>x</u>**"), K::bold), (Seen{{K::bold, "<u>x</u>"}}));
    for (const char16_t* none : {u"<sub>x", u"<sub>x</sup>", u"<sub></sub>", u"<span>x</span>"})
        EXPECT_TRUE(inl(none).empty()) << u8(none);
}

TEST(InlineScanner, ColourSpansLieOverCodeContent)
{
    const Seen s = inl(u"`#ff8800` and `` #F80 `` and `red` and `rgb(300, 0, 0)`");
    EXPECT_EQ(only(s, K::color), (Seen{{K::color, "#ff8800"}, {K::color, " #F80 "}}));
    EXPECT_TRUE(only(inl(u"#ff8800"), K::color).empty());
}

TEST(InlineScanner, UnterminatedConstructsStopAtTheEnd)
{
    for (const char16_t* text : {u"[", u"![", u"[a](", u"[a](<b", u"<", u"<https:", u"`", u"``a`", u"**", u"***a**",
                                 u"~~a~", u"[^", u"<sub>a</su", u"\\", u"_a", u"[a][", u"![a][b"}) {
        MarkdownSpans out;
        const U16View t(text);
        MarkdownSyntax::appendInline(t, 0, Range{0, int(t.size())}, {u"a"}, {{u"a", u"/a"}, {u"b", u"/b"}}, out);
        for (const auto& s : out)
            EXPECT_LE(s.range.end(), int(t.size())) << u8(t);
    }
}

// "a", up to 24 random pieces, "z": a paragraph whose delimiters may pair across lines.
template <size_t N>
U16String randomParagraph(std::mt19937& rng, const char16_t* const (&pieces)[N])
{
    U16String text = u"a";
    for (int i = int(rng() % 24); i >= 0; --i)
        text += pieces[rng() % N];
    return text + u"z";
}

// A paragraph cut at a line start where its scan is settled reads as its two
// parts: every span of the whole lies in one part, as that part alone gives it.
// Random paragraphs of delimiters that pair across lines, or wait for a partner.
TEST(InlineScanner, ASettledParagraphReadsAsItsParts)
{
    const char16_t* const pieces[] = {u"*", u"**", u"***", u"_", u"__", u" _", u"~~", u"~", u"`", u"a", u"b ",
                                      u" ", u"word", u"[x](y)", u"[", u"]", u"<u>", u"</u>", u"\\*", u"\n", u"\n"};
    std::mt19937 rng(7);
    MarkdownSyntax::Definitions definitions;
    definitions.links[u"x"] = u"https://x.y";
    int settledCuts = 0, unsettledCuts = 0;
    for (int round = 0; round < 3000; ++round) {
        const U16String text = randomParagraph(rng, pieces);
        MarkdownSpans whole;
        MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, definitions.footnotes, definitions.links,
                                     whole);
        for (size_t cut = text.find(u'\n'); cut != U16String::npos; cut = text.find(u'\n', cut + 1)) {
            const int at = int(cut) + 1;
            const U16View head = U16View(text).substr(0, cut);
            if (MarkdownSyntax::inlineRunsOn(head, definitions)) {
                ++unsettledCuts;
                continue;
            }
            ++settledCuts;
            MarkdownSpans parts;
            MarkdownSyntax::appendInline(head, 0, Range{0, int(head.size())}, definitions.footnotes,
                                         definitions.links, parts);
            const U16View tail = U16View(text).substr(size_t(at));
            MarkdownSyntax::appendInline(tail, at, Range{0, int(tail.size())}, definitions.footnotes,
                                         definitions.links, parts);
            MarkdownSpans before, after;
            for (const MarkdownSpan& span : whole)
                (span.range.location < at ? before : after).push_back(span);
            before.insert(before.end(), after.begin(), after.end());
            ASSERT_TRUE(before == parts) << u8(text) << " cut at " << at;
        }
    }
    // Both kinds of line start turn up.
    EXPECT_GT(settledCuts, 500);
    EXPECT_GT(unsettledCuts, 500);
}

// The last paragraph of a text is asked about as the scan reads it: lines that
// belong to other blocks part it from what stands above them.
TEST(InlineScanner, OnlyTheLastParagraphOfATextIsAskedAbout)
{
    const MarkdownSyntax::Definitions none;
    EXPECT_TRUE(MarkdownSyntax::paragraphRunsOn(u"a *b\nc\n", none));
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"a *b\nc*\n", none));
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"a *b\n\nc\n", none));
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"a *b\n- item\nc\n", none));
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"a *b\n# heading\n", none));
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"```\na *b\n", none));
    EXPECT_TRUE(MarkdownSyntax::paragraphRunsOn(u"- item\nc __d\n", none));
    EXPECT_TRUE(MarkdownSyntax::paragraphRunsOn(u"x ~~y\n", none));
    // Delimiters whose reading no later text can change leave it settled.
    EXPECT_FALSE(MarkdownSyntax::paragraphRunsOn(u"snake_case, *a* and\n~~b~~ x_\n", none));
}

TEST(InlineScanner, ALinkStartsAtTheInnermostBracketThatMakesIt)
{
    EXPECT_EQ(only(inl(u"a [ `b` [c](d)"), K::link), (Seen{{K::link, "c"}}));
    EXPECT_EQ(only(inl(u"Indexes run over [0, `n`); see [the guide](https://example.com/guide)."), K::link),
              (Seen{{K::link, "the guide"}}));
    EXPECT_EQ(only(inl(u"[a [b](c)"), K::link), (Seen{{K::link, "b"}}));
    // A "]" in a code span or an escape closes nothing: it is the link's text.
    EXPECT_EQ(only(inl(u"[`[T]::first`](u) and [a\\]b](v)"), K::link),
              (Seen{{K::link, "`[T]::first`"}, {K::link, "a\\]b"}}));
    // The bracket before an image is no link opener of its own.
    EXPECT_EQ(only(inl(u"[![i](p) [b](c)"), K::link), (Seen{{K::link, "b"}}));
}

TEST(InlineScanner, CrossingEmphasisLeavesTheOthersDelimitersAsText)
{
    // Of two crossing matches the one that starts first stays; the other makes no span at all.
    EXPECT_EQ(inl(u"*foo _bar* baz_"), (Seen{{K::italic, "foo _bar"}, {K::marker, "*"}, {K::marker, "*"}}));
    EXPECT_EQ(inl(u"_foo *bar_ baz*"), (Seen{{K::italic, "foo *bar"}, {K::marker, "_"}, {K::marker, "_"}}));
    EXPECT_EQ(inl(u"~~a *b~~ c*"), (Seen{{K::strikethrough, "a *b"}, {K::marker, "~~"}, {K::marker, "~~"}}));
    EXPECT_EQ(only(inl(u"*foo __bar *baz bim__ bam*"), K::bold), Seen{});
    EXPECT_EQ(count([] {
                  MarkdownSpans out;
                  MarkdownSyntax::appendInline(u"*foo __bar *baz bim__ bam*", 0, Range{0, 26}, {}, {}, out);
                  return out;
              }(), K::marker),
              2);
    // Nesting is no crossing.
    EXPECT_EQ(only(inl(u"**a _b_ c**"), K::italic), (Seen{{K::italic, "b"}}));
}

TEST(InlineScanner, ReferenceLinksTakeCodeAndEscapesInTheirText)
{
    const ReferenceLink::Table links = {{u"`fs.readfile()`", u"#fs"}, {u"ref", u"/r"}, {u"`slice::first`", u"/first"}};
    EXPECT_EQ(only(inl(u"[`fs.readFile()`][] and [`x`][ref] and [a\\*b][ref] and [`fs.readFile()`]", {}, links), K::link),
              (Seen{{K::link, "`fs.readFile()`"}, {K::link, "`x`"}, {K::link, "a\\*b"}, {K::link, "`fs.readFile()`"}}));
    // A code span may be the label too, and may hold brackets.
    const Seen rust = only(inl(u"[`[T]::first`][`slice::first`]", {}, links), K::link);
    EXPECT_EQ(rust, (Seen{{K::link, "`[T]::first`"}}));
    // An autolink is no link text (the label then stands alone as a shortcut).
    EXPECT_EQ(only(inl(u"[<https://a.b>][ref]", {}, links), K::link), (Seen{{K::link, "https://a.b"}, {K::link, "ref"}}));
    EXPECT_EQ(only(inl(u"a [ `b` [c][ref]", {}, links), K::link), (Seen{{K::link, "c"}}));
}

TEST(InlineScanner, BalancedParenthesesBelongToTheAddress)
{
    MarkdownSpans out;
    const U16String text = u"[Foo](https://en.wikipedia.org/wiki/Foo_(bar)) [x](a((b))c) [y](p)q) ![i](pic_(1).png)";
    MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, {}, {}, out);
    std::vector<std::string> urls;
    for (const auto& s : out)
        if (s.url())
            urls.push_back(u8(*s.url()));
    EXPECT_EQ(urls, (std::vector<std::string>{"pic_(1).png", "https://en.wikipedia.org/wiki/Foo_(bar)", "a((b))c", "p"}));
    // Unbalanced: no link.
    EXPECT_TRUE(only(inl(u"[a](b(c)"), K::link).empty());
    EXPECT_TRUE(only(inl(u"[a](b(c d))"), K::link).empty());
    EXPECT_EQ(only(inl(u"[a](b(c) \"t\")"), K::link), (Seen{{K::link, "a"}}));
}

// Spans of a scan split at `at`: those of the whole before it, then those after.
MarkdownSpans splitAt(const MarkdownSpans& whole, int at)
{
    MarkdownSpans before, after;
    for (const MarkdownSpan& span : whole)
        (span.range.location < at ? before : after).push_back(span);
    before.insert(before.end(), after.begin(), after.end());
    return before;
}

// A line cut inside where no construct of its scan is open (after a blank and
// before a letter, or between letters and inert marks), but for backtick runs
// that no later one closes, reads as its two parts
// (the second after a word that makes it go on a line, and the character before
// the place): random lines of constructs that may reach over the place.
TEST(InlineScanner, ALineCutWhereNothingIsOpenReadsAsItsParts)
{
    const char16_t* const pieces[] = {u"`", u"``", u"`a b`", u"[", u"]", u"[t](u)", u"](", u"[t](<a b>)",
                                      u"[t](u \"a b\")", u"(", u")", u"\"", u"'", u"<", u">", u"<sub>", u"</sub>",
                                      u"<u>a b</u>", u"<http://a.b>", u"<a@b.co>", u"*", u"**", u"_", u"~~", u"\\",
                                      u"\\]", u"[^n]", u"[x]", u"![i](p.png)", u":smile:", u"word", u"b2", u"7",
                                      u"alpha", u"beta", u"gamma", u"delta", u"one", u"two", u"three", u",", u"},{",
                                      u"\"k\":", u"a_b", u"c*d", u"x.y/z", u"[t](u/v,w)", u"<http://a.b/c,d>", u"`a,b`"};
    std::mt19937 rng(11);
    MarkdownSyntax::Definitions definitions;
    definitions.links[u"x"] = u"https://x.y";
    definitions.footnotes.insert(u"n");
    int settled = 0, open = 0, settledWithoutBlank = 0, ticksWaiting = 0;
    for (int round = 0; round < 3000; ++round) {
        U16String text = u"a";
        for (int i = int(rng() % 30); i >= 0; --i)
            text += U16String(rng() % 3 ? u" " : u"") + pieces[rng() % std::size(pieces)];
        MarkdownSpans whole;
        MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, definitions.footnotes, definitions.links,
                                     whole);
        for (int at = 1; at < int(text.size()); ++at) {
            if (!MarkdownSyntax::linePlace(text, at))
                continue;
            const U16View head = U16View(text).substr(0, size_t(at));
            // Backtick runs left open may wait, while no run as long as the shortest of them follows.
            int ticks = 0;
            if (MarkdownSyntax::lineRunsOn(head, &ticks) || MarkdownSyntax::runningDelimiters(head, definitions)) {
                ++open;
                continue;
            }
            int longest = 0;
            for (size_t i = size_t(at), e; i < text.size(); i = std::max(e, i + 1)) {
                for (e = i; e < text.size() && text[e] == u'`';)
                    ++e;
                longest = std::max(longest, int(e - i));
            }
            if (ticks && longest >= ticks) {
                ++open;
                continue;
            }
            ticksWaiting += ticks ? 1 : 0;
            ++settled;
            const bool afterBlank = text[size_t(at - 1)] == u' ';
            settledWithoutBlank += afterBlank ? 0 : 1;
            MarkdownSpans parts;
            MarkdownSyntax::appendInline(head, 0, Range{0, at}, definitions.footnotes, definitions.links, parts);
            const U16String context = afterBlank ? U16String(u"x ") : u"x " + text.substr(size_t(at - 1), 1);
            const U16String tail = context + text.substr(size_t(at));
            MarkdownSyntax::appendInline(tail, at - int(context.size()), Range{0, int(tail.size())},
                                         definitions.footnotes, definitions.links, parts);
            ASSERT_TRUE(splitAt(whole, at) == parts) << u8(text) << " cut at " << at;
        }
    }
    EXPECT_GT(settled, 1000);
    EXPECT_GT(settledWithoutBlank, 1000);
    EXPECT_GT(ticksWaiting, 300);
    EXPECT_GT(open, 1000);
}

// Places between two characters: where they open or join nothing, some way into
// a line, and where no shortcode could take in both sides.
TEST(InlineScanner, PlacesWithoutABlankStandBetweenCharactersThatOpenNothing)
{
    const U16String line = u"0123456789abcdefQUJDRGVm,{\"id\":12},a_b,c*d,[x]y:ab+cd:e`f";
    auto at = [&](U16View before) { return int(line.find(before)) + int(before.size()); };
    EXPECT_FALSE(MarkdownSyntax::linePlace(line, 3)) << "too near the line's start";
    EXPECT_TRUE(MarkdownSyntax::linePlace(line, at(u"QUJD")));
    EXPECT_TRUE(MarkdownSyntax::linePlace(line, at(u"RGVm,")));
    EXPECT_TRUE(MarkdownSyntax::linePlace(line, at(u"\":1")));
    for (const U16View before : {U16View(u"\"id\""), U16View(u"a"), U16View(u"c*"), U16View(u"[x"), U16View(u"[x]"),
                                 U16View(u"y:a"), U16View(u",a"), U16View(u"e`")})
        EXPECT_FALSE(MarkdownSyntax::linePlace(line, at(before))) << u8(before);
    EXPECT_FALSE(MarkdownSyntax::linePlace(line, at(u"a_"))) << "an underscore flanks it";
}

// A delimiter left looking on at a line start lets the lines after it read as a
// fresh paragraph while no delimiter like it comes, whatever else is open.
TEST(InlineScanner, ADelimiterLeftOpenLetsWhatFollowsReadAfreshTillOneLikeItComes)
{
    const char16_t* const pieces[] = {u"*", u"**", u"***", u"_", u"__", u" _", u"~~", u"~", u"`", u"a", u"b ",
                                      u" ", u"word", u"[x](y)", u"<u>", u"</u>", u"\\*", u"\n", u"\n"};
    std::mt19937 rng(13);
    const MarkdownSyntax::Definitions definitions;
    int carried = 0;
    for (int round = 0; round < 3000; ++round) {
        const U16String text = randomParagraph(rng, pieces);
        MarkdownSpans whole;
        MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, {}, {}, whole);
        for (size_t cut = text.find(u'\n'); cut != U16String::npos; cut = text.find(u'\n', cut + 1)) {
            const int at = int(cut) + 1;
            const U16View head = U16View(text).substr(0, cut);
            const U16View tail = U16View(text).substr(size_t(at));
            const unsigned open = MarkdownSyntax::runningDelimiters(head, definitions);
            if (!open || MarkdownSyntax::holdsDelimiters(tail, open))
                continue;
            ++carried;
            MarkdownSpans parts;
            MarkdownSyntax::appendInline(head, 0, Range{0, int(head.size())}, {}, {}, parts);
            MarkdownSyntax::appendInline(tail, at, Range{0, int(tail.size())}, {}, {}, parts);
            ASSERT_TRUE(splitAt(whole, at) == parts) << u8(text) << " cut at " << at;
        }
    }
    EXPECT_GT(carried, 300);
}

// An opening run inside a code span pairs with nothing, so it waits for nothing:
// counted as waiting, an edit undoing the span would read the same past it.
TEST(InlineScanner, ADelimiterInACodeSpanWaitsForNothing)
{
    const MarkdownSyntax::Definitions definitions;
    const unsigned star = MarkdownSyntax::delimiterBit(u'*', 1), under = MarkdownSyntax::delimiterBit(u'_', 2);
    const std::pair<const char16_t*, unsigned> cases[] = {
        {u"a `*` b", 0u},     {u"``*``", 0u},      {u"``*``\nx", 0u},        {u"a ``__x`` b", 0u},
        {u"a *b", star},      {u"`*` *b", star},   {u"``*`!`\nx", star},     {u"`x` __y", under},
    };
    for (const auto& [text, waiting] : cases)
        EXPECT_EQ(MarkdownSyntax::runningDelimiters(text, definitions), waiting) << u8(text);
}

// A piece that holds delimiters like one left waiting before it, yet leaves that
// one waiting (its own pair first, or are taken by code, bold or a link, or a
// "_" is followed by a letter), reads on its own as in the whole paragraph, cut
// at a line start or inside a line. Only paragraphs of plain lines, as the
// editor cuts.
TEST(InlineScanner, APieceThatLeavesAWaitingDelimiterAloneReadsAsInTheWhole)
{
    const char16_t* const pieces[] = {u"*",   u"**",     u"***",    u"_",  u"__",      u" _", u"~~",    u"~",
                                      u"`",   u"`*`",    u"`_`",    u"a ", u"snake_case", u" ", u"word", u"[*](y)",
                                      u"**b**", u"__c__", u"~~d~~", u"\\*", u"\n",      u"\n", u" x"};
    std::mt19937 rng(17);
    const MarkdownSyntax::Definitions definitions;
    int kept = 0;
    int refused = 0;
    for (int round = 0; round < 6000; ++round) {
        const U16String text = randomParagraph(rng, pieces);
        const MarkdownSyntax::BlockLines lines(text);
        bool plain = true;
        for (int i = 0; i < lines.count(); ++i)
            plain = plain && MarkdownSyntax::isPlainLine(lines, i);
        if (!plain)
            continue;
        MarkdownSpans whole;
        MarkdownSyntax::appendInline(text, 0, Range{0, int(text.size())}, {}, {}, whole);
        for (int at = 1; at < int(text.size()); ++at) {
            const bool lineStart = text[size_t(at - 1)] == u'\n';
            const U16View head = U16View(text).substr(0, size_t(lineStart ? at - 1 : at));
            if (!lineStart
                && (text[size_t(at - 1)] != u' ' || !CharacterClass::isAsciiAlphanumeric(text[size_t(at)])
                    || MarkdownSyntax::lineRunsOn(head)))
                continue;
            const U16View tail = U16View(text).substr(size_t(at));
            const unsigned open = MarkdownSyntax::runningDelimiters(head, definitions);
            if (!open || !MarkdownSyntax::holdsDelimiters(tail, open))
                continue;
            const U16String context = lineStart ? u"" : u"x ";
            const std::optional<unsigned> waiting = MarkdownSyntax::waitingAfter(context, tail, open, definitions);
            if (!waiting) {
                ++refused;
                continue;
            }
            ++kept;
            // What is left waiting at the end is what the whole leaves.
            const U16String read = context + U16String(tail);
            ASSERT_EQ(*waiting | MarkdownSyntax::runningDelimiters(read, definitions),
                      MarkdownSyntax::runningDelimiters(text, definitions))
                << u8(text) << " cut at " << at;
            MarkdownSpans parts;
            MarkdownSyntax::appendInline(head, 0, Range{0, int(head.size())}, {}, {}, parts);
            MarkdownSyntax::appendInline(read, at - int(context.size()), Range{0, int(read.size())}, {}, {}, parts);
            ASSERT_TRUE(splitAt(whole, at) == parts) << u8(text) << " cut at " << at;
        }
    }
    EXPECT_GT(kept, 300);
    EXPECT_GT(refused, 300);
}

// A long paragraph's scan holds a span per delimiter: a span stays small, its
// payloads kept apart, and spans still compare by what they say.
TEST(MarkdownSpanValue, SmallAndComparedByValue)
{
    static_assert(sizeof(MarkdownSpan) <= 32, "a span of a long paragraph's scan must stay small");
    using K = MarkdownToken::Kind;
    EXPECT_EQ(MarkdownToken::footnoteRef(u"note"), MarkdownToken::footnoteRef(U16String(u"note")));
    EXPECT_NE(MarkdownToken::footnoteRef(u"note"), MarkdownToken::footnoteRef(u"other"));
    EXPECT_NE(MarkdownToken::footnoteRef(u"note"), MarkdownToken::footnoteLabel(u"note"));
    EXPECT_EQ(MarkdownToken::footnoteLabel(u"x").label(), u"x");
    const auto red = ColorLiteral::parse(u"#ff0000");
    const auto blue = ColorLiteral::parse(u"#0000ff");
    ASSERT_TRUE(red && blue);
    EXPECT_EQ(MarkdownToken::color(*red), MarkdownToken::color(*ColorLiteral::parse(u"#ff0000")));
    EXPECT_NE(MarkdownToken::color(*red), MarkdownToken::color(*blue));
    EXPECT_EQ(MarkdownToken::color(*blue).colorLiteral(), *blue);
    EXPECT_EQ(MarkdownToken::heading(3).level(), 3);
    EXPECT_NE(MarkdownToken::heading(3), MarkdownToken::heading(2));
    EXPECT_EQ(MarkdownToken::alert(AlertKind::tip).alertKind(), AlertKind::tip);
    EXPECT_NE(MarkdownToken::alert(AlertKind::tip), MarkdownToken::alertLabel(AlertKind::tip));
    EXPECT_EQ(MarkdownToken::codeSyntax(CodeTokenKind::string).codeKind(), CodeTokenKind::string);
    EXPECT_EQ(MarkdownToken(K::italic), MarkdownToken(K::italic));

    const MarkdownSpan link{{0, 4}, MarkdownToken(K::link), U16String(u"http://a")};
    MarkdownSpan copy = link;
    EXPECT_EQ(copy, link);
    EXPECT_EQ(copy, (MarkdownSpan{{0, 4}, MarkdownToken(K::link), std::optional<U16String>(u"http://a")}));
    EXPECT_NE(copy, (MarkdownSpan{{0, 4}, MarkdownToken(K::link), U16String(u"http://b")}));
    EXPECT_NE(copy, (MarkdownSpan{{0, 4}, MarkdownToken(K::link), std::nullopt}));
    EXPECT_TRUE(copy.url() == U16String(u"http://a"));
    EXPECT_EQ(copy.url().value_or(u"none"), u"http://a");
    // The destination is the span's: tokens of links compare by kind alone.
    EXPECT_EQ(copy.token, MarkdownToken(K::link));
    copy = MarkdownSpan{{0, 4}, MarkdownToken(K::image), std::nullopt};
    EXPECT_FALSE(copy.url());
    EXPECT_EQ(copy.url().value_or(u"none"), u"none");
    EXPECT_EQ(*link.url(), u"http://a");  // a copy's change leaves the original alone
    // Only links and images take one.
    EXPECT_FALSE((MarkdownSpan{{0, 1}, MarkdownToken(K::italic), U16String(u"x")}.url()));
    EXPECT_EQ(MarkdownSpan({0, 1}, MarkdownToken::footnoteRef(u"n"), U16String(u"x")).token.label(), u"n");
}
