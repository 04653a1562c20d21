#pragma once
// Full-text search over the help book, ranked by a small fixed scoring scheme.
//
// Every term of a query must hit a page. Per term a title hit weighs most (180 when
// a title word begins with it, else 120), then up to three headings (40 each), then
// up to ten body occurrences (3 each); a title equal to the whole query adds 500,
// the contents page counts a quarter, and weak hits are cut off relative to the best.
// Matching ignores letter case and diacritics, with no locale.
#include "help/HelpBook.h"

#include <optional>
#include <vector>

namespace velkin {

struct HelpSearchResult {
    U16String pageID;
    U16String title;
    U16String snippet;                // one line of plain text around the first match
    std::optional<U16String> anchor;  // the heading to scroll to
    int score = 0;

    bool operator==(const HelpSearchResult&) const = default;
};

namespace HelpSearch {

// The results for a query, best first; equal scores keep the book's reading order.
std::vector<HelpSearchResult> results(U16View query, const HelpBook& book);
// The query's terms: split at white space outside double quotes; a quoted run is one
// term; terms without a letter, digit or mark are dropped.
std::vector<U16String> terms(U16View query);
// One page scored; nothing when some term misses it.
std::optional<HelpSearchResult> result(const std::vector<U16String>& terms, U16View query, const HelpPage& page);
// The first heading whose title holds a term, else the heading of the section where
// the earliest match lies; nothing when neither exists.
std::optional<HelpHeading> bestHeading(const std::vector<U16String>& terms, const HelpPage& page);
// The line of the earliest match, cut to about `width` characters at spaces, with
// "…" where it was cut; the first non-blank line after the title when nothing matches.
U16String snippet(const std::vector<U16String>& terms, const HelpPage& page, int width);

} // namespace HelpSearch

} // namespace velkin
