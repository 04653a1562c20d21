// The editor follows the desktop's light or dark preference while it runs:
// open views repaint in the new appearance without being rebuilt.
#include "app/DesktopAppearance.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "platform/text/Utf.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace velkin {
namespace {

using DesktopAppearance::Scheme;

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// The lightness of the view's paper and the darkest and lightest pixels of its first line.
struct Shot {
    double paper;
    double darkest;
    double lightest;
};

Shot shoot(MarkdownTextView& view)
{
    const QImage image = view.viewport()->grab().toImage();
    Shot shot{image.pixelColor(image.width() - 5, image.height() - 5).lightnessF(), 1, 0};
    for (int y = 0; y < 30 && y < image.height(); ++y)
        for (int x = 0; x < 200 && x < image.width(); ++x) {
            const double l = image.pixelColor(x, y).lightnessF();
            shot.darkest = std::min(shot.darkest, l);
            shot.lightest = std::max(shot.lightest, l);
        }
    return shot;
}

struct RestoreLight {
    ~RestoreLight() { DesktopAppearance::apply(Scheme::NoPreference); }
};

TEST(DesktopAppearance, AnOpenEditorRepaintsInTheSchemeTheDesktopSwitchesTo)
{
    RestoreLight restore;
    auto document = std::make_shared<U16String>(u"# Heading\n\nSome body text.\n");
    MarkdownEditorView host(MarkdownEditor{{[document] { return *document; }, [document](const U16String& t) { *document = t; }},
                                           1.0, MarkdownFontFamily::sansSerif});
    host.resize(500, 300);
    host.show();
    settle();
    MarkdownTextView& view = *host.textView();
    TextView* const sameView = &view;

    const Shot light = shoot(view);
    EXPECT_GT(light.paper, 0.8);
    EXPECT_LT(light.darkest, 0.3) << "dark text on light paper";

    DesktopAppearance::apply(Scheme::Dark);
    settle();
    const Shot dark = shoot(view);
    EXPECT_LT(dark.paper, 0.3);
    EXPECT_GT(dark.lightest, 0.7) << "light text on dark paper";
    EXPECT_EQ(host.textView(), sameView) << "the view is repainted, not rebuilt";
    EXPECT_EQ(*document, u"# Heading\n\nSome body text.\n");

    DesktopAppearance::apply(Scheme::Light);
    settle();
    EXPECT_GT(shoot(view).paper, 0.8);
}

TEST(DesktopAppearance, NoPreferenceKeepsTheDesktopsOwnPalette)
{
    RestoreLight restore;
    const QPalette desktop = DesktopAppearance::palette(Scheme::NoPreference);
    DesktopAppearance::apply(Scheme::Dark);
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightnessF(), 0.5);
    EXPECT_LT(QApplication::palette().color(QPalette::Base).lightnessF(), 0.5);
    EXPECT_GT(QApplication::palette().color(QPalette::Text).lightnessF(), 0.5);
    DesktopAppearance::apply(Scheme::NoPreference);
    EXPECT_EQ(QApplication::palette(), desktop);
}

} // namespace
} // namespace velkin
