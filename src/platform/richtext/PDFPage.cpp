#include "platform/richtext/PDFPage.h"

#include "platform/FilePath.h"
#include "platform/OutputFile.h"
#include "platform/richtext/DocumentCopy.h"
#include "platform/richtext/ItemNumbers.h"
#include "platform/richtext/PixelLengths.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/richtext/TableParts.h"
#include "platform/richtext/WideTables.h"
#include "platform/text/TextOps.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <unicode/uchar.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace velkin::PDFPage {

namespace {

bool isColourEmoji(QStringView cluster)
{
    if (cluster.isEmpty())
        return false;
    const char32_t first = QStringView(cluster).toUcs4().value(0);
    if (u_hasBinaryProperty(UChar32(first), UCHAR_EMOJI_PRESENTATION))
        return true;
    return cluster.contains(QChar(0xFE0F)) && u_hasBinaryProperty(UChar32(first), UCHAR_EMOJI);
}

QImage emojiPicture(const QString& cluster)
{
    // Drawn large so that it stays sharp when the PDF is zoomed.
    QFont font(QStringLiteral("Noto Color Emoji"));
    font.setPixelSize(109);
    const QFontMetricsF metrics(font);
    const double width = std::max(1.0, metrics.horizontalAdvance(cluster));
    QImage image(QSize(int(std::ceil(width)), int(std::ceil(metrics.height()))), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(QPointF(0, metrics.ascent()), cluster);
    painter.end();
    return image;
}

// An emoji's height in points for each point of its text's size: its picture
// (the emoji font's ascent and descent) stands on the baseline, and at this
// height reaches no higher than the text does, leaving the line as tall.
constexpr double kEmojiHeight = 0.8775;

struct EmojiRun {
    int position;
    int length;
    QString cluster;
    double size;
};

// A table that would straddle a page boundary but fits on one page starts on
// the next page, as the page's print style asks; Qt would otherwise split its
// rows and leave a picture's cell empty on one page and full on the next.
bool straddles(QAbstractTextDocumentLayout* layout, QTextTable* table, double pageHeight)
{
    // A part of a taller table breaks where the whole table would.
    if (TableParts::isPart(*table))
        return false;
    const QRectF box = layout->frameBoundingRect(table);
    if (box.height() >= pageHeight || box.height() <= 0)
        return false;
    return int(box.top() / pageHeight) != int((box.bottom() - 0.5) / pageHeight);
}

std::vector<QTextTable*> tablesOf(const QTextDocument& document)
{
    std::vector<QTextTable*> tables;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            tables.push_back(table);
    return tables;
}

// The break goes after the block before the table, so that none of the
// table's frame stays behind at the foot of the page. Qt lays out an empty
// block right after a table as nothing, its break too: a table just below
// another (the next columns of a wide one) takes the break itself.
void breakBefore(QTextDocument& document, QTextTable* table)
{
    const QTextBlock before = document.findBlock(table->firstPosition() - 1);
    if (!before.isValid() || before.position() >= table->firstPosition())
        return;
    QTextCursor above(&document);
    above.setPosition(std::max(0, before.position() - 1));
    if (before.length() == 1 && above.currentTable() && above.currentTable()->lastPosition() == before.position() - 1) {
        QTextTableFormat format = table->format();
        format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
        table->setFormat(format);
        return;
    }
    QTextCursor cursor(before);
    QTextBlockFormat format = before.blockFormat();
    format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysAfter);
    cursor.setBlockFormat(format);
}

void keepTablesTogether(QTextDocument& document, double pageHeight)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextTable* table : tablesOf(document))
        if (straddles(layout, table, pageHeight))
            breakBefore(document, table);
}


// Each break laid out the whole rest of the document again, which made a
// document of many tables cost its tables times its length. After a break the
// table starts a page, and what follows it lies as if the document began
// there: so the next break is found in a copy of only the stretch from the
// last break on, a few tables at a time, and all breaks are made at once.
// A few large tables (the column groups of a wide one) cost so as much as many
// small ones. The stretch starts at two tables and doubles until one moves:
// a table that fills most of a page moves the next.
constexpr size_t kManyTables = 32;
constexpr long long kManyCells = 4096;
constexpr size_t kFirstStretch = 1;

