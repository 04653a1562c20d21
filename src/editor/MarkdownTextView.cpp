#include "editor/MarkdownTextView.h"

#include "editor/EmojiCompletionPicker.h"
#include "editor/GridClipboard.h"
#include "editor/GridEdges.h"
#include "editor/ListContinuation.h"
#include "editor/MarkdownEditing.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/TableGrid.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <QInputMethodEvent>
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
    textStorage()->removeObserver(storageObserver_);
    endColorEditing();
    onMoveToWindow = nullptr;
}

void MarkdownTextView::setUpView()
{
    // Pictures arrive as files or as image data besides the text types.
    setAcceptDrops(true);
    // The storage lives as long as the view; the observer goes in the destructor.
    storageObserver_ = textStorage()->addObserver([this](const TextStorage::Edit& edit) {
        if (edit.charactersChanged) {
            fenceMarks_.edited(edit.range, edit.delta);
            cutRecord_.reset();
        }
    });
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
    if (!top)
        return std::nullopt;
    if (const QVariant bytes = top->property(documentPathProperty); bytes.isValid())
        return bytes.toByteArray().isEmpty() ? std::nullopt : std::optional<Url>(Url::fileURL(bytes.toByteArray().toStdString()));
    const QString path = top->windowFilePath();
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

void MarkdownTextView::apply(const std::optional<TextEdit>& command)
{
    if (!command)
        return;
    const int n = textStorage()->length();
    if (command->range.location < 0 || command->range.length < 0 || command->range.end() > n)
        return;
    TextEdit edit = *command;
    if (GridEdges::gluesUnderGrid(*textStorage(), edit.range, edit.replacement)) {
        // What a command puts right under a grid goes a blank line below it, as typed text does.
        const U16String apart = breaksBefore(edit.range.location) + GridEdges::leaderUnderGrid(*textStorage(), edit.range.location);
        edit.replacement.insert(0, apart);
        if (edit.selection.location >= edit.range.location)
            edit.selection.location += int(apart.size());
    }
    const int newLength = n - edit.range.length + int(edit.replacement.size());
    const int location = std::min(std::max(edit.selection.location, 0), newLength);
    const int length = std::min(std::max(edit.selection.length, 0), newLength - location);
    if (replaceCharacters(edit.range, edit.replacement, Range{location, length}))
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

namespace {

bool sameCell(const TextTableBlock* a, const TextTableBlock* b)
{
    return a && b && a->table() == b->table() && a->startingRow() == b->startingRow()
        && a->startingColumn() == b->startingColumn();
}

} // namespace

std::optional<Range> MarkdownTextView::cellRange(int index) const
{
    const TextStorage* storage = textStorage();
    const int n = storage ? storage->length() : 0;
    if (index < 0 || index >= n)
        return std::nullopt;
    const TextTableBlock* cell = tableBlock(index);
    if (!cell)
        return std::nullopt;
    const U16View text = string();
    int start = lineRange(text, {index, 0}).location;
    while (start > 0 && sameCell(tableBlock(start - 1), cell))
        start = lineRange(text, {start - 1, 0}).location;
    int end = lineRange(text, {index, 0}).end();
    while (end < n && sameCell(tableBlock(end), cell))
        end = lineRange(text, {end, 0}).end();
    if (end > start && text[size_t(end - 1)] == u'\n')
        --end;
    return Range::fromTo(start, end);
}

int MarkdownTextView::offsetInCell() const
{
    const int caret = selectedRange().location;
    const std::optional<Range> cell = cellRange(std::min(caret, textStorage()->length() - 1));
    return cell ? std::clamp(caret - cell->location, 0, cell->length) : 0;
}

bool MarkdownTextView::moveToAdjacentCell(bool forward)
{
    const int n = textStorage()->length();
    if (n == 0)
        return false;
    const int caret = std::min(selectedRange().location, n - 1);
    const std::optional<Range> cell = cellRange(caret);
    if (!cell)
        return false;
    const TextTableBlock* block = tableBlock(caret);
    // Past the cell's line feed lies the next cell; before its start, the previous one's.
    const int neighbour = forward ? cell->end() + 1 : cell->location - 1;
    const TextTableBlock* other = neighbour >= 0 && neighbour < n ? tableBlock(neighbour) : nullptr;
    std::optional<Range> target;
    if (other && other->table() == block->table())
        target = cellRange(neighbour);
    // At the first or last cell the caret stays where it is, in its cell.
    const int to = target ? target->end() : selectedRange().location;
    setSelectedRange({to, 0});
    scrollRangeToVisible(selectedRange());
    return true;
}

std::optional<MarkdownTextView::Grid> MarkdownTextView::currentGrid() const
{
    return gridAt(selectedRange().location);
}

std::optional<MarkdownTextView::Grid> MarkdownTextView::gridAt(int index) const
{
    const TextStorage* storage = textStorage();
    const int n = storage ? storage->length() : 0;
    // The text's end lies on the line under a grid that ends it, as under one in the middle.
    if (n == 0 || index >= n)
        return std::nullopt;
    const int caret = std::max(index, 0);
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
    // A table of a CRLF document serialises with its CRs: the rows are read without them.
    auto lines = splitAt(markdown, u'\n');
    for (U16View& line : lines)
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
    const std::optional<PipeTable::Parsed> parsed = PipeTable::parse(lines);
    if (!parsed)
        return std::nullopt;
    return Grid{range, *parsed, block->startingRow(), block->startingColumn()};
}

// ---- Typing and completion ----

void MarkdownTextView::insertText(U16View text, std::optional<Range> replacementRange)
{
    if (!hasMarkedText() && isEditable() && replaceAtGridEdge(replacementRange.value_or(selectedRange()), text, true)) {
        updateShortcodeCompletion();
        return;
    }
    TextView::insertText(text, replacementRange);
    updateShortcodeCompletion();
}

bool MarkdownTextView::replaceAtGridEdge(Range range, U16View text, bool typing)
{
    const int n = textStorage()->length();
    if (range.location < 0 || range.length < 0 || range.end() > n)
        return false;
    if (auto edit = GridEdges::replacingAcross(*textStorage(), range, text, gridBaseSize, attributesForInsertion(range),
                                               lineEnding())) {
        endJoiningUndo();
        // A key typed over the edge starts a run: the rest of the word joins its undo step.
        if (typing)
            typeReplacingText(edit->range, edit->text, edit->caret);
        else
            replaceText(edit->range, edit->text, Range{edit->caret, 0});
        scrollRangeToVisible(selectedRange());
        return true;
    }
    if (!GridEdges::gluesUnderGrid(*textStorage(), range, text))
        return false;
    // The blank line under the grid stays; what is typed or pasted goes on a line of its own below it.
    const U16String apart = lineEnding() + GridEdges::leaderUnderGrid(*textStorage(), range.location) + U16String(text);
    if (typing) {
        TextView::insertText(apart, range);
        return true;
    }
    replaceText(range, AttributedString(apart, attributesForInsertion(range)),
                Range{range.location + int(apart.size()), 0});
    scrollRangeToVisible(selectedRange());
    return true;
}

bool MarkdownTextView::inCell(int index) const
{
    const int n = textStorage()->length();
    return (index < n && tableBlock(index)) || (index > 0 && index <= n && tableBlock(index - 1) && string()[size_t(index - 1)] != u'\n');
}

bool MarkdownTextView::crossesGridEdge(Range range, U16View replacement) const
{
    return GridEdges::replacingAcross(*textStorage(), range, replacement, gridBaseSize, {})
        || GridEdges::gluesUnderGrid(*textStorage(), range, replacement);
}

void MarkdownTextView::inputMethodEvent(QInputMethodEvent* event)
{
    // A composition over a selection that crosses a grid's edge starts where the
    // selection, taken out cell by cell, leaves the caret.
    const Range selection = selectedRange();
    if (isEditable() && !hasMarkedText() && !event->preeditString().isEmpty() && selection.length > 0
        && GridEdges::replacingAcross(*textStorage(), selection, u"", gridBaseSize, {}))
        replaceAtGridEdge(selection, u"", true);
    TextView::inputMethodEvent(event);
}

void MarkdownTextView::relocateText(Range source, int index)
{
    TextStorage* storage = textStorage();
    // It goes in as it would be copied and pasted: text of one cell as that text, in a cell its lines
    // becoming the cell's lines; rows of a grid into another grid as its rows.
    bool rows = false;
    U16String moved = GridClipboard::copiedText(*storage, source, &rows);
    const bool toCell = inCell(index);
    if (rows && !toCell)
        moved = GridClipboard::tablesText(*storage, source);
    U16String text = TextOps::withLineEnds(moved, lineEnding());
    const bool fromCell = selectionSpansGrid(source) && !crossesGridEdge(source, u"");
    if (toCell && rows) {
        const std::optional<Range> into = GridClipboard::gridAround(*storage, std::min(index, storage->length() - 1));
        if (into && into->location <= source.location && source.location < into->end())
            return;  // rows dropped into the grid they come from stay where they are
        const auto edit = GridClipboard::pastingRows(*storage, index, moved, gridBaseSize);
        if (!edit)
            return;
        const int before = storage->length();
        replaceText(edit->range, edit->text, Range{edit->caret, 0});
        const int added = storage->length() - before;
        const Range shifted = index < source.location ? Range{source.location + added, source.length} : source;
        if (!replaceAtGridEdge(shifted, u"", false))
            replaceText(shifted, AttributedString(), std::nullopt);
        return;
    }
    if (!toCell && !crossesGridEdge(source, u"") && !crossesGridEdge(Range{index, 0}, moved)) {
        // Table lines that are no grid where they stand (in a fence, say) make one where they land outside
        // a fence: they go apart from the line there, as pasted ones do. The source's removal leaves the
        // characters on either side of `index` as they are, so the breaks hold after it.
        U16String apart = MarkdownEditing::paste(string(), Range{index, 0}, text, lineEnding()).replacement;
        if (apart.size() == text.size() || isFencedLine(lineRange(string(), Range{index, 0}))) {
            // Text of a cell goes in as the text it is, without the cell's paragraph attributes.
            if (!fromCell) {
                TextView::relocateText(source, index);
                return;
            }
        } else {
            text = std::move(apart);
        }
    } else if (!toCell && selectionSpansGrid(source) && !fromCell) {
        // Rows of a grid go in as a block of their own, a blank line from the text around.
        const U16String eol = lineEnding();
        const U16String after = MarkdownEditing::trailingBreak(string(), index, eol);
        const int below = lineRange(string(), Range{index, 0}).end();
        if (!after.empty())
            text += text.ends_with(eol) ? eol : eol + eol;
        else if (!text.ends_with(eol) && below < storage->length()
                 && !isBlank(substring(string(), lineRange(string(), Range{below, 0})), TrimSet::WhitespaceAndNewlines))
            // Dropped on a blank line (under their own grid, say), the rows end that line: the blank
            // line after them keeps the text below out of their table.
            text += eol;
        text = MarkdownEditing::leadingBreaks(string(), index, eol) + text;
    }
    const int before = storage->length();
    if (toCell || !replaceAtGridEdge(Range{index, 0}, text, false)) {
        // Its tables become grids where a fresh open shows them so, as pasted ones do.
        const auto grids = toCell ? std::nullopt
            : GridClipboard::withOpenedGrids(*storage, TextEdit{Range{index, 0}, text, Range{index, 0}}, gridBaseSize,
                                             attributesForInsertion(Range{index, 0}));
        if (grids && (grids->range.length == 0 || grids->range.end() <= source.location || grids->range.location >= source.end()))
            replaceText(grids->range, grids->text, std::nullopt);
        else
            replaceText(Range{index, 0}, AttributedString(text, attributesForInsertion(Range{index, 0})), std::nullopt);
    }
    const int added = storage->length() - before;
    const Range shifted = index < source.location ? Range{source.location + added, source.length} : source;
    const int beforeRemoval = storage->length();
    if (!replaceAtGridEdge(shifted, u"", false))
        replaceText(shifted, AttributedString(), std::nullopt);
    // The moved text stays selected where it can be found again.
    const int at = index < source.location ? index + added - int(text.size()) : index + added - int(text.size()) + storage->length() - beforeRemoval;
    if (at >= 0 && at + int(text.size()) <= storage->length() && string().substr(size_t(at), text.size()) == text)
        setSelectedRange(Range{at, int(text.size())});
}

void MarkdownTextView::cut()
{
    const Range selection = selectedRange();
    if (selection.length == 0 || !isEditable())
        return;
    removeRecorded(selection, false, [this](bool acrossGrids) {
        if (!acrossGrids) {
            TextView::cut();
            return true;
        }
        copy();
        return replaceAtGridEdge(selectedRange(), u"", false);
    });
}

void MarkdownTextView::removeRecorded(Range selection, bool deleting, const std::function<bool(bool acrossGrids)>& remove)
{
    // The removal changes the selection, grown over a grid's edge to the whole grids at its ends, at most.
    TextStorage* storage = textStorage();
    const bool acrossGrids = crossesGridEdge(selection, u"");
    Range changed = selection;
    // A Delete keeps what a copy of the selection reads: the grids at its ends and the character after it.
    Range kept = selection;
    for (const int end : {selection.location, selection.end()})
        if (acrossGrids || deleting)
            if (const std::optional<Range> grid = GridClipboard::gridAround(*storage, end))
                kept = unionRange(kept, *grid);
    if (acrossGrids) {
        changed = kept;
        // And the text's final line end right after it, which a grid left ending the text takes as its own.
        const U16View rest = substring(string(), Range::fromTo(changed.end(), storage->length()));
        if (rest == u"\n" || rest == u"\r\n")
            changed = Range::fromTo(changed.location, storage->length());
    }
    kept = unionRange(changed, Range::fromTo(kept.location, std::min(kept.end() + (deleting ? 1 : 0), storage->length())));
    AttributedString before = storage->attributedSubstring(kept);
    const int length = storage->length();
    if (!remove(acrossGrids) || (!acrossGrids && storage->length() == length))
        return;
    std::optional<U16String> copied = deleting ? std::nullopt : Pasteboard::general().plainText();
    // Away from grids a paste puts the text back as it stood, unless it holds a table's line that the
    // paste sets apart from the text around it: nothing to keep.
    const int caret = selectedRange().location;
    if (!deleting && !copied)
        return;
    const bool holdsPipe = TextOps::contains(deleting ? substring(before.string(), Range{selection.location - kept.location, selection.length})
                                                      : U16View(*copied),
                                             u"|");
    if (!acrossGrids && !(tableBlock(caret) || tableBlock(caret - 1)) && !holdsPipe)
        return;
    cutRecord_ = CutRecord{Range{changed.location, changed.length + storage->length() - length},
                           std::move(before),
                           kept.location,
                           Range{changed.location - kept.location, changed.length},
                           caret,
                           selection.end(),
                           std::move(copied),
                           selection};
}

const U16String& MarkdownTextView::recordedClipboard(CutRecord& record) const
{
    if (!record.clipboard) {
        const Range taken{record.selection.location - record.beforeFrom, record.selection.length};
        record.clipboard = GridEdges::holdsCells(record.before, taken) ? GridClipboard::copiedText(record.before, taken)
                                                                          : U16String(substring(record.before.string(), taken));
    }
    return *record.clipboard;
}

void MarkdownTextView::insertNewline()
{
    // In a cell the line feed stays a line break of that cell: no list or quote
    // leader is ever continued there, whatever the cell holds.
    const Range selection = selectedRange();
    // Over a selection that crosses a grid's edge the line feed replaces it cell by cell, continuing nothing.
    if (!hasMarkedText() && selection.length > 0 && replaceAtGridEdge(selection, lineEnding(), true))
        return;
    if (inCell(selection.location)) {
        // A cell's paragraphs are parted by line feeds whatever the document uses:
        // the cell writes them back as "<br>".
        TextView::insertText(u"\n");
        return;
    }
    // Over a selection that ends where a grid starts, a continued leader would go into its first cell.
    if (hasMarkedText() || currentGrid() || (selection.length > 0 && tableBlock(selection.end()))) {
        TextView::insertNewline();
        return;
    }
    if (const auto edit = ListContinuation::newline(
            string(), selectedRange(), [this](Range line) { return fenceOfLine(line); }, lineEnding())) {
        apply(edit);
        return;
    }
    TextView::insertNewline();
}

namespace {

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

// The line break (a CRLF as one) ending at `at` or, forward, starting there; none when there is none.
std::optional<Range> lineBreakAt(U16View text, int at, bool backward)
{
    const int n = int(text.size());
    if (backward) {
        if (at <= 0 || at > n || !isLineBreak(text[size_t(at - 1)]))
            return std::nullopt;
        const bool crlf = text[size_t(at - 1)] == u'\n' && at >= 2 && text[size_t(at - 2)] == u'\r';
        return crlf ? Range{at - 2, 2} : Range{at - 1, 1};
    }
    if (at < 0 || at >= n || !isLineBreak(text[size_t(at)]))
        return std::nullopt;
    const bool crlf = text[size_t(at)] == u'\r' && at + 1 < n && text[size_t(at + 1)] == u'\n';
    return Range{at, crlf ? 2 : 1};
}

} // namespace

bool MarkdownTextView::deleteAtGridEdge(const TextCommand& command)
{
    // A line break at a grid's edge that a deletion key would take: between two cells, between a
    // cell and the text around its grid, or under a grid with text right below it. Taking it would
    // move text across the grid's edge (a line right under a table reads as one of its rows), so
    // the caret steps over it instead.
    using C = TextCommand;
    const bool backward = command.kind == C::deleteBackward || command.kind == C::deleteWordBackward;
    if ((!backward && command.kind != C::deleteForward && command.kind != C::deleteWordForward)
        || selectedRange().length != 0 || !isEditable())
        return false;
    const std::optional<Range> feed = lineBreakAt(string(), selectedRange().location, backward);
    if (!feed)
        return false;
    const TextTableBlock* above = tableBlock(feed->location);
    const TextTableBlock* below = tableBlock(feed->end());
    if (above && sameCell(above, below))
        return false;  // two lines of one cell join as any two lines do
    if (!above && !below && !GridEdges::gluesUnderGrid(*textStorage(), *feed, u""))
        return false;
    if (above && !below) {
        // The grid's last line feed, with the caret on the blank line under the grid (Backspace) or at the
        // end of its last cell (Delete): that blank line goes, unless it is all that keeps text below apart.
        if (const std::optional<Range> blank = lineBreakAt(string(), feed->end(), false);
            blank && !GridEdges::gluesUnderGrid(*textStorage(), *blank, u"")) {
            if (picker_)
                picker_->hide();
            replaceText(*blank, AttributedString(), Range{feed->location, 0});
            scrollRangeToVisible(selectedRange());
            return true;
        }
    }
    TextView::doCommand(TextCommand{backward ? C::moveLeft : C::moveRight, false});
    if (picker_)
        picker_->hide();
    return true;
}

void MarkdownTextView::doCommand(const TextCommand& command)
{
    using K = TextCommand::Kind;
    const bool deletes = command.kind == K::deleteBackward || command.kind == K::deleteForward
        || command.kind == K::deleteWordBackward || command.kind == K::deleteWordForward;
    const Range selection = selectedRange();
    if (deletes && isEditable() && selection.length > 0 && !hasMarkedText()
        && (selectionSpansGrid(selection) || tableBlock(selection.location - 1) || tableBlock(selection.end())
            || TextOps::contains(substring(string(), selection), u"|"))) {
        // At a grid or with a table's line, taken out as Cut takes it but for the clipboard: a paste of
        // what Copy took of it puts it back.
        removeRecorded(selection, true, [this, &command](bool acrossGrids) {
            if (acrossGrids && replaceAtGridEdge(selectedRange(), u"", false)) {
                if (picker_)
                    picker_->hide();
                return true;
            }
            TextView::doCommand(command);
            if (picker_ && picker_->isVisible())
                updateShortcodeCompletion();
            return true;
        });
        return;
    }
    if (deletes && isEditable() && selection.length > 0 && replaceAtGridEdge(selection, u"", false)) {
        if (picker_)
            picker_->hide();
        return;
    }
    if (deleteAtGridEdge(command))
        return;
    if (!picker_ || !picker_->isVisible()) {
        // Tab and Shift+Tab move between the cells of a grid instead of typing a tab into one.
        if ((command.kind == TextCommand::insertTab || command.kind == TextCommand::insertBacktab)
            && moveToAdjacentCell(command.kind == TextCommand::insertTab))
            return;
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
        // After a lone colon (a colon ends many a sentence) they keep their own
        // meaning, unless the arrow keys chose a row.
        if (!picker_->steered() && !shortcodeQueried()) {
            picker_->hide();
            doCommand(command);
            return;
        }
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
    const std::optional<Range> typing
        = EmojiShortcode::typingRange(string(), selection.location, [this](Range line) { return isFencedLine(line); });
    if (!typing || !isInWindow())
        return hide();
    const U16View query = substring(string(), *typing).substr(1);
    const QRect anchor = firstRectForCharacterRange({typing->location, 0});
    if (!emojiPicker().show(query, anchor, window()))
        hide();
}

bool MarkdownTextView::shortcodeQueried()
{
    const std::optional<Range> typing = EmojiShortcode::typingRange(string(), selectedRange().location,
                                                                    [this](Range line) { return isFencedLine(line); });
    return typing && typing->length > 1;
}

void MarkdownTextView::completeShortcode(U16View name)
{
    if (picker_)
        picker_->hide();
    const std::optional<Range> typing = EmojiShortcode::typingRange(string(), selectedRange().location,
                                                                    [this](Range line) { return isFencedLine(line); });
    if (!typing)
        return;
    const U16String replacement = u":" + U16String(name) + u":";
    apply(TextEdit{*typing, replacement, {typing->location + int(replacement.size()), 0}});
}

bool MarkdownTextView::isFencedLine(Range line)
{
    return fenceOfLine(line).has_value();
}

std::optional<ListContinuation::Fence> MarkdownTextView::fenceOfLine(Range line)
{
    const U16View text = string();
    const int start = std::clamp(line.location, 0, int(text.size()));
    MarkdownSyntax::FenceReader reader = fenceMarks_.readerAt(text, start);
    // The line's own reading: it may open a fence, or end one with its item or quotation.
    const U16View own = substring(text, Range::fromTo(start, std::clamp(line.end(), start, int(text.size()))));
    const std::vector<U16View> texts = MarkdownSyntax::lineTexts(own, lineRanges(own));
    if (texts.empty())
        return reader.isOpen() ? std::optional(ListContinuation::Fence{reader.openDepth(), reader.openColumn(), false})
                               : std::nullopt;
    const MarkdownSyntax::FenceLine reading = reader.read(texts.front());
    if (!reading.isInside)
        return std::nullopt;
    return ListContinuation::Fence{reader.openDepth(), reader.openColumn(), reading.opens};
}

} // namespace velkin
