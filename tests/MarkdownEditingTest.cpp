#include "editor/MarkdownEditing.h"

#include "EditTestSupport.h"
#include "platform/text/TextOps.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velkin;
using namespace velkin::MarkdownEditing;

namespace {

// One command on one text: the whole text afterwards and the selection the edit leaves.
struct Case {
    const char* name;
    U16String text;
    Range selection;
    U16String expected;
    Range selectionAfter;
};

using Command = std::function<std::optional<TextEdit>(U16View, Range)>;

void runCases(const Command& command, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto edit = command(c.text, c.selection);
        ASSERT_TRUE(edit.has_value());
        EXPECT_EQ(applyEdit(c.text, edit), c.expected);
        EXPECT_EQ(edit->selection, c.selectionAfter);
    }
}

Command headingAt(int level)
{
    return [level](U16View t, Range s) { return heading(t, s, level); };
}

Command wrapWith(const char16_t* marker)
{
    return [marker](U16View t, Range s) { return std::optional(wrap(t, s, marker)); };
}

} // namespace

// ----- heading -----------------------------------------------------------------------------

TEST(Heading, ReplacesAddsAndRemovesPrefixes)
{
    runCases(headingAt(2), {
        {"replaces a level", u"# Title", {0, 0}, u"## Title", {3, 0}},
        {"normalises the blanks after the hashes", u"##   Title", {0, 0}, u"## Title", {3, 0}},
        {"on an empty text", u"", {0, 0}, u"## ", {3, 0}},
        {"on the empty line after a final line feed", u"a\n", {2, 0}, u"a\n## ", {5, 0}},
        {"a CRLF line keeps its break", u"title\r\nnext", {0, 0}, u"## title\r\nnext", {3, 0}},
    });
    runCases(headingAt(0), {{"level 0 strips", u"### Notes", {0, 0}, u"Notes", {0, 0}}});
    runCases(headingAt(1), {{"seven hashes are no prefix", u"####### x", {0, 0}, u"# ####### x", {2, 0}}});
    runCases(headingAt(7), {{"a level above six writes that many hashes", u"t", {0, 0}, u"####### t", {8, 0}}});
}

TEST(Heading, NoEditWhenNothingChangesOrTheSelectionIsOutside)
{
    EXPECT_FALSE(heading(u"## Title", {0, 0}, 2));
    EXPECT_FALSE(heading(u"plain", {0, 0}, 0));
    EXPECT_FALSE(heading(u"abc", {4, 0}, 1));
}

TEST(Heading, CaretFollowsTheTextOrLandsAfterThePrefix)
{
    runCases(headingAt(3), {
        {"caret inside the old prefix", u"## Title", {1, 0}, u"### Title", {4, 0}},
        {"caret right after the old prefix", u"## Title", {3, 0}, u"### Title", {4, 0}},
        {"caret in the text moves with it", u"## Title", {5, 0}, u"### Title", {6, 0}},
        {"caret at the end of the text", u"Title", {5, 0}, u"### Title", {9, 0}},
    });
    runCases(headingAt(0), {{"removing a prefix", u"## Title", {5, 0}, u"Title", {2, 0}}});
}

TEST(Heading, SelectionsAndSeveralLinesSelectTheWholeNewBlock)
{
    runCases(headingAt(1), {
        {"every line of a multi-line selection", u"a\nb\nc", {0, 3}, u"# a\n# b\nc", {0, 7}},
        {"blank lines are treated too", u"a\n\nb", {0, 4}, u"# a\n# \n# b", {0, 10}},
        {"a one-line selection", u"title", {0, 5}, u"# title", {0, 7}},
        {"CRLF lines each get a prefix", u"a\r\nb", {0, 4}, u"# a\r\n# b", {0, 8}},
        {"the final CRLF stays outside the selection", u"a\r\nb\r\nc", {0, 4}, u"# a\r\n# b\r\nc", {0, 8}},
    });
}

// ----- wrap, unwrap, italic, tags ----------------------------------------------------------

