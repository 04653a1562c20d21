#pragma once
// Readable forms of token lists for the tokenizer tests: "kind[text] kind[text]".
#include "highlight/CodeToken.h"
#include "platform/text/Utf.h"

#include <string>

namespace velkin::testing {

inline std::string describe(U16View code, const CodeTokens& tokens)
{
    std::string out;
    for (const CodeToken& t : tokens) {
        if (!out.empty())
            out += ' ';
        out += codeTokenKindName(t.kind);
        out += '[';
        out += u8(substring(code, t.range));
        out += ']';
    }
    return out;
}

// True when every token is non-empty and lies inside a text of `length` units.
inline bool allInside(const CodeTokens& tokens, size_t length)
{
    for (const CodeToken& t : tokens)
        if (t.range.location < 0 || t.range.length <= 0 || size_t(t.range.end()) > length)
            return false;
    return true;
}

// True when the tokens ascend and never overlap.
inline bool ascending(const CodeTokens& tokens)
{
    for (size_t i = 1; i < tokens.size(); ++i)
        if (tokens[i].range.location < tokens[i - 1].range.end())
            return false;
    return true;
}

} // namespace velkin::testing
