#pragma once
// What Return does inside list items, task items and block quotes: start the next line with
// the same leader, or end an empty item by removing its leader.
#include "editor/TextEdit.h"

#include <functional>
#include <optional>

namespace velkin::ListContinuation {

// The leader found at the start of a line.
struct Leader {
    int length = 0;          // quote prefix plus the item's indentation, marker, blanks and task box
    U16String continuation;  // what the next line starts with
    int quoteLength = 0;     // the quote prefix that stays when an empty item ends; 0 for a bare quote line

    bool operator==(const Leader&) const = default;
};

// The leader of one line (without its terminator), or nothing.
std::optional<Leader> parse(U16View line);

// The edit for Return with `selection` in `text`, or nothing when Return is a plain line break.
std::optional<TextEdit> newline(U16View text, Range selection);
// The same with `fenced` telling whether a line (holding a character at least) of the text
// lies in a fenced code block, for a caller that remembers the fences of a long text, and
// `lineEnd` the document's line end (the text's first one when empty).
std::optional<TextEdit> newline(U16View text, Range selection, const std::function<bool(Range line)>& fenced,
                                U16View lineEnd = {});

} // namespace velkin::ListContinuation
