#pragma once
// A table of very many rows written as consecutive tables, its parts, since
// Qt's table code costs more than in proportion to a table's rows. Each part
// carries its index in kPartIndex; a part of a later index continues the table
// of the part just before it. Made to read, and to print, as the one table.
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextTable>

#include <vector>

namespace velkin::TableParts {

inline constexpr int kPartIndex = QTextFormat::UserProperty + 0x7a1;

// The format of the character at `position` (in the document) of the block.
QTextCharFormat formatAt(const QTextBlock& block, int position);

// The cell's paragraphs written into the empty cell `to`, with its formats.
void copyCell(const QTextTableCell& from, QTextTableCell to);

// The least and the most room a cell's text takes: its widest word, and its
// widest line unwrapped, in the fonts and on the device it is laid out with.
struct Room {
    double least = 0;
    double most = 0;
};
Room roomOf(const QTextTableCell& cell, const QTextDocument& document);

// Whether a table is a part of a table written in parts.
bool isPart(const QTextTable& table);

// The parts of each table of the document written in parts, in order.
std::vector<std::vector<QTextTable*>> tablesInParts(const QTextDocument& document);

// Every part given the column widths the whole table gets in the document's
// layout (its paint device and page width). Qt shares a table's width by the
// least and the most room each column's cells take over all its rows, which
// no part sees alone: the widths come from a table of the header row and the
// rows that set those, laid out once. `page` stands for the document's page
// size, which may not be given yet: the widths need no layout of the
// document, and an edit before its layout lays nothing out again.
void matchColumns(QTextDocument& document, QSizeF page = QSizeF());

// For the document's pages: the parts cut again where the whole table's pages
// break, each part after the first with a copy of the header row and the
// whole table's margins, so that every page the table runs over shows the
// header on top, and none shows it lower down. The first part is measured
// where it stands, each later one in a copy laid out alone from the top of a
// page. The document is to be laid out afresh afterwards, as after any edit.
void cutAtPages(QTextDocument& document);

// Marks the cells of a row that goes on from the row above it: a part after
// the first of a row cut at its lines for print (see PageImport).
inline constexpr int kRowPart = QTextFormat::UserProperty + 0x7a2;
// Ends each part but the last of such a row, where its line break was, in that
// break's format: an invisible mark that gives the part's last line the height
// and baseline the break gave it.
inline constexpr QChar kCutBreak = QChar(0x200B);

// For the document's pages, laid out: a row cut at its lines into parts is
// made one row again where its lines did not meet level at a cut, where a
// column going on past it took more room than another above it (a line that
// wraps, or is set taller). Each part starts level in every column, so its
// lines would stand away from those beside them; the whole row is cut where
// the pages break instead (cutTallRows). True when a row was joined: the
// document is then to be laid out afresh.
bool joinUnevenRowParts(QTextDocument& document);

// For print, before the document is laid out: the last parts of a row cut at
// its lines that hold nothing, as the parts of a table of some of its columns
// may (see WideTables), are taken out, their foot given to the part above
// them: each would print as an empty line.
void dropEmptyRowParts(QTextDocument& document);

// For the document's pages, laid out: a table row whose cells run over more
// than two pages becomes a row for each page it runs over, each holding the
// lines its cells have on that page, with no border between them. Every line
// stays where it was: Qt draws a cell's borders for every page the cell runs
// over on each page it draws, so a tall row cost its pages times its pages.
// Only cells of one plain paragraph are cut (a row with another that runs
// past its first page is left whole). True when a row was cut: the document
// is then to be laid out afresh.
bool cutTallRows(QTextDocument& document);

// For the document's pages, laid out: header rows that take more than half a
// page are printed once, where they stand, as body rows are. Qt repeats a
// table's header rows on every page the table runs over, whatever their
// height: a header of most of a page leaves the rows under it no room, and
// one past a page is drawn over the text above the table. True when a table
// was changed: the document is then to be laid out afresh.
bool printTallHeadersOnce(QTextDocument& document);
// Has `tables` print their header rows once, where they stand, in one edit.
void stopRepeatingHeaders(QTextDocument& document, const std::vector<QTextTable*>& tables);

// For the document's pages, laid out: a table whose header rows repeat ends on
// the page of its last row. Qt repeats them on every page the table's box
// reaches, its margin below included, so a table ending at a page's foot had
// its header drawn over what follows it on the next page (or on a page of
// its own at the document's end). Such a table's box ends a point short of
// its last row instead, and what follows it starts the next page, where it
// stood. True when a table was changed.
bool endHeadersWithTheirRows(QTextDocument& document);

} // namespace velkin::TableParts