void keepManyTablesTogether(QTextDocument& document, QPaintDevice* device, QSizeF page)
{
    const std::vector<QTextTable*> tables = tablesOf(document);
    long long cells = 0;
    for (const QTextTable* table : tables)
        cells += (long long)table->rows() * table->columns();
    if (tables.size() <= kManyTables && cells <= kManyCells) {
        keepTablesTogether(document, page.height());
        return;
    }
    // Up to the first break, the document's own layout holds.
    size_t first = 0;  // the first table of the stretch
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    while (first < tables.size() && !straddles(layout, tables[first], page.height()))
        ++first;
    if (first == tables.size())
        return;
    std::vector<QTextTable*> moved{tables[first]};
    int start = tables[first]->firstPosition() - 1;  // where the stretch begins, at the top of a page
    for (size_t count = kFirstStretch + 1; first < tables.size();) {
        const size_t end = std::min(tables.size(), first + count);
        QTextCursor selection(&document);
        selection.setPosition(start);
        selection.setPosition(tables[end - 1]->lastPosition() + 1, QTextCursor::KeepAnchor);
        // Laid out once, on the page: a copy without a page size is not laid out.
        DocumentCopy stretch(document);
        stretch.setPageSize(QSizeF(0, 0));
        stretch.documentLayout()->setPaintDevice(device);
        QTextCursor(&stretch).insertFragment(selection.selection());
        stretch.setPageSize(page);
        const std::vector<QTextTable*> copies = tablesOf(stretch);
        if (copies.size() != end - first) {
            // Not a faithful copy: find the breaks the slow way.
            keepTablesTogether(document, page.height());
            return;
        }
        // The moved table heading the stretch is not moved again.
        size_t k = 1;
        while (k < copies.size() && !straddles(stretch.documentLayout(), copies[k], page.height()))
            ++k;
        if (k < copies.size()) {
            moved.push_back(tables[first + k]);
            start = tables[first + k]->firstPosition() - 1;
            first += k;
            count = kFirstStretch + 1;
        } else if (end == tables.size()) {
            break;
        } else {
            count *= 2;
        }
    }
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextTable* table : moved)
        breakBefore(document, table);
    cursor.endEditBlock();
    // Where a copy was laid out otherwise than the document, the slow way
    // catches what is left.
    keepTablesTogether(document, page.height());
}

// Qt's word wrapping measures an unbreakable stretch to its end for every line
// it fills from it, so a stretch of n characters costs n squared. Inside a
// stretch longer than this, an invisible break opportunity (a zero-width
// space) stands after every few characters, and the lines fill as before.
constexpr int kLongUnbreakable = 512;
constexpr int kBreakEvery = 8;

// Puts `mark` in at the places `placesIn` names in each paragraph, all in one
// edit: the layout looks at the document once, afterwards.
void insertInParagraphs(QTextDocument& document, QChar mark,
                        const std::function<std::vector<int>(const QTextBlock&)>& placesIn)
{
    QTextCursor cursor(&document);
    bool editing = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const std::vector<int> places = placesIn(block);
        if (places.empty())
            continue;
        if (!editing) {
            cursor.beginEditBlock();
            editing = true;
        }
        // From the end, so that the earlier places stay where they are.
        for (auto at = places.rbegin(); at != places.rend(); ++at) {
            cursor.setPosition(block.position() + *at);
            cursor.insertText(QString(mark));
        }
    }
    if (editing)
        cursor.endEditBlock();
}

void breakLongStretches(QTextDocument& document)
{
    insertInParagraphs(document, QChar(0x200B), [](const QTextBlock& block) {
        std::vector<int> inserts;
        const QString text = block.text();
        if (text.size() <= kLongUnbreakable)
            return inserts;
        QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        const auto breakUp = [&](qsizetype from, qsizetype to) {
            if (to - from <= kLongUnbreakable)
                return;
            graphemes.setPosition(from);
            int count = 0;
            for (qsizetype at = graphemes.toNextBoundary(); at >= 0 && at < to; at = graphemes.toNextBoundary())
                if (++count % kBreakEvery == 0)
                    inserts.push_back(int(at));
        };
        // Qt's finder gives no boundary after a line break, which ends a
        // stretch all the same: lines parted only by breaks are no stretch.
        qsizetype from = 0;
        qsizetype lineBreak = text.indexOf(QChar::LineSeparator);
        for (qsizetype to = lines.toNextBoundary(); to >= 0; from = to, to = lines.toNextBoundary()) {
            for (; lineBreak >= 0 && lineBreak < to; lineBreak = text.indexOf(QChar::LineSeparator, from)) {
                breakUp(from, lineBreak + 1);
                from = lineBreak + 1;
            }
            breakUp(from, to);
        }
        return inserts;
    });
}

// The document sizes its pictures in points, as RTF carries them; Qt lays a
// picture out at its format's size taken as a length in pixels, which on the
// page is three quarters as many points. Each picture is given the pixel size
// that the page lays out as its size in points (one without a size, its
// picture's), before anything measures rows or pages.
void picturesInPoints(QTextDocument& document, const QPaintDevice* device)
{
    struct Picture {
        int position;
        int length;
        QTextImageFormat format;
    };
    std::vector<Picture> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QTextFragment fragment = it.fragment(); fragment.isValid() && fragment.charFormat().isImageFormat())
                pictures.push_back({fragment.position(), fragment.length(), fragment.charFormat().toImageFormat()});
    if (pictures.empty())
        return;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (Picture& picture : pictures) {
        QSizeF size(picture.format.width(), picture.format.height());
        const bool wide = picture.format.hasProperty(QTextFormat::ImageWidth);
        const bool high = picture.format.hasProperty(QTextFormat::ImageHeight);
        if (!wide || !high) {
            const QSizeF own = RichTextImport::pictureSize(document, picture.format.name());
            if (own.isEmpty())
                continue;
            // As Qt fills in a missing side: by the picture's proportions.
            if (!wide && !high)
                size = own;
            else if (!wide)
                size.setWidth(size.height() * own.width() / own.height());
            else
                size.setHeight(size.width() * own.height() / own.width());
        }
        picture.format.setWidth(PixelLengths::forUnits(size.width(), device));
        picture.format.setHeight(PixelLengths::forUnits(size.height(), device));
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
    cursor.endEditBlock();
}

