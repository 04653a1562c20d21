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

} // namespace

TextStorage render(U16View text, double baseSize)
{
    TextStorage storage = grids(text, baseSize);
    MarkdownStyler{baseSize, MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

TextStorage grids(U16View text, double baseSize)
{
    const std::vector<U16View> lines = splitAt(text, lineFeed);
    const std::vector<bool> code = codeFlags(text, lines);
    const size_t count = lines.size();
    // A row that holds another line break (a lone CR, a Unicode separator) stays
    // text: a cell could not hold it and give the line back unchanged.
    auto isSingleLine = [](U16View line) {
        return std::none_of(line.begin(), line.end(), [](char16_t c) { return CharacterClass::isNewline(c); });
    };
    auto isRow = [&](size_t i) {
        const U16View line = withoutCarriageReturn(lines[i]);
        return !code[i] && PipeTable::isTableRow(line) && isSingleLine(line);
    };

    AttributedString built;
    U16String plain;
    auto flushPlain = [&] {
        if (!plain.empty())
            built.append(plain, Attributes());
        plain.clear();
    };

    size_t i = 0;
    while (i < count) {
        if (i + 1 < count && isRow(i) && isRow(i + 1)
            && PipeTable::isDelimiterRow(withoutCarriageReturn(lines[i + 1]))) {
            size_t end = i + 2;
            while (end < count && isRow(end))
                ++end;
            std::vector<U16View> tableLines;
            tableLines.reserve(end - i);
            for (size_t k = i; k < end; ++k)
                tableLines.push_back(withoutCarriageReturn(lines[k]));
            std::optional<PipeTable::Parsed> table = PipeTable::parse(tableLines);
            // A table without a single cell would vanish as a grid; it stays text.
            if (table && table->columnCount() > 0) {
                U16String source;
                for (size_t k = i; k < end; ++k) {
                    if (k > i)
                        source += lineFeed;
                    source += lines[k];
                }
                if (end == count - 1 && lines[end].empty())
                    source += lineFeed;
                flushPlain();
                built.append(attributed(*table, baseSize, std::move(source)));
                i = end;
                continue;
            }
        }
        plain += lines[i];
        if (i + 1 < count)
            plain += lineFeed;
        ++i;
    }
    flushPlain();
    return TextStorage(built);
}

} // namespace velkin::TableGrid
