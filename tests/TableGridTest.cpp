#include "markdown/TableGrid.h"

#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <cstdio>
#include <tuple>

#include <gtest/gtest.h>

using namespace velkin;
using namespace velkin::PipeTable;
using namespace velkin::TableGrid;

namespace {

std::vector<U16String> strings(std::initializer_list<const char16_t*> items)
{
    std::vector<U16String> result;
    for (const char16_t* s : items)
        result.emplace_back(s);
    return result;
}

std::optional<Parsed> parseText(U16View text)
{
    return parse(splitAt(text, u'\n'));
}

// Replaces the first occurrence of `from` in the grid text, as typing would.
void replaceFirst(AttributedString& text, U16View from, U16View to)
{
    const int at = TextOps::find(text.string(), from);
    ASSERT_GE(at, 0);
    text.replaceCharacters(Range{at, int(from.size())}, to);
}

} // namespace

// ---- Rows and cells ----

TEST(PipeTable, CellsTakeOuterPipesAsOptionalAndKeepBlankInnerCells)
{
    EXPECT_EQ(cells(u"| a | b |"), strings({u"a", u"b"}));
    EXPECT_EQ(cells(u"a | b"), strings({u"a", u"b"}));
    EXPECT_EQ(cells(u"| a | |"), strings({u"a", u""}));
    EXPECT_EQ(cells(u"|a||b|"), strings({u"a", u"", u"b"}));
    EXPECT_TRUE(cells(u"").empty());
    EXPECT_TRUE(cells(u"   ").empty());
    EXPECT_TRUE(cells(u"|").empty());
    EXPECT_EQ(cells(u"no pipes"), strings({u"no pipes"}));
}

TEST(PipeTable, EscapedPipesAndCodeSpansDoNotSplit)
{
    EXPECT_EQ(cells(u"| a \\| b | c |"), strings({u"a \\| b", u"c"}));
    EXPECT_EQ(cells(u"| `a|b` | c |"), strings({u"`a|b`", u"c"}));
    EXPECT_EQ(cells(u"`a|b`"), strings({u"`a|b`"}));
    // A run of two backticks closes only at two.
    EXPECT_EQ(cells(u"| ``a`|`b`` | c |"), strings({u"``a`|`b``", u"c"}));
    // An unclosed run skips only itself.
    EXPECT_EQ(cells(u"| a ` b | c |"), strings({u"a ` b", u"c"}));
    // An escaped backtick opens nothing.
    EXPECT_EQ(cells(u"| \\`a | b` |"), strings({u"\\`a", u"b`"}));
    EXPECT_EQ(separatorPipes(u"|a\\|b|"), (std::vector<int>{0, 5}));
    EXPECT_TRUE(separatorPipes(u"").empty());
}

TEST(PipeTable, ManyUnclosedBacktickRunsStayFast)
{
    // Runs of every length from 1 to 1500 with a pipe after each: none closes.
    U16String row;
    for (int n = 1; n <= 1500; ++n) {
        row.append(size_t(n), u'`');
        row += u" |";
    }
    EXPECT_EQ(separatorPipes(row).size(), 1500u);
}

TEST(PipeTable, DelimiterRows)
{
    EXPECT_TRUE(isDelimiterRow(u"|---|:-:|"));
    EXPECT_TRUE(isDelimiterRow(u" - | - "));
    EXPECT_TRUE(isDelimiterRow(u"| :--- | ---: |"));
    EXPECT_FALSE(isDelimiterRow(u"---"));
    EXPECT_FALSE(isDelimiterRow(u"|:|"));
    EXPECT_FALSE(isDelimiterRow(u"| --- x |"));
    EXPECT_FALSE(isDelimiterRow(u"| a | b |"));
    EXPECT_TRUE(isTableRow(u"a | b"));
    EXPECT_FALSE(isTableRow(u"   "));
    EXPECT_FALSE(isTableRow(u"text"));
}

TEST(PipeTable, DelimiterAlignments)
{
    EXPECT_EQ(delimiterAlignments(u"| --- | :--- | :---: | ---: | : |"),
              (std::vector<TextAlignment>{TextAlignment::Natural, TextAlignment::Left, TextAlignment::Center,
                                          TextAlignment::Right, TextAlignment::Center}));
}

// ---- Parsing and writing ----

TEST(PipeTable, ParseKeepsWhatEachLineHolds)
{
    auto one = parse(strings({u"| a |", u"| --- |"}));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->header, strings({u"a"}));
    EXPECT_EQ(one->alignments, std::vector<TextAlignment>{TextAlignment::Natural});
    EXPECT_TRUE(one->rows.empty());

    EXPECT_FALSE(parse(strings({u"a", u"b"})));
    EXPECT_FALSE(parse(strings({u"| a |"})));
    EXPECT_FALSE(parse(std::vector<U16String>{}));

    auto trailing = parse(strings({u"| a |", u"| - |", u"plain text"}));
    ASSERT_TRUE(trailing);
    EXPECT_TRUE(trailing->rows.empty());

    auto wide = parse(strings({u"| a |", u"| - | :-: | -: |", u"| 1 | 2 |"}));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->alignments.size(), 3u);
    EXPECT_EQ(wide->columnCount(), 2);

    // A blank middle line gives an empty row; trailing non-rows go.
    auto middle = parse(strings({u"| a |", u"| - |", u"", u"| 1 |", u"", u"x"}));
    ASSERT_TRUE(middle);
    ASSERT_EQ(middle->rows.size(), 2u);
    EXPECT_TRUE(middle->rows[0].empty());
}

