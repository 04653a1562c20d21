// What a font measures, and the Qt font and colour that draw a Font and a
// Color: the parts of those values that need the window system, kept in the
// GUI library so that the values themselves stay free of drawing.
#include "platform/attributed/Color.h"
#include "platform/attributed/Font.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace velkin {

namespace {

// Qt sizes fonts in points for a 96-dpi device; one of our points is one pixel.
constexpr double kQtPointsPerPoint = 72.0 / 96.0;

// Metrics scale linearly with the size, so they are measured once per role and
// traits at a reference size and scaled; Qt would otherwise round them per size.
constexpr double kReferenceSize = 100;

struct Metrics {
    double ascent, descent, capHeight, xHeight, leading;
};

const Metrics& metricsFor(const Font& font)
{
    static std::mutex lock;
    static std::map<int, Metrics> cache;
    const int key = int(font.family) * 4 + (font.bold ? 2 : 0) + (font.italic ? 1 : 0);
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    Metrics m{0.93, 0.24, 0.73, 0.55, 0};
    if (QGuiApplication::instance()) {
        QFontMetricsF fm(font.withSize(kReferenceSize).toQFont());
        m = {fm.ascent() / kReferenceSize, fm.descent() / kReferenceSize, fm.capHeight() / kReferenceSize,
             fm.xHeight() / kReferenceSize, fm.leading() / kReferenceSize};
    }
    return cache.emplace(key, m).first->second;
}

} // namespace

double Font::ascender() const { return metricsFor(*this).ascent * pointSize; }
double Font::descender() const { return -metricsFor(*this).descent * pointSize; }
double Font::capHeight() const { return metricsFor(*this).capHeight * pointSize; }
double Font::xHeight() const { return metricsFor(*this).xHeight * pointSize; }
double Font::lineHeight() const
{
    const Metrics& m = metricsFor(*this);
    return (m.ascent + m.descent + std::max(0.0, m.leading)) * pointSize;
}

QFont Font::toQFont(bool emojiFirst) const
{
    QFont f;
    // Colour emoji come from the emoji font wherever the text font has no glyph.
    if (emojiFirst)
        f.setFamilies({QStringLiteral("Noto Color Emoji"), QString::fromStdString(familyName()),
                       QStringLiteral("Droid Sans Fallback")});
    else
        f.setFamilies({QString::fromStdString(familyName()), QStringLiteral("Noto Color Emoji"),
                       QStringLiteral("Droid Sans Fallback")});
    f.setPointSizeF(std::max(pointSize, 0.01) * kQtPointsPerPoint);
    f.setBold(bold);
    f.setItalic(italic);
    f.setFixedPitch(isFixedPitch());
    f.setStyleHint(family == FontFamilyRole::Monospace ? QFont::Monospace
                   : family == FontFamilyRole::Serif   ? QFont::Serif
                                                       : QFont::SansSerif);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QColor Color::toQColor(Appearance appearance) const
{
    const RGBA v = resolved(appearance);
    return QColor::fromRgbF(float(std::clamp(v.red, 0.0, 1.0)), float(std::clamp(v.green, 0.0, 1.0)),
                            float(std::clamp(v.blue, 0.0, 1.0)), float(std::clamp(v.alpha, 0.0, 1.0)));
}

} // namespace velkin
