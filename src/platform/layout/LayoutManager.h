#pragma once
// Lays out a TextStorage in a TextContainer and draws it on any QPainter.
//
// Glyph index == UTF-16 index. Each paragraph (or each table grid) is laid out
// with its own QTextLayout and laid out again only when its text or its
// layout-affecting attributes change; a very long paragraph is laid out as
// several layouts in sequence (parts), cut where its lines wrap anyway, so that
// an edit lays out again only the part it falls in; a long table, likewise, is
// kept as several blocks of rows. Geometry is in container
// coordinates: y grows downward from the container's top.
//
// A lazy manager lays out only what is asked of it: the paragraphs a query or a
// drawing touches. The others keep an estimated height (from their length, font
// and the container's width) until layoutSome() reaches them in idle time, so
// their positions below hold estimates until then. An eager manager (the
// default) lays everything out before it answers.
#include "platform/attributed/TextStorage.h"
#include "platform/layout/TextContainer.h"

#include <QPointF>
#include <QRectF>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QTextLayout;

namespace velkin {

class LayoutManager {
public:
    explicit LayoutManager(TextStorage* storage = nullptr);
    virtual ~LayoutManager();
    LayoutManager(const LayoutManager&) = delete;
    LayoutManager& operator=(const LayoutManager&) = delete;

    void setTextStorage(TextStorage* storage);
    TextStorage* textStorage() const { return storage_; }
    void setTextContainer(const TextContainer& container);
    const TextContainer& textContainer() const { return container_; }

    // The appearance colours resolve for when drawn.
    Appearance appearance = Appearance::Light;
    // Ranges drawn as selected, and their colour.
    std::vector<Range> selectedRanges;
    Color selectionColor = Color::role(Color::Role::SelectedTextBackground);
    // Ranges marked under the text (the find bar's matches), sorted by location, and their colour.
    std::vector<Range> highlightedRanges;
    Color highlightColor = Color::pair({1.0, 0.87, 0.25, 1}, {0.55, 0.42, 0.05, 1});

    // Lays out everything that is not laid out yet.
    void ensureLayout();
    // Lays out the paragraphs meeting a range of glyphs, or a rectangle at the current
    // positions (everything, for an eager manager).
    void ensureLayout(Range glyphs);
    void ensureLayout(const QRectF& rect);

    bool laysOutLazily() const { return lazy_; }
    void setLaysOutLazily(bool lazy);
    // Lays out the next paragraphs not laid out yet, front to back, for about
    // `budgetMilliseconds`, none starting at `limit` or after it; true when some remain before it.
    bool layoutSome(double budgetMilliseconds, int limit = INT_MAX);
    // Whether no paragraph has an estimated height (or waits for a check of its attributes).
    bool isLayoutComplete();

    // A place that stays put while the heights above it are corrected: the first
    // character of the paragraph (or table) at a height, and the height's offset
    // below that paragraph's top.
    struct Anchor {
        int character = 0;
        double offset = 0;
    };
    Anchor anchorAt(double y);
    double anchorY(const Anchor& anchor);
    // The height of the whole text (estimated in part while the layout is incomplete).
    double usedHeight();
    // Forgets the layout of a range (for example after a change the storage did not report).
    void invalidateLayout(Range characters);
    // Number of paragraphs laid out anew by the last ensureLayout().
    int lastRelayoutCount() const { return lastRelayoutCount_; }

    Range glyphRange(Range characterRange) const;
    Range characterRange(Range glyphRange) const { return glyphRange; }
    int characterIndexForGlyph(int glyph) const { return glyph; }

