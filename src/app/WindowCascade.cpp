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
    // Bounded: each window can push the new one on by one step at most.
    for (size_t tries = 0; tries <= taken.size() && isTaken(at); ++tries) {
        at += QPoint(step, step);
        const bool outside = !available.isEmpty()
            && (at.x() + std::min(size.width(), available.width()) > available.right() + 1
                || at.y() + std::min(size.height(), available.height()) > available.bottom() + 1);
        if (outside)
            at = available.topLeft() + QPoint(step * int(tries % 4), 0);
    }
    return at;
}

} // namespace velkin::WindowCascade
