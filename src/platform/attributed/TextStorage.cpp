#include "platform/attributed/TextStorage.h"

namespace velkin {

int TextStorage::addObserver(Observer observer)
{
    observers_.emplace_back(nextToken_, std::move(observer));
    return nextToken_++;
}

void TextStorage::removeObserver(int token)
{
    std::erase_if(observers_, [&](const auto& o) { return o.first == token; });
}

void TextStorage::edited(bool charactersChanged, Range range, int delta)
{
    if (observers_.empty())
        return;
    if (editing_ == 0) {
        notify({charactersChanged, range, delta});
        return;
    }
    if (!pending_) {
        batch_ = {charactersChanged, range, delta};
        pending_ = true;
        return;
    }
    // Earlier edits' range moves with this one's change in length.
    Range earlier = batch_.range;
    const int oldEnd = range.end() - delta;  // end of the replaced text before this edit
    if (earlier.location >= oldEnd)
        earlier.location += delta;
    else if (earlier.end() > range.location)
        earlier.length = std::max(earlier.end() + delta, range.end()) - earlier.location;
    batch_.range = unionRange(earlier, range);
    batch_.delta += delta;
    batch_.charactersChanged = batch_.charactersChanged || charactersChanged;
}

void TextStorage::endEditing()
{
    if (editing_ > 0 && --editing_ == 0 && pending_) {
        pending_ = false;
        Edit edit = batch_;
        edit.range = intersection(edit.range, Range{0, length()});
        notify(edit);
    }
}

void TextStorage::notify(const Edit& edit)
{
    const auto observers = observers_;
    for (const auto& [token, observer] : observers)
        observer(edit);
}

} // namespace velkin