// Qt may end a line after a slash within a word ("bugs/" above "reviews"),
// which in a table cell breaks a word the column was made wide enough to
// hold. An invisible word joiner (U+FEFF, which the fonts carry) after each
// such slash keeps the word whole; a word wider than its column still
// breaks, anywhere.
void keepCellWordsWhole(QTextDocument& document)
{
    insertInParagraphs(document, QChar(0xFEFF), [&document](const QTextBlock& block) {
        std::vector<int> after;
        const QString text = block.text();
        if (!text.contains(u'/') || !qobject_cast<QTextTable*>(document.frameAt(block.position())))
            return after;
        for (int k = 1; k + 1 < int(text.size()); ++k)
            if (text[k] == u'/' && !text[k - 1].isSpace() && !text[k + 1].isSpace() && text[k + 1] != u'/')
                after.push_back(k + 1);
        return after;
    });
}

// Qt sets a table's rows on whole points of the device, and a cell's text
// half its top border below its top padding, as it does on a new page under
// the header's border. The parts of a row cut at its lines after the first
// (see PageImport), with no border above, would so stand higher by that
// fraction of a point than their first lines should, closer to the lines
// above them than a line's height: they keep its room.
void continuedPartsUnderHalfABorder(QTextDocument& document)
{
    QTextCursor cursor(&document);
    bool editing = false;
    for (QTextTable* table : tablesOf(document))
        for (int r = 1; r < table->rows(); ++r) {
            const QTextTableCellFormat first = table->cellAt(r, 0).format().toTableCellFormat();
            if (first.hasProperty(QTextFormat::TableCellTopBorder) || first.topPadding() != 0)
                continue;
            if (!editing) {
                cursor.beginEditBlock();
                editing = true;
            }
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                QTextTableCellFormat format = cell.format().toTableCellFormat();
                format.setTopPadding(format.leftBorder() / 2);
                format.setProperty(TableParts::kRowPart, true);
                cell.setFormat(format);
            }
        }
    if (editing)
        cursor.endEditBlock();
}

// Qt sets each line as tall as the fonts on it, and a line that ends in a
// line break holds the break. The last line of a paragraph parted by breaks
// holds none: a line of code spans there was set by its own smaller font,
// most of a point higher and closer to the line above than the lines above
// are to each other. An invisible mark in the last break's format starts such
// a line, so that it is set as those above it; and the one line of a row's
// last part, in the format of the mark that ended the part before
// (TableParts::kCutBreak).
void lastLinesAsTallAsTheirBreaks(QTextDocument& document)
{
    // The format the block's last line is to be set in, and where the line starts.
    const auto breakBefore = [&](const QTextBlock& block) -> std::optional<std::pair<QTextCharFormat, int>> {
        const QString text = block.text();
        if (const qsizetype lastBreak = text.lastIndexOf(QChar::LineSeparator); lastBreak >= 0)
            return std::pair{TableParts::formatAt(block, block.position() + int(lastBreak)), int(lastBreak) + 1};
        auto* table = qobject_cast<QTextTable*>(document.frameAt(block.position()));
        const QTextTableCell cell = table ? table->cellAt(block.position()) : QTextTableCell();
        if (!cell.isValid() || cell.row() == 0 || cell.firstPosition() != block.position()
            || !cell.format().hasProperty(TableParts::kRowPart))
            return std::nullopt;
        const QTextBlock above = table->cellAt(cell.row() - 1, cell.column()).lastCursorPosition().block();
        if (!above.text().endsWith(TableParts::kCutBreak))
            return std::nullopt;
        return std::pair{TableParts::formatAt(above, above.position() + above.length() - 2), 0};
    };
    QTextCursor cursor(&document);
    bool editing = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const auto line = breakBefore(block);
        if (!line)
            continue;
        const auto& [format, start] = *line;
        bool held = false;
        for (auto it = block.begin(); !it.atEnd() && !held; ++it) {
            const QTextFragment piece = it.fragment();
            held = piece.isValid() && piece.position() + piece.length() > block.position() + start
                   && piece.charFormat() == format;
        }
        if (held || block.length() - 1 == start)
            continue;
        if (!editing) {
            cursor.beginEditBlock();
            editing = true;
        }
        cursor.setPosition(block.position() + start);
        cursor.insertText(QString(QChar(0x200B)), format);
    }
    if (editing)
        cursor.endEditBlock();
}

// A PDF link's address is written into the file as it stands: every byte
// outside plain URI characters (parentheses, backslashes, blanks, anything
// beyond ASCII) is percent-encoded, so that no address can break the file.
bool isPlainUriByte(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case ':': case '/': case '?': case '#': case '[': case ']': case '@':
    case '!': case '$': case '&': case '\'': case '*': case '+': case ',': case ';': case '=': case '%':
        return true;
    default:
        return false;
    }
}

