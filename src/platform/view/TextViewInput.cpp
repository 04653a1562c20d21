// Keys, mouse and input methods of the text view.
#include "platform/view/TextView.h"

#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "platform/undo/UndoManager.h"

#include <QApplication>
#include <QDrag>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace velkin {

namespace {

// The command a key stands for, if any.
std::optional<TextCommand> commandForKey(const QKeyEvent& event)
{
    using C = TextCommand;
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool shift = mods & Qt::ShiftModifier;
    const bool control = mods & Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_Left:
        return C{control ? C::moveWordLeft : C::moveLeft, shift};
    case Qt::Key_Right:
        return C{control ? C::moveWordRight : C::moveRight, shift};
    case Qt::Key_Up:
        return C{control ? C::moveToBeginningOfParagraph : C::moveUp, shift};
    case Qt::Key_Down:
        return C{control ? C::moveToEndOfParagraph : C::moveDown, shift};
    case Qt::Key_Home:
        return C{control ? C::moveToBeginningOfDocument : C::moveToBeginningOfLine, shift};
    case Qt::Key_End:
        return C{control ? C::moveToEndOfDocument : C::moveToEndOfLine, shift};
    case Qt::Key_PageUp:
        return C{C::pageUp, shift};
    case Qt::Key_PageDown:
        return C{C::pageDown, shift};
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return C{C::insertNewline, false};
    case Qt::Key_Tab:
        return control ? std::nullopt : std::optional<C>(C{C::insertTab, false});
    case Qt::Key_Backtab:
        return C{C::insertBacktab, false};
    case Qt::Key_Backspace:
        return C{control ? C::deleteWordBackward : C::deleteBackward, false};
    case Qt::Key_Delete:
        return C{control ? C::deleteWordForward : C::deleteForward, false};
    case Qt::Key_Escape:
        return C{C::cancelOperation, false};
    default:
        return std::nullopt;
    }
}

