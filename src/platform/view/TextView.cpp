#include "platform/view/TextView.h"

#include <malloc.h>

#include "platform/pasteboard/Pasteboard.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "platform/undo/UndoManager.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QRegion>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#ifdef VELKIN_TRACE_PAINT
#include <cstdio>
#include <ctime>
#endif

namespace velkin {

// How to undo one change: put `text` back in place of `range` of the current text.
struct TextView::UndoRecord {
    Range range;
    AttributedString text;
    unsigned generation = 0;  // undo steps from before a change behind the view's back are void
    // The selection the change found, which taking it back puts back, and the one it left, which
    // taking it forward again puts back: each in the text of its moment.
    Selected selectionBefore;
    Selected selectionAfter;
    // Names `text`: a new name whenever it changes (see changeRecord()).
    uint64_t name = 0;
};

namespace {

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Base).lightnessF() < 0.5 ? Appearance::Dark : Appearance::Light;
}

} // namespace

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setUp();
}

TextView::TextView(const QRectF& frame, QWidget* parent) : QAbstractScrollArea(parent)
{
    setUp();
    setGeometry(frame.toRect());
}

TextView::~TextView()
{
    // The layout observes the storage: it goes first.
    layout_.reset();
    if (storage_)
        storage_->removeObserver(storageObserver_);
}

void TextView::setUp()
{
    storage_ = std::make_unique<TextStorage>();
    layout_ = std::make_unique<LayoutManager>(storage_.get());
    storageObserver_ = storage_->addObserver([this](const TextStorage::Edit& edit) { storageEdited(edit); });
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    appearance_ = appearanceOf(palette());
    layout_->appearance = appearance_;
    noteOpaqueness();
}

void TextView::replaceLayoutManager(std::unique_ptr<LayoutManager> layout)
{
    if (!layout)
        return;
    layout_ = std::move(layout);
    layout_->setTextStorage(storage_.get());
    layout_->appearance = appearance_;
    layout_->setTextContainer(container_);
    layoutDocument();
    viewport()->update();
}

void TextView::setString(U16View text)
{
    unmarkText();
    endTyping();
    ownChange_ = true;
    storage_->replaceCharacters({0, storage_->length()}, AttributedString(U16String(text), typingAttributes_));
    ownChange_ = false;
    selection_ = wholeCharacters({std::min(selection_.location, storage_->length()), 0});
    anchor_ = selection_.location;
    layoutDocument();
}

void TextView::setAttributedString(const AttributedString& text)
{
    unmarkText();
    endTyping();
    sameCharacters_ = text.string() == storage_->string();
    storage_->replaceCharacters({0, storage_->length()}, text);
    sameCharacters_ = false;
    layoutDocument();
}

// ---- Geometry ----

void TextView::setTextContainerInset(QSizeF inset)
{
    // The place at the top of the view stays where it is: at first the top of the
    // text, the inset above it, not the text's first line at the view's edge.
    if (!correctingScroll_)
        scrollAnchor_ = layout_->anchorAt(verticalScrollBar()->value() - inset.height());
    inset_ = inset;
    layoutDocument();
    viewport()->update();
}

void TextView::setLineFragmentPadding(double padding)
{
    padding_ = padding;
    layoutDocument();
    viewport()->update();
}

double TextView::contentWidth() const
{
    // A view that was never shown has had no resize event: its own width stands in for the viewport's.
    return isVisible() ? viewport()->width() : width();
}

int TextView::visibleHeight() const
{
    return isVisible() ? viewport()->height() : height();
}

const TextContainer& TextView::textContainer()
{
    TextContainer wanted = container_;
    wanted.width = std::max(1.0, contentWidth() - 2 * inset_.width());
    wanted.lineFragmentPadding = padding_;
    if (wanted.width != container_.width || wanted.lineFragmentPadding != container_.lineFragmentPadding
        || wanted.width != layout_->textContainer().width) {
        container_ = wanted;
        layout_->setTextContainer(container_);
    }
    return container_;
}

QPointF TextView::containerPoint(QPointF p) const
{
    return QPointF(p.x() - inset_.width(), p.y() + verticalScrollBar()->value() - inset_.height());
}

QPointF TextView::viewportPoint(QPointF p) const
{
    return QPointF(p.x() + inset_.width(), p.y() - verticalScrollBar()->value() + inset_.height());
}

QRectF TextView::visibleContainerRect() const
{
    return QRectF(containerPoint(QPointF(0, 0)), QSizeF(contentWidth(), visibleHeight()));
}

double TextView::documentHeight()
{
    textContainer();
    return layout_->usedHeight() + 2 * inset_.height();
}

void TextView::updateScrollRange()
{
    const int range = std::max(0, int(std::ceil(documentHeight())) - visibleHeight());
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, range);
    bar->setPageStep(std::max(1, visibleHeight()));
    bar->setSingleStep(20);
}

