#include "markdown/ColorSwatch.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>

namespace velkin::ColorSwatch {

void draw(QPainter& painter, const QRectF& rect, const Color& color, Appearance appearance)
{
    if (!(rect.width() > 1) || !(rect.height() > 1))
        return;
    const double border = std::max(rect.width() * 0.07, 1.0);
    const QRectF inner = rect.adjusted(border / 2, border / 2, -border / 2, -border / 2);
    const double radius = inner.width() * 0.28;
    QPainterPath square;
    square.addRoundedRect(inner, radius, radius);

    QPen pen(Color::separator().toQColor(appearance));
    pen.setWidthF(border);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(square, color.toQColor(appearance));
    painter.strokePath(square, pen);
    painter.restore();
}

} // namespace velkin::ColorSwatch
