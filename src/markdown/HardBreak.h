#pragma once
// Hard line breaks: the break characters stay in the text, hidden, and a
// return-arrow mark is drawn in their place.
#include "platform/attributed/Attributes.h"

#include <QRectF>

class QPainter;

namespace velkin {

// The mark under AttributeKey::HardBreak over a hard break's characters.
class HardBreakMark : public Marker {
public:
    explicit HardBreakMark(double size) : size(size) {}
    const double size;  // side of the square the arrow is drawn in, in points
};

namespace HardBreak {

// Strokes a return arrow into `rect` (y grows downward) in the tertiary label colour;
// nothing for a rectangle 2 points or less in either direction.
void draw(QPainter& painter, const QRectF& rect, Appearance appearance = Appearance::Light);

} // namespace HardBreak

} // namespace velkin
