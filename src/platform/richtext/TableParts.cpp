#include "platform/richtext/TableParts.h"

#include "platform/richtext/DocumentCopy.h"
#include "platform/richtext/PixelLengths.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace velkin::TableParts {

namespace {

int partIndex(const QTextTable& table)
{
    const QVariant index = table.format().property(kPartIndex);
    return index.isValid() ? index.toInt() : -1;
}

} // namespace

void copyCell(const QTextTableCell& from, QTextTableCell to)
{
    to.setFormat(from.format());
    QTextCursor cursor = to.firstCursorPosition();
    bool first = true;
    for (auto it = from.begin(); !it.atEnd(); ++it) {
        const QTextBlock block = it.currentBlock();
        if (!block.isValid())
            continue;
        if (first) {
            // The first paragraph's character format is the cell's own.
            cursor.setBlockFormat(block.blockFormat());
            first = false;
        } else {
            QTextCharFormat characters = block.charFormat();
            characters.clearProperty(QTextFormat::ObjectIndex);
            cursor.insertBlock(block.blockFormat(), characters);
        }
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().isValid())
                cursor.insertText(fragment.fragment().text(), fragment.fragment().charFormat());
    }
}

namespace {

void copyRow(const QTextTable& from, int fromRow, QTextTable& to, int toRow)
{
    const int columns = std::min(from.columns(), to.columns());
    for (int c = 0; c < columns; ++c)
        copyCell(from.cellAt(fromRow, c), to.cellAt(toRow, c));
}

// As Qt draws it: its size taken as a length in pixels.
double pictureWidth(const QTextImageFormat& picture, const QTextDocument& document)
{
    const double width = picture.width() > 0
                             ? picture.width()
                             : document.resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>().width();
    return width * PixelLengths::scale(document.documentLayout()->paintDevice());
}

} // namespace

QTextCharFormat formatAt(const QTextBlock& block, int position)
{
    for (auto it = block.begin(); !it.atEnd(); ++it)
        if (const QTextFragment piece = it.fragment(); piece.isValid() && piece.position() + piece.length() > position)
            return piece.charFormat();
    return block.charFormat();
}

Room roomOf(const QTextTableCell& cell, const QTextDocument& document)
{
    QPaintDevice* device = document.documentLayout()->paintDevice();
    Room room;
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        const QTextBlock block = it.currentBlock();
        if (!block.isValid())
            continue;
        const QTextBlockFormat format = block.blockFormat();
        const double margins = format.leftMargin() + format.rightMargin() + format.indent() * document.indentWidth();
        double word = 0;
        double line = 0;
        const auto endLine = [&] {
            room.least = std::max(room.least, word + margins);
            room.most = std::max(room.most, line + margins);
            word = line = 0;
        };
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextFragment fragment = piece.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat characters = fragment.charFormat();
            if (characters.isImageFormat()) {
                const double width = pictureWidth(characters.toImageFormat(), document) * fragment.length();
                word += width;
                line += width;
                continue;
            }
            const QFontMetricsF metrics(characters.font().resolve(document.defaultFont()), device);
            const QString text = fragment.text();
            qsizetype from = 0;
            for (qsizetype k = 0; k <= text.size(); ++k) {
                const QChar c = k < text.size() ? text[k] : QChar();
                const bool blank = c == u' ' || c == u'\t';
                const bool lineBreak = c == QChar::LineSeparator;
                if (k < text.size() && !blank && !lineBreak)
                    continue;
                const double width = metrics.horizontalAdvance(text.mid(from, k - from));
                word += width;
                line += width;
                if (blank) {
                    room.least = std::max(room.least, word + margins);
                    word = 0;
                    line += metrics.horizontalAdvance(c);
                } else if (lineBreak) {
                    endLine();
                }
                from = k + 1;
            }
        }
        endLine();
    }
    return room;
}