// Splits `block` where each of `splits` (offsets in the block, ascending)
// starts a line, so that its lines lie as they did: every part but the first
// starts flush with no space above, every part but the last ends with no space
// below, and the later parts of a list item stand at its text's indent without
// a marker of their own.
void splitBlock(QTextCursor& cursor, const QTextBlock& block, const std::vector<int>& splits)
{
    const QTextBlockFormat whole = block.blockFormat();
    const QTextCharFormat characters = block.charFormat();
    const QString text = block.text();
    const int start = block.position();
    QTextBlockFormat inner = whole;
    inner.setTopMargin(0);
    inner.setTextIndent(0);
    inner.setPageBreakPolicy(whole.pageBreakPolicy() & ~QTextFormat::PageBreak_AlwaysBefore);
    if (const QTextList* list = block.textList()) {
        inner.setObjectIndex(-1);
        inner.setIndent(whole.indent() + list->format().indent());
    }
    QTextBlockFormat last = inner;
    inner.setBottomMargin(0);
    // Each split lets go of the block's layout, which goes over all of its old
    // lines: let go of them once, here, or a paragraph of many pages costs its
    // lines times its pages. The whole document is laid out afresh afterwards.
    if (QTextLayout* layout = block.layout())
        layout->clearLayout();
    inner.setPageBreakPolicy(inner.pageBreakPolicy() & ~QTextFormat::PageBreak_AlwaysAfter);
    // From the end, so that earlier positions stay where they are.
    for (auto at = splits.rbegin(); at != splits.rend(); ++at) {
        cursor.setPosition(start + *at);
        // A line break ending the line before gives way to the split, or the part would end in an empty line.
        if (*at > 0 && text[*at - 1] == QChar::LineSeparator)
            cursor.deletePreviousChar();
        cursor.insertBlock(at == splits.rbegin() ? last : inner, characters);
    }
    QTextBlockFormat first = whole;
    first.setBottomMargin(0);
    first.setPageBreakPolicy(whole.pageBreakPolicy() & ~QTextFormat::PageBreak_AlwaysAfter);
    cursor.setPosition(start);
    cursor.setBlockFormat(first);
}

// Qt draws a paragraph by going over all of its text for every page it is on,
// so a paragraph of many pages costs its length times its pages. A paragraph
// of more than kLongParagraphLines lines becomes consecutive paragraphs of
// kParagraphPartLines lines each, split where its lines start: its lines, and
// so its pages, stay as they were. Justified paragraphs, whose last line is
// set differently, and paragraphs in lists or tables are left whole.
constexpr int kLongParagraphLines = 240;
constexpr int kParagraphPartLines = 120;

// Where a long paragraph, laid out, is to be split; nothing for any other.
std::vector<int> longParagraphSplits(const QTextDocument& document, const QTextBlock& block)
{
    std::vector<int> splits;
    const QTextLayout* lines = block.layout();
    // A line holds at least one character: a shorter paragraph cannot be long.
    if (block.length() <= kLongParagraphLines || !lines || lines->lineCount() <= kLongParagraphLines
        || block.textList() || document.frameAt(block.position()) != document.rootFrame()
        || (block.blockFormat().alignment() & Qt::AlignJustify))
        return splits;
    for (int line = kParagraphPartLines; line + kParagraphPartLines / 2 < lines->lineCount(); line += kParagraphPartLines)
        splits.push_back(lines->lineAt(line).textStart());
    return splits;
}

// Qt's relayout after an edit moves the paragraphs below it without laying
// them out again, so they may cross page feet where a whole layout would not,
// and after many splits it loses some: the document is laid out anew, whole.
void layOutAfresh(QTextDocument& document)
{
    document.markContentsDirty(0, document.characterCount());
    document.documentLayout()->documentSize();
}

// Every paragraph keeps the glyphs its layouts shape, so that printing does
// not shape each line again. They go with the document. A table cell's few
// glyphs hold a shaping's whole bookkeeping, hundreds of bytes a cell, until
// the last page is printed: past kShapedCells cells in all, which hold at most
// a few megabytes, cells are shaped again when drawn instead.
constexpr long long kShapedCells = 4096;

void keepShapedText(QTextDocument& document)
{
    // The tables' spans, in document order (a nested table lies in its table's).
    std::vector<std::pair<int, int>> tables;
    long long cells = 0;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            tables.emplace_back(frame->firstPosition(), frame->lastPosition());
            cells += (long long)table->rows() * table->columns();
        }
    if (cells <= kShapedCells)
        tables.clear();
    auto table = tables.begin();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        while (table != tables.end() && table->second < block.position())
            ++table;
        if (table == tables.end() || block.position() < table->first)
            block.layout()->setCacheEnabled(true);
    }
}

// Long paragraphs split where their lines start, in one edit; the parts lie as
// the paragraphs did. False when there is none.
bool splitLongParagraphs(QTextDocument& document)
{
    // Every paragraph laid out, not only those asked for so far.
    document.documentLayout()->documentSize();
    std::vector<std::pair<QTextBlock, std::vector<int>>> longOnes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (std::vector<int> splits = longParagraphSplits(document, block); !splits.empty())
            longOnes.emplace_back(block, std::move(splits));
    if (longOnes.empty())
        return false;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (auto it = longOnes.rbegin(); it != longOnes.rend(); ++it)
        splitBlock(cursor, it->first, it->second);
    cursor.endEditBlock();
    layOutAfresh(document);
    return true;
}

// A line of a paragraph that starts on one page and ends on the next.
bool crossesFoot(double top, double height, double pageHeight)
{
    // A line taller than a page crosses a foot wherever it stands: it is let be.
    if (height >= pageHeight)
        return false;
    const double foot = (std::floor(top / pageHeight) + 1) * pageHeight;
    return top + height > foot + 0.01;
}

// A laid-out paragraph and where its layout stands on the pages' canvas; its
// lines lie below that by their own y.
struct Placed {
    QTextBlock block;
    QPointF origin;
};

