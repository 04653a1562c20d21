#pragma once
// Edits at a table grid's edge. A grid's cells are paragraphs of the text, but
// they are not lines of the document: a change that runs from a cell into the
// text around its grid (or into another grid) must not move that text into a
// cell, and text typed right under a grid must not read as one of its rows.
#include "platform/attributed/AttributedString.h"

#include <optional>

namespace velkin::GridEdges {

// A change of a text that replaces the selected characters cell by cell.
struct Replacement {
    Range range;            // the part of the text replaced: the selection grown to whole grids
    AttributedString text;  // what takes its place
    int caret = 0;          // the caret afterwards, in the new text
};

// Replacing `range` of `text` by `typed` when the range crosses a grid's edge
// (it holds cell text and does not lie in one cell): the selected prose goes,
// the selected cell text goes from its cell (typed text goes into the cell where
// the range starts), rows wholly selected go (a wholly selected grid goes), and
// the text around each grid stays outside it, a line apart. A range from a row's
// start past its grid takes that row too, and what is typed goes in its place as
// text; over the whole text, the typed text is read as a document, its tables grids.
// Grids are rebuilt at `baseSize`; typed prose takes `typing`; `lineEnd` is the
// document's. None when the range crosses no edge.
std::optional<Replacement> replacingAcross(const AttributedString& text, Range range, U16View typed,
                                           double baseSize, const Attributes& typing, U16View lineEnd = u"\n");

// Whether `range` of `text` holds cell text: read run by run up to the first cell.
bool holdsCells(const AttributedString& text, Range range);

// Whether putting `replacement` in place of `range` would bring text right under a
// grid's last row, where a blank line (empty, or of spaces and tabs) stood or where
// the grid ends the text: such text then reads as a row. Blanks alone keep the line blank.
bool gluesUnderGrid(const AttributedString& text, Range range, U16View replacement);
// What the line such text goes to starts with when it is put at `position`: as much of
// the grid's row leader as the blanks before `position` reach, so that text typed on
// the indented blank line under a table in a list item stays in that item (and never
// goes deeper than the rows, where it would read as code).
U16String leaderUnderGrid(const AttributedString& text, int position);

// `text` as it goes into a cell: one line, its line breaks spaces.
U16String asCellLine(U16View text);
// The offset in a grid cell of offset `at` of its Markdown: each line break ("<br>") there is one character.
int inGrid(U16View cell, int at);

} // namespace velkin::GridEdges