void TextView::setLaysOutLazily(bool lazy)
{
    lazyLayout_ = lazy;
    layoutDocument();
}

void TextView::keepScrollAnchor()
{
    if (!layout_->laysOutLazily())
        return;
    updateScrollRange();
    QScrollBar* bar = verticalScrollBar();
    const int target = int(std::lround(layout_->anchorY(scrollAnchor_) + inset_.height()));
    if (bar->value() != target) {
        correctingScroll_ = true;
        bar->setValue(target);
        correctingScroll_ = false;
    }
}

void TextView::layoutVisible()
{
    // Laying out what shows can correct the heights above it, which moves what shows.
    QScrollBar* bar = verticalScrollBar();
    for (int round = 0; round < 4; ++round) {
        layout_->ensureLayout(visibleContainerRect());
        const int before = bar->value();
        keepScrollAnchor();
        if (bar->value() == before)
            break;
    }
}

void TextView::scheduleLayout()
{
    // Shown views lay out once the changes of this turn are done; others when asked.
    if (layoutScheduled_ || !isVisible())
        return;
    layoutScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        layoutScheduled_ = false;
        layoutDocument();
    });
}

void TextView::layoutDocument()
{
    textContainer();
    const bool lazy = lazyLayout_ && storage_->length() >= lazyLayoutLength;
    layout_->setLaysOutLazily(lazy);
    if (!lazy) {
        idleLayout_.stop();
        layout_->ensureLayout();
        updateScrollRange();
    } else {
        layoutVisible();
        if (!layout_->isLayoutComplete() && !idleLayout_.isActive())
            idleLayout_.start(0, this);
    }
    flushRepaint();
}

void TextView::repaintAll()
{
    repaintAll_ = true;
    changedCharacters_.reset();
    viewport()->update();
}

void TextView::noteChanged(const TextStorage::Edit& edit)
{
    if (repaintAll_ || !isVisible()) {
        repaintAll();
        return;
    }
    Range changed = edit.range;
    if (changedCharacters_) {
        // The earlier changes, moved over this one, with it.
        const int oldEnd = edit.range.end() - edit.delta;
        auto moved = [&](int position) {
            return position >= oldEnd ? position + edit.delta : std::min(position, edit.range.end());
        };
        changed = Range::fromTo(std::min(changed.location, moved(changedCharacters_->location)),
                                std::max(changed.end(), moved(changedCharacters_->end())));
        changedDelta_ += edit.delta;
    } else {
        changedAtScroll_ = verticalScrollBar()->value();
        changedDelta_ = edit.delta;
    }
    changedCharacters_ = changed;
}

QRect TextView::caretInViewport()
{
    const QRectF caret = layout_->caretRect(std::min(selection_.location, storage_->length()));
    if (caret.isNull())
        return viewport()->rect();
    // A pixel more each side, for the caret's rounding to whole device pixels.
    return QRectF(viewportPoint(caret.topLeft()), caret.size()).toAlignedRect().adjusted(-2, -1, 2, 1);
}

void TextView::flushRepaint()
{
    if (!changedCharacters_) {
        repaintAll_ = false;
        return;
    }
    // Kept until the next paint: the lines it left on screen are compared with them.
    const Range changed = *changedCharacters_;
    const int n = storage_->length();
    const auto spansLines = [&](int at) {
        // Blocks drawn across their lines (cards, panels, grids) change above a change in them.
        const Attributes& attributes = storage_->attributes(at);
        const ParagraphStyle* style = attributes.paragraphStyle();
        return attributes.has(AttributeKey::CodeBlockFill) || attributes.has(AttributeKey::AlertBlock)
            || (style && style->tableBlock());
    };
    const int first = std::min(changed.location, n - 1);
    if (repaintAll_ || n == 0 || first < 0 || selection_.length > 0 || verticalScrollBar()->value() != changedAtScroll_
        || (changed.end() >= n && !layout_->extraLineFragmentRect().isNull())) {
        repaintAll();
        repaintAll_ = false;
        return;
    }
    // What shows: a change below it shows nothing, and the lines above it or below
    // it are not looked at (nor laid out for it: a long change's, or one far above).
    const Range shown = layout_->glyphRange(visibleContainerRect());
    if (first > shown.end()) {
        viewport()->update(caretShown_);
        viewport()->update(caretInViewport());
        return;
    }
    Range line;
    double top = layout_->lineFragmentRect(first, &line).top();
    if (line.location > 0) {
        // The line above may take a word from the changed one, or give one to it.
        Range above;
        top = std::min(top, layout_->lineFragmentRect(line.location - 1, &above).top());
        line = Range::fromTo(above.location, line.end());
    }
    if (spansLines(line.location) || spansLines(first) || spansLines(std::min(changed.end(), n - 1))) {
        repaintAll();
        repaintAll_ = false;
        return;
    }
    const int y = std::max(0, int(std::floor(viewportPoint(QPointF(0, top)).y())) - 1);
    // Down to the first line after the change that starts on the same text at the same
    // height as a line on screen: what follows it is laid out as before.
    const double shownBottom = visibleContainerRect().bottom();
    double bottom = HUGE_VAL;
    for (int g = std::max({changed.end(), line.end(), shown.location}); g < std::min(n, shown.end()) && bottom == HUGE_VAL;) {
        Range next;
        const double nextTop = layout_->lineFragmentRect(g, &next).top();
        if (nextTop > shownBottom || next.empty())
            break;
        if (next.location >= changed.end()) {
            const std::pair<int, double> was{next.location - changedDelta_, nextTop};
            if (std::binary_search(linesShown_.begin(), linesShown_.end(), was))
                bottom = nextTop;
        }
        g = next.end();
    }
    // A few pixels past it, for what reaches a little past its lines.
    const int height = bottom == HUGE_VAL ? viewport()->height()
                                          : int(std::ceil(viewportPoint(QPointF(0, bottom)).y())) + 8 - y;
    if (y < viewport()->height() && height > 0)
        viewport()->update(QRect(0, y, viewport()->width(), height));
    viewport()->update(caretShown_);
    viewport()->update(caretInViewport());
}