namespace {

// A row of the table as it was imported.
struct Row {
    const QTextTable* table;
    int row;
};

// The column widths of the whole table, as shares of its width.
QList<QTextLength> wholeColumns(const QTextDocument& document, const std::vector<QTextTable*>& parts, QSizeF page)
{
    QTextTable& header = *parts.front();
    const int columns = header.columns();
    std::vector<Row> least(size_t(columns), Row{&header, 0});
    std::vector<Row> most = least;
    std::vector<Room> widest(static_cast<size_t>(columns));
    for (QTextTable* part : parts)
        for (int r = 0; r < part->rows(); ++r)
            for (int c = 0; c < std::min(columns, part->columns()); ++c) {
                const Room room = roomOf(part->cellAt(r, c), document);
                if (room.least > widest[size_t(c)].least) {
                    widest[size_t(c)].least = room.least;
                    least[size_t(c)] = {part, r};
                }
                if (room.most > widest[size_t(c)].most) {
                    widest[size_t(c)].most = room.most;
                    most[size_t(c)] = {part, r};
                }
            }
    std::vector<Row> rows{{&header, 0}};
    for (const std::vector<Row>* set : {&least, &most})
        for (const Row& row : *set)
            if (std::none_of(rows.begin(), rows.end(),
                             [&](const Row& kept) { return kept.table == row.table && kept.row == row.row; }))
                rows.push_back(row);

    DocumentCopy scratch(document);
    scratch.documentLayout()->setPaintDevice(document.documentLayout()->paintDevice());
    scratch.setPageSize(page);
    QTextTableFormat format = header.format();
    format.clearColumnWidthConstraints();
    format.clearProperty(kPartIndex);
    QTextCursor cursor(&scratch);
    cursor.beginEditBlock();
    QTextTable* table = cursor.insertTable(int(rows.size()), columns, format);
    for (size_t r = 0; r < rows.size(); ++r)
        copyRow(*rows[r].table, rows[r].row, *table, int(r));
    cursor.endEditBlock();

    // Each column's width is its text's width and the cell's padding, the
    // same in every cell of the header row.
    std::vector<QRectF> boxes;
    for (int c = 0; c < columns; ++c)
        boxes.push_back(scratch.documentLayout()->blockBoundingRect(table->cellAt(0, c).firstCursorPosition().block()));
    const double padding = columns > 1 ? boxes[1].left() - boxes[0].left() - boxes[0].width() : 0;
    double total = 0;
    for (const QRectF& box : boxes)
        total += box.width() + padding;
    QList<QTextLength> constraints;
    if (total > 0)
        for (const QRectF& box : boxes)
            constraints.append(QTextLength(QTextLength::PercentageLength, 100 * (box.width() + padding) / total));
    return constraints;
}

double topOf(QAbstractTextDocumentLayout& layout, const QTextTable& table, int row)
{
    double top = std::numeric_limits<double>::max();
    for (int c = 0; c < table.columns(); ++c)
        top = std::min(top, layout.blockBoundingRect(table.cellAt(row, c).firstCursorPosition().block()).top());
    return top;
}

double bottomOf(QAbstractTextDocumentLayout& layout, const QTextTable& table, int row)
{
    double bottom = 0;
    for (int c = 0; c < table.columns(); ++c)
        bottom = std::max(bottom, layout.blockBoundingRect(table.cellAt(row, c).lastCursorPosition().block()).bottom());
    return bottom;
}

// A row cut at the pages it runs over: for each of its cells, where its lines
// on each page after the row's first start (the end of its text where it has
// none there). Only a cell of one plain paragraph is cut; a cell that ends on
// the row's first page stays whole.
struct RowCut {
    QTextTable* table;
    int row;
    std::vector<std::vector<int>> starts;  // [column][page after the first - 1]
};

constexpr int kTallRowPages = 2;

int pageOf(double y, double pageHeight)
{
    return int(std::floor(y / pageHeight));
}

std::optional<RowCut> rowCutOf(QAbstractTextDocumentLayout& layout, QTextTable* table, int row, double pageHeight)
{
    const int columns = table->columns();
    // Cheaply first: a row on few pages is left as it is.
    const int firstPage = pageOf(topOf(layout, *table, row), pageHeight);
    if (pageOf(bottomOf(layout, *table, row), pageHeight) - firstPage < kTallRowPages)
        return std::nullopt;
    RowCut cut{table, row, std::vector<std::vector<int>>(size_t(columns))};
    int lastPage = firstPage;
    for (int c = 0; c < columns; ++c) {
        const QTextTableCell cell = table->cellAt(row, c);
        const QTextCharFormat::VerticalAlignment alignment = cell.format().verticalAlignment();
        if (cell.rowSpan() != 1 || cell.columnSpan() != 1
            || (alignment != QTextCharFormat::AlignNormal && alignment != QTextCharFormat::AlignTop))
            return std::nullopt;
        auto it = cell.begin();
        const QTextBlock block = it.currentBlock();
        const bool single = !it.currentFrame() && block.isValid() && (++it).atEnd();
        const QTextLayout* lines = block.isValid() ? block.layout() : nullptr;
        if (!single || !lines || lines->lineCount() == 0) {
            // Left whole: it must end on the row's first page.
            if (pageOf(layout.blockBoundingRect(cell.lastCursorPosition().block()).bottom() - 1, pageHeight) > firstPage)
                return std::nullopt;
            continue;
        }
        const double top = layout.blockBoundingRect(block).top();
        const int count = lines->lineCount();
        const int last = pageOf(top + lines->lineAt(count - 1).y(), pageHeight);
        if (last == firstPage && pageOf(top + lines->lineAt(0).y(), pageHeight) == firstPage)
            continue;
        // Justified lines but the last stretch to the edge: a part's last line would not.
        if (block.textList() || (block.blockFormat().alignment() & Qt::AlignJustify))
            return std::nullopt;
        std::vector<int>& starts = cut.starts[size_t(c)];
        int line = 0;
        for (int page = firstPage + 1; page <= last; ++page) {
            while (line < count && pageOf(top + lines->lineAt(line).y(), pageHeight) < page)
                ++line;
            starts.push_back(block.position() + lines->lineAt(line).textStart());
        }
        lastPage = std::max(lastPage, last);
    }
    if (lastPage - firstPage < kTallRowPages)
        return std::nullopt;
    // Cells that end sooner have nothing on the later pages.
    for (int c = 0; c < columns; ++c) {
        const QTextTableCell cell = table->cellAt(row, c);
        std::vector<int>& starts = cut.starts[size_t(c)];
        starts.resize(size_t(lastPage - firstPage), cell.lastPosition());
    }
    return cut;
}

// Where a part of a paragraph from `from` ends when the next starts at `next`
// (positions in the document, the paragraph's text starting at `start`): a
// line break ending it gives way to the cut, or the part would end in an
// empty line, and so do spaces, which would count in a last line's alignment.
int endBefore(const QString& text, int start, int from, int next)
{
    if (next > from && text[next - 1 - start] == QChar::LineSeparator)
        return next - 1;
    while (next > from && text[next - 1 - start].isSpace() && text[next - 1 - start] != QChar::LineSeparator)
        --next;
    return next;
}

struct Run {
    QString text;
    QTextCharFormat format;
};

// The row cut: a row for each page after its first, each cell holding its
// lines of that page. The cells keep their padding, so that every line stays
// where it was, but for the borders between them; the paragraphs their
// format, but for the margins and indent between them.
void cutRow(const RowCut& cut)
{
    QTextTable& table = *cut.table;
    const int columns = table.columns();
    const int added = int(cut.starts.front().size());
    using Parts = std::vector<std::vector<Run>>;  // each part's runs
    std::vector<Parts> moved(size_t(columns), Parts{});
    for (Parts& parts : moved)
        parts.resize(size_t(added));
    std::vector<QTextBlock> blocks;
    for (int c = 0; c < columns; ++c) {
        const QTextBlock block = table.cellAt(cut.row, c).firstCursorPosition().block();
        blocks.push_back(block);
        const std::vector<int>& starts = cut.starts[size_t(c)];
        const int end = block.position() + block.length() - 1;
        if (starts.front() >= end)
            continue;
        const QString text = block.text();
        const auto partEnd = [&](size_t k) {
            return k + 1 < starts.size() ? endBefore(text, block.position(), starts[k], starts[k + 1]) : end;
        };
        size_t k = 0;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const int from = fragment.position();
            const int to = from + fragment.length();
            while (k < starts.size()) {
                const int a = std::max(from, starts[k]);
                const int b = std::min(to, partEnd(k));
                if (a < b)
                    moved[size_t(c)][k].push_back({text.mid(a - block.position(), b - a), fragment.charFormat()});
                if (partEnd(k) > to)
                    break;
                ++k;
            }
        }
        // A part that ended in a line break ends in its mark, so that its
        // last line keeps the height and baseline the break gave it.
        for (size_t part = 0; part + 1 < starts.size(); ++part)
            if (const int at = partEnd(part); at < end && text[at - block.position()] == QChar::LineSeparator)
                moved[size_t(c)][part].push_back({QString(kCutBreak), formatAt(block, at)});
    }
    // A row that starts a page under a repeated header row leaves its top
    // border out, as a cell that runs on there does, and meets the header's
    // borders as that cell would: kept, the part's top border is so drawn
    // only where the cell's would be.
    const bool keepsTop = table.format().borderCollapse() && table.format().headerRowCount() > 0
                          && cut.row >= table.format().headerRowCount();
    table.insertRows(cut.row + 1, added);
    for (int c = 0; c < columns; ++c) {
        const QTextBlock& block = blocks[size_t(c)];
        const QTextBlockFormat whole = block.blockFormat();
        QTextBlockFormat inner = whole;
        inner.setTopMargin(0);
        inner.setTextIndent(0);
        inner.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
        if (whole.layoutDirection() == Qt::LayoutDirectionAuto)
            inner.setLayoutDirection(block.textDirection());
        const QTextTableCellFormat own = table.cellAt(cut.row, c).format().toTableCellFormat();
        for (int k = 1; k <= added; ++k) {
            QTextTableCell cell = table.cellAt(cut.row + k, c);
            // The cell's format is its first paragraph's character format too.
            QTextTableCellFormat format = own;
            if (!keepsTop)
                format.setTopBorder(0);
            QTextBlockFormat paragraph = inner;
            if (k < added) {
                paragraph.setBottomMargin(0);
                format.setBottomBorder(0);
            }
            cell.setFormat(format);
            QTextCursor cursor = cell.firstCursorPosition();
            cursor.setBlockFormat(paragraph);
            for (const Run& run : moved[size_t(c)][size_t(k - 1)])
                cursor.insertText(run.text, run.format);
        }
    }
    // From the last cell, so that the earlier cells' text stays where it was measured.
    for (int c = columns; c-- > 0;) {
        QTextTableCell cell = table.cellAt(cut.row, c);
        QTextTableCellFormat format = cell.format().toTableCellFormat();
        format.setBottomBorder(0);
        cell.setFormat(format);
        const QTextBlock& block = blocks[size_t(c)];
        const int start = cut.starts[size_t(c)].front();
        const int end = block.position() + block.length() - 1;
        if (start >= end)
            continue;
        QTextCursor cursor(block);
        QTextBlockFormat first = block.blockFormat();
        first.setBottomMargin(0);
        first.setPageBreakPolicy(first.pageBreakPolicy() & ~QTextFormat::PageBreak_AlwaysAfter);
        if (first.layoutDirection() == Qt::LayoutDirectionAuto)
            first.setLayoutDirection(block.textDirection());
        cursor.setBlockFormat(first);
        const QString text = block.text();
        const int cut = endBefore(text, block.position(), block.position(), start);
        const bool atBreak = text[cut - block.position()] == QChar::LineSeparator;
        cursor.setPosition(cut + (atBreak ? 1 : 0));
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        if (atBreak) {
            const QTextCharFormat format = formatAt(block, cut);
            cursor.setPosition(cut);
            cursor.setPosition(cut + 1, QTextCursor::KeepAnchor);
            cursor.insertText(QString(kCutBreak), format);
        }
    }
}