TEST(PipeTable, CanonicalMarkdownPadsEveryRow)
{
    auto table = parse(strings({u"|a|b|", u"|:-|-:|", u"|1|"}));
    ASSERT_TRUE(table);
    EXPECT_EQ(markdown(*table), u"| a | b |\n| :--- | ---: |\n| 1 |  |");

    auto escaped = parse(strings({u"| a | b |", u"| --- | --- |", u"| x \\| y | z |"}));
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->rows, std::vector<std::vector<U16String>>{strings({u"x \\| y", u"z"})});
    // Writing and parsing again is stable.
    EXPECT_EQ(parseText(markdown(*escaped)), escaped);
}

TEST(PipeTable, RowEdits)
{
    auto table = parse(strings({u"| a | b |", u"| --- | --- |", u"| 1 | 2 |", u"| 3 | 4 |"}));
    ASSERT_TRUE(table);
    const Parsed inserted = insertingRow(*table, 1);
    ASSERT_EQ(inserted.rows.size(), 3u);
    EXPECT_EQ(inserted.rows[1], strings({u"", u""}));
    EXPECT_EQ(inserted.rows[2], strings({u"3", u"4"}));
    EXPECT_EQ(insertingRow(*table, 99).rows.back(), strings({u"", u""}));
    EXPECT_EQ(insertingRow(*table, -5).rows.front(), strings({u"", u""}));

    auto deleted = deletingRow(*table, 0);
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->rows, std::vector<std::vector<U16String>>{strings({u"3", u"4"})});
    EXPECT_FALSE(deletingRow(*table, -1));
    EXPECT_FALSE(deletingRow(*table, 2));
    EXPECT_EQ(table->rows.size(), 2u);  // the input is never changed
}

TEST(PipeTable, ColumnEdits)
{
    auto table = parse(strings({u"| a | b |", u"| --- | :-: |", u"| 1 |"}));
    ASSERT_TRUE(table);
    const Parsed inserted = insertingColumn(*table, 1);
    EXPECT_EQ(inserted.header, strings({u"a", u"", u"b"}));
    EXPECT_EQ(inserted.alignments,
              (std::vector<TextAlignment>{TextAlignment::Natural, TextAlignment::Natural, TextAlignment::Center}));
    EXPECT_EQ(inserted.rows[0], strings({u"1", u"", u""}));
    EXPECT_EQ(insertingColumn(*table, 42).header, strings({u"a", u"b", u""}));
    EXPECT_EQ(insertingColumn(*table, -1).header, strings({u"", u"a", u"b"}));

    auto deleted = deletingColumn(*table, 0);
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->header, strings({u"b"}));
    EXPECT_EQ(deleted->alignments, std::vector<TextAlignment>{TextAlignment::Center});
    EXPECT_EQ(deleted->rows[0], strings({u""}));
    EXPECT_FALSE(deletingColumn(*table, 2));
    EXPECT_FALSE(deletingColumn(*table, -1));
    auto single = parse(strings({u"| x |", u"| - |", u"| y |"}));
    ASSERT_TRUE(single);
    EXPECT_FALSE(deletingColumn(*single, 0));
}

// ---- Grids ----

namespace {

Parsed sample()
{
    return *parse(strings({u"| a | b |", u"|:--|--:|", u"| 1 | 2 |"}));
}

} // namespace

