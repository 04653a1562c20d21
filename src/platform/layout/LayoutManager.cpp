#include "platform/layout/LayoutManager.h"

#include "platform/text/Lines.h"

#include <QFontMetricsF>

#include <unicode/uchar.h>
#include <QGlyphRun>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <functional>
#include <chrono>
#include <map>
#include <optional>
#include <ranges>

namespace velkin {

// One laid-out line; rectangles are relative to the top of its block.
struct LayoutManager::Line {
    Range glyphs;         // the line's characters; a paragraph's last line includes its terminator
    QRectF fragment;      // the whole line box
    double textTop = 0;   // top of the text box (after spacing before)
    double textHeight = 0;
    double baseline = 0;  // below the fragment's top
    double usedX = 0;
    double usedWidth = 0;
    double spacing = 0;   // line spacing below the text box
    size_t paragraph = 0;
    int qtLine = 0;
    // The Qt line's ascent, and the y it stands at in its layout: a table row moved
    // down by a row above it moves its Qt lines only when they are next used.
    double ascent = 0;
    double qtY = 0;
    // The extent the line belongs to from top to bottom: its own fragment, or
    // its table row; these never go back up the page from line to line.
    double bandTop = 0;
    double bandBottom = 0;
};

// What drawing one line takes, read from its layout and attributes when the line
// is first drawn: asking Qt for a line's glyph runs and its attributes for their
// colours costs more than drawing them. Kept until the paragraph is laid out
// again or its attributes change. Values only, relative to the block's top:
// nothing here points into the text or a layout.
struct LayoutManager::LinePaint {
    Appearance appearance = Appearance::Light;
    // Background colours, in the order they are filled.
    struct Fill {
        QRectF rect;
        QColor color;
    };
    std::vector<Fill> fills;
    struct Glyphs {
        QGlyphRun run;
        QColor color;
        double offset;  // raised by a baseline offset
    };
    std::vector<Glyphs> glyphs;
    // Underlines and strikethroughs, each drawn after the first `after` glyph runs.
    struct Stroke {
        QRectF rect;
        QColor color;
        size_t after;
    };
    std::vector<Stroke> strokes;
    // Places asked of the line (its x at a character), by index in the paragraph.
    std::vector<std::pair<int, double>> xs;
    size_t bytes = 0;
};

namespace {

// What a table cell's margin, border and padding take on each side of its text.
struct CellInsets {
    double left, right, top, bottom;
};

CellInsets insetsOf(const TextTableBlock& c)
{
    using E = TextTableBlock::Edge;
    using L = TextTableBlock::Layer;
    return {c.width(L::Margin, E::MinX) + c.width(L::Border, E::MinX) + c.width(L::Padding, E::MinX),
            c.width(L::Margin, E::MaxX) + c.width(L::Border, E::MaxX) + c.width(L::Padding, E::MaxX),
            c.width(L::Margin, E::MinY) + c.width(L::Border, E::MinY) + c.width(L::Padding, E::MinY),
            c.width(L::Margin, E::MaxY) + c.width(L::Border, E::MaxY) + c.width(L::Padding, E::MaxY)};
}


// The most places a drawn line keeps.
constexpr size_t kMaxLineXs = 256;

// How far past a rectangle's lines drawing it reaches: ink can reach past its
// line (tall emoji, descenders).
constexpr double kInkMargin = 64;

// What of a run decides its layout.
struct SignatureStyle {
    Font font;
    double kern;
    double baselineOffset;
    bool operator==(const SignatureStyle&) const = default;
};

// Runs name their style by its index: a paragraph of alternating emphasis has
// a run every few characters but only a few styles.
struct Signature {
    struct Run {
        int length;
        unsigned style;
    };
    std::vector<SignatureStyle> styles;
    std::vector<Run> runs;

    void clear()
    {
        styles.clear();
        runs.clear();
    }
    void append(int length, const SignatureStyle& style)
    {
        if (!runs.empty() && styles[runs.back().style] == style) {
            runs.back().length += length;
            return;
        }
        const auto index = unsigned(std::find(styles.begin(), styles.end(), style) - styles.begin());
        if (index == styles.size())
            styles.push_back(style);
        runs.push_back({length, index});
    }
};

struct Paragraph {
    Range range;    // with terminator
    Range content;  // without terminator
    // None while it is let go: laid out again, as it was, when a line asks for it.
    mutable std::unique_ptr<QTextLayout> layout;
};

const Font& defaultFont()
{
    static const Font font = Font::system(14);
    return font;
}

QTextOption::TabType tabType(TextAlignment a)
{
    switch (a) {
    case TextAlignment::Right: return QTextOption::RightTab;
    case TextAlignment::Center: return QTextOption::CenterTab;
    default: return QTextOption::LeftTab;
    }
}

QList<QTextOption::Tab> tabsOf(const TabStops& stops)
{
    QList<QTextOption::Tab> tabs;
    for (const TabStop& t : stops)
        tabs.append(QTextOption::Tab(t.location, tabType(t.alignment)));
    return tabs;
}

// The tabs of a paragraph's layout; the default ones one shared list for all.
QList<QTextOption::Tab> qtTabs(const TabStops& stops)
{
    static const QList<QTextOption::Tab> defaults = tabsOf(TabStops());
    return stops.isDefault() ? defaults : tabsOf(stops);
}

Qt::Alignment qtAlignment(TextAlignment a)
{
    switch (a) {
    case TextAlignment::Right: return Qt::AlignRight;
    case TextAlignment::Center: return Qt::AlignHCenter;
    case TextAlignment::Justified: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
    }
}

// What of a stretch of text decides its layout: fonts, kerns and baseline offsets, run by run
// (neighbouring runs that differ only in colours or marks count as one).
Signature layoutSignature(const TextStorage& storage, Range range)
{
    Signature sig;
    storage.enumerateRuns(range, [&](const Attributes& a, Range run) {
        const Font* f = a.font();
        sig.append(run.length, {f ? *f : defaultFont(), a.number(AttributeKey::Kern).value_or(0),
                                a.number(AttributeKey::BaselineOffset).value_or(0)});
    });
    sig.runs.shrink_to_fit();
    return sig;
}

// Whether a stretch still has the signature it was laid out with, without building a new one.
bool signatureMatches(const TextStorage& storage, Range range, const Signature& sig)
{
    const std::vector<Signature::Run>& signature = sig.runs;
    size_t index = 0;
    int consumed = 0;  // of signature[index]
    bool same = true;
    storage.enumerateRuns(range, [&](const Attributes& a, Range run) {
        if (!same)
            return;
        const Font* f = a.font();
        const Font& font = f ? *f : defaultFont();
        const double kern = a.number(AttributeKey::Kern).value_or(0);
        const double offset = a.number(AttributeKey::BaselineOffset).value_or(0);
        if (index >= signature.size()) {
            same = false;
            return;
        }
        const Signature::Run& expected = signature[index];
        const SignatureStyle& style = sig.styles[expected.style];
        if (!(style.font == font) || style.kern != kern || style.baselineOffset != offset
            || consumed + run.length > expected.length) {
            same = false;
            return;
        }
        consumed += run.length;
        if (consumed == expected.length) {
            ++index;
            consumed = 0;
        }
    });
    return same && index == signature.size() && consumed == 0;
}

// What a new paragraph style changes of a paragraph's lines: nothing, only its
// first and last lines (its first line's indent, the spacing before it and the
// spacing after its last line), or every line.
enum class StyleChange { None, Ends, All };

StyleChange styleChange(const ParagraphStyle& from, const ParagraphStyle& to)
{
    if (from == to)
        return StyleChange::None;
    ParagraphStyle ends = from;
    ends.firstLineHeadIndent = to.firstLineHeadIndent;
    ends.paragraphSpacingBefore = to.paragraphSpacingBefore;
    ends.paragraphSpacing = to.paragraphSpacing;
    return ends == to ? StyleChange::Ends : StyleChange::All;
}

bool isParagraphTerminator(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029;
}

// Qt fonts for our font values, with a kern as letter spacing; `emoji` puts the
// colour emoji font first, for characters whose default presentation is emoji
// (the text fonts have black-and-white glyphs for some of them).
struct QtFormat {
    QFont font;
    // Formats share their data: one made per font keeps a paragraph of many runs
    // in one font from holding a copy of it for each.
    QTextCharFormat format;
    // Whether Qt sets the font at no size at all (text hidden in a font under a
    // pixel): every character of it is nothing wide, and nothing tall.
    bool sizeless = false;
};

const QtFormat& qtFormat(const Font& font, double kern, bool emoji)
{
    struct Key {
        Font font;
        double kern;
        bool emoji;
        bool operator<(const Key& o) const
        {
            return std::tie(font.family, font.pointSize, font.bold, font.italic, kern, emoji)
                < std::tie(o.font.family, o.font.pointSize, o.font.bold, o.font.italic, o.kern, o.emoji);
        }
    };
    static std::map<Key, QtFormat> cache;
    auto it = cache.find({font, kern, emoji});
    if (it == cache.end()) {
        if (cache.size() > 2048)
            cache.clear();
        QtFormat q{font.toQFont(emoji), {}};
        if (kern != 0)
            q.font.setLetterSpacing(QFont::AbsoluteSpacing, kern);
        if (font.pointSize < 1) {
            // Where no glyph takes any room, no other font need be searched for one.
            QFont alone = q.font;
            alone.setStyleStrategy(QFont::NoFontMerging);
            const auto sizeless = [](const QFont& f) {
                const QFontMetricsF metrics(f);
                return metrics.ascent() == 0 && metrics.descent() == 0
                    && metrics.horizontalAdvance(QStringLiteral("0#*a")) == 0;
            };
            q.sizeless = sizeless(q.font) && sizeless(alone);
            if (q.sizeless)
                q.font = alone;
        }
        q.format.setFont(q.font, QTextCharFormat::FontPropertiesAll);
        it = cache.emplace(Key{font, kern, emoji}, q).first;
    }
    return it->second;
}

const QFont& qtFont(const Font& font, double kern, bool emoji = false)
{
    return qtFormat(font, kern, emoji).font;
}

// Qt sets a font under a pixel in the colour emoji font at no size, whose
// glyphs for digits, '#' and '*' it decodes from pictures at every shaping only
// to scale their advances to nothing. In such a run the layout holds characters
// the emoji font lacks in their place: as wide (nothing) and of the same
// classes for bidi, line breaks and clusters, so every place and break stays.
void standInForPictureGlyphs(QString& content, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const char16_t unit = content[i].unicode();
        if (unit >= u'0' && unit <= u'9')
            content[i] = QChar(char16_t(0x06F0 + (unit - u'0')));  // extended Arabic-Indic digits
        else if (unit == u'#')
            content[i] = QChar(char16_t(0x212E));  // estimated symbol
        else if (unit == u'*')
            content[i] = QChar(char16_t(0x2022));  // bullet
    }
}

// Qt's word wrapping measures the whole of an unbreakable stretch again for
// every line it tries to fit, so a line that starts inside a stretch longer
// than this is wrapped anywhere: the result is the same, and the cost linear.
constexpr int kLongUnbreakable = 512;

// The line-break opportunities of a paragraph long enough to hold such a
// stretch, in order; none for a shorter one.
std::vector<int> lineBreakOpportunities(const QString& text)
{
    std::vector<int> breaks;
    if (text.size() <= kLongUnbreakable)
        return breaks;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    for (qsizetype at = finder.toNextBoundary(); at >= 0; at = finder.toNextBoundary())
        breaks.push_back(int(at));
    return breaks;
}

QTextOption::WrapMode wrapModeAt(const std::vector<int>& breaks, int lineStart)
{
    const auto next = std::upper_bound(breaks.begin(), breaks.end(), lineStart);
    const bool inLongStretch = next != breaks.end() && *next - lineStart > kLongUnbreakable;
    return inLongStretch ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

// The width a line of a paragraph in a box `width` wide wraps at, from its indent.
double lineWidthIn(const ParagraphStyle& style, double width, double indent)
{
    if (style.tailIndent > 0)
        return style.tailIndent - indent;
    return width - indent + std::min(style.tailIndent, 0.0);
}

// Whether every character of a run is a space that draws no ink: such runs
// (the spaces between collapsed shortcodes, say) need no glyphs looked up.
bool inkless(U16View run)
{
    return std::all_of(run.begin(), run.end(), [](char16_t c) {
        return c == u' ' || c == u'\t' || c == 0xA0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x3000;
    });
}

bool joinsEmoji(UChar32 c)
{
    return c == 0x200D || c == 0xFE0F || c == 0x20E3 || u_hasBinaryProperty(c, UCHAR_EMOJI_MODIFIER)
        || (c >= 0xE0020 && c <= 0xE007F);
}

// Stretches of `text` inside `range` that draw as colour emoji: a character with
// emoji presentation, or an emoji followed by U+FE0F, with what joins it.
std::vector<Range> emojiStretches(U16View text, Range range)
{
    std::vector<Range> result;
    int i = range.location;
    const int end = range.end();
    while (i < end) {
        const char16_t unit = text[size_t(i)];
        if (unit < 0x2000 && unit != u'#' && unit != u'*' && !(unit >= u'0' && unit <= u'9') && unit != 0xA9 && unit != 0xAE) {
            ++i;
            continue;
        }
        UChar32 c;
        int next = i;
        U16_NEXT(text.data(), next, end, c);
        bool emoji = u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION);
        if (!emoji && u_hasBinaryProperty(c, UCHAR_EMOJI) && next < end) {
            const char16_t following = text[size_t(next)];
            emoji = following == 0xFE0F || (following == 0x20E3);
        }
        if (!emoji) {
            i = next;
            continue;
        }
        int stop = next;
        while (stop < end) {
            int after = stop;
            UChar32 d;
            U16_NEXT(text.data(), after, end, d);
            if (joinsEmoji(d)) {
                stop = after;
                if (d == 0x200D && after < end) {
                    UChar32 e;
                    int afterNext = after;
                    U16_NEXT(text.data(), afterNext, end, e);
                    stop = afterNext;
                }
                continue;
            }
            if (u_hasBinaryProperty(d, UCHAR_REGIONAL_INDICATOR) && u_hasBinaryProperty(c, UCHAR_REGIONAL_INDICATOR)) {
                stop = after;
                c = 0;
                continue;
            }
            break;
        }
        result.push_back(Range::fromTo(i, stop));
        i = stop;
    }
    return result;
}

// Past its last line, a part's layout holds at least this much more of the
// text: no line break, nor the choice to wrap a long unbreakable stretch
// anywhere, looks further ahead than that.
constexpr int kPartMargin = 2 * kLongUnbreakable;

} // namespace

// A stretch of a long paragraph laid out on its own. It starts where a line of
// the whole paragraph's layout starts and its layout holds some text past its
// last line, so its lines are the ones that layout would give there.
struct LayoutManager::Part {
    int start = 0;    // where its first line starts, from the paragraph's content start
    int end = 0;      // where its last line ends: the next part's start, or the content's end
    int textEnd = 0;  // where the text its layout holds ends
    size_t firstLine = 0;  // in the block's lines
    double top = 0;   // its first line's top in the block
    bool dirty = false;  // its text changed since it was laid out
    Signature signature;  // of the text its layout holds
    mutable std::unique_ptr<QTextLayout> layout;  // none once let go
    mutable size_t held = 0;  // the characters its layout holds
    mutable uint64_t usedAt = 0;
};

struct LayoutManager::Stretch {
    int from = 0;   // where the layout's text starts, a line start, from the content's start
    int to = 0;     // where it ends
    int aim = 0;    // the lines stop at the first that ends here or past it
    int lines = -1;  // or after this many (laying out a part again)
    double x = 0;       // of the lines' box, and its width
    double width = 0;
    std::optional<bool> rightToLeft;  // the whole paragraph's direction (else the text's own)
};

struct LayoutManager::LineLayout {
    QTextLine line;
    int start = 0;   // where its layout's text starts in the storage
    int length = 0;  // how long that text is
};

// One row of a table laid out row by row: its paragraphs, lines and cells are
// the block's from these indices up to the next row's.
struct LayoutManager::TableRow {
    size_t paragraph = 0;
    size_t line = 0;
    size_t cell = 0;
    double top = 0;
    double height = 0;
    Signature signature;  // of its text
    bool dirty = false;   // to be laid out again
};

struct LayoutManager::TableGeometry {
    double padding = 0;
    double columnWidth = 0;
};

