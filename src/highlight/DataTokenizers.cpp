// JSON, YAML, INI and TOML.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/Lines.h"

#include <array>

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

// True when the ASCII word, lower-cased, is one of `words` (all lower case).
template <size_t N>
bool isWordIgnoringCase(U16View word, const std::array<U16View, N>& words)
{
    for (U16View w : words) {
        if (w.size() != word.size())
            continue;
        size_t i = 0;
        while (i < w.size() && CharacterClass::asciiLower(word[i]) == w[i])
            ++i;
        if (i == w.size())
            return true;
    }
    return false;
}

constexpr std::array<U16View, 7> yamlScalarWords{u"true", u"false", u"null", u"yes", u"no", u"on", u"off"};
constexpr std::array<U16View, 3> literalWords{u"true", u"false", u"null"};

// A quoted run without escapes up to the next equal quote, included, or the end of the line.
int quotedEnd(U16View line, int p)
{
    const int n = int(line.size());
    int q = p + 1;
    while (q < n && line[size_t(q)] != line[size_t(p)])
        ++q;
    return q < n ? q + 1 : n;
}

// Digits and "." after the first unit (a digit or a minus before one).
int numberEnd(U16View line, int p)
{
    const int n = int(line.size());
    int q = p + 1;
    while (q < n && (isDigit(line[size_t(q)]) || line[size_t(q)] == u'.'))
        ++q;
    return q;
}

bool startsNumber(U16View line, int p)
{
    const char16_t c = unitAt(line, p);
    return isDigit(c) || (c == u'-' && isDigit(unitAt(line, p + 1)));
}

int wordEnd(U16View line, int p)
{
    const int n = int(line.size());
    int q = p;
    while (q < n && isLetterOrDigit(line[size_t(q)]))
        ++q;
    return q;
}

void yamlLine(U16View line, TokenAppender& add)
{
    const int n = int(line.size());
    int i = 0;
    while (i < n && (line[size_t(i)] == u' ' || line[size_t(i)] == u'\t'))
        ++i;
    if (i == n)
        return;
    // Sequence dashes ("- ", "- - "); "---" and "-1" are content.
    while (i < n && line[size_t(i)] == u'-' && (i + 1 == n || line[size_t(i) + 1] == u' ')) {
        ++i;
        while (i < n && line[size_t(i)] == u' ')
            ++i;
        if (i == n)
            return;
    }
    if (line[size_t(i)] == u'#') {
        add.add(i, n - i, K::comment);
        return;
    }
    int valueStart = i;
    for (int j = i; j < n; ++j) {
        const char16_t c = line[size_t(j)];
        if (c == u'"' || c == u'\'')
            break;
        if (c == u'#' && j >= 1 && line[size_t(j) - 1] == u' ')
            break;
        if (c == u':' && (j + 1 == n || line[size_t(j) + 1] == u' ')) {
            if (j > i) {
                int k = j;
                while (k > i && line[size_t(k) - 1] == u' ')
                    --k;
                add.addFromTo(i, k, K::keyword);
                valueStart = j + 1;
            }
            break;
        }
    }
    int p = valueStart;
    while (p < n) {
        const char16_t c = line[size_t(p)];
        if (c == u'"' || c == u'\'') {
            const int end = quotedEnd(line, p);
            add.addFromTo(p, end, K::string);
            p = end;
        } else if (c == u'#') {
            if (p >= 1 && line[size_t(p) - 1] == u' ') {
                add.addFromTo(p, n, K::comment);
                return;
            }
            ++p;
        } else if (c == u'&' || c == u'*') {
            int q = p + 1;
            while (q < n && (isLetterOrDigit(line[size_t(q)]) || line[size_t(q)] == u'-' || line[size_t(q)] == u'_'))
                ++q;
            if (q > p + 1) {
                add.addFromTo(p, q, K::type);
                p = q;
            } else {
                ++p;
            }
        } else if (startsNumber(line, p)) {
            const int q = numberEnd(line, p);
            add.addFromTo(p, q, K::number);
            p = q;
        } else if (isLetter(c)) {
            const int q = wordEnd(line, p);
            if (isWordIgnoringCase(line.substr(size_t(p), size_t(q - p)), yamlScalarWords))
                add.addFromTo(p, q, K::keyword);
            p = q;
        } else {
            ++p;
        }
    }
}

