#include "markdown/ProseLines.h"

#include "markdown/GridCells.h"

namespace velkin {

ProseLines::ProseLines(U16View text)
    : text(text), lines(lineRanges(text)), texts(MarkdownSyntax::lineTexts(text, lines)),
      fenced(MarkdownSyntax::fenceFlags(texts)), code(MarkdownSyntax::indentedCodeLines(texts, fenced)),
      cell(lines.size(), false)
{
}

ProseLines::ProseLines(const AttributedString& styled)
    : text(styled.string()), lines(lineRanges(text)), texts(MarkdownSyntax::lineTexts(text, lines)),
      cell(lines.size(), false)
{
    const GridCells cells(styled);
    if (cells.empty()) {
        fenced = MarkdownSyntax::fenceFlags(texts);
        code = MarkdownSyntax::indentedCodeLines(texts, fenced);
        return;
    }
    std::vector<U16View> readable = texts;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (cells.contains(lines[i].content.location)) {
            cell[i] = true;
            readable[i] = GridCells::lineStandIn();
        }
    }
    fenced = MarkdownSyntax::fenceFlags(readable);
    code = MarkdownSyntax::indentedCodeLines(readable, fenced);
    // A cell is inline text whatever runs around its grid.
    for (size_t i = 0; i < lines.size(); ++i)
        if (cell[i])
            fenced[i] = code[i] = false;
}

} // namespace velkin
