#pragma once
// Code highlighting of fenced blocks: a fence's language word picks either the
// rule-driven scanner with that language's rule set, or a tokenizer of its own.
#include "highlight/CodeToken.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace velkin::CodeHighlighter {

// One kind of string literal.
struct StringRule {
    U16View open;
    U16View close;
    bool multiline = false;  // may run over line feeds
    bool escape = false;     // a backslash takes the next unit with it
    bool charLiteral = false;  // exactly one unit, or a backslash and one unit
};

struct CommentPair {
    U16View open;
    U16View close;
};

// A keyword set looked up without allocating: an open-addressing table of views
// into the keyword text, which must outlive the set (the table's texts are literals).
class KeywordSet {
public:
    KeywordSet() = default;
    explicit KeywordSet(const std::vector<U16View>& words);

    bool contains(U16View word) const;
    int size() const { return static_cast<int>(words_.size()); }
    // The longest word, so callers can skip longer identifiers early.
    int maxLength() const { return maxLength_; }
    const std::vector<U16View>& words() const { return words_; }

private:
    std::vector<U16View> words_;
    std::vector<int32_t> slots_;  // index into words_, -1 for an empty slot
    uint32_t mask_ = 0;
    int maxLength_ = 0;
};

// The rule set of one language for the rule-driven scanner.
struct LanguageRules {
    KeywordSet keywords;  // upper case when caseInsensitiveKeywords
    std::vector<U16View> lineComment;  // prefixes, tried in order
    std::optional<CommentPair> blockComment;
    std::vector<StringRule> strings;  // tried in order
    bool capitalizedIsType = false;
    bool caseInsensitiveKeywords = false;
    std::optional<char16_t> attributeSigil;
    bool hyphenInIdentifiers = false;
};

// The tokens of `code` in `language` (any alias, any letter case), or nothing
// when the language is unknown. A known language with no tokens gives an empty list;
// so does "markdown", which MarkdownCodeTokens tokenises above this layer.
std::optional<CodeTokens> tokens(U16View code, U16View language);

// Where the tokens of a block in `language` start afresh: the tokens of the text
// after such a line start are those of that text alone, and those before it the
// same whatever follows.
enum class Resumption {
    // After a line feed that no token covers and no backslash comes before: the
    // rule-driven languages and unknown words (no tokens at all).
    afterUncoveredFeeds,
    // At every line start: the tokens of a line are its own.
    everyLine,
    // At a line start the tokenizer reaches between tokens, read on with the state
    // it carries there (see tokensFrom).
    carriedState,
    // At the block's start alone.
    blockStart,
};
Resumption resumption(U16View language);

// The state a tokenizer carries to a line start it reaches between tokens: 0
// there is the state at the text's start.
using LineState = uint64_t;
// Told a line start and the state there; false ends the reading.
using LineVisitor = std::function<bool(int, LineState)>;
// The tokens of `code` in a carriedState language, read from a line start with
// `state`; `onLine` is told each later line start reached between tokens and
// may end the reading there (the tokens before it are those of the whole text).
// Nothing for the other languages.
std::optional<CodeTokens> tokensFrom(U16View code, U16View language, LineState state, const LineVisitor& onLine);

// The language word lower-cased and, when it is a known alias, replaced by its
// canonical name; any other word comes back lower-cased.
U16String canonicalName(U16View language);

// The shared rule set of a rule-driven language (any alias, any letter case),
// or null for the special languages and unknown words. Built once, never changed.
const LanguageRules* rules(U16View language);

// The rule-driven scanner: ascending, non-overlapping tokens.
CodeTokens tokens(U16View code, const LanguageRules& rules);

// The words of a keyword text, split at spaces and line feeds, duplicates collapsed
// (first occurrence order kept).
std::vector<U16View> words(U16View text);

// True when `delimiter` is non-empty and occurs in `text` at `position`.
bool matches(U16View text, U16View delimiter, int position);

// Inventory of the languages the highlighter knows.
struct AliasRow {
    U16View canonical;
    std::vector<U16View> aliases;  // in comparison order
};
// The alias table, row by row.
const std::vector<AliasRow>& aliasTable();
// The rule-driven languages, in declaration order.
const std::vector<U16View>& ruleLanguageNames();
// The languages with tokenizers of their own.
const std::vector<U16View>& specialLanguageNames();

} // namespace velkin::CodeHighlighter
