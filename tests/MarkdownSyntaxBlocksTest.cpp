#include "MarkdownSyntaxTestSupport.h"

#include "markdown/MarkdownSyntax.h"

using namespace velkin;
using namespace velkin::testing;
using namespace velkin::MarkdownSyntax;

namespace {

std::vector<U16View> split(U16View text)
{
    return lineTexts(text, lineRanges(text));
}

std::vector<int> setIndices(const LineFlags& flags)
{
    std::vector<int> out;
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i])
            out.push_back(int(i));
    return out;
}

} // namespace

TEST(BlockScanner, EmptyTextsGiveNoSpans)
{
    EXPECT_TRUE(spans(u"").empty());
    EXPECT_TRUE(spans(u"\n").empty());
}

TEST(BlockScanner, AtxHeadingComesFirstThenItsMarkerThenInline)
{
    EXPECT_EQ(seen(u"# Title *x*"), (Seen{{K::heading, "# Title *x*"}, {K::marker, "# "}, {K::italic, "x"},
                                         {K::marker, "*"}, {K::marker, "*"}}));
    EXPECT_TRUE(only(seen(u"#Title"), K::heading).empty());
    EXPECT_TRUE(only(seen(u"  # Title"), K::heading).empty());
    EXPECT_TRUE(only(seen(u"####### seven"), K::heading).empty());
}

TEST(BlockScanner, SetextUnderlineIsNoThematicBreak)
{
    const U16String text = u"Title\n---";
    const MarkdownSpans s = spans(text);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].token, MarkdownToken::heading(2));
    EXPECT_EQ(s[0].range, (Range{0, 5}));
    EXPECT_EQ(s[1].token, MarkdownToken(K::marker));
    EXPECT_EQ(s[1].range, (Range{6, 3}));
    EXPECT_EQ(seen(u"***"), (Seen{{K::marker, "***"}}));
}

TEST(BlockScanner, ParagraphRunSpansStandWhereTheRunStarts)
{
    // The italic of the run comes before the heading of the next line.
    EXPECT_EQ(seen(u"a *b\nc* d\n# H"), (Seen{{K::italic, "b\nc"}, {K::marker, "*"}, {K::marker, "*"},
                                              {K::heading, "# H"}, {K::marker, "# "}}));
    // A line of blanks keeps the run going; an empty line ends it.
    EXPECT_EQ(only(seen(u"*a\n   \nb*"), K::italic), (Seen{{K::italic, "a\n   \nb"}}));
    EXPECT_TRUE(only(seen(u"*a\n\nb*"), K::italic).empty());
}

TEST(BlockScanner, QuotesAndListsGetLeaderMarkers)
{
    EXPECT_EQ(seen(u"> - item"), (Seen{{K::marker, "> "}, {K::marker, "- "}}));
    EXPECT_EQ(seen(u"> # Not a heading"), (Seen{{K::marker, "> "}}));
    EXPECT_EQ(seen(u"> > deep"), (Seen{{K::marker, "> > "}}));
    EXPECT_EQ(seen(u"10) **x**"), (Seen{{K::marker, "10) "}, {K::bold, "x"}, {K::marker, "**"}, {K::marker, "**"}}));
}

TEST(BlockScanner, TableRowsMarkPipesAndScanCells)
{
    const U16String text = u"| a | *b* |\n|---|:-:|\n| `|` | c |";
    EXPECT_EQ(seen(text), (Seen{{K::table, "| a | *b* |"},
                                {K::marker, "|"},
                                {K::marker, "|"},
                                {K::marker, "|"},
                                {K::italic, "b"},
                                {K::marker, "*"},
                                {K::marker, "*"},
                                {K::table, "|---|:-:|"},
                                {K::marker, "|---|:-:|"},
                                {K::table, "| `|` | c |"},
                                {K::marker, "|"},
                                {K::marker, "|"},
                                {K::marker, "|"},
                                {K::code, "|"},
                                {K::marker, "`"},
                                {K::marker, "`"}}));
    const MarkdownSpans s = spans(u"| a | b |\n|---|---|");
    EXPECT_EQ(s[1].range.location, 0);
    EXPECT_EQ(s[2].range.location, 4);
    EXPECT_EQ(s[3].range.location, 8);
}