int TextView::characterIndexForPoint(QPointF p)
{
    textContainer();
    return layout_->characterIndex(containerPoint(p));
}

int TextView::glyphCharacterIndex(QPointF p)
{
    textContainer();
    if (storage_->length() == 0)
        return -1;
    const QPointF at = containerPoint(p);
    const int glyph = layout_->glyphIndex(at);
    const QRectF box = layout_->boundingRect({glyph, 1});
    if (!box.contains(at) || glyph >= storage_->length())
        return -1;
    return layout_->characterIndexForGlyph(glyph);
}

QRect TextView::firstRectForCharacterRange(Range range)
{
    textContainer();
    QRectF rect = layout_->caretRect(range.location);
    if (range.length > 0) {
        Range line;
        layout_->lineFragmentRect(range.location, &line);
        const QRectF box = layout_->boundingRect(intersection(range, line).empty() ? range : intersection(range, line));
        if (!box.isNull())
            rect = box;
    }
    const QRectF inView(viewportPoint(rect.topLeft()), rect.size());
    return QRect(viewport()->mapToGlobal(inView.topLeft().toPoint()), inView.size().toSize());
}

// The rectangle a range covers, as far as scrolling asks. A range of many screens
// (all of a long text, selected or brought back by an undo) is measured by its
// first and last lines: past two screens tall it is scrolled to its top whatever
// lies between, which would otherwise be laid out whole to learn only that.
QRectF TextView::rangeExtent(Range range)
{
    constexpr int measuredWhole = 1 << 14;
    const Range glyphs = layout_->glyphRange(range);
    if (glyphs.length <= measuredWhole)
        return layout_->boundingRect(glyphs);
    const QRectF first = layout_->boundingRect({glyphs.location, 1});
    const QRectF last = layout_->boundingRect({glyphs.end() - 1, 1});
    if (last.bottom() - first.top() < 2 * visibleHeight())
        return layout_->boundingRect(glyphs);
    return first.united(last);
}

void TextView::scrollRangeToVisible(Range range)
{
    textContainer();
    layoutDocument();
    if (layout_->laysOutLazily()) {
        // A screen around the range is laid out first, so that the range stays
        // where it is scrolled to when what shows around it is laid out.
        for (int round = 0; round < 2; ++round) {
            const QRectF at = layout_->caretRect(std::min(range.location, storage_->length()));
            layout_->ensureLayout(at.adjusted(0, -visibleHeight(), 0, visibleHeight()));
        }
    }
    QRectF rect = range.length > 0 ? rangeExtent(range) : layout_->caretRect(range.location);
    if (rect.isNull())
        rect = layout_->caretRect(std::min(range.location, storage_->length()));
    double top = rect.top() + inset_.height();
    double bottom = rect.bottom() + inset_.height();
    // On the first line (or row) the inset above it shows too, as when the text opens;
    // on the last, the inset below.
    const int n = storage_->length();
    if (n > 0 && range.location < n && layout_->lineBandRect(range.location).top() <= 0)
        top = 0;
    const bool onExtraLine = range.end() >= n && !layout_->extraLineFragmentRect().isNull();
    const int last = std::clamp(range.end() - (range.length > 0 ? 1 : 0), 0, std::max(0, n - 1));
    if (onExtraLine || (n > 0 && layout_->lineBandRect(last).bottom() >= layout_->usedHeight() - 0.5))
        bottom = documentHeight();
    QScrollBar* bar = verticalScrollBar();
    const int height = visibleHeight();
    int value = bar->value();
    if (bottom > value + height)
        value = int(std::ceil(bottom)) - height;
    if (top < value)
        value = int(std::floor(top));
    bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
}

