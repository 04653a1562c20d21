#pragma once
// Conversions between UTF-8 bytes and the UTF-16 text model, and code point access.
#include "platform/text/Range.h"

#include <optional>
#include <string>
#include <string_view>

namespace velkin {

inline constexpr bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline constexpr bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
inline constexpr bool isSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// UTF-8 to UTF-16; ill-formed sequences become U+FFFD (never fails).
U16String u16(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string u8(U16View text);
// Strict decoding: nothing when the bytes are not well-formed UTF-8.
std::optional<U16String> decodeUtf8Strict(std::string_view bytes);

// The code point at index i (a lone surrogate is returned as itself).
char32_t codePointAt(U16View text, int i);
// Number of UTF-16 units of the code point starting at i (1 or 2).
int codePointLength(U16View text, int i);
// Index of the start of the code point that ends just before i.
int previousCodePointStart(U16View text, int i);
void appendCodePoint(U16String& out, char32_t c);
// True when a boundary at i would cut a surrogate pair or a CRLF in two.
bool splitsCharacter(U16View text, int i);
U16String fromCodePoint(char32_t c);

} // namespace velkin
