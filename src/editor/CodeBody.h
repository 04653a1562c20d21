#pragma once
// The lines of a fenced code block between its fences, found without reading
// the block: a text's fence-like lines (those holding a run of three backticks
// or tildes) are kept, sorted, through every edit, and a fence's reading is
// worked out from them alone, since no other line opens or closes one; only a
// fence in a list item or a quotation, which ends with it, has its lines read.
#include "platform/text/Range.h"

#include <limits>
#include <optional>
#include <vector>

namespace velkin {

struct CodeBody {
    int opener = 0;  // the start of the opening fence's line
    // The start of the closing fence's line, of the line its item or quotation
    // ended at, or the text's end.
    int end = 0;
    // The language its lines are highlighted in, as the block scanner takes it.
    std::optional<U16String> language;
    // What keeps it open besides its closing fence: a fence in a quotation ends
    // at a line with fewer than `depth` quote leaders, one in a list item at a
    // line whose text after them starts left of `column` (-1: no column).
    int depth = 0;
    int column = -1;
    bool closed = false;  // ended by its closing fence
    bool whole = true;    // its fence lines (and the line it ended at) are single lines to the block scanner
    int codeStart = 0;    // the start of the line after the opening fence's

    bool contained() const { return depth > 0 || column >= 0; }
};

// The fenced blocks of a text, as the block scanner reads them.
struct FenceMap {
    std::vector<CodeBody> blocks;  // by opening line
    // From here on nothing is known: a fence indented as in a list item with a
    // line left of it, which ends it or not as the list items above say.
    int known = std::numeric_limits<int>::max();
    // The start of that line: an edit there or above it may let the map know more.
    int unknownFrom = std::numeric_limits<int>::max();
};

namespace CodeBodies {

// Whether a line may read as a fence somewhere.
bool fenceLike(U16View line);
// The starts of the fence-like lines among the lines from the one holding
// `from` to the one holding `to`, ascending.
std::vector<int> fenceLikeLines(U16View text, int from, int to);
// Keeps `starts`, the fence-like lines of a text, true over a change of its
// `range` (in the new text) by `delta` units; true when the change touched
// such a line or made one.
bool update(std::vector<int>& starts, U16View text, Range range, int delta);

// The blocks of `text` (as the block scanner reads it), given its fence-like lines.
FenceMap read(U16View text, const std::vector<int>& starts);
// Keeps `map` true over a change of `range` (in the new text) by `delta` units
// that touched no fence-like line. False when the change may end a block that
// ends with its item or quotation elsewhere: the map must be read again.
bool keep(FenceMap& map, U16View text, Range range, int delta);
// Whether the map knows the blocks up to `at`.
bool knows(const FenceMap& map, int at);

// The block whose body holds every line from `first` up to `last` (line
// starts, or the text's end); none when one of those lines is fence-like
// (`starts`), they are outside a block, or the map does not know.
std::optional<CodeBody> around(const FenceMap& map, const std::vector<int>& starts, int first, int last);
// The block that the line at `at` opens, or closes with its closing fence;
// none when it does not, or when its fences are not single lines.
std::optional<CodeBody> openedAt(const FenceMap& map, int at);
std::optional<CodeBody> closedAt(const FenceMap& map, int at);

} // namespace CodeBodies

} // namespace velkin