// ---- Settings ----

void TextView::setEditable(bool editable)
{
    editable_ = editable;
    if (editable)
        selectable_ = true;
    setAttribute(Qt::WA_InputMethodEnabled, editable);
    viewport()->update();
}

void TextView::setSelectable(bool selectable)
{
    selectable_ = selectable;
    if (!selectable)
        editable_ = false;
    viewport()->setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void TextView::setDrawsBackground(bool draws)
{
    drawsBackground_ = draws;
    noteOpaqueness();
    viewport()->update();
}

void TextView::setBackgroundColor(const Color& color)
{
    background_ = color;
    noteOpaqueness();
    viewport()->update();
}

void TextView::noteOpaqueness()
{
    // A text drawn on an opaque background of its own covers what lies under it,
    // which then is not painted first at every repaint.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent,
                             drawsBackground_ && background_.toQColor(appearance_).alpha() == 255);
}

// ---- Selection ----

void TextView::setSelectedRange(Range range)
{
    const int n = storage_->length();
    const int start = std::clamp(range.location, 0, n);
    const int stop = std::clamp(range.location + std::max(range.length, 0), start, n);
    // Never inside a character: a caret stays a caret.
    const Range whole = wholeCharacters(Range::fromTo(start, stop));
    anchor_ = whole.location;
    const bool changed = whole != selection_;
    setSelection(whole, false);
    if (!changed) {
        // Asked for explicitly: the delegate hears of it even when nothing moved.
        if (changing_ > 0)
            selectionPending_ = true;
        else if (delegate_)
            delegate_->textViewDidChangeSelection(*this);
    }
}

void TextView::setSelection(Range range, bool keepTyping, bool keepGoalX)
{
    const int n = storage_->length();
    range.location = std::clamp(range.location, 0, n);
    range.length = std::clamp(range.length, 0, n - range.location);
    range = wholeCharacters(range);
    if (!keepGoalX)
        goalX_.reset();
    if (!keepTyping)
        endTyping();
    if (range == selection_)
        return;
    // A caret that only moves needs its old and new places drawn; a selection all of it.
    const bool caretMove = range.length == 0 && selection_.length == 0;
    selection_ = range;
    updateTypingAttributes();
    restartBlink();
    if (caretMove && isVisible()) {
        // Inside a change the layout waits for its end: the flush of the change draws the new place.
        viewport()->update(caretShown_);
        if (!changedCharacters_)
            viewport()->update(caretInViewport());
    } else {
        repaintAll();
    }
    scheduleFindRefresh();
    if (changing_ > 0)
        selectionPending_ = true;
    else if (delegate_)
        delegate_->textViewDidChangeSelection(*this);
}

void TextView::updateTypingAttributes()
{
    // Typed text continues the text it goes into (see attributesForInsertion), never a link.
    if (storage_->length() == 0)
        return;
    Attributes attributes = attributesForInsertion({selection_.location, 0});
    attributes.remove(AttributeKey::Link);
    typingAttributes_ = attributes;
}

void TextView::storageEdited(const TextStorage::Edit& edit)
{
    noteChanged(edit);
    if (!edit.charactersChanged) {
        // Attributes alone can change heights too (a picture line that takes its
        // picture's height once it has loaded): the scroll range must follow.
        scheduleLayout();
        return;
    }
    findMatchesStale_ = true;
    scheduleFindRefresh();
    // A text that turns long in one edit (a paste, the undo of deleting all of it)
    // is laid out lazily at once: a question asked of the layout before the next
    // layout pass would otherwise lay all of it out.
    if (lazyLayout_)
        layout_->setLaysOutLazily(storage_->length() >= lazyLayoutLength);
    if (!ownChange_ && !sameCharacters_) {
        // Someone else changed the characters: what the view remembered about them is gone.
        endTyping();
        marked_.reset();
        ++generation_;
        if (ownUndo_)
            ownUndo_->removeAllActions();
    }
    // Keep the selection on the same text, or after the replacement when it was inside it.
    const int oldEnd = edit.range.end() - edit.delta;
    int start = selection_.location, stop = selection_.end();
    auto adjust = [&](int position) {
        if (position >= oldEnd)
            return position + edit.delta;
        if (position <= edit.range.location)
            return position;
        return edit.range.end();
    };
    start = adjust(start);
    stop = std::max(start, adjust(stop));
    const int n = storage_->length();
    start = std::clamp(start, 0, n);
    stop = std::clamp(stop, start, n);
    // An edit next to the selection may have made a character of its edge and what it put there.
    const Range moved = wholeCharacters(Range::fromTo(start, stop));
    anchor_ = std::clamp(anchor_ >= oldEnd ? anchor_ + edit.delta : std::min(anchor_, n), 0, n);
    // The place shown at the top stays on its text; a change right there (or of everything) leaves it.
    if (scrollAnchor_.character > edit.range.location)
        scrollAnchor_.character = adjust(scrollAnchor_.character);
    scrollAnchor_.character = std::clamp(scrollAnchor_.character, 0, n);
    if (moved != selection_) {
        selection_ = moved;
        if (changing_ > 0)
            selectionPending_ = true;
    }
    scheduleLayout();
}

