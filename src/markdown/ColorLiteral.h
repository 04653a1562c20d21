#pragma once
// A colour written in the text as "#ff8800", "rgb(255, 136, 0)" or "hsl(32, 100%, 50%)".
#include "platform/attributed/Color.h"
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <optional>
#include <vector>

namespace velkin {

struct ColorLiteral {
    enum class Model { hex, rgb, hsl };

    Model model = Model::hex;
    // sRGB components in 0...1; a literal is always opaque.
    double red = 0;
    double green = 0;
    double blue = 0;

    bool operator==(const ColorLiteral&) const = default;

    struct Components {
        double first = 0;
        double second = 0;
        double third = 0;
        bool operator==(const Components&) const = default;
    };

    // "^#([0-9a-f]{3}|[0-9a-f]{6})$", case-insensitive.
    static const Regex& hexRegex();
    // "^rgb\(\s*(\d{1,3})\s*,\s*(\d{1,3})\s*,\s*(\d{1,3})\s*\)$", case-insensitive.
    static const Regex& rgbRegex();
    // "^hsl\(\s*(\d{1,3})\s*,\s*(\d{1,3})\s*%\s*,\s*(\d{1,3})\s*%\s*\)$", case-insensitive.
    static const Regex& hslRegex();

    // The literal the whole text (trimmed of white space) spells, or nothing.
    static std::optional<ColorLiteral> parse(U16View text);
    // Hue as a fraction of a turn; all values in 0...1. Returns (red, green, blue).
    static Components rgb(double hue, double saturation, double lightness);
    // Returns (hue, saturation, lightness), all in 0...1.
    static Components hsl(double red, double green, double blue);
    // The sRGB colour written in the notation, letter case and comma spacing of `like`;
    // nothing when `like` is no colour literal.
    static std::optional<U16String> formatted(double red, double green, double blue, U16View like);
    // The same for a colour of the text system, taken in sRGB (a role as drawn in the light appearance).
    static std::optional<U16String> formatted(const Color& color, U16View like);
};

} // namespace velkin
