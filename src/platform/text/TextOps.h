#pragma once
// Case mapping, grapheme clusters, searching and small string helpers over UTF-16.
#include "platform/text/Range.h"

#include <string>
#include <vector>

namespace velkin {

namespace TextOps {

// Full Unicode case mapping with no locale ("İ" lowers to "i̇", "ß" uppers to "SS").
U16String lowercased(U16View text);
U16String uppercased(U16View text);
// ASCII-only lower-casing, cheap enough for keyword look-ups.
U16String asciiLowercased(U16View text);
// Case- and diacritic-insensitive form for searching (NFD, marks removed, case folded).
U16String searchFolded(U16View text);

// Offsets of grapheme cluster boundaries, 0 and the length included.
std::vector<int> graphemeBoundaries(U16View text);
// Number of grapheme clusters (user-perceived characters).
int graphemeCount(U16View text);
// The boundary at or after i / at or before i.
int graphemeEnd(U16View text, int i);

bool hasPrefix(U16View text, U16View prefix);
bool hasSuffix(U16View text, U16View suffix);
bool hasPrefixIgnoringAsciiCase(U16View text, U16View prefix);
bool equalsIgnoringAsciiCase(U16View a, U16View b);
// Position of `needle` at or after `from`, or -1.
int find(U16View text, U16View needle, int from = 0);
int find(U16View text, char16_t c, int from = 0);
bool contains(U16View text, U16View needle);
// Whether the text holds the unit c; quicker than find on long texts.
bool containsUnit(U16View text, char16_t c);
// The first unit c at or after `from`, and the last one before `before`, or -1;
// quicker than find on long texts.
int findUnit(U16View text, char16_t c, int from = 0);
int findUnitBefore(U16View text, char16_t c, int before);
// Replaces every occurrence of `from` with `to`.
U16String replacingAll(U16View text, U16View from, U16View to);
// Every CRLF, lone CR and lone LF of the text written as `ending`.
U16String withLineEnds(U16View text, U16View ending);
// The pieces (strings or views) with the separator between each two.
template <class Piece>
U16String joined(const std::vector<Piece>& pieces, U16View separator)
{
    U16String out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i)
            out.append(separator);
        out.append(U16View(pieces[i]));
    }
    return out;
}
// How many units `a` and `b` share from their starts, and from their ends.
size_t commonPrefixLength(U16View a, U16View b);
size_t commonSuffixLength(U16View a, U16View b);
// Makes room for `length` characters in `text`. A string grows to twice its size
// when it runs out, which for a long document's text costs as much again as the
// text for one keystroke; this grows it by a small share of its length instead.
void reserveLength(U16String& text, size_t length);
// Splits on any run of the given whitespace; empty pieces are dropped.
std::vector<U16View> words(U16View text);

// Decimal rendering of integers and of doubles as the C locale writes them (%g-like shortest form).
U16String number(long long value);
std::string formatDouble(double value, int maxDecimals = 6);
// Strict C-locale parse of a whole text as a double (strtod grammar); nothing on any leftover.
bool parseDouble(U16View text, double& out);

} // namespace TextOps

} // namespace velkin
