#pragma once
// A font as the text system keeps it: a family role, an exact point size and
// traits. Sizes are read back from this value, never from Qt, which snaps sizes.
#include <string>

class QFont;

namespace velkin {

enum class FontFamilyRole : unsigned char { SansSerif, Serif, Monospace };

struct Font {
    FontFamilyRole family = FontFamilyRole::SansSerif;
    double pointSize = 14;
    bool bold = false;
    bool italic = false;

    // The system's proportional interface font (our sans-serif family).
    static Font system(double size, bool bold = false) { return {FontFamilyRole::SansSerif, size, bold, false}; }
    static Font boldSystem(double size) { return system(size, true); }
    // The system's fixed-pitch font at regular weight.
    static Font monospacedSystem(double size) { return {FontFamilyRole::Monospace, size, false, false}; }

    bool isFixedPitch() const { return family == FontFamilyRole::Monospace; }
    Font withSize(double size) const { return {family, size, bold, italic}; }
    Font withTraits(bool b, bool i) const { return {family, pointSize, b, i}; }
    // The concrete family the role resolves to ("DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono").
    const std::string& familyName() const;

    // Metrics at the exact size, in points. These and toQFont are measured by
    // the platform GUI library (layout/FontMetrics.cpp).
    double ascender() const;
    double descender() const;  // negative, below the baseline
    double capHeight() const;
    double xHeight() const;
    double lineHeight() const;  // ascent + descent + leading, as the layout spaces lines

    // A Qt font that draws this font at one pixel per point on a 96-dpi device.
    // With `emojiFirst` the colour emoji font comes before the text family: use it
    // for emoji, which the text fonts partly cover with black-and-white glyphs.
    QFont toQFont(bool emojiFirst = false) const;

    bool operator==(const Font&) const = default;
};

} // namespace velkin
