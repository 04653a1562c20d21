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

// A line of a fenced code block (its fence lines included) and what the fence opened in:
// its quote leaders and the list item whose text it stands in.
struct Fence {
    int depth = 0;       // the quote leaders of the opening line
    int column = -1;     // the item's text column, counted after those leaders; -1 in no item
    bool opens = false;  // the line is the opening fence

    bool operator==(const Fence&) const = default;
};
using FenceOfLine = std::function<std::optional<Fence>(Range line)>;

// How the lines of `text` stand to fenced code, read from the text's start.
std::optional<Fence> fenceOf(U16View text, Range line);

// The edit for Return with `selection` in `text`, or nothing when Return is a plain line break.
// In fenced code no list marker is added: a fence in a quotation or a list item keeps the
// quote leaders and the item's indentation on the new line; one in neither gets a plain break.
std::optional<TextEdit> newline(U16View text, Range selection);
// The same with `fenced` telling how a line (holding a character at least) of the text
// stands to fenced code, for a caller that remembers the fences of a long text, and
// `lineEnd` the document's line end (the text's first one when empty).
std::optional<TextEdit> newline(U16View text, Range selection, const FenceOfLine& fenced, U16View lineEnd = {});

} // namespace velkin::ListContinuation
