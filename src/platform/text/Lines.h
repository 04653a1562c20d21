#pragma once
// Line and paragraph enumeration over UTF-16 text.
//
// Lines end at LF, CR, CRLF, NEL (U+0085), LS (U+2028) or PS (U+2029); paragraphs
// end at the same terminators except LS and NEL. A final terminator opens no
// further (empty) line, and an empty text has no lines.
#include "platform/text/Range.h"

#include <vector>

namespace velkin {

struct LineRange {
    Range content;    // the line without its terminator
    Range enclosing;  // the line with its terminator
};

std::vector<LineRange> lineRanges(U16View text);
std::vector<LineRange> paragraphRanges(U16View text);

// The range of whole lines (terminators included) that touch `range`.
Range lineRange(U16View text, Range range);
// The same for paragraphs.
Range paragraphRange(U16View text, Range range);
// The range of the line holding `position` without its terminator.
Range lineContentRange(U16View text, int position);

// Splits at every occurrence of `separator`; "a\n" gives "a" and "" (a final
// separator yields a last empty piece), and "" gives one empty piece.
std::vector<U16View> splitAt(U16View text, char16_t separator);

// Start offsets of the lines given by lineRanges(), with a binary-search lookup.
// Build one per text version and share it between all walkers of that version.
class LineIndex {
public:
    explicit LineIndex(U16View text);
    const std::vector<LineRange>& lines() const { return lines_; }
    int count() const { return static_cast<int>(lines_.size()); }
    // Index of the line whose enclosing range holds `position` (the last line for the end of text); -1 for no lines.
    int lineAt(int position) const;

private:
    std::vector<LineRange> lines_;
};

} // namespace velkin
