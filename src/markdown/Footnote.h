#pragma once
// Footnote references ("[^1]") and definitions ("[^1]: note") of a whole text.
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <unordered_set>
#include <vector>

namespace velkin {

namespace Footnote {

struct Reference {
    U16String label;  // as written between "[^" and "]"
    Range range;      // "[" through "]"
    bool operator==(const Reference&) const = default;
};

struct Definition {
    U16String label;   // as written between "[^" and "]:"
    Range marker;      // "[^1]:"
    Range labelRange;  // the label text alone
    Range line;        // the definition's line with its terminator
    Range block;       // the line through the terminator of its last continuation line
    bool operator==(const Definition&) const = default;
};

// One definition line taken apart; ranges relative to the line.
struct ParsedDefinition {
    U16String label;
    Range marker;
    Range labelRange;
    Range text;
    bool operator==(const ParsedDefinition&) const = default;
};

// The normalised labels of a text's notes. It keeps the length of the longest,
// so that a long label as written is found to be none of them without
// lower-casing it (lower-casing never shortens a text).
class Labels {
public:
    Labels() = default;
    Labels(std::initializer_list<U16String> normalized)
    {
        for (const U16String& label : normalized)
            insert(label);
    }
    void insert(U16String normalized)
    {
        longest_ = std::max(longest_, normalized.size());
        set_.insert(std::move(normalized));
    }
    bool empty() const { return set_.empty(); }
    size_t count(const U16String& normalized) const { return set_.count(normalized); }
    // Whether `label`, as written, is one of them once normalised.
    bool names(U16View label) const;
    bool operator==(const Labels& other) const { return set_ == other.set_; }

private:
    std::unordered_set<U16String> set_;
    size_t longest_ = 0;
};

// "(\[\^)([^\]\n]+?)(\])".
const Regex& referenceRegex();
// "^[ ]{0,3}(\[\^)([^\]\n]+?)(\]:)[ \t]*(.*)$".
const Regex& definitionRegex();

// A label trimmed of white space (not line breaks) at both ends, then lower-cased.
U16String normalizedLabel(U16View label);

std::optional<ParsedDefinition> parseDefinition(U16View line);
// Whether a line outside fenced code goes on the note above it: a blank line, a
// definition of a note or of a link, a heading, a rule, a quote or a list item ends it.
bool continuesNote(U16View line);
std::vector<Definition> definitions(U16View text);
// The normalised labels of definitions().
Labels definedLabels(U16View text);
// The references whose label is defined, in text order; code spans and a definition's own label excluded.
std::vector<Reference> references(U16View text);
// The first definition / reference whose normalised label equals that of `label`.
std::optional<Definition> definition(U16View text, U16View label);
std::optional<Reference> firstReference(U16View text, U16View label);

} // namespace Footnote

} // namespace velkin
