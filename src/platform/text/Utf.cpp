#include "platform/text/Utf.h"

#include <unicode/utf8.h>

namespace velkin {

namespace {

// Decodes UTF-8 with U+FFFD for every maximal ill-formed subsequence; reports whether any was met.
U16String decode(std::string_view bytes, bool& clean)
{
    U16String out;
    out.reserve(bytes.size());
    clean = true;
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const int32_t length = static_cast<int32_t>(bytes.size());
    int32_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            out.push_back(static_cast<char16_t>(s[i++]));
            continue;
        }
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            clean = false;
            c = 0xFFFD;
        }
        appendCodePoint(out, static_cast<char32_t>(c));
    }
    return out;
}

} // namespace

U16String u16(std::string_view utf8)
{
    bool clean;
    return decode(utf8, clean);
}

std::optional<U16String> decodeUtf8Strict(std::string_view bytes)
{
    bool clean;
    U16String text = decode(bytes, clean);
    if (!clean)
        return std::nullopt;
    return text;
}

std::string u8(U16View text)
{
    std::string out;
    out.reserve(text.size());
    const int n = static_cast<int>(text.size());
    for (int i = 0; i < n;) {
        char32_t c = codePointAt(text, i);
        i += codePointLength(text, i);
        if (c < 0x10000 && isSurrogate(static_cast<char16_t>(c)))
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

char32_t codePointAt(U16View text, int i)
{
    const char16_t c = text[static_cast<size_t>(i)];
    if (isHighSurrogate(c) && static_cast<size_t>(i) + 1 < text.size()) {
        const char16_t d = text[static_cast<size_t>(i) + 1];
        if (isLowSurrogate(d))
            return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (d - 0xDC00);
    }
    return c;
}

int codePointLength(U16View text, int i)
{
    const char16_t c = text[static_cast<size_t>(i)];
    return (isHighSurrogate(c) && static_cast<size_t>(i) + 1 < text.size()
            && isLowSurrogate(text[static_cast<size_t>(i) + 1]))
        ? 2
        : 1;
}

int previousCodePointStart(U16View text, int i)
{
    if (i <= 0)
        return 0;
    if (i >= 2 && isLowSurrogate(text[static_cast<size_t>(i) - 1])
        && isHighSurrogate(text[static_cast<size_t>(i) - 2]))
        return i - 2;
    return i - 1;
}

void appendCodePoint(U16String& out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

bool splitsCharacter(U16View text, int i)
{
    if (i <= 0 || size_t(i) >= text.size())
        return false;
    const char16_t before = text[size_t(i) - 1];
    const char16_t at = text[size_t(i)];
    return (isHighSurrogate(before) && isLowSurrogate(at)) || (before == u'\r' && at == u'\n');
}

U16String fromCodePoint(char32_t c)
{
    U16String s;
    appendCodePoint(s, c);
    return s;
}

} // namespace velkin
