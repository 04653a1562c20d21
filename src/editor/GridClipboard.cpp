#include "editor/GridClipboard.h"

#include "editor/RestyleWindow.h"
#include "markdown/PipeTable.h"
#include "markdown/TableGrid.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <algorithm>

namespace velkin::GridClipboard {

namespace {

const TextTable* tableAt(const AttributedString& text, int index)
{
    const TextTableBlock* block = TableGrid::cellBlock(text, index);
    return block ? block->table().get() : nullptr;
}

// The grid holding the character at `index`: from its first cell to past its last line feed.
Range gridRange(const AttributedString& text, int index)
{
    const U16View s = text.string();
    const TextTable* table = tableAt(text, index);
    int start = lineRange(s, Range{index, 0}).location;
    while (start > 0 && tableAt(text, start - 1) == table)
        start = lineRange(s, Range{start - 1, 0}).location;
    int end = index;
    do
        end = lineRange(s, Range{end, 0}).end();
    while (end < text.length() && tableAt(text, end) == table);
    return Range::fromTo(start, end);
}

// One cell of a grid: its paragraphs, parted by line feeds, without the line feed that ends the last.
struct Cell {
    int row = 0;
    int column = 0;
    Range content;
};

std::vector<Cell> cellsOf(const AttributedString& text, Range grid)
{
    const U16View s = text.string();
    std::vector<Cell> cells;
    for (int p = grid.location; p < grid.end();) {
        int end = TextOps::find(s, u'\n', p);
        if (end < 0 || end > grid.end())
            end = grid.end();
        const TextTableBlock* block = TableGrid::cellBlock(text, std::min(p, text.length() - 1));
        const int row = block ? block->startingRow() : 0;
        const int column = block ? block->startingColumn() : 0;
        if (!cells.empty() && cells.back().row == row && cells.back().column == column)
            cells.back().content = Range::fromTo(cells.back().content.location, end);
        else
            cells.push_back(Cell{row, column, Range::fromTo(p, end)});
        p = end + 1;
    }
    return cells;
}

// The lines of part of a cell (a carriage return before a line feed ends no line of it).
std::vector<U16View> cellPartLines(U16View part)
{
    std::vector<U16View> lines;
    for (const U16View line : splitAt(part, u'\n'))
        lines.push_back(!line.empty() && line.back() == u'\r' ? line.substr(0, line.size() - 1) : line);
    return lines;
}

// The line ends of the grid a cell block belongs to: between its rows and after its last row
// when it ends the text.
std::pair<U16String, U16String> lineEndsOf(const TextTableBlock* block)
{
    const auto* source = block ? dynamic_cast<const TableGrid::SourceTable*>(block->table().get()) : nullptr;
    if (!source)
        return {u"\n", U16String()};
    return {source->rowEnd, source->endsLikeRows ? U16String() : source->lastRowEnd};
}

// The rows of `grid` that `part` (within it) touches, as row text.
U16String rowsText(const AttributedString& text, Range grid, Range part)
{
    const U16View s = text.string();
    const std::vector<Cell> cells = cellsOf(text, grid);
    if (cells.empty())
        return {};
    const auto [rowEnd, lastEnd] = lineEndsOf(TableGrid::cellBlock(text, grid.location));
    const int count = int(cells.size());
    int first = 0;
    while (first + 1 < count && part.location > cells[size_t(first)].content.end())
        ++first;
    const bool holdsLastEnd = part.end() >= grid.end();
    int last = count - 1;
    if (!holdsLastEnd) {
        last = first;
        while (last + 1 < count && part.end() > cells[size_t(last)].content.end())
            ++last;
    }
    const int startOffset = std::max(0, part.location - cells[size_t(first)].content.location);
    const int endOffset = holdsLastEnd ? cells[size_t(last)].content.length
                                       : std::max(0, part.end() - cells[size_t(last)].content.location);
    std::vector<U16String> lines;
    for (int lo = first; lo <= last;) {
        const int row = cells[size_t(lo)].row;
        int hi = lo;
        while (hi + 1 <= last && cells[size_t(hi + 1)].row == row)
            ++hi;
        const bool rowStart = (lo == 0 || cells[size_t(lo - 1)].row != row) && (lo != first || startOffset == 0);
        const bool rowEnds = (hi + 1 == count || cells[size_t(hi + 1)].row != row)
            && (hi != last || endOffset == cells[size_t(last)].content.length);
        // Written as a table writes a row, so that it reads back as these cells when pasted.
        std::vector<std::vector<U16View>> partLines;
        for (int k = lo; k <= hi; ++k) {
            const Range content = cells[size_t(k)].content;
            const int from = k == first ? startOffset : 0;
            const int to = k == last ? endOffset : content.length;
            partLines.push_back(cellPartLines(s.substr(size_t(content.location + from), size_t(std::max(0, to - from)))));
        }
        const std::vector<U16String> parts = PipeTable::writtenCells(partLines);
        // Nothing of the row but its end (the range starts there) or its start (the range ends there).
        const bool nothing = lo == hi && parts.front().empty() && rowStart != rowEnds;
        lines.push_back(nothing ? U16String()
                                : (rowStart ? u"| " : u"") + TextOps::joined(parts, u" | ") + (rowEnds ? u" |" : u""));
        // A whole header row comes with its delimiter row, as in the table.
        if (rowStart && rowEnds && row == cells.front().row) {
            std::vector<U16String> tokens;
            for (int k = lo; k <= hi; ++k) {
                const ParagraphStyle* style = text.paragraphStyle(cells[size_t(k)].content.location);
                tokens.emplace_back(PipeTable::delimiterToken(style ? style->alignment : TextAlignment::Natural));
            }
            lines.push_back(PipeTable::rowMarkdown(tokens, tokens.size()));
        }
        lo = hi + 1;
    }
    U16String out = TextOps::joined(lines, rowEnd);
    if (holdsLastEnd)
        out += grid.end() < text.length() ? rowEnd : lastEnd;
    return out;
}

} // namespace

U16String tablesText(const AttributedString& text, Range r)
{
    if (r.length <= 0)
        return {};
    // A range that ends with a grid's last line feed, text following it, holds that line's end, which a
    // grid ending the piece would not write: the piece is read with the next character (prose, written as
    // it stands) and without it again.
    const bool gridEnds = r.end() < text.length() && tableAt(text, r.end() - 1) && !tableAt(text, r.end());
    U16String markdown = TableGrid::serialize(text.attributedSubstring(gridEnds ? Range{r.location, r.length + 1} : r));
    if (gridEnds)
        markdown.pop_back();
    return markdown;
}

std::optional<Range> gridAround(const AttributedString& text, int index)
{
    if (!tableAt(text, index))
        return std::nullopt;
    return gridRange(text, index);
}

U16String copiedText(const AttributedString& text, Range range, bool* partialGrid)
{
    if (partialGrid)
        *partialGrid = false;
    const int n = text.length();
    range = Range::fromTo(std::clamp(range.location, 0, n), std::clamp(range.end(), 0, n));
    if (range.length == 0)
        return {};
    const U16View s = text.string();
    if (tableAt(text, range.location)) {
        // Within one cell (its last line feed, which parts it from the next cell, adds nothing).
        for (const Cell& cell : cellsOf(text, gridRange(text, range.location)))
            if (cell.content.location <= range.location && range.location <= cell.content.end()) {
                if (range.end() <= cell.content.end() + 1 && range.location < cell.content.end())
                    return U16String(substring(s, Range::fromTo(range.location, std::min(range.end(), cell.content.end()))));
                break;
            }
    }
    U16String out;
    int chunk = range.location;
    for (int p = range.location; p < range.end();) {
        if (!tableAt(text, p)) {
            const int feed = TextOps::find(s, u'\n', p);
            p = feed < 0 ? range.end() : feed + 1;
            continue;
        }
        const Range grid = gridRange(text, p);
        if (range.location <= grid.location && range.end() >= grid.end() - 1) {
            p = grid.end();
            continue;
        }
        out += tablesText(text, Range::fromTo(chunk, p));
        const Range part = Range::fromTo(p, std::min(range.end(), grid.end()));
        const U16String rows = rowsText(text, grid, part);
        out += rows;
        // Rows with a cell's text at least (not a grid's last line end alone).
        if (partialGrid && TextOps::contains(rows, u"|"))
            *partialGrid = true;
        p = chunk = part.end();
    }
    out += tablesText(text, Range::fromTo(chunk, range.end()));
    return out;
}

namespace {

// One line of row text: its cells and whether it holds its row's start and end.
struct RowLine {
    std::vector<U16String> cells;  // as a grid holds them: line breaks as line feeds
    bool start = false;
    bool end = false;
    bool empty = false;
};

std::optional<RowLine> readRowLine(U16View line)
{
    RowLine row;
    if (line.empty()) {
        row.empty = true;
        return row;
    }
    const std::vector<int> pipes = PipeTable::separatorPipes(line);
    if (pipes.empty())
        return std::nullopt;
    row.start = pipes.front() == 0;
    row.end = pipes.back() == int(line.size()) - 1;
    std::vector<int> cuts;
    if (!row.start)
        cuts.push_back(-1);
    cuts.insert(cuts.end(), pipes.begin(), pipes.end());
    if (!row.end)
        cuts.push_back(int(line.size()));
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
        // One space on each side of a pipe is the row's, not the cell's.
        int from = cuts[k] + 1, to = cuts[k + 1];
        if (cuts[k] >= 0 && from < to && line[size_t(from)] == u' ')
            ++from;
        if (to < int(line.size()) && to > from && line[size_t(to - 1)] == u' ')
            --to;
        const U16View cell = line.substr(size_t(from), size_t(to - from));
        U16String value;
        size_t at = 0;
        for (int b : PipeTable::cellBreaks(cell)) {
            value.append(cell.substr(at, size_t(b) - at));
            value += u'\n';
            at = size_t(b) + PipeTable::cellBreak.size();
        }
        value.append(cell.substr(at));
        row.cells.push_back(std::move(value));
    }
    return row;
}

} // namespace

