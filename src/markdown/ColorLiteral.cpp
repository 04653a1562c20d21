#include "markdown/ColorLiteral.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velkin {

const Regex& ColorLiteral::hexRegex()
{
    static const Regex r("^#([0-9a-f]{3}|[0-9a-f]{6})$", Regex::CaseInsensitive);
    return r;
}

const Regex& ColorLiteral::rgbRegex()
{
    static const Regex r("^rgb\\(\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*\\)$", Regex::CaseInsensitive);
    return r;
}

const Regex& ColorLiteral::hslRegex()
{
    static const Regex r("^hsl\\(\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*%\\s*,\\s*(\\d{1,3})\\s*%\\s*\\)$",
                         Regex::CaseInsensitive);
    return r;
}

namespace {

// A group of one to three digits as an integer; -1 unless every digit is ASCII.
int asciiInteger(U16View digits)
{
    if (digits.empty())
        return -1;
    int v = 0;
    for (char16_t c : digits) {
        if (!CharacterClass::isAsciiDigit(c))
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

int channel(double c)
{
    if (std::isnan(c))
        return 0;
    if (c >= 1)
        return 255;
    return int(std::lround(std::max(c, 0.0) * 255));
}

U16String call(U16View literal, const std::vector<std::string>& arguments)
{
    const size_t paren = literal.find(u'(');
    U16String out(literal.substr(0, paren));
    const bool spaced = literal.find(u", ") != U16View::npos;
    out += u'(';
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i)
            out += spaced ? u", " : u",";
        out += u16(arguments[i]);
    }
    out += u')';
    return out;
}

} // namespace

std::optional<ColorLiteral> ColorLiteral::parse(U16View text)
{
    const U16View t = trimmed(text, TrimSet::Whitespace);
    if (t.empty())
        return std::nullopt;
    const char16_t first = CharacterClass::asciiLower(t[0]);
    if (first != u'#' && first != u'r' && first != u'h')
        return std::nullopt;
    if (auto m = hexRegex().firstMatch(t)) {
        U16View digits = m->text(t, 1);
        U16String six;
        if (digits.size() == 3) {
            for (char16_t c : digits) {
                six += c;
                six += c;
            }
            digits = six;
        }
        long v = 0;
        for (char16_t c : digits) {
            const int h = CharacterClass::asciiHexValue(c);
            if (h < 0)
                return std::nullopt;
            v = v * 16 + h;
        }
        return ColorLiteral{Model::hex, double((v >> 16) & 255) / 255, double((v >> 8) & 255) / 255,
                            double(v & 255) / 255};
    }
    if (auto m = rgbRegex().firstMatch(t)) {
        int c[3];
        for (int g = 0; g < 3; ++g) {
            c[g] = asciiInteger(m->text(t, g + 1));
            if (c[g] < 0 || c[g] > 255)
                return std::nullopt;
        }
        return ColorLiteral{Model::rgb, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0};
    }
    if (auto m = hslRegex().firstMatch(t)) {
        const int h = asciiInteger(m->text(t, 1));
        const int s = asciiInteger(m->text(t, 2));
        const int l = asciiInteger(m->text(t, 3));
        if (h < 0 || h > 360 || s < 0 || s > 100 || l < 0 || l > 100)
            return std::nullopt;
        const Components c = rgb(h / 360.0, s / 100.0, l / 100.0);
        return ColorLiteral{Model::hsl, c.first, c.second, c.third};
    }
    return std::nullopt;
}

ColorLiteral::Components ColorLiteral::rgb(double hue, double saturation, double lightness)
{
    if (saturation <= 0)
        return Components{lightness, lightness, lightness};
    const double q = lightness < 0.5 ? lightness * (1 + saturation) : lightness + saturation - lightness * saturation;
    const double p = 2 * lightness - q;
    auto component = [p, q](double t) {
        if (t < 0)
            t += 1;
        if (t > 1)
            t -= 1;
        if (t < 1.0 / 6)
            return p + (q - p) * 6 * t;
        if (t < 1.0 / 2)
            return q;
        if (t < 2.0 / 3)
            return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    return Components{component(hue + 1.0 / 3), component(hue), component(hue - 1.0 / 3)};
}

ColorLiteral::Components ColorLiteral::hsl(double red, double green, double blue)
{
    const double mx = std::max({red, green, blue});
    const double mn = std::min({red, green, blue});
    const double lightness = (mx + mn) * 0.5;
    const double d = mx - mn;
    if (d <= 0)
        return Components{0, 0, lightness};
    const double saturation = lightness > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    double hue;
    if (mx == red)
        hue = (green - blue) / d + (green < blue ? 6 : 0);
    else if (mx == green)
        hue = (blue - red) / d + 2;
    else
        hue = (red - green) / d + 4;
    return Components{hue / 6, saturation, lightness};
}

std::optional<U16String> ColorLiteral::formatted(double red, double green, double blue, U16View like)
{
    const U16View t = trimmed(like, TrimSet::Whitespace);
    const auto literal = parse(t);
    if (!literal)
        return std::nullopt;
    const int r = channel(red), g = channel(green), b = channel(blue);
    char buffer[64];
    switch (literal->model) {
    case Model::hex: {
        bool upper = false;
        for (char16_t c : t)
            if (c >= u'A' && c <= u'Z')
                upper = true;
        if (t.size() == 4 && r % 17 == 0 && g % 17 == 0 && b % 17 == 0)
            std::snprintf(buffer, sizeof buffer, "#%01X%01X%01X", r / 17, g / 17, b / 17);
        else
            std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", r, g, b);
        U16String out = u16(buffer);
        if (!upper)
            out = TextOps::asciiLowercased(out);
        return out;
    }
    case Model::rgb:
        return call(t, {std::to_string(r), std::to_string(g), std::to_string(b)});
    case Model::hsl: {
        // Components outside 0...1 (wide-gamut colours) would give a saturation or
        // lightness above 100 %, which no longer parses: they are clamped first.
        auto unit = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); };
        const Components c = hsl(unit(red), unit(green), unit(blue));
        const long hue = std::lround(c.first * 360) % 360;
        return call(t, {std::to_string(hue), std::to_string(std::lround(c.second * 100)) + "%",
                        std::to_string(std::lround(c.third * 100)) + "%"});
    }
    }
    return std::nullopt;
}

std::optional<U16String> ColorLiteral::formatted(const Color& color, U16View like)
{
    Color::RGBA c;
    if (!color.fixedComponents(c))
        c = color.resolved(Appearance::Light);
    return formatted(c.red, c.green, c.blue, like);
}

} // namespace velkin
