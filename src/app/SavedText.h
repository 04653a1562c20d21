#pragma once
// The text of a document as last read or saved, and whether the window's text
// still equals it. Told of every edit, it knows how much of the text's start
// and end are untouched since, so the answer after a keystroke compares only
// the stretch the edits reached, not the whole document, and is still exact:
// a character typed and deleted again leaves the document unedited.
#include "app/DocumentText.h"
#include "platform/text/Range.h"

#include <functional>

namespace velkin {

class SavedText {
public:
    SavedText() = default;
    // `text` is saved, and the current text equals it.
    explicit SavedText(U16String text);

    const U16String& text() const { return saved_; }

    // `current` was just saved (or read): it is the saved text now.
    void save(U16String current);
    // `range` of the current text, `oldLength` long before, was replaced.
    void replaced(size_t oldLength, Range range);
    // The current text changed in ways not told: the next check compares it whole.
    void replacedAll();
    // Whether `current`, told of every edit since the last save, differs from the saved text.
    bool differs(U16View current);
    // The same, reading the text only when its length and the edits leave it open.
    bool differs(const DocumentText& current);

private:
    bool differs(size_t length, const std::function<U16View()>& current);

    U16String saved_;
    // The current text's first `head_` and last `tail_` characters are the saved
    // text's (each at most either length; together they may cover a character twice).
    size_t head_ = 0;
    size_t tail_ = 0;
};

} // namespace velkin
