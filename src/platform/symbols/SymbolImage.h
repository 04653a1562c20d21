#pragma once
// Symbol images by name: our own line-art icons, drawn as vector paths in one
// colour at any size, so they stay sharp on every screen and in PDF.
#include <QColor>
#include <QRectF>
#include <QSizeF>

#include <string_view>

class QPainter;
class QPainterPath;

namespace velkin {

enum class SymbolWeight { Regular, Medium, Semibold, Bold };

namespace SymbolImage {

// Whether a symbol of that name exists.
bool exists(std::string_view name);
// Width divided by height of the symbol's artwork (0 when there is no such symbol).
double aspectRatio(std::string_view name);
// The size the symbol takes at a point size: as high as the point size, as wide as its aspect asks.
QSizeF size(std::string_view name, double pointSize);
// The symbol's outline, filled to draw it, fitted to `rect` (aspect kept, centred). Empty for an unknown name.
QPainterPath path(std::string_view name, const QRectF& rect, SymbolWeight weight = SymbolWeight::Regular);
// Draws the symbol in one colour, fitted to `rect`. False (nothing drawn) for an unknown name or an empty rectangle.
bool draw(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color,
          SymbolWeight weight = SymbolWeight::Regular);

} // namespace SymbolImage

} // namespace velkin
