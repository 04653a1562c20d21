#include "app/TableSizePicker.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velkin {

namespace {

QString localized(const char16_t* key)
{
    return toQString(LocalizedStrings::text(key));
}

} // namespace

TableSizePicker::TableSizePicker(PickHandler onPick, double side, double gap, double corner, int columns, int rows,
                                 QWidget* parent)
    : QWidget(parent), onPick_(std::move(onPick)), side_(side), gap_(gap), corner_(corner),
      columns_(std::max(1, columns)), rows_(std::max(1, rows))
{
    setMouseTracking(true);
    setAccessibleName(localized(u"Table size"));
    setAccessibleDescription(accessibilityValue());
    setFixedSize(sizeHint());
}

QRectF TableSizePicker::gridRect() const
{
    const double step = side_ + gap_;
    return QRectF(padding, padding, step * columns_ - gap_, step * rows_ - gap_);
}

QSize TableSizePicker::sizeHint() const
{
    const QRectF grid = gridRect();
    return QSize(int(std::ceil(grid.width() + 2 * padding)),
                 int(std::ceil(grid.height() + spacing + captionHeight + 2 * padding)));
}

void TableSizePicker::hover(QPointF point)
{
    const double step = side_ + gap_;
    if (!(point.x() >= 0) || !(point.y() >= 0))
        return;
    const int c = int(point.x() / step);
    const int r = int(point.y() / step);
    if (c < columns_ && r < rows_ && point.x() - step * c <= side_ && point.y() - step * r <= side_)
        setPick(c + 1, r + 1);
}

void TableSizePicker::leave()
{
    setPick(0, 0);
}

void TableSizePicker::click()
{
    if (pickColumns_ >= 1 && pickRows_ >= 1 && onPick_)
        onPick_(pickRows_, pickColumns_);
}

QString TableSizePicker::caption() const
{
    if (pickColumns_ < 1)
        return localized(u"Insert Table");
    return toQString(LocalizedStrings::format(LocalizedStrings::text(u"%lld × %lld"), {pickColumns_, pickRows_}));
}

QString TableSizePicker::accessibilityValue() const
{
    if (pickColumns_ < 1)
        return localized(u"none");
    return toQString(
        LocalizedStrings::format(LocalizedStrings::text(u"%lld columns by %lld rows"), {pickColumns_, pickRows_}));
}

void TableSizePicker::setPick(int columns, int rows)
{
    if (columns == pickColumns_ && rows == pickRows_)
        return;
    pickColumns_ = columns;
    pickRows_ = rows;
    setAccessibleDescription(accessibilityValue());
    update();
}

void TableSizePicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF grid = gridRect();
    const double step = side_ + gap_;
    const QColor primary = palette().color(QPalette::WindowText);
    const QColor accent = palette().color(QPalette::Highlight);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            QPainterPath cell;
            // Half a pixel in, so the one-point outline lies on whole pixels.
            cell.addRoundedRect(QRectF(grid.left() + step * c + 0.5, grid.top() + step * r + 0.5, side_ - 1, side_ - 1),
                                corner_, corner_);
            const bool picked = c < pickColumns_ && r < pickRows_;
            QColor fill = picked ? accent : primary;
            fill.setAlphaF(picked ? 0.85f : 0.06f);
            QColor stroke = picked ? accent : primary;
            stroke.setAlphaF(picked ? 1.0f : 0.16f);
            painter.fillPath(cell, fill);
            painter.setPen(QPen(stroke, 1));
            painter.drawPath(cell);
        }
    }
    QFont font = this->font();
    font.setPixelSize(12);  // one point is one pixel at scale 1
    painter.setFont(font);
    QColor secondary = primary;
    secondary.setAlphaF(0.6f);
    painter.setPen(secondary);
    const QRectF captionRect(padding, grid.bottom() + spacing, grid.width(), captionHeight);
    painter.drawText(captionRect, Qt::AlignCenter, caption());
}

void TableSizePicker::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF grid = gridRect();
    const QPointF point = event->position();
    if (grid.contains(point))
        hover(point - grid.topLeft());
    else
        leave();
}

void TableSizePicker::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && gridRect().contains(event->position()))
        click();
}

void TableSizePicker::leaveEvent(QEvent*)
{
    leave();
}

} // namespace velkin
