#pragma once
// List structure: for every list line, the prefix its text hangs under and whether the list is loose.
#include "platform/text/Range.h"

#include <optional>
#include <utility>
#include <vector>

namespace velkin {

namespace MarkdownSyntax {
struct BlockLines;
struct FenceLine;
}

namespace MarkdownList {

struct Line {
    U16String textIndent;  // the item's prefix up to where its text begins
    U16String lineIndent;  // the line's own leading spaces and tabs
    bool isItemStart = false;
    bool isLoose = false;
    bool operator==(const Line&) const = default;
};

// One entry per line index; lines outside lists (and blank lines) have none.
using LineMap = std::vector<std::optional<Line>>;

// Entries keyed by line start offset, in ascending order.
struct OffsetMap {
    std::vector<std::pair<int, Line>> entries;
    // The entry of the line starting at `offset`, or null (binary search).
    const Line* find(int offset) const;
};

// `fences`: the lines' fence records (MarkdownSyntax::fenceLines).
LineMap lines(const std::vector<U16View>& lineTexts, const std::vector<MarkdownSyntax::FenceLine>& fences);
OffsetMap lines(U16View text);
// The same from a classification of the text that the caller already holds.
OffsetMap lines(const MarkdownSyntax::BlockLines& blockLines);

// The part of an item's prefix its lines hang under: all of it, unless the blanks after the
// marker reach five columns; then the text starts one blank after the marker and the rest is
// the text's own indent, so a run of tabs never hangs the lines past the view's width.
U16View hangingPrefix(U16View textIndent);

} // namespace MarkdownList

} // namespace velkin