TEST(TableGrid, GridHasOneParagraphPerCellWithItsBlock)
{
    const AttributedString grid = attributed(sample(), 13);
    EXPECT_EQ(grid.string(), u"a\nb\n1\n2\n");
    const TextTableBlock* a = cellBlock(grid, 0);
    const TextTableBlock* b = cellBlock(grid, 2);
    const TextTableBlock* one = cellBlock(grid, 4);
    const TextTableBlock* two = cellBlock(grid, 6);
    ASSERT_TRUE(a && b && one && two);
    EXPECT_EQ(a->table(), two->table());
    EXPECT_EQ(a->table()->numberOfColumns, 2);
    EXPECT_TRUE(dynamic_cast<const SourceTable*>(a->table().get()));
    EXPECT_EQ(one->startingRow(), 1);
    EXPECT_EQ(two->startingColumn(), 1);

    using L = TextTableBlock::Layer;
    EXPECT_EQ(a->width(L::Border, TextTableBlock::MinY), 1);
    EXPECT_EQ(a->width(L::Border, TextTableBlock::MinX), 1);
    EXPECT_EQ(a->width(L::Border, TextTableBlock::MaxX), 0);
    EXPECT_EQ(a->width(L::Border, TextTableBlock::MaxY), 0);
    EXPECT_EQ(b->width(L::Border, TextTableBlock::MaxX), 1);
    EXPECT_EQ(one->width(L::Border, TextTableBlock::MaxY), 1);
    EXPECT_DOUBLE_EQ(a->width(L::Padding, TextTableBlock::MaxX), 5.2);
    EXPECT_TRUE(a->backgroundColor.has_value());
    EXPECT_FALSE(one->backgroundColor.has_value());

    EXPECT_EQ(grid.paragraphStyle(0)->alignment, TextAlignment::Left);
    EXPECT_EQ(grid.paragraphStyle(6)->alignment, TextAlignment::Right);
    EXPECT_TRUE(grid.font(0)->bold);
    EXPECT_FALSE(grid.font(4)->bold);
    EXPECT_DOUBLE_EQ(grid.font(4)->pointSize, 13);
}

TEST(TableGrid, HeaderOnlyGridClosesItsBottomOnTheHeader)
{
    const AttributedString grid = attributed(*parse(strings({u"| a |", u"| - |"})), 10);
    const TextTableBlock* a = cellBlock(grid, 0);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->width(TextTableBlock::Layer::Border, TextTableBlock::MaxY), 1);
    EXPECT_EQ(serialize(grid), u"| a |\n| --- |");
}

TEST(TableGrid, GridWithoutSourceSerialisesCanonically)
{
    EXPECT_EQ(serialize(attributed(sample(), 13)), u"| a | b |\n| :--- | ---: |\n| 1 | 2 |");
    auto shortRow = parse(strings({u"| a | b | c |", u"| - | - | - |", u"| 1 |"}));
    EXPECT_EQ(serialize(attributed(*shortRow, 13)), u"| a | b | c |\n| --- | --- | --- |\n| 1 |  |  |");
}

TEST(TableGrid, UnchangedGridWritesItsSourceAndChangedOneIsCanonical)
{
    const U16String source = u"|a|b|\n|:--|--:|\n|1|2|";
    AttributedString grid = attributed(*parseText(source), 13, source);
    EXPECT_EQ(serialize(grid), source);
    replaceFirst(grid, u"2", u"3");
    EXPECT_EQ(serialize(grid), u"| a | b |\n| :--- | ---: |\n| 1 | 3 |");
}

TEST(TableGrid, SurroundingTextIsKept)
{
    AttributedString text(u"intro\n");
    text.append(attributed(*parse(strings({u"| X |", u"| - |", u"| y |"})), 13));
    text.append(u"\noutro", Attributes());
    EXPECT_EQ(serialize(text), u"intro\n| X |\n| --- |\n| y |\n\noutro");

    AttributedString trailing(u"text\n");
    EXPECT_EQ(serialize(trailing), u"text\n");
    EXPECT_EQ(serialize(AttributedString()), u"");
    EXPECT_EQ(serialize(AttributedString(u"\n\n")), u"\n\n");
}

TEST(TableGrid, TwoGridsNextToEachOtherStaySeparate)
{
    AttributedString text = attributed(*parse(strings({u"| A |", u"| - |", u"| 1 |"})), 13);
    text.append(attributed(*parse(strings({u"| B |", u"| - |", u"| 2 |"})), 13));
    EXPECT_EQ(serialize(text), u"| A |\n| --- |\n| 1 |\n| B |\n| --- |\n| 2 |");
}

TEST(TableGrid, ReturnInsideACellKeepsBothParagraphs)
{
    const U16String source = u"| a | b |\n| - | - |\n| 1 | 2 |";
    AttributedString grid = attributed(*parseText(source), 13, source);
    // Return after "1", then more text: the new paragraph carries the same cell block.
    replaceFirst(grid, u"1", u"1\nmore");
    ASSERT_EQ(cellBlock(grid, TextOps::find(grid.string(), u"more")), cellBlock(grid, TextOps::find(grid.string(), u"1")));
    EXPECT_EQ(serialize(grid), u"| a | b |\n| --- | --- |\n| 1<br>more | 2 |");

    // A pasted CRLF inside one paragraph is a break too.
    AttributedString pasted = attributed(*parseText(source), 13, source);
    replaceFirst(pasted, u"2", u"x\r\ny");
    EXPECT_EQ(serialize(pasted), u"| a | b |\n| --- | --- |\n| 1 | x<br>y |");
}

