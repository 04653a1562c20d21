#include "editor/FenceMarks.h"

#include "platform/text/Lines.h"

#include <algorithm>
#include <limits>

namespace velkin {

namespace {

// Edits waiting for a reading through them; past this many, the marks after the
// first are dropped rather than kept for checking.
constexpr size_t maxEdits = 64;

} // namespace

void FenceMarks::place(Mark mark)
{
    const auto at = std::lower_bound(marks_.begin(), marks_.end(), mark.lineStart,
                                     [](const Mark& m, int start) { return m.lineStart < start; });
    if (at != marks_.end() && at->lineStart == mark.lineStart) {
        mark.asked = mark.asked || at->asked;
        *at = std::move(mark);
    } else {
        marks_.insert(at, std::move(mark));
    }
}

MarkdownSyntax::FenceReader FenceMarks::readerAt(U16View text, int lineStart)
{
    const int n = int(text.size());
    const int target = std::clamp(lineStart, 0, n);
    // Only the line asked last keeps a mark of its own besides the spaced ones.
    std::erase_if(marks_, [target](const Mark& m) { return m.asked && m.lineStart != target; });

    for (;;) {
        // Read on from the last trusted mark at or before the line.
        MarkdownSyntax::FenceReader reader;
        int p = 0;
        auto mark = std::upper_bound(marks_.begin(), marks_.end(), target,
                                     [](int start, const Mark& m) { return start < m.lineStart; });
        while (mark != marks_.begin()) {
            --mark;
            if (mark->trusted) {
                reader = mark->reader;
                p = mark->lineStart;
                break;
            }
        }
        bool restart = false;
        int lines = 0;
        while (p < target && !restart) {
            const Range content = lineContentRange(text, p);
            reader.read(substring(text, Range::fromTo(p, std::min(content.end(), target))));
            p = std::min(lineRange(text, {p, 0}).end(), target);
            if (p == target)
                break;
            ++lines;
            const auto at = std::lower_bound(marks_.begin(), marks_.end(), p,
                                             [](const Mark& m, int start) { return m.lineStart < start; });
            const bool marked = at != marks_.end() && at->lineStart == p;
            if (marked && !at->trusted && at->reader == reader) {
                // The same state after the edits before it: the marks up to the next
                // edit read as before; read on from the last of them.
                std::erase_if(edits_, [p](int e) { return e < p; });
                const int next = edits_.empty() ? std::numeric_limits<int>::max() : edits_.front();
                for (auto m = at; m != marks_.end() && m->lineStart <= next; ++m)
                    m->trusted = true;
                restart = true;
            } else if (marked) {
                at->reader = reader;
                at->trusted = true;
                lines = 0;
            } else if (lines >= spacing_) {
                place(Mark{p, reader, true, false});
                lines = 0;
            }
        }
        if (restart)
            continue;
        place(Mark{target, reader, true, true});
        return reader;
    }
}

void FenceMarks::edited(Range range, int delta)
{
    const int oldEnd = range.end() - delta;
    // A mark before the edit holds; one after it is shifted to be checked; one in it goes.
    std::erase_if(marks_, [&](const Mark& m) { return m.lineStart >= range.location && m.lineStart <= oldEnd; });
    for (Mark& m : marks_)
        if (m.lineStart > oldEnd) {
            m.lineStart += delta;
            m.trusted = false;
        }
    for (int& e : edits_)
        if (e > range.location)
            e = e >= oldEnd ? e + delta : range.location;
    edits_.push_back(range.location);
    std::sort(edits_.begin(), edits_.end());
    edits_.erase(std::unique(edits_.begin(), edits_.end()), edits_.end());
    // An edit with no mark to check after it is done with.
    const auto lastUnchecked = std::find_if(marks_.rbegin(), marks_.rend(), [](const Mark& m) { return !m.trusted; });
    const int last = lastUnchecked == marks_.rend() ? -1 : lastUnchecked->lineStart;
    std::erase_if(edits_, [last](int e) { return e >= last; });
    if (edits_.size() > maxEdits) {
        std::erase_if(marks_, [](const Mark& m) { return !m.trusted; });
        edits_.clear();
    }
}

} // namespace velkin
