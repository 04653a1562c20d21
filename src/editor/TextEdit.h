#pragma once
// The result of every editing command: what to replace, with what, and where the selection goes.
#include "platform/text/Range.h"

namespace velkin {

struct TextEdit {
    Range range;            // the range of the given text to replace, in UTF-16 units
    U16String replacement;  // the text that takes its place
    Range selection;        // the selection afterwards, in UTF-16 units of the new text

    bool operator==(const TextEdit&) const = default;
};

} // namespace velkin
