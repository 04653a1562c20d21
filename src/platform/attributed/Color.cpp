#include "platform/attributed/Color.h"

#include <algorithm>

namespace velkin {

namespace {

struct RolePair {
    Color::RGBA light;
    Color::RGBA dark;
};

constexpr Color::RGBA rgb(uint32_t hex, double alpha = 1)
{
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}

// Our palette of semantic colours for the light and the dark appearance.
RolePair roleValues(Color::Role role)
{
    using R = Color::Role;
    switch (role) {
    case R::Fixed: break;
    case R::Text: return {rgb(0x000000), rgb(0xFFFFFF)};
    case R::Label: return {rgb(0x000000, 0.85), rgb(0xFFFFFF, 0.85)};
    case R::SecondaryLabel: return {rgb(0x000000, 0.50), rgb(0xFFFFFF, 0.55)};
    case R::TertiaryLabel: return {rgb(0x000000, 0.26), rgb(0xFFFFFF, 0.25)};
    case R::QuaternaryLabel: return {rgb(0x000000, 0.10), rgb(0xFFFFFF, 0.10)};
    case R::Separator: return {rgb(0x000000, 0.10), rgb(0xFFFFFF, 0.10)};
    case R::Link: return {rgb(0x0068DA), rgb(0x419CFF)};
    case R::ControlAccent: return {rgb(0x007AFF), rgb(0x0A84FF)};
    case R::Clear: return {rgb(0x000000, 0), rgb(0x000000, 0)};
    case R::White: return {rgb(0xFFFFFF), rgb(0xFFFFFF)};
    case R::Black: return {rgb(0x000000), rgb(0x000000)};
    case R::SystemBlue: return {rgb(0x007AFF), rgb(0x0A84FF)};
    case R::SystemGreen: return {rgb(0x28CD41), rgb(0x32D74B)};
    case R::SystemPurple: return {rgb(0xAF52DE), rgb(0xBF5AF2)};
    case R::SystemOrange: return {rgb(0xFF9500), rgb(0xFF9F0A)};
    case R::SystemRed: return {rgb(0xFF3B30), rgb(0xFF453A)};
    case R::SystemYellow: return {rgb(0xFFCC00), rgb(0xFFD60A)};
    case R::SystemGray: return {rgb(0x8E8E93), rgb(0x98989D)};
    case R::SystemTeal: return {rgb(0x59ADC4), rgb(0x6AC4DC)};
    case R::SystemPink: return {rgb(0xFF2D55), rgb(0xFF375F)};
    case R::WindowBackground: return {rgb(0xECECEC), rgb(0x323232)};
    case R::TextBackground: return {rgb(0xFFFFFF), rgb(0x1E1E1E)};
    case R::ControlBackground: return {rgb(0xFFFFFF), rgb(0x1E1E1E)};
    case R::SelectedTextBackground: return {rgb(0xB3D7FF), rgb(0x3F638B)};
    case R::Shadow: return {rgb(0x000000), rgb(0x000000)};
    }
    return {rgb(0x000000, 0), rgb(0x000000, 0)};
}

} // namespace

Color Color::srgb(double red, double green, double blue, double alpha)
{
    Color c;
    c.role_ = Role::Fixed;
    c.light_ = c.dark_ = {red, green, blue, alpha};
    return c;
}

Color Color::hex(uint32_t value, double alpha)
{
    const RGBA v = rgb(value, alpha);
    return srgb(v.red, v.green, v.blue, v.alpha);
}

Color Color::role(Role role)
{
    Color c;
    c.role_ = role;
    return c;
}

Color Color::pair(RGBA light, RGBA dark)
{
    Color c;
    c.role_ = Role::Fixed;
    c.isPair_ = true;
    c.light_ = light;
    c.dark_ = dark;
    return c;
}

Color Color::withAlpha(double alpha) const
{
    Color c = *this;
    if (role_ == Role::Fixed) {
        c.light_.alpha = alpha;
        c.dark_.alpha = alpha;
    } else {
        c.hasAlpha_ = true;
        c.alpha_ = alpha;
    }
    return c;
}

bool Color::isDynamic() const
{
    return isPair_ || (role_ != Role::Fixed && !(roleValues(role_).light == roleValues(role_).dark));
}

Color::RGBA Color::resolved(Appearance appearance) const
{
    RGBA v;
    if (role_ == Role::Fixed) {
        v = appearance == Appearance::Dark ? dark_ : light_;
    } else {
        const RolePair p = roleValues(role_);
        v = appearance == Appearance::Dark ? p.dark : p.light;
        if (hasAlpha_)
            v.alpha = alpha_;
    }
    return v;
}

bool Color::fixedComponents(RGBA& out) const
{
    if (role_ != Role::Fixed || isPair_)
        return false;
    out = light_;
    return true;
}

} // namespace velkin