void tablesIn(const QTextFrame& frame, std::vector<QTextTable*>& tables)
{
    for (QTextFrame* child : frame.childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child))
            tables.push_back(table);
        else
            tablesIn(*child, tables);
    }
}

// The last row of the part that begins a page after the previous row ended on
// an earlier one, or -1.
int lastPageStart(QTextDocument& document, const QTextTable& part)
{
    const double pageHeight = document.pageSize().height();
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    const auto page = [&](double y) { return int(std::floor(y / pageHeight)); };
    const int header = std::max(1, part.format().headerRowCount());
    for (int r = part.rows() - 1; r > header; --r)
        // Half a point short of the bottom: a border that ends on the page's edge is still on it.
        if (page(topOf(layout, part, r)) > page(bottomOf(layout, part, r - 1) - 0.5))
            return r;
    return -1;
}

// How one part is to be: the rows it takes at its head under a copy of the
// header row, and how many of its own it keeps.
struct Cut {
    std::vector<Row> taken;
    int kept = 0;
    bool header = true;
};

// Where each part of `parts` is to be cut. The first part is measured where
// it stands; each later one, which is to start a page, in a copy of it laid
// out alone: a copy of the header row, the rows it takes from before, its
// own rows. A part that has nowhere to be cut, every page break falling
// inside a row, keeps all its rows, and the next runs on from it without a
// header of its own, measured together with it; none at all when the first
// part has nowhere to be cut.
std::vector<Cut> cutsOf(QTextDocument& document, const std::vector<QTextTable*>& parts)
{
    const QTextTable& header = *parts.front();
    std::vector<Cut> cuts(parts.size());
    const int first = lastPageStart(document, header);
    if (first < 0)
        return {};
    cuts[0].kept = first;
    std::vector<Row> carried;
    for (int r = cuts[0].kept; r < header.rows(); ++r)
        carried.push_back({&header, r});
    std::vector<Row> running;  // the rows a part without a header of its own runs on from
    for (size_t k = 1; k < parts.size(); ++k) {
        const QTextTable& part = *parts[k];
        Cut& cut = cuts[k];
        cut.taken = carried;
        cut.kept = part.rows();
        cut.header = running.empty();
        if (k + 1 == parts.size())
            break;
        std::vector<Row> rows = running.empty() ? carried : running;
        for (int r = 0; r < part.rows(); ++r)
            rows.push_back({&part, r});
        DocumentCopy copy(document);
        copy.documentLayout()->setPaintDevice(document.documentLayout()->paintDevice());
        copy.setPageSize(document.pageSize());
        QTextTableFormat format = part.format();
        format.setHeaderRowCount(1);
        // One edit, so that it is laid out once, whole.
        QTextCursor cursor(&copy);
        cursor.beginEditBlock();
        QTextTable* laidOut = cursor.insertTable(int(rows.size()) + 1, part.columns(), format);
        copyRow(header, 0, *laidOut, 0);
        for (size_t r = 0; r < rows.size(); ++r)
            copyRow(*rows[r].table, rows[r].row, *laidOut, int(r) + 1);
        cursor.endEditBlock();
        // A cut among the rows from before would leave the part none of its own.
        const size_t before = rows.size() - size_t(part.rows());
        const int at = lastPageStart(copy, *laidOut);
        carried.clear();
        if (at < 0 || size_t(at - 1) <= before) {
            running = std::move(rows);
            continue;
        }
        running.clear();
        // Row `at` of the copy and those after it go on to the next part.
        carried.assign(rows.begin() + (at - 1), rows.end());
        for (const Row& row : carried)
            for (size_t j = 0; j <= k; ++j)
                if (row.table == parts[j])
                    cuts[j].kept = std::min(cuts[j].kept, row.row);
    }
    return cuts;
}