TEST(Wrap, WrapsInsertsAndTogglesOff)
{
    runCases(wrapWith(u"**"), {
        {"empty selection inserts the pair", u"ab", {1, 0}, u"a****b", {3, 0}},
        {"wraps the selection", u"x", {0, 1}, u"**x**", {2, 1}},
        {"markers inside the selection", u"**x**", {0, 5}, u"x", {0, 1}},
        {"markers around the selection", u"**x**", {2, 1}, u"x", {0, 1}},
        {"markers around at the text's end", u"a**b**", {3, 1}, u"ab", {1, 1}},
        {"markers around at the text's start", u"**b**c", {2, 1}, u"bc", {0, 1}},
        {"a close marker cut off by the end wraps instead", u"**ab*", {2, 2}, u"****ab***", {4, 2}},
    });
}

TEST(Wrap, NeverCutsACharacterInTwo)
{
    // U+1F600 is two UTF-16 units at 1 and 2.
    runCases(wrapWith(u"**"), {
        {"selection of the high surrogate only", u"a\U0001F600b", {1, 1}, u"a**\U0001F600**b", {3, 2}},
        {"selection of the low surrogate only", u"a\U0001F600b", {2, 1}, u"a**\U0001F600**b", {3, 2}},
        {"caret between the surrogates", u"a\U0001F600b", {2, 0}, u"a****\U0001F600b", {3, 0}},
        {"caret between CR and LF", u"a\r\nb", {2, 0}, u"a****\r\nb", {3, 0}},
        {"selection beyond the text is clamped", u"abc", {10, 5}, u"abc****", {5, 0}},
        {"negative length is an empty selection", u"abc", {1, -1}, u"a****bc", {3, 0}},
    });
}

// A triple-clicked line holds its line end: the markers go around its text alone,
// after its item, quote or heading leader, and come off it again.
TEST(Wrap, ASelectionsFinalLineEndAndLeaderStayOutside)
{
    const auto bold = wrapWith(u"**");
    const auto italics = [](U16View t, Range s) { return std::optional(italic(t, s)); };
    const auto sub = [](U16View t, Range s) { return std::optional(tagWrap(t, s, u"sub")); };
    const auto under = [](U16View t, Range s) { return std::optional(underline(t, s)); };
    const auto linked = [](U16View t, Range s) { return std::optional(link(t, s)); };
    const struct {
        Command command;
        Case c;
    } cases[] = {
        {bold, {"LF", u"alpha beta\n\nnext", {0, 11}, u"**alpha beta**\n\nnext", {2, 10}}},
        {bold, {"CRLF", u"a b\r\nc", {0, 5}, u"**a b**\r\nc", {2, 3}}},
        {bold, {"lone CR", u"a b\rc", {0, 4}, u"**a b**\rc", {2, 3}}},
        // Line ends alone: the markers go in at the selection's start, every line end stays.
        {bold, {"the line end alone", u"a\nb", {1, 1}, u"a****\nb", {3, 0}}},
        {bold, {"a CRLF alone", u"a\r\nb", {1, 2}, u"a****\r\nb", {3, 0}}},
        {bold, {"a lone CR alone", u"a\rb", {1, 1}, u"a****\rb", {3, 0}}},
        {bold, {"a blank line", u"a\n\nb", {2, 1}, u"a\n****\nb", {4, 0}}},
        {bold, {"two empty lines", u"a\n\n\nb", {2, 2}, u"a\n****\n\nb", {4, 0}}},
        {bold, {"two empty CRLF lines", u"a\r\n\r\n\r\nb", {3, 4}, u"a\r\n****\r\n\r\nb", {5, 0}}},
        {wrapWith(u"~~"), {"strikethrough, blank line", u"a\n\nb", {2, 1}, u"a\n~~~~\nb", {4, 0}}},
        {wrapWith(u"`"), {"code, line end", u"a\r\nb", {1, 2}, u"a``\r\nb", {2, 0}}},
        {italics, {"italic, line end", u"a\nb", {1, 1}, u"a**\nb", {2, 0}}},
        {italics, {"italic, blank line", u"a\n\nb", {2, 1}, u"a\n__\nb", {3, 0}}},
        {sub, {"tag, blank line", u"a\n\nb", {2, 1}, u"a\n<sub></sub>\nb", {7, 0}}},
        {under, {"underline, two empty lines", u"a\n\n\nb", {2, 2}, u"a\n<u></u>\n\nb", {5, 0}}},
        {linked, {"link, blank line", u"a\n\nb", {2, 1}, u"a\n[text](url)\nb", {3, 4}}},
        {linked, {"link, line end", u"a\r\nb", {1, 2}, u"a[text](url)\r\nb", {2, 4}}},
        {[](U16View t, Range s) { return std::optional(image(t, s)); },
         {"image, blank line", u"a\n\nb", {2, 1}, u"a\n![alt](url)\nb", {4, 3}}},
        {bold, {"unwraps", u"**a**\nb", {0, 6}, u"a\nb", {0, 1}}},
        {bold, {"list item", u"- alpha\n- two\n", {0, 8}, u"- **alpha**\n- two\n", {4, 5}}},
        {bold, {"task in a quote", u"> - [ ] do\r\n", {0, 12}, u"> - [ ] **do**\r\n", {10, 2}}},
        {bold, {"the leader alone", u"- a\n", {0, 2}, u"**- **a\n", {2, 2}}},
        {bold, {"heading", u"## Title\n", {0, 9}, u"## **Title**\n", {5, 5}}},
        {italics, {"italic", u"1. word\n", {0, 8}, u"1. _word_\n", {4, 4}}},
        {sub, {"tag", u"> x\n", {0, 4}, u"> <sub>x</sub>\n", {7, 1}}},
        {under, {"underline off", u"<u>x</u>\n", {0, 9}, u"x\n", {0, 1}}},
        {linked, {"link", u"- go\n", {0, 5}, u"- [go](url)\n", {7, 3}}},
    };
    for (const auto& [command, c] : cases)
        runCases(command, {c});
}