struct LayoutManager::Block {
    Range range;
    const TextTable* table = nullptr;
    std::vector<Paragraph> paragraphs;
    std::vector<Line> lines;
    // How far behind `range` its paragraphs' and lines' places are: an edit above
    // moves a block at once but them only when the block is next used, so that a
    // keystroke does not touch every line below it.
    int lag = 0;
    Block& caughtUp()
    {
        if (lag != 0) {
            for (auto& p : paragraphs) {
                p.range.location += lag;
                p.content.location += lag;
            }
            for (auto& l : lines)
                l.glyphs.location += lag;
            lag = 0;
        }
        return *this;
    }
    // A long paragraph's parts, in order (none for any other block).
    std::vector<Part> parts;
    bool rightToLeft = false;  // of a paragraph laid out in parts
    double partsBottom = 0;    // below the last part's lines
    // What of a long paragraph's content had attributes changed since its parts were
    // compared with their signatures, from its content's start (from > to: nothing).
    int checkFrom = 1, checkTo = 0;
    struct Cell {
        QRectF rect;  // relative to the block's top
        std::shared_ptr<const TextBlock> block;
    };
    std::vector<Cell> cells;
    // A table's rows while its paragraphs run row by row (else none), and each paragraph's cell.
    std::vector<TableRow> rows;
    std::vector<const TextTableBlock*> cellOf;
    // Whether only the rows marked wait to be laid out again.
    bool rowsOnly = false;
    // Whether its rows' lines wait to be fitted to a new width (see refitTable()).
    bool refit = false;
    // While its signature waits for a check: the text whose attributes changed, from
    // the block's start (none: all of it).
    std::optional<std::pair<int, int>> rowCheck;
    Signature signature;
    std::vector<ParagraphStylePtr> styles;  // shared with the storage's runs
    double height = 0;  // laid out, or estimated while not laid out
    // What the estimate of its height is made of, read once from its attributes.
    struct Metrics {
        double lineHeight = 0;
        double charWidth = 0;
        double paragraphSpacing = 0;
        double indent = 0;
    } metrics;
    bool laidOut = false;
    bool checkSignature = true;
    // Whether its paragraphs hold their QTextLayouts: a laid-out block off screen
    // lets them go and keeps its lines and height, and lays out again when used.
    bool holdsLayouts = false;
    mutable uint64_t usedAt = 0;  // when a query or a drawing last needed it (never, for idle layout)
    // The drawing of its lines, one entry a line (null until drawn), and when it was last drawn.
    mutable std::vector<std::unique_ptr<LinePaint>> paints;
    mutable size_t paintBytes = 0;
    mutable uint64_t paintedAt = 0;
    void forgetPaint() const
    {
        paints.clear();
        paintBytes = 0;
    }
    // Of the lines from `from` up to `to`.
    void forgetPaint(size_t from, size_t to) const
    {
        for (size_t i = from; i < std::min(to, paints.size()); ++i)
            if (paints[i]) {
                paintBytes -= paints[i]->bytes;
                paints[i].reset();
            }
    }
};

LayoutManager::LayoutManager(TextStorage* storage)
{
    setTextStorage(storage);
}

LayoutManager::~LayoutManager()
{
    if (storage_)
        storage_->removeObserver(observer_);
}

void LayoutManager::setTextStorage(TextStorage* storage)
{
    if (storage_)
        storage_->removeObserver(observer_);
    storage_ = storage;
    blocks_.clear();
    heldCharacters_ = 0;
    hasDirty_ = true;
    dirty_ = {0, storage ? storage->length() : 0};
    positionsValid_ = false;
    firstPending_ = 0;
    if (storage_)
        observer_ = storage_->addObserver([this](const TextStorage::Edit& e) { storageEdited(e); });
    if (storage_)
        rebuildBlocks({0, storage_->length()}, 0);
}

void LayoutManager::setLaysOutLazily(bool lazy)
{
    if (lazy_ && !lazy) {
        // An eager manager answers from what it holds: blocks that let their layouts go lay out again.
        for (size_t i = 0; i < blocks_.size(); ++i)
            if (blocks_[i]->laidOut && !blocks_[i]->holdsLayouts && blocks_[i]->parts.empty()) {
                blocks_[i]->laidOut = false;
                blocks_[i]->rowsOnly = false;
                invalidateFrom(i);
            }
    }
    lazy_ = lazy;
}

void LayoutManager::setTextContainer(const TextContainer& container)
{
    const bool widthChanged = container.width != container_.width
        || container.lineFragmentPadding != container_.lineFragmentPadding;
    container_ = container;
    if (widthChanged) {
        for (auto& b : blocks_) {
            b->refit = (b->refit || b->laidOut) && !b->rowsOnly && !b->rows.empty();
            b->laidOut = false;
            b->rowsOnly = false;
            dropParts(*b);
        }
        estimateHeights(0, blocks_.size(), false);
        firstPending_ = 0;
    }
}

QColor LayoutManager::resolve(const Color& color) const
{
    return color.toQColor(appearance);
}

void LayoutManager::storageEdited(const TextStorage::Edit& edit)
{
    letGoOfRestored();
    if (edit.charactersChanged) {
        rebuildBlocks(edit.range, edit.delta);
        return;
    }
    // Attribute changes: the touched blocks compare their layout signature lazily.
    const size_t first = blockIndexAt(edit.range.location);
    size_t last = first;
    for (size_t i = first; i < blocks_.size(); ++i) {
        if (blocks_[i]->range.location > edit.range.end())
            break;
        Block& b = blocks_[i]->caughtUp();
        if (!b.rows.empty()) {
            // A table compares only the rows the change meets.
            const int from = std::max(edit.range.location - b.range.location, 0);
            const int to = std::max(edit.range.end() - b.range.location, from);
            if (!b.checkSignature)
                b.rowCheck = std::pair{from, to};
            else if (b.rowCheck)
                b.rowCheck = std::pair{std::min(b.rowCheck->first, from), std::max(b.rowCheck->second, to)};
        }
        b.checkSignature = true;
        last = i + 1;
        if (b.parts.empty()) {
            b.forgetPaint();  // its colours may have changed
            continue;
        }
        // A long paragraph compares only the parts the change meets, and draws anew only its lines.
        const Range content = b.paragraphs[0].content;
        const Range touched = intersection(edit.range, Range{content.location, content.length + 1});
        const int from = std::clamp(touched.location - content.location, 0, content.length);
        const int to = std::clamp(touched.end() - content.location, from, content.length);
        b.checkFrom = b.checkFrom <= b.checkTo ? std::min(b.checkFrom, from) : from;
        b.checkTo = std::max(b.checkTo, to);
        auto line = std::upper_bound(b.lines.begin(), b.lines.end(), edit.range.location,
                                     [](int at, const Line& l) { return at < l.glyphs.location; });
        const size_t firstLine = line == b.lines.begin() ? 0 : size_t(line - b.lines.begin()) - 1;
        size_t lastLine = firstLine;
        while (lastLine < b.lines.size() && b.lines[lastLine].glyphs.location <= edit.range.end())
            ++lastLine;
        b.forgetPaint(firstLine, lastLine);
    }
    invalidateFrom(first);
    // Estimates follow the new fonts; laid-out blocks keep their height until checked.
    estimateHeights(first, last, true);
    // A paragraph style change can turn paragraphs into table cells or back.
    if (edit.range.length > 0 && tablesChanged(edit.range))
        rebuildBlocks(edit.range, 0, false);
}

// Follows a table's cells paragraph by paragraph to tell where a long one is cut into blocks.
struct LayoutManager::TableRun {
    const TextTableBlock* previous = nullptr;
    int rows = 0;          // in the block so far
    bool inOrder = false;  // whether the table's cells so far run row by row, each one row high
    // Takes the next paragraph's cell (null outside a table) and whether it belongs to
    // the table of the paragraph before; true when the paragraph starts a block.
    bool next(const TextTableBlock* cell, bool sameTable, int rowsPerBlock)
    {
        if (!sameTable) {
            inOrder = cell && cell->rowSpan() == 1;
            rows = 1;
            previous = cell;
            return true;
        }
        const bool newRow = cell->startingRow() != previous->startingRow();
        inOrder = inOrder && cell->rowSpan() == 1
            && (cell->startingRow() > previous->startingRow()
                || (!newRow && cell->startingColumn() >= previous->startingColumn()));
        previous = cell;
        if (inOrder && newRow && rowsPerBlock > 0 && rows >= rowsPerBlock) {
            rows = 1;
            return true;
        }
        rows += newRow;
        return false;
    }
};

std::vector<int> LayoutManager::blockStarts() const
{
    std::vector<int> out;
    out.reserve(blocks_.size());
    for (const auto& b : blocks_)
        out.push_back(b->range.location);
    return out;
}

bool LayoutManager::tablesChanged(Range range) const
{
    // The blocks stay as they are while every paragraph keeps the table it had:
    // paragraphs are grouped by table alone, and attributes move no paragraph end.
    if (blocks_.empty() || !storage_)
        return true;
    for (size_t i = blockIndexAt(range.location); i < blocks_.size(); ++i) {
        const Block& b = blocks_[i]->caughtUp();
        if (b.range.location > range.end())
            break;
        // Only the paragraphs the change meets can have a new style.
        auto p = std::partition_point(b.paragraphs.begin(), b.paragraphs.end(),
                                      [&](const Paragraph& q) { return q.range.end() < range.location; });
        for (; p != b.paragraphs.end() && p->range.location <= range.end(); ++p) {
            const TextTableBlock* cell = cellAt(p->range.location);
            if ((cell ? cell->table().get() : nullptr) != b.table)
                return true;
        }
        if (b.table && !tableBlockHolds(i))
            return true;
    }
    return false;
}

const TextTableBlock* LayoutManager::cellAt(int character) const
{
    const ParagraphStyle* style = character < storage_->length() ? storage_->paragraphStyle(character) : nullptr;
    return style ? style->tableBlock() : nullptr;
}

bool LayoutManager::tableBlockHolds(size_t index) const
{
    const Block& b = blocks_[index]->caughtUp();
    const bool hasPrevious = index > 0 && blocks_[index - 1]->table == b.table;
    const bool hasNext = index + 1 < blocks_.size() && blocks_[index + 1]->table == b.table;
    if (!hasPrevious && !hasNext)
        return true;  // a table in one block: nothing of it is cut
    // Counted again as a whole layout counts them: the block starts where it is cut,
    // holds no cut, and the next block of its table starts at one.
    TableRun run;
    if (hasPrevious) {
        run.previous = cellAt(blocks_[index - 1]->caughtUp().paragraphs.back().range.location);
        if (!run.previous || run.previous->table().get() != b.table)
            return false;
        run.inOrder = true;
        run.rows = tableBlockRows;
    }
    auto cuts = [&](const Paragraph& p, bool first) {
        const TextTableBlock* cell = cellAt(p.range.location);
        const bool same = (!first || hasPrevious) && cell && cell->table().get() == b.table;
        return run.next(cell, same, tableBlockRows);
    };
    for (size_t k = 0; k < b.paragraphs.size(); ++k)
        if (cuts(b.paragraphs[k], k == 0) != (k == 0))
            return false;
    return !hasNext || cuts(blocks_[index + 1]->caughtUp().paragraphs.front(), false);
}

// Moves a line's boxes down the block (up, for a negative `dy`).
static void moveDown(LayoutManager::Line& l, double dy)
{
    l.fragment.translate(0, dy);
    l.textTop += dy;
    l.bandTop += dy;
    l.bandBottom += dy;
}

void LayoutManager::shiftBlock(Block& b, int delta)
{
    if (delta == 0)
        return;
    b.range.location += delta;
    b.lag += delta;
}

size_t LayoutManager::blockIndexAt(int character) const
{
    if (blocks_.empty())
        return 0;
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), character,
                               [](int c, const std::unique_ptr<Block>& b) { return c < b->range.location; });
    return it == blocks_.begin() ? 0 : size_t(it - blocks_.begin()) - 1;
}

