#pragma once
// The text of a document window as the editor writes it back. A keystroke
// replaces a few characters, yet replacing them in place moves everything after
// them: in a long document that copy costs more than the keystroke's other work.
// So edits that fall within or next to the one before are gathered into one
// pending replacement, which is made when the text is next read.
#include "platform/text/Range.h"

#include <cstdint>
#include <optional>

namespace velkin {

class DocumentText {
public:
    DocumentText() = default;
    explicit DocumentText(U16String text) : text_(std::move(text)), length_(text_.size()) {}

    // The whole text, every edit made.
    const U16String& string() const;
    size_t size() const { return length_; }
    // Counts the changes: equal revisions mean an equal text.
    uint64_t revision() const { return revision_; }

    // The text replaced whole.
    void assign(U16String text);
    // Replaces `range` (clipped to the text) with `by`.
    void replace(Range range, U16View by);
    // Makes the text `text` by replacing only the stretch between what the two
    // share at their start and at their end, so that a long text is not copied
    // whole for a small change. Returns the range replaced (in the text before),
    // none when the texts were equal. `text` is never this text's own string.
    std::optional<Range> replaceDiffering(U16View text);

    // The most a pending replacement gathers before it is made.
    static constexpr size_t pendingLimit = 1 << 16;

private:
    void apply() const;

    // What has to replace text_[from, to) for the text to be whole.
    struct Pending {
        size_t from = 0;
        size_t to = 0;
        U16String by;
    };
    mutable U16String text_;
    mutable std::optional<Pending> pending_;
    size_t length_ = 0;
    uint64_t revision_ = 0;
};

} // namespace velkin