TEST(BlockScanner, FencedCodeTokensFollowTheClosingFence)
{
    const U16String text = u"```swift\nlet x = 1\n```";
    const MarkdownSpans s = spans(text);
    ASSERT_GE(s.size(), 5u);
    EXPECT_EQ(s[0].token, MarkdownToken(K::codeBlock));
    EXPECT_EQ(s[0].range, (Range{0, 9}));  // with its line feed
    EXPECT_EQ(s[1].range, (Range{0, 8}));
    EXPECT_EQ(s[2].range, (Range{9, 10}));
    EXPECT_EQ(s[3].token, MarkdownToken(K::codeBlock));
    EXPECT_EQ(s[4].token, MarkdownToken(K::marker));
    ASSERT_GT(s.size(), 5u) << "swift is highlighted";
    for (size_t i = 5; i < s.size(); ++i) {
        EXPECT_TRUE(s[i].token.is(K::codeSyntax));
        EXPECT_TRUE((Range{9, 10}).contains(s[i].range));
    }
    // Under a quote leader nothing is highlighted.
    EXPECT_EQ(count(spans(u"> ```swift\n> let x = 1\n> ```"), K::codeSyntax), 0);
}

TEST(BlockScanner, AnOpenFenceIsHighlightedAfterHardBreaksAndBeforeAlerts)
{
    const U16String text = u"> [!NOTE]\n> x\n\na  \nb\n\n```swift\nlet x = 1\n";
    const MarkdownSpans s = spans(text);
    size_t lastBreak = 0, firstCode = 0, firstAlert = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i].token.is(K::lineBreak))
            lastBreak = i;
        if (s[i].token.is(K::codeSyntax) && !firstCode)
            firstCode = i;
        if (s[i].token.is(K::alert) && !firstAlert)
            firstAlert = i;
    }
    ASSERT_TRUE(lastBreak && firstCode && firstAlert);
    EXPECT_LT(lastBreak, firstCode);
    EXPECT_LT(firstCode, firstAlert);
}

TEST(BlockScanner, DefinitionLinesGetLabelAndMarkers)
{
    EXPECT_EQ(seen(u"[^1]: Note"), (Seen{{K::footnoteLabel, "[^1]:"}, {K::marker, "[^"}, {K::marker, "]:"}}));
    const U16String ref = u"[Foo]: <a b> \"t\"";
    const MarkdownSpans s = spans(ref);
    EXPECT_EQ(seen(ref, s), (Seen{{K::link, "Foo"}, {K::marker, "["}, {K::marker, "]:"}, {K::marker, "<a b>"},
                                  {K::marker, "\"t\""}}));
    EXPECT_EQ(s[0].url(), U16String(u"a b"));
}

TEST(BlockScanner, AlertSpansCloseTheList)
{
    const U16String text = u"> [!TIP]\n> body";
    const MarkdownSpans s = spans(text);
    ASSERT_GE(s.size(), 4u);
    const size_t n = s.size();
    EXPECT_EQ(s[n - 4].token, MarkdownToken::alert(AlertKind::tip));
    EXPECT_EQ(s[n - 4].range, (Range{0, int(text.size())}));
    EXPECT_EQ(s[n - 3].token, MarkdownToken::alertLabel(AlertKind::tip));
    EXPECT_EQ(seen(text, s)[n - 2].second, "[!");
    EXPECT_EQ(seen(text, s)[n - 1].second, "]");
}

TEST(BlockScanner, TokensCompareByCaseAndPayload)
{
    EXPECT_NE(MarkdownToken::heading(1), MarkdownToken::heading(2));
    EXPECT_NE(MarkdownToken::footnoteRef(u"a"), MarkdownToken::footnoteLabel(u"a"));
    EXPECT_NE((MarkdownSpan{{0, 1}, MarkdownToken(K::link), std::nullopt}),
              (MarkdownSpan{{0, 1}, MarkdownToken(K::link), U16String(u"x")}));
    EXPECT_FALSE(MarkdownToken(K::codeBlock).isInline());
    EXPECT_FALSE(MarkdownToken(K::table).isInline());
    EXPECT_TRUE(MarkdownToken(K::marker).isInline());
    EXPECT_TRUE(MarkdownToken(K::lineBreak).isInline());
}

TEST(LineClassifiers, QuoteLeader)
{
    EXPECT_EQ(quoteLeader(u"> > text"), (QuoteLeader{4, 2}));
    EXPECT_EQ(quoteLeader(u">>text"), (QuoteLeader{2, 2}));
    EXPECT_EQ(quoteLeader(u"    > x"), (QuoteLeader{0, 0}));
    EXPECT_EQ(quoteLeader(u"   >  x"), (QuoteLeader{5, 1}));
}

