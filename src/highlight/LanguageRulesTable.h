#pragma once
// Lookups shared by the highlighter's entry, rule table and name table.
#include "highlight/CodeHighlighter.h"

namespace velkin::CodeHighlighter {

// The rule set of a canonical name (already lower-cased and resolved), or null.
const LanguageRules* rulesForCanonicalName(U16View canonical);
// True for the canonical names that have tokenizers of their own.
bool isSpecialName(U16View canonical);

} // namespace velkin::CodeHighlighter