// ---- The road ----

UndoManager* TextView::undoManager()
{
    if (delegate_)
        if (UndoManager* manager = delegate_->undoManagerForTextView(*this))
            return manager;
    if (!ownUndo_)
        ownUndo_ = std::make_unique<UndoManager>();
    return ownUndo_.get();
}

bool TextView::shouldChangeText(Range range, int replacementLength)
{
    if (!editable_ || range.location < 0 || range.length < 0 || range.end() > storage_->length()
        || replacementLength < 0)
        return false;
    recordMade_ = 0;
    if (allowsUndo_ && !suppressUndo_)
        registerUndo(range, replacementLength);
    return true;
}

void TextView::registerUndo(Range range, int replacementLength)
{
    UndoManager* manager = undoManager();
    if (!manager)
        return;
    // A change before this one (of the same command, or of one whose event is not done) ends with the selection now.
    settleUndoSelection();
    if (joinPending_) {
        // This change belongs to the joined step: its record already restores the text before both.
        joinPending_ = false;
        settleUndoSelectionLater(joinRecord_);
        return;
    }
    const Selected now{selection_, anchor_};
    auto record = std::make_shared<UndoRecord>(
        UndoRecord{{range.location, replacementLength}, storage_->attributedSubstring(range), generation_, now, now, ++recordNames_});
    if (reversing_) {
        // The redo of an undone change: it puts back the selections of the change it repeats.
        record->selectionBefore = reversing_->first;
        record->selectionAfter = reversing_->second;
    } else {
        settleUndoSelectionLater(record);
    }
    lastRecord_ = record;
    recordMade_ = record->name;
    QPointer<TextView> view(this);
    manager->registerUndo([view, record] {
        if (view)
            view->undoChange(record);
    });
}

void TextView::settleUndoSelection()
{
    if (unsettled_)
        unsettled_->selectionAfter = Selected{selection_, anchor_};
    unsettled_.reset();
}

void TextView::settleUndoSelectionLater(const std::shared_ptr<UndoRecord>& record)
{
    unsettled_ = record;
    if (settleScheduled_ || !record)
        return;
    settleScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        settleScheduled_ = false;
        settleUndoSelection();
    });
}

void TextView::undoChange(const std::shared_ptr<UndoRecord>& record)
{
    endTyping();
    unmarkText();
    if (record->generation != generation_ || record->range.location < 0 || record->range.end() > storage_->length())
        return;  // the text changed behind the view's back: nothing safe to restore
    // The text and the selection as they were before the change; its redo, as they were after it.
    reversing_ = std::pair{record->selectionAfter, record->selectionBefore};
    recordPutBack_ = record->name;
    const Selected& back = record->selectionBefore;
    // The selection comes back with its anchor: made leftwards, it extends leftwards again.
    if (replaceText(record->range, record->text, back.range))
        anchor_ = back.anchor == back.range.location ? selection_.location : selection_.end();
    reversing_.reset();
    recordPutBack_ = 0;
    scrollRangeToVisible(selection_);
}

void TextView::didChangeText()
{
    if (delegate_)
        delegate_->textDidChange(*this);
    recordMade_ = 0;
    if (selectionPending_ && changing_ == 0) {
        selectionPending_ = false;
        if (delegate_)
            delegate_->textViewDidChangeSelection(*this);
    }
    scheduleLayout();
}

bool TextView::replaceText(Range range, U16View text)
{
    return replaceText(range, AttributedString(U16String(text), typingAttributes_), std::nullopt);
}

bool TextView::replaceText(Range range, const AttributedString& text)
{
    return replaceText(range, text, std::nullopt);
}

bool TextView::replaceText(Range range, const AttributedString& text, std::optional<Range> selectionAfter)
{
    if (!shouldChangeText(range, text.length()))
        return false;
    ++changing_;
    ownChange_ = true;
    storage_->replaceCharacters(range, text);
    ownChange_ = false;
    if (selectionAfter) {
        anchor_ = std::clamp(selectionAfter->location, 0, storage_->length());
        setSelection(*selectionAfter, true);
    }
    --changing_;
    didChangeText();
    return true;
}

bool TextView::replaceCharacters(Range range, U16View text, std::optional<Range> selectionAfter)
{
    return replaceText(range, AttributedString(U16String(text), attributesForInsertion(range)), selectionAfter);
}