TEST(LineClassifiers, FencesCloseOnlyOnTheSameLongEnoughBareRun)
{
    EXPECT_EQ(fenceFlags(split(u"```\ncode\n````\nafter")), (LineFlags{true, true, true, false}));
    EXPECT_EQ(fenceFlags(split(u"````\ncode\n```\nafter")), (LineFlags{true, true, true, true}));
    const auto tilde = fenceLines(split(u"~~~\n```\n~~~"));
    EXPECT_FALSE(tilde[1].isDelimiter);
    EXPECT_TRUE(tilde[2].isDelimiter);
    EXPECT_EQ(fenceLines(split(u"```js x"))[0].language, u"js");
    EXPECT_FALSE(fenceLines(split(u"``` a`b"))[0].isDelimiter);
    EXPECT_EQ(fenceLines(split(u"~~~ a`b c"))[0].language, u"a`b");
    EXPECT_EQ(fenceFlags(split(u"```\n``` x\nmore")), (LineFlags{true, true, true}));
    const auto quoted = fenceLines(split(u"> ```\n> inside\n```"));
    EXPECT_TRUE(quoted[0].quoted);
    EXPECT_TRUE(quoted[1].isInside);
    EXPECT_TRUE(quoted[2].isDelimiter && !quoted[2].opens) << "a closing fence closes wherever it stands";
    EXPECT_TRUE(fenceLines(split(u"      ```"))[0].opens);
}

TEST(LineClassifiers, AFenceMayOpenAListItemsText)
{
    const U16String text = u"- a\n- ```js\n  b\n  ```\n- c\nd";
    EXPECT_EQ(fenceFlags(split(text)), (LineFlags{false, true, true, true, false, false}));
    const auto item = fenceLines(split(text))[1];
    EXPECT_TRUE(item.opens && item.listed);
    EXPECT_EQ(item.language, u"js");
    // The styler takes the item's code as code, and what follows as text again.
    const Seen code = only(seen(text), K::codeBlock);
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(code.front().second, "- ```js\n");
    EXPECT_EQ(code.back().second, "  ```\n");
    // In an open fence an item-shaped fence line is code, and closes nothing.
    EXPECT_EQ(fenceFlags(split(u"```\n- ```\n```\nx")), (LineFlags{true, true, true, false}));
}

// A fence in a list item or a quotation ends with it; one at the document's
// level runs to its closing fence or the end. (Lines: 1 inside, 0 not.)
TEST(LineClassifiers, AFenceInAnItemOrAQuotationEndsWithIt)
{
    auto flags = [](U16View text) {
        std::string out;
        for (const bool inside : fenceFlags(split(text)))
            out += inside ? '1' : '0';
        return out;
    };
    EXPECT_EQ(flags(u"- ```\n  code\n\nafter\n\n# Heading"), "111000");
    EXPECT_EQ(flags(u"1. ~~~\n   x\n  y\n2. z"), "1100") << "left of the item's text";
    EXPECT_EQ(flags(u"- a\n  - ```\n    x\n  back in a\nout"), "01100") << "a nested item";
    EXPECT_EQ(flags(u"- a\n\n  ```\n  x\n\n  y\nafter\n  z"), "00111100") << "indented under its item";
    EXPECT_EQ(flags(u"- a\nlazy\n  ```\n  x\nafter"), "00110") << "the item goes on over its lazy line";
    EXPECT_EQ(flags(u"- a\n\nb\n  ```\nx"), "00011") << "the list ended before it";
    EXPECT_EQ(flags(u"   ```\ncode\nmore"), "111") << "no list above";
    EXPECT_EQ(flags(u"> ```\n> code\n>\n\nafter"), "11100");
    EXPECT_EQ(flags(u"> - ```\n>   x\n> y\nz"), "1100") << "an item in a quotation";
    // A closing fence closes wherever it stands; one after the end opens anew.
    EXPECT_EQ(flags(u"- ```\n  x\n```\nafter"), "1110");
    EXPECT_EQ(flags(u"- ```\n  x\nafter\n```\ny"), "11011");
    EXPECT_EQ(flags(u"```\nx\n\n- a\nend"), "11111") << "the document's own fence";
    // The body of a fence that ends with its item is highlighted up to there.
    const U16String text = u"- ```js\n  let x\nlet after";
    const Seen code = only(seen(text), K::codeSyntax);
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(code.front().second, "let");
    EXPECT_EQ(only(seen(text), K::codeBlock).back().second, "  let x\n");
    // So is it where the line that ends it opens another.
    EXPECT_EQ(only(seen(u"- ```js\n  let x\n```js\nlet y"), K::codeSyntax).size(), 2u);
}

TEST(LineClassifiers, TablesNeedAPipedHeaderAboveADelimiterRow)
{
    const auto lines = split(u"a | b\n--- | ---\n1 | 2\n\n3 | 4");
    EXPECT_EQ(setIndices(detectTableLines(lines, fenceFlags(lines))), (std::vector<int>{0, 1, 2}));
    const auto first = split(u"|---|\n| a |");
    EXPECT_TRUE(setIndices(detectTableLines(first, fenceFlags(first))).empty());
    // Many delimiter rows in one table are walked once; the result is the same.
    U16String many = u"| h |\n";
    for (int i = 0; i < 2000; ++i)
        many += u"|---|\n";
    const auto manyLines = split(many);
    EXPECT_EQ(setIndices(detectTableLines(manyLines, fenceFlags(manyLines))).size(), 2001u);
}

