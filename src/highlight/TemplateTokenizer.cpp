// Text templates: Jinja, Django, Liquid, Handlebars, ERB and their kin.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/TextOps.h"

#include <array>

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

struct TagForm {
    U16View open;
    U16View close;
    CodeTokenKind kind;
    bool literals;  // strings and numbers inside are coloured
};

// Tried in this order at every position: comments before the forms they share a start with.
constexpr std::array<TagForm, 5> tagForms{{
    {u"{#", u"#}", K::comment, false},
    {u"{{", u"}}", K::keyword, true},
    {u"{%", u"%}", K::keyword, true},
    {u"<%#", u"%>", K::comment, false},
    {u"<%", u"%>", K::keyword, true},
}};

// Strings and numbers inside a tag, from `from` up to `to` (exclusive).
void overlayLiterals(U16View code, int from, int to, TokenAppender& add)
{
    int j = from;
    while (j < to) {
        const char16_t c = code[size_t(j)];
        if (c == u'"' || c == u'\'') {
            int q = j + 1;
            while (q < to && code[size_t(q)] != c)
                ++q;
            const int end = q < to ? q + 1 : to;
            add.addFromTo(j, end, K::string);
            j = end;
        } else if (isDigit(c)) {
            if (j > from && isLetter(code[size_t(j) - 1])) {
                ++j;
                continue;
            }
            int q = j;
            while (q < to && (isDigit(code[size_t(q)]) || code[size_t(q)] == u'.'))
                ++q;
            add.addFromTo(j, q, K::number);
            j = q;
        } else {
            ++j;
        }
    }
}

} // namespace

CodeTokens templateTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const int L = int(code.size());
    int i = 0;
    while (i < L) {
        const char16_t c = code[size_t(i)];
        if (c != u'{' && c != u'<') {
            ++i;
            continue;
        }
        const TagForm* form = nullptr;
        for (const TagForm& f : tagForms) {
            if (matchesAt(code, f.open, i)) {
                form = &f;
                break;
            }
        }
        if (!form) {
            ++i;
            continue;
        }
        const int insideStart = i + int(form->open.size());
        const int close = TextOps::find(code, form->close, insideStart);
        const int insideEnd = close < 0 ? L : close;
        const int end = close < 0 ? L : close + int(form->close.size());
        add.addFromTo(i, end, form->kind);
        if (form->literals)
            overlayLiterals(code, insideStart, insideEnd, add);
        i = end;
    }
    return out;
}

} // namespace velkin::CodeHighlighter
