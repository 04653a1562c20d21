// What PDF and RTF show of a document's tables and lists: every cell, each
// column's alignment, every list number beside its item's text.
#include "PdfText.h"
#include "export/Export.h"
#include "export/PageImport.h"
#include "platform/richtext/ItemNumbers.h"
#include "platform/richtext/PDFPage.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        // A page's first line follows its form feed.
        if (!line.empty() && line.front() == '\f')
            line.erase(0, 1);
        lines.push_back(line);
    }
    return lines;
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
                for (const std::string& line : linesOf(*text))
                    if (line.find("item") != std::string::npos)
                        found.push_back(line);
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
    for (const int start : {1, 3}) {
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
        // The number stands out to the left; the lines below start where the text does.
        const double text = lines->lineAt(0).cursorToX(number);
        EXPECT_LT(lines->lineAt(0).x(), text - 10);
        EXPECT_NEAR(lines->lineAt(1).x(), text, 0.01);
        EXPECT_NEAR(lines->lineAt(2).x(), text, 0.01);
    }
}
