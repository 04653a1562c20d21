// Inputs that once made page images and PDF cost far more than their size: the
// results must stay right (lines filled, text kept, rows drawn, every shortcode
// collapsed) now that the work is linear. Speed itself is measured in bench/.
#include "PdfText.h"
#include "export/Export.h"
#include "export/PreviewRendererPage.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownStyler.h"
#include "platform/layout/LayoutManager.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

namespace {

U16String repeated(std::u16string_view unit, int times)
{
    U16String out;
    for (int i = 0; i < times; ++i)
        out += unit;
    return out;
}

// The characters of every line of the storage's first paragraph, in order.
std::vector<Range> linesOf(LayoutManager& layout, int length)
{
    std::vector<Range> lines;
    for (int at = 0; at < length;) {
        Range line;
        layout.lineFragmentRect(at, &line);
        if (line.length <= 0)
            break;
        lines.push_back(line);
        at = line.end();
    }
    return lines;
}

using velkin::testing::pdfText;

} // namespace

TEST(LongLines, AnUnbreakableStretchFillsEveryLineAndNormalWordsStillWrapAtSpaces)
{
    // Words, then 12,000 characters without a break opportunity, then words again.
    const U16String words = repeated(u"lorem ipsum ", 20);
    const U16String stretch = repeated(u"*a", 6000);
    const U16String text = words + stretch + u" " + words;
    TextStorage storage(text);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    LayoutManager layout(&storage);
    layout.setTextContainer({500, 1e12, 4});
    const std::vector<Range> lines = linesOf(layout, storage.length());
    ASSERT_GT(lines.size(), 20u);
    int covered = 0;
    size_t inStretch = 0;
    int shortest = INT_MAX;
    for (const Range& line : lines) {
        covered += line.length;
        const int start = int(words.size());
        const int end = start + int(stretch.size());
        // Lines wholly inside the stretch are broken anywhere and filled.
        if (line.location > start && line.end() < end) {
            ++inStretch;
            shortest = std::min(shortest, line.length);
        }
        // Outside it, lines end at a space as before.
        if (line.end() <= start && line.end() > 0) {
            EXPECT_EQ(text[size_t(line.end() - 1)], u' ') << line.location;
        }
    }
    EXPECT_EQ(covered, int(text.size()));
    EXPECT_GT(inStretch, 10u);
    const int longest = std::max_element(lines.begin(), lines.end(), [](Range a, Range b) { return a.length < b.length; })->length;
    EXPECT_GT(shortest, longest * 3 / 4);
    // The stretch starts on a line of its own, as word wrapping puts a long word.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](Range l) { return l.location == int(words.size()); }));
}

TEST(LongLines, PagesOfHostileInputsAreDrawnWhole)
{
    struct Case {
        const char* name;
        U16String markdown;
    };
    const Case cases[] = {
        {"styled stretch", repeated(u"*a", 10000)},
        {"code spans", repeated(u"`a``b ", 3000)},
        {"empty table rows", u"| a | b |\n" + repeated(u"|-|\n", 2000)},
        {"wide table", [] {
             U16String head = u"|", rule = u"|", row = u"|";
             for (int c = 0; c < 400; ++c) {
                 head += u" h |";
                 rule += u"-|";
                 row += u" cell |";
             }
             return head + u"\n" + rule + u"\n" + row + u"\n";
         }()},
    };
    const fs::path out = fs::temp_directory_path() / ("velkin-hostile-" + std::to_string(getpid()) + ".png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(PreviewRenderer::renderPNG(c.markdown, out, 760, 14, std::nullopt, std::nullopt, std::nullopt));
        // The page is as tall as its laid-out text, and its last band was drawn (text near the foot).
        const TextStorage storage = PreviewRenderer::preparePage(c.markdown, 760, 14, std::nullopt);
        TextStorage copy(storage);
        LayoutManager layout(&copy);
        layout.setTextContainer({760 - 56, 1e12, 4});
        const double height = std::ceil(layout.usedRect().height()) + 56;
        QImageReader reader(QString::fromStdString(out.string()));
        reader.setAllocationLimit(0);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull());
        const double scale = height > 20000 ? 1 : 2;
        EXPECT_EQ(image.height(), int(height * scale));
        bool inkNearFoot = false;
        const QRgb background = image.pixel(0, image.height() - 1);
        for (int y = image.height() - int(100 * scale); y < image.height() && !inkNearFoot; ++y)
            for (int x = 0; x < image.width() && !inkNearFoot; x += 1)
                inkNearFoot = image.pixel(x, y) != background;
        EXPECT_TRUE(inkNearFoot);
    }
    fs::remove(out);
}

TEST(LongLines, PDFKeepsEveryCharacterOfALongWordAndRTFGetsNoExtraCharacters)
{
    const U16String word = repeated(u"abcdefghij", 300);
    const U16String markdown = u"before " + word + u" after";
    const fs::path pdf = fs::temp_directory_path() / ("velkin-longword-" + std::to_string(getpid()) + ".pdf");
    ASSERT_FALSE(Export::write(markdown, pdf, ExportFormat::pdf, {}));
    if (const auto text = pdfText(pdf)) {
        std::string joined;
        for (size_t i = 0; i < text->size(); ++i) {
            if (text->compare(i, 3, "\xE2\x80\x8B") == 0) {  // a zero-width space, if a reader shows it
                i += 2;
                continue;
            }
            if ((*text)[i] != '\n' && (*text)[i] != ' ' && (*text)[i] != '\f')
                joined += (*text)[i];
        }
        EXPECT_EQ(joined, "before" + u8(word) + "after");
    }
    fs::remove(pdf);
    std::string error;
    const auto rtf = Export::richText(MarkdownHTML::document(markdown, {}), &error);
    ASSERT_TRUE(rtf);
    EXPECT_TRUE(rtf->contains(QByteArray::fromStdString(u8(word))));
    EXPECT_FALSE(rtf->contains("\\u8203"));
}

TEST(LongLines, ThousandsOfShortcodesInOneParagraphAllCollapse)
{
    const U16String text = repeated(u":smile: ", 3000);
    const TextStorage page = PreviewRenderer::preparePage(text, 760, 14, std::nullopt);
    int collapsed = 0;
    for (size_t at = text.find(u':'); at != U16String::npos; at = text.find(u":smile:", at + 7))
        collapsed += page.attribute(AttributeKey::EmojiShortcode, int(at)) ? 1 : 0;
    EXPECT_EQ(collapsed, 3000);
    // The line is raised for the emoji from its start to its end.
    ASSERT_TRUE(page.paragraphStyle(0));
    EXPECT_GE(page.paragraphStyle(0)->minimumLineHeight, 17);
    EXPECT_EQ(page.paragraphStyle(0)->minimumLineHeight, page.paragraphStyle(int(text.size()) - 1)->minimumLineHeight);
}
