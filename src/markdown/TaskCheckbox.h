#pragma once
// Task items: a list item whose text begins with a box, "[ ]" or "[x]".
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <optional>

namespace velkin {

namespace TaskList {

struct Item {
    Range hiddenLeader;  // the bullet and its blanks; empty at the number of an ordered item
    Range box;           // the three characters of the box
    bool checked = false;
    bool operator==(const Item&) const = default;
};

// "^([ \t]*)([-*+]|\d{1,9}[.)])([ \t]+)(\[[ xX]\])(?=\s|$)".
const Regex& markerRegex();

// The task parts of one line (ranges relative to it), or nothing.
std::optional<Item> parse(U16View line);

} // namespace TaskList

} // namespace velkin