TEST(Unwrap, OnlyForNonEmptySelections)
{
    EXPECT_FALSE(unwrap(u"****", {2, 0}, u"**", u"**"));
    EXPECT_FALSE(unwrap(u"*x*", {1, 1}, u"**", u"**"));
    // "**" alone is both markers but shorter than the two of them together.
    EXPECT_FALSE(unwrap(u"**", {0, 2}, u"**", u"**"));
    EXPECT_EQ(applyEdit(u"****", unwrap(u"****", {0, 4}, u"**", u"**")), u"");
}

TEST(Italic, MarkerDependsOnWhatTouchesTheSelection)
{
    EXPECT_EQ(italicMarker(u"word", {2, 0}), u"*");
    EXPECT_EQ(italicMarker(u"a  b", {2, 0}), u"_");
    EXPECT_EQ(italicMarker(u"x a_b y", {2, 3}), u"*");
    EXPECT_EQ(italicMarker(u"", {0, 0}), u"_");
    EXPECT_EQ(italicMarker(u"ab", {0, 2}), u"_");
    EXPECT_EQ(italicMarker(u"ab", {0, 1}), u"*");
    EXPECT_EQ(italicMarker(u"_ab", {1, 2}), u"*");
    // Only ASCII letters and digits count as word characters.
    EXPECT_EQ(italicMarker(u"\u00FC x", {1, 0}), u"_");
}

TEST(Italic, UnwrapsEitherMarkerBeforeWrapping)
{
    runCases([](U16View t, Range s) { return std::optional(italic(t, s)); },
             {
                 {"bold loses one star on each side", u"**bold**", {0, 8}, u"*bold*", {0, 6}},
                 {"underscores around", u"_w_", {1, 1}, u"w", {0, 1}},
                 {"stars around", u"m*en*u", {2, 2}, u"menu", {1, 2}},
                 {"caret inside a word inserts stars", u"ab", {1, 0}, u"a**b", {2, 0}},
                 {"whole word gets underscores", u"word", {0, 4}, u"_word_", {1, 4}},
             });
}

TEST(TagWrap, WrapsInsertsAndUnwraps)
{
    const auto sup = [](U16View t, Range s) { return std::optional(tagWrap(t, s, u"sup")); };
    runCases(sup, {
        {"empty selection inserts the pair", u"x", {1, 0}, u"x<sup></sup>", {6, 0}},
        {"wraps the selection", u"x2", {1, 1}, u"x<sup>2</sup>", {6, 1}},
        {"tags inside the selection", u"<sup>2</sup>", {0, 12}, u"2", {0, 1}},
        {"tags around the selection", u"<sup>2</sup>", {5, 1}, u"2", {0, 1}},
        {"another tag is wrapped, not removed", u"<sub>2</sub>", {5, 1}, u"<sub><sup>2</sup></sub>", {10, 1}},
    });
}

