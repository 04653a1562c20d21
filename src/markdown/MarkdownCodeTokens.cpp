// Markdown inside a fenced block: the block scanner runs on the block's text as
// if it were a document of its own, and four kinds of span become code tokens.
#include "markdown/MarkdownCodeTokens.h"

#include "highlight/CodeHighlighter.h"
#include "markdown/MarkdownSyntax.h"

namespace velkin::MarkdownCodeTokens {

namespace {

// Each nested "markdown" fence scans its own inner text again; past this depth
// a block stays plain instead of growing the stack without bound.
constexpr int MaxNesting = 32;
thread_local int nesting = 0;

struct NestingGuard {
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

} // namespace

CodeTokens tokens(U16View code)
{
    CodeTokens out;
    if (nesting >= MaxNesting)
        return out;
    NestingGuard guard;
    using Kind = MarkdownToken::Kind;
    for (const MarkdownSpan& span : MarkdownSyntax::spans(code)) {
        switch (span.token.kind()) {
        case Kind::heading:
            out.push_back({span.range, CodeTokenKind::type});
            break;
        case Kind::code:
        case Kind::codeBlock:
            out.push_back({span.range, CodeTokenKind::string});
            break;
        case Kind::marker:
            out.push_back({span.range, CodeTokenKind::comment});
            break;
        default:
            break;
        }
    }
    return out;
}

std::optional<CodeTokens> fenced(U16View code, U16View language)
{
    if (CodeHighlighter::canonicalName(language) == u"markdown")
        return tokens(code);
    return CodeHighlighter::tokens(code, language);
}

} // namespace velkin::MarkdownCodeTokens
