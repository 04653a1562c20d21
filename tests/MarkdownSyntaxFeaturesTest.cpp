// Reference links, footnotes, alerts, colour literals, task items, list
// structure and hard breaks.
#include "MarkdownSyntaxTestSupport.h"

#include "markdown/Alert.h"
#include "markdown/ColorLiteral.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"
#include "markdown/ReferenceLink.h"
#include "markdown/TaskList.h"

using namespace velkin;
using namespace velkin::testing;

namespace {

std::vector<U16View> split(U16View text)
{
    return MarkdownSyntax::lineTexts(text, lineRanges(text));
}

MarkdownList::LineMap listOf(U16View text)
{
    const auto lines = split(text);
    return MarkdownList::lines(lines, MarkdownSyntax::fenceFlags(lines));
}

} // namespace

TEST(ReferenceLinks, DefinitionLines)
{
    const auto d = ReferenceLink::parseDefinition(u"[Foo Bar]: /url 'title'");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->label, u"Foo Bar");
    EXPECT_EQ(d->url, u"/url");
    EXPECT_EQ(d->marker, (Range{0, 10}));
    EXPECT_EQ(d->titleRange, (Range{16, 7}));
    const auto angled = ReferenceLink::parseDefinition(u"   [a]: <b c>");
    ASSERT_TRUE(angled);
    EXPECT_EQ(angled->url, u"b c");
    EXPECT_EQ(angled->urlRange, (Range{8, 5}));
    for (const char16_t* none : {u"    [a]: b", u"[a]:", u"[ ]: x", u"[a]: <>", u"[^1]: x", u"[a] b"})
        EXPECT_FALSE(ReferenceLink::parseDefinition(none)) << u8(none);
    const auto table = ReferenceLink::definitions(u"[a]: one\n[A]: two\n```\n[b]: fenced\n```");
    EXPECT_EQ(table, (ReferenceLink::Table{{u"a", u"one"}}));
}

TEST(ReferenceLinks, FullCollapsedAndShortcutReferences)
{
    const U16String defs = u"\n\n[docs]: /manual";
    EXPECT_EQ(seen(u"see [the manual][docs]" + defs)[0], (std::pair<K, std::string>{K::link, "the manual"}));
    EXPECT_EQ(only(seen(u"[docs][]" + defs), K::marker).size(), 3u + 3u);
    EXPECT_EQ(only(seen(u"[ Docs ]" + defs), K::link).front().second, " Docs ");
    const Seen image = seen(u"![logo][docs]" + defs);
    EXPECT_EQ(only(image, K::image), (Seen{{K::image, "logo"}}));
    EXPECT_EQ(only(image, K::link).size(), 1u);  // the definition's own label
    EXPECT_EQ(only(seen(u"[docs](other)" + defs), K::link).front().second, "docs");
    EXPECT_EQ(only(seen(u"[nothing]" + defs), K::link).size(), 1u);
    // The box of a task line is no reference; the same text elsewhere is.
    const Seen task = seen(u"- [x] done [x]\n\n[x]: /x");
    EXPECT_EQ(only(task, K::link).size(), 2u);
    const MarkdownSpans s = MarkdownSyntax::spans(u"- [x] done [x]\n\n[x]: /x");
    EXPECT_EQ(s[1].range.location, 12);
}

TEST(Footnotes, DefinitionBlocksAndReferences)
{
    const U16String text = u"Text[^a] and `[^a]`.\n\n[^a]: note[^a]\ncontinued\n- list ends it\n[^b]: two\n\n  tail";
    const auto defs = Footnote::definitions(text);
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(substring(text, defs[0].block), u"[^a]: note[^a]\ncontinued\n");
    EXPECT_EQ(substring(text, defs[1].block), u"[^b]: two\n");
    const auto refs = Footnote::references(text);
    ASSERT_EQ(refs.size(), 2u);  // not the code span, not the definition's own label
    EXPECT_EQ(refs[0].range, (Range{4, 4}));
    EXPECT_EQ(substring(text, refs[1].range), u"[^a]");
    EXPECT_EQ(Footnote::definition(text, u" A ")->label, u"a");
    EXPECT_EQ(Footnote::firstReference(text, u"A")->range, (Range{4, 4}));
    EXPECT_FALSE(Footnote::firstReference(text, u"b"));
    // A reference after a code span that holds half of one is found, as it is styled.
    const U16String after = u"`[^a` then [^a].\n\n[^a]: x";
    const auto found = Footnote::firstReference(after, u"a");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->range, (Range{11, 4}));
    EXPECT_FALSE(Footnote::parseDefinition(u"    [^1]: four spaces"));
    EXPECT_EQ(Footnote::parseDefinition(u"   [^1]: x")->marker, (Range{3, 5}));
    EXPECT_FALSE(Footnote::parseDefinition(u"[^ ]: blank"));
}

