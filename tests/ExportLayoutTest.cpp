// PDF and RTF show every cell of a table, each column's alignment, each list number beside its item.
#include "PdfText.h"
#include "TempDirectory.h"
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

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace velkin;

namespace {

std::string rtfOf(const std::string& markdown)
{
    const auto data = Export::richText(MarkdownHTML::document(u16(markdown)));
    return data ? std::string(data->constData(), size_t(data->size())) : std::string();
}

// `items` numbered from `start`; the sixth item's text is `wrapped` when given.
std::string orderedList(int items, int start, bool loose, const std::string& wrapped = {})
{
    std::string text;
    for (int n = start; n < start + items; ++n)
        text += std::to_string(n) + ". " + (n == start + 5 && !wrapped.empty() ? wrapped : "item " + std::to_string(n))
                + (loose ? "\n\n" : "\n");
    return text;
}

// A table of `columns` columns headed "H0", "H1", ..., its cells "r0c0", "r0c1", ... or `word`.
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

struct ExportedFile : ::testing::Test {
    velkin::testing::TempDirectory folder;
    const std::filesystem::path file = folder.path() / "out.pdf";
};

} // namespace

TEST(RichTextExport, TableColumnsKeepTheirAlignment)
{
    const std::string rtf = rtfOf("| a | b | c | d |\n| :-- | :-: | --: | --- |\n| l | m | r | n |\n");
    std::vector<std::string> found;  // the alignment words of the cells' paragraphs, in order
    for (size_t at = rtf.find("\\intbl\\q"); at != std::string::npos; at = rtf.find("\\intbl\\q", at + 1))
        found.push_back(rtf.substr(at + 6, 3));
    EXPECT_EQ(found, (std::vector<std::string>{"\\ql", "\\qc", "\\qr", "\\ql", "\\ql", "\\qc", "\\qr", "\\ql"}));
}

// The printed lines that hold a "z", a page's form feed left out.
std::optional<std::vector<std::string>> printedLines(const std::filesystem::path& pdf)
{
    const auto text = velkin::testing::pdfText(pdf);
    if (!text)
        return std::nullopt;
    std::vector<std::string> lines;
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);)
        if (line.find('z') != std::string::npos)
            lines.push_back(line.substr(line.front() == '\f'));
    return lines;
}

// A cell's "<br>" is a line break in print, as the editor shows it; escaped or in code it is text.
TEST_F(ExportedFile, ALineBreakInACellBreaksTheLine)
{
    // A break in a link's text or a picture's title keeps the link and the picture.
    const std::string picture = (folder.path() / "pic.png").string();
    QImage(8, 8, QImage::Format_RGB32).save(QString::fromStdString(picture));
    const std::string markdown = "| head<br>zhb |\n|---|\n| zone<br>ztwo<br>zthree |\n| zesc \\<br> zx |\n| `zc<br>zd` |\n"
                                 "| [zread<br>zmore](https://e.org/a) ![zpic](" + picture + " \"zporto<br>zdusk\") |\n";
    const std::string rtf = rtfOf(markdown);
    for (const char* cell : {"\\line zhb}", " zone\\line ztwo\\line zthree}", " zesc <br> zx}", " zc<br>zd}",
                             "HYPERLINK \"https://e.org/a\"}", "zread\\line zmore}", "\\pngblip"})
        EXPECT_NE(rtf.find(cell), std::string::npos) << cell << "\n" << rtf;
    ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
    if (const auto lines = printedLines(file)) {
        EXPECT_EQ(*lines, (std::vector<std::string>{"zhb", "zone", "ztwo", "zthree", "zesc <br> zx", "zc<br>zd", "zread", "zmore"}));
    }
}