void LayoutManager::rebuildBlocks(Range region, int delta, bool charactersChanged)
{
    if (!storage_) {
        positionsValid_ = false;
        blocks_.clear();
        heldCharacters_ = 0;
        return;
    }
    const U16View text = storage_->string();
    const int n = int(text.size());
    auto tableOf = [&](int at) -> const TextTable* {
        const TextTableBlock* cell = cellAt(at);
        return cell ? cell->table().get() : nullptr;
    };

    if (charactersChanged && !blocks_.empty() && editTableCell(blockIndexAt(region.location), region, delta))
        return;

    // An edit inside the text of a paragraph laid out in parts that adds no
    // paragraph end leaves every block as it was but that one, which keeps the
    // parts the edit does not touch.
    if (charactersChanged && !blocks_.empty()) {
        const size_t i = blockIndexAt(region.location);
        Block& b = blocks_[i]->caughtUp();
        const Range content = b.parts.empty() ? Range{} : b.paragraphs[0].content;
        const U16View inserted = substring(text, glyphRange(region));
        if (!b.parts.empty() && region.location >= content.location && region.end() - delta <= content.end()
            && (content.length + delta) / 2 > partLength && !tableOf(b.range.location)
            && std::none_of(inserted.begin(), inserted.end(), isParagraphTerminator)) {
            editParts(b, region.location, region.end() - delta, delta);
            for (size_t k = i + 1; k < blocks_.size(); ++k)
                shiftBlock(*blocks_[k], delta);
            invalidateFrom(i);
            return;
        }
    }

    // Old blocks touched by the edit, in old coordinates; neighbours are included
    // because a changed terminator can join or split paragraphs and tables.
    // An edit inside one paragraph's text that makes no paragraph end and keeps the
    // one it had touches that paragraph alone: a table next to it stays as it was.
    size_t i0 = 0, i1 = 0;
    if (!blocks_.empty()) {
        const int oldEnd = region.end() - delta;
        const size_t at = blockIndexAt(region.location);
        const Block& b = blocks_[at]->caughtUp();
        const U16View inserted = substring(text, glyphRange(region));
        if (charactersChanged && !b.table && b.paragraphs.size() == 1 && region.location >= b.range.location
            && oldEnd <= b.paragraphs[0].content.end()
            && std::none_of(inserted.begin(), inserted.end(), isParagraphTerminator) && !tableOf(region.location)) {
            i0 = i1 = at;
        } else {
            i0 = blockIndexAt(std::max(0, region.location - 1));
            i1 = blockIndexAt(oldEnd);
            if (i1 + 1 < blocks_.size())
                ++i1;
            i1 = std::min(i1, blocks_.size() - 1);
        }
    }
    int start = blocks_.empty() ? 0 : blocks_[i0]->range.location;
    int stop = blocks_.empty() ? n : blocks_[i1]->range.end() + delta;
    stop = std::clamp(stop, start, n);

    // Keep the laid-out blocks whose paragraphs come back unchanged in range and kind.
    std::vector<std::unique_ptr<Block>> fresh;
    for (;;) {
        fresh.clear();
        const auto paragraphs = paragraphRanges(substring(text, Range::fromTo(start, stop)));
        // A long table is cut into blocks of rows from its first row, as a whole
        // layout cuts it. A region starting where an untouched block of a table was
        // cut from the one above goes on counting from that cut; otherwise it holds
        // the table from its first row.
        TableRun run;
        const TextTable* above = nullptr;
        if (i0 > 0 && i0 < blocks_.size() && blocks_[i0 - 1]->table && blocks_[i0 - 1]->table == blocks_[i0]->table) {
            run.previous = cellAt(blocks_[i0 - 1]->caughtUp().paragraphs.back().range.location);
            if (run.previous && run.previous->table().get() == blocks_[i0 - 1]->table) {
                above = blocks_[i0 - 1]->table;
                run.inOrder = true;
                run.rows = tableBlockRows;
            }
        }
        bool cutAtStart = false;
        for (const auto& p : paragraphs) {
            const Range range{p.enclosing.location + start, p.enclosing.length};
            const Range content{p.content.location + start, p.content.length};
            const TextTableBlock* cell = cellAt(range.location);
            const TextTable* table = cell ? cell->table().get() : nullptr;
            if (fresh.empty() && table && table == above) {
                cutAtStart = run.next(cell, true, tableBlockRows);
                auto b = std::make_unique<Block>();
                b->range = range;
                b->table = table;
                b->paragraphs.push_back({range, content, nullptr});
                fresh.push_back(std::move(b));
                continue;
            }
            const bool sameTable = table && !fresh.empty() && fresh.back()->table == table;
            if (!run.next(cell, sameTable, tableBlockRows)) {
                Block& b = *fresh.back();
                b.range.length = range.end() - b.range.location;
                b.paragraphs.push_back({range, content, nullptr});
                continue;
            }
            auto b = std::make_unique<Block>();
            b->range = range;
            b->table = table;
            b->paragraphs.push_back({range, content, nullptr});
            fresh.push_back(std::move(b));
        }
        // A table that continues into an untouched neighbour joins the region, unless
        // the region meets it where a whole layout cuts it into blocks anyway.
        bool extended = false;
        if (!fresh.empty() && fresh.front()->table && i0 > 0 && blocks_[i0 - 1]->table == fresh.front()->table
            && !cutAtStart) {
            --i0;
            start = blocks_[i0]->range.location;
            extended = true;
        }
        auto cutAtStop = [&] {
            TableRun next = run;
            const TextTableBlock* cell = cellAt(stop);
            return stop < n && cell && cell->table().get() == fresh.back()->table
                && next.next(cell, true, tableBlockRows);
        };
        if (!fresh.empty() && fresh.back()->table && i1 + 1 < blocks_.size()
            && blocks_[i1 + 1]->table == fresh.back()->table && !cutAtStop()) {
            ++i1;
            stop = blocks_[i1]->range.end() + delta;
            extended = true;
        }
        if (!extended)
            break;
    }

    // Blocks outside the edit whose range and kind come back unchanged keep their layout.
    if (!blocks_.empty()) {
        for (size_t i = i0; i <= i1; ++i)
            heldCharacters_ -= heldBy(*blocks_[i]);
        const int oldEnd = region.end() - delta;
        std::map<std::pair<int, int>, std::unique_ptr<Block>> reusable;
        for (size_t i = i0; i <= i1; ++i) {
            auto& old = blocks_[i];
            if (!old->laidOut && old->parts.empty())
                continue;
            int shift = 0;
            if (!charactersChanged || old->range.end() <= region.location)
                shift = 0;
            else if (old->range.location >= oldEnd)
                shift = delta;
            else
                continue;
            // The text's first paragraph has no space above it: one that comes to or leaves the start is laid out anew.
            if (shift != 0 && (old->range.location == 0) != (old->range.location + shift == 0))
                continue;
            const std::pair<int, int> key{old->range.location + shift, old->range.length};
            shiftBlock(*old, shift);
            reusable[key] = std::move(old);
        }
        for (auto& b : fresh) {
            auto it = reusable.find({b->range.location, b->range.length});
            if (it == reusable.end() || it->second->table != b->table
                || it->second->paragraphs.size() != b->paragraphs.size())
                continue;
            b = std::move(it->second);
            b->checkSignature = true;
            b->rowCheck.reset();
            heldCharacters_ += heldBy(*b);
            reusable.erase(it);
        }
        // A long paragraph ending where one did (the second half of a split, or the
        // paragraph a join ends in) keeps that one's parts whose text lies after the
        // edit: the lines before them are laid out anew until they meet their starts.
        struct Tail {
            std::vector<Part> parts;  // placed in the new paragraph, lines counted from 0
            std::vector<Line> lines;
            double bottom = 0;
            std::vector<ParagraphStylePtr> styles;
            bool rightToLeft = false;
            bool check = false;  // attributes changed in it since compared
        };
        std::map<const Block*, Tail> tails;
        for (auto& b : fresh) {
            if (b->laidOut || !b->parts.empty() || !laysOutInParts(*b))
                continue;
            const Range content = b->paragraphs[0].content;
            auto take = [&](Block& old, int shift) {
                const int oldContent = old.paragraphs[0].content.location + shift;
                size_t from = 0;
                while (from < old.parts.size() && oldContent + old.parts[from].start <= std::max(region.end(), content.location))
                    ++from;
                if (from >= old.parts.size())
                    return;
                Tail& tail = tails[b.get()];
                tail.check = old.checkFrom <= old.checkTo && old.checkTo >= old.parts[from].start;
                const size_t firstLine = old.parts[from].firstLine;
                for (size_t k = firstLine; k < old.lines.size(); ++k) {
                    Line l = old.lines[k];
                    l.glyphs.location += shift;
                    tail.lines.push_back(l);
                }
                for (size_t k = from; k < old.parts.size(); ++k) {
                    Part& part = tail.parts.emplace_back(std::move(old.parts[k]));
                    part.start += oldContent - content.location;
                    part.end += oldContent - content.location;
                    part.textEnd += oldContent - content.location;
                    part.firstLine -= firstLine;
                }
                tail.bottom = old.partsBottom;
                tail.styles = old.styles;
                tail.rightToLeft = old.rightToLeft;
                old.partsBottom = old.parts[from].top;
                old.parts.resize(from);
                old.lines.resize(firstLine);
            };
            for (size_t i = i0; i <= i1; ++i) {
                Block* old = blocks_[i].get();
                if (old && !old->parts.empty() && old->caughtUp().paragraphs[0].content.end() + delta == content.end()
                    && old->paragraphs[0].content.end() >= region.end() - delta) {
                    take(*old, delta);
                    break;
                }
            }
            if (tails.count(b.get()))
                continue;
            for (auto& [key, old] : reusable)
                if (!old->parts.empty() && old->caughtUp().paragraphs[0].content.end() == content.end()) {
                    take(*old, 0);
                    break;
                }
        }
        // A long paragraph that the edit splits or joins to another keeps, for the
        // paragraph starting where it did, the parts whose text lies before the edit.
        for (auto& b : fresh) {
            if (b->laidOut || !b->parts.empty() || !laysOutInParts(*b))
                continue;
            for (size_t i = i0; i <= i1; ++i) {
                Block* old = blocks_[i].get();
                if (!old || old->parts.empty() || old->range.location != b->range.location)
                    continue;
                old->caughtUp();
                // (A part reaching its paragraph's end holds no text past its lines, which the join may change.)
                const int before = region.location - old->paragraphs[0].content.location;
                const int end = old->paragraphs[0].content.length;
                size_t kept = 0;
                while (kept < old->parts.size() && old->parts[kept].textEnd <= before && old->parts[kept].textEnd < end)
                    ++kept;
                if (kept == 0)
                    break;
                measureForEstimate(*b);
                b->height = estimatedHeight(*b);
                b->partsBottom = kept < old->parts.size() ? old->parts[kept].top : old->partsBottom;
                old->lines.resize(kept < old->parts.size() ? old->parts[kept].firstLine : old->lines.size());
                old->parts.resize(kept);
                b->parts = std::move(old->parts);
                b->lines = std::move(old->lines);
                b->styles = old->styles;
                b->rightToLeft = old->rightToLeft;
                b->checkFrom = old->checkFrom;
                b->checkTo = std::min(old->checkTo, before);
                heldCharacters_ += heldBy(*b);
                break;
            }
        }
        for (auto& b : fresh) {
            const auto found = tails.find(b.get());
            if (found == tails.end())
                continue;
            Tail& tail = found->second;
            if (b->parts.empty()) {
                measureForEstimate(*b);
                b->height = estimatedHeight(*b);
                b->styles = tail.styles;
                b->rightToLeft = tail.rightToLeft;
                b->partsBottom = 0;
            } else if (b->styles.size() != 1 || tail.styles.size() != 1 || b->rightToLeft != tail.rightToLeft
                       || styleChange(*tail.styles[0], *b->styles[0]) == StyleChange::All) {
                continue;
            } else if (tail.styles[0]->paragraphSpacing != b->styles[0]->paragraphSpacing
                       && tail.parts.back().end >= b->paragraphs[0].content.length) {
                // Laid out with another style's spacing after its last line (the lines before are the same).
                tail.parts.back().dirty = true;
            }
            // A part to lay out anew from where the kept ones before end up to the first one kept after.
            Part gap;
            gap.start = gap.end = gap.textEnd = b->parts.empty() ? 0 : b->parts.back().end;
            gap.firstLine = b->lines.size();
            gap.top = b->partsBottom;
            gap.dirty = true;
            if (tail.check) {
                b->checkFrom = b->checkFrom <= b->checkTo ? std::min(b->checkFrom, tail.parts.front().start)
                                                          : tail.parts.front().start;
                b->checkTo = b->paragraphs[0].content.length;
            }
            // The kept lines wait right under the gap, in order, for it to be laid out.
            const double dy = gap.top - tail.parts.front().top;
            for (size_t k = 0; k < tail.parts.size(); ++k) {
                Part& part = tail.parts[k];
                part.top += dy;
                const size_t stop = k + 1 < tail.parts.size() ? tail.parts[k + 1].firstLine : tail.lines.size();
                for (size_t i = part.firstLine; i < stop; ++i) {
                    Line& l = tail.lines[i];
                    moveDown(l, dy);
                    l.qtY += dy;
                    if (part.layout) {
                        QTextLine line = part.layout->lineAt(l.qtLine);
                        line.setPosition(QPointF(line.position().x(), l.qtY));
                    }
                }
            }
            const size_t base = b->lines.size();
            b->parts.push_back(std::move(gap));
            b->lines.insert(b->lines.end(), tail.lines.begin(), tail.lines.end());
            for (Part& part : tail.parts) {
                part.firstLine += base;
                heldCharacters_ += part.held;
                b->parts.push_back(std::move(part));
            }
            b->partsBottom = tail.bottom + dy;
        }
    }

    for (auto& b : fresh)
        if (!b->laidOut && b->parts.empty()) {
            measureForEstimate(*b);
            b->height = estimatedHeight(*b);
        }
    const size_t oldCount = blocks_.size();
    const size_t freshCount = fresh.size();
    if (blocks_.empty()) {
        blocks_ = std::move(fresh);
        i0 = 0;
    } else {
        for (size_t i = i1 + 1; i < blocks_.size(); ++i)
            shiftBlock(*blocks_[i], delta);
        blocks_.erase(blocks_.begin() + long(i0), blocks_.begin() + long(i1) + 1);
        blocks_.insert(blocks_.begin() + long(i0), std::make_move_iterator(fresh.begin()),
                       std::make_move_iterator(fresh.end()));
    }
    invalidateFrom(i0);
    // The same number of blocks: only the replaced ones' heights change in the tree.
    if (positionsValid_ && oldCount != 0 && blocks_.size() == oldCount) {
        for (size_t i = i0; i < i0 + freshCount; ++i)
            setHeight(i, blocks_[i]->height);
    } else {
        positionsValid_ = false;
    }
}

void LayoutManager::invalidateLayout(Range characters)
{
    rebuildBlocks(characters, 0, true);
}

bool LayoutManager::needsLayout(const Block& b) const
{
    return !b.laidOut || b.checkSignature;
}

void LayoutManager::updateBlock(size_t index, bool idle)
{
    updateBlock(index, idle, Reach{});
}

void LayoutManager::updateBlock(size_t index, bool idle, const Reach& reach)
{
    Block& b = blocks_[index]->caughtUp();
    if (!idle)
        b.usedAt = paintSerial_;
    if (b.checkSignature && !b.parts.empty()) {
        // A long paragraph compares the parts whose attributes changed (pending parts too:
        // an edit can wait for its layout while a restyle goes on).
        if (!takeStyle(b, paragraphStyles(b)))
            b.laidOut = false;
        const int content = b.paragraphs[0].content.location;
        for (Part& part : b.parts)
            if (!part.dirty && part.start <= b.checkTo && part.textEnd >= b.checkFrom
                && !signatureMatches(*storage_, {content + part.start, part.textEnd - part.start}, part.signature)) {
                part.dirty = true;
                b.laidOut = false;
            }
        b.checkFrom = 1;
        b.checkTo = 0;
        b.checkSignature = false;
    }
    if (b.checkSignature && !b.rows.empty() && (b.laidOut || b.rowsOnly))
        checkTableRows(b);
    if (b.laidOut && b.checkSignature) {
        // Only fonts, kerns, baseline offsets and paragraph styles change the layout;
        // colours and marks are drawn from the storage as it is.
        // Compared in place: this runs over every paragraph after every restyle.
        bool same = signatureMatches(*storage_, b.range, b.signature);
        for (size_t i = 0; same && i < b.paragraphs.size(); ++i) {
            const ParagraphStyle* s = storage_->paragraphStyle(b.paragraphs[i].range.location);
            same = (s ? *s : *ParagraphStyle::defaultStyle()) == *b.styles[i];
        }
        if (!same)
            b.laidOut = false;
        b.checkSignature = false;
    }
    if (!b.laidOut) {
        layoutBlock(b, reach);
        ++lastRelayoutCount_;
        setHeight(index, b.height);
    } else if (!b.holdsLayouts && b.parts.empty() && !idle) {
        layoutBlock(b, reach);  // the same lines and height as before it let its layouts go
        setHeight(index, b.height);
    }
}

void LayoutManager::advancePending()
{
    while (firstPending_ < blocks_.size() && !needsLayout(*blocks_[firstPending_]))
        ++firstPending_;
}

void LayoutManager::ensureLayout()
{
    lastRelayoutCount_ = 0;
    if (!storage_)
        return;
    for (; firstPending_ < blocks_.size(); ++firstPending_)
        updateBlock(firstPending_);
    position();
}

void LayoutManager::ensureLayout(Range glyphs)
{
    if (!lazy_) {
        ensureLayout();
        return;
    }
    if (!storage_ || blocks_.empty())
        return;
    glyphs = glyphRange(glyphs);
    const int last = std::max(glyphs.location, glyphs.end() - 1);
    Reach reach;
    reach.character = last;
    reach.y = -HUGE_VAL;
    for (size_t i = blockIndexAt(glyphs.location); i < blocks_.size(); ++i) {
        if (i > 0 && blocks_[i]->range.location > last)
            break;
        updateBlock(i, false, reach);
    }
    advancePending();
}

void LayoutManager::ensureLayout(const QRectF& rect)
{
    if (!lazy_) {
        ensureLayout();
        return;
    }
    if (!storage_ || blocks_.empty())
        return;
    // Top down: each block is laid out where the ones above it (now laid out) put it.
    size_t i = std::min(blocksEndingBefore(rect.top(), false), blocks_.size() - 1);
    double y = topOf(i);
    for (; i < blocks_.size() && y <= rect.bottom(); ++i) {
        Reach reach;
        reach.character = INT_MIN;
        reach.y = rect.bottom() + kInkMargin - y;
        updateBlock(i, false, reach);
        y += blocks_[i]->height;
    }
    advancePending();
}

bool LayoutManager::layoutSome(double budgetMilliseconds, int limit)
{
    if (!storage_)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const auto budget = std::chrono::duration<double, std::milli>(budgetMilliseconds);
    advancePending();
    Reach reach;
    reach.deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(budget);
    auto before = [&] { return firstPending_ < blocks_.size() && blocks_[firstPending_]->range.location < limit; };
    while (before()) {
        updateBlock(firstPending_, true, reach);
        advancePending();
        if (std::chrono::steady_clock::now() - start >= budget)
            break;
    }
    // Where it stops, it leaves no more than the budget held.
    const bool more = before();
    trimLayouts(!more);
    return more;
}

bool LayoutManager::isLayoutComplete()
{
    advancePending();
    return firstPending_ >= blocks_.size();
}

void LayoutManager::measureForEstimate(Block& b) const
{
    // Lines of average-width characters at the first character's font; near
    // enough for a scroll bar, and corrected as soon as the block is laid out.
    const bool inside = b.range.location < storage_->length();
    const Attributes* a = inside ? &storage_->attributes(b.range.location) : nullptr;
    const Font* f = a ? a->font() : nullptr;
    const Font& font = f ? *f : defaultFont();
    const ParagraphStyle* s = a ? a->paragraphStyle() : nullptr;
    const ParagraphStyle& style = s ? *s : *ParagraphStyle::defaultStyle();
    const double multiple = style.lineHeightMultiple > 0 ? style.lineHeightMultiple : 1;
    b.metrics.lineHeight = std::max(style.minimumLineHeight, font.lineHeight() * multiple) + style.lineSpacing;
    b.metrics.charWidth = std::max(1.0, font.pointSize * 0.5);
    b.metrics.paragraphSpacing = style.paragraphSpacing + (b.range.location > 0 ? style.paragraphSpacingBefore : 0);
    b.metrics.indent = style.headIndent;
}

double LayoutManager::estimatedHeight(const Block& b) const
{
    const int columns = b.table ? std::max(1, b.table->numberOfColumns) : 1;
    const double width = std::max(1.0, container_.width - 2 * container_.lineFragmentPadding - b.metrics.indent) / columns;
    double height = 0;
    for (const auto& p : b.paragraphs) {
        const double lines = std::max(1.0, std::ceil(p.content.length * b.metrics.charWidth / width));
        height += lines * b.metrics.lineHeight + b.metrics.paragraphSpacing;
    }
    return height / columns;
}

void LayoutManager::estimateHeights(size_t from, size_t to, bool measure)
{
    to = std::min(to, blocks_.size());
    // A few (a restyled stretch) move the tree in logarithmic time each; many at
    // once (a new width, a restyle of everything) build it anew when next asked.
    const bool few = positionsValid_ && tree_.size() == blocks_.size() && (to - std::min(from, to)) * 64 < blocks_.size();
    bool changed = false;
    for (size_t i = from; i < to; ++i) {
        Block& b = *blocks_[i];
        if (b.laidOut || !b.parts.empty() || b.rowsOnly)
            continue;  // laid out, or parts or rows waiting to be laid out again: its height holds till then
        if (measure)
            measureForEstimate(b);
        const double h = estimatedHeight(b);
        if (h == b.height)
            continue;
        b.height = h;
        if (few)
            setHeight(i, h);
        else
            changed = true;
    }
    if (changed)
        positionsValid_ = false;
}

