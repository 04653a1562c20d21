#include "platform/symbols/SymbolImage.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>

#include <cmath>
#include <map>
#include <mutex>
#include <string>

namespace velkin::SymbolImage {

namespace {

// Artwork is drawn in a box 20 units high; strokes get thicker with the weight.
constexpr double kArtHeight = 20;

double strokeWidth(SymbolWeight weight)
{
    switch (weight) {
    case SymbolWeight::Regular: return 1.6;
    case SymbolWeight::Medium: return 1.8;
    case SymbolWeight::Semibold: return 2.1;
    case SymbolWeight::Bold: return 2.4;
    }
    return 1.6;
}

// The lines of a symbol (stroked with round ends) and its solid parts.
struct Art {
    QPainterPath strokes;
    QPainterPath fills;
};

QPainterPath disc(QPointF centre, double radius)
{
    QPainterPath p;
    p.addEllipse(centre, radius, radius);
    return p;
}

QPainterPath outline(const Art& art, double w)
{
    QPainterPathStroker stroker;
    stroker.setWidth(w);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    QPainterPath shape = stroker.createStroke(art.strokes).united(art.fills);
    shape.setFillRule(Qt::WindingFill);
    return shape.simplified();
}

// An exclamation mark: a bar from `top` to `bottom` and a dot below it.
void exclamation(Art& art, double x, double top, double bottom, double dotY, double w)
{
    art.strokes.moveTo(x, top);
    art.strokes.lineTo(x, bottom);
    art.fills.addPath(disc({x, dotY}, w * 0.72));
}

QPainterPath infoCircle(double w)
{
    Art art;
    art.strokes.addEllipse(QPointF(10, 10), 10 - w / 2, 10 - w / 2);
    art.fills.addPath(disc({10, 5.7}, w * 0.72));
    art.strokes.moveTo(8.5, 8.8);
    art.strokes.lineTo(10, 8.8);
    art.strokes.lineTo(10, 14.6);
    art.strokes.moveTo(8.2, 14.6);
    art.strokes.lineTo(11.8, 14.6);
    return outline(art, w);
}

QPainterPath lightbulb(double w)
{
    Art art;
    const double r = 6.2 - w / 2;
    const QRectF bulb(7 - r, 6.8 - r, 2 * r, 2 * r);
    art.strokes.arcMoveTo(bulb, 225);
    art.strokes.arcTo(bulb, 225, -270);
    art.strokes.lineTo(9.3, 13.6);
    art.strokes.lineTo(4.7, 13.6);
    art.strokes.closeSubpath();
    art.strokes.moveTo(4.8, 16.3);
    art.strokes.lineTo(9.2, 16.3);
    art.strokes.moveTo(5.7, 18.9);
    art.strokes.lineTo(8.3, 18.9);
    return outline(art, w);
}

QPainterPath exclamationBubble(double w)
{
    Art art;
    const double x0 = w / 2, y0 = w / 2, x1 = 22 - w / 2, y1 = 15.2, R = 4;
    QPainterPath& p = art.strokes;
    p.moveTo(x0 + R, y0);
    p.lineTo(x1 - R, y0);
    p.arcTo(QRectF(x1 - 2 * R, y0, 2 * R, 2 * R), 90, -90);
    p.lineTo(x1, y1 - R);
    p.arcTo(QRectF(x1 - 2 * R, y1 - 2 * R, 2 * R, 2 * R), 0, -90);
    p.lineTo(10, y1);
    p.lineTo(4.6, 20 - w / 2);
    p.lineTo(6.2, y1);
    p.lineTo(x0 + R, y1);
    p.arcTo(QRectF(x0, y1 - 2 * R, 2 * R, 2 * R), 270, -90);
    p.lineTo(x0, y0 + R);
    p.arcTo(QRectF(x0, y0, 2 * R, 2 * R), 180, -90);
    p.closeSubpath();
    exclamation(art, 11, 4.3, 8.6, 11.6, w);
    return outline(art, w);
}

QPainterPath exclamationTriangle(double w)
{
    Art art;
    art.strokes.moveTo(11, w / 2 + 0.4);
    art.strokes.lineTo(22 - w / 2 - 0.2, 20 - w / 2);
    art.strokes.lineTo(w / 2 + 0.2, 20 - w / 2);
    art.strokes.closeSubpath();
    exclamation(art, 11, 7.4, 12.3, 15.4, w);
    return outline(art, w);
}

QPainterPath exclamationOctagon(double w)
{
    Art art;
    const double r = (10 - w / 2) / std::cos(M_PI / 8);  // flat sides touch the box
    for (int k = 0; k < 8; ++k) {
        const double a = M_PI / 8 + k * M_PI / 4;
        const QPointF v(10 + r * std::cos(a), 10 - r * std::sin(a));
        if (k == 0)
            art.strokes.moveTo(v);
        else
            art.strokes.lineTo(v);
    }
    art.strokes.closeSubpath();
    exclamation(art, 10, 5.2, 10.6, 13.9, w);
    return outline(art, w);
}

// A framed picture with a sun and two hills, `width` units wide.
Art photoArt(double width, double bottom, double w)
{
    Art art;
    const double inset = w / 2;
    art.strokes.addRoundedRect(QRectF(inset, 1.5, width - 2 * inset, bottom - 1.5), 3, 3);
    art.fills.addPath(disc({width * 0.3, 6.8}, 2.0));
    art.strokes.moveTo(inset + 0.6, bottom - 3.2);
    art.strokes.lineTo(width * 0.36, 10.4);
    art.strokes.lineTo(width * 0.54, 13.6);
    art.strokes.lineTo(width * 0.70, 9.8);
    art.strokes.lineTo(width - inset - 0.6, bottom - 3.6);
    return art;
}

QPainterPath photo(double w)
{
    return outline(photoArt(25, 18.5, w), w);
}

QPainterPath photoBadgeExclamation(double w)
{
    const QPointF centre(21.6, 14.6);
    const double radius = 5.3;
    QPainterPath picture = outline(photoArt(22, 16.8, w), w).subtracted(disc(centre, radius + 1.5));
    Art mark;
    exclamation(mark, centre.x(), centre.y() - 3.0, centre.y() + 0.6, centre.y() + 2.9, 1.5);
    QPainterPath badge = disc(centre, radius).subtracted(outline(mark, 1.5));
    return picture.united(badge).simplified();
}

// A letter of the interface font, fitted into the artwork box: `left`, `top`,
// `height` place its cap height.
QPainterPath letter(QChar c, bool bold, bool italic, double left, double top, double height)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(100);
    font.setBold(bold);
    font.setItalic(italic);
    QPainterPath glyph;
    glyph.addText(0, 0, font, QString(c));
    const QRectF box = glyph.boundingRect();
    if (box.isEmpty())
        return {};
    QTransform t;
    const double scale = height / box.height();
    t.translate(left - box.left() * scale, top - box.top() * scale);
    t.scale(scale, scale);
    return t.map(glyph);
}

QPainterPath boldLetter(double w)
{
    // Heavier weights thicken the letter by a stroke of the difference.
    QPainterPath b = letter(QLatin1Char('B'), true, false, 2, 2.5, 15);
    if (w <= 1.6)
        return b;
    Art art;
    art.fills = b;
    art.strokes = b;
    return outline(art, w - 1.6);
}

QPainterPath italicLetter(double w)
{
    Art art;
    art.strokes.moveTo(8, 2.5);
    art.strokes.lineTo(16, 2.5);
    art.strokes.moveTo(4, 17.5);
    art.strokes.lineTo(12, 17.5);
    art.strokes.moveTo(12, 2.5);
    art.strokes.lineTo(8, 17.5);
    return outline(art, w);
}

QPainterPath underlineLetter(double w)
{
    Art art;
    const QRectF bowl(4, 6, 10, 9);
    art.strokes.moveTo(4, 1.5);
    art.strokes.lineTo(4, 10.5);
    art.strokes.arcTo(bowl, 180, 180);
    art.strokes.lineTo(14, 1.5);
    art.strokes.moveTo(2, 18.6);
    art.strokes.lineTo(16, 18.6);
    return outline(art, w);
}

QPainterPath strikethroughLetter(double w)
{
    Art art;
    art.fills = letter(QLatin1Char('S'), false, false, 4.2, 2.5, 15);
    art.strokes.moveTo(2, 10.2);
    art.strokes.lineTo(18, 10.2);
    return outline(art, w);
}

QPainterPath codeBrackets(double w)
{
    Art art;
    art.strokes.moveTo(7, 5);
    art.strokes.lineTo(2, 10);
    art.strokes.lineTo(7, 15);
    art.strokes.moveTo(13.2, 3);
    art.strokes.lineTo(9.8, 17);
    art.strokes.moveTo(16, 5);
    art.strokes.lineTo(21, 10);
    art.strokes.lineTo(16, 15);
    return outline(art, w);
}

QPainterPath chainLink(double w)
{
    // Two rounded links crossing each other on a diagonal.
    Art art;
    QTransform turn;
    turn.translate(10, 10);
    turn.rotate(-45);
    QPainterPath link;
    link.addRoundedRect(QRectF(-9.6, -3.4, 11.6, 6.8), 3.4, 3.4);
    link.addRoundedRect(QRectF(-2, -3.4, 11.6, 6.8), 3.4, 3.4);
    art.strokes = turn.map(link);
    return outline(art, w);
}

QPainterPath minusBar(double w)
{
    Art art;
    art.strokes.moveTo(3, 10);
    art.strokes.lineTo(17, 10);
    return outline(art, w);
}

QPainterPath tableCells(double w)
{
    Art art;
    const double inset = w / 2;
    art.strokes.addRoundedRect(QRectF(inset, 3, 22 - 2 * inset, 14), 2.5, 2.5);
    art.strokes.moveTo(inset, 7.8);
    art.strokes.lineTo(22 - inset, 7.8);
    art.strokes.moveTo(inset, 12.4);
    art.strokes.lineTo(22 - inset, 12.4);
    art.strokes.moveTo(8, 3);
    art.strokes.lineTo(8, 17);
    art.strokes.moveTo(14.5, 3);
    art.strokes.lineTo(14.5, 17);
    return outline(art, w);
}

QPainterPath listBullet(double w)
{
    Art art;
    for (double y : {4.5, 10.0, 15.5}) {
        art.fills.addPath(disc({3, y}, 1.5));
        art.strokes.moveTo(7.5, y);
        art.strokes.lineTo(19, y);
    }
    return outline(art, w);
}

QPainterPath questionmarkCircle(double w)
{
    Art art;
    art.strokes.addEllipse(QPointF(10, 10), 10 - w / 2, 10 - w / 2);
    const QRectF hook(7.1, 4.6, 5.8, 5.4);
    art.strokes.arcMoveTo(hook, 160);
    art.strokes.arcTo(hook, 160, -220);
    art.strokes.lineTo(10, 11.4);
    art.strokes.lineTo(10, 12.2);
    art.fills.addPath(disc({10, 15}, w * 0.72));
    return outline(art, w);
}

QPainterPath chevronBackward(double w)
{
    Art art;
    art.strokes.moveTo(9, 3);
    art.strokes.lineTo(3, 10);
    art.strokes.lineTo(9, 17);
    return outline(art, w);
}

QPainterPath chevronForward(double w)
{
    Art art;
    art.strokes.moveTo(3, 3);
    art.strokes.lineTo(9, 10);
    art.strokes.lineTo(3, 17);
    return outline(art, w);
}

struct Symbol {
    const char* name;
    double width;  // of the artwork, at height 20
    QPainterPath (*build)(double strokeWidth);
};

constexpr Symbol kSymbols[] = {
    {"info.circle", 20, infoCircle},
    {"lightbulb", 14, lightbulb},
    {"exclamationmark.bubble", 22, exclamationBubble},
    {"exclamationmark.triangle", 22, exclamationTriangle},
    {"exclamationmark.octagon", 20, exclamationOctagon},
    {"photo", 25, photo},
    {"photo.badge.exclamationmark", 27, photoBadgeExclamation},
    {"bold", 17, boldLetter},
    {"italic", 18, italicLetter},
    {"underline", 18, underlineLetter},
    {"strikethrough", 20, strikethroughLetter},
    {"chevron.left.forwardslash.chevron.right", 23, codeBrackets},
    {"link", 20, chainLink},
    {"minus", 20, minusBar},
    {"tablecells", 22, tableCells},
    {"list.bullet", 20, listBullet},
    {"questionmark.circle", 20, questionmarkCircle},
    {"chevron.backward", 12, chevronBackward},
    {"chevron.forward", 12, chevronForward},
};

const Symbol* find(std::string_view name)
{
    for (const Symbol& s : kSymbols)
        if (name == s.name)
            return &s;
    return nullptr;
}

// Outlines are built once per symbol and weight, in artwork units.
const QPainterPath& artwork(const Symbol& symbol, SymbolWeight weight)
{
    static std::mutex lock;
    static std::map<std::pair<std::string, int>, QPainterPath> cache;
    std::lock_guard<std::mutex> guard(lock);
    const auto key = std::make_pair(std::string(symbol.name), int(weight));
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, symbol.build(strokeWidth(weight))).first;
    return it->second;
}

} // namespace

bool exists(std::string_view name)
{
    return find(name) != nullptr;
}

double aspectRatio(std::string_view name)
{
    const Symbol* s = find(name);
    return s ? s->width / kArtHeight : 0;
}

QSizeF size(std::string_view name, double pointSize)
{
    const double aspect = aspectRatio(name);
    if (aspect <= 0 || !(pointSize > 0))
        return {};
    return {pointSize * aspect, pointSize};
}

QPainterPath path(std::string_view name, const QRectF& rect, SymbolWeight weight)
{
    const Symbol* s = find(name);
    if (!s || !(rect.width() > 0) || !(rect.height() > 0))
        return {};
    const double scale = std::min(rect.width() / s->width, rect.height() / kArtHeight);
    const double dx = rect.center().x() - s->width * scale / 2;
    const double dy = rect.center().y() - kArtHeight * scale / 2;
    QTransform t;
    t.translate(dx, dy);
    t.scale(scale, scale);
    return t.map(artwork(*s, weight));
}

bool draw(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color, SymbolWeight weight)
{
    const QPainterPath shape = path(name, rect, weight);
    if (shape.isEmpty())
        return false;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(shape, color);
    painter.restore();
    return true;
}

} // namespace velkin::SymbolImage
