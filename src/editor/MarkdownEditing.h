#pragma once
// The formatting commands of the editor: pure functions from a text and a selection to one edit.
//
// Commands clamp the selection to the text and never cut a surrogate pair or a CRLF in two;
// a command that does not apply returns no edit.
#include "editor/TextEdit.h"

#include <optional>

namespace velkin::MarkdownEditing {

// The tags of the editor's alignment actions.
enum class TableAlignment { left = 0, center = 1, right = 2 };

// Sets the heading level of every line the selection touches; 0 makes them body text.
std::optional<TextEdit> heading(U16View text, Range selection, int level);
// Removes `open` and `close` when the selection holds them or sits right between them.
std::optional<TextEdit> unwrap(U16View text, Range selection, U16View open, U16View close);
// Puts `marker` on both sides of the selection, or takes it away when it is already there.
TextEdit wrap(U16View text, Range selection, U16View marker);
// "*" when a word character touches the selection or the selection holds "_"; otherwise "_".
U16String italicMarker(U16View text, Range selection);
TextEdit italic(U16View text, Range selection);
TextEdit link(U16View text, Range selection);
TextEdit image(U16View text, Range selection);
// `lineEnd`, here and below, is the document's line end; empty means the text's own (lineEnding()).
TextEdit horizontalRule(U16View text, Range selection, U16View lineEnd = {});
// Wraps the selection in <tag> ... </tag>, or unwraps it.
TextEdit tagWrap(U16View text, Range selection, U16View tag);
// Removes <u> or <ins> around the selection, else adds <u>.
TextEdit underline(U16View text, Range selection);

// Commands on the pipe table that holds the caret; no edit outside a table.
std::optional<TextEdit> addTableRow(U16View text, Range selection);
std::optional<TextEdit> addTableColumn(U16View text, Range selection);
std::optional<TextEdit> setTableAlignment(U16View text, Range selection, TableAlignment alignment);

// Helpers that the block insertions (rules, grids, image lines) share.

// The line break the document already uses: its first CRLF, CR or LF; LF for a text without one.
U16String lineEnding(U16View text);
// The breaks to write before a block inserted at `position` so that it follows a blank line
// or starts the text: none at the start or after two breaks, one after one break, else two.
U16String leadingBreaks(U16View text, int position, U16View lineEnd = {});
// One break when the text goes on at `position` with something other than a line break.
U16String trailingBreak(U16View text, int position, U16View lineEnd = {});
// Text pasted over `range`: a pipe table that starts or ends the pasted text goes in as
// a block of its own, a blank line apart from text that stands before or after it on
// the caret's line or right under it, so that neither its header nor its last row takes
// that text in.
// `pasted` already ends its lines with `lineEnd`; the caret ends up after the insertion.
TextEdit paste(U16View text, Range range, U16View pasted, U16View lineEnd);

// Where a block of lines (a table) put in at `position` goes: a caret at a line's end puts it
// under that line, elsewhere it splits the line; a blank line parts it from text on either side.
// Its lines start with the leader of `leaderLine` (a line of the text): a list item's text
// indent, a quotation's leaders, or the line's own indent, so the block stays in the item or
// quotation it is put in.
struct BlockPlacement {
    int at = 0;              // where it goes in
    U16String before;        // the breaks, and a blank line, that part it from the text above
    U16String after;         // what comes after its last line's own break, when text follows there
    U16String leader;        // what each of its lines starts with
    U16String blank;         // a blank line there: empty, or the quotation's leaders
    bool quoted = false;     // the leader holds quote leaders
    bool lastLineEnd = true; // its last line ends with a break (not where it ends a text that had none)
};
BlockPlacement blockPlacement(U16View text, int position, Range leaderLine, U16View lineEnd = {});
// `lines` (parted by `lineEnd`, without a final break) put in as `placement` says, each after its
// leader; the caret goes to the first line's first cell.
TextEdit placingLines(const BlockPlacement& placement, U16View lines, U16View lineEnd);
// `lines` (parted by `lineEnd`) less the spaces that open every one of them that is not blank.
U16String withoutCommonIndent(U16View lines, U16View lineEnd);

// Where a block put in at `position` goes when the caret stands in code: the end of the code
// block's last line, and the line whose leader the block takes (a fence's opening line, or the
// text line above indented code, for the item or quotation the code is in). The position itself
// outside code; none when the code runs to the text's end, where nothing can go below it.
std::optional<std::pair<int, Range>> belowCode(U16View text, int position);

// The size of a new table from the tag of the sized-table action (columns * 1000 + rows,
// rows counting the header row).
struct TableSize {
    int columns = 1;
    int rows = 1;
    bool operator==(const TableSize&) const = default;
};
TableSize tableSize(int tag);

} // namespace velkin::MarkdownEditing
