#include "platform/richtext/PixelLengths.h"

#include <algorithm>

// The screen's resolution Qt's layout scales pixel lengths against.
Q_GUI_EXPORT int qt_defaultDpiY();

namespace velkin::PixelLengths {

double scale(const QPaintDevice* device)
{
    return device ? double(device->logicalDpiY()) / std::max(1, qt_defaultDpiY()) : 1;
}

} // namespace velkin::PixelLengths
