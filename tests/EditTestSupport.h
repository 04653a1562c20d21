#pragma once
// Readable failure output for edits, and a helper that applies one to a text.
#include "editor/TextEdit.h"
#include "platform/text/Utf.h"
#include "selftest/CheckUtilities.h"

#include <ostream>

namespace velkin {

inline void PrintTo(const Range& r, std::ostream* os) { *os << "(" << r.location << ", " << r.length << ")"; }

inline void PrintTo(const TextEdit& e, std::ostream* os)
{
    *os << "TextEdit{";
    PrintTo(e.range, os);
    *os << " -> \"" << u8(e.replacement) << "\", selection ";
    PrintTo(e.selection, os);
    *os << "}";
}

} // namespace velkin
