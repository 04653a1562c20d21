#include "app/MarkdownDocument.h"
#include "markdown/TableGrid.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

#include <algorithm>
#include <cmath>

namespace velkin {

namespace {

// The sample table "| A | B |", "| --- | --- |", "| 1 | 2 |" as a grid built without source text.
AttributedString sampleGrid()
{
    PipeTable::Parsed table;
    table.header = {u"A", u"B"};
    table.alignments = {TextAlignment::Natural, TextAlignment::Natural};
    table.rows = {{u"1", u"2"}};
    return TableGrid::attributed(table, OffscreenEditor::kBaseSize);
}

// What a whole-text selection of a view writes to a private pasteboard as plain text.
std::optional<U16String> copiedText(MarkdownTextView& view, const std::string& board)
{
    Pasteboard& pasteboard = Pasteboard::named(board);
    pasteboard.clearContents();
    view.selectAll();
    view.writeSelection(pasteboard, Pasteboard::stringType);
    return pasteboard.string();
}

} // namespace

void gridTypingChecks(SelfTestContext& t)
{
    {
        OffscreenEditor editor;
        PipeTable::Parsed empty;
        empty.header = {U16String(), U16String()};
        empty.alignments = {TextAlignment::Natural, TextAlignment::Natural};
        empty.rows = {{U16String(), U16String()}};
        editor.storage().replaceCharacters({0, editor.storage().length()},
                                           TableGrid::attributed(empty, OffscreenEditor::kBaseSize));
        editor.view->setSelectedRange({1, 0});
        editor.view->insertText(u"Hi", editor.view->selectedRange());
        t.check("typing in an empty cell keeps one intact table",
                editor.serialized() == u"|  | Hi |\n| --- | --- |\n|  |  |");
    }
    const U16String sample = u"| A | B |\n| --- | --- |\n| 1 | 2 |";
    {
        OffscreenEditor editor(std::nullopt);
        editor.storage().replaceCharacters({0, editor.storage().length()}, sampleGrid());
        t.check("copying a table puts Markdown on the pasteboard",
                copiedText(*editor.view, "VelkinSelfTestCopy") == sample);
    }
    {
        OffscreenEditor editor(std::nullopt);
        AttributedString mixed(U16String(u"Intro **bold**\n"));
        mixed.append(sampleGrid());
        editor.storage().replaceCharacters({0, editor.storage().length()}, mixed);
        t.check("copying prose + a table keeps prose verbatim and the table as Markdown",
                copiedText(*editor.view, "VelkinSelfTestMixed") == u"Intro **bold**\n" + sample);
    }
}

void markdownDocumentChecks(SelfTestContext& t)
{
    t.check("new document is empty", MarkdownDocument{}.text.empty());
    t.check("document keeps supplied text", MarkdownDocument{u"# Hello\n"}.text == u"# Hello\n");
    const auto contains = [](const std::vector<ContentType>& types, const ContentType& type) {
        return std::find(types.begin(), types.end(), type) != types.end();
    };
    const auto readable = MarkdownDocument::readableContentTypes();
    const auto writable = MarkdownDocument::writableContentTypes();
    t.check("reads Markdown and plain text", contains(readable, ContentType::velkinMarkdown())
                                                  && contains(readable, ContentType::plainText()));
    t.check("writes Markdown and plain text back in place",
            contains(writable, ContentType::velkinMarkdown()) && contains(writable, ContentType::plainText()));
    t.check("Markdown UTType conforms to plain text", ContentType::velkinMarkdown().conformsTo(ContentType::plainText()));
}

namespace {

using PipeTable::Parsed;

std::optional<Parsed> parseLines(std::initializer_list<const char16_t*> lines)
{
    return PipeTable::parse(std::vector<U16View>(lines.begin(), lines.end()));
}

// The cell block at the first occurrence of `needle`, or null.
const TextTableBlock* blockAt(const AttributedString& text, U16View needle)
{
    const int at = TextOps::find(text.string(), needle);
    return at < 0 ? nullptr : TableGrid::cellBlock(text, at);
}

const Font* fontAt(const AttributedString& text, U16View needle)
{
    const int at = TextOps::find(text.string(), needle);
    return at < 0 ? nullptr : text.font(at);
}

void gridParsingAndStylingChecks(SelfTestContext& t)
{
    const std::vector<TextAlignment> four{TextAlignment::Natural, TextAlignment::Left, TextAlignment::Center,
                                          TextAlignment::Right};
    const auto aligned = parseLines({u"| a | b | c | d |", u"| --- | :--- | :---: | ---: |", u"| 1 | 2 | 3 | 4 |"});
    t.check("delimiter parses natural/left/center/right", aligned && aligned->alignments == four);
    const auto reparsed = aligned ? PipeTable::parse(splitAt(PipeTable::markdown(*aligned), u'\n')) : std::nullopt;
    t.check("all four alignments survive a round-trip", reparsed && reparsed->alignments == four);

    const auto shortRow = parseLines({u"| a | b | c |", u"| - | - | - |", u"| 1 |"});
    t.check("short rows are padded to the column count",
            shortRow && TextOps::contains(PipeTable::markdown(*shortRow), u"| 1 |  |  |"));

    const U16String twoTables = u"| A |\n| --- |\n| 1 |\n\nmiddle\n\n| B |\n| --- |\n| 2 |";
    t.check("two tables plus prose round-trip losslessly",
            TableGrid::serialize(TableGrid::render(twoTables, 13)) == twoTables);

    t.check("delimiter row is recognised", PipeTable::isDelimiterRow(u"| :--- | ---: |"));
    t.check("a body row is not a delimiter", !PipeTable::isDelimiterRow(u"| a | b |"));
    t.check("a blank line is not a table row", !PipeTable::isTableRow(u"   "));

    const auto small = parseLines({u"| H |", u"| --- |", u"| body |"});
    const AttributedString grid13 = small ? TableGrid::attributed(*small, 13) : AttributedString();
    const AttributedString grid26 = small ? TableGrid::attributed(*small, 26) : AttributedString();
    const TextTableBlock* block13 = TableGrid::cellBlock(grid13, 0);
    const TextTableBlock* block26 = TableGrid::cellBlock(grid26, 0);
    using Layer = TextTableBlock::Layer;
    const double p13 = block13 ? block13->width(Layer::Padding, TextTableBlock::MinX) : 0;
    const double p26 = block26 ? block26->width(Layer::Padding, TextTableBlock::MinX) : 0;
    t.check("cell padding scales with the text size", block13 && block26 && p13 > 0 && std::abs(p26 - 2 * p13) < 0.01);

    const Font* headerFont = grid13.length() > 0 ? grid13.font(0) : nullptr;
    t.check("grid header cell is bold", headerFont && headerFont->bold);
    const Font* bodyFont = fontAt(grid13, u"body");
    t.check("grid body cell is not bold", bodyFont && !bodyFont->bold);
    t.check("grid header cell carries a tint", block13 && block13->backgroundColor.has_value());
    const TextTableBlock* bodyBlock = blockAt(grid13, u"body");
    t.check("grid body cell has no tint", bodyBlock && !bodyBlock->backgroundColor.has_value());

    const auto framed = parseLines({u"| a | b |", u"| --- | --- |", u"| c | d |"});
    const AttributedString frame = framed ? TableGrid::attributed(*framed, 13) : AttributedString();
    const TextTableBlock* a = blockAt(frame, u"a");
    const TextTableBlock* b = blockAt(frame, u"b");
    const TextTableBlock* c = blockAt(frame, u"c");
    auto border = [](const TextTableBlock* block, TextTableBlock::Edge edge) {
        return block->width(Layer::Border, edge);
    };
    t.check("every cell strokes top and left",
            a && border(a, TextTableBlock::MinY) == 1 && border(a, TextTableBlock::MinX) == 1);
    t.check("interior edges are not doubled",
            a && border(a, TextTableBlock::MaxX) == 0 && border(a, TextTableBlock::MaxY) == 0);
    t.check("last column completes the right frame", b && border(b, TextTableBlock::MaxX) == 1);
    t.check("last row completes the bottom frame", c && border(c, TextTableBlock::MaxY) == 1);
}

void cellInlineStylingChecks(SelfTestContext& t)
{
    const U16String markdown = u"| H |\n| --- |\n| a **b** [c](https://example.com/page) |";
    const TextStorage storage = TableGrid::render(markdown, 13);
    const Font* bold = fontAt(storage, u"b");
    t.check("cell bold content has the bold trait", bold && bold->bold);
    const int c = TextOps::find(storage.string(), u"c");
    t.check("cell link content is clickable", c >= 0 && storage.attributes(c).has(AttributeKey::Link));
    const int marker = TextOps::find(storage.string(), u"**b");
    const Color* markerColor = marker >= 0 ? storage.attributes(marker).color(AttributeKey::ForegroundColor) : nullptr;
    t.check("cell markers are dimmed", markerColor && *markerColor == Color::tertiaryLabel());
    const Font* header = fontAt(storage, u"H");
    t.check("header cell stays bold with inline styling", header && header->bold);
    t.check("styled cell keeps its table block", blockAt(storage, u"b") != nullptr);
    t.check("inline styling doesn't change the underlying Markdown", TableGrid::serialize(storage) == markdown);
}

void pureRowColumnEditChecks(SelfTestContext& t)
{
    using Rows = std::vector<std::vector<U16String>>;
    using Cells = std::vector<U16String>;
    const auto table = parseLines({u"| a | b |", u"| --- | --- |", u"| 1 | 2 |", u"| 3 | 4 |"});
    const Parsed p = table ? *table : Parsed();

    t.check("insert row at a body index",
            PipeTable::insertingRow(p, 1).rows == Rows{{u"1", u"2"}, {u"", u""}, {u"3", u"4"}});
    t.check("insert row clamps an out-of-range index", PipeTable::insertingRow(p, 99).rows.size() == p.rows.size() + 1);
    const auto deleted = PipeTable::deletingRow(p, 0);
    t.check("delete a body row", deleted && deleted->rows == Rows{{u"3", u"4"}});
    t.check("delete a row out of range is nil", !PipeTable::deletingRow(p, 5));

    const Parsed widened = PipeTable::insertingColumn(p, 1);
    t.check("insert column widens the header", widened.header == Cells{u"a", u"", u"b"});
    t.check("insert column widens every row", widened.rows == Rows{{u"1", u"", u"2"}, {u"3", u"", u"4"}});
    t.check("insert column adds an alignment", widened.alignments.size() == 3);
    const auto narrowed = PipeTable::deletingColumn(p, 0);
    t.check("delete column drops the header cell", narrowed && narrowed->header == Cells{u"b"});
    t.check("delete column drops every row cell", narrowed && narrowed->rows == Rows{{u"2"}, {u"4"}});
    const auto single = parseLines({u"| x |", u"| - |", u"| y |"});
    t.check("delete the only column is nil", single && !PipeTable::deletingColumn(*single, 0));
}

} // namespace

namespace {

// A window-less view without a coordinator for the table actions.
struct TableActionView {
    OffscreenEditor editor{std::nullopt, QRectF(0, 0, 500, 300)};
    MarkdownTextView& view = *editor.view;

