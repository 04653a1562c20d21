#pragma once
// The states a block's tokenizer carries to line starts in the body of one long
// fenced block, kept between keystrokes: an edit is read again from the nearest
// such line before it to the first line after it where the state is as before,
// rather than from the block's start to its end.
#include "highlight/CodeHighlighter.h"
#include "platform/text/Range.h"

#include <optional>
#include <vector>

namespace velkin {

struct CodeLineStates {
    struct Entry {
        int at = 0;  // a line start the tokenizer reached between tokens
        CodeHighlighter::LineState state = 0;
    };
    // The stretch an edit was read again over, and the states found in it.
    struct Reading {
        int from = 0;
        int to = 0;
        std::vector<Entry> found;
    };

    int opener = -1;  // the opening fence's line start; -1 while nothing is kept
    int end = 0;      // the body's end (the closing fence's line start, or the text's end)
    U16String language;
    std::vector<Entry> entries;  // ascending; the first at the body's start
    // The edits since the states were last read, as the text stands now: the
    // states after them are those from before them.
    std::optional<Range> changed;

    bool holds(int blockOpener, U16View blockLanguage) const
    {
        return opener >= 0 && opener == blockOpener && language == blockLanguage;
    }
    void clear();
    // Reads the states of the body [codeStart, end) afresh.
    void read(U16View text, int blockOpener, U16View blockLanguage, int codeStart, int bodyEnd);
    // Keeps the entries in place over a change of `range` (in the new text) by `delta` units.
    void edited(Range range, int delta);
    // Reads the body up to `bodyEnd` again from the last kept line at or before `first`
    // and before every edit, on past `last` and past every edit to a kept line
    // whose state is as before (or to `bodyEnd`). None when the tokens the block's
    // text read alone from there would have differ from those the state there gives.
    std::optional<Reading> reread(U16View text, int first, int last, int bodyEnd) const;
    // Takes a reading in: the states in its stretch are now those it found.
    void adopt(const Reading& reading, int bodyEnd);

private:
    std::optional<Reading> rereadFrom(U16View text, std::vector<Entry>::const_iterator start, int last, int bodyEnd) const;
};

} // namespace velkin
