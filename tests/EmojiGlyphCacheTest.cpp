// The cache of drawn colour emoji: the pixels it draws, what tells pictures
// apart, and its bounds.
#include "platform/graphics/EmojiGlyphCache.h"

#include <QImage>
#include <QPainter>
#include <QPicture>

#include <gtest/gtest.h>

#include <functional>

using namespace velkin;

namespace {

// A white canvas of `width` x `height` points at `scale` pixels per point with what `paint` draws.
QImage canvas(int width, int height, double scale, const std::function<void(QPainter&)>& paint)
{
    QImage image(int(width * scale), int(height * scale), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    paint(painter);
    painter.end();
    return image;
}

int differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return differing;
}

int inkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    return inked;
}

EmojiGlyphCache::Key key(U16View text, double size, double scale, QRgb pen = qRgb(0, 0, 0))
{
    return {U16String(text), Font::system(size), scale, 96, pen};
}

} // namespace

TEST(EmojiGlyphCache, DrawsTheSamePixelsAsTheTextItself)
{
    // One scalar, a text-default one made colourful, a keycap, a flag, a joined family, two in a row.
    const U16String samples[] = {u"\U0001F604", u"\u2764\uFE0F", u"1\uFE0F\u20E3", u"\U0001F1EB\U0001F1F7",
                                 u"\U0001F468\u200D\U0001F469\u200D\U0001F467", u"\U0001F680\U0001F389"};
    for (const double scale : {1.0, 2.0}) {
        for (const double size : {14.0, 27.5}) {
            for (const U16String& emoji : samples) {
                SCOPED_TRACE(testing::Message() << u8(emoji) << " at " << size << " points, scale " << scale);
                const QPointF at(7, 5);
                const QImage direct = canvas(90, 50, scale, [&](QPainter& p) {
                    EmojiGlyphCache::drawDirectly(p, at, emoji, Font::system(size), Qt::black);
                });
                EmojiGlyphCache cache(16, 1u << 20);
                const QImage drawn = canvas(90, 50, scale, [&](QPainter& p) {
                    cache.draw(p, at, emoji, Font::system(size), Qt::black);
                });
                const QImage kept = canvas(90, 50, scale, [&](QPainter& p) {
                    cache.draw(p, at, emoji, Font::system(size), Qt::black);
                });
                EXPECT_GT(inkedPixels(direct), 40);
                EXPECT_EQ(differingPixels(direct, drawn), 0);
                EXPECT_EQ(differingPixels(direct, kept), 0);
                EXPECT_EQ(cache.misses(), 1u);
            }
        }
    }
}

TEST(EmojiGlyphCache, LandsOnTheTextsOwnPixelsBetweenPixelsAndUnderAMovedScaledPainter)
{
    const U16String emoji[] = {u"\U0001F40B", u"\u2764\uFE0F"};
    for (const double scale : {1.0, 1.5, 2.0}) {
        EmojiGlyphCache cache(16, 1u << 20);
        for (int step = 0; step < 24; ++step) {
            // Positions between pixels, as a line's baseline and a run's start leave them.
            const QPointF at(6 + step * 0.173, 4 + step * 0.129);
            const U16String& e = emoji[size_t(step) % std::size(emoji)];
            SCOPED_TRACE(testing::Message() << "scale " << scale << " at " << at.x() << "," << at.y());
            const QImage direct = canvas(40, 40, scale, [&](QPainter& p) {
                EmojiGlyphCache::drawDirectly(p, at, e, Font::system(14), Qt::black);
            });
            const QImage cached = canvas(40, 40, scale, [&](QPainter& p) { cache.draw(p, at, e, Font::system(14), Qt::black); });
            ASSERT_EQ(differingPixels(direct, cached), 0);
        }
        EXPECT_EQ(cache.misses(), 2u);
    }
    // A painter moved and scaled on top of the device's own scale, the text above and left of its origin.
    EmojiGlyphCache cache(16, 1u << 20);
    for (const QPointF at : {QPointF(4.3, 4.1), QPointF(-10.37, -12.61), QPointF(-0.2, -0.9)}) {
        SCOPED_TRACE(testing::Message() << "moved and scaled, at " << at.x() << "," << at.y());
        auto moved = [](QPainter& p) {
            p.translate(26.25, 23.4);
            p.scale(1.5, 1.5);
        };
        const QImage direct = canvas(60, 60, 2, [&](QPainter& p) {
            moved(p);
            EmojiGlyphCache::drawDirectly(p, at, emoji[0], Font::system(14), Qt::black);
        });
        const QImage cached = canvas(60, 60, 2, [&](QPainter& p) {
            moved(p);
            cache.draw(p, at, emoji[0], Font::system(14), Qt::black);
        });
        EXPECT_GT(inkedPixels(direct), 100);
        EXPECT_EQ(differingPixels(direct, cached), 0);
    }
}

