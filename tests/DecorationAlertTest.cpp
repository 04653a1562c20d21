// Alert panels and icons as drawn, and the marks the styler leaves for them.
#include "markdown/Alert.h"
#include "markdown/TableGrid.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

QImage white(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return image;
}

// The accent at 10 % over white.
QRgb tint(AlertKind kind)
{
    const Color::RGBA a = AlertKinds::color(kind).resolved(Appearance::Light);
    auto mix = [](double c) { return int(std::lround((0.1 * c + 0.9) * 255)); };
    return qRgb(mix(a.red), mix(a.green), mix(a.blue));
}

bool near(QRgb a, QRgb b, int tolerance = 2)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
        std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

TEST(AlertPanel, TintedPanelWithAnAccentBar)
{
    for (AlertKind kind : AlertKinds::all) {
        QImage image = white(200, 60);
        {
            QPainter p(&image);
            Alert::drawPanel(p, QRectF(0, 0, 200, 60), kind);
        }
        EXPECT_TRUE(near(image.pixel(100, 30), tint(kind))) << AlertKinds::rawValue(kind);
        EXPECT_EQ(image.pixel(1, 30), AlertKinds::color(kind).toQColor().rgb()) << AlertKinds::rawValue(kind);
        EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));  // the corner is rounded
        EXPECT_TRUE(near(image.pixel(4, 30), tint(kind)));    // the bar is 3 points wide
    }
}

TEST(AlertPanel, CornerRadiusAndDegenerateRectangles)
{
    // A low panel rounds by half its height: the bar at the very top-left is clipped away.
    QImage low = white(100, 10);
    {
        QPainter p(&low);
        Alert::drawPanel(p, QRectF(0, 0, 100, 10), AlertKind::note);
    }
    EXPECT_EQ(low.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_NE(low.pixel(2, 5), qRgb(255, 255, 255));
    QImage none = white(20, 20);
    {
        QPainter p(&none);
        Alert::drawPanel(p, QRectF(0, 0, 20, 1), AlertKind::tip);
        Alert::drawIcon(p, QRectF(0, 0, 1, 20), AlertKind::tip);
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(none.pixel(x, y), qRgb(255, 255, 255));
}

TEST(AlertIcon, DrawnInTheLabelColour)
{
    QImage image = white(40, 40);
    {
        QPainter p(&image);
        Alert::drawIcon(p, QRectF(0, 0, 40, 40), AlertKind::note);
    }
    // The circle's outline at its leftmost point.
    const QRgb ring = image.pixel(1, 20);
    const QRgb label = AlertKinds::labelColor(AlertKind::note).toQColor().rgb();
    EXPECT_TRUE(near(ring, label, 40)) << std::hex << ring << " " << label;
    EXPECT_EQ(image.pixel(12, 12), qRgb(255, 255, 255));  // inside the circle, off the letter
}

TEST(AlertIcon, DarkAppearanceLightensTheLabel)
{
    const Color::RGBA light = AlertKinds::labelColor(AlertKind::warning).resolved(Appearance::Light);
    const Color::RGBA dark = AlertKinds::labelColor(AlertKind::warning).resolved(Appearance::Dark);
    EXPECT_GT(dark.red + dark.green + dark.blue, light.red + light.green + light.blue);
}

TEST(AlertMarks, PanelAndIconMarksOverBlockAndLabel)
{
    const U16String text = u"before\n\n> [!TIP]\n> body\n\nafter";
    const TextStorage s = TableGrid::render(text, 14);
    const int label = int(text.find(u"[!TIP]"));
    const auto icon = s.marker<AlertMark>(AttributeKey::AlertIcon, label);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->kind, AlertKind::tip);
    EXPECT_GT(icon->size, 0);
    const auto panel = s.marker<AlertMark>(AttributeKey::AlertBlock, int(text.find(u"body")));
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->size, 0);
    EXPECT_FALSE(s.marker<AlertMark>(AttributeKey::AlertBlock, 0));
}
