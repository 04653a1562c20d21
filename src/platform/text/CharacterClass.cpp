#include "platform/text/CharacterClass.h"

#include "platform/text/Utf.h"

#include <unicode/uchar.h>

namespace velkin {

namespace CharacterClass {

bool isWhitespace(char32_t c)
{
    if (c < 0x80)
        return c == u' ' || c == u'\t';
    return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isWhitespaceOrNewline(char32_t c)
{
    return isWhitespace(c) || isNewline(c);
}

bool isLetter(char32_t c)
{
    if (c < 0x80)
        return isAsciiLetter(c);
    const int32_t mask = U_MASK(u_charType(static_cast<UChar32>(c)));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK)) != 0;
}

bool isDecimalDigit(char32_t c)
{
    if (c < 0x80)
        return isAsciiDigit(c);
    return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

bool isAlphanumeric(char32_t c)
{
    if (c < 0x80)
        return isAsciiAlphanumeric(c);
    const int32_t mask = U_MASK(u_charType(static_cast<UChar32>(c)));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool isPunctuation(char32_t c)
{
    return (U_MASK(u_charType(static_cast<UChar32>(c))) & U_GC_P_MASK) != 0;
}

bool isSymbol(char32_t c)
{
    return (U_MASK(u_charType(static_cast<UChar32>(c))) & U_GC_S_MASK) != 0;
}

bool isAlphabetic(char32_t c)
{
    if (c < 0x80)
        return isAsciiLetter(c);
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC);
}

bool hasNumericType(char32_t c)
{
    if (c < 0x80)
        return isAsciiDigit(c);
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

} // namespace CharacterClass

bool isInTrimSet(char32_t c, TrimSet set)
{
    switch (set) {
    case TrimSet::AsciiBlanks:
        return CharacterClass::isAsciiBlank(c);
    case TrimSet::Whitespace:
        return CharacterClass::isWhitespace(c);
    case TrimSet::WhitespaceAndNewlines:
        return CharacterClass::isWhitespaceOrNewline(c);
    }
    return false;
}

Range trimmedRange(U16View text, TrimSet set)
{
    int start = 0;
    int stop = static_cast<int>(text.size());
    // All members of the trim sets are in the BMP, so unit-wise tests are exact.
    while (start < stop && isInTrimSet(text[static_cast<size_t>(start)], set))
        ++start;
    while (stop > start && isInTrimSet(text[static_cast<size_t>(stop) - 1], set))
        --stop;
    return Range::fromTo(start, stop);
}

U16View trimmed(U16View text, TrimSet set)
{
    return substring(text, trimmedRange(text, set));
}

U16View trimmedLeading(U16View text, TrimSet set)
{
    size_t start = 0;
    while (start < text.size() && isInTrimSet(text[start], set))
        ++start;
    return text.substr(start);
}

U16View trimmedTrailing(U16View text, TrimSet set)
{
    size_t stop = text.size();
    while (stop > 0 && isInTrimSet(text[stop - 1], set))
        --stop;
    return text.substr(0, stop);
}

bool isBlank(U16View text, TrimSet set)
{
    for (char16_t c : text)
        if (!isInTrimSet(c, set))
            return false;
    return true;
}

} // namespace velkin
