#pragma once
// Qt's layout of rich text takes a picture's size, a margin, a padding or an
// indent as a length in screen pixels, and scales it by the device's
// resolution over the screen's: on a device of one point a unit, a length
// meant in points is given as this many pixels.
#include <QPaintDevice>

namespace velkin::PixelLengths {

// How many device units Qt lays out for one pixel length on `device`; 1 without a device.
double scale(const QPaintDevice* device);

// The pixel length Qt lays out as `units` device units on `device`.
inline double forUnits(double units, const QPaintDevice* device)
{
    return units / scale(device);
}

} // namespace velkin::PixelLengths