TEST(TableGrid, TypedPipeIsEscapedSoTheRowKeepsItsColumns)
{
    const U16String source = u"| a | b |\n| - | - |\n| x \\| y | `p|q` |";
    AttributedString grid = attributed(*parseText(source), 13, source);
    EXPECT_EQ(serialize(grid), source);
    replaceFirst(grid, u"a", u"a|c");
    const U16String written = serialize(grid);
    // The edited cell is escaped; the untouched cells are written as they were typed.
    EXPECT_EQ(written, u"| a\\|c | b |\n| --- | --- |\n| x \\| y | `p|q` |");
    auto again = parseText(written);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->header, strings({u"a\\|c", u"b"}));
    EXPECT_EQ(again->rows[0], strings({u"x \\| y", u"`p|q`"}));
}

TEST(TableGrid, EditedCrlfTableKeepsCrlfLineEnds)
{
    const U16String source = u"| a |\r\n| - |\r\n| 1 |\r";
    auto table = parse(strings({u"| a |", u"| - |", u"| 1 |"}));
    AttributedString grid = attributed(*table, 13, source);
    EXPECT_EQ(serialize(grid), source);
    replaceFirst(grid, u"1", u"2");
    EXPECT_EQ(serialize(grid), u"| a |\r\n| --- |\r\n| 2 |\r");
}

TEST(TableGrid, CellBlockOutsideAGridIsNone)
{
    AttributedString text(u"plain\n");
    text.append(attributed(sample(), 13));
    EXPECT_EQ(cellBlock(text, -1), nullptr);
    EXPECT_EQ(cellBlock(text, text.length()), nullptr);
    EXPECT_EQ(cellBlock(text, 0), nullptr);
    EXPECT_NE(cellBlock(text, 6), nullptr);
}

TEST(TableGrid, CellContentWidth)
{
    auto table = std::make_shared<TextTable>();
    table->numberOfColumns = 3;
    TextTableBlock block(table, 0, 1, 0, 1);
    block.setWidthAllEdges(5.6, TextTableBlock::Layer::Padding);
    block.setWidth(1, TextTableBlock::Layer::Border, TextTableBlock::MinX);
    EXPECT_NEAR(cellContentWidth(block, 300), 87.8, 1e-9);
    EXPECT_EQ(cellContentWidth(block, 20), 16);
    table->numberOfColumns = 0;
    EXPECT_NEAR(cellContentWidth(block, 300), 300 - 12.2, 1e-9);
}

// ---- Rendering documents ----

namespace {

U16String roundTrip(U16View markdown)
{
    return serialize(render(markdown, 13));
}

int gridParagraphs(const AttributedString& text)
{
    int count = 0;
    const U16View s = text.string();
    for (int i = 0; i < text.length(); ++i)
        if ((i == 0 || s[size_t(i - 1)] == u'\n') && cellBlock(text, i))
            ++count;
    return count;
}

} // namespace

TEST(TableGridRender, TextWithoutTablesComesBackUnchanged)
{
    for (const char16_t* text : {u"", u"plain", u"plain\n", u"a\n\n\nb\n\n", u"| a | b |\nplain after pipes",
                                 u"# Head\n\n- item\n> quote\n"}) {
        const TextStorage storage = render(text, 13);
        EXPECT_EQ(storage.string(), text);
        EXPECT_EQ(gridParagraphs(storage), 0);
        EXPECT_EQ(serialize(storage), text);
    }
}

TEST(TableGridRender, TableBecomesAGridAndComesBackAsTyped)
{
    const U16String text = u"| a | b |\n|:--|--:|\n| 1 | 2 |\n\ntext";
    TextStorage storage = render(text, 13);
    EXPECT_EQ(gridParagraphs(storage), 4);
    EXPECT_EQ(storage.string(), u"a\nb\n1\n2\n\ntext");
    EXPECT_EQ(storage.paragraphStyle(0)->alignment, TextAlignment::Left);
    EXPECT_EQ(storage.paragraphStyle(2)->alignment, TextAlignment::Right);
    EXPECT_EQ(serialize(storage), text);

    replaceFirst(storage, u"2", u"3");
    EXPECT_EQ(serialize(storage), u"| a | b |\n| :--- | ---: |\n| 1 | 3 |\n\ntext");
}

TEST(TableGridRender, FinalLineFeedsAreKept)
{
    // Mixed line ends too: an unedited table followed by text keeps each row's own.
    for (const char16_t* text : {u"| A |\n| - |\n| 1 |", u"| A |\n| - |\n| 1 |\n", u"| A |\n| - |\n| 1 |\n\n",
                                 u"| A |\n| - |\n| 1 |\n\n\n", u"x\n| A |\n| - |\n", u"| A |\r\n| - |\r\n| 1 |\n\nx",
                                 u"| A |\n| - |\r\n| 1 |\r\n\nx", u"| A |\r\n| - |\n| 1 |\n"})
        EXPECT_EQ(roundTrip(text), text);
}

