#include "editor/GridEdges.h"

#include "markdown/PipeTable.h"
#include "markdown/TableGrid.h"

#include <algorithm>
#include <map>
#include <vector>

namespace velkin::GridEdges {

int inGrid(U16View cell, int at)
{
    int offset = at;
    for (int b : PipeTable::cellBreaks(cell))
        if (b + int(PipeTable::cellBreak.size()) <= at)
            offset -= int(PipeTable::cellBreak.size()) - 1;
    return offset;
}

namespace {

const TextTable* tableAt(const AttributedString& text, int index)
{
    const TextTableBlock* block = TableGrid::cellBlock(text, index);
    return block ? block->table().get() : nullptr;
}

// The grid holding the character at `index`: from its first cell to past its last
// line feed, found a run (a cell) at a time.
Range gridAround(const AttributedString& text, int index)
{
    const TextTable* table = tableAt(text, index);
    Range run;
    text.attribute(AttributeKey::ParagraphStyle, index, &run);
    Range grid = run;
    while (grid.location > 0 && tableAt(text, grid.location - 1) == table) {
        text.attribute(AttributeKey::ParagraphStyle, grid.location - 1, &run);
        grid = Range::fromTo(run.location, grid.end());
    }
    while (grid.end() < text.length() && tableAt(text, grid.end()) == table) {
        text.attribute(AttributeKey::ParagraphStyle, grid.end(), &run);
        grid = Range::fromTo(grid.location, run.end());
    }
    return grid;
}

// The cell runs of `text` within `range`, in text order.
std::vector<Range> cellRuns(const AttributedString& text, Range range)
{
    std::vector<Range> runs;
    text.enumerateAttribute(AttributeKey::ParagraphStyle, range, [&](const AttributeValue* value, Range run) {
        const auto* style = value ? std::get_if<ParagraphStylePtr>(value) : nullptr;
        if (style && *style && (*style)->tableBlock())
            runs.push_back(run);
    });
    return runs;
}

// The part of `piece` left when `removed` is cut out of it.
U16String without(U16View text, Range piece, Range removed)
{
    U16String out;
    if (removed.location > piece.location)
        out += substring(text, Range::fromTo(piece.location, std::min(piece.end(), removed.location)));
    if (removed.end() < piece.end())
        out += substring(text, Range::fromTo(std::max(piece.location, removed.end()), piece.end()));
    return out;
}

// Line breaks (a CRLF as one) from `at` on or, backwards, before it.
int feedsAt(U16View text, int at, bool forward)
{
    const int n = int(text.size());
    int count = 0;
    if (forward) {
        for (int p = at; p < n; ++count) {
            if (text[size_t(p)] == u'\r' && p + 1 < n && text[size_t(p + 1)] == u'\n')
                p += 2;
            else if (text[size_t(p)] == u'\n')
                ++p;
            else
                break;
        }
    } else {
        for (int p = at; p > 0 && text[size_t(p - 1)] == u'\n'; ++count)
            p -= p >= 2 && text[size_t(p - 2)] == u'\r' ? 2 : 1;
    }
    return count;
}

bool isBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

// What a blank line under a grid may hold.
bool isSpaceOrTab(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Where the run of spaces and tabs that ends at `at` starts.
int blanksStart(U16View text, int at)
{
    while (at > 0 && isSpaceOrTab(text[size_t(at - 1)]))
        --at;
    return at;
}

struct Piece {
    AttributedString text;
    bool grid = false;
    Range original;  // where the piece stood
};


// One grid with the selected cell text cut out, rows wholly selected removed; none
// when nothing of it is left. `caret` receives the start cell's caret when it holds `range`'s start;
// `typedIn` whether `typed` went into that cell (not when the selection takes its row and runs past the grid).
std::optional<AttributedString> cutGrid(const AttributedString& text, Range grid, Range range, U16View typed,
                                        double baseSize, std::optional<int>& caret, bool& typedIn)
{
    typedIn = false;
    // A selection holding the whole grid takes every row (see below) without reading them.
    if (range.location <= grid.location && range.end() >= grid.end() - 1)
        return std::nullopt;
    const U16View s = text.string();
    struct Cell {
        std::vector<U16String> lines;  // its paragraphs, as typed
        bool holdsStart = false;
        size_t caretLine = 0;
        int caretOffset = 0;  // in that line
    };
    std::map<int, std::map<int, Cell>> rows;
    std::map<int, Range> rowRanges;
    std::map<int, TextAlignment> alignments;
    bool changed = false;
    int columns = 0;
    for (int p = grid.location; p < grid.end();) {
        int end = p;
        while (end < grid.end() && s[size_t(end)] != u'\n')
            ++end;
        const Range content = Range::fromTo(p, end);
        const TextTableBlock* block = TableGrid::cellBlock(text, p < text.length() ? p : grid.location);
        const int row = block ? block->startingRow() : 0;
        const int column = block ? block->startingColumn() : 0;
        columns = std::max(columns, column + 1);
        Cell& cell = rows[row][column];
        // The cell's next paragraph stays a line of its own, unless the selection takes the break before it.
        if (cell.lines.empty() || !(range.location < p && p <= range.end()))
            cell.lines.emplace_back();
        const bool start = range.location >= content.location && range.location <= content.end();
        U16String kept = without(s, content, range);
        if (start) {
            const U16String line = asCellLine(typed);
            const int before = std::max(0, range.location - content.location);
            kept.insert(size_t(before), line);
            cell.holdsStart = true;
            cell.caretLine = cell.lines.size() - 1;
            cell.caretOffset = int(cell.lines.back().size()) + before + int(line.size());
        }
        changed = changed || kept != substring(s, content);
        cell.lines.back() += kept;
        if (!alignments.count(column)) {
            const ParagraphStyle* style = text.paragraphStyle(p);
            alignments[column] = style ? style->alignment : TextAlignment::Natural;
        }
        const Range line = Range::fromTo(p, std::min(grid.end(), end + 1));
        if (const auto known = rowRanges.find(row); known != rowRanges.end())
            known->second = unionRange(known->second, line);
        else
            rowRanges.emplace(row, line);
        p = end + 1;
    }
    // A row goes when the selection holds all of it but, at most, its last line feed. Within the
    // grid, the row where typing starts stays to take it; a selection that runs past the grid
    // takes that row too, and what is typed goes in its place as text.
    const bool runsPast = range.end() >= grid.end() - 1;
    std::vector<int> kept;
    for (const auto& [row, cells] : rows) {
        const Range r = rowRanges[row];
        bool holdsStart = false;
        for (const auto& [column, cell] : cells)
            holdsStart = holdsStart || (cell.holdsStart && !typed.empty() && !runsPast);
        if (range.location <= r.location && range.end() >= r.end() - 1 && !holdsStart)
            changed = true;
        else
            kept.push_back(row);
    }
    if (kept.empty())
        return std::nullopt;
    // The header stays, emptied, while any body row does.
    if (kept.front() != rows.begin()->first)
        kept.insert(kept.begin(), rows.begin()->first);
    const bool startsHere = range.location >= grid.location && range.location < grid.end();
    if (!changed) {
        if (startsHere)
            caret = range.location - grid.location;
        return text.attributedSubstring(grid);
    }
    // The row the selection starts in, when it starts in this grid.
    std::optional<int> startRow;
    for (const auto& [row, r] : rowRanges)
        if (startsHere && range.location >= r.location && range.location < r.end())
            startRow = row;
    PipeTable::Parsed table;
    int offset = 0;
    for (size_t k = 0; k < kept.size(); ++k) {
        // A removed start row leaves the caret at the start of the next row left.
        if (startRow && !caret && kept[k] > *startRow)
            caret = offset;
        // Written as the grid writes a row, so that typed text reads back as the same cells.
        std::vector<std::vector<U16View>> cellLines(size_t(columns), std::vector<U16View>{U16View()});
        for (const auto& [c, cell] : rows[kept[k]])
            cellLines[size_t(c)].assign(cell.lines.begin(), cell.lines.end());
        std::vector<U16String> values = PipeTable::writtenCells(cellLines);
        for (int c = 0; c < columns; ++c) {
            const U16String& value = values[size_t(c)];
            const auto it = rows[kept[k]].find(c);
            if (it != rows[kept[k]].end() && it->second.holdsStart && kept[k] == startRow && !caret) {
                const int at = PipeTable::writtenOffset(value, cellLines[size_t(c)], it->second.caretLine,
                                                        it->second.caretOffset);
                caret = offset + inGrid(value, at);
                typedIn = true;
            }
            offset += inGrid(value, int(value.size())) + 1;
        }
        if (k == 0)
            table.header = std::move(values);
        else
            table.rows.push_back(std::move(values));
    }
    if (startRow && !caret)
        caret = offset;
    for (int c = 0; c < columns; ++c)
        table.alignments.push_back(alignments.count(c) ? alignments[c] : TextAlignment::Natural);
    const TextTableBlock* first = TableGrid::cellBlock(text, grid.location);
    return TableGrid::attributedReplacing(table, baseSize, first ? first->table().get() : nullptr);
}

} // namespace

bool holdsCells(const AttributedString& text, Range range)
{
    for (int at = std::max(range.location, 0); at < std::min(range.end(), text.length());) {
        Range run;
        const AttributeValue* value = text.attribute(AttributeKey::ParagraphStyle, at, &run);
        const auto* style = value ? std::get_if<ParagraphStylePtr>(value) : nullptr;
        if (style && *style && (*style)->tableBlock())
            return true;
        at = run.end();
    }
    return false;
}

std::optional<Replacement> replacingAcross(const AttributedString& text, Range range, U16View typed, double baseSize,
                                           const Attributes& typingIn, U16View lineEnd)
{
    // What is put in outside the grids belongs to no cell.
    Attributes typing = typingIn;
    if (const ParagraphStyle* style = typing.paragraphStyle(); style && style->tableBlock())
        typing.remove(AttributeKey::ParagraphStyle);
    const U16View s = text.string();
    const int n = text.length();
    if (range.length <= 0 || range.location < 0 || range.end() > n)
        return std::nullopt;
    // Within one cell's text, or in prose that stays apart from every grid, the edit is an ordinary one.
    const bool cells = holdsCells(text, range);
    // The whole text holding a grid, replaced: the new text reads as a document opened with it, its
    // tables grids (nothing, when nothing is typed).
    if (cells && range.location == 0 && range.end() == n) {
        AttributedString opened = TableGrid::grids(typed, baseSize);
        const int caret = opened.length();
        // Its prose takes the typing attributes, as typed text does.
        std::vector<Range> prose;
        int at = 0;
        for (const Range& cell : cellRuns(opened, Range{0, caret})) {
            if (cell.location > at)
                prose.push_back(Range::fromTo(at, cell.location));
            at = cell.end();
        }
        if (at < caret)
            prose.push_back(Range::fromTo(at, caret));
        for (const Range& r : prose)
            opened.setAttributes(typing, r);
        return Replacement{range, std::move(opened), caret};
    }
    const int end = range.end();
    const bool gridFollows = end < n && tableAt(text, end) && (end == 0 || tableAt(text, end - 1) != tableAt(text, end));
    const bool joinsAbove = gridFollows
        && ((!typed.empty() && typed.back() != u'\n')
            || (typed.empty() && range.location > 0
                && (s[size_t(range.location - 1)] != u'\n' || tableAt(text, range.location - 1))));
    if (!cells && !joinsAbove)
        return std::nullopt;
    if (const TextTable* table = tableAt(text, range.location)) {
        bool oneCell = tableAt(text, range.end() - 1) == table;
        for (int i = range.location; i < range.end() && oneCell; ++i)
            oneCell = s[size_t(i)] != u'\n';
        if (oneCell)
            return std::nullopt;
    }

    // The selection grows to whole grids at either end.
    int from = range.location, to = range.end();
    if (tableAt(text, from))
        from = gridAround(text, from).location;
    if (to < n && to > 0 && tableAt(text, to) && (tableAt(text, to) == tableAt(text, to - 1) || joinsAbove))
        to = gridAround(text, to).end();

    const std::vector<Range> runs = cellRuns(text, Range::fromTo(from, to));
    size_t nextRun = 0;
    std::vector<Piece> pieces;
    std::optional<int> caret;  // in the new text
    int written = 0;
    for (int p = from; p < to;) {
        if (tableAt(text, p)) {
            const Range grid = Range::fromTo(p, std::min(to, gridAround(text, p).end()));
            std::optional<int> inGrid;
            bool typedIn = false;
            if (auto kept = cutGrid(text, grid, range, typed, baseSize, inGrid, typedIn)) {
                if (inGrid)
                    caret = written + *inGrid;
                written += kept->length();
                pieces.push_back({std::move(*kept), true, grid});
            } else if (range.location >= grid.location && range.location <= grid.end() && !caret) {
                caret = written;
            }
            // Typed over the selection's start rows and past the grid, the text goes where those rows stood.
            if (!typed.empty() && !typedIn && range.location >= grid.location && range.location < grid.end()) {
                pieces.push_back({AttributedString(U16String(typed), typing), false, Range{grid.end(), 0}});
                written += int(typed.size());
                caret = written;
            }
            // A selection that stops at the last line feed of a grid whose last rows it takes leaves that
            // line's end (which a grid that ends the text writes only when its file ends so).
            if (!typed.empty() && range.end() == grid.end() - 1 && grid.end() == to && !pieces.empty() && !pieces.back().grid
                && (grid.end() < n || TableGrid::serialize(text.attributedSubstring(grid)).ends_with(u'\n'))) {
                pieces.push_back({AttributedString(U16String(lineEnd), typing), false, Range{grid.end(), 0}});
                written += int(lineEnd.size());
            }
            p = grid.end();
            continue;
        }
        while (nextRun < runs.size() && runs[nextRun].location < p)
            ++nextRun;
        const int stop = nextRun < runs.size() ? std::max(p + 1, runs[nextRun].location) : to;
        const Range prose = Range::fromTo(p, stop);
        AttributedString kept;
        if (range.location > prose.location)
            kept.append(text.attributedSubstring(Range::fromTo(prose.location, std::min(prose.end(), range.location))));
        if (range.location >= prose.location && range.location <= prose.end() && !caret) {
            kept.append(AttributedString(U16String(typed), typing));
            caret = written + kept.length();
        }
        if (range.end() < prose.end())
            kept.append(text.attributedSubstring(Range::fromTo(std::max(prose.location, range.end()), prose.end())));
        written += kept.length();
        pieces.push_back({std::move(kept), false, prose});
        p = stop;
    }

    // A selection past the last grid left, taking its last line end and all the text after it but the
    // text's final line end, leaves that line end its last row's: the grid ends the text with it, as
    // the text then opens, and no empty line stays after it.
    const U16View finalEnd = s.substr(size_t(to));
    auto last = std::find_if(pieces.rbegin(), pieces.rend(), [](const Piece& piece) { return piece.text.length() > 0; });
    if (last != pieces.rend() && last->grid && range.end() >= last->original.end() && (finalEnd == u"\n" || finalEnd == u"\r\n")) {
        last->text = TableGrid::endingText(last->text, finalEnd);
        to = n;
    }

    // Each grid left stays apart from the text around it, as far apart as it was
    // (one blank line from another grid).
    AttributedString out;
    int shift = 0;  // line ends put in before the caret, in characters
    const int caretAt = caret.value_or(0);
    int at = 0;     // where the pieces so far end in the new text, line feeds put in not counted
    bool afterGrid = from > 0 && tableAt(text, from - 1);  // what the new text has last is a grid
    auto separate = [&](int feeds) {
        U16String ends;
        for (int k = 0; k < feeds; ++k)
            ends += lineEnd;
        out.append(ends, typing);
        if (at < caretAt)
            shift += int(ends.size());
        afterGrid = false;
    };
    for (const Piece& piece : pieces) {
        if (piece.text.length() == 0)
            continue;
        const char16_t first = piece.text.string().front();
        if (piece.grid) {
            const bool textBefore = out.length() > 0 ? out.string().back() != u'\n' : from > 0 && s[size_t(from - 1)] != u'\n';
            if (afterGrid)
                separate(1);
            else if (textBefore)
                separate(std::max(1, feedsAt(s, piece.original.location, false)));
        } else if (afterGrid && !isBreak(first)) {
            separate(std::max(1, feedsAt(s, piece.original.location, true)));
        }
        out.append(piece.text);
        at += piece.text.length();
        afterGrid = piece.grid;
    }
    // The text after the change, under the last grid left.
    if (afterGrid && to < n && (!isBreak(s[size_t(to)]) || tableAt(text, to)))
        separate(tableAt(text, to) ? 1 : std::max(1, feedsAt(s, to, true)));
    return Replacement{Range::fromTo(from, to), std::move(out), from + caretAt + shift};
}

U16String asCellLine(U16View text)
{
    // Each line break, a CRLF too, is one space.
    U16String line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        line += text[i] == u'\n' || text[i] == u'\r' ? u' ' : text[i];
    }
    return line;
}

bool gluesUnderGrid(const AttributedString& text, Range range, U16View replacement)
{
    const U16View s = text.string();
    const int n = text.length();
    const int p = range.location;
    if (p < 0 || p > n || range.end() > n || (p < n && tableAt(text, p)))
        return false;
    // A line of spaces and tabs is as blank as an empty one: the edit is on the line
    // under the grid when only such characters stand between them.
    const int lineStart = blanksStart(s, p);
    if (lineStart <= 0 || s[size_t(lineStart - 1)] != u'\n' || !tableAt(text, lineStart - 1)
        || (lineStart < n && tableAt(text, lineStart)))
        return false;
    auto pastBlanks = [&](int at) {
        while (at < n && isSpaceOrTab(s[size_t(at)]))
            ++at;
        return at;
    };
    const int lineEnd = pastBlanks(p);
    // Only where a blank line stood under the grid, or where the grid ends the text (modulo
    // blanks): text typed or pasted there would be its next row.
    if (lineEnd < n && !isBreak(s[size_t(lineEnd)]))
        return false;
    // What is put there glues when its first line holds more than blanks: it goes a line apart.
    if (!replacement.empty()) {
        for (char16_t c : replacement) {
            if (isBreak(c))
                return false;
            if (!isSpaceOrTab(c))
                return true;
        }
        return false;
    }
    if (lineEnd == n)
        return false;
    // A deletion glues what it brings up onto that line.
    const int after = pastBlanks(range.end());
    return after < n && !isBreak(s[size_t(after)]);
}

U16String leaderUnderGrid(const AttributedString& text, int position)
{
    const U16View s = text.string();
    if (position <= 0 || position > text.length())
        return {};
    const int lineStart = blanksStart(s, position);
    if (lineStart == position || lineStart == 0 || s[size_t(lineStart - 1)] != u'\n')
        return {};
    const auto* grid = dynamic_cast<const TableGrid::SourceTable*>(tableAt(text, lineStart - 1));
    if (!grid)
        return {};
    // Measured in columns, a tab reaching the next multiple of four, as a list item's text is:
    // a tab on the line reaches past a two-space leader, one space of it does not.
    auto nextColumn = [](int column, char16_t c) { return c == u'\t' ? (column / 4 + 1) * 4 : column + 1; };
    int reach = 0;
    for (int p = lineStart; p < position; ++p)
        reach = nextColumn(reach, s[size_t(p)]);
    int leaderWidth = 0;
    for (const char16_t c : grid->leader)
        leaderWidth = nextColumn(leaderWidth, c);
    reach = std::min(reach, leaderWidth);
    U16String leader;
    int column = 0;
    for (const char16_t c : grid->leader) {
        const int next = nextColumn(column, c);
        if (next > reach)
            break;
        leader += c;
        column = next;
    }
    // A tab of the leader that would reach past the blanks gives way to spaces up to them.
    leader.append(size_t(reach - column), u' ');
    return leader;
}

} // namespace velkin::GridEdges
