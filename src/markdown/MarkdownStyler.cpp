#include "markdown/MarkdownStyler.h"

#include "markdown/GridCells.h"

#include <algorithm>

namespace velkin {

Font MarkdownStyler::baseFont() const
{
    return FontFamily::font(family, baseSize, false, false);
}

Attributes MarkdownStyler::baseAttributes() const
{
    return Attributes{{AttributeKey::Font, baseFont()},
                      {AttributeKey::ForegroundColor, Color::text()},
                      {AttributeKey::ParagraphStyle, ParagraphStyle::defaultStyle()}};
}

namespace {

// Outside grids every attribute of an earlier pass goes, so no stale decoration
// survives an edit; each cell gets its own reset.
void resetToBase(const MarkdownStyler& styler, TextStorage& storage, const GridCells& cells)
{
    const Attributes base = styler.baseAttributes();
    for (const Range& r : MarkdownStyler::complement(cells.runs(), Range{0, storage.length()}))
        storage.setAttributes(base, r);
    styler.resetCells(cells.runs(), storage);
}

} // namespace

void MarkdownStyler::applyBase(TextStorage& storage) const
{
    storage.beginEditing();
    resetToBase(*this, storage, GridCells(storage));
    storage.endEditing();
}

void MarkdownStyler::applyBaseAroundGrids(TextStorage& storage) const
{
    // Each cell gets its reset with the rest of its styling; one here would cost a
    // new dictionary per cell.
    storage.beginEditing();
    const Attributes base = baseAttributes();
    for (const Range& r : complement(GridCells(storage).runs(), Range{0, storage.length()}))
        storage.setAttributes(base, r);
    storage.endEditing();
}

void MarkdownStyler::apply(TextStorage& storage, const MarkdownSyntax::Definitions* given,
                           MarkdownSyntax::Definitions* found) const
{
    storage.beginEditing();
    const int n = storage.length();
    const GridCells cells(storage);
    resetToBase(*this, storage, cells);

    // Block passes read cells as blank lines; offsets are the storage's.
    U16String blanked;
    if (!cells.empty())
        blanked = cells.blanked(storage.string());
    const U16View text = cells.empty() ? storage.string() : U16View(blanked);
    applyParagraphStyles(storage, text, cells.runs());

    // Markers come in runs (brackets, destinations, pipes); a run of them in list
    // order sets one colour, so touching ones are applied together.
    std::vector<Range> markers;
    auto flushMarkers = [&] {
        if (markers.empty())
            return;
        std::sort(markers.begin(), markers.end(), [](Range a, Range b) { return a.location < b.location; });
        Range merged = markers.front();
        for (size_t i = 1; i <= markers.size(); ++i) {
            if (i < markers.size() && markers[i].location <= merged.end()) {
                merged = unionRange(merged, markers[i]);
                continue;
            }
            apply(MarkdownSpan{merged, MarkdownToken(MarkdownToken::Kind::marker), std::nullopt}, storage);
            if (i < markers.size())
                merged = markers[i];
        }
        markers.clear();
    };
    auto add = [&](const MarkdownSpan& span) {
        if (span.token.is(MarkdownToken::Kind::marker) && span.range.location >= 0 && span.range.length >= 0
            && span.range.end() <= n) {
            markers.push_back(span.range);
            return;
        }
        flushMarkers();
        apply(span, storage);
    };
    const MarkdownSyntax::BlockLines lines(text);
    MarkdownSyntax::Definitions own;
    if (!given) {
        own = MarkdownSyntax::definitions(lines);
        given = &own;
    }
    if (found)
        *found = *given;
    for (const MarkdownSpan& span : MarkdownSyntax::spans(lines, *given)) {
        // A block (a fence left open above a grid) stops at the grid's cells.
        if (!cells.empty() && span.range.length > 0 && span.range.location >= 0 && span.range.end() <= n) {
            const std::vector<Range>& runs = cells.runs();
            auto it = std::upper_bound(runs.begin(), runs.end(), span.range.location,
                                       [](int at, const Range& cell) { return at < cell.end(); });
            std::vector<Range> inCells;
            for (; it != runs.end() && it->location < span.range.end(); ++it)
                inCells.push_back(*it);
            if (!inCells.empty()) {
                for (const Range& piece : complement(std::move(inCells), span.range))
                    add(MarkdownSpan{piece, span.token, span.url()});
                continue;
            }
        }
        add(span);
    }
    // Each cell paragraph is inline text of its own: only character-level styling applies.
    const U16View source = storage.string();
    for (const Range& paragraph : cells.paragraphs(source)) {
        MarkdownSpans inCell;
        MarkdownSyntax::appendInline(substring(source, paragraph), paragraph.location,
                                     Range{0, paragraph.length}, given->footnotes, given->links, inCell);
        for (const MarkdownSpan& span : inCell)
            if (span.token.isInline())
                add(span);
    }
    flushMarkers();

    alignTables(storage, text);
    storage.endEditing();
}

std::vector<Range> MarkdownStyler::complement(std::vector<Range> ranges, Range range)
{
    std::vector<Range> result;
    if (ranges.empty()) {
        result.push_back(range);
        return result;
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.location < b.location; });
    int cursor = range.location;
    for (const Range& r : ranges) {
        if (cursor < r.location)
            result.push_back(Range::fromTo(cursor, r.location));
        cursor = std::max(cursor, r.end());
    }
    if (cursor < range.end())
        result.push_back(Range::fromTo(cursor, range.end()));
    return result;
}

