#pragma once
// Character classes and trimming, with the meanings the Markdown features rely on.
#include "platform/text/Range.h"

namespace velkin {

namespace CharacterClass {

// Space and tab only.
constexpr bool isAsciiBlank(char32_t c) { return c == u' ' || c == u'\t'; }
// Line and paragraph terminators: LF, VT, FF, CR, NEL, LS, PS.
constexpr bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}
// Horizontal white space: tab and the Unicode space separators (category Zs).
bool isWhitespace(char32_t c);
// Horizontal white space and newlines.
bool isWhitespaceOrNewline(char32_t c);
// Letters and marks (general categories L* and M*).
bool isLetter(char32_t c);
// Decimal digits (category Nd).
bool isDecimalDigit(char32_t c);
// Letters, marks and numbers (L*, M*, N*).
bool isAlphanumeric(char32_t c);
// Punctuation (P*).
bool isPunctuation(char32_t c);
// Symbols (S*).
bool isSymbol(char32_t c);
// The Unicode Alphabetic property (letters, letter numbers, some marks).
bool isAlphabetic(char32_t c);
// Characters with a Unicode numeric type (decimal digits, other digits, numerals, fractions).
bool hasNumericType(char32_t c);

constexpr bool isAsciiDigit(char32_t c) { return c >= u'0' && c <= u'9'; }
constexpr bool isAsciiLetter(char32_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
constexpr bool isAsciiAlphanumeric(char32_t c) { return isAsciiDigit(c) || isAsciiLetter(c); }
constexpr bool isAsciiHexDigit(char32_t c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
// The value of an ASCII hex digit (0 to 15), or -1 for any other character.
constexpr int asciiHexValue(char32_t c)
{
    return isAsciiDigit(c) ? int(c - u'0')
           : (c >= u'a' && c <= u'f') ? int(c - u'a') + 10
           : (c >= u'A' && c <= u'F') ? int(c - u'A') + 10
                                       : -1;
}
constexpr char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
constexpr char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

} // namespace CharacterClass

// The sets a text is trimmed of.
enum class TrimSet {
    AsciiBlanks,            // space and tab
    Whitespace,             // tab and Unicode space separators, never line breaks
    WhitespaceAndNewlines,  // all white space
};

bool isInTrimSet(char32_t c, TrimSet set);
// The text without the set's characters at both ends (a view into the same storage).
U16View trimmed(U16View text, TrimSet set = TrimSet::WhitespaceAndNewlines);
// The range inside `text` that trimmed() would return.
Range trimmedRange(U16View text, TrimSet set = TrimSet::WhitespaceAndNewlines);
U16View trimmedLeading(U16View text, TrimSet set = TrimSet::WhitespaceAndNewlines);
U16View trimmedTrailing(U16View text, TrimSet set = TrimSet::WhitespaceAndNewlines);
bool isBlank(U16View text, TrimSet set = TrimSet::WhitespaceAndNewlines);

} // namespace velkin
