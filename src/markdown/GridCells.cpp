#include "markdown/GridCells.h"

#include "platform/text/Lines.h"

#include <algorithm>

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
    for (const Range& run : runs_) {
        const int end = std::min(run.end(), int(out.size()));
        std::fill(out.begin() + std::min(run.location, end), out.begin() + end, u'\n');
    }
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
