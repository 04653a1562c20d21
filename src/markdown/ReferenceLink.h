#pragma once
// Reference links: "[text][label]" with a definition line "[label]: destination".
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <optional>
#include <unordered_map>
#include <vector>

namespace velkin {

namespace ReferenceLink {

struct Definition {
    U16String label;  // as written
    U16String url;    // angle brackets removed; never empty
    Range marker;     // "[" through the ":" of "]:"
    Range labelRange;
    Range urlRange;   // as written, angle brackets included
    std::optional<Range> titleRange;
    bool operator==(const Definition&) const = default;
};

// Normalised label to destination; the first definition of a label wins.
using Table = std::unordered_map<U16String, U16String>;

// "^[ ]{0,3}(\[)([^\^\]\n][^\]\n]*?)(\]:)[ \t]*(<[^>\n]*>|\S+)(?:[ \t]+("[^"\n]*"|'[^'\n]*'|\([^)\n]*\)))?[ \t]*$"
const Regex& definitionRegex();

std::optional<Definition> parseDefinition(U16View line);
// The definitions of a whole text outside fenced code.
Table definitions(U16View text);
// The bracketed texts of `text` ("[" through "]") whose normalised label is
// one of `labels` (normalised; as a definition's, free of "]" and line breaks):
// every place that may refer to them.
std::vector<Range> mentions(U16View text, const std::vector<U16String>& labels);

} // namespace ReferenceLink

} // namespace velkin