std::optional<GridEdges::Replacement> pastingRows(const AttributedString& text, int caret, U16View pasted,
                                                  double baseSize)
{
    const int n = text.length();
    const U16View s = text.string();
    if (caret < 0 || caret > n || pasted.empty())
        return std::nullopt;
    // The rows pasted: an empty first line ends the caret's row; a line end after the last row is that row's.
    std::vector<U16View> texts = splitAt(pasted, u'\n');
    for (U16View& line : texts)
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
    if (texts.size() > 1 && texts.back().empty())
        texts.pop_back();
    std::vector<RowLine> lines;
    for (size_t k = 0; k < texts.size(); ++k) {
        // The delimiter row under a whole header row.
        if (k == 1 && lines.size() == 1 && lines.front().start && lines.front().end && PipeTable::isDelimiterRow(texts[k]))
            continue;
        std::optional<RowLine> line = readRowLine(texts[k]);
        if (!line || (line->empty && k > 0))
            return std::nullopt;
        lines.push_back(std::move(*line));
    }
    if (lines.empty() || (lines.size() == 1 && lines.front().empty))
        return std::nullopt;

    // Where the caret stands: in a cell, or on the line right under a grid (after its last row).
    const bool inCell = (caret < n && tableAt(text, caret)) || (caret > 0 && tableAt(text, caret - 1) && s[size_t(caret - 1)] != u'\n');
    const bool underGrid = !inCell && caret > 0 && s[size_t(caret - 1)] == u'\n' && tableAt(text, caret - 1);
    if (!inCell && !underGrid)
        return std::nullopt;
    const Range grid = gridRange(text, inCell && caret < n && tableAt(text, caret) ? caret : caret - 1);
    const std::vector<Cell> cells = cellsOf(text, grid);
    if (cells.empty())
        return std::nullopt;

    std::vector<std::vector<U16String>> rows;
    std::vector<TextAlignment> alignments;
    int row = -1, column = 0, offset = 0;
    for (const Cell& cell : cells) {
        if (rows.empty() || cells[size_t(&cell - cells.data()) - 1].row != cell.row)
            rows.emplace_back();
        std::vector<U16String>& values = rows.back();
        if (int(values.size()) <= cell.column)
            values.resize(size_t(cell.column) + 1);
        values[size_t(cell.column)] = U16String(substring(s, cell.content));
        if (int(alignments.size()) <= cell.column) {
            const ParagraphStyle* style = text.paragraphStyle(cell.content.location);
            alignments.resize(size_t(cell.column) + 1, style ? style->alignment : TextAlignment::Natural);
        }
        if (inCell && cell.content.location <= caret && caret <= cell.content.end() && row < 0) {
            row = int(rows.size()) - 1;
            column = cell.column;
            offset = caret - cell.content.location;
        }
    }
    if (underGrid)
        row = int(rows.size());
    if (row < 0)
        return std::nullopt;

    // The caret afterwards: the end of what went in last.
    int caretRow = row, caretColumn = column, caretOffset = offset;
    for (size_t k = 0; k < lines.size(); ++k) {
        const RowLine& line = lines[k];
        const bool atRowStart = column == 0 && offset == 0;
        if (line.empty || (line.start && line.end && !atRowStart)) {
            // Past the end of the caret's row.
            if (row < int(rows.size()))
                ++row;
            column = offset = 0;
            if (line.empty)
                continue;
        }
        if (line.start && line.end) {
            const bool emptyHeader = row == 0 && rows.size() > 1
                && std::all_of(rows.front().begin(), rows.front().end(), [](const U16String& v) { return v.empty(); });
            if (emptyHeader)
                rows.front() = line.cells;
            else
                rows.insert(rows.begin() + std::min(row, int(rows.size())), line.cells);
            caretRow = row;
            caretColumn = std::max(0, int(line.cells.size()) - 1);
            caretOffset = line.cells.empty() ? 0 : int(line.cells.back().size());
            ++row;
            continue;
        }
        // Part of a row: its cells go into the row's cells from the caret's on, the first at the caret.
        if (row >= int(rows.size()))
            rows.emplace_back();
        std::vector<U16String>& values = rows[size_t(row)];
        for (size_t j = 0; j < line.cells.size(); ++j) {
            const size_t c = size_t(column) + j;
            if (values.size() <= c)
                values.resize(c + 1);
            const size_t at = j == 0 ? std::min(size_t(offset), values[c].size()) : 0;
            values[c].insert(at, line.cells[j]);
            caretRow = row;
            caretColumn = int(c);
            caretOffset = int(at + line.cells[j].size());
        }
        ++row;
        column = offset = 0;
    }

    PipeTable::Parsed table;
    int columns = 0;
    for (const auto& values : rows)
        columns = std::max(columns, int(values.size()));
    int caretAt = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        // Written as the grid writes a row, so that pasted text reads back as the same cells.
        std::vector<std::vector<U16View>> cellLines(static_cast<size_t>(columns), std::vector<U16View>{U16View()});
        for (size_t c = 0; c < rows[r].size(); ++c)
            cellLines[c] = splitAt(rows[r][c], u'\n');
        std::vector<U16String> values = PipeTable::writtenCells(cellLines);
        for (int c = 0; c < columns; ++c) {
            const U16String& value = values[size_t(c)];
            if (int(r) < caretRow || (int(r) == caretRow && c < caretColumn)) {
                caretAt += GridEdges::inGrid(value, int(value.size())) + 1;
            } else if (int(r) == caretRow && c == caretColumn) {
                // The caret's line and place in the cell as typed.
                const U16View typed = size_t(c) < rows[r].size() ? U16View(rows[r][size_t(c)]) : U16View();
                const size_t upTo = size_t(std::clamp(caretOffset, 0, int(typed.size())));
                const size_t line = size_t(std::count(typed.begin(), typed.begin() + upTo, u'\n'));
                const size_t lineStart = typed.rfind(u'\n', upTo == 0 ? 0 : upTo - 1);
                const int inLine = int(upTo - (line == 0 ? 0 : lineStart + 1));
                caretAt += GridEdges::inGrid(value, PipeTable::writtenOffset(value, cellLines[size_t(c)], line, inLine));
            }
        }
        if (r == 0)
            table.header = std::move(values);
        else
            table.rows.push_back(std::move(values));
    }
    alignments.resize(size_t(columns), TextAlignment::Natural);
    table.alignments = alignments;
    const TextTableBlock* first = TableGrid::cellBlock(text, grid.location);
    AttributedString rebuilt = TableGrid::attributedReplacing(table, baseSize, first ? first->table().get() : nullptr);
    caretAt = std::min(caretAt, rebuilt.length());
    return GridEdges::Replacement{grid, std::move(rebuilt), grid.location + caretAt};
}

