#include "editor/MarkdownTextView.h"

#include "editor/EmojiCompletionPicker.h"
#include "editor/ListContinuation.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/TableGrid.h"
#include "platform/text/Lines.h"

#include <QPointer>

#include <algorithm>

namespace velkin {

MarkdownTextView::MarkdownTextView(QWidget* parent) : TextView(parent)
{
    setUpView();
}

MarkdownTextView::MarkdownTextView(const QRectF& frame, QWidget* parent) : TextView(frame, parent)
{
    setUpView();
}

MarkdownTextView::~MarkdownTextView()
{
    endColorEditing();
    onMoveToWindow = nullptr;
}

void MarkdownTextView::setUpView()
{
    // Pictures arrive as files or as image data besides the text types.
    setAcceptDrops(true);
}

EmojiCompletionPicker& MarkdownTextView::emojiPicker()
{
    if (!picker_) {
        picker_ = std::make_unique<EmojiCompletionPicker>();
        QPointer<MarkdownTextView> self(this);
        picker_->onChoose = [self](const U16String& name) {
            if (self)
                self->completeShortcode(name);
        };
    }
    return *picker_;
}

std::optional<Url> MarkdownTextView::documentURL() const
{
    const QWidget* top = window();
    const QString path = top ? top->windowFilePath() : QString();
    if (path.isEmpty())
        return std::nullopt;
    return Url::fileURL(path.toStdString());
}

void MarkdownTextView::viewDidMoveToWindow()
{
    if (isInWindow()) {
        if (onMoveToWindow)
            onMoveToWindow();
    } else {
        endColorEditing();
    }
    if (picker_)
        picker_->hide();
}

void MarkdownTextView::focusOutEvent(QFocusEvent* event)
{
    if (picker_)
        picker_->hide();
    TextView::focusOutEvent(event);
}

// ---- Edits ----

void MarkdownTextView::apply(const std::optional<TextEdit>& edit)
{
    if (!edit)
        return;
    const int n = textStorage()->length();
    if (edit->range.location < 0 || edit->range.length < 0 || edit->range.end() > n)
        return;
    const int newLength = n - edit->range.length + int(edit->replacement.size());
    const int location = std::min(std::max(edit->selection.location, 0), newLength);
    const int length = std::min(std::max(edit->selection.length, 0), newLength - location);
    if (replaceCharacters(edit->range, edit->replacement, Range{location, length}))
        scrollRangeToVisible(selectedRange());
}

const TextTableBlock* MarkdownTextView::tableBlock(int index) const
{
    const TextStorage* storage = textStorage();
    if (!storage || index < 0 || index >= storage->length())
        return nullptr;
    const ParagraphStyle* style = storage->paragraphStyle(index);
    return style ? style->tableBlock() : nullptr;
}

std::optional<MarkdownTextView::Grid> MarkdownTextView::currentGrid() const
{
    return gridAt(selectedRange().location);
}

std::optional<MarkdownTextView::Grid> MarkdownTextView::gridAt(int index) const
{
    const TextStorage* storage = textStorage();
    const int n = storage ? storage->length() : 0;
    if (n == 0)
        return std::nullopt;
    const int caret = std::min(n - 1, std::max(index, 0));
    const TextTableBlock* block = tableBlock(caret);
    if (!block)
        return std::nullopt;
    const TextTable* table = block->table().get();
    const U16View text = storage->string();
    auto sameTable = [&](int index) {
        const TextTableBlock* other = tableBlock(index);
        return other && other->table().get() == table;
    };
    int start = lineRange(text, {caret, 0}).location;
    while (start >= 1 && sameTable(start - 1))
        start = lineRange(text, {start - 1, 0}).location;
    int end = caret;
    for (;;) {
        end = lineRange(text, {end, 0}).end();
        if (end >= n || !sameTable(end))
            break;
    }
    const Range range = Range::fromTo(start, std::min(end, n));
    const U16String markdown = TableGrid::serialize(storage->attributedSubstring(range));
    const std::optional<PipeTable::Parsed> parsed = PipeTable::parse(splitAt(markdown, u'\n'));
    if (!parsed)
        return std::nullopt;
    return Grid{range, *parsed, block->startingRow(), block->startingColumn()};
}

// ---- Typing and completion ----

void MarkdownTextView::insertText(U16View text, std::optional<Range> replacementRange)
{
    TextView::insertText(text, replacementRange);
    updateShortcodeCompletion();
}

void MarkdownTextView::insertNewline()
{
    if (hasMarkedText() || currentGrid()) {
        TextView::insertNewline();
        return;
    }
    if (const auto edit = ListContinuation::newline(string(), selectedRange())) {
        apply(edit);
        return;
    }
    TextView::insertNewline();
}

bool MarkdownTextView::joinsGridParagraphs(const TextCommand& command) const
{
    // Deleting the line feed between two cells, between a cell and the text around
    // its grid, or of the blank line that ends a grid, would move text across the
    // grid's edge (a line right under a table reads as one of its rows).
    using C = TextCommand;
    const Range selection = selectedRange();
    if (selection.length != 0)
        return false;
    const U16View text = string();
    const int n = int(text.size());
    const int caret = selection.location;
    auto touchesGrid = [&](int feed) {
        return feed >= 0 && feed < n && text[size_t(feed)] == u'\n'
            && (tableBlock(feed) || tableBlock(feed + 1) || tableBlock(feed - 1));
    };
    switch (command.kind) {
    case C::deleteBackward:
    case C::deleteWordBackward:
        return touchesGrid(caret - 1);
    case C::deleteForward:
    case C::deleteWordForward:
        return touchesGrid(caret);
    default:
        return false;
    }
}

void MarkdownTextView::doCommand(const TextCommand& command)
{
    if (joinsGridParagraphs(command)) {
        // The caret steps over the line feed instead.
        const bool back = command.kind == TextCommand::deleteBackward || command.kind == TextCommand::deleteWordBackward;
        TextView::doCommand(TextCommand{back ? TextCommand::moveLeft : TextCommand::moveRight, false});
        if (picker_)
            picker_->hide();
        return;
    }
    if (!picker_ || !picker_->isVisible()) {
        TextView::doCommand(command);
        return;
    }
    using C = TextCommand;
    const bool plain = !command.extendSelection;
    switch (command.kind) {
    case C::moveUp:
    case C::moveToBeginningOfParagraph:
        if (plain) {
            picker_->moveSelection(-1);
            return;
        }
        break;
    case C::moveDown:
    case C::moveToEndOfParagraph:
        if (plain) {
            picker_->moveSelection(1);
            return;
        }
        break;
    case C::insertNewline:
    case C::insertTab:
        picker_->chooseSelected();
        return;
    case C::cancelOperation:
        picker_->hide();
        return;
    case C::deleteBackward:
    case C::deleteForward:
    case C::deleteWordBackward:
        TextView::doCommand(command);
        updateShortcodeCompletion();
        return;
    default:
        break;
    }
    picker_->hide();
    TextView::doCommand(command);
}

void MarkdownTextView::updateShortcodeCompletion()
{
    const Range selection = selectedRange();
    auto hide = [this] {
        if (picker_)
            picker_->hide();
    };
    if (hasMarkedText() || selection.length != 0)
        return hide();
    const std::optional<Range> typing = EmojiShortcode::typingRange(string(), selection.location);
    if (!typing || !isInWindow())
        return hide();
    const U16View query = substring(string(), *typing).substr(1);
    const QRect anchor = firstRectForCharacterRange({typing->location, 0});
    if (!emojiPicker().show(query, anchor, window()))
        hide();
}

void MarkdownTextView::completeShortcode(U16View name)
{
    if (picker_)
        picker_->hide();
    const std::optional<Range> typing = EmojiShortcode::typingRange(string(), selectedRange().location);
    if (!typing)
        return;
    const U16String replacement = u":" + U16String(name) + u":";
    apply(TextEdit{*typing, replacement, {typing->location + int(replacement.size()), 0}});
}

} // namespace velkin