TEST(EmojiGlyphCache, SizeScaleAndPenMakeDifferentPictures)
{
    EmojiGlyphCache cache(64, 16u << 20);
    const U16String smile = u"\U0001F604";
    const QImage small = cache.picture(key(smile, 14, 1)).image;
    const QImage large = cache.picture(key(smile, 28, 1)).image;
    const QImage dense = cache.picture(key(smile, 14, 2)).image;
    EXPECT_EQ(cache.misses(), 3u);
    ASSERT_FALSE(small.isNull());
    EXPECT_NEAR(large.width(), 2 * small.width(), 2);
    EXPECT_NEAR(dense.width(), 2 * small.width(), 2);
    EXPECT_EQ(dense.devicePixelRatio(), 1);
    // The pen reaches only glyphs the colour font lacks.
    const QImage red = cache.picture(key(u"A", 14, 1, qRgb(255, 0, 0))).image;
    const QImage blue = cache.picture(key(u"A", 14, 1, qRgb(0, 0, 255))).image;
    EXPECT_NE(red, blue);
    cache.picture(key(smile, 14, 1));
    cache.picture(key(smile, 14, 2));
    EXPECT_EQ(cache.misses(), 5u);
    // Nothing to draw keeps no pixels but is remembered all the same.
    EXPECT_TRUE(cache.picture(key(u" ", 14, 1)).image.isNull());
    EXPECT_TRUE(cache.picture(key(u" ", 14, 1)).image.isNull());
    EXPECT_EQ(cache.misses(), 6u);
}

TEST(EmojiGlyphCache, StaysWithinItsCountAndBytesDroppingTheLeastRecentlyUsed)
{
    EmojiGlyphCache byCount(3, 64u << 20);
    const U16String emoji[] = {u"\U0001F436", u"\U0001F431", u"\U0001F42D", u"\U0001F430", u"\U0001F98A"};
    byCount.picture(key(emoji[0], 14, 1));
    byCount.picture(key(emoji[1], 14, 1));
    byCount.picture(key(emoji[2], 14, 1));
    byCount.picture(key(emoji[0], 14, 1));  // now the most recent
    byCount.picture(key(emoji[3], 14, 1));  // drops emoji[1]
    EXPECT_EQ(byCount.count(), 3u);
    EXPECT_EQ(byCount.misses(), 4u);
    byCount.picture(key(emoji[0], 14, 1));
    EXPECT_EQ(byCount.misses(), 4u);
    byCount.picture(key(emoji[1], 14, 1));
    EXPECT_EQ(byCount.misses(), 5u);

    const size_t one = [&] {
        EmojiGlyphCache probe(8, 64u << 20);
        probe.picture(key(emoji[0], 40, 2));
        return probe.bytes();
    }();
    EmojiGlyphCache byBytes(1000, 2 * one + one / 2);
    for (int round = 0; round < 3; ++round)
        for (const U16String& e : emoji) {
            byBytes.picture(key(e, 40, 2));
            EXPECT_LE(byBytes.bytes(), 2 * one + one / 2);
        }
    EXPECT_EQ(byBytes.count(), 2u);
    // A picture larger than the whole budget is still drawn, then let go.
    EmojiGlyphCache tiny(1000, 16);
    EXPECT_FALSE(tiny.picture(key(emoji[0], 40, 2)).image.isNull());
    EXPECT_LE(tiny.count(), 1u);
    tiny.picture(key(emoji[1], 40, 2));
    EXPECT_EQ(tiny.count(), 1u);
    tiny.clear();
    EXPECT_EQ(tiny.count(), 0u);
    EXPECT_EQ(tiny.bytes(), 0u);
}

TEST(EmojiGlyphCache, PaintersWithoutPixelsOrTurnedAndGiantEmojiDrawTheTextItself)
{
    EmojiGlyphCache cache(16, 1u << 20);
    QPicture recording;
    {
        QPainter p(&recording);
        cache.draw(p, QPointF(2, 2), u"\U0001F680", Font::system(14), Qt::black);
    }
    EXPECT_GT(recording.size(), 0u);
    const QImage turned = canvas(60, 60, 1, [&](QPainter& p) {
        p.translate(30, 30);
        p.rotate(30);
        cache.draw(p, QPointF(-8, -8), u"\U0001F680", Font::system(14), Qt::black);
    });
    EXPECT_GT(inkedPixels(turned), 40);
    // Nor is a giant emoji kept.
    const QImage giant = canvas(400, 400, 2, [&](QPainter& p) {
        cache.draw(p, QPointF(0, 0), u"\U0001F680", Font::system(300), Qt::black);
    });
    EXPECT_GT(inkedPixels(giant), 10000);
    EXPECT_EQ(cache.count(), 0u);
    // Nothing at all for no text.
    const QImage none = canvas(20, 20, 1, [&](QPainter& p) { cache.draw(p, QPointF(2, 2), u"", Font::system(14), Qt::black); });
    EXPECT_EQ(inkedPixels(none), 0);
    EXPECT_EQ(cache.count(), 0u);
}
