// Shell scripts, makefiles and diffs.
#include "highlight/SpecialTokenizers.h"
#include "highlight/TokenAppender.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"

#include <array>
#include <deque>

namespace velkin::CodeHighlighter {

namespace {

using K = CodeTokenKind;

// After one of these words the next word names a command again.
constexpr std::array<U16View, 9> shellCommandFollows{u"if", u"elif", u"then", u"else", u"while",
                                                     u"until", u"do", u"time", u"function"};
// Marked wherever they stand.
constexpr std::array<U16View, 3> shellTrailingKeywords{u"in", u"]", u"]]"};

template <size_t N>
bool isOneOf(U16View word, const std::array<U16View, N>& words)
{
    for (U16View w : words)
        if (w == word)
            return true;
    return false;
}

bool isWordStop(char16_t c)
{
    switch (c) {
    case u'\t': case u'\n': case u'\r': case u' ':
    case u'|': case u'&': case u';': case u'(': case u')': case u'<': case u'>':
    case u'{': case u'}': case u'"': case u'\'': case u'`': case u'$': case u'=':
        return true;
    default:
        return false;
    }
}

bool isNameUnit(char16_t c) { return isLetterOrDigit(c) || c == u'_'; }

bool isSpecialParameter(char16_t c)
{
    return c == u'@' || c == u'*' || c == u'#' || c == u'?' || c == u'$' || c == u'!' || c == u'-';
}

// A word whose first unit is a letter or "_" and whose units are all name units.
bool isName(U16View word)
{
    if (word.empty() || !(isLetter(word[0]) || word[0] == u'_'))
        return false;
    for (char16_t c : word)
        if (!isNameUnit(c))
            return false;
    return true;
}

class ShellScanner {
public:
    ShellScanner(U16View code, LineState state) : code_(code), L_(int(code.size())), add_(out_)
    {
        loopVariablePending_ = (state & 1) != 0;
        insideBackquotes_ = (state & 2) != 0;
        parenDepth_ = int(state >> 2);
    }

    CodeTokens run(const LineVisitor* onLine = nullptr)
    {
        int p = 0;
        while (p < L_) {
            // A line start is reached between tokens only through its line feed's
            // own step: no here-document waits and a command word comes next, so
            // the rest of the state says all.
            if (onLine && p > 0 && code_[size_t(p) - 1] == u'\n' && !(*onLine)(p, state()))
                break;
            p = step(p);
        }
        return std::move(out_);
    }

    LineState state() const
    {
        return LineState(parenDepth_) << 2 | (insideBackquotes_ ? 2 : 0) | (loopVariablePending_ ? 1 : 0);
    }

private:
    struct HereDocument {
        U16String delimiter;
        bool stripTabs;
    };

    char16_t at(int i) const { return unitAt(code_, i); }

    int wordEnd(int p) const
    {
        while (p < L_ && !isWordStop(code_[size_t(p)]))
            ++p;
        return p;
    }

    // Length of the expansion at the "$" at p, looking no further than `limit`
    // (the end of the enclosing string, or of the text); 0 for none.
    int expansionLength(int p, int limit) const
    {
        if (p + 1 >= limit)
            return 0;
        const char16_t u = code_[size_t(p) + 1];
        if (u == u'{' || u == u'(') {
            const char16_t closer = u == u'{' ? u'}' : u')';
            int depth = 1;
            for (int r = p + 2; r < limit; ++r) {
                const char16_t c = code_[size_t(r)];
                if (c == u)
                    ++depth;
                else if (c == closer && --depth == 0)
                    return r + 1 - p;
            }
            return limit - p;
        }
        if (isLetter(u) || u == u'_') {
            int q = p + 1;
            while (q < limit && isNameUnit(code_[size_t(q)]))
                ++q;
            return q - p;
        }
        if (isDigit(u) || isSpecialParameter(u))
            return 2;
        return 0;
    }

    // Reads the delimiter after "<<" (at s) and queues it; returns where scanning goes on.
    int scanHeredocDelimiter(int s)
    {
        bool stripTabs = false;
        if (s < L_ && code_[size_t(s)] == u'-') {
            stripTabs = true;
            ++s;
        }
        while (s < L_ && (code_[size_t(s)] == u' ' || code_[size_t(s)] == u'\t'))
            ++s;
        if (s >= L_)
            return s;
        char16_t quote = 0;
        if (code_[size_t(s)] == u'"' || code_[size_t(s)] == u'\'') {
            quote = code_[size_t(s)];
            if (++s >= L_)
                return s;
        }
        const int d = s;
        if (quote) {
            while (s < L_ && code_[size_t(s)] != quote)
                ++s;
        } else {
            s = wordEnd(s);
        }
        const int end = s;
        if (end > d)
            pending_.push_back({U16String(code_.substr(size_t(d), size_t(end - d))), stripTabs});
        return quote && end < L_ ? end + 1 : end;
    }

