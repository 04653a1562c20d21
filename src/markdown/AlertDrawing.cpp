// The panel and the icon the editor draws for an alert block.
#include "markdown/Alert.h"

#include "platform/symbols/SymbolImage.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace velkin::Alert {

void drawPanel(QPainter& painter, const QRectF& rect, AlertKind kind, Appearance appearance)
{
    if (!(rect.width() > 1) || !(rect.height() > 1))
        return;
    const double radius = std::min(rect.height() / 2, 8.0);
    QPainterPath panel;
    panel.addRoundedRect(rect, radius, radius);
    const Color accent = AlertKinds::color(kind);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(panel, accent.withAlpha(0.1).toQColor(appearance));
    // The bar is clipped to the panel so that it follows the rounded corners.
    painter.setClipPath(panel, Qt::IntersectClip);
    painter.fillRect(QRectF(rect.left(), rect.top(), 3, rect.height()), accent.toQColor(appearance));
    painter.restore();
}

void drawIcon(QPainter& painter, const QRectF& rect, AlertKind kind, Appearance appearance)
{
    if (!(rect.width() > 1) || !(rect.height() > 1))
        return;
    SymbolImage::draw(painter, AlertKinds::symbolName(kind), rect, AlertKinds::labelColor(kind).toQColor(appearance),
                      SymbolWeight::Semibold);
}

} // namespace velkin::Alert
