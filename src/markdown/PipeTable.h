#pragma once
// Pipe tables as text: splitting rows into cells, delimiter rows, parsing a
// table's lines, writing a table back as canonical Markdown, and the row and
// column edits the editor's table commands make.
#include "platform/attributed/ParagraphStyle.h"
#include "platform/text/Range.h"

#include <optional>
#include <vector>

namespace velkin::PipeTable {

// One pipe table as its cells. The lists need not agree in length: a parse
// keeps what each line holds.
struct Parsed {
    std::vector<U16String> header;
    std::vector<TextAlignment> alignments;  // from the delimiter row
    std::vector<std::vector<U16String>> rows;

    // The larger of the header's cell count and the longest body row.
    int columnCount() const;
    bool operator==(const Parsed&) const = default;
};

// Offsets of the pipes that separate cells: escaped pipes and pipes inside a
// code span do not.
std::vector<int> separatorPipes(U16View row);
// A line break inside a cell, as the editor writes a cell of several lines.
inline constexpr U16View cellBreak = u"<br>";
// Offsets of the line breaks (exactly "<br>") of a cell's text: escaped ones and
// those inside a code span are text.
std::vector<int> cellBreaks(U16View cell);
// The Markdown of a row's cells, each given as its lines: the lines joined by "<br>",
// a backslash added only where the row would otherwise read back as other cells or
// lines: before a pipe that would part the row, a "<br>" typed as text, a backslash
// that ends a line before a break, and each backtick of a run that its line leaves
// open and a run further along the row would close. Code spans written whole in a
// line keep what they hold.
std::vector<U16String> writtenCells(const std::vector<std::vector<U16View>>& cellLines);
// Where a place in a cell's lines (`offset` in line `line`) stands in the Markdown that
// writtenCells made of them: past the breaks before it and the backslashes it added.
int writtenOffset(U16View written, const std::vector<U16View>& lines, size_t line, int offset);
// The row's cell texts, trimmed; outer pipes are optional, blank inner cells stay.
std::vector<U16String> cells(U16View row);
// The line contains a pipe and is not blank.
bool isTableRow(U16View line);
// The trimmed line holds a pipe and a dash and only "|", ":", "-", spaces and tabs.
bool isDelimiterRow(U16View line);
// The line opens a list item or a quotation ("- | a |", "> | a |"): a table written
// on it is that container's, so no table of the lines around starts or goes on there.
bool opensContainer(U16View line);
// Alignment of each cell of a delimiter row.
std::vector<TextAlignment> delimiterAlignments(U16View line);

// A table from its lines (header, delimiter row, body rows), or nothing.
std::optional<Parsed> parse(const std::vector<U16View>& lines);
std::optional<Parsed> parse(const std::vector<U16String>& lines);

// Canonical Markdown: one space around every separator, short delimiter
// tokens, every row padded to the column count; no final line feed.
U16String markdown(const Parsed& table);
// One row of it: `columns` cells.
U16String rowMarkdown(const std::vector<U16String>& row, size_t columns);

// The delimiter token of one alignment (":---", ":---:", "---:", "---").
U16View delimiterToken(TextAlignment alignment);

// The list lengthened with `filler` up to `count`.
template <class T> std::vector<T> padded(std::vector<T> list, int count, const T& filler)
{
    if (count > int(list.size()))
        list.resize(size_t(count), filler);
    return list;
}

// An empty body row at `bodyIndex`, clamped to 0...rows.
Parsed insertingRow(const Parsed& table, int bodyIndex);
// Nothing unless 0 <= bodyIndex < rows.
std::optional<Parsed> deletingRow(const Parsed& table, int bodyIndex);
// An empty column at `index`, clamped to 0...columnCount.
Parsed insertingColumn(const Parsed& table, int index);
// Nothing for a table of fewer than two columns or an index outside it.
std::optional<Parsed> deletingColumn(const Parsed& table, int index);

} // namespace velkin::PipeTable