    // The line fragment of a glyph: the whole line box (container width, line
    // height with its line spacing and paragraph spacing); `effectiveRange`
    // receives the glyphs of that line.
    QRectF lineFragmentRect(int glyph, Range* effectiveRange = nullptr);
    // The line fragment of a glyph stretched over the band its line belongs to: in
    // a table, the whole height of its row; elsewhere the fragment itself.
    QRectF lineBandRect(int glyph);
    // The part of the line fragment the text occupies (without paragraph spacing).
    QRectF lineFragmentUsedRect(int glyph, Range* effectiveRange = nullptr);
    // Location of a glyph: x from the line fragment's left, y = baseline below the fragment's top.
    QPointF location(int glyph);
    // Rectangle enclosing the glyphs of a range, line by line, with the height of their line boxes.
    QRectF boundingRect(Range glyphRange);
    // The glyph nearest to a point; `fraction` receives how far the point lies through it (0...1).
    int glyphIndex(QPointF point, double* fraction = nullptr);
    // The insertion point before a character, or after the last one.
    int characterIndex(QPointF point);
    // The glyphs whose line fragments meet a rectangle.
    Range glyphRange(const QRectF& boundingRect);
    // Union of every used rectangle: the laid-out text's extent.
    QRectF usedRect();
    // The empty line after a final line terminator (or of an empty text), or an empty rect.
    QRectF extraLineFragmentRect();
    // Rectangle of the caret before `index`.
    QRectF caretRect(int index);

    // Draws backgrounds (background colours, table cells, selection) of the glyphs.
    virtual void drawBackground(QPainter& painter, Range glyphRange, QPointF origin);
    // Draws the glyphs themselves with their colours, underlines and strikethroughs.
    virtual void drawGlyphs(QPainter& painter, Range glyphRange, QPointF origin);
    // Both, for everything in `rect` (container coordinates).
    void draw(QPainter& painter, const QRectF& rect, QPointF origin);
    // While draw() runs, the rect it was asked to draw; else nothing.
    const std::optional<QRectF>& drawingArea() const { return drawingArea_; }

    // Resolves a colour for this manager's appearance.
    QColor resolve(const Color& color) const;

    // The memory taken by what drawing keeps of the lines it drew (glyph runs,
    // colours, rectangles), and the most it may take: beyond it, the least
    // recently drawn blocks let go of theirs.
    size_t paintCacheBytes() const;
    size_t paintCacheBudget = size_t(8) << 20;
    // The characters whose paragraphs keep their glyph layouts, and the most a lazy
    // manager lets keep them: beyond it, the least recently used blocks off screen
    // let go of theirs (keeping their lines and heights) and lay out again when used.
    size_t layoutCacheCharactersHeld() const;
    size_t layoutCacheCharacters = size_t(1) << 17;
    // Whether a paragraph's layout keeps its shaped glyphs (some hundred bytes
    // a character) for drawing and queries; without, they are shaped again
    // when asked, as a page drawn once can afford.
    bool keepsGlyphs = true;
    // Whether paragraphs keep their layouts once laid out. Without, a
    // paragraph keeps its lines and heights only, is laid out again as it was
    // when drawn or asked about, and lets go again at the end of a drawing: a
    // page drawn in bands holds the layouts of one band, however long it is.
    // (Set before the first layout.)
    bool keepsLayouts = true;
    // A paragraph longer than twice this many characters is laid out in parts of
    // about this many each (taking effect at its next whole layout). Laying out
    // a part again costs about a quarter of a millisecond at this length, so
    // that a key in a long line leaves time for its restyle and drawing.
    int partLength = 1 << 11;
    // A long table whose rows are each one line of cells, in order, is kept as
    // blocks of this many rows each, counted from its first: an edit that adds
    // or takes a line in a cell then lays out and places again only the rows
    // of its own block, and the blocks below move as wholes. (It takes effect
    // where blocks are made anew: set it before the storage, or invalidate the
    // layout of everything.)
    int tableBlockRows = 256;
    // Where each block starts: a layout kept through edits holds the blocks a whole layout makes.
    std::vector<int> blockStarts() const;