// Qt numbers lists only up to 200 items and from 1; the others carry their numbers as text.
TEST_F(ExportedFile, EveryListNumberSharesItsLineWithItsText)
{
    for (const auto& [items, start] : {std::pair{200, 1}, {201, 1}, {201, 3}})
        for (const bool loose : {false, true}) {
            SCOPED_TRACE(std::to_string(items) + " items from " + std::to_string(start) + (loose ? ", loose" : ", tight"));
            const std::string markdown = orderedList(items, start, loose);
            ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
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
            const std::string rtf = rtfOf(markdown);
            size_t paragraphs = 0;
            for (size_t at = rtf.find("item "); at != std::string::npos; at = rtf.find("item ", at + 1), ++paragraphs) {
                const std::string number = rtf.substr(at + 5, rtf.find_first_not_of("0123456789", at + 5) - at - 5);
                const std::string paragraph = rtf.substr(rtf.rfind("\\pard", at), at - rtf.rfind("\\pard", at));
                EXPECT_NE(paragraph.find("\\fi-360"), std::string::npos) << number;
                EXPECT_NE(paragraph.find(" " + number + ".\\tab}"), std::string::npos) << number;
            }
            EXPECT_EQ(paragraphs, size_t(items));
        }
}

// Items that open with a list, a quotation, a code block or text, in turn,
// each naming its number ("zk5", "zq6", "zc7", "zp8"); printed with its number and the list's bullet.
std::string itemsOpeningWithBlocks(int items, std::vector<std::string>& printed)
{
    std::string text;
    for (int n = 1; n <= items; ++n) {
        const std::string number = std::to_string(n), indent(number.size() + 2, ' ');
        static const char* const kinds[] = {"zp", "zk", "zq", "zc"};
        printed.push_back(number + ". " + (n % 4 == 1 ? "\u2022 " : "") + kinds[n % 4] + number);
        switch (n % 4) {
        case 1: text += number + ". - zk" + number + "\n" + indent + "- more\n\n"; break;
        case 2: text += number + ". > zq" + number + "\n\n"; break;
        case 3: text += number + ". ```\n" + indent + "zc" + number + "\n" + indent + "```\n\n"; break;
        default: text += number + ". zp" + number + "\n\n"; break;
        }
    }
    return text;
}

TEST_F(ExportedFile, AnItemOpeningWithAListQuoteOrCodeShowsItsNumberBesideIt)
{
    for (const int items : {3, 4, 201}) {
        SCOPED_TRACE(std::to_string(items) + " items");
        std::vector<std::string> printed;
        const std::string markdown = itemsOpeningWithBlocks(items, printed);
        ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
        if (const auto lines = printedLines(file)) {
            EXPECT_EQ(*lines, printed);
        }
        // In RTF the number (with the inner list's bullet) is the paragraph's marker.
        const std::string rtf = rtfOf(markdown);
        for (const std::string& line : printed) {
            const std::string item = " " + line.substr(line.rfind(' ') + 1);
            size_t at = rtf.find(item);
            while (at != std::string::npos && std::isdigit(static_cast<unsigned char>(rtf[at + item.size()])))
                at = rtf.find(item, at + 1);
            ASSERT_NE(at, std::string::npos) << item;
            const std::string marker = line.substr(0, line.find(' ')) + (line.find("\u2022") != std::string::npos ? " \\u8226?" : "");
            EXPECT_NE(rtf.substr(rtf.rfind("\\pard", at), at - rtf.rfind("\\pard", at)).find(" " + marker + "\\tab}"),
                      std::string::npos) << line;
        }
    }
    // A task item shows its number, then its box, and the count goes on, from 1 and from elsewhere.
    for (const int start : {1, 7}) {
        const std::string n[] = {std::to_string(start), std::to_string(start + 1), std::to_string(start + 2)};
        const std::string markdown = n[0] + ". zopen\n" + n[1] + ". [ ] ztask\n" + n[2] + ". - [x] zdone\n";
        ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
        if (const auto lines = printedLines(file)) {
            EXPECT_EQ(*lines, (std::vector<std::string>{n[0] + ". zopen", n[1] + ". \u2610 ztask", n[2] + ". \u2611 zdone"}));
        }
        EXPECT_NE(rtfOf(markdown).find(" " + n[1] + ".\\tab}{\\f0\\fs24\\cf3 \\u9744?}"), std::string::npos) << markdown;
    }
    // A code span that opens an item's text is not where its number goes.
    const std::string page = u8(PageImport::importableHTML(MarkdownHTML::document(u16(orderedList(201, 1, false, "`zcode` x")))));
    EXPECT_NE(page.find("<li>6. <code>zcode</code> x"), std::string::npos);
}

