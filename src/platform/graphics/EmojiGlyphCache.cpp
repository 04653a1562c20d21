#include "platform/graphics/EmojiGlyphCache.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QString>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>

namespace velkin {

namespace {

QString qString(U16View text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

void setDpi(QImage& image, int dpi)
{
    const int perMeter = int(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(perMeter);
    image.setDotsPerMeterY(perMeter);
}

// The device pixel Qt draws the first glyph of a text from, for the text's
// top-left at `topLeft` (points) under `device`: it cuts the position down to
// 64ths of a point toward zero, adds the line's ascent, maps the result onto
// the device and takes the pixel column at or left of it and the nearest row.
QPoint glyphPixel(const QTransform& device, QPointF topLeft, double ascent)
{
    const double x = std::trunc(topLeft.x() * 64) / 64;
    const double y = std::trunc(topLeft.y() * 64) / 64 + ascent;
    const QPointF at = device.map(QPointF(x, y));
    return QPoint(int(std::floor(at.x())), int(std::floor(at.y() + 0.5)));
}

// The smallest rectangle holding every pixel with any alpha, or an empty one.
QRect inkBounds(const QImage& image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

EmojiGlyphCache::EmojiGlyphCache(size_t maxCount, size_t maxBytes) : maxCount_(maxCount), maxBytes_(maxBytes) {}

EmojiGlyphCache& EmojiGlyphCache::shared()
{
    // A screen holds a few hundred different emoji at most; 2,000 pictures of
    // 40 x 40 pixels take about 13 MB.
    static EmojiGlyphCache cache(2048, 32u << 20);
    return cache;
}

size_t EmojiGlyphCache::KeyHash::operator()(const Key& key) const
{
    size_t h = std::hash<U16String>()(key.text);
    auto mix = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<double>()(key.font.pointSize));
    mix(size_t(key.font.family) | size_t(key.font.bold) << 4 | size_t(key.font.italic) << 5);
    mix(std::hash<double>()(key.scale));
    mix(size_t(key.dpi));
    mix(size_t(key.pen));
    return h;
}

void EmojiGlyphCache::drawDirectly(QPainter& painter, QPointF topLeft, U16View text, const Font& font, const QColor& pen)
{
    painter.save();
    painter.setFont(font.toQFont(true));
    painter.setPen(pen);
    // With the text aligned top-left, unclipped and on one line, the rectangle's size plays no part.
    painter.drawText(QRectF(topLeft, QSizeF(1, 1)), drawTextFlags, qString(text));
    painter.restore();
}

EmojiGlyphCache::Picture EmojiGlyphCache::render(const Key& key)
{
    const QString text = qString(key.text);
    const QFont font = key.font.toQFont(true);
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    setDpi(probe, key.dpi);
    // The line Qt lays the text out in, for its ascent and width.
    QTextLayout layout(text, font, &probe);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid())
        return {};
    line.setLeadingIncluded(false);
    layout.endLayout();
    const double ascent = line.ascent();
    const double lineWidth = std::max(line.naturalTextWidth(), 1.0);
    const double lineHeight = std::max(line.height(), 1.0);
    // Room on every side for ink that reaches past the advance and the line.
    const int pad = int(std::ceil(lineHeight * key.scale));
    const int width = int(std::ceil(lineWidth * key.scale)) + 2 * pad;
    const int height = int(std::ceil(lineHeight * key.scale)) + 2 * pad;
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return {};
    setDpi(canvas, key.dpi);
    canvas.setDevicePixelRatio(key.scale);
    canvas.fill(Qt::transparent);
    const QPointF at(pad / key.scale, pad / key.scale);
    {
        QPainter painter(&canvas);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        drawDirectly(painter, at, key.text, key.font, QColor::fromRgba(key.pen));
    }
    const QRect ink = inkBounds(canvas);
    if (ink.isEmpty())
        return {};
    QImage image = canvas.copy(ink);
    image.setDevicePixelRatio(1);
    const QPoint origin = glyphPixel(QTransform::fromScale(key.scale, key.scale), at, ascent);
    return {std::move(image), ink.topLeft() - origin, ascent};
}

EmojiGlyphCache::Picture EmojiGlyphCache::picture(const Key& key)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (auto it = index_.find(key); it != index_.end()) {
        order_.splice(order_.begin(), order_, it->second);
        return it->second->picture;
    }
    ++misses_;
    Picture made = render(key);
    const size_t size = size_t(std::max<qsizetype>(made.image.sizeInBytes(), 0)) + sizeof(Entry) + key.text.size() * 2;
    order_.push_front(Entry{key, made, size});
    index_.emplace(key, order_.begin());
    bytes_ += size;
    trim();
    return made;
}

void EmojiGlyphCache::trim()
{
    // The newest entry stays even when it alone exceeds the budget: it is about to be drawn.
    while (order_.size() > 1 && (order_.size() > maxCount_ || bytes_ > maxBytes_)) {
        bytes_ -= order_.back().bytes;
        index_.erase(order_.back().key);
        order_.pop_back();
    }
}

void EmojiGlyphCache::draw(QPainter& painter, QPointF topLeft, U16View text, const Font& font, const QColor& pen)
{
    if (text.empty())
        return;
    const QTransform device = painter.deviceTransform();
    const QPaintEngine* engine = painter.paintEngine();
    const double scale = device.m11();
    const bool pixels = engine && engine->type() == QPaintEngine::Raster && device.type() <= QTransform::TxScale
        && scale > 0 && scale == device.m22() && painter.device();
    // Emoji larger than this many device pixels are rare and would crowd the cache out.
    constexpr double largest = 512;
    if (!pixels || !(font.pointSize * scale <= largest)) {
        drawDirectly(painter, topLeft, text, font, pen);
        return;
    }
    const Picture p = picture({U16String(text), font, scale, painter.device()->logicalDpiY(), pen.rgba()});
    if (p.image.isNull())
        return;
    // On whole device pixels the picture is copied, not resampled.
    const QPoint corner = glyphPixel(device, topLeft, p.ascent) + p.offset;
    const QTransform world = painter.worldTransform();
    painter.setWorldTransform(device.inverted() * world);
    painter.drawImage(corner, p.image);
    painter.setWorldTransform(world);
}

size_t EmojiGlyphCache::count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return order_.size();
}

size_t EmojiGlyphCache::bytes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

size_t EmojiGlyphCache::misses() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return misses_;
}

void EmojiGlyphCache::clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    order_.clear();
    index_.clear();
    bytes_ = 0;
}

} // namespace velkin
