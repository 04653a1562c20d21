// Image lines: the line test, the walker, display sizes, the placeholder and the caret rule.
#include "markdown/ImageBlock.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace velkin;
using ImageBlock::Parsed;

namespace {

std::vector<Parsed> imageLines(U16View text, std::vector<Range>* lines = nullptr, std::vector<Range>* enclosing = nullptr)
{
    std::vector<Parsed> out;
    ImageBlock::enumerateImageLines(AttributedString(U16String(text)),
                                    [&](Range line, Range whole, const U16String& alt, const U16String& url) {
                                        out.push_back({alt, url});
                                        if (lines)
                                            lines->push_back(line);
                                        if (enclosing)
                                            enclosing->push_back(whole);
                                    });
    return out;
}

QImage white(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

TEST(ImageLine, AWholeLineImageWithBlanksAround)
{
    EXPECT_EQ(ImageBlock::parseBlockImage(u"![alt](cat.png)"), (Parsed{u"alt", u"cat.png"}));
    EXPECT_EQ(ImageBlock::parseBlockImage(u" \t![alt](cat.png)\u00A0 "), (Parsed{u"alt", u"cat.png"}));
    EXPECT_EQ(ImageBlock::parseBlockImage(u"![](data:image/png;base64,iVBORw0KGgo=)"),
              (Parsed{u"", u"data:image/png;base64,iVBORw0KGgo="}));
    EXPECT_EQ(ImageBlock::parseBlockImage(u"![a](a.png \"A title\")"), (Parsed{u"a", u"a.png"}));
    EXPECT_EQ(ImageBlock::parseBlockImage(u"![alt](<my pic.png>)"), (Parsed{u"alt", u"my pic.png"}));
}

TEST(ImageLine, AnythingElseOnTheLineIsNoImageLine)
{
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"see ![alt](cat.png) here"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"![alt](cat.png)!"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"![a](x.png) ![b](y.png)"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"![alt](<>)"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"![alt]()"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"| ![a](x.png) | Cat |"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"[alt](cat.png)"));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"   "));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u""));
    EXPECT_FALSE(ImageBlock::parseBlockImage(u"![unclosed](cat.png"));
}

TEST(ImageLine, WalkerReportsLinesOutsideCodeWithTheirRanges)
{
    std::vector<Range> lines, enclosing;
    const U16String text = u"![a](x.png)\n\ntext\n\n![b](y.png)";
    EXPECT_EQ(imageLines(text, &lines, &enclosing), (std::vector<Parsed>{{u"a", u"x.png"}, {u"b", u"y.png"}}));
    EXPECT_EQ(lines, (std::vector<Range>{{0, 11}, {19, 11}}));
    EXPECT_EQ(enclosing, (std::vector<Range>{{0, 12}, {19, 11}}));
    EXPECT_TRUE(imageLines(u"```\n![a](x.png)\n```").empty());
    EXPECT_TRUE(imageLines(u"para\n\n    ![a](x.png)").empty());
    EXPECT_EQ(imageLines(u"para\n    ![a](x.png)").size(), 1u);  // indented, but continuing a paragraph
    EXPECT_TRUE(imageLines(u"").empty());
}

TEST(ImageLine, CRLFTerminatorsBelongToTheEnclosingRange)
{
    std::vector<Range> lines, enclosing;
    imageLines(u"![a](x.png)\r\nnext", &lines, &enclosing);
    EXPECT_EQ(lines, (std::vector<Range>{{0, 11}}));
    EXPECT_EQ(enclosing, (std::vector<Range>{{0, 13}}));
}

TEST(ImageSize, PicturesFitTheSpaceAndAreCappedInHeight)
{
    const QImage wide(1000, 500, QImage::Format_ARGB32);
    const QImage tall(400, 2000, QImage::Format_ARGB32);
    const QImage small(200, 100, QImage::Format_ARGB32);
    EXPECT_EQ(ImageBlock::displaySize(&wide, 600), QSizeF(600, 300));
    EXPECT_EQ(ImageBlock::displaySize(&tall, 600), QSizeF(64, 320));
    EXPECT_EQ(ImageBlock::displaySize(&small, 600), QSizeF(200, 100));
    const QImage odd(3, 3, QImage::Format_ARGB32);
    EXPECT_EQ(ImageBlock::displaySize(&odd, 2.5), QSizeF(3, 3));  // at least 32 points of space
    // However thin, a picture keeps a point of each side.
    EXPECT_EQ(ImageBlock::displaySize(QSizeF(1000, 1), 468), QSizeF(468, 1));
    EXPECT_EQ(ImageBlock::displaySize(QSizeF(20000, 20), 620), QSizeF(620, 1));
    EXPECT_EQ(ImageBlock::displaySize(QSizeF(1, 20000), 468), QSizeF(1, 320));
}