// The cuts made, from the last part to the first, so that the rows a part
// takes are still where they were imported.
void makeCuts(QTextDocument& document, const std::vector<QTextTable*>& parts, const std::vector<Cut>& cuts)
{
    if (cuts.empty())
        return;
    const QTextTable& header = *parts.front();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (size_t k = parts.size(); k-- > 0;) {
        QTextTable& part = *parts[k];
        const Cut& cut = cuts[k];
        const int own = part.rows();
        if (cut.kept < own)
            part.removeRows(cut.kept, own - cut.kept);
        if (k == 0)
            break;
        if (!cut.header) {
            // The part before runs on into this one.
            QTextTableFormat before = parts[k - 1]->format();
            before.setBottomMargin(0);
            parts[k - 1]->setFormat(before);
            continue;
        }
        const int added = 1 + int(cut.taken.size());
        part.insertRows(0, added);
        copyRow(header, 0, part, 0);
        for (size_t r = 0; r < cut.taken.size(); ++r)
            copyRow(*cut.taken[r].table, cut.taken[r].row, part, int(r) + 1);
        QTextTableFormat format = part.format();
        format.setHeaderRowCount(1);
        // It starts a page. Said so, Qt lays it out there once; else it lays
        // it out at the foot of the page before, finds its first row below
        // that page, and lays it out again on the next.
        format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
        part.setFormat(format);
    }
    cursor.endEditBlock();
}

