#pragma once
// Colour emoji drawn once and blended from then on. A colour emoji glyph is a
// PNG inside the font: Qt decodes it again each time text holding it is laid
// out to be drawn, which costs far more than blending its pixels. Pictures are
// kept by text, font, device scale and pen, the least recently used dropped
// beyond a count and a byte budget.
#include "platform/attributed/Font.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QPoint>
#include <QRgb>

#include <cstddef>
#include <list>
#include <mutex>
#include <unordered_map>

class QColor;
class QPainter;
class QPointF;

namespace velkin {

class EmojiGlyphCache {
public:
    struct Key {
        U16String text;  // the emoji, as drawn
        Font font;       // drawn with the colour emoji font ahead of this font's family
        double scale;    // device pixels per point
        int dpi;         // the device's logical dots per inch, which size Qt's fonts
        QRgb pen;        // the colour of any glyph the colour font lacks
        bool operator==(const Key&) const = default;
    };

    // The text drawn once, trimmed to its ink, in device pixels: `offset` leads
    // from the pixel Qt draws the first glyph from to the image's top-left, and
    // `ascent` (points) from the text's top to its baseline. A null image for no ink.
    struct Picture {
        QImage image;
        QPoint offset;
        double ascent = 0;
    };

    EmojiGlyphCache(size_t maxCount, size_t maxBytes);
    EmojiGlyphCache(const EmojiGlyphCache&) = delete;
    EmojiGlyphCache& operator=(const EmojiGlyphCache&) = delete;

    // The cache every view and page image shares.
    static EmojiGlyphCache& shared();

    // Draws `text` as QPainter::drawText does with the flags below, its first line's
    // top-left at `topLeft`, in `font` with the colour emoji font first. A raster
    // painter that only scales and moves gets the kept picture on the pixels Qt
    // would have drawn its first glyph on; any other painter (a PDF, a rotated
    // view), and an emoji over 512 device pixels, gets the text drawn.
    void draw(QPainter& painter, QPointF topLeft, U16View text, const Font& font, const QColor& pen);
    // The same without the cache.
    static void drawDirectly(QPainter& painter, QPointF topLeft, U16View text, const Font& font, const QColor& pen);
    static constexpr int drawTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine;

    // The picture for a key, kept or drawn now.
    Picture picture(const Key& key);

    size_t count() const;
    size_t bytes() const;
    // How many pictures were drawn rather than found since the cache was made.
    size_t misses() const;
    void clear();

private:
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };
    struct Entry {
        Key key;
        Picture picture;
        size_t bytes;
    };
    static Picture render(const Key& key);
    void trim();

    const size_t maxCount_;
    const size_t maxBytes_;
    mutable std::mutex lock_;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index_;
    size_t bytes_ = 0;
    size_t misses_ = 0;
};

} // namespace velkin
