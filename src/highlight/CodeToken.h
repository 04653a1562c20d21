#pragma once
// What every code tokenizer produces: coloured stretches of one code block.
#include "platform/text/Range.h"

#include <vector>

namespace velkin {

enum class CodeTokenKind { keyword, type, string, number, comment, inserted, deleted };

// The kind's name as the HTML writer appends it to "tok-".
const char* codeTokenKindName(CodeTokenKind kind);

struct CodeToken {
    Range range;  // relative to the start of the code text handed to the tokenizer
    CodeTokenKind kind;
    bool operator==(const CodeToken&) const = default;
};

using CodeTokens = std::vector<CodeToken>;

} // namespace velkin