// Whether Qt lays the paragraph out as nothing: an empty one right before or
// after a table, which it sets inside the table's box, across a page foot as
// like as not, whatever is done to it.
bool laidOutAsNothing(QTextDocument& document, const QTextBlock& block)
{
    if (block.length() != 1)
        return false;
    QTextCursor around(&document);
    if (block.position() + 1 < document.characterCount()) {
        around.setPosition(block.position() + 1);
        if (const QTextTable* below = around.currentTable(); below && below->firstPosition() == block.position() + 1)
            return true;
    }
    if (block.position() == 0)
        return false;
    around.setPosition(block.position() - 1);
    const QTextTable* above = around.currentTable();
    return above && above->lastPosition() == block.position() - 1;
}

// Every visible paragraph with lines from `from` on, placed, added to `placed`.
void place(QTextDocument& document, QTextBlock from, std::vector<Placed>& placed)
{
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    for (QTextBlock block = from; block.isValid(); block = block.next())
        if (block.isVisible() && block.layout() && block.layout()->lineCount() > 0 && !laidOutAsNothing(document, block))
            placed.push_back({block, layout->blockBoundingRect(block).topLeft()});
}

// The first of the placed paragraphs from `from` on with a line across a page
// foot, or their count.
size_t firstAcrossFoot(const std::vector<Placed>& placed, size_t from, double pageHeight)
{
    for (size_t k = from; k < placed.size(); ++k) {
        const QTextLayout* lines = placed[k].block.layout();
        for (int i = 0; i < lines->lineCount(); ++i)
            if (crossesFoot(placed[k].origin.y() + lines->lineAt(i).y(), lines->lineAt(i).height(), pageHeight))
                return k;
    }
    return placed.size();
}

// Qt can set the first line of a paragraph right after a table across a
// page foot, where a fresh layout leaves it too, and count the page after it
// as one the document takes: the line is then drawn cut at the foot, and that
// page is left empty. Such a paragraph is given the room above it that starts
// it on the next page, as any other paragraph whose first line would cross
// the foot starts there. True when it was.
bool startsNextPage(QTextDocument& document, const Placed& paragraph, double pageHeight)
{
    const QTextBlock& block = paragraph.block;
    const QTextLine first = block.layout()->lineAt(0);
    const double top = paragraph.origin.y() + first.y();
    if (!crossesFoot(top, first.height(), pageHeight) || document.frameAt(block.position()) != document.rootFrame())
        return false;
    // Qt counts the larger of this paragraph's top margin and the one above's
    // bottom margin, scaled as a length in pixels.
    const QTextBlock above = block.previous();
    const double collapsed = std::max(
        block.blockFormat().topMargin(),
        above.isValid() && document.frameAt(above.position()) == document.rootFrame() ? above.blockFormat().bottomMargin() : 0);
    const double scale = PixelLengths::scale(document.documentLayout()->paintDevice());
    const double foot = (std::floor(top / pageHeight) + 1) * pageHeight;
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(std::max(0.0, collapsed) + (foot - top) / scale);
    QTextCursor(block).setBlockFormat(format);
    return true;
}

// Qt's first layout of a document, and its relayout after an edit, can
// leave a line across a page foot, where laying the document out again moves
// it to the next page. Each such paragraph is laid out again where it stands,
// which moves what follows it; past a few, the document is laid out anew,
// whole. Either way the lines lie as in a whole layout of the document.
// The paragraphs as they are then placed.
constexpr int kFewFeetCrossed = 8;

std::vector<Placed> layOutOverFeet(QTextDocument& document, double pageHeight)
{
    document.documentLayout()->documentSize();
    std::vector<Placed> placed;
    place(document, document.begin(), placed);
    size_t crossing = firstAcrossFoot(placed, 0, pageHeight);
    int laidOutAgain = -1;  // the paragraph last laid out again where it stands
    for (int round = 0; crossing < placed.size(); ++round) {
        if (round == kFewFeetCrossed) {
            layOutAfresh(document);
            placed.clear();
            place(document, document.begin(), placed);
            break;
        }
        const QTextBlock block = placed[crossing].block;
        // One that stays across the foot when laid out again is moved.
        if (block.position() != laidOutAgain || !startsNextPage(document, placed[crossing], pageHeight))
            document.markContentsDirty(block.position(), block.length());
        laidOutAgain = block.position();
        document.documentLayout()->documentSize();
        // What stands above the paragraph stays where it was.
        placed.resize(crossing);
        place(document, block, placed);
        crossing = firstAcrossFoot(placed, crossing, pageHeight);
    }
    return placed;
}

// Lines of a paragraph that this page draws itself: [from, to) of its layout.
struct OwnLines {
    QTextBlock block;
    QPointF origin;  // where the block's layout stands on the page's canvas
    int from;
    int to;
};

// What a page draws otherwise than Qt would: paragraphs hidden from Qt's
// drawing, and the lines it draws of them itself.
struct PageFeet {
    std::vector<QTextBlock> hidden;
    std::vector<OwnLines> lines;
};

