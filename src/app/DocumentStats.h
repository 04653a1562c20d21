#pragma once
// The word and character counts of a document, shown in the View menu.
#include "platform/text/Range.h"

namespace velkin {

struct DocumentStats {
    int words = 0;       // maximal runs of characters that are not white space
    int characters = 0;  // user-perceived characters (grapheme clusters), line breaks included

    DocumentStats() = default;
    DocumentStats(int w, int c) : words(w), characters(c) {}
    explicit DocumentStats(U16View text);

    bool operator==(const DocumentStats&) const = default;
};

} // namespace velkin