// Text a key types: printable characters without a command modifier.
bool typesText(const QKeyEvent& event)
{
    const QString text = event.text();
    if (text.isEmpty())
        return false;
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Control alone is a command; Alt alone opens a menu by its mnemonic. AltGr arrives
    // as Control+Alt (or as neither) and types.
    if (bool(mods & Qt::ControlModifier) != bool(mods & Qt::AltModifier))
        return false;
    if (mods & Qt::MetaModifier)
        return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

U16String fromQString(const QString& text)
{
    return U16String(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
}

QString asQString(U16View text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}

} // namespace

// ---- Keys ----

// A key that reaches the view from a child that has the focus (the find bar's
// fields) belongs to that child: the view must not type it into the text.
bool TextView::keyFromChild() const
{
    const QWidget* focused = QApplication::focusWidget();
    return focused && focused != this && isAncestorOf(focused);
}

bool TextView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && editable_ && !keyFromChild()) {
        // Keys that edit the text belong to the view, not to a menu shortcut. A
        // character with Control and Alt is a shortcut's first (Ctrl+Alt+- and the
        // like): it types (as AltGr does on some keyboards) only when no shortcut takes it.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool chord = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if ((typesText(*key) && !chord) || commandForKey(*key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool TextView::focusNextPrevChild(bool next)
{
    // Tab is typed into an editable view.
    return editable_ ? false : QAbstractScrollArea::focusNextPrevChild(next);
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    if (keyFromChild()) {
        event->accept();
        return;
    }
    // A key starts a command of its own: the one before it has left its selection.
    settleUndoSelection();
    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        cut();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else if (event == QKeySequence::Undo) {
        undo();
    } else if (event == QKeySequence::Redo || (event->key() == Qt::Key_Z
                                               && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        redo();
    } else if (usesFindBar_ && event == QKeySequence::Find) {
        performFindAction(int(FindAction::showFindInterface));
    } else if (usesFindBar_ && event == QKeySequence::FindNext) {
        performFindAction(int(FindAction::nextMatch));
    } else if (usesFindBar_ && event == QKeySequence::FindPrevious) {
        performFindAction(int(FindAction::previousMatch));
    } else if (const auto command = commandForKey(*event)) {
        if (!editable_ && (command->kind == TextCommand::insertNewline || command->kind == TextCommand::insertTab
                           || command->kind == TextCommand::deleteBackward || command->kind == TextCommand::deleteForward)) {
            event->ignore();
            return;
        }
        doCommand(*command);
    } else if (editable_ && typesText(*event)) {
        insertText(fromQString(event->text()));
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

int TextView::previousCharacter(int index) const
{
    // Within a window of the paragraph before the index: graphemes never span paragraphs.
    const U16View text = storage_->string();
    index = std::clamp(index, 0, int(text.size()));
    if (index == 0)
        return 0;
    int from = std::max(0, index - 256);
    if (splitsCharacter(text, from))
        ++from;
    const std::vector<int> bounds = TextOps::graphemeBoundaries(text.substr(size_t(from), size_t(index - from)));
    for (auto it = bounds.rbegin(); it != bounds.rend(); ++it)
        if (from + *it < index)
            return from + *it;
    return std::max(0, index - 1);
}

int TextView::nextCharacter(int index) const
{
    const U16View text = storage_->string();
    const int n = int(text.size());
    index = std::clamp(index, 0, n);
    if (index == n)
        return n;
    int to = std::min(n, index + 256);
    if (splitsCharacter(text, to))
        --to;
    const std::vector<int> bounds = TextOps::graphemeBoundaries(text.substr(size_t(index), size_t(to - index)));
    for (int b : bounds)
        if (b > 0)
            return index + b;
    return std::min(n, index + 1);
}

int TextView::characterBoundary(int index, bool forward) const
{
    const U16View text = storage_->string();
    const int n = int(text.size());
    index = std::clamp(index, 0, n);
    if (index == 0 || index == n)
        return index;
    // Two ASCII characters but a CR and its LF are two characters.
    const char16_t before = text[size_t(index - 1)], at = text[size_t(index)];
    if (before < 0x7F && at < 0x7F && !(before == u'\r' && at == u'\n'))
        return index;
    // Within a window around the index, as previousCharacter() looks.
    int from = std::max(0, index - 256);
    if (splitsCharacter(text, from))
        ++from;
    int to = std::min(n, index + 256);
    if (splitsCharacter(text, to))
        --to;
    const std::vector<int> bounds = TextOps::graphemeBoundaries(text.substr(size_t(from), size_t(to - from)));
    const auto next = std::lower_bound(bounds.begin(), bounds.end(), index - from);
    if (next != bounds.end() && *next == index - from)
        return index;
    if (forward)
        return next == bounds.end() ? to : from + *next;
    return next == bounds.begin() ? from : from + *std::prev(next);
}

Range TextView::wholeCharacters(Range range) const
{
    const int start = characterBoundary(range.location, false);
    if (range.length <= 0)
        return {start, 0};
    return Range::fromTo(start, std::max(start, characterBoundary(range.end(), true)));
}

int TextView::wordBoundary(int index, bool forward) const
{
    const U16View text = storage_->string();
    const int n = int(text.size());
    index = std::clamp(index, 0, n);
    const Range paragraph = paragraphRange(text, {std::min(index, std::max(0, n - 1)), 0});
    Range content = paragraph;
    while (content.length > 0 && CharacterClass::isNewline(text[size_t(content.end() - 1)]))
        --content.length;
    if (forward && index >= content.end())
        return nextCharacter(index);
    if (!forward && index <= content.location)
        return index == 0 ? 0 : previousCharacter(index);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, asQString(substring(text, content)));
    finder.setPosition(index - content.location);
    for (;;) {
        const qsizetype at = forward ? finder.toNextBoundary() : finder.toPreviousBoundary();
        if (at < 0)
            return forward ? content.end() : content.location;
        const auto reasons = finder.boundaryReasons();
        if (forward ? bool(reasons & QTextBoundaryFinder::EndOfItem) : bool(reasons & QTextBoundaryFinder::StartOfItem))
            return content.location + int(at);
    }
}

Range TextView::wordRange(int index) const
{
    const U16View text = storage_->string();
    const int n = int(text.size());
    if (n == 0)
        return {0, 0};
    index = std::clamp(index, 0, n);
    const Range paragraph = paragraphRange(text, {std::min(index, n - 1), 0});
    Range content = paragraph;
    while (content.length > 0 && CharacterClass::isNewline(text[size_t(content.end() - 1)]))
        --content.length;
    if (content.length == 0)
        return {paragraph.location, std::min(paragraph.length, 1)};
    int local = std::clamp(index - content.location, 0, content.length);
    if (local == content.length)
        --local;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, asQString(substring(text, content)));
    finder.setPosition(local);
    qsizetype start = finder.isAtBoundary() ? local : finder.toPreviousBoundary();
    finder.setPosition(local);
    qsizetype stop = finder.toNextBoundary();
    if (start < 0)
        start = 0;
    if (stop < 0)
        stop = content.length;
    return Range::fromTo(content.location + int(start), content.location + int(stop));
}

Range TextView::lineRangeAt(int index)
{
    textContainer();
    const U16View text = storage_->string();
    const int n = int(text.size());
    if (n == 0 || (index >= n && CharacterClass::isNewline(text.back())))
        return {n, 0};
    Range line;
    layout_->lineFragmentRect(std::min(index, n - 1), &line);
    return line;
}

int TextView::verticalTarget(int index, int lines)
{
    textContainer();
    const int n = storage_->length();
    const QRectF caret = layout_->caretRect(index);
    if (!goalX_)
        goalX_ = caret.x();
    const U16View text = storage_->string();
    QRectF fragment;
    if (n == 0 || (index >= n && CharacterClass::isNewline(text.back())))
        fragment = layout_->extraLineFragmentRect();
    else
        fragment = layout_->lineFragmentRect(std::min(index, n - 1));
    if (fragment.isNull())
        fragment = caret;
    auto at = [&](double y) {
        if (y < 0)
            return 0;
        if (y >= layout_->usedHeight())
            return n;
        return layout_->characterIndex(QPointF(*goalX_, y));
    };
    if (std::abs(lines) > 1)
        return at(caret.center().y() + (lines > 0 ? 1 : -1) * std::max(1, visibleHeight()));
    const int target = at(lines < 0 ? fragment.top() - 0.5 : fragment.bottom() + 0.5);
    if (n == 0 || index >= n)
        return target;
    // Past the first or last line of a table cell the caret leaves the cell's row,
    // for the row above or below (or the text around the table), not the cell's padding.
    // (The start of the line below is where this line ends: the target's own line tells them apart.)
    Range line, targetLine;
    layout_->lineFragmentRect(index, &line);
    if (target >= n)
        return target;
    layout_->lineFragmentRect(target, &targetLine);
    if (targetLine != line)
        return target;
    const QRectF band = layout_->lineBandRect(index);
    const double beyond = lines < 0 ? band.top() - 0.5 : band.bottom() + 0.5;
    if (lines < 0 ? beyond >= fragment.top() - 0.5 : beyond <= fragment.bottom() + 0.5)
        return target;
    return at(beyond);
}

void TextView::moveCaret(int to, bool extend, bool keepGoalX)
{
    to = std::clamp(to, 0, storage_->length());
    if (extend) {
        setSelection(Range::fromTo(std::min(anchor_, to), std::max(anchor_, to)), false, keepGoalX);
    } else {
        anchor_ = to;
        setSelection({to, 0}, false, keepGoalX);
    }
    scrollRangeToVisible({to, 0});
}

void TextView::doCommand(const TextCommand& command)
{
    using C = TextCommand;
    const int n = storage_->length();
    const bool extend = command.extendSelection;
    // The end that moves: the one away from the anchor.
    const int focus = selection_.location == anchor_ ? selection_.end() : selection_.location;
    const U16View text = storage_->string();
    switch (command.kind) {
    case C::moveLeft:
        if (!extend && selection_.length > 0)
            moveCaret(selection_.location, false);
        else
            moveCaret(previousCharacter(focus), extend);
        break;
    case C::moveRight:
        if (!extend && selection_.length > 0)
            moveCaret(selection_.end(), false);
        else
            moveCaret(nextCharacter(focus), extend);
        break;
    case C::moveUp:
        moveCaret(verticalTarget(extend ? focus : selection_.location, -1), extend, true);
        break;
    case C::moveDown:
        moveCaret(verticalTarget(extend ? focus : selection_.end(), 1), extend, true);
        break;
    case C::pageUp:
    case C::pageDown: {
        const int step = command.kind == C::pageUp ? -2 : 2;
        const int target = verticalTarget(focus, step);
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + (step < 0 ? -1 : 1) * bar->pageStep());
        moveCaret(target, extend, true);
        break;
    }
    case C::moveWordLeft:
        moveCaret(wordBoundary(focus, false), extend);
        break;
    case C::moveWordRight:
        moveCaret(wordBoundary(focus, true), extend);
        break;
    case C::moveToBeginningOfLine:
        moveCaret(lineRangeAt(focus).location, extend);
        break;
    case C::moveToEndOfLine: {
        const Range line = lineRangeAt(focus);
        int end = line.end();
        if (end > line.location && end <= n && CharacterClass::isNewline(text[size_t(end - 1)])) {
            --end;
            if (end > line.location && text[size_t(end)] == u'\n' && text[size_t(end - 1)] == u'\r')
                --end;
        } else if (end < n && end > line.location && CharacterClass::isWhitespace(text[size_t(end - 1)])) {
            --end;  // a wrapped line ends before the blank it broke at
        }
        moveCaret(end, extend);
        break;
    }
    case C::moveToBeginningOfParagraph:
        moveCaret(n == 0 ? 0 : paragraphRange(text, {std::min(focus, n), 0}).location, extend);
        break;
    case C::moveToEndOfParagraph: {
        if (n == 0) {
            moveCaret(0, extend);
            break;
        }
        const Range paragraph = paragraphRange(text, {std::min(focus, n), 0});
        int end = paragraph.end();
        while (end > paragraph.location && CharacterClass::isNewline(text[size_t(end - 1)]))
            --end;
        moveCaret(end, extend);
        break;
    }
    case C::moveToBeginningOfDocument:
        moveCaret(0, extend);
        break;
    case C::moveToEndOfDocument:
        moveCaret(n, extend);
        break;
    case C::insertNewline:
        insertNewline();
        break;
    case C::insertTab:
        insertText(u"\t");
        break;
    case C::insertBacktab:
    case C::cancelOperation:
        break;
    case C::deleteBackward:
        if (!editable_)
            break;
        if (selection_.length > 0) {
            endTyping();
            deleteRange(selection_, Typing::none);
        } else if (selection_.location > 0) {
            const int from = previousCharacter(selection_.location);
            deleteRange(Range::fromTo(from, selection_.location), Typing::deleting);
        }
        break;
    case C::deleteForward:
        if (!editable_)
            break;
        if (selection_.length > 0) {
            endTyping();
            deleteRange(selection_, Typing::none);
        } else if (selection_.location < n) {
            deleteRange(Range::fromTo(selection_.location, nextCharacter(selection_.location)), Typing::deletingForward);
        }
        break;
    case C::deleteWordBackward:
    case C::deleteWordForward: {
        if (!editable_)
            break;
        endTyping();
        if (selection_.length > 0) {
            deleteRange(selection_, Typing::none);
            break;
        }
        const bool forward = command.kind == C::deleteWordForward;
        const int other = wordBoundary(selection_.location, forward);
        deleteRange(Range::fromTo(std::min(other, selection_.location), std::max(other, selection_.location)),
                    Typing::none);
        break;
    }
    }
}

// ---- Input methods ----

void TextView::setMarkedText(const U16String& text, int caret)
{
    if (!marked_) {
        markedOriginal_ = storage_->attributedSubstring(selection_);
        marked_ = selection_;
        markedLeftwards_ = selection_.length > 0 && anchor_ == selection_.end();
    }
    const Range range = *marked_;
    Attributes attributes = typingAttributes_;
    attributes.set(AttributeKey::Underline, 1);
    // The composition is no undo step of its own: the committed text will be.
    suppressUndo_ = true;
    const bool allowed = shouldChangeText(range, int(text.size()));
    suppressUndo_ = false;
    if (!allowed)
        return;
    ++changing_;
    ownChange_ = true;
    storage_->replaceCharacters(range, AttributedString(text, attributes));
    ownChange_ = false;
    marked_ = Range{range.location, int(text.size())};
    const int at = range.location + std::clamp(caret, 0, int(text.size()));
    anchor_ = at;
    // A run of typing goes on through a composition: the text committed joins it where the composition began.
    setSelection({at, 0}, true);
    --changing_;
    didChangeText();
}

void TextView::unmarkText()
{
    if (!marked_)
        return;
    // The original text goes back quietly; whatever replaces it next is the change that counts.
    const Range range = *marked_;
    marked_.reset();
    if (range.end() <= storage_->length()) {
        ownChange_ = true;
        storage_->replaceCharacters(range, markedOriginal_);
        ownChange_ = false;
        selection_ = {range.location, markedOriginal_.length()};
        // With its anchor: the commit's undo step puts back the selection as it was made.
        anchor_ = markedLeftwards_ ? selection_.end() : range.location;
    }
}

void TextView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!editable_) {
        event->ignore();
        return;
    }
    settleUndoSelection();
    const U16String commit = fromQString(event->commitString());
    const U16String preedit = fromQString(event->preeditString());
    if (!commit.empty()) {
        std::optional<Range> replacement;
        if (marked_) {
            const Range marked = *marked_;
            unmarkText();
            replacement = Range{marked.location, markedOriginal_.length()};
        } else if (event->replacementLength() > 0) {
            const int start = std::clamp(selection_.location + event->replacementStart(), 0, storage_->length());
            replacement = Range{start, std::min(event->replacementLength(), storage_->length() - start)};
        }
        insertText(commit, replacement);
    } else if (marked_ && preedit.empty()) {
        // A cancelled composition: the original text comes back, and the delegate hears of it.
        const Range marked = *marked_;
        unmarkText();
        const int caret = marked.location + markedOriginal_.length();
        ++changing_;
        anchor_ = caret;
        setSelection({caret, 0}, false);
        --changing_;
        didChangeText();
    }
    if (!preedit.empty()) {
        int caret = int(preedit.size());
        for (const auto& attribute : event->attributes())
            if (attribute.type == QInputMethodEvent::Cursor)
                caret = attribute.start;
        setMarkedText(preedit, caret);
    }
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    auto* self = const_cast<TextView*>(this);
    const U16View text = storage_->string();
    const int n = int(text.size());
    const Range paragraph = n == 0 ? Range{0, 0} : paragraphRange(text, {std::min(selection_.location, n - 1), 0});
    switch (query) {
    case Qt::ImEnabled:
        return editable_;
    case Qt::ImCursorRectangle: {
        self->textContainer();
        const QRectF caret = self->layout_->caretRect(selection_.location);
        return QRectF(viewportPoint(caret.topLeft()) + QPointF(viewport()->geometry().topLeft()), caret.size());
    }
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return selection_.location - paragraph.location;
    case Qt::ImAnchorPosition:
        return anchor_ - paragraph.location;
    case Qt::ImSurroundingText:
        return asQString(substring(text, paragraph));
    case Qt::ImCurrentSelection:
        return asQString(substring(text, selection_));
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---- Mouse ----

Range TextView::selectionForGranularity(int anchor, int index) const
{
    switch (granularity_) {
    case Granularity::character:
        return Range::fromTo(std::min(anchor, index), std::max(anchor, index));
    case Granularity::word:
        return unionRange(granularityOrigin_, wordRange(index));
    case Granularity::paragraph: {
        const int n = storage_->length();
        const Range here = n == 0 ? Range{0, 0} : paragraphRange(storage_->string(), {std::min(index, n - 1), 0});
        return unionRange(granularityOrigin_, here);
    }
    }
    return {index, 0};
}

void TextView::mousePressEvent(QMouseEvent* event)
{
    settleUndoSelection();
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qint64 now = event->timestamp();
    const QPointF at = event->position();
    const double slop = QApplication::startDragDistance();
    if (clickCount_ > 0 && now - lastPressTime_ <= QApplication::doubleClickInterval()
        && std::abs(at.x() - lastPressPoint_.x()) <= slop && std::abs(at.y() - lastPressPoint_.y()) <= slop)
        ++clickCount_;
    else
        clickCount_ = 1;
    lastPressTime_ = now;
    lastPressPoint_ = at;
    mouseDown(event, clickCount_);
    event->accept();
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click arrives as this event: it counts as a press.
    mousePressEvent(event);
}

void TextView::mouseDown(QMouseEvent* event, int clickCount)
{
    setFocus(Qt::MouseFocusReason);
    if (!selectable_)
        return;
    if (clickCount == 1 && !(event->modifiers() & Qt::ShiftModifier)) {
        const int glyph = glyphCharacterIndex(event->position());
        if (glyph >= 0 && delegate_)
            if (const U16String* link = storage_->attributes(glyph).string(AttributeKey::Link))
                if (delegate_->textViewClickedOnLink(*this, *link, glyph))
                    return;
    }
    const int index = characterIndexForPoint(event->position());
    if (clickCount == 1 && !(event->modifiers() & Qt::ShiftModifier) && selection_.length > 0) {
        const int glyph = glyphCharacterIndex(event->position());
        if (glyph >= 0 && selection_.contains(glyph)) {
            // The selection may be dragged away; a release without moving places the caret.
            dragCandidate_ = true;
            lastPressPoint_ = event->position();
            return;
        }
    }
    tracking_ = true;
    if (clickCount >= 3) {
        granularity_ = Granularity::paragraph;
        const int n = storage_->length();
        granularityOrigin_ = n == 0 ? Range{0, 0} : paragraphRange(storage_->string(), {std::min(index, n - 1), 0});
        anchor_ = granularityOrigin_.location;
        setSelection(granularityOrigin_, false);
    } else if (clickCount == 2) {
        granularity_ = Granularity::word;
        granularityOrigin_ = wordRange(index);
        anchor_ = granularityOrigin_.location;
        setSelection(granularityOrigin_, false);
    } else if (event->modifiers() & Qt::ShiftModifier) {
        granularity_ = Granularity::character;
        setSelection(selectionForGranularity(anchor_, index), false);
    } else {
        granularity_ = Granularity::character;
        anchor_ = index;
        setSelection({index, 0}, false);
    }
}

void TextView::autoscroll(QPointF p)
{
    QScrollBar* bar = verticalScrollBar();
    if (p.y() < 0)
        bar->setValue(bar->value() + int(std::floor(p.y())));
    else if (p.y() > visibleHeight())
        bar->setValue(bar->value() + int(std::ceil(p.y() - visibleHeight())));
}

void TextView::mouseMoveEvent(QMouseEvent* event)
{
    if (dragCandidate_ && (event->buttons() & Qt::LeftButton)) {
        if ((event->position() - lastPressPoint_).manhattanLength() >= QApplication::startDragDistance()) {
            dragCandidate_ = false;
            startDrag();
        }
        event->accept();
        return;
    }
    if (!tracking_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    autoscroll(event->position());
    const int index = characterIndexForPoint(event->position());
    setSelection(selectionForGranularity(anchor_, index), false);
    event->accept();
}

void TextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragCandidate_) {
        dragCandidate_ = false;
        const int index = characterIndexForPoint(event->position());
        anchor_ = index;
        setSelection({index, 0}, false);
    }
    tracking_ = false;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

// ---- Dragging the selection ----

void TextView::startDrag()
{
    Pasteboard& board = Pasteboard::named("velkin-drag");
    board.clearContents();
    if (!writeSelection(board, Pasteboard::stringType))
        return;
    const std::optional<U16String> text = board.string();
    if (!text)
        return;
    auto* mime = new QMimeData;
    mime->setText(asQString(*text));
    // The other types the selection wrote go along: a drop in another view reads them as a paste does.
    for (const std::string& type : board.types())
        if (type != Pasteboard::stringType)
            if (const std::optional<std::string> bytes = board.data(type))
                mime->setData(QString::fromStdString(type), QByteArray::fromStdString(*bytes));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    dragSource_ = selection_;
    movedInside_ = false;
    const Qt::DropAction action =
        drag->exec(editable_ ? Qt::CopyAction | Qt::MoveAction : Qt::CopyAction, editable_ ? Qt::MoveAction : Qt::CopyAction);
    // Moved to another place: the text leaves this view.
    if (action == Qt::MoveAction && editable_ && !movedInside_ && dragSource_
        && dragSource_->end() <= storage_->length()) {
        endTyping();
        deleteRange(*dragSource_, Typing::none);
    }
    dragSource_.reset();
    movedInside_ = false;
}

bool TextView::moveDraggedText(int index)
{
    if (!dragSource_ || !editable_)
        return false;
    const Range source = *dragSource_;
    movedInside_ = true;
    if (index >= source.location && index <= source.end())
        return true;  // dropped onto itself
    moveText(source, index);
    return true;
}

void TextView::moveText(Range source, int index)
{
    if (source.location < 0 || source.end() > storage_->length() || index < 0 || index > storage_->length()
        || (index >= source.location && index <= source.end()))
        return;
    endTyping();
    UndoManager* undo = allowsUndo_ ? undoManager() : nullptr;
    if (undo)
        undo->beginUndoGrouping();
    relocateText(source, index);
    if (undo)
        undo->endUndoGrouping();
}

void TextView::relocateText(Range source, int index)
{
    const AttributedString moved = storage_->attributedSubstring(source);
    if (!replaceText({index, 0}, moved, std::nullopt))
        return;
    const Range shifted = index < source.location ? Range{source.location + moved.length(), source.length} : source;
    replaceText(shifted, AttributedString(), std::nullopt);
    const int start = index < source.location ? index : index - source.length;
    anchor_ = start;
    setSelection({start, moved.length()}, false);
}

} // namespace velkin
