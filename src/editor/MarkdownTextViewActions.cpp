// The editor actions of the text view: formatting commands, insertions, the
// table grid commands and the table context menu, and export.
#include "editor/ExportPanel.h"
#include "editor/MarkdownEditing.h"
#include "editor/MarkdownTextView.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/TableGrid.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include <algorithm>

namespace velkin {

namespace {

int tagOf(const ActionSender* sender)
{
    return sender ? sender->tag : 0;
}

// The tag of an action that reads it only from a menu item.
int menuTagOf(const ActionSender* sender)
{
    return sender && sender->kind == ActionSender::Kind::menuItem ? sender->tag : 0;
}

PipeTable::Parsed emptyTable(int columns, int rows)
{
    PipeTable::Parsed table;
    table.header.assign(size_t(columns), U16String());
    table.alignments.assign(size_t(columns), TextAlignment::Natural);
    for (int r = 1; r < rows; ++r)
        table.rows.emplace_back(size_t(columns), U16String());
    return table;
}

// The content of the cell at (row, column) of a grid, its final line feed left out.
std::optional<Range> cellContentRange(const AttributedString& grid, int row, int column)
{
    const U16View text = grid.string();
    const int n = int(text.size());
    std::optional<Range> found;
    for (int at = 0; at < n;) {
        const int next = lineRange(text, {at, 0}).end();
        const TextTableBlock* block = TableGrid::cellBlock(grid, at);
        if (block && block->startingRow() == row && block->startingColumn() == column) {
            if (!found)
                found = Range{at, 0};
            found->length = next - found->location;
        } else if (found) {
            break;
        }
        at = next;
    }
    if (found && found->length > 0 && text[size_t(found->end() - 1)] == u'\n')
        --found->length;
    return found;
}

QString localized(const char16_t* key)
{
    return QString::fromStdU16String(LocalizedStrings::text(key));
}

} // namespace

template <class Edit> void MarkdownTextView::applyCommand(Edit command)
{
    const std::optional<TextEdit> edit = command(string(), selectedRange());
    if (edit && !keepsGridsWhole(*edit)) {
        // Markup over several cells, or over a cell and the text around its grid,
        // would break a row or move prose into a cell: nothing changes.
        QApplication::beep();
        return;
    }
    apply(edit);
}

bool MarkdownTextView::keepsGridsWhole(const TextEdit& edit) const
{
    const U16View text = string();
    const Range range = edit.range;
    if (range.location < 0 || range.end() > int(text.size()))
        return true;
    bool cells = inCell(range.location);
    for (int i = range.location; i < range.end() && !cells; ++i)
        cells = tableBlock(i) != nullptr;
    if (!cells)
        return true;
    // Within one line of one cell, the edit stays that cell's text.
    const TextTableBlock* cell = tableBlock(range.location) ? tableBlock(range.location) : tableBlock(range.location - 1);
    for (int i = range.location; i < range.end(); ++i)
        if (text[size_t(i)] == u'\n' || tableBlock(i) != cell)
            return false;
    return edit.replacement.find(u'\n') == U16String::npos && edit.replacement.find(u'\r') == U16String::npos;
}

void MarkdownTextView::applyAtGridEnd(const std::function<std::optional<TextEdit>(U16View, Range)>& command)
{
    const std::optional<Grid> grid = currentGrid();
    if (!grid) {
        apply(command(string(), selectedRange()));
        return;
    }
    // In a grid the insertion goes after the grid, not into the cell: on a line of its own, a blank
    // line below the grid, whatever stands under the grid.
    const int end = grid->range.end();
    std::optional<TextEdit> edit = command(string(), Range{end, 0});
    if (!edit || edit->replacement.empty())
        return apply(edit);
    auto isBreak = [](char16_t c) { return c == u'\n' || c == u'\r'; };
    if (!isBreak(edit->replacement.front())) {
        const U16String apart = breaksBefore(end);
        edit->replacement.insert(0, apart);
        edit->selection.location += int(apart.size());
    }
    if (!isBreak(edit->replacement.back()))
        edit->replacement += lineEnding();
    apply(edit);
}

void MarkdownTextView::mdExport(const ActionSender* sender)
{
    const std::optional<ExportFormat> format = ExportFormat::fromRawValue(tagOf(sender));
    if (!format || !textStorage())
        return;
    const U16String markdown = TableGrid::serialize(*textStorage());
    std::optional<std::filesystem::path> document;
    if (const std::optional<Url> url = documentURL())
        document = std::filesystem::path(url->path());
    ExportPanel::present(*format, markdown, document, fontFamily, isInWindow() ? window() : nullptr);
}

void MarkdownTextView::mdApplyHeading(const ActionSender* sender)
{
    const int level = menuTagOf(sender);
    applyCommand([level](U16View text, Range selection) { return MarkdownEditing::heading(text, selection, level); });
}

void MarkdownTextView::mdBold(const ActionSender*)
{
    applyCommand([](U16View text, Range selection) { return MarkdownEditing::wrap(text, selection, u"**"); });
}

void MarkdownTextView::mdItalic(const ActionSender*)
{
    applyCommand(MarkdownEditing::italic);
}

void MarkdownTextView::mdStrikethrough(const ActionSender*)
{
    applyCommand([](U16View text, Range selection) { return MarkdownEditing::wrap(text, selection, u"~~"); });
}

void MarkdownTextView::mdUnderline(const ActionSender*)
{
    applyCommand(MarkdownEditing::underline);
}

void MarkdownTextView::mdSubscript(const ActionSender*)
{
    applyCommand([](U16View text, Range selection) { return MarkdownEditing::tagWrap(text, selection, u"sub"); });
}

void MarkdownTextView::mdSuperscript(const ActionSender*)
{
    applyCommand([](U16View text, Range selection) { return MarkdownEditing::tagWrap(text, selection, u"sup"); });
}

void MarkdownTextView::mdCode(const ActionSender*)
{
    applyCommand([](U16View text, Range selection) { return MarkdownEditing::wrap(text, selection, u"`"); });
}

void MarkdownTextView::mdLink(const ActionSender*)
{
    applyCommand(MarkdownEditing::link);
}

void MarkdownTextView::mdImage(const ActionSender*)
{
    applyAtGridEnd([](U16View text, Range selection) { return std::optional(MarkdownEditing::image(text, selection)); });
}

void MarkdownTextView::mdInsertHorizontalRule(const ActionSender*)
{
    applyAtGridEnd([this](U16View text, Range selection) {
        return std::optional(MarkdownEditing::horizontalRule(text, selection, lineEnding()));
    });
}

void MarkdownTextView::mdInsertTable(const ActionSender*)
{
    if (currentGrid())
        return;
    PipeTable::Parsed table;
    table.header = {u"Column 1", u"Column 2"};
    table.alignments = {TextAlignment::Natural, TextAlignment::Natural};
    table.rows = {{U16String(), U16String()}};
    insertGrid(table);
}

void MarkdownTextView::mdInsertTableSized(const ActionSender* sender)
{
    if (currentGrid())
        return;
    const MarkdownEditing::TableSize size = sender && sender->kind == ActionSender::Kind::menuItem
        ? MarkdownEditing::tableSize(sender->tag)
        : MarkdownEditing::TableSize{1, 1};
    // A tag can ask for any size: a grid is kept to what a page can hold.
    insertGrid(emptyTable(std::clamp(size.columns, 1, 100), std::clamp(size.rows, 1, 1000)));
}

void MarkdownTextView::mdTableAddRow(const ActionSender*)
{
    if (auto grid = currentGrid()) {
        grid->table.rows.emplace_back(size_t(grid->table.columnCount()), U16String());
        replaceGrid(grid->range, grid->table, int(grid->table.rows.size()), grid->column, 0);
    }
}

void MarkdownTextView::mdTableAddColumn(const ActionSender*)
{
    if (auto grid = currentGrid())
        replaceGrid(grid->range, PipeTable::insertingColumn(grid->table, grid->table.columnCount()), grid->row,
                    grid->column, offsetInCell());
}

void MarkdownTextView::mdTableAlign(const ActionSender* sender)
{
    auto grid = currentGrid();
    if (!grid)
        return;
    const int tag = menuTagOf(sender);
    const TextAlignment alignment = tag == 1 ? TextAlignment::Center : tag == 2 ? TextAlignment::Right : TextAlignment::Left;
    std::vector<TextAlignment>& alignments = grid->table.alignments;
    if (int(alignments.size()) < grid->column + 1)
        alignments.resize(size_t(grid->column + 1), TextAlignment::Natural);
    alignments[size_t(grid->column)] = alignment;
    replaceGrid(grid->range, grid->table, grid->row, grid->column, offsetInCell());
}

void MarkdownTextView::mdTableInsertRowAbove(const ActionSender*)
{
    if (auto grid = currentGrid()) {
        const int index = std::min(int(grid->table.rows.size()), std::max(grid->row - 1, 0));
        replaceGrid(grid->range, PipeTable::insertingRow(grid->table, index), index + 1, grid->column, 0);
    }
}

void MarkdownTextView::mdTableInsertRowBelow(const ActionSender*)
{
    if (auto grid = currentGrid()) {
        const int index = std::min(int(grid->table.rows.size()), std::max(grid->row, 0));
        replaceGrid(grid->range, PipeTable::insertingRow(grid->table, index), index + 1, grid->column, 0);
    }
}

void MarkdownTextView::mdTableInsertColumnLeft(const ActionSender*)
{
    if (auto grid = currentGrid())
        replaceGrid(grid->range, PipeTable::insertingColumn(grid->table, grid->column), grid->row, grid->column + 1,
                    offsetInCell());
}

void MarkdownTextView::mdTableInsertColumnRight(const ActionSender*)
{
    if (auto grid = currentGrid())
        replaceGrid(grid->range, PipeTable::insertingColumn(grid->table, grid->column + 1), grid->row, grid->column,
                    offsetInCell());
}

void MarkdownTextView::mdTableDeleteRow(const ActionSender*)
{
    if (auto grid = currentGrid())
        if (auto table = PipeTable::deletingRow(grid->table, grid->row - 1))
            // The caret goes to the same column of the row that took the deleted one's place.
            replaceGrid(grid->range, *table, std::min(grid->row, int(table->rows.size())), grid->column, 0);
}

void MarkdownTextView::mdTableDeleteColumn(const ActionSender*)
{
    if (auto grid = currentGrid())
        if (auto table = PipeTable::deletingColumn(grid->table, grid->column))
            replaceGrid(grid->range, *table, grid->row, std::min(grid->column, table->columnCount() - 1), 0);
}

// The menus' form of the actions: sent by a menu item carrying the tag.
#define VELKIN_MENU_ACTION(name)                   \
    void MarkdownTextView::name(int tag)           \
    {                                              \
        const ActionSender sender = ActionSender::menuItem(tag); \
        name(&sender);                             \
    }
VELKIN_MENU_ACTION(mdExport)
VELKIN_MENU_ACTION(mdApplyHeading)
VELKIN_MENU_ACTION(mdBold)
VELKIN_MENU_ACTION(mdItalic)
VELKIN_MENU_ACTION(mdStrikethrough)
VELKIN_MENU_ACTION(mdUnderline)
VELKIN_MENU_ACTION(mdSubscript)
VELKIN_MENU_ACTION(mdSuperscript)
VELKIN_MENU_ACTION(mdCode)
VELKIN_MENU_ACTION(mdLink)
VELKIN_MENU_ACTION(mdImage)
VELKIN_MENU_ACTION(mdInsertHorizontalRule)
VELKIN_MENU_ACTION(mdInsertTable)
VELKIN_MENU_ACTION(mdInsertTableSized)
VELKIN_MENU_ACTION(mdTableAddRow)
VELKIN_MENU_ACTION(mdTableAddColumn)
VELKIN_MENU_ACTION(mdTableAlign)
VELKIN_MENU_ACTION(mdTableInsertRowAbove)
VELKIN_MENU_ACTION(mdTableInsertRowBelow)
VELKIN_MENU_ACTION(mdTableInsertColumnLeft)
VELKIN_MENU_ACTION(mdTableInsertColumnRight)
VELKIN_MENU_ACTION(mdTableDeleteRow)
VELKIN_MENU_ACTION(mdTableDeleteColumn)
#undef VELKIN_MENU_ACTION

// ---- Grids ----

U16String MarkdownTextView::breaksBefore(int position) const
{
    // A grid's last line feed ends its last row, whatever its empty cells' line feeds look like.
    if (position > 0 && tableBlock(position - 1))
        return lineEnding();
    return MarkdownEditing::leadingBreaks(string(), position, lineEnding());
}

void MarkdownTextView::insertGrid(const PipeTable::Parsed& table)
{
    TextStorage* storage = textStorage();
    if (!storage)
        return;
    const U16View text = string();
    const U16String& eol = lineEnding();
    // In code a table would be code: it goes below the code block, taking the block's item or quotation.
    const auto below = MarkdownEditing::belowCode(text, std::min(storage->length(), selectedRange().location));
    if (!below) {
        QApplication::beep();
        return;
    }
    MarkdownEditing::BlockPlacement place = MarkdownEditing::blockPlacement(text, below->first, below->second, eol);
    // A grid's cells are no lines of the text: an empty one beside the table is no blank line
    // parting them, and the line feed after a grid that ends the text is the document's only when
    // its table was read with one.
    const int n = storage->length();
    if (place.before.empty() && place.at > 0 && tableBlock(place.at - 1))
        place.before = place.blank + eol;
    if (place.after.empty() && place.at < n && tableBlock(place.at))
        place.after = place.blank + eol;
    if (place.at == n && n > 0 && tableBlock(n - 1)) {
        const auto* above = dynamic_cast<const TableGrid::SourceTable*>(tableBlock(n - 1)->table().get());
        place.lastLineEnd = above && !above->endsLikeRows && !above->lastRowEnd.empty();
    }
    if (eol == u"\r" || place.quoted) {
        // Rows parted by CR alone are no grid (a grid's rows are lines parted by line
        // feeds), as the tables of such a document open, nor rows after quote leaders:
        // the table goes in as text.
        const U16String rows = TextOps::replacingAll(PipeTable::markdown(table), u"\n", eol);
        const TextEdit edit = MarkdownEditing::placingLines(place, rows, eol);
        if (replaceText(edit.range, AttributedString(edit.replacement, attributesForInsertion(edit.range)), edit.selection))
            scrollRangeToVisible(selectedRange());
        return;
    }
    // A new grid's rows end as the document's lines do, after the leader of the item it is in; at
    // the end of the text it keeps the final line break the text had.
    TableGrid::SourceTable lineEnds;
    lineEnds.rowEnd = eol;
    lineEnds.leader = place.leader;
    lineEnds.endsLikeRows = !place.lastLineEnd;
    lineEnds.endedText = place.lastLineEnd;
    lineEnds.lastRowEnd = place.lastLineEnd ? eol : U16String();
    AttributedString piece{U16String(place.before)};
    piece.append(TableGrid::attributedReplacing(table, gridBaseSize, &lineEnds));
    if (!place.after.empty())
        piece.append(AttributedString(place.after));
    const int caret = place.at + int(place.before.size());
    if (replaceText({place.at, 0}, piece, Range{caret, 0}))
        scrollRangeToVisible(selectedRange());
}

void MarkdownTextView::replaceGrid(Range range, const PipeTable::Parsed& table, int row, int column, int offset)
{
    const TextTableBlock* replaced = tableBlock(range.location);
    const AttributedString grid =
        TableGrid::attributedReplacing(table, gridBaseSize, replaced ? replaced->table().get() : nullptr);
    // The caret is put in its cell before the delegate hears of the change, so the
    // restyle that follows sees it where it belongs.
    const std::optional<Range> cell = cellContentRange(grid, row, column);
    const int caret = range.location + (cell ? cell->location + std::clamp(offset, 0, cell->length) : 0);
    // Undo and redo put back the caret each found, not the rewritten grid selected.
    if (replaceText(range, grid, Range{caret, 0}))
        scrollRangeToVisible(selectedRange());
}

QMenu* MarkdownTextView::tableContextMenu()
{
    const std::optional<Grid> grid = currentGrid();
    const bool rowItems = !grid || grid->row != 0;
    const bool columnDeletion = grid && grid->table.columnCount() > 1;
    auto* menu = new QMenu(this);
    auto add = [&](const char16_t* title, void (MarkdownTextView::*action)(const ActionSender*), bool enabled) {
        QAction* item = menu->addAction(localized(title), this, [this, action] { (this->*action)(nullptr); });
        item->setEnabled(enabled);
    };
    add(u"Insert Row Above", &MarkdownTextView::mdTableInsertRowAbove, rowItems);
    add(u"Insert Row Below", &MarkdownTextView::mdTableInsertRowBelow, true);
    add(u"Insert Column Left", &MarkdownTextView::mdTableInsertColumnLeft, true);
    add(u"Insert Column Right", &MarkdownTextView::mdTableInsertColumnRight, true);
    menu->addSeparator();
    add(u"Delete Row", &MarkdownTextView::mdTableDeleteRow, rowItems);
    add(u"Delete Column", &MarkdownTextView::mdTableDeleteColumn, columnDeletion);
    menu->addSeparator();
    QMenu* alignment = menu->addMenu(localized(u"Column Alignment"));
    const std::pair<const char16_t*, int> alignments[] = {{u"Left", 0}, {u"Center", 1}, {u"Right", 2}};
    for (const auto& [title, tag] : alignments)
        alignment->addAction(localized(title), this, [this, tag = tag] {
            const ActionSender sender = ActionSender::menuItem(tag);
            mdTableAlign(&sender);
        });
    return menu;
}

QMenu* MarkdownTextView::menuForEvent(QContextMenuEvent* event)
{
    // The Menu key opens the menu of the caret's place, where the caret stays (the point Qt gives
    // for it, the caret's middle, lies in the character before it).
    if (event->reason() != QContextMenuEvent::Mouse)
        return currentGrid() ? tableContextMenu() : TextView::menuForEvent(event);
    const QPointF at = viewport()->mapFromGlobal(event->globalPos());
    if (const std::optional<int> index = characterAt(containerPoint(at)); index && tableBlock(*index)) {
        setSelectedRange({*index, 0});
        return tableContextMenu();
    }
    return TextView::menuForEvent(event);
}

} // namespace velkin