bool TextView::replaceCharactersJoiningUndo(Range range, U16View text)
{
    UndoManager* manager = allowsUndo_ ? undoManager() : nullptr;
    const bool join = manager && joinRecord_ && joinRecord_->range == range && joinRecord_->generation == generation_
        && manager->undoCount() == joinUndoCount_ && !manager->canRedo() && !manager->isUndoing()
        && !manager->isRedoing();
    endTyping();
    lastRecord_.reset();
    joinPending_ = join;
    const bool changed = replaceCharacters(range, text);
    joinPending_ = false;
    if (!changed)
        return false;
    if (join)
        joinRecord_->range.length = int(text.size());
    else
        joinRecord_ = lastRecord_;
    joinUndoCount_ = manager ? manager->undoCount() : 0;
    return true;
}

Attributes TextView::attributesForInsertion(Range range) const
{
    const int n = storage_->length();
    if (n == 0)
        return typingAttributes_;
    const int at = std::clamp(range.location, 0, n);
    const U16View text = storage_->string();
    if (range.length > 0 && at < n)
        return storage_->attributes(at);
    if (at < n && (at == 0 || CharacterClass::isNewline(text[size_t(at - 1)])))
        return storage_->attributes(at);
    Attributes attributes = storage_->attributes(std::max(0, at - 1));
    if (at == n && CharacterClass::isNewline(text[size_t(at - 1)])) {
        const ParagraphStyle* style = attributes.paragraphStyle();
        if (style && style->tableBlock())
            attributes.remove(AttributeKey::ParagraphStyle);
    }
    return attributes;
}

bool TextView::typeReplacing(Range range, U16View text, Typing kind)
{
    UndoManager* manager = allowsUndo_ ? undoManager() : nullptr;
    bool coalesce = false;
    if (manager && kind != Typing::none && typing_ == kind && typingRecord_ && manager->undoCount() == typingUndoCount_
        && !manager->isUndoing() && !manager->isRedoing()) {
        const UndoRecord& r = *typingRecord_;
        // Typing goes on at the caret the run left, inside what the run put in place (a run
        // begun over a grid's edge rewrote the cells after its caret too); Backspace takes
        // the character before the run's removal, Delete the one after.
        if (kind == Typing::inserting)
            coalesce = range.length == 0 && range.location >= r.range.location && range.location <= r.range.end()
                && range.location == typingCaret_;
        else if (kind == Typing::deleting)
            coalesce = text.empty() && r.range.length == 0 && range.end() == r.range.location;
        else
            coalesce = text.empty() && r.range.length == 0 && range.location == r.range.location;
    }
    AttributedString removed;
    if (coalesce && kind != Typing::inserting)
        removed = storage_->attributedSubstring(range);
    suppressUndo_ = coalesce;
    lastRecord_.reset();
    const bool allowed = shouldChangeText(range, int(text.size()));
    suppressUndo_ = false;
    if (!allowed)
        return false;
    if (coalesce) {
        settleUndoSelectionLater(typingRecord_);
        UndoRecord& r = *typingRecord_;
        if (kind == Typing::inserting) {
            r.range.length += int(text.size());
        } else if (kind == Typing::deleting) {
            removed.append(r.text);
            r.text = std::move(removed);
            r.range.location = range.location;
            r.name = ++recordNames_;
        } else {
            r.text.append(removed);
            r.name = ++recordNames_;
        }
    }
    ++changing_;
    ownChange_ = true;
    storage_->replaceCharacters(range, AttributedString(U16String(text), typingAttributes_));
    ownChange_ = false;
    // After what was typed, also where it makes one character with what follows.
    const int caret = characterBoundary(range.location + int(text.size()), true);
    anchor_ = caret;
    setSelection({caret, 0}, true);
    --changing_;
    if (!coalesce) {
        typingRecord_ = kind == Typing::none ? nullptr : lastRecord_;
        typing_ = typingRecord_ ? kind : Typing::none;
    }
    typingCaret_ = caret;
    typingUndoCount_ = manager ? manager->undoCount() : 0;
    didChangeText();
    return true;
}

bool TextView::typeReplacingText(Range range, const AttributedString& text, int caret)
{
    endTyping();
    lastRecord_.reset();
    if (!replaceText(range, text, Range{caret, 0}))
        return false;
    UndoManager* manager = allowsUndo_ ? undoManager() : nullptr;
    if (manager && lastRecord_ && lastRecord_->generation == generation_) {
        typingRecord_ = lastRecord_;
        typing_ = Typing::inserting;
        typingCaret_ = selection_.location;
        typingUndoCount_ = manager->undoCount();
    }
    return true;
}

void TextView::deleteRange(Range range, Typing kind)
{
    if (range.length <= 0)
        return;
    typeReplacing(range, U16View(), kind);
    scrollRangeToVisible(selection_);
}

