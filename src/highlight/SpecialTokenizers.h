#pragma once
// The languages with tokenizers of their own (markup, style sheets, data and
// configuration formats, shells, diffs, logs...). The entry in CodeHighlighter
// dispatches on the canonical language name.
#include "highlight/CodeToken.h"

#include <optional>

namespace velkin::CodeHighlighter {

// The list of the special tokenizer for a canonical name, or nothing when the
// name has no tokenizer of its own (the rule-driven scanner then decides).
std::optional<CodeTokens> specialTokens(U16View code, U16View canonicalName);

} // namespace velkin::CodeHighlighter