TEST_F(ExportedFile, AWrappedItemOfALongListHangsUnderItsText)
{
    std::string words = "wrapped0";
    for (int k = 1; k < 40; ++k)
        words += " wrapped" + std::to_string(k);
    for (const int start : {1, 3, 99990}) {
        SCOPED_TRACE(start);
        auto document = PageImport::load(MarkdownHTML::document(u16(orderedList(201, start, false, words))));
        ASSERT_FALSE(PDFPage::write(*document, file));
        QTextBlock item = document->begin();
        while (item.isValid() && !item.text().contains(QStringLiteral("wrapped0")))
            item = item.next();
        ASSERT_TRUE(item.isValid());
        const int number = ItemNumbers::length(item);
        EXPECT_EQ(item.text().left(number), QString::number(start + 5) + QStringLiteral(". "));
        const QTextLayout* lines = item.layout();
        ASSERT_GE(lines->lineCount(), 3);
        // The number left of the text, inside the page; wrapped lines under the text unless the number is wider.
        const double text = lines->lineAt(0).cursorToX(number);
        EXPECT_LT(lines->lineAt(0).x(), text - 10);
        EXPECT_GE(lines->lineAt(0).x(), 0);
        for (int line = 1; line < 3 && start < 99990; ++line)
            EXPECT_NEAR(lines->lineAt(line).x(), text, 0.01) << line;
    }
}

TEST_F(ExportedFile, EveryCellOfATableWiderThanThePageIsPrinted)
{
    for (const int columns : {32, 40, 100}) {
        SCOPED_TRACE(columns);
        ASSERT_FALSE(Export::write(u16(tableOf(columns, 2)), file, ExportFormat::pdf, {}));
        const auto text = velkin::testing::pdfText(file);
        if (!text)
            GTEST_SKIP() << "pdftotext is not installed";
        std::istringstream words(*text);
        const std::set<std::string> found{std::istream_iterator<std::string>(words), {}};
        for (int c = 0; c < columns; ++c)
            for (const std::string& cell : {"H" + std::to_string(c), "r0c" + std::to_string(c), "r1c" + std::to_string(c)})
                EXPECT_TRUE(found.count(cell)) << cell;
    }
}

// A table of more rows than one part holds is cut alike in every part, every row whole and in order.
TEST(WideTables, ATallTableIsCutAlikeInEveryPart)
{
    const int columns = 40, rows = 301;
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

// A table whose widest words fit side by side stays whole, its longer lines wrapped between words.
TEST_F(ExportedFile, ATableThatFitsThePageIsLeftWhole)
{
    std::string keys = "| Key Type | `'enclose'` | `'declose'` | `'sign'` | `'verify'` | `'deriveKey'` |\n|---|---|---|---|---|---|\n";
    for (const std::string mode : {"CBC", "CTR", "GCM"})
        keys += "| `'ABC-" + mode + "'` | \u2714 | \u2714 | | | \u2714 |\n";
    for (const std::string& markdown : {tableOf(6, 2, "a very very very long line of words that wraps"), keys}) {
        auto document = PageImport::load(MarkdownHTML::document(u16(markdown)));
        ASSERT_FALSE(PDFPage::write(*document, file));
        const QList<QTextFrame*> frames = document->rootFrame()->childFrames();
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](QTextFrame* f) { return qobject_cast<QTextTable*>(f); }), 1);
    }
}