// Where a frame stands, but for whole points. Qt gives a table's box from its
// first cell's text, which stands the cell's padding and, where borders
// collapse, half its border below the table's first row. Its rows stand on
// whole points from the table's top, or, once Qt has moved one to a page's
// top, from the page's: where the first row was so moved, the table's height,
// which ends with its rows, shows the table's fraction of a point instead.
QPointF frameOrigin(QTextFrame* frame, QAbstractTextDocumentLayout& layout)
{
    const QRectF box = layout.frameBoundingRect(frame);
    const auto* table = qobject_cast<QTextTable*>(frame);
    if (!table || table->rows() == 0 || table->columns() == 0)
        return box.topLeft();
    const QTextTableCellFormat cell = table->cellAt(0, 0).format().toTableCellFormat();
    const bool collapse = table->format().borderCollapse();
    const auto inset = [&](QTextFormat::Property padding, QTextFormat::Property border, QTextFormat::Property style) {
        const double room = cell.hasProperty(padding) ? cell.doubleProperty(padding) : table->format().cellPadding();
        const bool drawn = collapse && cell.intProperty(style) != QTextFrameFormat::BorderStyle_None;
        return room + (drawn ? cell.doubleProperty(border) / 2 : 0);
    };
    const double scale = PixelLengths::scale(layout.paintDevice());
    const double left = box.left() - scale * inset(QTextFormat::TableCellLeftPadding, QTextFormat::TableCellLeftBorder,
                                                   QTextFormat::TableCellLeftBorderStyle);
    double top = box.top() - scale * inset(QTextFormat::TableCellTopPadding, QTextFormat::TableCellTopBorder,
                                           QTextFormat::TableCellTopBorderStyle);
    const auto fraction = [](double y) { return y - std::floor(y); };
    if (fraction(top) < 0.001 || fraction(top) > 0.999)
        top -= fraction(box.height());
    return {left, top};
}

// Where Qt draws a paragraph laid out at `origin`: it draws each frame at its
// place rounded to whole points from where the frame around it is drawn, so a
// paragraph of a table cell may be drawn up to half a point off its layout.
QPointF drawnOrigin(const QTextBlock& block, QPointF origin)
{
    const QTextDocument& document = *block.document();
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    std::vector<QTextFrame*> frames;
    for (QTextFrame* frame = document.frameAt(block.position()); frame; frame = frame->parentFrame())
        frames.push_back(frame);
    QPointF laid;
    QPointF drawn;
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
        const QPointF at = frameOrigin(*frame, layout);
        drawn = QPointF((drawn + at - laid).toPoint());
        laid = at;
    }
    return origin + drawn - laid;
}

// Where a part of a row cut at its lines (see PageImport) is followed by
// another part: the next part's first line's top, and how far the lines the
// part carried onto that page are to be drawn below where Qt sets them. Qt
// sets lines carried onto a new page from the page's top, and the next part's
// from the table's rows, which stand on whole points: the two would meet up to
// a point off the lines' pitch. The carried lines are drawn so that the part's
// last line ends where the next part's first line starts, as the cut mark's
// height has it where the two meet on one page. Every column of the row is
// moved alike, so that its lines stay level.
struct PartJoin {
    double top = 0;
    double shift = 0;
};

std::optional<PartJoin> joinToNextPart(const QTextBlock& block)
{
    auto* table = qobject_cast<QTextTable*>(block.document()->frameAt(block.position()));
    if (!table)
        return std::nullopt;
    const int row = table->cellAt(block.position()).row();
    if (row < 0 || row + 1 >= table->rows() || !table->cellAt(row + 1, 0).format().hasProperty(TableParts::kRowPart))
        return std::nullopt;
    QAbstractTextDocumentLayout& layout = *block.document()->documentLayout();
    // Measured in a column that goes on into the next part.
    for (int c = 0; c < table->columns(); ++c) {
        const QTextBlock last = table->cellAt(row, c).lastCursorPosition().block();
        const QTextBlock next = table->cellAt(row + 1, c).firstCursorPosition().block();
        if (!last.text().endsWith(TableParts::kCutBreak) || !last.layout() || last.layout()->lineCount() == 0
            || !next.layout() || next.layout()->lineCount() == 0)
            continue;
        const QTextLine end = last.layout()->lineAt(last.layout()->lineCount() - 1);
        const double bottom = layout.blockBoundingRect(last).top() + end.y() + end.height();
        const double top = layout.blockBoundingRect(next).top() + next.layout()->lineAt(0).y();
        // Off by Qt's rounding, or not at all; a next part set elsewhere is not followed.
        if (std::abs(top - bottom) < 0.001 || std::abs(top - bottom) >= 1)
            return std::nullopt;
        return PartJoin{top, top - bottom};
    }
    return std::nullopt;
}