TEST(Underline, RemovesEitherTagButAddsU)
{
    runCases([](U16View t, Range s) { return std::optional(underline(t, s)); },
             {
                 {"removes <ins> around", u"<ins>x</ins>", {5, 1}, u"x", {0, 1}},
                 {"removes <u> inside", u"<u>x</u>", {0, 8}, u"x", {0, 1}},
                 {"adds <u>", u"x", {0, 1}, u"<u>x</u>", {3, 1}},
                 {"empty selection inserts <u></u>", u"", {0, 0}, u"<u></u>", {3, 0}},
             });
}

// ----- link, image, rule -------------------------------------------------------------------

TEST(LinkAndImage, SelectThePlaceholderToTypeOver)
{
    runCases([](U16View t, Range s) { return std::optional(link(t, s)); },
             {
                 {"empty selection selects text", u"ab", {1, 0}, u"a[text](url)b", {2, 4}},
                 {"selection becomes the label, url is selected", u"go", {0, 2}, u"[go](url)", {5, 3}},
             });
    runCases([](U16View t, Range s) { return std::optional(image(t, s)); },
             {
                 {"empty selection selects alt", u"", {0, 0}, u"![alt](url)", {2, 3}},
                 {"selection becomes the alt text, url is selected", u"cat", {0, 3}, u"![cat](url)", {7, 3}},
             });
}

TEST(HorizontalRule, FollowsABlankLineOrTheTextStart)
{
    runCases([](U16View t, Range s) { return std::optional(horizontalRule(t, s)); },
             {
                 {"at the text start", u"", {0, 0}, u"---\n", {4, 0}},
                 {"after text", u"abc", {3, 0}, u"abc\n\n---\n", {9, 0}},
                 {"after one line feed", u"abc\n", {4, 0}, u"abc\n\n---\n", {9, 0}},
                 {"after a blank line", u"abc\n\n", {5, 0}, u"abc\n\n---\n", {9, 0}},
                 {"after a lone line feed at the start", u"\n", {1, 0}, u"\n\n---\n", {6, 0}},
                 {"the selected text stays", u"abc", {0, 3}, u"---\nabc", {4, 0}},
                 {"beyond the end is the end", u"ab", {9, 0}, u"ab\n\n---\n", {8, 0}},
                 {"a CRLF document gets CRLF breaks", u"abc\r\n", {5, 0}, u"abc\r\n\r\n---\r\n", {12, 0}},
                 {"a CRLF blank line is a blank line", u"abc\r\n\r\n", {7, 0}, u"abc\r\n\r\n---\r\n", {12, 0}},
             });
}

// ----- pipe tables -------------------------------------------------------------------------

namespace {
const U16String kTable = u"| A | B |\n| --- | --- |\n| 1 | 2 |";
int at(U16View text, U16View piece) { return static_cast<int>(text.find(piece)); }
} // namespace

TEST(AddTableRow, InsertsAfterTheCaretRowOrTheDelimiter)
{
    const U16String withBreak = kTable + u"\n";
    runCases(addTableRow, {
        {"table at the end without a final line feed", kTable, {at(kTable, u"1"), 0},
         kTable + u"\n|     |     |", {36, 0}},
        {"caret on the header goes below the delimiter row", withBreak, {2, 0},
         u"| A | B |\n| --- | --- |\n|     |     |\n| 1 | 2 |\n", {26, 0}},
        {"caret in a body row with a break", withBreak, {at(withBreak, u"2"), 0}, withBreak + u"|     |     |\n",
         {36, 0}},
        {"cell widths are at least three", u"a|b\n|:-|-----|", {0, 0}, u"a|b\n|:-|-----|\n|   |     |", {17, 0}},
        {"a CRLF table gets a CRLF row", u"| A |\r\n| --- |\r\n| 1 |", {0, 0},
         u"| A |\r\n| --- |\r\n|     |\r\n| 1 |", {18, 0}},
        {"the second table of a text", u"| x |\n| - |\n\n| A |\n| - |\n", {14, 0},
         u"| x |\n| - |\n\n| A |\n| - |\n|   |\n", {27, 0}},
    });
}

