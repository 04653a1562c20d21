#include "highlight/SpecialTokenizers.h"

namespace velkin::CodeHighlighter {

std::optional<CodeTokens> specialTokens(U16View, U16View)
{
    // No language has a tokenizer of its own in this build.
    return std::nullopt;
}

} // namespace velkin::CodeHighlighter
