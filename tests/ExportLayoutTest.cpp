// What PDF and RTF show of a document's tables and lists: every cell, each
// column's alignment, every list number beside its item's text.
#include "PdfText.h"
#include "export/Export.h"
#include "export/PageImport.h"
#include "platform/richtext/ItemNumbers.h"
#include "platform/richtext/PDFPage.h"
#include "platform/richtext/TableParts.h"
#include "platform/richtext/WideTables.h"
#include "platform/text/Utf.h"

#include <QTextBlock>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

namespace {

std::string rtfOf(const std::string& markdown)
{
    const auto data = Export::richText(MarkdownHTML::document(u16(markdown)));
    return data ? std::string(data->constData(), size_t(data->size())) : std::string();
}

// The alignment words of the table cells' paragraphs, in order.
std::vector<std::string> cellAlignments(const std::string& rtf)
{
    std::vector<std::string> out;
    for (size_t at = rtf.find("\\intbl\\q"); at != std::string::npos; at = rtf.find("\\intbl\\q", at + 1))
        out.push_back(rtf.substr(at + 6, 3));
    return out;
}

} // namespace

TEST(RichTextExport, TableColumnsKeepTheirAlignment)
{
    const std::string rtf = rtfOf("| a | b | c | d |\n| :-- | :-: | --: | --- |\n| l | m | r | n |\n");
    const std::vector<std::string> row{"\\ql", "\\qc", "\\qr", "\\ql"};
    std::vector<std::string> both = row;
    both.insert(both.end(), row.begin(), row.end());
    EXPECT_EQ(cellAlignments(rtf), both);
}

namespace {

std::string orderedList(int items, int start, bool loose, const std::string& wrapped = {})
{
    std::string text;
    for (int n = start; n < start + items; ++n) {
        text += std::to_string(n) + ". " + (n == start + 5 && !wrapped.empty() ? wrapped : "item " + std::to_string(n)) + "\n";
        if (loose)
            text += "\n";
    }
    return text;
}

class ExportedFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = fs::temp_directory_path()
               / ("velkin-layout-test-" + std::to_string(getpid()) + "-"
                  + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pdf");
    }
    void TearDown() override { fs::remove(file); }
    fs::path file;
};

} // namespace

// Qt numbers lists itself only up to 200 items and only from 1; the others
// carry their numbers as text, which must read the same.
TEST_F(ExportedFile, EveryListNumberSharesItsLineWithItsText)
{
    for (const auto& [items, start] : {std::pair{200, 1}, {201, 1}, {201, 3}})
        for (const bool loose : {false, true}) {
            SCOPED_TRACE(std::to_string(items) + " items from " + std::to_string(start) + (loose ? ", loose" : ", tight"));
            const U16String markdown = u16(orderedList(items, start, loose));
            ASSERT_FALSE(Export::write(markdown, file, ExportFormat::pdf, {}));
            if (const auto text = velkin::testing::pdfText(file)) {
                std::vector<std::string> expected, found;
                for (int n = start; n < start + items; ++n)
                    expected.push_back(std::to_string(n) + ". item " + std::to_string(n));
                std::istringstream lines(*text);
                for (std::string line; std::getline(lines, line);)
                    if (line.find("item") != std::string::npos)
                        found.push_back(line.substr(line.front() == '\f'));  // a page's first line follows a form feed
                EXPECT_EQ(found, expected);
            }
            const std::string rtf = rtfOf(u8(markdown));
            size_t paragraphs = 0;
            for (size_t at = rtf.find("item "); at != std::string::npos; at = rtf.find("item ", at + 1)) {
                const size_t from = rtf.rfind("\\pard", at);
                const std::string number = rtf.substr(at + 5, rtf.find_first_not_of("0123456789", at + 5) - at - 5);
                const std::string paragraph = rtf.substr(from, at - from);
                EXPECT_NE(paragraph.find("\\fi-360"), std::string::npos) << number;
                EXPECT_NE(paragraph.find(" " + number + ".\\tab}"), std::string::npos) << number;
                ++paragraphs;
            }
            EXPECT_EQ(paragraphs, size_t(items));
        }
}

TEST_F(ExportedFile, AWrappedItemOfALongListHangsUnderItsText)
{
    std::string words;
    for (int k = 0; k < 40; ++k)
        words += " wrapped" + std::to_string(k);
    for (const int start : {1, 3, 99990}) {
        SCOPED_TRACE(start);
        auto document = PageImport::load(MarkdownHTML::document(u16(orderedList(201, start, false, words.substr(1)))));
        ASSERT_FALSE(PDFPage::write(*document, file));
        QTextBlock item = document->begin();
        while (item.isValid() && !item.text().contains(QStringLiteral("wrapped0")))
            item = item.next();
        ASSERT_TRUE(item.isValid());
        const int number = ItemNumbers::length(item);
        EXPECT_EQ(item.text().left(number), QString::number(start + 5) + QStringLiteral(". "));
        const QTextLayout* lines = item.layout();
        ASSERT_GE(lines->lineCount(), 3);
        // The number stands out to the left, never past the page's edge; the
        // lines below start where the text does, unless the number is wider
        // than the list's indentation.
        const double text = lines->lineAt(0).cursorToX(number);
        EXPECT_LT(lines->lineAt(0).x(), text - 10);
        EXPECT_GE(lines->lineAt(0).x(), 0);
        if (start < 99990) {
            EXPECT_NEAR(lines->lineAt(1).x(), text, 0.01);
            EXPECT_NEAR(lines->lineAt(2).x(), text, 0.01);
        }
    }
}