TEST(TableGridRender, EditedTableKeepsTheDocumentsFinalLineEnd)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"| A |\n| - |\n| 1 |", u"| A |\n| --- |\n| 2 |"},
        {u"| A |\n| - |\n| 1 |\n", u"| A |\n| --- |\n| 2 |\n"},
        {u"| A |\n| - |\n| 1 |\n\n", u"| A |\n| --- |\n| 2 |\n\n"},
        {u"| A |\r\n| - |\r\n| 1 |\r\n", u"| A |\r\n| --- |\r\n| 2 |\r\n"},
        {u"| A |\r\n| - |\r\n| 1 |", u"| A |\r\n| --- |\r\n| 2 |"},
        {u"| A |\n| - |\n| 1 |\nnext", u"| A |\n| --- |\n| 2 |\nnext"},
    };
    for (const auto& [typed, edited] : cases) {
        TextStorage storage = render(typed, 13);
        replaceFirst(storage, u"1", u"2");
        EXPECT_EQ(serialize(storage), edited) << u8(typed);
    }
}

TEST(TableGrid, ReplacingGridWritesTheLineEndsOfTheGridItReplaces)
{
    const auto table = parse(strings({u"| a |", u"| - |", u"| 1 |"}));
    ASSERT_TRUE(table);
    const Parsed wider = insertingRow(*table, 1);
    auto replacing = [&](U16View typed) {
        const AttributedString old = attributed(*table, 13, U16String(typed));
        const TextTableBlock* block = cellBlock(old, 0);
        return serialize(attributedReplacing(wider, 13, block ? block->table().get() : nullptr));
    };
    EXPECT_EQ(replacing(u"| a |\n| - |\n| 1 |\n"), u"| a |\n| --- |\n| 1 |\n|  |\n");
    EXPECT_EQ(replacing(u"| a |\n| - |\n| 1 |"), u"| a |\n| --- |\n| 1 |\n|  |");
    EXPECT_EQ(replacing(u"| a |\r\n| - |\r\n| 1 |\r"), u"| a |\r\n| --- |\r\n| 1 |\r\n|  |\r");
    // A grid built without source, or none at all, adds no line end.
    const AttributedString plain = attributed(*table, 13);
    EXPECT_EQ(serialize(attributedReplacing(wider, 13, cellBlock(plain, 0)->table().get())),
              u"| a |\n| --- |\n| 1 |\n|  |");
    EXPECT_EQ(serialize(attributedReplacing(wider, 13, nullptr)), u"| a |\n| --- |\n| 1 |\n|  |");
}

TEST(TableGridRender, GridEditedBackToItsTextWritesTheSourceAgain)
{
    const U16String text = u"intro\n\n|A|  B  |\n|-|:-:|\n|1|2|\n";
    TextStorage storage = render(text, 13);
    replaceFirst(storage, u"1", u"one");
    EXPECT_NE(serialize(storage), text);
    replaceFirst(storage, u"one", u"1");
    EXPECT_EQ(serialize(storage), text);
}

TEST(TableGridRender, ShortRowsGetEmptyCells)
{
    const U16String text = u"| a | b | c |\n| --- | --- | --- |\n| 1 |";
    TextStorage storage = render(text, 13);
    EXPECT_EQ(gridParagraphs(storage), 6);
    EXPECT_EQ(serialize(storage), text);
    replaceFirst(storage, u"1", u"9");
    EXPECT_EQ(serialize(storage), u"| a | b | c |\n| --- | --- | --- |\n| 9 |  |  |");
}

TEST(TableGridRender, TablesInsideCodeStayText)
{
    for (const char16_t* text : {u"```\n| a | b |\n| - | - |\n| 1 | 2 |\n```\n", u"~~~md\n| a |\n| - |\n~~~",
                                 u"para\n\n    | a | b |\n    | - | - |\n    | 1 | 2 |\n"}) {
        const TextStorage storage = render(text, 13);
        EXPECT_EQ(gridParagraphs(storage), 0) << u8(text);
        EXPECT_EQ(storage.string(), text);
    }
    // A table right after a fence is still a grid.
    EXPECT_EQ(gridParagraphs(render(u"```\ncode\n```\n| a |\n| - |\n| 1 |", 13)), 2);
}

TEST(TableGridRender, CrlfTablesBecomeGridsLikeLfOnes)
{
    const U16String text = u"intro\r\n\r\n| a | b |\r\n| --- | --- |\r\n| 1 | 2 |\r\n\r\nafter\r\n";
    TextStorage storage = render(text, 13);
    EXPECT_EQ(gridParagraphs(storage), 4);
    EXPECT_EQ(storage.string(), u"intro\r\n\r\na\nb\n1\n2\n\r\nafter\r\n");
    EXPECT_EQ(serialize(storage), text);
    replaceFirst(storage, u"1", u"one");
    EXPECT_EQ(serialize(storage), u"intro\r\n\r\n| a | b |\r\n| --- | --- |\r\n| one | 2 |\r\n\r\nafter\r\n");
    // At the very end of a CRLF document.
    EXPECT_EQ(roundTrip(u"| a |\r\n| - |\r\n| 1 |\r\n"), u"| a |\r\n| - |\r\n| 1 |\r\n");
}

