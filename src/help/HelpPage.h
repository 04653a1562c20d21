#pragma once
// A help page: its Markdown, title, plain text and section headings.
//
// Plain text keeps one line per Markdown line so that search, snippets and
// heading offsets can work on it. These are line rules, not a Markdown parser.
#include "platform/text/Range.h"

#include <optional>
#include <vector>

namespace velkin {

// A level 2 to 6 heading of a page.
struct HelpHeading {
    int level = 2;
    U16String title;         // plain text, never empty
    U16String anchor;        // HelpPage::slug(title)
    U16String markdownLine;  // the heading's line, trimmed
    int plainTextOffset = 0; // where its line starts in the page's plain text, in characters (grapheme clusters)

    bool operator==(const HelpHeading&) const = default;
};

struct HelpPage {
    U16String id;        // the file name less its extension
    U16String markdown;  // the file's whole text
    U16String title;
    U16String plainText; // plainLines(markdown) joined with "\n"
    std::vector<HelpHeading> headings;

    bool operator==(const HelpPage&) const = default;

    // Builds a page from its id and text, deriving title, plain text and headings.
    static HelpPage make(U16String id, U16String markdown);

    // The text split at "\n"; a carriage return before the line feed is dropped, so
    // pages saved with CRLF line ends read like the others.
    static std::vector<U16View> lines(U16View markdown);
    // A line whose trimmed text begins with ``` or ~~~ (either kind closes either kind).
    static bool isFenceLine(U16View line);

    // One Markdown line as plain text: links and images become their text, quote and
    // heading leaders, one list bullet and emphasis characters go, bars become spaces.
    static U16String plainLine(U16View line);
    // Exactly one plain line per Markdown line; fence lines give "", fenced lines are only trimmed.
    static std::vector<U16String> plainLines(U16View markdown);
    // The level 2 to 6 headings outside fenced code, in page order.
    static std::vector<HelpHeading> headingsIn(U16View markdown);
    // The anchor of a heading title: lower-cased, letters and numbers kept, spaces,
    // hyphens and underscores as "-", everything else dropped, no "-" at either end.
    static U16String slug(U16View text);
    // The text of the first "# " line, or nothing.
    static std::optional<U16String> titleIn(U16View markdown);
    // A title made from a page id: "getting-started" gives "Getting Started".
    static U16String titleFromID(U16View id);

    // The first heading whose anchor equals slug(anchor), or null.
    const HelpHeading* heading(U16View anchor) const;
};

} // namespace velkin
