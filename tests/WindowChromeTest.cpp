#include "export/WindowChrome.h"
#include "platform/graphics/Blur.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

QImage whitePage(int w, int h, double scale)
{
    QImage page(int(w * scale), int(h * scale), QImage::Format_ARGB32_Premultiplied);
    page.setDevicePixelRatio(scale);
    page.fill(Qt::white);
    return page;
}

} // namespace

TEST(WindowChrome, CanvasGeometryFollowsThePageScale)
{
    auto framed = WindowChrome::frame(whitePage(700, 860, 2), "demo.md");
    ASSERT_TRUE(framed);
    EXPECT_EQ(framed->width(), 1560);
    EXPECT_EQ(framed->height(), 1984);
    EXPECT_DOUBLE_EQ(framed->devicePixelRatio(), 2);

    QImage zeroWidth(0, 0, QImage::Format_ARGB32);
    EXPECT_FALSE(WindowChrome::frame(zeroWidth, "x"));
    auto one = WindowChrome::frame(whitePage(100, 50, 1), "");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->size(), QSize(180, 182));
}

TEST(WindowChrome, ButtonsTitleBarCornersAndShadow)
{
    auto framed = WindowChrome::frame(whitePage(700, 400, 1), "trip.md");
    ASSERT_TRUE(framed);
    const QImage& img = *framed;
    // The close button: a red circle 20 points into the title bar, centred on it.
    const QColor close = img.pixelColor(40 + 20 + 6, 28 + 26);
    EXPECT_GT(close.red(), 240);
    EXPECT_LT(close.green(), 120);
    const QColor zoom = img.pixelColor(40 + 60 + 6, 28 + 26);
    EXPECT_GT(zoom.green(), 180);
    EXPECT_LT(zoom.red(), 80);
    // The title bar's background, and the page below it.
    EXPECT_NEAR(img.pixelColor(40 + 650, 28 + 10).red(), 0xEC, 3);
    EXPECT_EQ(img.pixelColor(40 + 350, 28 + 52 + 200), QColor(Qt::white));
    // The canvas corner is transparent; the window's rounded corner lets the margin show.
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);
    EXPECT_LT(img.pixelColor(40, 28).alpha(), 200);
    // Below the window only the shadow is drawn: dark, translucent.
    const QColor shadow = img.pixelColor(40 + 350, 28 + 52 + 400 + 10);
    EXPECT_GT(shadow.alpha(), 10);
    EXPECT_LT(shadow.alpha(), 120);
}

TEST(Blur, SpreadsAndKeepsTotalRoughly)
{
    QImage img(64, 64, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.fillRect(QRect(24, 24, 16, 16), Qt::black);
    }
    Blur::gaussian(img, 4);
    EXPECT_GT(img.pixelColor(20, 32).alpha(), 20);   // spread outside the square
    EXPECT_LT(img.pixelColor(32, 32).alpha(), 255);  // softened inside
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);
}

TEST(WindowChrome, ALongTitleStopsShortOfTheToolbar)
{
    // Between the title's room and the toolbar's first item ("H", centred 135
    // points left of the middle) the bar shows only its background.
    auto inkBetween = [](const std::string& title, double from, double to) {
        auto framed = WindowChrome::frame(whitePage(700, 200, 1), title);
        int ink = 0;
        for (int x = 40 + int(from); x < 40 + int(to); ++x)
            for (int y = 28 + 10; y < 28 + 42; ++y)
                ink += framed->pixelColor(x, y).red() < 0xC0;
        return ink;
    };
    EXPECT_EQ(inkBetween("quarterly-planning-notes-2026-final-version.md", 84 + 106, 350 - 135 - 10), 0);
    // The start of a long name and its extension still show; a short one is whole.
    EXPECT_GT(inkBetween("quarterly-planning-notes-2026-final-version.md", 84, 84 + 100), 0);
    EXPECT_EQ(inkBetween("demo.md", 84 + 80, 350 - 135 - 10), 0);
    EXPECT_GT(inkBetween("demo.md", 84, 84 + 60), 0);
}
