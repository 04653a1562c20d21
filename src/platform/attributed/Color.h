#pragma once
// Colours as the text system keeps them: a fixed sRGB value, a semantic role
// whose value depends on the appearance, or a light/dark pair. A colour keeps
// what it is until it is drawn; only then is it resolved for an appearance.
#include <cstdint>

class QColor;

namespace velkin {

enum class Appearance { Light, Dark };

class Color {
public:
    enum class Role : uint8_t {
        Fixed,                  // not a role: a fixed sRGB value or a pair
        Text,
        Label,
        SecondaryLabel,
        TertiaryLabel,
        QuaternaryLabel,
        Separator,
        Link,
        ControlAccent,
        Clear,
        White,
        Black,
        SystemBlue,
        SystemGreen,
        SystemPurple,
        SystemOrange,
        SystemRed,
        SystemYellow,
        SystemGray,
        SystemTeal,
        SystemPink,
        WindowBackground,
        TextBackground,
        ControlBackground,
        SelectedTextBackground,
        Shadow,
    };

    struct RGBA {
        double red = 0, green = 0, blue = 0, alpha = 1;
        bool operator==(const RGBA&) const = default;
    };

    Color() = default;  // clear
    static Color srgb(double red, double green, double blue, double alpha = 1);
    // From 0xRRGGBB.
    static Color hex(uint32_t rgb, double alpha = 1);
    static Color role(Role role);
    // A dynamic colour: `light` in the light appearance, `dark` in the dark one.
    static Color pair(RGBA light, RGBA dark);

    static Color text() { return role(Role::Text); }
    static Color label() { return role(Role::Label); }
    static Color secondaryLabel() { return role(Role::SecondaryLabel); }
    static Color tertiaryLabel() { return role(Role::TertiaryLabel); }
    static Color separator() { return role(Role::Separator); }
    static Color link() { return role(Role::Link); }
    static Color controlAccent() { return role(Role::ControlAccent); }
    static Color clear() { return role(Role::Clear); }
    static Color white() { return role(Role::White); }
    static Color black() { return role(Role::Black); }

    // The same colour with its alpha replaced by `alpha`.
    Color withAlpha(double alpha) const;

    Role roleKind() const { return role_; }
    bool isDynamic() const;
    // The value drawn in an appearance.
    RGBA resolved(Appearance appearance = Appearance::Light) const;
    // The Qt colour of resolved(appearance); made by the platform GUI library.
    QColor toQColor(Appearance appearance = Appearance::Light) const;
    // sRGB components for a fixed colour, or nothing for a role or a pair (which have no single value).
    bool fixedComponents(RGBA& out) const;

    bool operator==(const Color& other) const = default;

private:
    Role role_ = Role::Clear;
    bool isPair_ = false;
    bool hasAlpha_ = false;  // a role with its alpha replaced
    RGBA light_{};
    RGBA dark_{};
    double alpha_ = 1;
};

} // namespace velkin
