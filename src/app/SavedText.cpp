#include "app/SavedText.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace velkin {

namespace {

// How many characters `a` and `b` share from their starts, at most `limit`.
size_t commonPrefix(const char16_t* a, const char16_t* b, size_t limit)
{
    // Whole blocks by memcmp first, which runs far faster than a character loop.
    constexpr size_t block = 256;
    size_t i = 0;
    while (limit - i >= block && std::memcmp(a + i, b + i, block * sizeof(char16_t)) == 0)
        i += block;
    while (i < limit && a[i] == b[i])
        ++i;
    return i;
}

// How many characters the texts ending at `a` and `b` share from their ends, at most `limit`.
size_t commonSuffix(const char16_t* a, const char16_t* b, size_t limit)
{
    constexpr size_t block = 256;
    size_t i = 0;
    while (limit - i >= block && std::memcmp(a - i - block, b - i - block, block * sizeof(char16_t)) == 0)
        i += block;
    while (i < limit && a[-1 - std::ptrdiff_t(i)] == b[-1 - std::ptrdiff_t(i)])
        ++i;
    return i;
}

} // namespace

SavedText::SavedText(U16String text)
{
    save(std::move(text));
}

void SavedText::save(U16String current)
{
    saved_ = std::move(current);
    head_ = saved_.size();
    tail_ = saved_.size();
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
    if (length != saved_.size())
        return true;
    const size_t n = length;
    if (head_ + tail_ >= n)
        return false;
    const U16View current = text();
    // Untouched ends are equal; what lies between is compared from both ends,
    // and what is found equal stays known until an edit reaches it.
    head_ += commonPrefix(current.data() + head_, saved_.data() + head_, n - tail_ - head_);
    if (head_ + tail_ >= n) {
        head_ = tail_ = n;
        return false;
    }
    tail_ += commonSuffix(current.data() + n - tail_, saved_.data() + n - tail_, n - tail_ - head_);
    return true;
}

} // namespace velkin
