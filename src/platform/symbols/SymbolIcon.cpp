#include "platform/symbols/SymbolIcon.h"

#include "platform/symbols/SymbolImage.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <string>

namespace velkin::SymbolIcon {

namespace {

class Engine : public QIconEngine {
public:
    explicit Engine(std::string name) : name_(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        QColor color = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                     mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(0.45f);
        // A little margin, so the line-art does not touch the button's edge.
        const double inset = rect.height() * 0.08;
        SymbolImage::draw(*painter, name_, QRectF(rect).adjusted(inset, inset, -inset, -inset), color,
                          SymbolWeight::Medium);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap image(size * scale);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return image;
    }

    QIconEngine* clone() const override { return new Engine(name_); }
    QString key() const override { return QStringLiteral("velkin-symbol"); }

private:
    std::string name_;
};

} // namespace

QIcon make(std::string_view name)
{
    if (!SymbolImage::exists(name))
        return QIcon();
    return QIcon(new Engine(std::string(name)));
}

} // namespace velkin::SymbolIcon