TEST(TableCommands, NoEditOutsideATable)
{
    const std::vector<U16String> texts = {
        u"", u"just text", u"| a | b |", u"| --- |\n| 1 |", u"\n| --- |", u"```\n| A |\n| - |\n```", u"~~~\n| A |\n| - |",
    };
    for (const U16String& text : texts) {
        SCOPED_TRACE(u8(text));
        for (int caret = 0; caret <= static_cast<int>(text.size()); ++caret) {
            EXPECT_FALSE(addTableRow(text, {caret, 0}));
            EXPECT_FALSE(addTableColumn(text, {caret, 0}));
            EXPECT_FALSE(setTableAlignment(text, {caret, 0}, TableAlignment::left));
        }
    }
    // Prose before and after a table is not the table.
    const U16String around = u"intro\n\n" + kTable + u"\n\noutro";
    EXPECT_FALSE(addTableRow(around, {2, 0}));
    EXPECT_FALSE(addTableRow(around, {static_cast<int>(around.size()), 0}));
}

TEST(AddTableColumn, ExtendsEveryRowAndKeepsTheCaretInItsCell)
{
    runCases(addTableColumn, {
        {"caret in a body row moves by the growth above", kTable, {at(kTable, u"1"), 0},
         u"| A | B |       |\n| --- | --- | ----- |\n| 1 | 2 |       |", {42, 0}},
        {"caret on the header does not move", kTable, {2, 0},
         u"| A | B |       |\n| --- | --- | ----- |\n| 1 | 2 |       |", {2, 0}},
        {"rows without outer pipes are closed first", u"A | B\n--- | ---", {0, 0},
         u"A | B |       |\n--- | --- | ----- |", {0, 0}},
        {"trailing blanks go", u"| A |  \n| - |\t", {0, 0}, u"| A |       |\n| - | ----- |", {0, 0}},
        {"CRLF rows keep their breaks", u"| A |\r\n| - |\r\nnext", {8, 0},
         u"| A |       |\r\n| - | ----- |\r\nnext", {16, 0}},
        {"the last row's break stays", kTable + u"\n", {0, 0},
         u"| A | B |       |\n| --- | --- | ----- |\n| 1 | 2 |       |\n", {0, 0}},
    });
}

TEST(SetTableAlignment, RewritesTheCaretColumnsDelimiterCell)
{
    const auto align = [](TableAlignment a) {
        return [a](U16View t, Range s) { return setTableAlignment(t, s, a); };
    };
    runCases(align(TableAlignment::right), {
        {"first column", u"|a|\n|:---|", {1, 0}, u"|a|\n|---:|", {1, 0}},
        {"caret before the first pipe", u"|a|b|\n|---|---|", {0, 0}, u"|a|b|\n|--:|---|", {0, 0}},
        {"second column from a body row", kTable, {at(kTable, u"2"), 0}, u"| A | B |\n| --- | --: |\n| 1 | 2 |",
         {at(kTable, u"2"), 0}},
    });
    runCases(align(TableAlignment::center), {
        {"centre", kTable, {at(kTable, u"1"), 0}, u"| A | B |\n| :-: | --- |\n| 1 | 2 |", {at(kTable, u"1"), 0}},
    });
    runCases(align(TableAlignment::left), {
        {"an escaped pipe is part of its cell", u"| a \\| b | c |\n| --- | --- |", {11, 0},
         u"| a \\| b | c |\n| --- | :-- |", {11, 0}},
    });
    EXPECT_FALSE(setTableAlignment(u"|a|\n|---:|", {1, 0}, TableAlignment::right));
}

TEST(SetTableAlignment, TablesWithoutALeadingPipeUseTheCaretsColumn)
{
    const U16String table = u"a | b\n--- | ---\n1 | 2";
    const auto left = [&](int caret) { return applyEdit(table, setTableAlignment(table, {caret, 0}, TableAlignment::left)); };
    EXPECT_EQ(left(0), u"a | b\n:-- | ---\n1 | 2");
    EXPECT_EQ(left(4), u"a | b\n--- | :--\n1 | 2");
    EXPECT_EQ(left(at(table, u"1")), u"a | b\n:-- | ---\n1 | 2");
    EXPECT_EQ(left(at(table, u"2")), u"a | b\n--- | :--\n1 | 2");
}

