// Colour swatches from the literal to the mark, and literals written back from picked colours.
#include "markdown/ColorLiteral.h"
#include "markdown/ColorSwatch.h"
#include "markdown/TableGrid.h"

#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <limits>

using namespace velkin;

TEST(ColorSwatchMark, EveryLiteralGetsAMarkOfItsColour)
{
    const U16String text = u"brand `#ff8800` and `rgb(0, 0, 255)` but `let x`";
    const TextStorage s = TableGrid::render(text, 13);
    const int hex = int(text.find(u"#ff8800"));
    const auto mark = s.marker<ColorMark>(AttributeKey::ColorSwatch, hex);
    ASSERT_TRUE(mark);
    Color::RGBA c;
    ASSERT_TRUE(mark->color.fixedComponents(c));
    EXPECT_EQ(c, (Color::RGBA{1, 136 / 255.0, 0, 1}));
    Range run;
    s.attribute(AttributeKey::ColorSwatch, hex, &run, Range{0, s.length()});
    EXPECT_EQ(run, (Range{hex, 7}));  // the literal, without its backticks
    EXPECT_EQ(s.attributes(hex - 1).number(AttributeKey::Kern), mark->size + mark->gap);
    EXPECT_TRUE(s.marker<ColorMark>(AttributeKey::ColorSwatch, int(text.find(u"rgb("))));
    EXPECT_FALSE(s.marker<ColorMark>(AttributeKey::ColorSwatch, int(text.find(u"let"))));
    EXPECT_FALSE(s.marker<ColorMark>(AttributeKey::ColorSwatch, 0));
    EXPECT_EQ(TableGrid::serialize(s), text);
}

TEST(ColorSwatchMark, DrawnSwatchShowsTheMarkColour)
{
    const TextStorage s = TableGrid::render(u"`#00ff00`", 13);
    const auto mark = s.marker<ColorMark>(AttributeKey::ColorSwatch, 1);
    ASSERT_TRUE(mark);
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        ColorSwatch::draw(p, QRectF(0, 0, 40, 40), mark->color);
    }
    EXPECT_EQ(image.pixel(20, 20), qRgb(0, 255, 0));
}

TEST(ColorLiteralRewrite, HslOfOutOfRangeComponentsParsesAgain)
{
    // Wide-gamut picks arrive with components outside 0...1.
    const double cases[][3] = {{1.3, -0.2, 0.5}, {2, 2, 2}, {-1, -1, -1}, {0.5, 1.0000001, 0},
                               {std::numeric_limits<double>::quiet_NaN(), 0.5, 0.5}};
    for (const auto& c : cases) {
        for (U16View like : {U16View(u"hsl(30, 100%, 50%)"), U16View(u"rgb(1,2,3)"), U16View(u"#abc")}) {
            const std::optional<U16String> out = ColorLiteral::formatted(c[0], c[1], c[2], like);
            ASSERT_TRUE(out) << u8(like);
            const auto again = ColorLiteral::parse(*out);
            ASSERT_TRUE(again) << u8(*out);
            EXPECT_EQ(again->model, ColorLiteral::parse(like)->model) << u8(*out);
        }
    }
    EXPECT_EQ(ColorLiteral::formatted(2, 2, 2, u"hsl(1, 2%, 3%)"), U16String(u"hsl(0, 0%, 100%)"));
    EXPECT_EQ(ColorLiteral::formatted(1.5, 0, 0, u"hsl(1, 2%, 3%)"), U16String(u"hsl(0, 100%, 50%)"));
}

TEST(ColorLiteralRewrite, InRangeColoursAreWrittenAsBefore)
{
    EXPECT_EQ(ColorLiteral::formatted(1, 0.5, 0, u"hsl(4, 5%, 6%)"), U16String(u"hsl(30, 100%, 50%)"));
    EXPECT_EQ(ColorLiteral::formatted(0, 0, 1, u"hsl(30, 100%, 50%)"), U16String(u"hsl(240, 100%, 50%)"));
}
