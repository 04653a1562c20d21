#pragma once
// Crossing the Qt boundary: QString holds UTF-16 code units as our text does,
// so positions stay the same on both sides.
#include "platform/text/Range.h"

#include <QString>

namespace velkin {

inline QString toQString(U16View text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

inline U16String fromQString(const QString& text)
{
    return U16String(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
}

} // namespace velkin