TEST(TableGridRender, RowsWithOtherLineBreaksStayText)
{
    for (const char16_t* text : {u"| a\rb |\n| - |\n| 1 |", u"| a |\n| - |\n| 1\u2028x |"})
        EXPECT_EQ(roundTrip(text), text);
}

TEST(TableGridRender, TableWithoutCellsStaysText)
{
    const U16String text = u"|\n|-|\n|\n";
    const TextStorage storage = render(text, 13);
    EXPECT_EQ(gridParagraphs(storage), 0);
    EXPECT_EQ(serialize(storage), text);
}

TEST(TableGridRender, TwoTablesAndProse)
{
    const U16String text = u"| A |\n| --- |\n| 1 |\n\nmiddle\n\n| B |\n| --- |\n| 2 |";
    TextStorage storage = render(text, 13);
    EXPECT_EQ(serialize(storage), text);
    replaceFirst(storage, u"2", u"3");
    // Only the edited table is rewritten.
    EXPECT_EQ(serialize(storage), u"| A |\n| --- |\n| 1 |\n\nmiddle\n\n| B |\n| --- |\n| 3 |");
}

TEST(TableGridRender, RealDocumentsRoundTrip)
{
    for (const char* path : {"/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", "/usr/share/doc/nodejs/api/fs.md"}) {
        std::FILE* file = std::fopen(path, "rb");
        if (!file)
            continue;
        std::string bytes;
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, n);
        std::fclose(file);
        const U16String text = u16(bytes);
        EXPECT_EQ(roundTrip(text), text) << path;
    }
}

TEST(TableGridRender, ManyTablesRoundTrip)
{
    U16String text;
    for (int i = 0; i < 200; ++i)
        text += u"Table " + TextOps::number(i) + u"\n\n| a | b | c |\n|:-|:-:|-:|\n| 1 | `x|y` | 3 \\| 4 |\n|  | z |\n\n";
    TextStorage storage = render(text, 13);
    EXPECT_EQ(gridParagraphs(storage), 200 * 9);
    EXPECT_EQ(serialize(storage), text);
}

TEST(TableGridRender, ACellsLineBreaksBecomeItsLinesAndComeBackAsTyped)
{
    const std::pair<const char16_t*, const char16_t*> cells[] = {
        {u"x<br>y", u"x\ny"},          {u"a <br> b", u"a \n b"},   {u"x<br>", u"x\n"},
        {u"<br>x", u"\nx"},            {u"x<br><br>y", u"x\n\ny"}, {u"`c<br>d` e<br>f", u"`c<br>d` e\nf"},
        {u"x\\<br>y", u"x\\<br>y"},    {u"x<BR>y", u"x<BR>y"},     {u"x<br/>y", u"x<br/>y"},
    };
    for (const auto& [cell, lines] : cells) {
        const U16String text = u"| A | B |\n| - | - |\n| " + U16String(cell) + u" | z |\n";
        TextStorage storage = render(text, 13);
        EXPECT_EQ(u8(storage.string()), u8(u"A\nB\n" + U16String(lines) + u"\nz\n")) << u8(cell);
        EXPECT_EQ(u8(serialize(storage)), u8(text)) << u8(cell);
        // Written as its cells say, the cell keeps its lines too.
        replaceFirst(storage, u"z", u"w");
        EXPECT_EQ(u8(serialize(storage)), u8(u"| A | B |\n| --- | --- |\n| " + U16String(cell) + u" | w |\n")) << u8(cell);
    }
}

