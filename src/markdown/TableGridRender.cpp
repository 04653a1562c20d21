// Rendering Markdown text with its pipe tables as grids.
#include "markdown/MarkdownStyler.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/TableGrid.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"

#include <algorithm>

namespace velkin::TableGrid {

namespace {

constexpr char16_t lineFeed = u'\n';

// A line as the table tests see it: a CRLF line without its carriage return.
U16View withoutCarriageReturn(U16View line)
{
    return !line.empty() && line.back() == u'\r' ? line.substr(0, line.size() - 1) : line;
}

// Which "\n"-separated lines lie in fenced or indented code, by the same line
// classifiers every other feature uses.
std::vector<bool> codeFlags(U16View text, const std::vector<U16View>& lines)
{
    std::vector<bool> result(lines.size(), false);
    const LineIndex index(text);
    if (index.count() == 0)
        return result;
    const std::vector<U16View> texts = MarkdownSyntax::lineTexts(text, index.lines());
    const MarkdownSyntax::LineFlags fenced = MarkdownSyntax::fenceFlags(texts);
    const MarkdownSyntax::LineFlags indented = MarkdownSyntax::indentedCodeLines(texts, fenced);
    size_t start = 0;
    size_t platformLine = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        while (platformLine < size_t(index.count())
               && size_t(index.lines()[platformLine].enclosing.end()) <= start)
            ++platformLine;
        if (platformLine < size_t(index.count()))
            result[i] = fenced[platformLine] || indented[platformLine];
        start += lines[i].size() + 1;
    }
    return result;
}

// Whether a line holding a pipe is followed by a delimiter row: without one no table starts.
bool mayHoldTable(U16View text)
{
    for (size_t p = text.find(u'|'); p != U16View::npos;) {
        const size_t feed = text.find(lineFeed, p);
        if (feed == U16View::npos)
            return false;
        const size_t nextFeed = text.find(lineFeed, feed + 1);
        const U16View next = text.substr(feed + 1, (nextFeed == U16View::npos ? text.size() : nextFeed) - feed - 1);
        if (PipeTable::isDelimiterRow(withoutCarriageReturn(next)))
            return true;
        p = text.find(u'|', feed + 1);
    }
    return false;
}

// The lines above a place in the text that stand left of every line after them, read
// top down a line at a time: the nearest line left of the place, the nearest left of that,
// and so on. The list marker whose item holds a table is the first of them, going out from
// the table's first row, that opens an item: a row at or left of it ends the item, and with it
// the table, as the export reads it.
class LinesOnTheLeft {
public:
    LinesOnTheLeft(const std::vector<U16View>& lines, const std::vector<bool>& code) : lines_(lines), code_(code) {}

    // The indent of the marker of the item holding line `header`, or -1 outside a list.
    int itemMarkerIndent(size_t header)
    {
        for (; read_ < header; ++read_) {
            const U16View line = withoutCarriageReturn(lines_[read_]);
            if (code_[read_] || isBlank(line, TrimSet::AsciiBlanks))
                continue;
            const int indent = MarkdownSyntax::indentWidth(line);
            while (!left_.empty() && left_.back().indent >= indent)
                left_.pop_back();
            left_.push_back({read_, indent});
        }
        const int indent = MarkdownSyntax::indentWidth(withoutCarriageReturn(lines_[header]));
        for (auto it = left_.rbegin(); it != left_.rend(); ++it)
            if (it->indent < indent && MarkdownSyntax::matchList(withoutCarriageReturn(lines_[it->line])))
                return it->indent;
        return -1;
    }

private:
    struct Left {
        size_t line;
        int indent;
    };
    const std::vector<U16View>& lines_;
    const std::vector<bool>& code_;
    std::vector<Left> left_;  // indents rising from the first
    size_t read_ = 0;
};

} // namespace

