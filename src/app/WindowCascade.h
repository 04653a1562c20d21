#pragma once
// Where a new window goes when another window already stands where it would open:
// a step down and to the right, as desktop applications cascade their windows.
#include <QPoint>
#include <QRect>

#include <vector>

namespace velkin::WindowCascade {

// The distance between two cascaded windows, each way.
constexpr int step = 26;

// The first position from `wanted` on, in steps, that no window in `taken` holds
// (within a few pixels). A step past the right edge of the `available` area starts
// again at its left edge; one past the bottom does not move the window down.
QPoint position(QPoint wanted, QSize size, const std::vector<QPoint>& taken, QRect available);

} // namespace velkin::WindowCascade
