// Drawing routines of the decorations, checked at a few pixels of a QImage.
#include "markdown/ColorSwatch.h"
#include "markdown/HardBreak.h"
#include "platform/symbols/SymbolImage.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <functional>

using namespace velkin;

namespace {

// A white canvas with whatever `paint` draws on it.
QImage canvas(int width, int height, const std::function<void(QPainter&)>& paint)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    return image;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

bool blank(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!isWhite(image.pixel(x, y)))
                return false;
    return true;
}

} // namespace

TEST(SymbolImage, KnownNamesDrawAndUnknownNamesDoNot)
{
    for (const char* name : {"info.circle", "lightbulb", "exclamationmark.bubble", "exclamationmark.triangle",
                             "exclamationmark.octagon", "photo", "photo.badge.exclamationmark"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(SymbolImage::exists(name));
        EXPECT_GT(SymbolImage::aspectRatio(name), 0.5);
        bool drawn = false;
        const QImage image = canvas(40, 40, [&](QPainter& p) {
            drawn = SymbolImage::draw(p, name, QRectF(4, 4, 32, 32), Qt::red, SymbolWeight::Semibold);
        });
        EXPECT_TRUE(drawn);
        EXPECT_FALSE(blank(image));
    }
    EXPECT_FALSE(SymbolImage::exists("photo.fill"));
    EXPECT_FALSE(SymbolImage::exists(""));
    bool drawn = true;
    const QImage image = canvas(20, 20, [&](QPainter& p) { drawn = SymbolImage::draw(p, "nope", QRectF(0, 0, 20, 20), Qt::red); });
    EXPECT_FALSE(drawn);
    EXPECT_TRUE(blank(image));
}

TEST(SymbolImage, FitsTheRectangleKeepingItsShape)
{
    // A wide rectangle: the symbol keeps its proportions and sits in the middle.
    const QRectF bounds = SymbolImage::path("info.circle", QRectF(0, 0, 100, 20)).boundingRect();
    EXPECT_NEAR(bounds.height(), 20, 0.5);
    EXPECT_NEAR(bounds.width(), 20, 0.5);
    EXPECT_NEAR(bounds.center().x(), 50, 0.5);
    EXPECT_TRUE(SymbolImage::path("photo", QRectF(0, 0, 0, 20)).isEmpty());
    EXPECT_EQ(SymbolImage::size("photo", 22), QSizeF(27.5, 22));
    EXPECT_TRUE(SymbolImage::size("photo", -1).isEmpty());
}

TEST(SymbolImage, HeavierWeightsDrawThickerLines)
{
    auto area = [](SymbolWeight w) {
        const QImage image = canvas(60, 60, [&](QPainter& p) {
            SymbolImage::draw(p, "exclamationmark.triangle", QRectF(0, 0, 60, 60), Qt::black, w);
        });
        int dark = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                dark += qRed(image.pixel(x, y)) < 128;
        return dark;
    };
    EXPECT_LT(area(SymbolWeight::Regular), area(SymbolWeight::Bold));
}

TEST(ColorSwatch, FillsWithTheColourInsideABorder)
{
    const QImage image = canvas(30, 30, [](QPainter& p) { ColorSwatch::draw(p, QRectF(5, 5, 20, 20), Color::srgb(1, 0, 0)); });
    EXPECT_EQ(image.pixel(15, 15), qRgb(255, 0, 0));
    EXPECT_TRUE(isWhite(image.pixel(2, 2)));
    // The separator outline darkens the edge a little.
    const QRgb edge = image.pixel(15, 5);
    EXPECT_LT(qGreen(edge), 255);
    EXPECT_GT(qGreen(edge), 150);
}

TEST(ColorSwatch, DegenerateRectanglesDrawNothing)
{
    EXPECT_TRUE(blank(canvas(20, 20, [](QPainter& p) { ColorSwatch::draw(p, QRectF(2, 2, 1, 14), Color::srgb(1, 0, 0)); })));
    EXPECT_TRUE(blank(canvas(20, 20, [](QPainter& p) { ColorSwatch::draw(p, QRectF(2, 2, 14, 1), Color::srgb(1, 0, 0)); })));
}

TEST(ColorSwatch, DarkAppearanceChangesOnlyTheBorder)
{
    const QImage image = canvas(30, 30, [](QPainter& p) {
        ColorSwatch::draw(p, QRectF(5, 5, 20, 20), Color::srgb(0, 0, 1), Appearance::Dark);
    });
    EXPECT_EQ(image.pixel(15, 15), qRgb(0, 0, 255));
}

TEST(HardBreak, DrawsAReturnArrowInTheTertiaryColour)
{
    const QImage image = canvas(40, 40, [](QPainter& p) { HardBreak::draw(p, QRectF(0, 0, 40, 40)); });
    // The vertical stroke near the right edge, the horizontal one at 72 % of the height.
    EXPECT_FALSE(isWhite(image.pixel(36, 16)));
    EXPECT_FALSE(isWhite(image.pixel(20, 28)));
    // Above the horizontal stroke on the left there is nothing.
    EXPECT_TRUE(isWhite(image.pixel(4, 6)));
    // Tertiary label: a light grey, never full black.
    EXPECT_GT(qRed(image.pixel(20, 28)), 120);
}

TEST(HardBreak, TooSmallRectanglesDrawNothing)
{
    EXPECT_TRUE(blank(canvas(20, 20, [](QPainter& p) { HardBreak::draw(p, QRectF(2, 2, 2, 10)); })));
    EXPECT_TRUE(blank(canvas(20, 20, [](QPainter& p) { HardBreak::draw(p, QRectF(2, 2, 10, 2)); })));
    EXPECT_FALSE(blank(canvas(20, 20, [](QPainter& p) { HardBreak::draw(p, QRectF(2, 2, 10, 10)); })));
}