namespace {

// Where a reading of the lines for their tables may start, above `at`, and read them as a reading
// from the text's start does: a line flush left with text on it, outside code and grids, and no
// fence's line. Every line above it reads nothing into the lines after it (no list item, code
// block or fence holds them), nor does a reading from its start.
int readingStart(const AttributedString& text, int at)
{
    const U16View s = text.string();
    const int n = text.length();
    int start = lineRange(s, Range{std::min(at, n), 0}).location;
    for (;;) {
        if (start < n && s[size_t(start)] != u' ' && s[size_t(start)] != u'\t' && s[size_t(start)] != u'\n'
            && s[size_t(start)] != u'\r' && !tableAt(text, start) && !text.attribute(AttributeKey::CodeBlockFill, start)
            && !RestyleWindow::looksLikeFence(s, start))
            return start;
        if (start == 0)
            return 0;
        start = lineRange(s, Range{start - 1, 0}).location;
    }
}

int lineEndLength(U16View text)
{
    return text.starts_with(u"\r\n") ? 2 : text.starts_with(u"\n") ? 1 : 0;
}

} // namespace

std::optional<GridEdges::Replacement> withOpenedGrids(const AttributedString& text, const TextEdit& edit,
                                                      double baseSize, const Attributes& typing)
{
    const U16View s = text.string();
    const int n = text.length();
    const Range r = edit.range;
    const U16View pasted = edit.replacement;
    if (r.location < 0 || r.length < 0 || r.end() > n || pasted.find(u'|') == U16View::npos)
        return std::nullopt;
    // The edit stays out of cells: on a cell's line, or in one, it is a grid's own.
    const bool underGrid = r.location > 0 && tableAt(text, r.location - 1);
    if ((underGrid && s[size_t(r.location - 1)] != u'\n') || (r.end() < n && tableAt(text, r.end()) && !pasted.ends_with(u'\n')))
        return std::nullopt;
    for (int p = r.location; p < r.end(); ++p)
        if (tableAt(text, p))
            return std::nullopt;

    // The lines around the edit as the document has them: from where a reading may start to the
    // second line after it (a table's rows go on into the next line when it is one), short of a grid.
    const int from = readingStart(text, r.location);
    const AttributedString above = text.attributedSubstring(Range::fromTo(from, r.location));
    U16String markdown = TableGrid::serialize(above, nullptr, true);
    if (underGrid)
        markdown += u'\n';  // the line end after the grid's last row, which serialize leaves to the text after it
    const int start = int(markdown.size());
    markdown += pasted;
    int to = r.end();
    for (int line = 0; line < 2 && to < n; ++line)
        to = lineRange(s, Range{to, 0}).end();
    for (int p = r.end(); p < to; ++p)
        if (tableAt(text, p)) {
            to = p;
            break;
        }
    markdown += substring(s, Range::fromTo(r.end(), to));
    const int following = lineEndLength(substring(s, Range::fromTo(r.end(), to)));
    // Text goes on below: a line that no table takes keeps a table ending here from ending the text.
    if (to < n) {
        if (!markdown.ends_with(u'\n'))
            return std::nullopt;
        markdown += u'x';
    }

    const int stop = start + int(pasted.size());
    const int caretIn = start + edit.selection.location - r.location;  // where the caret would stand
    AttributedString out;
    int copied = start;  // how far the pasted text is in `out`
    int caret = -1;      // in `out`, when the caret goes to a grid
    int shift = 0;       // what the grids before the caret add
    for (TableGrid::OpenedTable& table : TableGrid::openedTables(markdown, baseSize)) {
        // Only a table of the pasted lines (its last row's line end may follow them).
        const Range m = table.markdown;
        if (m.location < start || m.location >= stop || m.end() > stop + (pasted.ends_with(u'\n') ? 0 : following))
            continue;
        out.append(AttributedString(markdown.substr(size_t(copied), size_t(m.location - copied)), typing));
        if (caretIn > m.location && caretIn <= m.end())
            caret = out.length() + table.grid.length() - 1;
        else if (caretIn > m.end())
            shift += table.grid.length() - m.length;
        out.append(table.grid);
        copied = m.end();
    }
    if (copied == start)
        return std::nullopt;
    if (copied < stop)
        out.append(AttributedString(markdown.substr(size_t(copied), size_t(stop - copied)), typing));
    const int end = r.end() + std::max(0, copied - stop);
    const int at = caret >= 0 ? r.location + caret : edit.selection.location + shift;
    return GridEdges::Replacement{Range::fromTo(r.location, end), std::move(out), at};
}

} // namespace velkin::GridClipboard
