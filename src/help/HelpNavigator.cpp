#include "help/HelpNavigator.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace velkin {

HelpNavigator::HelpNavigator(HelpBook book)
    : book_(std::move(book))
    , pageID_(u"index")
    , openExternal_([](const U16String& url) {
        QDesktopServices::openUrl(QUrl(QString::fromUtf16(url.data(), qsizetype(url.size()))));
    })
{
}

void HelpNavigator::willChange()
{
    // An observer may add or remove observers while being told.
    const auto current = observers_;
    for (const auto& [id, observer] : current)
        if (observer)
            observer();
}

void HelpNavigator::moveTo(const Destination& place)
{
    willChange();
    pageID_ = place.pageID;
    willChange();
    anchor_ = place.anchor;
}

void HelpNavigator::open(U16View id, std::optional<U16String> anchor)
{
    if (!book_.page(id))
        return;
    if (id == pageID_ && anchor == anchor_) {
        willChange();
        return;
    }
    backStack_.push_back({pageID_, anchor_});
    forwardStack_.clear();
    moveTo({U16String(id), std::move(anchor)});
}

bool HelpNavigator::follow(U16View link)
{
    const HelpLink destination = HelpLink::destination(link, book_);
    switch (destination.kind) {
    case HelpLink::Kind::Page:
        open(destination.pageID, destination.anchor);
        return true;
    case HelpLink::Kind::Anchor:
        open(U16String(pageID_), destination.anchor);
        return true;
    case HelpLink::Kind::External:
        if (openExternal_)
            openExternal_(destination.url);
        return true;
    case HelpLink::Kind::None:
        break;
    }
    return false;
}

void HelpNavigator::goBack()
{
    if (backStack_.empty())
        return;
    const Destination previous = backStack_.back();
    backStack_.pop_back();
    forwardStack_.push_back({pageID_, anchor_});
    moveTo(previous);
}

void HelpNavigator::goForward()
{
    if (forwardStack_.empty())
        return;
    const Destination next = forwardStack_.back();
    forwardStack_.pop_back();
    backStack_.push_back({pageID_, anchor_});
    moveTo(next);
}

void HelpNavigator::setQuery(U16String query)
{
    const bool changed = query != query_;
    willChange();
    query_ = std::move(query);
    if (changed) {
        std::vector<HelpSearchResult> found = HelpSearch::results(query_, book_);
        willChange();
        results_ = std::move(found);
    }
}

int HelpNavigator::addObserver(Observer observer)
{
    const int id = nextObserver_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

void HelpNavigator::removeObserver(int id)
{
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

} // namespace velkin