    // Called with p just past a line feed: the bodies of the queued
    // here-documents follow one after the other.
    int readHereDocuments(int p)
    {
        while (!pending_.empty()) {
            const HereDocument doc = std::move(pending_.front());
            pending_.pop_front();
            const int s = p;
            if (s >= L_)
                continue;
            int a = s;
            while (true) {
                int b = TextOps::find(code_, u'\n', a);
                if (b < 0)
                    b = L_;
                int c = a;
                if (doc.stripTabs)
                    while (c < b && code_[size_t(c)] == u'\t')
                        ++c;
                if (code_.substr(size_t(c), size_t(b - c)) == doc.delimiter) {
                    add_.addFromTo(s, a, K::string);
                    p = std::min(L_, b + 1);
                    break;
                }
                if (b + 1 >= L_) {
                    add_.addFromTo(s, L_, K::string);
                    p = L_;
                    break;
                }
                a = b + 1;
            }
        }
        return p;
    }

    void endCommandSeparator()
    {
        command_ = true;
        assignmentPending_ = false;
    }

    int step(int p)
    {
        const char16_t c = code_[size_t(p)];
        switch (c) {
        case u'\t': case u'\r': case u' ':
            command_ = command_ || assignmentPending_;
            assignmentPending_ = false;
            return p + 1;
        case u'\n': {
            const int next = readHereDocuments(p + 1);
            endCommandSeparator();
            return next;
        }
        case u'!': case u'&': case u';': case u'|':
            endCommandSeparator();
            return p + 1;
        case u'"': {
            int q = p + 1;
            while (q < L_) {
                if (code_[size_t(q)] == u'\\') {
                    q = std::min(L_, q + 2);
                    continue;
                }
                if (code_[size_t(q++)] == u'"')
                    break;
            }
            const int e = std::min(L_, q);
            add_.addFromTo(p, e, K::string);
            // Expansions inside the string never reach past its end.
            for (int r = p + 1; r < e;) {
                if (code_[size_t(r)] == u'$') {
                    const int m = std::min(e - r, expansionLength(r, e));
                    if (m > 0) {
                        add_.add(r, m, K::type);
                        r += m;
                        continue;
                    }
                }
                ++r;
            }
            command_ = false;
            return e;
        }
        case u'#':
            if (p == 0 || isWordStop(code_[size_t(p) - 1])) {
                int end = TextOps::find(code_, u'\n', p);
                if (end < 0)
                    end = L_;
                add_.addFromTo(p, end, K::comment);
                return end;
            }
            return word(p);
        case u'$': {
            if (at(p + 1) == u'(') {
                ++parenDepth_;
                endCommandSeparator();
                return p + 2;
            }
            const int n = expansionLength(p, L_);
            if (n < 1)
                return p + 1;
            add_.add(p, n, K::type);
            command_ = false;
            return p + n;
        }
        case u'\'': {
            const int close = TextOps::find(code_, u'\'', p + 1);
            const int end = close < 0 ? L_ : close + 1;
            add_.addFromTo(p, end, K::string);
            command_ = false;
            return end;
        }
        case u'(':
            ++parenDepth_;
            endCommandSeparator();
            return p + 1;
        case u')':
            if (parenDepth_ > 0) {
                --parenDepth_;
                command_ = false;
            } else {
                endCommandSeparator(); // a case pattern such as "a)"
            }
            return p + 1;
        case u'<':
            if (at(p + 1) == u'<' && at(p + 2) == u'<') {
                command_ = false; // here-string
                return p + 3;
            }
            if (at(p + 1) == u'<')
                return scanHeredocDelimiter(p + 2);
            command_ = false;
            return p + 1;
        case u'>':
        case u'}':
            command_ = false;
            return p + 1;
        case u'`':
            if (!insideBackquotes_)
                endCommandSeparator();
            else
                command_ = false;
            insideBackquotes_ = !insideBackquotes_;
            return p + 1;
        default:
            return word(p);
        }
    }

