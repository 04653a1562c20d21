#include "platform/text/TextOps.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Utf.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>

namespace velkin::TextOps {

namespace {

using CaseFn = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

U16String mapCase(U16View text, CaseFn fn)
{
    if (text.empty())
        return {};
    U16String out(text.size() + 8, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = fn(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                             reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(size_t(n), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return U16String(text);
        out.resize(size_t(n));
        return out;
    }
    return U16String(text);
}

} // namespace

U16String lowercased(U16View text) { return mapCase(text, u_strToLower); }
U16String uppercased(U16View text) { return mapCase(text, u_strToUpper); }

U16String asciiLowercased(U16View text)
{
    U16String out(text);
    for (auto& c : out)
        c = CharacterClass::asciiLower(c);
    return out;
}

U16String searchFolded(U16View text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status))
        return lowercased(text);
    icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()));
    icu::UnicodeString decomposed = nfd->normalize(source, status);
    if (U_FAILURE(status))
        return lowercased(text);
    U16String stripped;
    stripped.reserve(size_t(decomposed.length()));
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_getIntPropertyValue(c, UCHAR_GENERAL_CATEGORY_MASK) & U_GC_MN_MASK)
            continue;
        appendCodePoint(stripped, char32_t(c));
    }
    icu::UnicodeString folded(false, reinterpret_cast<const UChar*>(stripped.data()), int32_t(stripped.size()));
    icu::UnicodeString copy(folded);
    copy.foldCase();
    return U16String(reinterpret_cast<const char16_t*>(copy.getBuffer()), size_t(copy.length()));
}

std::vector<int> graphemeBoundaries(U16View text)
{
    std::vector<int> result{0};
    if (text.empty())
        return result;
    // Plain ASCII without CR has one cluster per unit; skip ICU then.
    bool simple = true;
    for (char16_t c : text)
        if (c >= 0x7F || c == u'\r') {
            simple = false;
            break;
        }
    if (simple) {
        result.resize(text.size() + 1);
        for (size_t i = 0; i <= text.size(); ++i)
            result[i] = int(i);
        return result;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        for (size_t i = 1; i <= text.size(); ++i)
            result.push_back(int(i));
        return result;
    }
    UText* ut = utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.data()), int64_t(text.size()), &status);
    it->setText(ut, status);
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next())
        result.push_back(b);
    utext_close(ut);
    return result;
}

int graphemeCount(U16View text)
{
    return static_cast<int>(graphemeBoundaries(text).size()) - 1;
}

int graphemeEnd(U16View text, int i)
{
    const auto b = graphemeBoundaries(text);
    auto it = std::lower_bound(b.begin(), b.end(), i);
    return it == b.end() ? int(text.size()) : *it;
}

