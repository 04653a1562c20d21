// The text view's find bar: searching, the highlighted matches with their count,
// and replacing.
#include "platform/view/TextView.h"

#include "platform/text/TextOps.h"
#include "platform/undo/UndoManager.h"
#include "platform/view/FindBar.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

namespace velkin {

namespace {

QString asQString(U16View text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

} // namespace

void TextView::setUsesFindBar(bool uses)
{
    usesFindBar_ = uses;
    if (!uses && findBar_) {
        findBar_->hide();
        layoutFindBar();
        layout_->highlightedRanges.clear();
    }
}

bool TextView::isFindBarVisible() const
{
    return findBar_ && !findBar_->isHidden();
}

void TextView::setFindString(U16View text)
{
    if (findString_ != text) {
        findString_ = U16String(text);
        findMatchesStale_ = true;
    }
    if (findBar_ && findBar_->findField()->text() != asQString(text))
        findBar_->findField()->setText(asQString(text));
    if (isFindBarVisible())
        refreshFind();
}

void TextView::layoutFindBar()
{
    const int height = isFindBarVisible() ? findBar_->sizeHint().height() : 0;
    setViewportMargins(0, height, 0, 0);
    if (!findBar_ || height == 0)
        return;
    const QRect area = contentsRect();
    QRect bar(area.left(), area.top(), area.width(), height);
    // A scroll bar that reaches up beside the bar would cover its buttons: the bar ends where it starts.
    const QScrollBar* scroller = verticalScrollBar();
    const QRect scrollerRect(scroller->mapTo(this, QPoint(0, 0)), scroller->size());
    if (scroller->isVisible() && scrollerRect.intersects(bar))
        bar.setRight(scrollerRect.left() - 1);
    findBar_->setGeometry(bar);
}

bool TextView::validateFindAction(int action) const
{
    if (!usesFindBar_)
        return false;
    switch (FindAction(action)) {
    case FindAction::showFindInterface:
    case FindAction::nextMatch:
    case FindAction::previousMatch:
        return true;
    case FindAction::setSearchString:
        return selection_.length > 0;
    }
    return false;
}

bool TextView::performFindAction(int action)
{
    if (!usesFindBar_)
        return false;
    switch (FindAction(action)) {
    case FindAction::showFindInterface:
        if (!findBar_) {
            findBar_ = new FindBar(*this);
            findBar_->findField()->setText(asQString(findString_));
            // The scroll bar sits in a container of its own; either may move or hide.
            verticalScrollBar()->installEventFilter(findBar_);
            if (QWidget* holder = verticalScrollBar()->parentWidget(); holder && holder != this)
                holder->installEventFilter(findBar_);
        }
        findBar_->setReplaceShown(editable_);
        findBar_->show();
        layoutFindBar();
        findBar_->findField()->setFocus();
        findBar_->findField()->selectAll();
        findMatchesStale_ = true;
        refreshFind();
        return true;
    case FindAction::nextMatch:
        findNextMatch(true);
        return true;
    case FindAction::previousMatch:
        findNextMatch(false);
        return true;
    case FindAction::setSearchString:
        if (selection_.length > 0)
            setFindString(substring(storage_->string(), selection_));
        return true;
    }
    return false;
}

const std::vector<Range>& TextView::findMatches()
{
    if (!findMatchesStale_)
        return findMatches_;
    findMatchesStale_ = false;
    findMatches_.clear();
    if (findString_.empty())
        return findMatches_;
    // A copy, not a view: the matches must not alias text an edit can move.
    const QString haystack = QString::fromStdU16String(storage_->string());
    const QString needle = asQString(findString_);
    for (qsizetype at = haystack.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
         at = haystack.indexOf(needle, at + needle.size(), Qt::CaseInsensitive))
        findMatches_.push_back({int(at), int(needle.size())});
    return findMatches_;
}

void TextView::findNextMatch(bool forward)
{
    if (findString_.empty())
        return;
    const std::vector<Range>& matches = findMatches();
    if (matches.empty()) {
        QApplication::beep();
        refreshFind();
        return;
    }
    const Range* found = nullptr;
    if (forward) {
        auto it = std::lower_bound(matches.begin(), matches.end(), selection_.end(),
                                   [](const Range& m, int at) { return m.location < at; });
        found = it == matches.end() ? &matches.front() : &*it;
    } else {
        auto it = std::lower_bound(matches.begin(), matches.end(), selection_.location,
                                   [](const Range& m, int at) { return m.location < at; });
        found = it == matches.begin() ? &matches.back() : &*(it - 1);
    }
    const Range match = *found;
    anchor_ = match.location;
    setSelection(match, false);
    scrollRangeToVisible(match);
    refreshFind();
}

void TextView::findIncrementally(U16View text)
{
    setFindString(text);
    const Range at = selection_;
    setSelection({at.location, 0}, false);
    if (!findString_.empty())
        findNextMatch(true);
    refreshFind();
}

void TextView::replaceFoundMatch(U16View replacement)
{
    if (!editable_ || findString_.empty())
        return;
    const std::vector<Range>& matches = findMatches();
    const auto it = std::lower_bound(matches.begin(), matches.end(), selection_.location,
                                     [](const Range& m, int at) { return m.location < at; });
    if (it != matches.end() && *it == selection_) {
        endTyping();
        const Range at = selection_;
        // The replacement's line ends are written as the document's, as a paste's are.
        const U16String text = TextOps::withLineEnds(replacement, lineEnding_);
        replaceCharacters(at, text, Range{at.location + int(text.size()), 0});
        findMatchesStale_ = true;
    }
    findNextMatch(true);
}

int TextView::replaceAllMatches(U16View replacement)
{
    if (!editable_ || findString_.empty())
        return 0;
    const std::vector<Range> matches = findMatches();
    if (matches.empty()) {
        QApplication::beep();
        return 0;
    }
    // Matches close together are replaced as one change, from the first to the end of
    // the last: one notice to the delegate. Groups of them far apart are changes of their
    // own, in one undo step, so that the text between is not rewritten; unless there are
    // so many that one change over everything costs less. The text between the matches
    // keeps its attributes (grid cells stay cells); each replacement takes those of the
    // text it replaces.
    constexpr int apart = 4096;
    std::vector<size_t> groupStarts{0};
    for (size_t i = 1; i < matches.size(); ++i)
        if (matches[i].location - matches[i - 1].end() > apart)
            groupStarts.push_back(i);
    const int reach = matches.back().end() - matches.front().location;
    if (groupStarts.size() > 1 + size_t(reach / (2 * apart)))
        groupStarts = {0};
    groupStarts.push_back(matches.size());

    const U16String text = TextOps::withLineEnds(replacement, lineEnding_);
    endTyping();
    UndoManager* undo = allowsUndo_ && groupStarts.size() > 2 ? undoManager() : nullptr;
    if (undo)
        undo->beginUndoGrouping();
    int shift = 0;  // what the groups before changed the length by
    size_t replaced = 0;
    for (size_t g = 0; g + 1 < groupStarts.size(); ++g) {
        const size_t first = groupStarts[g], end = groupStarts[g + 1];
        const Range span = Range::fromTo(matches[first].location + shift, matches[end - 1].end() + shift);
        AttributedString group;
        int from = span.location;
        for (size_t i = first; i < end; ++i) {
            const Range match{matches[i].location + shift, matches[i].length};
            if (match.location > from)
                group.append(storage_->attributedSubstring(Range::fromTo(from, match.location)));
            group.append(AttributedString(text, attributesForInsertion(match)));
            from = match.end();
        }
        const int caret = span.location + group.length();
        if (!replaceText(span, group, Range{caret, 0}))
            break;
        shift += group.length() - span.length;
        replaced = end;
    }
    if (undo)
        undo->endUndoGrouping();
    if (replaced == 0)
        return 0;
    findMatchesStale_ = true;
    scrollRangeToVisible(selection_);
    refreshFind();
    return int(replaced);
}

void TextView::closeFindBar()
{
    if (!findBar_)
        return;
    findBar_->hide();
    layoutFindBar();
    layout_->highlightedRanges.clear();
    viewport()->update();
    setFocus(Qt::OtherFocusReason);
}

void TextView::scheduleFindRefresh()
{
    if (findRefreshScheduled_ || !isFindBarVisible())
        return;
    findRefreshScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        findRefreshScheduled_ = false;
        refreshFind();
    });
}

void TextView::refreshFind()
{
    if (!isFindBarVisible())
        return;
    const std::vector<Range>& matches = findMatches();
    layout_->highlightedRanges = matches;
    const auto it = std::lower_bound(matches.begin(), matches.end(), selection_.location,
                                     [](const Range& m, int at) { return m.location < at; });
    const int current = it != matches.end() && *it == selection_ ? int(it - matches.begin()) + 1 : 0;
    findBar_->setCount(current, int(matches.size()), !findString_.empty());
    viewport()->update();
}

} // namespace velkin
