#include "app/WindowCascade.h"

#include <algorithm>

namespace velkin::WindowCascade {

QPoint position(QPoint wanted, QSize size, const std::vector<QPoint>& taken, QRect available)
{
    auto isTaken = [&](QPoint at) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](QPoint other) { return (other - at).manhattanLength() < step / 2; });
    };
    QPoint at = wanted;
    // Bounded: each window can push the new one on by one step at most. A step that
    // would carry the window past the right edge starts again at the left; one past
    // the bottom keeps its height on screen, so a window as tall as the screen
    // cascades sideways only.
    for (size_t tries = 0; tries <= taken.size() && isTaken(at); ++tries) {
        QPoint next = at + QPoint(step, step);
        if (!available.isEmpty()) {
            if (next.x() + size.width() > available.right() + 1)
                next.setX(available.left());
            if (next.y() + size.height() > available.bottom() + 1)
                next.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - size.height())));
        }
        at = next;
    }
    return at;
}

} // namespace velkin::WindowCascade