// The Fenwick tree: tree_[k - 1] holds the sum of the heights of blocks (k - lowbit(k), k].
void LayoutManager::position()
{
    if (positionsValid_ && tree_.size() == blocks_.size())
        return;
    const size_t n = blocks_.size();
    tree_.assign(n, 0);
    for (size_t k = 1; k <= n; ++k) {
        tree_[k - 1] += blocks_[k - 1]->height;
        const size_t parent = k + (k & (~k + 1));
        if (parent <= n)
            tree_[parent - 1] += tree_[k - 1];
    }
    heights_.resize(n);
    for (size_t i = 0; i < n; ++i)
        heights_[i] = blocks_[i]->height;
    positionsValid_ = true;
}

void LayoutManager::setHeight(size_t index, double height)
{
    if (!positionsValid_ || tree_.size() != blocks_.size())
        return;  // built anew when next asked
    if (height == heights_[index])
        return;
    heights_[index] = height;
    // Each sum on the way up is made again from its parts in the order position()
    // adds them, not moved by the difference: a top is then the same to the bit
    // as after a whole layout, and no line's glyphs land a sub-pixel step away.
    for (size_t k = index + 1; k <= tree_.size(); k += k & (~k + 1)) {
        const size_t low = k & (~k + 1);
        double sum = 0;
        for (size_t step = low / 2; step > 0; step /= 2)
            sum += tree_[k - step - 1];
        tree_[k - 1] = sum + heights_[k - 1];
    }
}

double LayoutManager::topOf(size_t index)
{
    position();
    double sum = 0;
    for (size_t k = std::min(index, tree_.size()); k > 0; k -= k & (~k + 1))
        sum += tree_[k - 1];
    return sum;
}

double LayoutManager::totalHeight()
{
    return topOf(blocks_.size());
}

size_t LayoutManager::blocksEndingBefore(double y, bool orAt)
{
    position();
    const size_t n = tree_.size();
    // Descends the tree for the longest run of blocks from the first whose bottom lies above y.
    size_t at = 0;
    double sum = 0;
    size_t step = 1;
    while (step * 2 <= n)
        step *= 2;
    for (; n > 0 && step > 0; step /= 2) {
        const size_t next = at + step;
        if (next <= n && (orAt ? sum + tree_[next - 1] <= y : sum + tree_[next - 1] < y)) {
            at = next;
            sum += tree_[next - 1];
        }
    }
    return at;
}

size_t LayoutManager::blockAtY(double y)
{
    return blocks_.empty() ? 0 : std::min(blocksEndingBefore(y, true), blocks_.size() - 1);
}

double LayoutManager::usedHeight()
{
    if (!lazy_)
        ensureLayout();
    double height = blocks_.empty() ? 0 : totalHeight();
    const QRectF extra = extraLineFragmentRect();
    if (!extra.isNull())
        height = extra.bottom();
    return height;
}

LayoutManager::Anchor LayoutManager::anchorAt(double y)
{
    if (blocks_.empty())
        return {0, y};
    const size_t i = blockAtY(y);
    return {blocks_[i]->range.location, y - topOf(i)};
}

double LayoutManager::anchorY(const Anchor& anchor)
{
    if (blocks_.empty())
        return anchor.offset;
    return topOf(blockIndexAt(anchor.character)) + anchor.offset;
}

void LayoutManager::prepare(Range glyphs)
{
    if (lazy_)
        ensureLayout(glyphs);
    else
        ensureLayout();
}

std::vector<ParagraphStylePtr> LayoutManager::paragraphStyles(const Block& b) const
{
    std::vector<ParagraphStylePtr> styles;
    for (const auto& p : b.paragraphs) {
        const ParagraphStylePtr* s = storage_->attributes(p.range.location).getAs<ParagraphStylePtr>(AttributeKey::ParagraphStyle);
        styles.push_back(s && *s ? *s : ParagraphStyle::defaultStyle());
    }
    return styles;
}

void LayoutManager::layoutBlock(Block& b, const Reach& reach)
{
    if (b.refit) {
        std::vector<ParagraphStylePtr> styles = paragraphStyles(b);
        if (refitTable(b, styles)) {
            measureForEstimate(b);
            b.laidOut = true;
            b.checkSignature = false;
            return;
        }
    }
    if (b.rowsOnly && b.holdsLayouts && layoutTableRows(b)) {
        b.laidOut = true;
        b.checkSignature = false;
        return;
    }
    b.rowsOnly = false;
    std::vector<ParagraphStylePtr> styles = paragraphStyles(b);
    measureForEstimate(b);  // for when a new width makes its height an estimate again
    if (laysOutInParts(b)) {
        // Its parts that did not change stay while its paragraph style breaks its lines the same.
        takeStyle(b, std::move(styles));
        b.signature.clear();
        layoutParts(b, reach);
        b.laidOut = std::none_of(b.parts.begin(), b.parts.end(), [](const Part& part) { return part.dirty; })
            && b.parts.back().end >= b.paragraphs[0].content.length;
        b.checkSignature = false;
        return;
    }
    dropParts(b);
    if (!b.holdsLayouts)
        heldCharacters_ += size_t(b.range.length);
    b.holdsLayouts = true;
    b.forgetPaint();
    b.lines.clear();
    b.cells.clear();
    b.styles = std::move(styles);
    b.rows.clear();
    b.signature.clear();
    if (b.table) {
        layoutTable(b);
    } else {
        b.signature = layoutSignature(*storage_, b.range);
        double y = 0;
        layoutParagraph(b, 0, container_.lineFragmentPadding,
                        std::max(1.0, container_.width - 2 * container_.lineFragmentPadding), y);
        b.height = y;
    }
    b.laidOut = true;
    b.checkSignature = false;
}

bool LayoutManager::laysOutInParts(const Block& b) const
{
    return !b.table && b.paragraphs.size() == 1 && partLength > 0 && b.paragraphs[0].content.length / 2 > partLength;
}

size_t LayoutManager::heldBy(const Block& b) const
{
    if (b.parts.empty())
        return b.holdsLayouts ? size_t(b.range.length) : 0;
    size_t held = 0;
    for (const Part& part : b.parts)
        held += part.held;
    return held;
}

bool LayoutManager::takeStyle(Block& b, std::vector<ParagraphStylePtr> styles)
{
    const StyleChange change = b.styles.size() != 1 || styles.size() != 1 ? StyleChange::All
                                                                           : styleChange(*b.styles[0], *styles[0]);
    b.styles = std::move(styles);
    if (change == StyleChange::None)
        return true;
    if (change == StyleChange::All || b.parts.empty()) {
        dropParts(b);
        return false;
    }
    // The lines between keep their breaks and heights: the first part and the one
    // reaching the paragraph's end lay out again, and the lines after them move.
    if (b.parts.front().start == 0)
        b.parts.front().dirty = true;
    if (b.parts.back().end >= b.paragraphs[0].content.length)
        b.parts.back().dirty = true;
    return false;
}

void LayoutManager::dropParts(Block& b)
{
    if (b.parts.empty())
        return;
    for (const Part& part : b.parts)
        heldCharacters_ -= part.held;
    b.parts.clear();
    b.checkFrom = 1;
    b.checkTo = 0;
}

void LayoutManager::layoutParts(Block& b, const Reach& reach)
{
    const Paragraph& p = b.paragraphs[0];
    const int length = p.content.length;
    const U16View text = storage_->string();
    // The parts lay out their lines in the whole paragraph's direction.
    const bool rightToLeft = QStringView(text.data() + p.content.location, length).isRightToLeft();
    if (rightToLeft != b.rightToLeft)
        dropParts(b);
    b.rightToLeft = rightToLeft;
    if (b.parts.empty()) {
        b.forgetPaint();
        b.lines.clear();
        b.partsBottom = 0;
    }
    b.holdsLayouts = false;  // its parts hold theirs
    Stretch stretch;
    stretch.x = container_.lineFragmentPadding;
    stretch.width = std::max(1.0, container_.width - 2 * container_.lineFragmentPadding);
    stretch.rightToLeft = rightToLeft;
    const int half = std::max(1, partLength / 2);
    const int reachCharacter = reach.character == INT_MAX || reach.character == INT_MIN
        ? reach.character : reach.character - p.content.location;
    bool laidSome = false;
    auto reached = [&](int at, double y) {
        return (at > reachCharacter && y > reach.y)
            || (laidSome && reach.deadline && std::chrono::steady_clock::now() >= *reach.deadline);
    };

    bool moved = false;  // whether lines after the ones laid out anew moved
    for (size_t first = 0;;) {
        // From the next part that changed (or the end of those laid out), parts are
        // laid out anew until one ends where an unchanged part starts: the lines
        // from there on are as before.
        while (first < b.parts.size() && !b.parts[first].dirty)
            ++first;
        int at = first == 0 ? 0 : b.parts[first - 1].end;
        if (first == b.parts.size() && at >= length)
            break;
        double y = first == 0 ? 0 : (first < b.parts.size() ? b.parts[first].top : b.partsBottom);
        size_t next = first;  // the first old part not passed
        std::vector<Part> parts;
        std::vector<Line> lines;
        bool stopped = false;
        while (at < length) {
            for (; next < b.parts.size() && b.parts[next].start < at; ++next)
                heldCharacters_ -= b.parts[next].held;
            if (next < b.parts.size() && b.parts[next].start == at && !b.parts[next].dirty)
                break;
            if (reached(at, y)) {
                stopped = true;
                break;
            }
            // Each part aims at an unchanged part's start not far ahead, to meet its lines again.
            int aim = std::min(length, at + partLength);
            for (size_t j = next; j < b.parts.size() && b.parts[j].start <= at + 2 * partLength; ++j)
                if (!b.parts[j].dirty && b.parts[j].start >= at + half) {
                    aim = b.parts[j].start;
                    break;
                }
            if (length - aim < half)
                aim = length;
            Part& part = parts.emplace_back();
            part.start = at;
            part.firstLine = lines.size();
            part.top = y;
            stretch.from = at;
            stretch.aim = aim;
            for (int64_t extra = kPartMargin + kLongUnbreakable;; extra *= 2) {
                stretch.to = int(std::min<int64_t>(length, aim + extra));
                double bottom = y;
                int end = at;
                part.layout = layoutLines(b, 0, stretch, lines, bottom, end);
                if (end > at) {
                    y = bottom;
                    part.end = end;
                    break;
                }
                lines.resize(part.firstLine);  // a line too long for the text after it
            }
            part.textEnd = stretch.to;
            if (keepsLayouts) {
                part.held = size_t(part.textEnd - part.start);
                heldCharacters_ += part.held;
            } else {
                part.layout.reset();
                part.held = 0;
            }
            part.signature = layoutSignature(*storage_, {p.content.location + part.start, part.textEnd - part.start});
            at = part.end;
            laidSome = true;
        }
        for (; next < b.parts.size() && b.parts[next].start < at; ++next)
            heldCharacters_ -= b.parts[next].held;

        // The new parts and lines take the place of the old ones they passed.
        const size_t lineFrom = first < b.parts.size() ? b.parts[first].firstLine : b.lines.size();
        const size_t lineTo = next < b.parts.size() ? b.parts[next].firstLine : b.lines.size();
        const double dy = next < b.parts.size() ? y - b.parts[next].top : 0;
        if (lines.size() == lineTo - lineFrom) {
            std::move(lines.begin(), lines.end(), b.lines.begin() + long(lineFrom));
            b.forgetPaint(lineFrom, lineTo);
        } else {
            b.lines.erase(b.lines.begin() + long(lineFrom), b.lines.begin() + long(lineTo));
            b.lines.insert(b.lines.begin() + long(lineFrom), lines.begin(), lines.end());
            moved = true;
        }
        for (Part& part : parts)
            part.firstLine += lineFrom;
        b.parts.erase(b.parts.begin() + long(first), b.parts.begin() + long(next));
        b.parts.insert(b.parts.begin() + long(first), std::make_move_iterator(parts.begin()), std::make_move_iterator(parts.end()));
        first += parts.size();
        const long shift = long(lineFrom + lines.size()) - long(lineTo);
        for (size_t k = first; shift != 0 && k < b.parts.size(); ++k)
            b.parts[k].firstLine = size_t(long(b.parts[k].firstLine) + shift);
        if (first == b.parts.size()) {
            b.partsBottom = y;
        } else if (stopped) {
            // The rest waits for its turn: its old lines move along with the new ones
            // above them, to stay in order, and it starts where these end.
            moved = moved || dy != 0;
            b.parts[first].dirty = true;
            if (dy != 0) {
                for (size_t k = first; k < b.parts.size(); ++k)
                    b.parts[k].top += dy;
                for (size_t k = lineFrom + lines.size(); k < b.lines.size(); ++k)
                    moveDown(b.lines[k], dy);
            }
            b.parts[first].top = y;
            b.partsBottom += dy;
        } else if (dy != 0) {
            // The lines after take their new places in the sums laying them out makes,
            // to the same bits (their layouts too), as if laid out anew with the rest.
            moved = true;
            const ParagraphStyle& style = *b.styles[0];
            for (size_t k = first; k < b.parts.size(); ++k) {
                Part& part = b.parts[k];
                part.top = y;
                const size_t stop = k + 1 < b.parts.size() ? b.parts[k + 1].firstLine : b.lines.size();
                for (size_t i = part.firstLine; i < stop; ++i) {
                    Line& l = b.lines[i];
                    l.fragment.moveTop(y);
                    l.textTop = y;
                    l.bandTop = l.fragment.top();
                    l.bandBottom = l.fragment.bottom();
                    if (part.layout) {
                        QTextLine line = part.layout->lineAt(l.qtLine);
                        line.setPosition(QPointF(line.position().x(), y + l.baseline - line.ascent()));
                        l.qtY = y + l.baseline - line.ascent();
                    }
                    const bool last = i + 1 == b.lines.size() && part.end >= length;
                    y = y + l.textHeight + (style.lineSpacing + (last ? style.paragraphSpacing : 0));
                }
            }
            b.partsBottom = y;
        }
        if (stopped)
            break;
    }
    if (moved)
        b.forgetPaint();
    // What is not laid out yet keeps the height per character of what is.
    const int covered = b.parts.empty() ? 0 : b.parts.back().end;
    b.height = covered >= length ? b.partsBottom
                                 : b.partsBottom + (length - covered) * (b.partsBottom / std::max(1, covered));
}

void LayoutManager::editParts(Block& b, int editStart, int oldEditEnd, int delta)
{
    Paragraph& p = b.paragraphs[0];
    const int c = p.content.location;
    const int e = editStart - c, oe = oldEditEnd - c;
    // Where a place ends up: before the edit it stays, after it it moves, inside it it goes to the edit's start.
    auto moved = [&](int at) { return at < e ? at : (at >= oe ? at + delta : e); };
    for (size_t k = 0; k < b.parts.size(); ++k) {
        Part& part = b.parts[k];
        if (part.start > oe || part.textEnd < e)
            continue;
        part.dirty = true;
        // The first word of a part's first line may now fit on the line before it, the previous part's last.
        if (k > 0 && part.start <= e && e <= b.lines[part.firstLine].glyphs.end() - c)
            b.parts[k - 1].dirty = true;
    }
    for (Part& part : b.parts) {
        part.start = moved(part.start);
        part.end = moved(part.end);
        part.textEnd = moved(part.textEnd);
    }
    auto line = std::lower_bound(b.lines.begin(), b.lines.end(), c + e,
                                 [](const Line& l, int at) { return l.glyphs.location < at; });
    for (; line != b.lines.end(); ++line)
        line->glyphs.location = c + moved(line->glyphs.location - c);
    if (b.checkFrom <= b.checkTo) {
        b.checkFrom = moved(b.checkFrom);
        b.checkTo = moved(b.checkTo);
    }
    b.range.length += delta;
    p.range.length += delta;
    p.content.length += delta;
    b.laidOut = false;
}

void LayoutManager::restorePart(const Block& b, size_t index)
{
    const Part& part = b.parts[index];
    const size_t next = index + 1 < b.parts.size() ? b.parts[index + 1].firstLine : b.lines.size();
    Stretch stretch;
    stretch.x = container_.lineFragmentPadding;
    stretch.width = std::max(1.0, container_.width - 2 * container_.lineFragmentPadding);
    stretch.rightToLeft = b.rightToLeft;
    stretch.from = part.start;
    stretch.to = part.textEnd;
    stretch.aim = part.end;
    stretch.lines = int(next - part.firstLine);
    std::vector<Line> lines;  // the same as the part's
    double y = part.top;
    int end = 0;
    part.layout = layoutLines(b, 0, stretch, lines, y, end);
    part.held = size_t(part.textEnd - part.start);
    heldCharacters_ += part.held;
}

