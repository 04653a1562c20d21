#include "document/CodeBlockLayoutManager.h"

#include "document/ImageCache.h"
#include "markdown/Alert.h"
#include "markdown/ImageBlock.h"
#include "markdown/ColorSwatch.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/HardBreak.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/text/Utf.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace velkin {

Color CodeBlockLayoutManager::codeBlockFillColor()
{
    return Color::pair(Color::RGBA{0xF5 / 255.0, 0xF5 / 255.0, 0xF7 / 255.0, 1},
                       Color::RGBA{0x2C / 255.0, 0x2C / 255.0, 0x2E / 255.0, 1});
}

TextAlignment CodeBlockLayoutManager::alignment(const AttributedString& storage, int index)
{
    if (index < 0 || index >= storage.length())
        return TextAlignment::Natural;
    const ParagraphStyle* style = storage.paragraphStyle(index);
    return style ? style->alignment : TextAlignment::Natural;
}

// Calls `visit(value, effective glyph range)` once for every stretch of `key`
// that meets the glyphs being drawn; the stretch is found whole, so a mark is
// drawn entirely even when only part of it is being redrawn.
template <class Visit> void CodeBlockLayoutManager::forEachRun(AttributeKey key, Range glyphs, Visit visit)
{
    TextStorage* storage = textStorage();
    if (!storage || storage->length() == 0)
        return;
    const Range characters = characterRange(glyphRange(glyphs));
    Range last{-1, 0};
    std::vector<std::pair<const AttributeValue*, Range>> runs;
    storage->enumerateAttribute(key, characters, [&](const AttributeValue* value, Range run) {
        if (value)
            runs.push_back({value, run});
    }, true);
    for (const auto& [value, run] : runs) {
        Range effective;
        storage->attribute(key, run.location, &effective, Range{0, storage->length()});
        if (effective == last)
            continue;
        last = effective;
        visit(*value, glyphRange(effective));
    }
}

namespace {

// How far past the text being drawn a card or a panel is followed.
constexpr int kMarkReach = 4096;
// How far past the drawn area's edge a card that runs on is drawn: its rounded
// corners stay out of sight.
constexpr double kPastEdge = 64;

} // namespace

// Calls `visit(value, top, bottom)` for every card-like stretch of `key` that
// meets the glyphs being drawn, with its height in container coordinates. While
// draw() runs, a stretch is followed only a short way past the text being drawn:
// one that runs on further (a code block of a million lines) is given an edge
// past the drawn area there, which looks the same and costs what its visible
// lines cost, instead of a layout of all of it at every paint.
template <class Visit> void CodeBlockLayoutManager::forEachBlockMark(AttributeKey key, Range glyphs, Visit visit)
{
    TextStorage* storage = textStorage();
    if (!storage || storage->length() == 0)
        return;
    const int n = storage->length();
    const std::optional<QRectF>& area = drawingArea();
    const Range characters = characterRange(glyphRange(glyphs));
    const Range limit = area ? Range::fromTo(std::max(0, characters.location - kMarkReach),
                                             std::min(n, characters.end() + kMarkReach))
                             : Range{0, n};
    std::vector<std::pair<const AttributeValue*, Range>> runs;
    storage->enumerateAttribute(key, characters, [&](const AttributeValue* value, Range run) {
        if (value)
            runs.push_back({value, run});
    }, true);
    Range last{-1, 0};
    for (const auto& [value, run] : runs) {
        Range effective;
        storage->attribute(key, run.location, &effective, limit);
        if (effective == last)
            continue;
        last = effective;
        const QRectF b = boundingRect(glyphRange(effective));
        double top = b.top(), bottom = b.bottom();
        auto runsOnAt = [&, value = value](int at) {
            const AttributeValue* other = storage->attribute(key, at);
            return other && attributeValuesEqual(*value, *other);
        };
        if (effective.location == limit.location && limit.location > 0 && runsOnAt(limit.location - 1))
            top = std::min(top, area->top()) - kPastEdge;
        if (effective.end() == limit.end() && limit.end() < n && runsOnAt(limit.end()))
            bottom = std::max(bottom, area->bottom()) + kPastEdge;
        visit(*value, top, bottom);
    }
}

void CodeBlockLayoutManager::drawBackground(QPainter& painter, Range glyphs, QPointF origin)
{
    drawCodeBlockCards(painter, glyphs, origin);
    drawAlertPanels(painter, glyphs, origin);
    LayoutManager::drawBackground(painter, glyphs, origin);
}

