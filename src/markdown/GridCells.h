#pragma once
// The grid cells of a styled text, and the text as the block scanner must read
// it. A cell is not a line of the document: its text opens no fence, list,
// quote or HTML block and joins no paragraph run, so block-level passes read
// each grid as the bare shape of a pipe table and scan the cell's paragraphs as
// inline text alone. A grid stands where table rows stand in the document, so
// the line right under it reads as it does under the table's last row.
#include "platform/attributed/AttributedString.h"

#include <vector>

namespace velkin {

class GridCells {
public:
    // Reads the cell runs (paragraphs whose style carries a table block) of `text`.
    explicit GridCells(const AttributedString& text);

    // The cell runs in text order (a cell may span several; neighbours may touch).
    const std::vector<Range>& runs() const { return runs_; }
    bool empty() const { return runs_.empty(); }
    bool contains(int index) const;

    // `text` (the string the cells were read from) with every grid rewritten in
    // place as a pipe table of no cells: a line "|" and a delimiter line "|---".
    // Offsets stay. A grid of fewer than five units reads as one table row.
    U16String blanked(U16View text) const;
    // The same shape for a grid's lines taken one by one: each reads as "|".
    static U16View lineStandIn() { return u"|"; }
    // The paragraphs of every cell, terminators excluded, in text order.
    std::vector<Range> paragraphs(U16View text) const;

private:
    std::vector<Range> runs_;
    std::vector<Range> cells_;  // runs_ joined per cell block
};

// The string of `text` as the block scanner reads it (cells blanked).
U16String blockText(const AttributedString& text);

} // namespace velkin