namespace {

// A table of `columns` columns headed "H0", "H1", ..., its cells "r0c0", "r0c1", ...
std::string tableOf(int columns, int rows, const std::string& word = {})
{
    std::string text = "|";
    for (int c = 0; c < columns; ++c)
        text += " H" + std::to_string(c) + " |";
    text += "\n|";
    for (int c = 0; c < columns; ++c)
        text += "---|";
    for (int r = 0; r < rows; ++r) {
        text += "\n|";
        for (int c = 0; c < columns; ++c)
            text += " " + (word.empty() ? "r" + std::to_string(r) + "c" + std::to_string(c) : word) + " |";
    }
    return text + "\n";
}

std::vector<QTextTable*> tablesOf(const QTextDocument& document)
{
    std::vector<QTextTable*> tables;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            tables.push_back(table);
    return tables;
}

} // namespace

TEST_F(ExportedFile, EveryCellOfATableWiderThanThePageIsPrinted)
{
    for (const int columns : {32, 40, 100}) {
        SCOPED_TRACE(columns);
        ASSERT_FALSE(Export::write(u16(tableOf(columns, 2)), file, ExportFormat::pdf, {}));
        const auto text = velkin::testing::pdfText(file);
        if (!text)
            GTEST_SKIP() << "pdftotext is not installed";
        std::istringstream words(*text);
        std::set<std::string> found;
        for (std::string word; words >> word;)
            found.insert(word);
        for (int c = 0; c < columns; ++c)
            for (const std::string& cell : {"H" + std::to_string(c), "r0c" + std::to_string(c), "r1c" + std::to_string(c)})
                EXPECT_TRUE(found.count(cell)) << cell;
    }
}

// A table of more rows than one part holds is cut into the same columns in
// each part, every row whole and in order across the cuts.
TEST(WideTables, ATallTableIsCutAlikeInEveryPart)
{
    const int columns = 40;
    const int rows = 301;
    auto document = PageImport::load(MarkdownHTML::document(u16(tableOf(columns, rows))));
    ASSERT_GT(TableParts::tablesInParts(*document).size(), 0u);
    document->setPageSize(QSizeF(487, 700));
    ASSERT_TRUE(WideTables::cut(*document));
    const auto groups = TableParts::tablesInParts(*document);
    ASSERT_GT(groups.size(), 1u);
    std::vector<QStringList> lines(size_t(rows) + 1);  // every row's cells, as printed in order
    for (const auto& parts : groups) {
        const int width = parts.front()->columns();
        size_t row = 0;
        for (const QTextTable* part : parts) {
            EXPECT_EQ(part->columns(), width);
            for (int r = 0; r < part->rows(); ++r, ++row)
                for (int c = 0; c < width; ++c)
                    lines[row] << part->cellAt(r, c).firstCursorPosition().block().text();
        }
        EXPECT_EQ(row, lines.size());
    }
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c < columns; ++c)
            ASSERT_EQ(lines[size_t(r)].value(c), r == 0 ? QStringLiteral("H%1").arg(c) : QStringLiteral("r%1c%2").arg(r - 1).arg(c));
}

// What fits the page with its words wrapped, or overruns it only by its last
// border (the layout's rounding), stays one table.
TEST_F(ExportedFile, ATableThatFitsThePageIsLeftWhole)
{
    const std::string rounded = "| Key Type | `'enclose'` | `'declose'` | `'sign'` | `'verify'` | `'deriveKey'` | `'deriveBits'` "
                                "| `'wrapKey'` | `'unwrapKey'` |\n|---|---|---|---|---|---|---|---|---|\n"
                                "| `'ABC-CBC'` | \u2714 | \u2714 | | | | | \u2714 | \u2714 |\n"
                                "| `'ABC-CTR'` | \u2714 | \u2714 | | | | | \u2714 | \u2714 |\n"
                                "| `'ABC-GCM'` | \u2714 | \u2714 | | | | | \u2714 | \u2714 |\n"
                                "| `'ABC-KW'` | | | | | | | \u2714 | \u2714 |\n"
                                "| `'ECDH'` | | | | | \u2714 | \u2714 | | |\n";
    for (const std::string& markdown : {tableOf(6, 2, "averyveryverylongwordthatwraps"), rounded}) {
        auto document = PageImport::load(MarkdownHTML::document(u16(markdown)));
        ASSERT_FALSE(PDFPage::write(*document, file));
        EXPECT_EQ(tablesOf(*document).size(), 1u);
    }
}