TEST(Alerts, BlocksAndLabels)
{
    EXPECT_TRUE(Alert::parseLabel(u">\t[!NOTE]"));
    EXPECT_TRUE(Alert::parseLabel(u"> [!NOTE]   "));
    EXPECT_FALSE(Alert::parseLabel(u">  [!NOTE]"));
    EXPECT_FALSE(Alert::parseLabel(u"    > [!NOTE]"));
    EXPECT_FALSE(Alert::parseLabel(u"> [!INFO]"));
    const auto one = Alert::blocks(u"> [!NOTE]\n> [!TIP]");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].kind, AlertKind::note);
    const U16String afterFence = u"> ```\n> code\n> ```\n> [!NOTE]\n> body";
    const auto b = Alert::blocks(afterFence);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(substring(afterFence, b[0].range), u"> [!NOTE]\n> body");
    const U16String lazy = u"> [!WARNING]\nlazy\n> more";
    EXPECT_EQ(substring(lazy, Alert::blocks(lazy)[0].range), u"> [!WARNING]\n");
    EXPECT_EQ(AlertKinds::fromRawValue(u"Note"), std::nullopt);
    EXPECT_EQ(AlertKinds::fromRawValue(u"caution"), AlertKind::caution);
}

TEST(ColorLiterals, ParseAndConvert)
{
    const auto hex = ColorLiteral::parse(u" #F80 ");
    ASSERT_TRUE(hex);
    EXPECT_EQ(*hex, (ColorLiteral{ColorLiteral::Model::hex, 1, 136 / 255.0, 0}));
    const auto red = ColorLiteral::parse(u"hsl(360, 100%, 50%)");
    ASSERT_TRUE(red);
    EXPECT_NEAR(red->red, 1, 1e-12);
    EXPECT_NEAR(red->green, 0, 1e-12);
    for (const char16_t* none : {u"#ff880", u"#ggg", u"rgb(256, 0, 0)", u"hsl(361, 50%, 50%)", u"#ff8800 x",
                                 u"color: #ff8800", u"rgb(\u0662\u0665\u0665, 0, 0)", u"#ff88", u"rgb(1.5, 0, 0)"})
        EXPECT_FALSE(ColorLiteral::parse(none)) << u8(none);
    const auto back = ColorLiteral::hsl(1, 0.5, 0);
    EXPECT_NEAR(back.first * 360, 30, 1e-9);
}

TEST(ColorLiterals, FormattedKeepsTheWrittenStyle)
{
    EXPECT_EQ(ColorLiteral::formatted(0, 0, 1, u"#123"), u"#00f");
    EXPECT_EQ(ColorLiteral::formatted(0, 0, 1, u"#aBc"), u"#00F");
    EXPECT_EQ(ColorLiteral::formatted(1, 0.2, 0, u"#f80"), u"#f30");
    EXPECT_EQ(ColorLiteral::formatted(0, 0, 1, u"RGB(1, 2, 3)"), u"RGB(0, 0, 255)");
    EXPECT_EQ(ColorLiteral::formatted(1, 0.5, 0, u"hsl(4, 5%, 6%)"), u"hsl(30, 100%, 50%)");
    EXPECT_EQ(ColorLiteral::formatted(1.5, -1, 0.5, u"rgb(1,2,3)"), u"rgb(255,0,128)");
    EXPECT_EQ(ColorLiteral::formatted(0, 0, 1, u"ordinary"), std::nullopt);
}

TEST(TaskItems, MarkerPattern)
{
    const auto bullet = TaskList::parse(u"  * [X] done");
    ASSERT_TRUE(bullet);
    EXPECT_EQ(bullet->hiddenLeader, (Range{2, 2}));
    EXPECT_EQ(bullet->box, (Range{4, 3}));
    EXPECT_TRUE(bullet->checked);
    const auto ordered = TaskList::parse(u"42. [ ] thing");
    ASSERT_TRUE(ordered);
    EXPECT_EQ(ordered->hiddenLeader, (Range{0, 0}));
    EXPECT_FALSE(ordered->checked);
    EXPECT_TRUE(TaskList::parse(u"- [ ]"));
    for (const char16_t* none : {u"- [ ]x", u"[ ] thing", u"- just an item", u"- [ ](url) x", u"1. item"})
        EXPECT_FALSE(TaskList::parse(none)) << u8(none);
}