void LayoutManager::restoreParagraph(const Block& b, const Line& l)
{
    // Its first line, whose box the paragraph was laid out from: the line
    // qtLine places before this one in the block's lines, else the first
    // line found of the paragraph.
    const Line* first = &l;
    const std::less<const Line*> before;
    const bool inBlock = !b.lines.empty() && !before(&l, b.lines.data()) && before(&l, b.lines.data() + b.lines.size());
    const size_t at = inBlock ? size_t(&l - b.lines.data()) : 0;
    if (inBlock && at >= size_t(l.qtLine) && b.lines[at - size_t(l.qtLine)].paragraph == l.paragraph)
        first = &b.lines[at - size_t(l.qtLine)];
    else
        for (const Line& line : b.lines)
            if (line.paragraph == l.paragraph) {
                first = &line;
                break;
            }
    Stretch whole;
    whole.to = whole.aim = b.paragraphs[l.paragraph].content.length;
    whole.x = b.table ? first->fragment.x() : container_.lineFragmentPadding;
    whole.width = b.table ? first->fragment.width() : std::max(1.0, container_.width - 2 * container_.lineFragmentPadding);
    std::vector<Line> lines;  // the same as the paragraph's
    double y = first->fragment.top();
    int end = 0;
    b.paragraphs[l.paragraph].layout = layoutLines(b, l.paragraph, whole, lines, y, end);
    if (!keepsLayouts)
        restored_.push_back({&b.paragraphs[l.paragraph].layout, topOf(blockIndexAt(b.range.location)) + y});
}

LayoutManager::LineLayout LayoutManager::lineLayout(const Block& b, const Line& l)
{
    const Paragraph& p = b.paragraphs[l.paragraph];
    if (b.parts.empty()) {
        if (!p.layout)
            restoreParagraph(b, l);
        QTextLine line = p.layout->lineAt(l.qtLine);
        if (b.table)
            line.setPosition(QPointF(line.position().x(), l.qtY));
        return {line, p.content.location, p.content.length};
    }
    const int at = l.glyphs.location - p.content.location;
    const auto it = std::upper_bound(b.parts.begin(), b.parts.end(), at, [](int v, const Part& part) { return v < part.start; });
    const size_t index = it == b.parts.begin() ? 0 : size_t(it - b.parts.begin()) - 1;
    const Part& part = b.parts[index];
    if (!part.layout) {
        restorePart(b, index);
        if (!keepsLayouts)
            restored_.push_back({&part.layout, -HUGE_VAL});
    }
    part.usedAt = paintSerial_;
    return {part.layout->lineAt(l.qtLine), p.content.location + part.start, part.textEnd - part.start};
}

void LayoutManager::layoutParagraph(Block& b, size_t index, double x, double width, double& y)
{
    layoutParagraph(b, index, x, width, y, b.lines);
}

void LayoutManager::layoutParagraph(Block& b, size_t index, double x, double width, double& y, std::vector<Line>& lines)
{
    Paragraph& p = b.paragraphs[index];
    Stretch whole;
    whole.to = whole.aim = p.content.length;
    whole.x = x;
    whole.width = width;
    int end = 0;
    p.layout = layoutLines(b, index, whole, lines, y, end);
    if (!keepsLayouts)
        p.layout.reset();
}

std::unique_ptr<QTextLayout> LayoutManager::layoutLines(const Block& b, size_t index, const Stretch& stretch,
                                                        std::vector<Line>& lines, double& y, int& end)
{
    const Paragraph& p = b.paragraphs[index];
    const ParagraphStyle& style = *b.styles[index];
    const U16View text = storage_->string();
    const Range range{p.content.location + stretch.from, stretch.to - stretch.from};
    // A copy: the layout outlives this call, and an edit can reallocate the storage's string.
    QString content(reinterpret_cast<const QChar*>(text.data() + range.location), range.length);
    const Font* firstFont = storage_->font(std::min(p.range.location, storage_->length() - 1));
    const Font baseFont = firstFont ? *firstFont : defaultFont();
    // Only the whole paragraph's last part reaches its end; the others keep the
    // lines that end far enough before the end of their text.
    const bool cut = stretch.to < p.content.length;
    const double x = stretch.x, width = stretch.width;

    QList<QTextLayout::FormatRange> formats;
    std::vector<std::pair<Range, double>> raised;  // runs with a baseline offset
    // Neighbouring runs that differ only in colours or marks share one format, and
    // text in the layout's own font needs none: formats are costly to build and shape.
    Font pendingFont = baseFont;
    double pendingKern = 0;
    Range pending{range.location, 0};
    auto flush = [&] {
        if (pending.length <= 0)
            return;
        const bool plain = pendingFont == baseFont && pendingKern == 0;
        if (qtFormat(pendingFont, 0, false).sizeless)
            standInForPictureGlyphs(content, pending.location - range.location, pending.end() - range.location);
        auto addFormat = [&](Range r, bool emoji) {
            if (r.length <= 0 || (plain && !emoji))
                return;
            QTextLayout::FormatRange fr;
            fr.start = r.location - range.location;
            fr.length = r.length;
            fr.format = qtFormat(pendingFont, pendingKern, emoji).format;
            formats.append(fr);
        };
        int cursor = pending.location;
        for (const Range& e : emojiStretches(text, pending)) {
            addFormat(Range::fromTo(cursor, e.location), false);
            addFormat(e, true);
            cursor = e.end();
        }
        addFormat(Range::fromTo(cursor, pending.end()), false);
    };
    storage_->enumerateRuns(range, [&](const Attributes& a, Range run) {
        const Font* f = a.font();
        const Font& font = f ? *f : baseFont;
        const double kern = a.number(AttributeKey::Kern).value_or(0);
        if (pending.length > 0 && font == pendingFont && kern == pendingKern && pending.end() == run.location) {
            pending.length += run.length;
        } else {
            flush();
            pendingFont = font;
            pendingKern = kern;
            pending = run;
        }
        if (auto offset = a.number(AttributeKey::BaselineOffset); offset && *offset != 0)
            raised.push_back({run, *offset});
    });
    flush();
    auto layout = std::make_unique<QTextLayout>(content, qtFont(baseFont, 0));
    layout->setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(qtAlignment(style.alignment));
    if (stretch.rightToLeft)
        option.setTextDirection(*stretch.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setTabs(qtTabs(style.tabStops));
    if (style.defaultTabInterval > 0)
        option.setTabStopDistance(style.defaultTabInterval);
    layout->setTextOption(option);
    layout->setCacheEnabled(keepsGlyphs);
    const std::vector<int> breaks = lineBreakOpportunities(content);

    const bool atTextStart = p.range.location == 0;
    const bool empty = p.content.length == 0;
    const double baseLineHeight = baseFont.lineHeight();
    layout->beginLayout();
    int lineNumber = 0;
    // Once the lines wanted are laid out, one more follows them unkept: Qt treats
    // a layout's last line as the end of the text (where the caret goes past it).
    bool done = false;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        const bool first = lineNumber == 0 && stretch.from == 0;
        const double indent = first ? style.firstLineHeadIndent : style.headIndent;
        const double lineWidth = lineWidthIn(style, width, indent);
        if (!breaks.empty() && wrapModeAt(breaks, line.textStart()) != option.wrapMode()) {
            option.setWrapMode(wrapModeAt(breaks, line.textStart()));
            layout->setTextOption(option);
        }
        line.setLineWidth(std::max(1.0, lineWidth));
        if (done)
            break;
        const int lineEnd = stretch.from + line.textStart() + line.textLength();
        const bool last = lineEnd >= p.content.length;
        if (cut && !last && stretch.lines < 0 && lineEnd > stretch.to - kPartMargin)
            break;  // the text after it, which its layout lacks, could have moved its end

        double ascent = line.ascent();
        double descent = line.descent();
        if (empty) {
            ascent = baseFont.ascender();
            descent = -baseFont.descender();
        }
        const Range lineChars{range.location + line.textStart(), line.textLength()};
        for (const auto& [run, offset] : raised) {
            if (!overlaps(run, lineChars))
                continue;
            const Font* f = storage_->font(run.location);
            const Font rf = f ? *f : baseFont;
            ascent = std::max(ascent, rf.ascender() + offset);
            descent = std::max(descent, -rf.descender() - offset);
        }
        const double natural = std::max(ascent + descent + std::max(0.0, line.leading()),
                                        empty ? baseLineHeight : 0.0);
        double h = natural * (style.lineHeightMultiple > 0 ? style.lineHeightMultiple : 1);
        if (style.minimumLineHeight > 0)
            h = std::max(h, style.minimumLineHeight);
        if (style.maximumLineHeight > 0)
            h = std::min(h, style.maximumLineHeight);
        const double before = (first && !atTextStart) ? style.paragraphSpacingBefore : 0;
        const double after = style.lineSpacing + (last ? style.paragraphSpacing : 0);
        const double top = y;
        const double baseline = before + h - descent;
        line.setPosition(QPointF(x + indent, top + baseline - line.ascent()));

        Line l;
        l.glyphs = lineChars;
        if (last)
            l.glyphs.length = p.range.end() - l.glyphs.location;  // the terminator belongs to the last line
        l.fragment = b.table ? QRectF(x, top, width, before + h + after)
                             : QRectF(0, top, container_.width, before + h + after);
        l.textTop = top + before;
        l.textHeight = h;
        l.baseline = baseline;
        l.usedX = line.naturalTextRect().x();
        l.usedWidth = line.naturalTextWidth();
        l.spacing = style.lineSpacing;
        l.paragraph = index;
        l.qtLine = lineNumber;
        l.ascent = line.ascent();
        l.qtY = top + baseline - line.ascent();
        l.bandTop = l.fragment.top();
        l.bandBottom = l.fragment.bottom();
        lines.push_back(l);
        y = top + before + h + after;
        end = lineEnd;
        ++lineNumber;
        if (last)
            break;
        done = stretch.lines >= 0 ? lineNumber >= stretch.lines : lineEnd >= stretch.aim;
    }
    layout->endLayout();
    return layout;
}

void LayoutManager::layoutTable(Block& b)
{
    b.cellOf.clear();
    if (findTableRows(b)) {
        const TableGeometry geometry = tableGeometry(b);
        std::vector<Line> none;
        double top = 0;
        for (TableRow& row : b.rows) {
            placeTableRow(b, row, geometry, top, none, b.lines);
            top += row.height;
        }
        b.height = top;
        return;
    }
    b.signature = layoutSignature(*storage_, b.range);
    const auto [padding, columnWidth] = tableGeometry(b);

    // Paragraphs of one cell (same row and column) are stacked in that cell.
    struct CellPlan {
        std::shared_ptr<const TextBlock> block;
        const TextTableBlock* cell;
        std::vector<size_t> paragraphs;
    };
    std::map<std::pair<int, int>, CellPlan> cells;
    for (size_t i = 0; i < b.paragraphs.size(); ++i) {
        const ParagraphStyle& style = *b.styles[i];
        const TextTableBlock* cell = style.tableBlock();
        if (!cell)
            continue;
        std::shared_ptr<const TextBlock> owner;
        for (const auto& tb : style.textBlocks)
            if (tb.get() == cell)
                owner = tb;
        auto& plan = cells[{cell->startingRow(), cell->startingColumn()}];
        if (!plan.cell) {
            plan.cell = cell;
            plan.block = owner;
        }
        plan.paragraphs.push_back(i);
    }

    // The cells come row by row from the map, each row's in column order.
    double rowTop = 0;
    for (auto rowStart = cells.begin(); rowStart != cells.end();) {
        const int row = rowStart->first.first;
        auto rowEnd = rowStart;
        while (rowEnd != cells.end() && rowEnd->first.first == row)
            ++rowEnd;
        double rowHeight = 0;
        const size_t firstLine = b.lines.size();
        std::vector<std::pair<const CellPlan*, double>> rowCells;
        for (auto it = rowStart; it != rowEnd; ++it) {
            const CellPlan& plan = it->second;
            const TextTableBlock& c = *plan.cell;
            const int span = std::max(1, c.columnSpan());
            const double cellX = padding + c.startingColumn() * columnWidth;
            const CellInsets inset = insetsOf(c);
            const double contentWidth = std::max(1.0, columnWidth * span - inset.left - inset.right);
            double y = rowTop + inset.top;
            for (size_t pi : plan.paragraphs)
                layoutParagraph(b, pi, cellX + inset.left, contentWidth, y);
            rowHeight = std::max(rowHeight, y - rowTop + inset.bottom);
            rowCells.push_back({&plan, cellX});
        }
        for (auto& [plan, cellX] : rowCells) {
            const int span = std::max(1, plan->cell->columnSpan());
            b.cells.push_back({QRectF(cellX, rowTop, columnWidth * span, rowHeight), plan->block});
        }
        for (size_t li = firstLine; li < b.lines.size(); ++li) {
            b.lines[li].bandTop = rowTop;
            b.lines[li].bandBottom = rowTop + rowHeight;
        }
        rowTop += rowHeight;
        rowStart = rowEnd;
    }
    // Lines were made cell by cell; the text order is row-major, which sorting restores.
    std::sort(b.lines.begin(), b.lines.end(),
              [](const Line& x, const Line& y) { return x.glyphs.location < y.glyphs.location; });
    // Every line fragment of a row spans the row's height below its own top.
    b.height = rowTop;
}

LayoutManager::TableGeometry LayoutManager::tableGeometry(const Block& b) const
{
    const double padding = container_.lineFragmentPadding;
    const double gridWidth = std::max(1.0, (container_.width - 2 * padding) * b.table->contentWidthPercent / 100.0);
    const int columns = std::max(1, b.table->numberOfColumns);
    return {padding, gridWidth / columns};
}

bool LayoutManager::findTableRows(Block& b) const
{
    // Row by row and, in a row, cell by cell in text order, each cell one row high:
    // then a row's paragraphs, lines and cells each come together.
    b.rows.clear();
    b.cellOf.assign(b.paragraphs.size(), nullptr);
    const TextTableBlock* previous = nullptr;
    for (size_t i = 0; i < b.paragraphs.size(); ++i) {
        const TextTableBlock* cell = b.styles[i]->tableBlock();
        if (!cell || cell->table().get() != b.table || cell->rowSpan() != 1
            || (previous && (cell->startingRow() < previous->startingRow()
                             || (cell->startingRow() == previous->startingRow()
                                 && cell->startingColumn() < previous->startingColumn())))) {
            b.rows.clear();
            b.cellOf.clear();
            return false;
        }
        if (!previous || cell->startingRow() != previous->startingRow()) {
            TableRow row;
            row.paragraph = i;
            row.dirty = true;
            b.rows.push_back(std::move(row));
        }
        b.cellOf[i] = cell;
        previous = cell;
    }
    return !b.rows.empty();
}

// A kept line of a cell placed at `y`, which then moves below it, with the sums laying the cell out makes.
static void placeKeptLine(LayoutManager::Line& l, const ParagraphStyle& style, bool atTextStart, bool last, double& y)
{
    const double before = (l.qtLine == 0 && !atTextStart) ? style.paragraphSpacingBefore : 0;
    const double after = style.lineSpacing + (last ? style.paragraphSpacing : 0);
    const double top = y;
    l.qtY = top + l.baseline - l.ascent;
    l.fragment.moveTop(top);
    l.textTop = top + before;
    y = top + before + l.textHeight + after;
}

void LayoutManager::restackTableRow(Block& b, TableRow& row, double rowTop, size_t lineEnd, size_t cellEnd)
{
    const size_t index = size_t(&row - b.rows.data());
    const size_t end = index + 1 < b.rows.size() ? b.rows[index + 1].paragraph : b.paragraphs.size();
    double rowHeight = 0;
    size_t li = row.line;
    for (size_t i = row.paragraph; i < end;) {
        const TextTableBlock& c = *b.cellOf[i];
        size_t j = i + 1;
        while (j < end && b.cellOf[j]->startingColumn() == c.startingColumn())
            ++j;
        const CellInsets inset = insetsOf(c);
        double y = rowTop + inset.top;
        for (size_t k = i; k < j; ++k) {
            const ParagraphStyle& style = *b.styles[k];
            const bool atTextStart = b.paragraphs[k].range.location == 0;
            for (; li < lineEnd && b.lines[li].paragraph == k; ++li)
                placeKeptLine(b.lines[li], style, atTextStart, li + 1 == b.lines.size() || b.lines[li + 1].paragraph != k, y);
        }
        rowHeight = std::max(rowHeight, y - rowTop + inset.bottom);
        i = j;
    }
    for (size_t c = row.cell; c < cellEnd; ++c) {
        QRectF& rect = b.cells[c].rect;
        rect = QRectF(rect.x(), rowTop, rect.width(), rowHeight);
    }
    for (size_t l = row.line; l < lineEnd; ++l) {
        b.lines[l].bandTop = rowTop;
        b.lines[l].bandBottom = rowTop + rowHeight;
    }
    row.top = rowTop;
    row.height = rowHeight;
}

