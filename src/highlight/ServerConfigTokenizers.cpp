// nginx and apache configuration, and HTTP messages.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/TextOps.h"

#include <array>

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

bool isWordUnit(char16_t c) { return isLetterOrDigit(c) || c == u'.' || c == u'-' || c == u'_'; }
bool isWordStart(char16_t c) { return isLetter(c) || c == u'.' || c == u'-' || c == u'_'; }
bool isVariableUnit(char16_t c) { return isLetterOrDigit(c) || c == u'_'; }

constexpr std::array<U16View, 9> httpMethods{u"GET", u"POST", u"PUT", u"PATCH", u"DELETE",
                                             u"HEAD", u"OPTIONS", u"TRACE", u"CONNECT"};

// The word in upper case: ASCII mapping for ASCII words, full case mapping otherwise.
U16String upperCased(U16View word)
{
    for (char16_t c : word)
        if (c >= 0x80)
            return TextOps::uppercased(word);
    U16String out(word);
    for (char16_t& c : out)
        c = CharacterClass::asciiUpper(c);
    return out;
}

void scanStartLine(int s, U16View line, TokenAppender& add)
{
    const int n = int(line.size());
    int w = 0;
    while (w < n) {
        while (w < n && isBlankUnit(line[size_t(w)]))
            ++w;
        int e = w;
        while (e < n && !isBlankUnit(line[size_t(e)]))
            ++e;
        if (e > w) {
            const U16View word = line.substr(size_t(w), size_t(e - w));
            const U16String upper = upperCased(word);
            bool method = false;
            for (U16View m : httpMethods)
                method = method || upper == m;
            if (method)
                add.add(s + w, e - w, K::keyword);
            else if (TextOps::hasPrefix(upper, u"HTTP/"))
                add.add(s + w, e - w, K::type);
            else if (isNumericWord(word))
                add.add(s + w, e - w, K::number);
        }
        w = e;
    }
}

} // namespace

CodeTokens configTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    bool directiveStart = true;
    int p = 0;
    while (p < L) {
        const char16_t c = code[size_t(p)];
        switch (c) {
        case u'\t': case u'\r': case u' ':
            ++p;
            continue;
        case u'\n': case u';': case u'{': case u'}':
            ++p;
            directiveStart = true;
            continue;
        case u'\'': case u'"': {
            const int end = quotedStringEnd(code, p, c);
            add.addFromTo(p, end, K::string);
            directiveStart = false;
            p = end;
            continue;
        }
        case u'#': {
            int end = TextOps::find(code, u'\n', p);
            if (end < 0)
                end = L;
            add.addFromTo(p, end, K::comment);
            p = end;
            continue;
        }
        case u'$': {
            int end = p + 1;
            if (end < L) {
                if (code[size_t(end)] == u'{') {
                    const int close = TextOps::find(code, u'}', end + 1);
                    end = close < 0 ? L : close + 1;
                } else {
                    while (end < L && isVariableUnit(code[size_t(end)]))
                        ++end;
                }
            }
            if (end > p + 1)
                add.addFromTo(p, end, K::type);
            directiveStart = false;
            p = end;
            continue;
        }
        case u'<': {
            int j = p + 1;
            if (unitAt(code, j) == u'/')
                ++j;
            int q = j;
            while (q < L && isWordUnit(code[size_t(q)]))
                ++q;
            add.addFromTo(j, q, K::type);
            directiveStart = false;
            p = std::max(p + 1, q);
            continue;
        }
        default:
            break;
        }
        if (isDigit(c)) {
            int q = p;
            while (q < L && (isDigit(code[size_t(q)]) || code[size_t(q)] == u'.'))
                ++q;
            while (q < L && isLetter(code[size_t(q)]))
                ++q;
            add.addFromTo(p, q, K::number);
            directiveStart = false;
            p = q;
        } else if (isWordStart(c)) {
            int q = p + 1;
            while (q < L && isWordUnit(code[size_t(q)]))
                ++q;
            if (directiveStart)
                add.addFromTo(p, q, K::keyword);
            directiveStart = false;
            p = q;
        } else {
            ++p;
        }
    }
    return out;
}

CodeTokens httpTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    bool expectStartLine = true;
    int s = 0;
    while (L > 0) {
        const int lf = TextOps::find(code, u'\n', s);
        const int lineEnd = lf < 0 ? L : lf;
        const U16View line = code.substr(size_t(s), size_t(lineEnd - s));
        // CR is no white space here: a CR LF blank line still holds its CR.
        const U16View trimmedLine = trimmed(line, TrimSet::Whitespace);
        if (trimmedLine.empty()) {
            const int b = lf < 0 ? L : lf + 1;
            const U16View body = code.substr(size_t(b));
            const U16View start = trimmed(body, TrimSet::WhitespaceAndNewlines);
            if (!start.empty() && (start[0] == u'{' || start[0] == u'[')) {
                TokenAppender shifted(out, b);
                for (const CodeToken& t : jsonTokens(body))
                    shifted.add(t.range.location, t.range.length, t.kind);
            }
            break;
        }
        if (trimmedLine[0] == u'#') {
            add.addFromTo(s, lineEnd, K::comment);
            if (TextOps::hasPrefix(trimmedLine, u"###"))
                expectStartLine = true;
        } else if (expectStartLine) {
            scanStartLine(s, line, add);
            expectStartLine = false;
        } else {
            const int colon = TextOps::find(line, u':');
            if (colon >= 1 && line.substr(0, size_t(colon)).find(u' ') == U16View::npos)
                add.add(s, colon, K::keyword);
        }
        if (lf < 0 || lf + 1 >= L)
            break;
        s = lf + 1;
    }
    return out;
}

} // namespace velkin::CodeHighlighter
