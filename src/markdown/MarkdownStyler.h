#pragma once
// The styler: restyles a whole text storage from its Markdown source (fonts,
// colours, paragraph styles, decoration marks, kerning) without changing a
// character. Rendered grid cells keep their grid layout and get only a reset
// and the inline span attributes.
#include "markdown/MarkdownSyntax.h"
#include "platform/attributed/MarkdownFontFamily.h"
#include "platform/attributed/TextStorage.h"

#include <functional>
#include <vector>

namespace velkin {

struct MarkdownStyler {
    // Body font size in points; every size, indent and spacing is a multiple of it.
    double baseSize = 14;
    MarkdownFontFamily family = MarkdownFontFamily::sansSerif;

    // The family's regular font at the base size.
    Font baseFont() const;
    // Body text: the base font, the text colour and the default paragraph style.
    Attributes baseAttributes() const;

    // Restyles the whole storage from scratch. With `given`, references and
    // footnotes resolve against those definitions (of a larger text the storage
    // is a part of) instead of its own; `found` receives the definitions used.
    void apply(TextStorage& storage, const MarkdownSyntax::Definitions* given = nullptr,
               MarkdownSyntax::Definitions* found = nullptr) const;

    // Only the first step of apply(): body text attributes outside grids, the
    // cells' own inside, for text to be styled later.
    void applyBase(TextStorage& storage) const;
    // The same for a text whose grids were just made at this size: their cells
    // keep the attributes they were made with.
    void applyBaseAroundGrids(TextStorage& storage) const;

    // The parts of `range` not covered by `ranges`, in ascending order; `range`
    // itself when `ranges` is empty.
    static std::vector<Range> complement(std::vector<Range> ranges, Range range);
    // The attribute reset of grid cell runs (in text order). Each cell's block takes
    // the padding of this size: a grid made at another size (before a zoom) is
    // styled as one made at this one.
    void resetCells(const std::vector<Range>& runs, AttributedString& storage) const;
    // The padding of a grid cell's content at `baseSize`.
    static double cellPadding(double baseSize) { return 0.4 * baseSize; }

    // ---- Span attributes ----
    // Adds the attributes of one span; nothing when it reaches past the end.
    void apply(const MarkdownSpan& span, AttributedString& storage) const;
    // The font at `index`, or the family's regular font at the base size.
    Font font(int index, const AttributedString& storage) const;
    // Unites the traits with each font run's own over `range`.
    void addTraits(bool bold, bool italic, Range range, AttributedString& storage) const;

    // ---- Paragraph styles ----
    // Gives every paragraph its spacing and indents, reading `text` (the storage's
    // string as the block scanner reads it) and leaving the grid cells `cells`
    // (sorted) alone: a paragraph starting in one is skipped, and cell text that an
    // edit joined to a paragraph keeps its cell.
    void applyParagraphStyles(AttributedString& storage, U16View text, const std::vector<Range>& cells) const;

    // ---- Column alignment of tables shown as source ----
    struct TableCell {
        U16String text;  // between two separating pipes, blanks included
        int padIndex = 0;  // the character that takes the cell's missing width as kern
    };
    // Kerns the short cells of every source table in `text` (the storage's string
    // as the block scanner reads it) so that its pipes line up.
    void alignTables(AttributedString& storage, U16View text) const;
    // One table: its line indices, header first.
    static void alignBlock(const std::vector<int>& block, const std::vector<U16View>& lineTexts,
                           const std::vector<Range>& lineRanges, AttributedString& storage,
                           const std::function<double(U16View)>& measure);
};

} // namespace velkin