// Qt's layout, asked for a piece at a time while a table changes, can leave
// paragraphs after the table with no lines, and never lays them out again:
// those between `from` and `to` are marked changed, which lays them out,
// before anything further down is measured.
void layOutForgotten(QTextDocument& document, int from, int to)
{
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    int first = -1;
    int last = -1;
    for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() < to; block = block.next()) {
        if (!block.isVisible() || document.frameAt(block.position()) != document.rootFrame())
            continue;
        layout.blockBoundingRect(block);
        if (block.layout()->lineCount() > 0)
            continue;
        if (first < 0)
            first = block.position();
        last = block.position() + block.length();
    }
    if (first >= 0)
        document.markContentsDirty(first, last - first);
}

// Whether cutAtPages() cuts the table of these parts on pages of that size.
bool cutsAtPages(QSizeF page, const std::vector<QTextTable*>& parts)
{
    const QTextTable& header = *parts.front();
    return page.height() > 0 && header.format().headerRowCount() >= 1 && header.rows() >= 2;
}

// Rows meet the foot of a page where the whole table's would: Qt keeps the
// same room above and below a table's rows on each page, that of its top
// margin. A part other than the last ends a point short, so that one which
// fills its last page to the edge does not reach onto the next and repeat its
// header there.
void withPageMargins(QTextTableFormat& format, const QTextTable& header, bool last)
{
    format.setTopMargin(header.format().topMargin());
    if (!last)
        format.setBottomMargin(-1);
}

} // namespace

bool isPart(const QTextTable& table)
{
    return partIndex(table) >= 0;
}

std::vector<std::vector<QTextTable*>> tablesInParts(const QTextDocument& document)
{
    std::vector<std::vector<QTextTable*>> tables;
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        const int index = table ? partIndex(*table) : -1;
        if (index == 0)
            tables.push_back({table});
        else if (index > 0 && !tables.empty() && partIndex(*tables.back().back()) == index - 1)
            tables.back().push_back(table);
    }
    std::erase_if(tables, [](const std::vector<QTextTable*>& parts) { return parts.size() < 2; });
    return tables;
}

void matchColumns(QTextDocument& document, QSizeF page)
{
    const auto tables = tablesInParts(document);
    // Even an empty edit counts as one, and an edited document is laid out afresh.
    if (tables.empty())
        return;
    if (!page.isValid())
        page = document.pageSize();
    std::vector<QList<QTextLength>> widths;
    for (const std::vector<QTextTable*>& parts : tables)
        widths.push_back(wholeColumns(document, parts, page));
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (size_t t = 0; t < tables.size(); ++t)
        for (QTextTable* part : tables[t]) {
            QTextTableFormat format = part->format();
            format.setColumnWidthConstraints(widths[t]);
            // The margins cutAtPages() gives the parts, in the same edit:
            // each edit of a table lays it out again.
            if (cutsAtPages(page, tables[t]))
                withPageMargins(format, *tables[t].front(), part == tables[t].back());
            part->setFormat(format);
        }
    cursor.endEditBlock();
}