void CodeBlockLayoutManager::drawGlyphs(QPainter& painter, Range glyphs, QPointF origin)
{
    LayoutManager::drawGlyphs(painter, glyphs, origin);
    drawAlertIcons(painter, glyphs, origin);
    drawCollapsedImages(painter, glyphs, origin);
    drawTaskCheckboxes(painter, glyphs, origin);
    drawColorSwatches(painter, glyphs, origin);
    drawEmojiShortcodes(painter, glyphs, origin);
    drawHardBreaks(painter, glyphs, origin);
}

void CodeBlockLayoutManager::drawCodeBlockCards(QPainter& painter, Range glyphs, QPointF origin)
{
    const QColor fill = resolve(codeBlockFillColor());
    forEachBlockMark(AttributeKey::CodeBlockFill, glyphs, [&](const AttributeValue&, double top, double bottom) {
        QRectF card = QRectF(0, top, textContainer().width, bottom - top).translated(origin);
        card.adjust(0, -verticalPadding, 0, verticalPadding);
        const double r = std::min(card.height() / 2, cornerRadius);
        QPainterPath path;
        path.addRoundedRect(card, r, r);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, fill);
        painter.restore();
    });
}

void CodeBlockLayoutManager::drawAlertPanels(QPainter& painter, Range glyphs, QPointF origin)
{
    forEachBlockMark(AttributeKey::AlertBlock, glyphs, [&](const AttributeValue& value, double top, double bottom) {
        auto mark = std::get_if<MarkerPtr>(&value);
        auto alert = mark ? std::dynamic_pointer_cast<const AlertMark>(*mark) : nullptr;
        if (!alert)
            return;
        const QRectF panel = QRectF(0, top, textContainer().width, bottom - top).translated(origin).adjusted(0, -4, 0, 4);
        Alert::drawPanel(painter, panel, alert->kind, appearance);
    });
}

namespace {

// Whether text may hold a right-to-left stretch: a character of a right-to-left
// script (Hebrew to N'Ko, their presentation forms, and the same planes' scripts
// beyond 0xFFFF), or a mark or embedding that turns the direction.
bool mayReadRightToLeft(U16View text)
{
    return std::any_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)
            || c == 0x200F || c == 0x202B || c == 0x202E || c == 0x2067 || c == 0x061C || c == 0xD802
            || c == 0xD803 || c == 0xD83A || c == 0xD83B;
    });
}

template <class M> std::shared_ptr<const M> markOf(const AttributeValue& value)
{
    auto mark = std::get_if<MarkerPtr>(&value);
    return mark ? std::dynamic_pointer_cast<const M>(*mark) : nullptr;
}

} // namespace

void CodeBlockLayoutManager::drawAlertIcons(QPainter& painter, Range glyphs, QPointF origin)
{
    forEachRun(AttributeKey::AlertIcon, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<AlertMark>(value);
        if (!mark || g.length == 0)
            return;
        const QRectF b = boundingRect(g);
        const QRectF lf = lineFragmentRect(g.location);
        const QRectF r(b.left() - mark->size - mark->gap, lf.top() + (lf.height() - mark->size) / 2, mark->size, mark->size);
        Alert::drawIcon(painter, r.translated(origin), mark->kind, appearance);
    });
}

void CodeBlockLayoutManager::drawCollapsedImages(QPainter& painter, Range glyphs, QPointF origin)
{
    TextStorage* storage = textStorage();
    if (!storage)
        return;
    const double p = textContainer().lineFragmentPadding;
    const double usable = textContainer().width - 2 * p;
    forEachRun(AttributeKey::CollapsedImage, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<CollapsedImage>(value);
        if (!mark || g.length == 0)
            return;
        const QRectF line = lineFragmentRect(g.location).translated(origin);
        const std::string& key = mark->key;
        const QImage* image = ImageCache::cachedImage(key);
        const bool failed = ImageCache::hasFailed(key);
        const QSizeF picture = ImageCache::shownSize(key);
        if (!image && !picture.isEmpty()) {
            // Let go to stay within the cache's bound: loaded again now that it shows.
            if (pictureReloaded) {
                ImageCache::reload(key, [back = pictureReloaded, key, picture] { back(key, picture); });
            } else {
                ImageCache::reloadSynchronously(key);
                image = ImageCache::cachedImage(key);
            }
        }
        const TextTableBlock* cell = TableGrid::cellBlock(*storage, g.location);
        const double q = cell ? 0 : p;
        const QRectF area(line.left() + q, line.top(), std::max(line.width() - 2 * q, 1.0), line.height());
        const double limit = cell ? TableGrid::cellContentWidth(*cell, usable) : usable;
        QSizeF size = ImageBlock::displaySize(picture, std::min(area.width(), limit));
        // A line still as high as another width made it (the scroll bar came or went
        // after the pictures were sized) shows the picture smaller, never squashed.
        if (!picture.isEmpty() && size.height() > area.height() && area.height() > 0)
            size = QSizeF(size.width() * area.height() / size.height(), area.height());
        double x = area.left();
        switch (alignment(*storage, g.location)) {
        case TextAlignment::Right: x = area.right() - size.width(); break;
        case TextAlignment::Center: x = area.left() + (area.width() - size.width()) / 2; break;
        default: break;
        }
        const QRectF target(x, area.top(), size.width(), std::min(area.height(), size.height()));
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (image)
            painter.drawImage(target, *image);
        else
            ImageBlock::drawPlaceholder(painter, target, mark->alt, failed, appearance);
        painter.restore();
    });
}