    void load(U16View markdown) { editor.load(markdown); }
    // The four-row table of the context actions.
    void reset() { load(u"| A | B |\n| --- | --- |\n| 1 | 2 |\n| 3 | 4 |"); }
    void caretIn(U16View text) { editor.caretAt(text); }
    // An empty selection at the start of the first grid cell.
    void caretInFirstCell()
    {
        int first = -1;
        editor.storage().enumerateAttribute(AttributeKey::ParagraphStyle, {0, editor.storage().length()},
                                            [&](const AttributeValue* value, Range run) {
                                                const auto* style = value ? std::get_if<ParagraphStylePtr>(value) : nullptr;
                                                if (first < 0 && style && *style && (*style)->tableBlock())
                                                    first = run.location;
                                            });
        view.setSelectedRange({std::max(first, 0), 0});
    }
    U16String serialized() const { return editor.serialized(); }
    U16String firstLine() const { return U16String(splitAt(serialized(), u'\n').front()); }
};

void tableActionChecks(SelfTestContext& t)
{
    TableActionView table;
    table.load(u"");
    table.view.setSelectedRange({0, 0});
    table.view.mdInsertTable(nullptr);
    t.check("insert-table action creates a grid", TextOps::contains(table.serialized(), u"| Column 1 | Column 2 |"));
    table.load(u"");
    table.view.setSelectedRange({0, 0});
    const ActionSender sized = ActionSender::menuItem(4003);
    table.view.mdInsertTableSized(&sized);
    t.check("sized insert makes the requested column count", splitAt(table.firstLine(), u'|').size() == 6);
    t.check("sized insert makes the requested row count", splitAt(table.serialized(), u'\n').size() == 4);

    table.load(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    table.caretInFirstCell();
    table.view.mdTableAddRow(nullptr);
    t.check("add-row action appends an empty row", TextOps::hasSuffix(table.serialized(), u"|  |  |"));
    table.caretInFirstCell();
    table.view.mdTableAddColumn(nullptr);
    const U16String widened = table.serialized();
    const std::vector<U16View> rows = splitAt(widened, u'\n');
    t.check("add-column action widens every row",
            !rows.empty() && std::all_of(rows.begin(), rows.end(), [](U16View row) { return splitAt(row, u'|').size() == 5; }));
    table.caretInFirstCell();
    const ActionSender centre = ActionSender::menuItem(1);
    table.view.mdTableAlign(&centre);
    t.check("align action centres the caret's column", TextOps::contains(table.serialized(), u":---:"));
}

void contextActionChecks(SelfTestContext& t)
{
    TableActionView table;
    const U16String blankRow = u"| A | B |\n| --- | --- |\n| 1 | 2 |\n|  |  |\n| 3 | 4 |";
    table.reset();
    table.caretIn(u"3");
    table.view.mdTableInsertRowAbove(nullptr);
    t.check("insert-row-above adds a blank row before the caret's row", table.serialized() == blankRow);
    table.reset();
    table.caretIn(u"1");
    table.view.mdTableInsertRowBelow(nullptr);
    t.check("insert-row-below adds a blank row after the caret's row", table.serialized() == blankRow);
    table.reset();
    table.caretIn(u"B");
    table.view.mdTableInsertColumnLeft(nullptr);
    t.check("insert-column-left widens the header", table.firstLine() == u"| A |  | B |");
    table.reset();
    table.caretIn(u"A");
    table.view.mdTableInsertColumnRight(nullptr);
    t.check("insert-column-right widens the header", table.firstLine() == u"| A |  | B |");
    table.reset();
    table.caretIn(u"A");
    table.view.mdTableDeleteColumn(nullptr);
    t.check("delete-column removes the caret's column", table.firstLine() == u"| B |");
    table.reset();
    table.caretIn(u"1");
    table.view.mdTableDeleteRow(nullptr);
    t.check("delete-row removes the caret's body row",
            table.serialized() == u"| A | B |\n| --- | --- |\n| 3 | 4 |");
}

} // namespace

void gridStylingChecks(SelfTestContext& t)
{
    gridParsingAndStylingChecks(t);
    tableActionChecks(t);
    cellInlineStylingChecks(t);
    pureRowColumnEditChecks(t);
    contextActionChecks(t);
}

} // namespace velkin