void cutAtPages(QTextDocument& document)
{
    const auto tables = tablesInParts(document);
    if (document.pageSize().height() <= 0 || tables.empty())
        return;
    for (size_t t = 0; t < tables.size(); ++t) {
        const std::vector<QTextTable*>& parts = tables[t];
        QTextTable& header = *parts.front();
        if (!cutsAtPages(document.pageSize(), parts))
            continue;
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        for (QTextTable* part : parts) {
            QTextTableFormat format = part->format();
            withPageMargins(format, header, part == parts.back());
            if (format != part->format())
                part->setFormat(format);
        }
        cursor.endEditBlock();
        makeCuts(document, parts, cutsOf(document, parts));
        // A table further down is measured where it now stands.
        if (t + 1 < tables.size())
            layOutForgotten(document, parts.back()->lastPosition() + 1, tables[t + 1].front()->firstPosition());
    }
}

namespace {

bool isRowPart(const QTextTable& table, int row)
{
    return row > 0 && table.cellAt(row, 0).format().hasProperty(kRowPart);
}

// Whether the parts of the row from `first` to `last` meet level: each
// column that goes on past a part fills that part's whole height.
bool partsMeetLevel(QAbstractTextDocumentLayout& layout, const QTextTable& table, int first, int last)
{
    // Within a line's rounding: Qt sets a row's height on whole points.
    constexpr double kLevel = 0.5;
    const auto height = [&](int row, int column) {
        const QTextTableCell cell = table.cellAt(row, column);
        return layout.blockBoundingRect(cell.lastCursorPosition().block()).bottom()
               - layout.blockBoundingRect(cell.firstCursorPosition().block()).top();
    };
    const auto empty = [&](int row, int column) {
        const QTextTableCell cell = table.cellAt(row, column);
        return cell.firstPosition() == cell.lastPosition();
    };
    for (int row = first; row < last; ++row) {
        double tallest = 0;
        for (int c = 0; c < table.columns(); ++c)
            tallest = std::max(tallest, height(row, c));
        for (int c = 0; c < table.columns(); ++c)
            if (!empty(row + 1, c) && height(row, c) < tallest - kLevel)
                return false;
    }
    return true;
}

// The parts from `first` to `last` of a row made one row again, its cells'
// lines parted by line breaks as they were.
void joinRow(QTextDocument& document, QTextTable& table, int first, int last)
{
    for (int c = 0; c < table.columns(); ++c) {
        QTextTableCell whole = table.cellAt(first, c);
        for (int row = first + 1; row <= last; ++row) {
            const QTextTableCell part = table.cellAt(row, c);
            if (part.firstPosition() == part.lastPosition())
                continue;
            QTextCursor cursor = whole.lastCursorPosition();
            bool firstBlock = true;
            for (auto it = part.begin(); !it.atEnd(); ++it) {
                const QTextBlock block = it.currentBlock();
                if (!block.isValid())
                    continue;
                if (firstBlock) {
                    // The break the cut took out, in the format of the mark
                    // that stood for it (the break's own), in its place.
                    if (cursor.position() > whole.firstPosition()) {
                        const QTextCharFormat format = cursor.charFormat();
                        if (document.characterAt(cursor.position() - 1) == kCutBreak)
                            cursor.deletePreviousChar();
                        cursor.insertText(QString(QChar::LineSeparator), format);
                    }
                    firstBlock = false;
                } else {
                    cursor.insertBlock(block.blockFormat(), block.charFormat());
                }
                for (auto piece = block.begin(); !piece.atEnd(); ++piece)
                    if (piece.fragment().isValid())
                        cursor.insertText(piece.fragment().text(), piece.fragment().charFormat());
            }
        }
        // The cell's foot is the last part's.
        QTextTableCellFormat format = whole.format().toTableCellFormat();
        const QTextTableCellFormat foot = table.cellAt(last, c).format().toTableCellFormat();
        for (const int property : {int(QTextFormat::TableCellBottomPadding), int(QTextFormat::TableCellBottomBorder),
                                   int(QTextFormat::TableCellBottomBorderStyle), int(QTextFormat::TableCellBottomBorderBrush)}) {
            if (foot.hasProperty(property))
                format.setProperty(property, foot.property(property));
            else
                format.clearProperty(property);
        }
        whole.setFormat(format);
    }
    table.removeRows(first + 1, last - first);
}

} // namespace

