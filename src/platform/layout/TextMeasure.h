#pragma once
// Widths of text as it is drawn, for indents and table alignment.
#include "platform/attributed/AttributedString.h"

namespace velkin::TextMeasure {

// Advance width of `text` in `font`, in points.
double width(U16View text, const Font& font);
// Advance width of an emoji drawn in the system font at `size` with the colour
// emoji font first, rounded up to whole points; 0 for nothing or no size.
double emojiWidth(U16View emoji, double size);
// Width of a stretch of attributed text: each run in its own font (the
// fallback where it has none), plus the kern of every character.
double width(const AttributedString& text, Range range, const Font& fallback);

} // namespace velkin::TextMeasure
