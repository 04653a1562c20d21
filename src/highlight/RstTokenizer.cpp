// reStructuredText.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

constexpr U16View adornmentCharacters = u"=-~^\"'#*+`_";

// A run of at least two copies of one adornment character, blanks around it.
bool adornmentRun(U16View line)
{
    const int n = int(line.size());
    int i = 0;
    while (i < n && isBlankUnit(line[size_t(i)]))
        ++i;
    if (i == n)
        return false;
    const char16_t c = line[size_t(i)];
    if (adornmentCharacters.find(c) == U16View::npos)
        return false;
    int j = i + 1;
    while (j < n && line[size_t(j)] == c)
        ++j;
    if (j - i < 2)
        return false;
    while (j < n && isBlankUnit(line[size_t(j)]))
        ++j;
    return j == n;
}

void inlineScan(U16View line, int i, TokenAppender& add)
{
    const int n = int(line.size());
    while (i < n) {
        if (line[size_t(i)] != u'`') {
            ++i;
            continue;
        }
        if (unitAt(line, i + 1) == u'`') {
            const int close = TextOps::find(line, u"``", i + 2);
            const int end = close < 0 ? n : close + 2;
            add.addFromTo(i, end, K::string);
            i = end;
            continue;
        }
        const int close = TextOps::find(line, u'`', i + 1);
        if (close < 0) {
            ++i;
            continue;
        }
        int end = close + 1;
        if (unitAt(line, end) == u'_')
            ++end;
        add.addFromTo(i, end, K::type);
        i = end;
    }
}

} // namespace

CodeTokens rstTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    const std::vector<LineRange> lines = lineRanges(code);
    bool afterAdornment = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        const Range range = lines[index].content;
        const U16View line = substring(code, range);
        const U16View trimmedLine = trimmed(line, TrimSet::Whitespace);
        if (TextOps::hasPrefix(trimmedLine, u"..")) {
            out.push_back({range, TextOps::contains(trimmedLine, u"::") ? K::keyword : K::comment});
            afterAdornment = false;
            continue;
        }
        if (adornmentRun(line)) {
            out.push_back({range, K::type});
            if (!afterAdornment && index > 0) {
                const Range previous = lines[index - 1].content;
                if (!trimmed(substring(code, previous), TrimSet::Whitespace).empty())
                    out.push_back({previous, K::type}); // the section title above its underline
            }
            afterAdornment = true;
            continue;
        }
        add.setBase(range.location);
        const int n = int(line.size());
        int start = 0;
        int p = 0;
        while (p < n && isBlankUnit(line[size_t(p)]))
            ++p;
        if (p < n && line[size_t(p)] == u':') {
            int q = p + 1;
            while (q < n && line[size_t(q)] != u':' && line[size_t(q)] != u'\n')
                ++q;
            if (q < n && line[size_t(q)] == u':' && q > p + 1) {
                add.addFromTo(p, q + 1, K::keyword);
                start = q + 1;
            }
        }
        inlineScan(line, start, add);
        afterAdornment = false;
    }
    return out;
}

} // namespace velkin::CodeHighlighter