TEST(ListStructure, ItemsContinuationsAndLooseness)
{
    auto m = listOf(u"- a\n- b");
    ASSERT_TRUE(m[0] && m[1]);
    EXPECT_EQ(m[0]->textIndent, u"- ");
    EXPECT_FALSE(m[0]->isLoose);
    m = listOf(u"- a\n\n- b");
    EXPECT_TRUE(m[0]->isLoose && m[2]->isLoose);
    EXPECT_FALSE(m[1]);
    m = listOf(u"- a\n  b");
    EXPECT_EQ(*m[1], (MarkdownList::Line{u"- ", u"  ", false, false}));
    m = listOf(u"- a\nb");
    EXPECT_EQ(*m[1], (MarkdownList::Line{u"- ", u"", false, false}));
    m = listOf(u"- a\n\nb");
    EXPECT_FALSE(m[2]);
    EXPECT_FALSE(m[0]->isLoose);
    EXPECT_FALSE(listOf(u"- a\n# H")[1]);
    EXPECT_FALSE(listOf(u"- a\n> q")[1]);
    m = listOf(u"- a\n  - b\n- c");
    EXPECT_EQ(m[1]->textIndent, u"  - ");
    EXPECT_TRUE(m[2]->isItemStart);
    EXPECT_EQ(m[2]->textIndent, u"- ");
    m = listOf(u"- a\n\t- b");
    EXPECT_EQ(m[1]->textIndent, u"\t- ");
    m = listOf(u"- a\n  ```\n  - x\n  ```");
    EXPECT_FALSE(m[2]->isItemStart);
    EXPECT_EQ(m[2]->textIndent, u"- ");
    // A marker four columns in starts no list: in an indented code block, or
    // continuing a paragraph, it and the lines after it are no list's.
    m = listOf(u"Text\n\n    code\n    - x\n    more");
    EXPECT_FALSE(m[3] || m[4]);
    EXPECT_FALSE(listOf(u"Text\n    - x\n    more")[1]);
    EXPECT_FALSE(listOf(u"\t- x")[0]);
    EXPECT_TRUE(listOf(u"   - x")[0]);
}

TEST(ListStructure, DifferentMarkersStartNewLists)
{
    // "1. a" / "" / "1) b": once the stack empties, a new marker starts a new list,
    // so the blank line between them loosens neither.
    auto m = listOf(u"1. a\n\n1) b");
    EXPECT_FALSE(m[0]->isLoose);
    EXPECT_FALSE(m[2]->isLoose);
    m = listOf(u"1. a\n\n2. b");
    EXPECT_TRUE(m[0]->isLoose);
    m = listOf(u"- a\n  * b\n\n  * c");
    EXPECT_TRUE(m[0]->isLoose);
    const auto keyed = MarkdownList::lines(u"x\n- a");
    ASSERT_EQ(keyed.entries.size(), 1u);
    EXPECT_TRUE(keyed.find(2));
    EXPECT_FALSE(keyed.find(0));
}

TEST(HardBreaks, RunsOfOneLine)
{
    using MarkdownSyntax::hardBreakRun;
    EXPECT_EQ(hardBreakRun(u"a  "), (Range{1, 2}));
    EXPECT_EQ(hardBreakRun(u"a "), std::nullopt);
    EXPECT_EQ(hardBreakRun(u"a\t\t"), std::nullopt);
    EXPECT_EQ(hardBreakRun(u"a\\"), (Range{1, 1}));
    EXPECT_EQ(hardBreakRun(u"a\\\\"), std::nullopt);
    EXPECT_EQ(hardBreakRun(u"a\\\\\\"), (Range{3, 1}));
    EXPECT_EQ(hardBreakRun(u"   "), std::nullopt);
    EXPECT_EQ(hardBreakRun(u"\\\\\\"), std::nullopt);
    EXPECT_EQ(hardBreakRun(u""), std::nullopt);
}

TEST(HardBreaks, OnlyBeforeAnotherLineOfTheSameParagraph)
{
    auto breaks = [](U16View text) { return only(seen(text), K::lineBreak); };
    EXPECT_EQ(breaks(u"a  \nb"), (Seen{{K::lineBreak, "  "}}));
    EXPECT_EQ(breaks(u"# Head  \ntext"), (Seen{{K::lineBreak, "  "}}));
    for (const char16_t* none : {u"a  ", u"a  \n\nb", u"a  \n- b", u"a  \n# b", u"a  \n> b", u"a  \n---",
                                 u"Title  \n===", u"a  \n[^1]: x", u"a  \n[x]: /y", u"| a |  \n|---|\n| b |"})
        EXPECT_TRUE(breaks(none).empty()) << u8(none);
    // Breaks come after every line's own spans, in line order.
    const MarkdownSpans s = MarkdownSyntax::spans(u"a  \nb  \nc\n# H");
    EXPECT_TRUE(s[s.size() - 1].token.is(K::lineBreak));
    EXPECT_TRUE(s[s.size() - 2].token.is(K::lineBreak));
    EXPECT_LT(s[s.size() - 2].range.location, s[s.size() - 1].range.location);
}
