#pragma once
// Code tokens of a fenced block. Markdown owns its own language: a "markdown"
// block (any alias) is scanned by the block scanner; every other language goes
// to the code highlighter.
#include "highlight/CodeToken.h"

#include <optional>

namespace velkin::MarkdownCodeTokens {

// The tokens of a block in `language`, or nothing when the language is unknown.
std::optional<CodeTokens> fenced(U16View code, U16View language);

// Tokens of a block whose language is Markdown itself: headings, code and markers.
CodeTokens tokens(U16View code);

} // namespace velkin::MarkdownCodeTokens