// On each page Qt also draws the last line above the page of a paragraph that
// goes on from the page before, and the last line of one whose box reaches a
// point into the page: unseen, clipped away, yet in the file, so a reader who
// copies the text gets that line twice. So on every page but its first, such
// a paragraph is hidden from Qt and its lines on that page are drawn here.
// A page is drawn clipped a point short of its foot: a line that starts in
// that point belongs to the next page.
std::vector<PageFeet> pageFeet(const std::vector<Placed>& placed, double pageHeight, int pages)
{
    std::vector<PageFeet> feet(size_t(std::max(pages, 0)));
    const auto page = [pageHeight](double y) { return int(std::floor((y + 1) / pageHeight)); };
    for (const auto& [block, origin] : placed) {
        const QTextLayout* lines = block.layout();
        const int count = lines->lineCount();
        const int first = page(origin.y() + lines->lineAt(0).y());
        const int last = page(origin.y() + lines->lineAt(count - 1).y());
        // Qt draws the block on every page whose clipped area its box meets.
        const QRectF box = lines->boundingRect().translated(origin);
        const int drawnFrom = int(std::floor((box.top() + 1) / pageHeight));
        const int drawnTo = int(std::floor(box.bottom() / pageHeight));
        // A part's lines set from a page's top are drawn here, where they meet the next part.
        const std::optional<PartJoin> join = joinToNextPart(block);
        const int joinPage = join ? page(join->top) : -1;
        if (last == first && drawnFrom >= first && drawnTo <= first && first != joinPage)
            continue;
        int line = 0;
        const QPointF drawn = drawnOrigin(block, origin);
        for (int p = std::max(0, std::min(first, drawnFrom)); p <= std::max(last, drawnTo) && p < pages; ++p) {
            const int from = line;
            while (line < count && page(origin.y() + lines->lineAt(line).y()) <= p)
                ++line;
            if (p == first && p != joinPage)
                continue;
            PageFeet& here = feet[size_t(p)];
            here.hidden.push_back(block);
            if (line > from)
                here.lines.push_back({block, drawn + QPointF(0, p == joinPage ? join->shift : 0), from, line});
        }
    }
    return feet;
}

// The lines a page draws itself, with their paragraph's background, as Qt
// would draw them, minus the line above the page.
void drawOwnLines(QPainter& painter, const std::vector<OwnLines>& own)
{
    const QColor text = QAbstractTextDocumentLayout::PaintContext().palette.color(QPalette::Text);
    for (const OwnLines& part : own) {
        const QTextLayout* lines = part.block.layout();
        const QBrush background = part.block.blockFormat().background();
        if (background.style() != Qt::NoBrush) {
            const QRectF box = lines->boundingRect().translated(part.origin);
            painter.save();
            painter.setBrushOrigin(box.topLeft());
            painter.fillRect(box, background);
            painter.restore();
        }
        painter.setPen(text);
        for (int i = part.from; i < part.to; ++i)
            lines->lineAt(i).draw(&painter, part.origin);
    }
}

// Whether an address is already as plainLinkAddress() would write it; most are.
bool isPlainLinkAddress(const QString& href)
{
    const qsizetype n = href.size();
    const auto isHex = [&](qsizetype k) { return k < n && href[k].unicode() < 0x80 && std::isxdigit(href[k].unicode()); };
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t c = href[k].unicode();
        if (c >= 0x80 || !isPlainUriByte(static_cast<unsigned char>(c)) || (c == u'%' && !(isHex(k + 1) && isHex(k + 2))))
            return false;
    }
    return true;
}

} // namespace

QString plainLinkAddress(const QString& href)
{
    const QByteArray bytes = href.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    static const char* const hexDigits = "0123456789ABCDEF";
    const auto isHex = [&](qsizetype k) { return k < bytes.size() && std::isxdigit(static_cast<unsigned char>(bytes[k])); };
    for (qsizetype k = 0; k < bytes.size(); ++k) {
        const auto c = static_cast<unsigned char>(bytes[k]);
        // A "%" stays only where it begins an escape.
        if (isPlainUriByte(c) && (c != '%' || (isHex(k + 1) && isHex(k + 2)))) {
            out += char(c);
        } else {
            out += '%';
            out += hexDigits[c >> 4];
            out += hexDigits[c & 0xF];
        }
    }
    return QString::fromLatin1(out);
}

void plainLinkAddresses(QTextDocument& document)
{
    struct Change {
        int position;
        int length;
        QString href;
    };
    std::vector<Change> changes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isAnchor())
                continue;
            const QString href = fragment.charFormat().anchorHref();
            if (isPlainLinkAddress(href))
                continue;
            changes.push_back({fragment.position(), fragment.length(), plainLinkAddress(href)});
        }
    }
    if (changes.empty())
        return;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const Change& change : changes) {
        cursor.setPosition(change.position);
        cursor.setPosition(change.position + change.length, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setAnchorHref(change.href);
        cursor.mergeCharFormat(format);
    }
    cursor.endEditBlock();
}

// No colour emoji starts below U+231A, and the emoji presentation selector lies
// above it: a paragraph of lower units alone has none.
bool mayHoldColourEmoji(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x231A; });
}