void LayoutManager::placeTableRow(Block& b, TableRow& row, const TableGeometry& geometry, double rowTop,
                                  std::vector<Line>& oldLines, std::vector<Line>& lines)
{
    const size_t index = size_t(&row - b.rows.data());
    const size_t end = index + 1 < b.rows.size() ? b.rows[index + 1].paragraph : b.paragraphs.size();
    const size_t firstLine = lines.size();
    size_t old = row.line;  // its kept lines in `oldLines`
    double rowHeight = 0;
    struct Placed {
        const TextTableBlock* cell;
        size_t paragraph;
        double x;
    };
    std::vector<Placed> placed;
    // The same sums in the same order as laying the row out anew, so a row
    // placed from its kept lines lands where a fresh layout puts it, to the bit.
    for (size_t i = row.paragraph; i < end;) {
        const TextTableBlock& c = *b.cellOf[i];
        size_t j = i + 1;
        while (j < end && b.cellOf[j]->startingColumn() == c.startingColumn())
            ++j;
        const int span = std::max(1, c.columnSpan());
        const double cellX = geometry.padding + c.startingColumn() * geometry.columnWidth;
        const CellInsets inset = insetsOf(c);
        const double contentWidth = std::max(1.0, geometry.columnWidth * span - inset.left - inset.right);
        double y = rowTop + inset.top;
        for (size_t k = i; k < j; ++k) {
            if (row.dirty) {
                layoutParagraph(b, k, cellX + inset.left, contentWidth, y, lines);
                continue;
            }
            Paragraph& p = b.paragraphs[k];
            const ParagraphStyle& style = *b.styles[k];
            const bool atTextStart = p.range.location == 0;
            for (; old < oldLines.size() && oldLines[old].paragraph == k; ++old) {
                Line l = oldLines[old];
                if (l.fragment.x() != cellX + inset.left || l.fragment.width() != contentWidth) {
                    // Refitted to a new width (one line, left-aligned): only its place changes;
                    // its glyphs are laid out again there when next used.
                    l.fragment = QRectF(cellX + inset.left, l.fragment.top(), contentWidth, l.fragment.height());
                    l.usedX = qtLineX(cellX + inset.left + style.firstLineHeadIndent);
                    p.layout.reset();
                }
                placeKeptLine(l, style, atTextStart, old + 1 == oldLines.size() || oldLines[old + 1].paragraph != k, y);
                lines.push_back(l);
            }
        }
        rowHeight = std::max(rowHeight, y - rowTop + inset.bottom);
        placed.push_back({&c, i, cellX});
        i = j;
    }
    row.cell = b.cells.size();
    for (const Placed& cell : placed) {
        std::shared_ptr<const TextBlock> owner;
        for (const auto& tb : b.styles[cell.paragraph]->textBlocks)
            if (tb.get() == cell.cell)
                owner = tb;
        const int span = std::max(1, cell.cell->columnSpan());
        b.cells.push_back({QRectF(cell.x, rowTop, geometry.columnWidth * span, rowHeight), std::move(owner)});
    }
    for (size_t li = firstLine; li < lines.size(); ++li) {
        lines[li].bandTop = rowTop;
        lines[li].bandBottom = rowTop + rowHeight;
    }
    if (row.dirty) {
        const Paragraph& from = b.paragraphs[row.paragraph];
        row.signature = layoutSignature(*storage_, Range::fromTo(from.range.location, b.paragraphs[end - 1].range.end()));
    }
    row.line = firstLine;
    row.top = rowTop;
    row.height = rowHeight;
    row.dirty = false;
}

double LayoutManager::qtLineX(double x)
{
    if (!probe_) {
        probe_ = std::make_unique<QTextLayout>(QString());
        probe_->beginLayout();
        probe_->createLine();
        probe_->endLayout();
    }
    QTextLine line = probe_->lineAt(0);
    line.setPosition(QPointF(x, 0));
    return line.x();
}

