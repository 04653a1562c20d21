// The styler's last step: pipe tables shown as source get their pipes lined up
// by kerning the end of each short cell, without touching the text.
#include "markdown/MarkdownStyler.h"
#include "markdown/PipeTable.h"
#include "platform/layout/TextMeasure.h"
#include "platform/text/CharacterClass.h"

#include <unordered_map>

namespace velkin {

namespace {

bool hasPipe(U16View line)
{
    return line.find(u'|') != U16View::npos;
}

} // namespace

void MarkdownStyler::alignTables(AttributedString& storage, U16View text) const
{
    const LineIndex index(text);
    const int count = index.count();
    if (count < 2)
        return;
    const std::vector<U16View> lineTexts = MarkdownSyntax::lineTexts(text, index.lines());
    std::vector<Range> lineRanges;
    lineRanges.reserve(size_t(count));
    for (const LineRange& line : index.lines())
        lineRanges.push_back(line.content);
    const MarkdownSyntax::LineFlags fenced = MarkdownSyntax::fenceFlags(lineTexts);

    const Font measuringFont = Font::monospacedSystem(0.95 * baseSize);
    // Cells repeat (delimiter dashes, short values): measure each text once per pass.
    std::unordered_map<U16String, double> widths;
    auto measure = [&](U16View s) {
        U16String key(s);
        auto it = widths.find(key);
        if (it == widths.end())
            it = widths.emplace(std::move(key), TextMeasure::width(s, measuringFont)).first;
        return it->second;
    };
    auto isBody = [&](int j) {
        return !fenced[size_t(j)] && hasPipe(lineTexts[size_t(j)])
            && !isBlank(lineTexts[size_t(j)], TrimSet::AsciiBlanks);
    };

    int i = 0;
    while (i < count) {
        const bool starts = i >= 1 && !fenced[size_t(i)] && PipeTable::isDelimiterRow(lineTexts[size_t(i)])
            && !fenced[size_t(i - 1)] && hasPipe(lineTexts[size_t(i - 1)])
            && !isBlank(lineTexts[size_t(i - 1)], TrimSet::AsciiBlanks);
        if (!starts) {
            ++i;
            continue;
        }
        std::vector<int> block{i - 1, i};
        int j = i + 1;
        while (j < count && isBody(j))
            block.push_back(j++);
        alignBlock(block, lineTexts, lineRanges, storage, measure);
        i = j;
    }
}

void MarkdownStyler::alignBlock(const std::vector<int>& block, const std::vector<U16View>& lineTexts,
                                const std::vector<Range>& lineRanges, AttributedString& storage,
                                const std::function<double(U16View)>& measure)
{
    std::vector<std::vector<TableCell>> rows;
    rows.reserve(block.size());
    size_t columns = 0;
    for (int lineIndex : block) {
        const U16View line = lineTexts[size_t(lineIndex)];
        const int start = lineRanges[size_t(lineIndex)].location;
        const std::vector<int> pipes = PipeTable::separatorPipes(line);
        std::vector<TableCell> cells;
        for (size_t k = 1; k < pipes.size(); ++k) {
            const int p = pipes[k - 1];
            const int q = pipes[k];
            if (q - p - 1 < 1)
                cells.push_back({U16String(), start + p});
            else
                cells.push_back({U16String(line.substr(size_t(p + 1), size_t(q - p - 1))), start + q - 1});
        }
        columns = std::max(columns, cells.size());
        rows.push_back(std::move(cells));
    }
    if (rows.empty() || columns < 2)
        return;

    std::vector<double> widths(columns, 0);
    for (const auto& cells : rows)
        for (size_t c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], measure(cells[c].text));

    const int length = storage.length();
    for (const auto& cells : rows) {
        // The last cell of a row is never padded.
        for (size_t c = 0; c + 1 < cells.size(); ++c) {
            const double gap = widths[c] - measure(cells[c].text);
            const int at = cells[c].padIndex;
            if (at >= 0 && at < length && gap > 0.5)
                storage.addAttribute(AttributeKey::Kern, gap, Range{at, 1});
        }
    }
}

} // namespace velkin