TEST(SetTableAlignment, ShortCellsStayDelimiters)
{
    const U16String table = u"|a|b|\n|-|--|";
    const auto aligned = [&](int caret, TableAlignment a) { return applyEdit(table, setTableAlignment(table, {caret, 0}, a)); };
    EXPECT_EQ(aligned(1, TableAlignment::left), u"|a|b|\n|:-|--|");
    EXPECT_EQ(aligned(1, TableAlignment::right), u"|a|b|\n|-:|--|");
    EXPECT_EQ(aligned(1, TableAlignment::center), u"|a|b|\n|:-:|--|");
    EXPECT_EQ(aligned(3, TableAlignment::center), u"|a|b|\n|-|:-:|");
    EXPECT_EQ(aligned(3, TableAlignment::left), u"|a|b|\n|-|:-|");

    // A selection on the delimiter row after a grown cell moves with the text.
    const auto edit = setTableAlignment(table, {6, 6}, TableAlignment::center);
    ASSERT_TRUE(edit);
    EXPECT_EQ(applyEdit(table, edit), u"|a|b|\n|:-:|--|");
    EXPECT_EQ(edit->selection, (Range{6, 8}));
}

TEST(SetTableAlignment, NoCellNoEdit)
{
    // The caret's column has no delimiter cell, or the cell is blank.
    EXPECT_FALSE(setTableAlignment(u"| A | B | C |\n| --- | --- |", {11, 0}, TableAlignment::left));
    EXPECT_FALSE(setTableAlignment(u"| A | B | C |\n| --- | --- |", {13, 0}, TableAlignment::left));
    EXPECT_FALSE(setTableAlignment(u"| A | B |\n| --- |   |", {7, 0}, TableAlignment::left));
}

// ----- block insertion helpers ---------------------------------------------------------------

