#pragma once
// The lines of a fenced code block between its fences, found without reading
// the block: a text's fence-like lines (those holding a run of three backticks
// or tildes) are kept, sorted, through every edit, and a fence's reading is
// worked out from them alone, since no other line opens or closes one.
#include "platform/text/Range.h"

#include <optional>
#include <vector>

namespace velkin {

struct CodeBody {
    int opener = 0;  // the start of the opening fence's line
    int end = 0;     // the start of the closing fence's line, or the text's end
    // The language its lines are highlighted in, as the block scanner takes it.
    std::optional<U16String> language;
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
// The block whose body holds every line from `first` up to `last` (line
// starts, or the text's end), given the text's fence-like lines; none when one
// of those lines is fence-like or they are outside a fence.
std::optional<CodeBody> around(U16View text, const std::vector<int>& starts, int first, int last);
// The block that the fence-like line at `at` opens, or closes; none when it does
// not, or when its fences are not single lines.
std::optional<CodeBody> openedAt(U16View text, const std::vector<int>& starts, int at);
std::optional<CodeBody> closedAt(U16View text, const std::vector<int>& starts, int at);

} // namespace CodeBodies

} // namespace velkin
