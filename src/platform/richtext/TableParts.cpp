#include "platform/richtext/TableParts.h"

#include "platform/richtext/DocumentCopy.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

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

// As Qt draws it: its size scaled by the device's resolution over the screen's.
double pictureWidth(const QTextImageFormat& picture, const QTextDocument& document)
{
    const double width = picture.width() > 0
                             ? picture.width()
                             : document.resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>().width();
    const QPaintDevice* device = document.documentLayout()->paintDevice();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double screenDpi = screen ? std::round(screen->logicalDotsPerInchY()) : 96;
    return device && screenDpi > 0 ? width * device->logicalDpiY() / screenDpi : width;
}

} // namespace

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

} // namespace velkin::TableParts