void drawEmojiAsPictures(QTextDocument& document)
{
    std::vector<EmojiRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!mayHoldColourEmoji(block.text()))
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.charFormat().isImageFormat())
                continue;
            const QString text = fragment.text();
            if (text.isEmpty())
                continue;
            const std::u16string_view view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
            const std::vector<int> bounds = TextOps::graphemeBoundaries(view);
            for (size_t b = 0; b + 1 < bounds.size(); ++b) {
                const QStringView cluster = QStringView(text).mid(bounds[b], bounds[b + 1] - bounds[b]);
                if (!isColourEmoji(cluster))
                    continue;
                const QTextCharFormat format = fragment.charFormat();
                double size = format.fontPointSize();
                if (size <= 0)
                    size = format.font().pointSizeF() > 0 ? format.font().pointSizeF() : 12;
                runs.push_back({fragment.position() + bounds[b], int(cluster.size()), cluster.toString(), size});
            }
        }
    }
    if (runs.empty())
        return;
    std::map<QString, QString> names;
    QTextCursor cursor(&document);
    // One edit for all: outside an edit every insertion lays its whole paragraph
    // out again, which makes a paragraph of n emoji cost n squared.
    cursor.beginEditBlock();
    // From the end, so that earlier positions stay valid.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        auto found = names.find(run->cluster);
        if (found == names.end()) {
            const QString name = QStringLiteral("velkin-emoji:%1").arg(names.size());
            document.addResource(QTextDocument::ImageResource, QUrl(name), emojiPicture(run->cluster));
            found = names.emplace(run->cluster, name).first;
        }
        const QImage picture = document.resource(QTextDocument::ImageResource, QUrl(found->second)).value<QImage>();
        cursor.setPosition(run->position);
        cursor.setPosition(run->position + run->length, QTextCursor::KeepAnchor);
        QTextImageFormat image;
        image.setName(found->second);
        const double height = run->size * kEmojiHeight;
        image.setHeight(height);
        image.setWidth(picture.height() > 0 ? height * picture.width() / picture.height() : height);
        image.setVerticalAlignment(QTextCharFormat::AlignBaseline);
        cursor.insertImage(image);
    }
    cursor.endEditBlock();
}

std::optional<std::string> write(QTextDocument& document, const std::filesystem::path& to)
{
    const auto couldNotSave = [&](const std::string& reason) {
        return "The file \u201C" + FilePath::shownName(to) + "\u201D couldn\u2019t be saved: " + reason + ".";
    };
    // The PDF is written beside its destination and takes its place only when
    // every page was written: a failed export leaves no partial file.
    OutputFile out(to);
    if (auto failure = out.open())
        return couldNotSave(*failure);
    QPdfWriter writer(&out.device());
    writer.setCreator(QStringLiteral("Velkin"));
    writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
    // One unit is one point, so that sizes in the page's style carry over as they are.
    writer.setResolution(72);
    const QPageSize paper(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                      : QPageSize::A4);
    writer.setPageLayout(QPageLayout(paper, QPageLayout::Portrait, QMarginsF(margin, margin, margin, margin),
                                     QPageLayout::Point));
    const QRectF printable = writer.pageLayout().paintRect(QPageLayout::Point);
    const QSizeF page(printable.width(), printable.height());

    document.setUndoRedoEnabled(false);
    picturesInPoints(document, &writer);
    plainLinkAddresses(document);
    breakLongStretches(document);
    ItemNumbers::hang(document, &writer);
    keepShapedText(document);
    // Nothing is laid out without a page size: the layout has its device
    // before it lays anything out, the whole table's column widths are given
    // to its parts and wide tables are cut before they are laid out.
    document.setPageSize(QSizeF(0, 0));
    document.documentLayout()->setPaintDevice(&writer);
    // The layout must not keep the writer once it is gone.
    struct Detach {
        QTextDocument& document;
        ~Detach() { document.documentLayout()->setPaintDevice(nullptr); }
    } detach{document};
    TableParts::matchColumns(document, page);
    WideTables::cut(document, page);
    // After the widths are shared out, which count a word's room from blank to blank anyway.
    keepCellWordsWhole(document);
    continuedPartsUnderHalfABorder(document);
    TableParts::dropEmptyRowParts(document);
    lastLinesAsTallAsTheirBreaks(document);
    document.setPageSize(page);
    TableParts::joinUnevenRowParts(document);
    TableParts::printTallHeadersOnce(document);
    TableParts::cutAtPages(document);
    keepManyTablesTogether(document, &writer, page);
    // Where the tables now stand, a row over many pages is cut at them.
    if (TableParts::cutTallRows(document)) {
        keepShapedText(document);
        layOutAfresh(document);
    }
    splitLongParagraphs(document);
    std::vector<Placed> placed = layOutOverFeet(document, page.height());
    // Asked of the document as it is to be printed, which it then is again.
    if (TableParts::endHeadersWithTheirRows(document))
        placed = layOutOverFeet(document, page.height());
    const int pages = std::max(1, document.pageCount());
    const std::vector<PageFeet> feet = pageFeet(placed, page.height(), pages);

    QPainter painter;
    if (!painter.begin(&writer))
        return couldNotSave("the PDF could not be started");
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && (!writer.newPage() || out.failed())) {
            painter.end();
            return couldNotSave(out.failed() ? out.refusal()
                                             : "page " + std::to_string(p + 1) + " could not be started");
        }
        painter.save();
        // A border that sits on the boundary belongs to the next page: its
        // upper half must not show at the foot of this one.
        const QRectF clip(0, p * page.height(), page.width(), page.height() - 1);
        painter.translate(0, -clip.top());
        // Text of the page before is not drawn again, out of sight, above this one.
        const PageFeet& here = feet[size_t(p)];
        for (QTextBlock block : here.hidden)
            block.setVisible(false);
        document.drawContents(&painter, clip);
        for (QTextBlock block : here.hidden)
            block.setVisible(true);
        painter.setClipRect(clip);
        drawOwnLines(painter, here.lines);
        painter.restore();
    }
    if (!painter.end() || out.failed())
        return couldNotSave(out.failed() ? out.refusal() : "the PDF could not be finished");
    if (auto failure = out.commit())
        return couldNotSave(*failure);
    return std::nullopt;
}

} // namespace velkin::PDFPage
