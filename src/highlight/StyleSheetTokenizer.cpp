// CSS, SCSS, Sass and Stylus.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/TextOps.h"

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

bool isIdentifierUnit(char16_t c) { return isLetterOrDigit(c) || c == u'_' || c == u'-'; }
bool isIdentifierStart(char16_t c) { return isLetter(c) || c == u'_' || c == u'-'; }

} // namespace

CodeTokens cssTokens(U16View code, bool lineComments, bool indented)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    int depth = 0;
    bool statementStart = indented;  // where a declaration may begin
    int p = 0;

    const auto numberEnd = [&](int q) {
        while (q < L && (isDigit(code[size_t(q)]) || code[size_t(q)] == u'.'))
            ++q;
        while (q < L && (isLetter(code[size_t(q)]) || code[size_t(q)] == u'%'))
            ++q;
        return q;
    };
    const auto identifierEnd = [&](int q) {
        while (q < L && isIdentifierUnit(code[size_t(q)]))
            ++q;
        return q;
    };

    while (p < L) {
        const char16_t c = code[size_t(p)];
        const char16_t next = unitAt(code, p + 1);
        if (c == u'/' && next == u'*') {
            const int close = TextOps::find(code, u"*/", p + 2);
            const int end = close < 0 ? L : close + 2;
            add.addFromTo(p, end, K::comment);
            p = end;
            continue;
        }
        if (lineComments && c == u'/' && next == u'/') {
            int end = TextOps::find(code, u'\n', p);
            if (end < 0)
                end = L;
            add.addFromTo(p, end, K::comment);
            p = end;
            continue;
        }
        if (c == u'#') {
            int q = p + 1;
            while (q < L && CharacterClass::isAsciiHexDigit(code[size_t(q)]))
                ++q;
            const int n = q - p - 1;
            if (n == 3 || n == 4 || n == 6 || n == 8) {
                add.add(p, n + 1, K::number);
                statementStart = false;
                p += n + 1;
                continue;
            }
        } else if (c == u'\'' || c == u'"') {
            const int end = quotedStringEnd(code, p, c);
            add.addFromTo(p, end, K::string);
            statementStart = false;
            p = end;
            continue;
        } else if (c == u'$' || c == u'@') {
            const int q = identifierEnd(p + 1);
            add.addFromTo(p, q, c == u'$' ? K::type : K::keyword);
            statementStart = false;
            p = q;
            continue;
        } else if (isDigit(c)) {
            const int q = numberEnd(p);
            add.addFromTo(p, q, K::number);
            statementStart = false;
            p = q;
            continue;
        } else if (c == u';' || c == u'{' || c == u'}') {
            if (c == u'{')
                ++depth;
            else if (c == u'}' && depth > 0)
                --depth;
            statementStart = true;
            ++p;
            continue;
        } else if (isIdentifierStart(c)) {
            const int q = identifierEnd(p + 1);
            if (q == L)
                break; // the text ends inside the word: it is still being typed
            const bool inBlock = indented || depth > 0;
            if (inBlock && statementStart) {
                int r = q;
                while (r < L && (code[size_t(r)] == u' ' || code[size_t(r)] == u'\t'))
                    ++r;
                if (r < L && code[size_t(r)] == u':')
                    add.addFromTo(p, q, K::keyword);
            }
            statementStart = false;
            p = q;
            continue;
        }
        // Everything else, "#" that is no colour included.
        if (c == u'.' && isDigit(next)) {
            const int q = numberEnd(p);
            add.addFromTo(p, q, K::number);
            statementStart = false;
            p = q;
        } else if (c == u'\n' && indented) {
            statementStart = true;
            ++p;
        } else if (c == u'\t' || c == u'\r' || c == u' ' || c == u'\n') {
            ++p;
        } else {
            statementStart = false;
            ++p;
        }
    }
    return out;
}

} // namespace velkin::CodeHighlighter