// Tables too wide for their lines, or for their words, to stand whole side by side: every word and
// number of every cell is printed once and whole, at the top level, in a list item and in a quote.
TEST_F(ExportedFile, NoWordOrNumberOfATableCellIsBroken)
{
    // Words of 4 to 11 letters and figures of 4 to 6 digits, unique over the document.
    int made = 0;
    const auto wordOf = [&made](int length) {
        std::string out;
        for (int n = made++, k = 0; k < 3; ++k, n /= 12)
            out += "bdgklmnprstv"[n % 12];
        while (int(out.size()) < length)
            out += "aeiou"[out.size() % 5];
        return out;
    };
    std::vector<std::string> cells;
    std::mt19937 rng(11);
    // Up to 8 columns, the cells hold one to four words of 4 to 14 letters: their longest
    // lines do not fit side by side, their widest words do.
    const auto table = [&](int columns, const std::string& indent, bool code) {
        std::string text = indent;
        const auto row = [&](bool figures) {
            text += "|";
            for (int c = 0; c < columns; ++c) {
                std::string cell;
                for (int w = 0, words = columns <= 8 ? 1 + int(rng() % 4) : 1; w < words; ++w) {
                    const std::string word = figures && c % 2 ? std::to_string((c % 3 == 0 ? 1000 : c % 3 == 1 ? 10000 : 100000) + 3 * made++)
                                             : columns <= 8 ? wordOf(4 + int(rng() % 11))
                                                            : wordOf(3 + (made * 5 + c) % 8);
                    cells.push_back(word);
                    cell += (w ? " " : "") + (code && !figures ? "`" + word + "`" : word);
                }
                text += " " + cell + " |";
            }
            text += "\n" + indent;
        };
        row(false);
        for (int c = 0; c < columns; ++c)
            text += "---|";
        text += "\n" + indent;
        for (int r = 0; r < 3; ++r)
            row(r > 0);
        text += "\n";
        return text;
    };
    for (const int columns : {3, 4, 5, 6, 7, 8, 10, 14, 20, 29}) {
        SCOPED_TRACE(columns);
        cells.clear();
        std::string markdown;
        for (int k = 0; k < (columns <= 8 ? 3 : 1); ++k)
            markdown += table(columns, "", false) + table(columns, "", true) + "- item\n\n" + table(columns, "  ", false)
                        + "> quoted\n>\n" + table(columns, "> ", true) + "\n";
        ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
        const auto text = velkin::testing::pdfText(file);
        if (!text)
            GTEST_SKIP() << "pdftotext is not installed";
        std::istringstream words(*text);
        std::map<std::string, int> found;
        for (std::istream_iterator<std::string> w(words), end; w != end; ++w)
            ++found[*w];
        for (const std::string& cell : cells)
            EXPECT_EQ(found[cell], 1) << cell << " in\n" << markdown << "\n----\n" << *text;
    }
}

// A word wider than the page breaks; the words beside it, and below it in its column, do not,
// not even at a slash.
TEST_F(ExportedFile, OnlyAWordWiderThanThePageBreaks)
{
    const std::string paths =
        "| Subsystem | Maintainers |\n|---|---|\n"
        "| `lib/async_hooks` | @nodejs/async\\_hooks for bugs/reviews (+ @nodejs/diagnostics for API) |\n"
        "| `lib/net` | @bnoordhuis, @indutny, @nodejs/streams |\n"
        "| `src/module_wrap.*`, `lib/internal/modules/*`, `lib/internal/vm/module.js` | @nodejs/modules |\n"
        "| platform specific | @nodejs/platform-{aix,arm,freebsd,macos,ppc,smartos,s390,windows,windows-arm} |\n";
    const std::string giant(200, 'm'), wide = "Longword Longword Longword Longword Longword Longword Long";
    std::string wideWord = wide;
    wideWord.erase(std::remove(wideWord.begin(), wideWord.end(), ' '), wideWord.end());
    for (const auto& [markdown, cells] : {
             std::pair<std::string, std::vector<std::string>>{"| Region | " + giant + " | Total |\n|---|---|---|\n| North | 14442 | 1037 |\n",
                                                              {"Region", "Total", "North", "14442", "1037"}},
             {"| " + wideWord + " | " + giant + " |\n|---|---|\n| North | Quarterly totals |\n",
              {wideWord, "North", "Quarterly", "totals"}},
             {paths, {"bugs/reviews", "@nodejs/streams", "lib/internal/modules/*,", "@nodejs/async_hooks"}}}) {
        ASSERT_FALSE(Export::write(u16(markdown), file, ExportFormat::pdf, {}));
        const auto text = velkin::testing::pdfText(file);
        if (!text)
            GTEST_SKIP() << "pdftotext is not installed";
        std::istringstream words(*text);
        const std::set<std::string> found{std::istream_iterator<std::string>(words), {}};
        for (const std::string& cell : cells)
            EXPECT_TRUE(found.count(cell)) << cell << " in\n" << *text;
        EXPECT_EQ(std::count(text->begin(), text->end(), 'm'), std::count(markdown.begin(), markdown.end(), 'm'));
    }
}
