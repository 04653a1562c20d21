// A table of many rows is imported in parts; printed and converted, it must
// be what the table written whole gives: the same pages, each with the header
// on top, the same column widths, the same rich text.
#include "PdfText.h"
#include "TempDirectory.h"
#include "export/Export.h"
#include "export/MarkdownHTML.h"
#include "export/PageImport.h"
#include "platform/richtext/PDFPage.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/richtext/RichTextWriter.h"
#include "platform/richtext/TableParts.h"
#include "platform/richtext/WideTables.h"
#include "platform/text/TextOps.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

using namespace velkin;

namespace {

// Rows of a few words, a long one now and then that wraps, and the widest
// remark far down, where the first part does not see it.
U16String tallTable(int rows)
{
    U16String text = u"Before the table.\n\n| Key | Value | Remark |\n|---|---|---|\n";
    for (int i = 0; i < rows; ++i) {
        const U16String n = TextOps::number(i);
        U16String remark = i % 53 == 7 ? u"a remark long enough to wrap onto several lines of its cell, said over and over, "
                                         u"and then once more so that the row is tall"
                                       : u"short";
        if (i == rows - 40)
            remark = u"the_widest_remark_of_the_whole_table";
        text += u"| k" + n + u" | v" + n + u" | " + remark + u" |\n";
    }
    return text + u"\nAfter the table.\n";
}

// The page with the table imported whole, as it was before tables were split.
std::unique_ptr<QTextDocument> loadWhole(const U16String& page)
{
    return RichTextImport::load(PageImport::importableHTML(TextOps::replacingAll(page, u"<tbody>\n", u"<tbody >\n")));
}

std::vector<std::string> pagesOf(const std::string& text)
{
    std::vector<std::string> pages;
    size_t from = 0;
    for (size_t feed = text.find('\f'); feed != std::string::npos; feed = text.find('\f', from)) {
        pages.push_back(text.substr(from, feed - from));
        from = feed + 1;
    }
    return pages;
}

size_t count(const std::string& text, const std::string& word)
{
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(TableParts, ATallTablePrintsTheWholeTablesPagesWithTheHeaderOnEach)
{
    const U16String page = MarkdownHTML::document(tallTable(650));
    velkin::testing::TempDirectory folder;
    const auto parts = PageImport::load(page);
    ASSERT_GT(TableParts::tablesInParts(*parts).size(), 0u);
    ASSERT_EQ(PDFPage::write(*parts, folder.path() / "parts.pdf"), std::nullopt);
    ASSERT_EQ(PDFPage::write(*loadWhole(page), folder.path() / "whole.pdf"), std::nullopt);
    const auto printed = velkin::testing::pdfText(folder.path() / "parts.pdf");
    const auto whole = velkin::testing::pdfText(folder.path() / "whole.pdf");
    if (!printed || !whole)
        GTEST_SKIP() << "pdftotext is not installed";

    const std::vector<std::string> pages = pagesOf(*printed);
    const std::vector<std::string> wholePages = pagesOf(*whole);
    ASSERT_EQ(pages.size(), wholePages.size());
    ASSERT_GT(pages.size(), 12u);
    for (size_t p = 0; p < pages.size(); ++p) {
        EXPECT_EQ(pages[p], wholePages[p]) << "page " << p + 1;
        // The header once, on top: the first page has the paragraph above it.
        EXPECT_EQ(count(pages[p], "Key"), 1u) << "page " << p + 1;
        if (p > 0) {
            EXPECT_EQ(pages[p].rfind("Key", 0), 0u) << "page " << p + 1;
        }
    }
    EXPECT_NE(pages.back().find("After the table."), std::string::npos);
}

TEST(TableParts, ThePartsOfATallTableTakeTheWholeTablesColumnWidths)
{
    const U16String page = MarkdownHTML::document(tallTable(650));
    const auto parts = PageImport::load(page);
    const auto whole = loadWhole(page);
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setResolution(72);
    const QSizeF printable(487, 734);
    for (QTextDocument* document : {parts.get(), whole.get()}) {
        document->documentLayout()->setPaintDevice(&writer);
        document->setPageSize(printable);
    }
    TableParts::matchColumns(*parts);

    // Where each column's text starts and how wide it may run.
    const auto columnsOf = [](QTextDocument& document, QTextTable& table) {
        std::vector<std::pair<double, double>> columns;
        for (int c = 0; c < table.columns(); ++c) {
            const QRectF box = document.documentLayout()->blockBoundingRect(table.cellAt(1, c).firstCursorPosition().block());
            columns.emplace_back(box.left(), box.width());
        }
        return columns;
    };
    QTextTable* wholeTable = qobject_cast<QTextTable*>(whole->rootFrame()->childFrames().front());
    ASSERT_NE(wholeTable, nullptr);
    const auto expected = columnsOf(*whole, *wholeTable);
    const auto tables = TableParts::tablesInParts(*parts);
    ASSERT_EQ(tables.size(), 1u);
    ASSERT_GT(tables.front().size(), 2u);
    for (QTextTable* part : tables.front()) {
        const auto columns = columnsOf(*parts, *part);
        ASSERT_EQ(columns.size(), expected.size());
        for (size_t c = 0; c < columns.size(); ++c) {
            EXPECT_NEAR(columns[c].first, expected[c].first, 0.01) << "column " << c;
            EXPECT_NEAR(columns[c].second, expected[c].second, 0.01) << "column " << c;
        }
    }
    for (QTextDocument* document : {parts.get(), whole.get()})
        document->documentLayout()->setPaintDevice(nullptr);
}

TEST(TableParts, ATallTablesRichTextIsTheWholeTables)
{
    // Rich text has no pages: the rows run on as one table under one header.
    const U16String page = MarkdownHTML::document(tallTable(650));
    const auto rtf = Export::richText(page);
    ASSERT_TRUE(rtf.has_value());
    const QByteArray whole = RichTextWriter::write(*loadWhole(page));
    EXPECT_EQ(*rtf, whole);
    EXPECT_EQ(count(rtf->toStdString(), "Key"), 1u);
}

namespace {

// Parts of one table built by hand, the first with a header row; the rows of
// part k have `lines(k)` lines each.
std::unique_ptr<QTextDocument> handMadeParts(int parts, int rowsPerPart, const std::function<int(int)>& lines)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDocumentMargin(0);
    QTextCursor cursor(document.get());
    int number = 0;
    for (int k = 0; k < parts; ++k) {
        QTextTableFormat format;
        format.setHeaderRowCount(k == 0 ? 1 : 0);
        format.setCellPadding(2);
        format.setBorder(0);
        format.setProperty(TableParts::kPartIndex, k);
        QTextTable* table = cursor.insertTable(rowsPerPart + (k == 0 ? 1 : 0), 1, format);
        for (int r = 0; r < table->rows(); ++r) {
            QStringList text;
            if (k == 0 && r == 0)
                text << QStringLiteral("Header");
            else
                for (int l = 0; l < lines(k); ++l)
                    text << QStringLiteral("row %1 line %2").arg(number).arg(l);
            number += k > 0 || r > 0;
            table->cellAt(r, 0).firstCursorPosition().insertText(text.join(QChar::LineSeparator));
        }
        cursor.movePosition(QTextCursor::End);
        if (k + 1 < parts)
            cursor.insertBlock();
    }
    return document;
}

} // namespace

TEST(TableParts, CutsKeepEveryRowInOrderAndHeadersAtPageTops)
{
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setResolution(72);
    // Rows of one line, many to a page; then, after the first part, rows
    // taller than a page, whose page breaks mostly fall inside a row.
    for (const bool tallRows : {false, true}) {
        const auto document = handMadeParts(4, 30, [&](int part) { return tallRows && part > 0 ? 40 : 1; });
        document->documentLayout()->setPaintDevice(&writer);
        document->setPageSize(QSizeF(300, 400));
        TableParts::cutAtPages(*document);
        document->markContentsDirty(0, document->characterCount());

        const auto tables = TableParts::tablesInParts(*document);
        ASSERT_EQ(tables.size(), 1u);
        int next = 0;
        for (size_t k = 0; k < tables.front().size(); ++k) {
            QTextTable& part = *tables.front()[k];
            const int header = part.format().headerRowCount();
            // Where one part has nowhere to be cut, the next runs on without one.
            if (!tallRows || k < 2) {
                EXPECT_EQ(header, 1) << "part " << k;
            }
            if (header > 0 && k > 0) {
                const QTextBlock top = part.cellAt(0, 0).firstCursorPosition().block();
                EXPECT_EQ(top.text(), QStringLiteral("Header"));
                EXPECT_LT(std::fmod(document->documentLayout()->blockBoundingRect(top).top(), 400.0), 10) << "part " << k;
            }
            for (int r = header; r < part.rows(); ++r, ++next)
                EXPECT_TRUE(part.cellAt(r, 0).firstCursorPosition().block().text().startsWith(QStringLiteral("row %1 ").arg(next)))
                    << "part " << k << " row " << r;
        }
        EXPECT_EQ(next, 120);
        document->documentLayout()->setPaintDevice(nullptr);
    }
}

TEST(TableParts, ADocumentWithoutPartsIsLeftUnedited)
{
    // An edited document is laid out afresh before it is printed: nothing to
    // match must not count as an edit.
    const auto document = PageImport::load(MarkdownHTML::document(u"Some text.\n\n| a | b |\n|---|---|\n| 1 | 2 |\n"));
    ASSERT_TRUE(TableParts::tablesInParts(*document).empty());
    const int revision = document->revision();
    TableParts::matchColumns(*document);
    TableParts::cutAtPages(*document);
    EXPECT_EQ(document->revision(), revision);
}

// A row over many pages is cut at them for print: each line of its cells,
// wrapped words and line breaks alike, is to stand where it stood, with the
// same text, and no border is to be drawn between the rows it became.
TEST(TableParts, ATallRowCutAtItsPagesKeepsEveryLineWhereItWas)
{
    U16String text = u"Above.\n\n| Words | More |\n|---|---:|\n| ";
    for (int i = 0; i < 3000; ++i)
        text += i % 250 == 249 ? u"**bold**<br>" : i % 3 == 0 ? u"alpha " : u"word ";
    text += u" | ";
    for (int i = 0; i < 400; ++i)
        text += u"other ";
    text += u" |\n| last | row |\n";
    const auto document = PageImport::load(MarkdownHTML::document(text), nullptr, false, true);
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setResolution(72);
    document->documentLayout()->setPaintDevice(&writer);
    // Its columns' widths set as for print: the text wraps.
    document->setPageSize(QSizeF(0, 0));
    WideTables::cut(*document, QSizeF(300, 400));
    document->setPageSize(QSizeF(300, 400));
    auto* table = qobject_cast<QTextTable*>(document->rootFrame()->childFrames().value(0));
    ASSERT_NE(table, nullptr);
    // Each column's lines: their text, and where they stand (the right
    // aligned column's last line of a page too).
    const auto linesOf = [&](int column) {
        std::vector<std::pair<std::string, std::pair<int, int>>> lines;
        for (int row = 1; row < table->rows(); ++row) {
            const QTextBlock block = table->cellAt(row, column).firstCursorPosition().block();
            const double top = document->documentLayout()->blockBoundingRect(block).top();
            for (int i = 0; i < block.layout()->lineCount(); ++i) {
                const QTextLine line = block.layout()->lineAt(i);
                QString words = block.text().mid(line.textStart(), line.textLength());
                words.remove(QChar::LineSeparator).remove(TableParts::kCutBreak);
                if (!words.trimmed().isEmpty())
                    lines.emplace_back(words.trimmed().toStdString(),
                                       std::pair(int(std::lround(4 * line.naturalTextRect().left())), int(std::lround(4 * (top + line.y())))));
            }
        }
        return lines;
    };
    document->documentLayout()->documentSize();
    const auto words = linesOf(0);
    const auto more = linesOf(1);
    ASSERT_GT(words.size(), 300u);
    ASSERT_TRUE(TableParts::cutTallRows(*document));
    document->markContentsDirty(0, document->characterCount());
    document->documentLayout()->documentSize();
    EXPECT_GT(table->rows(), 10);
    const auto same = [](const auto& after, const auto& before) {
        EXPECT_EQ(after.size(), before.size());
        for (size_t i = 0; i < std::min(after.size(), before.size()); ++i)
            if (after[i] != before[i]) {
                ADD_FAILURE() << "line " << i << ": " << after[i].first << " at " << after[i].second.first << ","
                              << after[i].second.second << ", was " << before[i].first << " at "
                              << before[i].second.first << "," << before[i].second.second;
                return;
            }
    };
    same(linesOf(0), words);
    same(linesOf(1), more);
    for (int row = 1; row + 2 < table->rows(); ++row)
        for (int column = 0; column < 2; ++column) {
            EXPECT_EQ(table->cellAt(row, column).format().toTableCellFormat().bottomBorder(), 0) << row;
            EXPECT_GT(table->cellAt(row + 1, column).format().toTableCellFormat().topPadding(), 0) << row;
        }
    // Printed, each full line of a right-aligned column ends at its edge, the
    // last of each page too (a space ending a part's line would count there).
    U16String right = u"| A | B |\n|---|---:|\n| a | ";
    for (int i = 0; i < 3000; ++i)
        right += i % 97 == 0 ? u"other **bold** [link](http://example.org) " : u"other ";
    velkin::testing::TempDirectory folder;
    const auto file = folder.path() / "right.pdf";
    ASSERT_EQ(Export::printPDF(MarkdownHTML::document(right + u" |\n"), file), std::nullopt);
    const auto boxes = velkin::testing::pdfText(file, true);
    if (!boxes)
        GTEST_SKIP() << "pdftotext is not installed";
    std::map<std::pair<int, double>, double> lineEnds;  // (page, top) -> right end
    int page = 0;
    std::istringstream in(*boxes);
    for (std::string line; std::getline(in, line);) {
        double x0, y0, x1, y1;
        if (line.find("<page ") != std::string::npos)
            ++page;
        else if ((line.find(">other<") != std::string::npos || line.find(">bold<") != std::string::npos
                  || line.find(">link<") != std::string::npos)
                 && std::sscanf(line.c_str(), " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &x0, &y0, &x1, &y1) == 4)
            lineEnds[{page, y0}] = std::max(lineEnds[{page, y0}], x1);
    }
    ASSERT_GT(page, 3);
    ASSERT_GT(lineEnds.size(), 100u);
    const double edge = lineEnds.begin()->second;
    int pageEnds = 0;
    for (auto it = lineEnds.begin(); std::next(it) != lineEnds.end(); ++it) {
        EXPECT_NEAR(it->second, edge, 0.01) << "page " << it->first.first << " at " << it->first.second;
        pageEnds += std::next(it)->first.first != it->first.first;
    }
    EXPECT_GT(pageEnds, 2);
    // Cut once, nothing is left to cut.
    document->documentLayout()->documentSize();
    EXPECT_FALSE(TableParts::cutTallRows(*document));
    document->documentLayout()->setPaintDevice(nullptr);
}