    struct Line;
    struct Part;
    struct Block;
    struct LinePaint;

private:
    void storageEdited(const TextStorage::Edit& edit);
    // Whether a paragraph touching the range has joined or left a table.
    bool tablesChanged(Range range) const;
    // The table cell of the paragraph holding a character (none past the text's end).
    const TextTableBlock* cellAt(int character) const;
    struct TableRun;
    // Whether a block of a table cut into blocks still starts and ends where a whole layout cuts it.
    bool tableBlockHolds(size_t index) const;
    void rebuildBlocks(Range region, int delta, bool charactersChanged = true);
    // Moves a block and its lines along the text.
    static void shiftBlock(Block& block, int delta);
    // How far a paragraph laid out in parts must be laid out again for what asks
    // (the rest waits, its old lines moved along): past a character and below a
    // height in its block (INT_MIN, -HUGE_VAL: no need), or, once a part is done,
    // as far as a deadline allows. By default, to its end.
    struct Reach {
        int character = INT_MAX;
        double y = HUGE_VAL;
        std::optional<std::chrono::steady_clock::time_point> deadline;
    };
    void layoutBlock(Block& block, const Reach& reach);
    void layoutParagraph(Block& block, size_t paragraph, double x, double width, double& y);
    void layoutParagraph(Block& block, size_t paragraph, double x, double width, double& y, std::vector<Line>& lines);
    // Which lines of a paragraph to lay out into one layout, and where.
    struct Stretch;
    // Lays out lines of a paragraph into a new layout holding a stretch of its
    // text, appending them to `lines`; `y` goes from the first line's top to
    // below the last, and `end` receives where the last line kept ends.
    std::unique_ptr<QTextLayout> layoutLines(const Block& block, size_t paragraph, const Stretch& stretch,
                                             std::vector<Line>& lines, double& y, int& end);
    bool laysOutInParts(const Block& block) const;
    // Lays out a long paragraph's parts that changed, and the ones after them
    // until a part's first line starts where it did before (all of them at first),
    // or as far as asked.
    void layoutParts(Block& block, const Reach& reach);
    // Moves the parts and lines of a block laid out in parts over an edit of its
    // text, marking the parts the edit touches for laying out again.
    void editParts(Block& block, int editStart, int oldEditEnd, int delta);
    void dropParts(Block& block);
    // Gives a block laid out in parts the paragraph style the storage holds now,
    // keeping its parts when the style changes only its first and last lines (which
    // lay out again); false when any of its lines must lay out again.
    bool takeStyle(Block& block, std::vector<ParagraphStylePtr> styles);
    // Lays out again the layout a part let go, with the lines it had.
    void restorePart(const Block& block, size_t part);
    // Lays out again the layout a paragraph let go, with the lines it had.
    void restoreParagraph(const Block& block, const Line& line);
    // Without keepsLayouts: lets go of the layouts laid out again since the last
    // drawing, but for those of paragraphs that run on below `area`, just drawn.
    void letGoOfRestored(const std::optional<QRectF>& area = std::nullopt);
    // The characters whose glyph layouts a block holds.
    size_t heldBy(const Block& block) const;
    // The Qt line a line was laid out as, with where its layout's text starts
    // in the storage, how long that text is and the top its lines are placed from.
    struct LineLayout;
    LineLayout lineLayout(const Block& block, const Line& line);
    void layoutTable(Block& block);
    // A table whose paragraphs run row by row, cell by cell, keeps its rows: an
    // edit inside one cell paragraph lays out again only the rows it touched, and
    // places the rows after them anew from their kept lines.
    struct TableRow;
    struct TableGeometry;
    TableGeometry tableGeometry(const Block& block) const;
    // The rows of a table laid out whole, or false when its paragraphs do not run in order.
    bool findTableRows(Block& block) const;
    // Lays out a row's cells (anew, or placing the kept lines from `oldLines` at
    // its top), appending its lines to `lines` and its cells to the block's.
    void placeTableRow(Block& block, TableRow& row, const TableGeometry& geometry, double top,
                       std::vector<Line>& oldLines, std::vector<Line>& lines);
    // Places a row's kept lines and cells at `top` in place (its lines up to `lineEnd`,
    // its cells up to `cellEnd`), with the sums placeTableRow makes.
    void restackTableRow(Block& block, TableRow& row, double top, size_t lineEnd, size_t cellEnd);
    // Lays out again the rows marked, false when the table must be laid out whole.
    bool layoutTableRows(Block& block);
    // After a new width: a table keeps the lines of each row whose cells each hold one
    // left-aligned line that fits its cell at the new width as it did at the old (the
    // line breaks and glyphs stay; the lines move to their cells' new places), and lays
    // out anew only the others; false when the table must be laid out whole.
    bool refitTable(Block& block, std::vector<ParagraphStylePtr>& styles);
    // The paragraph styles of a block's paragraphs as the storage holds them now.
    std::vector<ParagraphStylePtr> paragraphStyles(const Block& block) const;
    // Where a Qt line placed at `x` stands (Qt keeps places in fixed point).
    double qtLineX(double x);
    // An edit of characters inside one cell paragraph of a table that keeps its
    // rows: the block stays, its row marked; false when it does not apply.
    bool editTableCell(size_t index, Range region, int delta);
    // Compares the attributes of the rows a change met with those they were laid out with.
    void checkTableRows(Block& block);
    // Lays out one block when it needs it (its attributes may also only need a check).
    // Idle layout leaves a block that let go of its layouts as it is, and does not count as a use.
    void updateBlock(size_t index, bool idle, const Reach& reach);
    void updateBlock(size_t index, bool idle = false);
    bool needsLayout(const Block& block) const;
    void measureForEstimate(Block& block) const;
    double estimatedHeight(const Block& block) const;
    // Estimates again the heights of the blocks not laid out, reading their attributes
    // anew when `measure` (else only for a new width).
    void estimateHeights(size_t from, size_t to, bool measure);
    void invalidateFrom(size_t index) { firstPending_ = std::min(firstPending_, index); }
    void advancePending();
    // Blocks' tops: a Fenwick tree of their heights, so one height changes in
    // logarithmic time and any top is a prefix sum.
    void setHeight(size_t index, double height);
    void position();
    double topOf(size_t index);
    double totalHeight();
    // The number of blocks from the first whose bottoms lie above y (or at it).
    size_t blocksEndingBefore(double y, bool orAt);
    // The first block whose bottom lies below y (the last when none does).
    size_t blockAtY(double y);
    // Lays out what a query needs: everything, or, when lazy, the given glyphs.
    void prepare(Range glyphs);
    const Line* lineForGlyph(int glyph);
    // The first line of a block that ends after a glyph (its lines run in text order).
    static size_t firstLineReaching(const Block& block, int glyph);
    // The first line from `line` on that reaches the area being drawn (all of
    // them without one): in a table, the lines of a cell that lie above or below
    // it are passed over by a search, not one by one, so that a band of a tall
    // row costs its own lines. It stops at the first line at or past `glyphEnd`.
    size_t lineToDraw(const Block& block, size_t line, double blockTop, int glyphEnd) const;
    size_t blockIndexAt(int character) const;
    double lineX(const Line& line, int index);
    // What drawing a line of a block takes, kept from its first drawing.
    const LinePaint& linePaint(const Block& block, size_t line);
    // The kept drawing of a line, if any.
    LinePaint* keptPaint(const Block& block, const Line& line) const;
    // Ends a drawing: keeps the kept drawings within their budget.
    void trimPaints();
    // Keeps the glyph layouts within their budget.
    // `down`: to the budget now, however few characters came since the last walk.
    void trimLayouts(bool down = false);