    int word(int p)
    {
        const int e = wordEnd(p);
        if (e == p)
            return p + 1; // "{" or "="
        const U16View w = code_.substr(size_t(p), size_t(e - p));
        if (e < L_ && code_[size_t(e)] == u'=' && isName(w)) {
            add_.addFromTo(p, e, K::type);
            loopVariablePending_ = false;
            command_ = false;
            assignmentPending_ = true;
            return e + 1;
        }
        if (loopVariablePending_ && isName(w)) {
            add_.addFromTo(p, e, K::type);
            loopVariablePending_ = false;
            command_ = false;
            return e;
        }
        if (isNumericWord(w, u"."))
            add_.addFromTo(p, e, K::number);
        else if (command_ || isOneOf(w, shellTrailingKeywords))
            add_.addFromTo(p, e, K::keyword);
        command_ = isOneOf(w, shellCommandFollows);
        loopVariablePending_ = w == u"for" || w == u"select";
        return e;
    }

    U16View code_;
    int L_;
    CodeTokens out_;
    TokenAppender add_;
    bool command_ = true;
    bool assignmentPending_ = false;
    bool loopVariablePending_ = false;
    bool insideBackquotes_ = false;
    int parenDepth_ = 0;
    std::deque<HereDocument> pending_;
};

void makefileLine(U16View line, TokenAppender& add)
{
    const int n = int(line.size());
    if (n == 0)
        return;
    const char16_t first = line[0];
    if (first != u'\t' && first != u' ' && first != u'#') {
        int j = 0;
        while (j < n && line[size_t(j)] != u'#' && line[size_t(j)] != u':' && line[size_t(j)] != u'=')
            ++j;
        if (j < n) {
            const char16_t c = line[size_t(j)];
            const bool colonEquals = c == u':' && unitAt(line, j + 1) == u'=';
            if (c == u':' && !colonEquals) {
                // A line that starts with ":" names no target.
                add.add(0, j, K::type);
            } else if ((c == u'=' || colonEquals) && j > 0) {
                int k = j;
                while (k > 1 && (line[size_t(k) - 1] == u' ' || line[size_t(k) - 1] == u'\t'))
                    --k;
                add.add(0, k, K::keyword);
            }
        }
    }
    int p = 0;
    while (p < n) {
        const char16_t c = line[size_t(p)];
        if (c == u'#') {
            add.addFromTo(p, n, K::comment);
            return;
        }
        const char16_t next = unitAt(line, p + 1);
        if (c == u'$' && (next == u'(' || next == u'{')) {
            const int close = TextOps::find(line, next == u'(' ? u')' : u'}', p + 2);
            const int end = close < 0 ? n : close + 1;
            add.addFromTo(p, end, K::type);
            p = end;
        } else {
            ++p;
        }
    }
}

struct DiffPrefix {
    U16View prefix;
    CodeTokenKind kind;
};

constexpr std::array<DiffPrefix, 11> diffPrefixes{{
    {u"+++", K::comment},
    {u"---", K::comment},
    {u"@@", K::type},
    {u"+", K::inserted},
    {u"-", K::deleted},
    {u"diff ", K::comment},
    {u"index ", K::comment},
    {u"new file", K::comment},
    {u"deleted file", K::comment},
    {u"rename ", K::comment},
    {u"similarity ", K::comment},
}};

} // namespace

CodeTokens shellTokens(U16View code)
{
    return ShellScanner(code, 0).run();
}

CodeTokens shellTokensFrom(U16View code, LineState state, const LineVisitor& onLine)
{
    return ShellScanner(code, state).run(&onLine);
}

CodeTokens makefileTokens(U16View code)
{
    CodeTokens out;
    TokenAppender add(out);
    for (const LineRange& line : lineRanges(code)) {
        add.setBase(line.content.location);
        makefileLine(substring(code, line.content), add);
    }
    return out;
}

CodeTokens diffTokens(U16View code)
{
    CodeTokens out;
    for (const LineRange& line : lineRanges(code)) {
        const U16View text = substring(code, line.content);
        if (text.empty())
            continue;
        for (const DiffPrefix& d : diffPrefixes) {
            if (TextOps::hasPrefix(text, d.prefix)) {
                out.push_back({line.content, d.kind});
                break;
            }
        }
    }
    return out;
}

} // namespace velkin::CodeHighlighter
