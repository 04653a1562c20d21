#include "markdown/PipeTable.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/text/CharacterClass.h"

#include <algorithm>
#include <unordered_map>

namespace velkin::PipeTable {

namespace {

constexpr char16_t backslash = u'\\';
constexpr char16_t backtick = u'`';
constexpr char16_t pipe = u'|';

int runLength(U16View text, size_t i, char16_t c)
{
    size_t j = i;
    while (j < text.size() && text[j] == c)
        ++j;
    return int(j - i);
}

// Where each length of backtick run occurs, built once per row that has
// backticks: finding the closing run is a binary search, so a row of many
// unclosed runs stays linear-logarithmic.
class BacktickRuns {
public:
    explicit BacktickRuns(U16View row)
    {
        size_t i = 0;
        while (i < row.size()) {
            if (row[i] != backtick) {
                ++i;
                continue;
            }
            const int n = runLength(row, i, backtick);
            starts_[n].push_back(int(i));
            i += size_t(n);
        }
    }

    // Start of the first run of exactly `n` backticks at or after `from`, or -1.
    int next(int n, int from) const
    {
        auto it = starts_.find(n);
        if (it == starts_.end())
            return -1;
        auto pos = std::lower_bound(it->second.begin(), it->second.end(), from);
        return pos == it->second.end() ? -1 : *pos;
    }

private:
    std::unordered_map<int, std::vector<int>> starts_;
};

U16View segment(U16View row, int from, int to)
{
    return row.substr(size_t(from), size_t(to - from));
}

} // namespace

int Parsed::columnCount() const
{
    size_t n = header.size();
    for (const auto& row : rows)
        n = std::max(n, row.size());
    return int(n);
}

namespace {

// Calls `visit` with the offset of every unit of `row` that is neither escaped by a
// backslash (nor the backslash itself) nor inside a code span, and `unclosed` with the
// start and length of every backtick run that no later run closes. Returns whether
// the row ends with a backslash that escapes nothing.
template <class Visit, class Unclosed> bool walkOutsideCode(U16View row, Visit visit, Unclosed unclosed)
{
    std::optional<BacktickRuns> runs;
    size_t i = 0;
    while (i < row.size()) {
        const char16_t c = row[i];
        if (c == backslash) {
            if (i + 1 == row.size())
                return true;
            i += 2;
        } else if (c == backtick) {
            const int n = runLength(row, i, backtick);
            if (!runs)
                runs.emplace(row);
            // The opening run ends a maximal run, so any later run starts past it.
            const int close = runs->next(n, int(i) + n);
            if (close < 0)
                unclosed(i, n);
            i = close >= 0 ? size_t(close + n) : i + size_t(n);
        } else {
            visit(i);
            ++i;
        }
    }
    return false;
}

template <class Visit> void visitOutsideCode(U16View row, Visit visit)
{
    walkOutsideCode(row, visit, [](size_t, int) {});
}

} // namespace

std::vector<int> separatorPipes(U16View row)
{
    std::vector<int> pipes;
    visitOutsideCode(row, [&](size_t i) {
        if (row[i] == pipe)
            pipes.push_back(int(i));
    });
    return pipes;
}

std::vector<int> cellBreaks(U16View cell)
{
    std::vector<int> breaks;
    visitOutsideCode(cell, [&](size_t i) {
        if (cell.substr(i, cellBreak.size()) == cellBreak)
            breaks.push_back(int(i));
    });
    return breaks;
}

namespace {

// The lengths of the backtick runs of a text, counted as a row's closing search counts them.
void addRunLengths(U16View text, std::vector<int>& lengths)
{
    for (size_t i = text.find(backtick); i != U16View::npos; i = text.find(backtick, i)) {
        const int n = runLength(text, i, backtick);
        if (std::find(lengths.begin(), lengths.end(), n) == lengths.end())
            lengths.push_back(n);
        i += size_t(n);
    }
}

// One line of a cell as written, `later` holding the lengths of the backtick runs
// written after it in its row (which it adds its own to). `last`: no break follows.
U16String writtenLine(U16View line, bool last, std::vector<int>& later)
{
    std::vector<size_t> escapes;
    std::vector<std::pair<size_t, int>> unclosed;
    const bool dangling = walkOutsideCode(
        line,
        [&](size_t i) {
            if (line[i] == pipe || line.substr(i, cellBreak.size()) == cellBreak)
                escapes.push_back(i);
        },
        [&](size_t i, int n) { unclosed.emplace_back(i, n); });
    // A backslash before the break would escape it.
    if (dangling && !last)
        escapes.push_back(line.size() - 1);
    // A run no later run of the line closes is closed by one of the same length further
    // along the row; escaped backticks there are single runs, as are those escaped here.
    bool escapedAfter = false;
    for (auto it = unclosed.rbegin(); it != unclosed.rend(); ++it) {
        const auto [at, n] = *it;
        if (!(n == 1 && escapedAfter) && std::find(later.begin(), later.end(), n) == later.end())
            continue;
        escapedAfter = true;
        for (int k = 0; k < n; ++k)
            escapes.push_back(at + size_t(k));
    }
    U16String out;
    if (escapes.empty()) {
        out = U16String(line);
    } else {
        std::sort(escapes.begin(), escapes.end());
        out.reserve(line.size() + escapes.size());
        size_t from = 0;
        for (size_t at : escapes) {
            out.append(line.substr(from, at - from));
            out += backslash;
            from = at;
        }
        out.append(line.substr(from));
    }
    if (out.find(backtick) != U16String::npos)
        addRunLengths(out, later);
    return out;
}

} // namespace

std::vector<U16String> writtenCells(const std::vector<std::vector<U16View>>& cellLines)
{
    std::vector<U16String> out(cellLines.size());
    std::vector<int> later;
    for (size_t c = cellLines.size(); c-- > 0;) {
        const std::vector<U16View>& lines = cellLines[c];
        std::vector<U16String> written(lines.size());
        for (size_t k = lines.size(); k-- > 0;)
            written[k] = writtenLine(lines[k], k + 1 == lines.size(), later);
        for (size_t k = 0; k < written.size(); ++k) {
            if (k > 0)
                out[c] += cellBreak;
            out[c] += written[k];
        }
    }
    return out;
}

int writtenOffset(U16View written, const std::vector<U16View>& lines, size_t line, int offset)
{
    const std::vector<int> breaks = cellBreaks(written);
    if (line >= lines.size() || line > breaks.size())
        return int(written.size());
    size_t j = line == 0 ? 0 : size_t(breaks[line - 1]) + cellBreak.size();
    const size_t end = line < breaks.size() ? size_t(breaks[line]) : written.size();
    // The written line is the line with backslashes put in: step over those.
    for (size_t i = 0; i < size_t(std::max(0, offset)) && i < lines[line].size() && j < end; ++j)
        if (written[j] == lines[line][i])
            ++i;
    return int(j);
}

std::vector<U16String> cells(U16View row)
{
    const std::vector<int> pipes = separatorPipes(row);
    std::vector<U16View> segments;
    int start = 0;
    for (int p : pipes) {
        segments.push_back(segment(row, start, p));
        start = p + 1;
    }
    segments.push_back(segment(row, start, int(row.size())));

    size_t first = 0;
    size_t last = segments.size();
    if (isBlank(segments[first], TrimSet::Whitespace))
        ++first;
    if (first == last)
        return {};
    if (isBlank(segments[last - 1], TrimSet::Whitespace))
        --last;
    if (first == last)
        return {};

    std::vector<U16String> result;
    result.reserve(last - first);
    for (size_t k = first; k < last; ++k)
        result.emplace_back(trimmed(segments[k], TrimSet::Whitespace));
    return result;
}

bool isTableRow(U16View line)
{
    return line.find(pipe) != U16View::npos && !isBlank(line, TrimSet::Whitespace);
}

bool isDelimiterRow(U16View line)
{
    const U16View t = trimmed(line, TrimSet::Whitespace);
    if (t.find(pipe) == U16View::npos || t.find(u'-') == U16View::npos)
        return false;
    return std::all_of(t.begin(), t.end(), [](char16_t c) {
        return c == pipe || c == u':' || c == u'-' || c == u' ' || c == u'\t';
    });
}

bool opensContainer(U16View line)
{
    return MarkdownSyntax::matchList(line) || MarkdownSyntax::quoteLeader(line).depth > 0;
}

std::vector<TextAlignment> delimiterAlignments(U16View line)
{
    std::vector<TextAlignment> result;
    for (const U16String& cell : cells(line)) {
        const bool leading = !cell.empty() && cell.front() == u':';
        const bool trailing = !cell.empty() && cell.back() == u':';
        if (leading && trailing)
            result.push_back(TextAlignment::Center);
        else if (trailing)
            result.push_back(TextAlignment::Right);
        else if (leading)
            result.push_back(TextAlignment::Left);
        else
            result.push_back(TextAlignment::Natural);
    }
    return result;
}

std::optional<Parsed> parse(const std::vector<U16View>& lines)
{
    size_t count = lines.size();
    // Trailing lines that are no table rows are dropped; lines in the middle never are.
    while (count > 2 && !isTableRow(lines[count - 1]))
        --count;
    if (count < 2 || !isDelimiterRow(lines[1]))
        return std::nullopt;
    Parsed table;
    table.header = cells(lines[0]);
    table.alignments = delimiterAlignments(lines[1]);
    table.rows.reserve(count - 2);
    for (size_t i = 2; i < count; ++i)
        table.rows.push_back(cells(lines[i]));
    return table;
}

std::optional<Parsed> parse(const std::vector<U16String>& lines)
{
    return parse(std::vector<U16View>(lines.begin(), lines.end()));
}

U16View delimiterToken(TextAlignment alignment)
{
    switch (alignment) {
    case TextAlignment::Left:
        return u":---";
    case TextAlignment::Center:
        return u":---:";
    case TextAlignment::Right:
        return u"---:";
    default:
        return u"---";
    }
}

U16String rowMarkdown(const std::vector<U16String>& row, size_t columns)
{
    U16String out = u"| ";
    for (size_t c = 0; c < columns; ++c) {
        if (c > 0)
            out += u" | ";
        if (c < row.size())
            out += row[c];
    }
    out += u" |";
    return out;
}

U16String markdown(const Parsed& table)
{
    const size_t n = size_t(table.columnCount());
    U16String out;
    auto appendRow = [&](const std::vector<U16String>& row) { out += rowMarkdown(row, n); };
    appendRow(table.header);
    out += u"\n| ";
    for (size_t c = 0; c < n; ++c) {
        if (c > 0)
            out += u" | ";
        out += delimiterToken(c < table.alignments.size() ? table.alignments[c] : TextAlignment::Natural);
    }
    out += u" |";
    for (const auto& row : table.rows) {
        out += u'\n';
        appendRow(row);
    }
    return out;
}

Parsed insertingRow(const Parsed& table, int bodyIndex)
{
    Parsed result = table;
    const int at = std::clamp(bodyIndex, 0, int(table.rows.size()));
    result.rows.insert(result.rows.begin() + at, std::vector<U16String>(size_t(table.columnCount())));
    return result;
}

std::optional<Parsed> deletingRow(const Parsed& table, int bodyIndex)
{
    if (bodyIndex < 0 || bodyIndex >= int(table.rows.size()))
        return std::nullopt;
    Parsed result = table;
    result.rows.erase(result.rows.begin() + bodyIndex);
    return result;
}

Parsed insertingColumn(const Parsed& table, int index)
{
    const int n = table.columnCount();
    const int at = std::clamp(index, 0, n);
    Parsed result;
    result.header = padded(table.header, n, U16String());
    result.header.insert(result.header.begin() + at, U16String());
    result.alignments = padded(table.alignments, n, TextAlignment::Natural);
    result.alignments.insert(result.alignments.begin() + at, TextAlignment::Natural);
    result.rows.reserve(table.rows.size());
    for (const auto& row : table.rows) {
        auto cellsOfRow = padded(row, n, U16String());
        cellsOfRow.insert(cellsOfRow.begin() + at, U16String());
        result.rows.push_back(std::move(cellsOfRow));
    }
    return result;
}

std::optional<Parsed> deletingColumn(const Parsed& table, int index)
{
    const int n = table.columnCount();
    if (n < 2 || index < 0 || index >= n)
        return std::nullopt;
    Parsed result;
    result.header = padded(table.header, n, U16String());
    result.header.erase(result.header.begin() + index);
    // Alignments may hold more entries than there are columns; only the column's own goes.
    result.alignments = padded(table.alignments, n, TextAlignment::Natural);
    result.alignments.erase(result.alignments.begin() + index);
    result.rows.reserve(table.rows.size());
    for (const auto& row : table.rows) {
        auto cellsOfRow = padded(row, n, U16String());
        cellsOfRow.erase(cellsOfRow.begin() + index);
        result.rows.push_back(std::move(cellsOfRow));
    }
    return result;
}

} // namespace velkin::PipeTable
