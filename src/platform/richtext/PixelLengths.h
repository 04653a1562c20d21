#pragma once
// Qt's layout of rich text takes a picture's size, a margin, a padding or an
// indent as a length in screen pixels, and lays it out scaled by the device's
// resolution over the screen's (three quarters on a PDF page of one point a
// unit, beside a screen of 96 dots an inch).
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