// Text typed into the cells of a row (a line feed parts a cell's lines) is written so
// that the row reads back as those cells and lines: escapes go in only where the row
// would read otherwise, so a cell that reads back as typed is written as typed.
TEST(TableGridRender, TypedCellsReadBackAsTheCellsTyped)
{
    struct Typed {
        std::vector<const char16_t*> cells;
        const char16_t* row;
    };
    const Typed cases[] = {
        // A backtick closed by one in a later cell would make one code span of both.
        {{u"a1x`", u"b1x`", u"words 1y", u"d1x"}, u"| a1x\\` | b1x` | words 1y | d1x |"},
        {{u"a`", u"b", u"c", u"d"}, u"| a` | b | c | d |"},
        {{u"``a", u"b``", u"c", u"d"}, u"| \\`\\`a | b`` | c | d |"},
        // Escaped backticks are single runs: one left open before them is escaped too.
        {{u"a`", u"b``", u"c``", u"d"}, u"| a\\` | b\\`\\` | c`` | d |"},
        // Code spans written whole keep their pipes and breaks; a pipe outside is escaped.
        {{u"`p|q`", u"`<br>`", u"x|y`", u"`"}, u"| `p|q` | `<br>` | x\\|y\\` | ` |"},
        // A break typed as text stays text; one already escaped is kept as typed.
        {{u"a<br>b", u"a\\<br>b", u"`x` <br>", u"d"}, u"| a\\<br>b | a\\<br>b | `x` \\<br> | d |"},
        // Lines: a backtick closed on the next line, a backslash before a break.
        {{u"`a\nb`", u"x\\\ny", u"x\\\\\ny\\", u"\\"}, u"| \\`a<br>b` | x\\\\<br>y | x\\\\<br>y\\ | \\ |"},
    };
    for (const Typed& c : cases) {
        const U16String source = u"| A | B | C | D |\n| - | - | - | - |\n| @0 | @1 | @2 | @3 |\n";
        AttributedString grid = render(source, 13);
        for (size_t k = 0; k < c.cells.size(); ++k)
            replaceFirst(grid, u"@" + TextOps::number(int(k)), c.cells[k]);
        const U16String written = serialize(grid);
        EXPECT_EQ(u8(written), u8(u"| A | B | C | D |\n| --- | --- | --- | --- |\n" + U16String(c.row) + u"\n"));
        // Read again, the row has the cells and lines typed, each escape showing as typed.
        const TextStorage again = render(written, 13);
        EXPECT_EQ(serialize(again), written);
        const auto table = parseText(written);
        ASSERT_TRUE(table && table->rows.size() == 1) << u8(written);
        ASSERT_EQ(table->rows[0].size(), c.cells.size()) << u8(written);
        for (size_t k = 0; k < c.cells.size(); ++k)
            EXPECT_EQ(int(cellBreaks(table->rows[0][k]).size()),
                      int(std::count(c.cells[k], c.cells[k] + std::char_traits<char16_t>::length(c.cells[k]), u'\n')))
                << u8(c.cells[k]);
    }
}

TEST(TableGridRender, AFinalTableFollowedByTextNoLongerEndsWithTheDocumentsLineEnd)
{
    // Text put after the grid's last line feed is the next line; a blank line before it comes from the text.
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"| A |\n| - |\n| 1 |\n", u"| A |\n| - |\n| 1 |\nBelow"},
        {u"| A |\n| - |\n| 1 |", u"| A |\n| - |\n| 1 |\nBelow"},
        {u"| A |\r\n| - |\r\n| 1 |\r\n", u"| A |\r\n| - |\r\n| 1 |\r\nBelow"},
        {u"| A |\r\n| - |\r\n| 1 |", u"| A |\r\n| - |\r\n| 1 |\r\nBelow"},
    };
    for (const auto& [typed, followed] : cases) {
        TextStorage storage = render(typed, 13);
        storage.replaceCharacters(Range{storage.length(), 0}, AttributedString(u"Below"));
        EXPECT_EQ(u8(serialize(storage)), u8(followed)) << u8(typed);
        // Edited, the same ends.
        replaceFirst(storage, u"1", u"2");
        EXPECT_EQ(u8(serialize(storage)), u8(TextOps::replacingAll(TextOps::replacingAll(followed, u"| 1 |", u"| 2 |"), u"| - |", u"| --- |")))
            << u8(typed);
    }
}

TEST(TableGridRender, ATableIndentedIntoAListItemKeepsItsLeaderOnEveryRowWrittenAgain)
{
    // Spaces or a tab before the first row, CRLF, the final line: every canonical row starts as the first did.
    const std::tuple<const char16_t*, const char16_t*, const char16_t*> cases[] = {
        {u"- item\n\n  | a | b |\n  |---|---|\n  | x | 2 |\n\n- next\n", u"  ",
         u"- item\n\n  | a | b |\n  | --- | --- |\n  | y | 2 |\n\n- next\n"},
        {u"1. item\n\n   | a | b |\n   |---|---|\n   | x | 2 |\n\n2. next", u"   ",
         u"1. item\n\n   | a | b |\n   | --- | --- |\n   | y | 2 |\n\n2. next"},
        {u"- item\r\n\r\n  | a | b |\r\n |---|---|\r\n    | x | 2 |\r\n", u"  ",
         u"- item\r\n\r\n  | a | b |\r\n  | --- | --- |\r\n  | y | 2 |\r\n"},
        {u"-\titem\n\n\t| a | b |\n\t|---|---|\n\t| x | 2 |", u"\t", u"-\titem\n\n\t| a | b |\n\t| --- | --- |\n\t| y | 2 |"},
        {u"| a | b |\n|---|---|\n  | x | 2 |", u"", u"| a | b |\n| --- | --- |\n| y | 2 |"},
    };
    for (const auto& [typed, leader, edited] : cases) {
        TextStorage storage = render(typed, 13);
        ASSERT_EQ(gridParagraphs(storage), 4) << u8(typed);
        EXPECT_EQ(u8(serialize(storage)), u8(typed));
        replaceFirst(storage, u"x", u"y");
        std::vector<GridSpan> spans;
        EXPECT_EQ(u8(serialize(storage, &spans)), u8(edited));
        // A row written alone is that row's whole line, as long as the span says.
        ASSERT_EQ(spans.size(), 1u);
        ASSERT_EQ(spans[0].lines.size(), 3u);
        const U16String row = rowMarkdown(storage, Range{spans[0].text.location + 4, 3}, 2);
        EXPECT_EQ(u8(row), u8(U16String(leader) + u"| y | 2 |"));
        EXPECT_EQ(int(row.size()), spans[0].lines[2]);
        // A grid rebuilt by a row or column command keeps the leader.
        const Parsed wider = insertingColumn(*parseText(u"| a | b |\n|-|-|\n| y | 2 |"), 2);
        const AttributedString rebuilt =
            attributedReplacing(wider, 13, cellBlock(storage, spans[0].text.location)->table().get());
        const U16String eol = U16View(typed).find(u'\r') == U16View::npos ? u"\n" : u"\r\n";
        const U16String start = U16String(leader) + u"| a | b |  |" + eol + U16String(leader) + u"|";
        EXPECT_EQ(u8(serialize(rebuilt).substr(0, start.size())), u8(start));
    }
}