    TextStorage* storage_ = nullptr;
    int observer_ = 0;
    TextContainer container_;
    std::vector<std::unique_ptr<Block>> blocks_;
    Range dirty_{0, 0};
    bool hasDirty_ = true;
    bool positionsValid_ = false;
    std::vector<double> tree_;     // Fenwick tree over the blocks' heights
    std::vector<double> heights_;  // the heights the tree holds
    size_t firstPending_ = 0;   // every block before it is laid out and checked
    bool lazy_ = false;
    int lastRelayoutCount_ = 0;
    mutable size_t paintBytes_ = 0;     // at least what the kept drawings take (blocks let go of theirs unseen)
    std::optional<QRectF> drawingArea_;
    uint64_t paintSerial_ = 1;  // counts drawings, to tell the least recently drawn blocks
    size_t heldCharacters_ = 0;  // the characters of the blocks holding layouts
    size_t heldLimit_ = 0;       // past which (and the budget) they are counted and trimmed again
    // Laid out again, to let go after drawing, with the bottom of their lines on the page.
    struct Restored {
        std::unique_ptr<QTextLayout>* layout;
        double bottom;
    };
    std::vector<Restored> restored_;
    std::unique_ptr<QTextLayout> probe_;  // an empty layout whose line qtLineX() places
};

} // namespace velkin