TEST(ImageSize, WithoutAPictureThePlaceholderTakesTheWidth)
{
    EXPECT_EQ(ImageBlock::displaySize(nullptr, 600), QSizeF(600, 120));
    EXPECT_EQ(ImageBlock::displaySize(nullptr, 10), QSizeF(32, 120));
    EXPECT_EQ(ImageBlock::displaySize(nullptr, std::numeric_limits<double>::quiet_NaN()), QSizeF(32, 120));
    const QImage empty;
    EXPECT_EQ(ImageBlock::displaySize(&empty, 600.5), QSizeF(600.5, 120));
}

TEST(ImageSize, HighDensityPicturesCountInPoints)
{
    QImage retina(800, 400, QImage::Format_ARGB32);
    retina.setDevicePixelRatio(2);
    EXPECT_EQ(ImageBlock::displaySize(&retina, 600), QSizeF(400, 200));
}

TEST(ImagePlaceholder, DrawsATintedBoxWithASymbol)
{
    QImage image = white(200, 120);
    {
        QPainter p(&image);
        ImageBlock::drawPlaceholder(p, QRectF(0, 0, 200, 120), u"", false);
    }
    // The box is tinted a little darker than the page; the corners stay clear.
    const QRgb inside = image.pixel(30, 100);
    EXPECT_LT(qRed(inside), 255);
    EXPECT_GT(qRed(inside), 230);
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    // The symbol sits above the middle, the caption below it.
    int symbolInk = 0, captionInk = 0;
    for (int y = 30; y < 56; ++y)
        for (int x = 80; x < 120; ++x)
            symbolInk += qRed(image.pixel(x, y)) < 200;
    for (int y = 62; y < 76; ++y)
        for (int x = 40; x < 160; ++x)
            captionInk += qRed(image.pixel(x, y)) < 200;
    EXPECT_GT(symbolInk, 20);
    EXPECT_GT(captionInk, 10);
}

TEST(ImagePlaceholder, FailedAndLoadingCaptionsDiffer)
{
    auto draw = [](U16View alt, bool failed) {
        return ImageBlock::placeholderImage(alt, failed, QSizeF(240, 120));
    };
    EXPECT_EQ(draw(u"cat", true), draw(u"dog", true));  // the alt text is not shown once failed
    EXPECT_NE(draw(u"cat", false), draw(u"dog", false));
    EXPECT_NE(draw(u"", false), draw(u"", true));
    EXPECT_EQ(draw(u"", false).size(), QSize(240, 120));
}

TEST(ImagePlaceholder, DegenerateSizesAreBlank)
{
    const QImage thin = ImageBlock::placeholderImage(u"x", false, QSizeF(1, 100));
    for (int y = 0; y < thin.height(); ++y)
        ASSERT_EQ(qAlpha(thin.pixel(0, y)), 0);
    EXPECT_FALSE(ImageBlock::placeholderImage(u"x", true, QSizeF(-5, 0)).isNull());
    // A caption far longer than the box is cut short, not wrapped or overflowing.
    const QImage narrow = ImageBlock::placeholderImage(U16String(500, u'w'), false, QSizeF(40, 120));
    EXPECT_EQ(narrow.size(), QSize(40, 120));
}

TEST(ImageCaret, TheLineUnderTheCaretShowsItsSource)
{
    const Range line{12, 11}, enclosing{12, 12};
    EXPECT_TRUE(ImageBlock::showsSource(line, enclosing, {12, 0}));
    EXPECT_TRUE(ImageBlock::showsSource(line, enclosing, {23, 0}));
    EXPECT_FALSE(ImageBlock::showsSource(line, enclosing, {24, 0}));
    EXPECT_FALSE(ImageBlock::showsSource(line, enclosing, {11, 0}));
    EXPECT_TRUE(ImageBlock::showsSource(line, enclosing, {0, 13}));
    EXPECT_FALSE(ImageBlock::showsSource(line, enclosing, {0, 12}));
}