TEST(TableGridRender, ARowAtOrLeftOfItsListItemsMarkerIsNoRowOfTheItemsTable)
{
    // The row ends the item, and the table with it, as the export reads it; an edited cell leaves it as typed.
    const std::pair<const char16_t*, int> cases[] = {
        {u"- i\n\n  | a | b |\n  |---|---|\n  | x | 2 |\n| 3 | 4 |\n", 4},
        {u"- a\n  - b\n\n    | a | b |\n    |---|---|\n    | x | 2 |\n  | 3 | 4 |\n", 4},
        {u"1. i\n\n   | a | b |\n|---|---|\n   | x | 2 |\n", 0},
        // Right of the marker the row is still the item's, and the table's.
        {u"- i\n\n  | a | b |\n  |---|---|\n  | x | 2 |\n | 3 | 4 |\n", 6},
        {u"Text\n\n  | a | b |\n  |---|---|\n  | x | 2 |\n| 3 | 4 |\n", 6},
    };
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const auto& [typed, cells] : cases) {
            const U16String text = TextOps::replacingAll(typed, u"\n", eol);
            TextStorage storage = render(text, 13);
            EXPECT_EQ(gridParagraphs(storage), cells) << u8(text);
            if (cells != 4)
                continue;
            replaceFirst(storage, u"x", u"y");
            const size_t row = text.find(u"| 3");
            const U16String line = text.substr(text.rfind(u'\n', row) + 1, text.find(eol, row) - text.rfind(u'\n', row) - 1);
            EXPECT_TRUE(TextOps::contains(serialize(storage), U16String(eol) + line + U16String(eol))) << u8(text);
        }
}

TEST(TableGridRender, ATableOnAListMarkersOrAQuotesLineIsNoGrid)
{
    for (const char16_t* text : {u"- | a | b |\n  |---|---|\n  | 1 | 2 |\n", u"1. | a | b |\n   |---|---|\n   | 1 | 2 |",
                                 u"* a | b\n  --|--\n", u"> | a | b |\n|---|---|\n| 1 | 2 |\n", u"  - | a |\n    | - |"}) {
        const TextStorage storage = render(text, 13);
        EXPECT_EQ(gridParagraphs(storage), 0) << u8(text);
        EXPECT_EQ(serialize(storage), text);
    }
    // A dash or a number that opens no item still starts a table.
    for (const char16_t* text : {u"-| a | b |\n|---|---|\n| 1 | 2 |", u"1.5 | b\n--|--\n3 | 4", u"*x* | b\n--|--"})
        EXPECT_GT(gridParagraphs(render(text, 13)), 0) << u8(text);
}

TEST(TableGridRender, ARowOnAListMarkersOrAQuotesLineEndsTheTableAboveIt)
{
    // The line opens its item or quotation, as it does for every other reader; an edited cell leaves it as typed.
    for (const U16View eol : {U16View(u"\n"), U16View(u"\r\n")})
        for (const U16View opener : {U16View(u"- | 3 | 4 |"), U16View(u"> | 3 | 4 |"), U16View(u"1. | 3 | 4 |"),
                                     U16View(u"  * 3 | 4")}) {
            const auto doc = [&](U16View cell) {
                return TextOps::replacingAll(u"| a | b |\n| --- | --- |\n| " + U16String(cell) + u" | 2 |\n"
                                                 + U16String(opener) + u"\n",
                                             u"\n", eol);
            };
            TextStorage storage = render(doc(u"x"), 13);
            EXPECT_EQ(gridParagraphs(storage), 4) << u8(doc(u"x"));
            EXPECT_EQ(u8(serialize(storage)), u8(doc(u"x")));
            replaceFirst(storage, u"x", u"y");
            EXPECT_EQ(u8(serialize(storage)), u8(doc(u"y")));
        }
    // A pipe first, or a dash with no space after it, opens nothing: the row is the table's.
    EXPECT_GT(gridParagraphs(render(u"| a | b |\n|---|---|\n| 1 | 2 |\n-| 3 | 4 |", 13)), 4);
}
