#include "markdown/HardBreak.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>

namespace velkin::HardBreak {

void draw(QPainter& painter, const QRectF& rect, Appearance appearance)
{
    const double w = rect.width(), h = rect.height();
    if (!(w > 2) || !(h > 2))
        return;
    const double x0 = rect.left(), y0 = rect.top(), x1 = rect.right();
    QPainterPath path;
    // A stroke down near the right edge, across to the left, and an arrowhead opening right.
    path.moveTo(x1 - 0.08 * w, y0 + 0.18 * h);
    path.lineTo(x1 - 0.08 * w, y0 + 0.72 * h);
    path.lineTo(x0 + 0.14 * w, y0 + 0.72 * h);
    path.moveTo(x0 + 0.44 * w, y0 + 0.44 * h);
    path.lineTo(x0 + 0.14 * w, y0 + 0.72 * h);
    path.lineTo(x0 + 0.44 * w, y0 + h);

    QPen pen(Color::tertiaryLabel().toQColor(appearance));
    pen.setWidthF(std::max(0.12 * w, 1.0));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

} // namespace velkin::HardBreak
