#pragma once
// Pipe tables shown as editable grids: each table becomes a text table whose
// cells are paragraphs of the text, and grids are written back as Markdown.
#include "markdown/PipeTable.h"
#include "platform/attributed/TextStorage.h"

#include <optional>

namespace velkin::TableGrid {

// The table of a grid, remembering the Markdown it was made from so that an
// unchanged grid is written back exactly as it was typed.
class SourceTable : public TextTable {
public:
    // The table's lines as they stood in the document, joined by "\n".
    std::optional<U16String> source;
    // markdown() of the table as parsed when the grid was made.
    std::optional<U16String> canonical;
    // How the typed rows ended, kept when the table is written canonically:
    // between rows ("\n" or "\r\n"), and after the last row ("", "\r", "\n" or
    // "\r\n"; a line feed there is the document's final one).
    U16String rowEnd = u"\n";
    U16String lastRowEnd;
    // A grid made in the editor rather than read: after its last row comes
    // `rowEnd` when text follows the grid (the line feed that parts them
    // completing it) and nothing at the end of the text; `lastRowEnd` is unused.
    bool endsLikeRows = false;
    // The table was read from the end of the text (`source` then holds the text's
    // final line feed, if it has one).
    bool endedText = false;
    // The blanks the table's first row was typed after (a table indented into a list
    // item): every row written canonically starts with them, so the table stays in its item.
    U16String leader;
};

// The text with every pipe table outside code turned into a grid, styled at
// `baseSize` in the sans-serif family.
TextStorage render(U16View markdownText, double baseSize);
// The same grids with the text around them not yet styled, for a caller that
// styles the whole text itself.
TextStorage grids(U16View markdownText, double baseSize);

// One pipe table that grids() makes a grid: the text it takes (from its header's line
// start to the next line's, or the text's end) and the grid, unstyled around it.
struct OpenedTable {
    Range markdown;
    AttributedString grid;
};
// Those tables of the text, in text order.
std::vector<OpenedTable> openedTables(U16View markdownText, double baseSize);

// One grid: a paragraph per cell, header row first, each carrying its own cell
// block of one new SourceTable (which keeps `source` when given, and the blanks
// its first line starts with as its leader; `endsText`: the table's lines end the
// text, as a source given alone is taken to).
AttributedString attributed(const PipeTable::Parsed& table, double baseSize, std::optional<U16String> source = std::nullopt,
                            bool endsText = true);
// A grid that takes the place of an edited one whose table is `replaced`: it is
// written with the line ends and the leader the replaced table was typed with.
AttributedString attributedReplacing(const PipeTable::Parsed& table, double baseSize, const TextTable* replaced);

// Where one grid stands in the text and in its Markdown.
struct GridSpan {
    Range text;      // its cell paragraphs, without the line feed after the last unless it ends the text
    Range markdown;  // the pipe table written for it
    // While the grid is written as its cells say (not as it was typed, unless it
    // was typed so), its rows numbered from 0 and its header holding every column:
    // the length of each line of its Markdown (the header, the delimiter row, then
    // the body rows), what parts them, its columns, the length of each row's text
    // (from its first paragraph to the end of its last, header first; none when a
    // row's paragraphs were not seen in place), and the length its Markdown has when
    // it reads as typed otherwise than as its cells say (or -1). Otherwise no lines.
    std::vector<int> lines = {};
    int lineEnd = 1;
    int columns = 0;
    std::vector<int> rowTexts = {};
    int typedLength = -1;
};

// `grid` (one whole grid) ending the text, after it the text's final line end `lineEnd`, which is
// then its last row's own: the grid written as it then reads when opened (its cells unchanged).
AttributedString endingText(const AttributedString& grid, U16View lineEnd);

// The text as Markdown: prose verbatim, every grid as a pipe table (as typed
// while its cells are unchanged, canonical once any cell differs). `spans`
// receives where each grid went, in text order. `continues`: the text is a
// piece that more text follows, after its final line feed.
U16String serialize(const AttributedString& text, std::vector<GridSpan>* spans = nullptr, bool continues = false);

// The Markdown line of one grid row of `columns` cells, from its cells' paragraphs, which `paragraphs` holds exactly;
// its grid's leader comes first.
U16String rowMarkdown(const AttributedString& text, Range paragraphs, int columns);

// The cell block of the paragraph at `index`, or null outside a grid or the text.
const TextTableBlock* cellBlock(const AttributedString& text, int index);

// The width left for a cell's content in a grid `gridWidth` points wide; at least 16.
double cellContentWidth(const TextTableBlock& block, double gridWidth);

} // namespace velkin::TableGrid