void MarkdownStyler::resetCells(const std::vector<Range>& runs, AttributedString& storage) const
{
    // The runs of one cell may carry several styles of its one block: they share its renewal.
    const TextTableBlock* renewedFrom = nullptr;
    std::shared_ptr<const TextBlock> renewed;
    const double padding = cellPadding(baseSize);
    for (const Range& range : runs) {
        const ParagraphStyle* style = storage.paragraphStyle(range.location);
        const TextTableBlock* block = style ? style->tableBlock() : nullptr;
        const bool header = block && block->backgroundColor.has_value();
        const bool resized = block && block->width(TextTableBlock::Layer::Padding, TextTableBlock::MinX) != padding;
        if (resized && block != renewedFrom) {
            auto copy = std::make_shared<TextTableBlock>(*block);
            copy->setWidthAllEdges(padding, TextTableBlock::Layer::Padding);
            renewedFrom = block;
            renewed = std::move(copy);
        }

        // A cell keeps its grid block (at this size); only a line-height limit from an earlier pass is lifted.
        ParagraphStylePtr restyled;
        if (style && (resized || style->minimumLineHeight != 0 || style->maximumLineHeight != 0)) {
            auto copy = std::make_shared<ParagraphStyle>(*style);
            copy->minimumLineHeight = 0;
            copy->maximumLineHeight = 0;
            if (resized)
                for (std::shared_ptr<const TextBlock>& each : copy->textBlocks)
                    if (each.get() == block)
                        each = renewed;
            restyled = std::move(copy);
        }

        static constexpr AttributeKey removed[] = {
            AttributeKey::Link,           AttributeKey::Strikethrough,     AttributeKey::Underline,
            AttributeKey::BackgroundColor, AttributeKey::CodeBlockFill,     AttributeKey::CollapsedImage,
            AttributeKey::TaskCheckbox,   AttributeKey::ColorSwatch,       AttributeKey::EmojiShortcode,
            AttributeKey::FootnoteReference, AttributeKey::HardBreak,      AttributeKey::BaselineOffset,
            AttributeKey::Kern,
        };
        const Font font = FontFamily::font(family, baseSize, header, false);

        // One pass over the cell's runs instead of one per key.
        std::vector<std::pair<Range, Attributes>> updates;
        storage.enumerateRuns(range, [&](const Attributes& attributes, Range run) {
            Attributes next = attributes;
            next.set(AttributeKey::Font, font);
            next.set(AttributeKey::ForegroundColor, Color::text());
            for (AttributeKey key : removed)
                next.remove(key);
            if (restyled)
                next.set(AttributeKey::ParagraphStyle, restyled);
            // A run already reset (a grid just built) is left alone: setting it again costs a lookup.
            if (!(next == attributes))
                updates.emplace_back(run, std::move(next));
        });
        for (const auto& [run, attributes] : updates)
            storage.setAttributes(attributes, run);
    }
}

} // namespace velkin
