#include "platform/attributed/AttributedString.h"

#include "platform/text/TextOps.h"

#include <vector>

namespace velkin {

namespace {

const AttributesPtr& emptyAttributes()
{
    static const AttributesPtr empty = internedAttributes({});
    return empty;
}

bool sameAttributes(const AttributesPtr& a, const AttributesPtr& b)
{
    return a == b || *a == *b;
}

} // namespace

void AttributedString::RunArray::moveGap(size_t at)
{
    if (at < gapAt_)
        std::move_backward(runs_.begin() + std::ptrdiff_t(at), runs_.begin() + std::ptrdiff_t(gapAt_),
                           runs_.begin() + std::ptrdiff_t(gapAt_ + gap_));
    else if (at > gapAt_)
        std::move(runs_.begin() + std::ptrdiff_t(gapAt_ + gap_), runs_.begin() + std::ptrdiff_t(at + gap_),
                  runs_.begin() + std::ptrdiff_t(gapAt_));
    gapAt_ = at;
}

void AttributedString::RunArray::insert(size_t at, Run run)
{
    if (gap_ == 0) {
        // Grows by half again, the new room becoming the gap at the end.
        moveGap(size());
        const size_t room = std::max<size_t>(16, runs_.size() / 2);
        runs_.resize(runs_.size() + room);
        gap_ = room;
    }
    moveGap(at);
    runs_[gapAt_] = std::move(run);
    ++gapAt_;
    --gap_;
}

void AttributedString::RunArray::erase(size_t from, size_t to)
{
    if (to <= from)
        return;
    moveGap(to);
    for (size_t i = from; i < to; ++i)
        runs_[i].attributes.reset();
    gapAt_ = from;
    gap_ += to - from;
}

void AttributedString::RunArray::shiftStarts(size_t from, int delta)
{
    // Over the array as it lies, on either side of the gap, rather than through the
    // index: a long text has many runs after an edit near its start.
    Run* const runs = runs_.data();
    for (size_t i = from; i < gapAt_; ++i)
        runs[i].start += delta;
    for (size_t i = std::max(from, gapAt_) + gap_; i < runs_.size(); ++i)
        runs[i].start += delta;
}

void AttributedString::RunArray::shrinkToFit()
{
    moveGap(size());
    runs_.resize(size());
    runs_.shrink_to_fit();
    gap_ = 0;
}

void AttributedString::releaseSpareRoom()
{
    runs_.shrinkToFit();
    text_.shrink_to_fit();
}

AttributedString::AttributedString(U16String text, const Attributes& attributes)
    : text_(std::move(text))
{
    if (!text_.empty())
        runs_.push_back({0, internedAttributes(attributes)});
}

Range AttributedString::clamp(Range range) const
{
    const int n = length();
    const int start = std::clamp(range.location, 0, n);
    const int stop = std::clamp(range.end(), start, n);
    return Range::fromTo(start, stop);
}

int AttributedString::runEnd(size_t i) const
{
    return i + 1 < runs_.size() ? runs_[i + 1].start : length();
}

size_t AttributedString::runAt(int index) const
{
    const size_t first = firstRunFrom(index + 1);
    return first == 0 ? 0 : first - 1;
}

size_t AttributedString::firstRunFrom(int index) const
{
    size_t low = 0, high = runs_.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (runs_[mid].start < index)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

const Attributes& AttributedString::attributes(int index, Range* effective) const
{
    return *sharedAttributes(index, effective);
}

const AttributesPtr& AttributedString::sharedAttributes(int index, Range* effective) const
{
    if (runs_.empty() || index < 0 || index >= length()) {
        if (effective)
            *effective = Range{std::clamp(index, 0, length()), 0};
        return emptyAttributes();
    }
    const size_t i = runAt(index);
    if (effective)
        *effective = Range::fromTo(runs_[i].start, runEnd(i));
    return runs_[i].attributes;
}

const AttributeValue* AttributedString::attribute(AttributeKey key, int index, Range* effective) const
{
    return attributes(index, effective).get(key);
}

const AttributeValue* AttributedString::attribute(AttributeKey key, int index, Range* longestEffective,
                                                  Range limit) const
{
    Range run;
    const AttributeValue* value = attributes(index, &run).get(key);
    if (!longestEffective)
        return value;
    limit = clamp(limit);
    auto sameValue = [&](const AttributeValue* other) {
        if (!value || !other)
            return value == other;
        return attributeValuesEqual(*value, *other);
    };
    int start = run.location;
    int stop = run.end();
    if (!runs_.empty() && index >= 0 && index < length()) {
        const size_t i = runAt(index);
        for (size_t back = i; back > 0 && start > limit.location; --back) {
            if (!sameValue(runs_[back - 1].attributes->get(key)))
                break;
            start = runs_[back - 1].start;
        }
        for (size_t fwd = i + 1; fwd < runs_.size() && stop < limit.end(); ++fwd) {
            if (!sameValue(runs_[fwd].attributes->get(key)))
                break;
            stop = runEnd(fwd);
        }
    }
    *longestEffective = intersection(Range::fromTo(start, stop), limit);
    return value;
}

const Font* AttributedString::font(int index) const
{
    return attributes(index).font();
}

const ParagraphStyle* AttributedString::paragraphStyle(int index) const
{
    return attributes(index).paragraphStyle();
}

void AttributedString::enumerateRuns(Range range, const std::function<void(const Attributes&, Range)>& visit) const
{
    range = clamp(range);
    if (runs_.empty() || range.length == 0)
        return;
    for (size_t i = runAt(range.location); i < runs_.size() && runs_[i].start < range.end(); ++i) {
        const Range run = intersection(Range::fromTo(runs_[i].start, runEnd(i)), range);
        if (run.length > 0)
            visit(*runs_[i].attributes, run);
    }
}

void AttributedString::enumerateAttribute(AttributeKey key, Range range,
                                          const std::function<void(const AttributeValue*, Range)>& visit,
                                          bool longestEffective) const
{
    if (!longestEffective) {
        enumerateRuns(range, [&](const Attributes& a, Range run) { visit(a.get(key), run); });
        return;
    }
    const AttributeValue* pending = nullptr;
    Range pendingRange{0, 0};
    bool havePending = false;
    enumerateRuns(range, [&](const Attributes& a, Range run) {
        const AttributeValue* v = a.get(key);
        const bool same = havePending
            && ((v == nullptr && pending == nullptr) || (v && pending && attributeValuesEqual(*v, *pending)));
        if (same) {
            pendingRange.length += run.length;
            return;
        }
        if (havePending)
            visit(pending, pendingRange);
        pending = v;
        pendingRange = run;
        havePending = true;
    });
    if (havePending)
        visit(pending, pendingRange);
}

AttributedString AttributedString::attributedSubstring(Range range) const
{
    range = clamp(range);
    AttributedString result;
    result.text_ = text_.substr(size_t(range.location), size_t(range.length));
    if (runs_.empty() || range.length == 0)
        return result;
    for (size_t i = runAt(range.location); i < runs_.size() && runs_[i].start < range.end(); ++i)
        result.runs_.push_back({std::max(runs_[i].start, range.location) - range.location, runs_[i].attributes});
    return result;
}

void AttributedString::splitAt(int index)
{
    if (index <= 0 || index >= length() || runs_.empty())
        return;
    const size_t i = runAt(index);
    if (runs_[i].start != index)
        runs_.insert(i + 1, Run{index, runs_[i].attributes});
}

void AttributedString::mergeRuns(int from, int to)
{
    if (runs_.empty())
        return;
    size_t i = runAt(std::max(0, from));
    if (i > 0)
        --i;
    // Compacts in place: each run equal to the last kept one is dropped.
    size_t kept = i;
    size_t j = i + 1;
    for (; j < runs_.size(); ++j) {
        if (runs_[kept].start > to)
            break;
        if (sameAttributes(runs_[kept].attributes, runs_[j].attributes))
            continue;
        ++kept;
        if (kept != j)
            runs_[kept] = std::move(runs_[j]);
    }
    if (kept + 1 == j)
        return;
    runs_.erase(kept + 1, j);
}

template <class F> void AttributedString::modifyRuns(Range range, F transform)
{
    range = clamp(range);
    if (range.length == 0 || runs_.empty())
        return;
    splitAt(range.location);
    splitAt(range.end());
    // Runs that shared a dictionary before share the new one too.
    const Attributes* lastOld = nullptr;
    AttributesPtr lastNew;
    for (size_t i = firstRunFrom(range.location); i < runs_.size() && runs_[i].start < range.end(); ++i) {
        if (runs_[i].attributes.get() != lastOld) {
            lastOld = runs_[i].attributes.get();
            Attributes copy = *runs_[i].attributes;
            transform(copy);
            lastNew = internedAttributes(std::move(copy));
        }
        runs_[i].attributes = lastNew;
    }
    mergeRuns(range.location, range.end());
    edited(false, range, 0);
}

void AttributedString::setAttributes(const Attributes& attributes, Range range)
{
    setAttributes(clamp(range).length == 0 ? emptyAttributes() : internedAttributes(attributes), range);
}

void AttributedString::setAttributes(const AttributesPtr& attributes, Range range)
{
    range = clamp(range);
    if (range.length == 0 || runs_.empty()) {
        edited(false, range, 0);
        return;
    }
    splitAt(range.location);
    splitAt(range.end());
    const size_t first = firstRunFrom(range.location);
    const size_t last = firstRunFrom(range.end());
    runs_[first].attributes = attributes && !attributes->empty() ? attributes : emptyAttributes();
    runs_.erase(first + 1, last);
    mergeRuns(range.location, range.end());
    edited(false, range, 0);
}

void AttributedString::addAttribute(AttributeKey key, AttributeValue value, Range range)
{
    modifyRuns(range, [&](Attributes& a) { a.set(key, value); });
}

void AttributedString::addAttributes(const Attributes& attributes, Range range)
{
    modifyRuns(range, [&](Attributes& a) {
        for (const auto& [key, value] : attributes.entries())
            a.set(key, value);
    });
}

void AttributedString::removeAttribute(AttributeKey key, Range range)
{
    modifyRuns(range, [&](Attributes& a) { a.remove(key); });
}

void AttributedString::shiftRuns(int from, int delta)
{
    if (delta == 0)
        return;
    runs_.shiftStarts(firstRunFrom(from), delta);
}

void AttributedString::replaceCharacters(Range range, const AttributedString& replacement)
{
    range = clamp(range);
    const int added = replacement.length();
    if (range.length == 0 && added == 0)
        return;

    // Text in one dictionary put in next to a run of the same, or characters taken
    // from inside one run that keeps some: that run grows or shrinks and the runs
    // after it move, none split, so the array's gap stays where it was.
    if (!runs_.empty() && (range.length == 0) != (added == 0)) {
        const int at = range.location;
        int shiftFrom = -1;
        if (added > 0 && replacement.runs_.size() == 1) {
            const AttributesPtr& with = replacement.runs_[0].attributes;
            if (at > 0 && sameAttributes(runs_[runAt(at - 1)].attributes, with))
                shiftFrom = at;  // joins the run before, pushing any that starts here
            else if (at < length() && runs_[runAt(at)].start == at && sameAttributes(runs_[runAt(at)].attributes, with))
                shiftFrom = at + 1;  // joins the run that starts here
        } else if (added == 0) {
            const size_t i = runAt(at);
            if (range.end() <= runEnd(i) && !(runs_[i].start == at && range.end() == runEnd(i)))
                shiftFrom = range.end();
        }
        if (shiftFrom >= 0) {
            if (added > 0) {
                TextOps::reserveLength(text_, text_.size() + size_t(added));
                text_.insert(size_t(at), replacement.text_);
            } else {
                text_.erase(size_t(at), size_t(range.length));
            }
            shiftRuns(shiftFrom, added - range.length);
            edited(true, Range{at, added}, added - range.length);
            return;
        }
    }

    // Remove the replaced characters' runs.
    if (range.length > 0) {
        splitAt(range.location);
        splitAt(range.end());
        runs_.erase(firstRunFrom(range.location), firstRunFrom(range.end()));
        text_.erase(size_t(range.location), size_t(range.length));
        shiftRuns(range.end(), -range.length);
    }
    // Open a gap and copy the replacement's runs into it.
    if (added > 0) {
        const int at = range.location;
        if (!text_.empty() && at < length())
            splitAt(at);
        TextOps::reserveLength(text_, text_.size() + size_t(added));
        text_.insert(size_t(at), replacement.text_);
        shiftRuns(at, added);
        size_t where = firstRunFrom(at);
        if (replacement.runs_.empty())
            runs_.insert(where, {at, emptyAttributes()});
        for (size_t i = 0; i < replacement.runs_.size(); ++i)
            runs_.insert(where++, {at + replacement.runs_[i].start, replacement.runs_[i].attributes});
    }
    if (!text_.empty() && (runs_.empty() || runs_.front().start != 0)) {
        // Only reachable when everything before the first run was removed.
        if (runs_.empty())
            runs_.push_back({0, emptyAttributes()});
        else
            runs_.front().start = 0;
    }
    if (text_.empty())
        runs_.clear();
    mergeRuns(range.location, range.location + added);
    edited(true, Range{range.location, added}, added - range.length);
}

void AttributedString::replaceCharacters(Range range, U16View text)
{
    range = clamp(range);
    AttributesPtr inherited = emptyAttributes();
    if (!runs_.empty()) {
        if (range.length > 0)
            inherited = runs_[runAt(range.location)].attributes;
        else if (range.location > 0)
            inherited = runs_[runAt(range.location - 1)].attributes;
        else
            inherited = runs_.front().attributes;
    }
    AttributedString piece;
    piece.text_ = U16String(text);
    if (!text.empty())
        piece.runs_.push_back({0, inherited});
    replaceCharacters(range, piece);
}

void AttributedString::append(U16View text, const Attributes& attributes)
{
    replaceCharacters(Range{length(), 0}, AttributedString(U16String(text), attributes));
}

bool AttributedString::operator==(const AttributedString& other) const
{
    if (text_ != other.text_)
        return false;
    for (size_t i = 0; i < runs_.size(); ++i) {
        const int stop = runEnd(i);
        for (int at = runs_[i].start; at < stop;) {
            Range theirs;
            const Attributes& b = other.attributes(at, &theirs);
            if (!(*runs_[i].attributes == b))
                return false;
            at = std::min(stop, theirs.end());
        }
    }
    return true;
}

void AttributedString::edited(bool, Range, int) {}

void raiseMinimumLineHeight(AttributedString& text, Range range, double height)
{
    std::vector<std::pair<Range, ParagraphStylePtr>> raised;
    text.enumerateAttribute(AttributeKey::ParagraphStyle, range, [&](const AttributeValue* value, Range run) {
        const ParagraphStylePtr* style = value ? std::get_if<ParagraphStylePtr>(value) : nullptr;
        if (!style || !*style || (*style)->minimumLineHeight >= height)
            return;
        auto copy = std::make_shared<ParagraphStyle>(**style);
        copy->minimumLineHeight = height;
        raised.push_back({run, copy});
    }, true);
    for (const auto& [run, style] : raised)
        text.addAttribute(AttributeKey::ParagraphStyle, style, run);
}

} // namespace velkin
