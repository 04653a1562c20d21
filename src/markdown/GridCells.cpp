#include "markdown/GridCells.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/text/Lines.h"

#include <algorithm>
#include <optional>

namespace velkin {

GridCells::GridCells(const AttributedString& text)
{
    const int n = text.length();
    if (n < 1)
        return;
    const TextTableBlock* last = nullptr;
    text.enumerateAttribute(AttributeKey::ParagraphStyle, Range{0, n}, [&](const AttributeValue* value, Range run) {
        if (!value)
            return;
        const auto* style = std::get_if<ParagraphStylePtr>(value);
        if (!(style && *style && (*style)->tableBlock()))
            return;
        runs_.push_back(run);
        // A cell's text may carry several styles of one block (limits lifted from some runs).
        if (!cells_.empty() && cells_.back().end() == run.location && last == (*style)->tableBlock())
            cells_.back() = unionRange(cells_.back(), run);
        else
            cells_.push_back(run);
        last = (*style)->tableBlock();
    });
}

bool GridCells::contains(int index) const
{
    auto it = std::upper_bound(runs_.begin(), runs_.end(), index,
                               [](int i, const Range& r) { return i < r.location; });
    return it != runs_.begin() && std::prev(it)->contains(index);
}

U16String GridCells::blanked(U16View text) const
{
    U16String out(text);
    // Touching runs are one grid (or grids with nothing between them).
    auto rewrite = [&](Range grid) {
        const int end = std::min(grid.end(), int(out.size()));
        const int start = std::min(grid.location, end);
        if (start == end)
            return;
        auto at = [&](int i) -> char16_t& { return out[size_t(i)]; };
        const bool terminated = at(end - 1) == u'\n';
        const int body = terminated ? end - 1 : end;
        if (terminated && end - start >= 5) {
            // "|" "\n" "|" "-"... "\n": one delimiter pipe keeps it a table of no columns,
            // so nothing lines its "cells" up.
            at(start) = u'|';
            at(start + 1) = u'\n';
            at(start + 2) = u'|';
            std::fill(out.begin() + start + 3, out.begin() + body, u'-');
        } else {
            std::fill(out.begin() + start, out.begin() + body, MarkdownSyntax::gridRowStandIn);
        }
    };
    std::optional<Range> grid;
    for (const Range& run : runs_) {
        if (grid && grid->end() == run.location) {
            grid = unionRange(*grid, run);
            continue;
        }
        if (grid)
            rewrite(*grid);
        grid = run;
    }
    if (grid)
        rewrite(*grid);
    return out;
}

std::vector<Range> GridCells::paragraphs(U16View text) const
{
    std::vector<Range> out;
    for (const Range& run : cells_) {
        const Range clipped = Range::fromTo(std::min(run.location, int(text.size())), std::min(run.end(), int(text.size())));
        for (const LineRange& line : paragraphRanges(substring(text, clipped)))
            if (line.content.length > 0)
                out.push_back(Range{clipped.location + line.content.location, line.content.length});
    }
    return out;
}

U16String blockText(const AttributedString& text)
{
    const GridCells cells(text);
    return cells.empty() ? U16String(text.string()) : cells.blanked(text.string());
}

} // namespace velkin
