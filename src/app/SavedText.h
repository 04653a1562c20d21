#pragma once
// The text of a document as last read or saved, and whether the window's text
// still equals it. Told of every edit, it knows how much of the text's start
// and end are untouched since, so the answer after a keystroke compares only
// the stretch the edits reached, not the whole document, and is still exact:
// a character typed and deleted again leaves the document unedited.
//
// It lives beside the document's text for as long as the window is open, so it
// is kept compactly: most Markdown needs one byte for nearly every character.
#include "app/DocumentText.h"
#include "platform/text/Range.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velkin {

class SavedText {
public:
    SavedText() = default;
    // `text` is saved, and the current text equals it.
    explicit SavedText(U16View text);

    // The saved text, made up from what is kept.
    U16String text() const;
    size_t size() const { return length_; }

    // `current` was just saved (or read): it is the saved text now.
    void save(U16View current);
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
    // How many characters of `current` from `at` on equal the saved text's, at most `limit`.
    size_t sameFrom(U16View current, size_t at, size_t limit) const;
    // How many characters of `current` before `end` equal the saved text's, at most `limit`.
    size_t sameBefore(U16View current, size_t end, size_t limit) const;

    // A character that needs more than one byte, and where it stands.
    struct Wide {
        uint32_t at;
        char16_t unit;
    };
    // Kept one of two ways. Where few characters need a second byte, `narrow_`
    // holds every character's low byte and `wide_` those few whole, by position;
    // where many do (most of a text in Cyrillic or Chinese), `full_` holds the text.
    std::string narrow_;
    std::vector<Wide> wide_;
    U16String full_;
    bool compact_ = true;
    size_t length_ = 0;
    // The current text's first `head_` and last `tail_` characters are the saved
    // text's (each at most either length; together they may cover a character twice).
    size_t head_ = 0;
    size_t tail_ = 0;
};

} // namespace velkin