void keyValueLine(U16View line, U16View commentChars, TokenAppender& add)
{
    const int n = int(line.size());
    const auto isComment = [&](char16_t c) { return commentChars.find(c) != U16View::npos; };
    int i = 0;
    while (i < n && (line[size_t(i)] == u' ' || line[size_t(i)] == u'\t'))
        ++i;
    if (i == n)
        return;
    if (isComment(line[size_t(i)])) {
        add.addFromTo(i, n, K::comment);
        return;
    }
    if (line[size_t(i)] == u'[') {
        add.addFromTo(i, n, K::type);
        return;
    }
    int valueStart = i;
    for (int j = i; j < n; ++j) {
        const char16_t c = line[size_t(j)];
        if (c == u'=' || c == u':') {
            if (j > i) {
                int k = j;
                while (k > i && (line[size_t(k) - 1] == u' ' || line[size_t(k) - 1] == u'\t'))
                    --k;
                add.addFromTo(i, k, K::keyword);
            }
            valueStart = j + 1;
            break;
        }
        if (isComment(c) && j > 0 && line[size_t(j) - 1] == u' ')
            break;
    }
    int p = valueStart;
    while (p < n) {
        const char16_t c = line[size_t(p)];
        if (isComment(c) && p >= 1 && line[size_t(p) - 1] == u' ') {
            add.addFromTo(p, n, K::comment);
            return;
        }
        if (c == u'"' || c == u'\'') {
            const int end = quotedEnd(line, p);
            add.addFromTo(p, end, K::string);
            p = end;
        } else if (startsNumber(line, p)) {
            const int q = numberEnd(line, p);
            add.addFromTo(p, q, K::number);
            p = q;
        } else if (isLetter(c)) {
            const int q = wordEnd(line, p);
            if (isWordIgnoringCase(line.substr(size_t(p), size_t(q - p)), literalWords))
                add.addFromTo(p, q, K::keyword);
            p = q;
        } else {
            ++p;
        }
    }
}

} // namespace

CodeTokens jsonTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    int p = 0;
    while (p < L) {
        const char16_t c = code[size_t(p)];
        if (c == u'"') {
            int q = p + 1;
            while (q < L) {
                if (code[size_t(q)] == u'\\') {
                    q = std::min(L, q + 2);
                    continue;
                }
                const char16_t u = code[size_t(q++)];
                if (u == u'"')
                    break;
            }
            const int end = std::min(L, q);
            K kind = K::string;
            // A string followed (across blanks) by ":" is an object key; one
            // that ends the text, or runs to its end unclosed, is a value.
            if (q < L) {
                int r = q;
                while (r < L && isBlankUnit(code[size_t(r)]))
                    ++r;
                if (r < L && code[size_t(r)] == u':')
                    kind = K::type;
            }
            add.addFromTo(p, end, kind);
            p = end;
        } else if (isDigit(c) || (c == u'-' && isDigit(unitAt(code, p + 1)))) {
            int q = p + 1;
            while (q < L) {
                const char16_t u = code[size_t(q)];
                if (!isDigit(u) && u != u'+' && u != u'-' && u != u'.' && u != u'e' && u != u'E')
                    break;
                ++q;
            }
            add.addFromTo(p, q, K::number);
            p = q;
        } else if (isLetter(c)) {
            int q = p + 1;
            while (q < L && isLetter(code[size_t(q)]))
                ++q;
            const U16View word = code.substr(size_t(p), size_t(q - p));
            if (word == u"true" || word == u"false" || word == u"null")
                add.addFromTo(p, q, K::keyword);
            p = q;
        } else {
            ++p;
        }
    }
    return out;
}

CodeTokens yamlTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    for (const LineRange& line : lineRanges(code)) {
        add.setBase(line.content.location);
        yamlLine(substring(code, line.content), add);
    }
    return out;
}

CodeTokens keyValueTokens(U16View code, U16View commentChars)
{
    CodeTokens out;
    TokenAppender add(out);
    for (const LineRange& line : lineRanges(code)) {
        add.setBase(line.content.location);
        keyValueLine(substring(code, line.content), commentChars, add);
    }
    return out;
}

} // namespace velkin::CodeHighlighter
