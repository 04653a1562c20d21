#pragma once
// What Copy, Cut and a drag put on the clipboard from a selection that touches a
// grid, and how such text is pasted back into a grid.
#include "editor/GridEdges.h"
#include "editor/TextEdit.h"
#include "platform/attributed/AttributedString.h"

#include <optional>

namespace velkin::GridClipboard {

// The clipboard types beside the plain text of rows of a grid copied in this program: the same
// text (it marks the plain text as such rows), and what the copy gives prose (tablesText).
inline constexpr const char* rowsType = "application/x-velkin-grid-rows";
inline constexpr const char* tablesType = "application/x-velkin-grid-tables";

// The grid holding the character at `index` (its cells to past its last line feed), or none.
std::optional<Range> gridAround(const AttributedString& text, int index);

// The text of `range` for the clipboard:
// - within one cell, its characters alone (a line of the cell ends with a line feed);
// - otherwise prose as it stands and every whole grid as its pipe table (as typed while unchanged);
// - of a grid partly selected, the rows the range touches as row text: a row's selected cells
//   parted by " | ", opened by "| " when the range holds the row's start and closed by " |" when it
//   holds its end, each cell's selected part written as in a table ("<br>" for a line break, pipes
//   escaped); the header row, when whole, followed by its delimiter row; rows parted by the grid's
//   line ends, the last row's line end included when the range holds it.
// `partialGrid` receives whether the text holds such row text.
U16String copiedText(const AttributedString& text, Range range, bool* partialGrid = nullptr);

// The text of `range` for prose: prose as it stands, every grid or part of one as a pipe table of
// the cells selected (a whole grid as typed while unchanged).
U16String tablesText(const AttributedString& text, Range range);

// Row text as copiedText writes it, pasted at `caret` in a cell or on the line right under a grid:
// the first line's cells go into the caret's cell (at the caret) and the cells after it, a line that
// starts with its row's start and ends with its end goes in as a row of its own (before the caret's
// row when the caret stands at its start, else after it; a header emptied by a cut takes it back),
// a later line's cells go at the start of the next row's cells. None for other text or elsewhere.
std::optional<GridEdges::Replacement> pastingRows(const AttributedString& text, int caret, U16View pasted,
                                                  double baseSize);

// `edit` (pasted text put in as Markdown) with each pipe table among its lines that a fresh open of
// the text it leaves shows as a grid made that grid, as the open makes it: the range replaced (grown
// over the line end after a last row, which the grid holds), the text (its prose in `typing`) and
// the caret (from within such a table's text or the line end after it, to the end of its last cell).
// None when no such table is there, or the edit touches a cell.
std::optional<GridEdges::Replacement> withOpenedGrids(const AttributedString& text, const TextEdit& edit,
                                                      double baseSize, const Attributes& typing);

} // namespace velkin::GridClipboard
