#pragma once
// Small shared helpers of the hand-written tokenizers: appending tokens with a
// base offset, bounds-checked unit access and the ASCII classes they test.
#include "highlight/CodeToken.h"
#include "platform/text/CharacterClass.h"

namespace velkin::CodeHighlighter {

// Appends tokens to a list, shifting them by the offset of the stretch being
// scanned (a line, or a body handed to another tokenizer). Empty tokens are
// never appended.
class TokenAppender {
public:
    explicit TokenAppender(CodeTokens& out, int base = 0) : out_(out), base_(base) {}
    void add(int location, int length, CodeTokenKind kind)
    {
        if (length > 0)
            out_.push_back({{base_ + location, length}, kind});
    }
    void addFromTo(int start, int stop, CodeTokenKind kind) { add(start, stop - start, kind); }
    void setBase(int base) { base_ = base; }

private:
    CodeTokens& out_;
    int base_;
};

// The unit at i, or 0 outside the text: lets a look-ahead stay inside the text.
inline char16_t unitAt(U16View text, int i)
{
    return i >= 0 && size_t(i) < text.size() ? text[size_t(i)] : char16_t(0);
}

inline bool isDigit(char16_t c) { return CharacterClass::isAsciiDigit(c); }
inline bool isLetter(char16_t c) { return CharacterClass::isAsciiLetter(c); }
inline bool isLetterOrDigit(char16_t c) { return CharacterClass::isAsciiAlphanumeric(c); }
// TAB, LF, CR and SPACE.
inline bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// True when `delimiter` is non-empty and stands in full at position p.
inline bool matchesAt(U16View text, U16View delimiter, int p)
{
    return !delimiter.empty() && p >= 0 && size_t(p) + delimiter.size() <= text.size()
        && text.compare(size_t(p), delimiter.size(), delimiter) == 0;
}

// Whether every code point of `word` has a numeric type (digits, fractions,
// roman numerals...) or is one of `extra`, and at least one is numeric.
bool isNumericWord(U16View word, U16View extra = {});

// End of a quoted string that opens at `start` with `quote`: after the closing
// quote, or at the line's end or the text's end when it is not closed; a
// backslash escapes the unit after it.
int quotedStringEnd(U16View code, int start, char16_t quote);

} // namespace velkin::CodeHighlighter