TEST(LineClassifiers, IndentedCodeNeedsABlankLineAndKeepsInnerBlanks)
{
    const auto lines = split(u"Text\n\n    code\n\n\n    more\n\nafter");
    EXPECT_EQ(setIndices(indentedCodeLines(lines, fenceFlags(lines))), (std::vector<int>{2, 3, 4, 5}));
    const auto para = split(u"Text\n    not code");
    EXPECT_TRUE(setIndices(indentedCodeLines(para, fenceFlags(para))).empty());
    const auto list = split(u"- item\n\n    continuation");
    EXPECT_TRUE(setIndices(indentedCodeLines(list, fenceFlags(list))).empty());
    EXPECT_EQ(indentWidth(u"\t x"), 5);
    EXPECT_EQ(indentWidth(u" \tx"), 4);
}

TEST(LineClassifiers, SetextHeadingsTakeTheirWholeParagraph)
{
    const auto h = setextHeadings(u"A\nB\n---\n\nC\n===");
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0], (SetextHeading{2, Range{0, 3}, Range{4, 3}}));
    EXPECT_EQ(h[1].level, 1);
    EXPECT_TRUE(setextHeadings(u"- item\n---").empty());
    EXPECT_TRUE(setextHeadings(u"[a]: /b\n---").empty());
}

TEST(LineClassifiers, LinkDestination)
{
    EXPECT_EQ(linkDestination(u"<a b>", u""), u"a b");
    EXPECT_EQ(linkDestination(u"<>", u""), std::nullopt);
    EXPECT_EQ(linkDestination(u"", u""), std::nullopt);
    EXPECT_EQ(linkDestination(u"x@y.z", u"mailto:"), u"mailto:x@y.z");
    EXPECT_EQ(linkDestination(u"<", u""), u"<");
}

// CRLF documents: the carriage return never defeats a table, fence or list test.
TEST(CrlfDocuments, StyleLikeTheirLineFeedTwins)
{
    const U16String lf = u"| a | b |\n|---|---|\n| 1 | 2 |\n\n```js\nlet x = 1;\n```\n\n- one\n- two\n\n    code\n";
    U16String crlf;
    for (char16_t c : lf) {
        if (c == u'\n')
            crlf += u'\r';
        crlf += c;
    }
    Seen a = seen(lf);
    Seen b = seen(crlf);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        std::string t = b[i].second;
        t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
        EXPECT_EQ(a[i].first, b[i].first) << i;
        EXPECT_EQ(a[i].second, t) << i;
    }
    // A code line carries its whole CRLF.
    EXPECT_EQ(only(b, K::codeBlock).front().second, "```js\r\n");
}

TEST(CrlfDocuments, ClassifiersIgnoreATrailingCarriageReturn)
{
    EXPECT_TRUE(isDelimiterRow(u"| --- | :-: |\r"));
    EXPECT_EQ(fenceFlags(std::vector<U16View>{u"```\r", u"x\r", u"```\r", u"after"}),
              (LineFlags{true, true, true, false}));
    ASSERT_TRUE(matchList(u"- a\r"));
    EXPECT_EQ(matchList(u"- a\r")->text, (Range{2, 1}));
    EXPECT_TRUE(isThematicBreak(u"---\r\n"));
    EXPECT_TRUE(matchHeading(u"# x\r"));
}

// The definitions read from the text alone are those of the whole block classification.
TEST(MarkdownSyntaxBlocks, DefinitionsFromTheTextAloneMatchTheClassifiedOnes)
{
    const std::vector<U16String> texts{
        u"",
        u"no definitions here ]: at all\n",
        u"[a]: https://a.example\n[^n]: a note\n   [b]: <https://b.example> \"title\"\n    [c]: indented code\n",
        u"```\n[hidden]: https://in.fence\n```\n[shown]: https://x.y\n~~~\n[^open]: fence left open\n",
        u"para\r\n[cr]: https://cr.example\r\n\r\n[^cr]: note\r\n",
        u"line\u2028[sep]: https://sep.example\n[a]:\n[]: https://empty.label\n[^]: empty\n",
        u"> [quoted]: https://q.example\n- [listed]: https://l.example\n[A]: https://first\n[a]: https://second\n",
    };
    for (const U16String& text : texts) {
        const Definitions fromText = definitions(U16View(text));
        const Definitions classified = definitions(BlockLines(text));
        EXPECT_TRUE(fromText == classified) << u8(text);
    }
    EXPECT_EQ(definitions(U16View(texts[2])).links.size(), 2u);
    EXPECT_EQ(definitions(U16View(texts[3])).links.size(), 1u);
}
