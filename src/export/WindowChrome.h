#pragma once
// A page bitmap inside a drawn document window: shadow, title bar with the
// window buttons, the title and the formatting toolbar.
#include <QImage>

#include <optional>
#include <string>

namespace velkin::WindowChrome {

// A new bitmap 80 points wider and 132 points taller than the page, at the
// page's pixel scale (its device pixel ratio); nothing when it cannot draw.
std::optional<QImage> frame(const QImage& page, const std::string& title);

} // namespace velkin::WindowChrome
