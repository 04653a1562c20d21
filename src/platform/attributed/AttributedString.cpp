#include "platform/attributed/AttributedString.h"

#include <vector>

namespace velkin {

namespace {

const AttributesPtr& emptyAttributes()
{
    static const AttributesPtr empty = std::make_shared<const Attributes>();
    return empty;
}

bool sameAttributes(const AttributesPtr& a, const AttributesPtr& b)
{
    return a == b || *a == *b;
}

} // namespace

AttributedString::AttributedString(U16String text, const Attributes& attributes)
    : text_(std::move(text))
{
    if (!text_.empty())
        runs_.emplace(0, attributes.empty() ? emptyAttributes() : std::make_shared<const Attributes>(attributes));
}

Range AttributedString::clamp(Range range) const
{
    const int n = length();
    const int start = std::clamp(range.location, 0, n);
    const int stop = std::clamp(range.end(), start, n);
    return Range::fromTo(start, stop);
}

int AttributedString::runEnd(Runs::const_iterator it) const
{
    auto next = std::next(it);
    return next == runs_.end() ? length() : int(next->first);
}

AttributedString::Runs::const_iterator AttributedString::runAt(int index) const
{
    auto it = runs_.upper_bound(index);
    return it == runs_.begin() ? it : std::prev(it);
}

const Attributes& AttributedString::attributes(int index, Range* effective) const
{
    if (runs_.empty() || index < 0 || index >= length()) {
        if (effective)
            *effective = Range{std::clamp(index, 0, length()), 0};
        return *emptyAttributes();
    }
    auto it = runAt(index);
    if (effective)
        *effective = Range::fromTo(it->first, runEnd(it));
    return *it->second;
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
        auto it = runAt(index);
        auto back = it;
        while (back != runs_.begin() && start > limit.location) {
            auto prev = std::prev(back);
            if (!sameValue(prev->second->get(key)))
                break;
            start = prev->first;
            back = prev;
        }
        auto fwd = std::next(it);
        while (fwd != runs_.end() && stop < limit.end()) {
            if (!sameValue(fwd->second->get(key)))
                break;
            stop = runEnd(fwd);
            ++fwd;
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
    for (auto it = runAt(range.location); it != runs_.end() && it->first < range.end(); ++it) {
        const Range run = intersection(Range::fromTo(it->first, runEnd(it)), range);
        if (run.length > 0)
            visit(*it->second, run);
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
    enumerateRuns(range, [&](const Attributes&, Range run) {
        auto it = runAt(run.location);
        result.runs_.emplace_hint(result.runs_.end(), run.location - range.location, it->second);
    });
    return result;
}

void AttributedString::splitAt(int index)
{
    if (index <= 0 || index >= length() || runs_.empty())
        return;
    auto it = runAt(index);
    if (it->first != index)
        runs_.emplace_hint(std::next(it), index, it->second);
}

void AttributedString::mergeRuns(int from, int to)
{
    if (runs_.empty())
        return;
    auto it = runAt(std::max(0, from));
    if (it != runs_.begin())
        --it;
    while (it != runs_.end()) {
        auto next = std::next(it);
        if (next == runs_.end() || it->first > to)
            break;
        if (sameAttributes(it->second, next->second))
            runs_.erase(next);
        else
            it = next;
    }
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
    for (auto it = runs_.find(range.location); it != runs_.end() && it->first < range.end(); ++it) {
        if (it->second.get() != lastOld) {
            lastOld = it->second.get();
            Attributes copy = *it->second;
            transform(copy);
            lastNew = copy.empty() ? emptyAttributes() : std::make_shared<const Attributes>(std::move(copy));
        }
        it->second = lastNew;
    }
    mergeRuns(range.location, range.end());
    edited(false, range, 0);
}

void AttributedString::setAttributes(const Attributes& attributes, Range range)
{
    range = clamp(range);
    if (range.length == 0 || runs_.empty()) {
        edited(false, range, 0);
        return;
    }
    splitAt(range.location);
    splitAt(range.end());
    auto first = runs_.find(range.location);
    auto last = runs_.lower_bound(range.end());
    first->second = attributes.empty() ? emptyAttributes() : std::make_shared<const Attributes>(attributes);
    runs_.erase(std::next(first), last);
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
    for (auto it = runs_.lower_bound(from); it != runs_.end(); ++it)
        it->first.value += delta;
}

void AttributedString::replaceCharacters(Range range, const AttributedString& replacement)
{
    range = clamp(range);
    const int added = replacement.length();
    if (range.length == 0 && added == 0)
        return;

    // Remove the replaced characters' runs.
    if (range.length > 0) {
        splitAt(range.location);
        splitAt(range.end());
        runs_.erase(runs_.lower_bound(range.location), runs_.lower_bound(range.end()));
        text_.erase(size_t(range.location), size_t(range.length));
        shiftRuns(range.end(), -range.length);
    }
    // Open a gap and copy the replacement's runs into it.
    if (added > 0) {
        const int at = range.location;
        if (!text_.empty() && at < length())
            splitAt(at);
        text_.insert(size_t(at), replacement.text_);
        shiftRuns(at, added);
        if (replacement.runs_.empty())
            runs_.emplace(at, emptyAttributes());
        for (const auto& [start, attrs] : replacement.runs_)
            runs_.emplace(at + start, attrs);
    }
    if (!text_.empty() && runs_.find(0) == runs_.end()) {
        // Only reachable when everything before the first run was removed.
        auto first = runs_.begin();
        AttributesPtr attrs = first == runs_.end() ? emptyAttributes() : first->second;
        if (first != runs_.end())
            runs_.erase(first);
        runs_.emplace(0, attrs);
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
            inherited = runAt(range.location)->second;
        else if (range.location > 0)
            inherited = runAt(range.location - 1)->second;
        else
            inherited = runs_.begin()->second;
    }
    AttributedString piece;
    piece.text_ = U16String(text);
    if (!text.empty())
        piece.runs_.emplace(0, inherited);
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
    bool equal = true;
    enumerateRuns(Range{0, length()}, [&](const Attributes& a, Range run) {
        if (!equal)
            return;
        for (int i = run.location; i < run.end();) {
            Range theirs;
            const Attributes& b = other.attributes(i, &theirs);
            if (!(a == b)) {
                equal = false;
                return;
            }
            i = std::min(run.end(), theirs.end());
        }
    });
    return equal;
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
