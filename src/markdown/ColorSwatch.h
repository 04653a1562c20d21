#pragma once
// Colour swatches: a small square of a colour literal's colour drawn just
// before the literal, in room opened by kerning the character in front of it.
#include "platform/attributed/Attributes.h"

#include <QRectF>

class QPainter;

namespace velkin {

// The mark under AttributeKey::ColorSwatch over a colour literal's text.
class ColorMark : public Marker {
public:
    ColorMark(Color color, double size, double gap, double capHeight)
        : color(color), size(size), gap(gap), capHeight(capHeight)
    {
    }
    const Color color;       // the literal's colour, opaque
    const double size;       // side of the swatch square
    const double gap;        // between the swatch and the literal's first character
    const double capHeight;  // of the literal's font, to centre the swatch on the capitals
};

namespace ColorSwatch {

// Fills a rounded square with `color` and outlines it in the separator colour;
// nothing for a rectangle 1 point or less in either direction.
void draw(QPainter& painter, const QRectF& rect, const Color& color, Appearance appearance = Appearance::Light);

} // namespace ColorSwatch

} // namespace velkin