bool hasPrefix(U16View text, U16View prefix) { return text.substr(0, prefix.size()) == prefix; }
bool hasSuffix(U16View text, U16View suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool equalsIgnoringAsciiCase(U16View a, U16View b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (CharacterClass::asciiLower(a[i]) != CharacterClass::asciiLower(b[i]))
            return false;
    return true;
}

bool hasPrefixIgnoringAsciiCase(U16View text, U16View prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

int find(U16View text, U16View needle, int from)
{
    if (from < 0)
        from = 0;
    const size_t at = text.find(needle, size_t(from));
    return at == U16View::npos ? -1 : int(at);
}

int find(U16View text, char16_t c, int from)
{
    if (from < 0)
        from = 0;
    const size_t at = text.find(c, size_t(from));
    return at == U16View::npos ? -1 : int(at);
}

bool containsUnit(U16View text, char16_t c)
{
    return findUnit(text, c, 0) >= 0;
}

int findUnit(U16View text, char16_t c, int from)
{
    // memchr finds the unit's low byte quickly; a hit counts only where that
    // byte belongs to a unit equal to c.
    constexpr size_t lowByte = std::endian::native == std::endian::little ? 0 : 1;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size() * 2;
    const unsigned char low = static_cast<unsigned char>(c & 0xFF);
    for (size_t at = size_t(std::max(from, 0)) * 2; at < size;) {
        const void* hit = std::memchr(bytes + at, low, size - at);
        if (!hit)
            return -1;
        const size_t byte = size_t(static_cast<const unsigned char*>(hit) - bytes);
        if (byte % 2 == lowByte && text[byte / 2] == c)
            return int(byte / 2);
        at = byte + 1;
    }
    return -1;
}

int findUnitBefore(U16View text, char16_t c, int before)
{
    constexpr size_t lowByte = std::endian::native == std::endian::little ? 0 : 1;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char low = static_cast<unsigned char>(c & 0xFF);
    for (size_t end = size_t(std::clamp(before, 0, int(text.size()))) * 2; end > 0;) {
        const void* hit = memrchr(bytes, low, end);
        if (!hit)
            return -1;
        const size_t byte = size_t(static_cast<const unsigned char*>(hit) - bytes);
        if (byte % 2 == lowByte && text[byte / 2] == c)
            return int(byte / 2);
        end = byte;
    }
    return -1;
}

bool contains(U16View text, U16View needle) { return text.find(needle) != U16View::npos; }

U16String replacingAll(U16View text, U16View from, U16View to)
{
    if (from.empty())
        return U16String(text);
    U16String out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(from, start);
        if (at == U16View::npos)
            break;
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

size_t commonPrefixLength(U16View a, U16View b)
{
    const size_t limit = std::min(a.size(), b.size());
    // Whole blocks by memcmp first, which runs far faster than a unit loop.
    constexpr size_t block = 256;
    size_t i = 0;
    while (limit - i >= block && std::memcmp(a.data() + i, b.data() + i, block * sizeof(char16_t)) == 0)
        i += block;
    while (i < limit && a[i] == b[i])
        ++i;
    return i;
}

size_t commonSuffixLength(U16View a, U16View b)
{
    const size_t limit = std::min(a.size(), b.size());
    const char16_t* endA = a.data() + a.size();
    const char16_t* endB = b.data() + b.size();
    constexpr size_t block = 256;
    size_t i = 0;
    while (limit - i >= block && std::memcmp(endA - i - block, endB - i - block, block * sizeof(char16_t)) == 0)
        i += block;
    while (i < limit && endA[-1 - std::ptrdiff_t(i)] == endB[-1 - std::ptrdiff_t(i)])
        ++i;
    return i;
}

void reserveLength(U16String& text, size_t length)
{
    if (length <= text.capacity())
        return;
    // A fresh string is given exactly what it reserves (a full one at least doubles).
    U16String grown;
    grown.reserve(length + std::max<size_t>(length / 64, 1024));
    grown.assign(text);
    text.swap(grown);
}

U16String withLineEnds(U16View text, U16View ending)
{
    U16String out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out.append(ending);
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<U16View> words(U16View text)
{
    std::vector<U16View> result;
    const int n = int(text.size());
    int i = 0;
    while (i < n) {
        while (i < n && CharacterClass::isWhitespaceOrNewline(codePointAt(text, i)))
            i += codePointLength(text, i);
        const int start = i;
        while (i < n && !CharacterClass::isWhitespaceOrNewline(codePointAt(text, i)))
            i += codePointLength(text, i);
        if (i > start)
            result.push_back(substring(text, Range::fromTo(start, i)));
    }
    return result;
}

U16String number(long long value)
{
    const std::string s = std::to_string(value);
    return U16String(s.begin(), s.end());
}

std::string formatDouble(double value, int maxDecimals)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, maxDecimals);
    if (ec != std::errc())
        return "0";
    std::string s(buffer, end);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

bool parseDouble(U16View text, double& out)
{
    // The strtod grammar of the C locale, independent of the process locale:
    // optional leading white space, sign, decimal or hex float, inf/nan.
    std::string ascii;
    ascii.reserve(text.size());
    for (char16_t c : text) {
        if (c >= 0x80)
            return false;
        ascii.push_back(char(c));
    }
    size_t i = 0;
    while (i < ascii.size() && (ascii[i] == ' ' || (ascii[i] >= '\t' && ascii[i] <= '\r')))
        ++i;
    if (i == ascii.size())
        return false;
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const char* begin = ascii.c_str() + i;
    char* end = nullptr;
    const double v = strtod_l(begin, &end, cLocale);
    // The whole text, an embedded NUL included, must be consumed.
    if (end == begin || end != ascii.c_str() + ascii.size())
        return false;
    out = v;
    return true;
}

} // namespace velkin::TextOps
