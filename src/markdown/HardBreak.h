#pragma once
// Hard line breaks: the break characters stay in the text, hidden, and a
// return-arrow mark is drawn in their place.
#include "platform/attributed/Attributes.h"

namespace velkin {

// The mark under AttributeKey::HardBreak over a hard break's characters.
class HardBreakMark : public Marker {
public:
    explicit HardBreakMark(double size) : size(size) {}
    const double size;  // side of the square the arrow is drawn in, in points
};

} // namespace velkin