void CodeBlockLayoutManager::drawTaskCheckboxes(QPainter& painter, Range glyphs, QPointF origin)
{
    forEachRun(AttributeKey::TaskCheckbox, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<TaskMark>(value);
        if (!mark || g.length == 0)
            return;
        TaskList::drawCheckbox(painter, squareInLine(g, mark->size).translated(origin), mark->checked, appearance);
    });
}

void CodeBlockLayoutManager::drawColorSwatches(QPainter& painter, Range glyphs, QPointF origin)
{
    forEachRun(AttributeKey::ColorSwatch, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<ColorMark>(value);
        if (!mark || g.length == 0)
            return;
        const QRectF b = boundingRect(g);
        const QRectF lf = lineFragmentRect(g.location);
        const double base = location(g.location).y();
        const QRectF r(b.left() - mark->size - mark->gap, lf.top() + base - mark->capHeight / 2 - mark->size / 2,
                       mark->size, mark->size);
        ColorSwatch::draw(painter, r.translated(origin), mark->color, appearance);
    });
}

void CodeBlockLayoutManager::drawEmojiShortcodes(QPainter& painter, Range glyphs, QPointF origin)
{
    TextStorage* storage = textStorage();
    if (!storage)
        return;
    // A screen may hold hundreds of shortcodes, and each place asked of the layout
    // costs a walk of its line. On a line read left to right the shortcode's first
    // character is its left; otherwise the nearer of its ends, or across lines its bounds'.
    Range checkedLine{-1, 0};
    bool leftToRight = false;
    forEachRun(AttributeKey::EmojiShortcode, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<EmojiMark>(value);
        if (!mark || g.length == 0)
            return;
        Range line;
        QRectF lf = lineFragmentRect(g.location, &line);
        QPointF at = location(g.location);
        // Wrapped inside the shortcode: its width lies on its last character, so the
        // emoji goes on that character's line, at the shortcode's first character there.
        const bool wrapped = g.end() > line.end();
        if (wrapped) {
            lf = lineFragmentRect(g.end() - 1, &line);
            at = location(std::max(g.location, line.location));
        }
        if (line != checkedLine) {
            checkedLine = line;
            leftToRight = !mayReadRightToLeft(substring(storage->string(), line));
        }
        double left = lf.left() + at.x();
        if (!wrapped && g.end() >= line.end())
            left = boundingRect(g).left();
        else if (!leftToRight)
            left = lf.left() + std::min(at.x(), location(std::min(g.end(), line.end())).x());
        const double h = 1.2 * mark->size;
        const QRectF r(left, lf.top() + at.y() - mark->capHeight / 2 - h / 2, mark->width, h);
        EmojiShortcode::draw(painter, r.translated(origin), *mark, appearance);
    });
}

void CodeBlockLayoutManager::drawHardBreaks(QPainter& painter, Range glyphs, QPointF origin)
{
    forEachRun(AttributeKey::HardBreak, glyphs, [&](const AttributeValue& value, Range g) {
        auto mark = markOf<HardBreakMark>(value);
        if (!mark || g.length == 0)
            return;
        HardBreak::draw(painter, squareInLine(g, mark->size).translated(origin), appearance);
    });
}

QRectF CodeBlockLayoutManager::squareInLine(Range glyphs, double side)
{
    const QRectF lf = lineFragmentRect(glyphs.location);
    return QRectF(boundingRect(glyphs).left(), lf.top() + (lf.height() - side) / 2, side, side);
}

} // namespace velkin
