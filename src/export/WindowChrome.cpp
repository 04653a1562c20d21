#include "export/WindowChrome.h"

#include "platform/attributed/Color.h"
#include "platform/attributed/Font.h"
#include "platform/graphics/Blur.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velkin::WindowChrome {

namespace {

constexpr double kMarginX = 40;
constexpr double kMarginBottom = 52;
constexpr double kMarginTop = 28;
constexpr double kTitleBarHeight = 52;
constexpr double kCornerRadius = 10;

QFont semibold(double size)
{
    QFont f = Font::system(size).toQFont();
    f.setWeight(QFont::DemiBold);
    return f;
}

// The toolbar's symbols, drawn as strokes on a 15-point grid centred on `c`.
void drawSymbol(QPainter& p, const QString& name, QPointF c, const QColor& color)
{
    QPen pen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double u = 15.0 / 2;  // half the symbol size
    auto at = [&](double x, double y) { return c + QPointF(x * u, y * u); };
    if (name == "bold" || name == "italic" || name == "underline" || name == "strikethrough") {
        QFont f = Font::system(15, name == "bold").toQFont();
        if (name == "bold")
            f.setWeight(QFont::Black);
        f.setItalic(name == "italic");
        f.setUnderline(name == "underline");
        f.setStrikeOut(name == "strikethrough");
        p.setFont(f);
        const QFontMetricsF fm(f);
        const QString letter = name == "strikethrough" ? "S" : name == "underline" ? "U" : name == "italic" ? "I" : "B";
        const double w = fm.horizontalAdvance(letter);
        p.drawText(QPointF(c.x() - w / 2, c.y() + fm.capHeight() / 2), letter);
    } else if (name == "chevron.left.forwardslash.chevron.right") {
        p.drawPolyline(QPolygonF({at(-0.55, -0.45), at(-1.0, 0), at(-0.55, 0.45)}));
        p.drawPolyline(QPolygonF({at(0.55, -0.45), at(1.0, 0), at(0.55, 0.45)}));
        p.drawLine(at(0.2, -0.7), at(-0.2, 0.7));
    } else if (name == "link") {
        p.save();
        p.translate(c);
        p.rotate(-45);
        p.drawRoundedRect(QRectF(-u * 1.05, -u * 0.32, u * 1.2, u * 0.64), u * 0.32, u * 0.32);
        p.drawRoundedRect(QRectF(-u * 0.15, -u * 0.32, u * 1.2, u * 0.64), u * 0.32, u * 0.32);
        p.restore();
    } else if (name == "photo") {
        p.drawRoundedRect(QRectF(at(-1, -0.75), at(1, 0.75)), 2, 2);
        p.drawPolyline(QPolygonF({at(-0.8, 0.55), at(-0.3, 0.0), at(0.1, 0.35), at(0.4, 0.1), at(0.8, 0.55)}));
        p.setBrush(color);
        p.drawEllipse(at(0.4, -0.35), 1.3, 1.3);
    } else if (name == "minus") {
        p.drawLine(at(-0.8, 0), at(0.8, 0));
    } else if (name == "tablecells") {
        const QRectF r(at(-1, -0.8), at(1, 0.8));
        p.drawRoundedRect(r, 2, 2);
        p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
    }
}

void drawTrafficLights(QPainter& p, const QRectF& bar)
{
    static const QColor colours[3] = {QColor::fromRgbF(1.0f, 0.37f, 0.34f), QColor::fromRgbF(1.0f, 0.74f, 0.18f),
                                      QColor::fromRgbF(0.16f, 0.78f, 0.25f)};
    for (int i = 0; i < 3; ++i) {
        const QRectF oval(bar.left() + 20 + 20 * i, bar.center().y() - 6, 12, 12);
        p.setBrush(colours[i]);
        p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.08f), 1));
        p.drawEllipse(oval);
    }
}