void dropEmptyRowParts(QTextDocument& document)
{
    std::vector<QTextTable*> tables;
    tablesIn(*document.rootFrame(), tables);
    const auto empty = [](const QTextTable& table, int row) {
        for (int c = 0; c < table.columns(); ++c)
            if (const QTextTableCell cell = table.cellAt(row, c); cell.firstPosition() != cell.lastPosition())
                return false;
        return true;
    };
    QTextCursor cursor(&document);
    bool editing = false;
    // From the last, so that the rows and text before stay where they were.
    for (auto table = tables.rbegin(); table != tables.rend(); ++table)
        for (int last = (*table)->rows() - 1; last >= 1; --last) {
            if (!isRowPart(**table, last) || (last + 1 < (*table)->rows() && isRowPart(**table, last + 1)))
                continue;
            // Only a row's last parts can be empty: a column's lines start at its top.
            int first = last;
            while (first >= 1 && isRowPart(**table, first) && empty(**table, first))
                --first;
            if (first < last) {
                if (!editing) {
                    cursor.beginEditBlock();
                    editing = true;
                }
                joinRow(document, **table, first, last);
            }
            last = first;
        }
    if (editing)
        cursor.endEditBlock();
}

bool joinUnevenRowParts(QTextDocument& document)
{
    if (document.pageSize().height() <= 0)
        return false;
    std::vector<QTextTable*> tables;
    tablesIn(*document.rootFrame(), tables);
    std::vector<std::pair<QTextTable*, std::pair<int, int>>> uneven;  // each row's first and last part
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    for (QTextTable* table : tables)
        for (int row = 1; row < table->rows(); ++row) {
            if (!isRowPart(*table, row))
                continue;
            int last = row;
            while (last + 1 < table->rows() && isRowPart(*table, last + 1))
                ++last;
            if (!partsMeetLevel(layout, *table, row - 1, last))
                uneven.push_back({table, {row - 1, last}});
            row = last;
        }
    if (uneven.empty())
        return false;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // From the last, so that the rows and text before stay where they were.
    for (auto it = uneven.rbegin(); it != uneven.rend(); ++it)
        joinRow(document, *it->first, it->second.first, it->second.second);
    cursor.endEditBlock();
    // As after any change to a table laid out a piece at a time.
    layOutForgotten(document, uneven.front().first->lastPosition() + 1, document.characterCount());
    return true;
}

bool cutTallRows(QTextDocument& document)
{
    const double pageHeight = document.pageSize().height();
    if (pageHeight <= 0)
        return false;
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    layout.documentSize();
    std::vector<QTextTable*> tables;
    tablesIn(*document.rootFrame(), tables);
    std::vector<RowCut> cuts;
    for (QTextTable* table : tables) {
        // Columns Qt shares by their longest lines would be shared otherwise once cut.
        if (table->format().columnWidthConstraints().size() != table->columns())
            continue;
        const QRectF box = layout.frameBoundingRect(table);
        if (pageOf(box.bottom(), pageHeight) - pageOf(box.top(), pageHeight) < kTallRowPages)
            continue;
        for (int row = 0; row < table->rows(); ++row)
            if (std::optional<RowCut> cut = rowCutOf(layout, table, row, pageHeight))
                cuts.push_back(std::move(*cut));
    }
    if (cuts.empty())
        return false;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // From the last, so that the rows and text before stay where they were measured.
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it)
        cutRow(*it);
    cursor.endEditBlock();
    return true;
}

namespace {

// The most a row's padding and border below its last line take, in points.
constexpr double kRowEdge = 16;

// The room kept between a table's box and the foot of its last page.
constexpr double kFootRoom = 4;

// A half page of header rows leaves the rows under them half of every page.
constexpr double kRepeatedHeaderShare = 0.5;

int headerRows(const QTextTable& table)
{
    return std::min(table.format().headerRowCount(), table.rows() - 1);
}

// Whether the header rows may take more than `height`, told without laying
// anything out: a line holds a character at least, and no cell's text is set
// in a font of more than twice the document's line spacing; a picture may be
// as tall as it likes. (A document of many small tables is laid out a piece at
// a time, and each font's metrics cost a lookup.)
bool mayTakeMoreThan(const QTextTable& table, double height, const QTextDocument& document)
{
    const double line = 2 * QFontMetricsF(document.defaultFont(), document.documentLayout()->paintDevice()).lineSpacing();
    double total = 0;
    for (int r = 0; r < headerRows(table); ++r) {
        double row = 0;
        for (int c = 0; c < table.columns(); ++c) {
            const QTextTableCell cell = table.cellAt(r, c);
            const QTextTableCellFormat format = cell.format().toTableCellFormat();
            double tallest = format.topPadding() + format.bottomPadding() + format.topBorder() + format.bottomBorder();
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                const QTextBlock block = it.currentBlock();
                if (it.currentFrame() || !block.isValid())
                    return true;
                for (auto piece = block.begin(); !piece.atEnd(); ++piece)
                    if (piece.fragment().charFormat().isImageFormat())
                        return true;
                const QTextBlockFormat paragraph = block.blockFormat();
                tallest += paragraph.topMargin() + paragraph.bottomMargin() + std::max(1, block.length() - 1) * line;
            }
            row = std::max(row, tallest);
        }
        total += row;
        if (total > height)
            return true;
    }
    return false;
}

} // namespace