void TextView::insertText(U16View text, std::optional<Range> replacementRange)
{
    if (!editable_)
        return;
    if (marked_) {
        // Committing over the composition: the marked text gives way to the original first.
        const Range marked = *marked_;
        unmarkText();
        if (!replacementRange)
            replacementRange = Range{marked.location, markedOriginal_.length()};
    }
    Range range = replacementRange ? *replacementRange : selection_;
    range.location = std::clamp(range.location, 0, storage_->length());
    range.length = std::clamp(range.length, 0, storage_->length() - range.location);
    const bool replacing = range.length > 0;
    if (replacing)
        endTyping();
    typeReplacing(range, text, Typing::inserting);
    scrollRangeToVisible(selection_);
}

void TextView::insertNewline()
{
    insertText(lineEnding_);
}

void TextView::selectAll()
{
    if (!selectable_)
        return;
    anchor_ = 0;
    setSelection({0, storage_->length()}, false);
}

void TextView::undo()
{
    settleUndoSelection();
    endTyping();
    if (UndoManager* manager = undoManager(); manager && allowsUndo_)
        manager->undo();
}

void TextView::redo()
{
    settleUndoSelection();
    endTyping();
    if (UndoManager* manager = undoManager(); manager && allowsUndo_)
        manager->redo();
}

bool TextView::writeSelection(Pasteboard& pasteboard, const std::string& type)
{
    if (type != Pasteboard::stringType || selection_.length == 0)
        return false;
    return pasteboard.setString(U16String(substring(storage_->string(), selection_)), type);
}

void TextView::copy()
{
    if (selection_.length == 0)
        return;
    Pasteboard& board = Pasteboard::general();
    board.clearContents();
    writeSelection(board, Pasteboard::stringType);
}

void TextView::cut()
{
    if (selection_.length == 0 || !editable_)
        return;
    copy();
    endTyping();
    deleteRange(selection_, Typing::none);
}

void TextView::paste()
{
    if (!editable_)
        return;
    if (const std::optional<U16String> pasted = Pasteboard::general().plainText())
        pasteString(*pasted);
}

void TextView::pasteString(U16View pasted)
{
    if (!editable_ || pasted.empty())
        return;
    const U16String text = TextOps::withLineEnds(pasted, lineEnding_);
    endTyping();
    unmarkText();
    const Range range = selection_;
    replaceText(range, AttributedString(text, typingAttributes_), Range{range.location + int(text.size()), 0});
    scrollRangeToVisible(selection_);
}

// ---- Drawing ----

bool TextView::isCaretVisible() const
{
    return editable_ && hasFocus() && caretOn_ && selection_.length == 0;
}

void TextView::drawContents(QPainter& painter, const QRectF& rect, QPointF origin, bool withCaret)
{
    textContainer();
    layout_->appearance = appearance_;
    layout_->selectedRanges.clear();
    if (selection_.length > 0)
        layout_->selectedRanges.push_back(selection_);
    layout_->draw(painter, rect, origin);
    if (withCaret && isCaretVisible()) {
        const QRectF caret = layout_->caretRect(selection_.location);
        if (!caret.isNull()) {
            // On whole device pixels, so that the caret is as sharp as the text.
            const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1;
            const double x = std::round((caret.x() + origin.x()) * ratio) / ratio;
            const double width = std::max(1.0, std::round(ratio) / ratio);
            painter.fillRect(QRectF(x, caret.y() + origin.y(), width, caret.height()),
                             Color::text().toQColor(appearance_));
        }
    }
}

void TextView::paintEvent(QPaintEvent* event)
{
    flushRepaint();
    repaintAll_ = false;
    changedCharacters_.reset();
    QPainter painter(viewport());
    if (drawsBackground_)
        painter.fillRect(event->rect(), background_.toQColor(appearance_));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (layout_->laysOutLazily()) {
        textContainer();
        layoutVisible();
    }
    const QPointF origin(inset_.width(), inset_.height() - verticalScrollBar()->value());
    // What reaches a little past its lines (a card's padding) is drawn when the region only meets it.
    const QRectF area = QRectF(event->rect()).adjusted(0, -8, 0, 8);
    drawContents(painter, area.translated(-origin), origin, true);
    // Where the caret shows now: drawn here, or left from before outside this region.
    QRect shown = (QRegion(caretShown_) - event->region()).isEmpty() ? QRect() : caretShown_;
    if (isCaretVisible())
        shown = shown.united(caretInViewport());
    caretShown_ = shown;
    noteLinesShown();
#ifdef VELKIN_TRACE_PAINT
    static const bool trace = qEnvironmentVariableIsSet("VELKIN_TRACE_PAINT");
    static int traced = 0;
    if (trace && storage_->length() > 0 && traced < 6) {
        ++traced;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::fprintf(stderr, "paint-ended %lld.%09ld characters %d lazy %d\n", (long long)now.tv_sec, now.tv_nsec,
                     storage_->length(), int(layout_->laysOutLazily()));
    }
#endif
}