// Where the toolbar's first item is centred; its items stand 30 points apart.
double toolbarStart(const QRectF& bar)
{
    return bar.center().x() - 135;
}

void drawToolbar(QPainter& p, const QRectF& bar)
{
    static const char* items[] = {"H", "bold", "italic", "underline", "strikethrough",
                                  "chevron.left.forwardslash.chevron.right", "link", "photo", "minus", "tablecells"};
    const QColor label = Color::label().toQColor();
    double x = toolbarStart(bar);
    const double y = bar.center().y();
    for (const char* item : items) {
        if (QString(item) == "H") {
            const QFont f = semibold(16);
            const QFontMetricsF fm(f);
            p.setFont(f);
            p.setPen(label);
            const double w = fm.horizontalAdvance("H");
            p.drawText(QRectF(x - w / 2, y - fm.height() / 2, w, fm.height()), Qt::AlignCenter, "H");
        } else {
            drawSymbol(p, item, QPointF(x, y), label);
        }
        x += 30;
    }
}

void drawTitleBar(QPainter& p, const QRectF& bar, const std::string& title)
{
    p.fillRect(bar, Color::role(Color::Role::WindowBackground).toQColor());
    p.fillRect(QRectF(bar.left(), bar.bottom() - 1, bar.width(), 1), Color::separator().toQColor());
    drawTrafficLights(p, bar);
    const QFont f = semibold(13);
    const QFontMetricsF fm(f);
    const QString text = QString::fromStdString(title);
    p.setFont(f);
    p.setPen(Color::label().toQColor());
    // After the buttons, up to a gap before the toolbar's first item (half of
    // its 30 points, and as much again): a longer title loses its middle,
    // keeping the start of the name and its extension.
    const double left = bar.left() + 84;
    const double room = toolbarStart(bar) - 30 - left;
    if (room > 0)
        p.drawText(QPointF(left, bar.center().y() - fm.height() / 2 + fm.ascent()),
                   fm.elidedText(text, Qt::ElideMiddle, room));
    drawToolbar(p, bar);
}

} // namespace

std::optional<QImage> frame(const QImage& page, const std::string& title)
{
    if (page.isNull())
        return std::nullopt;
    const double w = page.width() / page.devicePixelRatio();
    const double h = page.height() / page.devicePixelRatio();
    const double scale = w > 0 ? page.width() / w : 1.0;
    const double canvasWidth = w + 2 * kMarginX;
    const double canvasHeight = h + kMarginBottom + kTitleBarHeight + kMarginTop;
    QImage canvas(int(scale * canvasWidth), int(scale * canvasHeight), QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return std::nullopt;
    canvas.fill(Qt::transparent);
    canvas.setDevicePixelRatio(scale);

    const QRectF window(kMarginX, kMarginTop, w, h + kTitleBarHeight);
    const QRectF titleBar(kMarginX, kMarginTop, w, kTitleBarHeight);
    const QRectF pageRect(kMarginX, kMarginTop + kTitleBarHeight, w, h);
    QPainterPath shape;
    shape.addRoundedRect(window, kCornerRadius, kCornerRadius);

    // The shadow: the window's shape in black, blurred, 12 points lower.
    {
        QImage mask(canvas.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.scale(scale, scale);
        m.translate(0, 12);
        m.fillPath(shape, QColor::fromRgbF(0, 0, 0, 0.28f));
        m.end();
        // A blur radius of 32 points spreads like a Gaussian of half that deviation.
        Blur::gaussian(mask, 16 * scale);
        QPainter c(&canvas);
        c.drawImage(QRectF(0, 0, canvasWidth, canvasHeight), mask);
    }

    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillPath(shape, Color::role(Color::Role::TextBackground).toQColor());
    p.save();
    p.setClipPath(shape);
    p.drawImage(pageRect, page);
    drawTitleBar(p, titleBar, title);
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.18f), 1));
    p.drawPath(shape);
    p.end();
    return canvas;
}

} // namespace velkin::WindowChrome