bool printTallHeadersOnce(QTextDocument& document)
{
    const double pageHeight = document.pageSize().height();
    if (pageHeight <= 0)
        return false;
    std::vector<QTextTable*> tables;
    tablesIn(*document.rootFrame(), tables);
    std::erase_if(tables, [&](const QTextTable* table) {
        return headerRows(*table) <= 0 || !mayTakeMoreThan(*table, kRepeatedHeaderShare * pageHeight, document);
    });
    if (tables.empty())
        return false;
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    std::vector<QTextTable*> tall;
    for (QTextTable* table : tables)
        if (bottomOf(layout, *table, headerRows(*table) - 1) - topOf(layout, *table, 0) > kRepeatedHeaderShare * pageHeight)
            tall.push_back(table);
    if (tall.empty())
        return false;
    stopRepeatingHeaders(document, tall);
    return true;
}

void stopRepeatingHeaders(QTextDocument& document, const std::vector<QTextTable*>& tables)
{
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextTable* table : tables) {
        QTextTableFormat format = table->format();
        format.setHeaderRowCount(0);
        table->setFormat(format);
    }
    cursor.endEditBlock();
    // Asked for a piece at a time, the layout forgets the paragraphs after
    // such a table (a document not laid out yet has none to forget).
    if (document.pageSize().height() > 0 && !tables.empty()) {
        int from = document.characterCount();
        for (const QTextTable* table : tables)
            from = std::min(from, table->lastPosition() + 1);
        layOutForgotten(document, from, document.characterCount());
    }
}

bool endHeadersWithTheirRows(QTextDocument& document)
{
    const double pageHeight = document.pageSize().height();
    if (pageHeight <= 0)
        return false;
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    std::vector<std::pair<QTextTable*, double>> late;  // and the bottom margin that ends it
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table || headerRows(*table) <= 0)
            continue;
        // Qt draws the header on every page after the first that the box
        // reaches. Only a box that ends within its margin and its last row's
        // padding below a page's top may do so past its rows. The paragraph
        // after the table stands its margin above where the box ends: the box
        // is asked for only near a page's top, since asking has the layout
        // finish the whole document again.
        const QTextBlock after = document.findBlock(table->lastPosition() + 1);
        if (!after.isValid())
            continue;
        const double margin = std::max(0.0, table->format().bottomMargin());
        const double near = layout.blockBoundingRect(after).top() + margin;
        if (pageOf(near + 1, pageHeight) == pageOf(near - margin - kRowEdge, pageHeight))
            continue;
        const QRectF box = layout.frameBoundingRect(table);
        const int last = pageOf(box.bottom(), pageHeight);
        const double rowsBottom = bottomOf(layout, *table, table->rows() - 1);
        const int rowsEnd = pageOf(rowsBottom, pageHeight);
        if (last <= pageOf(box.top(), pageHeight) || last <= rowsEnd)
            continue;
        // The box ends by its last row's text, a few points above the foot
        // of that row's page: a box that ends nearer has Qt take the page
        // after for the next one, and the paragraph after the table then
        // leaves a page empty. Qt scales a table's margins as it does
        // lengths in pixels, and sets its height on whole points.
        const double foot = (rowsEnd + 1) * pageHeight;
        const double end = std::max(foot - pageHeight + 1, std::min(rowsBottom, foot - kFootRoom));
        const double scale = PixelLengths::scale(layout.paintDevice());
        late.emplace_back(table, std::min(-1.0, table->format().bottomMargin() - (box.bottom() - end) / scale));
    }
    if (late.empty())
        return false;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const auto& [table, bottomMargin] : late) {
        // The room Qt keeps below the rows on each page is that of the top
        // margin: the rows stay where they are.
        QTextTableFormat format = table->format();
        format.setBottomMargin(bottomMargin);
        table->setFormat(format);
        const QTextBlock after = document.findBlock(table->lastPosition() + 1);
        if (!after.isValid() || (after.length() == 1 && !after.next().isValid()))
            continue;
        QTextCursor next(after);
        // Qt lays out an empty paragraph between two tables as nothing, its break too.
        if (after.length() == 1 && next.movePosition(QTextCursor::NextBlock) && next.currentTable()
            && next.currentTable()->firstPosition() == after.position() + 1) {
            QTextTableFormat below = next.currentTable()->format();
            below.setPageBreakPolicy(below.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
            next.currentTable()->setFormat(below);
            continue;
        }
        QTextBlockFormat paragraph = after.blockFormat();
        paragraph.setPageBreakPolicy(paragraph.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(after).setBlockFormat(paragraph);
    }
    cursor.endEditBlock();
    return true;
}

} // namespace velkin::TableParts
