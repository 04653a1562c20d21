#pragma once

#include "markdown/MarkdownSyntax.h"
#include "platform/text/Range.h"

#include <vector>

namespace velkin {

// The fences as read from a text's start up to some of its line starts, kept
// across edits so that asking at a line reads only the lines since a mark before
// it: one mark every `spacing` lines read, and one at the line asked last. An
// edit drops the marks it touches and shifts those after it; these are trusted
// again once a reading through the edit reaches one of them in the same state
// (the text after an edit is the same, so is every mark up to the next edit).
class FenceMarks {
public:
    explicit FenceMarks(int spacing = 512) : spacing_(spacing) {}

    // The reader as the lines of `text` before `lineStart` (a line's start) leave it.
    MarkdownSyntax::FenceReader readerAt(U16View text, int lineStart);
    // The characters of `range` (in the new text) replaced others, `delta` more of them.
    void edited(Range range, int delta);

private:
    struct Mark {
        int lineStart = 0;
        MarkdownSyntax::FenceReader reader;
        bool trusted = true;
        bool asked = false;
    };
    void place(Mark mark);

    int spacing_;
    std::vector<Mark> marks_;  // by line start
    std::vector<int> edits_;   // where edits not yet read through start, ascending
};

} // namespace velkin
