#pragma once
// The help window's model: the page shown and where in it, back and forward
// history, and the search field's text with its results. It holds no interface
// objects and can be driven without a window.
#include "help/HelpBook.h"
#include "help/HelpLink.h"
#include "help/HelpSearch.h"

#include <functional>
#include <optional>
#include <vector>

namespace velkin {

class HelpNavigator {
public:
    using Observer = std::function<void()>;
    using ExternalOpener = std::function<void(const U16String& url)>;

    // Starts on the contents page "index", with no anchor, no history and no search.
    explicit HelpNavigator(HelpBook book);
    HelpNavigator(const HelpNavigator&) = delete;
    HelpNavigator& operator=(const HelpNavigator&) = delete;

    const HelpBook& book() const { return book_; }
    const U16String& pageID() const { return pageID_; }
    const std::optional<U16String>& anchor() const { return anchor_; }
    const U16String& query() const { return query_; }
    const std::vector<HelpSearchResult>& results() const { return results_; }
    bool canGoBack() const { return !backStack_.empty(); }
    bool canGoForward() const { return !forwardStack_.empty(); }

    // Shows a page of the book at an anchor, recording the place left in the history.
    // An id the book does not have changes nothing; the place already shown only notifies.
    void open(U16View id, std::optional<U16String> anchor = std::nullopt);
    // Acts on a clicked link target; false when it leads nowhere.
    bool follow(U16View link);
    void goBack();
    void goForward();
    // Stores the search field's text (always notifying) and searches when it changed.
    void setQuery(U16String query);

    // Called before any shown value changes. Returns an id for removeObserver().
    int addObserver(Observer observer);
    void removeObserver(int id);
    // Opens external addresses; the default hands them to the desktop.
    void setExternalOpener(ExternalOpener opener) { openExternal_ = std::move(opener); }

private:
    struct Destination {
        U16String pageID;
        std::optional<U16String> anchor;
        bool operator==(const Destination&) const = default;
    };

    void willChange();
    void moveTo(const Destination& place);

    HelpBook book_;
    U16String pageID_;
    std::optional<U16String> anchor_;
    U16String query_;
    std::vector<HelpSearchResult> results_;
    std::vector<Destination> backStack_;
    std::vector<Destination> forwardStack_;

    std::vector<std::pair<int, Observer>> observers_;
    int nextObserver_ = 1;
    ExternalOpener openExternal_;
};

} // namespace velkin