TextStorage render(U16View text, double baseSize)
{
    TextStorage storage = grids(text, baseSize);
    MarkdownStyler{baseSize, MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

std::vector<OpenedTable> openedTables(U16View text, double baseSize)
{
    std::vector<OpenedTable> tables;
    if (!mayHoldTable(text))
        return tables;
    const std::vector<U16View> lines = splitAt(text, lineFeed);
    const size_t count = lines.size();
    // Where a header and its delimiter row could start a table, before the code
    // classification that costs a pass over the whole text, needed only then.
    // A header on a list marker's or a quote's line stays text: its grid would take the marker for a cell.
    auto mayStartTable = [&](size_t i) {
        return i + 1 < count && lines[i].find(u'|') != U16View::npos
            && PipeTable::isDelimiterRow(withoutCarriageReturn(lines[i + 1]))
            && !PipeTable::opensContainer(withoutCarriageReturn(lines[i]));
    };
    const std::vector<bool> code = codeFlags(text, lines);
    // A row that holds another line break (a lone CR, a Unicode separator) stays
    // text: a cell could not hold it and give the line back unchanged.
    auto isSingleLine = [](U16View line) {
        return std::none_of(line.begin(), line.end(), [](char16_t c) { return CharacterClass::isNewline(c); });
    };
    auto isRow = [&](size_t k) {
        const U16View line = withoutCarriageReturn(lines[k]);
        return !code[k] && PipeTable::isTableRow(line) && isSingleLine(line);
    };

    LinesOnTheLeft onTheLeft(lines, code);
    auto offsetOf = [&](size_t k) { return k < count ? int(lines[k].data() - text.data()) : int(text.size()); };
    for (size_t i = 0; i < count; ++i) {
        if (!mayStartTable(i) || !isRow(i) || !isRow(i + 1))
            continue;
        // A row at or left of the marker of the list item holding the table ends that item, and the table.
        const int marker = onTheLeft.itemMarkerIndent(i);
        auto inItem = [&](size_t k) { return MarkdownSyntax::indentWidth(withoutCarriageReturn(lines[k])) > marker; };
        if (!inItem(i + 1))
            continue;
        // A row on a list marker's or a quote's line opens that container: the table ends above it.
        size_t end = i + 2;
        while (end < count && isRow(end) && inItem(end) && !PipeTable::opensContainer(withoutCarriageReturn(lines[end])))
            ++end;
        std::vector<U16View> tableLines;
        tableLines.reserve(end - i);
        for (size_t k = i; k < end; ++k)
            tableLines.push_back(withoutCarriageReturn(lines[k]));
        std::optional<PipeTable::Parsed> table = PipeTable::parse(tableLines);
        // A table without a single cell would vanish as a grid; it stays text.
        if (!table || table->columnCount() == 0)
            continue;
        U16String source;
        for (size_t k = i; k < end; ++k) {
            if (k > i)
                source += lineFeed;
            source += lines[k];
        }
        const bool endsText = end == count || (end == count - 1 && lines[end].empty());
        if (end == count - 1 && lines[end].empty())
            source += lineFeed;
        // The grid takes the text from its header's line to the next line after its last row.
        tables.push_back({Range::fromTo(offsetOf(i), endsText ? int(text.size()) : offsetOf(end)),
                          attributed(*table, baseSize, std::move(source), endsText)});
        i = end - 1;
    }
    return tables;
}

TextStorage grids(U16View text, double baseSize)
{
    AttributedString built;
    int plain = 0;  // where the text since the last grid starts
    for (OpenedTable& table : openedTables(text, baseSize)) {
        if (table.markdown.location > plain)
            built.append(U16String(substring(text, Range::fromTo(plain, table.markdown.location))), Attributes());
        built.append(table.grid);
        plain = table.markdown.end();
    }
    if (plain == 0)
        return TextStorage(U16String(text));
    if (plain < int(text.size()))
        built.append(U16String(text.substr(size_t(plain))), Attributes());
    return TextStorage(built);
}

} // namespace velkin::TableGrid
