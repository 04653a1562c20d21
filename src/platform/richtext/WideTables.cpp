#include "platform/richtext/WideTables.h"

#include "platform/richtext/DocumentCopy.h"
#include "platform/richtext/TableParts.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

namespace velkin::WideTables {

namespace {

// Room allowed above a cell's widest word as measured, for the layout's own
// measure of it: a column a hair narrower would break that word. Qt sets a
// column's edges on whole points, which takes up to a point more.
constexpr double kSlack = 2;

using Group = std::vector<QTextTable*>;  // a table, or the parts of one

// Every table of the document, the parts of one together.
std::vector<Group> groupsOf(const QTextDocument& document)
{
    const std::vector<Group> parted = TableParts::tablesInParts(document);
    std::unordered_set<const QTextTable*> inParts;
    for (const Group& parts : parted)
        inParts.insert(parts.begin(), parts.end());
    std::vector<Group> groups;
    size_t next = 0;  // the next group of parts
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        if (next < parted.size() && parted[next].front() == table)
            groups.push_back(parted[next++]);
        else if (!inParts.count(table))
            groups.push_back({table});
    }
    return groups;
}

QRectF textOf(QAbstractTextDocumentLayout& layout, const QTextTable& table, int column)
{
    return layout.blockBoundingRect(table.cellAt(0, column).firstCursorPosition().block());
}

// Where the table's first cell's text starts, and the room between one
// cell's text and the next one's (padding and borders, half of it before the
// first cell's text and after the last's): neither depends on the columns'
// widths, so a copy of the first row's first two cells laid out alone on the
// page tells, and the document itself need not be laid out before it is cut.
struct Edges {
    double left;
    double between;
};
Edges edgesOf(const QTextDocument& document, const QTextTable& table, QSizeF page)
{
    DocumentCopy scratch(document);
    scratch.documentLayout()->setPaintDevice(document.documentLayout()->paintDevice());
    QTextTableFormat format = table.format();
    format.clearColumnWidthConstraints();
    QTextCursor cursor(&scratch);
    cursor.beginEditBlock();
    QTextTable* copy = cursor.insertTable(1, 2, format);
    for (int c = 0; c < 2; ++c)
        TableParts::copyCell(table.cellAt(0, c), copy->cellAt(0, c));
    cursor.endEditBlock();
    scratch.setPageSize(page);
    QAbstractTextDocumentLayout& layout = *scratch.documentLayout();
    const QRectF first = textOf(layout, *copy, 0);
    return {first.left(), textOf(layout, *copy, 1).left() - first.right()};
}

// One table to be made of a range of the group's columns, with the shares of
// its width they take.
struct Cut {
    int from;
    int to;
    QList<QTextLength> widths;
};

// Column widths, each with the room between columns, as shares of their sum.
QList<QTextLength> percentages(std::vector<double> widths, double between)
{
    double total = 0;
    for (double& width : widths)
        total += width += between;
    QList<QTextLength> out;
    for (double width : widths)
        out.append(QTextLength(QTextLength::PercentageLength, 100 * width / total));
    return out;
}

// The widths of columns `from` to `to`: each its widest word at least, what
// room is left shared by how much more its longest line wants, each with the
// room between two cells' text; as shares of the table's width.
QList<QTextLength> shares(const std::vector<TableParts::Room>& rooms, int from, int to, double room, double between)
{
    double least = 0;
    double most = 0;
    for (int c = from; c < to; ++c) {
        least += rooms[size_t(c)].least;
        most += std::max(rooms[size_t(c)].most, rooms[size_t(c)].least);
    }
    const double text = room - (to - from) * between;
    std::vector<double> widths;
    for (int c = from; c < to; ++c) {
        const TableParts::Room& r = rooms[size_t(c)];
        const double wanted = std::max(r.most, r.least);
        if (most <= text || most <= least)
            widths.push_back(wanted);
        else if (least < text)
            widths.push_back(r.least + (text - least) * (wanted - r.least) / (most - least));
        else
            widths.push_back(r.least);
    }
    return percentages(widths, between);
}

// The widths of a table left whole, as Qt shares a table's width but from
// each column's widest word: each column that much, and what room is left
// shared evenly by the columns whose longest lines want more, up to those
// lines; as shares of the table's width.
QList<QTextLength> evenShares(const std::vector<TableParts::Room>& rooms, double room, double between)
{
    std::vector<double> widths;
    double left = room;
    for (const TableParts::Room& r : rooms) {
        widths.push_back(r.least);
        left -= r.least + between;
    }
    for (bool grown = true; left > 0.01 && grown;) {
        grown = false;
        size_t wanting = 0;
        for (size_t c = 0; c < rooms.size(); ++c)
            wanting += widths[c] < rooms[c].most;
        for (size_t c = 0; c < rooms.size() && wanting > 0; ++c) {
            if (widths[c] >= rooms[c].most)
                continue;
            const double more = std::min(rooms[c].most - widths[c], left / double(wanting--));
            widths[c] += more;
            left -= more;
            grown = grown || more > 0;
        }
    }
    return percentages(widths, between);
}

// How the group is to be cut: nothing when its longest lines fit the page, one
// cut of all its columns when every column can be as wide as its widest word,
// but for words wider than the page; else its columns are taken in order, as
// many to a table as fit so, and at least one.
std::vector<Cut> cutsOf(const QTextDocument& document, const Group& group, QSizeF page)
{
    const QTextTable& first = *group.front();
    const int columns = first.columns();
    if (columns < 2)
        return {};
    const auto [left, between] = edgesOf(document, first, page);
    const double room = page.width() - (left - between / 2);

    std::vector<TableParts::Room> rooms(static_cast<size_t>(columns));
    std::vector<TableParts::Room> whole(static_cast<size_t>(columns));  // but for cells of words wider than the page
    for (const QTextTable* table : group)
        for (int r = 0; r < table->rows(); ++r)
            for (int c = 0; c < std::min(columns, table->columns()); ++c) {
                const TableParts::Room cell = TableParts::roomOf(table->cellAt(r, c), document);
                rooms[size_t(c)].least = std::max(rooms[size_t(c)].least, cell.least + kSlack);
                rooms[size_t(c)].most = std::max(rooms[size_t(c)].most, cell.most + kSlack);
                if (cell.least + kSlack + between <= room)
                    whole[size_t(c)].least = std::max(whole[size_t(c)].least, cell.least + kSlack);
                whole[size_t(c)].most = rooms[size_t(c)].most;
            }
    // A word wider than the page breaks wherever it stands: its column asks
    // for the widest of its other cells' words, and gets what the others
    // leave. A table whose columns fit so is printed whole. Qt would share its
    // width by its columns' longest lines and squeeze a column below its
    // widest word: when those lines do not all fit, the table is given its
    // columns' widths here.
    double wanted = 0;
    double longest = 0;
    for (const TableParts::Room& r : whole) {
        wanted += r.least + between;
        longest += std::max(r.most, r.least) - kSlack + between;
    }
    if (longest <= room)
        return {};
    if (wanted <= room)
        return {{0, columns, evenShares(whole, room, between)}};
    std::vector<Cut> cuts;
    int from = 0;
    double used = 0;
    for (int c = 0; c <= columns; ++c) {
        const double need = c < columns ? rooms[size_t(c)].least + between : 0;
        if (c == columns || (c > from && used + need > room)) {
            cuts.push_back({from, c, shares(rooms, from, c, room, between)});
            from = c;
            used = 0;
        }
        used += need;
    }
    return cuts;
}

// The paragraph after `table` takes no room: what follows it reads on as the
// next part of the table, or as the table's next columns.
void takeNoRoomAfter(QTextDocument& document, const QTextTable& table)
{
    QTextCursor cursor(&document);
    cursor.setPosition(table.lastPosition() + 1);
    QTextBlockFormat format = cursor.blockFormat();
    format.setTopMargin(0);
    format.setBottomMargin(0);
    format.setLineHeight(0, QTextBlockFormat::FixedHeight);
    cursor.setBlockFormat(format);
}

// The group cut: a copy of its columns of each further cut after it, part by
// part, and its own tables left with the first cut's columns.
void cutGroup(QTextDocument& document, const Group& group, const std::vector<Cut>& cuts)
{
    QTextCursor at(&document);
    at.setPosition(group.back()->lastPosition() + 1);
    const QTextTable* last = group.back();
    for (size_t k = 1; k < cuts.size(); ++k) {
        const Cut& cut = cuts[k];
        for (const QTextTable* part : group) {
            QTextTableFormat format = part->format();
            format.setColumnWidthConstraints(cut.widths);
            QTextTable* copy = at.insertTable(part->rows(), cut.to - cut.from, format);
            for (int r = 0; r < part->rows(); ++r)
                for (int c = cut.from; c < cut.to; ++c)
                    TableParts::copyCell(part->cellAt(r, c), copy->cellAt(r, c - cut.from));
            takeNoRoomAfter(document, *last);
            last = copy;
            at.setPosition(copy->lastPosition() + 1);
        }
    }
    for (QTextTable* part : group) {
        part->removeColumns(cuts.front().to, part->columns() - cuts.front().to);
        QTextTableFormat format = part->format();
        format.setColumnWidthConstraints(cuts.front().widths);
        part->setFormat(format);
    }
}

} // namespace

bool cut(QTextDocument& document, QSizeF page)
{
    if (!page.isValid())
        page = document.pageSize();
    std::vector<std::pair<Group, std::vector<Cut>>> wide;
    std::vector<std::pair<Group, QList<QTextLength>>> whole;  // tables that fit, with their columns' widths
    for (const Group& group : groupsOf(document)) {
        std::vector<Cut> cuts = cutsOf(document, group, page);
        if (cuts.size() > 1)
            wide.emplace_back(group, std::move(cuts));
        else if (cuts.size() == 1)
            whole.emplace_back(group, std::move(cuts.front().widths));
    }
    for (const auto& [group, widths] : whole)
        for (QTextTable* part : group) {
            QTextTableFormat format = part->format();
            format.setColumnWidthConstraints(widths);
            part->setFormat(format);
        }
    if (wide.empty())
        return false;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // From the last, so that the tables before stay where they were measured.
    for (auto it = wide.rbegin(); it != wide.rend(); ++it)
        cutGroup(document, it->first, it->second);
    cursor.endEditBlock();
    return true;
}

} // namespace velkin::WideTables
