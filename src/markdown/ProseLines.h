#pragma once
// The lines of a text with its fenced and indented code lines marked: what the
// decoration walkers (image lines, task lines, shortcodes) need. Computed once
// per text version and shared by the walkers of one restyle; it holds views
// into the text, which must outlive it unchanged (attributes may change).
#include "markdown/MarkdownSyntax.h"
#include "platform/attributed/AttributedString.h"

namespace velkin {

struct ProseLines {
    explicit ProseLines(U16View text);
    // The lines of a styled text: its grid cells' lines are marked, and read as
    // table rows (never blank) where fences and indented code are found.
    explicit ProseLines(const AttributedString& text);

    U16View text;
    std::vector<LineRange> lines;
    std::vector<U16View> texts;  // each line without its terminator
    MarkdownSyntax::LineFlags fenced;
    MarkdownSyntax::LineFlags code;  // indented code
    MarkdownSyntax::LineFlags cell;  // a line of a grid cell

    size_t count() const { return lines.size(); }
    bool isCode(size_t i) const { return fenced[i] || code[i]; }
};

} // namespace velkin