namespace {

// Whether a cell paragraph's one line keeps its breaks and glyphs at another width:
// text read left to right with no tabs (a separator), aligned left, so that only its place moves.
bool refittable(U16View text, const ParagraphStyle& style)
{
    if (text.empty() || text.back() == u' ' || qtAlignment(style.alignment) != Qt::AlignLeft)
        return false;
    for (size_t i = 0; i < text.size();) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        switch (u_charDirection(c)) {
        case U_LEFT_TO_RIGHT:
        case U_EUROPEAN_NUMBER:
        case U_EUROPEAN_NUMBER_SEPARATOR:
        case U_EUROPEAN_NUMBER_TERMINATOR:
        case U_ARABIC_NUMBER:
        case U_COMMON_NUMBER_SEPARATOR:
        case U_DIR_NON_SPACING_MARK:
        case U_BOUNDARY_NEUTRAL:
        case U_WHITE_SPACE_NEUTRAL:
        case U_OTHER_NEUTRAL:
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace

bool LayoutManager::refitTable(Block& b, std::vector<ParagraphStylePtr>& styles)
{
    b.refit = false;
    b.caughtUp();
    // The same cells in the same paragraphs, with the same styles, as when its rows were laid out.
    if (!b.table || b.rows.empty() || b.cellOf.size() != b.paragraphs.size() || b.styles.size() != styles.size())
        return false;
    for (size_t k = 0; k < styles.size(); ++k)
        if (styles[k]->tableBlock() != b.cellOf[k] || !(*styles[k] == *b.styles[k]))
            return false;
    b.styles = std::move(styles);
    const TableGeometry geometry = tableGeometry(b);
    const U16View text = storage_->string();
    for (size_t r = 0; r < b.rows.size(); ++r) {
        TableRow& row = b.rows[r];
        const size_t end = r + 1 < b.rows.size() ? b.rows[r + 1].paragraph : b.paragraphs.size();
        const size_t lineEnd = r + 1 < b.rows.size() ? b.rows[r + 1].line : b.lines.size();
        if (row.dirty || lineEnd > b.lines.size() || lineEnd - row.line != end - row.paragraph) {
            row.dirty = true;
            continue;
        }
        const Range range = Range::fromTo(b.paragraphs[row.paragraph].range.location, b.paragraphs[end - 1].range.end());
        bool fits = signatureMatches(*storage_, range, row.signature);
        for (size_t k = row.paragraph; fits && k < end; ++k) {
            const Line& l = b.lines[row.line + (k - row.paragraph)];
            const ParagraphStyle& style = *b.styles[k];
            const TextTableBlock& c = *b.cellOf[k];
            const CellInsets inset = insetsOf(c);
            const double contentWidth = std::max(1.0, geometry.columnWidth * std::max(1, c.columnSpan()) - inset.left - inset.right);
            const double lineWidth = lineWidthIn(style, contentWidth, style.firstLineHeadIndent);
            // Room to spare beyond its advance: where Qt breaks also counts the last glyph's
            // overhang, well under a quarter of the line's height in any text face.
            fits = l.paragraph == k && l.qtLine == 0 && l.usedWidth + l.textHeight / 4 <= lineWidth
                && refittable(substring(text, b.paragraphs[k].content), style);
        }
        row.dirty = !fits;
    }
    b.forgetPaint();
    std::vector<Line> old = std::move(b.lines);
    b.lines.clear();
    b.cells.clear();
    double top = 0;
    for (TableRow& row : b.rows) {
        placeTableRow(b, row, geometry, top, old, b.lines);
        top += row.height;
    }
    b.height = top;
    if (!b.holdsLayouts)
        heldCharacters_ += size_t(b.range.length);
    b.holdsLayouts = true;
    return true;
}

bool LayoutManager::layoutTableRows(Block& b)
{
    const auto firstDirty = std::find_if(b.rows.begin(), b.rows.end(), [](const TableRow& r) { return r.dirty; });
    if (firstDirty == b.rows.end() || b.cellOf.size() != b.paragraphs.size())
        return false;
    // The rows marked take their paragraphs' styles anew; their cells must still run in order.
    for (size_t r = size_t(firstDirty - b.rows.begin()); r < b.rows.size(); ++r) {
        if (!b.rows[r].dirty)
            continue;
        const size_t end = r + 1 < b.rows.size() ? b.rows[r + 1].paragraph : b.paragraphs.size();
        const TextTableBlock* previous = b.rows[r].paragraph > 0 ? b.cellOf[b.rows[r].paragraph - 1] : nullptr;
        for (size_t k = b.rows[r].paragraph; k < end; ++k) {
            const ParagraphStylePtr* s = storage_->attributes(b.paragraphs[k].range.location).getAs<ParagraphStylePtr>(AttributeKey::ParagraphStyle);
            const ParagraphStylePtr style = s && *s ? *s : ParagraphStyle::defaultStyle();
            const TextTableBlock* cell = style->tableBlock();
            const TextTableBlock* was = b.cellOf[k];
            if (!cell || cell->table().get() != b.table || cell->rowSpan() != 1 || cell->startingRow() != was->startingRow()
                || (k > b.rows[r].paragraph && cell->startingColumn() < previous->startingColumn()))
                return false;
            b.styles[k] = style;
            b.cellOf[k] = cell;
            previous = cell;
        }
        // The next row's first cell must still come after this row's last.
        if (end < b.paragraphs.size() && b.cellOf[end]->startingRow() <= previous->startingRow())
            return false;
    }
    const TableGeometry geometry = tableGeometry(b);
    const size_t first = size_t(firstDirty - b.rows.begin());
    // One row laid out again that keeps its height, its lines' count and its cells'
    // count: the rows below stay as they were placed, and only its own lines and
    // cells are put in place of the old ones.
    if (std::none_of(firstDirty + 1, b.rows.end(), [](const TableRow& r) { return r.dirty; })) {
        TableRow& row = *firstDirty;
        const TableRow kept = row;
        const bool last = first + 1 == b.rows.size();
        const size_t lineEnd = last ? b.lines.size() : b.rows[first + 1].line;
        const size_t cellEnd = last ? b.cells.size() : b.rows[first + 1].cell;
        const size_t cellsBefore = b.cells.size();
        std::vector<Line> none, fresh;
        placeTableRow(b, row, geometry, kept.top, none, fresh);
        if (row.height == kept.height && fresh.size() == lineEnd - kept.line
            && b.cells.size() - cellsBefore == cellEnd - kept.cell) {
            std::move(fresh.begin(), fresh.end(), b.lines.begin() + long(kept.line));
            std::move(b.cells.begin() + long(cellsBefore), b.cells.end(), b.cells.begin() + long(kept.cell));
            b.cells.resize(cellsBefore);
            row.line = kept.line;
            row.cell = kept.cell;
            b.forgetPaint(kept.line, lineEnd);
            return true;
        }
        // A row that grows or shrinks, or gains or loses lines, with the same cells: its lines
        // take the old ones' place, and the rows below are placed again from their kept
        // lines, each from the one above's bottom. Not moved by what the row gained: a
        // line's place is a sum of tops and heights, and adding the difference to the old
        // sum rounds otherwise than summing anew, which can move a line's glyphs to the
        // next sub-pixel step from where a fresh layout draws them.
        if (b.cells.size() - cellsBefore == cellEnd - kept.cell) {
            const size_t made = fresh.size();
            const long more = long(made) - long(lineEnd - kept.line);
            std::move(b.cells.begin() + long(cellsBefore), b.cells.end(), b.cells.begin() + long(kept.cell));
            b.cells.resize(cellsBefore);
            // The lines below move once down or up the vector by the difference.
            const size_t count = b.lines.size();
            if (more > 0) {
                b.lines.resize(count + size_t(more));
                std::move_backward(b.lines.begin() + long(lineEnd), b.lines.begin() + long(count), b.lines.end());
            } else if (more < 0) {
                std::move(b.lines.begin() + long(lineEnd), b.lines.end(), b.lines.begin() + long(lineEnd) + more);
                b.lines.resize(size_t(long(count) + more));
            }
            std::move(fresh.begin(), fresh.end(), b.lines.begin() + long(kept.line));
            row.line = kept.line;
            row.cell = kept.cell;
            for (size_t r = first + 1; r < b.rows.size(); ++r)
                b.rows[r].line = size_t(long(b.rows[r].line) + more);
            double top = row.top + row.height;
            for (size_t r = first + 1; r < b.rows.size(); ++r) {
                const bool lastRow = r + 1 == b.rows.size();
                restackTableRow(b, b.rows[r], top, lastRow ? b.lines.size() : b.rows[r + 1].line,
                                lastRow ? b.cells.size() : b.rows[r + 1].cell);
                top += b.rows[r].height;
            }
            b.height = top;
            b.forgetPaint();
            return true;
        }
        // Laid out again with the rows below it.
        b.cells.resize(cellsBefore);
        row = kept;
    }
    const size_t keptLines = firstDirty->line;
    std::vector<Line> oldLines(std::make_move_iterator(b.lines.begin() + long(keptLines)),
                               std::make_move_iterator(b.lines.end()));
    b.lines.resize(keptLines);
    b.cells.resize(firstDirty->cell);
    // Lines of the rows from the first marked on, relative to their old place.
    std::vector<size_t> oldStarts;
    for (size_t r = first; r < b.rows.size(); ++r)
        oldStarts.push_back(b.rows[r].line - keptLines);
    double top = firstDirty->top;
    for (size_t r = first; r < b.rows.size(); ++r) {
        TableRow& row = b.rows[r];
        row.line = oldStarts[r - first];
        placeTableRow(b, row, geometry, top, oldLines, b.lines);
        top += row.height;
    }
    b.height = top;
    b.forgetPaint();
    return true;
}

bool LayoutManager::editTableCell(size_t index, Range region, int delta)
{
    Block& b = blocks_[index]->caughtUp();
    if (b.rows.empty() || !b.holdsLayouts || !(b.laidOut || b.rowsOnly) || b.cellOf.size() != b.paragraphs.size())
        return false;
    const U16View text = storage_->string();
    const auto it = std::partition_point(b.paragraphs.begin(), b.paragraphs.end(),
                                         [&](const Paragraph& p) { return p.range.end() <= region.location; });
    if (it == b.paragraphs.end())
        return false;
    const size_t k = size_t(it - b.paragraphs.begin());
    const auto row = std::prev(std::partition_point(b.rows.begin(), b.rows.end(), [&](const TableRow& r) { return r.paragraph <= k; }));
    const size_t first = row->paragraph;
    const size_t end = std::next(row) != b.rows.end() ? std::next(row)->paragraph : b.paragraphs.size();
    const int oldEnd = region.end() - delta;
    const U16View inserted = substring(text, glyphRange(region));
    const bool within = region.location >= it->content.location && oldEnd <= it->content.end()
        && std::none_of(inserted.begin(), inserted.end(), isParagraphTerminator);
    // Otherwise inside the text of one row, from its first paragraph's start to its
    // last one's end, which still parts it from what follows: the row's paragraphs are read anew.
    if (!within && (region.location < b.paragraphs[first].range.location || oldEnd > b.paragraphs[end - 1].content.end()))
        return false;
    std::vector<Paragraph> made;
    std::vector<ParagraphStylePtr> styles;
    std::vector<const TextTableBlock*> cells;
    const int rowStart = b.paragraphs[first].range.location;
    const Range rowText = Range::fromTo(rowStart, b.paragraphs[end - 1].range.end() + delta);
    for (const LineRange& line : within ? std::vector<LineRange>{} : paragraphRanges(substring(text, rowText))) {
        const Range range{line.enclosing.location + rowStart, line.enclosing.length};
        const ParagraphStylePtr* s = storage_->attributes(range.location).getAs<ParagraphStylePtr>(AttributeKey::ParagraphStyle);
        const ParagraphStylePtr style = s && *s ? *s : ParagraphStyle::defaultStyle();
        const TextTableBlock* cell = style->tableBlock();
        // Still cells of the row, in column order.
        if (!cell || cell->table().get() != b.table || cell->rowSpan() != 1 || cell->startingRow() != b.cellOf[k]->startingRow()
            || (!cells.empty() && cell->startingColumn() < cells.back()->startingColumn()))
            return false;
        made.push_back({range, Range{line.content.location + rowStart, line.content.length}, nullptr});
        styles.push_back(style);
        cells.push_back(cell);
    }
    if (within) {
        const ParagraphStyle* style = storage_->paragraphStyle(it->range.location);
        const TextTableBlock* cell = style ? style->tableBlock() : nullptr;
        if (!cell || cell->table().get() != b.table)
            return false;
        it->range.length += delta;
        it->content.length += delta;
    } else {
        // The row's paragraphs, styles, cells and lines are put in place of the old ones.
        const long count = long(made.size()) - long(end - first);
        // What follows the row moves once, by the difference.
        auto replace = [&](auto& items, auto& fresh) {
            if (count > 0) {
                std::decay_t<decltype(items)> room(static_cast<size_t>(count));
                items.insert(items.begin() + long(end), std::make_move_iterator(room.begin()), std::make_move_iterator(room.end()));
            } else
                items.erase(items.begin() + long(end) + count, items.begin() + long(end));
            std::move(fresh.begin(), fresh.end(), items.begin() + long(first));
        };
        replace(b.paragraphs, made);
        replace(b.styles, styles);
        replace(b.cellOf, cells);
        for (auto r = std::next(row); r != b.rows.end(); ++r)
            r->paragraph = size_t(long(r->paragraph) + count);
        // The row's own lines wait for its layout; those below move along in one pass.
        const size_t below = std::next(row) != b.rows.end() ? std::next(row)->line : b.lines.size();
        for (auto l = b.lines.begin() + long(row->line); l != b.lines.begin() + long(below); ++l)
            l->paragraph = first;
        for (auto l = b.lines.begin() + long(below); l != b.lines.end(); ++l) {
            l->paragraph = size_t(long(l->paragraph) + count);
            l->glyphs.location += delta;
        }
    }
    const size_t next = first + (within ? end - first : made.size());
    for (size_t i = within ? k + 1 : next; i < b.paragraphs.size(); ++i) {
        b.paragraphs[i].range.location += delta;
        b.paragraphs[i].content.location += delta;
    }
    // The lines of a table that keeps its rows run in paragraph order: those after the edit move.
    if (within)
        for (auto l = std::partition_point(b.lines.begin(), b.lines.end(), [&](const Line& x) { return x.paragraph <= k; });
             l != b.lines.end(); ++l)
            l->glyphs.location += delta;
    b.range.length += delta;
    row->dirty = true;
    b.rowsOnly = true;
    b.laidOut = false;
    heldCharacters_ = size_t(std::max<long long>(0, (long long)heldCharacters_ + delta));
    if (b.checkSignature && b.rowCheck) {
        const int at = region.location - b.range.location;
        b.rowCheck = std::pair{std::min(b.rowCheck->first, at), std::max(b.rowCheck->second, at) + std::max(delta, 0)};
    }
    for (size_t i = index + 1; i < blocks_.size(); ++i)
        shiftBlock(*blocks_[i], delta);
    invalidateFrom(index);
    return true;
}

void LayoutManager::checkTableRows(Block& b)
{
    const int from = b.rowCheck ? b.range.location + b.rowCheck->first : b.range.location;
    const int to = b.rowCheck ? b.range.location + b.rowCheck->second : b.range.end();
    b.rowCheck.reset();
    b.checkSignature = false;
    bool changed = false;
    auto row = std::partition_point(b.rows.begin(), b.rows.end(), [&](const TableRow& r) {
        return r.paragraph == 0 || b.paragraphs[r.paragraph].range.location <= from;
    });
    if (row != b.rows.begin())
        row = std::prev(row);
    for (; row != b.rows.end(); ++row) {
        const size_t r = size_t(row - b.rows.begin());
        const size_t end = r + 1 < b.rows.size() ? b.rows[r + 1].paragraph : b.paragraphs.size();
        const Range text = Range::fromTo(b.paragraphs[row->paragraph].range.location, b.paragraphs[end - 1].range.end());
        if (text.location > to)
            break;
        if (row->dirty)
            continue;
        // Only fonts, kerns, baseline offsets and paragraph styles change the layout.
        bool same = signatureMatches(*storage_, text, row->signature);
        for (size_t k = row->paragraph; same && k < end; ++k) {
            const ParagraphStyle* s = storage_->paragraphStyle(b.paragraphs[k].range.location);
            same = (s ? *s : *ParagraphStyle::defaultStyle()) == *b.styles[k];
        }
        if (!same) {
            row->dirty = true;
            changed = true;
        }
    }
    if (changed) {
        b.rowsOnly = b.rowsOnly || b.laidOut;
        b.laidOut = false;
    }
}

Range LayoutManager::glyphRange(Range characterRange) const
{
    const int n = storage_ ? storage_->length() : 0;
    const int start = std::clamp(characterRange.location, 0, n);
    return Range::fromTo(start, std::clamp(characterRange.end(), start, n));
}

const LayoutManager::Line* LayoutManager::lineForGlyph(int glyph)
{
    if (!storage_)
        return nullptr;
    glyph = std::clamp(glyph, 0, std::max(0, storage_->length() - 1));
    prepare({glyph, 0});
    if (blocks_.empty())
        return nullptr;
    const Block& b = blocks_[blockIndexAt(glyph)]->caughtUp();
    auto it = std::upper_bound(b.lines.begin(), b.lines.end(), glyph,
                               [](int g, const Line& l) { return g < l.glyphs.location; });
    if (it == b.lines.begin())
        return b.lines.empty() ? nullptr : &b.lines.front();
    return &*std::prev(it);
}

size_t LayoutManager::firstLineReaching(const Block& b, int glyph)
{
    return size_t(std::partition_point(b.lines.begin(), b.lines.end(), [&](const Line& l) { return l.glyphs.end() <= glyph; })
                  - b.lines.begin());
}

size_t LayoutManager::lineToDraw(const Block& b, size_t li, double blockTop, int glyphEnd) const
{
    if (!drawingArea_ || !b.table)
        return li;
    const double top = drawingArea_->top() - kInkMargin - blockTop;
    const double bottom = drawingArea_->bottom() + kInkMargin - blockTop;
    // While the table keeps its rows, each paragraph knows its cell, and a row's
    // paragraphs (and so its lines) run cell by cell, each cell's down the cell.
    const bool rows = !b.rows.empty() && b.cellOf.size() == b.paragraphs.size();
    while (li < b.lines.size()) {
        const Line& l = b.lines[li];
        // Past the glyphs drawn the caller stops: no walk on through the rest of the table.
        if (l.glyphs.location >= glyphEnd)
            return li;
        const bool above = l.fragment.bottom() < top;
        if (!above && l.fragment.top() <= bottom)
            return li;
        if (!rows) {
            ++li;
            continue;
        }
        // The end of the cell's lines: its paragraphs end where the row's next column starts.
        const size_t k = l.paragraph;
        const auto row = std::partition_point(b.rows.begin(), b.rows.end(), [&](const TableRow& r) { return r.paragraph <= k; });
        const size_t rowEnd = row == b.rows.end() ? b.paragraphs.size() : row->paragraph;
        const int column = b.cellOf[k]->startingColumn();
        size_t cellEnd = k + 1;
        if (cellEnd < rowEnd)
            cellEnd = size_t(std::partition_point(b.cellOf.begin() + long(cellEnd), b.cellOf.begin() + long(rowEnd),
                                                  [&](const TextTableBlock* c) { return c->startingColumn() == column; })
                             - b.cellOf.begin());
        const auto linesEnd = std::partition_point(b.lines.begin() + long(li), b.lines.end(),
                                                   [&](const Line& line) { return line.paragraph < cellEnd; });
        if (!above) {
            li = size_t(linesEnd - b.lines.begin());
            continue;
        }
        const auto reaching = std::partition_point(b.lines.begin() + long(li) + 1, linesEnd,
                                                   [&](const Line& line) { return line.fragment.bottom() < top; });
        li = size_t(reaching - b.lines.begin());
    }
    return li;
}

static QRectF shifted(const QRectF& r, double dy)
{
    return r.translated(0, dy);
}

QRectF LayoutManager::lineFragmentRect(int glyph, Range* effectiveRange)
{
    const Line* l = lineForGlyph(glyph);
    if (!l) {
        if (effectiveRange)
            *effectiveRange = {0, 0};
        return {};
    }
    if (effectiveRange)
        *effectiveRange = l->glyphs;
    return shifted(l->fragment, topOf(blockIndexAt(l->glyphs.location)));
}

QRectF LayoutManager::lineBandRect(int glyph)
{
    const Line* l = lineForGlyph(glyph);
    if (!l)
        return {};
    const double top = topOf(blockIndexAt(l->glyphs.location));
    return QRectF(l->fragment.x(), top + l->bandTop, l->fragment.width(), l->bandBottom - l->bandTop);
}

QRectF LayoutManager::lineFragmentUsedRect(int glyph, Range* effectiveRange)
{
    const Line* l = lineForGlyph(glyph);
    if (!l)
        return {};
    if (effectiveRange)
        *effectiveRange = l->glyphs;
    const double top = topOf(blockIndexAt(l->glyphs.location));
    return QRectF(l->usedX, top + l->textTop, l->usedWidth, l->textHeight + l->spacing);
}

double LayoutManager::lineX(const Line& l, int index)
{
    const Block& b = blocks_[blockIndexAt(l.glyphs.location)]->caughtUp();
    const LineLayout layout = lineLayout(b, l);
    const int local = std::clamp(index - layout.start, 0, layout.length);
    // A line that is drawn keeps the places asked of it: marks drawn over the
    // text ask the same ones on every paint, and Qt walks the line for each.
    LinePaint* paint = keptPaint(b, l);
    std::vector<std::pair<int, double>>::iterator it;
    if (paint) {
        it = std::lower_bound(paint->xs.begin(), paint->xs.end(), local,
                              [](const std::pair<int, double>& e, int at) { return e.first < at; });
        if (it != paint->xs.end() && it->first == local)
            return it->second;
    }
    const double x = layout.line.cursorToX(local);
    if (paint && paint->xs.size() < kMaxLineXs) {
        it = paint->xs.insert(it, {local, x});
        paint->bytes += sizeof(*it);
        b.paintBytes += sizeof(*it);
        paintBytes_ += sizeof(*it);
    }
    return x;
}

QPointF LayoutManager::location(int glyph)
{
    const Line* l = lineForGlyph(glyph);
    if (!l)
        return {};
    return QPointF(lineX(*l, glyph) - l->fragment.x(), l->baseline);
}

QRectF LayoutManager::boundingRect(Range glyphs)
{
    glyphs = glyphRange(glyphs);
    prepare(glyphs);
    QRectF result;
    if (blocks_.empty())
        return result;
    const int last = std::max(glyphs.location, glyphs.end() - 1);
    for (size_t bi = blockIndexAt(glyphs.location); bi < blocks_.size(); ++bi) {
        const Block& b = blocks_[bi]->caughtUp();
        if (b.range.location > last)
            break;
        const double top = topOf(bi);
        // Lines run in text order: those ending well before the range are skipped at once.
        const auto first = std::partition_point(b.lines.begin(), b.lines.end(),
                                                [&](const Line& l) { return l.glyphs.end() < glyphs.location; });
        for (auto it = first; it != b.lines.end(); ++it) {
            const Line& l = *it;
            if (l.glyphs.end() <= glyphs.location && !(glyphs.length == 0 && l.glyphs.location == glyphs.location))
                continue;
            if (l.glyphs.location > last)
                break;
            const int from = std::max(glyphs.location, l.glyphs.location);
            const int to = std::min(glyphs.end(), l.glyphs.end());
            const Paragraph& p = b.paragraphs[l.paragraph];
            const double x1 = lineX(l, from);
            // A range that runs through the terminator reaches the end of the line box.
            const double x2 = to > p.content.end() ? l.fragment.right() : lineX(l, to);
            const QRectF r(std::min(x1, x2), top + l.textTop, std::abs(x2 - x1), l.textHeight + l.spacing);
            result = result.isNull() ? r : result.united(r);
        }
    }
    return result;
}

int LayoutManager::glyphIndex(QPointF point, double* fraction)
{
    if (fraction)
        *fraction = 0;
    if (!storage_)
        return 0;
    if (!lazy_)
        ensureLayout();
    if (blocks_.empty())
        return 0;
    // The block at the point's height, else the nearest one; when lazy, laid out
    // where it lies (a few rounds: laying it out can bring another to that height).
    size_t bi = blockAtY(point.y());
    auto reachPoint = [&] {
        Reach reach;
        reach.character = INT_MIN;
        reach.y = point.y() - topOf(bi);
        return reach;
    };
    for (int round = 0; lazy_ && round < 8 && needsLayout(*blocks_[bi]); ++round) {
        updateBlock(bi, false, reachPoint());
        bi = blockAtY(point.y());
    }
    if (lazy_) {
        updateBlock(bi, false, reachPoint());
        advancePending();
    }
    const Block& b = blocks_[bi]->caughtUp();
    const double blockTop = topOf(bi);
    // The nearest line: first by its band (a table row holds every line of its
    // cells, so a point in a cell's padding stays in that row), then across, then
    // by the line's own box (the lines of one cell).
    const Line* best = nullptr;
    std::tuple<double, double, double> bestDistance{1e300, 1e300, 1e300};
    auto outside = [](double v, double low, double high) { return v < low ? low - v : (v >= high ? v - high : 0.0); };
    for (const Line& l : b.lines) {
        const QRectF f = shifted(l.fragment, blockTop);
        const std::tuple<double, double, double> d{outside(point.y(), blockTop + l.bandTop, blockTop + l.bandBottom),
                                                   outside(point.x(), f.left(), f.right()),
                                                   outside(point.y(), f.top(), f.bottom())};
        if (d < bestDistance) {
            bestDistance = d;
            best = &l;
        }
    }
    if (!best)
        return b.range.location;
    const LineLayout layout = lineLayout(b, *best);
    const QTextLine& line = layout.line;
    const int start = line.textStart();
    const int stop = start + line.textLength();
    // Nearest glyph: the one whose box holds x, or the first/last of the line.
    int local = line.xToCursor(point.x(), QTextLine::CursorOnCharacter);
    local = std::clamp(local, start, std::max(start, stop - 1));
    if (stop == start)
        return std::min(layout.start + start, storage_->length() == 0 ? 0 : storage_->length() - 1);
    const double x1 = line.cursorToX(local);
    const double x2 = line.cursorToX(local + 1);
    if (fraction && x2 > x1)
        *fraction = std::clamp((point.x() - x1) / (x2 - x1), 0.0, 1.0);
    return layout.start + local;
}

int LayoutManager::characterIndex(QPointF point)
{
    if (!lazy_)
        ensureLayout();
    if (blocks_.empty())
        return 0;
    // The empty line after a final line break lies below every other line (a grid's last row too).
    if (const QRectF extra = extraLineFragmentRect(); !extra.isNull() && point.y() >= extra.top())
        return storage_->length();
    double fraction = 0;
    const int glyph = glyphIndex(point, &fraction);
    const Line* l = lineForGlyph(glyph);
    if (!l)
        return glyph;
    const Block& b = blocks_[blockIndexAt(glyph)]->caughtUp();
    const Paragraph& p = b.paragraphs[l->paragraph];
    const LineLayout layout = lineLayout(b, *l);
    const int local = layout.line.xToCursor(point.x(), QTextLine::CursorBetweenCharacters);
    return std::clamp(layout.start + local, l->glyphs.location, std::min(l->glyphs.end(), p.content.end()));
}

Range LayoutManager::glyphRange(const QRectF& rect)
{
    ensureLayout(rect);
    // Blocks run down the page in order: the first and last that reach the
    // rectangle are found in the tree of heights, so drawing a band of a long
    // page costs the band, not the page above it.
    const size_t firstIndex = blocksEndingBefore(rect.top(), false);
    if (firstIndex >= blocks_.size() || topOf(firstIndex) > rect.bottom())
        return Range{0, 0};
    const size_t lastIndex = std::clamp(blocksEndingBefore(rect.bottom(), true), firstIndex, blocks_.size() - 1);
    const double firstTop = topOf(firstIndex), lastTop = topOf(lastIndex);
    int start = blocks_[firstIndex]->range.location;
    int stop = blocks_[lastIndex]->range.end();
    // Inside a long paragraph or table only the lines (rows) near the rectangle count.
    const double margin = kInkMargin;
    const Block& top = blocks_[firstIndex]->caughtUp();
    if (!top.lines.empty()) {
        const auto line = std::partition_point(top.lines.begin(), top.lines.end(), [&](const Line& l) {
            return firstTop + l.bandBottom < rect.top() - margin;
        });
        if (line != top.lines.end())
            start = std::max(start, line->glyphs.location);
    }
    const Block& bottom = blocks_[lastIndex]->caughtUp();
    if (!bottom.lines.empty()) {
        const auto line = std::partition_point(bottom.lines.begin(), bottom.lines.end(), [&](const Line& l) {
            return lastTop + l.bandTop <= rect.bottom() + margin;
        });
        if (line != bottom.lines.end())
            stop = std::min(stop, line->glyphs.location);
        else if (!bottom.laidOut && !bottom.parts.empty())
            stop = std::min(stop, bottom.lines.back().glyphs.end());  // a long paragraph laid out only this far yet
    }
    return Range::fromTo(start, std::max(start, stop));
}

QRectF LayoutManager::usedRect()
{
    const double height = usedHeight();
    double width = 0;
    for (const auto& b : blocks_)
        if (b->laidOut || !b->parts.empty())
            for (const Line& l : b->lines)
            width = std::max(width, l.usedX + l.usedWidth);
    return QRectF(0, 0, std::max(width, container_.lineFragmentPadding), height);
}

QRectF LayoutManager::extraLineFragmentRect()
{
    if (!storage_)
        return {};
    const U16View text = storage_->string();
    if (!text.empty() && !isParagraphTerminator(text.back()) && text.back() != 0x2028 && text.back() != 0x85)
        return {};
    if (!lazy_)
        ensureLayout();
    const double top = blocks_.empty() ? 0 : totalHeight();
    const Font* f = text.empty() ? nullptr : storage_->font(int(text.size()) - 1);
    const double h = (f ? *f : defaultFont()).lineHeight();
    return QRectF(0, top, container_.width, h);
}

QRectF LayoutManager::caretRect(int index)
{
    if (!lazy_)
        ensureLayout();
    if (!storage_ || storage_->length() == 0 || index >= storage_->length()) {
        const QRectF extra = extraLineFragmentRect();
        if (!extra.isNull())
            return QRectF(container_.lineFragmentPadding, extra.top(), 1, extra.height());
        index = std::max(0, storage_ ? storage_->length() : 0);
        const Line* l = lineForGlyph(index - 1);
        if (!l)
            return {};
        const double top = topOf(blockIndexAt(l->glyphs.location));
        return QRectF(lineX(*l, index), top + l->textTop, 1, l->textHeight);
    }
    const Line* l = lineForGlyph(index);
    if (!l)
        return {};
    const double top = topOf(blockIndexAt(l->glyphs.location));
    return QRectF(lineX(*l, index), top + l->textTop, 1, l->textHeight);
}

void LayoutManager::drawBackground(QPainter& painter, Range glyphs, QPointF origin)
{
    if (!storage_ || blocks_.empty())
        return;
    glyphs = glyphRange(glyphs);
    prepare(glyphs);
    for (size_t bi = blockIndexAt(glyphs.location); bi < blocks_.size(); ++bi) {
        const Block& b = blocks_[bi]->caughtUp();
        if (b.range.location > glyphs.end() || (glyphs.length > 0 && b.range.location >= glyphs.end()))
            break;
        const QPointF at = origin + QPointF(0, topOf(bi));
        // Table cells: background, then the border on each edge that has one;
        // only those that reach the painter's clip (a band of a long page).
        const QRectF clip = painter.hasClipping() ? painter.clipBoundingRect() : QRectF();
        // Cells run down the table row by row: a drawing takes only the rows that reach its area.
        auto cellsFrom = b.cells.begin();
        const double blockTop = topOf(bi);
        if (drawingArea_)
            cellsFrom = std::partition_point(b.cells.begin(), b.cells.end(), [&](const Block::Cell& cell) {
                return cell.rect.bottom() + blockTop < drawingArea_->top() - kInkMargin;
            });
        for (auto it = cellsFrom; it != b.cells.end(); ++it) {
            const Block::Cell& cell = *it;
            if (drawingArea_ && cell.rect.top() + blockTop > drawingArea_->bottom() + kInkMargin)
                break;
            const auto* c = dynamic_cast<const TextTableBlock*>(cell.block.get());
            if (!c || (!clip.isEmpty() && !cell.rect.translated(at).intersects(clip)))
                continue;
            using E = TextTableBlock::Edge;
            using L = TextTableBlock::Layer;
            const QRectF outer = cell.rect.translated(at).adjusted(c->width(L::Margin, E::MinX), c->width(L::Margin, E::MinY),
                                                                   -c->width(L::Margin, E::MaxX), -c->width(L::Margin, E::MaxY));
            if (c->backgroundColor)
                painter.fillRect(outer, resolve(*c->backgroundColor));
            const QColor border = resolve(c->borderColor);
            const double left = c->width(L::Border, E::MinX), top = c->width(L::Border, E::MinY);
            const double right = c->width(L::Border, E::MaxX), bottom = c->width(L::Border, E::MaxY);
            if (top > 0)
                painter.fillRect(QRectF(outer.left(), outer.top(), outer.width(), top), border);
            if (bottom > 0)
                painter.fillRect(QRectF(outer.left(), outer.bottom() - bottom, outer.width(), bottom), border);
            if (left > 0)
                painter.fillRect(QRectF(outer.left(), outer.top() + top, left, outer.height() - top - bottom), border);
            if (right > 0)
                painter.fillRect(QRectF(outer.right() - right, outer.top() + top, right, outer.height() - top - bottom), border);
        }
        b.paintedAt = b.usedAt = paintSerial_;
        for (size_t li = lineToDraw(b, firstLineReaching(b, glyphs.location), blockTop, glyphs.end()); li < b.lines.size();
             li = lineToDraw(b, li + 1, blockTop, glyphs.end())) {
            const Line& l = b.lines[li];
            if (l.glyphs.location >= glyphs.end())
                break;
            const Paragraph& p = b.paragraphs[l.paragraph];
            for (const LinePaint::Fill& f : linePaint(b, li).fills)
                painter.fillRect(f.rect.translated(at), f.color);
            auto fill = [&](Range r, const QColor& color, bool throughEnd) {
                const int from = std::max(r.location, l.glyphs.location);
                const int to = std::min(r.end(), l.glyphs.end());
                if (to <= from)
                    return;
                const double x1 = lineX(l, from);
                const double x2 = (throughEnd && to > p.content.end()) ? l.fragment.right() : lineX(l, std::min(to, p.content.end()));
                painter.fillRect(QRectF(x1, l.textTop, x2 - x1, l.textHeight + l.spacing).translated(at), color);
            };
            if (!highlightedRanges.empty()) {
                auto h = std::lower_bound(highlightedRanges.begin(), highlightedRanges.end(), l.glyphs.location,
                                          [](const Range& r, int at) { return r.end() <= at; });
                for (; h != highlightedRanges.end() && h->location < l.glyphs.end(); ++h)
                    fill(*h, resolve(highlightColor), false);
            }
            for (const Range& s : selectedRanges)
                if (overlaps(s, l.glyphs))
                    fill(s, resolve(selectionColor), true);
        }
    }
    trimPaints();
}

void LayoutManager::drawGlyphs(QPainter& painter, Range glyphs, QPointF origin)
{
    if (!storage_ || blocks_.empty())
        return;
    glyphs = glyphRange(glyphs);
    prepare(glyphs);
    // The pen changes only where the colour does.
    std::optional<QColor> pen;
    for (size_t bi = blockIndexAt(glyphs.location); bi < blocks_.size(); ++bi) {
        const Block& b = blocks_[bi]->caughtUp();
        if (glyphs.length > 0 && b.range.location >= glyphs.end())
            break;
        const QPointF at = origin + QPointF(0, topOf(bi));
        b.paintedAt = b.usedAt = paintSerial_;
        const double blockTop = topOf(bi);
        for (size_t li = lineToDraw(b, firstLineReaching(b, glyphs.location), blockTop, glyphs.end()); li < b.lines.size();
             li = lineToDraw(b, li + 1, blockTop, glyphs.end())) {
            const Line& l = b.lines[li];
            if (l.glyphs.location >= glyphs.end())
                break;
            const LinePaint& paint = linePaint(b, li);
            auto stroke = paint.strokes.begin();
            for (; stroke != paint.strokes.end() && stroke->after == 0; ++stroke)
                painter.fillRect(stroke->rect.translated(at), stroke->color);
            for (size_t gi = 0; gi < paint.glyphs.size(); ++gi) {
                const LinePaint::Glyphs& g = paint.glyphs[gi];
                if (pen != g.color) {
                    painter.setPen(g.color);
                    pen = g.color;
                }
                painter.drawGlyphRun(at + QPointF(0, -g.offset), g.run);
                for (; stroke != paint.strokes.end() && stroke->after == gi + 1; ++stroke)
                    painter.fillRect(stroke->rect.translated(at), stroke->color);
            }
            for (; stroke != paint.strokes.end(); ++stroke)
                painter.fillRect(stroke->rect.translated(at), stroke->color);
        }
    }
    trimPaints();
}

const LayoutManager::LinePaint& LayoutManager::linePaint(const Block& b, size_t index)
{
    if (b.paints.size() != b.lines.size())
        b.paints.resize(b.lines.size());
    std::unique_ptr<LinePaint>& kept = b.paints[index];
    if (kept && kept->appearance == appearance) {
        if (!b.parts.empty())
            lineLayout(b, b.lines[index]);  // its part is in use: keep its layout for the places asked of the line
        return *kept;
    }
    if (kept) {
        b.paintBytes -= kept->bytes;
        kept.reset();
    }
    auto paint = std::make_unique<LinePaint>();
    paint->appearance = appearance;
    const Line& l = b.lines[index];
    const Paragraph& p = b.paragraphs[l.paragraph];

    storage_->enumerateAttribute(AttributeKey::BackgroundColor, l.glyphs, [&](const AttributeValue* v, Range run) {
        const SharedValue<Color>* shared = v ? std::get_if<SharedValue<Color>>(v) : nullptr;
        const Color* c = shared ? shared->get() : nullptr;
        const int from = std::max(run.location, l.glyphs.location);
        const int to = std::min(run.end(), l.glyphs.end());
        if (!c || to <= from)
            return;
        const double x1 = lineX(l, from);
        const double x2 = lineX(l, std::min(to, p.content.end()));
        paint->fills.push_back({QRectF(x1, l.textTop, x2 - x1, l.textHeight + l.spacing), resolve(*c)});
    });

    const QColor defaultColor = resolve(Color::text());
    const LineLayout layout = lineLayout(b, l);
    const QTextLine& line = layout.line;
    const Range content = intersection(l.glyphs, p.content);
    storage_->enumerateRuns(content, [&](const Attributes& a, Range run) {
        const Color* fg = a.color(AttributeKey::ForegroundColor);
        const QColor color = fg ? resolve(*fg) : defaultColor;
        if (color.alpha() == 0)
            return;
        const double offset = a.number(AttributeKey::BaselineOffset).value_or(0);
        const int local = run.location - layout.start;
        if (!inkless(substring(storage_->string(), run)))
            for (const QGlyphRun& g : line.glyphRuns(local, run.length)) {
                // Glyphs drawn one after another in one font, colour and place make one
                // run: the same pixels, blended in the same order, with one call to Qt.
                LinePaint::Glyphs* previous = paint->glyphs.empty() ? nullptr : &paint->glyphs.back();
                const bool struckSince = !paint->strokes.empty() && paint->strokes.back().after == paint->glyphs.size();
                if (previous && !struckSince && previous->color == color && previous->offset == offset
                    && previous->run.flags() == g.flags() && previous->run.rawFont() == g.rawFont()) {
                    previous->run.setGlyphIndexes(previous->run.glyphIndexes() + g.glyphIndexes());
                    previous->run.setPositions(previous->run.positions() + g.positions());
                    previous->run.setBoundingRect(previous->run.boundingRect().united(g.boundingRect()));
                } else {
                    paint->glyphs.push_back({g, color, offset});
                }
            }
        const bool underline = a.number(AttributeKey::Underline).value_or(0) != 0;
        const bool strike = a.number(AttributeKey::Strikethrough).value_or(0) != 0;
        if (underline || strike) {
            const Font* f = a.font();
            const QFontMetricsF fm(qtFont(f ? *f : defaultFont(), 0));
            const double x1 = line.cursorToX(local);
            const double x2 = line.cursorToX(local + run.length);
            const double baseline = l.baseline + l.fragment.top() - offset;
            const double thickness = std::max(1.0, fm.lineWidth());
            const size_t after = paint->glyphs.size();
            if (underline)
                paint->strokes.push_back({QRectF(x1, baseline + fm.underlinePos() - thickness / 2, x2 - x1, thickness), color, after});
            if (strike)
                paint->strokes.push_back({QRectF(x1, baseline - fm.strikeOutPos() - thickness / 2, x2 - x1, thickness), color, after});
        }
    });

    size_t bytes = sizeof(LinePaint) + paint->fills.size() * sizeof(LinePaint::Fill)
        + paint->strokes.size() * sizeof(LinePaint::Stroke);
    for (const LinePaint::Glyphs& g : paint->glyphs)
        bytes += sizeof(g) + size_t(g.run.glyphIndexes().size()) * (sizeof(quint32) + sizeof(QPointF));
    paint->bytes = bytes;
    b.paintBytes += bytes;
    paintBytes_ += bytes;
    kept = std::move(paint);
    return *kept;
}

LayoutManager::LinePaint* LayoutManager::keptPaint(const Block& b, const Line& l) const
{
    // Any line a caller holds of this block lies in its array; another's does not.
    const std::less<const Line*> before;
    if (b.lines.empty() || before(&l, b.lines.data()) || !before(&l, b.lines.data() + b.lines.size()))
        return nullptr;
    const size_t index = size_t(&l - b.lines.data());
    return index < b.paints.size() ? b.paints[index].get() : nullptr;
}

void LayoutManager::trimPaints()
{
    trimLayouts();
    ++paintSerial_;
    if (paintBytes_ <= paintCacheBudget)
        return;
    // The running count only grows (blocks let go of theirs unseen): counted exactly
    // here, and the drawings least recently used let go down to half the budget.
    std::vector<std::pair<uint64_t, size_t>> painted;
    size_t total = 0;
    for (size_t i = 0; i < blocks_.size(); ++i)
        if (blocks_[i]->paintBytes > 0) {
            total += blocks_[i]->paintBytes;
            painted.push_back({blocks_[i]->paintedAt, i});
        }
    if (total > paintCacheBudget) {
        std::sort(painted.begin(), painted.end());
        for (const auto& [stamp, i] : painted) {
            if (total <= paintCacheBudget / 2)
                break;
            total -= blocks_[i]->paintBytes;
            blocks_[i]->forgetPaint();
        }
    }
    paintBytes_ = total;
}

void LayoutManager::trimLayouts(bool down)
{
    if (!lazy_ || heldCharacters_ <= (down ? layoutCacheCharacters : std::max(layoutCacheCharacters, heldLimit_)))
        return;
    // Counted exactly, and the least recently used blocks (or parts of a long
    // paragraph) let go down to half the budget; what the present query or
    // drawing uses stays, however long.
    constexpr size_t kWhole = SIZE_MAX;
    std::vector<std::tuple<uint64_t, size_t, size_t>> held;  // when used, block, part (or the whole block)
    size_t total = 0;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = *blocks_[i];
        if (b.holdsLayouts && b.parts.empty()) {
            total += size_t(b.range.length);
            held.push_back({b.usedAt, i, kWhole});
        }
        for (size_t k = 0; k < b.parts.size(); ++k)
            if (b.parts[k].layout) {
                total += b.parts[k].held;
                held.push_back({b.parts[k].usedAt, i, k});
            }
    }
    if (total > layoutCacheCharacters) {
        std::sort(held.begin(), held.end());
        for (const auto& [stamp, i, k] : held) {
            if (total <= layoutCacheCharacters / 2 || stamp >= paintSerial_)
                break;
            Block& b = *blocks_[i];
            if (k != kWhole) {
                // Its lines and their kept drawings stay; the layout comes back when asked.
                b.parts[k].layout.reset();
                total -= b.parts[k].held;
                b.parts[k].held = 0;
                continue;
            }
            for (auto& p : b.paragraphs)
                p.layout.reset();
            b.forgetPaint();
            b.holdsLayouts = false;
            total -= size_t(b.range.length);
        }
    }
    heldCharacters_ = total;
    // The walk above visits every block: the next comes only after at least as
    // many characters more, so that laying out a long text (opened, or pasted)
    // pays for its walks in proportion to its length.
    heldLimit_ = total + std::max(layoutCacheCharacters / 2, blocks_.size());
}

void LayoutManager::letGoOfRestored(const std::optional<QRectF>& area)
{
    if (keepsLayouts)
        return;
    // A paragraph that runs on below the area drawn keeps its layout for the
    // next band down: a tall table cell's one paragraph would be laid out again,
    // whole, for every band it reaches.
    const double below = area ? area->bottom() + kInkMargin : -HUGE_VAL;
    std::erase_if(restored_, [&](const Restored& restored) {
        if (restored.bottom > below)
            return false;
        restored.layout->reset();
        return true;
    });
}

size_t LayoutManager::layoutCacheCharactersHeld() const
{
    size_t total = 0;
    for (const auto& b : blocks_)
        total += heldBy(*b);
    return total;
}

size_t LayoutManager::paintCacheBytes() const
{
    size_t total = 0;
    for (const auto& b : blocks_)
        total += b->paintBytes;
    return total;
}

void LayoutManager::draw(QPainter& painter, const QRectF& rect, QPointF origin)
{
    const Range glyphs = glyphRange(rect);
    drawingArea_ = rect;
    drawBackground(painter, glyphs, origin);
    drawGlyphs(painter, glyphs, origin);
    drawingArea_.reset();
    letGoOfRestored(rect);
}

} // namespace velkin
