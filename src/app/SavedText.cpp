#include "app/SavedText.h"

#include "platform/text/TextOps.h"

#include <algorithm>
#include <cstddef>

namespace velkin {

namespace {

// How many of the first `limit` characters of `current` equal the bytes of
// `narrow` taken as characters.
size_t sameNarrow(const char16_t* current, const unsigned char* narrow, size_t limit)
{
    // Whole blocks without a branch per character first, which the compiler vectorises.
    constexpr size_t block = 64;
    size_t i = 0;
    for (; limit - i >= block; i += block) {
        unsigned difference = 0;
        for (size_t k = 0; k < block; ++k)
            difference |= unsigned(current[i + k]) ^ unsigned(narrow[i + k]);
        if (difference)
            break;
    }
    while (i < limit && current[i] == narrow[i])
        ++i;
    return i;
}

// The same backwards: how many of the `limit` characters before `current` and `narrow` are equal.
size_t sameNarrowBefore(const char16_t* current, const unsigned char* narrow, size_t limit)
{
    constexpr size_t block = 64;
    size_t i = 0;
    for (; limit - i >= block; i += block) {
        unsigned difference = 0;
        for (size_t k = 1; k <= block; ++k)
            difference |= unsigned(current[-std::ptrdiff_t(i + k)]) ^ unsigned(narrow[-std::ptrdiff_t(i + k)]);
        if (difference)
            break;
    }
    while (i < limit && current[-1 - std::ptrdiff_t(i)] == narrow[-1 - std::ptrdiff_t(i)])
        ++i;
    return i;
}

} // namespace

SavedText::SavedText(U16View text)
{
    save(text);
}

void SavedText::save(U16View current)
{
    const size_t wide = size_t(std::count_if(current.begin(), current.end(), [](char16_t c) { return c > 0xFF; }));
    std::string narrow;
    std::vector<Wide> wides;
    U16String full;
    // A wide character costs eight bytes beside its byte: past one in eight, the text itself is smaller.
    compact_ = wide * sizeof(Wide) <= current.size();
    if (compact_) {
        narrow.resize(current.size());
        wides.reserve(wide);
        for (size_t i = 0; i < current.size(); ++i) {
            narrow[i] = char(current[i] & 0xFF);
            if (current[i] > 0xFF)
                wides.push_back({uint32_t(i), current[i]});
        }
    } else {
        full = U16String(current);
    }
    // Moved in whole, so that a longer text saved before leaves no room behind.
    narrow_ = std::move(narrow);
    wide_ = std::move(wides);
    full_ = std::move(full);
    length_ = current.size();
    head_ = length_;
    tail_ = length_;
}

U16String SavedText::text() const
{
    if (!compact_)
        return full_;
    U16String text(narrow_.size(), u'\0');
    std::transform(narrow_.begin(), narrow_.end(), text.begin(), [](char c) { return char16_t(static_cast<unsigned char>(c)); });
    for (const Wide& w : wide_)
        text[w.at] = w.unit;
    return text;
}

void SavedText::replaced(size_t oldLength, Range range)
{
    const size_t from = std::min(size_t(std::max(range.location, 0)), oldLength);
    const size_t to = std::min(oldLength, from + size_t(std::max(range.length, 0)));
    head_ = std::min(head_, from);
    tail_ = std::min(tail_, oldLength - to);
}

void SavedText::replacedAll()
{
    head_ = 0;
    tail_ = 0;
}

bool SavedText::differs(U16View current)
{
    return differs(current.size(), [current] { return current; });
}

bool SavedText::differs(const DocumentText& current)
{
    return differs(current.size(), [&current] { return U16View(current.string()); });
}

bool SavedText::differs(size_t length, const std::function<U16View()>& text)
{
    if (length != length_)
        return true;
    const size_t n = length;
    if (head_ + tail_ >= n)
        return false;
    const U16View current = text();
    // Untouched ends are equal; what lies between is compared from both ends,
    // and what is found equal stays known until an edit reaches it.
    head_ += sameFrom(current, head_, n - tail_ - head_);
    if (head_ + tail_ >= n) {
        head_ = tail_ = n;
        return false;
    }
    tail_ += sameBefore(current, n - tail_, n - tail_ - head_);
    return true;
}

size_t SavedText::sameFrom(U16View current, size_t at, size_t limit) const
{
    if (!compact_)
        return TextOps::commonPrefixLength(current.substr(at, limit), U16View(full_).substr(at, limit));
    const auto* narrow = reinterpret_cast<const unsigned char*>(narrow_.data());
    const size_t end = at + limit;
    auto wide = std::lower_bound(wide_.begin(), wide_.end(), at, [](const Wide& w, size_t i) { return w.at < i; });
    size_t i = at;
    while (i < end) {
        // Narrow characters up to the next wide one, then that one.
        const size_t stop = wide != wide_.end() ? std::min(end, size_t(wide->at)) : end;
        i += sameNarrow(current.data() + i, narrow + i, stop - i);
        if (i < stop || i == end || current[i] != wide->unit)
            break;
        ++i;
        ++wide;
    }
    return i - at;
}

size_t SavedText::sameBefore(U16View current, size_t end, size_t limit) const
{
    if (!compact_)
        return TextOps::commonSuffixLength(current.substr(end - limit, limit), U16View(full_).substr(end - limit, limit));
    const auto* narrow = reinterpret_cast<const unsigned char*>(narrow_.data());
    const size_t start = end - limit;
    // The first wide character at or after `end`: the ones before it come next, backwards.
    auto wide = std::lower_bound(wide_.begin(), wide_.end(), end, [](const Wide& w, size_t i) { return w.at < i; });
    size_t i = end;
    while (i > start) {
        const bool wideAhead = wide != wide_.begin() && std::prev(wide)->at >= start;
        const size_t stop = wideAhead ? size_t(std::prev(wide)->at) + 1 : start;
        i -= sameNarrowBefore(current.data() + i, narrow + i, i - stop);
        if (i > stop || i == start || current[i - 1] != std::prev(wide)->unit)
            break;
        --i;
        --wide;
    }
    return end - i;
}

} // namespace velkin