void TextView::noteLinesShown()
{
    linesShown_.clear();
    const int n = storage_->length();
    const QRectF shown = visibleContainerRect();
    for (int g = n > 0 ? layout_->glyphRange(shown).location : n; g < n;) {
        Range line;
        const double top = layout_->lineFragmentRect(g, &line).top();
        if (top > shown.bottom() || line.empty())
            break;
        linesShown_.emplace_back(line.location, top);
        g = line.end();
    }
    std::sort(linesShown_.begin(), linesShown_.end());
}

void TextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    layoutFindBar();
    // Text sized to the width (pictures) follows it before the layout does.
    if (delegate_)
        delegate_->textViewDidResize(*this);
    layoutDocument();
}

void TextView::scrollContentsBy(int, int)
{
    if (!correctingScroll_)
        scrollAnchor_ = layout_->anchorAt(verticalScrollBar()->value() - inset_.height());
    repaintAll();
}

void TextView::restartBlink()
{
    caretOn_ = true;
    blink_.stop();
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && editable_ && flash > 0)
        blink_.start(flash / 2, this);
}

void TextView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == blink_.timerId()) {
        caretOn_ = !caretOn_;
        viewport()->update(caretShown_);
        viewport()->update(caretInViewport());
        return;
    }
    if (event->timerId() == idleLayout_.timerId()) {
        // A few milliseconds at a time, so that typing and scrolling never wait for it.
        textContainer();
        const std::optional<int> restyled = delegate_ ? delegate_->textViewRestylesFrom(*this) : std::nullopt;
        if (!layout_->laysOutLazily() || !layout_->layoutSome(4, restyled.value_or(INT_MAX))) {
            idleLayout_.stop();
            // Laying out a long text made and let go of many layouts: the pages they
            // left free go back to the system rather than wait in the allocator
            // (not after the few slices an edit takes, which leave little).
            if (idleSlices_ > 64)
                malloc_trim(0);
            idleSlices_ = 0;
        } else {
            ++idleSlices_;
        }
        keepScrollAnchor();
        return;
    }
    QAbstractScrollArea::timerEvent(event);
}

void TextView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    endTyping();
    viewport()->update();
}

void TextView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    layoutDocument();
    if (!event->spontaneous() && !inWindow_) {
        inWindow_ = true;
        viewDidMoveToWindow();
    }
}

void TextView::hideEvent(QHideEvent* event)
{
    QAbstractScrollArea::hideEvent(event);
    if (!event->spontaneous() && inWindow_) {
        inWindow_ = false;
        viewDidMoveToWindow();
    }
}

void TextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        appearance_ = appearanceOf(palette());
        layout_->appearance = appearance_;
        noteOpaqueness();
        viewport()->update();
    }
}

// ---- Menus and drops ----

QMenu* TextView::menuForEvent(QContextMenuEvent*)
{
    auto* menu = new QMenu(this);
    QAction* cutItem = menu->addAction(QString::fromStdU16String(LocalizedStrings::text(u"Cut")), [this] { cut(); });
    cutItem->setEnabled(editable_ && selection_.length > 0);
    QAction* copyItem = menu->addAction(QString::fromStdU16String(LocalizedStrings::text(u"Copy")), [this] { copy(); });
    copyItem->setEnabled(selection_.length > 0);
    QAction* pasteItem = menu->addAction(QString::fromStdU16String(LocalizedStrings::text(u"Paste")), [this] { paste(); });
    pasteItem->setEnabled(editable_);
    menu->addSeparator();
    menu->addAction(QString::fromStdU16String(LocalizedStrings::text(u"Select All")), [this] { selectAll(); });
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = menuForEvent(event);
    if (!menu)
        return;
    menu->exec(event->globalPos());
    delete menu;
}

bool TextView::canAcceptDrop(const QMimeData& mime) const
{
    return editable_ && mime.hasText();
}

bool TextView::performDrop(const QMimeData& mime, int index)
{
    if (!canAcceptDrop(mime))
        return false;
    const U16String text = TextOps::withLineEnds(mime.text().toStdU16String(), lineEnding_);
    index = std::clamp(index, 0, storage_->length());
    endTyping();
    return replaceText({index, 0}, AttributedString(text, typingAttributes_), Range{index, int(text.size())});
}

void TextView::dragEnterEvent(QDragEnterEvent* event)
{
    if (canAcceptDrop(*event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TextView::dragMoveEvent(QDragMoveEvent* event)
{
    if (canAcceptDrop(*event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TextView::dropEvent(QDropEvent* event)
{
    if (dragSource_ && event->source() == this && event->dropAction() == Qt::MoveAction
        && moveDraggedText(characterIndexForPoint(event->position()))) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        setFocus();
        return;
    }
    if (performDrop(*event->mimeData(), characterIndexForPoint(event->position()))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        setFocus();
    } else {
        event->ignore();
    }
}

} // namespace velkin
