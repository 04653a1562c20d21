#include "app/DocumentText.h"

#include "platform/text/TextOps.h"

#include <algorithm>

namespace velkin {

const U16String& DocumentText::string() const
{
    apply();
    return text_;
}

void DocumentText::apply() const
{
    if (!pending_)
        return;
    TextOps::reserveLength(text_, text_.size() - (pending_->to - pending_->from) + pending_->by.size());
    text_.replace(pending_->from, pending_->to - pending_->from, pending_->by);
    pending_.reset();
}

void DocumentText::assign(U16String text)
{
    text_ = std::move(text);
    pending_.reset();
    length_ = text_.size();
    ++revision_;
}

std::optional<Range> DocumentText::replaceDiffering(U16View text)
{
    const U16View current = string();
    const size_t start = TextOps::commonPrefixLength(current, text);
    if (start == current.size() && start == text.size())
        return std::nullopt;
    const size_t end = TextOps::commonSuffixLength(current.substr(start), text.substr(start));
    const Range replaced{int(start), int(current.size() - start - end)};
    replace(replaced, text.substr(start, text.size() - start - end));
    return replaced;
}

void DocumentText::replace(Range range, U16View by)
{
    const size_t at = std::min(size_t(std::max(range.location, 0)), length_);
    const size_t removed = std::min(size_t(std::max(range.length, 0)), length_ - at);
    ++revision_;
    if (pending_) {
        // Where the pending replacement stands in the whole text.
        const size_t start = pending_->from;
        const size_t end = start + pending_->by.size();
        if (at <= end && at + removed >= start) {
            // Within or next to it: the two become one replacement of the stored text.
            const size_t from = std::min(at, start);
            const size_t stop = std::max(at + removed, end);  // in the whole text
            U16String merged = text_.substr(from, start - from);
            merged += pending_->by;
            const size_t to = pending_->to + (stop - end);
            merged.append(text_, pending_->to, to - pending_->to);
            merged.replace(at - from, removed, by);
            pending_ = Pending{from, to, std::move(merged)};
            length_ = length_ - removed + by.size();
            if (pending_->by.size() > pendingLimit)
                apply();
            return;
        }
        apply();
    }
    pending_ = Pending{at, at + removed, U16String(by)};
    length_ = length_ - removed + by.size();
}

} // namespace velkin