TEST(BlockInsertion, LeadingAndTrailingBreaks)
{
    struct Row {
        U16String text;
        int position;
        U16String leading;
        U16String trailing;
    };
    const std::vector<Row> rows = {
        {u"", 0, u"", u""},
        {u"ab", 1, u"\n\n", u"\n"},
        {u"ab", 2, u"\n\n", u""},
        {u"a\nb", 2, u"\n", u"\n"},
        {u"a\n\n", 3, u"", u""},
        {u"a\n\nb", 3, u"", u"\n"},
        {u"a\nb", 1, u"\n\n", u""},
        {u"\n", 1, u"\n", u""},
        {u"a\r\n\r\nb", 5, u"", u"\r\n"},
        {u"a\r\nb", 3, u"\r\n", u"\r\n"},
        {u"a\rb", 2, u"\r", u"\r"},
        {u"ab", -4, u"", u"\n"},
        {u"ab", 99, u"\n\n", u""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(u8(r.text) + " at " + std::to_string(r.position));
        EXPECT_EQ(leadingBreaks(r.text, r.position), r.leading);
        EXPECT_EQ(trailingBreak(r.text, r.position), r.trailing);
    }
}

TEST(BlockInsertion, APastedTableKeepsApartFromTheTextAroundIt)
{
    const U16String table = u"| a |\n| - |\n| 1 |";
    const auto pasting = [](U16String pasted, U16String eol) {
        return Command([=](U16View t, Range s) { return std::optional(paste(t, s, pasted, eol)); });
    };
    runCases(pasting(table, u"\n"),
             {{"mid-line", u"Hello world", {6, 0}, u"Hello \n\n| a |\n| - |\n| 1 |\n\nworld", {27, 0}},
              {"over a selection", u"Hello big world", {6, 3}, u"Hello \n\n| a |\n| - |\n| 1 |\n\n world", {27, 0}},
              {"line start", u"x\ny", {2, 0}, u"x\n| a |\n| - |\n| 1 |\n\ny", {21, 0}},
              {"line end", u"x\ny", {1, 0}, u"x\n\n| a |\n| - |\n| 1 |\n\ny", {21, 0}},
              {"line end, blank line under", u"x\n\ny", {1, 0}, u"x\n\n| a |\n| - |\n| 1 |\n\ny", {20, 0}},
              {"text end", u"x", {1, 0}, u"x\n\n| a |\n| - |\n| 1 |", {20, 0}}});
    runCases(pasting(TextOps::withLineEnds(table, u"\r\n"), u"\r\n"),
             {{"CRLF", u"Hello world\r\nNext", {6, 0},
               u"Hello \r\n\r\n| a |\r\n| - |\r\n| 1 |\r\n\r\nworld\r\nNext", {33, 0}}});
    // Only a table's own first and last rows ask for breaks.
    runCases(pasting(u"see:\n" + table + u"\n", u"\n"),
             {{"prose first, break last", u"x y", {2, 0}, u"x see:\n| a |\n| - |\n| 1 |\n\ny", {26, 0}},
              {"break last, line start", u"x\n\ny\n", {3, 0}, u"x\n\nsee:\n| a |\n| - |\n| 1 |\n\ny\n", {27, 0}}});
    runCases(pasting(TextOps::withLineEnds(table, u"\r") + u"\r", u"\r"),
             {{"lone CR", u"x\r\ry\r", {3, 0}, u"x\r\r| a |\r| - |\r| 1 |\r\ry\r", {22, 0}}});
    for (const U16String& plain : {U16String(u"a | b"), U16String(u"```\n| a |\n| - |\n```"), U16String(u"| a |\n| 1 |")})
        runCases(pasting(plain, u"\n"), {{"no table", u"ab", {1, 0}, u"a" + plain + u"b", {1 + int(plain.size()), 0}}});
}

TEST(BlockInsertion, LineEndingIsTheDocumentsFirstBreak)
{
    EXPECT_EQ(lineEnding(u""), u"\n");
    EXPECT_EQ(lineEnding(u"no break"), u"\n");
    EXPECT_EQ(lineEnding(u"a\r\nb\n"), u"\r\n");
    EXPECT_EQ(lineEnding(u"a\rb"), u"\r");
    EXPECT_EQ(lineEnding(u"a\nb\r\n"), u"\n");
    EXPECT_EQ(lineEnding(u"trailing CR\r"), u"\r");
}

TEST(BlockInsertion, TableSizeTag)
{
    EXPECT_EQ(tableSize(0), (TableSize{1, 1}));
    EXPECT_EQ(tableSize(-5), (TableSize{1, 1}));
    EXPECT_EQ(tableSize(-1005), (TableSize{1, 1}));
    EXPECT_EQ(tableSize(5), (TableSize{1, 5}));
    EXPECT_EQ(tableSize(999), (TableSize{1, 999}));
    EXPECT_EQ(tableSize(1000), (TableSize{1, 1}));
    EXPECT_EQ(tableSize(2001), (TableSize{2, 1}));
    EXPECT_EQ(tableSize(3004), (TableSize{3, 4}));
    EXPECT_EQ(tableSize(4000), (TableSize{4, 1}));
}

// ----- robustness --------------------------------------------------------------------------

TEST(EditingCommands, AnySelectionGivesAnEditInsideTheText)
{
    const std::vector<U16String> texts = {
        u"", u"a", u"\U0001F600", u"a\r\nb", u"| A |\n| - |\n| 1 |", u"**x**", u"\n\n", u"\xD800 lone", u"x\xDC00",
    };
    const std::vector<Range> selections = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 5}, {-3, 2}, {100, 0}, {0, 100}, {NotFound, 0}};
    for (const U16String& text : texts) {
        for (const Range sel : selections) {
            SCOPED_TRACE(u8(text) + " " + std::to_string(sel.location) + "," + std::to_string(sel.length));
            const int n = static_cast<int>(text.size());
            std::vector<std::optional<TextEdit>> edits = {
                wrap(text, sel, u"**"),   italic(text, sel),     link(text, sel),
                image(text, sel),         horizontalRule(text, sel), tagWrap(text, sel, u"sub"),
                underline(text, sel),     addTableRow(text, sel), addTableColumn(text, sel),
                setTableAlignment(text, sel, TableAlignment::center),
            };
            if (sel.location <= n)
                edits.push_back(heading(text, sel, 2));
            for (const auto& edit : edits) {
                if (!edit)
                    continue;
                EXPECT_GE(edit->range.location, 0);
                EXPECT_LE(edit->range.end(), n);
                const int after = n - edit->range.length + static_cast<int>(edit->replacement.size());
                EXPECT_GE(edit->selection.location, 0);
                EXPECT_LE(edit->selection.end(), after);
                // No edit boundary falls inside a surrogate pair of the original text.
                for (int b : {edit->range.location, edit->range.end()}) {
                    const bool cuts = b > 0 && b < n && isHighSurrogate(text[size_t(b) - 1]) && isLowSurrogate(text[size_t(b)]);
                    EXPECT_FALSE(cuts);
                }
            }
        }
    }
}
