#pragma once
// Span lists written out as (kind, covered text) pairs, for readable expectations.
#include "markdown/MarkdownSyntax.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace velkin::testing {

using K = MarkdownToken::Kind;
using Seen = std::vector<std::pair<K, std::string>>;

inline Seen seen(U16View text, const MarkdownSpans& spans)
{
    Seen out;
    for (const auto& s : spans)
        out.emplace_back(s.token.kind(), u8(substring(text, s.range)));
    return out;
}

inline Seen seen(U16View text)
{
    return seen(text, MarkdownSyntax::spans(text));
}

inline Seen only(const Seen& all, K kind)
{
    Seen out;
    for (const auto& s : all)
        if (s.first == kind)
            out.push_back(s);
    return out;
}

inline int count(const MarkdownSpans& spans, K kind)
{
    int n = 0;
    for (const auto& s : spans)
        n += s.token.is(kind);
    return n;
}

} // namespace velkin::testing

namespace velkin {
inline void PrintTo(MarkdownToken::Kind k, std::ostream* os)
{
    *os << "kind#" << int(k);
}
} // namespace velkin
