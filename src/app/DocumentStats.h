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

    // The View menu's line: the "wordCountFormat" text filled with both counts,
    // each written with the digit grouping of `locale` ("" for the user's locale).
    U16String menuTitle(const char* locale = "") const;

    bool operator==(const DocumentStats&) const = default;
};

} // namespace velkin
